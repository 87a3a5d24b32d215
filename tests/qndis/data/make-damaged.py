#!/usr/bin/env python3
"""Writes the damaged, oversized and short capture files beside this script
(in damaged/), byte for byte the same on every run. Run it again after a
change and commit what it writes."""
import os
import struct

HERE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "damaged")
STAMP = 1_700_000_000


def ethernet(size, ethertype=0x0800, fill=0x41):
    header = bytes.fromhex("020000000002" "020000000001") + struct.pack(">H", ethertype)
    body = bytes((fill + i) & 0xFF for i in range(max(0, size - len(header))))
    return (header + body)[:size]


def pcap_header(snaplen=262144, nano=False):
    magic = 0xA1B23C4D if nano else 0xA1B2C3D4
    return struct.pack("<IHHiIII", magic, 2, 4, 0, 0, snaplen, 1)


def record(frame, index, original=None, captured=None):
    captured = len(frame) if captured is None else captured
    original = len(frame) if original is None else original
    return struct.pack("<IIII", STAMP + index, 1000 * index + 7, captured, original) + frame


def good_records(count=3):
    return b"".join(record(ethernet(60 + i), i) for i in range(count))


def pcapng_block(kind, body):
    body += b"\0" * (-len(body) % 4)
    length = 12 + len(body)
    return struct.pack("<II", kind, length) + body + struct.pack("<I", length)


def pcapng(frames):
    shb = pcapng_block(0x0A0D0D0A, struct.pack("<IHHq", 0x1A2B3C4D, 1, 0, -1))
    idb = pcapng_block(1, struct.pack("<HHI", 1, 0, 262144))
    blocks = [shb, idb]
    for i, frame in enumerate(frames):
        stamp = (STAMP + i) * 1_000_000 + i
        blocks.append(pcapng_block(6, struct.pack("<IIIII", 0, stamp >> 32, stamp & 0xFFFFFFFF,
                                                  len(frame), len(frame)) + frame))
    return b"".join(blocks)


def files():
    cut_record = record(ethernet(100), 3)
    epbs = pcapng([ethernet(60 + i) for i in range(5)])
    huge_block = struct.pack("<II", 6, 0x7FFFFFF0) + b"\0" * 40
    return {
        # Cut inside the data of the fourth record.
        "cut-in-data.pcap": pcap_header() + good_records() + cut_record[:56],
        # Cut inside the header of the fourth record.
        "cut-in-header.pcap": pcap_header() + good_records() + cut_record[:7],
        # A captured length no reader would allocate.
        "huge-length.pcap": pcap_header() + good_records(2) + record(b"", 2, 0xFFFFFF00,
                                                                     0xFFFFFF00),
        # One more than the largest frame an Ethernet capture may hold.
        "too-long.pcap": pcap_header() + good_records(1)
        + record(ethernet(100), 1, original=262145, captured=262145),
        "cut-in-block.pcapng": epbs[:-30],
        "huge-block.pcapng": pcapng([ethernet(60), ethernet(61)]) + huge_block,
        "cut-file-header.pcap": pcap_header()[:10],
        "not-a-capture.pcap": b"this is plain text, not frames\n" * 3,
        # Whole, but longer than a receive record, and one frame cut by its
        # capture (64 of 142 bytes).
        "long-frames.pcap": pcap_header(nano=True)
        + b"".join(record(ethernet(n, fill=n & 0xFF), i) for i, n in enumerate((2001, 4000, 9014)))
        + record(ethernet(64), 3, original=142),
        # Shorter than the Ethernet header, or than an 802.2 header.
        "short-frames.pcap": pcap_header()
        + record(ethernet(60), 0) + record(b"", 1) + record(ethernet(6), 2)
        + record(ethernet(13), 3) + record(ethernet(15, ethertype=0x0010), 4)
        + record(ethernet(60), 5),
    }


def main():
    os.makedirs(HERE, exist_ok=True)
    for name, data in files().items():
        with open(os.path.join(HERE, name), "wb") as out:
            out.write(data)


if __name__ == "__main__":
    main()
