// Routines every parser plug-in shares. This code is compiled into each
// plug-in library, so each has its own copy of the globals below.
// view.h: bounded reads of frame bytes; text.h: the formatter, name tables,
// bit pictures, detail lines; fields.h: the lines of a record's fields;
// protocol.h: a protocol declared as data.
#pragma once

#include <string.h>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include <span>

#include "fields.h"
#include "monitor.h"
#include "protocol.h"
#include "services.h"
#include "text.h"
#include "text_internal.h"
#include "view.h"

namespace qv {

// ---------------------------------------------------------------- library state
extern MonitorTable* g_table;  // kept at DLLC_ATTACH
extern BYTE g_inert;           // set on a version mismatch; every call is then ignored


// What a parser library tells the shared entry.
struct PluginInfo {
  const char* mismatchText;              // shown when the table's version is wrong
  std::span<Protocol* const> protocols;  // registered in this order
  void (*attach)(MonitorTable* table);   // after a good version check (slot writers)
};

// The whole DLLControl of a parser library.
DWORD ParserDLLControl(const PluginInfo& info, DWORD type, MonitorTable* table);

// Version check shared by every library: keeps the table, and on a mismatch
// shows the message and goes inert. Returns true when the table is usable.
bool AttachTable(MonitorTable* table, const char* mismatchText);

// The table's flags word is shared with the name table, which may change it
// from another thread: every write is atomic. A write that would change
// nothing is left out (an atomic write stalls the summary of every frame);
// it then simply comes before any change made since the look.
inline DWORD TableFlags() { return __atomic_load_n(&g_table->flags, __ATOMIC_RELAXED); }
inline void SetTableFlags(DWORD bits) {
  if ((TableFlags() & bits) != bits) __atomic_fetch_or(&g_table->flags, bits, __ATOMIC_RELAXED);
}
inline void ClearTableFlags(DWORD bits) {
  if (TableFlags() & bits) __atomic_fetch_and(&g_table->flags, ~bits, __ATOMIC_RELAXED);
}
// The bits of mask made those of bits.
inline void SetTableBits(DWORD mask, DWORD bits) {
  const DWORD now = TableFlags() & mask;
  if (now & ~bits) __atomic_fetch_and(&g_table->flags, ~(now & ~bits), __ATOMIC_RELAXED);
  if (bits & ~now) __atomic_fetch_or(&g_table->flags, bits & ~now, __ATOMIC_RELAXED);
}

// ---------------------------------------------------------------- summary cells
// Most cells get a fixed word or a name from a table: these write what
// SetCell(cell, "%s", text) and AppendCell(cell, "%s", text) write, cut at
// the cell's size, without running the formatter. A null text is left to
// the formatter, which renders it as the C library does.
void SetCellNull(SummaryCell* cell, const char* text);
void AppendCellNull(SummaryCell* cell, const char* text);
// A literal's length is known where it is written: no call measures it.
inline size_t CellTextLength(const char* text, size_t room) {
  if (__builtin_constant_p(__builtin_strlen(text))) return __builtin_strlen(text) < room ? __builtin_strlen(text) : room;
  return strnlen(text, room);
}
inline void SetCellText(SummaryCell* cell, const char* text) {
  if (!text) {
    SetCellNull(cell, text);
    return;
  }
  size_t n = CellTextLength(text, sizeof cell->text - 1);
  literal::CopyBytes(cell->text, text, n);
  cell->text[n] = 0;
}
// n bytes of text (no NUL among them) at used, cut at the cell's size.
inline void PutCellBytes(SummaryCell* cell, size_t used, const char* text, size_t n) {
  if (n > sizeof cell->text - 1 - used) n = sizeof cell->text - 1 - used;
  literal::CopyBytes(cell->text + used, text, n);
  cell->text[used + n] = 0;
}
// The length of a cell's text (the cell's size when it has no NUL). The
// whole cell is ours to read, as the host reads it: a chunk at a time.
inline size_t CellLength(const SummaryCell* cell) {
#ifdef __SSE2__
  static_assert(sizeof cell->text % 16 == 0, "cells are whole chunks");
  for (size_t i = 0; i < sizeof cell->text; i += 16) {
    const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(cell->text + i));
    const unsigned nul = (unsigned)_mm_movemask_epi8(_mm_cmpeq_epi8(chunk, _mm_setzero_si128()));
    if (nul) return i + (size_t)__builtin_ctz(nul);
  }
  return sizeof cell->text;
#else
  return strnlen(cell->text, sizeof cell->text);
#endif
}
inline void AppendCellBytes(SummaryCell* cell, const char* text, size_t n) {
  size_t used = CellLength(cell);
  if (used < sizeof cell->text) PutCellBytes(cell, used, text, n);
}
inline void AppendCellText(SummaryCell* cell, const char* text) {
  if (!text) {
    AppendCellNull(cell, text);
    return;
  }
  size_t used = CellLength(cell);
  // Only what fits is read.
  if (used < sizeof cell->text) PutCellBytes(cell, used, text, CellTextLength(text, sizeof cell->text - 1 - used));
}
// What AppendCell(cell, "%c%u", lead, value) writes: a port behind an
// address. Written in place when it fits whole.
inline void AppendCellNumber(SummaryCell* cell, char lead, unsigned value) {
  const size_t used = CellLength(cell);
  if (used >= sizeof cell->text) return;
  char* p = cell->text + used;
  if (sizeof cell->text - 1 - used >= 11) {
    *p = lead;
    *literal::PutDecimal(p + 1, value, 0) = 0;
    return;
  }
  char text[11];
  text[0] = lead;
  PutCellBytes(cell, used, text, (size_t)(literal::PutDecimal(text + 1, value, 0) - text));
}

// ---------------------------------------------------------------- settings
void LoadProtocolSettings(const ProtocolDescriptor* descriptor);
void SaveProtocolSettings(const ProtocolDescriptor* descriptor);

// ---------------------------------------------------------------- child table
ChildEntry* AddChildProtocol(ChildTable* table, DWORD key, ProtocolParse parse, ProtocolControl control);
ChildEntry* NextChildProtocol(const ChildTable* table, const ChildEntry* previous);
void FreeChildTable(ChildTable* table);
inline unsigned ChildBucket(DWORD key) { return (key + (key >> 8) + (key >> 16) + (key >> 24)) & 0xFFu; }
// The newest binding of key, else the DefaultParse copy. Inline: every
// hand-on by a key looks one or two up.
inline ProtocolParse FindChildProtocol(const ChildTable* table, DWORD key) {
  for (const ChildEntry* e = table->buckets[ChildBucket(key)]; e; e = e->hashNext)
    if (e->key == key) return e->parse;
  return g_svc.DefaultParse;
}

// PCTL_INIT helpers: bind under a parent found by name id, fill a cache.
void BindUnder(const char* parentNameId, DWORD key, ProtocolParse parse, ProtocolControl control);
void CacheParse(const char* nameId, ProtocolParse* cache);

// ---------------------------------------------------------------- passes
// Marking: run by every parse entry in every pass.
inline void MarkFrame(const Protocol& p, CaptureFrame* frame) {
  if (p.enabled) frame->flags |= FRAME_PROTOCOL_ENABLED;
  if (p.color) frame->textColor = p.color;
}

// The frame's source MAC address where the media header holds it, at data
// + 6 on Ethernet; null for frames that came through MAC-802.11 and for a
// source that was not captured.
inline const BYTE* EthernetSource(const CaptureFrame* frame) {
  if (frame->flags & FRAME_WIRELESS_MEDIA) return nullptr;
  return View::At(frame, 0).Bytes(6, 6);
}

// Whether a declaration gives a routine. Not a constant expression: where
// null pointers are checked at run time (the sanitizers) a function's
// address is none. The compiler drops the test wherever it can.
template <typename Routine>
inline bool Given(Routine routine) {
  return routine != nullptr;
}

// The hand-on that ends every pass (the layer's pass, which no routine
// changes).
template <DWORD Pass, const ProtocolDecl& decl>
[[gnu::always_inline]] inline void HandOn(Layer& layer) {
  if (Given(decl.handOn)) {
    ProtocolParse child = decl.handOn(layer);
    if (!child) return;
    // A child other than DefaultParse gets the frame only past this header,
    // so no chain of hand-ons can loop.
    CaptureFrame* frame = layer.frame;
    if (frame->offset <= layer.offset() && child != g_svc.DefaultParse) child = g_svc.DefaultParse;
    child(Pass, frame, NextSlot(Pass, layer.out));
  }
}

// Every parse entry: mark, the pass routine, then the hand-on. Each pass has
// an entry of its own, so that none carries the others' registers.
template <DWORD Pass, Protocol& p, const ProtocolDecl& decl>
[[gnu::always_inline]] inline DWORD RunPassOf(CaptureFrame* frame, void* out, int variant) {
  Layer layer{p, Pass, frame, View::At(frame, frame->offset), out, variant, false};
  MarkFrame(p, frame);
  if constexpr (Pass == PASS_COUNT) {
    if (Given(decl.count))
      decl.count(layer);
    else
      CountProtocolFrame(&p.counters, frame);
  } else if constexpr (Pass == PASS_SUMMARY) {
    if (p.enabled || (decl.options & SUMMARY_ALWAYS)) {
      if (Given(decl.summary)) {
        decl.summary(layer, static_cast<SummaryRow*>(out));
      } else if constexpr (decl.words.protocol != nullptr) {
        SummaryRow* row = static_cast<SummaryRow*>(out);
        // The words' lengths are constants: copied by a few stores.
        constexpr size_t kProtocolLength = CutLength(decl.words.protocol, SUMMARY_TEXT_SIZE - 1);
        constexpr size_t kDescriptionLength = CutLength(decl.words.description, SUMMARY_TEXT_SIZE - 1);
        PutCellBytes(row->protocol, 0, decl.words.protocol, kProtocolLength);
        if constexpr (decl.words.description != nullptr)
          PutCellBytes(row->description, 0, decl.words.description, kDescriptionLength);
        else
          SetCellNull(row->description, nullptr);
      }
    }
  } else {
    if (Given(decl.detail) && (p.enabled || (decl.options & DETAIL_ALWAYS))) {
      DetailList list(decl.options & DETAIL_NEXT_LIST ? NextSlot(PASS_DETAIL, out) : out);
      decl.detail(layer, list);
      layer.detailStopped = list.stopped;
    }
  }
  HandOn<Pass, decl>(layer);
  return 0;
}

// Each pass a function of its own, so that none carries the registers and
// the stack of another; the counting pass of every frame has the
// protocol's routines inline.
template <Protocol& P, const ProtocolDecl& D>
[[gnu::flatten, gnu::noinline]] DWORD RunCount(CaptureFrame* frame, void* out, int variant) {
  return RunPassOf<PASS_COUNT, P, D>(frame, out, variant);
}
template <Protocol& P, const ProtocolDecl& D>
[[gnu::noinline]] DWORD RunSummary(CaptureFrame* frame, void* out, int variant) {
  return RunPassOf<PASS_SUMMARY, P, D>(frame, out, variant);
}
template <Protocol& P, const ProtocolDecl& D>
[[gnu::noinline]] DWORD RunDetail(CaptureFrame* frame, void* out, int variant) {
  return RunPassOf<PASS_DETAIL, P, D>(frame, out, variant);
}

template <Protocol& P, const ProtocolDecl& D>
inline DWORD RunParse(DWORD pass, CaptureFrame* frame, void* out, int variant) {
  if (__builtin_expect(pass == PASS_COUNT, 1)) return RunCount<P, D>(frame, out, variant);
  if (pass == PASS_SUMMARY) return RunSummary<P, D>(frame, out, variant);
  if (pass == PASS_DETAIL) return RunDetail<P, D>(frame, out, variant);
  return RunMarkOnly(P, frame);
}

// Counting that yields the hand-on entry: always the DefaultParse copy.
inline ProtocolParse CountFrameAndBytes(Counters* c, const CaptureFrame* frame) {
  CountProtocolFrame(c, frame);
  return g_svc.DefaultParse;
}

}  // namespace qv
