// What Aerlith's one protocol, MAC-802.11, shares between its sources: the
// header as captured, the detail tree and the management bodies.
#pragma once

#include "plugin.h"

namespace aerlith {

// Fixed words of the detail lines written as "On"sv: copied by their length.
using namespace std::string_view_literals;

using qv::g_svc;
using qv::g_table;

extern qv::Protocol g_mac80211;  // "MAC-802.11"

enum : int {
  kAddressLength = 6,
  kHeaderLength = 24,
  kFourAddressHeaderLength = 30,
  kQosControlLength = 2,
  kHtControlLength = 4,
};

// Frame control byte 0 & 0xFC of the frames the code names.
enum : BYTE {
  FRAME_ASSOCIATION_REQUEST = 0x00,
  FRAME_ASSOCIATION_RESPONSE = 0x10,
  FRAME_PROBE_REQUEST = 0x40,
  FRAME_PROBE_RESPONSE = 0x50,
  FRAME_BEACON = 0x80,
  FRAME_DISASSOCIATION = 0xA0,
  FRAME_AUTHENTICATION = 0xB0,
  FRAME_DEAUTHENTICATION = 0xC0,
  FRAME_CTS = 0xC4,
  FRAME_ACK = 0xD4,
};

enum : BYTE {
  TYPE_MANAGEMENT = 0x00,
  TYPE_CONTROL = 0x04,
  TYPE_DATA = 0x08,
};

// The radio values the host records beside the frame (radioInfo).
enum : int {
  RADIO_RATE = 0,
  RADIO_SERVICE = 1,
  RADIO_PLCP_LENGTH = 2,  // u16
  RADIO_PHY_TYPE = 4,     // u32
  RADIO_BSS_INFO_8 = 8,
  RADIO_BSS_INFO_10 = 10,
  RADIO_BSS_INFO_11 = 11,
  RADIO_WEP_IV = 12,      // 3 bytes
  RADIO_WEP_KEY_ID = 15,  // key index in the top two bits
  RADIO_WEP_ICV = 16,     // 4 bytes
};

// The 802.11 header as far as it is captured. Every field is read through
// the view: a field that is not captured reads as absent.
struct Header {
  const qv::View& view;  // from the header on: the layer's own, not a copy (see brannock's MacHeader)

  bool HasControl() const { return view.Has(0, 1); }
  bool HasFlags() const { return view.Has(1, 1); }
  BYTE Control() const { return view.U8Or0(0); }
  BYTE Flags() const { return view.U8Or0(1); }
  BYTE Kind() const { return Control() & 0xFC; }
  BYTE Type() const { return Control() & 0x0C; }
  bool IsData() const { return HasControl() && Type() == TYPE_DATA; }
  int DsBits() const { return Flags() & 3; }
  bool Protected() const { return Flags() & 0x40; }
  // The QoS data subtypes (bit 7 of byte 0) carry a QoS control word behind
  // the addresses, and an HT control field behind it when the Order bit is
  // set (+HTC).
  bool IsQos() const { return IsData() && (Control() & 0x80); }
  // The addresses end at byte 30 with both DS bits (address 4), else at 24.
  int AddressesEnd() const { return DsBits() == 3 ? kFourAddressHeaderLength : kHeaderLength; }
  // The header: QoS data adds its control word, and HT control 4 more.
  int Length() const {
    if (!IsQos()) return AddressesEnd();
    return AddressesEnd() + kQosControlLength + ((Flags() & 0x80) ? kHtControlLength : 0);
  }
  bool Whole() const { return HasFlags() && view.Has(0, Length()); }
  // QoS control bit 7: the body aggregates MSDUs, each behind addresses and
  // a length of its own, and is no LLC frame.
  bool Aggregate() const { return IsQos() && (view.U8Or0(AddressesEnd()) & 0x80); }
  // Addresses 1 to 4 at bytes 4, 10, 16 and 24; null when not captured.
  static int AddressAt(int n) { return n == 4 ? 24 : 4 + 6 * (n - 1); }
  const BYTE* Address(int n) const { return view.Bytes(AddressAt(n), kAddressLength); }
  bool HasSequence() const { return view.Has(22, 2); }
  WORD Sequence() const { return view.Le16Or0(22); }
  int Fragment() const { return Sequence() & 0x0F; }
  // The frame has a transmitter: all but CTS and ACK.
  bool HasSource() const { return Control() != FRAME_CTS && Control() != FRAME_ACK; }
};

// The destination and source address numbers by the DS bits.
struct AddressPair {
  int destination;
  int source;
};
AddressPair AddressesByDs(int dsBits);

// Detail tree (detail.cpp) and management bodies (bodies.cpp).
void Detail80211(qv::Layer& layer, qv::DetailList& list);
void DetailBody(const Header& h, qv::DetailList& list);

}  // namespace aerlith
