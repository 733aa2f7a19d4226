// Brannock loaded by the test host, either with the name libraries (Halvern
// for IEEE names, Pallisand for the name table) or alone, where the host's
// fallbacks answer every lookup with hex text.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "testhost.h"

namespace pallisand {
struct NameEntry;
}

namespace brannocktest {

using namespace qvtest;

// The libraries for one configuration; null (and a skip message) when one of
// them was not built.
std::unique_ptr<TestHost> MakeHost(bool withNames, std::string* skip, bool start = true);

// Tests that run once with the name libraries and once without.
class BrannockTest : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override;
  bool names() const { return GetParam(); }
  // A text that differs between the two configurations.
  std::string Named(const std::string& withNames, const std::string& without) const {
    return names() ? withNames : without;
  }
  ProtocolDescriptor* Find(const char* nameId) { return h->host.Find(nameId); }
  std::unique_ptr<TestHost> h;
};
// Name table entries through Pallisand's AddName (with the name libraries).
pallisand::NameEntry* AddName(TestHost& h, const char* name, const Bytes& address);
void AddColouredName(TestHost& h, const char* name, const Bytes& address, COLORREF destination, COLORREF source);

// Tests of the name services: Brannock with Halvern and Pallisand.
class NamesTest : public ::testing::Test {
 protected:
  void SetUp() override;
  std::unique_ptr<TestHost> h;
};

std::string ConfigName(const ::testing::TestParamInfo<bool>& info);

#define BRANNOCK_CONFIGS(suite) \
  INSTANTIATE_TEST_SUITE_P(Config, suite, ::testing::Bool(), ::brannocktest::ConfigName)

// DefaultParse was called once per pass, with these offset and lengths.
void ExpectDefaultInEveryPass(const TestHost& h, int offset, int frameLength, int capturedLength);

}  // namespace brannocktest
