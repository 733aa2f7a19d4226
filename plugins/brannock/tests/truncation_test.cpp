// Frames cut at every byte. No protocol may read past capturedLength: under
// AddressSanitizer the host's frame buffer is poisoned past the captured
// bytes, and in every build each cut frame decodes the same whatever lies
// beyond them. No line describes bytes that are not there, no hand-on passes
// the captured end, and every cut frame is still counted.
#include <string.h>

#include <algorithm>

#include "fixture.h"

#if defined(__SANITIZE_ADDRESS__)
#define BRANNOCK_POISON 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define BRANNOCK_POISON 1
#endif
#endif
#ifdef BRANNOCK_POISON
#include <sanitizer/asan_interface.h>
#endif

namespace brannocktest {
namespace {

// Room the host's frame buffer is known to have: a frame of this size is
// decoded first, and the buffer is reused for smaller ones.
constexpr size_t kRoom = 2048;

struct Outcome {
  std::string cells[4];
  std::vector<qvhost::FlatLine> lines;
  std::vector<qvtest::ParseCall> defaultParses;
  DWORD textColor, frameFlags;
  std::vector<uint64_t> counted;  // what each statistics value gained
  uint64_t macFrames;  // MAC-802.3's frames of either kind
  uint64_t stationFrames;
};

std::vector<uint64_t> StatisticsValues(const TestHost& h) {
  std::vector<uint64_t> values;
  for (const StatisticsEntry* e : h.host.statistics()) {
    values.push_back(*e->frames);
    values.push_back(*e->bytes);
    for (const StatisticsCounter* c = e->counters; c; c = c->next) values.push_back(*c->value);
  }
  return values;
}

uint64_t StationFrames(const TestHost& h) {
  uint64_t n = 0;
  for (const auto& s : h.host.stations()) n += s.second.framesSent;
  return n;
}

bool SameLines(const std::vector<qvhost::FlatLine>& a, const std::vector<qvhost::FlatLine>& b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const qvhost::FlatLine& x, const qvhost::FlatLine& y) {
    return x.slot == y.slot && x.depth == y.depth && x.text == y.text && x.offset == y.offset &&
           x.length == y.length && x.flags == y.flags;
  });
}
bool SameCalls(const std::vector<qvtest::ParseCall>& a, const std::vector<qvtest::ParseCall>& b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const qvtest::ParseCall& x, const qvtest::ParseCall& y) {
    return x.pass == y.pass && x.offset == y.offset && x.frameLength == y.frameLength &&
           x.capturedLength == y.capturedLength;
  });
}

class TruncationTest : public BrannockTest {
 protected:
  void SetUp() override {
    BrannockTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    h->Decode("MAC-802.3", Bytes(kRoom, 0));
    ASSERT_NE(h->host.currentFrame(), nullptr);
  }

  // Decodes the first n bytes of frame (on the wire: all of it) with the
  // buffer past them filled with fill and, under ASan, poisoned.
  Outcome Decode(const Bytes& frame, size_t n, BYTE fill) {
    BYTE* data = const_cast<CaptureFrame*>(h->host.currentFrame())->data;
    memset(data + n, fill, kRoom - n);
    h->defaultParses.clear();
    std::vector<uint64_t> before = StatisticsValues(*h);
    uint64_t stations = StationFrames(*h);
    uint64_t macFrames = Frames(*h, "IEEE 802.3") + Frames(*h, "DIX");
#ifdef BRANNOCK_POISON
    ASAN_POISON_MEMORY_REGION(data + n, kRoom - n);
#endif
    h->host.DecodeFrame(h->host.Find("MAC-802.3"), frame.data(), (int)n, (int)frame.size(), qvhost::RUN_ALL,
                        &h->out);
#ifdef BRANNOCK_POISON
    ASAN_UNPOISON_MEMORY_REGION(data + n, kRoom - n);
#endif
    EXPECT_EQ(h->host.currentFrame()->data, data) << "the host moved its frame buffer";
    Outcome o;
    for (int i = 0; i < 4; i++) o.cells[i] = h->Cell(i);
    o.lines = h->Lines();
    o.defaultParses = h->defaultParses;
    o.textColor = h->out.textColor;
    o.frameFlags = h->out.frameFlags;
    std::vector<uint64_t> after = StatisticsValues(*h);
    for (size_t i = 0; i < after.size(); i++) {
      EXPECT_GE(after[i], before[i]) << "statistics value " << i << " went down";
      o.counted.push_back(after[i] - before[i]);
    }
    o.stationFrames = StationFrames(*h) - stations;
    o.macFrames = Frames(*h, "IEEE 802.3") + Frames(*h, "DIX") - macFrames;
    return o;
  }

  void CheckEveryCut(const Bytes& frame) {
    for (size_t n = 0; n <= frame.size(); n++) {
      SCOPED_TRACE("captured " + std::to_string(n) + " of " + std::to_string(frame.size()));
      Outcome zeros = Decode(frame, n, 0x00);
      Outcome ones = Decode(frame, n, 0xFF);
      for (int i = 0; i < 4; i++) EXPECT_EQ(zeros.cells[i], ones.cells[i]) << "cell " << i;
      EXPECT_TRUE(SameLines(zeros.lines, ones.lines)) << "detail lines depend on bytes past the capture";
      EXPECT_TRUE(SameCalls(zeros.defaultParses, ones.defaultParses));
      EXPECT_EQ(zeros.counted, ones.counted);
      EXPECT_EQ(zeros.textColor, ones.textColor);
      EXPECT_EQ(zeros.frameFlags, ones.frameFlags);

      for (const qvhost::FlatLine& l : zeros.lines) {
        EXPECT_GE(l.offset, 0) << l.text;
        EXPECT_GE(l.length, 0) << l.text;
        EXPECT_LE(l.offset + l.length, (int)n) << l.text;
      }
      for (const qvtest::ParseCall& c : zeros.defaultParses) {
        EXPECT_LE(c.offset, c.capturedLength);
        EXPECT_LE(c.capturedLength, (int)n);
      }
      // MAC-802.3 counts every frame once, whatever is left of it.
      EXPECT_EQ(zeros.macFrames, 1u);
      EXPECT_EQ(zeros.stationFrames, n >= 12 ? 1u : 0u);
    }
  }
};
BRANNOCK_CONFIGS(TruncationTest);

TEST_P(TruncationTest, EveryCutOfEveryHeaderStaysWithinTheCapture) {
  Bytes hostUnique = Hex("01 03 00 06 01 02 03 04 05 06");
  struct Case {
    const char* what;
    Bytes frame;
  };
  const Case cases[] = {
      {"DIX", Ether(kHost, kCisco, 0x0800, Hex("45 00 00 14"), 0)},
      {"802.3, LLC UI, SNAP, PPPoE session",
       Ether(kHost, kCisco, 0x0010, Hex("aa aa 03 00 00 00 88 64 11 00 00 01 00 02 c0 21"), 0)},
      {"802.3, LLC I frame", Ether(kHost, kCisco, 0x0006, Hex("f0 f0 0a 07 ff ef"), 0)},
      {"802.3, LLC S frame", Ether(kBroadcast, kCisco, 0x0004, Hex("f0 f1 01 07"), 0)},
      {"802.3, raw IPX", Ether(kHost, kCisco, 0x0008, Hex("ff ff 00 08 00 11 00 00"), 0)},
      {"802.3 with a length past the capture", Ether(kHost, kCisco, 0x05DC, Hex("06 06 03 45 00"), 0)},
      {"PPPoE discovery",
       Ether(kBroadcast, kHost, 0x8863,
             Cat({Hex("11 09 00 00 00 15"), Hex("01 01 00 03 69 73 70"), hostUnique, Hex("00 00 00 00")}), 0)},
      {"PPPoE session", Ether(kHost, kCisco, 0x8864, Hex("11 00 12 34 00 02 c0 21"), 0)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    CheckEveryCut(c.frame);
  }
}

// MAC-802.3 decodes what a short frame has: the destination from 6 bytes,
// the source from 12, the type/length and the hand-on from 14.
TEST_P(TruncationTest, ShortEthernetFramesDecodeWhatIsCaptured) {
  Bytes frame = Ether(kHost, kCisco, 0x0800, Hex("45 00 00 14"));
  for (size_t n : {0u, 5u, 6u, 11u, 12u, 13u, 14u}) {
    SCOPED_TRACE(n);
    Decode(frame, n, 0x00);
    EXPECT_EQ(h->Destination(), n >= 6 ? "00-A0-C9-14-C8-29" : "");
    EXPECT_EQ(h->Source(), n >= 12 ? "00-00-0C-07-AC-01" : "");
    EXPECT_EQ(h->Protocol(), n >= 14 ? Named("IP", "0800") : "");
    EXPECT_EQ(h->Description(), "Frame");
    auto lines = h->Lines(0);
    ASSERT_FALSE(lines.empty());
    // Without its type field a frame cannot be told DIX.
    EXPECT_EQ(lines[0].text, n >= 14 ? "Ethernet II (DIX) Media Access Control" : "IEEE 802.3 Media Access Control");
    EXPECT_EQ(lines[0].length, (int)std::min<size_t>(n, 14));
    size_t groups = 0;
    for (const auto& l : lines)
      if (l.text == "Destination Address" || l.text == "Source Address" || l.text == "Ether Type") groups++;
    EXPECT_EQ(groups, (size_t)(n >= 6) + (n >= 12) + (n >= 14));
    EXPECT_EQ(h->defaultParses.size(), n >= 14 ? 3u : 0u);
  }
  // Every one was counted, and by its destination when it had one.
  EXPECT_EQ(Frames(*h, "IEEE 802.3"), 1u + 6u);  // the buffer's warm-up frame and the six without a type
  EXPECT_EQ(Frames(*h, "DIX"), 1u);
  EXPECT_EQ(Counter(*h, "IEEE 802.3", "Directed Frames"), 1u + 4u);
  EXPECT_EQ(Counter(*h, "DIX", "Directed Frames"), 1u);
}

TEST_P(TruncationTest, RawIpxNeedsBothChecksumBytes) {
  Bytes frame = Ether(kHost, kCisco, 0x0008, Hex("ff ff 00 08 00 11 00 00"), 0);
  for (size_t n : {15u, 16u}) {
    SCOPED_TRACE(n);
    uint64_t before = Frames(*h, "Raw IPX");
    Decode(frame, n, 0xFF);
    EXPECT_EQ(Frames(*h, "Raw IPX") - before, n >= 16 ? 1u : 0u);
    // One byte of payload is not an IPX header: LLC-802.2 counts it.
    EXPECT_EQ(h->defaultParses.size(), n >= 16 ? 3u : 0u);
  }
}

}  // namespace
}  // namespace brannocktest
