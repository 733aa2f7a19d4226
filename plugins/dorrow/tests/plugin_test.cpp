// The library as the host meets it: registration, statistics, the minimal
// control form, bindings under MAC-802.3 by PPP protocol number, the shared
// parse form (marking, counting, hand-on with offset unchanged), the
// version check.
#include <string.h>

#include "dorrow_host.h"

namespace dorrowtest {
namespace {

const char* const kNameIds[] = {"PPP", "IPCP", "PPP-LCP", "PPP-PAP", "PPP-COMP"};

TEST(DorrowLibrary, RegistersItsFiveProtocolsInOrder) {
  DorrowHost h;
  // Each statistics entry is named as its protocol is described.
  ExpectRegistered(h, {
      {"PPP", "Point-to-Point Protocol", PROTOCOL_PARENT | PROTOCOL_CHILD, "Point-to-Point Protocol", 2},
      {"IPCP", "Point-to-Point IP Control Protocol", PROTOCOL_CHILD, "Point-to-Point IP Control Protocol", 2},
      {"PPP-LCP", "PPP Link Control Protocol", PROTOCOL_PARENT | PROTOCOL_CHILD, "PPP Link Control Protocol", 2},
      {"PPP-PAP", "PPP Password Authentication Protocol", PROTOCOL_CHILD, "PPP Password Authentication Protocol", 2},
      {"PPP-COMP", "PPP Compression Protocol", PROTOCOL_CHILD, "PPP Compression Protocol", 2},
  });
}

// The minimal form answers PCTL_INIT and PCTL_TERMINATE only.
TEST(DorrowLibrary, EveryControlHasTheMinimalForm) {
  DorrowHost h;
  ProtocolDescriptor* lcp = h.host.Find("PPP-LCP");
  for (const char* nameId : kNameIds) {
    SCOPED_TRACE(nameId);
    ProtocolDescriptor* d = h.host.Find(nameId);
    EXPECT_EQ(d->control(PCTL_GET_DESCRIPTOR, 0, 0, 0, 0), 0u);
    EXPECT_EQ(d->control(PCTL_ADD_CHILD, 0xC021, (CTRLARG)lcp->parse, (CTRLARG)lcp->control, 0), 0u);
    EXPECT_EQ(d->control(PCTL_FIND_CHILD, 0xC021, 0, 0, 0), 0u);
    EXPECT_EQ(d->control(4, 0, 0, 0, 0), 0u);
    EXPECT_EQ(d->control(PCTL_NEXT_CHILD, 0, 0, 0, 0), 0u);
    EXPECT_EQ(d->control(7, 0, 0, 0, 0), 0u);
  }
}

TEST(DorrowLibrary, ControlProtocolsBindUnderMacByTheirProtocolNumbers) {
  DorrowHost h({"MAC-802.3"});
  // PPP binds nowhere.
  ExpectBindings(h, {{"MAC-802.3", 0x8021, "IPCP"},
                     {"MAC-802.3", 0xC021, "PPP-LCP"},
                     {"MAC-802.3", 0xC023, "PPP-PAP"},
                     {"MAC-802.3", 0x80FD, "PPP-COMP"}});
}

TEST(DorrowLibrary, MissingParentIsSkippedSilently) {
  DorrowHost h;
  ExpectNothingBoundWithoutParents(h, 5);
}

TEST(DorrowLibrary, WrongTableVersionMakesItInert) { ExpectInertUnderOtherTableVersions("dorrow", "Dorrow"); }

TEST(DorrowLibrary, EachProtocolKeepsItsColourUnderItsNameId) { ExpectColoursKeptUnderNameIds({"dorrow"}); }

// Each protocol counts from its offset on, marks the frame with its colour
// and hands the frame to DefaultParse where it found it, in every pass.
TEST(DorrowLibrary, EveryProtocolCountsMarksAndHandsOnUnmoved) {
  const Bytes packet = Hex("01 07 00 04 00 00 00 00 00 00");
  for (size_t i = 0; i < 5; i++) {
    const char* nameId = kNameIds[i];
    SCOPED_TRACE(nameId);
    DorrowHost h;
    ProtocolDescriptor* d = h.host.Find(nameId);
    *d->textColor = 0x00FF00;
    h.Decode(nameId, packet, qvhost::RUN_ALL, 64);
    EXPECT_EQ(h.Frames(d->description), 1u);
    EXPECT_EQ(h.Bytes64(d->description), 64u);
    EXPECT_EQ(h.out.textColor, 0x00FF00u);
    EXPECT_TRUE(h.out.frameFlags & FRAME_PROTOCOL_ENABLED);
    ASSERT_EQ(h.defaultParses.size(), 3u);
    for (DWORD pass = 0; pass < 3; pass++) {
      EXPECT_EQ(h.defaultParses[pass].pass, pass);
      EXPECT_EQ(h.defaultParses[pass].offset, 0);
      EXPECT_EQ(h.defaultParses[pass].capturedLength, 10);
    }
    EXPECT_FALSE(h.Lines(0).empty());
    EXPECT_TRUE(h.Lines(1).empty());
    // Other statistics entries stay at zero.
    for (const StatisticsEntry* s : h.host.statistics()) {
      if (s != h.Statistics(d->description)) {
        EXPECT_EQ(*s->frames, 0u) << s->name;
      }
    }
  }
}

// Disabled, a protocol still counts and hands on, and writes nothing.
TEST(DorrowLibrary, DisabledProtocolCountsAndHandsOnOnly) {
  for (const char* nameId : kNameIds) {
    SCOPED_TRACE(nameId);
    DorrowHost h;
    h.Enabled(nameId) = 0;
    h.Decode(nameId, Hex("01 07 00 08 01 04 05 dc"));
    EXPECT_EQ(h.Frames(h.host.Find(nameId)->description), 1u);
    EXPECT_EQ(h.defaultParses.size(), 3u);
    EXPECT_EQ(h.Protocol(), "");
    EXPECT_EQ(h.Description(), "");
    EXPECT_TRUE(h.Lines().empty());
    EXPECT_FALSE(h.out.frameFlags & FRAME_PROTOCOL_ENABLED);
  }
}

// A pass above 2 marks the frame and returns without decoding or handing on.
TEST(DorrowLibrary, OtherPassesOnlyMark) {
  for (const char* nameId : kNameIds) {
    SCOPED_TRACE(nameId);
    DorrowHost h;
    ProtocolDescriptor* d = h.host.Find(nameId);
    h.Decode(nameId, Hex("09 01 00 08 00 00 00 00"));
    h.ClearRecords();
    const std::vector<uint64_t> counted = h.StatisticsValues();
    CaptureFrame* f = const_cast<CaptureFrame*>(h.host.currentFrame());
    f->flags = 0;
    f->textColor = 0;
    *d->textColor = 0x0000FF;
    EXPECT_EQ(d->parse(5, f, nullptr), 0u);
    EXPECT_TRUE(h.defaultParses.empty());
    EXPECT_EQ(h.StatisticsValues(), counted);
    EXPECT_EQ(f->flags, (DWORD)FRAME_PROTOCOL_ENABLED);
    EXPECT_EQ(f->textColor, 0x0000FFu);
  }
}

}  // namespace
}  // namespace dorrowtest
