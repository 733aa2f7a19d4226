// Halvern: IEEE name lookups. The six functions are exported by name and
// written into the monitor table at DLLC_ATTACH (+248 .. +268).
//
// The Retrieve functions write a name into text and return TRUE when the
// identifier is named; otherwise text holds it as upper-case hexadecimal and
// they return FALSE. They take no lock and allocate nothing, and their only
// state is a cache of recent EtherType rows whose entries are single atomic
// words, so any thread may call them, with or without DLLControl.
//
// Buffers the caller provides:
//   RetrieveOUI         at least 64 bytes: a hit writes all 64 (the vendor
//                       text, then NULs); a miss writes 7.
//   RetrieveEtherType   23 bytes for style 1, 57 for style 2.
//   RetrieveLSap        30 bytes.
//   GetHexEtherType 5, GetHexOUI 7, GetHexLSap 3.
#pragma once

#include "monitor.h"

// Bytes a RetrieveOUI hit writes.
#define HALVERN_OUI_TEXT_SIZE 64

enum : int {
  ETHERTYPE_STYLE_NONE = 0,   // empty text, FALSE
  ETHERTYPE_STYLE_SHORT = 1,  // summary column
  ETHERTYPE_STYLE_LONG = 2,   // detail lines
};

// type: the two bytes of the field in frame order. Any style but 1 and 2
// (and 0) gives the hex text and FALSE.
QV_EXPORT BYTE QV_CALL RetrieveEtherType(const BYTE* type, char* text, int style);
// address: three bytes, first most significant; style is not used.
// text must hold HALVERN_OUI_TEXT_SIZE bytes.
QV_EXPORT BYTE QV_CALL RetrieveOUI(const BYTE* address, char* text, int style);
// Only the low byte of sap counts; style is not used.
QV_EXPORT BYTE QV_CALL RetrieveLSap(DWORD sap, char* text, int style);

QV_EXPORT void QV_CALL GetHexEtherType(const BYTE* type, char* text);
QV_EXPORT void QV_CALL GetHexOUI(const BYTE* address, char* text);
QV_EXPORT void QV_CALL GetHexLSap(DWORD sap, char* text);
