// LLC-802.2: the 802.2 header after an 802.3 length, an 802.1Q length or an
// 802.11 data header. UI and I frames are handed on by destination SAP.
#include "brannock.h"

namespace brannock {

namespace {

BYTE g_enabled = 1;
DWORD g_color = 0;
ChildTable g_children;
qv::Counters g_counters;
StatisticsEntry g_stats = {nullptr, 2, "IEEE 802.2", &g_counters.frames, &g_counters.bytes, nullptr};
StatisticsEntry* const g_statistics[] = {&g_stats};
BYTE g_titleState;

enum FrameKind { FRAME_U, FRAME_I, FRAME_S };

struct UnnumberedName {
  BYTE code;  // control & 0xEC
  const char* summary;
  const char* detail;
};
const UnnumberedName kUnnumbered[] = {
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
const UnnumberedName kBadUnnumbered = {0, "Bad Unnumbered Frame", "Bad Unnumbered Frame"};

const UnnumberedName& Unnumbered(BYTE control) {
  for (const UnnumberedName& n : kUnnumbered)
    if (n.code == (control & 0xEC)) return n;
  return kBadUnnumbered;
}

struct LlcHeader {
  BYTE dsap, ssap, control, byte3;
  FrameKind kind;
  int length;  // 3 for U frames, 4 for I and S frames
};

// The header, when the whole header of the frame's kind is captured.
bool ReadHeader(const CaptureFrame* frame, int at, LlcHeader* h) {
  const BYTE* p = qv::FrameBytes(frame, at, 3);
  if (!p) return false;
  h->dsap = p[0];
  h->ssap = p[1];
  h->control = p[2];
  h->byte3 = 0;
  if ((h->control & 3) == 3) {
    h->kind = FRAME_U;
    h->length = 3;
    return true;
  }
  h->kind = (h->control & 1) == 0 ? FRAME_I : FRAME_S;
  h->length = 4;
  return qv::ReadU8(frame, (int64_t)at + 3, &h->byte3);
}

// Only UI and I frames carry a payload for a child.
bool HandsOn(const LlcHeader& h) { return h.kind == FRAME_I || (h.kind == FRAME_U && (h.control & 0xEC) == 0); }

unsigned SendCount(const LlcHeader& h) { return h.control >> 1; }
unsigned ReceiveCount(const LlcHeader& h) { return h.byte3 >> 1; }

void SummarizeLlc(const LlcHeader& h, SummaryRow* row) {
  qv::SetCell(row->protocol, "IEEE 802.2");
  switch (h.kind) {
    case FRAME_U:
      qv::SetCell(row->description, "%s", Unnumbered(h.control).summary);
      break;
    case FRAME_I:
      qv::SetCell(row->description, "Info-%01u", SendCount(h));
      break;
    case FRAME_S:
      switch (h.control & 0x0C) {
        case 0:
          qv::SetCell(row->description, "RR-%u", ReceiveCount(h));
          break;
        case 4:
          qv::SetCell(row->description, "RNR-%u", ReceiveCount(h));
          break;
        case 8:
          qv::SetCell(row->description, "REJ-%u", ReceiveCount(h));
          break;
        default:
          qv::SetCell(row->description, "Bad Supervisory Frame");
          break;
      }
      break;
  }
}

// Returns false when the host gave no line.
bool DetailLlc(const LlcHeader& h, int o, void* out) {
  qv::DetailList list(out);
  if (!list.Group(&g_titleState, o, h.length, "IEEE 802.2 Logical Link Control")) return false;

  char text[DETAIL_TEXT_SIZE];
  char hex[8];
  char name[64];
  g_svc.GetHexLSap(h.dsap & 0xFE, hex);
  qv::FormatText(text, sizeof text, "Destination SAP\t\t%s", hex);
  if (g_svc.RetrieveLSap(h.dsap & 0xFE, name, 2)) qv::AppendText(text, sizeof text, "\t%s", name);
  if (h.dsap & 1) qv::AppendText(text, sizeof text, "\tGroup SAP");
  if (!list.Text(o, 1, text)) return false;

  g_svc.GetHexLSap(h.ssap & 0xFE, hex);
  qv::FormatText(text, sizeof text, "Source SAP\t\t\t\t%s", hex);
  if (g_svc.RetrieveLSap(h.ssap & 0xFE, name, 2)) qv::AppendText(text, sizeof text, "\t%s", name);
  if (!list.Text(o + 1, 1, text)) return false;

  if (!list.Add(o + 1, 1, "Frame Type\t\t\t\t%s", h.ssap & 1 ? "Response" : "Command")) return false;

  DetailLine* line = nullptr;
  switch (h.kind) {
    case FRAME_U:
      line = list.Add(o + 2, 1, "Unnumbered Frame\t\t%s", Unnumbered(h.control).detail);
      break;
    case FRAME_I:
      line = list.Add(o + 2, 2, "Information Frame\t\tN(S)-%01u N(R)-%01u", SendCount(h), ReceiveCount(h));
      break;
    case FRAME_S:
      switch (h.control & 0x0C) {
        case 0:
          line = list.Add(o + 2, 2, "Supervisory Frame\t\tReceive Ready %u", ReceiveCount(h));
          break;
        case 4:
          line = list.Add(o + 2, 2, "Supervisory Frame\t\tReceive Not Ready %u", ReceiveCount(h));
          break;
        case 8:
          line = list.Add(o + 2, 2, "Supervisory Frame\t\tReject %u", ReceiveCount(h));
          break;
        default:
          line = list.Add(o + 2, 2, "Supervisory Frame\t\tBad Supervisory Frame");
          break;
      }
      break;
  }
  // No line closes a group: the host ends the title group.
  return line != nullptr;
}

DWORD QV_CALL ParseLlc(DWORD pass, CaptureFrame* frame, void* out);
CTRLARG QV_CALL ControlLlc(DWORD command, CTRLARG a1, CTRLARG a2, CTRLARG a3, CTRLARG a4);

void InitLlc() { qv::BindUnder("MAC-802.3", 0, ParseLlc, ControlLlc); }

const qv::Protocol g_protocol = {&g_llcDescriptor, qv::CONTROL_PARENT, &g_children, g_statistics,
                                 sizeof g_statistics / sizeof g_statistics[0], InitLlc};

CTRLARG QV_CALL ControlLlc(DWORD command, CTRLARG a1, CTRLARG a2, CTRLARG a3, CTRLARG a4) {
  return qv::RunControl(g_protocol, command, a1, a2, a3, a4);
}

DWORD QV_CALL ParseLlc(DWORD pass, CaptureFrame* frame, void* out) {
  const int o = frame->offset;
  qv::MarkFrame(&g_llcDescriptor, frame);
  LlcHeader h;
  // A header not captured in full (3 bytes for U frames, 4 for I and S
  // frames) is counted, but gets no words, no lines and no hand-on.
  const bool whole = ReadHeader(frame, o, &h);
  bool handOn = false;
  switch (pass) {
    case PASS_COUNT:
      qv::CountProtocolFrame(&g_counters, frame);
      if (whole) {
        if (h.kind != FRAME_S) frame->offset = o + h.length;
        handOn = HandsOn(h);
      }
      break;
    case PASS_SUMMARY:
      if (!whole) break;
      frame->offset = o + h.length;
      if (g_enabled) SummarizeLlc(h, static_cast<SummaryRow*>(out));
      handOn = HandsOn(h);
      break;
    case PASS_DETAIL:
      if (!whole) break;
      frame->offset = o + h.length;
      handOn = HandsOn(h);
      if (g_enabled && !DetailLlc(h, o, out)) handOn = false;
      break;
    default:
      return 0;
  }
  if (handOn) qv::FindChildProtocol(&g_children, h.dsap & 0xFE)(pass, frame, ChildOut(pass, out));
  return 0;
}

}  // namespace

ProtocolDescriptor g_llcDescriptor = {{0, 0},    "LLC-802.2", "IEEE 802.2 Logical Link Control",
                                      &g_enabled, &g_color,   PROTOCOL_PARENT | PROTOCOL_CHILD,
                                      ControlLlc, ParseLlc,   nullptr};

}  // namespace brannock
