// Pallisand: the user's address-to-name table. A service library: it
// registers no protocol and acts on DLLC_ATTACH only, where it fills the
// name table slots of the monitor table.
#include <stdio.h>

#include "dialogs.h"
#include "plugin.h"
#include "store.h"

namespace pallisand {

namespace {

const char kMismatch[] = "Pallisand has mismatched Monitor Table version!\nPlease verify your installation.";

// The windows' second argument: kept, never read.
int g_windowArgument = 0;

BYTE QV_CALL ShowNameTable(HWND owner, int argument) {
  g_windowArgument = argument;
  BYTE changed = FALSE;
  RunNameTableWindow(owner, &changed);
  return changed;
}

intptr_t QV_CALL ViewNameTable(HWND owner, int argument) {
  g_windowArgument = argument;
  BYTE changed = FALSE;
  return RunNameTableWindow(owner, &changed);
}

intptr_t QV_CALL ShowHostColors(HWND owner, int argument) {
  g_windowArgument = argument;
  return RunHostColorsWindow(owner);
}

void InstallSlots(MonitorTable* t) {
  t->ReserveNameEntries = ReserveNameEntries;
  t->ClearNameTable = ClearNameTable;
  t->ShowNameTable = ShowNameTable;
  t->ShowHostColors = ShowHostColors;
  t->ViewNameTable = ViewNameTable;
  t->AddFlaggedName = AddFlaggedName;
  t->AddName = AddName;
  t->LookupName = LookupName;
  t->LookupAllNames = LookupAllNames;
  t->DeleteName = DeleteName;
  t->PurgeNames = PurgeNames;
  t->SaveNameFile = SaveNameFile;
  t->LoadNameFile = LoadNameFile;
  t->FormatHexAddress = FormatHexAddress;
  t->FormatDottedAddress = FormatDottedAddress;
  t->FillNameCombo = FillNameCombo;
  t->GetAddressOfName = GetAddressOfName;
}

// Library attach and detach.
__attribute__((constructor)) void LibraryAttach() { OpenStore(); }
__attribute__((destructor)) void LibraryDetach() {
  CloseWindows();
  CloseStore();
}

}  // namespace

void ShowSystemError(HWND owner, const char* text, DWORD code) {
  char system[256];
  plat::FormatSystemError(code, system, sizeof system);
  char message[256 + 2 + sizeof system];
  snprintf(message, sizeof message, "%.256s\n\n%s", text ? text : "", system);
  plat::MessageBox(owner, message, MT_ERROR_TITLE, plat::MB_OK | plat::MB_ICONERROR);
}

}  // namespace pallisand

QV_EXPORT DWORD QV_CALL DLLControl(DWORD type, MonitorTable* table, DWORD, DWORD, DWORD) {
  if (qv::g_inert || type != DLLC_ATTACH) return 0;
  if (qv::AttachTable(table, pallisand::kMismatch)) pallisand::InstallSlots(table);
  return 0;
}
