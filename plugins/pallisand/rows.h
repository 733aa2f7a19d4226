// What the name table windows read from the table and change in it.
//
// A row refers to its entry, and another thread may delete, purge or clear
// entries while a window is open; a freed entry goes to the free list and may
// come back as a different mapping. So every use of a row's entry confirms,
// under "ActiveNameQue", that the entry is still on the active list and still
// the mapping the row was made for (same name, same creation time); when it
// is not, the window fills its rows anew.
#pragma once

#include <vector>

#include "store.h"

namespace pallisand {

struct EntryRef {
  NameEntry* entry;
  char name[kNameSize];
  uint64_t created;
};

// One row: its entry and a copy of the entry's fields, made under the lock.
struct Row {
  EntryRef ref;
  NameEntry fields;
};

enum Outcome {
  DONE,
  GONE,           // the row's entry is no longer the row's mapping
  NAME_TAKEN,     // another entry has the name
  ADDRESS_TAKEN,  // an entry matches the address
  BAD_NAME,       // empty, too long, or holding a line break
  NO_MEMORY,      // last error set
  BUSY,           // the lock could not be had in time
};

enum ColorRole { DESTINATION_COLOR, SOURCE_COLOR };

// The active list in list order.
Outcome ReadRows(std::vector<Row>* rows);
// A fresh copy of the row's entry.
Outcome ReadRow(Row* row);
Outcome ReadColor(const EntryRef& ref, ColorRole role, COLORREF* color);
// Writes mark the table changed.
Outcome WriteLocked(Row* row, BYTE locked);
Outcome WriteColor(const EntryRef& ref, ColorRole role, COLORREF color);
// The editor's OK in edit mode: the name test and the write in one hold of
// the lock. The name may stay as it is; another name must be free (without
// regard to case, so a change of case alone is refused).
Outcome WriteEdit(Row* row, const char* name, BYTE locked, COLORREF destination, COLORREF source);
// The editor's OK in new mode: name and address tests and the append in one
// hold of the lock. mapping holds name, address, length, locked and colours.
Outcome AddMapping(const NameEntry& mapping, Row* made);

}  // namespace pallisand
