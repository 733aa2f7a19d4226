// NetBIOS name fields: the first-level encoding (RFC 1001, 14.1) read inline
// or through a pointer that leads strictly backwards, its padding dropped;
// the suffix texts; and a name learnt into the name table under the frame's
// Ethernet source (never from a routed frame).
#include "netbios.h"

#include <string.h>

#include "plugin.h"
#include "text.h"

namespace qv {

namespace {

constexpr Name kSuffixes[] = {
    {0x00, ".[Workstation Service]"},
    {0x01, ".[Master Browser]"},
    {0x03, ".[Messenger Service]"},
    {0x06, ".[RAS Server Service]"},
    {0x1B, ".[Domain Master Browser]"},
    {0x1C, ".[Domain Controller]"},
    {0x1D, ".[Master Browser]"},
    {0x1E, ".[Browser Service Election]"},
    {0x1F, ".[NetDDE Service]"},
    {0x20, ".[File Server Service]"},
    {0x21, ".[RAS Client Service]"},
    {0x22, ".[Microsoft Exchange Interchange]"},
    {0x23, ".[Microsoft Exchange Store]"},
    {0x24, ".[Microsoft Exchange Directory]"},
    {0x2B, ".[Lotus Notes Server Service]"},
    {0x2F, ".[Lotus Notes]"},
    {0x30, ".[Modem Sharing Server Service]"},
    {0x31, ".[Modem Sharing Client Service]"},
    {0x33, ".[Lotus Notes]"},
    {0x42, ".[mccaffee anti-virus]"},
    {0x43, ".[SMS Clients Remote Control]"},
    {0x44, ".[SMS Administrators Remote Control Tool]"},
    {0x45, ".[SMS Clients Remote Chat]"},
    {0x46, ".[SMS Clients Remote Transfer]"},
    {0x4C, ".[DEC Pathworks TCPIP Service]"},
    {0x52, ".[DEC Pathworks TCPIP Service]"},
    {0x6A, ".[Microsoft Exchange IMC]"},
    {0x87, ".[Microsoft Exchange MTA]"},
    {0xBE, ".[Network Monitor Agent]"},
    {0xBF, ".[Network Monitor Application]"},
};
constexpr NameTable kSuffixNames(kSuffixes, ".[Unknown Suffix]");

const int kInlineField = 34;
const int kPointerField = 2;
const int kMaxCharacters = 16;

bool Encoded(BYTE c) { return c >= 'A' && c <= 'P'; }

bool Printable(const char* name) {
  for (const unsigned char* c = reinterpret_cast<const unsigned char*>(name); *c; c++)
    if (*c < 0x20 || *c == 0x7F) return false;
  return true;
}

}  // namespace

const char* NetBiosSuffixText(BYTE suffix) { return kSuffixNames(suffix); }

int64_t DecodeNetBiosName(const View& message, int64_t field, NetBiosName* name) {
  *name = NetBiosName{};
  BYTE first;
  if (!message.U8(field, &first)) return -1;
  int64_t at;  // the encoded characters' length byte
  if (first < 0xC0) {
    if (!message.Has(field, kInlineField)) return -1;
    name->used = kInlineField;
    at = field;
  } else {
    BYTE target;
    if (!message.U8(field + 1, &target)) return -1;
    name->used = kPointerField;
    // Strictly backwards, so a pointer never leads to itself.
    if (target >= field) return field + kPointerField;
    at = target;
  }
  int count = (message.U8Or0(at) & 0x3F) / 2;
  if (count > kMaxCharacters) count = kMaxCharacters;
  const BYTE* encoded = message.Bytes(at + 1, 2 * count);
  if (count == 0 || !encoded) return field + name->used;

  BYTE decoded[kMaxCharacters];
  bool plain = true;
  for (int i = 0; i < count; i++) {
    const BYTE c1 = encoded[2 * i], c2 = encoded[2 * i + 1];
    plain = plain && Encoded(c1) && Encoded(c2);
    decoded[i] = (BYTE)(((unsigned)(c1 - 'A') << 4) | (unsigned)(c2 - 'A'));
  }
  name->plain = plain;
  name->suffix = decoded[count - 1];
  // Padding blanks go, and so does whatever follows an inner blank.
  int n = 0;
  while (n < count - 1 && decoded[n] == ' ') n++;
  while (n < count - 1 && decoded[n] != ' ') n++;
  memcpy(name->text, decoded, (size_t)n);
  name->text[n] = 0;
  AppendText(name->text, sizeof name->text, "%s", NetBiosSuffixText(name->suffix));
  return field + name->used;
}

void LearnNetBiosName(const CaptureFrame* frame, const char* name) {
  if (!g_svc.AddName || (frame->flags & FRAME_ROUTED) || !name[0] || !Printable(name)) return;
  const BYTE* source = EthernetSource(frame);
  if (source) g_svc.AddName(name, source, 6, 0);
}

}  // namespace qv
