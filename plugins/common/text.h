// Text of summaries and detail lines: the bounded formatter, name tables,
// bit pictures and the detail-line list of one protocol layer.
#pragma once

#include <stdarg.h>

#include <span>

#include "monitor.h"

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
};
BitText BitPicture(uint64_t value, uint64_t mask, int bits, int group = 8);

// ---------------------------------------------------------------- detail lines
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
  // Text as it stands, no formatting.
  DetailLine* Text(int offset, int length, const char* text);
  // Hex dump lines through the host, behind the last line.
  DetailLine* HexDump(const char* label, const BYTE* data, int length, int frameOffset);
  // Ends the innermost open group after the last line (one more group when
  // that line already ends one). Nothing once the host gave no line: the
  // open groups then stay open.
  void Close() {
    if (!stopped && last) CloseDetailGroup(last);
  }

 private:
  DetailLine* Take(int offset, int length);
};

}  // namespace qv
