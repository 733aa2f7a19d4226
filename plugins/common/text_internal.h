// The machinery behind text.h's literal formats (FormatLiteral and the
// literal forms of DetailList): the parse of a format when the library is
// compiled, the writers of its pieces, and the digit and bit-picture tables
// they copy from. A parser calls text.h; this is the formatter's, and the
// toolkit's routines that write the same digits and bytes (cells, the
// decimal text) share its pieces. Included at the end of text.h, so that
// every format is instantiated where all of it is seen.
#pragma once

#include <stdint.h>
#include <string.h>

#include <string_view>
#include <type_traits>

#include "text.h"

namespace qv {

namespace literal {

// A literal run (its place in the format) and the conversion that ends it.
struct Piece {
  size_t offset = 0, length = 0;
  char conversion = 0;            // 0: the run ends the format
  bool zero = false;              // numbers: zeros up to the width
  bool countedPrecision = false;  // '.*' of %s: the precision is an argument
  int width = 0;
  int precision = -1;  // of %s; -1: none
};

template <size_t N>
struct Pieces {
  Piece piece[N / 2 + 1];  // a conversion takes two characters at least
  size_t count = 0;
};

// Not constexpr: a format that reaches it does not compile.
void UnsupportedConversion();

template <size_t N>
consteval Pieces<N> Parse(const Format<N>& f) {
  Pieces<N> out{};
  const char* t = f.text;
  for (size_t i = 0;;) {
    Piece& p = out.piece[out.count++];
    p.offset = i;
    while (t[i] && t[i] != '%') i++;
    p.length = i - p.offset;
    if (!t[i]) return out;
    i++;
    if (t[i] == '0') {
      p.zero = true;
      i++;
    }
    for (; t[i] >= '0' && t[i] <= '9'; i++) p.width = p.width * 10 + (t[i] - '0');
    if (t[i] == '.') {
      i++;
      if (t[i] == '*') {
        p.countedPrecision = true;
        i++;
      } else {
        for (p.precision = 0; t[i] >= '0' && t[i] <= '9'; i++) p.precision = p.precision * 10 + (t[i] - '0');
      }
    }
    p.conversion = t[i++];
    const bool precision = p.precision >= 0 || p.countedPrecision;
    switch (p.conversion) {
      case 'd': case 'i': case 'u': case 'x': case 'X':
        if (precision || (p.width && !p.zero) || p.width > 16) UnsupportedConversion();
        break;
      case 's':
        if (p.zero || p.width) UnsupportedConversion();
        break;
      case 'c': case '%':
        if (p.zero || p.width || precision) UnsupportedConversion();
        break;
      default:
        UnsupportedConversion();
    }
  }
}

template <Format F>
inline constexpr Pieces<sizeof F.text> kPieces = Parse(F);

// Copies n bytes, n small: a few overlapping moves, no call. Reads only the
// n bytes of the source and writes only the n of the destination, whatever
// the compiler makes of the branches for longer ones.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Warray-bounds"
#pragma GCC diagnostic ignored "-Wstringop-overread"
#endif
[[gnu::always_inline]] inline void CopyBytes(char* d, const char* s, size_t n) {
  if (n >= 8) {
    if (n > 32) {
      memcpy(d, s, n);
    } else if (n > 16) {
      char a[16], b[16];
      memcpy(a, s, 16);
      memcpy(b, s + n - 16, 16);
      memcpy(d, a, 16);
      memcpy(d + n - 16, b, 16);
    } else {
      uint64_t a, b;
      memcpy(&a, s, 8);
      memcpy(&b, s + n - 8, 8);
      memcpy(d, &a, 8);
      memcpy(d + n - 8, &b, 8);
    }
  } else if (n >= 4) {
    uint32_t a, b;
    memcpy(&a, s, 4);
    memcpy(&b, s + n - 4, 4);
    memcpy(d, &a, 4);
    memcpy(d + n - 4, &b, 4);
  } else if (n) {
    d[0] = s[0];
    d[n >> 1] = s[n >> 1];
    d[n - 1] = s[n - 1];
  }
}
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

inline constexpr char kDecimalPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// The count of u's decimal digits.
inline unsigned DecimalCount(uint32_t u) {
  static constexpr uint32_t kPowers[] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000, 1000000000};
  const unsigned t = (unsigned)((32 - __builtin_clz(u | 1)) * 1233) >> 12;  // about log10(u)
  return t + 1 - ((u | 1) < kPowers[t]);
}

// u in decimal, at least `least` digits, from p; returns the end.
[[gnu::always_inline]] inline char* PutDecimal(char* p, uint32_t u, unsigned least) {
  unsigned n = DecimalCount(u);
  if (n < least) {
    memset(p, '0', least - n);
    p += least - n;
  }
  char* end = p + n;
  char* d = end;
  while (u >= 100) {
    d -= 2;
    memcpy(d, kDecimalPairs + 2 * (u % 100), 2);
    u /= 100;
  }
  if (u >= 10)
    memcpy(d - 2, kDecimalPairs + 2 * u, 2);
  else
    d[-1] = (char)('0' + u);
  return end;
}

// u in hexadecimal, at least `least` digits, from p; returns the end.
[[gnu::always_inline]] inline char* PutHex(char* p, uint32_t u, unsigned least, bool upper) {
  const char* digits = upper ? "0123456789ABCDEF" : "0123456789abcdef";
  unsigned n = (unsigned)(32 - __builtin_clz(u | 1) + 3) / 4;
  if (n < least) n = least;
  for (unsigned i = n; i-- > 0; u >>= 4) p[i] = digits[u & 15];
  return p + n;
}

// ---- bit pictures of whole bytes, in groups of a byte or a nibble: those of
// the detail lines, written a byte's eight characters at a time. Each is
// 'x', or '0' plus the value's bit where the mask has one: bytes of 0 or 1
// for both, and no carries between the bytes.
struct ByteBits {
  unsigned char bits[256][8];  // most significant first
};
inline constexpr ByteBits kByteBits = [] {
  ByteBits t{};
  for (int b = 0; b < 256; b++)
    for (int i = 0; i < 8; i++) t.bits[b][i] = (unsigned char)((b >> (7 - i)) & 1);
  return t;
}();

constexpr bool IsBytePicture(int bits, int group) {
  return bits > 0 && bits <= 64 && bits % 8 == 0 && (group == 8 || group == 4);
}
constexpr size_t kLongestPicture = 64 + 15;

// Writes the picture from p (no NUL); returns its end.
[[gnu::always_inline]] inline char* PutBytePicture(char* p, uint64_t value, uint64_t mask, int bits, int group) {
  for (int i = bits - 8; i >= 0; i -= 8) {
    uint64_t m, v;
    memcpy(&m, kByteBits.bits[(mask >> i) & 0xFF], 8);
    memcpy(&v, kByteBits.bits[(value >> i) & 0xFF], 8);
    const uint64_t c = 0x7878787878787878ull - m * 0x48u + (v & m);
    char chars[8];
    memcpy(chars, &c, 8);
    if (group == 8) {
      memcpy(p, chars, 8);
      p += 8;
    } else {
      memcpy(p, chars, 4);
      p[4] = ' ';
      memcpy(p + 5, chars + 4, 4);
      p += 9;
    }
    if (i > 0) *p++ = ' ';
  }
  return p;
}

// A bounded writer into the caller's buffer; end is its last byte, kept
// for the NUL.
struct Writer {
  char* p;
  char* end;
  size_t Room() const { return (size_t)(end - p); }
  void Put(char c) {
    if (p < end) *p++ = c;
  }
  // n bytes of s, cut at the bound.
  void Bytes(const char* s, size_t n) {
    if (n > Room()) [[unlikely]] n = Room();
    CopyBytes(p, s, n);
    p += n;
  }
  // The same out of line, for a text of any length cut from one whose size
  // the compiler knows: inlined, its bounds warnings would see the copies of
  // every length as reading past that size.
  void CutBytes(const char* s, size_t n);
  // s up to its NUL, cut at the bound; a null s as the C library prints it.
  void Text(const char* s);
  template <size_t N>
  [[gnu::always_inline]] void Literal(const char* s) {
    if constexpr (N > 0) {
      if (Room() >= N) [[likely]] {
        memcpy(p, s, N);
        p += N;
      } else {
        CutBytes(s, N);
      }
    }
  }
};

template <class T>
constexpr bool kIsText = std::is_same_v<T, std::string_view> || std::is_same_v<T, const char*> ||
                         std::is_same_v<T, char*> || std::is_same_v<T, BitText> || std::is_same_v<T, Bits>;
template <class T>
constexpr bool kIsNumber = (std::is_integral_v<T> || std::is_enum_v<T>) && sizeof(T) <= sizeof(int);

[[gnu::always_inline]] inline void PutText(Writer& w, const char* s, int precision) {
  if (precision < 0) return w.Text(s);
  if (!s) s = precision >= 6 ? "(null)" : "";
  w.CutBytes(s, strnlen(s, (size_t)precision));
}
[[gnu::always_inline]] inline void PutText(Writer& w, std::string_view s, int precision) {
  w.Bytes(s.data(), precision >= 0 && (size_t)precision < s.size() ? (size_t)precision : s.size());
}
[[gnu::always_inline]] inline void PutText(Writer& w, const Bits& b, int precision) {
  if (precision < 0 && IsBytePicture(b.bits, b.group) && w.Room() >= kLongestPicture) {
    w.p = PutBytePicture(w.p, b.value, b.mask, b.bits, b.group);
    return;
  }
  const BitText t = BitPicture(b.value, b.mask, b.bits, b.group);
  PutText(w, std::string_view(t.text, t.length), precision);
}

// A number, as a variable argument list would pass it and the conversion
// take it.
template <Piece P, class T>
[[gnu::always_inline]] inline void PutNumber(Writer& w, T value) {
  static_assert(kIsNumber<T>, "the conversion takes a number of at most the size of an int");
  if constexpr (P.conversion == 'c') return w.Put((char)value);
  constexpr unsigned kLeast = P.zero ? (unsigned)P.width : 0;
  constexpr size_t kMost = kLeast > 11 ? kLeast : 11;
  char cut[24];  // room for the whole number when the buffer has less
  const bool whole = w.Room() >= kMost;
  char* p = whole ? w.p : cut;
  if constexpr (P.conversion == 'd' || P.conversion == 'i') {
    const int v = (int)value;
    if (v < 0) *p++ = '-';
    const unsigned least = v < 0 && kLeast ? kLeast - 1 : kLeast;
    p = PutDecimal(p, v < 0 ? 0u - (unsigned)v : (unsigned)v, least);
  } else if constexpr (P.conversion == 'u') {
    p = PutDecimal(p, (unsigned)value, kLeast);
  } else {
    p = PutHex(p, (unsigned)value, kLeast, P.conversion == 'X');
  }
  if (whole)
    w.p = p;
  else
    w.CutBytes(cut, (size_t)(p - cut));
}

template <Format F, size_t I>
[[gnu::always_inline]] inline void Write(Writer& w) {
  constexpr Piece P = kPieces<F>.piece[I];
  w.Literal<P.length>(F.text + P.offset);
  if constexpr (P.conversion == '%') {
    w.Put('%');
    Write<F, I + 1>(w);
  } else {
    static_assert(P.conversion == 0, "the format takes more arguments");
  }
}

template <Format F, size_t I, class T, class... Rest>
[[gnu::always_inline]] inline void Write(Writer& w, const T& arg, const Rest&... rest);

template <Format F, size_t I, class T, class U, class... Rest>
[[gnu::always_inline]] inline void WriteCounted(Writer& w, const T& precision, const U& text, const Rest&... rest) {
  static_assert(std::is_same_v<T, int>, "a counted precision is an int");
  static_assert(kIsText<std::decay_t<U>>, "%s takes a text");
  PutText(w, text, precision);
  Write<F, I + 1>(w, rest...);
}

template <Format F, size_t I, class T, class... Rest>
[[gnu::always_inline]] inline void Write(Writer& w, const T& arg, const Rest&... rest) {
  constexpr Piece P = kPieces<F>.piece[I];
  w.Literal<P.length>(F.text + P.offset);
  if constexpr (P.conversion == '%') {
    w.Put('%');
    Write<F, I + 1>(w, arg, rest...);
  } else if constexpr (P.countedPrecision) {
    static_assert(sizeof...(Rest) > 0, "%.*s takes a precision and a text");
    WriteCounted<F, I>(w, arg, rest...);
  } else if constexpr (P.conversion == 's') {
    using Text = std::decay_t<T>;
    static_assert(kIsText<Text>, "%s takes a text");
    if constexpr (std::is_same_v<Text, BitText>)
      PutText(w, std::string_view(arg.text, arg.length), P.precision);
    else
      PutText(w, arg, P.precision);
    Write<F, I + 1>(w, rest...);
  } else {
    static_assert(P.conversion != 0, "the format takes fewer arguments");
    PutNumber<P>(w, arg);
    Write<F, I + 1>(w, rest...);
  }
}

}  // namespace literal

template <literal::Format F, class... A>
int FormatLiteral(char* buffer, size_t size, const A&... args) {
  if (size == 0) return 0;
  literal::Writer w{buffer, buffer + size - 1};
  literal::Write<F, 0>(w, args...);
  *w.p = 0;
  return (int)(w.p - buffer);
}

}  // namespace qv
