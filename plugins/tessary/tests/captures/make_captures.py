#!/usr/bin/python3
"""Writes the Novell captures that Tessary's tests read, with scapy (Debian's
python3-scapy, under Debian's own /usr/bin/python3). Run it again after
changing a frame; the tests and tshark read the .pcap files it writes.

  ncp-ipx.pcap      NCP request and reply pairs over IPX (Ethernet II)
  ncp-tcp.pcap      NCP over TCP port 524: request, reply, a continuation
  sap-rip.pcap      SAP answers with several services, SAP and RIP requests,
                    RIP answers, over 802.2, raw 802.3 and Ethernet II
  netbios-ipx.pcap  NetBIOS over IPX and NMPI, with SMB behind them
"""
import os
import struct

from scapy.layers.inet import IP, TCP
from scapy.layers.l2 import LLC, Dot3, Ether
from scapy.packet import Padding, Raw
from scapy.utils import wrpcap

HERE = os.path.dirname(os.path.abspath(__file__))

CLIENT_MAC = "00:a0:c9:14:c8:29"
SERVER_MAC = "00:00:0c:12:34:56"
BROADCAST = "ff:ff:ff:ff:ff:ff"
CLIENT_NODE = bytes.fromhex("00a0c914c829")
SERVER_NODE = bytes.fromhex("00000c123456")
ALL_NODES = b"\xff" * 6
NET = 0x0A0B0C0D
SERVER_NET = 0x00000001


def ipx(ptype, dnet, dnode, dsock, snet, snode, ssock, payload, hops=0):
    length = 30 + len(payload)
    return (struct.pack("!HHBBI", 0xFFFF, length, hops, ptype, dnet) + dnode + struct.pack("!HI", dsock, snet)
            + snode + struct.pack("!H", ssock) + payload)


def padded(frame):
    """Short frames carry zeros up to the 60 bytes of the wire's minimum."""
    short = 60 - len(bytes(frame))
    return frame / Padding(b"\0" * short) if short > 0 else frame


def eth2(dst, src, data):
    return padded(Ether(dst=dst, src=src, type=0x8137) / Raw(data))


def llc(dst, src, data):
    return padded(Dot3(dst=dst, src=src, len=3 + len(data)) / LLC(dsap=0xE0, ssap=0xE0, ctrl=3) / Raw(data))


def raw8023(dst, src, data):
    return padded(Dot3(dst=dst, src=src, len=len(data)) / Raw(data))


# ---------------------------------------------------------------- NCP

def ncp_request(seq, conn, task, function, body=b""):
    return struct.pack("!HBBBBB", 0x2222, seq, conn & 0xFF, task, conn >> 8, function) + body


def ncp_reply(seq, conn, task, completion, status, body=b""):
    return struct.pack("!HBBBBBB", 0x3333, seq, conn & 0xFF, task, conn >> 8, completion, status) + body


def sub9(subfunction, body=b""):
    """A subfunction behind a 2-byte length (functions 17, 21, 22, 23, ...)."""
    return struct.pack("!HB", 1 + len(body), subfunction) + body


def to_server(payload, ssock=0x4003, dsock=0x0451):
    return eth2(SERVER_MAC, CLIENT_MAC, ipx(17, SERVER_NET, SERVER_NODE, dsock, NET, CLIENT_NODE, ssock, payload))


def to_client(payload, dsock=0x4003, ssock=0x0451):
    return eth2(CLIENT_MAC, SERVER_MAC, ipx(17, NET, CLIENT_NODE, dsock, SERVER_NET, SERVER_NODE, ssock, payload))


def ncp_ipx():
    conn = 0x0105
    return [
        # create the connection, and its reply
        to_server(struct.pack("!HBBBB", 0x1111, 0, 0xFF, 0, 0xFF)),
        to_client(ncp_reply(0, conn, 0, 0, 0)),
        # Get File Server Information (function 23, subfunction 17)
        to_server(ncp_request(1, conn, 1, 23, sub9(17))),
        to_client(ncp_reply(1, conn, 1, 0, 0, b"SERVER1".ljust(48, b"\0"))),
        # Read From a File (function 72) refused: invalid file handle
        to_server(ncp_request(2, conn, 1, 72, bytes.fromhex("00 000000000000 00000000 0200"))),
        to_client(ncp_reply(2, conn, 1, 0x88, 0)),
        # Initialize Search (function 87, subfunction 2 at byte 7)
        to_server(ncp_request(3, conn, 2, 87, bytes.fromhex("02 00 00 00000000 00 00 00"))),
        to_client(ncp_reply(3, conn, 2, 0x9C, 0x01)),
        # TTS Begin Transaction (function 34, subfunction 1)
        to_server(ncp_request(4, conn, 2, 34, bytes.fromhex("01"))),
        # the server is still working on it
        to_client(struct.pack("!HBBBBBBH", 0x9999, 4, conn & 0xFF, 2, 0, 0, 0, 0)),
        to_client(ncp_reply(4, conn, 2, 0, 0)),
        # a burst packet: end of burst and system packet
        to_client(struct.pack("!HBB", 0x7777, 2, 0x90) + struct.pack("<II", 0x01020304, 0x0A0B0C0D)
                  + struct.pack("!IIHHIIHH", 7, 100, 3, 2, 1024, 512, 512, 0)),
        # NCP between two other sockets reaches NCP by its packet type
        to_server(ncp_request(5, conn, 3, 62, bytes.fromhex("00 0000")), ssock=0x5001, dsock=0x5000),
        # destroy the connection
        to_server(struct.pack("!HBBBB", 0x5555, 6, conn & 0xFF, 3, conn >> 8)),
    ]


def ncp_tcp():
    client, server = "192.168.0.10", "192.168.0.20"
    request = ncp_request(1, 0x0105, 1, 23, sub9(17))
    reply = ncp_reply(1, 0x0105, 1, 0, 0, b"SERVER1".ljust(48, b"\0"))

    def seg(src, dst, sport, dport, seq, data):
        return (Ether(dst=SERVER_MAC, src=CLIENT_MAC) / IP(src=src, dst=dst, id=1)
                / TCP(sport=sport, dport=dport, seq=seq, ack=1, flags="PA", window=8192) / Raw(data))

    return [
        seg(client, server, 1025, 524, 1, b"DmdT" + struct.pack("!III", 16 + len(request), 1, 2) + request),
        seg(server, client, 524, 1025, 1, b"tNcP" + struct.pack("!I", 8 + len(reply)) + reply),
        # the rest of a message begun in an earlier segment
        seg(server, client, 524, 1025, 1 + 8 + len(reply), b"\0" * 24),
    ]


# ---------------------------------------------------------------- SAP and RIP

def sap_entry(stype, name, net, node, sock, hops):
    return struct.pack("!H", stype) + name.ljust(48, b"\0") + struct.pack("!I", net) + node + struct.pack("!HH", sock, hops)


def sap_rip():
    services = [
        (0x0004, b"SERVER1", 0x00000001, b"\x00\x00\x00\x00\x00\x01", 0x0451, 1),
        (0x0004, b"SERVER2", 0x00000002, b"\x00\x00\x00\x00\x00\x01", 0x0451, 2),
        (0x0278, b"TREE_A", 0x00000001, b"\x00\x00\x00\x00\x00\x01", 0x4006, 1),
        (0x0047, b"PRINTSRV", 0x00000003, SERVER_NODE, 0x8060, 3),
        (0x0107, b"SERVER1", 0x00000001, b"\x00\x00\x00\x00\x00\x01", 0x8104, 1),
        (0x026B, b"TIMESYNC", 0x00000002, b"\x00\x00\x00\x00\x00\x01", 0x0451, 2),
        (0x1234, b"ODDBALL", 0x00000004, SERVER_NODE, 0x4001, 4),
    ]
    general = struct.pack("!H", 2) + b"".join(sap_entry(*s) for s in services)
    nearest = struct.pack("!H", 4) + sap_entry(*services[0])
    routes = [(0x00000001, 1, 2), (0x00000002, 2, 3), (0x00000003, 16, 17), (0x0A0B0C0D, 1, 1)]
    rip_answer = struct.pack("!H", 2) + b"".join(struct.pack("!IHH", *r) for r in routes)
    rip_gone = struct.pack("!H", 2) + struct.pack("!IHH", 0x00000005, 16, 7)
    rip_query = struct.pack("!H", 1) + struct.pack("!IHH", 0xFFFFFFFF, 0xFFFF, 0xFFFF)
    return [
        # a general query for file servers, over 802.2, and seven answers
        llc(BROADCAST, CLIENT_MAC, ipx(4, 0, ALL_NODES, 0x0452, NET, CLIENT_NODE, 0x4008, struct.pack("!HH", 1, 4))),
        llc(BROADCAST, SERVER_MAC, ipx(4, 0, ALL_NODES, 0x0452, SERVER_NET, SERVER_NODE, 0x0452, general)),
        # nearest service, over raw 802.3, answered from socket 0x0452 with type 0
        raw8023(BROADCAST, CLIENT_MAC, ipx(0, 0, ALL_NODES, 0x0452, NET, CLIENT_NODE, 0x4009, struct.pack("!HH", 3, 4))),
        raw8023(CLIENT_MAC, SERVER_MAC, ipx(0, NET, CLIENT_NODE, 0x4009, SERVER_NET, SERVER_NODE, 0x0452, nearest)),
        # RIP over Ethernet II: a query for every network, answers
        eth2(BROADCAST, CLIENT_MAC, ipx(1, 0, ALL_NODES, 0x0453, NET, CLIENT_NODE, 0x0453, rip_query)),
        eth2(BROADCAST, SERVER_MAC, ipx(1, 0, ALL_NODES, 0x0453, SERVER_NET, SERVER_NODE, 0x0453, rip_answer)),
        eth2(BROADCAST, SERVER_MAC, ipx(1, 0, ALL_NODES, 0x0453, SERVER_NET, SERVER_NODE, 0x0453, rip_gone)),
    ]


# ---------------------------------------------------------------- NetBIOS and NMPI

def nb_name(text, suffix):
    return text.encode().ljust(15, b" ") + bytes([suffix])


def smb(command, flags=0x18):
    header = b"\xffSMB" + bytes([command, 0, 0]) + struct.pack("<H", 0) + bytes([flags]) + struct.pack("<H", 0)
    header += b"\0" * 12 + struct.pack("<HHHH", 0, 0x1234, 0, 1)
    return header + b"\x00" + struct.pack("<H", 0)  # no words, no bytes


def netbios_ipx():
    query = struct.pack("!8I", NET, 0, 0, 0, 0, 0, 0, 0) + bytes([0x00, 1]) + nb_name("FILESRV", 0x20)
    datagram = bytes([0, 11]) + nb_name("WORKGROUP", 0x1D) + nb_name("PC1", 0x00) + smb(0x25)
    session = bytes([0x40, 6]) + struct.pack("<HHHHHHHH", 0x0A, 0x0B, 1, 18 + 36, 0, 36, 0, 0) + smb(0x72)
    nmpi_query = b"\0" * 32 + bytes([0xF3, 0, 0, 0]) + nb_name("FILESRV", 0x20) + nb_name("PC1", 0x00)
    nmpi_mailslot = b"\0" * 32 + bytes([0xFC, 0, 0, 0]) + nb_name("WORKGROUP", 0x1D) + nb_name("PC1", 0x00) + smb(0x25)
    return [
        # a name query propagated with type 20
        llc(BROADCAST, CLIENT_MAC, ipx(20, 0, ALL_NODES, 0x0455, NET, CLIENT_NODE, 0x0455, query)),
        # a datagram carrying an SMB transaction, to a group name
        eth2(BROADCAST, CLIENT_MAC, ipx(4, 0, ALL_NODES, 0x0455, NET, CLIENT_NODE, 0x0455, datagram)),
        # session data carrying an SMB negotiation
        eth2(SERVER_MAC, CLIENT_MAC, ipx(4, SERVER_NET, SERVER_NODE, 0x0455, NET, CLIENT_NODE, 0x0455, session)),
        # NMPI: a name query on the name claim socket, a mailslot write with SMB behind it
        eth2(BROADCAST, CLIENT_MAC, ipx(4, 0, ALL_NODES, 0x0551, NET, CLIENT_NODE, 0x0551, nmpi_query)),
        eth2(BROADCAST, CLIENT_MAC, ipx(4, 0, ALL_NODES, 0x0553, NET, CLIENT_NODE, 0x0553, nmpi_mailslot)),
    ]


def main():
    for name, packets in [("ncp-ipx", ncp_ipx()), ("ncp-tcp", ncp_tcp()), ("sap-rip", sap_rip()),
                          ("netbios-ipx", netbios_ipx())]:
        for i, p in enumerate(packets):
            p.time = 1733817600 + i
        wrpcap(os.path.join(HERE, name + ".pcap"), packets)


if __name__ == "__main__":
    main()
