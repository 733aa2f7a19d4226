// A test host for Selkirt: the library alone, or with the IP suite and the
// name services when a test decodes through UDP and TCP.
#pragma once

#include <initializer_list>
#include <string>

#include "testhost.h"

namespace selkirttest {

using qvtest::Bytes;
using qvtest::Cat;
using qvtest::CLOSE;
using qvtest::ExpectLines;
using qvtest::Hex;
using qvtest::Ip;
using qvtest::Line;
using qvtest::Lines;
using qvtest::OPEN;
using qvtest::Tcp;
using qvtest::Udp;

class SelkirtHost : public qvtest::TestHost {
 public:
  explicit SelkirtHost(std::initializer_list<const char*> standIns = {},
                       std::initializer_list<std::string> libraries = {"selkirt"})
      : TestHost(libraries, false) {
    for (const char* name : standIns) StandIn(name);
    Start();
    EXPECT_TRUE(loadErrors.empty()) << loadErrors.front();
  }
};

// With the IP suite, for frames from DOD-IP on.
class IpHost : public SelkirtHost {
 public:
  IpHost() : SelkirtHost({}, {"selkirt", "corvale", "halvern", "pallisand"}) {}
};

}  // namespace selkirttest
