// Frames from capture files (pcap and pcapng) or a live interface.
#pragma once

#include <stdint.h>

#include <string>

#include "plat/types.h"

typedef struct pcap pcap_t;

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
  int Next(Packet* packet);
  int linkType() const { return linkType_; }
  const std::string& error() const { return error_; }
  void BreakLoop();

 private:
  pcap_t* pcap_ = nullptr;
  int linkType_ = -1;
  bool live_ = false;
  std::string error_;
};

// The media root for a link type and where its frame starts (a radiotap
// header is skipped). False for link types no plug-in decodes and for a
// radiotap header that does not fit the captured bytes.
bool MediaOf(int linkType, const BYTE* data, int capturedLength, const char** root, int* skip);

}  // namespace qvhost
