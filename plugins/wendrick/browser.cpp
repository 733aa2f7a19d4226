// MS-BROWSE and MS-LOGON: the Browser and Netlogon messages that SMB routes
// from their mailslots, with `offset` just past the transaction name. They
// bind under nothing, and counting never reaches them.
#include <string.h>

#include <algorithm>

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
const int kMaxLineText = 128;  // characters of a line that quotes frame text

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

// The lines of one browser message, each over one field; the first field
// not captured ends them.
class BrowserLines {
 public:
  BrowserLines(qv::DetailList& list, const qv::View& v) : list_(list), v_(v) {}
  bool ok() const { return ok_ && !list_.stopped; }

  void U8(int at, const char* label) {
    BYTE x;
    if (Check(v_.U8(at, &x))) list_.Add<"%s%d">(v_.Offset(at), 1, label, x);
  }
  void Le16(int at, const char* label) {
    WORD x;
    if (Check(v_.Le16(at, &x))) list_.Add<"%s%d">(v_.Offset(at), 2, label, x);
  }
  void Signature(int at) {
    WORD x;
    if (Check(v_.Le16(at, &x))) list_.Add<"Signature\t\t\t\t0x%04X">(v_.Offset(at), 2, x);
  }
  void Le32(int at, const char* label) {
    DWORD x;
    if (Check(v_.Le32(at, &x))) list_.Add<"%s%d">(v_.Offset(at), 4, label, (int32_t)x);
  }
  void Name(int at) {
    char name[kNameField + 1];
    if (Check(ReadName(v_, at, name)))
      list_.Add<"Server Name\t\t\t\t%s">(v_.Offset(at), (int)v_.Sub(at, kNameField).size(), name);
  }
  void Version(int at) {
    const BYTE* b = v_.Bytes(at, 2);
    if (Check(b != nullptr)) list_.Add<"Version\t\t\t\t\t%01d.%01d">(v_.Offset(at), 2, b[0], b[1]);
  }
  // The comment runs to its NUL, or to the capture's end when cut.
  void Comment(int at) {
    static const char kLabel[] = "Comment\t\t\t\t\t";
    if (!Check(v_.Has(at, 1))) return;
    const int64_t nul = v_.Find(at, 0);
    const int64_t length = nul >= 0 ? nul - at : v_.Left(at);
    const int shown = (int)std::min<int64_t>(length, kMaxLineText - (int)strlen(kLabel));
    list_.Add<"%s%.*s">(v_.Offset(at), (int)length, kLabel, shown, reinterpret_cast<const char*>(v_.Bytes(at, shown)));
  }
  // The last line written ends the title's group, unless the host gave none.
  void Close() { list_.Close(); }

 private:
  bool Check(bool there) {
    if (!there) ok_ = false;
    return ok();
  }
  qv::DetailList& list_;
  const qv::View& v_;
  bool ok_ = true;
};

void DetailBrowser(qv::Layer& l, qv::DetailList& list) {
  const qv::View& v = l.header;
  list.Group<"Browser Protocol">(&l.protocol.titleState, l.offset(), (int)v.size());
  BYTE opcode = 0;
  if (v.U8(0, &opcode)) list.Add<"Function\t\t\t\t\t%s">(v.Offset(), 1, kOpcodeNames(opcode));
  BrowserLines f(list, v);
  switch (opcode) {
    case kHostAnnouncement:
    case kLocalMasterAnnouncement:
      f.U8(1, "Update Count\t\t\t");
      f.Le32(2, "Periodicity\t\t\t\t");
      f.Name(6);
      f.Version(22);
      f.Le16(28, "Election Version\t\t");
      f.Signature(30);
      f.Comment(32);
      break;
    case kAnnouncementRequest:
      f.U8(1, "Flags\t\t\t\t\t\t");
      f.Name(2);
      break;
    case kElectionRequest:
      f.U8(1, "Version\t\t\t\t\t");
      f.Le32(2, "Criteria\t\t\t\t\t");
      f.Le32(6, "Time Up\t\t\t\t\t");
      f.Name(14);
      break;
    case kGetBackupListRequest:
      f.U8(1, "Requested Count\t\t");
      f.Le32(2, "Token\t\t\t\t\t\t");
      break;
    default:
      break;
  }
  f.Close();
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
