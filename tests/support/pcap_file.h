// Classic pcap files for tests: a capture of one link type with these
// frames, each whole (captured as long as on the wire).
#pragma once

#include <stdint.h>
#include <stdio.h>

#include <string>
#include <vector>

namespace qvtest {

// Writes the file at path; the path is returned, whether or not it could be
// written (opening it then fails in the test).
inline std::string WritePcapFile(const std::string& path, uint32_t linkType,
                                 const std::vector<std::vector<unsigned char>>& frames) {
  FILE* f = fopen(path.c_str(), "wb");
  if (!f) return path;
  const uint32_t header[6] = {0xA1B2C3D4u, 0x00040002u, 0, 0, 262144, linkType};
  fwrite(header, sizeof header, 1, f);
  for (const auto& frame : frames) {
    const uint32_t record[4] = {1, 0, (uint32_t)frame.size(), (uint32_t)frame.size()};
    fwrite(record, sizeof record, 1, f);
    fwrite(frame.data(), 1, frame.size(), f);
  }
  fclose(f);
  return path;
}

}  // namespace qvtest
