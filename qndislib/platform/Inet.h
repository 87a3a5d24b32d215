#pragma once

// Address conversions and byte order of the system's sockets library:
// inet_addr, inet_ntop, htonl, ntohl, in_addr and INET_ADDRSTRLEN.

#if defined(_WIN32)
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#endif
