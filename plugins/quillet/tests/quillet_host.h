// A test host for Quillet: the library with the IEEE names and the name
// table, and, where a test wants them, stand-ins for the protocols that
// Quillet binds under or hands frames to, registered before the libraries.
#pragma once

#include <initializer_list>
#include <string>
#include <vector>

#include "testhost.h"

namespace quillettest {

using qvtest::Bytes;
using qvtest::Hex;
using qvtest::Line;

const DWORD OPEN = DETAIL_GROUP_OPEN;
const DWORD CLOSE = DETAIL_GROUP_CLOSE;

// Stand-ins by name id.
enum Fake { kMac, kLlc, kSnap, kIpx, kIp, kTcp, kUdp, kFakeCount };

// A frame handed to a stand-in (or to DefaultParse, as "default").
struct HandOn {
  std::string to;
  DWORD pass;
  int offset;
  int frameLength;
  int capturedLength;
  long slot;  // detail pass: the DetailLists slot received; else -1
};

// A PCTL_ADD_CHILD received by a stand-in.
struct Binding {
  std::string parent;
  DWORD key;
  ProtocolParse parse;
  ProtocolControl control;
};

ProtocolParse FakeParse(Fake f);
ProtocolControl FakeControl(Fake f);

class QuilletHost : public qvtest::TestHost {
 public:
  explicit QuilletHost(std::initializer_list<Fake> fakes = {},
                       std::initializer_list<std::string> libraries = {"quillet", "halvern", "pallisand"});
  ~QuilletHost();

  // Hand-ons in order, DefaultParse included.
  std::vector<HandOn> HandOns() const;
  const std::vector<Binding>& Bindings() const;
  void ClearRecords();


  // Everything the passes made of the last frame, as one text.
  std::string Trace() const;
};

// Lines as a table, with std::string texts.
typedef qvtest::Line Want;
inline void ExpectTable(const std::vector<qvhost::FlatLine>& got, const std::vector<Want>& want) {
  qvtest::ExpectLines(got, want);
}

// Decodes every cut of frame (0 .. all bytes) twice, once over stale bytes of
// 0x00 and once of 0xFF past the cut, and expects the same result: no pass
// reads past capturedLength. Also checks that no line has a negative offset
// or length and that nothing is handed on with more bytes than were there.
void ExpectNoReadPastCapture(QuilletHost& h, const char* root, const Bytes& frame);

}  // namespace quillettest
