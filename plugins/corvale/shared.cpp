// What the protocols of the library share: the records of the last IP
// source and TCP header, the transports' port hand-on and summary, address
// texts, and the section counts of name-service headers.
#include <stdio.h>

#include "corvale.h"

#include "address_text.h"

namespace corvale {

TcpHeaderRecord LastTcpHeader = {0, 0, 0};
IpSourceRecord LastIpSource = {0, {0, 0, 0, 0}};

void PrintDottedAddress(const BYTE* address, char* text) {
  sprintf(text, "%u.%u.%u.%u", address[0], address[1], address[2], address[3]);
}

// The name table's services write the texts; its fallbacks are the same
// routine, used here too before the services are copied.
static void AddressText(FormatAddressProc service, const BYTE* data, int length, char* text, bool dotted) {
  static_assert(kAddressTextSize >= qv::kDottedAddressTextSize && kAddressTextSize >= qv::kHexAddressTextSize);
  text[0] = 0;
  if (service)
    service(data, length, text);
  else
    qv::FormatAddressBytes(data, length, text, dotted);
  text[kAddressTextSize - 1] = 0;
}

void HexAddressText(const BYTE* data, int length, char* text) {
  AddressText(qv::g_svc.FormatHexAddress, data, length, text, false);
}

void DottedAddressText(const BYTE* data, int length, char* text) {
  AddressText(qv::g_svc.FormatDottedAddress, data, length, text, true);
}

bool AddSectionCounts(qv::DetailList& list, const qv::View& header, WORD counts[4]) {
  static constexpr std::string_view kLabels[] = {"Question Count\t\t\t", "Answer Count\t\t\t", "Authority Count\t\t",
                                                 "Additional Count\t\t"};
  for (int i = 0; i < 4; i++) {
    if (!header.Be16(4 + 2 * i, &counts[i])) return false;
    list.Add<"%s%d">(header.Offset(4 + 2 * i), 2, kLabels[i], counts[i]);
  }
  return true;
}

}  // namespace corvale
