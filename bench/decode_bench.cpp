// Decode benchmark: times the protocol passes over a stream of generated
// frames (Ethernet, and one in 16 an 802.11 frame with its radio values)
// with every plug-in loaded, counts the heap allocations of the counting
// pass, times loading and saving a large name file, and writes the Ethernet
// frames as a capture for timing whole runs of quorvane (and the usual
// tools, through bench/compare).
//
//   decode_bench [-n FRAMES] [-N NAMES] [-o CAPTURE] [-P PLUGINS] [--quorvane PATH]
#include <dlfcn.h>
#include <getopt.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <vector>

#include "qvhost/host.h"
#include "qvhost/render.h"

// ---------------------------------------------------------------- allocation hook
// The executable's malloc family wins symbol resolution over the C library's,
// for the plug-ins too, so every heap allocation of the process passes here.
extern "C" void* __libc_malloc(size_t);
extern "C" void* __libc_calloc(size_t, size_t);
extern "C" void* __libc_realloc(void*, size_t);
extern "C" void __libc_free(void*);

static std::atomic<unsigned long> g_allocations{0};

extern "C" void* malloc(size_t n) {
  g_allocations.fetch_add(1, std::memory_order_relaxed);
  return __libc_malloc(n);
}
extern "C" void* calloc(size_t n, size_t m) {
  g_allocations.fetch_add(1, std::memory_order_relaxed);
  return __libc_calloc(n, m);
}
extern "C" void* realloc(void* p, size_t n) {
  g_allocations.fetch_add(1, std::memory_order_relaxed);
  return __libc_realloc(p, n);
}
extern "C" void free(void* p) { __libc_free(p); }

namespace {

// ---------------------------------------------------------------- frames

typedef std::vector<BYTE> Frame;

void Put16(Frame& f, unsigned v) {
  f.push_back((BYTE)(v >> 8));
  f.push_back((BYTE)v);
}
void Put32(Frame& f, unsigned v) {
  Put16(f, v >> 16);
  Put16(f, v & 0xFFFF);
}
void PutLe16(Frame& f, unsigned v) {
  f.push_back((BYTE)v);
  f.push_back((BYTE)(v >> 8));
}
void PutMac(Frame& f, unsigned station) {
  const BYTE base[6] = {0x00, 0xa0, 0xc9, 0x00, 0x00, 0x00};
  f.insert(f.end(), base, base + 3);
  f.push_back((BYTE)(station >> 16));
  f.push_back((BYTE)(station >> 8));
  f.push_back((BYTE)station);
}

unsigned Checksum(const BYTE* p, size_t n) {
  unsigned s = 0;
  for (size_t i = 0; i + 1 < n; i += 2) s += (p[i] << 8) | p[i + 1];
  if (n & 1) s += p[n - 1] << 8;
  while (s >> 16) s = (s & 0xFFFF) + (s >> 16);
  return ~s & 0xFFFF;
}

Frame Ip(unsigned src, unsigned dst, BYTE protocol, const Frame& payload, unsigned id) {
  Frame f;
  f.push_back(0x45);
  f.push_back(0);
  Put16(f, 20 + (unsigned)payload.size());
  Put16(f, id);
  Put16(f, 0x4000);
  f.push_back(64);
  f.push_back(protocol);
  Put16(f, 0);
  Put32(f, src);
  Put32(f, dst);
  unsigned c = Checksum(f.data(), 20);
  f[10] = (BYTE)(c >> 8);
  f[11] = (BYTE)c;
  f.insert(f.end(), payload.begin(), payload.end());
  return f;
}

Frame Ethernet(unsigned dst, unsigned src, unsigned type, const Frame& payload) {
  Frame f;
  if (dst == 0xFFFFFF)
    f.insert(f.end(), 6, 0xFF);
  else
    PutMac(f, dst);
  PutMac(f, src);
  Put16(f, type);
  f.insert(f.end(), payload.begin(), payload.end());
  if (f.size() < 60) f.resize(60, 0);
  return f;
}

Frame Bytes(const char* text) { return Frame(text, text + strlen(text)); }
Frame Udp(unsigned src, unsigned dst, const Frame& payload) {
  Frame u;
  Put16(u, src);
  Put16(u, dst);
  Put16(u, 8 + (unsigned)payload.size());
  Put16(u, 0);
  u.insert(u.end(), payload.begin(), payload.end());
  return u;
}
Frame Tcp(unsigned src, unsigned dst, unsigned seq, const Frame& payload) {
  Frame t;
  Put16(t, src);
  Put16(t, dst);
  Put32(t, seq);
  Put32(t, seq * 3);
  t.push_back(0x50);
  t.push_back(0x18);
  Put16(t, 65535);
  Put32(t, 0);
  t.insert(t.end(), payload.begin(), payload.end());
  return t;
}

// The text-line and title-only protocols, in turn.
Frame LineOrTitleFrame(unsigned long k, unsigned a, unsigned b, unsigned hostA, unsigned hostB) {
  switch (k % 7) {
    case 0:
      return Ethernet(a, b, 0x0800, Ip(hostB, hostA, 6, Tcp(21, 40000 + a, (unsigned)k, Bytes("220 Service ready\r\n")), (unsigned)k));
    case 1:
      return Ethernet(a, b, 0x0800,
                      Ip(hostB, hostA, 6, Tcp(25, 40000 + a, (unsigned)k, Bytes("250 2.1.0 Sender OK\r\n")), (unsigned)k));
    case 2:
      return Ethernet(a, b, 0x0800, Ip(hostB, hostA, 6, Tcp(110, 40000 + a, (unsigned)k, Bytes("+OK 2 320\r\n")), (unsigned)k));
    case 3:
      return Ethernet(0xFFFFFF, a, 0x0800,
                      Ip(hostA, 0xEFFFFFFAu, 17,
                         Udp(50000 + a, 1900, Bytes("NOTIFY * HTTP/1.1\r\nHOST: 239.255.255.250:1900\r\nNTS: ssdp:alive\r\n\r\n")),
                         (unsigned)k));
    case 4: {
      const char request[] = "\0\1boot.img\0octet";
      return Ethernet(b, a, 0x0800,
                      Ip(hostA, hostB, 17, Udp(50000 + a, 69, Frame(request, request + sizeof request)), (unsigned)k));
    }
    case 5: {
      Frame r = {1, (BYTE)k, 0, 27};
      r.insert(r.end(), 16, 0x5A);
      const BYTE user[] = {1, 7, 'a', 'l', 'i', 'c', 'e'};
      r.insert(r.end(), user, user + sizeof user);
      return Ethernet(b, a, 0x0800, Ip(hostA, hostB, 17, Udp(1645, 1812, r), (unsigned)k));
    }
    default: {
      const BYTE hello[] = {2, 5, 0, 0, 0, 1, 0, 60, 0, 180};
      return Ethernet(b, a, 0x0800, Ip(hostA, hostB, 8, Frame(hello, hello + sizeof hello), (unsigned)k));
    }
  }
}

// SNMP, OSPF and SLP, in turn.
Frame RoutingFrame(unsigned long k, unsigned a, unsigned b, unsigned hostA, unsigned hostB) {
  switch (k % 3) {
    case 0: {  // a response with two bindings
      const BYTE response[] = {0x30, 0x3e, 0x02, 0x01, 0x01, 0x04, 0x06, 'p', 'u', 'b', 'l', 'i', 'c', 0xa2, 0x31,
                               0x02, 0x02, 0x12, 0x34, 0x02, 0x01, 0x00, 0x02, 0x01, 0x00, 0x30, 0x25, 0x30, 0x10,
                               0x06, 0x08, 0x2b, 0x06, 0x01, 0x02, 0x01, 0x01, 0x03, 0x00, 0x43, 0x04, 0x00, 0x01,
                               0x02, 0x03, 0x30, 0x11, 0x06, 0x08, 0x2b, 0x06, 0x01, 0x02, 0x01, 0x01, 0x05, 0x00,
                               0x04, 0x05, 'r', 'o', 'u', 't', 'e'};
      return Ethernet(a, b, 0x0800, Ip(hostB, hostA, 17, Udp(161, 50000 + a, Frame(response, response + sizeof response)),
                                       (unsigned)k));
    }
    case 1: {  // a Hello with one neighbour
      Frame o = {2, 1, 0, 48};
      Put32(o, hostA);
      Put32(o, 0);
      Put32(o, 0);
      Put32(o, 0);
      Put32(o, 0);
      Put32(o, 0xFFFFFF00u);
      Put16(o, 10);
      o.push_back(2);
      o.push_back(1);
      Put32(o, 40);
      Put32(o, hostA);
      Put32(o, 0);
      Put32(o, hostB);
      return Ethernet(0xFFFFFF, a, 0x0800, Ip(hostA, 0xE0000005u, 89, o, (unsigned)k));
    }
    default: {  // a service request
      const BYTE request[] = {2, 1, 0, 0, 0x34, 0, 0, 0, 0, 0, 0x12, 0x34, 0, 2, 'e', 'n', 0, 0, 0, 19,
                              's', 'e', 'r', 'v', 'i', 'c', 'e', ':', 'p', 'r', 'i', 'n', 't', 'e', 'r', ':',
                              'l', 'p', 'r', 0, 7, 'D', 'E', 'F', 'A', 'U', 'L', 'T', 0, 0, 0, 0};
      return Ethernet(0xFFFFFF, a, 0x0800,
                      Ip(hostA, 0xEFFFFFFDu, 17, Udp(427, 427, Frame(request, request + sizeof request)), (unsigned)k));
    }
  }
}

// A PPP control packet with its protocol number as the EtherType, by k:
// an LCP Configure-Request with options, a PAP Authenticate-Request, an IPCP
// and a CCP Configure-Request.
Frame PppControl(unsigned long k, unsigned a, unsigned b) {
  Frame p = {1, (BYTE)k};
  switch (k % 4) {
    case 0: {
      const BYTE options[] = {0x01, 0x04, 0x05, 0xdc, 0x03, 0x04, 0xc0, 0x23, 0x05, 0x06, 0, 0, 0, 0, 0x07, 0x02};
      Put16(p, 4 + sizeof options);
      p.insert(p.end(), options, options + sizeof options);
      p[14] = (BYTE)k;
      p[15] = (BYTE)(k >> 8);
      return Ethernet(b, a, 0xC021, p);
    }
    case 1: {
      const char user[] = "\x05" "alice" "\x08" "secret12";
      Put16(p, 4 + sizeof user - 1);
      p.insert(p.end(), user, user + sizeof user - 1);
      return Ethernet(b, a, 0xC023, p);
    }
    case 2: {
      const BYTE address[] = {0x03, 0x06, 192, 168, 0, (BYTE)a};
      Put16(p, 4 + sizeof address);
      p.insert(p.end(), address, address + sizeof address);
      return Ethernet(b, a, 0x8021, p);
    }
    default: {
      const BYTE lzs[] = {0x11, 0x05, 0x00, 0x01, 0x04};
      Put16(p, 4 + sizeof lzs);
      p.insert(p.end(), lzs, lzs + sizeof lzs);
      return Ethernet(b, a, 0x80FD, p);
    }
  }
}

// An IPX header from station src's socket to station dst's.
Frame Ipx(BYTE type, unsigned dst, unsigned dstSocket, unsigned src, unsigned srcSocket, const Frame& payload) {
  Frame f;
  Put16(f, 0xFFFF);
  Put16(f, 30 + (unsigned)payload.size());
  f.push_back(0);
  f.push_back(type);
  Put32(f, 1);
  PutMac(f, dst);
  Put16(f, dstSocket);
  Put32(f, 2);
  PutMac(f, src);
  Put16(f, srcSocket);
  f.insert(f.end(), payload.begin(), payload.end());
  return f;
}

// A NetBIOS name: the text padded with blanks to 15 characters, the suffix.
void PutNetBiosName(Frame& f, const char* text, BYTE suffix) {
  const size_t n = strlen(text);
  f.insert(f.end(), text, text + n);
  f.insert(f.end(), 15 - n, ' ');
  f.push_back(suffix);
}

// An SMB negotiation without parameter words or data.
void PutSmb(Frame& f) {
  const BYTE smb[] = {0xFF, 'S', 'M', 'B', 0x72};
  f.insert(f.end(), smb, smb + sizeof smb);
  f.insert(f.end(), 30, 0);
}

// NCP over IPX (a request, a reply), SAP over 802.2, RIP, NCP over TCP,
// NetBIOS over IPX (name queries and session data with SMB) and NMPI, in
// turn.
Frame NovellFrame(unsigned long k, unsigned a, unsigned b, unsigned hostA, unsigned hostB) {
  switch (k % 7) {
    case 0: {  // NCP request: Get File Server Information
      const Frame n = {0x22, 0x22, (BYTE)k, (BYTE)a, 1, 0, 23, 0, 1, 17};
      return Ethernet(b, a, 0x8137, Ipx(17, b, 0x0451, a, 0x4003, n));
    }
    case 1: {  // its reply, now and then a refusal
      const Frame n = {0x33, 0x33, (BYTE)k, (BYTE)a, 1, 0, (BYTE)(k % 3 ? 0 : 0x9C), 0};
      return Ethernet(a, b, 0x8137, Ipx(17, a, 0x4003, b, 0x0451, n));
    }
    case 2: {  // SAP answer with two servers, over 802.2
      Frame s;
      Put16(s, 2);
      for (unsigned n = 0; n < 2; n++) {
        Put16(s, 4);
        Frame name(48, 0);
        memcpy(name.data(), n ? "SERVER2" : "SERVER1", 7);
        s.insert(s.end(), name.begin(), name.end());
        Put32(s, 1 + n);
        PutMac(s, b);
        Put16(s, 0x0451);
        Put16(s, 1 + n);
      }
      Frame l = {0xE0, 0xE0, 0x03};
      const Frame x = Ipx(4, 0xFFFFFF, 0x0452, b, 0x0452, s);
      l.insert(l.end(), x.begin(), x.end());
      Frame f;
      f.insert(f.end(), 6, 0xFF);
      PutMac(f, b);
      Put16(f, (unsigned)l.size());
      f.insert(f.end(), l.begin(), l.end());
      return f;
    }
    case 3: {  // RIP answer
      Frame r;
      Put16(r, 2);
      Put32(r, 1 + a);
      Put16(r, 1);
      Put16(r, 2);
      return Ethernet(0xFFFFFF, b, 0x8137, Ipx(1, 0xFFFFFF, 0x0453, b, 0x0453, r));
    }
    case 5: {  // NetBIOS over IPX: a name query, or session data carrying SMB
      Frame n;
      if (k % 2) {
        for (unsigned i = 0; i < 8; i++) Put32(n, i ? 0 : 1 + a);
        n.push_back(0);
        n.push_back(1);
        PutNetBiosName(n, "FILESRV", 0x20);
        return Ethernet(0xFFFFFF, a, 0x8137, Ipx(20, 0xFFFFFF, 0x0455, a, 0x0455, n));
      }
      n = {0x40, 6, (BYTE)a, 0, (BYTE)b, 0, (BYTE)k, 0, 53, 0, 0, 0, 35, 0, 0, 0, 0, 0};
      PutSmb(n);
      return Ethernet(b, a, 0x8137, Ipx(4, b, 0x0455, a, 0x0455, n));
    }
    case 6: {  // NMPI name query
      Frame n(32, 0);
      n.insert(n.end(), {0xF3, 0, 0, 0});
      PutNetBiosName(n, "FILESRV", 0x20);
      PutNetBiosName(n, "PC1", 0);
      return Ethernet(0xFFFFFF, a, 0x8137, Ipx(4, 0xFFFFFF, 0x0551, a, 0x0551, n));
    }
    default: {  // NCP over TCP: a request behind its transport header
      const BYTE ncp[] = {'D', 'm', 'd', 'T', 0, 0, 0, 26, 0, 0, 0, 1, 0, 0, 0, 2,
                          0x22, 0x22, 1, 5, 1, 1, 23, 0, 1, 17};
      return Ethernet(b, a, 0x0800, Ip(hostA, hostB, 6, Tcp(40000 + a, 524, (unsigned)k, Frame(ncp, ncp + sizeof ncp)),
                                       (unsigned)k));
    }
  }
}

// RTP, a Q.931 Setup behind a TPKT header and an H.225 RAS request, in turn.
Frame VoiceFrame(unsigned long k, unsigned a, unsigned b, unsigned hostA, unsigned hostB) {
  switch (k % 3) {
    case 0: {
      Frame r = {0x80, 0x00};
      Put16(r, (unsigned)k & 0xFFFF);
      Put32(r, (unsigned)k * 160);
      Put32(r, 0x12345678u);
      r.insert(r.end(), 160, 0xD5);
      return Ethernet(b, a, 0x0800, Ip(hostA, hostB, 17, Udp(5004, 5004, r), (unsigned)k));
    }
    case 1: {
      const BYTE setup[] = {3, 0, 0, 34, 8, 2, 0, 1, 5, 4, 3, 0x80, 0x90, 0xa2, 0xa1, 0x28, 5, 'A', 'l', 'i',
                            'c', 'e', 0x70, 4, 0x81, '2', '0', '1', 0x7e, 0, 3, 5, 0, 1};
      return Ethernet(b, a, 0x0800,
                      Ip(hostA, hostB, 6, Tcp(40000 + a, 1720, (unsigned)k, Frame(setup, setup + sizeof setup)),
                         (unsigned)k));
    }
    default: {
      const BYTE request[] = {0x26, 0x90, 0, 7, 8, 2, 0, 1};
      return Ethernet(b, a, 0x0800,
                      Ip(hostA, hostB, 17, Udp(1719, 1719, Frame(request, request + sizeof request)), (unsigned)k));
    }
  }
}

// A NetBIOS name field: SERVER padded with blanks, the suffix, first-level
// encoded.
void PutNbName(Frame& f, unsigned suffix) {
  char name[16] = "SERVER         ";
  name[15] = (char)suffix;
  f.push_back(0x20);
  for (unsigned char c : name) {
    f.push_back((BYTE)('A' + (c >> 4)));
    f.push_back((BYTE)('A' + (c & 0x0F)));
  }
  f.push_back(0);
}

// DNS (a query, and a response with a compressed CNAME and address, over
// UDP and over TCP with its length prefix) and the NetBIOS services (a
// name-query answer that teaches a name, a datagram and a session message
// carrying SMB), in turn.
Frame NameServiceFrame(unsigned long k, unsigned a, unsigned b, unsigned hostA, unsigned hostB) {
  const unsigned server = 0xC0A80001u;
  switch (k % 6) {
    case 0:
    case 1:
    case 2: {
      const bool response = k % 3 != 0;
      Frame d;
      Put16(d, (unsigned)k);
      Put16(d, response ? 0x8180 : 0x0100);
      Put16(d, 1);
      Put16(d, response ? 2 : 0);
      Put16(d, 0);
      Put16(d, 0);
      const BYTE name[] = {3, 'w', 'w', 'w', 7, 'e', 'x', 'a', 'm', 'p', 'l', 'e', 3, 'c', 'o', 'm', 0};
      d.insert(d.end(), name, name + sizeof name);
      Put16(d, 1);
      Put16(d, 1);
      if (response) {
        const BYTE answers[] = {0xc0, 0x0c, 0, 5, 0, 1, 0, 0, 0x0e, 0x10, 0, 6, 3, 'w', 'e', 'b', 0xc0, 0x10,
                                0xc0, 0x2d, 0, 1, 0, 1, 0, 0, 0x0e, 0x10, 0, 4, 93, 184, 216, 34};
        d.insert(d.end(), answers, answers + sizeof answers);
      }
      if (k % 3 == 2) {
        Frame m;
        Put16(m, (unsigned)d.size());
        m.insert(m.end(), d.begin(), d.end());
        return Ethernet(a, b, 0x0800, Ip(server, hostA, 6, Tcp(53, 50000 + a, (unsigned)k, m), (unsigned)k));
      }
      return response ? Ethernet(a, b, 0x0800, Ip(server, hostA, 17, Udp(53, 50000 + a, d), (unsigned)k))
                      : Ethernet(b, a, 0x0800, Ip(hostA, server, 17, Udp(50000 + a, 53, d), (unsigned)k));
    }
    case 3: {  // a positive authoritative answer from the station itself
      Frame n;
      Put16(n, (unsigned)k);
      Put16(n, 0x8500);
      Put16(n, 0);
      Put16(n, 1);
      Put16(n, 0);
      Put16(n, 0);
      PutNbName(n, 0x20);
      Put16(n, 0x20);
      Put16(n, 1);
      Put32(n, 300000);
      Put16(n, 6);
      Put16(n, 0x4000);
      Put32(n, hostB);
      return Ethernet(a, b, 0x0800, Ip(hostB, hostA, 17, Udp(137, 137, n), (unsigned)k));
    }
    case 4: {  // a group datagram carrying SMB
      Frame g = {0x11, 0x02};
      Put16(g, (unsigned)k);
      Put32(g, hostB);
      Put16(g, 138);
      Put16(g, 68 + 35);
      Put16(g, 0);
      PutNbName(g, 0x00);
      PutNbName(g, 0x1D);
      PutSmb(g);
      return Ethernet(0xFFFFFF, b, 0x0800, Ip(hostB, 0xC0A800FFu, 17, Udp(138, 138, g), (unsigned)k));
    }
    default: {  // a session message carrying SMB
      Frame m = {0, 0, 0, 35};
      PutSmb(m);
      return Ethernet(b, a, 0x0800, Ip(hostA, hostB, 6, Tcp(49000 + a, 139, (unsigned)k, m), (unsigned)k));
    }
  }
}

// ---------------------------------------------------------------- Microsoft networking
void PutText(Frame& f, const char* text, size_t pad = 0) {
  size_t n = strlen(text);
  f.insert(f.end(), text, text + n);
  if (pad > n) f.insert(f.end(), pad - n, pad == 15 ? ' ' : 0);
}
Frame SmbHeader(BYTE command) {
  Frame f = {0xFF, 'S', 'M', 'B', command, 0, 0, 0, 0, 0x18, 0x01, 0x00};
  f.insert(f.end(), 12, 0);
  PutLe16(f, 0);
  PutLe16(f, 0xFEFF);
  PutLe16(f, 0);
  PutLe16(f, 0);
  return f;
}
// An SMB Transaction request writing data to a mailslot.
Frame Mailslot(const char* name, const Frame& data) {
  const unsigned at = 32 + 1 + 34 + 2 + (unsigned)strlen(name) + 1;
  Frame f = SmbHeader(0x25);
  f.push_back(17);
  for (unsigned w : {0u, (unsigned)data.size(), 0u, 0u, 0u, 0u, 0u, 0u, 0u, 0u, at, (unsigned)data.size(), at})
    PutLe16(f, w);
  f.push_back(3);
  f.push_back(0);
  for (unsigned w : {1u, 1u, 2u}) PutLe16(f, w);
  PutLe16(f, (unsigned)(strlen(name) + 1 + data.size()));
  PutText(f, name, strlen(name) + 1);
  f.insert(f.end(), data.begin(), data.end());
  return f;
}
// Session Setup chained to Tree Connect.
Frame SessionSetupTreeConnect() {
  const char setupData[] = "\0GUEST\0WORKGROUP\0Unix\0Samba";
  const char treeData[] = "\0\\\\NAS1\\PUBLIC\0?????";
  Frame f = SmbHeader(0x73);
  f.push_back(10);
  f.push_back(0x75);
  f.push_back(0);
  PutLe16(f, 32 + 1 + 20 + 2 + sizeof setupData);
  for (unsigned w : {4356u, 50u, 0u, 0x5678u, 0x1234u, 1u, 0u, 0u}) PutLe16(f, w);
  PutLe16(f, sizeof setupData);
  f.insert(f.end(), setupData, setupData + sizeof setupData);
  f.push_back(4);
  for (unsigned w : {0xFFu, 0u, 8u, 1u}) PutLe16(f, w);
  PutLe16(f, sizeof treeData);
  f.insert(f.end(), treeData, treeData + sizeof treeData);
  return f;
}
// A NetBIOS Frames header in an LLC UI frame of SAP 0xF0, from station src.
Frame Netbeui(unsigned dst, unsigned src, BYTE command, const Frame& rest, const Frame& payload = {}) {
  Frame n = {0xF0, 0xF0, 0x03};
  PutLe16(n, 5 + (unsigned)rest.size());
  n.push_back(0xFF);
  n.push_back(0xEF);
  n.push_back(command);
  n.insert(n.end(), rest.begin(), rest.end());
  n.insert(n.end(), payload.begin(), payload.end());
  Frame f;
  PutMac(f, dst);
  PutMac(f, src);
  Put16(f, (unsigned)n.size());
  f.insert(f.end(), n.begin(), n.end());
  if (f.size() < 60) f.resize(60, 0);
  return f;
}
Frame NameFields(const char* destination, BYTE destinationSuffix, const char* source, BYTE sourceSuffix) {
  Frame r(7, 0);
  PutText(r, destination, 15);
  r.push_back(destinationSuffix);
  PutText(r, source, 15);
  r.push_back(sourceSuffix);
  return r;
}

// NetBEUI with SMB to the Browser and an AndX chain, a name learnt, and a
// Netlogon query over a NetBIOS datagram, in turn. A few server names only,
// so that the name table stays small.
Frame MicrosoftFrame(unsigned long k, unsigned a, unsigned b, unsigned hostA) {
  char server[16];
  snprintf(server, sizeof server, "SERVER%u", a % 16);
  switch (k % 4) {
    case 0: {
      Frame announcement = {15, 1, 0x80, 0xFC, 0x0A, 0};
      PutText(announcement, server, 16);
      const BYTE tail[] = {5, 1, 3, 0x10, 5, 0, 0x0F, 1, 0x55, 0xAA, 'l', 'a', 'b', 0};
      announcement.insert(announcement.end(), tail, tail + sizeof tail);
      return Netbeui(0x030000, a, 8, NameFields("WORKGROUP", 0x1D, server, 0),
                     Mailslot("\\MAILSLOT\\BROWSE", announcement));
    }
    case 1:
      return Netbeui(b, a, 22, {0x0C, 0, 0, 0, 0, 0x21, 0, 2, 5}, SessionSetupTreeConnect());
    case 2:
      return Netbeui(b, a, 14, NameFields("CLIENT1", 0, server, 0x20));
    default: {
      Frame query = {7, 0};
      PutText(query, "CLIENT1", 8);
      Frame d = {0x11, 0x02, 0, (BYTE)k};
      Put32(d, hostA);
      Put16(d, 138);
      Put16(d, 68 + (unsigned)Mailslot("\\MAILSLOT\\NET\\NETLOGON", query).size());
      Put16(d, 0);
      for (const char* name : {"CLIENT1", "DOMAIN"}) {
        d.push_back(0x20);
        char padded[17];
        snprintf(padded, sizeof padded, "%-15s%c", name, name[0] == 'C' ? 0 : 0x1C);
        for (int i = 0; i < 16; i++) {
          d.push_back((BYTE)('A' + ((BYTE)padded[i] >> 4)));
          d.push_back((BYTE)('A' + ((BYTE)padded[i] & 15)));
        }
        d.push_back(0);
      }
      Frame m = Mailslot("\\MAILSLOT\\NET\\NETLOGON", query);
      d.insert(d.end(), m.begin(), m.end());
      return Ethernet(0xFFFFFF, a, 0x0800, Ip(hostA, 0xC0A800FFu, 17, Udp(138, 138, d), (unsigned)k));
    }
  }
}

// One frame of the mix, varied by i: TCP, DNS and the NetBIOS services,
// ARP, VLAN over UDP, 802.3 with LLC and a BPDU, SNAP, ICMP, IGMP, DHCP,
// the text-line and title-only protocols, SNMP, OSPF and SLP, the Novell
// protocols, RTP, Q.931 and H.225, NetBEUI and SMB, and one in 32 a PPP
// control packet.
Frame MakeFrame(unsigned long i) {
  unsigned a = (unsigned)(i % 251), b = (unsigned)((i / 7) % 241);
  unsigned hostA = 0xC0A80000u | a, hostB = 0x0A000000u | b;
  if (i % 32 == 31) return PppControl(i / 32, a, b);
  switch (i % 12) {
    case 8:
      return LineOrTitleFrame(i / 12, a, b, hostA, hostB);
    case 9:
      if ((i / 12) % 4 == 3) return VoiceFrame(i / 48, a, b, hostA, hostB);
      return RoutingFrame(i / 12, a, b, hostA, hostB);
    case 10:
      return NovellFrame(i / 12, a, b, hostA, hostB);
    case 11:
      return MicrosoftFrame(i / 12, a, b, hostA);
    case 0:
    case 1: {  // TCP with options and a little data
      Frame t;
      Put16(t, 40000 + a);
      Put16(t, i % 16 == 0 ? 80 : 443);
      Put32(t, (unsigned)i * 1000);
      Put32(t, (unsigned)i * 77);
      t.push_back(0x80);
      t.push_back(i % 16 == 0 ? 0x02 : 0x18);
      Put16(t, 65535);
      Put32(t, 0);
      const BYTE options[] = {0x02, 0x04, 0x05, 0xb4, 0x01, 0x03, 0x03, 0x07, 0x01, 0x01,
                              0x08, 0x0a, 0, 0, 0, 1, 0, 0, 0, 0};
      t.insert(t.end(), options, options + sizeof options);
      const char* data = "GET /index.html HTTP/1.1\r\nHost: bench\r\n\r\n";
      t.insert(t.end(), data, data + strlen(data));
      return Ethernet(b, a, 0x0800, Ip(hostA, hostB, 6, t, (unsigned)i));
    }
    case 2:  // DNS and the NetBIOS services
      return NameServiceFrame(i / 11, a, b, hostA, hostB);
    case 3: {  // ARP request
      Frame r;
      Put16(r, 1);
      Put16(r, 0x0800);
      r.push_back(6);
      r.push_back(4);
      Put16(r, 1);
      PutMac(r, a);
      Put32(r, hostA);
      r.insert(r.end(), 6, 0);
      Put32(r, hostB);
      return Ethernet(0xFFFFFF, a, 0x0806, r);
    }
    case 4: {  // 802.1Q over UDP
      Frame u;
      Put16(u, 137);
      Put16(u, 137);
      Put16(u, 20);
      Put16(u, 0);
      u.insert(u.end(), 12, 0x20);
      Frame v;
      Put16(v, (5u << 13) | (a & 0xFFF));
      Put16(v, 0x0800);
      Frame ip = Ip(hostA, 0xC0A800FFu, 17, u, (unsigned)i);
      v.insert(v.end(), ip.begin(), ip.end());
      return Ethernet(0xFFFFFF, a, 0x8100, v);
    }
    case 5: {  // 802.3 + LLC UI + spanning-tree BPDU
      const BYTE bpdu[] = {0x42, 0x42, 0x03, 0, 0, 0, 0, 0x80, 0, 0, 0, 0x0c, 0x07, 0xac, 0x01, 0, 0, 0, 4,
                           0x80, 0, 0, 0, 0x0c, 0x07, 0xac, 0x01, 0x80, 0x01, 0, 0, 0x14, 0, 2, 0, 0x0f, 0};
      Frame f;
      const BYTE stp[6] = {0x01, 0x80, 0xc2, 0, 0, 0};
      f.insert(f.end(), stp, stp + 6);
      PutMac(f, a);
      Put16(f, sizeof bpdu);
      f.insert(f.end(), bpdu, bpdu + sizeof bpdu);
      if (f.size() < 60) f.resize(60, 0);
      return f;
    }
    case 6: {  // SNAP carrying IP/UDP
      Frame u;
      Put16(u, 1024 + a);
      Put16(u, 161);
      Put16(u, 8);
      Put16(u, 0);
      Frame ip = Ip(hostA, hostB, 17, u, (unsigned)i);
      Frame s = {0xAA, 0xAA, 0x03, 0, 0, 0};
      Put16(s, 0x0800);
      s.insert(s.end(), ip.begin(), ip.end());
      Frame f;
      PutMac(f, b);
      PutMac(f, a);
      Put16(f, (unsigned)s.size());
      f.insert(f.end(), s.begin(), s.end());
      if (f.size() < 60) f.resize(60, 0);
      return f;
    }
    default:  // ICMP echo, an IGMP report or a DHCP discover
      switch ((i / 12) % 4) {
        case 2: {
          Frame g = {0x16, 0, 0, 0};
          Put32(g, 0xEFFFFFFAu);
          return Ethernet(b, a, 0x0800, Ip(hostA, 0xEFFFFFFAu, 2, g, (unsigned)i));
        }
        case 3: {
          Frame d = {1, 1, 6, 0};
          Put32(d, (unsigned)i);
          d.resize(28, 0);
          PutMac(d, a);
          d.resize(236, 0);
          const BYTE options[] = {0x63, 0x82, 0x53, 0x63, 53, 1, 1, 61, 7, 1, 0, 0xa0, 0xc9, 0, 0, (BYTE)a,
                                  55, 4, 1, 3, 6, 15, 255};
          d.insert(d.end(), options, options + sizeof options);
          d.resize(300, 0);
          Frame u;
          Put16(u, 68);
          Put16(u, 67);
          Put16(u, 8 + (unsigned)d.size());
          Put16(u, 0);
          u.insert(u.end(), d.begin(), d.end());
          return Ethernet(0xFFFFFF, a, 0x0800, Ip(0, 0xFFFFFFFFu, 17, u, (unsigned)i));
        }
        default: {
          Frame c = {8, 0, 0, 0};
          Put16(c, 1);
          Put16(c, (unsigned)i & 0xFFFF);
          c.insert(c.end(), 32, 0x61);
          return Ethernet(b, a, 0x0800, Ip(hostA, hostB, 1, c, (unsigned)i));
        }
      }
  }
}

// ---------------------------------------------------------------- 802.11

// Header: frame control, flags, duration, three addresses (station numbers;
// 0xFFFFFF broadcast), sequence number.
Frame Wlan(BYTE control, BYTE flags, unsigned a1, unsigned a2, unsigned a3, unsigned sequence) {
  Frame f = {control, flags};
  PutLe16(f, 44);
  for (unsigned a : {a1, a2, a3}) {
    if (a == 0xFFFFFF)
      f.insert(f.end(), 6, 0xFF);
    else
      PutMac(f, a);
  }
  PutLe16(f, (sequence & 0xFFF) << 4);
  return f;
}

void PutElement(Frame& f, BYTE id, const Frame& value) {
  f.push_back(id);
  f.push_back((BYTE)value.size());
  f.insert(f.end(), value.begin(), value.end());
}

// Beacons and probe responses of a few access points, data frames to and
// from the distribution system carrying IP over SNAP, acknowledgements,
// authentications and deauthentications, in turn.
Frame MakeWirelessFrame(unsigned long k) {
  const unsigned station = 0x100000u | (unsigned)(k % 239), ap = 0x200000u | (unsigned)(k % 5);
  const unsigned sequence = (unsigned)k;
  switch (k % 6) {
    case 0:
    case 1: {  // beacon, probe response
      Frame f = k % 6 == 0 ? Wlan(0x80, 0, 0xFFFFFF, ap, ap, sequence) : Wlan(0x50, 0, station, ap, ap, sequence);
      for (int i = 0; i < 8; i++) f.push_back((BYTE)(k >> (8 * i)));
      PutLe16(f, 100);
      PutLe16(f, 0x0431);
      PutElement(f, 0, Bytes("bench-net"));
      PutElement(f, 1, {0x82, 0x84, 0x8b, 0x96, 0x0c, 0x12});
      PutElement(f, 3, {(BYTE)(1 + k % 11)});
      PutElement(f, 5, {0, 1, 0, 0});
      PutElement(f, 7, {'D', 'E', ' ', 1, 13, 20});
      return f;
    }
    case 2: {  // data to the distribution system, and back from it
      Frame f = k % 12 == 2 ? Wlan(0x08, 0x01, ap, station, 0x300000u, sequence)
                            : Wlan(0x08, 0x02, station, ap, 0x300000u, sequence);
      const Frame snap = {0xAA, 0xAA, 0x03, 0, 0, 0, 0x08, 0x00};
      f.insert(f.end(), snap.begin(), snap.end());
      const Frame ip = Ip(0xC0A80000u | station, 0x0A000001u, 17, Udp(50000, 53, Bytes("bench-query")), (unsigned)k);
      f.insert(f.end(), ip.begin(), ip.end());
      return f;
    }
    case 3: {  // ACK
      Frame f = {0xD4, 0};
      PutLe16(f, 0);
      PutMac(f, station);
      return f;
    }
    case 4: {  // authentication
      Frame f = Wlan(0xB0, 0, ap, station, ap, sequence);
      PutLe16(f, 0);
      PutLe16(f, 1);
      PutLe16(f, 0);
      return f;
    }
    default: {  // deauthentication
      Frame f = Wlan(0xC0, 0, station, ap, ap, sequence);
      PutLe16(f, 3);
      return f;
    }
  }
}

// 1 and 11 Mbit/s on a DSSS radio, as the host records them from radiotap.
qvhost::FrameMedia RadioOf(unsigned long k) {
  qvhost::FrameMedia m;
  m.radioInfo[0] = k % 2 ? 110 : 10;
  m.radioInfo[4] = 1;
  m.radioInfo[8] = 6;
  m.radioInfo[10] = (BYTE)-48;
  m.radioInfo[11] = (BYTE)-95;
  return m;
}

// A ring of distinct frames, cycled, so that memory stays flat whatever the
// number of frames. Every 16th is an 802.11 frame.
struct FrameRing {
  struct Entry {
    Frame bytes;
    bool wireless;
    qvhost::FrameMedia media;
  };
  std::vector<Entry> frames;
  explicit FrameRing(size_t n) {
    for (size_t i = 0; i < n; i++) {
      if (i % 16 == 15)
        frames.push_back({MakeWirelessFrame(i / 16), true, RadioOf(i / 16)});
      else
        frames.push_back({MakeFrame(i - i / 16), false, {}});
    }
  }
  const Entry& operator[](unsigned long i) const { return frames[i % frames.size()]; }
};

// One frame through the passes of mask, from its media root.
struct Decoder {
  qvhost::Host& host;
  ProtocolDescriptor* ethernet;
  ProtocolDescriptor* wireless;
  void operator()(const FrameRing::Entry& e, unsigned mask, qvhost::FrameOutput* out) const {
    const int n = (int)e.bytes.size();
    if (e.wireless)
      host.DecodeFrame(wireless, e.bytes.data(), n, n, mask, out, &e.media);
    else
      host.DecodeFrame(ethernet, e.bytes.data(), n, n, mask, out);
  }
};

double Now() {
  timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return t.tv_sec + t.tv_nsec / 1e9;
}

long PeakKiB() {
  rusage u;
  getrusage(RUSAGE_SELF, &u);
  return u.ru_maxrss;
}

// Writes the Ethernet frames among the first n; returns how many.
unsigned long WritePcap(const std::string& path, const FrameRing& ring, unsigned long n) {
  FILE* f = fopen(path.c_str(), "wb");
  if (!f) {
    perror(path.c_str());
    exit(2);
  }
  const uint32_t header[6] = {0xA1B2C3D4u, 0x00040002u, 0, 0, 262144, 1};
  fwrite(header, sizeof header, 1, f);
  unsigned long written = 0;
  for (unsigned long i = 0; i < n; i++) {
    if (ring[i].wireless) continue;
    written++;
    const Frame& fr = ring[i].bytes;
    const uint32_t record[4] = {(uint32_t)(1700000000 + i / 1000), (uint32_t)(i % 1000) * 1000, (uint32_t)fr.size(),
                                (uint32_t)fr.size()};
    fwrite(record, sizeof record, 1, f);
    fwrite(fr.data(), 1, fr.size(), f);
  }
  fclose(f);
  return written;
}

double TimeCommand(const std::string& command) {
  double start = Now();
  int rc = system(command.c_str());
  double t = Now() - start;
  if (rc != 0) fprintf(stderr, "decode_bench: '%s' exited with %d\n", command.c_str(), rc);
  return t;
}

int Quiet(HWND, const char*, const char*, DWORD, void*) { return plat::IDOK; }

// A name file of n mappings with distinct names and addresses, loaded into an
// empty table and saved again, each timed.
void TimeNameFile(qvhost::Host& host, unsigned long n) {
  MonitorTable* t = host.table();
  std::string text;
  text.reserve(n * 48);
  char line[96];
  for (unsigned long i = 0; i < n; i++) {
    snprintf(line, sizeof line, "Station%lu,00A0C9%06lX,6,   ,0,0,%lu,0,0,0\n", i, i & 0xFFFFFF, i % 7);
    text += line;
  }
  int fd = memfd_create("names", MFD_CLOEXEC);
  if (fd < 0 || write(fd, text.data(), text.size()) != (ssize_t)text.size()) {
    perror("name file");
    exit(2);
  }
  t->ClearNameTable();
  double start = Now();
  t->LoadNameFile(fd);
  double load = Now() - start;
  start = Now();
  BYTE saved = t->SaveNameFile(fd);
  double save = Now() - start;
  off_t size = lseek(fd, 0, SEEK_END);
  close(fd);
  printf("%-22s %8.3f s  %12.0f entries/s  %lu entries, %.1f MB\n", "name file load", load, n / load, n,
         text.size() / 1e6);
  printf("%-22s %8.3f s  %12.0f entries/s  %s\n", "name file save", save, n / save,
         saved && size > 0 ? "written" : "FAILED");
  t->ClearNameTable();
}

}  // namespace

int main(int argc, char** argv) {
  unsigned long frames = 1000000, names = 100000;
  std::string capture = "bench.pcap", plugins = qvhost::ProgramFolder(), quorvane = qvhost::ProgramFolder() + "/quorvane";
  static const option kOptions[] = {{"frames", required_argument, nullptr, 'n'},
                                    {"names", required_argument, nullptr, 'N'},
                                    {"output", required_argument, nullptr, 'o'},
                                    {"plugins", required_argument, nullptr, 'P'},
                                    {"quorvane", required_argument, nullptr, 'Q'},
                                    {nullptr, 0, nullptr, 0}};
  int c;
  while ((c = getopt_long(argc, argv, "n:N:o:P:", kOptions, nullptr)) != -1) {
    switch (c) {
      case 'n': frames = strtoul(optarg, nullptr, 10); break;
      case 'N': names = strtoul(optarg, nullptr, 10); break;
      case 'o': capture = optarg; break;
      case 'P': plugins = optarg; break;
      case 'Q': quorvane = optarg; break;
      default:
        fprintf(stderr, "usage: decode_bench [-n FRAMES] [-N NAMES] [-o CAPTURE] [-P PLUGINS] [--quorvane PATH]\n");
        return 1;
    }
  }
  if (frames == 0) frames = 1;

  plat::SetMessageSink(Quiet, nullptr);
  FrameRing ring(4096);
  unsigned long bytes = 0;
  for (unsigned long i = 0; i < frames; i++) bytes += ring[i].bytes.size();

  qvhost::Host host;
  std::vector<std::string> errors;
  host.LoadFolder(plugins, &errors);
  host.Start();
  const Decoder decode{host, host.Find(qvhost::kEthernetRoot), host.Find(qvhost::kWirelessRoot)};
  if (!decode.ethernet || !decode.wireless) {
    fprintf(stderr, "decode_bench: no MAC-802.3 or MAC-802.11 plug-in in %s\n", plugins.c_str());
    return 2;
  }
  printf("%lu frames, %lu bytes, %zu plug-in libraries, %zu protocols\n", frames, bytes, host.libraries().size(),
         host.protocols().size());

  qvhost::FrameOutput out;
  // Warm up: every station and every frame once, so the host's tables are filled.
  for (size_t i = 0; i < ring.frames.size(); i++) decode(ring[i], qvhost::RUN_ALL, &out);
  host.ReleaseDetail(&out);

  struct Stage {
    const char* name;
    unsigned mask;
  } const stages[] = {
      {"counting pass", qvhost::RUN_COUNT},
      {"counting + summary", qvhost::RUN_COUNT | qvhost::RUN_SUMMARY},
      {"all three passes", qvhost::RUN_ALL},
  };
  long peakBefore = PeakKiB();
  for (const Stage& s : stages) {
    unsigned long allocationsBefore = g_allocations.load();
    double start = Now();
    for (unsigned long i = 0; i < frames; i++) decode(ring[i], s.mask, &out);
    double t = Now() - start;
    unsigned long allocations = g_allocations.load() - allocationsBefore;
    printf("%-22s %8.3f s  %12.0f frames/s  %8.1f MB/s  %.4f allocations/frame\n", s.name, t, frames / t,
           bytes / t / 1e6, (double)allocations / frames);
  }
  {  // the detail tree rendered as quorvane -V prints it, without the file reading and writing
    qvhost::TextOut text([](const char*, size_t, void*) {}, nullptr);
    double start = Now();
    for (unsigned long i = 0; i < frames; i++) {
      decode(ring[i], qvhost::RUN_ALL, &out);
      qvhost::RenderSummary(i + 1, out, &text);
      host.RenderAndReleaseDetail(&out, &text);
    }
    double t = Now() - start;
    printf("%-22s %8.3f s  %12.0f frames/s  %8.1f MB/s\n", "passes + rendering", t, frames / t, bytes / t / 1e6);
  }
  host.ReleaseDetail(&out);
  printf("peak memory            %ld KiB (before the timed passes %ld KiB)\n", PeakKiB(), peakBefore);
  // After the passes, so that the frames are not looked up in a large table.
  if (names) TimeNameFile(host, names);

  const unsigned long written = WritePcap(capture, ring, frames);
  std::string q = "'" + quorvane + "' -P '" + plugins + "' '" + capture + "' >/dev/null";
  double summary = TimeCommand(q);
  printf("quorvane summaries     %8.3f s  %12.0f frames/s\n", summary, written / summary);
  std::string v = "'" + quorvane + "' -V -P '" + plugins + "' '" + capture + "' >/dev/null";
  double detail = TimeCommand(v);
  printf("quorvane -V            %8.3f s  %12.0f frames/s\n", detail, written / detail);
  printf("%lu Ethernet frames written to %s\n", written, capture.c_str());
  return 0;
}
