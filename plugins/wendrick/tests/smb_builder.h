// SMB messages built in the tests, for cases that vary one field of the
// crafted frames.
#pragma once

#include <string>

#include "wendrick_host.h"

namespace wendricktest {

inline void Put16(Bytes& b, unsigned v) {
  b.push_back((BYTE)v);
  b.push_back((BYTE)(v >> 8));
}
inline void Put32(Bytes& b, unsigned v) {
  Put16(b, v & 0xFFFF);
  Put16(b, v >> 16);
}
inline Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

// The fixed header: command, error class and code, flags, flags2.
inline Bytes SmbHeader(BYTE command, BYTE flags = 0x18, WORD flags2 = 0x0001, BYTE errorClass = 0, WORD code = 0) {
  Bytes b = {0xFF, 'S', 'M', 'B', command, errorClass, 0};
  Put16(b, code);
  b.push_back(flags);
  Put16(b, flags2);
  b.insert(b.end(), 12, 0);
  for (unsigned id : {1u, 0xFEFFu, 2u, 3u}) Put16(b, id);  // tree, process, user, multiplex
  return b;
}

// A parameter block: word count, words, byte count, bytes.
inline Bytes SmbBlock(const Bytes& words, const Bytes& data = {}) {
  Bytes b = {(BYTE)(words.size() / 2)};
  b.insert(b.end(), words.begin(), words.end());
  Put16(b, (unsigned)data.size());
  b.insert(b.end(), data.begin(), data.end());
  return b;
}

// A mailslot Transaction request whose bytes are `name` (as given: its
// terminator, pad and encoding are the caller's) and then `data`; the byte
// count covers both unless given.
inline Bytes Transaction(const Bytes& name, const Bytes& data, bool unicode = false, int byteCount = -1) {
  Bytes words;
  for (unsigned w : {0u, (unsigned)data.size(), 0u, 0u}) Put16(words, w);
  words.push_back(0);  // max setup
  words.push_back(0);
  Put16(words, 0);       // flags
  Put32(words, 1000);    // timeout
  Put16(words, 0);
  const unsigned dataAt = 32 + 1 + 34 + 2 + (unsigned)name.size();
  for (unsigned w : {0u, dataAt, (unsigned)data.size(), dataAt}) Put16(words, w);
  words.push_back(3);
  words.push_back(0);
  for (unsigned s : {1u, 1u, 2u}) Put16(words, s);
  Bytes bytes = Cat({name, data});
  Bytes b = Cat({SmbHeader(0x25, 0x18, unicode ? 0x8001 : 0x0001), SmbBlock(words, bytes)});
  if (byteCount >= 0) {
    b[32 + 1 + 34] = (BYTE)byteCount;
    b[32 + 1 + 34 + 1] = (BYTE)(byteCount >> 8);
  }
  return b;
}
inline Bytes AsciiName(const std::string& name) { return Cat({Text(name), Bytes{0}}); }
inline Bytes Utf16Name(const std::u16string& name, bool pad) {
  Bytes b;
  if (pad) b.push_back(0);
  for (char16_t c : name) Put16(b, c);
  Put16(b, 0);
  return b;
}

}  // namespace wendricktest
