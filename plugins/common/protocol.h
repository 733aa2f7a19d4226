// One protocol of a parser library, declared as data. A declaration gives
// the protocol's descriptor, its enable byte and colour, its counters and
// statistics entry, its bindings, and the routines of its passes; the
// shared code makes its control entry and its parse entries from that.
//
//   constexpr qv::ProtocolDecl kTdpDecl = {
//       .nameId = "CISCO-TDP",
//       .description = "Tag Distribution Protocol",
//       .flags = PROTOCOL_CHILD,
//       .control = qv::CONTROL_LEAF,
//       .statistics = {2, "TDP"},
//       .words = {"TDP", "Packet"},
//       .detail = DetailTdp,
//       .bindings = kTdpBindings,
//   };
//   qv::Protocol g_tdp = qv::Declare<g_tdp, kTdpDecl>();
//
// The declaration is a constant, so that each pass of each protocol is a
// function of its own with the protocol's routines called directly, and in
// the counting pass, which runs for every frame, inline.
#pragma once

#include <span>

#include "monitor.h"
#include "text.h"
#include "view.h"

namespace qv {

struct Protocol;

struct Counters {
  uint64_t frames;
  uint64_t bytes;
};

// One protocol's share of one pass over one frame.
struct Layer {
  Protocol& protocol;
  DWORD pass;
  CaptureFrame* frame;
  View header;  // from the protocol's offset to the captured end
  void* out;    // as the parse entry received it
  int variant;  // which of the protocol's parse entries was called
  bool detailStopped;  // the host gave no line to this protocol's detail

  int offset() const { return header.Offset(); }
  bool enabled() const;
  // The title line: the protocol's description heading a group over length
  // bytes from the header.
  DetailLine* Title(DetailList& list, int length) const;
  // The title over length bytes, cut at the captured ones; false when the
  // message is too short for its first field (of `first` bytes), which
  // then shows the title alone, its group closed, or when the host gave no
  // line.
  bool OpenDetail(DetailList& list, int64_t length, int first) const;
};

typedef void (*CountRoutine)(Layer& layer);
typedef void (*SummaryRoutine)(Layer& layer, SummaryRow* row);
typedef void (*DetailRoutine)(Layer& layer, DetailList& list);
// Moves `offset` past the header (and trims the frame) and returns the
// child's parse entry; null hands on nothing.
typedef ProtocolParse (*HandOnRoutine)(Layer& layer);

// How the control entry answers (each answers PCTL_INIT and PCTL_TERMINATE).
enum ControlForm : BYTE {
  CONTROL_PARENT,   // a child table: PCTL_ADD_CHILD, PCTL_FIND_CHILD, PCTL_NEXT_CHILD; the descriptor
  CONTROL_LEAF,     // PCTL_GET_DESCRIPTOR gives the descriptor
  CONTROL_MINIMAL,  // PCTL_GET_DESCRIPTOR gives 0
};

enum : DWORD {
  SUMMARY_ALWAYS = 1u << 0,    // the summary runs whatever the enable byte (it checks layer.enabled())
  DETAIL_ALWAYS = 1u << 1,     // the detail runs whatever the enable byte
  DETAIL_NEXT_LIST = 1u << 2,  // lines go to the slot after the protocol's own, which stays empty
};

// A binding made at PCTL_INIT: under the parent with this name id, at key,
// with the parse entry of the given variant.
struct Binding {
  const char* parent;
  DWORD key;
  int variant = 0;
};
// A parse entry of another protocol, found by name id at PCTL_INIT; it
// holds DefaultParse until then and when that protocol is not loaded.
struct Cache {
  const char* nameId;
  ProtocolParse* parse;
};

struct StatisticsSpec {
  int layer;
  const char* name = nullptr;  // null: no statistics entry of its own
  StatisticsCounter* counters = nullptr;
};
struct Words {
  const char* protocol;
  const char* description;
};

enum { kMaxVariants = 4 };

struct ProtocolDecl {
  const char* nameId = {};          // at most 15 characters
  const char* description = {};
  DWORD flags = {};                 // PROTOCOL_PARENT, PROTOCOL_CHILD
  ControlForm control = {};
  StatisticsSpec statistics = {};
  DWORD options = {};
  ChildTable* children = {};        // CONTROL_PARENT
  Words words = {};                 // summary cells of an enabled protocol without a summary routine
  CountRoutine count = {};          // default: frames += 1, bytes += frameLength - offset
  SummaryRoutine summary = {};
  DetailRoutine detail = {};
  HandOnRoutine handOn = {};        // default: no hand-on
  std::span<const Binding> bindings = {};
  std::span<const Cache> caches = {};
  std::span<StatisticsEntry* const> moreStatistics = {};  // registered after the protocol's own
  void (*init)() = {};  // at PCTL_INIT, after settings, statistics, bindings and caches
  FrameTypeItem** frameTypes = {};
};

struct Protocol {
  ProtocolDescriptor descriptor;  // what the host registers
  StatisticsEntry statistics;
  BYTE enabled;
  DWORD color;
  Counters counters;
  BYTE titleState;  // the title group's expand state, kept by the host
  ProtocolDecl decl;
  ProtocolParse entries[kMaxVariants];  // the parse entries by variant
  BYTE titleLength;     // of decl.description, cut at a line's size: the title is copied unmeasured
};

DWORD RunMarkOnly(Protocol& p, CaptureFrame* frame);
CTRLARG RunControl(Protocol& p, DWORD command, CTRLARG a1, CTRLARG a2, CTRLARG a3, CTRLARG a4);

// The passes of the protocol P declared by D (plugin.h).
template <Protocol& P, const ProtocolDecl& D>
DWORD RunParse(DWORD pass, CaptureFrame* frame, void* out, int variant);

template <Protocol& P, const ProtocolDecl& D, int Variant>
DWORD QV_CALL ParseEntry(DWORD pass, CaptureFrame* frame, void* out) {
  return RunParse<P, D>(pass, frame, out, Variant);
}
template <Protocol& P>
CTRLARG QV_CALL ControlEntry(DWORD command, CTRLARG a1, CTRLARG a2, CTRLARG a3, CTRLARG a4) {
  return RunControl(P, command, a1, a2, a3, a4);
}

// A text's length cut at most (0 for none), as the copies unmeasured take it.
constexpr BYTE CutLength(const char* text, size_t most) {
  size_t n = 0;
  while (text && text[n] && n < most) n++;
  return (BYTE)n;
}

// The protocol P (the object being declared) from its declaration.
template <Protocol& P, const ProtocolDecl& decl>
consteval Protocol Declare() {
  Protocol p{};
  size_t n = 0;
  for (; decl.nameId[n]; n++) {
    if (n + 1 >= sizeof p.descriptor.nameId) throw "a name id holds at most 15 characters";
    p.descriptor.nameId[n] = decl.nameId[n];
  }
  p.descriptor.description = decl.description;
  p.descriptor.enabled = &P.enabled;
  p.descriptor.textColor = &P.color;
  p.descriptor.flags = decl.flags;
  p.descriptor.control = ControlEntry<P>;
  p.descriptor.parse = ParseEntry<P, decl, 0>;
  p.descriptor.frameTypes = decl.frameTypes;
  p.statistics = {nullptr, decl.statistics.layer, decl.statistics.name, &P.counters.frames, &P.counters.bytes,
                  decl.statistics.counters};
  p.enabled = 1;
  p.decl = decl;
  p.entries[0] = ParseEntry<P, decl, 0>;
  p.entries[1] = ParseEntry<P, decl, 1>;
  p.entries[2] = ParseEntry<P, decl, 2>;
  p.entries[3] = ParseEntry<P, decl, 3>;
  p.titleLength = CutLength(decl.description, DETAIL_TEXT_SIZE - 1);
  if ((decl.control == CONTROL_PARENT) != (decl.children != nullptr)) throw "a parent control needs a child table";
  for (const Binding& b : decl.bindings)
    if (b.variant < 0 || b.variant >= kMaxVariants) throw "no such parse entry";
  return p;
}

inline bool Layer::enabled() const { return protocol.enabled != 0; }

// The next layer's slot in the detail pass; the same out otherwise.
inline void* NextSlot(DWORD pass, void* out) {
  return pass == PASS_DETAIL ? static_cast<DetailLine**>(out) + 1 : out;
}

// ---------------------------------------------------------------- counting
// frames += 1, bytes += frameLength - offset; a parent may have trimmed
// frameLength below offset, and then no bytes are added: a counter never
// goes down.
inline void CountProtocolFrame(Counters* c, const CaptureFrame* frame) {
  c->frames += 1;
  int64_t n = (int64_t)frame->frameLength - frame->offset;
  if (n > 0) c->bytes += (uint64_t)n;
}
inline void CountBytes(Counters* c, int64_t n) {
  c->frames += 1;
  if (n > 0) c->bytes += (uint64_t)n;
}

}  // namespace qv
