// The lines every SMB header shows, for expected-line tables.
#pragma once

#include <string>

#include "wendrick_host.h"

namespace wendricktest {

inline Lines operator+(Lines a, const Lines& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// Every line moved by `by` bytes.
inline Lines Shift(Lines lines, int by) {
  for (Line& l : lines) l.offset += by;
  return lines;
}

struct HeaderValues {
  std::string function;
  int titleLength;
  bool response = false;
  bool unicode = false;
  std::string errorClass = "Success";
  std::string errorCode = "Success";
  int tree = 0, process = 65279, user = 0, multiplex = 0;
};

// The title and header lines of a message at offset 0 whose flags are 0x18
// (0x98 for responses) and whose flags2 are 0x0001 (0x8001 in Unicode).
inline Lines HeaderLines(const HeaderValues& v) {
  const auto word = [](int i) {
    return Line{"Word " + std::to_string(i) + "\t\t\t\t0", 12 + 2 * i, 2, i == 5 ? CLOSE : 0};
  };
  return {
      {"Server Message Block Protocol", 0, v.titleLength, OPEN},
      {"Function\t\t\t\t\t" + v.function, 4, 1, 0},
      {"Error Class\t\t\t\t" + v.errorClass, 5, 1, 0},
      {"Reserved\t\t\t\t\t0", 6, 1, 0},
      {"Error Code\t\t\t\t" + v.errorCode, 7, 2, 0},
      {"Flags", 9, 1, OPEN},
      {std::string("Direction\t\t\t") + (v.response ? "Server to Client" : "Client to Server"), 9, 1, 0},
      {"File Names\t\t\tNot case sensitive", 9, 1, 0},
      {"Lock and Read\t\tNot used", 9, 1, CLOSE},
      {"Extended Flags", 10, 2, OPEN},
      {std::string("Strings are\t\t\t") + (v.unicode ? "Unicode" : "ASCII"), 10, 2, 0},
      {"Errors are\t\t\t16 Bits", 10, 2, 0},
      {"Reads are\t\t\tPermitted only with Read-Permission", 10, 2, 0},
      {"DFS Resolution\t\tOff", 10, 2, 0},
      {"Security\t\t\t\tExtended Security Not Supported", 10, 2, 0},
      {"Attributes\t\t\tExtended Attributes Not Supported", 10, 2, 0},
      {"Long FileNames\t\tSupported", 10, 2, CLOSE},
      {"Reserved Words", 12, 12, OPEN},
      word(0),
      word(1),
      word(2),
      word(3),
      word(4),
      word(5),
      {"Tree ID\t\t\t\t\t" + std::to_string(v.tree), 24, 2, 0},
      {"Process ID\t\t\t\t" + std::to_string(v.process), 26, 2, 0},
      {"User ID\t\t\t\t\t" + std::to_string(v.user), 28, 2, 0},
      {"Multiplex ID\t\t\t" + std::to_string(v.multiplex), 30, 2, 0},
  };
}

}  // namespace wendricktest
