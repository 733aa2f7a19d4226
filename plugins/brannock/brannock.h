// What Brannock's four protocols share inside the library.
#pragma once

#include <string.h>

#include <string_view>

#include "plugin.h"

namespace brannock {

// Fixed words of the detail lines written as "On"sv: copied by their length.
using namespace std::string_view_literals;

using qv::g_svc;
using qv::g_table;

// ---------------------------------------------------------------- labels
// Detail labels, loaded from the library's string table at load time.
enum LabelId : unsigned {
  LABEL_GROUP_BIT = 104,
  LABEL_LOCAL_BIT = 105,
  LABEL_GROUP_ON = 106,
  LABEL_GROUP_OFF = 107,
  LABEL_LOCAL_ON = 108,
  LABEL_LOCAL_OFF = 109,
  LABEL_VENDOR_NAME = 110,
  LABEL_LOGICAL_NAMES = 111,
  LABEL_DESTINATION = 112,
  LABEL_SOURCE = 113,
  LABEL_ETHER_TYPE = 114,
  LABEL_HEX_ADDRESS = 116,
};
constexpr unsigned kFirstLabel = 104, kLastLabel = 116, kLabelSize = 128;
extern char g_labels[kLastLabel - kFirstLabel + 1][kLabelSize];
extern unsigned char g_labelLengths[kLastLabel - kFirstLabel + 1];
// With its length, taken at load time: the lines copy it, no search for its end.
inline std::string_view Label(LabelId id) { return {g_labels[id - kFirstLabel], g_labelLengths[id - kFirstLabel]}; }

// ---------------------------------------------------------------- kept texts
// The hex text and name of a key (an address, an EtherType, a SAP) that
// follow from its bytes alone, kept in a slot: a capture's keys come back
// frame after frame, so the last ones seen keep their texts, found again by
// the key's bytes and the services that wrote them.
template <size_t KeySize, class HexService, class NameService, size_t HexSize, size_t NameSize>
struct KeptTexts {
  HexService hexService;
  NameService nameService;
  BYTE key[KeySize];
  bool named;  // the name service named the key
  BYTE hexLength, nameLength;
  char hex[HexSize];
  char name[NameSize];
  std::string_view Hex() const { return {hex, hexLength}; }
  std::string_view Name() const { return {name, nameLength}; }

  // Whether these are the key's texts from these services; if not, they are
  // taken over for them, to be written.
  bool Holds(const BYTE* k, HexService hexWriter, NameService namer) {
    // A slot never filled holds no service, so no key matches it.
    if (memcmp(key, k, KeySize) == 0 && hexService == hexWriter && nameService == namer) return true;
    memcpy(key, k, KeySize);
    hexService = hexWriter;
    nameService = namer;
    return false;
  }
  void Measure() {
    name[NameSize - 1] = 0;
    hexLength = (BYTE)strnlen(hex, HexSize);
    nameLength = named ? (BYTE)strlen(name) : 0;
  }
};

// The module's base address, kept when the library is loaded.
extern const void* g_module;

// ---------------------------------------------------------------- protocols
extern qv::Protocol g_mac;   // "MAC-802.3"
extern qv::Protocol g_llc;   // "LLC-802.2"
extern qv::Protocol g_snap;  // "LLC-SNAP"
extern qv::Protocol g_ppoe;  // "PPOE"

// MAC-802.3's children by EtherType; LLC-SNAP hands on through it too.
extern ChildTable g_macChildren;

// Parse caches of MAC-802.3, seeded with DefaultParse at DLLC_GET_SERVICES.
extern ProtocolParse g_llcCache;
extern ProtocolParse g_ipxCache;

}  // namespace brannock
