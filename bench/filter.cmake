# Filter decisions against libpcap's BPF interpreter, content search against
# memmem and a Horspool searcher, and the filter stream's speed.
# Run: <build>/bin/filter_bench --benchmark_repetitions=5
qndis_add_program(filter_bench
  SOURCES filter.cpp
  FOLDERS addr media frame ktools filter platform
  LIBS benchmark::benchmark PkgConfig::PCAP)
