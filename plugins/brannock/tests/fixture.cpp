#include "fixture.h"

#include <unistd.h>

#include "name_entry.h"

namespace brannocktest {

const char kHost[] = "00 a0 c9 14 c8 29";
const char kCisco[] = "00 00 0c 07 ac 01";
const char kBroadcast[] = "ff ff ff ff ff ff";

bool Built(const char* name) { return access(qvtest::PluginPath(name).c_str(), R_OK) == 0; }

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

Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

Bytes Ether(const char* destination, const char* source, WORD type, const Bytes& payload, size_t pad) {
  Bytes frame = Cat({Hex(destination), Hex(source), Bytes{(BYTE)(type >> 8), (BYTE)type}, payload});
  if (frame.size() < pad) frame.resize(pad, 0);
  return frame;
}

static const StatisticsEntry* Entry(const TestHost& h, const char* entry) {
  const StatisticsEntry* e = h.Statistics(entry);
  EXPECT_NE(e, nullptr) << entry;
  return e;
}

uint64_t Frames(const TestHost& h, const char* entry) {
  const StatisticsEntry* e = Entry(h, entry);
  return e ? *e->frames : 0;
}

uint64_t ByteCount(const TestHost& h, const char* entry) {
  const StatisticsEntry* e = Entry(h, entry);
  return e ? *e->bytes : 0;
}

uint64_t Counter(const TestHost& h, const char* entry, const char* counter) {
  const StatisticsEntry* e = Entry(h, entry);
  for (const StatisticsCounter* c = e ? e->counters : nullptr; c; c = c->next)
    if (std::string(c->name) == counter) return *c->value;
  ADD_FAILURE() << entry << " has no counter " << counter;
  return 0;
}

void ExpectList(const std::vector<qvhost::FlatLine>& got, const Wants& want) { qvtest::ExpectLines(got, want); }

Wants Join(std::initializer_list<Wants> parts) {
  Wants all;
  for (const Wants& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
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
