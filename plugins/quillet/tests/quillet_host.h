// A test host for Quillet: the library with the IEEE names and the name
// table, and, where a test wants them, stand-ins for the protocols that
// Quillet binds under or hands frames to, registered before the libraries.
#pragma once

#include "testhost.h"

namespace quillettest {

using namespace qvtest;

inline constexpr const char* kLibraries[] = {"quillet", "halvern", "pallisand"};
using QuilletHost = HostOf<kLibraries>;

}  // namespace quillettest
