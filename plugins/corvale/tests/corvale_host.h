// A test host for Corvale: the library with the IEEE names and the name
// table, and stand-in children "A" and "B" bound by key under its parents.
#pragma once

#include <initializer_list>
#include <string>

#include "testhost.h"

namespace corvaletest {

using namespace qvtest;

enum Child { kChildA, kChildB };

class CorvaleHost : public qvtest::TestHost {
 public:
  explicit CorvaleHost(std::initializer_list<std::string> libraries = {"corvale", "halvern", "pallisand"})
      : TestHost(libraries, true) {
    EXPECT_TRUE(Has("DOD-IP")) << (loadErrors.empty() ? "" : loadErrors.front());
  }
  // Binds stand-in "A" or "B" under a parent protocol (by name id) at key.
  void Bind(const char* parent, DWORD key, Child child) { BindStandIn(parent, key, child == kChildA ? "A" : "B"); }
};

}  // namespace corvaletest
