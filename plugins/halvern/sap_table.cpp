// 802.2 service access point names, ordered by SAP.
#include "tables.h"

namespace halvern {

const NameRow kSapNames[] = {
    {0x00, 0x00, "Null LSAP"},
    {0x02, 0x02, "LLC Sublayer Management"},
    {0x04, 0x04, "SNA Path Control"},
    {0x06, 0x06, "IP"},
    {0x08, 0x08, "SNA"},
    {0x0C, 0x0C, "SNA"},
    {0x0E, 0x0E, "PROWAY"},
    {0x10, 0x10, "Netware"},
    {0x18, 0x18, "Texas Instruments"},
    {0x42, 0x42, "IEEE 802.1"},
    {0x4E, 0x4E, "EIA RS-511"},
    {0x7E, 0x7E, "ISO 8208"},
    {0x80, 0x80, "XNS"},
    {0x86, 0x86, "Nestar"},
    {0x8E, 0x8E, "PROWAY"},
    {0x98, 0x98, "ARP"},
    {0xAA, 0xAA, "SNAP"},
    {0xBC, 0xBC, "VINES"},
    {0xE0, 0xE0, "Netware"},
    {0xF0, 0xF0, "NetBIOS"},
    {0xF4, 0xF4, "IBM LAN Management"},
    {0xF8, 0xF8, "IBM Remote Program Load (RPL)"},
    {0xFA, 0xFA, "Ungermann-Bass"},
    {0xFC, 0xFC, "RPL"},
    {0xFE, 0xFE, "ISO Network Layer Protocol"},
    {0xFF, 0xFF, "Global LSAP"},
};
const size_t kSapNameCount = sizeof kSapNames / sizeof kSapNames[0];

}  // namespace halvern
