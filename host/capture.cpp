// Frames through libpcap: capture files read through a large stdio buffer of
// our own, live interfaces with a read time-out, and each packet's media (its
// radiotap header, and a protected 802.11 frame's WEP values).
#include "qvhost/capture.h"

#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <pcap/pcap.h>

#include "qvhost/host.h"

namespace qvhost {

namespace {
// stdio's own buffer for a file is one page: one read system call per 4 KiB
// of capture, a fifth of a counting run. libpcap reads through the FILE we
// hand it, so it reads through this buffer instead.
constexpr size_t kReadBuffer = 1 << 20;

// What a capture driver records beside a protected 802.11 frame, taken from
// the frame itself: the IV and key byte that begin its body, and the ICV in
// its last four bytes (left 0 when the frame is cut, the ICV then missing).
// The body starts behind the header: 24 bytes, 30 with four addresses, 2
// more for a QoS data frame's control field and 4 more for its HT control.
void ReadWepValues(const BYTE* frame, int captured, int wire, BYTE* radioInfo) {
  if (captured < 2) return;
  const BYTE control = frame[0], flags = frame[1];
  const int type = (control >> 2) & 3;
  if (!(flags & 0x40) || type == 1) return;  // not protected, or a control frame
  int header = 24;
  if (type == 2) {
    if ((flags & 0x03) == 0x03) header = 30;
    if (control & 0x80) header += (flags & 0x80) ? 6 : 2;
  }
  if (captured < header + 4) return;
  memcpy(radioInfo + 12, frame + header, 4);  // IV (3 bytes) and key byte
  if (captured == wire && captured >= header + 8) memcpy(radioInfo + 16, frame + captured - 4, 4);
}
}  // namespace

CaptureSource::~CaptureSource() {
  if (pcap_) pcap_close(pcap_);  // closes the file, which uses readBuffer_
  free(readBuffer_);
}

bool CaptureSource::OpenFile(const std::string& path, std::string* error) {
  char err[PCAP_ERRBUF_SIZE] = {};
  if (path == "-") {
    pcap_ = pcap_open_offline(path.c_str(), err);  // standard input, as it is
  } else if (FILE* file = fopen(path.c_str(), "rb")) {
    readBuffer_ = static_cast<char*>(malloc(kReadBuffer));
    if (readBuffer_) setvbuf(file, readBuffer_, _IOFBF, kReadBuffer);
    // On failure libpcap leaves the file to us.
    pcap_ = pcap_fopen_offline(file, err);
    if (!pcap_) {
      fclose(file);
      free(readBuffer_);
      readBuffer_ = nullptr;
    }
  } else {
    snprintf(err, sizeof err, "%s: %s", path.c_str(), strerror(errno));
  }
  if (!pcap_) {
    // libpcap names the file itself in some of its messages.
    std::string text = err;
    if (error) *error = text.rfind(path, 0) == 0 ? text : path + ": " + text;
    return false;
  }
  linkType_ = pcap_datalink(pcap_);
  return true;
}

bool CaptureSource::OpenLive(const std::string& device, std::string* error) {
  char err[PCAP_ERRBUF_SIZE] = {};
  pcap_ = pcap_create(device.c_str(), err);
  if (!pcap_) {
    if (error) *error = device + ": " + err;
    return false;
  }
  pcap_set_snaplen(pcap_, 262144);
  pcap_set_promisc(pcap_, 1);
  pcap_set_timeout(pcap_, 100);
  int rc = pcap_activate(pcap_);
  if (rc < 0) {
    if (error) *error = device + ": " + pcap_geterr(pcap_);
    pcap_close(pcap_);
    pcap_ = nullptr;
    return false;
  }
  live_ = true;
  linkType_ = pcap_datalink(pcap_);
  return true;
}

int CaptureSource::NextSlowly(int rc, Packet* packet) {
  for (;;) {
    if (rc == 1) return 1;
    if (rc == 0 && live_) {  // read time-out, nothing arrived
      rc = Read(packet);
      continue;
    }
    if (rc == PCAP_ERROR_BREAK || rc == 0) return 0;
    return Failed();
  }
}

int CaptureSource::Failed() {
  error_ = pcap_geterr(pcap_);
  return -1;
}

void CaptureSource::BreakLoop() {
  if (pcap_) pcap_breakloop(pcap_);
}

bool WirelessMedia(int linkType, const Packet& packet, Media* media) {
  media->radio = FrameMedia{};
  if (linkType == DLT_IEEE802_11_RADIO) {
    RadiotapFrame frame;
    if (!ReadRadiotap(packet.data, packet.capturedLength, packet.wireLength, &frame)) {
      media->radiotapLength = frame.headerLength;
      return false;
    }
    media->skip = frame.headerLength;
    media->capturedLength = frame.capturedLength;
    media->wireLength = frame.wireLength;
    media->radio = frame.media;
  }
  media->root = kWirelessRoot;
  ReadWepValues(packet.data + media->skip, media->capturedLength, media->wireLength, media->radio.radioInfo);
  return true;
}

}  // namespace qvhost
