// The name table windows live in a module of their own, beside the plug-in,
// which the plug-in loads the first time a window is asked for: only a run
// that opens a window loads Qt Widgets. The plug-in hands the module the
// monitor table and the store's services that the windows use; the module
// hands back its two windows. Both are built from one tree, and the record's
// size tells a module of another build.
#pragma once

#include "dialogs.h"
#include "rows.h"

namespace pallisand {

struct WindowServices {
  size_t size;  // sizeof(WindowServices)
  MonitorTable* table;
  decltype(&ReadRows) readRows;
  decltype(&ReadRow) readRow;
  decltype(&ReadColor) readColor;
  decltype(&WriteLocked) writeLocked;
  decltype(&WriteColor) writeColor;
  decltype(&WriteEdit) writeEdit;
  decltype(&AddMapping) addMapping;
  decltype(&NameExists) nameExists;
  decltype(&DeleteName) deleteName;
  decltype(&SetNamesChanged) setNamesChanged;
  decltype(&ShowSystemError) showSystemError;
};

struct WindowEntries {
  decltype(&RunNameTableWindow) nameTable;
  decltype(&RunHostColorsWindow) hostColors;
};

inline constexpr char kWindowsModule[] = "pallisand-windows.so";
// extern "C" const WindowEntries* PallisandWindows(const WindowServices*):
// null for services of another build.
inline constexpr char kWindowsEntry[] = "PallisandWindows";
typedef const WindowEntries* (*WindowsEntryProc)(const WindowServices* services);

}  // namespace pallisand
