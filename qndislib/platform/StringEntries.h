#pragma once

// The library's string table: the one list from which both the table
// compiled into the library and, on Windows, its string-table resource are
// made. The resource script includes this file as well, so it holds nothing
// but the list: ENTRY(id, text) for ids 1024 to 1043 in order.
#define QNDIS_STRING_ENTRIES(ENTRY)                                                                \
    ENTRY(1024, ", Speed: ")                                                                       \
    ENTRY(1025, "is equal to ")                                                                    \
    ENTRY(1026, "is less than ")                                                                   \
    ENTRY(1027, "is greater than ")                                                                \
    ENTRY(1028, "is not equal to ")                                                                \
    ENTRY(1029, "is less or equal to ")                                                            \
    ENTRY(1030, "is greater or equal to ")                                                         \
    ENTRY(1031, "source MAC ")                                                                     \
    ENTRY(1032, "destination MAC ")                                                                \
    ENTRY(1033, "protocol ")                                                                       \
    ENTRY(1034, " and ")                                                                           \
    ENTRY(1035, " or ")                                                                            \
    ENTRY(1036, "subprotocol ")                                                                    \
    ENTRY(1037, "source IP address ")                                                              \
    ENTRY(1038, "destination IP address ")                                                         \
    ENTRY(1039, "source TCP/UDP port ")                                                            \
    ENTRY(1040, "destination TCP/UDP port ")                                                       \
    ENTRY(1041, "frame contains ")                                                                 \
    ENTRY(1042, "at offset ")                                                                      \
    ENTRY(1043, "ICMP type ")
