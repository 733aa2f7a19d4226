// Text of summaries and detail lines: the bounded formatter, name tables,
// bit pictures and the detail-line list of one protocol layer. What a parser
// calls; the literal formats' machinery is text_internal.h's.
#pragma once

#include <stdarg.h>
#include <string.h>

#include <span>
#include <string_view>

#include "monitor.h"
#include "services.h"

namespace qv {

// ---------------------------------------------------------------- formatting
// Bounded formatting into a buffer of size bytes; always NUL-terminated.
// Returns the length written (never more than size - 1).
int FormatText(char* buffer, size_t size, const char* format, ...) __attribute__((format(printf, 3, 4)));
int FormatTextV(char* buffer, size_t size, const char* format, va_list args);
int AppendText(char* buffer, size_t size, const char* format, ...) __attribute__((format(printf, 3, 4)));

// value in decimal, as "%u" writes it, and a NUL: at most 11 bytes. Returns
// the length. For numbers written on every frame.
int DecimalText(unsigned value, char* text);

// Summary cells.
int SetCell(SummaryCell* cell, const char* format, ...) __attribute__((format(printf, 2, 3)));
int AppendCell(SummaryCell* cell, const char* format, ...) __attribute__((format(printf, 2, 3)));

// ---------------------------------------------------------------- names
// A key-to-text table with the text for every other key. Tables sorted by
// key are searched by halves, others in order (the first row of a key wins).
struct Name {
  DWORD key;
  const char* text;
};

class NameTable {
 public:
  template <size_t N>
  consteval NameTable(const Name (&rows)[N], const char* fallback) : rows_(rows, N), fallback_(fallback) {
    for (size_t i = 1; i < N; i++)
      if (rows[i - 1].key >= rows[i].key) sorted_ = false;
  }
  // The key's text, or the fallback.
  const char* operator()(DWORD key) const {
    const Name* row = Find(key);
    return row ? row->text : fallback_;
  }
  // The key's row, or null.
  const Name* Find(DWORD key) const;
  bool Has(DWORD key) const { return Find(key) != nullptr; }

 private:
  std::span<const Name> rows_;
  const char* fallback_;
  bool sorted_ = true;
};

// The texts of a table's byte keys, indexed when compiled and with their
// lengths, for lines that look one up per field: texts[key] is what the
// table gives (the first row of the key, or the fallback).
struct ByteKeyTexts {
  std::string_view texts[256];
  template <size_t N>
  consteval ByteKeyTexts(const Name (&rows)[N], const char* fallback) {
    for (std::string_view& t : texts) t = fallback;
    for (size_t i = N; i-- > 0;)
      if (rows[i].key < 256) texts[rows[i].key] = rows[i].text;
  }
  std::string_view operator()(BYTE key) const { return texts[key]; }
};

// Rows of any shape with a `key` member: the row of key, or null.
template <class Row>
const Row* FindRow(std::span<const Row> rows, DWORD key) {
  for (const Row& r : rows)
    if (r.key == key) return &r;
  return nullptr;
}

// ---------------------------------------------------------------- bit pictures
// "0000" .. "1111" for the low four bits of value.
const char* NibbleBitsText(int value);

// A value's bits as a picture, most significant first: '0' or '1' where
// mask has a bit, 'x' elsewhere, a blank between groups of `group` bits.
// BitPicture(0x20, 0x20, 8, 4) is "xx1x xxxx".
struct BitText {
  char text[80];
  unsigned char length;  // of the text, up to its NUL
};
BitText BitPicture(uint64_t value, uint64_t mask, int bits, int group = 8);

// The same picture as a %s of a literal format (FormatLiteral), which
// writes it straight into its text.
struct Bits {
  constexpr Bits(uint64_t v, uint64_t m, int b, int g = 8) : value(v), mask(m), bits(b), group(g) {}
  uint64_t value, mask;
  int bits, group;
};

// ---------------------------------------------------------------- literal formats
// A format written out at the call and parsed when the library is compiled:
// FormatLiteral<"Time To Live\t%u">(buffer, size, ttl) writes and returns what
// FormatText(buffer, size, "Time To Live\t%u", ttl) does, without a parse, a
// look-up of a parsed format or an argument list. For the lines of every
// frame, so it takes only the conversions they use: %d %i %u %x %X (a width
// only with '0'), %c, %s (a precision '.N' or '.*'), %%. The compiler
// rejects any other, and any argument that is not of the conversion's kind.
// A %s may be a std::string_view or a BitText as well: copied by its length,
// no search for its end; or Bits, a bit picture written in place.
namespace literal {

template <size_t N>
struct Format {
  char text[N];
  consteval Format(const char (&s)[N]) {
    for (size_t i = 0; i < N; i++) text[i] = s[i];
  }
};

}  // namespace literal

// Defined, with the machinery behind it, in text_internal.h.
template <literal::Format F, class... A>
int FormatLiteral(char* buffer, size_t size, const A&... args);

// ---------------------------------------------------------------- detail lines
// The line bound: a line that quotes frame text (a name, a string, an
// address) holds at most kLineBound characters, its NUL aside, so
// kLineTextSize bytes hold it. A protocol whose lines keep a tighter bound
// of their own says so where it cuts them.
constexpr int kLineBound = 128;
constexpr int kLineTextSize = kLineBound + 1;
// The characters left for a text behind a label of labelLength characters.
constexpr int LineRoom(size_t labelLength) {
  return labelLength < (size_t)kLineBound ? kLineBound - (int)labelLength : 0;
}
inline int LineRoom(const char* label) { return LineRoom(strnlen(label, kLineBound)); }

// Flags fields shown a line per flag: the flag's bit and its line's label,
// what the line shows for a set and for a clear bit, and the places of the
// flag's bit picture, among how many bits and in groups of how many.
struct FlagBit {
  DWORD bit;
  std::string_view label;
};
struct OnOff {
  std::string_view on, off;
};
struct FlagPicture {
  int bits;
  int group = 8;
};

// One more group ends after this line.
inline void CloseDetailGroup(DetailLine* line) {
  if (line->flags & DETAIL_GROUP_CLOSE)
    line->flags += 1;
  else
    line->flags |= DETAIL_GROUP_CLOSE;
}

// A protocol's list of detail lines. Each line comes from the host; when the
// host gives none the list is marked stopped and every later call returns
// null, so a routine may check once at the end or after each line.
struct DetailList {
  DetailLine** head;  // this layer's slot in DetailLists
  DetailLine* last = nullptr;
  bool stopped = false;

  explicit DetailList(void* out) : head(static_cast<DetailLine**>(out)) {}

  // Takes a line, formats its text (bounded by the line's capacity), links
  // it behind the last line. Null when stopped.
  DetailLine* Add(int offset, int length, const char* format, ...) __attribute__((format(printf, 4, 5)));
  DetailLine* AddV(int offset, int length, const char* format, va_list args);
  // A group heading: DETAIL_GROUP_OPEN with its expand-state byte.
  DetailLine* Group(BYTE* expandState, int offset, int length, const char* format, ...)
      __attribute__((format(printf, 5, 6)));
  // The same with a literal format, parsed when compiled (FormatLiteral):
  // list.Add<"Time To Live\t%u">(offset, 1, ttl).
  template <literal::Format F, class... A>
  DetailLine* Add(int offset, int length, const A&... args) {
    DetailLine* line = Take(offset, length);
    if (line) FormatLiteral<F>(line->text, sizeof line->text, args...);
    return line;
  }
  template <literal::Format F, class... A>
  DetailLine* Group(BYTE* expandState, int offset, int length, const A&... args) {
    DetailLine* line = Take(offset, length);
    if (line) {
      FormatLiteral<F>(line->text, sizeof line->text, args...);
      OpenGroup(line, expandState);
    }
    return line;
  }
  // One line per flag of value, each over the same bytes. F takes the
  // flag's label, then its word and its bit picture in the order given.
  template <literal::Format F>
  void FlagLines(int offset, int length, DWORD value, std::span<const FlagBit> flags, OnOff words) {
    for (const FlagBit& f : flags) Add<F>(offset, length, f.label, value & f.bit ? words.on : words.off);
  }
  template <literal::Format F>
  void FlagLines(int offset, int length, DWORD value, std::span<const FlagBit> flags, OnOff words,
                 FlagPicture picture) {
    for (const FlagBit& f : flags)
      Add<F>(offset, length, f.label, value & f.bit ? words.on : words.off,
             Bits(value, f.bit, picture.bits, picture.group));
  }
  template <literal::Format F>
  void FlagLines(int offset, int length, DWORD value, std::span<const FlagBit> flags, FlagPicture picture,
                 OnOff words) {
    for (const FlagBit& f : flags)
      Add<F>(offset, length, f.label, Bits(value, f.bit, picture.bits, picture.group),
             value & f.bit ? words.on : words.off);
  }
  // Text as it stands, no formatting.
  DetailLine* Text(int offset, int length, const char* text);
  // A label and at most n characters of text quoted from the frame, up to
  // a NUL among them, cut so that the whole line keeps within kLineBound.
  DetailLine* Quote(int offset, int length, const char* label, const char* text, int64_t n) {
    const int room = LineRoom(label);
    return Add<"%.*s%.*s">(offset, length, kLineBound, label, n < room ? (int)(n > 0 ? n : 0) : room, text);
  }
  // Hex dump lines through the host, behind the last line.
  DetailLine* HexDump(const char* label, const BYTE* data, int length, int frameOffset);
  // Ends the innermost open group after the last line (one more group when
  // that line already ends one). Nothing once the host gave no line: the
  // open groups then stay open.
  void Close() {
    if (!stopped && last) CloseDetailGroup(last);
  }

 private:
  DetailLine* Take(int offset, int length) {
    if (stopped) return nullptr;
    DetailLine* line = g_svc.AllocDetailLine();
    if (!line) [[unlikely]] {
      stopped = true;
      return nullptr;
    }
    line->offset = offset;
    line->length = length;
    if (last)
      last->next = line;
    else
      *head = line;
    last = line;
    return line;
  }
  static void OpenGroup(DetailLine* line, BYTE* expandState) {
    line->flags |= DETAIL_GROUP_OPEN;
    line->expandState = expandState;
  }
};

}  // namespace qv

// The machinery of the literal formats: templates, so it is seen wherever a
// format is instantiated.
#include "text_internal.h"
