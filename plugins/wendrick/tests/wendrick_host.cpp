// Wendrick's test host: the carrier that hands a frame to a Wendrick protocol
// at the offset it was made for, the record of DefaultParse calls, the names
// the library learnt, and the slot up to which an SMB frame's lines decide
// where it goes.
#include "wendrick_host.h"

#include <stdio.h>

#include <algorithm>

namespace wendricktest {

namespace {

DWORD QV_CALL CarrierParse(DWORD pass, CaptureFrame* frame, void* out) {
  const Carrier& c = TheCarrier();
  if (c.wireless) frame->flags |= FRAME_WIRELESS_MEDIA;
  frame->offset = c.at;
  return c.target ? c.target(pass, frame, out) : 0;
}

ProtocolParse g_hostDefault;

DWORD QV_CALL Recording(DWORD pass, CaptureFrame* frame, void* out) {
  DefaultCalls().push_back({pass, frame->offset, out});
  return g_hostDefault(pass, frame, out);
}

CTRLARG QV_CALL CarrierControl(DWORD, CTRLARG, CTRLARG, CTRLARG, CTRLARG) { return 0; }

}  // namespace

std::vector<DefaultCall>& DefaultCalls() {
  static std::vector<DefaultCall> calls;
  return calls;
}

void RecordDefaultParse(TestHost& h) {
  g_hostDefault = h.table()->DefaultParse;
  h.table()->DefaultParse = Recording;
}

Carrier& TheCarrier() {
  static Carrier carrier;
  return carrier;
}

ProtocolDescriptor* CarrierDescriptor() {
  static ProtocolDescriptor d = [] {
    ProtocolDescriptor x = {};
    snprintf(x.nameId, sizeof x.nameId, "CARRIER");
    static BYTE enabled = 1;
    static DWORD color = 0;
    x.description = "Carrier";
    x.enabled = &enabled;
    x.textColor = &color;
    x.control = CarrierControl;
    x.parse = CarrierParse;
    return x;
  }();
  return &d;
}

std::vector<std::string> WendrickHost::Learnt() const {
  std::vector<std::string> out;
  for (const NameCall& n : addNames) {
    std::string text = n.name;
    for (size_t i = 0; i < n.address.size(); i++) {
      char hex[4];
      snprintf(hex, sizeof hex, "%c%02X", i ? '-' : ' ', n.address[i]);
      text += hex;
    }
    text += " " + std::to_string(n.value);
    out.push_back(text);
  }
  return out;
}

FrameCheck WendrickHost::SmbLeadsOn() const {
  FrameCheck check;
  for (const qvhost::FlatLine& l : Lines())
    if (l.text == "Server Message Block Protocol") check.leadOnSlot = std::max(check.leadOnSlot, (int)l.slot);
  return check;
}

void WendrickHost::ExpectBoundedAndLineFailuresHandled(const char* root, const Bytes& frame) {
  Decode(root, frame);
  const FrameCheck leadsOn = SmbLeadsOn();
  ExpectBoundedAtEveryCut(*this, root, frame, {.linesWithinCapture = true});
  ExpectLineFailuresHandled(*this, root, frame, leadsOn);
}

}  // namespace wendricktest
