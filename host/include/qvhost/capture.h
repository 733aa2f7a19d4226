// Frames from capture files (pcap and pcapng) or a live interface.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include <string>

#include <pcap/pcap.h>

#include "qvhost/host.h"
#include "qvhost/radiotap.h"

namespace qvhost {

struct Packet {
  const BYTE* data = nullptr;
  int capturedLength = 0;
  int wireLength = 0;
  int64_t seconds = 0;
  int64_t microseconds = 0;
};

class CaptureSource {
 public:
  CaptureSource() = default;
  ~CaptureSource();
  CaptureSource(const CaptureSource&) = delete;
  CaptureSource& operator=(const CaptureSource&) = delete;

  bool OpenFile(const std::string& path, std::string* error);
  bool OpenLive(const std::string& device, std::string* error);
  // 1: a packet; 0: the end of the file; -1: an error (see error()).
  // Inline: run for every frame.
  int Next(Packet* packet) {
    const int rc = Read(packet);
    return __builtin_expect(rc == 1, 1) ? 1 : NextSlowly(rc, packet);
  }
  int linkType() const { return linkType_; }
  const std::string& error() const { return error_; }
  void BreakLoop();

 private:
  // pcap_next_ex, the packet's lengths as the file gives them: the wire
  // length is never below the captured one and never beyond what an int
  // holds. The two lengths are stored as one word, as the media copies them
  // (a load is not handed on from two narrower stores: it waits for them).
  int Read(Packet* packet) {
    pcap_pkthdr* header;
    const u_char* data;
    const int rc = pcap_next_ex(pcap_, &header, &data);
    if (rc == 1) {
      packet->data = data;
      const uint32_t wire = header->len < header->caplen ? header->caplen : header->len;
      const uint64_t lengths = (uint64_t)header->caplen | (uint64_t)(wire > INT32_MAX ? INT32_MAX : wire) << 32;
      static_assert(offsetof(Packet, wireLength) == offsetof(Packet, capturedLength) + 4, "one word");
      memcpy(&packet->capturedLength, &lengths, sizeof lengths);
      packet->seconds = header->ts.tv_sec;
      packet->microseconds = header->ts.tv_usec;
    }
    return rc;
  }
  // The end, an error, or a live capture's read time-out (read again).
  [[gnu::noinline]] int NextSlowly(int rc, Packet* packet);
  [[gnu::noinline]] int Failed();  // keeps pcap's error text; -1

  pcap_t* pcap_ = nullptr;
  char* readBuffer_ = nullptr;  // the capture file's stdio buffer
  int linkType_ = -1;
  bool live_ = false;
  std::string error_;
};

// Where a captured packet's frame starts and what the host knows of it.
struct Media {
  const char* root = nullptr;  // the media root's name id
  int skip = 0;                // bytes in front of the media header (a radiotap header)
  int capturedLength = 0;      // of the frame from its media header on
  int wireLength = 0;
  FrameMedia radio;            // the wireless fields (radiotap.h): of an 802.11 frame
  int radiotapLength = -1;     // of a radiotap header refused: the length it gives (-1: cut before it)
};

// The media root for a packet of a link type. False for link types no
// plug-in decodes and for a radiotap header that does not fit the captured
// bytes or gives a length below 8 (see radiotapLength). radio is written
// only for an 802.11 frame: from its radiotap header, and for a protected
// frame the WEP values of radioInfo (bytes 12-19) from its body (the IV and
// key byte behind the header, the ICV in the frame's last four bytes when
// it is whole). Run for every frame: inline but for 802.11, and by plain
// stores (a whole record's zeroing becomes a string store, slow to start and
// to hand its bytes on).
bool WirelessMedia(int linkType, const Packet& packet, Media* media);
inline bool MediaOf(int linkType, const Packet& packet, Media* media) {
  media->root = nullptr;
  media->skip = 0;
  // Both lengths as the one word the packet holds them in.
  static_assert(offsetof(Media, wireLength) == offsetof(Media, capturedLength) + 4, "one word");
  memcpy(&media->capturedLength, &packet.capturedLength, 2 * sizeof(int));
  switch (linkType) {
    case DLT_EN10MB:
      media->root = kEthernetRoot;
      return true;
    case DLT_IEEE802_11:
    case DLT_IEEE802_11_RADIO:
      return WirelessMedia(linkType, packet, media);
    default:
      return false;
  }
}

}  // namespace qvhost
