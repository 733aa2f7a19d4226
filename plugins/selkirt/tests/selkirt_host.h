// A test host for Selkirt: the library alone, or with the IP suite and the
// name services when a test decodes through UDP and TCP.
#pragma once

#include "testhost.h"

namespace selkirttest {

using namespace qvtest;

inline constexpr const char* kLibraries[] = {"selkirt"};
using SelkirtHost = HostOf<kLibraries>;

// With the IP suite, for frames from DOD-IP on.
struct IpHost : SelkirtHost {
  IpHost() : SelkirtHost({}, {"selkirt", "corvale", "halvern", "pallisand"}) {}
};

}  // namespace selkirttest
