find_package(Threads REQUIRED)
# The capture harness: a veth flood in a private namespace, received by each
# registered mode (one source file per mode). Run: <build>/bin/capture_harness
qndis_add_program(capture_harness
  SOURCES capture_harness.cpp capture_pcap.cpp capture_w32n55.cpp capture_library.cpp
  LIBS w32n55_objects PkgConfig::PCAP Threads::Threads qndislib ${CMAKE_DL_LIBS})
# Modes (b) and (c) load libw32n55.so from the directory of the harness.
add_dependencies(capture_harness w32n55)
