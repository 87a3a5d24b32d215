find_package(Threads REQUIRED)
# The capture harness: a veth flood in a private namespace, received by each
# registered mode (one source file per mode). Run: <build>/bin/capture_harness
qndis_add_bench(capture_harness
  SOURCES capture_harness.cpp capture_pcap.cpp capture_library.cpp
  LIBS w32n55_objects PkgConfig::PCAP Threads::Threads qndislib)
# Mode (c) loads libw32n55.so beside libqndislib.so.
add_dependencies(capture_harness w32n55)
