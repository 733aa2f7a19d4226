// Arbitrary frames through every loaded plug-in, all three passes.
// Input: [options][line failure][extra wire bytes] frame...
//   options bit 0: 802.11 root instead of Ethernet; bits 1-4: MT_RAW_ADDRESSES,
//   MT_SHOW_VENDOR, MT_HIDE_BEACONS, MT_SHOW_NETWORK_ADDRESSES; bit 5: the name
//   table holds names for the frame's own addresses (below); bit 6: and first
//   a name of length 0, which every address matches; bit 7 with bit 0: the
//   frame starts with a radiotap header, which the host strips and reads
//   into the frame's radio fields; bit 7 without bit 0: the protocol
//   numbered [extra wire bytes] (modulo their count, in registration order)
//   is switched off for this frame;
//   line failure: fail AllocDetailLine from that call on (0 = never).
// A campaign of one media root sets QV_FUZZ_MEDIA to "ethernet" or "802.11",
// which overrides bit 0 (its inputs get that bit before they join the
// corpus).
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz_host.h"
#include "name_entry.h"
#include "qvhost/host.h"
#include "qvhost/radiotap.h"
#include "qvhost/render.h"

namespace {

// Names for the addresses where the media headers (and IPv4 over Ethernet)
// keep them, and for the source's first three bytes as a vendor prefix, so
// that the decoders' paths for named addresses run. Each name and its colours
// come from the input's own bytes: up to 31 of them from the frame's end.
void FillNames(MonitorTable* t, const BYTE* frame, int length, bool wireless, bool everyAddress) {
  if (length <= 0) return;
  struct Place {
    int offset, length;
  };
  static const Place kEthernet[] = {{0, 6}, {6, 6}, {6, 3}, {26, 4}, {30, 4}};
  static const Place kWireless[] = {{4, 6}, {10, 6}, {16, 6}, {10, 3}};
  std::vector<Place> places;
  if (everyAddress) places.push_back(Place{0, 0});
  if (wireless)
    places.insert(places.end(), std::begin(kWireless), std::end(kWireless));
  else
    places.insert(places.end(), std::begin(kEthernet), std::end(kEthernet));
  for (size_t i = 0; i < places.size(); i++) {
    const Place& p = places[i];
    if (p.offset + p.length > length) continue;
    int n = std::min(1 + frame[length - 1] % 31, length);
    int start = std::max(length - n - (int)i, 0);
    char name[32];
    memcpy(name, frame + start, (size_t)n);
    name[n] = 0;
    if (name[0] == 0) name[0] = (char)('A' + i);
    auto* e = static_cast<pallisand::NameEntry*>(t->AddName(name, frame + p.offset, p.length, 0));
    if (!e) continue;
    const BYTE* c = frame + (start + (int)i) % length;
    e->destinationColor = (COLORREF)c[0] << 8 | frame[p.offset];
    e->sourceColor = (COLORREF)frame[length - 1] << 16 | c[0];
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3 || size > 70000) return 0;
  qvhost::Host* host = qvfuzz::TheHost();
  // Random addresses would grow the station table without end.
  static unsigned runs = 0;
  if (++runs % 4096 == 0) host->ClearStations();
  static const int media = [] {
    const char* forced = getenv("QV_FUZZ_MEDIA");
    return !forced ? -1 : strcmp(forced, "802.11") == 0 ? 1 : 0;
  }();
  BYTE options = media < 0 ? data[0] : (BYTE)((data[0] & ~1) | media);
  ProtocolDescriptor* root = host->Find(options & 1 ? qvhost::kWirelessRoot : qvhost::kEthernetRoot);
  if (!root) return 0;
  DWORD flags = 0;
  if (options & 2) flags |= MT_RAW_ADDRESSES;
  if (options & 4) flags |= MT_SHOW_VENDOR;
  if (options & 8) flags |= MT_HIDE_BEACONS;
  if (options & 16) flags |= MT_SHOW_NETWORK_ADDRESSES;
  host->flags() = flags;
  const BYTE* start = data + 3;
  int captured = (int)size - 3, wire = captured + data[2];
  qvhost::RadiotapFrame radio;
  if ((options & 0x81) == 0x81) {
    if (!qvhost::ReadRadiotap(start, captured, wire, &radio)) return 0;
    start += radio.headerLength;
    captured = radio.capturedLength;
    wire = radio.wireLength;
  }
  // An exact-size copy, so that any read past the captured bytes is caught.
  std::vector<BYTE> frame(start, start + captured);
  // Each input starts from an empty name table (the NetBIOS decoders add
  // names too).
  MonitorTable* t = host->table();
  t->ClearNameTable();
  if (options & 0x20) FillNames(t, frame.data(), captured, options & 1, options & 0x40);
  // A protocol switched off still counts and hands on, but writes nothing.
  BYTE* off = nullptr;
  const std::vector<ProtocolDescriptor*>& protocols = host->protocols();
  if ((options & 0x81) == 0x80 && !protocols.empty()) off = protocols[data[2] % protocols.size()]->enabled;
  BYTE was = off ? *off : 0;
  if (off) *off = 0;
  host->FailDetailLineAt(data[1], true);
  static qvhost::FrameOutput out;
  host->DecodeFrame(root, frame.data(), captured, wire, qvhost::RUN_ALL, &out, &radio.media);
  host->FailDetailLineAt(0);
  if (off) *off = was;
  std::string text;
  qvhost::TextOut rendered(&text);
  qvhost::RenderSummary(1, out, &rendered);
  // Both ways lines go back: rendered and released in one walk, as quorvane
  // -V does, or rendered and then released.
  if (captured & 1) {
    host->RenderAndReleaseDetail(&out, &rendered);
  } else {
    qvhost::RenderDetail(out, &rendered);
    host->ReleaseDetail(&out);
  }
  return 0;
}
