#!/usr/bin/env python3
"""Writes the damaged, oversized and short capture files of damaged/, the
same bytes on every run."""
import os
import struct

HERE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "damaged")


def ethernet(size, ethertype=0x0800, fill=0x41):
    frame = bytes.fromhex("020000000002020000000001") + struct.pack(">H", ethertype)
    return (frame + bytes((fill + i) & 0xFF for i in range(max(0, size - 14))))[:size]


def pcap(*records, nano=False, snaplen=262144):
    magic = 0xA1B23C4D if nano else 0xA1B2C3D4
    return struct.pack("<IHHiIII", magic, 2, 4, 0, 0, snaplen, 1) + b"".join(records)


def record(frame, i, original=None, captured=None):
    lengths = (len(frame) if captured is None else captured,
               len(frame) if original is None else original)
    return struct.pack("<IIII", 1_700_000_000 + i, 1000 * i + 7, *lengths) + frame


def good(count):
    return b"".join(record(ethernet(60 + i), i) for i in range(count))


def pcapng(frames):
    def block(kind, body):
        body += b"\0" * (-len(body) % 4)
        return struct.pack("<II", kind, 12 + len(body)) + body + struct.pack("<I", 12 + len(body))
    blocks = [block(0x0A0D0D0A, struct.pack("<IHHq", 0x1A2B3C4D, 1, 0, -1)),
              block(1, struct.pack("<HHI", 1, 0, 262144))]
    for i, frame in enumerate(frames):
        stamp = (1_700_000_000 + i) * 1_000_000 + i
        blocks.append(block(6, struct.pack("<IIIII", 0, stamp >> 32, stamp & 0xFFFFFFFF,
                                           len(frame), len(frame)) + frame))
    return b"".join(blocks)


FILES = {
    "cut-in-data.pcap": pcap(good(3)) + record(ethernet(100), 3)[:56],
    "cut-in-header.pcap": pcap(good(3)) + record(ethernet(100), 3)[:7],
    # Lengths no reader may allocate for.
    "huge-length.pcap": pcap(good(2), record(b"", 2, 0xFFFFFF00, 0xFFFFFF00)),
    "too-long.pcap": pcap(good(1), record(ethernet(100), 1, 262145, 262145)),
    "cut-in-block.pcapng": pcapng([ethernet(60 + i) for i in range(5)])[:-30],
    "huge-block.pcapng": pcapng([ethernet(60), ethernet(61)])
    + struct.pack("<II", 6, 0x7FFFFFF0) + bytes(40),
    "cut-file-header.pcap": pcap()[:10],
    "not-a-capture.pcap": b"this is plain text, not frames\n" * 3,
    # Longer than a receive record, and one frame cut by its capture.
    "long-frames.pcap": pcap(*(record(ethernet(n, fill=n & 0xFF), i)
                               for i, n in enumerate((2001, 4000, 9014))),
                             record(ethernet(64), 3, original=142), nano=True),
    # Sound, but with a frame longer than the file's snap length, which
    # libpcap cuts to it, or one claiming to be shorter than its bytes;
    # frames follow each.
    "over-snap.pcap": pcap(good(2), record(ethernet(150), 2), good(2), snaplen=100),
    "original-short.pcap": pcap(good(1), record(ethernet(80), 1, original=60), good(2)),
    # Shorter than the Ethernet header, or than an 802.2 header; then IPv6
    # headers of 39 and 40 bytes, and one followed by two bytes of an unnamed
    # protocol.
    "short-frames.pcap": pcap(record(ethernet(60), 0), record(b"", 1), record(ethernet(6), 2),
                              record(ethernet(13), 3), record(ethernet(15, 0x0010), 4),
                              record(ethernet(60), 5), record(ethernet(53, 0x86DD, 0x60), 6),
                              record(ethernet(54, 0x86DD, 0x60), 7),
                              record(ethernet(56, 0x86DD, 0x60), 8)),
}

if __name__ == "__main__":
    os.makedirs(HERE, exist_ok=True)
    for name, data in FILES.items():
        with open(os.path.join(HERE, name), "wb") as out:
            out.write(data)
