// A test host for Aerlith: the library with the IEEE names and the name
// table, an LLC-802.2 stand-in that records what data frames hand on, and
// builders of 802.11 frames.
#pragma once

#include <string>

#include "testhost.h"

namespace aerlithtest {

using namespace qvtest;

constexpr const char* kRoot = "MAC-802.11";

class AerlithHost : public qvtest::TestHost {
 public:
  // With the LLC stand-in unless llc is false; the name libraries where built.
  explicit AerlithHost(bool llc = true) : TestHost({"aerlith", "halvern", "pallisand"}, false) {
    if (llc) StandIn("LLC-802.2");
    Start();
    EXPECT_TRUE(loadErrors.empty()) << loadErrors.front();
  }
  void Decode(const Bytes& frame, unsigned mask = qvhost::RUN_ALL, int wireLength = -1) {
    TestHost::Decode(kRoot, frame, mask, wireLength);
  }
  std::vector<qvhost::FlatLine> Lines() const { return TestHost::Lines(0); }
};

// Station addresses of the tests.
extern const Bytes kStation;   // 00-A0-C9-14-C8-29 (Intel)
extern const Bytes kAccessPoint;  // 00-00-0C-07-AC-01 (Cisco)
extern const Bytes kOther;     // 02-00-00-00-00-07 (local, no vendor)
extern const Bytes kGroup;     // FF-FF-FF-FF-FF-FF

// An 802.11 frame: frame control (byte 0, flags), duration, addresses,
// sequence control (fragment in the low four bits), address 4 when both DS
// bits are set, and the body.
struct Frame {
  BYTE control = 0x08;
  BYTE flags = 0;
  WORD duration = 0;
  Bytes address1 = kAccessPoint, address2 = kStation, address3 = kOther, address4 = kGroup;
  WORD sequence = 0x0120;
  Bytes body = {};
};
Bytes Build(const Frame& f);
// Control frames: frame control, duration, then the addresses given.
Bytes Control(BYTE control, std::initializer_list<Bytes> addresses, WORD duration = 0);
// An information element.
Bytes Element(BYTE id, const Bytes& value);
Bytes Element(BYTE id, const std::string& value);
// A beacon (or probe response, by control) from the access point: time
// stamp, interval, capability, then the elements.
Bytes Beacon(const Bytes& elements, BYTE control = 0x80, WORD capability = 0x0411);

// The radio values a host records for a frame: radioInfo bytes.
qvhost::FrameMedia Radio(BYTE rate, BYTE service, WORD plcpLength, DWORD phyType);

// The detail lines from the first line with this text on, up to (not
// including) the next line with `until`, or to the end.
std::vector<qvhost::FlatLine> Section(const std::vector<qvhost::FlatLine>& lines, const std::string& from,
                                      const std::string& until = "");

}  // namespace aerlithtest
