include(CMakePackageConfigHelpers)

install(TARGETS qndislib EXPORT qndislibTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
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

configure_file(${PROJECT_SOURCE_DIR}/cmake/qndislib.pc.in ${CMAKE_BINARY_DIR}/qndislib.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/qndislib.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
