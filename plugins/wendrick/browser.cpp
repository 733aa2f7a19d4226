// MS-BROWSE and MS-LOGON: the Browser and Netlogon messages that SMB routes
// from their mailslots, with `offset` just past the transaction name. They
// bind under nothing, and counting never reaches them.

#include "wendrick.h"

namespace wendrick {

namespace {

// ---------------------------------------------------------------- Browser

constexpr qv::Name kOpcodes[] = {
    {1, "Host Announcement "},       {2, "Announcement Request "}, {8, "Election Request "},
    {9, "Get Backup List Request "}, {10, "Get Backup List Response "}, {11, "Become Backup "},
    {12, "Workgroup Announcement "}, {13, "Master Announcement "},      {14, "Reset Browser State "},
    {15, "Local Master Announcement "},
};
constexpr qv::NameTable kOpcodeNames(kOpcodes, "Unknown Function ");

enum : BYTE {
  kHostAnnouncement = 1,
  kAnnouncementRequest = 2,
  kElectionRequest = 8,
  kGetBackupListRequest = 9,
  kBecomeBackup = 11,
  kWorkgroupAnnouncement = 12,
  kMasterAnnouncement = 13,
  kLocalMasterAnnouncement = 15,
};

const int kNameField = 16;

// A name field: at most 16 characters, ending at its first NUL. A field cut
// by the capture before its NUL or its end is not read.
bool ReadName(const qv::View& v, int at, char (&name)[kNameField + 1]) {
  const qv::View field = v.Sub(at, kNameField);
  const int64_t nul = field.Find(0, 0);
  if (nul < 0 && field.size() < kNameField) return false;
  const int64_t n = nul >= 0 ? nul : kNameField;
  field.Copy(0, n, reinterpret_cast<BYTE*>(name));
  name[n] = 0;
  return true;
}

// Where an opcode's name stands, and whether the station that sent it is
// the server it names.
struct NamedOpcode {
  DWORD key;
  int at;
  bool learnt;
};
constexpr NamedOpcode kNamedOpcodes[] = {
    {kHostAnnouncement, 6, true},     {kAnnouncementRequest, 2, false},  {kElectionRequest, 14, false},
    {kBecomeBackup, 1, false},        {kWorkgroupAnnouncement, 6, false}, {kMasterAnnouncement, 1, true},
    {kLocalMasterAnnouncement, 6, true},
};

// Servers announce themselves: the name is learnt for the frame's source
// address, unless the datagram crossed a router, whose address that is.
void SummarizeBrowser(qv::Layer& l, SummaryRow* row) {
  const qv::View& v = l.header;
  qv::SetCellText(row->protocol, "BROWSER");
  qv::SetCellText(row->description, "");
  BYTE opcode;
  if (!v.U8(0, &opcode)) return;
  qv::SetCellText(row->description, kOpcodeNames(opcode));
  const NamedOpcode* named = qv::FindRow<NamedOpcode>(kNamedOpcodes, opcode);
  char name[kNameField + 1];
  if (!named || !ReadName(v, named->at, name)) return;
  if (named->learnt) LearnName(l.frame, name);
  qv::AppendCellText(row->description, name);
}

// The fields of a browser message other than its numbers, each a line
// when captured; the first field not captured ends the lines.
void Name(FieldLines& f, int at) {
  char name[kNameField + 1];
  if (f.Check(ReadName(f.v, at, name))) f.Add<"Server Name\t\t\t\t%s">({at, (int)f.v.Sub(at, kNameField).size()}, name);
}

void Version(FieldLines& f, int at) {
  const BYTE* b = f.v.Bytes(at, 2);
  if (f.Check(b != nullptr)) f.Add<"Version\t\t\t\t\t%01d.%01d">({at, 2}, b[0], b[1]);
}

// The comment runs to its NUL, or to the capture's end when cut.
void Comment(FieldLines& f, int at) {
  if (!f.Check(f.v.Has(at, 1))) return;
  const int64_t nul = f.v.Find(at, 0);
  const int64_t length = nul >= 0 ? nul - at : f.v.Left(at);
  f.list.Quote(f.v.Offset(at), (int)length, "Comment\t\t\t\t\t", reinterpret_cast<const char*>(f.v.Bytes(at, length)),
               length);
}

void DetailBrowser(qv::Layer& l, qv::DetailList& list) {
  const qv::View& v = l.header;
  list.Group<"Browser Protocol">(&l.protocol.titleState, l.offset(), (int)v.size());
  BYTE opcode = 0;
  if (v.U8(0, &opcode)) list.Add<"Function\t\t\t\t\t%s">(v.Offset(), 1, kOpcodeNames(opcode));
  FieldLines f(list, v);
  switch (opcode) {
    case kHostAnnouncement:
    case kLocalMasterAnnouncement:
      f.Number<"Update Count\t\t\t%d">({1, 1});
      f.Number<"Periodicity\t\t\t\t%d">({2, 4});
      Name(f, 6);
      Version(f, 22);
      f.Number<"Election Version\t\t%d">({28, 2});
      f.Number<"Signature\t\t\t\t0x%04X">({30, 2});
      Comment(f, 32);
      break;
    case kAnnouncementRequest:
      f.Number<"Flags\t\t\t\t\t\t%d">({1, 1});
      Name(f, 2);
      break;
    case kElectionRequest:
      f.Number<"Version\t\t\t\t\t%d">({1, 1});
      f.Number<"Criteria\t\t\t\t\t%d">({2, 4});
      f.Number<"Time Up\t\t\t\t\t%d">({6, 4});
      Name(f, 14);
      break;
    case kGetBackupListRequest:
      f.Number<"Requested Count\t\t%d">({1, 1});
      f.Number<"Token\t\t\t\t\t\t%d">({2, 4});
      break;
    default:
      break;
  }
  // The last line written ends the title's group, a field missing or not,
  // unless the host gave none.
  list.Close();
}

// ---------------------------------------------------------------- Netlogon

struct LogonName {
  DWORD key;
  const char* summary;
  const char* detail;
};
constexpr LogonName kLogonOpcodes[] = {
    {7, "PDC Query", "PDC Query"},
    {12, "PDC Response", "PDC Response"},
    {18, "SAM Client Logon Request", "SAM Client Logon Request"},
    {19, "SAM Client Logon Response", "SAM Client Logon Response"},
};
constexpr LogonName kOtherLogon = {0, "Packet", "Unknown"};

const LogonName& Logon(WORD opcode) {
  const LogonName* n = qv::FindRow<LogonName>(kLogonOpcodes, opcode);
  return n ? *n : kOtherLogon;
}

void SummarizeNetlogon(qv::Layer& l, SummaryRow* row) {
  WORD opcode;
  qv::SetCellText(row->protocol, "NETLOGON");
  qv::SetCellText(row->description, l.header.Le16(0, &opcode) ? Logon(opcode).summary : "");
}

void DetailNetlogon(qv::Layer& l, qv::DetailList& list) {
  const qv::View& v = l.header;
  list.Group<"NETLOGON Protocol">(&l.protocol.titleState, l.offset(), (int)v.size());
  WORD opcode;
  if (v.Le16(0, &opcode)) list.Add<"Function\t\t\t\t\t%s">(v.Offset(), 2, Logon(opcode).detail);
  list.Close();
}

}  // namespace

constexpr qv::ProtocolDecl kBrowserDecl = {
    .nameId = "MS-BROWSE",
    .description = "BROWSER",
    .flags = PROTOCOL_CHILD,
    .control = qv::CONTROL_LEAF,
    .statistics = {7, "BROWSER"},
    .summary = SummarizeBrowser,
    .detail = DetailBrowser,
};
qv::Protocol g_browser = qv::Declare<g_browser, kBrowserDecl>();

constexpr qv::ProtocolDecl kNetlogonDecl = {
    .nameId = "MS-LOGON",
    .description = "NETLOGON",
    .flags = PROTOCOL_CHILD,
    .control = qv::CONTROL_LEAF,
    .statistics = {7, "NETLOGON"},
    .summary = SummarizeNetlogon,
    .detail = DetailNetlogon,
};
qv::Protocol g_netlogon = qv::Declare<g_netlogon, kNetlogonDecl>();

}  // namespace wendrick
