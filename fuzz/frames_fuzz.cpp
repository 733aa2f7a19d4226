// Arbitrary frames through every loaded plug-in, all three passes.
// Input: [options][line failure][extra wire bytes] frame...
//   options bit 0: 802.11 root instead of Ethernet; bits 1-4: MT_RAW_ADDRESSES,
//   MT_SHOW_VENDOR, MT_HIDE_BEACONS, MT_SHOW_NETWORK_ADDRESSES;
//   line failure: fail AllocDetailLine from that call on (0 = never).
#include <dlfcn.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "qvhost/host.h"
#include "qvhost/render.h"

namespace {

int Quiet(HWND, const char*, const char*, DWORD, void*) { return plat::IDOK; }

std::string PluginFolder() {
  if (const char* dir = getenv("QV_PLUGIN_DIR")) return dir;
  Dl_info info;
  if (dladdr(reinterpret_cast<void*>(&PluginFolder), &info) && info.dli_fname) {
    std::string s = info.dli_fname;
    size_t slash = s.find_last_of('/');
    if (slash != std::string::npos) return s.substr(0, slash);
  }
  return ".";
}

qvhost::Host* TheHost() {
  static qvhost::Host* host = [] {
    plat::SetMessageSink(Quiet, nullptr);
    auto* h = new qvhost::Host;
    h->LoadFolder(PluginFolder(), nullptr);
    h->Start();
    return h;
  }();
  return host;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3 || size > 70000) return 0;
  qvhost::Host* host = TheHost();
  // Random addresses would grow the station table without end.
  static unsigned runs = 0;
  if (++runs % 4096 == 0) host->ClearStations();
  BYTE options = data[0];
  ProtocolDescriptor* root = host->Find(options & 1 ? qvhost::kWirelessRoot : qvhost::kEthernetRoot);
  if (!root) return 0;
  DWORD flags = 0;
  if (options & 2) flags |= MT_RAW_ADDRESSES;
  if (options & 4) flags |= MT_SHOW_VENDOR;
  if (options & 8) flags |= MT_HIDE_BEACONS;
  if (options & 16) flags |= MT_SHOW_NETWORK_ADDRESSES;
  host->flags() = flags;
  int captured = (int)size - 3;
  // An exact-size copy, so that any read past the captured bytes is caught.
  std::vector<BYTE> frame(data + 3, data + size);
  host->FailDetailLineAt(data[1], true);
  static qvhost::FrameOutput out;
  host->DecodeFrame(root, frame.data(), captured, captured + data[2], qvhost::RUN_ALL, &out);
  host->FailDetailLineAt(0);
  std::string text;
  qvhost::RenderSummary(1, out, &text);
  qvhost::RenderDetail(out, &text);
  host->ReleaseDetail(&out);
  return 0;
}
