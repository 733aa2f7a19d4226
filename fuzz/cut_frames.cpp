// Cuts capture files into inputs of the frame fuzz target, one frame a file:
// the option byte picks the frame's media root, no line fails, the extra
// wire bytes are those the capture left out (up to 255). Campaigns start
// from these; what they add to coverage is merged into coverage/.
// With --radiotap only the 802.11 frames, each behind its radiotap header
// (an empty one where the capture has none), options bits 0 and 7 set.
//
//   cut_frames [--radiotap] OUTPUT-FOLDER CAPTURE...
#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <string>

#include "qvhost/capture.h"
#include "qvhost/host.h"

int main(int argc, char** argv) {
  const bool radiotap = argc > 1 && strcmp(argv[1], "--radiotap") == 0;
  const int first = radiotap ? 2 : 1;
  if (argc < first + 2) {
    fprintf(stderr, "usage: cut_frames [--radiotap] OUTPUT-FOLDER CAPTURE...\n");
    return 2;
  }
  const std::string folder = argv[first];
  size_t written = 0, skipped = 0;
  bool ok = true;
  for (int i = first + 1; i < argc; i++) {
    qvhost::CaptureSource source;
    std::string error;
    if (!source.OpenFile(argv[i], &error)) {
      fprintf(stderr, "%s\n", error.c_str());
      ok = false;
      continue;
    }
    std::string base = argv[i];
    base = base.substr(base.find_last_of('/') + 1);
    qvhost::Packet packet;
    for (int n = 1;; n++) {
      int got = source.Next(&packet);
      if (got < 0) {
        fprintf(stderr, "%s: %s\n", argv[i], source.error().c_str());
        break;
      }
      if (got == 0) break;
      qvhost::Media media;
      if (!qvhost::MediaOf(source.linkType(), packet, &media)) {
        skipped++;
        continue;
      }
      const bool wireless = strcmp(media.root, qvhost::kWirelessRoot) == 0;
      if (radiotap && !wireless) continue;
      // Where a radiotap header stays, the lengths are the capture's.
      static const BYTE kEmptyRadiotap[8] = {0, 0, 8, 0, 0, 0, 0, 0};
      std::string bytes;
      if (radiotap && media.skip == 0) bytes.assign((const char*)kEmptyRadiotap, sizeof kEmptyRadiotap);
      const int from = radiotap ? 0 : media.skip;
      const int length = radiotap ? packet.capturedLength : media.capturedLength;
      const int wire = radiotap ? packet.wireLength : media.wireLength;
      bytes.append((const char*)packet.data + from, (size_t)length);
      const BYTE head[3] = {(BYTE)(radiotap ? 0x81 : wireless ? 1 : 0), 0, (BYTE)std::clamp(wire - length, 0, 255)};
      const std::string path = folder + "/" + base + "-" + std::to_string(n);
      FILE* f = fopen(path.c_str(), "wb");
      if (!f || fwrite(head, 1, 3, f) != 3 || fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size() ||
          fclose(f) != 0) {
        fprintf(stderr, "cannot write %s\n", path.c_str());
        return 1;
      }
      written++;
    }
  }
  printf("%zu frames written, %zu of link types no plug-in decodes\n", written, skipped);
  return ok ? 0 : 1;
}
