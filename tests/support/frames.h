// Frame builders for tests: Ethernet, IPv4, UDP and TCP with fields that a
// test may change.
#pragma once

#include <initializer_list>
#include <vector>

#include "monitor.h"

namespace qvtest {

typedef std::vector<BYTE> Bytes;
Bytes Hex(const char* text);
Bytes Cat(std::initializer_list<Bytes> parts);

// Common addresses.
extern const char kHost[];       // 00-A0-C9-14-C8-29, individual
extern const char kCisco[];      // 00-00-0C-07-AC-01, individual
extern const char kBroadcast[];  // FF-FF-FF-FF-FF-FF

// An Ethernet frame: destination, source, type/length, payload, padded with
// zeros to pad bytes.
Bytes Ether(const char* destination, const char* source, WORD type, const Bytes& payload, size_t pad = 60);
// The same to 00-A0-C9-14-C8-29 from 00-00-0C-12-34-56, padded to padTo.
Bytes Ethernet(const Bytes& payload, size_t padTo = 0, WORD type = 0x0800);

struct IpFields {
  BYTE versionIhl = 0x45;
  BYTE tos = 0;
  int totalLength = -1;  // -1: header and payload
  WORD id = 0x1234;
  WORD fragment = 0x4000;  // don't fragment
  BYTE ttl = 64;
  BYTE protocol = 6;
  WORD checksum = 0xb1e5;
  BYTE source[4] = {192, 168, 0, 1};
  BYTE destination[4] = {10, 0, 0, 2};
};
// A 20-byte header (whatever the IHL says) followed by payload.
Bytes Ip(const IpFields& f, const Bytes& payload);
Bytes Ip(BYTE protocol, const Bytes& payload);
// length -1: header and payload.
Bytes Udp(WORD source, WORD destination, const Bytes& payload = {}, int length = -1);
// The data offset covers options padded to whole words unless given.
Bytes Tcp(WORD source, WORD destination, BYTE flags, const Bytes& options = {}, const Bytes& payload = {},
          int dataOffset = -1);

}  // namespace qvtest
