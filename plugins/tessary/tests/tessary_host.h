// A test host for Tessary: the library with the name table (so that node
// lookups answer) and, where a test wants them, stand-ins registered before
// the libraries; frame builders for IPX and a reader for the small pcap
// files the tests keep.
#pragma once

#include <initializer_list>
#include <string>
#include <vector>

#include "testhost.h"

namespace tessarytest {

using namespace qvtest;

inline constexpr const char* kLibraries[] = {"tessary", "halvern", "pallisand"};
using TessaryHost = HostOf<kLibraries>;

// With the link layer and the IP suite, for frames from the Ethernet root.
struct EthernetHost : TessaryHost {
  explicit EthernetHost(std::initializer_list<const char*> standIns = {})
      : TessaryHost(standIns, {"brannock", "quillet", "corvale", "tessary", "halvern", "pallisand"}) {}
};

// An IPX packet; length -1: header and payload.
struct IpxFields {
  WORD checksum = 0xFFFF;
  int length = -1;
  BYTE control = 0;
  BYTE type = 17;
  const char* destination = "00 00 00 01  00 00 0c 12 34 56  04 51";  // network, node, socket
  const char* source = "0a 0b 0c 0d  00 a0 c9 14 c8 29  40 03";
};
Bytes Ipx(const IpxFields& f, const Bytes& payload = {});
Bytes Ipx(BYTE type, WORD destinationSocket, WORD sourceSocket, const Bytes& payload = {});

// The frames of a classic pcap file, with their lengths on the wire.
struct Packet {
  Bytes data;
  int wireLength;
};
std::vector<Packet> ReadPcap(const std::string& path);
// Files kept beside these tests, and the real captures of tests/captures.
std::string Crafted(const char* name);
std::string RealCapture(const char* name);

}  // namespace tessarytest
