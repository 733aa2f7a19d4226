// A host with Pallisand loaded, a clock the tests set, and small helpers.
#pragma once

#include <gtest/gtest.h>
#include <string.h>

#include <string>
#include <vector>

#include "combo.h"
#include "name_entry.h"
#include "testhost.h"

namespace names_test {

using pallisand::NameEntry;
using qvtest::Bytes;
using qvtest::Hex;

// The fake clock: day 2 of 1601, so that FILETIME ticks are easy to state.
inline plat::SYSTEMTIME g_now = {1601, 1, 0, 2, 0, 0, 0, 0};
inline void FakeClock(plat::SYSTEMTIME* t) { *t = g_now; }
inline void SetClock(int hour, int minute, int second, int ms) {
  g_now = plat::SYSTEMTIME{1601, 1, 0, 2, (WORD)hour, (WORD)minute, (WORD)second, (WORD)ms};
}
inline uint64_t Ticks(int hour, int minute, int second, int ms) {
  return 864000000000ull + (((uint64_t)hour * 3600 + minute * 60 + second) * 1000 + ms) * 10000;
}

class NamesTest : public ::testing::Test {
 protected:
  NamesTest() : h({"pallisand"}, false) {
    // The table's own AddName, not the test host's recorder (which is not
    // made for several threads).
    h.host.hooks().afterAttach = nullptr;
    h.Start();
    t = h.table();
  }

  void SetUp() override {
    ASSERT_TRUE(h.loadErrors.empty()) << h.loadErrors[0];
    SetClock(1, 0, 0, 0);
    plat::SetClockSource(FakeClock);
    ClearChanged();
  }

  void TearDown() override {
    plat::SetClockSource(nullptr);
    plat::SetAllocFailure(0);
  }

  NameEntry* Add(const char* name, const char* hex, int value = 0) {
    Bytes a = Hex(hex);
    return static_cast<NameEntry*>(t->AddName(name, a.data(), (int)a.size(), value));
  }
  NameEntry* AddFlagged(const char* name, const char* hex, int value = 0) {
    Bytes a = Hex(hex);
    return static_cast<NameEntry*>(t->AddFlaggedName(name, a.data(), (int)a.size(), value));
  }

  // The active list's names in list order.
  std::vector<std::string> Names() {
    pallisand::ComboBox combo;
    t->FillNameCombo(combo.hwnd());
    return combo.items;
  }

  bool Changed() const { return (t->flags & MT_NAMES_CHANGED) != 0; }
  void ClearChanged() { t->flags &= ~(DWORD)MT_NAMES_CHANGED; }
  void SetChanged() { t->flags |= MT_NAMES_CHANGED; }

  // The text of an error box as the library makes it.
  static std::string ErrorText(const char* text, DWORD code) {
    char system[256];
    plat::FormatSystemError(code, system, sizeof system);
    return std::string(text) + "\n\n" + system;
  }

  qvtest::TestHost h;
  MonitorTable* t = nullptr;
};

inline std::string AddressHex(const NameEntry* e) {
  std::string s;
  char b[3];
  for (int i = 0; i < e->addressLength; i++) {
    snprintf(b, sizeof b, "%02X", e->address[i]);
    s += b;
  }
  return s;
}

}  // namespace names_test
