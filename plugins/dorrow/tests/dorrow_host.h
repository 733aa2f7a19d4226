// A test host for Dorrow: the library alone (its protocols decoded from
// offset 0) or behind the Ethernet root (Brannock with the name libraries).
#pragma once

#include "testhost.h"

namespace dorrowtest {

using namespace qvtest;

inline constexpr const char* kLibraries[] = {"dorrow"};
using DorrowHost = HostOf<kLibraries>;

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
