// The windows' module: its entry, and the store's services the windows call,
// reached through what the plug-in handed over.
#include "plugin.h"
#include "windows_module.h"

namespace qv {
MonitorTable* g_table = nullptr;
}

namespace pallisand {

namespace {
const WindowServices* g_services = nullptr;
}  // namespace

Outcome ReadRows(std::vector<Row>* rows) { return g_services->readRows(rows); }
Outcome ReadRow(Row* row) { return g_services->readRow(row); }
Outcome ReadColor(const EntryRef& ref, ColorRole role, COLORREF* color) {
  return g_services->readColor(ref, role, color);
}
Outcome WriteLocked(Row* row, BYTE locked) { return g_services->writeLocked(row, locked); }
Outcome WriteColor(const EntryRef& ref, ColorRole role, COLORREF color) {
  return g_services->writeColor(ref, role, color);
}
Outcome WriteEdit(Row* row, const char* name, BYTE locked, COLORREF destination, COLORREF source) {
  return g_services->writeEdit(row, name, locked, destination, source);
}
Outcome AddMapping(const NameEntry& mapping, Row* made) { return g_services->addMapping(mapping, made); }
BYTE NameExists(const char* name) { return g_services->nameExists(name); }
void QV_CALL DeleteName(const char* name) { g_services->deleteName(name); }
void SetNamesChanged() { g_services->setNamesChanged(); }
void ShowSystemError(HWND owner, const char* text, DWORD code) { g_services->showSystemError(owner, text, code); }

}  // namespace pallisand

QV_EXPORT const pallisand::WindowEntries* PallisandWindows(const pallisand::WindowServices* services) {
  if (!services || services->size != sizeof *services) return nullptr;
  pallisand::g_services = services;
  qv::g_table = services->table;
  static const pallisand::WindowEntries entries = {pallisand::RunNameTableWindow, pallisand::RunHostColorsWindow};
  return &entries;
}
