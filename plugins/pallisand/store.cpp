// The name table's store: the active and free lists under their two
// mutexes, and the services of the monitor table's name slots that add,
// find, look up, delete, purge and clear mappings.
//
// The list alone would make each of these a walk of the whole table. Two
// open-addressed hash indexes over the active list keep them short: by
// name, so that loading a name file (a name test for every line) is not
// quadratic; and by address, the first entry of each address in list order,
// so that LookupName, run for the addresses of every summary row, probes
// once per address length in use and finds the entry the walk would find.
// In front of both, a 256-bit filter of the active addresses is read without
// the lock: most addresses have no name, and their lookups then take no lock
// and read no slot.
#include "store.h"

#include <errno.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <atomic>

#include "address_text.h"
#include "combo.h"
#include "name_line.h"
#include "plugin.h"

namespace pallisand {

namespace {

Queue g_active = {nullptr, &g_active.first};
Queue g_free = {nullptr, &g_free.first};
plat::Mutex* g_activeMutex = nullptr;
plat::Mutex* g_freeMutex = nullptr;

// Names compare without regard to ASCII case, whatever the locale.
bool SameName(const char* a, const char* b) {
  for (;; a++, b++) {
    unsigned char x = (unsigned char)*a, y = (unsigned char)*b;
    if (x >= 'a' && x <= 'z') x = (unsigned char)(x - 'a' + 'A');
    if (y >= 'a' && y <= 'z') y = (unsigned char)(y - 'a' + 'A');
    if (x != y) return false;
    if (x == 0) return true;
  }
}

// ---------------------------------------------------------------- name index
// The active entries by name, without regard to case: an open-addressed hash
// set, so that the name test of an insert (once per line of a name file) does
// not walk the whole table. Guarded by ActiveMutex, like the list. When the
// set cannot grow for want of memory it is dropped and the tests walk the
// list until the table is cleared.

NameEntry* const kRemoved = reinterpret_cast<NameEntry*>(alignof(NameEntry));

struct NameIndex {
  NameEntry** slots;  // null: never used; kRemoved: used before
  size_t capacity;    // a power of two, or 0
  size_t used;        // live and removed slots
  bool dropped;
};
NameIndex g_index = {nullptr, 0, 0, false};
size_t g_activeCount = 0;

size_t NameHash(const char* name) {
  uint32_t h = 2166136261u;
  for (; *name; name++) {
    unsigned char c = (unsigned char)*name;
    if (c >= 'a' && c <= 'z') c = (unsigned char)(c - 'a' + 'A');
    h = (h ^ c) * 16777619u;
  }
  return h;
}

void ResetIndex() {
  free(g_index.slots);
  g_index = NameIndex{nullptr, 0, 0, false};
}

// Rebuilt from the list at twice the live entries' room or more.
bool GrowIndex() {
  size_t capacity = 64;
  while (capacity < 4 * (g_activeCount + 1)) capacity *= 2;
  NameEntry** slots = static_cast<NameEntry**>(calloc(capacity, sizeof *slots));
  if (!slots) return false;
  free(g_index.slots);
  g_index = NameIndex{slots, capacity, 0, false};
  for (NameEntry* e = g_active.first; e; e = e->next) {
    size_t i = NameHash(e->name) & (capacity - 1);
    while (slots[i]) i = (i + 1) & (capacity - 1);
    slots[i] = e;
    g_index.used++;
  }
  return true;
}

// e is on the active list already (its name is not yet in the index).
void IndexName(NameEntry* e) {
  if (g_index.dropped) return;
  if (2 * (g_index.used + 1) > g_index.capacity) {
    // The rebuild takes e with the rest of the list.
    if (!GrowIndex()) {
      ResetIndex();
      g_index.dropped = true;
    }
    return;
  }
  size_t mask = g_index.capacity - 1, i = NameHash(e->name) & mask;
  while (g_index.slots[i] && g_index.slots[i] != kRemoved) i = (i + 1) & mask;
  if (!g_index.slots[i]) g_index.used++;
  g_index.slots[i] = e;
}

void UnindexName(const NameEntry* e) {
  if (!g_index.slots) return;
  size_t mask = g_index.capacity - 1;
  for (size_t i = NameHash(e->name) & mask; g_index.slots[i]; i = (i + 1) & mask) {
    if (g_index.slots[i] == e) {
      g_index.slots[i] = kRemoved;
      return;
    }
  }
}

// ---------------------------------------------------------------- address index
// For each address length in use and each address of that length, the first
// active entry in list order, with its place in that order: a lookup then
// probes once per length in use instead of comparing every entry, and still
// finds the entry the walk of the list finds. An active entry never changes
// its address. A removal leaves the index stale, and the next lookup rebuilds
// it in the room it has (the list has only shrunk since it last fitted).
// When the index cannot grow for want of memory it is dropped and lookups
// walk the list until the table is cleared.

struct AddressSlot {
  NameEntry* entry;  // null: free
  size_t order;      // place in list order
};

struct AddressIndex {
  AddressSlot* slots;
  size_t capacity;  // a power of two, or 0
  size_t used;
  size_t nextOrder;
  uint64_t lengths;  // bit n: some indexed entry has an address of n bytes
  bool stale;
  bool dropped;
};
AddressIndex g_addresses = {nullptr, 0, 0, 0, 0, false, false};

// Addresses of up to 8 bytes, the usual ones, are hashed and compared as
// one word: an entry's bytes are zero past its length, so its first word
// is the word of its whole address.
//
// Bytes as one number, the first byte lowest, as an 8-byte load of them
// gives it on a little-endian machine.
uint32_t LittleWord32(const BYTE* bytes) {
  uint32_t word;
  memcpy(&word, bytes, sizeof word);
#if __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
  word = __builtin_bswap32(word);
#endif
  return word;
}
uint64_t EntryAddressWord(const NameEntry* e) {
  return LittleWord32(e->address) | (uint64_t)LittleWord32(e->address + 4) << 32;
}
// The caller's length bytes only: from 4 bytes on, two loads that overlap
// (a byte read twice lands on the same bits). Bytes stored one by one and
// loaded again as a word would make the load wait for the stores.
uint64_t ShortAddressWord(const BYTE* address, int length) {
  if (length >= 4)
    return LittleWord32(address) | (uint64_t)LittleWord32(address + length - 4) << (8 * (length - 4));
  uint64_t word = 0;
  for (int i = 0; i < length; i++) word |= (uint64_t)address[i] << (8 * i);
  return word;
}

// Every bit of the word reaches the low bits that pick the slot.
size_t ShortAddressHash(uint64_t word, int length) {
  uint64_t h = word ^ ((uint64_t)length << 59);
  h = (h ^ (h >> 33)) * 0xFF51AFD7ED558CCDull;
  h = (h ^ (h >> 33)) * 0xC4CEB9FE1A85EC53ull;
  return (size_t)(h ^ (h >> 33));
}

size_t AddressHash(const BYTE* address, int length) {
  uint32_t h = 2166136261u ^ (uint32_t)length;
  for (int i = 0; i < length; i++) h = (h ^ address[i]) * 16777619u;
  return h ^ (h >> 16);
}

void ResetAddresses() {
  free(g_addresses.slots);
  g_addresses = AddressIndex{nullptr, 0, 0, 0, 0, false, false};
}

// The hash of an address, and its word when it has up to 8 bytes.
[[gnu::always_inline]] inline size_t SlotHash(const BYTE* address, int length, uint64_t* word) {
  if (length > 8) return AddressHash(address, length);
  *word = ShortAddressWord(address, length);
  return ShortAddressHash(*word, length);
}

// The lengths a lookup of length bytes compares: an entry's own length
// governs, and lengths past the caller's never match.
uint64_t LengthsUpTo(uint64_t lengths, int length) {
  if (length < kMaxAddressLength) lengths &= length < 0 ? 0 : (2ull << length) - 1;
  return lengths;
}

// A bit per active address (picked by one multiplication of the address's
// word), read by LookupName without ActiveMutex and by the index's probes:
// most summary rows' addresses have no name, and with every bit of theirs
// clear the lookup takes no lock and reads no slot (it then comes before any add that has not
// set its bits yet). Only changed under ActiveMutex, and every value ever
// stored holds the bits of every entry active at the time: an entry sets its
// bits as it joins the list; a rebuild of the index, which has just read the
// whole list, stores each word whole (dropping the bits of entries gone
// since); clearing the table stores zeros. The bits of an entry gone since
// are only a lookup that takes the lock.
struct UnlockedFilter {
  std::atomic<uint64_t> lengths;
  std::atomic<uint64_t> present[4];
};
UnlockedFilter g_unlocked;

[[gnu::always_inline]] inline unsigned FilterBit(const BYTE* address, int length) {
  const uint64_t word =
      length <= 8 ? ShortAddressWord(address, length) ^ (uint64_t)length << 59 : AddressHash(address, length);
  return (unsigned)((word * 0x9E3779B97F4A7C15ull) >> 56);
}

void PublishUnlocked(uint64_t lengths, const uint64_t present[4]) {
  g_unlocked.lengths.store(lengths, std::memory_order_relaxed);
  for (int i = 0; i < 4; i++) g_unlocked.present[i].store(present[i], std::memory_order_relaxed);
}

// The bits of every entry on the active list.
void RepublishUnlocked() {
  uint64_t lengths = 0, present[4] = {};
  for (const NameEntry* e = g_active.first; e; e = e->next) {
    const unsigned bit = FilterBit(e->address, e->addressLength);
    present[bit / 64] |= 1ull << (bit % 64);
    lengths |= 1ull << e->addressLength;
  }
  PublishUnlocked(lengths, present);
}

void MarkUnlocked(const NameEntry* e) {
  const unsigned bit = FilterBit(e->address, e->addressLength);
  g_unlocked.present[bit / 64].fetch_or(1ull << (bit % 64), std::memory_order_relaxed);
  g_unlocked.lengths.fetch_or(1ull << e->addressLength, std::memory_order_relaxed);
}

// Whether the bit of these length bytes is set.
[[gnu::always_inline]] inline bool FilterBitSet(const BYTE* address, int length) {
  const unsigned bit = FilterBit(address, length);
  return (g_unlocked.present[bit / 64].load(std::memory_order_relaxed) >> (bit % 64)) & 1;
}

// False when no active entry can match the address.
[[gnu::always_inline]] inline bool MayBeNamed(const BYTE* address, int length) {
  for (uint64_t lengths = LengthsUpTo(g_unlocked.lengths.load(std::memory_order_relaxed), length); lengths;
       lengths &= lengths - 1)
    if (FilterBitSet(address, __builtin_ctzll(lengths))) return true;
  return false;
}

// The slot of the entry whose address is these length bytes, or the free
// slot where it would go.
[[gnu::always_inline]] inline AddressSlot* ProbeAt(size_t hash, uint64_t word, const BYTE* address, int length) {
  size_t mask = g_addresses.capacity - 1;
  if (length <= 8) {
    for (size_t i = hash & mask;; i = (i + 1) & mask) {
      AddressSlot* slot = &g_addresses.slots[i];
      const NameEntry* e = slot->entry;
      if (!e || (e->addressLength == length && EntryAddressWord(e) == word)) return slot;
    }
  }
  for (size_t i = hash & mask;; i = (i + 1) & mask) {
    AddressSlot* slot = &g_addresses.slots[i];
    const NameEntry* e = slot->entry;
    if (!e || (e->addressLength == length && memcmp(e->address, address, (size_t)length) == 0)) return slot;
  }
}

// e follows every indexed entry in list order; the first entry of an
// address keeps its slot.
void IndexAddress(NameEntry* e) {
  size_t order = g_addresses.nextOrder++;
  uint64_t word = 0;
  const size_t hash = SlotHash(e->address, e->addressLength, &word);
  AddressSlot* slot = ProbeAt(hash, word, e->address, e->addressLength);
  if (slot->entry) return;
  *slot = AddressSlot{e, order};
  g_addresses.used++;
  g_addresses.lengths |= 1ull << e->addressLength;
}

// From the list, in the room the index has.
void RebuildAddresses() {
  memset(g_addresses.slots, 0, g_addresses.capacity * sizeof *g_addresses.slots);
  g_addresses.used = g_addresses.nextOrder = 0;
  g_addresses.lengths = 0;
  g_addresses.stale = false;
  for (NameEntry* e = g_active.first; e; e = e->next) IndexAddress(e);
  RepublishUnlocked();
}

// e has just joined the list.
void AddressJoined(NameEntry* e) {
  if (g_addresses.dropped) return;
  if (2 * g_activeCount > g_addresses.capacity) {
    // The rebuild takes e with the rest of the list.
    size_t capacity = 64;
    while (capacity < 4 * g_activeCount) capacity *= 2;
    AddressSlot* slots = static_cast<AddressSlot*>(calloc(capacity, sizeof *slots));
    if (!slots) {
      ResetAddresses();
      g_addresses.dropped = true;
      return;
    }
    free(g_addresses.slots);
    g_addresses.slots = slots;
    g_addresses.capacity = capacity;
    RebuildAddresses();
    return;
  }
  if (!g_addresses.stale) IndexAddress(e);
}

}  // namespace

// Names are unique, so any match is the first in list order.
NameEntry* FindName(const char* name) {
  if (!g_index.slots) {
    if (g_index.dropped || g_active.first)
      for (NameEntry* e = g_active.first; e; e = e->next)
        if (SameName(e->name, name)) return e;
    return nullptr;
  }
  size_t mask = g_index.capacity - 1;
  for (size_t i = NameHash(name) & mask; NameEntry* e = g_index.slots[i]; i = (i + 1) & mask)
    if (e != kRemoved && SameName(e->name, name)) return e;
  return nullptr;
}

namespace {

// Under ActiveMutex: the active list and the index change together.
void UnlinkedFromActive(const NameEntry* e) {
  UnindexName(e);
  g_activeCount--;
  g_addresses.stale = true;
}

// The entry's own length governs: it matches every address that begins with
// its bytes. An address shorter than the entry never matches, so nothing past
// the caller's bytes is read.
bool Matches(const NameEntry* e, const BYTE* address, int length) {
  if (e->addressLength > length) return false;
  return e->addressLength == 0 || memcmp(e->address, address, (size_t)e->addressLength) == 0;
}

// Under ActiveMutex.
void CountAccess(NameEntry* e, const plat::FILETIME& now) {
  if (e->accessCount < INT32_MAX) e->accessCount++;
  e->lastAccessed = now;
}

}  // namespace

NameEntry* FindAddress(const BYTE* address, int length) {
  if (!g_addresses.slots) {
    for (NameEntry* e = g_active.first; e; e = e->next)
      if (Matches(e, address, length)) return e;
    return nullptr;
  }
  if (g_addresses.stale) RebuildAddresses();
  // Of the entries whose whole address begins this one, the first in list
  // order; lengths past the caller's never match.
  uint64_t lengths = LengthsUpTo(g_addresses.lengths, length);
  NameEntry* first = nullptr;
  size_t firstOrder = SIZE_MAX;
  for (; lengths; lengths &= lengths - 1) {
    const int n = __builtin_ctzll(lengths);
    if (!FilterBitSet(address, n)) continue;  // every active entry's bit is set while the lock is held
    uint64_t word = 0;
    const size_t hash = SlotHash(address, n, &word);
    const AddressSlot* slot = ProbeAt(hash, word, address, n);
    if (slot->entry && slot->order < firstOrder) {
      first = slot->entry;
      firstOrder = slot->order;
    }
  }
  return first;
}

bool IsActive(const NameEntry* e) {
  for (const NameEntry* a = g_active.first; a; a = a->next)
    if (a == e) return true;
  return false;
}

// Under ActiveMutex, so that the lock order holds.
NameEntry* TakeSpareEntry() {
  NameEntry* e = nullptr;
  {
    Lock free(g_freeMutex);
    if (!free.held()) {
      plat::SetLastError(ETIMEDOUT);
      return nullptr;
    }
    if ((e = g_free.first) != nullptr) {
      g_free.first = e->next;
      if (!g_free.first) g_free.tail = &g_free.first;
      memset(e, 0, sizeof *e);
    }
  }
  return e ? e : static_cast<NameEntry*>(plat::LocalAlloc(sizeof(NameEntry)));
}

// ---------------------------------------------------------------- locks

Lock::Lock(plat::Mutex* mutex)
    : mutex_(mutex), held_(mutex && plat::WaitForMutex(mutex, kLockWaitMs) == plat::WAIT_OK) {}

Lock::~Lock() {
  if (held_) plat::ReleaseMutex(mutex_);
}

plat::Mutex* ActiveMutex() { return g_activeMutex; }
plat::Mutex* FreeMutex() { return g_freeMutex; }
NameEntry* FirstActive() { return g_active.first; }

void AppendActive(NameEntry* e) {
  g_active.Append(e);
  g_activeCount++;
  IndexName(e);
  AddressJoined(e);
  MarkUnlocked(e);
}

void RenameActive(NameEntry* e, const char* name) {
  UnindexName(e);
  snprintf(e->name, sizeof e->name, "%s", name);
  IndexName(e);
}

void OpenStore() {
  g_active.Reset();
  g_free.Reset();
  g_freeMutex = plat::CreateMutex("FreeNameQue");
  g_activeMutex = plat::CreateMutex("ActiveNameQue");
}

// Once the library is gone nothing can reach its entries: they go back to
// the heap with it, so that unloading and loading again loses no memory.
void CloseStore() {
  ClearNameTable();
  plat::CloseMutex(g_activeMutex);
  plat::CloseMutex(g_freeMutex);
  g_activeMutex = g_freeMutex = nullptr;
}

void SetNamesChanged() {
  if (qv::g_table) __atomic_fetch_or(&qv::g_table->flags, (DWORD)MT_NAMES_CHANGED, __ATOMIC_SEQ_CST);
}

void ClearNamesChanged() {
  if (qv::g_table) __atomic_fetch_and(&qv::g_table->flags, ~(DWORD)MT_NAMES_CHANGED, __ATOMIC_SEQ_CST);
}

plat::FILETIME Now() {
  plat::FILETIME ft = {0, 0};
  plat::GetLocalFileTime(&ft);
  return ft;
}

// ---------------------------------------------------------------- insert

NameEntry* InsertNameEntry(const char* name, const BYTE* address, int length, int value, BYTE flagged) {
  if (!name || !ValidMappingName(name)) return nullptr;
  if (length < 0 || length > kMaxAddressLength || (length > 0 && !address)) return nullptr;

  // The name test and the append form one critical section, so that two
  // callers adding the same name cannot both append.
  Lock active(g_activeMutex);
  if (!active.held()) return nullptr;
  if (NameEntry* existing = FindName(name)) return existing;

  NameEntry* e = TakeSpareEntry();
  if (!e) return nullptr;

  e->flagged = flagged;
  e->value = value;
  e->addressLength = length;
  if (length > 0) memcpy(e->address, address, (size_t)length);
  memcpy(e->name, name, strlen(name) + 1);
  e->created = Now();
  e->group = length > 0 ? (BYTE)(e->address[0] & 1) : 0;
  AppendActive(e);
  SetNamesChanged();
  return e;
}

BYTE NameExists(const char* name) {
  if (!name) return FALSE;
  Lock active(g_activeMutex);
  return active.held() && FindName(name) ? TRUE : FALSE;
}

void* QV_CALL AddFlaggedName(const char* name, const BYTE* address, int length, int value) {
  return InsertNameEntry(name, address, length, value, 1);
}

void* QV_CALL AddName(const char* name, const BYTE* address, int length, int value) {
  return InsertNameEntry(name, address, length, value, 0);
}

// ---------------------------------------------------------------- lookups

namespace {

// A lookup whose address may have a name: under the lock, apart from the
// way of the others, which then keeps no more registers than it uses.
[[gnu::noinline]] BYTE LookupUnderLock(const BYTE* address, int length, BYTE useName, char* text,
                                       COLORREF* destinationColor, COLORREF* sourceColor) {
  {
    Lock active(g_activeMutex);
    if (active.held()) {
      if (NameEntry* e = FindAddress(address, length)) {
        if (useName)
          memcpy(text, e->name, strlen(e->name) + 1);
        else
          FormatHexAddress(address, length, text);
        CountAccess(e, Now());
        if (destinationColor) *destinationColor = e->destinationColor;
        if (sourceColor) *sourceColor = e->sourceColor;
        return useName ? TRUE : FALSE;
      }
    }
  }
  FormatHexAddress(address, length, text);
  return FALSE;
}

}  // namespace

BYTE QV_CALL LookupName(const BYTE* address, int length, BYTE useName, char* text, int,
                        COLORREF* destinationColor, COLORREF* sourceColor) {
  text[0] = 0;
  if (destinationColor) *destinationColor = 0;
  if (sourceColor) *sourceColor = 0;
  if (MayBeNamed(address, length))
    return LookupUnderLock(address, length, useName, text, destinationColor, sourceColor);
  qv::FormatAddressBytes(address, length, text, false);
  return FALSE;
}

namespace {

// "[name] " behind the used characters of text, cut at max in all.
size_t AppendNameItem(char* text, size_t used, unsigned max, const char* name) {
  char item[kNameSize + 3];
  const size_t length = strnlen(name, kNameSize);
  item[0] = '[';
  memcpy(item + 1, name, length);
  item[length + 1] = ']';
  item[length + 2] = ' ';
  size_t n = length + 3;
  if (n > max - used) n = max - used;
  memcpy(text + used, item, n);
  used += n;
  text[used] = 0;
  return used;
}

}  // namespace

BYTE QV_CALL LookupAllNames(const BYTE* address, int length, char* text, int, unsigned max) {
  text[0] = 0;
  size_t used = 0;
  BYTE matched = FALSE;
  // An address that no entry can match takes no lock, as in LookupName.
  if (MayBeNamed(address, length)) {
    Lock active(g_activeMutex);
    if (active.held()) {
      plat::FILETIME now = {0, 0};
      // Nothing before the first match matches.
      for (NameEntry* e = FindAddress(address, length); e && used < max; e = e->next) {
        if (!Matches(e, address, length)) continue;
        if (!matched) now = Now();
        matched = TRUE;
        used = AppendNameItem(text, used, max, e->name);
        CountAccess(e, now);
      }
    }
  }
  if (used == 0) {
    // The hex text too stays within the caller's max characters: written
    // in place when the longest fits, the usual case.
    if (max >= (unsigned)qv::kHexAddressTextSize - 1) {
      FormatHexAddress(address, length, text);
      return matched;
    }
    char hex[64];
    FormatHexAddress(address, length, hex);
    size_t n = strlen(hex);
    if (n > max) n = max;
    memcpy(text, hex, n);
    text[n] = 0;
  } else {
    text[used - 1] = 0;
  }
  return matched;
}

// ---------------------------------------------------------------- changes

void QV_CALL DeleteName(const char* name) {
  if (!name) return;
  NameEntry* found = nullptr;
  {
    Lock active(g_activeMutex);
    if (!active.held()) return;
    for (NameEntry** link = &g_active.first; *link; link = &(*link)->next) {
      if (!SameName((*link)->name, name)) continue;
      found = *link;
      *link = found->next;
      if (!found->next) g_active.tail = link;
      UnlinkedFromActive(found);
      break;
    }
    if (!found) return;
    SetNamesChanged();
  }
  // One lock at a time here. The entry is off the table already, so it must
  // reach the free list; nothing waits for another lock while holding this
  // one, so waiting again cannot deadlock.
  for (;;) {
    DWORD r = g_freeMutex ? plat::WaitForMutex(g_freeMutex, kLockWaitMs) : plat::WAIT_ERROR;
    if (r == plat::WAIT_OK) break;
    if (r != plat::WAIT_TIMED_OUT) return;  // no usable lock: the entry is left to the heap
  }
  g_free.Append(found);
  plat::ReleaseMutex(g_freeMutex);
}

void QV_CALL PurgeNames(BYTE keepFlagged, BYTE keepLocked) {
  Lock active(g_activeMutex);
  if (!active.held()) return;
  Lock free(g_freeMutex);
  if (!free.held()) return;
  NameEntry* e = g_active.first;
  g_active.Reset();
  while (e) {
    NameEntry* next = e->next;
    bool keep = e->flagged ? keepFlagged != 0 : e->locked ? keepLocked != 0 : false;
    if (keep) {
      g_active.Append(e);
    } else {
      UnlinkedFromActive(e);
      g_free.Append(e);
    }
    e = next;
  }
  SetNamesChanged();
}

void QV_CALL ClearNameTable() {
  Lock active(g_activeMutex);
  if (!active.held()) return;
  Lock free(g_freeMutex);
  if (!free.held()) return;
  for (Queue* q : {&g_free, &g_active}) {
    for (NameEntry* e = q->first; e;) {
      NameEntry* next = e->next;
      plat::LocalFree(e);
      e = next;
    }
    q->Reset();
  }
  ResetIndex();
  ResetAddresses();
  g_activeCount = 0;
  const uint64_t none[4] = {};
  PublishUnlocked(0, none);
}

DWORD QV_CALL ReserveNameEntries(int count) {
  if (count <= 0) return 0;
  Lock free(g_freeMutex);
  if (!free.held()) return ETIMEDOUT;
  for (int i = 0; i < count; i++) {
    NameEntry* e = static_cast<NameEntry*>(plat::LocalAlloc(sizeof(NameEntry)));
    if (!e) {
      DWORD code = plat::GetLastError();
      return code ? code : ENOMEM;
    }
    g_free.Append(e);
  }
  return 0;
}

// ---------------------------------------------------------------- texts

// At most 16 bytes: 50 characters for hex, 66 for dotted, with the NUL.
void QV_CALL FormatHexAddress(const BYTE* data, int length, char* text) { qv::FormatAddressBytes(data, length, text, false); }
void QV_CALL FormatDottedAddress(const BYTE* data, int length, char* text) { qv::FormatAddressBytes(data, length, text, true); }

void QV_CALL FillNameCombo(HWND combo) {
  plat::SendMessage(combo, CB_RESETCONTENT, 0, 0);
  {
    Lock active(g_activeMutex);
    if (active.held())
      for (NameEntry* e = g_active.first; e; e = e->next)
        plat::SendMessage(combo, CB_ADDSTRING, 0, (intptr_t)e->name);
  }
  plat::SendMessage(combo, CB_SETCURSEL, 0, 0);
}

void QV_CALL GetAddressOfName(const char* name, BYTE* address, int length) {
  if (!address || length <= 0) return;
  memset(address, 0, (size_t)length);
  if (!name) return;
  size_t n = length < kMaxAddressLength ? (size_t)length : (size_t)kMaxAddressLength;
  Lock active(g_activeMutex);
  if (!active.held()) return;
  if (const NameEntry* e = FindName(name)) memcpy(address, e->address, n);
}

}  // namespace pallisand
