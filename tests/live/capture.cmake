# The capture hook on a veth pair, through the
# exported interface of libqndislib.so and the real libw32n55.so.
qndis_add_live_test(capture_live_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/capture_live.cpp
  LIBS qndislib)
add_dependencies(capture_live_test w32n55)
# The same capture with the driver announcing single-argument completions.
add_test(NAME capture_live_test_single_argument
         COMMAND env W32N55_COMPLETION_STYLE=single ${CMAKE_CURRENT_SOURCE_DIR}/run-in-netns.sh
                 $<TARGET_FILE:capture_live_test>)
set_tests_properties(capture_live_test_single_argument PROPERTIES TIMEOUT 300 LABELS live)
