#include "qvhost/render.h"

#include <inttypes.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>

namespace qvhost {

namespace {

constexpr size_t kValueColumn = 36;  // labels are at most ~30 characters

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
      if (line->flags & DETAIL_GROUP_OPEN) depth++;
      if (line->flags & DETAIL_GROUP_CLOSE) {
        depth -= 1 + (int)(line->flags & DETAIL_EXTRA_CLOSES);
        if (depth < 0) depth = 0;
      }
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

// text (at most SUMMARY_TEXT_SIZE bytes) padded with blanks to width, then
// one blank.
char* PutPadded(char* o, const char* text, size_t width) {
  size_t n = strnlen(text, SUMMARY_TEXT_SIZE);
  memcpy(o, text, n);
  o += n;
  while (n++ < width) *o++ = ' ';
  *o++ = ' ';
  return o;
}

}  // namespace

void RenderSummary(unsigned long number, const FrameOutput& out, std::string* s) {
  // Built in place and appended once: this runs for every frame.
  char row[32 + 3 * (SUMMARY_TEXT_SIZE + 1) + SUMMARY_TEXT_SIZE + 1];
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
  size_t last = strnlen(out.cells[3].text, SUMMARY_TEXT_SIZE);
  memcpy(o, out.cells[3].text, last);
  o += last;
  while (o > row && o[-1] == ' ') o--;
  *o++ = '\n';
  s->append(row, (size_t)(o - row));
}

namespace {

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "the word scan reads bytes in little-endian order");

// The bytes of w (little-endian) that are NUL, TAB, CR or LF, as their high
// bits; exact up to the first such byte, which is all that is used.
inline uint64_t Specials(uint64_t w) {
  const uint64_t ones = 0x0101010101010101ull, highs = 0x8080808080808080ull;
  uint64_t t = w ^ (ones * '\t'), r = w ^ (ones * '\r'), n = w ^ (ones * '\n');
  return (((w - ones) & ~w) | ((t - ones) & ~t) | ((r - ones) & ~r) | ((n - ones) & ~n)) & highs;
}

// Renders the text buffer of a line (DETAIL_TEXT_SIZE bytes, read in whole
// words) at indent into out (which holds DETAIL_TEXT_SIZE * 3 +
// kValueColumn + 8 + indent bytes): the first TAB run pads to the value column,
// later runs become two blanks, line breaks become blanks. Returns the end of
// what it wrote. Plain text is copied eight bytes at a time.
char* RenderLine(char* out, const char* text, size_t indent) {
  const uint64_t blanks = 0x2020202020202020ull;
  // Blanks eight at a time: the buffer has room for the overshoot, which
  // what follows overwrites.
  for (size_t i = 0; i < indent; i += 8) memcpy(out + i, &blanks, 8);
  char* o = out + indent;
  char* const valueColumn = o + kValueColumn;
  const char* p = text;
  const char* const end = text + DETAIL_TEXT_SIZE;
  bool firstRun = true;
  for (;;) {
    if (end - p >= 8) {
      uint64_t w;
      memcpy(&w, p, 8);
      uint64_t specials = Specials(w);
      // The plain bytes before the first special one go as they are (the
      // whole word is stored; what follows them is overwritten).
      size_t plain = specials ? (size_t)__builtin_ctzll(specials) / 8 : 8;
      memcpy(o, &w, 8);
      o += plain;
      p += plain;
      if (plain == 8) continue;
    }
    if (p == end || *p == 0) break;
    char c = *p++;
    if (c == '\t') {
      while (p < end && *p == '\t') p++;
      if (p == end || *p == 0) break;  // trailing TABs show nothing
      char* to = firstRun && o + 2 <= valueColumn ? valueColumn : o + 2;
      for (; o < to; o += 8) memcpy(o, &blanks, 8);
      o = to;
      firstRun = false;
      continue;
    }
    *o++ = (c == '\r' || c == '\n') ? ' ' : c;
  }
  return o;
}

}  // namespace

std::string RenderDetailText(const char* text, size_t) {
  // RenderLine reads whole words of a line's text buffer: give it one.
  char buffer[DETAIL_TEXT_SIZE] = {};
  memcpy(buffer, text, strnlen(text, DETAIL_TEXT_SIZE - 1));
  // The value column counts from the indent, where this text starts.
  char line[DETAIL_TEXT_SIZE * 3 + kValueColumn + 8];
  char* end = RenderLine(line, buffer, 0);
  return std::string(line, (size_t)(end - line));
}

void RenderDetail(const FrameOutput& out, std::string* s) {
  // Lines gather in a chunk appended when full and at the end, not one by one.
  constexpr size_t kLineRoom = DETAIL_TEXT_SIZE * 3 + kValueColumn + 2 * 64 + 8 + 1;
  char chunk[16384];
  size_t used = 0;
  WalkDetail(out, [&](size_t, int depth, const DetailLine* l) {
    if (used > sizeof chunk - kLineRoom) {
      s->append(chunk, used);
      used = 0;
    }
    size_t indent = 2 * (size_t)(depth < 64 ? depth : 64);
    char* end = RenderLine(chunk + used, l->text, indent);
    *end++ = '\n';
    used = (size_t)(end - chunk);
  });
  s->append(chunk, used);
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
  char buf[512];
  snprintf(buf, sizeof buf, "%-5s %-32s %14s %18s\n", "Layer", "Statistics", "Frames", "Bytes");
  s->append(buf);
  for (const StatisticsEntry* e : host.statistics()) {
    snprintf(buf, sizeof buf, "%-5d %-32.64s %14" PRIu64 " %18" PRIu64 "\n", e->layer, e->name ? e->name : "",
             e->frames ? *e->frames : 0, e->bytes ? *e->bytes : 0);
    s->append(buf);
    for (const StatisticsCounter* c = e->counters; c; c = c->next) {
      snprintf(buf, sizeof buf, "%-5s   %-30.64s %14" PRIu64 "\n", "", c->name ? c->name : "", c->value ? *c->value : 0);
      s->append(buf);
    }
  }
}

}  // namespace qvhost
