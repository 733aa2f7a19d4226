// CISCO-CDP: a 4-byte header and type-length-value records. A leaf, bound
// under MAC-802.3 0x2000, which LLC-SNAP also reaches through MAC-802.3's
// table.
#include <string.h>

#include <algorithm>

#include "quillet.h"

namespace quillet {

namespace {

BYTE g_enabled = 1;
DWORD g_color = 0;
qv::Counters g_counters;

StatisticsEntry g_stats = {nullptr, 2, "CDP", &g_counters.frames, &g_counters.bytes, nullptr};
StatisticsEntry* const g_statistics[] = {&g_stats};

DWORD QV_CALL ParseCdp(DWORD pass, CaptureFrame* frame, void* out);
CTRLARG QV_CALL ControlCdp(DWORD command, CTRLARG a1, CTRLARG a2, CTRLARG a3, CTRLARG a4);

void InitCdp() {
  qv::BindUnder("MAC-802.3", 0x2000, ParseCdp, ControlCdp);
  qv::BindUnder("LLC-SNAP", 0x2000, ParseCdp, ControlCdp);
}

const qv::Protocol g_protocol = {&g_cdp, qv::CONTROL_LEAF, nullptr, g_statistics, 1, InitCdp};

CTRLARG QV_CALL ControlCdp(DWORD command, CTRLARG a1, CTRLARG a2, CTRLARG a3, CTRLARG a4) {
  return qv::RunControl(g_protocol, command, a1, a2, a3, a4);
}

enum RecordType : WORD {
  kDeviceId = 1,
  kAddress = 2,
  kPortId = 3,
  kCapabilities = 4,
  kVersion = 5,
  kPlatform = 6,
  kIpPrefix = 7,
};
const int kRecordHeader = 4;
const size_t kMaxLineText = 128;  // characters of a line that quotes frame text

// Index 0 names every other type.
const char* const kRecordNames[] = {"Unknown", "Device ID", "Address", "Port ID",
                                    "Capabilities", "Version", "Platform", "IP Prefix"};
const size_t kRecordKinds = sizeof kRecordNames / sizeof kRecordNames[0];

BYTE g_titleState, g_protocolState, g_addressState, g_capabilitiesState;
BYTE g_recordState[kRecordKinds];

struct Capability {
  DWORD bit;
  const char* label;
  const char* on;
  const char* off;
};
const Capability kCapabilityBits[] = {
    {0x40, "Provides L1\t\t", "On\t\t[xxxxxxxx xxxxxxxx xxxxxxxx x1xxxxxx]", "Off\t[xxxxxxxx xxxxxxxx xxxxxxxx x0xxxxxx]"},
    {0x20, "IGMP Not Fwd\t", "On\t\t[xxxxxxxx xxxxxxxx xxxxxxxx xx1xxxxx]", "Off\t[xxxxxxxx xxxxxxxx xxxxxxxx xx0xxxxx]"},
    {0x10, "L3 Protocol\t\t", "On\t\t[xxxxxxxx xxxxxxxx xxxxxxxx xxx1xxxx]", "Off\t[xxxxxxxx xxxxxxxx xxxxxxxx xxx0xxxx]"},
    {0x08, "L2 Switch\t\t", "On\t\t[xxxxxxxx xxxxxxxx xxxxxxxx xxxx1xxx]", "Off\t[xxxxxxxx xxxxxxxx xxxxxxxx xxxx0xxx]"},
    {0x04, "SR Bridge\t\t", "On\t\t[xxxxxxxx xxxxxxxx xxxxxxxx xxxxx1xx]", "Off\t[xxxxxxxx xxxxxxxx xxxxxxxx xxxxx0xx]"},
    {0x02, "L2 Bridge\t\t", "On\t\t[xxxxxxxx xxxxxxxx xxxxxxxx xxxxxx1x]", "Off\t[xxxxxxxx xxxxxxxx xxxxxxxx xxxxxx0x]"},
    {0x01, "L3 Router\t\t", "On\t\t[xxxxxxxx xxxxxxxx xxxxxxxx xxxxxxx1]", "Off\t[xxxxxxxx xxxxxxxx xxxxxxxx xxxxxxx0]"},
};

size_t RecordKind(WORD type) { return type < kRecordKinds ? type : 0; }

// One record's value, bounded by the record's end and the capture.
struct Record {
  const CaptureFrame* frame;
  WORD type;
  int at;       // the record header
  int length;   // as declared, header included (at least 4 here)
  int64_t end;  // min(record end, captured end)

  int value() const { return at + kRecordHeader; }
  int valueLength() const { return length - kRecordHeader; }
};

// A text value: at most its declared length, up to a NUL, and no more than
// the line's bound allows.
DetailLine* TextValue(qv::DetailList& list, const Record& r, const char* label) {
  const int64_t room = (int64_t)kMaxLineText - (int64_t)strlen(label);
  const int64_t n = std::max<int64_t>(0, std::min<int64_t>({(int64_t)r.valueLength(), room, r.end - r.value()}));
  const BYTE* bytes = n > 0 ? qv::FrameBytes(r.frame, r.value(), n) : nullptr;
  const char* text = bytes ? reinterpret_cast<const char*>(bytes) : "";
  return list.Add(r.value(), r.valueLength(), "%s%.*s", label, (int)n, text);
}

// The address list: a count, then entries of a protocol (type, length,
// bytes) and an address (length, bytes). Entries end at the record's end
// whatever the count says.
bool AddressValue(qv::DetailList& list, const Record& r) {
  const CaptureFrame* f = r.frame;
  DWORD count = 0;
  if (r.value() + 4 > r.end || !qv::ReadBe32(f, r.value(), &count)) return true;
  if (!list.Add(r.value(), 4, "Address Count\t\t%d", (int32_t)count)) return false;
  int64_t q = (int64_t)r.value() + 4;
  BYTE protocolType = 0, protocolLength = 0;
  for (DWORD i = 0; i < count && q + 2 < r.end && qv::ReadU8(f, q, &protocolType) &&
                    qv::ReadU8(f, q + 1, &protocolLength);
       i++) {
    list.Group(&g_protocolState, (int)q, protocolLength + 2, "Protocol");
    list.Add((int)q, 1, "Type\t\t\t\t%s",
             protocolType == 1 ? "NLPID" : protocolType == 2 ? "IEEE 802.2" : "Unknown");
    list.Add((int)q + 1, 1, "Length\t\t\t%d", protocolLength);
    if (list.stopped) return false;
    const BYTE* protocol = qv::FrameBytes(f, q + 2, protocolLength);
    if (!protocol || q + 2 + protocolLength > r.end) {
      qv::CloseDetailGroup(list.last);  // the cut entry's group ends with the list
      break;
    }
    char bytes[8 * 3 + 1] = "";
    for (int k = 0; k < std::min<int>(protocolLength, 8); k++) qv::AppendText(bytes, sizeof bytes, "%02X ", protocol[k]);
    DetailLine* line = list.Add((int)q + 2, protocolLength, "Protocol\t\t\t%s", bytes);
    if (!line) return false;
    qv::CloseDetailGroup(line);

    const int64_t a = q + 2 + protocolLength;
    WORD addressLength = 0;
    if (a + 2 > r.end || !qv::ReadBe16(f, a, &addressLength)) break;
    list.Group(&g_addressState, (int)a, addressLength + 2, "Address");
    list.Add((int)a, 2, "Length\t\t\t%d", addressLength);
    if (list.stopped) return false;
    const BYTE* address = qv::FrameBytes(f, a + 2, addressLength);
    if (!address || a + 2 + addressLength > r.end) {
      qv::CloseDetailGroup(list.last);
      break;
    }
    char dotted[128] = "";  // 16 numbers and "..." at most
    if (qv::g_table->FormatDottedAddress) qv::g_table->FormatDottedAddress(address, addressLength, dotted);
    dotted[sizeof dotted - 1] = 0;
    line = list.Add((int)a + 2, addressLength, "Address\t\t\t%s", dotted);
    if (!line) return false;
    qv::CloseDetailGroup(line);
    q = a + 2 + addressLength;
  }
  return true;
}

bool CapabilitiesValue(qv::DetailList& list, const Record& r) {
  DWORD word = 0;
  if (r.value() + 4 > r.end || !qv::ReadBe32(r.frame, r.value(), &word)) return true;
  list.Group(&g_capabilitiesState, r.value(), r.valueLength(), "Capabilities");
  for (const Capability& c : kCapabilityBits)
    list.Add(r.value(), r.valueLength(), "%s%s", c.label, (word & c.bit) ? c.on : c.off);
  if (list.stopped) return false;
  qv::CloseDetailGroup(list.last);
  return true;
}

// The value lines of one record; false when the host gave no line.
bool RecordValue(qv::DetailList& list, const Record& r) {
  // A value cut off entirely by the capture shows nothing.
  if (r.valueLength() > 0 && r.value() >= r.end) return true;
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
      return list.Add(r.value(), r.valueLength(), "IP Prefix") != nullptr;
    default:
      return list.Add(r.value(), r.valueLength(), "Unknown") != nullptr;
  }
}

void CountCdp(const BYTE*, CaptureFrame* frame, void*) { qv::CountProtocolFrame(&g_counters, frame); }

void SummarizeCdp(const BYTE*, CaptureFrame*, void* out) {
  if (!g_enabled) return;
  SummaryRow* row = static_cast<SummaryRow*>(out);
  qv::SetCell(row->protocol, "CDP");
  qv::SetCell(row->description, "Packet");
}

void DetailCdp(const BYTE*, CaptureFrame* frame, void* out) {
  qv::DetailList list(out);
  const int o = frame->offset;
  if (!list.Group(&g_titleState, o, (int)qv::CapturedFrom(frame, o), "Cisco Discovery Protocol")) return;
  BYTE version = 0, ttl = 0;
  WORD checksum = 0;
  if (!qv::ReadU8(frame, o, &version) || !list.Add(o, 1, "Version\t\t\t\t\t%d", version)) return;
  if (!qv::ReadU8(frame, o + 1, &ttl) || !list.Add(o + 1, 1, "Time To Live\t\t\t%d seconds", ttl)) return;
  if (!qv::ReadBe16(frame, o + 2, &checksum) || !list.Add(o + 2, 2, "CheckSum\t\t\t\t\t%04X", checksum)) return;

  int64_t p = (int64_t)o + kRecordHeader;
  WORD type = 0, length = 0;
  while (qv::ReadBe16(frame, p, &type) && qv::ReadBe16(frame, p + 2, &length)) {
    const char* name = kRecordNames[RecordKind(type)];
    list.Group(&g_recordState[RecordKind(type)], (int)p, length, "%s", name);
    list.Add((int)p, 2, "Type\t\t\t\t\t%s", name);
    list.Add((int)p + 2, 2, "Length\t\t\t\t%d", length);
    if (list.stopped) return;
    // A length that does not cover its own header would never move on.
    if (length < kRecordHeader) {
      qv::CloseDetailGroup(list.last);
      break;
    }
    const Record r = {frame, type, (int)p, length, std::min<int64_t>(p + length, frame->capturedLength)};
    if (!RecordValue(list, r)) return;
    qv::CloseDetailGroup(list.last);  // ends the record's group
    p += length;
  }
  qv::CloseDetailGroup(list.last);  // ends the title group
}

const qv::LeafRoutines g_routines = {&g_cdp, CountCdp, SummarizeCdp, DetailCdp};

DWORD QV_CALL ParseCdp(DWORD pass, CaptureFrame* frame, void* out) {
  return qv::ParseLeafProtocol(g_routines, pass, frame, out);
}

}  // namespace

ProtocolDescriptor g_cdp = {{0, 0}, "CISCO-CDP", "Cisco Discovery Protocol", &g_enabled, &g_color,
                            PROTOCOL_CHILD, ControlCdp, ParseCdp, nullptr};

}  // namespace quillet
