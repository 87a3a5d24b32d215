# The qndis program end to end on a veth pair: send, capture with a filter,
# pcap output, the adapter errors and the demonstration.
if(TARGET qndis)
  qndis_add_live_test(qndis_live_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/qndis_live.cpp ${PROJECT_SOURCE_DIR}/tests/qndis/QndisRun.cpp
            ${PROJECT_SOURCE_DIR}/tests/qndis/TestFrames.cpp
    LIBS qndislib qndis_test_pcap)
  target_compile_definitions(qndis_live_test PRIVATE QNDIS_PROGRAM="$<TARGET_FILE:qndis>")
  add_dependencies(qndis_live_test qndis w32n55)
endif()
