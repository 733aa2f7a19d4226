// CISCO-CDP: a 4-byte header and type-length-value records. A leaf, bound
// under MAC-802.3 0x2000, which LLC-SNAP also reaches through MAC-802.3's
// table.
#include <algorithm>

#include "quillet.h"

namespace quillet {

namespace {

enum RecordType : WORD {
  kDeviceId = 1,
  kAddress = 2,
  kPortId = 3,
  kCapabilities = 4,
  kVersion = 5,
  kPlatform = 6,
  kIpPrefix = 7,
  kRecordKinds,
};
const int kRecordHeader = 4;

constexpr qv::Name kRecords[] = {
    {kDeviceId, "Device ID"}, {kAddress, "Address"},   {kPortId, "Port ID"},     {kCapabilities, "Capabilities"},
    {kVersion, "Version"},    {kPlatform, "Platform"}, {kIpPrefix, "IP Prefix"},
};
constexpr qv::NameTable kRecordNames(kRecords, "Unknown");

// One expand state per kind of record; kind 0 for every unknown type.
BYTE g_recordState[kRecordKinds];
BYTE g_protocolState, g_addressState, g_capabilitiesState;
size_t RecordKind(WORD type) { return type < kRecordKinds ? type : 0; }

constexpr qv::FlagBit kCapabilityBits[] = {
    {0x40, "Provides L1\t\t"}, {0x20, "IGMP Not Fwd\t"}, {0x10, "L3 Protocol\t\t"}, {0x08, "L2 Switch\t\t"},
    {0x04, "SR Bridge\t\t"},   {0x02, "L2 Bridge\t\t"},  {0x01, "L3 Router\t\t"},
};

// One record's value: the bytes after its header, cut at the record's end
// and at the capture, and the length the record declares for them.
struct Record {
  WORD type;
  qv::View value;
  int valueLength;
};

// A text value: at most its declared length, up to a NUL, and no more than
// the line's bound allows.
DetailLine* TextValue(qv::DetailList& list, const Record& r, const char* label) {
  const int64_t n = std::max<int64_t>(0, std::min<int64_t>(r.valueLength, r.value.size()));
  const BYTE* bytes = r.value.Bytes(0, n);
  return list.Quote(r.value.Offset(), r.valueLength, label, bytes ? reinterpret_cast<const char*>(bytes) : "", n);
}

// The address list: a count, then entries of a protocol (type, length,
// bytes) and an address (length, bytes). Entries end at the record's end
// whatever the count says.
bool AddressValue(qv::DetailList& list, const Record& r) {
  const qv::View& v = r.value;
  DWORD count;
  if (!v.Be32(0, &count)) return true;
  if (!list.Add<"Address Count\t\t%d">(v.Offset(), 4, (int32_t)count)) return false;
  int64_t q = 4;
  BYTE protocolType, protocolLength;
  for (DWORD i = 0; i < count && q + 2 < v.size() && v.U8(q, &protocolType) && v.U8(q + 1, &protocolLength); i++) {
    list.Group<"Protocol">(&g_protocolState, v.Offset(q), protocolLength + 2);
    list.Add<"Type\t\t\t\t%s">(v.Offset(q), 1,
                               protocolType == 1   ? "NLPID"
                               : protocolType == 2 ? "IEEE 802.2"
                                                   : "Unknown");
    list.Add<"Length\t\t\t%d">(v.Offset(q + 1), 1, protocolLength);
    if (list.stopped) return false;
    const BYTE* protocol = v.Bytes(q + 2, protocolLength);
    if (!protocol) {
      list.Close();  // the cut entry's group ends with the list
      break;
    }
    char bytes[8 * 3 + 1] = "";
    for (int k = 0; k < std::min<int>(protocolLength, 8); k++) qv::AppendText(bytes, sizeof bytes, "%02X ", protocol[k]);
    if (!list.Add<"Protocol\t\t\t%s">(v.Offset(q + 2), protocolLength, bytes)) return false;
    list.Close();

    const int64_t a = q + 2 + protocolLength;
    WORD addressLength;
    if (!v.Be16(a, &addressLength)) break;
    list.Group<"Address">(&g_addressState, v.Offset(a), addressLength + 2);
    list.Add<"Length\t\t\t%d">(v.Offset(a), 2, addressLength);
    if (list.stopped) return false;
    const BYTE* address = v.Bytes(a + 2, addressLength);
    if (!address) {
      list.Close();
      break;
    }
    char dotted[128] = "";  // 16 numbers and "..." at most
    if (qv::g_table->FormatDottedAddress) qv::g_table->FormatDottedAddress(address, addressLength, dotted);
    dotted[sizeof dotted - 1] = 0;
    if (!list.Add<"Address\t\t\t%s">(v.Offset(a + 2), addressLength, dotted)) return false;
    list.Close();
    q = a + 2 + addressLength;
  }
  return true;
}

bool CapabilitiesValue(qv::DetailList& list, const Record& r) {
  DWORD word;
  if (!r.value.Be32(0, &word)) return true;
  const int at = r.value.Offset();
  list.Group<"Capabilities">(&g_capabilitiesState, at, r.valueLength);
  list.FlagLines<"%s%s[%s]">(at, r.valueLength, word, kCapabilityBits, {"On\t\t", "Off\t"}, {32});
  if (list.stopped) return false;
  list.Close();
  return true;
}

// The value lines of one record; false when the host gave no line.
bool RecordValue(qv::DetailList& list, const Record& r) {
  // A value cut off entirely by the capture shows nothing.
  if (r.valueLength > 0 && r.value.empty()) return true;
  const int at = r.value.Offset();
  switch (r.type) {
    case kDeviceId:
    case kPortId:
      return TextValue(list, r, "ID\t\t\t\t\t\t") != nullptr;
    case kVersion:
      return TextValue(list, r, "Version\t\t\t\t") != nullptr;
    case kPlatform:
      return TextValue(list, r, "Platform\t\t\t\t") != nullptr;
    case kAddress:
      return AddressValue(list, r);
    case kCapabilities:
      return CapabilitiesValue(list, r);
    case kIpPrefix:
      return list.Add<"IP Prefix">(at, r.valueLength) != nullptr;
    default:
      return list.Add<"Unknown">(at, r.valueLength) != nullptr;
  }
}

void DetailCdp(qv::Layer& l, qv::DetailList& list) {
  const qv::View& h = l.header;
  const int o = l.offset();
  if (!l.Title(list, (int)h.size())) return;
  BYTE version, ttl;
  WORD checksum;
  if (!h.U8(0, &version) || !list.Add<"Version\t\t\t\t\t%d">(o, 1, version)) return;
  if (!h.U8(1, &ttl) || !list.Add<"Time To Live\t\t\t%d seconds">(o + 1, 1, ttl)) return;
  if (!h.Be16(2, &checksum) || !list.Add<"CheckSum\t\t\t\t\t%04X">(o + 2, 2, checksum)) return;

  // The records: each runs over its own sub-range, its declared length cut
  // at the capture.
  qv::Cursor c(h, kRecordHeader);
  WORD type, length;
  while (h.Be16(c.at(), &type) && h.Be16(c.at() + 2, &length)) {
    const char* name = kRecordNames(type);
    list.Group<"%s">(&g_recordState[RecordKind(type)], c.Offset(), length, name);
    list.Add<"Type\t\t\t\t\t%s">(c.Offset(), 2, name);
    list.Add<"Length\t\t\t\t%d">(c.Offset() + 2, 2, length);
    if (list.stopped) return;
    // A length that does not cover its own header would never move on.
    if (length < kRecordHeader) {
      list.Close();
      break;
    }
    const qv::View record = c.Take(length);
    if (!RecordValue(list, Record{type, record.From(kRecordHeader), length - kRecordHeader})) return;
    list.Close();  // ends the record's group
  }
  list.Close();  // ends the title group
}

constexpr qv::Binding kBindings[] = {{"MAC-802.3", 0x2000}, {"LLC-SNAP", 0x2000}};

}  // namespace

constexpr qv::ProtocolDecl kCdpDecl = {
    .nameId = "CISCO-CDP",
    .description = "Cisco Discovery Protocol",
    .flags = PROTOCOL_CHILD,
    .control = qv::CONTROL_LEAF,
    .statistics = {2, "CDP"},
    .words = {"CDP", "Packet"},
    .detail = DetailCdp,
    .bindings = kBindings,
};
qv::Protocol g_cdp = qv::Declare<g_cdp, kCdpDecl>();

}  // namespace quillet
