// The monitor-table services a plug-in calls, apart from plugin.h so that
// the detail lines (text.h) take a line from the host inline.
#pragma once

#include "monitor.h"

namespace qv {

// Copies of the monitor-table services, taken at DLLC_GET_SERVICES. Until then
// they hold harmless fallbacks, so a call made out of order never follows an
// unset pointer.
struct Services {
  AllocDetailLineProc AllocDetailLine;
  FreeDetailLineProc FreeDetailLine;
  AddHexDumpLinesProc AddHexDumpLines;
  ProtocolParse DefaultParse;
  DWORD reserved52;
  AddStationTrafficProc AddStationTraffic;
  AddBssEntryProc AddBssEntry;
  AddNameProc AddName;
  LookupNameProc LookupName;
  LookupAllNamesProc LookupAllNames;
  FormatAddressProc FormatHexAddress;
  FormatAddressProc FormatDottedAddress;
  RetrieveKeyProc RetrieveEtherType;
  RetrieveKeyProc RetrieveOUI;
  RetrieveNumberProc RetrieveLSap;
  GetHexKeyProc GetHexEtherType;
  GetHexKeyProc GetHexOUI;
  GetHexNumberProc GetHexLSap;
  RetrieveNumberProc RetrieveIPProtocol;
};
extern Services g_svc;

}  // namespace qv
