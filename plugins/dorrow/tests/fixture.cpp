// Dorrow's test helpers: Ethernet frames of a given type, padded to 60
// bytes, and the lines the host's hex dump gives for a run of bytes.
#include <stdio.h>

#include "dorrow_host.h"

namespace dorrowtest {

Bytes EthernetFrame(WORD type, const Bytes& payload) {
  return qvtest::Ethernet(payload, 60, type);
}

Lines Dump(const char* label, int offset, const Bytes& bytes, DWORD closes) {
  Lines lines = {{label, offset, (int)bytes.size(), OPEN}};
  for (size_t i = 0; i < bytes.size(); i += 16) {
    char text[128];
    int n = snprintf(text, sizeof text, "%04X ", offset + (int)i);
    const size_t count = bytes.size() - i < 16 ? bytes.size() - i : 16;
    for (size_t j = 0; j < 16; j++)
      n += j < count ? snprintf(text + n, sizeof text - n, " %02X", bytes[i + j]) : snprintf(text + n, sizeof text - n, "   ");
    n += snprintf(text + n, sizeof text - n, "  ");
    for (size_t j = 0; j < count; j++) text[n++] = bytes[i + j] >= 0x20 && bytes[i + j] < 0x7F ? (char)bytes[i + j] : '.';
    text[n] = 0;
    lines.push_back({text, offset + (int)i, (int)count, 0});
  }
  lines.back().flags |= CLOSE + closes;
  return lines;
}

Lines operator+(Lines a, const Lines& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

}  // namespace dorrowtest
