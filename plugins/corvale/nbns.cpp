// IP-NBNS: NetBIOS name service messages on port 137, with the name each
// asks for or answers; names that a station answers for itself go into the
// name table under its MAC address.
// The packets are those of RFC 1002, 4.2.
#include <string.h>

#include <algorithm>

#include "corvale.h"
#include "netbios.h"

namespace corvale {

namespace {

const int kHeader = 12;
const int kQuestion = 38;  // a question takes 38 bytes whatever its name field
const int kNameField = 34;

enum : WORD {
  kResponse = 0x8000,
  kFunction = 0xF800,
  kAuthoritative = 0x0400,
  kResponseCode = 0x000F,
  kGroupName = 0x8000,  // NB flags
  kNodeType = 0x6000,
  kGeneralName = 0x20,
  kNodeStatus = 0x21,
};
enum Variant { kOverUdp, kOverTcp };

BYTE g_flagsState, g_questionsState, g_recordFlagsState;

constexpr qv::Name kFunctions[] = {
    {0x0000, "Name Query"},          {0x2800, "Registration Request"}, {0x3000, "Release Request"},
    {0x3800, "WACK Request"},        {0x4000, "Refresh Request"},      {0x8000, "Name Query Response"},
    {0xA800, "Registration Response"}, {0xB000, "Release Response"},  {0xB800, "WACK Response"},
    {0xC000, "Refresh Response"},
};
constexpr qv::NameTable kFunctionNames(kFunctions, "Unknown");

constexpr qv::FlagBit kFlagBits[] = {
    {0x0010, "Broadcast\t\t\t"},  {0x0080, "Recursion Capable\t"}, {0x0100, "Recursion Desired\t"},
    {0x0200, "Truncation\t\t\t"}, {0x0400, "Authoritative\t\t"},
};

constexpr qv::Name kNodeTypes[] = {
    {0x0000, "B-Node"}, {0x2000, "P-Node"}, {0x4000, "M-Node"}, {0x6000, "Reserved"}};
constexpr qv::NameTable kNodeTypeNames(kNodeTypes, "");

struct Section {
  const char* heading;
  BYTE state;
};
Section g_sections[] = {{"Answers", 0}, {"Authority", 0}, {"Additional Resources", 0}};

// The one resource record that may teach a name: a positive, authoritative
// response over UDP whose first answer binds a unique name, written in
// first-level encoding, to the address that sent the datagram. Anything
// else (negative and node-status answers, answers relayed by a server,
// group names) would bind a name to the wrong station. What the name table
// then learns is the shared rule's to decide.
void LearnAnsweredName(const qv::Layer& l, WORD flags, const qv::NetBiosName& name, int64_t record) {
  if (l.variant != kOverUdp) return;
  if (!(flags & kResponse) || !(flags & kAuthoritative) || (flags & kResponseCode) != 0 || !name.plain) return;
  const qv::View& m = l.header;
  WORD type, dataLength;
  if (!m.Be16(record, &type) || type != kGeneralName) return;
  if (!m.Be16(record + 8, &dataLength) || dataLength < 6) return;
  const BYTE* data = m.Bytes(record + 10, 6);
  if (!data || (data[0] & 0x80)) return;  // a group name
  if (!LastIpSource.seen || memcmp(data + 2, LastIpSource.address, 4) != 0) return;
  char text[qv::NETBIOS_NAME_TEXT_SIZE];
  memcpy(text, name.text, sizeof text);
  if (char* dot = strchr(text, '.')) *dot = 0;
  if (text[0] == '*') return;
  qv::LearnNetBiosName(l.frame, text);
}

// A message too short for its flags names no function; a name that cannot
// be decoded adds nothing.
void SummarizeNbns(qv::Layer& l, SummaryRow* row) {
  const qv::View& m = l.header;
  WORD flags, questions, answers;
  qv::SetCellText(row->protocol, "NBNS");
  if (!m.Be16(2, &flags)) {
    qv::SetCellText(row->description, "");
    return;
  }
  qv::SetCellText(row->description, kFunctionNames(flags & kFunction));
  if (!m.Be16(4, &questions) || !m.Be16(6, &answers) || (questions == 0 && answers == 0)) return;
  qv::NetBiosName name;
  const int64_t end = qv::DecodeNetBiosName(m, kHeader, &name);
  if (end < 0 || !name.text[0]) return;
  qv::AppendCell(row->description, "  %s", name.text);
  if (questions == 0) LearnAnsweredName(l, flags, name, end);
}

const char* RecordTypeText(WORD type, const char* unknown, char* buffer, size_t size) {
  if (type == kGeneralName) return "NetBios General Name Service Resource Record";
  if (type == kNodeStatus) return "NetBios Node Status Resource Record";
  qv::FormatText(buffer, size, "%s%04x", unknown, (unsigned)type);
  return buffer;
}

// One question at q; false when it is not wholly captured.
bool Question(qv::DetailList& list, const qv::View& m, int64_t q) {
  qv::NetBiosName name;
  WORD type, cls;
  if (qv::DecodeNetBiosName(m, q, &name) < 0) return false;
  list.Add<"NetBios Name\t\t%s">(m.Offset(q), kNameField, name.text);
  if (!m.Be16(q + kNameField, &type)) return false;
  char unknown[40];
  list.Add<"Name Type\t\t\t%s">(m.Offset(q + kNameField), 2,
                                RecordTypeText(type, "Unknown Question Type ", unknown, sizeof unknown));
  if (!m.Be16(q + kNameField + 2, &cls)) return false;
  list.Add<"Name Class\t\t\tInternet Class">(m.Offset(q + kNameField + 2), 2);
  return !list.stopped;
}

// One resource record at *q; moves *q past it. The NB flags and the address
// are shown only where the record's data holds them. False when the record
// is not captured as far as its data.
bool Record(qv::DetailList& list, const qv::View& m, int64_t* q) {
  qv::NetBiosName name;
  const int64_t at = qv::DecodeNetBiosName(m, *q, &name);
  if (at < 0) return false;
  list.Add<"NetBios Name\t\t%s">(m.Offset(*q), name.used, name.text);
  WORD type, dataLength;
  DWORD ttl;
  if (!m.Be16(at, &type)) return false;
  char unknown[40];
  list.Add<"Name Type\t\t\t%s">(m.Offset(at), 2, RecordTypeText(type, "Unknown Type Field ", unknown, sizeof unknown));
  if (!m.Has(at + 2, 2)) return false;
  list.Add<"Name Class\t\t\tInternet Class">(m.Offset(at + 2), 2);
  if (!m.Be32(at + 4, &ttl)) return false;
  list.Add<"Time to Live\t\t%d">(m.Offset(at + 4), 4, (int32_t)ttl);
  if (!m.Be16(at + 8, &dataLength)) return false;
  list.Add<"Data Length\t\t\t%d">(m.Offset(at + 8), 2, dataLength);
  *q = at + 10 + dataLength;
  const qv::View data = m.Sub(at + 10, dataLength);
  if (dataLength > 0 && data.empty()) return false;
  WORD nb;
  if (data.Be16(0, &nb)) {
    list.Group<"Flags">(&g_recordFlagsState, data.Offset(), 2);
    list.Add<"Name Type\t\t%s\t%s">(data.Offset(), 2, (nb & kGroupName) ? "Group"sv : "Unique"sv,
                                    qv::Bits(nb, kGroupName, 16, 4));
    list.Add<"Node Type\t\t%s\t%s">(data.Offset(), 2, kNodeTypeNames(nb & kNodeType), qv::Bits(nb, kNodeType, 16, 4));
    list.Close();
  }
  if (const BYTE* address = data.Bytes(2, 4)) {
    char dotted[64];
    DottedAddress(address, dotted);
    list.Add<"IP Address\t\t\t%s">(data.Offset(2), 4, dotted);
  }
  return !list.stopped && data.size() == dataLength;
}

void DetailNbns(qv::Layer& l, qv::DetailList& list) {
  const qv::View& m = l.header;
  const int o = l.offset();
  if (!l.OpenDetail(list, m.size(), 2)) return;
  WORD flags;
  list.Add<"Transaction ID\t\t\t%u">(o, 2, m.Be16Or0(0));
  if (!m.Be16(2, &flags)) return;
  list.Add<"Function\t\t\t\t\t%s">(o + 2, 2, kFunctionNames(flags & kFunction));
  list.Group<"Flags">(&g_flagsState, o + 2, 2);
  list.FlagLines<"%s%s%s">(o + 2, 2, flags, kFlagBits, {"On\t\t", "Off\t"}, {16, 4});
  list.Close();
  WORD counts[4];
  if (!AddSectionCounts(list, m, counts) || list.stopped) return;

  int64_t q = kHeader;
  if (counts[0]) {
    list.Group<"Questions">(&g_questionsState, m.Offset(q),
                            (int)std::min<int64_t>((int64_t)counts[0] * kQuestion, m.Left(q)));
    for (int i = 0; i < counts[0]; i++, q += kQuestion)
      if (!Question(list, m, q)) return;
    list.Close();
  }
  for (int s = 0; s < 3; s++) {
    if (!counts[s + 1]) continue;
    const int64_t start = q;
    DetailLine* heading = list.Group<"%s">(&g_sections[s].state, m.Offset(q), 0, g_sections[s].heading);
    bool whole = true;
    for (int i = 0; i < counts[s + 1] && whole; i++) whole = Record(list, m, &q);
    // The heading covers its records, or what was captured of them.
    if (heading) heading->length = (int)(whole ? q - start : m.Left(start));
    if (!whole) return;
    list.Close();
  }
  list.Close();  // the title's group
}

constexpr qv::Binding kBindings[] = {{"IP-UDP", 137, kOverUdp}, {"IP-TCP", 137, kOverTcp}};

}  // namespace

constexpr qv::ProtocolDecl kNbnsDecl = {
    .nameId = "IP-NBNS",
    .description = "NetBios Name Service Protocol",
    .flags = PROTOCOL_CHILD,
    .control = qv::CONTROL_LEAF,
    .statistics = {5, "NBNS"},
    .summary = SummarizeNbns,
    .detail = DetailNbns,
    .bindings = kBindings,
};
qv::Protocol g_nbns = qv::Declare<g_nbns, kNbnsDecl>();

}  // namespace corvale
