// LLC-802.2: the 802.2 header after an 802.3 length, an 802.1Q length or an
// 802.11 data header. UI and I frames are handed on by destination SAP.
#include "brannock.h"

namespace brannock {

namespace {

ChildTable g_children;

enum FrameKind { FRAME_U, FRAME_I, FRAME_S };

// Names of U frames by control & 0xEC and of S frames by control & 0x0C:
// the summary's word and the detail's text.
struct FrameName {
  DWORD key;
  const char* summary;
  const char* detail;
};
constexpr FrameName kUnnumbered[] = {
    {0, "UI", "Unnumbered Information"},
    {12, "DM", "Disconnect Mode"},
    {64, "DISC", "Disconnect"},
    {96, "UA", "Unnumbered Acknowledgement"},
    {100, "AC0", "AC0"},
    {108, "SABME", "Set Asynchronous Balanced Mode Extended"},
    {132, "FRMR", "Frame Reject"},
    {172, "XID", "Extended ID"},
    {224, "TEST", "Test"},
    {228, "AC1", "AC1"},
};
constexpr FrameName kBadUnnumbered = {0, "Bad Unnumbered Frame", "Bad Unnumbered Frame"};
constexpr FrameName kSupervisory[] = {
    {0, "RR-%u", "Supervisory Frame\t\tReceive Ready %u"},
    {4, "RNR-%u", "Supervisory Frame\t\tReceive Not Ready %u"},
    {8, "REJ-%u", "Supervisory Frame\t\tReject %u"},
};
constexpr FrameName kBadSupervisory = {0, "Bad Supervisory Frame", "Supervisory Frame\t\tBad Supervisory Frame"};

const FrameName& Unnumbered(BYTE control) {
  const FrameName* n = qv::FindRow<FrameName>(kUnnumbered, control & 0xEC);
  return n ? *n : kBadUnnumbered;
}
const FrameName& Supervisory(BYTE control) {
  const FrameName* n = qv::FindRow<FrameName>(kSupervisory, control & 0x0C);
  return n ? *n : kBadSupervisory;
}

struct LlcHeader {
  bool known;  // the SAPs and the control byte are captured
  bool haveByte3;  // N(R) of I and S frames
  BYTE dsap, ssap, control, byte3;
  FrameKind kind;
  int length;  // 3 for U frames, 4 for I and S frames
};

// A frame with fewer than 3 bytes is counted, but gets no words, no lines
// and no hand-on. The fourth byte of I and S frames is shown only where it
// was captured.
[[gnu::always_inline]] inline LlcHeader ReadHeader(const qv::View& v) {
  LlcHeader h = {};
  if (!v.Has(0, 3)) return h;
  h.known = true;
  h.dsap = v.U8Or0(0);
  h.ssap = v.U8Or0(1);
  h.control = v.U8Or0(2);
  if ((h.control & 3) == 3) {
    h.kind = FRAME_U;
    h.length = 3;
    return h;
  }
  h.kind = (h.control & 1) == 0 ? FRAME_I : FRAME_S;
  h.length = 4;
  h.haveByte3 = v.U8(3, &h.byte3);
  return h;
}

// Only UI and I frames carry a payload for a child.
bool HandsOn(const LlcHeader& h) { return h.kind == FRAME_I || (h.kind == FRAME_U && (h.control & 0xEC) == 0); }

// An S frame's name carries N(R); only a bad control word is named without it.
bool ShowsSupervisory(const LlcHeader& h) {
  return h.haveByte3 || !qv::FindRow<FrameName>(kSupervisory, h.control & 0x0C);
}

unsigned SendCount(const LlcHeader& h) { return h.control >> 1; }
unsigned ReceiveCount(const LlcHeader& h) { return h.byte3 >> 1; }

void SummarizeLlc(qv::Layer& l, SummaryRow* row) {
  const LlcHeader h = ReadHeader(l.header);
  if (!h.known) return;
  qv::SetCellText(row->protocol, "IEEE 802.2");
  switch (h.kind) {
    case FRAME_U:
      qv::SetCellText(row->description, Unnumbered(h.control).summary);
      break;
    case FRAME_I:
      qv::SetCell(row->description, "Info-%01u", SendCount(h));
      break;
    case FRAME_S:
      if (ShowsSupervisory(h)) qv::SetCell(row->description, Supervisory(h.control).summary, ReceiveCount(h));
      break;
  }
}

// A SAP's hex text and name, kept by SAP (the command/response bit aside):
// Halvern's table is compiled in, so they stay the same while the services
// that wrote them do.
using SapTexts = KeptTexts<1, GetHexNumberProc, RetrieveNumberProc, 8, 64>;
SapTexts g_sapTexts[128];

const SapTexts& TextsOfSap(BYTE sap) {
  const BYTE key = sap & 0xFE;
  SapTexts& t = g_sapTexts[sap >> 1];
  if (t.Holds(&key, g_svc.GetHexLSap, g_svc.RetrieveLSap)) return t;
  t.hexService(key, t.hex);
  t.named = t.nameService(key, t.name, 2);
  t.Measure();
  return t;
}

// One SAP line: its hex text, its name where it has one, and what more.
void SapLine(qv::DetailList& list, int at, std::string_view label, BYTE sap, std::string_view more) {
  const SapTexts& t = TextsOfSap(sap);
  if (t.named)
    list.Add<"%s%s\t%s%s">(at, 1, label, t.Hex(), t.Name(), more);
  else
    list.Add<"%s%s%s">(at, 1, label, t.Hex(), more);
}

void DetailLlc(qv::Layer& l, qv::DetailList& list) {
  const LlcHeader h = ReadHeader(l.header);
  if (!h.known) return;
  const int o = l.offset();
  if (!l.Title(list, (int)l.header.Sub(0, h.length).size())) return;
  SapLine(list, o, "Destination SAP\t\t", h.dsap, h.dsap & 1 ? "\tGroup SAP"sv : ""sv);
  if (list.stopped) return;
  SapLine(list, o + 1, "Source SAP\t\t\t\t", h.ssap, {});
  list.Add<"Frame Type\t\t\t\t%s">(o + 1, 1, h.ssap & 1 ? "Response"sv : "Command"sv);
  // The control line of I and S frames shows N(R): without it the lines end.
  switch (h.kind) {
    case FRAME_U:
      list.Add<"Unnumbered Frame\t\t%s">(o + 2, 1, Unnumbered(h.control).detail);
      break;
    case FRAME_I:
      if (h.haveByte3) list.Add<"Information Frame\t\tN(S)-%01u N(R)-%01u">(o + 2, 2, SendCount(h), ReceiveCount(h));
      break;
    case FRAME_S:
      if (ShowsSupervisory(h)) list.Add(o + 2, 2, Supervisory(h.control).detail, ReceiveCount(h));
      break;
  }
  // No line closes a group: the host ends the title group.
}

// UI and I frames by destination SAP; not after a detail that the host gave
// no line for.
ProtocolParse HandOnLlc(qv::Layer& l) {
  const LlcHeader h = ReadHeader(l.header);
  if (!h.known || !HandsOn(h) || l.detailStopped) return nullptr;
  l.frame->offset = l.offset() + h.length;
  return qv::FindChildProtocol(&g_children, h.dsap & 0xFE);
}

constexpr qv::Binding kBindings[] = {{"MAC-802.3", 0}};

}  // namespace

constexpr qv::ProtocolDecl kLlcDecl = {
    .nameId = "LLC-802.2",
    .description = "IEEE 802.2 Logical Link Control",
    .flags = PROTOCOL_PARENT | PROTOCOL_CHILD,
    .control = qv::CONTROL_PARENT,
    .statistics = {2, "IEEE 802.2"},
    .children = &g_children,
    .summary = SummarizeLlc,
    .detail = DetailLlc,
    .handOn = HandOnLlc,
    .bindings = kBindings,
};
qv::Protocol g_llc = qv::Declare<g_llc, kLlcDecl>();

}  // namespace brannock
