# cmake -P script run by the consumer_install test; see CMakeLists.txt.

function(run what)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${what} failed (${rc}):\n${out}\n${err}")
  endif()
  set(run_output "${out}" PARENT_SCOPE)
endfunction()

set(prefix ${QNDIS_WORK_DIR}/prefix)
file(REMOVE_RECURSE ${QNDIS_WORK_DIR})
file(MAKE_DIRECTORY ${QNDIS_WORK_DIR})

run("install" ${CMAKE_COMMAND} --install ${QNDIS_BUILD_DIR} --prefix ${prefix})

set(app_build ${QNDIS_WORK_DIR}/app-build)
run("configuring the application"
  ${CMAKE_COMMAND} -S ${QNDIS_APP_SOURCE} -B ${app_build} -G ${QNDIS_GENERATOR}
  -DCMAKE_BUILD_TYPE=${QNDIS_BUILD_TYPE}
  -DCMAKE_CXX_COMPILER=${QNDIS_CXX}
  "-DCMAKE_CXX_FLAGS=${QNDIS_CXX_FLAGS}"
  "-DCMAKE_EXE_LINKER_FLAGS=${QNDIS_LINK_FLAGS}"
  -DCMAKE_PREFIX_PATH=${prefix}
  -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF)
run("building the application" ${CMAKE_COMMAND} --build ${app_build})
run("running the application" ${app_build}/app)
message(STATUS "application output:\n${run_output}")

find_program(PKG_CONFIG pkg-config REQUIRED)
run("pkg-config"
  ${CMAKE_COMMAND} -E env PKG_CONFIG_PATH=${prefix}/${QNDIS_LIBDIR}/pkgconfig
  ${PKG_CONFIG} --cflags --libs qndislib)
separate_arguments(pc_flags UNIX_COMMAND "${run_output}")
separate_arguments(cxx_flags UNIX_COMMAND "${QNDIS_CXX_FLAGS} ${QNDIS_LINK_FLAGS}")
set(probe ${QNDIS_WORK_DIR}/pkgconfig-probe)
run("compiling with pkg-config flags"
  ${QNDIS_CXX} ${cxx_flags} ${QNDIS_PROBE_SOURCE} -o ${probe} ${pc_flags})
run("running the pkg-config program" ${probe})
