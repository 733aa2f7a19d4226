// The windows' reads and writes of the table, each under "ActiveNameQue";
// those of one row first confirm that its entry is still the mapping the row
// was made for (rows.h).
#include "rows.h"

#include <errno.h>
#include <string.h>

#include "name_line.h"

namespace pallisand {

namespace {

EntryRef RefOf(NameEntry* e) {
  EntryRef ref;
  ref.entry = e;
  memcpy(ref.name, e->name, sizeof ref.name);
  ref.created = FileTimeTicks(e->created);
  return ref;
}

Row RowOf(NameEntry* e) {
  Row row;
  row.ref = RefOf(e);
  row.fields = *e;
  row.fields.next = nullptr;
  return row;
}

// Under ActiveMutex.
NameEntry* Confirm(const EntryRef& ref) {
  NameEntry* e = ref.entry;
  if (!e || !IsActive(e)) return nullptr;
  if (strncmp(e->name, ref.name, kNameSize) != 0 || FileTimeTicks(e->created) != ref.created) return nullptr;
  return e;
}

}  // namespace

Outcome ReadRows(std::vector<Row>* rows) {
  rows->clear();
  Lock active(ActiveMutex());
  if (!active.held()) return BUSY;
  for (NameEntry* e = FirstActive(); e; e = e->next) rows->push_back(RowOf(e));
  return DONE;
}

Outcome ReadRow(Row* row) {
  Lock active(ActiveMutex());
  if (!active.held()) return BUSY;
  NameEntry* e = Confirm(row->ref);
  if (!e) return GONE;
  *row = RowOf(e);
  return DONE;
}

Outcome ReadColor(const EntryRef& ref, ColorRole role, COLORREF* color) {
  Lock active(ActiveMutex());
  if (!active.held()) return BUSY;
  NameEntry* e = Confirm(ref);
  if (!e) return GONE;
  *color = role == DESTINATION_COLOR ? e->destinationColor : e->sourceColor;
  return DONE;
}

Outcome WriteLocked(Row* row, BYTE locked) {
  Lock active(ActiveMutex());
  if (!active.held()) return BUSY;
  NameEntry* e = Confirm(row->ref);
  if (!e) return GONE;
  e->locked = locked;
  SetNamesChanged();
  *row = RowOf(e);
  return DONE;
}

Outcome WriteColor(const EntryRef& ref, ColorRole role, COLORREF color) {
  Lock active(ActiveMutex());
  if (!active.held()) return BUSY;
  NameEntry* e = Confirm(ref);
  if (!e) return GONE;
  (role == DESTINATION_COLOR ? e->destinationColor : e->sourceColor) = color;
  SetNamesChanged();
  return DONE;
}

Outcome WriteEdit(Row* row, const char* name, BYTE locked, COLORREF destination, COLORREF source) {
  if (!ValidMappingName(name)) return BAD_NAME;
  Lock active(ActiveMutex());
  if (!active.held()) return BUSY;
  NameEntry* e = Confirm(row->ref);
  if (!e) return GONE;
  if (strcmp(e->name, name) != 0) {
    if (FindName(name)) return NAME_TAKEN;
    RenameActive(e, name);
  }
  e->group = e->addressLength > 0 ? (BYTE)(e->address[0] & 1) : 0;
  e->locked = locked;
  e->destinationColor = destination;
  e->sourceColor = source;
  SetNamesChanged();
  *row = RowOf(e);
  return DONE;
}

Outcome AddMapping(const NameEntry& mapping, Row* made) {
  if (!ValidMappingName(mapping.name)) return BAD_NAME;
  if (mapping.addressLength <= 0 || mapping.addressLength > kMaxAddressLength) return ADDRESS_TAKEN;
  Lock active(ActiveMutex());
  if (!active.held()) return BUSY;
  if (FindName(mapping.name)) return NAME_TAKEN;
  // The whole zero-filled field, as the editor's own test looks it up.
  if (FindAddress(mapping.address, kMaxAddressLength)) return ADDRESS_TAKEN;
  NameEntry* e = TakeSpareEntry();
  if (!e) return NO_MEMORY;
  memcpy(e->name, mapping.name, sizeof e->name);
  e->name[kNameSize - 1] = 0;
  e->addressLength = mapping.addressLength;
  memcpy(e->address, mapping.address, (size_t)mapping.addressLength);
  e->group = (BYTE)(e->address[0] & 1);
  e->locked = mapping.locked ? 1 : 0;
  e->destinationColor = mapping.destinationColor;
  e->sourceColor = mapping.sourceColor;
  e->created = Now();
  AppendActive(e);
  SetNamesChanged();
  *made = RowOf(e);
  return DONE;
}

}  // namespace pallisand
