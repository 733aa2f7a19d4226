// DOD-IP: the IPv4 header. The datagram's total length trims the frame (so
// Ethernet padding reaches no child), and its protocol number picks the child.
#include <stdio.h>
#include <string.h>

#include <algorithm>

#include "corvale.h"

namespace corvale {

namespace {

const int kFixedHeader = 20;  // options are not decoded
const WORD kDontFragment = 0x4000;
const WORD kMoreFragments = 0x2000;
const WORD kOffsetHighBit = 0x1000;
const WORD kOffsetMask = 0x1FFF;

BYTE g_enabled = 1;
DWORD g_color = 0;
ChildTable g_children;
qv::Counters g_counters;
BYTE g_titleState, g_fragmentState;

StatisticsEntry g_stats = {nullptr, 3, "IP", &g_counters.frames, &g_counters.bytes, nullptr};
StatisticsEntry* const g_statistics[] = {&g_stats};

DWORD QV_CALL ParseIp(DWORD pass, CaptureFrame* frame, void* out);
CTRLARG QV_CALL ControlIp(DWORD command, CTRLARG a1, CTRLARG a2, CTRLARG a3, CTRLARG a4);

void InitIp() {
  qv::BindUnder("MAC-802.3", 0x0800, ParseIp, ControlIp);
  qv::BindUnder("VLAN", 0x0800, ParseIp, ControlIp);
}

const qv::Protocol g_protocol = {&g_ip, qv::CONTROL_PARENT, &g_children, g_statistics, 1, InitIp};

CTRLARG QV_CALL ControlIp(DWORD command, CTRLARG a1, CTRLARG a2, CTRLARG a3, CTRLARG a4) {
  return qv::RunControl(g_protocol, command, a1, a2, a3, a4);
}

// The fixed header as far as it was captured when the parse began. It is
// copied before the total length trims the frame, since a total length
// below 20 trims into the header itself and its fields still show.
struct IpHeader {
  int captured;  // bytes present, 0 .. 20
  BYTE b[kFixedHeader];

  bool Has(int pos, int count) const { return pos + count <= captured; }
  WORD Be16(int pos) const { return (WORD)(b[pos] << 8 | b[pos + 1]); }
  int Version() const { return b[0] >> 4; }
  int Ihl() const { return b[0] & 0xF; }
};

void DottedAddress(const BYTE* address, char* text) {
  if (qv::g_svc.FormatDottedAddress)
    qv::g_svc.FormatDottedAddress(address, 4, text);
  else
    sprintf(text, "%u.%u.%u.%u", address[0], address[1], address[2], address[3]);
}

void CountIp(const IpHeader& h, const CaptureFrame* frame) {
  // The datagram's own length, also when the capture cut it short.
  if (h.Has(2, 2))
    qv::CountBytes(&g_counters, h.Be16(2));
  else
    qv::CountProtocolFrame(&g_counters, frame);
}

void SummarizeIp(const IpHeader& h, void* out) {
  if (!g_enabled) return;
  const DWORD flags = TableFlags();
  SummaryRow* row = static_cast<SummaryRow*>(out);
  qv::SetCell(row->protocol, "IP");
  qv::SetCell(row->description, "Datagram");
  if (!(flags & MT_SHOW_NETWORK_ADDRESSES)) return;
  // A cell that holds a name-table name keeps it unless raw addresses are
  // asked for; an address that was not captured leaves its cell alone, so
  // no port is appended to it either.
  const bool raw = (flags & MT_RAW_ADDRESSES) != 0;
  if ((!(flags & MT_DESTINATION_NAMED) || raw) && h.Has(16, 4)) {
    DottedAddress(h.b + 16, row->destination->text);
    SetTableFlags(MT_DESTINATION_IS_NETWORK);
  }
  if ((!(flags & MT_SOURCE_NAMED) || raw) && h.Has(12, 4)) {
    DottedAddress(h.b + 12, row->source->text);
    SetTableFlags(MT_SOURCE_IS_NETWORK);
  }
}

// The header lines end at the first field that was not captured.
void DetailIp(const IpHeader& h, int o, void* out) {
  qv::DetailList list(out);
  if (!list.Group(&g_titleState, o, h.Has(0, 1) ? h.Ihl() * 4 : 0, "Internet Protocol")) return;
  if (!h.Has(0, 1)) return;
  const int version = h.Version(), ihl = h.Ihl();
  list.Add(o, 1, "Header Version\t\t\t%u\t\t\t\t[%sxxxx]", (unsigned)version, NibblePicture(version));
  // The picture's trailing blank gives way to the closing bracket.
  list.Add(o, 1, "Header Length\t\t\t%u bytes\t\t[xxxx %.4s]", (unsigned)ihl * 4, NibblePicture(ihl));
  if (!h.Has(1, 1)) return;
  list.Add(o + 1, 1, "Type of Service\t\t%d", h.b[1]);
  if (!h.Has(2, 2)) return;
  list.Add(o + 2, 2, "Datagram Length\t\t%u", (unsigned)h.Be16(2));
  if (!h.Has(4, 2)) return;
  list.Add(o + 4, 2, "Differentiator\t\t\t%01u", (unsigned)h.Be16(4));
  if (!h.Has(6, 2)) return;
  const WORD word = h.Be16(6);
  list.Group(&g_fragmentState, o + 6, 2, "Fragmentation Information");
  list.Add(o + 6, 2, "More Fragments\t\t%s",
           (word & kMoreFragments) ? "on\t\txx1x xxxx xxxx xxxx" : "off\txx0x xxxx xxxx xxxx");
  list.Add(o + 6, 2, "Don't Fragment\t\t%s",
           (word & kDontFragment) ? "on\t\tx1xx xxxx xxxx xxxx" : "off\tx0xx xxxx xxxx xxxx");
  DetailLine* offsetLine = list.Add(o + 6, 2, "Offset\t\t\t\t%01u\t\t%s%s%s%s", (unsigned)(word & kOffsetMask),
                                    (word & kOffsetHighBit) ? "xxx1 " : "xxx0 ", NibblePicture(word >> 8),
                                    NibblePicture(word >> 4), NibblePicture(word));
  if (!offsetLine) return;
  qv::CloseDetailGroup(offsetLine);
  if (!h.Has(8, 1)) return;
  list.Add(o + 8, 1, "Time To Live\t\t\t%u", (unsigned)h.b[8]);
  if (!h.Has(9, 1)) return;
  char name[128];
  RetrieveIPProtocol(h.b[9], name, IP_NAME_STYLE_LONG);
  list.Add(o + 9, 1, "Protocol\t\t\t\t\t%s", name);
  if (!h.Has(10, 2)) return;
  list.Add(o + 10, 2, "Header Checksum\t\t0x%04x", (unsigned)h.Be16(10));
  char address[64];
  if (!h.Has(12, 4)) return;
  DottedAddress(h.b + 12, address);
  list.Add(o + 12, 4, "Source Address\t\t\t%s", address);
  if (!h.Has(16, 4)) return;
  DottedAddress(h.b + 16, address);
  list.Add(o + 16, 4, "Destination Address\t%s", address);
}

DWORD QV_CALL ParseIp(DWORD pass, CaptureFrame* frame, void* out) {
  const int o = frame->offset;
  IpHeader h;
  h.captured = (int)std::min<int64_t>(qv::CapturedFrom(frame, o), kFixedHeader);
  if (h.captured > 0) memcpy(h.b, frame->data + o, (size_t)h.captured);

  // Trim before anything else: children count and read only the datagram.
  // A total length beyond the frame changes nothing.
  if (h.Has(2, 2)) {
    const int64_t end = (int64_t)o + h.Be16(2);
    if (end < frame->frameLength) {
      frame->frameLength = (int32_t)end;
      if (frame->capturedLength > frame->frameLength) frame->capturedLength = frame->frameLength;
    }
  }

  qv::MarkFrame(&g_ip, frame);
  void* next = out;
  switch (pass) {
    case PASS_COUNT:
      CountIp(h, frame);
      break;
    case PASS_SUMMARY:
      SummarizeIp(h, out);
      break;
    case PASS_DETAIL:
      if (g_enabled) DetailIp(h, o, out);
      next = static_cast<DetailLine**>(out) + 1;
      break;
    default:
      break;  // no work of its own, but the datagram still goes on
  }

  if (h.Has(6, 2)) frame->fragmentOffset = h.Be16(6) & kOffsetMask;
  // A header cut before its protocol number names no child. Fragments go on
  // like whole datagrams; an IHL below 5 is used as it stands.
  if (!h.Has(9, 1)) return 0;
  frame->offset = o + h.Ihl() * 4;
  qv::FindChildProtocol(&g_children, h.b[9])(pass, frame, next);
  return 0;
}

}  // namespace

ProtocolDescriptor g_ip = {{0, 0},     "DOD-IP", "Internet Protocol",
                           &g_enabled, &g_color, PROTOCOL_PARENT | PROTOCOL_CHILD,
                           ControlIp,  ParseIp,  nullptr};

}  // namespace corvale
