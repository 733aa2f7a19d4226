// MS-BROWSE and MS-LOGON behind their mailslots: every Browser opcode, the
// names servers teach the name table, and Netlogon's opcodes.
#include "smb_builder.h"
#include "smb_lines.h"

namespace wendricktest {
namespace {

const char kServerMac[] = " 00-00-0C-12-34-56 0";

// An SMB message behind a 14-byte Ethernet header from the server's address.
Crafted OverEthernet(const Bytes& smb) { return {14, Cat({Hex("ffffffffffff 00000c123456 0800"), smb})}; }
Crafted Browse(const Bytes& message) { return OverEthernet(Transaction(AsciiName("\\MAILSLOT\\BROWSE"), message)); }

// The Browser's lines with offsets from its first byte.
std::vector<qvhost::FlatLine> BrowserLines(const WendrickHost& h) {
  auto lines = h.Lines(1);
  const int at = lines.empty() ? 0 : lines[0].offset;
  for (auto& l : lines) l.offset -= at;
  return lines;
}

TEST(Browser, Announcements) {
  const std::string longComment = [] {
    std::string s;
    for (int i = 0; i < 8; i++) s += "Storage for the lab ";
    return s;
  }();
  struct Case {
    const Crafted& frame;
    const char* description;
    Lines lines;  // from the Function line on
  };
  const Case cases[] = {
      {kHostAnnouncement,
       "Host Announcement NAS1",
       {{"Function\t\t\t\t\tHost Announcement ", 0, 1, 0},
        {"Update Count\t\t\t3", 1, 1, 0},
        {"Periodicity\t\t\t\t720000", 2, 4, 0},
        {"Server Name\t\t\t\tNAS1", 6, 16, 0},
        {"Version\t\t\t\t\t5.1", 22, 2, 0},
        {"Election Version\t\t271", 28, 2, 0},
        {"Signature\t\t\t\t0xAA55", 30, 2, 0},
        {"Comment\t\t\t\t\tLab storage", 32, 11, CLOSE}}},
      // The comment is cut to the line's 128 characters; the line still
      // describes all of it.
      {kLocalMasterAnnouncement,
       "Local Master Announcement MASTER1",
       {{"Function\t\t\t\t\tLocal Master Announcement ", 0, 1, 0},
        {"Update Count\t\t\t3", 1, 1, 0},
        {"Periodicity\t\t\t\t720000", 2, 4, 0},
        {"Server Name\t\t\t\tMASTER1", 6, 16, 0},
        {"Version\t\t\t\t\t6.2", 22, 2, 0},
        {"Election Version\t\t271", 28, 2, 0},
        {"Signature\t\t\t\t0xAA55", 30, 2, 0},
        {"Comment\t\t\t\t\t" + longComment.substr(0, 116), 32, 160, CLOSE}}},
      {kAnnouncementRequest,
       "Announcement Request WORKGROUP",
       {{"Function\t\t\t\t\tAnnouncement Request ", 0, 1, 0},
        {"Flags\t\t\t\t\t\t0", 1, 1, 0},
        {"Server Name\t\t\t\tWORKGROUP", 2, 10, CLOSE}}},  // the message ends at its NUL: 10 of 16 captured
      {kElectionRequest,
       "Election Request CANDIDATE",
       {{"Function\t\t\t\t\tElection Request ", 0, 1, 0},
        {"Version\t\t\t\t\t1", 1, 1, 0},
        {"Criteria\t\t\t\t\t536940547", 2, 4, 0},
        {"Time Up\t\t\t\t\t3600000", 6, 4, 0},
        {"Server Name\t\t\t\tCANDIDATE", 14, 10, CLOSE}}},
      {kBackupListRequest,
       "Get Backup List Request ",
       {{"Function\t\t\t\t\tGet Backup List Request ", 0, 1, 0},
        {"Requested Count\t\t4", 1, 1, 0},
        {"Token\t\t\t\t\t\t4660", 2, 4, CLOSE}}},
      {kBackupListResponse, "Get Backup List Response ", {{"Function\t\t\t\t\tGet Backup List Response ", 0, 1, CLOSE}}},
      {kBecomeBackup, "Become Backup BACKUP1", {{"Function\t\t\t\t\tBecome Backup ", 0, 1, CLOSE}}},
      {kWorkgroupAnnouncement,
       "Workgroup Announcement WORKGROUP",
       {{"Function\t\t\t\t\tWorkgroup Announcement ", 0, 1, CLOSE}}},
      {kMasterAnnouncement, "Master Announcement MASTER1", {{"Function\t\t\t\t\tMaster Announcement ", 0, 1, CLOSE}}},
      {kResetBrowserState, "Reset Browser State ", {{"Function\t\t\t\t\tReset Browser State ", 0, 1, CLOSE}}},
  };
  WendrickHost h;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.description);
    h.Carry("MS-SMB", c.frame);
    EXPECT_EQ(h.Protocol(), "BROWSER");
    EXPECT_EQ(h.Description(), c.description);
    const int length = (int)c.frame.bytes.size() - h.Lines(1)[0].offset;
    ExpectLines(BrowserLines(h), Lines{{"Browser Protocol", 0, length, OPEN}} + c.lines);
  }
  h.Carry("MS-SMB", Browse(Hex("20 01 02")));
  EXPECT_EQ(h.Description(), "Unknown Function ");
  EXPECT_EQ(h.Frames("BROWSER"), 0u);  // SMB hands on only in the summary and detail passes
}

// Servers that announce themselves are learnt for the frame's source
// address, in the summary pass, while the Browser is enabled, and never from
// frames that came through 802.11, whose data + 6 is no source address.
TEST(Browser, LearnsAnnouncingServers) {
  WendrickHost h;
  struct Case {
    const Crafted& frame;
    const char* learnt;  // or null
  };
  const Case cases[] = {
      {kHostAnnouncement, "NAS1"},          {kLocalMasterAnnouncement, "MASTER1"},
      {kMasterAnnouncement, "MASTER1"},     {kUnicodeHostAnnouncement, "NAS2"},
      {kElectionRequest, nullptr},          {kAnnouncementRequest, nullptr},
      {kWorkgroupAnnouncement, nullptr},    {kBecomeBackup, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.learnt ? c.learnt : "none");
    h.Carry("MS-SMB", c.frame);
    if (c.learnt)
      EXPECT_EQ(h.Learnt(), std::vector<std::string>{c.learnt + std::string(kServerMac)});
    else
      EXPECT_TRUE(h.Learnt().empty());
  }
  h.Carry("MS-SMB", kHostAnnouncement, true);
  EXPECT_TRUE(h.Learnt().empty());
  h.Carry("MS-SMB", kHostAnnouncement, false, qvhost::RUN_COUNT | qvhost::RUN_DETAIL);
  EXPECT_TRUE(h.Learnt().empty());
  h.Enabled("MS-BROWSE") = 0;
  h.Carry("MS-SMB", kHostAnnouncement);
  EXPECT_TRUE(h.Learnt().empty());
}

// A name of 16 characters has no NUL of its own: the table gets a
// terminated copy. A name the capture cuts before its end or NUL is
// neither learnt nor shown.
TEST(Browser, NamesAreBounded) {
  WendrickHost h;
  const Bytes announcement = Cat({Hex("01 03 80 fc 0a 00"), Text("ABCDEFGHIJKLMNOP"), Hex("05 01 03 10 05 00 0f 01 55 aa"),
                                  Text("shelf"), Hex("00")});
  h.Carry("MS-SMB", Browse(announcement));
  EXPECT_EQ(h.Learnt(), std::vector<std::string>{"ABCDEFGHIJKLMNOP" + std::string(kServerMac)});
  EXPECT_EQ(h.Description(), "Host Announcement ABCDEFGHIJKLMNOP");

  Crafted cut = Browse(announcement);
  const size_t browser = cut.bytes.size() - announcement.size();
  cut.bytes.resize(browser + 6 + 10);
  h.Carry("MS-SMB", cut);
  EXPECT_TRUE(h.Learnt().empty());
  EXPECT_EQ(h.Description(), "Host Announcement ");
  EXPECT_EQ(h.Texts(1).back(), "Periodicity\t\t\t\t720000");
  EXPECT_EQ(h.Lines(1).back().flags, CLOSE);

  // A comment the capture cuts shows what was captured of it.
  cut = Browse(announcement);
  cut.bytes.resize(browser + 32 + 3);
  h.Carry("MS-SMB", cut);
  ASSERT_FALSE(h.Lines(1).empty());
  EXPECT_EQ(h.Texts(1).back(), "Comment\t\t\t\t\tshe");
  EXPECT_EQ(h.Lines(1).back().length, 3);
}

TEST(Netlogon, Opcodes) {
  struct Case {
    const Crafted& frame;
    const char* summary;
    const char* detail;
  };
  const Case cases[] = {
      {kNetlogonQuery, "PDC Query", "PDC Query"},
      {kSamLogonRequest, "SAM Client Logon Request", "SAM Client Logon Request"},
      {kGetDcResponse, "PDC Response", "PDC Response"},
  };
  WendrickHost h;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.summary);
    h.Carry("MS-SMB", c.frame);
    EXPECT_EQ(h.Protocol(), "NETLOGON");
    EXPECT_EQ(h.Description(), c.summary);
    const auto lines = h.Lines(1);
    ASSERT_EQ(lines.size(), 2u);
    const int at = lines[0].offset;
    ExpectLines(lines, {{"NETLOGON Protocol", at, (int)c.frame.bytes.size() - at, OPEN},
                        {std::string("Function\t\t\t\t\t") + c.detail, at, 2, CLOSE}});
  }
  const Crafted sam = OverEthernet(Transaction(AsciiName("\\MAILSLOT\\NET\\NTLOGON"), Hex("13 00 00 00")));
  h.Carry("MS-SMB", sam);
  EXPECT_EQ(h.Description(), "SAM Client Logon Response");
  const Crafted other = OverEthernet(Transaction(AsciiName("\\MAILSLOT\\NET\\NETLOGON"), Hex("00 00")));
  h.Carry("MS-SMB", other);
  EXPECT_EQ(h.Description(), "Packet");
  EXPECT_EQ(h.Texts(1).back(), "Function\t\t\t\t\tUnknown");
  // An opcode that was not captured: the title alone, and no words.
  Crafted cut = other;
  cut.bytes.pop_back();
  h.Carry("MS-SMB", cut);
  EXPECT_EQ(h.Description(), "");
  ASSERT_EQ(h.Lines(1).size(), 1u);
  EXPECT_EQ(h.Lines(1)[0].flags, OPEN | CLOSE);
  EXPECT_EQ(h.Frames("NETLOGON"), 0u);
}

// Disabled, Browser and Netlogon show nothing: the row keeps SMB's words.
TEST(BrowserAndNetlogon, Disabled) {
  for (const char* nameId : {"MS-BROWSE", "MS-LOGON"}) {
    SCOPED_TRACE(nameId);
    WendrickHost h;
    h.Enabled(nameId) = 0;
    h.Carry("MS-SMB", nameId[3] == 'B' ? kHostAnnouncement : kNetlogonQuery);
    EXPECT_EQ(h.Protocol(), "SMB");
    EXPECT_EQ(h.Description(), "Transaction Request");
    EXPECT_FALSE(h.Lines(0).empty());
    EXPECT_TRUE(h.Lines(1).empty());
    // Routed all the same: DefaultParse gets the frame only from counting.
    ASSERT_EQ(h.handOns.size(), 1u);
    EXPECT_EQ(h.handOns[0].pass, PASS_COUNT);
  }
}

TEST(BrowserAndNetlogon, BoundedAndLineFailures) {
  WendrickHost h;
  for (const Crafted* c : {&kHostAnnouncement, &kLocalMasterAnnouncement, &kElectionRequest, &kAnnouncementRequest,
                           &kBackupListRequest, &kMasterAnnouncement, &kSamLogonRequest}) {
    h.Aim("MS-SMB", *c);
    h.ExpectBoundedAndLineFailuresHandled("CARRIER", c->bytes);
  }
}

}  // namespace
}  // namespace wendricktest
