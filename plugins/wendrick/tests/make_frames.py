#!/usr/bin/python3
"""Writes the crafted frames of the Wendrick tests: frames.pcap (for reading
them with tshark) and frames.h (the same bytes for the tests, which need no
Python). SMB over NetBIOS datagrams (UDP 138), sessions (TCP 139) and
NetBEUI, with Browser and Netlogon mailslots, AndX chains good and bad, NT
Create and error responses. Some of them also become seeds of the frame
fuzzer in fuzz/corpus. Needs Debian's python3-scapy; run it again after
changing a frame."""
import os
import struct
import sys

from scapy.all import IP, TCP, UDP, Ether, LLC, Raw
from scapy.layers.netbios import NBTDatagram, NBTSession

HERE = os.path.dirname(os.path.abspath(__file__))
CLIENT = "00:a0:c9:14:c8:29"
SERVER = "00:00:0c:12:34:56"
BROADCAST = "ff:ff:ff:ff:ff:ff"
NETBIOS_MULTICAST = "03:00:00:00:00:01"


# ---------------------------------------------------------------- SMB

def header(command, flags=0x18, flags2=0x0001, error_class=0, error_code=0, tid=0, pid=0xFEFF, uid=0, mid=0,
           reserved=b"\0" * 12):
    return (b"\xffSMB" + struct.pack("<BBBHBH", command, error_class, 0, error_code, flags, flags2) + reserved
            + struct.pack("<HHHH", tid, pid, uid, mid))


def block(words, data=b""):
    assert len(words) % 2 == 0
    return bytes([len(words) // 2]) + words + struct.pack("<H", len(data)) + data


def transaction(name, data, unicode=False, timeout=0, setup=(1, 1, 2), flags=0x18):
    """A Transaction request to a mailslot; the data follows the name."""
    setup_words = b"".join(struct.pack("<H", s) for s in setup)
    words_length = 2 * (14 + len(setup))
    bytes_at = 32 + 1 + words_length + 2
    if unicode:
        name_bytes = (b"\0" if bytes_at % 2 else b"") + name.encode("utf-16-le") + b"\0\0"
    else:
        name_bytes = name.encode("latin-1") + b"\0"
    data_offset = bytes_at + len(name_bytes)
    words = (struct.pack("<HHHHBBHIH", 0, len(data), 0, 0, 0, 0, 0, timeout, 0)
             + struct.pack("<HHHHBB", 0, data_offset, len(data), data_offset, len(setup), 0) + setup_words)
    return header(0x25, flags=flags, flags2=0x8001 if unicode else 0x0001) + block(words, name_bytes + data)


def andx(command, offset, rest=b""):
    return struct.pack("<BBH", command, 0, offset) + rest


def session_setup(next_command, next_offset, account=b"GUEST"):
    """Session Setup request in the layout of word count 10."""
    data = b"\0" + account + b"\0" + b"WORKGROUP\0" + b"Unix\0" + b"Samba\0"
    return block(andx(next_command, next_offset, struct.pack("<HHHIHI", 4356, 50, 0, 0x12345678, 1, 0)), data)


def tree_connect(next_command, next_offset, path=b"\\\\NAS1\\PUBLIC"):
    return block(andx(next_command, next_offset, struct.pack("<HH", 0x0008, 1)), b"\0" + path + b"\0" + b"?????\0")


def logoff(next_command, next_offset):
    return block(andx(next_command, next_offset))


def chain(first_command, blocks):
    """An SMB message of the given blocks, each (command, make) where make
    takes the next block's command and offset."""
    out = header(first_command)
    sizes = []
    for command, make in blocks:
        sizes.append(len(make(0xFF, 0)))
    at = 32
    starts = []
    for size in sizes:
        starts.append(at)
        at += size
    for i, (command, make) in enumerate(blocks):
        if i + 1 < len(blocks):
            out += make(blocks[i + 1][0], starts[i + 1])
        else:
            out += make(0xFF, 0)
    return out


def nt_create_request(name, unicode, access=0x0012019F, attributes=0x80, share=0x3):
    name_bytes = name.encode("utf-16-le") if unicode else name.encode("latin-1") + b"\0"
    words = andx(0xFF, 0, struct.pack("<BHIIIqIIIIIB", 0, len(name_bytes), 0x16, 0, access, 4096, attributes, share,
                                      1, 0x40, 2, 3))
    pad = b"\0" if unicode else b""
    return header(0xA2, flags2=0x8001 if unicode else 0x0001) + block(words, pad + name_bytes)


def nt_create_response():
    words = andx(0xFF, 0, struct.pack("<BHIqqqqIqqHHB", 2, 0x4007, 1, 0, 0, 0, 0, 0x20, 8192, 5000, 0, 0, 0))
    return header(0xA2, flags=0x98) + block(words)


# ---------------------------------------------------------------- carriers

def datagram(smb, src=SERVER, dst=BROADCAST, source_name="NAS1", destination_name="WORKGROUP", kind=0x11):
    nbds = NBTDatagram(Type=kind, Flags=0x02, ID=0x8001, SourceIP="192.168.0.5", SourcePort=138,
                       Length=len(smb) + 68, SourceName=source_name, DestinationName=destination_name,
                       SUFFIX2=0x424E if kind == 0x11 else 0x4141)
    return Ether(src=src, dst=dst) / IP(src="192.168.0.5", dst="192.168.0.255", id=1) / UDP(sport=138, dport=138) \
        / nbds / Raw(smb)


SESSIONS = []


def session(smb, response=False):
    """Each on a connection of its own, from the client's next port."""
    SESSIONS.append(smb)
    port = 49200 + len(SESSIONS)
    client = (CLIENT, "192.168.0.10", port)
    server = (SERVER, "192.168.0.5", 139)
    (smac, sip, sport), (dmac, dip, dport) = (server, client) if response else (client, server)
    return Ether(src=smac, dst=dmac) / IP(src=sip, dst=dip, id=2) \
        / TCP(sport=sport, dport=dport, flags="PA", seq=1000, ack=2000, window=64240) / NBTSession() / Raw(smb)


def netbios_name(name, suffix):
    return name.encode("latin-1").ljust(15, b" ") + bytes([suffix])


def netbeui(command, rest, payload=b"", src=SERVER, dst=NETBIOS_MULTICAST, length=None):
    head = struct.pack("<H", length if length is not None else 4 + 1 + len(rest)) + b"\xff\xef" + bytes([command]) \
        + rest
    body = bytes(LLC(dsap=0xF0, ssap=0xF0, ctrl=3)) + head + payload
    return Ether(src=src, dst=dst, type=len(body)) / Raw(body)


def name_frame(command, destination, source, payload=b"", option1=0, option2=0, xmit=0, resp=0, **kw):
    rest = struct.pack("<BHHH", option1, option2, xmit, resp) + destination + source
    return netbeui(command, rest, payload, **kw)


def session_frame(command, payload=b"", destination_session=2, source_session=5, xmit=0, resp=0x21, **kw):
    rest = struct.pack("<BHHHBB", 0x0C, 0, xmit, resp, destination_session, source_session)
    return netbeui(command, rest, payload, **kw)


# ---------------------------------------------------------------- Browser and Netlogon

def host_announcement(opcode, server, comment, version=(5, 1), update=3, periodicity=720000, server_type=0x00051003,
                      election=0x010F, signature=0xAA55):
    return (struct.pack("<BBI", opcode, update, periodicity) + server.encode("latin-1").ljust(16, b"\0")
            + struct.pack("<BBIHH", version[0], version[1], server_type, election, signature)
            + comment.encode("latin-1") + b"\0")


def browse(message, **kw):
    return datagram(transaction("\\MAILSLOT\\BROWSE", message), **kw)


BEHIND_SETUP = 32 + len(session_setup(0xFF, 0))
LONG_COMMENT = "Storage for the lab " * 8

FRAMES = [
    # name, carrier payload offset of the decoded protocol, frame
    ("HostAnnouncement", "smb",
     browse(host_announcement(1, "NAS1", "Lab storage"))),
    ("LocalMasterAnnouncement", "smb",
     browse(host_announcement(15, "MASTER1", LONG_COMMENT, version=(6, 2)))),
    ("AnnouncementRequest", "smb", browse(bytes([2, 0]) + b"WORKGROUP\0")),
    ("ElectionRequest", "smb",
     browse(struct.pack("<BBII", 8, 1, 0x20011003, 3600000) + b"\0\0\0\0" + b"CANDIDATE\0")),
    ("BackupListRequest", "smb", browse(struct.pack("<BBI", 9, 4, 0x1234))),
    ("BackupListResponse", "smb", browse(struct.pack("<BBI", 10, 1, 0x1234) + b"BACKUP1\0")),
    ("BecomeBackup", "smb", browse(bytes([11]) + b"BACKUP1\0")),
    ("WorkgroupAnnouncement", "smb",
     browse(struct.pack("<BBI", 12, 1, 900000) + b"WORKGROUP".ljust(16, b"\0") + struct.pack("<BBIHH", 3, 10, 0x80001000,
                                                                                              0x0104, 0xAA55)
            + b"MASTER1\0")),
    ("MasterAnnouncement", "smb", browse(bytes([13]) + b"MASTER1\0")),
    ("ResetBrowserState", "smb", browse(bytes([14, 0]))),
    ("UnicodeHostAnnouncement", "smb",
     datagram(transaction("\\MAILSLOT\\BROWSE", host_announcement(1, "NAS2", "Unicode"), unicode=True))),
    ("NetlogonQuery", "smb",
     datagram(transaction("\\MAILSLOT\\NET\\NETLOGON", struct.pack("<H", 7) + b"CLIENT1\0\\MAILSLOT\\NET\\GETDC576\0",
                          timeout=1000), src=CLIENT, source_name="CLIENT1", destination_name="DOMAIN")),
    ("SamLogonRequest", "smb",
     datagram(transaction("\\MAILSLOT\\NET\\NTLOGON", struct.pack("<HH", 18, 0) + b"\0" * 8), src=CLIENT,
              source_name="CLIENT1", destination_name="DOMAIN")),
    ("GetDcResponse", "smb",
     datagram(transaction("\\MAILSLOT\\NET\\GETDC576", struct.pack("<H", 12) + b"DC1\0"), source_name="DC1",
              destination_name="CLIENT1", kind=0x10)),
    # AndX chains over a session.
    ("SessionSetupTreeConnect", "smb",
     session(chain(0x73, [(0x73, session_setup), (0x75, tree_connect)]))),
    ("SessionSetupAlone", "smb", session(chain(0x73, [(0x73, session_setup)]))),
    ("ChainAtItself", "smb", session(header(0x73) + session_setup(0x75, 32))),
    ("ChainIntoItsWords", "smb", session(header(0x73) + session_setup(0x75, 40) + tree_connect(0xFF, 0))),
    ("ChainBackwards", "smb",
     session(header(0x73) + session_setup(0x74, BEHIND_SETUP) + logoff(0x75, 32) + tree_connect(0xFF, 0))),
    ("ChainPastCapture", "smb", session(header(0x73) + session_setup(0x75, 400))),
    ("ChainToOtherCommand", "smb",
     session(header(0x73) + session_setup(0x04, BEHIND_SETUP) + block(struct.pack("<HI", 0x4007, 0)))),
    ("ChainEndsAtZero", "smb", session(header(0x73) + session_setup(0x00, BEHIND_SETUP) + logoff(0xFF, 0))),
    ("LongChain", "smb", session(chain(0x74, [(0x74, logoff)] * 11))),
    ("ErrorResponse", "smb", session(header(0x73, flags=0x98, error_class=2, error_code=2) + block(b""), response=True)),
    ("NtCreateUnicode", "smb", session(nt_create_request("\\Documents\\Café Noël €.txt", True))),
    ("NtCreateAscii", "smb", session(nt_create_request("\\REPORT.TXT", False, access=0x02000000,
                                                      attributes=0x00000027, share=0x7))),
    ("NtCreateResponse", "smb", session(nt_create_response(), response=True)),
    ("Echo", "smb", session(header(0x2B) + block(struct.pack("<H", 1), b"ping"))),
    ("Negotiate", "smb", session(header(0x72) + block(b"", b"\x02NT LM 0.12\0"))),
    # NetBEUI.
    ("NameRecognized", "netbeui",
     name_frame(14, netbios_name("CLIENT1", 0x20), netbios_name("SERVER1", 0x20), option2=0x0305, xmit=0x11,
                resp=0x22, dst=CLIENT)),
    ("NameRecognizedDotted", "netbeui",
     name_frame(14, netbios_name("CLIENT1", 0x00), netbios_name("HOST.DOMAIN", 0x03), dst=CLIENT)),
    ("NameQuery", "netbeui",
     name_frame(10, netbios_name("SERVER1", 0x20), netbios_name("CLIENT1", 0x00), option2=0x0100, resp=0x22,
                src=CLIENT)),
    ("AddGroupName", "netbeui", name_frame(0, b"\0" * 16, netbios_name("WORKGROUP", 0x1E), src=CLIENT)),
    ("NetbeuiDatagram", "netbeui",
     name_frame(8, netbios_name("WORKGROUP", 0x1D), netbios_name("MASTER1", 0x00),
                transaction("\\MAILSLOT\\BROWSE", host_announcement(15, "MASTER1", "Browse master"))[0:], )),
    ("SessionData", "netbeui",
     session_frame(22, nt_create_request("\\REPORT.TXT", False), src=CLIENT, dst=SERVER)),
    ("SessionChain", "netbeui",
     session_frame(22, chain(0x73, [(0x73, session_setup), (0x75, tree_connect)]), src=CLIENT, dst=SERVER)),
    ("SessionConfirm", "netbeui", session_frame(23, src=SERVER, dst=CLIENT)),
    ("UnknownCommand", "netbeui", session_frame(5, src=SERVER, dst=CLIENT)),
    # Netlogon and a Unicode NT Create over NetBEUI too, so that the fuzz
    # seeds reach them without the NetBIOS services over IP.
    ("NetbeuiNetlogon", "netbeui",
     name_frame(8, netbios_name("DOMAIN", 0x1C), netbios_name("CLIENT1", 0x00),
                transaction("\\MAILSLOT\\NET\\NETLOGON", struct.pack("<H", 7) + b"CLIENT1\0"), src=CLIENT)),
    ("NetbeuiUnicodeNtCreate", "netbeui",
     session_frame(22, nt_create_request("\\Documents\\Café Noël €.txt", True), src=CLIENT, dst=SERVER)),
]


# Seeds of the frame fuzzer (fuzz/frames_fuzz.cpp): three option bytes, then
# the frame from its Ethernet header.
SEEDS = {
    "wendrick-netbeui-name-recognized": "NameRecognized",
    "wendrick-netbeui-browser": "NetbeuiDatagram",
    "wendrick-netbeui-smb-andx-chain": "SessionChain",
    "wendrick-netbeui-smb-nt-create": "SessionData",
    "wendrick-smb-long-andx-chain": "LongChain",
    "wendrick-smb-unicode-nt-create": "NtCreateUnicode",
    "wendrick-browser-unicode-mailslot": "UnicodeHostAnnouncement",
    "wendrick-netlogon-query": "NetlogonQuery",
    "wendrick-netbeui-netlogon": "NetbeuiNetlogon",
    "wendrick-netbeui-smb-unicode-nt-create": "NetbeuiUnicodeNtCreate",
}


def payload_offset(raw, kind):
    if kind == "smb":
        return raw.index(b"\xffSMB")
    return 14 + 3  # Ethernet length frame, LLC UI


def main():
    packets = []
    lines = [
        "// Written by make_frames.py with scapy from the frames of frames.pcap; run it",
        "// again rather than editing. Each frame is whole, from its Ethernet header;",
        "// `at` is where the protocol it was made for begins (the SMB header, or",
        "// the NetBEUI header behind LLC).",
        "#pragma once",
        "",
        "#include \"testhost.h\"",
        "",
        "namespace wendricktest {",
        "",
        "struct Crafted {",
        "  int at;",
        "  qvtest::Bytes bytes;",
        "};",
        "",
    ]
    for i, (name, kind, frame) in enumerate(FRAMES):
        raw = bytes(frame)
        raw += b"\0" * max(0, 60 - len(raw))
        packets.append(raw)
        at = payload_offset(raw, kind)
        hexes = ", ".join("0x%02x" % b for b in raw)
        body = []
        line = "    "
        for part in hexes.split(", "):
            if len(line) + len(part) + 2 > 118:
                body.append(line.rstrip())
                line = "    "
            line += part + ", "
        body.append(line.rstrip().rstrip(","))
        lines.append("inline const Crafted k%s = {%d, {" % (name, at))
        lines.extend(body)
        lines.append("}};")
    lines += ["", "}  // namespace wendricktest", ""]
    with open(os.path.join(HERE, "frames.pcap"), "wb") as f:
        f.write(struct.pack("<IHHiIII", 0xA1B2C3D4, 2, 4, 0, 0, 65535, 1))
        for i, raw in enumerate(packets):
            f.write(struct.pack("<IIII", 1733817600 + i, 0, len(raw), len(raw)) + raw)
    with open(os.path.join(HERE, "frames.h"), "w") as f:
        f.write("\n".join(lines))
    names = [name for name, _, _ in FRAMES]
    corpus = os.path.join(HERE, "..", "..", "..", "fuzz", "corpus")
    for seed, name in SEEDS.items():
        with open(os.path.join(corpus, seed), "wb") as f:
            f.write(b"\0\0\0" + packets[names.index(name)])


if __name__ == "__main__":
    main()
