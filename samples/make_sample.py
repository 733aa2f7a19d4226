#!/usr/bin/env python3
"""Writes the sample captures: samples/sample.pcap, a handful of Ethernet
frames of the kinds the plug-ins decode (quorvane decodes it when no file is
named), and samples/sample-wireless.pcap, 802.11 frames behind radiotap
headers (a pcap file holds frames of one link type only).
Standard library only; run it again after changing the frames."""
import os
import struct
import sys
import zlib


def checksum(data):
    if len(data) % 2:
        data += b"\0"
    s = sum(struct.unpack("!%dH" % (len(data) // 2), data))
    while s >> 16:
        s = (s & 0xFFFF) + (s >> 16)
    return ~s & 0xFFFF


def mac(text):
    return bytes(int(x, 16) for x in text.split(":"))


def ip4(text):
    return bytes(int(x) for x in text.split("."))


def ether(dst, src, ethertype, payload):
    frame = mac(dst) + mac(src) + struct.pack("!H", ethertype) + payload
    return frame + b"\0" * max(0, 60 - len(frame))


def ipv4(src, dst, proto, payload, ident=1, ttl=64):
    header = struct.pack("!BBHHHBBH4s4s", 0x45, 0, 20 + len(payload), ident, 0x4000, ttl, proto, 0,
                         ip4(src), ip4(dst))
    header = header[:10] + struct.pack("!H", checksum(header)) + header[12:]
    return header + payload


def udp(sport, dport, payload):
    return struct.pack("!HHHH", sport, dport, 8 + len(payload), 0) + payload


def tcp(sport, dport, seq, ack, flags, options=b"", payload=b"", window=65535):
    offset = (20 + len(options)) // 4
    return struct.pack("!HHIIBBHHH", sport, dport, seq, ack, offset << 4, flags, window, 0, 0) + options + payload


def dns_query(name, ident=0x1234):
    q = b"".join(bytes([len(p)]) + p.encode() for p in name.split(".")) + b"\0"
    return struct.pack("!HHHHHH", ident, 0x0100, 1, 0, 0, 0) + q + struct.pack("!HH", 1, 1)


def dns_name(name):
    return b"".join(bytes([len(p)]) + p.encode() for p in name.split(".")) + b"\0"


def dns_response(name, ident=0x1234):
    answers = (b"\xc0\x0c" + struct.pack("!HHIH", 5, 1, 3600, 6) + b"\x03web\xc0\x10"
               + b"\xc0\x2d" + struct.pack("!HHIH", 1, 1, 3600, 4) + ip4("93.184.216.34"))
    return (struct.pack("!HHHHHH", ident, 0x8180, 1, 2, 0, 0) + dns_name(name) + struct.pack("!HH", 1, 1)
            + answers)


def nb_name(name, suffix):
    raw = name.ljust(15)[:15].encode() + bytes([suffix])
    return bytes([0x20]) + bytes(b for c in raw for b in (0x41 + (c >> 4), 0x41 + (c & 0x0F))) + b"\0"


def nbns(flags, questions, answers, body, ident=0x8001):
    return struct.pack("!HHHHHH", ident, flags, questions, answers, 0, 0) + body


def smb_header(command):
    return b"\xffSMB" + bytes([command]) + b"\0" * 27


def llc_frame(dst, src, payload):
    frame = mac(dst) + mac(src) + struct.pack("!H", len(payload)) + payload
    return frame + b"\0" * max(0, 60 - len(frame))


def tlv(kind, value):
    return struct.pack("!HH", kind, 4 + len(value)) + value


def cdp():
    address = struct.pack("!I", 1) + bytes([1, 1, 0xCC]) + struct.pack("!H", 4) + ip4("192.168.0.2")
    body = (tlv(1, b"switch1") + tlv(2, address) + tlv(3, b"FastEthernet0/1") + tlv(4, struct.pack("!I", 0x29))
            + tlv(5, b"Version 12.1"))
    return bytes([2, 180]) + struct.pack("!H", 0) + body


def ber(tag, contents):
    n = len(contents)
    length = bytes([n]) if n < 0x80 else bytes([0x81, n]) if n < 0x100 else bytes([0x82, n >> 8, n & 0xFF])
    return bytes([tag]) + length + contents


SYS_DESCR = bytes.fromhex("2b06010201010100")
SYS_UPTIME = bytes.fromhex("2b06010201010300")


def snmp(pdu, bindings, community=b"public"):
    varbinds = b"".join(ber(0x30, ber(0x06, name) + value) for name, value in bindings)
    body = ber(0x02, b"\x12\x34") + ber(0x02, b"\0") + ber(0x02, b"\0") + ber(0x30, varbinds)
    return ber(0x30, ber(0x02, b"\x01") + ber(0x04, community) + ber(pdu, body))


def ospf(kind, body):
    header = struct.pack("!BBH4s4sHH8s", 2, kind, 24 + len(body), ip4("192.168.0.1"), ip4("0.0.0.0"), 0, 0, b"\0" * 8)
    packet = header + body
    return packet[:12] + struct.pack("!H", checksum(packet[:16] + packet[24:])) + packet[14:]


def ospf_hello():
    return ospf(1, ip4("255.255.255.0") + struct.pack("!HBBI", 10, 2, 1, 40) + ip4("192.168.0.1") + ip4("0.0.0.0")
                + ip4("192.168.0.2"))


def ospf_update():
    links = ip4("192.168.0.0") + ip4("255.255.255.0") + struct.pack("!BBH", 3, 0, 10)
    body = struct.pack("!HH", 0, 1) + links
    lsa = struct.pack("!HBB4s4sIHH", 1, 2, 1, ip4("192.168.0.1"), ip4("192.168.0.1"), 0x80000001, 0, 20 + len(body))
    return ospf(4, struct.pack("!I", 1) + lsa + body)


def slp_request():
    fields = b"".join(struct.pack("!H", len(f)) + f for f in (b"", b"service:printer:lpr", b"DEFAULT", b"", b""))
    header_length = 16
    length = header_length + len(fields)
    return (bytes([2, 1]) + length.to_bytes(3, "big") + b"\0\0" + b"\0\0\0" + struct.pack("!HH", 0x1234, 2) + b"en"
            + fields)


def ipx(ptype, dnet, dnode, dsock, snet, snode, ssock, payload):
    return (struct.pack("!HHBBI", 0xFFFF, 30 + len(payload), 0, ptype, dnet) + mac(dnode) + struct.pack("!HI", dsock, snet)
            + mac(snode) + struct.pack("!H", ssock) + payload)


def sap_server(stype, name, net, node, sock, hops):
    return struct.pack("!H", stype) + name.ljust(48, b"\0") + struct.pack("!I", net) + mac(node) + struct.pack("!HH", sock, hops)


def netbios_name(text, suffix):
    return text.ljust(15, b" ") + bytes([suffix])


# An SMB header with no parameter words and no data.
SMB_NEGOTIATE = b"\xffSMB" + bytes([0x72]) + bytes(27) + bytes(3)


def icmp(kind, code, rest):
    message = bytes([kind, code]) + b"\0\0" + rest
    return message[:2] + struct.pack("!H", checksum(message)) + message[4:]


def arp(op, sender_mac, sender_ip, target_mac, target_ip):
    return struct.pack("!HHBBH", 1, 0x0800, 6, 4, op) + mac(sender_mac) + ip4(sender_ip) + mac(target_mac) + ip4(target_ip)


def dhcp(op, xid, client, yiaddr, siaddr, options):
    fixed = struct.pack("!BBBBIHH4s4s4s4s", op, 1, 6, 0, xid, 0, 0x8000, ip4("0.0.0.0"), ip4(yiaddr), ip4(siaddr),
                        ip4("0.0.0.0")) + mac(client) + b"\0" * 10 + b"\0" * 192
    message = fixed + bytes.fromhex("63825363") + options + b"\xff"
    return message + b"\0" * max(0, 300 - len(message))


def smb_header(command, flags=0x18, flags2=0x0001):
    return b"\xffSMB" + struct.pack("<BBBHBH", command, 0, 0, 0, flags, flags2) + b"\0" * 12 + struct.pack("<HHHH", 0, 0xFEFF, 0, 0)


def smb_block(words, data=b""):
    return bytes([len(words) // 2]) + words + struct.pack("<H", len(data)) + data


def mailslot(name, data):
    """An SMB Transaction request writing data to a mailslot."""
    name = name.encode() + b"\0"
    at = 32 + 1 + 34 + 2 + len(name)
    words = (struct.pack("<HHHHBBHIH", 0, len(data), 0, 0, 0, 0, 0, 0, 0)
             + struct.pack("<HHHHBB", 0, at, len(data), at, 3, 0) + struct.pack("<HHH", 1, 1, 2))
    return smb_header(0x25) + smb_block(words, name + data)


def announcement(opcode, server, comment):
    return (struct.pack("<BBI", opcode, 1, 720000) + server.ljust(16, b"\0") + struct.pack("<BBIHH", 5, 1, 0x51003, 0x010F,
                                                                                             0xAA55) + comment + b"\0")


def netbeui(command, rest, payload=b""):
    """A NetBIOS Frames header in an LLC UI frame of SAP 0xF0."""
    return b"\xf0\xf0\x03" + struct.pack("<H", 5 + len(rest)) + b"\xff\xef" + bytes([command]) + rest + payload


def nbds(source, smb):
    """A direct group datagram to WORKGROUP<1D> on UDP 138."""
    def encoded(name, suffix):
        raw = name.ljust(15, b" ") + bytes([suffix])
        return b"\x20" + b"".join(bytes([0x41 + (c >> 4), 0x41 + (c & 15)]) for c in raw) + b"\0"
    header = struct.pack("!BBH4sHHH", 0x11, 0x02, 1, ip4(source), 138, 68 + len(smb), 0)
    return udp(138, 138, header + encoded(b"NAS1", 0x20) + encoded(b"WORKGROUP", 0x1D) + smb)


def nbss(smb):
    return struct.pack("!BBH", 0, 0, len(smb)) + smb


def session_setup_tree_connect():
    setup_data = b"\0GUEST\0WORKGROUP\0Unix\0Samba\0"
    setup_words = struct.pack("<BBHHHHIHI", 0x75, 0, 0, 4356, 50, 0, 0x12345678, 1, 0)
    tree = smb_block(struct.pack("<BBHHH", 0xFF, 0, 0, 8, 1), b"\0\\\\NAS1\\PUBLIC\0?????\0")
    first = smb_block(setup_words, setup_data)
    first = first[:3] + struct.pack("<H", 32 + len(first)) + first[5:]
    return smb_header(0x73) + first + tree


HOST = "00:a0:c9:14:c8:29"
ROUTER = "00:00:0c:07:ac:01"
NAS = "00:a0:c9:22:33:44"
BCAST = "ff:ff:ff:ff:ff:ff"

frames = [
    # ARP who-has
    ether(BCAST, HOST, 0x0806,
          struct.pack("!HHBBH", 1, 0x0800, 6, 4, 1) + mac(HOST) + ip4("192.168.0.10") + b"\0" * 6 + ip4("192.168.0.1")),
    # TCP SYN with options
    ether(ROUTER, HOST, 0x0800,
          ipv4("192.168.0.10", "10.1.2.3", 6,
               tcp(49152, 80, 1000, 0, 0x02,
                   options=bytes.fromhex("020405b4 0402 080a 00000001 00000000 01 030307".replace(" ", ""))))),
    # HTTP request
    ether(ROUTER, HOST, 0x0800,
          ipv4("192.168.0.10", "10.1.2.3", 6,
               tcp(49152, 80, 1001, 5001, 0x18, payload=b"GET / HTTP/1.0\r\nHost: example\r\n\r\n"), ident=2)),
    # DNS query over UDP
    ether(ROUTER, HOST, 0x0800, ipv4("192.168.0.10", "192.168.0.1", 17, udp(53000, 53, dns_query("www.example.com")))),
    # 802.3 length frame with LLC UI and a spanning-tree BPDU
    (lambda payload: mac("01:80:c2:00:00:00") + mac(ROUTER) + struct.pack("!H", len(payload)) + payload
     + b"\0" * max(0, 46 - len(payload)))(
        bytes.fromhex("424203") + bytes.fromhex("0000 00 00 00 8000000c07ac0001 00000000 8000000c07ac0001 8001"
                                                 " 0000 1400 0200 0f00".replace(" ", ""))),
    # CDP advertisement over SNAP
    llc_frame("01:00:0c:cc:cc:cc", ROUTER, bytes.fromhex("aaaa03 00000c 2000") + cdp()),
    # PPPoE discovery: PADI with a service name and a host-unique tag
    ether(BCAST, HOST, 0x8863,
          (lambda tags: bytes([0x11, 0x09]) + struct.pack("!HH", 0, len(tags)) + tags)(
              tlv(0x0101, b"") + tlv(0x0103, bytes.fromhex("deadbeef")))),
    # PPP control packets with their protocol numbers as EtherTypes: an LCP
    # Configure-Request (MRU, PAP, magic number), a PAP Authenticate-Request,
    # an IPCP Configure-Request and a CCP Configure-Request
    ether(ROUTER, HOST, 0xC021, bytes.fromhex("0101 0012 010405dc 0304c023 05061a2b3c4d".replace(" ", ""))),
    ether(ROUTER, HOST, 0xC023, bytes.fromhex("0101 0013 05") + b"alice" + b"\x08" + b"secret12"),
    ether(ROUTER, HOST, 0x8021, bytes.fromhex("0101 000a 0306c0a8000a".replace(" ", ""))),
    ether(ROUTER, HOST, 0x80FD, bytes.fromhex("0101 0009 1105000104".replace(" ", ""))),
    # 802.1Q tagged IP/UDP
    ether(BCAST, HOST, 0x8100,
          struct.pack("!HH", (5 << 13) | 5, 0x0800) + ipv4("192.168.0.10", "192.168.0.255", 17,
                                                           udp(137, 137, b"\0" * 12))),
    # FTP reply, SMTP greeting and POP3 reply over TCP
    ether(HOST, ROUTER, 0x0800,
          ipv4("10.1.2.3", "192.168.0.10", 6, tcp(21, 49153, 7000, 2000, 0x18, payload=b"220 Service ready\r\n"))),
    ether(HOST, ROUTER, 0x0800,
          ipv4("10.1.2.3", "192.168.0.10", 6,
               tcp(25, 49154, 8000, 3000, 0x18, payload=b"220 mail.example ESMTP\r\n250 OK\r\n"))),
    ether(HOST, ROUTER, 0x0800,
          ipv4("10.1.2.3", "192.168.0.10", 6, tcp(110, 49155, 9000, 4000, 0x18, payload=b"+OK POP3 ready\r\n"))),
    # SSDP search over UDP
    ether("01:00:5e:7f:ff:fa", HOST, 0x0800,
          ipv4("192.168.0.10", "239.255.255.250", 17,
               udp(50000, 1900, b"M-SEARCH * HTTP/1.1\r\nHOST: 239.255.255.250:1900\r\nMAN: \"ssdp:discover\"\r\n"
                   b"MX: 1\r\nST: ssdp:all\r\n\r\n"), ttl=1)),
    # TFTP read request, RADIUS access request, EGP hello
    ether(ROUTER, HOST, 0x0800,
          ipv4("192.168.0.10", "10.1.2.3", 17, udp(50001, 69, b"\0\x01boot.img\0octet\0"))),
    ether(ROUTER, HOST, 0x0800,
          ipv4("192.168.0.10", "10.1.2.3", 17,
               udp(50002, 1812, bytes([1, 7]) + struct.pack("!H", 20 + 7) + bytes(range(16)) + bytes([1, 7]) + b"alice"))),
    ether(ROUTER, HOST, 0x0800, ipv4("192.168.0.1", "192.168.0.2", 8, bytes([2, 5, 0, 0, 0, 0, 0, 1, 0, 60]))),
    # SNMP get request and its response
    ether(ROUTER, HOST, 0x0800,
          ipv4("192.168.0.10", "10.1.2.3", 17, udp(50003, 161, snmp(0xA0, [(SYS_DESCR, ber(0x05, b""))])))),
    ether(HOST, ROUTER, 0x0800,
          ipv4("10.1.2.3", "192.168.0.10", 17,
               udp(161, 50003, snmp(0xA2, [(SYS_DESCR, ber(0x04, b"router")),
                                           (SYS_UPTIME, ber(0x43, struct.pack("!I", 123456)))])))),
    # OSPF hello with one neighbour, and an update with a router LSA
    ether("01:00:5e:00:00:05", ROUTER, 0x0800, ipv4("192.168.0.1", "224.0.0.5", 89, ospf_hello(), ttl=1)),
    ether("01:00:5e:00:00:05", ROUTER, 0x0800, ipv4("192.168.0.1", "224.0.0.5", 89, ospf_update(), ttl=1)),
    # SLP service request
    ether("01:00:5e:7f:ff:fd", HOST, 0x0800,
          ipv4("192.168.0.10", "239.255.255.253", 17, udp(427, 427, slp_request()), ttl=1)),
    # NCP over IPX: Get File Server Information and its reply
    ether(ROUTER, HOST, 0x8137,
          ipx(17, 1, ROUTER, 0x0451, 0x0A0B0C0D, HOST, 0x4003, bytes.fromhex("2222 01 05 01 01 17 0001 11"))),
    ether(HOST, ROUTER, 0x8137,
          ipx(17, 0x0A0B0C0D, HOST, 0x4003, 1, ROUTER, 0x0451,
              bytes.fromhex("3333 01 05 01 01 00 00") + b"SERVER1".ljust(48, b"\0"))),
    # SAP answer with two file servers, over 802.2
    llc_frame(BCAST, ROUTER, bytes.fromhex("e0e003") + ipx(4, 0, BCAST, 0x0452, 1, ROUTER, 0x0452, struct.pack("!H", 2)
              + sap_server(4, b"SERVER1", 1, "00:00:00:00:00:01", 0x0451, 1)
              + sap_server(4, b"SERVER2", 2, "00:00:00:00:00:01", 0x0451, 2))),
    # RIP answer with two routes, one unreachable
    ether(BCAST, ROUTER, 0x8137,
          ipx(1, 0, BCAST, 0x0453, 1, ROUTER, 0x0453, struct.pack("!HIHHIHH", 2, 2, 1, 2, 5, 16, 7))),
    # NCP over TCP: a request behind its 16-byte transport header
    ether(ROUTER, HOST, 0x0800,
          ipv4("192.168.0.10", "10.1.2.3", 6,
               tcp(1025, 524, 1, 1, 0x18, payload=b"DmdT" + struct.pack("!III", 26, 1, 2)
                   + bytes.fromhex("2222 01 05 01 01 17 0001 11")), ident=3)),
    # NetBIOS over IPX: a name query propagated with type 20, session data carrying SMB
    ether(BCAST, HOST, 0x8137,
          ipx(20, 0, BCAST, 0x0455, 0x0A0B0C0D, HOST, 0x0455,
              struct.pack("!8I", 0x0A0B0C0D, 0, 0, 0, 0, 0, 0, 0) + bytes([0, 1]) + netbios_name(b"FILESRV", 0x20))),
    ether(ROUTER, HOST, 0x8137,
          ipx(4, 1, ROUTER, 0x0455, 0x0A0B0C0D, HOST, 0x0455,
              bytes([0x40, 6]) + struct.pack("<8H", 10, 11, 1, 18 + len(SMB_NEGOTIATE), 0, len(SMB_NEGOTIATE), 0, 0)
              + SMB_NEGOTIATE)),
    # NMPI: a name query on the name claim socket
    ether(BCAST, HOST, 0x8137,
          ipx(4, 0, BCAST, 0x0551, 0x0A0B0C0D, HOST, 0x0551,
              bytes(32) + bytes([0xF3, 0, 0, 0]) + netbios_name(b"FILESRV", 0x20) + netbios_name(b"PC1", 0))),
    # NetBEUI: a name query answered by the file server NAS1 (whose station
    # takes its name), a browser datagram, a Netlogon query
    llc_frame("03:00:00:00:00:01", HOST,
              netbeui(10, struct.pack("<BHHH", 0, 0x100, 0, 0x22) + netbios_name(b"NAS1", 0x20)
                      + netbios_name(b"CLIENT1", 0))),
    llc_frame(HOST, NAS,
              netbeui(14, struct.pack("<BHHH", 0, 0x305, 0x22, 0x11) + netbios_name(b"CLIENT1", 0)
                      + netbios_name(b"NAS1", 0x20))),
    llc_frame("03:00:00:00:00:01", NAS,
              netbeui(8, struct.pack("<BHHH", 0, 0, 0, 0) + netbios_name(b"WORKGROUP", 0x1D) + netbios_name(b"NAS1", 0),
                      mailslot("\\MAILSLOT\\BROWSE", announcement(15, b"NAS1", b"Lab storage")))),
    llc_frame("03:00:00:00:00:01", HOST,
              netbeui(8, struct.pack("<BHHH", 0, 0, 0, 0) + netbios_name(b"DOMAIN", 0x1C) + netbios_name(b"CLIENT1", 0),
                      mailslot("\\MAILSLOT\\NET\\NETLOGON", struct.pack("<H", 7) + b"CLIENT1\0"))),
    # SMB over NetBIOS: a host announcement datagram, a session setup chained
    # to a tree connect
    ether(BCAST, NAS, 0x0800,
          ipv4("192.168.0.20", "192.168.0.255", 17,
               nbds("192.168.0.20", mailslot("\\MAILSLOT\\BROWSE", announcement(1, b"NAS1", b"Lab storage"))))),
    ether(NAS, HOST, 0x0800,
          ipv4("192.168.0.10", "192.168.0.20", 6,
               tcp(49300, 139, 5000, 6000, 0x18, payload=nbss(session_setup_tree_connect())))),
]


PING = bytes(range(0x20, 0x58))
frames += [
    # ping and its answer
    ether(ROUTER, HOST, 0x0800, ipv4("192.168.0.10", "10.1.2.3", 1, icmp(8, 0, struct.pack("!HH", 1, 1) + PING), ident=3)),
    ether(HOST, ROUTER, 0x0800, ipv4("10.1.2.3", "192.168.0.10", 1, icmp(0, 0, struct.pack("!HH", 1, 1) + PING))),
    # port unreachable quoting the IP and UDP headers it answers
    ether(HOST, ROUTER, 0x0800,
          ipv4("192.168.0.1", "192.168.0.10", 1,
               icmp(3, 3, b"\0" * 4 + ipv4("192.168.0.10", "192.168.0.1", 17, udp(53001, 53, b""))[:28]))),
    # ARP reply to the request above
    ether(HOST, ROUTER, 0x0806, arp(2, ROUTER, "192.168.0.1", HOST, "192.168.0.10")),
    # IGMP version 2 membership report
    ether("01:00:5e:7f:ff:fa", HOST, 0x0800,
          ipv4("192.168.0.10", "239.255.255.250", 2,
               (lambda m: m[:2] + struct.pack("!H", checksum(m)) + m[4:])(bytes([0x16, 0, 0, 0]) + ip4("239.255.255.250")),
               ttl=1)),
    # DHCP discover and the server's acknowledgement
    ether(BCAST, HOST, 0x0800,
          ipv4("0.0.0.0", "255.255.255.255", 17,
               udp(68, 67, dhcp(1, 0x3903F326, HOST, "0.0.0.0", "0.0.0.0",
                                bytes.fromhex("350101 3d070100a0c914c829 0c0568616c6c65 37040103060f"))))),
    ether(BCAST, ROUTER, 0x0800,
          ipv4("192.168.0.1", "255.255.255.255", 17,
               udp(67, 68, dhcp(2, 0x3903F326, HOST, "192.168.0.10", "192.168.0.1",
                                bytes.fromhex("350105 3604c0a80001 330400015180 0104ffffff00 0304c0a80001"
                                              " 0608c0a8000108080808".replace(" ", "")))))),
]

# Q.931 Setup behind a TPKT header: bearer capability, display, called
# number and a user-user element.
Q931_SETUP = (bytes.fromhex("08 02 0001 05 04 03 80 90 a2 a1".replace(" ", "")) + bytes([0x28, 5]) + b"Alice"
              + bytes.fromhex("70 04 81 32 30 31 7e 0003 05 00 01".replace(" ", "")))
frames += [
    # RTP voice packet, the Q.931 Setup over TCP and an H.225 admission request
    ether(ROUTER, HOST, 0x0800,
          ipv4("192.168.0.10", "10.1.2.3", 17,
               udp(5004, 5004, bytes.fromhex("80 00 0001 000000a0 12345678".replace(" ", "")) + b"\xd5" * 20))),
    ether(ROUTER, HOST, 0x0800,
          ipv4("192.168.0.10", "10.1.2.3", 6,
               tcp(49156, 1720, 11000, 6000, 0x18, payload=struct.pack("!BBH", 3, 0, 4 + len(Q931_SETUP)) + Q931_SETUP),
               ident=4)),
    ether(ROUTER, HOST, 0x0800,
          ipv4("192.168.0.10", "10.1.2.3", 17, udp(1719, 1719, bytes.fromhex("26 90 00 07 08 02 00 01".replace(" ", ""))))),
]

SERVER = "00:00:0c:12:34:56"
frames += [
    # DNS response with a CNAME and an address, and the same over TCP with the length prefix
    ether(HOST, ROUTER, 0x0800, ipv4("192.168.0.1", "192.168.0.10", 17, udp(53, 53000, dns_response("www.example.com")))),
    ether(HOST, ROUTER, 0x0800,
          ipv4("192.168.0.1", "192.168.0.10", 6,
               tcp(53, 49156, 10000, 5000, 0x18,
                   payload=(lambda m: struct.pack("!H", len(m)) + m)(dns_response("www.example.com", 0x4321))))),
    # NetBIOS name query for SERVER and the server's own authoritative answer
    ether(BCAST, HOST, 0x0800,
          ipv4("192.168.0.10", "192.168.0.255", 17,
               udp(137, 137, nbns(0x0110, 1, 0, nb_name("SERVER", 0x20) + struct.pack("!HH", 0x20, 1))))),
    ether(HOST, SERVER, 0x0800,
          ipv4("192.168.0.20", "192.168.0.10", 17,
               udp(137, 137, nbns(0x8500, 0, 1, nb_name("SERVER", 0x20) + struct.pack("!HHIH", 0x20, 1, 300000, 6)
                                  + struct.pack("!H", 0x0000) + ip4("192.168.0.20"))))),
    # NetBIOS datagram: a browser announcement to the domain's browsers, carried in SMB
    ether(BCAST, SERVER, 0x0800,
          ipv4("192.168.0.20", "192.168.0.255", 17,
               udp(138, 138, struct.pack("!BBH4sHHH", 0x11, 0x02, 0x8002, ip4("192.168.0.20"), 138, 68 + 35, 0)
                   + nb_name("SERVER", 0x00) + nb_name("WORKGROUP", 0x1D) + smb_header(0x25) + b"\0\0\0"))),
    # NetBIOS session request and an SMB negotiate in a session message
    ether(SERVER, HOST, 0x0800,
          ipv4("192.168.0.10", "192.168.0.20", 6,
               tcp(49157, 139, 20000, 30000, 0x18,
                   payload=struct.pack("!BBH", 0x81, 0, 68) + nb_name("SERVER", 0x20) + nb_name("PC", 0x00)))),
    ether(SERVER, HOST, 0x0800,
          ipv4("192.168.0.10", "192.168.0.20", 6,
               tcp(49157, 139, 20072, 30004, 0x18,
                   payload=struct.pack("!BBH", 0, 0, 32 + 3) + smb_header(0x72) + b"\0\0\0"))),
]


# ---------------------------------------------------------------- 802.11

def radiotap(rate, mhz=2437, channel_flags=0x00A0, signal=-48, noise=-95, flags=0):
    """Flags, rate (500 kbit/s), channel and antenna signal and noise."""
    return struct.pack("<BBHIBBHHbb", 0, 0, 16, 0x6E, flags, rate, mhz, channel_flags, signal, noise)


def with_fcs(frame):
    """The frame with its frame check sequence, flagged in radiotap."""
    return radiotap(2, flags=0x10) + frame + struct.pack("<I", zlib.crc32(frame))


def wlan(control, flags, a1, a2, a3, seq, body=b"", duration=0, a4=None):
    header = struct.pack("<BBH", control, flags, duration) + mac(a1) + mac(a2) + mac(a3) + struct.pack("<H", seq << 4)
    return header + (mac(a4) if a4 else b"") + body


def control_frame(control, addresses, duration=0):
    return struct.pack("<BBH", control, 0, duration) + b"".join(mac(a) for a in addresses)


def element(ident, value):
    return bytes([ident, len(value)]) + value


def snap(ethertype, payload):
    return bytes.fromhex("aaaa03000000") + struct.pack("!H", ethertype) + payload


AP = "00:00:0c:07:ac:01"
STATION = "00:a0:c9:14:c8:29"
BRIDGE = "00:a0:c9:00:00:04"
SSID = element(0, b"quorvane")
RATES = element(1, bytes.fromhex("82848b96"))
CAPABILITY = struct.pack("<H", 0x0431)
BEACON_BODY = (struct.pack("<QH", 0x1122334455, 100) + CAPABILITY + SSID + RATES + element(3, b"\x06")
               + element(5, bytes.fromhex("00010000")) + element(7, b"DE " + bytes.fromhex("010d14")))

wireless = [
    # beacon with SSID, rates, channel, TIM and country
    radiotap(2) + wlan(0x80, 0, BCAST, AP, AP, 100, BEACON_BODY),
    # probe request and response
    radiotap(2) + wlan(0x40, 0, BCAST, STATION, BCAST, 1, SSID + RATES),
    radiotap(2) + wlan(0x50, 0, STATION, AP, AP, 101, BEACON_BODY),
    # open authentication and association
    radiotap(2) + wlan(0xB0, 0, AP, STATION, AP, 2, struct.pack("<HHH", 0, 1, 0)),
    radiotap(2) + wlan(0xB0, 0, STATION, AP, AP, 102, struct.pack("<HHH", 0, 2, 0)),
    radiotap(2) + wlan(0x00, 0, AP, STATION, AP, 3, CAPABILITY + struct.pack("<H", 10) + SSID + RATES),
    radiotap(2) + wlan(0x10, 0, STATION, AP, AP, 103, CAPABILITY + struct.pack("<HH", 0, 0xC001) + RATES),
    # RTS, CTS, a DNS query to the access point (LLC, SNAP, IP, UDP), ACK
    radiotap(22) + control_frame(0xB4, [AP, STATION], 500),
    radiotap(22) + control_frame(0xC4, [STATION], 400),
    radiotap(22) + wlan(0x08, 0x01, AP, STATION, ROUTER, 4,
                        snap(0x0800, ipv4("192.168.0.10", "192.168.0.1", 17, udp(53001, 53, dns_query("example.com"))))),
    radiotap(22) + control_frame(0xD4, [STATION]),
    # power save: null data, PS-Poll
    radiotap(22) + wlan(0x48, 0x11, AP, STATION, AP, 5),
    radiotap(22) + control_frame(0xA4, [AP, STATION], 0xC001),
    # ARP from the distribution system, and a frame between two bridges
    radiotap(22) + wlan(0x08, 0x02, STATION, AP, ROUTER, 104,
                        snap(0x0806, arp(2, ROUTER, "192.168.0.1", STATION, "192.168.0.10"))),
    radiotap(22) + wlan(0x08, 0x03, BRIDGE, AP, STATION, 105,
                        snap(0x0800, ipv4("192.168.0.10", "10.1.2.3", 17, udp(123, 123, b"\x23" + b"\0" * 47))),
                        a4=ROUTER),
    # leaving
    radiotap(2) + wlan(0xA0, 0, AP, STATION, AP, 6, struct.pack("<H", 8)),
    # the deauthentication with its frame check sequence, which the host trims
    with_fcs(wlan(0xC0, 0, STATION, AP, AP, 106, struct.pack("<H", 3))),
]


def write(path, link_type, records):
    with open(path, "wb") as f:
        f.write(struct.pack("<IHHiIII", 0xA1B2C3D4, 2, 4, 0, 0, 262144, link_type))
        for i, frame in enumerate(records):
            f.write(struct.pack("<IIII", 1733817600 + i, 1000 * i, len(frame), len(frame)))
            f.write(frame)


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__))
    write(os.path.join(folder, "sample.pcap"), 1, frames)
    write(os.path.join(folder, "sample-wireless.pcap"), 127, wireless)


if __name__ == "__main__":
    main()
