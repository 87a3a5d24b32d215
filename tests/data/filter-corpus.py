#!/usr/bin/env python3
"""Writes filter-corpus.pcap and filter-corpus.txt beside this script.

The corpus holds frames of all seven Ethernet encapsulations and the traffic
that the filter language's implied conditions are about: TCP, UDP and ICMP
over IPv4, ARP, IPv6, first and non-first IPv4 fragments, tagged and SNAP
frames, and frames too short for the fields.  Frame i carries the time stamp
FirstSecond + i seconds, so a selection can be mapped back to indexes.

filter-corpus.txt lists one frame a line: index, category, name.  The
category says how another analyser may legitimately see the frame
differently:
  plain        Ethernet II, read alike by everyone
  snap         SNAP header with organisation code 0 carrying an Ethernet type
  tagged       802.1Q tag (type 0x8100 at byte 12)
  tagged-snap  802.1Q tag inside a SNAP header
  fragment     a non-first IPv4 fragment: no transport header behind the IP one
  truncated    IPv4 cut short before a field the filters read
  runt         shorter than an Ethernet header
  llc          802.3 length field: raw, 802.2 type I or type II

Plain struct only, so the corpus can be rebuilt anywhere python3 runs; the
output is the same byte for byte on every run.
"""

import os
import struct

FirstSecond = 1_700_000_000
LinkTypeEthernet = 1
MinimumFrame = 60

StationA = bytes.fromhex("020000000001")
StationB = bytes.fromhex("020000000002")
Broadcast = b"\xff" * 6
Multicast = bytes.fromhex("01005e0000fb")

TypeIPv4, TypeARP, TypeIPv6, TypeTag = 0x0800, 0x0806, 0x86DD, 0x8100
ICMP, IGMP, TCP, UDP, OSPF = 1, 2, 6, 17, 89


def ip(text):
    return bytes(int(part) for part in text.split("."))


def checksum(data):
    if len(data) % 2:
        data += b"\0"
    total = sum(struct.unpack("!%dH" % (len(data) // 2), data))
    while total >> 16:
        total = (total & 0xFFFF) + (total >> 16)
    return ~total & 0xFFFF


def ipv4(protocol, source, destination, body, flags_fragment=0, options=b""):
    words = 5 + len(options) // 4
    header = struct.pack("!BBHHHBBH4s4s", 0x40 | words, 0, 4 * words + len(body), 0x1234,
                         flags_fragment, 64, protocol, 0, ip(source), ip(destination)) + options
    header = header[:10] + struct.pack("!H", checksum(header)) + header[12:]
    return header + body


def udp(source_port, destination_port, payload=b"q"):
    return struct.pack("!HHHH", source_port, destination_port, 8 + len(payload), 0) + payload


def tcp(source_port, destination_port, payload=b""):
    return struct.pack("!HHIIBBHHH", source_port, destination_port, 1, 0, 0x50, 0x18, 0xFFFF,
                       0, 0) + payload


def icmp(kind, code=0, rest=b"\0\0\0\0", payload=b""):
    message = struct.pack("!BBH", kind, code, 0) + rest + payload
    return message[:2] + struct.pack("!H", checksum(message)) + message[4:]


def arp(operation, sender_mac, sender_ip, target_mac, target_ip):
    return struct.pack("!HHBBH6s4s6s4s", 1, TypeIPv4, 6, 4, operation, sender_mac,
                       ip(sender_ip), target_mac, ip(target_ip))


def ipv6_udp(source_port, destination_port):
    source = bytes.fromhex("20010db8000000000000000000000001")
    destination = bytes.fromhex("20010db8000000000000000000000002")
    body = udp(source_port, destination_port)
    return struct.pack("!IHBB16s16s", 0x60000000, len(body), UDP, 64, source,
                       destination) + body


def pad(frame):
    return frame + b"\0" * max(0, MinimumFrame - len(frame))


def ethernet(ether_type, payload, source=StationA, destination=StationB):
    return pad(destination + source + struct.pack("!H", ether_type) + payload)


def tagged(ether_type, payload, vlan=5, source=StationA, destination=StationB, routing=b""):
    # The canonical-format bit announces a routing field behind the tag.
    control = vlan | (0x1000 if routing else 0)
    return pad(destination + source + struct.pack("!HH", TypeTag, control) + routing +
               struct.pack("!H", ether_type) + payload)


def snap(organisation, ether_type, payload, source=StationA, destination=StationB):
    llc = b"\xaa\xaa\x03" + organisation + struct.pack("!H", ether_type) + payload
    return pad(destination + source + struct.pack("!H", len(llc)) + llc)


def tagged_snap(ether_type, payload, vlan=9, source=StationA, destination=StationB):
    inner = struct.pack("!H", vlan) + b"\0\0\0" + struct.pack("!H", ether_type) + payload
    llc = b"\xaa\xaa\x03\0\0\0" + struct.pack("!H", TypeTag) + inner
    return pad(destination + source + struct.pack("!H", len(llc)) + llc)


def llc(dsap, control, payload, source=StationA, destination=StationB):
    body = bytes([dsap, dsap]) + control + payload
    return pad(destination + source + struct.pack("!H", len(body)) + body)


def raw8023(payload, source=StationA, destination=StationB):
    body = b"\xff\xff" + payload
    return pad(destination + source + struct.pack("!H", len(body)) + body)


def cut(frame, length):
    return frame[:length]


DnsQuery = ipv4(UDP, "10.0.0.1", "10.0.0.2", udp(5353, 53))
HttpRequest = ipv4(TCP, "192.168.1.5", "10.1.2.3", tcp(40000, 80, b"GET / HTTP/1.0\r\n\r\n"))

# (category, name, frame); the order is the index the tests refer to.
Frames = [
    ("plain", "udp 10.0.0.1:5353 > 10.0.0.2:53", ethernet(TypeIPv4, DnsQuery)),
    ("plain", "udp 10.0.0.2:53 > 10.0.0.1:5353",
     ethernet(TypeIPv4, ipv4(UDP, "10.0.0.2", "10.0.0.1", udp(53, 5353)), StationB, StationA)),
    ("plain", "tcp 192.168.1.5:40000 > 10.1.2.3:80", ethernet(TypeIPv4, HttpRequest)),
    ("plain", "tcp 10.1.2.3:80 > 192.168.1.5:40000",
     ethernet(TypeIPv4, ipv4(TCP, "10.1.2.3", "192.168.1.5", tcp(80, 40000)), StationB, StationA)),
    ("plain", "tcp 10.0.0.1:1023 > 10.0.0.2:1024",
     ethernet(TypeIPv4, ipv4(TCP, "10.0.0.1", "10.0.0.2", tcp(1023, 1024)))),
    ("plain", "udp 172.16.0.9:2100 > 10.0.0.2:65535",
     ethernet(TypeIPv4, ipv4(UDP, "172.16.0.9", "10.0.0.2", udp(2100, 65535)))),
    ("plain", "tcp 172.16.0.9:2100 > 10.0.0.1:1234",
     ethernet(TypeIPv4, ipv4(TCP, "172.16.0.9", "10.0.0.1", tcp(2100, 1234)))),
    ("plain", "icmp echo request 10.0.0.1 > 10.0.0.2",
     ethernet(TypeIPv4, ipv4(ICMP, "10.0.0.1", "10.0.0.2", icmp(8, rest=b"\x51\x4e\0\1")))),
    # Identifier, sequence and payload zero: the checksum is FF FF, where a
    # destination port would be.
    ("plain", "icmp echo reply 10.0.0.2 > 10.0.0.1 checksum ffff",
     ethernet(TypeIPv4, ipv4(ICMP, "10.0.0.2", "10.0.0.1", icmp(0)), StationB, StationA)),
    ("plain", "icmp unreachable 10.0.0.2 > 10.0.0.1",
     ethernet(TypeIPv4, ipv4(ICMP, "10.0.0.2", "10.0.0.1", icmp(3, 3, payload=DnsQuery[:28])),
              StationB, StationA)),
    ("plain", "igmp 10.0.0.1 > 224.0.0.22",
     ethernet(TypeIPv4, ipv4(IGMP, "10.0.0.1", "224.0.0.22", b"\x22\0\xfa\x04\0\0\0\0"))),
    ("plain", "ospf 10.0.0.1 > 224.0.0.5",
     ethernet(TypeIPv4, ipv4(OSPF, "10.0.0.1", "224.0.0.5", b"\x02\x01\0\x2c" + b"\0" * 20))),
    ("plain", "tcp with ip options 10.0.0.1:40001 > 10.1.2.3:80",
     ethernet(TypeIPv4, ipv4(TCP, "10.0.0.1", "10.1.2.3", tcp(40001, 80), options=b"\x01\x01\x01\0"))),
    ("plain", "udp dont-fragment 10.0.0.1:1024 > 10.0.0.2:53",
     ethernet(TypeIPv4, ipv4(UDP, "10.0.0.1", "10.0.0.2", udp(1024, 53), 0x4000))),
    ("plain", "udp first fragment 10.0.0.1:1024 > 10.0.0.2:53",
     ethernet(TypeIPv4, ipv4(UDP, "10.0.0.1", "10.0.0.2", udp(1024, 53, b"x" * 24), 0x2000))),
    # Behind the header: bytes that read as ports 5005 > 53.
    ("fragment", "udp non-first fragment 10.0.0.1 > 10.0.0.2 offset 1480",
     ethernet(TypeIPv4, ipv4(UDP, "10.0.0.1", "10.0.0.2", udp(5005, 53, b"x" * 16), 185))),
    # Behind the header: a byte that reads as ICMP type 8.
    ("fragment", "icmp non-first fragment 10.0.0.1 > 10.0.0.2 offset 1480",
     ethernet(TypeIPv4, ipv4(ICMP, "10.0.0.1", "10.0.0.2", b"\x08" + b"y" * 23, 0x2000 | 185))),
    ("plain", "udp broadcast 10.0.0.1:68 > 255.255.255.255:67",
     ethernet(TypeIPv4, ipv4(UDP, "10.0.0.1", "255.255.255.255", udp(68, 67)),
              destination=Broadcast)),
    ("plain", "udp multicast 10.0.0.1:5353 > 224.0.0.251:5353",
     ethernet(TypeIPv4, ipv4(UDP, "10.0.0.1", "224.0.0.251", udp(5353, 5353)),
              destination=Multicast)),
    ("plain", "arp who-has 10.0.0.2 tell 10.0.0.1",
     ethernet(TypeARP, arp(1, StationA, "10.0.0.1", b"\0" * 6, "10.0.0.2"),
              destination=Broadcast)),
    ("plain", "arp reply 10.0.0.2 is-at 02:00:00:00:00:02",
     ethernet(TypeARP, arp(2, StationB, "10.0.0.2", StationA, "10.0.0.1"), StationB, StationA)),
    ("plain", "ipv6 udp 2001:db8::1:5353 > 2001:db8::2:53", ethernet(TypeIPv6, ipv6_udp(5353, 53))),
    ("snap", "snap ipv4 udp 10.0.0.1:1024 > 10.0.0.2:53",
     snap(b"\0\0\0", TypeIPv4, ipv4(UDP, "10.0.0.1", "10.0.0.2", udp(1024, 53)))),
    ("snap", "snap arp who-has 10.0.0.9 tell 10.0.0.1",
     snap(b"\0\0\0", TypeARP, arp(1, StationA, "10.0.0.1", b"\0" * 6, "10.0.0.9"))),
    ("llc", "snap appletalk 08-00-07 809b", snap(b"\x08\x00\x07", 0x809B, b"\0" * 20)),
    ("llc", "802.2 type I stp bpdu", llc(0x42, b"\x03", b"\0" * 35, destination=bytes.fromhex("0180c2000000"))),
    ("llc", "802.2 type II dsap e0", llc(0xE0, b"\x00\x00", b"\0" * 30)),
    ("llc", "raw 802.3 ipx", raw8023(b"\0\x1e\0\x11" + b"\0" * 26)),
    ("tagged", "vlan 5 udp 10.0.0.1:5000 > 10.0.0.9:53",
     tagged(TypeIPv4, ipv4(UDP, "10.0.0.1", "10.0.0.9", udp(5000, 53)))),
    ("tagged", "vlan 5 tcp 192.168.1.5:40000 > 10.1.2.3:80", tagged(TypeIPv4, HttpRequest)),
    ("tagged", "vlan 7 arp who-has 10.0.0.2 tell 10.0.0.1",
     tagged(TypeARP, arp(1, StationA, "10.0.0.1", b"\0" * 6, "10.0.0.2"), 7,
            destination=Broadcast)),
    ("tagged", "vlan 5 carrying vlan 100 icmp echo request 10.0.0.1 > 10.0.0.2",
     tagged(TypeTag, struct.pack("!H", 100) + struct.pack("!H", TypeIPv4) +
            ipv4(ICMP, "10.0.0.1", "10.0.0.2", icmp(8)))),
    ("tagged", "vlan 5 with routing field udp 10.0.0.1:1024 > 10.0.0.2:53",
     tagged(TypeIPv4, ipv4(UDP, "10.0.0.1", "10.0.0.2", udp(1024, 53)), routing=b"\0\0")),
    ("tagged-snap", "snap vlan 9 udp 10.0.0.1:5000 > 10.0.0.2:5000",
     tagged_snap(TypeIPv4, ipv4(UDP, "10.0.0.1", "10.0.0.2", udp(5000, 5000)))),
    ("runt", "0 bytes", b""),
    ("runt", "6 bytes", StationB),
    ("truncated", "14 bytes: ethernet header of ipv4, nothing behind",
     cut(ethernet(TypeIPv4, DnsQuery), 14)),
    ("truncated", "20 bytes: 6 bytes of the ipv4 header", cut(ethernet(TypeIPv4, DnsQuery), 20)),
    ("truncated", "30 bytes: ipv4 cut inside the destination address",
     cut(ethernet(TypeIPv4, DnsQuery), 30)),
    ("truncated", "35 bytes: udp cut before the source port", cut(ethernet(TypeIPv4, DnsQuery), 35)),
    ("truncated", "36 bytes: tcp source port 40000 only", cut(ethernet(TypeIPv4, HttpRequest), 36)),
    ("truncated", "34 bytes: icmp without its type",
     cut(ethernet(TypeIPv4, ipv4(ICMP, "10.0.0.1", "10.0.0.2", icmp(8))), 34)),
]


def write_pcap(path, frames):
    with open(path, "wb") as out:
        out.write(struct.pack("<IHHiIII", 0xA1B2C3D4, 2, 4, 0, 0, 65535, LinkTypeEthernet))
        for index, (_, _, frame) in enumerate(frames):
            out.write(struct.pack("<IIII", FirstSecond + index, 0, len(frame), len(frame)))
            out.write(frame)


def write_index(path, frames):
    with open(path, "w") as out:
        for index, (category, name, _) in enumerate(frames):
            out.write("%d %s %s\n" % (index, category, name))


if __name__ == "__main__":
    here = os.path.dirname(os.path.abspath(__file__))
    write_pcap(os.path.join(here, "filter-corpus.pcap"), Frames)
    write_index(os.path.join(here, "filter-corpus.txt"), Frames)
