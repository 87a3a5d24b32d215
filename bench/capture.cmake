find_package(Threads REQUIRED)
# The capture harness: a veth flood in a private namespace, received by each
# registered mode (one source file per mode). Run: <build>/bin/capture_harness
qndis_add_bench(capture_harness
  SOURCES capture_harness.cpp capture_pcap.cpp
  LIBS w32n55_objects PkgConfig::PCAP Threads::Threads)
