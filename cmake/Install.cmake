include(CMakePackageConfigHelpers)

install(TARGETS qndislib EXPORT qndislibTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/qndislib/
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/qndislib
  FILES_MATCHING PATTERN "*.h")
install(EXPORT qndislibTargets
  NAMESPACE qndislib::
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/qndislib)

configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/qndislibConfig.cmake.in
  ${CMAKE_BINARY_DIR}/qndislibConfig.cmake
  INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/qndislib)
write_basic_package_version_file(${CMAKE_BINARY_DIR}/qndislibConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/qndislibConfig.cmake
              ${CMAKE_BINARY_DIR}/qndislibConfigVersion.cmake
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/qndislib)

# The prefix is found from the .pc file's own place, so the package works
# wherever `cmake --install --prefix` puts it, not only at the configured
# prefix.
if(IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}" OR IS_ABSOLUTE "${CMAKE_INSTALL_INCLUDEDIR}")
  set(QNDIS_PC_PREFIX "${CMAKE_INSTALL_PREFIX}")
  set(QNDIS_PC_LIBDIR "${CMAKE_INSTALL_FULL_LIBDIR}")
  set(QNDIS_PC_INCLUDEDIR "${CMAKE_INSTALL_FULL_INCLUDEDIR}")
else()
  file(RELATIVE_PATH pc_to_prefix "/p/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/p")
  string(REGEX REPLACE "/$" "" pc_to_prefix "${pc_to_prefix}")
  set(QNDIS_PC_PREFIX "\${pcfiledir}/${pc_to_prefix}")
  set(QNDIS_PC_LIBDIR "\${prefix}/${CMAKE_INSTALL_LIBDIR}")
  set(QNDIS_PC_INCLUDEDIR "\${prefix}/${CMAKE_INSTALL_INCLUDEDIR}")
endif()
configure_file(${PROJECT_SOURCE_DIR}/cmake/qndislib.pc.in ${CMAKE_BINARY_DIR}/qndislib.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/qndislib.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
