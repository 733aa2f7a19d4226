// The names NetBEUI and the Browser teach the name table, by the rule every
// NetBIOS decoder shares: never a name with a control character, never for
// the address of a router a datagram came through.
#include <algorithm>

#include "smb_builder.h"

namespace wendricktest {
namespace {

// The frame with the byte at `at` replaced.
Crafted With(const Crafted& c, size_t at, BYTE b) {
  Crafted out = c;
  out.bytes[at] = b;
  return out;
}
// Where the text first stands in the frame.
size_t Find(const Crafted& c, const char* text) {
  const std::string t(text);
  return (size_t)(std::search(c.bytes.begin(), c.bytes.end(), t.begin(), t.end()) - c.bytes.begin());
}

TEST(Learning, NamesWithControlCharactersAreNotLearnt) {
  const size_t server = Find(kNameRecognized, "SERVER1");
  const size_t nas = Find(kHostAnnouncement, "NAS1");
  ASSERT_LT(server, kNameRecognized.bytes.size());
  ASSERT_LT(nas, kHostAnnouncement.bytes.size());
  struct Case {
    const char* what;
    const char* to;
    Crafted frame;
    const char* learnt;  // or null
  };
  const Case cases[] = {
      {"NetBEUI", "MS-NETBEUI", kNameRecognized, "SERVER1"},
      {"NetBEUI, a TAB", "MS-NETBEUI", With(kNameRecognized, server + 2, '\t'), nullptr},
      {"NetBEUI, 0x01", "MS-NETBEUI", With(kNameRecognized, server, 0x01), nullptr},
      {"NetBEUI, DEL", "MS-NETBEUI", With(kNameRecognized, server + 6, 0x7F), nullptr},
      {"Browser", "MS-SMB", kHostAnnouncement, "NAS1"},
      {"Browser, a TAB", "MS-SMB", With(kHostAnnouncement, nas + 1, '\t'), nullptr},
      {"Browser, 0x1F", "MS-SMB", With(kHostAnnouncement, nas, 0x1F), nullptr},
      {"Browser, DEL", "MS-SMB", With(kHostAnnouncement, nas + 3, 0x7F), nullptr},
  };
  WendrickHost h;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    h.Carry(c.to, c.frame);
    if (c.learnt)
      EXPECT_EQ(h.Learnt(), std::vector<std::string>{c.learnt + std::string(" 00-00-0C-12-34-56 0")});
    else
      EXPECT_TRUE(h.Learnt().empty());
  }
}

// An announcement sent to a domain master browser on another subnet comes
// through a router, which lowers the time-to-live and sends the frame from
// its own address: the server's name is not learnt for it.
TEST(Learning, NothingIsLearntFromRoutedDatagrams) {
  if (!Built("brannock") || !Built("corvale")) GTEST_SKIP() << "MAC-802.3 or DOD-IP is not built in this tree";
  WendrickHost h({"brannock", "corvale", "wendrick", "halvern", "pallisand"});
  ASSERT_TRUE(h.Has("MAC-802.3") && h.Has("DOD-IP"));
  const size_t ttl = 14 + 8;
  ASSERT_EQ(kMasterAnnouncement.bytes[ttl], 64);
  struct Case {
    BYTE ttl;
    bool learnt;
  };
  const Case cases[] = {{64, true}, {128, true}, {63, false}, {127, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE((int)c.ttl);
    h.Run("MAC-802.3", With(kMasterAnnouncement, ttl, c.ttl).bytes);
    EXPECT_EQ(h.Description(), "Master Announcement MASTER1");
    if (c.learnt)
      EXPECT_EQ(h.Learnt(), std::vector<std::string>{"MASTER1 00-00-0C-12-34-56 0"});
    else
      EXPECT_TRUE(h.Learnt().empty());
  }
}

}  // namespace
}  // namespace wendricktest
