# qndis_add_program(NAME SOURCES files... [FOLDERS addr media ...] [LIBS targets...])
# The one way tests, live tests and benchmarks make their programs. FOLDERS
# links the subsystems' object files directly (internal symbols visible);
# LIBS links anything else, e.g. qndislib for the exported view.
function(qndis_add_program name)
  cmake_parse_arguments(P "" "" "SOURCES;FOLDERS;LIBS" ${ARGN})
  add_executable(${name} ${P_SOURCES})
  foreach(folder IN LISTS P_FOLDERS)
    target_link_libraries(${name} PRIVATE qndis_${folder})
  endforeach()
  target_link_libraries(${name} PRIVATE ${P_LIBS})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
endfunction()
