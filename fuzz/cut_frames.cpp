// Cuts capture files into inputs of the frame fuzz target, one frame a file:
// the option byte picks the frame's media root, no line fails, the extra
// wire bytes are those the capture left out (up to 255). Campaigns start
// from these; what they add to coverage is merged into coverage/.
//
//   cut_frames OUTPUT-FOLDER CAPTURE...
#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <string>

#include "qvhost/capture.h"
#include "qvhost/host.h"

int main(int argc, char** argv) {
  if (argc < 3) {
    fprintf(stderr, "usage: cut_frames OUTPUT-FOLDER CAPTURE...\n");
    return 2;
  }
  const std::string folder = argv[1];
  size_t written = 0, skipped = 0;
  bool ok = true;
  for (int i = 2; i < argc; i++) {
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
      const char* root = nullptr;
      int skip = 0;
      if (!qvhost::MediaOf(source.linkType(), packet.data, packet.capturedLength, &root, &skip)) {
        skipped++;
        continue;
      }
      const int length = packet.capturedLength - skip;
      const BYTE head[3] = {(BYTE)(strcmp(root, qvhost::kWirelessRoot) == 0 ? 1 : 0), 0,
                            (BYTE)std::clamp(packet.wireLength - packet.capturedLength, 0, 255)};
      const std::string path = folder + "/" + base + "-" + std::to_string(n);
      FILE* f = fopen(path.c_str(), "wb");
      if (!f || fwrite(head, 1, 3, f) != 3 || fwrite(packet.data + skip, 1, (size_t)length, f) != (size_t)length ||
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
