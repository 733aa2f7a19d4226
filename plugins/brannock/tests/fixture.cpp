// Brannock's test hosts, with the name libraries or with the host's
// fallbacks, and what its tests share: names put into the table and the
// hand-on to DefaultParse in every pass.
#include "fixture.h"

#include "name_entry.h"

namespace brannocktest {

std::unique_ptr<TestHost> MakeHost(bool withNames, std::string* skip, bool start) {
  if (!withNames) return std::unique_ptr<TestHost>(new TestHost({"brannock"}, start));
  for (const char* lib : {"halvern", "pallisand"})
    if (!Built(lib)) {
      *skip = std::string(lib) + " is not built";
      return nullptr;
    }
  return std::unique_ptr<TestHost>(new TestHost({"brannock", "halvern", "pallisand"}, start));
}

void BrannockTest::SetUp() {
  std::string skip;
  h = MakeHost(names(), &skip);
  if (!h) GTEST_SKIP() << skip;
  ASSERT_TRUE(h->loadErrors.empty()) << h->loadErrors[0];
  ASSERT_TRUE(h->messages.empty());
}

void NamesTest::SetUp() {
  std::string skip;
  h = MakeHost(true, &skip);
  if (!h) GTEST_SKIP() << skip;
  ASSERT_TRUE(h->loadErrors.empty()) << h->loadErrors[0];
}

pallisand::NameEntry* AddName(TestHost& h, const char* name, const Bytes& address) {
  return static_cast<pallisand::NameEntry*>(h.table()->AddName(name, address.data(), (int)address.size(), 0));
}

void AddColouredName(TestHost& h, const char* name, const Bytes& address, COLORREF destination, COLORREF source) {
  pallisand::NameEntry* e = AddName(h, name, address);
  ASSERT_NE(e, nullptr);
  e->destinationColor = destination;
  e->sourceColor = source;
}

std::string ConfigName(const ::testing::TestParamInfo<bool>& info) {
  return info.param ? "WithNameLibraries" : "WithHostFallbacks";
}

void ExpectDefaultInEveryPass(const TestHost& h, int offset, int frameLength, int capturedLength) {
  ASSERT_EQ(h.defaultParses.size(), 3u);
  for (DWORD pass = 0; pass < 3; pass++) {
    const qvtest::ParseCall& c = h.defaultParses[pass];
    EXPECT_EQ(c.pass, pass);
    EXPECT_EQ(c.offset, offset) << "pass " << pass;
    EXPECT_EQ(c.frameLength, frameLength) << "pass " << pass;
    EXPECT_EQ(c.capturedLength, capturedLength) << "pass " << pass;
  }
}

}  // namespace brannocktest
