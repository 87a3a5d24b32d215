# The driver-access library by ordinal on a veth pair: capture, packet
# filter, send, counters and enumeration against the kernel's own view.
qndis_add_live_test(w32n55_live_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/w32n55_live.cpp ${CMAKE_CURRENT_LIST_DIR}/w32n55_veth.cpp
          ${CMAKE_CURRENT_LIST_DIR}/OrdinalCalls.cpp
  LIBS w32n55_objects)
