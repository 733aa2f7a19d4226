// PPOE: the PPP over Ethernet header of discovery (0x8863) and session
// (0x8864) frames, with the tag list of discovery frames. The frame then
// goes to DefaultParse with offset where it was.
// The headers and tags are RFC 2516's.
#include <string.h>

#include <algorithm>

#include "brannock.h"

namespace brannock {

namespace {

enum : int { kHeaderLength = 6, kTagHeaderLength = 4 };

BYTE g_tagState;

constexpr qv::Name kCodes[] = {
    {7, "Active Discovery Offer"},
    {9, "Active Discovery Initiation"},
    {25, "Active Discovery Request"},
    {101, "Active Discovery Session Confirmation"},
    {167, "Active Discovery Terminate"},
};
constexpr qv::NameTable kCodeNames(kCodes, "Unknown Code");

enum : WORD { TAG_END_OF_LIST = 0 };

// Tag types; a text tag's value is shown as text, the others' in hex.
struct TagType {
  DWORD key;
  const char* name;
  bool text;
};
constexpr TagType kTags[] = {
    {TAG_END_OF_LIST, "End of List", false},
    {257, "Service Name", true},
    {258, "Access Concentrator Name", true},
    {259, "Host Unique", false},
    {260, "Access Concentrator Cookie", false},
    {261, "Vendor Specific", false},
    {272, "Relay Session ID", false},
    {513, "Service Name Error", true},
    {514, "Access Concentrator Error", true},
    {515, "Generic Error", true},
};
constexpr TagType kUnknownTag = {0, "Unknown", false};

const TagType& Tag(WORD type) {
  const TagType* t = qv::FindRow<TagType>(kTags, type);
  return t ? *t : kUnknownTag;
}

enum DetailEnd { END_DONE, END_OF_LIST, END_STOPPED };

// A tag's value line: a text that would take the line past the line bound
// is cut one character short of it (127 characters in all), and the value
// to what was captured of it.
DetailLine* TagValue(qv::DetailList& list, const qv::View& value, int length, int captured, const TagType& tag) {
  static const char kLabel[] = "Tag Value\t\t\t";
  const int label = (int)sizeof kLabel - 1;
  const int n = std::min<int>(label + length > qv::kLineBound ? qv::LineRoom(label) - 1 : length, (int)value.size());
  char text[DETAIL_TEXT_SIZE];
  memcpy(text, kLabel, (size_t)label);
  char* p = text + label;
  if (tag.text) {
    value.Copy(0, n, reinterpret_cast<BYTE*>(p));
    p[n] = 0;
  } else {
    p[0] = 0;
    for (int i = 0; i < std::min(n, 16); i++) qv::AppendText(text, sizeof text, "%02X ", value.U8Or0(i));
  }
  return list.Text(value.Offset(), std::min(length, captured), text);
}

// The tags of a discovery frame, within the payload length and the capture.
// A tag that runs past them shows what of it is there and ends the walk;
// its lines describe no more than the captured bytes (the frame's view).
DetailEnd WalkTags(qv::DetailList& list, const qv::View& tags, const qv::View& frame) {
  qv::Cursor c(tags);
  while (c.More()) {
    const qv::View rest = c.view().From(c.at());
    WORD type, length = 0;
    if (!rest.Be16(0, &type)) return END_DONE;  // a lone byte names no tag
    const bool haveLength = rest.Be16(2, &length);
    const TagType& name = Tag(type);
    const int at = rest.Offset();
    const int captured = (int)frame.Left(at - frame.Offset());
    if (!list.Group<"PPOE Tag">(&g_tagState, at,
                                haveLength ? std::min(kTagHeaderLength + length, captured) : (int)rest.size()))
      return END_STOPPED;
    // From here a failed line still ends the tag's group on the last line made.
    if (!list.Add<"Tag Type\t\t\t\t%s">(at, 2, name.name) ||
        (haveLength && !list.Add<"Tag Length\t\t\t%d">(at + 2, 2, (int)length))) {
      qv::CloseDetailGroup(list.last);
      return END_STOPPED;
    }
    if (!haveLength) {
      list.Close();
      return END_DONE;
    }
    const qv::View value = c.Take(kTagHeaderLength + length).From(kTagHeaderLength);
    if (length != 0 && !TagValue(list, value, length, captured - kTagHeaderLength, name)) {
      qv::CloseDetailGroup(list.last);
      return END_STOPPED;
    }
    list.Close();
    if (value.size() < length) return END_DONE;  // cut: nothing follows it
    if (type == TAG_END_OF_LIST) return END_OF_LIST;
  }
  return END_DONE;
}

// The header lines end at the first field that is not captured.
DetailEnd HeaderAndTags(qv::DetailList& list, const qv::View& h, bool discovery) {
  const int o = h.Offset();
  if (!h.Has(0, 1)) return END_DONE;
  if (!list.Add<"Packet Stage\t\t\t%s">(o, (int)h.Sub(0, kHeaderLength).size(),
                                        discovery ? "Discovery Packet"sv : "Session Packet"sv) ||
      !list.Add<"Version\t\t\t\t\t%d">(o, 1, h.U8Or0(0) >> 4) ||
      !list.Add<"Type\t\t\t\t\t\t%d">(o, 1, h.U8Or0(0) & 0xF))
    return END_STOPPED;
  if (!h.Has(1, 1)) return END_DONE;
  if (!list.Add<"Code\t\t\t\t\t\t%s">(o + 1, 1, discovery ? kCodeNames(h.U8Or0(1)) : "Data")) return END_STOPPED;
  if (!h.Has(2, 2)) return END_DONE;
  if (!list.Add<"Session ID\t\t\t\t%d">(o + 2, 2, h.Be16Or0(2))) return END_STOPPED;
  WORD length;
  if (!h.Be16(4, &length)) return END_DONE;
  if (!list.Add<"Length\t\t\t\t\t%d">(o + 4, 2, length)) return END_STOPPED;
  if (!discovery || length == 0) return END_DONE;
  return WalkTags(list, h.Sub(kHeaderLength, length), h);
}

bool IsDiscovery(const qv::Layer& l) { return l.variant == 0; }

void DetailPpoe(qv::Layer& l, qv::DetailList& list) {
  const bool discovery = IsDiscovery(l);
  const qv::View& h = l.header;
  if (!l.Title(list, (int)(discovery ? h.size() : h.Sub(0, kHeaderLength).size()))) return;
  // Without tags this ends the title group; after a tag, whose last line
  // ends its own group, it adds nothing (the host ends the title group).
  if (HeaderAndTags(list, h, discovery) == END_DONE && !(list.last->flags & DETAIL_GROUP_CLOSE)) list.Close();
}

void SummarizePpoe(qv::Layer& l, SummaryRow* row) {
  if (!IsDiscovery(l)) {
    qv::SetCellText(row->protocol, "PPOE-Sess");
    qv::SetCellText(row->description, "Data");
    return;
  }
  // A discovery frame is told by its code.
  BYTE code;
  if (!l.header.U8(1, &code)) return;
  qv::SetCellText(row->protocol, "PPOE-Disc");
  qv::SetCellText(row->description, kCodeNames(code));
}

// Always on to DefaultParse, with offset where it was.
ProtocolParse HandOnPpoe(qv::Layer&) { return g_svc.DefaultParse; }

// Discovery frames reach the first parse entry, session frames the second.
constexpr qv::Binding kBindings[] = {
    {"MAC-802.3", 0x8863, 0},
    {"MAC-802.3", 0x8864, 1},
    {"VLAN", 0x8863, 0},
    {"VLAN", 0x8864, 1},
};

}  // namespace

constexpr qv::ProtocolDecl kPpoeDecl = {
    .nameId = "PPOE",
    .description = "Point-to-Point over Ethernet",
    .flags = PROTOCOL_CHILD,
    .control = qv::CONTROL_LEAF,
    .statistics = {2, "Point-to-Point over Ethernet"},
    .summary = SummarizePpoe,
    .detail = DetailPpoe,
    .handOn = HandOnPpoe,
    .bindings = kBindings,
};
qv::Protocol g_ppoe = qv::Declare<g_ppoe, kPpoeDecl>();

}  // namespace brannock
