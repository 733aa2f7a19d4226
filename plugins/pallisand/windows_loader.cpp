// Builds with the window system: the windows are in their module beside this
// library, loaded the first time one is asked for and unloaded with the
// library, so that the windows' state lasts as long as the library's.
#include <dlfcn.h>
#include <string.h>

#include <mutex>
#include <string>

#include "plugin.h"
#include "windows_module.h"

namespace pallisand {

namespace {

std::mutex g_loading;
void* g_module = nullptr;
const WindowEntries* g_windows = nullptr;
WindowServices g_services = {};

// The module's path: this library's folder and the module's file name.
std::string ModulePath() {
  Dl_info info{};
  if (!dladdr(reinterpret_cast<void*>(&ModulePath), &info) || !info.dli_fname) return kWindowsModule;
  const char* slash = strrchr(info.dli_fname, '/');
  return slash ? std::string(info.dli_fname, (size_t)(slash - info.dli_fname) + 1) + kWindowsModule
               : std::string(kWindowsModule);
}

// Loads the module and takes its windows; what went wrong when it could not.
std::string Load() {
  const std::string path = ModulePath();
  void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!module) {
    const char* error = dlerror();
    return error ? error : path;
  }
  g_services = WindowServices{sizeof g_services, qv::g_table, ReadRows,   ReadRow,         ReadColor,
                              WriteLocked,       WriteColor,  WriteEdit,  AddMapping,      NameExists,
                              DeleteName,        SetNamesChanged, ShowSystemError};
  auto entry = reinterpret_cast<WindowsEntryProc>(dlsym(module, kWindowsEntry));
  g_windows = entry ? entry(&g_services) : nullptr;
  if (!g_windows) {
    dlclose(module);
    return path + " is not this build's window module";
  }
  g_module = module;
  return "";
}

// The module's windows, loaded on the first call; null, with the user told
// why (no lock held over the message), when it cannot be loaded.
const WindowEntries* Windows(HWND owner, const char* window) {
  std::string why;
  {
    std::lock_guard<std::mutex> lock(g_loading);
    if (g_windows || (why = Load()).empty()) return g_windows;
  }
  WindowFailure(owner, window, ("cannot be opened: " + why).c_str());
  return nullptr;
}

}  // namespace

intptr_t RunNameTableWindow(HWND owner, BYTE* changed) {
  *changed = FALSE;
  const WindowEntries* windows = Windows(owner, "name table window");
  return windows ? windows->nameTable(owner, changed) : -1;
}

intptr_t RunHostColorsWindow(HWND owner) {
  const WindowEntries* windows = Windows(owner, "host display color coding window");
  return windows ? windows->hostColors(owner) : -1;
}

void CloseWindows() {
  std::lock_guard<std::mutex> lock(g_loading);
  if (g_module) dlclose(g_module);
  g_module = nullptr;
  g_windows = nullptr;
}

}  // namespace pallisand
