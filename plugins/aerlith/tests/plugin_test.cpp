// The library as the host sees it: its descriptor and frame-type list, its
// control entry, its statistics, the version check and the LLC cache.
#include <string.h>

#include "aerlith_host.h"

namespace aerlithtest {
namespace {

TEST(Plugin, DescriptorAndFrameTypes) {
  AerlithHost h;
  ProtocolDescriptor* d = h.host.Find(kRoot);
  ASSERT_NE(d, nullptr);
  EXPECT_STREQ(d->description, "IEEE 802.11 Protocol");
  EXPECT_EQ(d->flags, PROTOCOL_PARENT);
  EXPECT_EQ(*d->enabled, 1);
  EXPECT_EQ(d->control(PCTL_GET_DESCRIPTOR, 0, 0, 0, 0), 0u);  // the minimal form
  EXPECT_EQ(d->control(PCTL_NEXT_CHILD, 0, 0, 0, 0), 0u);
  const struct {
    const char* name;
    int level;
  } want[] = {
      {"IEEE 802.11 Protocol", 0},   {"Management Frames", 1},     {"Association Request", 2},
      {"Association Response", 2},   {"Reassociation Request", 2}, {"Reassociation Response", 2},
      {"Probe Request", 2},          {"Probe Response", 2},        {"Beacon", 2},
      {"Atim", 2},                   {"Disassociation", 2},        {"Authentication", 2},
      {"Deauthentication", 2},       {"Control Frames", 1},        {"PS-Poll", 2},
      {"RTS", 2},                    {"CTS", 2},                   {"ACK", 2},
      {"CF-End", 2},                 {"CF-End + CF-Ack", 2},       {"Data Frames", 1},
      {"Data", 2},                   {"Data + CF-Ack", 2},         {"Data + CF-Poll", 2},
      {"Data + CF-Ack + CF-Poll", 2}, {"Null Data", 2},            {"CF-Ack", 2},
      {"CF-Poll ", 2},               {"CF-Ack + CF+Poll", 2},
  };
  ASSERT_NE(d->frameTypes, nullptr);
  size_t n = 0;
  while (d->frameTypes[n]) n++;
  ASSERT_EQ(n, sizeof want / sizeof want[0]);
  BYTE* category = nullptr;
  for (size_t i = 0; i < n; i++) {
    const FrameTypeItem* item = d->frameTypes[i];
    SCOPED_TRACE(want[i].name);
    EXPECT_STREQ(item->name, want[i].name);
    EXPECT_EQ(item->level, want[i].level);
    ASSERT_NE(item->enabled, nullptr);
    EXPECT_EQ(*item->enabled, 1);
    EXPECT_NE(item->enabled, d->enabled);  // flag bytes of their own
    // Each frame type shares its category's byte; categories have their own.
    if (item->level == 1) {
      EXPECT_NE(item->enabled, category);
      category = item->enabled;
    } else if (item->level == 2) {
      EXPECT_EQ(item->enabled, category);
    }
  }
}

TEST(Plugin, StatisticsAndCounting) {
  AerlithHost h;
  const StatisticsEntry* e = h.Statistics("IEEE 802.11");
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->layer, 1);
  EXPECT_EQ(e->counters, nullptr);
  // Every frame counts, with all its bytes, whatever it holds and however
  // little of it was captured; a disabled protocol counts too.
  h.Enabled(kRoot) = 0;
  h.Decode(Build({.control = 0x80, .body = Hex("00")}));
  h.Decode(Hex("d4"), qvhost::RUN_ALL, 14);
  h.Decode({});
  EXPECT_EQ(h.Frames("IEEE 802.11"), 3u);
  EXPECT_EQ(h.Bytes64("IEEE 802.11"), 25u + 14u);
}

TEST(Plugin, VersionMismatchLeavesTheLibraryInert) {
  qvtest::TestHost h({"aerlith"}, false);
  h.table()->version = 277;
  h.Start();
  ASSERT_EQ(h.messages.size(), 1u);
  EXPECT_EQ(h.messages[0].title, "Quorvane Network Monitor Error");
  EXPECT_EQ(h.messages[0].text, "Aerlith has mismatched Monitor table version!\nPlease verify your installation.");
  EXPECT_FALSE(h.Has(kRoot));
}

// Data frames go to LLC-802.2 when it is loaded, else to DefaultParse.
TEST(Plugin, DataFramesGoToLlcOrDefaultParse) {
  const Bytes frame = Build({.body = Hex("aaaa03000000 0800")});
  for (bool llc : {true, false}) {
    SCOPED_TRACE(llc ? "with LLC-802.2" : "without");
    AerlithHost h(llc);
    h.Decode(frame);
    ASSERT_EQ(h.handOns.size(), 3u);
    for (const qvtest::HandOn& c : h.handOns) {
      EXPECT_EQ(c.to, llc ? "LLC-802.2" : "default");
      EXPECT_EQ(c.offset, 24);
    }
  }
}

}  // namespace
}  // namespace aerlithtest
