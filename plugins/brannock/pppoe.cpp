// PPOE: the PPP over Ethernet header of discovery (0x8863) and session
// (0x8864) frames, with the tag list of discovery frames. The frame then
// goes to DefaultParse with offset where it was.
#include <string.h>

#include <algorithm>

#include "brannock.h"

namespace brannock {

namespace {

enum : int { kHeaderLength = 6, kTagHeaderLength = 4 };

BYTE g_enabled = 1;
DWORD g_color = 0;
qv::Counters g_counters;
StatisticsEntry g_stats = {nullptr, 2, "Point-to-Point over Ethernet", &g_counters.frames, &g_counters.bytes,
                           nullptr};
StatisticsEntry* const g_statistics[] = {&g_stats};
BYTE g_titleState, g_tagState;

const char* CodeName(BYTE code) {
  switch (code) {
    case 7:
      return "Active Discovery Offer";
    case 9:
      return "Active Discovery Initiation";
    case 25:
      return "Active Discovery Request";
    case 101:
      return "Active Discovery Session Confirmation";
    case 167:
      return "Active Discovery Terminate";
    default:
      return "Unknown Code";
  }
}

enum : WORD { TAG_END_OF_LIST = 0 };

const char* TagName(WORD type) {
  switch (type) {
    case TAG_END_OF_LIST:
      return "End of List";
    case 257:
      return "Service Name";
    case 258:
      return "Access Concentrator Name";
    case 259:
      return "Host Unique";
    case 260:
      return "Access Concentrator Cookie";
    case 261:
      return "Vendor Specific";
    case 272:
      return "Relay Session ID";
    case 513:
      return "Service Name Error";
    case 514:
      return "Access Concentrator Error";
    case 515:
      return "Generic Error";
    default:
      return "Unknown";
  }
}

bool IsTextTag(WORD type) { return type == 257 || type == 258 || type == 513 || type == 514 || type == 515; }

enum DetailEnd { END_DONE, END_OF_LIST, END_STOPPED };

// A tag's value line: a text that would take the line past 128 characters
// is cut to 127 less the label.
DetailLine* TagValue(qv::DetailList& list, const BYTE* value, int at, int length, WORD type) {
  static const char kLabel[] = "Tag Value\t\t\t";
  const int label = (int)sizeof kLabel - 1;
  int n = label + length > 128 ? 127 - label : length;
  char text[DETAIL_TEXT_SIZE];
  memcpy(text, kLabel, (size_t)label);
  char* p = text + label;
  if (IsTextTag(type)) {
    memcpy(p, value, (size_t)n);
    p[n] = 0;
  } else {
    p[0] = 0;
    for (int i = 0; i < std::min(n, 16); i++) qv::AppendText(text, sizeof text, "%02X ", value[i]);
  }
  return list.Text(at, length, text);
}

// The tags from p on, within remaining bytes (already cut to the captured
// ones). A tag that does not fit in them ends the walk.
DetailEnd WalkTags(qv::DetailList& list, const CaptureFrame* frame, int64_t p, int64_t remaining) {
  while (remaining > 0) {
    WORD type, length;
    if (remaining < kTagHeaderLength || !qv::ReadBe16(frame, p, &type) || !qv::ReadBe16(frame, p + 2, &length))
      return END_DONE;
    int64_t size = (int64_t)kTagHeaderLength + length;
    if (size > remaining || !qv::Captured(frame, p, size)) return END_DONE;
    const int at = (int)p;
    if (!list.Group(&g_tagState, at, (int)size, "PPOE Tag")) return END_STOPPED;
    // From here a failed line still ends the tag's group on the last line made.
    if (!list.Add(at, 2, "Tag Type\t\t\t\t%s", TagName(type)) ||
        !list.Add(at + 2, 2, "Tag Length\t\t\t%d", (int)length) ||
        (length != 0 && !TagValue(list, frame->data + p + kTagHeaderLength, at + kTagHeaderLength, length, type))) {
      list.last->flags |= DETAIL_GROUP_CLOSE;
      return END_STOPPED;
    }
    list.last->flags |= DETAIL_GROUP_CLOSE;
    p += size;
    remaining -= size;
    if (type == TAG_END_OF_LIST) return END_OF_LIST;
  }
  return END_DONE;
}

// The header lines end at the first field that is not captured.
DetailEnd HeaderAndTags(qv::DetailList& list, const CaptureFrame* frame, int o, bool discovery) {
  const int64_t avail = qv::CapturedFrom(frame, o);
  const BYTE* h = frame->data + o;
  if (avail < 1) return END_DONE;
  if (!list.Add(o, (int)std::min<int64_t>(kHeaderLength, avail), "Packet Stage\t\t\t%s",
                discovery ? "Discovery Packet" : "Session Packet") ||
      !list.Add(o, 1, "Version\t\t\t\t\t%d", h[0] >> 4) || !list.Add(o, 1, "Type\t\t\t\t\t\t%d", h[0] & 0xF))
    return END_STOPPED;
  if (avail < 2) return END_DONE;
  if (!list.Add(o + 1, 1, "Code\t\t\t\t\t\t%s", discovery ? CodeName(h[1]) : "Data")) return END_STOPPED;
  if (avail < 4) return END_DONE;
  if (!list.Add(o + 2, 2, "Session ID\t\t\t\t%d", (h[2] << 8) | h[3])) return END_STOPPED;
  if (avail < kHeaderLength) return END_DONE;
  const int length = (h[4] << 8) | h[5];
  if (!list.Add(o + 4, 2, "Length\t\t\t\t\t%d", length)) return END_STOPPED;
  if (!discovery || length == 0) return END_DONE;
  int64_t p = (int64_t)o + kHeaderLength;
  return WalkTags(list, frame, p, std::min<int64_t>(length, qv::CapturedFrom(frame, p)));
}

void DetailPpoe(const CaptureFrame* frame, int o, bool discovery, void* out) {
  qv::DetailList list(out);
  const int64_t avail = qv::CapturedFrom(frame, o);
  int titleLength = (int)(discovery ? avail : std::min<int64_t>(kHeaderLength, avail));
  if (!list.Group(&g_titleState, o, titleLength, "Point-to-Point over Ethernet")) return;
  // Without tags this ends the title group; after a tag it changes nothing.
  if (HeaderAndTags(list, frame, o, discovery) == END_DONE) list.last->flags |= DETAIL_GROUP_CLOSE;
}

void SummarizePpoe(const CaptureFrame* frame, int o, bool discovery, SummaryRow* row) {
  if (!discovery) {
    qv::SetCell(row->protocol, "PPOE-Sess");
    qv::SetCell(row->description, "Data");
    return;
  }
  // A discovery frame is told by its code.
  BYTE code;
  if (!qv::ReadU8(frame, (int64_t)o + 1, &code)) return;
  qv::SetCell(row->protocol, "PPOE-Disc");
  qv::SetCell(row->description, "%s", CodeName(code));
}

DWORD Parse(bool discovery, DWORD pass, CaptureFrame* frame, void* out) {
  const int o = frame->offset;
  qv::MarkFrame(&g_ppoeDescriptor, frame);
  switch (pass) {
    case PASS_COUNT:
      qv::CountProtocolFrame(&g_counters, frame);
      break;
    case PASS_SUMMARY:
      if (g_enabled) SummarizePpoe(frame, o, discovery, static_cast<SummaryRow*>(out));
      break;
    case PASS_DETAIL:
      if (g_enabled) DetailPpoe(frame, o, discovery, out);
      break;
    default:
      return 0;
  }
  g_svc.DefaultParse(pass, frame, ChildOut(pass, out));
  return 0;
}

DWORD QV_CALL ParseDiscovery(DWORD pass, CaptureFrame* frame, void* out) { return Parse(true, pass, frame, out); }
DWORD QV_CALL ParseSession(DWORD pass, CaptureFrame* frame, void* out) { return Parse(false, pass, frame, out); }

CTRLARG QV_CALL ControlPpoe(DWORD command, CTRLARG a1, CTRLARG a2, CTRLARG a3, CTRLARG a4);

void InitPpoe() {
  for (const char* parent : {"MAC-802.3", "VLAN"}) {
    qv::BindUnder(parent, 0x8863, ParseDiscovery, ControlPpoe);
    qv::BindUnder(parent, 0x8864, ParseSession, ControlPpoe);
  }
}

const qv::Protocol g_protocol = {&g_ppoeDescriptor, qv::CONTROL_LEAF, nullptr, g_statistics,
                                 sizeof g_statistics / sizeof g_statistics[0], InitPpoe};

CTRLARG QV_CALL ControlPpoe(DWORD command, CTRLARG a1, CTRLARG a2, CTRLARG a3, CTRLARG a4) {
  return qv::RunControl(g_protocol, command, a1, a2, a3, a4);
}

}  // namespace

ProtocolDescriptor g_ppoeDescriptor = {{0, 0},     "PPOE",         "Point-to-Point over Ethernet",
                                       &g_enabled,  &g_color,       PROTOCOL_CHILD,
                                       ControlPpoe, ParseDiscovery, nullptr};

}  // namespace brannock
