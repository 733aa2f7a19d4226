// DOD-IP: the IPv4 header. The datagram's total length trims the frame (so
// Ethernet padding reaches no child), and its protocol number picks the child.
// The header is RFC 791's (3.1).
#include <string.h>

#include "corvale.h"

namespace corvale {

namespace {

const WORD kDontFragment = 0x4000;
const WORD kMoreFragments = 0x2000;
const WORD kOffsetMask = 0x1FFF;
const int kMinimumIhl = 5;  // the 20 fixed bytes, in words

ChildTable g_children;
BYTE g_fragmentState;

// The fixed header: options are not decoded.
struct IpHeader {
  const qv::View& v;  // the layer's view of the header, not a copy (see brannock's MacHeader)
  bool Has(int pos, int count) const { return v.Has(pos, count); }
  int Version() const { return v.U8Or0(0) >> 4; }
  int Ihl() const { return v.U8Or0(0) & 0xF; }
  const BYTE* Address(int pos) const { return v.Bytes(pos, 4); }
  // A fragment other than the first: its payload starts inside the
  // datagram's, so it holds no header of the protocol it carries.
  bool LaterFragment() const { return (v.Be16Or0(6) & kOffsetMask) != 0; }
};

void CountIp(qv::Layer& l) {
  // The datagram's own length, also when the capture cut it short.
  WORD length;
  if (l.header.Be16(2, &length))
    qv::CountBytes(&l.protocol.counters, length);
  else
    qv::CountProtocolFrame(&l.protocol.counters, l.frame);
}

void SummarizeIp(qv::Layer& l, SummaryRow* row) {
  const IpHeader h{l.header};
  const DWORD flags = TableFlags();
  qv::SetCellText(row->protocol, "IP");
  qv::SetCellText(row->description, h.LaterFragment() ? "Datagram Fragment" : "Datagram");
  if (!(flags & MT_SHOW_NETWORK_ADDRESSES)) return;
  // A cell that holds a name-table name keeps it unless raw addresses are
  // asked for; an address that was not captured leaves its cell alone, so
  // no port is appended to it either.
  const bool raw = (flags & MT_RAW_ADDRESSES) != 0;
  DWORD network = 0;  // both bits in one write
  if ((!(flags & MT_DESTINATION_NAMED) || raw) && h.Has(16, 4)) {
    DottedAddress(h.Address(16), row->destination->text);
    network |= MT_DESTINATION_IS_NETWORK;
  }
  if ((!(flags & MT_SOURCE_NAMED) || raw) && h.Has(12, 4)) {
    DottedAddress(h.Address(12), row->source->text);
    network |= MT_SOURCE_IS_NETWORK;
  }
  if (network) SetTableFlags(network);
}

// The header lines end at the first field that was not captured.
// The label, then the dotted text written in place behind it: the writer
// needs at most 64 bytes, and the line has room for them past any label.
template <qv::literal::Format F>
void AddressLine(qv::DetailList& list, int at, const BYTE* address) {
  static_assert(sizeof F.text - 1 + 64 <= DETAIL_TEXT_SIZE);
  if (DetailLine* line = list.Add<F>(at, 4)) DottedAddress(address, line->text + sizeof F.text - 1);
}

void DetailIp(qv::Layer& l, qv::DetailList& list) {
  const IpHeader h{l.header};
  const int o = l.offset();
  if (!l.Title(list, h.Has(0, 1) ? h.Ihl() * 4 : 0)) return;
  if (!h.Has(0, 1)) return;
  const BYTE first = h.v.U8Or0(0);
  list.Add<"Header Version\t\t\t%u\t\t\t\t[%s]">(o, 1, (unsigned)h.Version(), qv::Bits(first, 0xF0, 8, 4));
  list.Add<"Header Length\t\t\t%u bytes\t\t[%s]">(o, 1, (unsigned)h.Ihl() * 4, qv::Bits(first, 0x0F, 8, 4));
  if (!h.Has(1, 1)) return;
  list.Add<"Type of Service\t\t%d">(o + 1, 1, h.v.U8Or0(1));
  if (!h.Has(2, 2)) return;
  list.Add<"Datagram Length\t\t%u">(o + 2, 2, (unsigned)h.v.Be16Or0(2));
  if (!h.Has(4, 2)) return;
  list.Add<"Differentiator\t\t\t%01u">(o + 4, 2, (unsigned)h.v.Be16Or0(4));
  if (!h.Has(6, 2)) return;
  const WORD word = h.v.Be16Or0(6);
  list.Group<"Fragmentation Information">(&g_fragmentState, o + 6, 2);
  list.Add<"More Fragments\t\t%s%s">(o + 6, 2, (word & kMoreFragments) ? "on\t\t"sv : "off\t"sv,
                                     qv::Bits(word, kMoreFragments, 16, 4));
  list.Add<"Don't Fragment\t\t%s%s">(o + 6, 2, (word & kDontFragment) ? "on\t\t"sv : "off\t"sv,
                                     qv::Bits(word, kDontFragment, 16, 4));
  list.Add<"Offset\t\t\t\t%01u\t\t%s ">(o + 6, 2, (unsigned)(word & kOffsetMask), qv::Bits(word, kOffsetMask, 16, 4));
  list.Close();
  if (list.stopped || !h.Has(8, 1)) return;
  list.Add<"Time To Live\t\t\t%u">(o + 8, 1, (unsigned)h.v.U8Or0(8));
  if (!h.Has(9, 1)) return;
  list.Add<"Protocol\t\t\t\t\t%s">(o + 9, 1, ProtocolDescription(h.v.U8Or0(9)));
  if (!h.Has(10, 2)) return;
  list.Add<"Header Checksum\t\t0x%04x">(o + 10, 2, (unsigned)h.v.Be16Or0(10));
  if (!h.Has(12, 4)) return;
  AddressLine<"Source Address\t\t\t">(list, o + 12, h.Address(12));
  if (!h.Has(16, 4)) return;
  AddressLine<"Destination Address\t">(list, o + 16, h.Address(16));
}

// Stations send with a time-to-live of 32, 64, 128 or 255; any other value
// means a router forwarded the datagram, and the frame's media source is
// that router, not the station.
bool CrossedRouter(BYTE ttl) { return ttl != 32 && ttl != 64 && ttl != 128 && ttl != 255; }

// The datagram's total length trims the frame, so children count and read
// only the datagram; then the protocol number picks the child. A header cut
// before its protocol number names no child. Nor does a header length
// below the fixed 20 bytes, whose "payload" would be the header's own
// bytes, nor a fragment other than the first, whose bytes would be read as
// a header they are not: there is no reassembly.
ProtocolParse HandOnIp(qv::Layer& l) {
  const IpHeader h{l.header};
  CaptureFrame* frame = l.frame;
  WORD word;
  if (h.v.Be16(2, &word)) qv::TrimFrame(frame, (int64_t)l.offset() + word);
  if (h.v.Be16(6, &word)) frame->fragmentOffset = word & kOffsetMask;
  const BYTE* source = h.Address(12);
  LastIpSource.seen = source != nullptr;
  if (source) memcpy(LastIpSource.address, source, 4);
  if (source && CrossedRouter(h.v.U8Or0(8))) frame->flags |= FRAME_ROUTED;
  BYTE protocol;
  if (!h.v.U8(9, &protocol) || h.Ihl() < kMinimumIhl || h.LaterFragment()) return nullptr;
  frame->offset = l.offset() + h.Ihl() * 4;
  return qv::FindChildProtocol(&g_children, protocol);
}

constexpr qv::Binding kBindings[] = {{"MAC-802.3", 0x0800}, {"VLAN", 0x0800}};

}  // namespace

constexpr qv::ProtocolDecl kIpDecl = {
    .nameId = "DOD-IP",
    .description = "Internet Protocol",
    .flags = PROTOCOL_PARENT | PROTOCOL_CHILD,
    .control = qv::CONTROL_PARENT,
    .statistics = {3, "IP"},
    .children = &g_children,
    .count = CountIp,
    .summary = SummarizeIp,
    .detail = DetailIp,
    .handOn = HandOnIp,
    .bindings = kBindings,
};
qv::Protocol g_ip = qv::Declare<g_ip, kIpDecl>();

}  // namespace corvale
