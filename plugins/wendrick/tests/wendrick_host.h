// A test host for Wendrick: the library with the IEEE names and the name
// table, the crafted frames, and a carrier that hands a whole frame to a
// Wendrick protocol at the offset it was made for, as NetBIOS and LLC do, so
// that names are learnt from the frame's real Ethernet source.
#pragma once

#include <initializer_list>
#include <string>
#include <vector>

#include "frames.h"
#include "testhost.h"

namespace wendricktest {

using namespace qvtest;

// The carrier: a root protocol of the test, registered under "CARRIER". It
// moves `offset` to `at` and hands the frame, and its own detail slot, to
// the target; with `wireless` it marks the frame as MAC-802.11 does.
struct Carrier {
  ProtocolParse target = nullptr;
  int at = 0;
  bool wireless = false;
};
Carrier& TheCarrier();
ProtocolDescriptor* CarrierDescriptor();

// DefaultParse as the library calls it, with the detail slot it was given.
struct DefaultCall {
  DWORD pass;
  int offset;
  void* out;
};
std::vector<DefaultCall>& DefaultCalls();
// Wraps the table's DefaultParse, before the libraries copy it at their
// start, so that DefaultCalls records each call.
void RecordDefaultParse(TestHost& h);

class WendrickHost : public LibraryHost {
 public:
  explicit WendrickHost(std::initializer_list<std::string> libraries = {"wendrick", "halvern", "pallisand"},
                        std::initializer_list<const char*> standIns = {})
      : LibraryHost(libraries, standIns, RecordDefaultParse) {
    DefaultCalls().clear();
    EXPECT_TRUE(Has("MS-SMB"));
    host.Register(CarrierDescriptor());
  }

  // The SMB message (or NetBEUI header) of a crafted frame and what follows,
  // decoded from the protocol: line offsets count from its first byte.
  static Bytes Payload(const Crafted& c) { return Bytes(c.bytes.begin() + c.at, c.bytes.end()); }
  void DecodePayload(const char* root, const Crafted& c, unsigned mask = qvhost::RUN_ALL) {
    Run(root, Payload(c), mask);
  }
  // Decode with the records (hand-ons, names learnt) of this frame only.
  void Run(const char* root, const Bytes& frame, unsigned mask = qvhost::RUN_ALL) {
    ClearRecords();
    addNames.clear();
    DefaultCalls().clear();
    Decode(root, frame, mask);
  }
  // The whole frame, handed to the protocol at the crafted offset.
  void Carry(const char* to, const Crafted& c, bool wireless = false, unsigned mask = qvhost::RUN_ALL) {
    Aim(to, c, wireless);
    Run("CARRIER", c.bytes, mask);
  }
  void Aim(const char* to, const Crafted& c, bool wireless = false) {
    TheCarrier() = {host.Find(to)->parse, c.at, wireless};
  }
  // The detail slot of the last DefaultParse call of the detail pass, or -1.
  long DefaultSlot() const {
    for (auto c = DefaultCalls().rbegin(); c != DefaultCalls().rend(); ++c)
      if (c->pass == PASS_DETAIL) return static_cast<DetailLine**>(c->out) - out.lists.data();
    return -1;
  }
  // Lines of a slot as text only.
  std::vector<std::string> Texts(size_t slot) const {
    std::vector<std::string> texts;
    for (const auto& l : Lines(slot)) texts.push_back(l.text);
    return texts;
  }
  // Names learnt, as "NAME 00-A0-C9-14-C8-29".
  std::vector<std::string> Learnt() const;
  // SMB leads a frame on only once the lines of its header and of every
  // chained block were made: the line-failure check's option that says so,
  // from the lists of the last decode.
  FrameCheck SmbLeadsOn() const;
  // The properties every protocol keeps, for a frame decoded from root once
  // first, so that its names are learnt before the cuts (a name learnt
  // again leaves the table as it was): bounded at every cut with every line
  // within the capture, and each failed line handled as SmbLeadsOn says.
  void ExpectBoundedAndLineFailuresHandled(const char* root, const Bytes& frame);
};

}  // namespace wendricktest
