// Halvern's entry and lookups.
#include "halvern.h"

#include <ctype.h>
#include <stdio.h>
#include <string.h>

#include <atomic>

#include "address_text.h"
#include "plugin.h"
#include "tables.h"
#include "text_internal.h"

namespace {

const char kMismatchText[] = "Halvern has mismatched Monitor Table version!\nPlease verify your installation.";

// value as exactly digits (an even count) upper-case hex digits and a NUL
// (every summary with a type or vendor number gets one: no formatted
// print), a byte's pair at a time.
void PutHex(char* text, unsigned value, int digits) {
  for (int i = digits - 2; i >= 0; i -= 2, value >>= 8) memcpy(text + i, qv::kAddressByteTexts.hex[value & 0xFF], 2);
  text[digits] = 0;
}

void CopyText(char* text, const char* name) { memcpy(text, name, strlen(name) + 1); }

// Recent EtherType rows of each style: every summary row looks one up, and
// a capture holds few. An entry is one atomic word, (key << 16) | (row + 1)
// << 7 | (text length) << 1 | 1, row + 1 being 0 for a key without a row,
// so any thread may read and fill it; the text is then copied without being
// measured. A key picks its slot by both of its bytes, so that the usual
// types (IP, ARP, VLAN, IPX) have a slot each. Rows past the word's room,
// or texts too long for it, are not kept.
constexpr uint32_t kRecentSlots = 16;
constexpr size_t kRecentRows = 0x1FF, kRecentLength = 0x3F;
std::atomic<uint32_t> g_recentEtherTypes[2][kRecentSlots];

std::atomic<uint32_t>& RecentEtherType(int style, uint32_t key) {
  return g_recentEtherTypes[style - 1][(key ^ key >> 8) % kRecentSlots];
}

// A key that is not kept: the bisection, which then keeps it.
[[gnu::noinline]] bool FindEtherTypeText(const halvern::NameRow* rows, size_t count, uint32_t key, int style,
                                         char* text) {
  const halvern::NameRow* row = halvern::FindRow(rows, count, key);
  const size_t length = row ? strlen(row->text) : 0;
  if (count < kRecentRows && length <= kRecentLength) {
    uint32_t index = row ? (uint32_t)(row - rows) + 1 : 0;
    RecentEtherType(style, key).store(key << 16 | index << 7 | (uint32_t)length << 1 | 1, std::memory_order_relaxed);
  }
  if (!row) return false;
  memcpy(text, row->text, length + 1);
  return true;
}

// The row's text into text, or false (and nothing written) without a row.
// Keys outside the table, 802.3 lengths among them, have none.
bool CopyEtherTypeText(const halvern::NameRow* rows, size_t count, uint32_t key, int style, char* text) {
  if (count == 0 || key < rows[0].first || key > rows[count - 1].last) return false;
  const uint32_t recent = RecentEtherType(style, key).load(std::memory_order_relaxed);
  if (!(recent & 1) || recent >> 16 != key) return FindEtherTypeText(rows, count, key, style, text);
  const uint32_t row = (recent >> 7) & kRecentRows;
  if (!row) return false;
  qv::literal::CopyBytes(text, rows[row - 1].text, ((recent >> 1) & kRecentLength) + 1);
  return true;
}

}  // namespace

QV_EXPORT DWORD QV_CALL DLLControl(DWORD type, MonitorTable* table, DWORD, DWORD, DWORD) {
  // Halvern registers no protocol: attaching is all it does.
  if (qv::g_inert || type != DLLC_ATTACH) return 0;
  if (!qv::AttachTable(table, kMismatchText)) return 0;
  table->RetrieveEtherType = RetrieveEtherType;
  table->RetrieveOUI = RetrieveOUI;
  table->RetrieveLSap = RetrieveLSap;
  table->GetHexEtherType = GetHexEtherType;
  table->GetHexOUI = GetHexOUI;
  table->GetHexLSap = GetHexLSap;
  return 0;
}

QV_EXPORT BYTE QV_CALL RetrieveEtherType(const BYTE* type, char* text, int style) {
  text[0] = 0;
  const halvern::NameRow* rows;
  size_t count;
  switch (style) {
    case ETHERTYPE_STYLE_NONE:
      return FALSE;
    case ETHERTYPE_STYLE_SHORT:
      rows = halvern::kEtherTypeShortNames;
      count = halvern::kEtherTypeShortNamesCount;
      break;
    case ETHERTYPE_STYLE_LONG:
      rows = halvern::kEtherTypeLongTexts;
      count = halvern::kEtherTypeLongTextsCount;
      break;
    default:
      GetHexEtherType(type, text);
      return FALSE;
  }
  uint32_t key = (uint32_t)type[0] << 8 | type[1];
  if (CopyEtherTypeText(rows, count, key, style, text)) return TRUE;
  GetHexEtherType(type, text);
  return FALSE;
}

QV_EXPORT BYTE QV_CALL RetrieveOUI(const BYTE* address, char* text, int) {
  text[0] = 0;
  uint32_t key = (uint32_t)address[0] << 16 | (uint32_t)address[1] << 8 | address[2];
  if (const halvern::PooledRow* row = halvern::FindRow(halvern::kOuiVendors, halvern::kOuiVendorCount, key)) {
    // The text, then NULs to the full 64 bytes; texts are at most 63 long.
    strncpy(text, halvern::kOuiVendorTexts + row->text, HALVERN_OUI_TEXT_SIZE - 1);
    text[HALVERN_OUI_TEXT_SIZE - 1] = 0;
    return TRUE;
  }
  GetHexOUI(address, text);
  return FALSE;
}

QV_EXPORT BYTE QV_CALL RetrieveLSap(DWORD sap, char* text, int) {
  if (const halvern::NameRow* row = halvern::FindRow(halvern::kSapNames, halvern::kSapNameCount, sap & 0xFFu)) {
    CopyText(text, row->text);
    return TRUE;
  }
  GetHexLSap(sap, text);
  return FALSE;
}

QV_EXPORT void QV_CALL GetHexEtherType(const BYTE* type, char* text) {
  PutHex(text, (unsigned)(type[0] << 8 | type[1]), 4);
}

QV_EXPORT void QV_CALL GetHexOUI(const BYTE* address, char* text) {
  PutHex(text, (unsigned)(address[0] << 16 | address[1] << 8 | address[2]), 6);
}

QV_EXPORT void QV_CALL GetHexLSap(DWORD sap, char* text) { PutHex(text, (unsigned)(sap & 0xFFu), 2); }
