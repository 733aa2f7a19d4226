// IP-DNS: Domain Name System messages on UDP and TCP port 53: the header,
// its flags, the questions and the three sections of resource records, with
// compressed names resolved. Over TCP a message leads with the stream's
// 2-byte length.
// The message format and name compression are RFC 1035's (4.1), the TCP
// length too (4.2.2).
#include <string.h>

#include <algorithm>

#include "corvale.h"

namespace corvale {

namespace {

const int kHeader = 12;
const WORD kPort = 53;
// Lines that quote a name stop one character short of the line bound, as
// they always have: 127 characters and the NUL.
const int kNameLineBound = kLineBound - 1;
const int kNameSize = 256;      // a name's text
const int kMaxLabelText = 255;  // characters of a name's text
const int kMaxJumps = 128;      // pointers followed in one name
const BYTE kPointer = 0xC0;     // the top bits of a pointer's first byte

enum : WORD {
  kResponse = 0x8000,
  kFunction = 0x7800,
  kResponseCode = 0x000F,
};
enum : WORD { kAddress = 1, kNameServer = 2, kCanonicalName = 5, kAuthority = 6, kService = 33 };
enum Variant { kOverUdp, kOverTcp };

BYTE g_flagsState, g_recordState;

struct Section {
  const char* heading;
  BYTE state;
};
Section g_sections[] = {{"Questions", 0}, {"Answers", 0}, {"Authority Records", 0}, {"Additional Records", 0}};

constexpr qv::Name kFunctions[] = {
    {0x0000, "Query"}, {0x0800, "Inverse Query"}, {0x1000, "Status"}, {0x2000, "Notify"}, {0x2800, "Update"}};
constexpr qv::NameTable kFunctionNames(kFunctions, "Unknown");

constexpr qv::Name kResponseCodes[] = {
    {0, "Success"},
    {1, "Format Error"},
    {2, "Server Failure"},
    {3, "Name Error"},
    {4, "Not Implemented"},
    {5, "Refused"},
    {6, "Name Exists when it should not"},
    {7, "RR Set Exists when it should not"},
    {8, "RR Set that should exist does not"},
    {9, "Server Not Authoritative for zone"},
    {10, "Name not contained in zone"},
};
constexpr qv::NameTable kResponseCodeNames(kResponseCodes, "Unknown");

// Type 2 has no name here, although its data line names the name server.
constexpr qv::Name kTypes[] = {
    {1, "Host Address"},
    {3, "Mail Destination"},
    {5, "Canonical Name"},
    {6, "Start of Authority"},
    {7, "Mailbox Domain"},
    {8, "Mail Group Member"},
    {9, "Mailbox Rename"},
    {10, "Null"},
    {11, "Service Description"},
    {12, "Name Pointer"},
    {13, "Host Info"},
    {14, "Mailbox Info"},
    {15, "Mail Exchange"},
    {16, "Text Strings"},
    {17, "Responsible Person"},
    {18, "AFS Data Base Location"},
    {19, "X.25 PSDN Address"},
    {20, "ISDN Address"},
    {21, "Route Through"},
    {22, "NSAP Address"},
    {23, "NSAP Address Ptr"},
    {24, "Security Signature"},
    {25, "Security Key"},
    {26, "X.400 Mail Mapping Information"},
    {27, "Geographical Position"},
    {28, "IP6 Address"},
    {29, "Location Information"},
    {30, "Next Domain"},
    {31, "Endpoint Identifier"},
    {32, "Nimrod Locator"},
    {33, "Location of Services"},
    {34, "ATM Address"},
    {35, "Naming Authority Pointer"},
    {36, "Key Exchanger"},
    {37, "CERT"},
    {38, "A6"},
    {39, "DNAME"},
    {40, "SINK"},
    {41, "OPT"},
    {42, "APL"},
    {100, "IANA-Reserved"},
    {101, "IANA-Reserved"},
    {102, "IANA-Reserved"},
    {103, "IANA-Reserved"},
    {249, "Transaction Key"},
    {250, "Transaction Signature"},
    {251, "Incremental Transfer"},
    {252, "Transfer Zone"},
    {253, "Mailbox Record"},
    {254, "Mail Agent"},
    {255, "All Records"},
};
constexpr qv::NameTable kTypeNames(kTypes, "Unknown");

constexpr qv::Name kClasses[] = {{1, "Internet"}, {2, "CSNET"}, {3, "Chaos"}, {4, "Hesiod"}, {254, "None"}, {255, "Any"}};
constexpr qv::NameTable kClassNames(kClasses, "Unknown");

constexpr qv::FlagBit kFlagBits[] = {
    {0x0400, "Authoritative\t\t[0x0400]\t"},     {0x0200, "Truncation\t\t\t[0x0200]\t"},
    {0x0100, "Recursion Desired\t[0x0100]\t"}, {0x0080, "Recursion Avail\t[0x0080]\t"},
};

// Over TCP every message leads with its 2-byte length, queries to port 53
// as well as answers from it: the prefix is taken when either port of the
// segment is 53 (or before any TCP header was seen). IP-TCP records the
// header of the frame at hand in every pass.
bool HasLengthPrefix(const qv::Layer& l) {
  const TcpHeaderRecord& t = LastTcpHeader;
  return l.variant == kOverTcp && (!t.seen || t.sourcePort == kPort || t.destinationPort == kPort);
}

// ---------------------------------------------------------------- names

// The name at position `at` of `place` (the message, or one record's data)
// into text; returns the bytes the name occupies in place. Its labels end
// where place ends; a pointer (two bytes whose top two bits are set, the
// other 14 the offset from the message start) continues the name in the
// message, and is followed only when it leads strictly backwards, before
// the labels that hold it, so no chain can loop. The text keeps the labels
// that fit in its 255 characters; the walk goes on to find where the name
// ends.
int64_t ReadDnsName(const qv::View& message, const qv::View& place, int64_t at, char* text) {
  qv::View part = place;
  int64_t p = at;
  int64_t start = place.Offset(at) - message.Offset();  // the labels' start in the message
  int64_t used = -1;                                     // bytes in place, known at the first pointer
  size_t n = 0;
  bool full = false;
  text[0] = 0;
  for (int jumps = 0;;) {
    BYTE length;
    if (!part.U8(p, &length)) break;
    if (length == 0) {
      p += 1;
      break;
    }
    if ((length & kPointer) == kPointer) {
      BYTE low;
      if (!part.U8(p + 1, &low)) {
        p += 1;
        break;
      }
      const int64_t target = (length & ~kPointer) << 8 | low;
      if (used < 0) used = p + 2 - at;
      if (target >= start || ++jumps > kMaxJumps || full) return used;
      part = message;
      p = start = target;
      continue;
    }
    const int64_t k = std::min<int64_t>(length, part.Left(p + 1));
    if (!full && n + (size_t)k <= kMaxLabelText) {
      part.Copy(p + 1, k, reinterpret_cast<BYTE*>(text) + n);
      n += (size_t)k;
      text[n] = 0;
      // A dot between labels, never at the end.
      if (k == length && part.U8Or0(p + 1 + length) != 0 && n < kMaxLabelText) {
        text[n++] = '.';
        text[n] = 0;
      }
    } else {
      full = true;
      if (used >= 0) return used;
    }
    p += 1 + length;
  }
  return used >= 0 ? used : std::min(p, place.size()) - at;
}

// A line of a label and a name, within the name lines' bound.
bool NameLine(qv::DetailList& list, int offset, int64_t length, const char* label, const char* name) {
  char line[kNameLineBound + 1];
  qv::FormatText(line, sizeof line, "%s%s", label, name);
  return list.Text(offset, (int)length, line) != nullptr;
}

// ---------------------------------------------------------------- records

// One question at *pos; false ends the detail (cut by the capture, or no
// line from the host).
bool DetailDnsQuestion(qv::DetailList& list, const qv::View& m, int64_t* pos) {
  if (m.Left(*pos) < 2) return false;
  char name[kNameSize];
  const int64_t n = ReadDnsName(m, m, *pos, name);
  NameLine(list, m.Offset(*pos), n, "Query Name\t\t\t", name);
  *pos += n;
  WORD type, cls;
  if (!m.Be16(*pos, &type)) return false;
  list.Add<"Type\t\t\t\t\t%s">(m.Offset(*pos), 2, kTypeNames(type));
  *pos += 2;
  if (!m.Be16(*pos, &cls)) return false;
  list.Add<"Class\t\t\t\t\t%s">(m.Offset(*pos), 2, kClassNames(cls));
  *pos += 2;
  return !list.stopped;
}

// A 32-bit value of the record's data, printed signed, when the data holds it.
bool ValueLine(qv::DetailList& list, const qv::View& data, int64_t at, const char* label) {
  DWORD value;
  return data.Be32(at, &value) && list.Add<"%s%d">(data.Offset(at), 4, label, (int32_t)value);
}
const char* const kAuthorityValues[] = {"Serial\t\t\t", "Refresh\t\t\t", "Retry\t\t\t\t", "Expire\t\t\t", "Minimum\t\t\t"};

// A name inside the record's data, when some of the data is left for it.
bool DataNameLine(qv::DetailList& list, const qv::View& m, const qv::View& data, int64_t at, const char* label,
                  int64_t* length) {
  if (data.Left(at) == 0) return false;
  char name[kNameSize];
  *length = ReadDnsName(m, data, at, name);
  return NameLine(list, data.Offset(at), *length, label, name);
}

// The data line and the lines after it, each only where the record's data
// holds its field; the rest of the record is never read.
void RecordData(qv::DetailList& list, const qv::View& m, const qv::View& data, WORD type) {
  int64_t n = 0, mailbox = 0;
  WORD word;
  switch (type) {
    case kAddress:
      if (const BYTE* address = data.Bytes(0, 4)) {
        char dotted[64];
        DottedAddress(address, dotted);
        list.Add<"Address\t\t\t%s">(data.Offset(), 4, dotted);
        return;
      }
      break;
    case kNameServer:
      if (DataNameLine(list, m, data, 0, "Name Server\t\t", &n)) return;
      break;
    case kCanonicalName:
      if (DataNameLine(list, m, data, 0, "Canonical Name\t", &n)) return;
      break;
    case kAuthority:
      if (!DataNameLine(list, m, data, 0, "Server Name\t\t", &n)) break;
      if (!DataNameLine(list, m, data, n, "MailBox Name\t", &mailbox)) return;
      n += mailbox;
      for (int i = 0; i < 5 && ValueLine(list, data, n + 4 * i, kAuthorityValues[i]); i++) {
      }
      return;
    case kService:
      if (!data.Be16(0, &word)) break;
      list.Add<"Priority\t\t\t%d">(data.Offset(), 2, word);
      if (!data.Be16(2, &word)) return;
      list.Add<"Weight\t\t\t%d">(data.Offset(2), 2, word);
      if (!data.Be16(4, &word)) return;
      list.Add<"Port\t\t\t\t%d">(data.Offset(4), 2, word);
      DataNameLine(list, m, data, 6, "Target Name\t\t", &n);
      return;
    default:
      break;
  }
  list.Add<"Unknown">(data.Offset(), 0);
}

// One resource record at *pos, in a group of its own; false ends the detail.
bool DetailDnsResource(qv::DetailList& list, const qv::View& m, int64_t* pos) {
  list.Group<"Answer Resource Record">(&g_recordState, m.Offset(*pos), 0);
  if (m.Left(*pos) < 2) {
    list.Add<"Incomplete">(m.Offset(*pos), 0);
    list.Close();
    return false;
  }
  char name[kNameSize];
  const int64_t n = ReadDnsName(m, m, *pos, name);
  NameLine(list, m.Offset(*pos), n, "Owner Name\t\t", name[0] ? name : "ROOT NAME");
  *pos += n;
  WORD type, cls, length;
  DWORD ttl;
  if (!m.Be16(*pos, &type)) return false;
  list.Add<"Type\t\t\t\t%s">(m.Offset(*pos), 2, kTypeNames(type));
  *pos += 2;
  if (!m.Be16(*pos, &cls)) return false;
  list.Add<"Class\t\t\t\t%s">(m.Offset(*pos), 2, kClassNames(cls));
  *pos += 2;
  if (!m.Be32(*pos, &ttl)) return false;
  list.Add<"Time To Live\t%d">(m.Offset(*pos), 4, (int32_t)ttl);
  *pos += 4;
  if (!m.Be16(*pos, &length)) return false;
  list.Add<"Length\t\t\t%d">(m.Offset(*pos), 2, length);
  const int64_t data = *pos + 2;
  *pos = data + length;
  if (!m.Has(data, length)) return false;
  RecordData(list, m, m.Sub(data, length), type);
  list.Close();
  return !list.stopped;
}

// ---------------------------------------------------------------- passes

void SummarizeDns(qv::Layer& l, SummaryRow* row) {
  WORD flags;
  if (!l.header.Be16((HasLengthPrefix(l) ? 2 : 0) + 2, &flags)) return;
  qv::SetCellText(row->protocol, "DNS");
  qv::SetCellText(row->description, kFunctionNames(flags & kFunction));
  if (flags & kResponse) {
    qv::AppendCellText(row->description, " Response");
    if (flags & kResponseCode) qv::AppendCellText(row->description, " Error");
  }
}

void DetailDns(qv::Layer& l, qv::DetailList& list) {
  const qv::View& v = l.header;
  if (v.size() < 3 || !l.Title(list, (int)v.size())) return;
  const bool prefix = HasLengthPrefix(l);
  WORD word;
  if (prefix) {
    if (!v.Be16(0, &word)) return;
    list.Add<"Length\t\t\t\t\t%d">(v.Offset(), 2, word);
  }
  const qv::View m = v.From(prefix ? 2 : 0);  // pointers count from here
  const int h = m.Offset();
  if (!m.Be16(0, &word)) return;
  list.Add<"Identifier\t\t\t\t%d">(h, 2, word);
  WORD flags;
  if (!m.Be16(2, &flags)) return;
  list.Group<"Flags">(&g_flagsState, h + 2, 2);
  list.Add<"Response\t\t\t\t[0x8000]\t%s">(h + 2, 2, (flags & kResponse) ? "On"sv : "Off"sv);
  list.Add<"Function Code\t\t[0x%04x]\t%s">(h + 2, 2, (unsigned)(flags & kFunction), kFunctionNames(flags & kFunction));
  list.FlagLines<"%s%s">(h + 2, 2, flags, kFlagBits, {"On", "Off"});
  list.Add<"Response Code\t\t[0x%04x]\t%s">(h + 2, 2, (unsigned)(flags & kResponseCode),
                                            kResponseCodeNames(flags & kResponseCode));
  list.Close();
  WORD counts[4];
  if (!AddSectionCounts(list, m, counts) || list.stopped) return;
  // The header is whole here, so every section starts within the capture;
  // one with nothing left shows its heading and where it stops.
  int64_t pos = kHeader;
  for (int s = 0; s < 4; s++) {
    if (!counts[s]) continue;
    list.Group<"%s">(&g_sections[s].state, m.Offset(pos), (int)m.Left(pos), g_sections[s].heading);
    for (int i = 0; i < counts[s]; i++)
      if (!(s == 0 ? DetailDnsQuestion(list, m, &pos) : DetailDnsResource(list, m, &pos))) return;
    list.Close();
  }
  list.Close();  // the title's group
}

constexpr qv::Binding kBindings[] = {{"IP-UDP", kPort, kOverUdp}, {"IP-TCP", kPort, kOverTcp}};

}  // namespace

constexpr qv::ProtocolDecl kDnsDecl = {
    .nameId = "IP-DNS",
    .description = "Domain Name Service Protocol",
    .flags = PROTOCOL_CHILD,
    .control = qv::CONTROL_LEAF,
    .statistics = {7, "DNS"},
    .summary = SummarizeDns,
    .detail = DetailDns,
    .bindings = kBindings,
};
qv::Protocol g_dns = qv::Declare<g_dns, kDnsDecl>();

}  // namespace corvale
