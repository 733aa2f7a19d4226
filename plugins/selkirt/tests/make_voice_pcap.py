#!/usr/bin/env python3
"""Writes voice.pcap beside this script: Ethernet frames of the voice
protocols that the tests decode from the media root on, among them the
awkward ones (two TPKTs in one segment, a 200-byte Display, a User-User
element at the frame's end, a capture cut inside an element).
Standard library only; run it again after changing the frames."""
import os
import struct
import sys


def checksum(data):
    if len(data) % 2:
        data += b"\0"
    s = sum(struct.unpack("!%dH" % (len(data) // 2), data))
    while s >> 16:
        s = (s & 0xFFFF) + (s >> 16)
    return ~s & 0xFFFF


def ipv4(proto, payload, ident):
    header = struct.pack("!BBHHHBBH4s4s", 0x45, 0, 20 + len(payload), ident, 0x4000, 64, proto, 0,
                         bytes([192, 168, 0, 10]), bytes([10, 1, 2, 3]))
    return header[:10] + struct.pack("!H", checksum(header)) + header[12:] + payload


def ether(payload):
    frame = bytes.fromhex("00000c07ac01 00a0c914c829 0800".replace(" ", "")) + payload
    return frame + b"\0" * max(0, 60 - len(frame))


def udp(port, payload, ident):
    return ether(ipv4(17, struct.pack("!HHHH", 40000, port, 8 + len(payload), 0) + payload, ident))


def tcp(port, payload, ident):
    header = struct.pack("!HHIIBBHHH", 40000, port, 1000 * ident, 1, 5 << 4, 0x18, 65535, 0, 0)
    return ether(ipv4(6, header + payload, ident))


def tpkt(message):
    return struct.pack("!BBH", 3, 0, 4 + len(message)) + message


def element(identifier, content):
    return bytes([identifier, len(content)]) + content


SETUP = (bytes.fromhex("08 02 0001 05".replace(" ", "")) + element(0x04, bytes.fromhex("8090a2")) + b"\xa1"
         + element(0x28, b"Alice") + element(0x70, bytes.fromhex("81323031"))
         + bytes.fromhex("7e 0003 05 0001".replace(" ", "")))
RELEASE_COMPLETE = bytes.fromhex("08 02 8001 5a".replace(" ", "")) + element(0x08, bytes.fromhex("8090"))
CONNECT = bytes.fromhex("08 02 8001 07".replace(" ", ""))
DISPLAY_200 = bytes.fromhex("08 02 0002 7b".replace(" ", "")) + element(0x28, bytes(0x41 + i % 26 for i in range(200)))
# The User-User element's header is cut by the message's end.
USER_USER_AT_END = bytes.fromhex("08 02 8002 62".replace(" ", "")) + element(0x1c, b"\x91") + b"\x7e\x00"

# (frame, bytes captured or None for all)
FRAMES = [
    (tcp(1720, tpkt(SETUP), 1), None),
    (tcp(1720, tpkt(RELEASE_COMPLETE) + tpkt(CONNECT), 2), None),
    (tcp(1720, tpkt(DISPLAY_200), 3), None),
    (tcp(1720, tpkt(USER_USER_AT_END), 4), None),
    # cut inside the bearer capability's octet 4
    (tcp(11720, tpkt(SETUP), 5), 54 + 4 + 5 + 3),
    (udp(1719, bytes.fromhex("26 90 00 07 08 02 00 01".replace(" ", "")), 6), None),
    (udp(5004, bytes.fromhex("80 00 0001 000000a0 12345678".replace(" ", "")) + b"\xd5" * 20, 7), None),
]


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(os.path.abspath(__file__)), "voice.pcap")
    with open(out, "wb") as f:
        f.write(struct.pack("<IHHiIII", 0xA1B2C3D4, 2, 4, 0, 0, 262144, 1))
        for i, (frame, captured) in enumerate(FRAMES):
            n = len(frame) if captured is None else captured
            f.write(struct.pack("<IIII", 1733817600 + i, 0, n, len(frame)))
            f.write(frame[:n])


if __name__ == "__main__":
    main()
