# The adapter list and request proxy on a veth pair, through the exported
# interface of libqndislib.so and the real libw32n55.so.
qndis_add_live_test(adapter_live_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/adapter_live.cpp
  LIBS qndislib)
add_dependencies(adapter_live_test w32n55)
