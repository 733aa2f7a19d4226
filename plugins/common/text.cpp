// The bounded formatter, name tables, bit pictures and detail lines.
#include "text.h"

#include <limits.h>
#include <link.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include <atomic>
#include <new>

#include "plugin.h"
#include "text_internal.h"

namespace qv {

// ---------------------------------------------------------------- text

namespace {

using literal::CopyBytes;

// A bounded writer into the caller's buffer. What the bound cuts is
// counted: past INT_MAX bytes in all the C library reports an overflow.
struct Out {
  char* p;
  char* end;  // last byte, kept for the NUL
  size_t lost = 0;
  size_t Fit(size_t n) {
    size_t room = (size_t)(end - p);
    if (n > room) {
      lost += n - room;
      n = room;
    }
    return n;
  }
  void Put(char c) {
    if (p < end)
      *p++ = c;
    else
      lost++;
  }
  void Put(const char* text, size_t n) {
    n = Fit(n);
    CopyBytes(p, text, n);
    p += n;
  }
  void Fill(char c, size_t n) {
    n = Fit(n);
    if (n <= 8) {
      for (size_t i = 0; i < n; i++) p[i] = c;
    } else {
      memset(p, c, n);
    }
    p += n;
  }
  // Text up to its NUL: one bounded length and one copy, which beats a
  // byte loop on the labels and values that come through here.
  void PutString(const char* text) {
    size_t room = (size_t)(end - p);
    size_t n = strnlen(text, room);
    CopyBytes(p, text, n);
    p += n;
    if (n == room && text[n]) lost += strlen(text + n);
  }
  // Ends the text; returns its length. The C library fails a text of more
  // than INT_MAX bytes (huge widths): what it wrote stays, up to its first NUL.
  int Finish(char* buffer) {
    *p = 0;
    if ((size_t)(p - buffer) + lost > (size_t)INT_MAX) return (int)strnlen(buffer, (size_t)(end - buffer));
    return (int)(p - buffer);
  }
};

// Trivial, so that an array of them costs nothing until parsed into.
struct Conversion {
  char conversion;     // 0 after the last literal run
  signed char length;  // 0 int, 1 long, 2 long long, 3 size_t, -1 short, -2 char
  bool left, zero;
  bool widthArgument, precisionArgument;  // '*': taken from the arguments
  bool plain;                             // no width, no precision
  short width, precision;                 // precision -1: none
};
constexpr Conversion kBare = {0, 0, false, false, false, false, true, 0, -1};

// A literal run of the format (from its start) and the conversion that
// ends it.
struct Piece {
  uint16_t offset, length;
  Conversion conv;
};

// Formats with more conversions, or longer, go to the C library.
constexpr int kMaxPieces = 32;
constexpr ptrdiff_t kMaxFormat = 0xFFFF;

// Parses one conversion after '%'; false for what the fast path leaves to
// the C library (flags other than '-' and '0', floating point, ...).
bool ParseConversion(const char*& f, Conversion* conv) {
  switch (*f) {  // the usual case: a bare conversion
    case 'd': case 'i': case 'u': case 'x': case 'X': case 'c': case 's': case '%':
      conv->conversion = *f++;
      return true;
    default:
      break;
  }
  for (;; f++) {
    if (*f == '-')
      conv->left = true;
    else if (*f == '0')
      conv->zero = true;
    else
      break;
  }
  int width = 0, precision = -1;
  if (*f == '*') {
    conv->widthArgument = true;
    f++;
  }
  while (*f >= '0' && *f <= '9' && width < 512) width = width * 10 + (*f++ - '0');
  if (*f == '.') {
    f++;
    precision = 0;
    if (*f == '*') {
      conv->precisionArgument = true;
      f++;
    }
    while (*f >= '0' && *f <= '9' && precision < 512) precision = precision * 10 + (*f++ - '0');
  }
  if (width >= 512 || precision >= 512) return false;
  conv->width = (short)width;
  conv->precision = (short)precision;
  conv->plain = !width && precision < 0 && !conv->widthArgument && !conv->precisionArgument;
  if (f[0] == 'h' && f[1] == 'h') {
    conv->length = -2;
    f += 2;
  } else if (*f == 'h') {
    conv->length = -1;
    f++;
  } else if (f[0] == 'l' && f[1] == 'l') {
    conv->length = 2;
    f += 2;
  } else if (*f == 'l') {
    conv->length = 1;
    f++;
  } else if (*f == 'z') {
    conv->length = 3;
    f++;
  }
  conv->conversion = *f;
  if ((*f == 'c' || *f == 's') && conv->length != 0) return false;  // wide text
  if ((conv->widthArgument && width) || (conv->precisionArgument && precision)) return false;
  if ((conv->widthArgument || conv->precisionArgument) && *f == '%') return false;
  // A counted precision of a number may ask the C library for any number
  // of zeros, and for memory to hold them.
  if (conv->precisionArgument && *f != 's') return false;
  switch (*f) {
    case 'd': case 'i': case 'u': case 'x': case 'X': case 'c': case 's': case '%':
      f++;
      return true;
    default:
      return false;
  }
}

// Splits a format into literal runs and conversions. The number of pieces,
// or 0 when any part of the format is left to the C library: decided before
// an argument is taken, the arguments need no copy.
int ParseFormat(const char* format, Piece* pieces) {
  const char* f = format;
  for (int n = 0; n < kMaxPieces; n++) {
    Piece& piece = pieces[n];
    const char* run = f;
    char c;
    while ((c = *f) != '%' && c) f++;
    if (f - format > kMaxFormat) return 0;
    piece.offset = (uint16_t)(run - format);
    piece.length = (uint16_t)(f - run);
    piece.conv = kBare;
    if (!c) return n + 1;
    f++;
    if (!ParseConversion(f, &piece.conv)) return 0;
  }
  return 0;
}

// ---- parsed formats, kept by address
// A format's bytes in a read-only segment of this library cannot change
// while the library is loaded, and this table goes with the library: an
// entry found by the format's address is never stale. Formats anywhere
// else are parsed on every call. Entries are written once, then published;
// any thread may read them.
struct Parsed {
  const char* format;
  alignas(8) uint32_t count;  // 0: the C library formats it
  const Piece* pieces() const { return reinterpret_cast<const Piece*>(this + 1); }
  Piece* pieces() { return reinterpret_cast<Piece*>(this + 1); }
};
static_assert(sizeof(Parsed) % alignof(Piece) == 0 && sizeof(Parsed) % 8 == 0);

constexpr size_t kSlots = 2048;  // a power of two
constexpr size_t kProbes = 8;
std::atomic<const Parsed*> g_parsedSlots[kSlots];
alignas(8) unsigned char g_parsedPool[64 * 1024];
std::atomic<size_t> g_parsedUsed;

size_t SlotOf(const char* format) {
  return (size_t)(((uint32_t)(uintptr_t)format * 2654435761u) >> 21) & (kSlots - 1);
}

const Parsed* FindParsed(const char* format) {
  size_t slot = SlotOf(format);
  for (size_t i = 0; i < kProbes; i++) {
    const Parsed* p = g_parsedSlots[(slot + i) & (kSlots - 1)].load(std::memory_order_acquire);
    if (!p) return nullptr;
    if (p->format == format) return p;
  }
  return nullptr;
}

// The address ranges of this library's segments that are never writable.
struct ReadOnlySegments {
  uintptr_t begin[8], end[8];
  int count = 0;
};

int CollectSegments(dl_phdr_info* info, size_t, void* data) {
  const uintptr_t self = (uintptr_t)&CollectSegments;
  bool mine = false;
  for (int i = 0; i < info->dlpi_phnum; i++) {
    const auto& ph = info->dlpi_phdr[i];
    uintptr_t begin = info->dlpi_addr + ph.p_vaddr;
    if (ph.p_type == PT_LOAD && self >= begin && self - begin < ph.p_memsz) mine = true;
  }
  if (!mine) return 0;
  auto* segments = static_cast<ReadOnlySegments*>(data);
  for (int i = 0; i < info->dlpi_phnum && segments->count < 8; i++) {
    const auto& ph = info->dlpi_phdr[i];
    if (ph.p_type != PT_LOAD || (ph.p_flags & PF_W)) continue;
    segments->begin[segments->count] = info->dlpi_addr + ph.p_vaddr;
    segments->end[segments->count++] = info->dlpi_addr + ph.p_vaddr + ph.p_memsz;
  }
  return 1;
}

bool InReadOnlySegment(const char* format, size_t length) {
  static const ReadOnlySegments segments = [] {
    ReadOnlySegments s;
    dl_iterate_phdr(CollectSegments, &s);
    return s;
  }();
  uintptr_t at = (uintptr_t)format;
  for (int i = 0; i < segments.count; i++)
    if (at >= segments.begin[i] && at < segments.end[i] && length <= segments.end[i] - at) return true;
  return false;
}

// Keeps a parsed format when it may be kept; a full table keeps no more.
void KeepParsed(const char* format, const Piece* pieces, int count) {
  // Every byte the parse read, the NUL included, must be read-only.
  const Piece& last = pieces[count ? count - 1 : 0];
  size_t length = count ? (size_t)last.offset + last.length + 1 : strnlen(format, (size_t)kMaxFormat + 1) + 1;
  if (!InReadOnlySegment(format, length)) return;
  size_t bytes = sizeof(Parsed) + ((size_t)count * sizeof(Piece) + 7) / 8 * 8;
  size_t used = g_parsedUsed.load(std::memory_order_relaxed);
  do {
    if (used + bytes > sizeof g_parsedPool) return;
  } while (!g_parsedUsed.compare_exchange_weak(used, used + bytes, std::memory_order_relaxed));
  Parsed* p = new (g_parsedPool + used) Parsed{format, (uint32_t)count};
  memcpy(p->pieces(), pieces, (size_t)count * sizeof(Piece));
  size_t slot = SlotOf(format);
  for (size_t i = 0; i < kProbes; i++) {
    std::atomic<const Parsed*>& s = g_parsedSlots[(slot + i) & (kSlots - 1)];
    const Parsed* expected = nullptr;
    if (s.compare_exchange_strong(expected, p, std::memory_order_release, std::memory_order_acquire)) return;
    if (expected->format == format) return;  // another thread was first
  }
}

// Digits of u, written backwards ending at end; returns their start.
char* DecimalDigits(char* end, unsigned long long u) {
  const char* kPairs = literal::kDecimalPairs;
  char* d = end;
  while (u > 0xFFFFFFFFu) {
    unsigned pair = (unsigned)(u % 100);
    u /= 100;
    d -= 2;
    memcpy(d, kPairs + 2 * pair, 2);
  }
  const unsigned v = (unsigned)u;  // the rest in 32-bit steps
  d -= literal::DecimalCount(v);
  literal::PutDecimal(d, v, 0);
  return d;
}

// A conversion's text with its sign, zeros and padding. Widths from the
// arguments reach 2^31; the writer cuts them at the bound.
struct Layout {
  size_t width;
  int precision;  // -1: none
  bool left, zero;
};

[[gnu::always_inline]] inline void PutPadded(Out* out, const Layout& l, char sign, const char* digits, size_t n,
                                             bool numeric) {
  size_t signLength = sign ? 1 : 0;
  size_t zeros = 0;
  if (numeric && l.precision >= 0 && (size_t)l.precision > n) zeros = (size_t)l.precision - n;
  size_t body = signLength + zeros + n;
  size_t pad = l.width > body ? l.width - body : 0;
  bool zeroPad = numeric && l.zero && !l.left && l.precision < 0;
  if (!l.left && !zeroPad) out->Fill(' ', pad);
  if (sign) out->Put(sign);
  if (zeroPad) out->Fill('0', pad);
  out->Fill('0', zeros);
  out->Put(digits, n);
  if (l.left) out->Fill(' ', pad);
}

// What the fast path leaves, as the C library formats it.
[[gnu::noinline]] int LibraryFormat(char* buffer, size_t size, const char* format, va_list args) {
  int n = vsnprintf(buffer, size, format, args);
  if (n < 0) return (int)strnlen(buffer, size - 1);  // keep what was written
  return (size_t)n >= size ? (int)(size - 1) : n;
}

}  // namespace

int FormatTextV(char* buffer, size_t size, const char* format, va_list args) {
  if (size == 0) return 0;
  Out out{buffer, buffer + size - 1};
  if (format[0] == '%' && format[1] == 's' && !format[2] && size <= (size_t)INT_MAX) {
    // A value for the whole text, the commonest format: nothing to look up.
    const char* text = va_arg(args, const char*);
    out.PutString(text ? text : "(null)");
    return out.Finish(buffer);
  }
  // Detail lines and cells are formatted for every frame: the conversions
  // they use are done here, any other format whole by the C library.
  Piece parsed[kMaxPieces];
  const Piece* pieces = parsed;
  int count;
  if (const Parsed* p = FindParsed(format)) {
    pieces = p->pieces();
    count = (int)p->count;
  } else {
    count = ParseFormat(format, parsed);
    KeepParsed(format, parsed, count);
  }
  if (!count || size > (size_t)INT_MAX) return LibraryFormat(buffer, size, format, args);
  for (const Piece* piece = pieces;; piece++) {
    out.Put(format + piece->offset, piece->length);
    const Conversion& conv = piece->conv;
    if (!conv.conversion) break;
    Layout l{(size_t)conv.width, conv.precision, conv.left, conv.zero};
    bool plain = conv.plain;
    if (!plain) {
      // Taken as the C library takes them: a negative width is a '-' flag, a
      // negative precision (of %.*s only) none.
      if (conv.widthArgument) {
        int w = va_arg(args, int);
        if (w < 0) l.left = true;
        l.width = w < 0 ? (size_t)(-(long long)w) : (size_t)w;
      }
      if (conv.precisionArgument) {
        int p = va_arg(args, int);
        l.precision = p < 0 ? -1 : p;
      }
      plain = l.width == 0 && l.precision < 0;
    }
    char digits[24];
    char* end = digits + sizeof digits;
    const char* text;
    size_t n;
    char sign = 0;
    bool numeric = true;
    switch (conv.conversion) {
      case '%':
        out.Put('%');
        continue;
      case 'c':
        digits[0] = (char)va_arg(args, int);
        if (plain) {
          out.Put(digits[0]);
          continue;
        }
        text = digits;
        n = 1;
        numeric = false;
        break;
      case 's':
        text = va_arg(args, const char*);
        if (!text) text = l.precision < 0 || l.precision >= 6 ? "(null)" : "";  // as the C library prints it
        if (plain) {
          out.PutString(text);
          continue;
        }
        n = l.precision >= 0 ? strnlen(text, (size_t)l.precision) : strlen(text);
        numeric = false;
        break;
      case 'd':
      case 'i': {
        long long v;
        switch (conv.length) {
          case 1: v = va_arg(args, long); break;
          case 2: v = va_arg(args, long long); break;
          case 3: v = (long long)va_arg(args, ptrdiff_t); break;
          case -1: v = (short)va_arg(args, int); break;
          case -2: v = (signed char)va_arg(args, int); break;
          default: v = va_arg(args, int); break;
        }
        text = DecimalDigits(end, v < 0 ? 0ull - (unsigned long long)v : (unsigned long long)v);
        if (l.precision == 0 && v == 0) text = end;
        n = (size_t)(end - text);
        if (v < 0) {
          if (plain) out.Put('-');
          sign = '-';
        }
        if (plain) {
          out.Put(text, n);
          continue;
        }
        break;
      }
      default: {  // u x X
        unsigned long long u;
        switch (conv.length) {
          case 1: u = va_arg(args, unsigned long); break;
          case 2: u = va_arg(args, unsigned long long); break;
          case 3: u = va_arg(args, size_t); break;
          case -1: u = (unsigned short)va_arg(args, unsigned); break;
          case -2: u = (unsigned char)va_arg(args, unsigned); break;
          default: u = va_arg(args, unsigned); break;
        }
        char* d;
        if (conv.conversion == 'u') {
          d = DecimalDigits(end, u);
        } else {
          const char* hex = conv.conversion == 'x' ? "0123456789abcdef" : "0123456789ABCDEF";
          d = end;
          do *--d = hex[u & 15]; while (u >>= 4);
        }
        if (l.precision == 0 && d == end - 1 && *d == '0') d = end;
        text = d;
        n = (size_t)(end - d);
        if (plain) {
          out.Put(text, n);
          continue;
        }
        break;
      }
    }
    PutPadded(&out, l, sign, text, n, numeric);
  }
  return out.Finish(buffer);
}

int FormatText(char* buffer, size_t size, const char* format, ...) {
  va_list args;
  va_start(args, format);
  int n = FormatTextV(buffer, size, format, args);
  va_end(args);
  return n;
}

int AppendText(char* buffer, size_t size, const char* format, ...) {
  size_t used = strnlen(buffer, size);
  if (used >= size) return (int)used;
  va_list args;
  va_start(args, format);
  int n = FormatTextV(buffer + used, size - used, format, args);
  va_end(args);
  return (int)used + n;
}

int DecimalText(unsigned value, char* text) {
  char* end = literal::PutDecimal(text, value, 0);
  *end = 0;
  return (int)(end - text);
}

int SetCell(SummaryCell* cell, const char* format, ...) {
  va_list args;
  va_start(args, format);
  int n = FormatTextV(cell->text, sizeof cell->text, format, args);
  va_end(args);
  return n;
}

int AppendCell(SummaryCell* cell, const char* format, ...) {
  size_t used = strnlen(cell->text, sizeof cell->text);
  if (used >= sizeof cell->text) return (int)used;
  va_list args;
  va_start(args, format);
  int n = FormatTextV(cell->text + used, sizeof cell->text - used, format, args);
  va_end(args);
  return (int)used + n;
}

void literal::Writer::CutBytes(const char* s, size_t n) { Bytes(s, n); }

void literal::Writer::Text(const char* s) {
  if (!s) s = "(null)";
  size_t n = strnlen(s, Room());
  CopyBytes(p, s, n);
  p += n;
}

// ---------------------------------------------------------------- names

const Name* NameTable::Find(DWORD key) const {
  if (!sorted_) {
    for (const Name& n : rows_)
      if (n.key == key) return &n;
    return nullptr;
  }
  size_t low = 0, high = rows_.size();
  while (low < high) {
    size_t mid = low + (high - low) / 2;
    if (rows_[mid].key < key)
      low = mid + 1;
    else
      high = mid;
  }
  return low < rows_.size() && rows_[low].key == key ? &rows_[low] : nullptr;
}

// ---------------------------------------------------------------- bit pictures

BitText BitPicture(uint64_t value, uint64_t mask, int bits, int group) {
  BitText t;
  char* p = t.text;
  if (literal::IsBytePicture(bits, group)) {
    p = literal::PutBytePicture(p, value, mask, bits, group);
    *p = 0;
    t.length = (unsigned char)(p - t.text);
    return t;
  }
  char* end = t.text + sizeof t.text - 1;
  if (bits > 64) bits = 64;
  // A blank follows bit i where i % group is 0: counted down, not divided.
  int place = group > 0 && bits > 0 ? (bits - 1) % group : 0;
  for (int i = bits - 1; i >= 0 && p < end; i--) {
    *p++ = (mask >> i) & 1 ? (char)('0' + ((value >> i) & 1)) : 'x';
    if (group <= 0) continue;
    if (place > 0) {
      place--;
      continue;
    }
    if (i > 0 && p < end) *p++ = ' ';
    place = group - 1;
  }
  *p = 0;
  t.length = (unsigned char)(p - t.text);
  return t;
}

const char* NibbleBitsText(int value) {
  static const char kBits[16][5] = {"0000", "0001", "0010", "0011", "0100", "0101", "0110", "0111",
                                    "1000", "1001", "1010", "1011", "1100", "1101", "1110", "1111"};
  return kBits[value & 0xF];
}

// ---------------------------------------------------------------- detail lines

DetailLine* DetailList::AddV(int offset, int length, const char* format, va_list args) {
  DetailLine* line = Take(offset, length);
  if (line) FormatTextV(line->text, sizeof line->text, format, args);
  return line;
}

DetailLine* DetailList::Add(int offset, int length, const char* format, ...) {
  va_list args;
  va_start(args, format);
  DetailLine* line = AddV(offset, length, format, args);
  va_end(args);
  return line;
}

DetailLine* DetailList::Group(BYTE* expandState, int offset, int length, const char* format, ...) {
  va_list args;
  va_start(args, format);
  DetailLine* line = AddV(offset, length, format, args);
  va_end(args);
  if (line) OpenGroup(line, expandState);
  return line;
}

DetailLine* DetailList::Text(int offset, int length, const char* text) {
  DetailLine* line = Take(offset, length);
  if (line) {
    size_t n = strnlen(text, sizeof line->text - 1);
    memcpy(line->text, text, n);
    line->text[n] = 0;
  }
  return line;
}

DetailLine* DetailList::HexDump(const char* label, const BYTE* data, int length, int frameOffset) {
  // Dumps always follow a line of their own protocol (its title at least).
  if (stopped || !last || !g_svc.AddHexDumpLines || length <= 0) return last;
  DetailLine* end = g_svc.AddHexDumpLines(last, label, data, length, frameOffset);
  if (end) last = end;
  return last;
}

}  // namespace qv
