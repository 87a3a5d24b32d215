#!/usr/bin/env python3
"""Traffic for link-captures.sh, and the loopback files made from it.

Without arguments: sends UDP, TCP and ICMP over IPv4 and UDP over IPv6 to
the loopback addresses, then holds the tun device tun0 up (running the
command in TUN_CAPTURE on it) and sends UDP and ICMP through it to
10.9.0.2 and fd00:9::2, and hands in one UDP packet as if received.
Run only inside the private namespace that link-captures.sh makes.

With --bsd IN NULL LOOP: rewrites the Ethernet capture IN into a null-link
file (family in little-endian order) and a loop-link file (network order).
"""

import fcntl
import os
import shlex
import socket
import struct
import subprocess
import sys
import time

TunSetIff = 0x400454CA
TunFlags = 0x0001 | 0x1000  # a tun device without packet information
FamilyIPv4 = 2
FamilyIPv6 = 24


def loopback_traffic():
    server = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    server.bind(("127.0.0.1", 5353))
    client = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    client.sendto(b"query", ("127.0.0.1", 5353))
    server.recvfrom(100)
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", 8080))
    listener.listen(1)
    connection = socket.create_connection(("127.0.0.1", 8080))
    accepted, _ = listener.accept()
    connection.sendall(b"GET / HTTP/1.0\r\n\r\n")
    accepted.recv(100)
    accepted.sendall(b"HTTP/1.0 200 OK\r\n\r\n")
    connection.recv(100)
    connection.close()
    accepted.close()
    ping = socket.socket(socket.AF_INET, socket.SOCK_RAW, socket.IPPROTO_ICMP)
    echo = struct.pack("!BBHHH", 8, 0, 0, 7, 1) + b"ping"
    checksum = sum(struct.unpack("!6H", echo)) 
    checksum = ~((checksum & 0xFFFF) + (checksum >> 16)) & 0xFFFF
    ping.sendto(echo[:2] + struct.pack("!H", checksum) + echo[4:], ("127.0.0.1", 0))
    server6 = socket.socket(socket.AF_INET6, socket.SOCK_DGRAM)
    server6.bind(("::1", 5353))
    socket.socket(socket.AF_INET6, socket.SOCK_DGRAM).sendto(b"query6", ("::1", 5353))
    server6.recvfrom(100)
    time.sleep(0.2)


def tun_traffic():
    tun = os.open("/dev/net/tun", os.O_RDWR)
    fcntl.ioctl(tun, TunSetIff, struct.pack("16sH", b"tun0", TunFlags))
    subprocess.run(["ip", "link", "set", "tun0", "up"], check=True)
    capture = subprocess.Popen(shlex.split(os.environ["TUN_CAPTURE"]), stderr=subprocess.DEVNULL)
    time.sleep(1)
    socket.socket(socket.AF_INET, socket.SOCK_DGRAM).sendto(b"to tun", ("10.9.0.2", 53))
    socket.socket(socket.AF_INET6, socket.SOCK_DGRAM).sendto(b"to tun6", ("fd00:9::2", 53))
    ping = socket.socket(socket.AF_INET, socket.SOCK_RAW, socket.IPPROTO_ICMP)
    ping.sendto(bytes([8, 0, 0xF7, 0xFE, 0, 1, 0, 0]), ("10.9.0.2", 0))
    # UDP from 10.9.0.2:53 to 10.9.0.1:40000, checksum left out.
    udp = struct.pack("!HHHH", 53, 40000, 12, 0) + b"back"
    header = struct.pack("!BBHHHBBH4s4s", 0x45, 0, 20 + len(udp), 1, 0, 64, 17, 0,
                         socket.inet_aton("10.9.0.2"), socket.inet_aton("10.9.0.1"))
    words = sum(struct.unpack("!10H", header))
    words = (words & 0xFFFF) + (words >> 16)
    header = header[:10] + struct.pack("!H", ~words & 0xFFFF) + header[12:]
    os.write(tun, header + udp)
    time.sleep(1)
    capture.send_signal(2)
    capture.wait()
    os.close(tun)


def bsd_files(source, null_path, loop_path):
    with open(source, "rb") as f:
        data = f.read()
    magic, major, minor, zone, sigfigs, snap, link = struct.unpack("<IHHiIII", data[:24])
    assert link == 1, "the loopback capture is not of Ethernet frames"
    records = []
    offset = 24
    while offset + 16 <= len(data):
        seconds, fraction, captured, original = struct.unpack("<IIII", data[offset:offset + 16])
        frame = data[offset + 16:offset + 16 + captured]
        offset += 16 + captured
        kind = struct.unpack("!H", frame[12:14])[0]
        family = {0x0800: FamilyIPv4, 0x86DD: FamilyIPv6}.get(kind)
        if family is not None:
            records.append((seconds, fraction, family, frame[14:], original - 14))
    for path, order, link_type in ((null_path, "<I", 0), (loop_path, "!I", 108)):
        with open(path, "wb") as f:
            f.write(struct.pack("<IHHiIII", magic, major, minor, zone, sigfigs, snap, link_type))
            for seconds, fraction, family, packet, original in records:
                f.write(struct.pack("<IIII", seconds, fraction, len(packet) + 4, original + 4))
                f.write(struct.pack(order, family) + packet)


if __name__ == "__main__":
    if len(sys.argv) == 5 and sys.argv[1] == "--bsd":
        bsd_files(*sys.argv[2:])
    else:
        loopback_traffic()
        tun_traffic()
