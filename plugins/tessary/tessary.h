// The seven protocols of the Tessary library (the Novell family), as its
// entry registers them, and the names their routines share.
#pragma once

#include "plugin.h"

namespace tessary {

// Fixed words of the detail lines written as "On"sv: copied by their length.
using namespace std::string_view_literals;

extern qv::Protocol g_ipx;      // "NOVELL-IPX"
extern qv::Protocol g_rip;      // "NOVELL-RIP"
extern qv::Protocol g_sap;      // "NOVELL-SAP"
extern qv::Protocol g_netbios;  // "NOVELL-NETBIOS"
extern qv::Protocol g_nmpi;     // "MS-NMPI"
extern qv::Protocol g_ncp;      // "IPX-NCP"
extern qv::Protocol g_ncpTcp;   // "NCP-TCP"

// The name of an IPX socket; an unknown one gives false and an empty text.
bool IpxSocketName(WORD socket, const char** text);

// A node address as IPX and SAP show it: hex, then a TAB and the name-table
// name when there is one.
void IpxNodeText(const BYTE* node, char* text, size_t size);

// The text of a SAP service type (the big-endian value from the wire).
const char* SapServiceTypeName(WORD type);

// NetBIOS over IPX and NMPI: appends a 16-byte NetBIOS name (its first word
// and the text of its suffix byte) to text.
void NetBiosNameText(const BYTE* name, char* text, size_t size);

// Whether an SMB header (FF 'S' 'M' 'B') is captured at the view's start.
bool IsSmbHeader(const qv::View& at);

// NCP requests: the position of the subfunction code for the function codes
// that carry one (9 after a 2-byte length, or 7), else 0.
int NcpSubfunctionAt(BYTE function);
// The text of a request's function, or of its subfunction for the functions
// that carry one; false when the codes it needs were not captured.
bool NcpFunctionName(const qv::View& request, char* text, size_t size);

// The text of a reply's completion code.
void NcpCompletionCodeText(BYTE code, char* text, size_t size);

}  // namespace tessary
