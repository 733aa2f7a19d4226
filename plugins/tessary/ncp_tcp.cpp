// NCP-TCP: the transport header of NCP over TCP and UDP port 524, a 16-byte
// request header ("DmdT") or an 8-byte reply header ("tNcP"). The NCP
// header behind it goes to IPX-NCP; a segment with neither signature is a
// data fragment that goes nowhere.
#include <string.h>

#include "tessary.h"

namespace tessary {

namespace {

const int kRequestLength = 16;
const int kReplyLength = 8;

ProtocolParse g_ncpCache;

enum Kind { kFragment, kRequest, kReply };

// The signature is read only when all four bytes were captured.
Kind KindOf(const qv::View& h) {
  const BYTE* signature = h.Bytes(0, 4);
  if (!signature) return kFragment;
  if (memcmp(signature, "DmdT", 4) == 0) return kRequest;
  if (memcmp(signature, "tNcP", 4) == 0) return kReply;
  return kFragment;
}

// Only the transport header is counted, never the payload.
void CountNcpTcp(qv::Layer& l) {
  qv::CountBytes(&l.protocol.counters, KindOf(l.header) == kRequest ? kRequestLength : kReplyLength);
}

void SummarizeNcpTcp(qv::Layer& l, SummaryRow* row) {
  static const char* const kWords[] = {"Data Fragment", "Transport Request", "Transport Response"};
  qv::SetCellText(row->protocol, "NCP Over TCP");
  qv::SetCellText(row->description, kWords[KindOf(l.header)]);
}

// The lines end at the first field that was not captured; the last line of
// a whole header ends the title group.
void DetailNcpTcp(qv::Layer& l, qv::DetailList& list) {
  const qv::View& h = l.header;
  const int o = l.offset();
  const Kind kind = KindOf(h);
  // The captured bytes left (never below 0) against the declared size, as
  // unsigned numbers: a size of 2^31 or more never makes the title shorter.
  const uint64_t left = (uint64_t)h.size();
  DWORD size;
  const uint64_t length = kind != kFragment && h.Be32(4, &size) && size < left ? size : left;
  if (!list.Group<"Netware Core Protocol over TCP">(&l.protocol.titleState, o, (int)length)) return;
  if (kind == kFragment) {
    list.Add<"Data Fragment">(o, (int)left);
    list.Close();
    return;
  }
  const BYTE* s = h.Bytes(0, 4);
  list.Add<"Indicator\t\t\t\t[%c%c%c%c]\t%s">(o, 4, s[0], s[1], s[2], s[3],
                                              kind == kRequest ? "Request"sv : "Response"sv);
  if (!h.Be32(4, &size)) return;
  list.Add<"Packet Size\t\t\t\t%d">(o + 4, 4, (int)size);
  if (kind == kRequest) {
    DWORD unknown1, unknown2;
    if (!h.Be32(8, &unknown1)) return;
    list.Add<"Unknown 1\t\t\t\t%d">(o + 8, 4, (int)unknown1);
    if (!h.Be32(12, &unknown2)) return;
    list.Add<"Unknown 2\t\t\t\t%d">(o + 12, 4, (int)unknown2);
  }
  list.Close();
}

// IPX-NCP gets the frame only when the whole transport header lies within
// the frame and the capture, so it never counts bytes the frame lacks.
ProtocolParse HandOnNcpTcp(qv::Layer& l) {
  const Kind kind = KindOf(l.header);
  if (kind == kFragment) return nullptr;
  const int length = kind == kRequest ? kRequestLength : kReplyLength;
  CaptureFrame* frame = l.frame;
  if ((int64_t)frame->frameLength - l.offset() < length || !l.header.Has(0, length)) return nullptr;
  frame->offset = l.offset() + length;
  return g_ncpCache;
}

constexpr qv::Binding kBindings[] = {{"IP-TCP", 524}, {"IP-UDP", 524}};
constexpr qv::Cache kCaches[] = {{"IPX-NCP", &g_ncpCache}};

}  // namespace

// A parent's flags, although it keeps no child table of its own.
constexpr qv::ProtocolDecl kNcpTcpDecl = {
    .nameId = "NCP-TCP",
    .description = "NCP Over TCP",
    .flags = PROTOCOL_PARENT | PROTOCOL_CHILD,
    .control = qv::CONTROL_LEAF,
    .statistics = {4, "NCP Over TCP"},
    .count = CountNcpTcp,
    .summary = SummarizeNcpTcp,
    .detail = DetailNcpTcp,
    .handOn = HandOnNcpTcp,
    .bindings = kBindings,
    .caches = kCaches,
};
qv::Protocol g_ncpTcp = qv::Declare<g_ncpTcp, kNcpTcpDecl>();

}  // namespace tessary
