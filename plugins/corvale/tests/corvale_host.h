// A test host for Corvale: the library with the IEEE names and the name
// table, stand-in children bound by key under its parents, frame builders
// and a check that no pass reads past the capture.
#pragma once

#include <initializer_list>
#include <string>
#include <vector>

#include "testhost.h"

namespace corvaletest {

using qvtest::Bytes;
using qvtest::Hex;

const DWORD OPEN = DETAIL_GROUP_OPEN;
const DWORD CLOSE = DETAIL_GROUP_CLOSE;

// ---------------------------------------------------------------- frames
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
// Destination, source, type, payload, padded with zeros to padTo bytes.
Bytes Ethernet(const Bytes& payload, size_t padTo = 0, WORD type = 0x0800);
Bytes Cat(std::initializer_list<Bytes> parts);

// ---------------------------------------------------------------- host
// What a stand-in child (or DefaultParse, as "default") was handed.
struct HandOn {
  std::string to;
  DWORD pass;
  int offset;
  int frameLength;
  int capturedLength;
  long slot;  // detail pass: the DetailLists slot received; else -1
};

enum StandIn { kChildA, kChildB, kStandInCount };

class CorvaleHost : public qvtest::TestHost {
 public:
  explicit CorvaleHost(std::initializer_list<std::string> libraries = {"corvale", "halvern", "pallisand"});
  ~CorvaleHost();

  bool Has(const char* nameId) const { return host.Find(nameId) != nullptr; }
  // Binds stand-in "A" or "B" under a parent protocol (by name id) at key.
  void Bind(const char* parent, DWORD key, StandIn child);

  // Hand-ons to the stand-ins and to DefaultParse, stand-ins first.
  std::vector<HandOn> HandOns() const;
  void ClearRecords();

  DWORD& Flags() { return host.flags(); }

  // Everything the passes made of the last frame, as one text.
  std::string Trace();
};

// ---------------------------------------------------------------- checks
typedef qvtest::Line Want;
inline void ExpectTable(const std::vector<qvhost::FlatLine>& got, const std::vector<Want>& want) {
  qvtest::ExpectLines(got, want);
}
// Lines whose text starts with prefix.
std::vector<qvhost::FlatLine> LinesStarting(const std::vector<qvhost::FlatLine>& lines, const std::string& prefix);
// The lines of a list from the first whose text starts with prefix.
std::vector<qvhost::FlatLine> LinesFrom(const std::vector<qvhost::FlatLine>& lines, const std::string& prefix);

// Decodes every cut of frame (0 .. all bytes, the wire length kept) twice,
// once over stale bytes of 0x00 and once of 0xFF past the cut, and expects
// the same result: no pass reads past capturedLength. Also checks that no
// line has a negative offset or length and that nothing is handed on with
// more captured bytes than there were.
void ExpectNoReadPastCapture(CorvaleHost& h, const char* root, const Bytes& frame);

}  // namespace corvaletest
