// LLC-SNAP: the 5-byte SNAP header (OUI, EtherType) in LLC UI frames with
// SAP 0xAA. It has no table of its own: the payload goes on through
// MAC-802.3's, so whatever binds under an EtherType is reached over SNAP too.
#include <algorithm>

#include "brannock.h"

namespace brannock {

namespace {

enum : int { kHeaderLength = 5 };

BYTE g_enabled = 1;
DWORD g_color = 0;
qv::Counters g_counters;
StatisticsEntry g_stats = {nullptr, 2, "IEEE SNAP", &g_counters.frames, &g_counters.bytes, nullptr};
StatisticsEntry* const g_statistics[] = {&g_stats};
BYTE g_titleState;

void DetailSnap(const CaptureFrame* frame, int o, void* out) {
  qv::DetailList list(out);
  int titleLength = (int)std::min<int64_t>(kHeaderLength, qv::CapturedFrom(frame, o));
  if (!list.Group(&g_titleState, o, titleLength, "IEEE Sub-Network Access Protocol")) return;

  char text[DETAIL_TEXT_SIZE];
  char hex[8];
  char name[64];
  const BYTE* oui = qv::FrameBytes(frame, o, 3);
  if (!oui) return;
  g_svc.GetHexOUI(oui, hex);
  qv::FormatText(text, sizeof text, "Authority\t\t\t\t%s", hex);
  if (g_svc.RetrieveOUI(oui, name, 2)) {
    name[sizeof name - 1] = 0;
    qv::AppendText(text, sizeof text, "\t%s", name);
  }
  if (!list.Text(o, 3, text)) return;

  const BYTE* type = qv::FrameBytes(frame, (int64_t)o + 3, 2);
  if (!type) return;
  g_svc.GetHexEtherType(type, hex);
  qv::FormatText(text, sizeof text, "EtherType\t\t\t\t%s", hex);
  if (g_svc.RetrieveEtherType(type, name, 2)) qv::AppendText(text, sizeof text, "\t\t%s", name);
  if (DetailLine* line = list.Text(o + 3, 2, text)) line->flags = DETAIL_GROUP_CLOSE;
}

DWORD QV_CALL ParseSnap(DWORD pass, CaptureFrame* frame, void* out);
CTRLARG QV_CALL ControlSnap(DWORD command, CTRLARG a1, CTRLARG a2, CTRLARG a3, CTRLARG a4);

void InitSnap() { qv::BindUnder("LLC-802.2", 0xAA, ParseSnap, ControlSnap); }

const qv::Protocol g_protocol = {&g_snapDescriptor, qv::CONTROL_LEAF, nullptr, g_statistics,
                                 sizeof g_statistics / sizeof g_statistics[0], InitSnap};

CTRLARG QV_CALL ControlSnap(DWORD command, CTRLARG a1, CTRLARG a2, CTRLARG a3, CTRLARG a4) {
  return qv::RunControl(g_protocol, command, a1, a2, a3, a4);
}

DWORD QV_CALL ParseSnap(DWORD pass, CaptureFrame* frame, void* out) {
  const int o = frame->offset;
  qv::MarkFrame(&g_snapDescriptor, frame);
  switch (pass) {
    case PASS_COUNT:
      qv::CountProtocolFrame(&g_counters, frame);
      break;
    case PASS_SUMMARY:
      if (g_enabled) {
        SummaryRow* row = static_cast<SummaryRow*>(out);
        qv::SetCell(row->protocol, "IEEE SNAP");
        qv::SetCell(row->description, "Frame");
      }
      break;
    case PASS_DETAIL:
      if (g_enabled) DetailSnap(frame, o, out);
      break;
    default:
      return 0;
  }
  // Without its EtherType the header names no child.
  WORD type;
  if (!qv::ReadBe16(frame, (int64_t)o + 3, &type)) return 0;
  frame->offset = o + kHeaderLength;
  qv::FindChildProtocol(&g_macChildren, type)(pass, frame, ChildOut(pass, out));
  return 0;
}

}  // namespace

ProtocolDescriptor g_snapDescriptor = {{0, 0},     "LLC-SNAP", "IEEE Sub-Network Access Protocol",
                                       &g_enabled,  &g_color,  0,
                                       ControlSnap, ParseSnap, nullptr};

}  // namespace brannock
