# The capture hook on a veth pair and on a capture file, through the
# exported interface of libqndislib.so and the real libw32n55.so.
qndis_add_live_test(capture_live_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/capture_live.cpp ${CMAKE_CURRENT_LIST_DIR}/w32n55_veth.cpp
  LIBS qndislib PkgConfig::PCAP)
add_dependencies(capture_live_test w32n55)
