// Frames cut at every byte. No protocol may read past capturedLength (the
// shared check decodes each cut over stale bytes of two kinds, poisoned
// under AddressSanitizer); no line describes bytes that are not there, no
// hand-on passes the captured end, and every cut frame is still counted.
#include <algorithm>

#include "fixture.h"

namespace brannocktest {
namespace {

uint64_t StationFrames(const TestHost& h) {
  uint64_t n = 0;
  for (const auto& s : h.host.stations()) n += s.second.framesSent;
  return n;
}

class TruncationTest : public BrannockTest {
 protected:
  // Decodes the first n bytes of frame (on the wire: all of it).
  void Decode(const Bytes& frame, size_t n) {
    h->ClearRecords();
    h->Decode("MAC-802.3", Bytes(frame.begin(), frame.begin() + (ptrdiff_t)n), qvhost::RUN_ALL, (int)frame.size());
  }

  void CheckEveryCut(const Bytes& frame, bool keepsCloses, int leadOnSlot) {
    qvtest::ExpectBoundedAtEveryCut(*h, "MAC-802.3", frame, {.linesWithinCapture = true});
    qvtest::ExpectLineFailuresHandled(*h, "MAC-802.3", frame, {.keepsCloses = keepsCloses, .leadOnSlot = leadOnSlot});
    // MAC-802.3 counts every frame once, whatever is left of it, and the
    // station traffic from the source address on. (An I frame cut after its
    // control byte is handed on past its header, as LLC-802.2 moves by 4.)
    for (size_t n = 0; n <= frame.size(); n++) {
      SCOPED_TRACE("captured " + std::to_string(n));
      const uint64_t frames = h->Frames("IEEE 802.3") + h->Frames("DIX"), stations = StationFrames(*h);
      Decode(frame, n);
      EXPECT_EQ(h->Frames("IEEE 802.3") + h->Frames("DIX") - frames, 1u);
      EXPECT_EQ(StationFrames(*h) - stations, n >= 12 ? 1u : 0u);
    }
  }
};
BRANNOCK_CONFIGS(TruncationTest);

TEST_P(TruncationTest, EveryCutOfEveryHeaderStaysWithinTheCapture) {
  Bytes hostUnique = Hex("01 03 00 06 01 02 03 04 05 06");
  struct Case {
    const char* what;
    Bytes frame;
    bool keepsCloses = true;  // PPPoE ends a tag's group when the host gives no line inside it
    int leadOnSlot = -1;      // LLC-802.2 (list 1) hands on only once its lines were made
  };
  const Case cases[] = {
      {"DIX", Ether(kHost, kCisco, 0x0800, Hex("45 00 00 14"), 0)},
      {"802.3, LLC UI, SNAP, PPPoE session",
       Ether(kHost, kCisco, 0x0010, Hex("aa aa 03 00 00 00 88 64 11 00 00 01 00 02 c0 21"), 0), true, 1},
      {"802.3, LLC I frame", Ether(kHost, kCisco, 0x0006, Hex("f0 f0 0a 07 ff ef"), 0), true, 1},
      {"802.3, LLC S frame", Ether(kBroadcast, kCisco, 0x0004, Hex("f0 f1 01 07"), 0)},
      {"802.3, raw IPX", Ether(kHost, kCisco, 0x0008, Hex("ff ff 00 08 00 11 00 00"), 0)},
      {"802.3 with a length past the capture", Ether(kHost, kCisco, 0x05DC, Hex("06 06 03 45 00"), 0), true, 1},
      {"PPPoE discovery",
       Ether(kBroadcast, kHost, 0x8863,
             Cat({Hex("11 09 00 00 00 15"), Hex("01 01 00 03 69 73 70"), hostUnique, Hex("00 00 00 00")}), 0),
       false},
      {"PPPoE session", Ether(kHost, kCisco, 0x8864, Hex("11 00 12 34 00 02 c0 21"), 0)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    CheckEveryCut(c.frame, c.keepsCloses, c.leadOnSlot);
  }
}

// MAC-802.3 decodes what a short frame has: the destination from 6 bytes,
// the source from 12, the type/length and the hand-on from 14.
TEST_P(TruncationTest, ShortEthernetFramesDecodeWhatIsCaptured) {
  Bytes frame = Ether(kHost, kCisco, 0x0800, Hex("45 00 00 14"));
  for (size_t n : {0u, 5u, 6u, 11u, 12u, 13u, 14u}) {
    SCOPED_TRACE(n);
    Decode(frame, n);
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
  EXPECT_EQ(h->Frames("IEEE 802.3"), 6u);  // the six without a type
  EXPECT_EQ(h->Frames("DIX"), 1u);
  EXPECT_EQ(h->Counter("IEEE 802.3", "Directed Frames"), 4u);
  EXPECT_EQ(h->Counter("DIX", "Directed Frames"), 1u);
}

TEST_P(TruncationTest, RawIpxNeedsBothChecksumBytes) {
  Bytes frame = Ether(kHost, kCisco, 0x0008, Hex("ff ff 00 08 00 11 00 00"), 0);
  for (size_t n : {15u, 16u}) {
    SCOPED_TRACE(n);
    uint64_t before = h->Frames("Raw IPX");
    Decode(frame, n);
    EXPECT_EQ(h->Frames("Raw IPX") - before, n >= 16 ? 1u : 0u);
    // One byte of payload is not an IPX header: LLC-802.2 counts it.
    EXPECT_EQ(h->defaultParses.size(), n >= 16 ? 3u : 0u);
  }
}

}  // namespace
}  // namespace brannocktest
