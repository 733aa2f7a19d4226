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

using qvtest::Bytes;
using qvtest::Hex;
using qvtest::TestHost;

// Whether a plug-in was built into the plug-in folder.
bool Built(const char* name);

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

// An Ethernet frame: destination, source, type/length, payload, padded with
// zeros to pad bytes.
Bytes Ether(const char* destination, const char* source, WORD type, const Bytes& payload, size_t pad = 60);
Bytes Cat(std::initializer_list<Bytes> parts);

// Statistics by entry name (and counter name).
uint64_t Frames(const TestHost& h, const char* entry);
uint64_t ByteCount(const TestHost& h, const char* entry);
uint64_t Counter(const TestHost& h, const char* entry, const char* counter);

// One expected detail line; texts may be built at run time.
typedef qvtest::Line Want;
typedef std::vector<Want> Wants;
void ExpectList(const std::vector<qvhost::FlatLine>& got, const Wants& want);
Wants Join(std::initializer_list<Wants> parts);

// DefaultParse was called once per pass, with these offset and lengths.
void ExpectDefaultInEveryPass(const TestHost& h, int offset, int frameLength, int capturedLength);

// Common addresses.
extern const char kHost[];       // 00-A0-C9-14-C8-29, individual
extern const char kCisco[];      // 00-00-0C-07-AC-01, individual
extern const char kBroadcast[];  // FF-FF-FF-FF-FF-FF

}  // namespace brannocktest
