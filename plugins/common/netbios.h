// NetBIOS names as the NetBIOS decoders show them: first-level encoded name
// fields (two characters 'A'..'P' per byte, high nibble first) and the texts
// of name suffixes, a name's 16th byte. Its own small library, linked by the
// plug-ins that decode NetBIOS.
#pragma once

#include "view.h"

namespace qv {

// Room for a decoded name: 15 characters and the longest suffix text.
enum { NETBIOS_NAME_TEXT_SIZE = 64 };

// The text of a name suffix: ".[File Server Service]" for 0x20, and
// ".[Unknown Suffix]" for every suffix without a text of its own.
const char* NetBiosSuffixText(BYTE suffix);

struct NetBiosName {
  char text[NETBIOS_NAME_TEXT_SIZE];  // the readable name followed by its suffix text
  BYTE suffix;                        // the last decoded character
  int used;                           // the field's size: 34 inline, 2 for a pointer
  bool plain;  // at least one character, every encoded character in 'A'..'P'
};

// Decodes the name field at position `field` of `message`, a view that starts
// at the message start (a pointer's one-byte offset counts from there).
// Inline names (first byte below 0xC0) take 34 bytes; a first byte of 0xC0
// or more is a pointer of 2 bytes. The readable name is the decoded text
// without its last character (the suffix), cut at the first blank behind
// its first non-blank character, followed by the suffix text.
//
// Returns the position behind the field, or -1 when the field itself is not
// wholly captured. A pointer that does not lead strictly backwards, or to
// characters that are not all captured, and a name without characters give
// an empty text and no suffix.
int64_t DecodeNetBiosName(const View& message, int64_t field, NetBiosName* name);

// The one rule by which every NetBIOS decoder teaches the name table a
// station's name: `name` goes to AddName for the frame's media source
// address, unless that address is not the station's own (a frame that came
// through MAC-802.11, or one that crossed a router), or the name is empty
// or holds a control character (below 0x20, or 0x7F), which would reach
// the name file and the address columns as it stands.
void LearnNetBiosName(const CaptureFrame* frame, const char* name);

}  // namespace qv
