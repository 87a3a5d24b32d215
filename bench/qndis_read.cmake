# `qndis read` against tcpdump over one large generated capture file, side
# by side in one run. Run: <build>/bin/qndis_read_bench [FRAMES [FILE]]
# (default 1000000 frames in a temporary file).
if(TARGET qndis)
  qndis_add_program(qndis_read_bench
    SOURCES qndis_read.cpp
    LIBS PkgConfig::PCAP)
  target_compile_definitions(qndis_read_bench PRIVATE QNDIS_PROGRAM="$<TARGET_FILE:qndis>")
  add_dependencies(qndis_read_bench qndis)
endif()
