// Text of a decoded frame: the summary row's padded columns, detail lines at
// their indent with the value column, and the statistics table. Control
// bytes from the wire show as '.'. Rows and lines are copied a chunk at a
// time (16 bytes with SSE2, else a word): every printed frame comes here.
#include "qvhost/render.h"

#include "render_line.h"

#include <inttypes.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include <algorithm>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace qvhost {

namespace {


void AppendPadded(std::string* s, const char* text, size_t width) {
  size_t n = strnlen(text, SUMMARY_TEXT_SIZE);
  s->append(text, n);
  if (n < width) s->append(width - n, ' ');
  s->push_back(' ');
}

template <typename F>
void WalkDetail(const FrameOutput& out, F visit) {
  for (size_t slot = 0; slot < out.depth; slot++) {
    int depth = 0;
    for (const DetailLine* line = out.lists[slot]; line; line = line->next) {
      visit(slot, depth, line);
      depth = DepthAfter(depth, line->flags);
    }
  }
}

}  // namespace

std::string SummaryHeader() {
  std::string s;
  char number[16];
  snprintf(number, sizeof number, "%6s", "No.");
  s += number;
  s += "  ";
  AppendPadded(&s, "Destination", 24);
  AppendPadded(&s, "Source", 24);
  AppendPadded(&s, "Protocol", 14);
  s += "Description\n";
  return s;
}

namespace {

// Texts come from the wire: a control byte (below 0x20, and DEL) written as
// it is would reach the user's terminal, where an escape sequence acts. So
// rows and detail lines show each as '.', but for the TABs of a detail line,
// which lay out its columns, and the NUL that ends a text.
inline bool IsControl(unsigned char c) { return c < 0x20 || c == 0x7F; }

#if defined(__SSE2__)
// The bytes of w that are control bytes (NUL among them), as 0xFF.
inline __m128i Controls(__m128i w) {
  return _mm_or_si128(_mm_cmpeq_epi8(_mm_min_epu8(w, _mm_set1_epi8(0x1F)), w),
                      _mm_cmpeq_epi8(w, _mm_set1_epi8(0x7F)));
}

constexpr size_t kCellOvershoot = 16;
// A cell's text (up to its NUL, at most SUMMARY_TEXT_SIZE bytes) copied a
// chunk at a time, the whole cell buffer being readable, its control bytes
// as '.'; returns its length.
inline size_t CopyCell(char* o, const char* text) {
  for (size_t i = 0; i < SUMMARY_TEXT_SIZE; i += 16) {
    const __m128i w = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + i));
    const __m128i control = Controls(w);
    const __m128i shown = _mm_or_si128(_mm_and_si128(control, _mm_set1_epi8('.')), _mm_andnot_si128(control, w));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(o + i), shown);
    const unsigned nul = (unsigned)_mm_movemask_epi8(_mm_cmpeq_epi8(w, _mm_setzero_si128()));
    if (nul) return i + (size_t)__builtin_ctz(nul);
  }
  return SUMMARY_TEXT_SIZE;
}
// Blanks from n to width (at most 32 past n, as the widths are): two
// stores rather than a loop, which would be made a call to memset.
inline void PadCell(char* o, size_t n, size_t width) {
  if (n >= width) return;
  const __m128i blanks = _mm_set1_epi8(' ');
  _mm_storeu_si128(reinterpret_cast<__m128i*>(o + n), blanks);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(o + n + 16), blanks);
}
static_assert(SUMMARY_TEXT_SIZE % 16 == 0, "cells are whole chunks");
#else
constexpr size_t kCellOvershoot = 0;
inline size_t CopyCell(char* o, const char* text) {
  size_t n = 0;
  for (; n < SUMMARY_TEXT_SIZE && text[n]; n++) o[n] = IsControl((unsigned char)text[n]) ? '.' : text[n];
  return n;
}
inline void PadCell(char* o, size_t n, size_t width) {
  if (n < width) memset(o + n, ' ', width - n);
}
#endif

// A cell's text padded with blanks to width, then one blank.
char* PutPadded(char* o, const char* text, size_t width) {
  size_t n = CopyCell(o, text);
  PadCell(o, n, width);
  o += n < width ? width : n;
  *o++ = ' ';
  return o;
}

}  // namespace

void RenderSummary(unsigned long number, const FrameOutput& out, TextOut* text) {
  // Built in place in the output: this runs for every frame.
  char* const row = text->Room(32 + 3 * (SUMMARY_TEXT_SIZE + 1) + SUMMARY_TEXT_SIZE + kCellOvershoot + 1);
  char digits[24];
  char* d = digits + sizeof digits;
  do *--d = (char)('0' + number % 10); while (number /= 10);
  size_t n = (size_t)(digits + sizeof digits - d);
  char* o = row;
  for (; n < 6; n++) *o++ = ' ';  // right-aligned in six columns, as "%6lu"
  memcpy(o, d, (size_t)(digits + sizeof digits - d));
  o += digits + sizeof digits - d;
  *o++ = ' ';
  *o++ = ' ';
  o = PutPadded(o, out.cells[0].text, 24);
  o = PutPadded(o, out.cells[1].text, 24);
  o = PutPadded(o, out.cells[2].text, 14);
  o += CopyCell(o, out.cells[3].text);
  while (o > row && o[-1] == ' ') o--;
  *o++ = '\n';
  text->Done(o);
}

void RenderSummary(unsigned long number, const FrameOutput& out, std::string* text) {
  TextOut t(text);
  RenderSummary(number, out, &t);
}

namespace {

#if defined(__SSE2__)
// Sixteen bytes at a time. A control byte ends the plain run: the NUL, the
// TABs and, rare in a line, the others, which are then shown one by one.
constexpr size_t kChunk = 16;

inline size_t CopyPlain(char* o, const char* p) {
  const __m128i w = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(o), w);
  const unsigned mask = (unsigned)_mm_movemask_epi8(Controls(w));
  return mask ? (size_t)__builtin_ctz(mask) : kChunk;
}

// At least n blanks, n at most 48 (a pad to the value column is at most
// kValueColumn): three stores, whatever n is. A loop of stores here would
// be made a call to memset.
inline void PutBlanks(char* o, size_t) {
  const __m128i blanks = _mm_set1_epi8(' ');
  _mm_storeu_si128(reinterpret_cast<__m128i*>(o), blanks);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(o + 16), blanks);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(o + 32), blanks);
}
constexpr size_t kOvershoot = 48;
#else
// Eight bytes at a time, in a word.
constexpr size_t kChunk = 8;
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "the word scan reads bytes in little-endian order");

// The bytes of w (little-endian) that are control bytes, as their high bits:
// those below 0x20 and DEL; exact up to the first such byte, which is all
// that is used.
inline uint64_t Controls(uint64_t w) {
  const uint64_t ones = 0x0101010101010101ull, highs = 0x8080808080808080ull;
  const uint64_t del = w ^ (ones * 0x7F);
  return (((w - ones * 0x20) & ~w) | ((del - ones) & ~del)) & highs;
}

inline size_t CopyPlain(char* o, const char* p) {
  uint64_t w;
  memcpy(&w, p, 8);
  memcpy(o, &w, 8);
  const uint64_t controls = Controls(w);
  return controls ? (size_t)__builtin_ctzll(controls) / 8 : kChunk;
}

inline void PutBlanks(char* o, size_t n) { memset(o, ' ', n); }
constexpr size_t kOvershoot = kChunk;
#endif

// Renders the text buffer of a line (DETAIL_TEXT_SIZE bytes, read in whole
// chunks) at indent into out, which holds kDetailLineRoom bytes: the first
// TAB run pads to the value column, later runs become two blanks, other
// control bytes become '.'. Returns the end of what it wrote. Plain text is
// copied a chunk at a time: the whole chunk is stored, and what follows the
// plain bytes is overwritten.
static_assert(kDetailLineRoom >= kMaxIndent + kValueColumn + 3 * DETAIL_TEXT_SIZE + kOvershoot + 1);

}  // namespace

char* RenderDetailLine(char* out, const char* text, size_t indent, size_t* textLength) {
  // Blanks 48 at a time: the overshoot is overwritten.
  for (size_t i = 0; i < indent; i += 48) PutBlanks(out + i, std::min<size_t>(48, indent - i));
  char* o = out + indent;
  char* const valueColumn = o + kValueColumn;
  const char* p = text;
  const char* const end = text + DETAIL_TEXT_SIZE;
  bool firstRun = true;
  for (;;) {
    if ((size_t)(end - p) >= kChunk) {
      const size_t plain = CopyPlain(o, p);
      o += plain;
      p += plain;
      if (plain == kChunk) continue;
    }
    if (p == end || *p == 0) break;
    char c = *p++;
    if (c == '\t') {
      while (p < end && *p == '\t') p++;
      if (p == end || *p == 0) break;  // trailing TABs show nothing
      char* to = firstRun && o + 2 <= valueColumn ? valueColumn : o + 2;
      static_assert(kValueColumn <= 48, "a pad is one PutBlanks");
      PutBlanks(o, (size_t)(to - o));
      o = to;
      firstRun = false;
      continue;
    }
    *o++ = IsControl((unsigned char)c) ? '.' : c;
  }
  *textLength = (size_t)(p - text);
  return o;
}

namespace {

void AppendToString(const char* text, size_t length, void* context) {
  static_cast<std::string*>(context)->append(text, length);
}

}  // namespace

TextOut::TextOut(std::string* text) : drain_(AppendToString), context_(text) {}

TextOut::TextOut(Drain drain, void* context) : drain_(drain), context_(context) {}

void TextOut::Append(const char* text, size_t length) {
  while (length) {
    size_t n = std::min(length, kSize);
    char* at = Room(n);
    memcpy(at, text, n);
    Done(at + n);
    text += n;
    length -= n;
  }
}

void TextOut::Flush() {
  if (at_ != buffer_) drain_(buffer_, (size_t)(at_ - buffer_), context_);
  at_ = buffer_;
}

std::string RenderDetailText(const char* text, size_t) {
  // RenderDetailLine reads whole chunks of a line's text buffer: give it one.
  char buffer[DETAIL_TEXT_SIZE] = {};
  memcpy(buffer, text, strnlen(text, DETAIL_TEXT_SIZE - 1));
  // The value column counts from the indent, where this text starts.
  char line[kDetailLineRoom];
  size_t length;
  char* end = RenderDetailLine(line, buffer, 0, &length);
  return std::string(line, (size_t)(end - line));
}

size_t PutDetailLine(TextOut* text, const char* lineText, int depth) {
  char* at = text->Room(kDetailLineRoom);
  size_t length;
  char* end = RenderDetailLine(at, lineText, DetailIndent(depth), &length);
  *end++ = '\n';
  text->Done(end);
  return length;
}

void RenderDetail(const FrameOutput& out, TextOut* text) {
  WalkDetail(out, [&](size_t, int depth, const DetailLine* l) { PutDetailLine(text, l->text, depth); });
}

void RenderDetail(const FrameOutput& out, std::string* text) {
  TextOut t(text);
  RenderDetail(out, &t);
}

std::vector<FlatLine> FlattenDetail(const FrameOutput& out) {
  std::vector<FlatLine> lines;
  WalkDetail(out, [&](size_t slot, int depth, const DetailLine* line) {
    lines.push_back(FlatLine{slot, depth, std::string(line->text, strnlen(line->text, DETAIL_TEXT_SIZE)),
                             line->offset, line->length, line->flags});
  });
  return lines;
}

void RenderStatistics(const Host& host, std::string* s) {
  // The name column is as wide as the longest name (counters stand two
  // deeper), at least 32; a name is cut at 64 characters.
  constexpr size_t kCut = 64;
  size_t width = 32;
  for (const StatisticsEntry* e : host.statistics()) {
    width = std::max(width, e->name ? strnlen(e->name, kCut) : 0);
    for (const StatisticsCounter* c = e->counters; c; c = c->next)
      width = std::max(width, c->name ? 2 + strnlen(c->name, kCut) : 0);
  }
  const int w = (int)width;
  char buf[512];
  snprintf(buf, sizeof buf, "%-5s %-*s %14s %18s\n", "Layer", w, "Statistics", "Frames", "Bytes");
  s->append(buf);
  for (const StatisticsEntry* e : host.statistics()) {
    snprintf(buf, sizeof buf, "%-5d %-*.64s %14" PRIu64 " %18" PRIu64 "\n", e->layer, w, e->name ? e->name : "",
             e->frames ? *e->frames : 0, e->bytes ? *e->bytes : 0);
    s->append(buf);
    for (const StatisticsCounter* c = e->counters; c; c = c->next) {
      snprintf(buf, sizeof buf, "%-5s   %-*.64s %14" PRIu64 "\n", "", w - 2, c->name ? c->name : "",
               c->value ? *c->value : 0);
      s->append(buf);
    }
  }
}

}  // namespace qvhost
