// A test host for Dorrow: the library alone (its protocols decoded from
// offset 0) or behind the Ethernet root (Brannock with the name libraries).
#pragma once

#include <initializer_list>
#include <string>

#include "testhost.h"

namespace dorrowtest {

using qvtest::Bytes;
using qvtest::CLOSE;
using qvtest::ExpectLines;
using qvtest::Hex;
using qvtest::Line;
using qvtest::Lines;
using qvtest::OPEN;

class DorrowHost : public qvtest::TestHost {
 public:
  explicit DorrowHost(std::initializer_list<const char*> standIns = {},
                      std::initializer_list<std::string> libraries = {"dorrow"})
      : TestHost(libraries, false) {
    for (const char* name : standIns) StandIn(name);
    Start();
    EXPECT_TRUE(loadErrors.empty()) << loadErrors.front();
  }
};

#ifdef QV_HAVE_BRANNOCK
const bool kBrannock = true;
#else
const bool kBrannock = false;
#endif
#define NEED_BRANNOCK() \
  if (!kBrannock) GTEST_SKIP() << "brannock is not built in this tree"

// Dorrow behind MAC-802.3, as the host reaches it.
struct EthernetHost : DorrowHost {
  EthernetHost() : DorrowHost({}, {"brannock", "dorrow", "halvern", "pallisand"}) {}
};

// An Ethernet II frame of the given type (qvtest::Ethernet's addresses),
// padded to 60 bytes.
Bytes EthernetFrame(WORD type, const Bytes& payload);

// The host's dump of bytes that start at a frame offset: a heading line
// with the label, then one line per 16 bytes; its last line ends the dump's
// group and `closes` more.
Lines Dump(const char* label, int offset, const Bytes& bytes, DWORD closes = 0);

Lines operator+(Lines a, const Lines& b);

}  // namespace dorrowtest
