// A test host for Quillet: the library with the IEEE names and the name
// table, and, where a test wants them, stand-ins for the protocols that
// Quillet binds under or hands frames to, registered before the libraries.
#pragma once

#include <initializer_list>
#include <string>

#include "testhost.h"

namespace quillettest {

using qvtest::Binding;
using qvtest::Bytes;
using qvtest::CLOSE;
using qvtest::ExpectLines;
using qvtest::HandOn;
using qvtest::Hex;
using qvtest::Line;
using qvtest::Lines;
using qvtest::OPEN;

class QuilletHost : public qvtest::TestHost {
 public:
  explicit QuilletHost(std::initializer_list<const char*> standIns = {},
                       std::initializer_list<std::string> libraries = {"quillet", "halvern", "pallisand"})
      : TestHost(libraries, false) {
    for (const char* name : standIns) StandIn(name);
    Start();
    EXPECT_TRUE(loadErrors.empty()) << loadErrors.front();
  }
};

}  // namespace quillettest
