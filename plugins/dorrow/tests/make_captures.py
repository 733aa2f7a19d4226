#!/usr/bin/env python3
"""Writes the two captures of PPP control packets that the tests and the
comparison with tshark share: ppp_control.pcap (Ethernet II, the control
protocols' numbers as EtherTypes, as the host feeds them) and
ppp_control_ppp.pcap (the same packets on the PPP link type, with HDLC-like
address and control bytes, as tshark reads them).
Standard library only; run it again after changing the packets."""
import os
import struct


def lcp(code, ident, data=b""):
    return struct.pack("!BBH", code, ident, 4 + len(data)) + data


def option(kind, value=b""):
    return struct.pack("!BB", kind, 2 + len(value)) + value


CONFIGURE = (option(1, struct.pack("!H", 1500)) + option(3, struct.pack("!H", 0xC023)) +
             option(5, struct.pack("!I", 0x1A2B3C4D)) + option(7) + option(8))
MAGIC = struct.pack("!I", 0x1A2B3C4D)

# (PPP protocol number, packet)
PACKETS = [
    (0xC021, lcp(1, 1, CONFIGURE)),
    (0xC021, lcp(2, 1, CONFIGURE)),
    (0xC021, lcp(3, 2, option(1, struct.pack("!H", 1492)))),
    (0xC021, lcp(4, 3, option(13, b"\x06"))),
    (0xC021, lcp(5, 4, b"bye")),
    (0xC021, lcp(6, 4)),
    (0xC021, lcp(7, 5, lcp(12, 1))),
    (0xC021, lcp(8, 6, struct.pack("!H", 0x80FD) + lcp(1, 1, option(17, b"\x00\x01\x04")))),
    (0xC021, lcp(9, 7, MAGIC)),
    (0xC021, lcp(10, 7, MAGIC)),
    (0xC021, lcp(11, 8, MAGIC + b"discard")),
    (0xC023, lcp(1, 1, b"\x05alice\x08secret12")),
    (0xC023, lcp(2, 1, b"\x07Welcome")),
    (0xC023, lcp(3, 2, b"\x06Denied")),
    (0x8021, lcp(1, 1, option(3, bytes([192, 168, 1, 1])))),
    (0x80FD, lcp(1, 1, option(17, b"\x00\x01\x04"))),
]

DESTINATION = bytes.fromhex("00000c123456")
SOURCE = bytes.fromhex("00a0c914c829")


def ethernet(number, packet):
    frame = DESTINATION + SOURCE + struct.pack("!H", number) + packet
    return frame + b"\0" * max(0, 60 - len(frame))


def ppp(number, packet):
    return b"\xff\x03" + struct.pack("!H", number) + packet


def write(path, link_type, frames):
    with open(path, "wb") as f:
        f.write(struct.pack("<IHHiIII", 0xA1B2C3D4, 2, 4, 0, 0, 65535, link_type))
        for i, frame in enumerate(frames):
            f.write(struct.pack("<IIII", 1733900000 + i, 0, len(frame), len(frame)))
            f.write(frame)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    write(os.path.join(here, "ppp_control.pcap"), 1, [ethernet(n, p) for n, p in PACKETS])
    write(os.path.join(here, "ppp_control_ppp.pcap"), 9, [ppp(n, p) for n, p in PACKETS])


if __name__ == "__main__":
    main()
