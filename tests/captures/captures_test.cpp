// Every capture kept in files/ through every pass with every plug-in loaded.
// The frames were written by others, many to break decoders: under the
// sanitizer build a read past a buffer, undefined behaviour or a crash ends
// the run, and CTest's time limit catches a hang.
#include <dirent.h>
#include <stdio.h>

#include <algorithm>
#include <string>
#include <vector>

#include "qvhost/capture.h"
#include "testhost.h"

namespace {

std::vector<std::string> CaptureFiles() {
  std::vector<std::string> files;
  if (DIR* d = opendir(QV_CAPTURE_DIR)) {
    while (dirent* e = readdir(d)) {
      std::string name = e->d_name;
      if (name.size() > 5 && (name.ends_with(".pcap") || name.ends_with(".pcapng")))
        files.push_back(std::string(QV_CAPTURE_DIR) + "/" + name);
    }
    closedir(d);
  }
  std::sort(files.begin(), files.end());
  return files;
}

int Quiet(HWND, const char*, const char*, DWORD, void*) { return plat::IDOK; }

TEST(Captures, EveryCaptureDecodesCleanly) {
  plat::SetMessageSink(Quiet, nullptr);
  qvhost::Host host;
  std::vector<std::string> errors;
  ASSERT_GT(host.LoadFolder(qvtest::PluginDir(), &errors), 0u);
  host.Start();
  const std::vector<std::string> files = CaptureFiles();
  ASSERT_GE(files.size(), 400u) << QV_CAPTURE_DIR;

  const DWORD defaults = host.flags();
  const DWORD options[] = {defaults, defaults | MT_RAW_ADDRESSES | MT_SHOW_VENDOR | MT_HIDE_BEACONS};
  qvhost::FrameOutput out;
  unsigned long decoded = 0, wireless = 0;
  for (const std::string& file : files) {
    // Named before the frames, so that a sanitizer report follows its file.
    fprintf(stderr, "%s\n", file.c_str());
    for (DWORD flags : options) {
      qvhost::CaptureSource source;
      std::string error;
      if (!source.OpenFile(file, &error)) continue;  // a file libpcap refuses has no frames for us
      host.flags() = flags;
      qvhost::Packet packet;
      while (source.Next(&packet) == 1) {
        qvhost::Media media;
        if (!qvhost::MediaOf(source.linkType(), packet, &media)) continue;
        ProtocolDescriptor* root = host.Find(media.root);
        if (!root) continue;
        host.DecodeFrame(root, packet.data + media.skip, media.capturedLength, media.wireLength, qvhost::RUN_ALL,
                         &out, &media.radio);
        std::string text;
        qvhost::RenderDetail(out, &text);
        decoded++;
        if (root == host.Find(qvhost::kWirelessRoot)) wireless++;
      }
      host.ClearStations();
    }
  }
  host.ReleaseDetail(&out);
  EXPECT_GT(decoded, 5000u);  // Ethernet frames alone, twice
  EXPECT_EQ(wireless, 2 * 129u);  // every frame of the 802.11 captures, radiotap or plain
  plat::SetMessageSink(nullptr, nullptr);
}

}  // namespace
