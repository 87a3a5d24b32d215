#pragma once

#include "qndislib/Export.h"
#include "qndislib/filter/Filter.h"

#include <memory>
#include <string>
#include <string_view>

// Turns filter text into a tree of the library's filter kinds, so that every
// analyser offers the same language:
//
//   expression := term { ("or" | "||") term }
//   term       := factor { ("and" | "&&") factor }
//   factor     := { "not" | "!" } ( "(" expression ")" | primary )
//   primary    := ("src" | "dst") "mac" [eq] MAC | "ether" ("src" | "dst") [eq] MAC
//               | "ether" "host" MAC
//               | "proto" [eq] ID                  ID: number, hex bytes, ip arp
//               | "ip" | "arp" | "rarp" | "ip6" | "vlan"            rarp ipv6 vlan
//               | "ipproto" NUMBER | "tcp" | "udp" | "icmp" | "igmp"
//               | "icmp" "type" NUMBER
//               | ("src" | "dst") ("ip" | "host") [op] A.B.C.D | "host" A.B.C.D
//               | ["src" | "dst"] "net" A.B.C.D[/LEN]
//               | ("src" | "dst") "port" [op] NUMBER | "port" NUMBER
//               | "contains" (STRING | HEXBYTES) [ "at" OFFSET ]
//   eq         := "=" | "==" | "!="
//   op         := "=" | "==" | "!=" | "<" | "<=" | ">" | ">="
//
// Each word brings the conditions it implies, as members of the tree: an
// address, "ipproto" and the IP protocol words mean an IPv4 frame, a port a
// TCP or UDP one, "icmp type" an ICMP one, and "vlan" a frame with an
// 802.1Q tag. A comparison never passes a frame too short to hold its field;
// only "not" around it does.
//
// Keywords are case-insensitive. "not" binds tighter than "and", which binds
// tighter than "or". A negated group is turned around by De Morgan's rule
// before it is returned, because a compound filter's description cannot show
// its own negation: every description then states the test that is applied.
class QNDIS_API CFilterParser {
public:
    // Deepest nesting of parentheses accepted; deeper text is refused rather
    // than risking the stack, and every tree it builds can be read back from
    // the filter stream.
    static constexpr int MaxDepth = 32;
    // Longest filter accepted, in words and signs: a few thousand tests,
    // far more than people write, while a filter file of any size is
    // refused before its tree takes much memory.
    static constexpr int MaxTokens = 100000;

    // The filter for `text`, owned by the caller; null when the text is not a
    // filter, GetError and GetErrorColumn then say why and where.
    std::unique_ptr<CFilter> Parse(std::string_view text);

    // Empty after a successful parse.
    const std::string& GetError() const { return m_error; }
    // 1-based column of the first character the parser could not accept;
    // 0 after a successful parse.
    int GetErrorColumn() const { return m_errorColumn; }

private:
    std::string m_error;
    int m_errorColumn = 0;
};
