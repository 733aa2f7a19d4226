// IP-ICMP: the message's type and code in the summary; in the detail the
// fields of each type's layout, then a dump of the echoed data or of the
// datagram the message quotes.
// The messages of RFC 792, with the router messages of RFC 1256 and the
// address mask messages of RFC 950.
#include "corvale.h"

namespace corvale {

namespace {

const int kFixedHeader = 8;
const int kEchoDumpCap = 32;
const int kQuoteDumpCap = 128;

// Codes as the summary names them and as the detail's code line does.
constexpr qv::Name kUnreachable[] = {
    {0, "[Network Unreachable]"},  {1, "[Host Unreachable]"}, {2, "[Protocol Unreachable]"},
    {3, "[Port Unreachable]"},     {4, "[Must Fragment]"},    {5, "[Source Route Failed]"},
};
constexpr qv::Name kRedirect[] = {
    {0, "[Network Redirect]"},
    {1, "[Host Redirect]"},
    {2, "[Network Redirect (TOS)]"},
    {3, "[Host Redirect (TOS)]"},
};
constexpr qv::Name kTimeExceeded[] = {{0, "[Time To Live]"}, {1, "[Fragment Reassembly Time]"}};
constexpr qv::NameTable kUnreachableWords(kUnreachable, "[Unknown Code]");
constexpr qv::NameTable kRedirectWords(kRedirect, "[Unknown Code]");
constexpr qv::NameTable kTimeExceededWords(kTimeExceeded, "[Unknown Code]");

constexpr qv::Name kUnreachableCodes[] = {
    {0, "\tNetwork unreachable"}, {1, "\tHost unreachable"}, {2, "\tProtocol unreachable"},
    {3, "\tPort unreachable"},    {4, "\tMust fragment"},    {5, "\tRoute failed"},
};
constexpr qv::Name kRedirectCodes[] = {
    {0, "\tNetwork redirect"},
    {1, "\tHost redirect"},
    {2, "\tTOS and Network redirect"},
    {3, "\tTOS and Host redirect"},
};
constexpr qv::Name kAdvertisementCodes[] = {{0, "\tNormal router advertisement"}, {16, "\tNo common traffic"}};
constexpr qv::Name kTimeExceededCodes[] = {
    {0, "\tTime to Live exceeded in Transit"},
    {1, "\tFragment Reassembly Time Exceeded"},
};
constexpr qv::NameTable kUnreachableTexts(kUnreachableCodes, "\tUnknown");
constexpr qv::NameTable kRedirectTexts(kRedirectCodes, "\tUnknown");
constexpr qv::NameTable kAdvertisementTexts(kAdvertisementCodes, "Unknown");
constexpr qv::NameTable kTimeExceededTexts(kTimeExceededCodes, "\tUnknown");

// The field lines of a layout, behind the checksum line.
enum Fields : BYTE {
  kEmptyLine,  // a line without text
  kEcho,       // identifier and sequence, each also least significant byte first
  kEchoMask,   // the same and an address mask
  kUnused,
  kGateway,
  kAdvertisement,
  kReserved,
  kPointer,
  kTimestamps,
};

struct Layout {
  DWORD key;  // the type
  const char* summary;
  const qv::NameTable* summaryCodes;  // appended to the summary's words
  const char* typeLine;
  const qv::NameTable* codes;  // the code line's text; null: none
  Fields fields;
  const char* dump;  // the label of the dump from byte 8; null: none
  int dumpCap;
};
constexpr Layout kLayouts[] = {
    {0, "Echo Reply", nullptr, "Type\t\t\t\t\t\tEcho Reply", nullptr, kEcho, "Echo Data", kEchoDumpCap},
    {3, "Destination Unreachable ", &kUnreachableWords, "Type\t\t\t\t\t\tDestination Unreachable", &kUnreachableTexts,
     kUnused, "Header Information", kQuoteDumpCap},
    {4, "Source Quench", nullptr, "Type\t\tSource Quench", nullptr, kEmptyLine, nullptr, 0},
    {5, "Redirect ", &kRedirectWords, "Type\t\tRedirect", &kRedirectTexts, kGateway, "Header Information",
     kQuoteDumpCap},
    {8, "Echo Request", nullptr, "Type\t\t\t\t\t\tEcho Request", nullptr, kEcho, "Echo Data", kEchoDumpCap},
    {9, "Router Advertisement", nullptr, "Type\t\t\t\t\t\tRouter Advertisement", &kAdvertisementTexts,
     kAdvertisement, nullptr, 0},
    {10, "Router Solicitation", nullptr, "Type\t\t\t\t\t\tRouter Solicitation", nullptr, kReserved, nullptr, 0},
    {11, "Time Exceeded ", &kTimeExceededWords, "Type\t\t\t\t\t\tTime Exceeded", &kTimeExceededTexts, kEmptyLine,
     "Header Information", kQuoteDumpCap},
    {12, "Parameter Problem", nullptr, "Type\t\t\t\t\t\tParameter Problem", nullptr, kPointer, "Header Information",
     kQuoteDumpCap},
    {13, "Timestamp Request", nullptr, "Type\t\t\t\t\t\tTimestamp Request", nullptr, kTimestamps, nullptr, 0},
    {14, "Timestamp Reply", nullptr, "Type\t\t\t\t\t\tTimestamp Reply", nullptr, kTimestamps, nullptr, 0},
    {15, "Information Request", nullptr, "Type\t\t\t\t\t\tInformation Request", nullptr, kEcho, nullptr, 0},
    {16, "Information Reply", nullptr, "Type\t\t\t\t\t\tInformation Reply", nullptr, kEcho, nullptr, 0},
    {17, "Mask Request", nullptr, "Type\t\t\t\t\t\tMask Request", nullptr, kEchoMask, nullptr, 0},
    {18, "Mask Reply", nullptr, "Type\t\t\t\t\t\tMask Reply", nullptr, kEchoMask, nullptr, 0},
};

const Layout* FindLayout(BYTE type) { return qv::FindRow(std::span<const Layout>(kLayouts), type); }

// A message whose type byte was not captured names nothing; a code that
// was not captured is left out.
void SummarizeIcmp(qv::Layer& l, SummaryRow* row) {
  const qv::View& m = l.header;
  qv::SetCellText(row->protocol, "ICMP");
  BYTE type, code;
  if (!m.U8(0, &type)) {
    qv::SetCellText(row->description, "");
    return;
  }
  const Layout* layout = FindLayout(type);
  if (!layout) {
    qv::SetCell(row->description, "Unknown Message [%d]", type);
    return;
  }
  qv::SetCellText(row->description, layout->summary);
  if (layout->summaryCodes && m.U8(1, &code)) qv::AppendCellText(row->description, (*layout->summaryCodes)(code));
}

// Identifier and sequence as sent and with their bytes swapped.
bool EchoLines(qv::DetailList& list, const qv::View& m) {
  if (!m.Has(4, 2)) return false;
  list.Add<"ID\t\t\t\t\t\t\t%0d">(m.Offset(4), 2, m.Be16Or0(4));
  list.Add<"ID Swapped\t\t\t\t%0d">(m.Offset(4), 2, m.Le16Or0(4));
  if (!m.Has(6, 2)) return false;
  list.Add<"Sequence\t\t\t\t\t%0d">(m.Offset(6), 2, m.Be16Or0(6));
  list.Add<"Sequence Swapped\t\t%0d">(m.Offset(6), 2, m.Le16Or0(6));
  return !list.stopped;
}

// The lines behind the checksum line; false where a field was not captured
// (the lines end there) or the host gave no line.
bool FieldLines(qv::DetailList& list, const qv::View& m, Fields fields) {
  char address[kAddressTextSize];
  DWORD value;
  switch (fields) {
    case kEmptyLine:
      list.Text(m.Offset(4), 0, "");
      break;
    case kEcho:
      return EchoLines(list, m);
    case kEchoMask: {
      if (!EchoLines(list, m)) return false;
      const BYTE* mask = m.Bytes(8, 4);
      if (!mask) return false;
      DottedAddressText(mask, 4, address);
      list.Add<"Mask\t\t\t\t%s">(m.Offset(8), 4, address);
      break;
    }
    case kUnused:
      if (!m.Be32(4, &value)) return false;
      list.Add<"Unused\t\t\t\t\t0x%08x">(m.Offset(4), 4, value);
      break;
    case kGateway: {
      const BYTE* gateway = m.Bytes(4, 4);
      if (!gateway) return false;
      DottedAddressText(gateway, 4, address);
      list.Add<"Gateway\t\t%s">(m.Offset(4), 4, address);
      break;
    }
    case kAdvertisement:
      if (!m.Has(4, 1)) return false;
      list.Add<"Address Count\t\t%d">(m.Offset(4), 1, m.U8Or0(4));
      if (!m.Has(5, 1)) return false;
      list.Add<"Entry Size\t\t\t%d">(m.Offset(5), 1, m.U8Or0(5));
      if (!m.Has(6, 2)) return false;
      list.Add<"Life Time\t\t%d">(m.Offset(6), 2, m.Be16Or0(6));
      break;
    case kReserved:
      if (!m.Be32(4, &value)) return false;
      list.Add<"Reserved\t\t\t\t\t%d">(m.Offset(4), 4, (int32_t)value);
      break;
    case kPointer:
      if (!m.Has(4, 1)) return false;
      list.Add<"Pointer\t\t\t\t%d">(m.Offset(4), 1, m.U8Or0(4));
      if (!m.Has(5, 3)) return false;
      list.Add<"Entry Size\t\t\t0x%02x%02x%02x">(m.Offset(5), 3, m.U8Or0(5), m.U8Or0(6), m.U8Or0(7));
      break;
    case kTimestamps:
      // Originate, receive and transmit follow the identifier and sequence.
      if (!m.Be32(8, &value)) return false;
      list.Add<"Originate\t\t%u">(m.Offset(8), 4, value);
      if (!m.Be32(12, &value)) return false;
      list.Add<"Receive\t\t%u">(m.Offset(12), 4, value);
      if (!m.Be32(16, &value)) return false;
      list.Add<"Transmit\t\t%u">(m.Offset(16), 4, value);
      break;
  }
  return !list.stopped;
}

// Lines end at the first field that was not captured; the title covers
// the captured bytes and its group stays open.
void DetailIcmp(qv::Layer& l, qv::DetailList& list) {
  const qv::View& m = l.header;
  if (!l.OpenDetail(list, m.size(), 1)) return;
  const BYTE type = m.U8Or0(0);
  BYTE code;
  WORD checksum;
  const Layout* layout = FindLayout(type);
  if (!layout) {
    list.Add<"Unknown Type\t%d">(m.Offset(), 1, type);
    return;
  }
  list.Text(m.Offset(), 1, layout->typeLine);
  if (!m.U8(1, &code)) return;
  list.Add<"Code\t\t\t\t\t\t%02d %s">(m.Offset(1), 1, code, layout->codes ? (*layout->codes)(code) : "");
  if (!m.Be16(2, &checksum)) return;
  list.Add<"Checksum\t\t\t\t\t0x%04X">(m.Offset(2), 2, checksum);
  if (!FieldLines(list, m, layout->fields) || !layout->dump) return;
  const int64_t n = m.Left(kFixedHeader) < layout->dumpCap ? m.Left(kFixedHeader) : layout->dumpCap;
  if (n > 0) list.HexDump(layout->dump, m.Bytes(kFixedHeader, n), (int)n, m.Offset(kFixedHeader));
}

constexpr qv::Binding kBindings[] = {{"DOD-IP", 1}};

}  // namespace

constexpr qv::ProtocolDecl kIcmpDecl = {
    .nameId = "IP-ICMP",
    .description = "Internet Control Message Protocol",
    .flags = PROTOCOL_CHILD,
    .control = qv::CONTROL_LEAF,
    .statistics = {3, "ICMP"},
    .summary = SummarizeIcmp,
    .detail = DetailIcmp,
    .bindings = kBindings,
};
qv::Protocol g_icmp = qv::Declare<g_icmp, kIcmpDecl>();

}  // namespace corvale
