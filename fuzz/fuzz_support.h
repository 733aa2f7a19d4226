// What the fuzz targets share: the plug-in folder, a scratch folder for the
// files a target writes, and the check that ends a run as a finding.
#pragma once

#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

namespace qvfuzz {

// $QV_PLUGIN_DIR, else the folder of the program.
inline std::string PluginFolder() {
  if (const char* dir = getenv("QV_PLUGIN_DIR")) return dir;
  Dl_info info;
  if (dladdr(reinterpret_cast<void*>(&PluginFolder), &info) && info.dli_fname) {
    std::string s = info.dli_fname;
    size_t slash = s.find_last_of('/');
    if (slash != std::string::npos) return s.substr(0, slash);
  }
  return ".";
}

// A folder of this process's own, made at the first call and removed at
// exit (the targets remove their files after each input): below
// $QUORVANE_CONFIG_DIR when the test runner sets it, else in /dev/shm or
// $TMPDIR, so that file round trips cost no disk writes.
inline const std::string& ScratchFolder() {
  static const std::string folder = [] {
    std::string base;
    if (const char* dir = getenv("QUORVANE_CONFIG_DIR"); dir && *dir) {
      base = dir;
      for (size_t at = 1; at <= base.size(); at++)
        if (at == base.size() || base[at] == '/') mkdir(base.substr(0, at).c_str(), 0755);
    } else if (access("/dev/shm", W_OK) == 0) {
      base = "/dev/shm";
    } else {
      const char* tmp = getenv("TMPDIR");
      base = tmp && *tmp ? tmp : "/tmp";
    }
    std::string pattern = base + "/qvfuzz-XXXXXX";
    if (!mkdtemp(&pattern[0])) abort();
    return pattern;
  }();
  static const bool removed = atexit([] { rmdir(ScratchFolder().c_str()); }) == 0;
  (void)removed;
  return folder;
}

// A broken property is a finding: say which and abort, as a sanitizer does.
inline void Check(bool ok, const char* what) {
  if (ok) return;
  fprintf(stderr, "fuzz target: %s\n", what);
  abort();
}

}  // namespace qvfuzz
