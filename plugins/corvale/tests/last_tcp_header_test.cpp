// What IP-TCP keeps for DNS over TCP, driven without a host: every pass
// records the ports of the frame at hand, also with IP-TCP disabled, so
// that DNS never decides on a stale frame; and what DNS decides from them.
#include <gtest/gtest.h>
#include <string.h>

#include <vector>

#include "corvale.h"

namespace {

// A frame record with the TCP header at offset 0.
struct Frame {
  std::vector<BYTE> storage;
  CaptureFrame* f;
  explicit Frame(std::vector<BYTE> tcp) : storage(offsetof(CaptureFrame, data) + tcp.size() + 16) {
    f = reinterpret_cast<CaptureFrame*>(storage.data());
    memcpy(f->data, tcp.data(), tcp.size());
    f->frameLength = f->capturedLength = (int32_t)tcp.size();
  }
  void Reset() { f->offset = 0; }
};

std::vector<BYTE> Segment(WORD source) {
  std::vector<BYTE> b(24, 0);
  b[0] = (BYTE)(source >> 8);
  b[1] = (BYTE)source;
  b[3] = 53;
  b[12] = 0x50;
  b[13] = 0x18;
  return b;  // 20-byte header and four payload bytes
}

TEST(LastTcpHeader, RecordedInEveryPass) {
  MonitorTable table = {};
  table.version = MONITOR_TABLE_VERSION;
  qv::g_table = &table;
  EXPECT_EQ(corvale::LastTcpHeader.seen, 0);

  SummaryCell cells[4] = {};
  SummaryRow row = {0, 0, &cells[0], &cells[1], &cells[2], &cells[3]};
  DetailLine* lists[4] = {};
  struct Step {
    DWORD pass;
    WORD source;
    BYTE enabled;
    void* out;
  };
  const Step steps[] = {
      {PASS_COUNT, 53, 1, nullptr}, {PASS_SUMMARY, 1027, 1, &row}, {PASS_COUNT, 2000, 0, nullptr},
      {PASS_SUMMARY, 53, 0, &row},  {PASS_DETAIL, 1028, 1, lists}, {PASS_DETAIL, 53, 0, lists},
  };
  for (const Step& s : steps) {
    Frame frame(Segment(s.source));
    corvale::g_tcp.enabled = s.enabled;
    corvale::g_tcp.descriptor.parse(s.pass, frame.f, s.out);
    EXPECT_EQ(corvale::LastTcpHeader.seen, 1) << s.pass;
    EXPECT_EQ(corvale::LastTcpHeader.sourcePort, s.source) << "pass " << s.pass << " enabled " << (int)s.enabled;
    EXPECT_EQ(corvale::LastTcpHeader.destinationPort, 53);
  }
  // A segment cut before its source port leaves the record as it was.
  Frame cut({0x01});
  corvale::g_tcp.descriptor.parse(PASS_COUNT, cut.f, nullptr);
  EXPECT_EQ(corvale::LastTcpHeader.sourcePort, 53);
  corvale::g_tcp.enabled = 1;
  qv::g_table = nullptr;
}

// Over TCP a DNS message leads with its length before any TCP header was
// seen and whenever either port of the last one is 53; over UDP never. The
// summary tells which: flags 0x8180 behind the length, 0x2800 in its place.
TEST(LastTcpHeader, DecidesTheDnsLengthPrefix) {
  MonitorTable table = {};
  table.version = MONITOR_TABLE_VERSION;
  qv::g_table = &table;
  const corvale::TcpHeaderRecord kept = corvale::LastTcpHeader;
  struct Case {
    corvale::TcpHeaderRecord last;
    int variant;  // 0 over UDP, 1 over TCP
    const char* description;
  };
  const Case cases[] = {
      {{0, 0, 0}, 1, "Query Response"},      {{1, 53, 1027}, 1, "Query Response"}, {{1, 1027, 53}, 1, "Query Response"},
      {{1, 1027, 1028}, 1, "Update"},        {{0, 0, 0}, 0, "Update"},             {{1, 53, 53}, 0, "Update"},
  };
  for (const Case& c : cases) {
    Frame frame({0x00, 0x0c, 0x28, 0x00, 0x81, 0x80, 0, 0, 0, 0, 0, 0, 0, 0});
    SummaryCell cells[4] = {};
    SummaryRow row = {0, 0, &cells[0], &cells[1], &cells[2], &cells[3]};
    corvale::LastTcpHeader = c.last;
    corvale::g_dns.entries[c.variant](PASS_SUMMARY, frame.f, &row);
    EXPECT_STREQ(cells[3].text, c.description)
        << "variant " << c.variant << " seen " << (int)c.last.seen << " ports " << c.last.sourcePort << " "
        << c.last.destinationPort;
  }
  corvale::LastTcpHeader = kept;
  qv::g_table = nullptr;
}

}  // namespace
