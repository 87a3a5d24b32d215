# Ethernet frame analysis against libpcap's BPF interpreter deciding one
# type test on the same frames. Run: <build>/bin/analyze_bench
qndis_add_program(analyze_bench
  SOURCES analyze.cpp
  FOLDERS addr media
  LIBS benchmark::benchmark PkgConfig::PCAP)
