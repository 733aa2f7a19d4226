// The host of the targets that run plug-ins: one per process, silent.
#pragma once

#include <stdio.h>
#include <stdlib.h>

#include <string>

#include "fuzz_support.h"
#include "qvhost/host.h"

namespace qvfuzz {

// The host with the one plug-in library named (file name in the plug-in
// folder), or with every library of the folder when none is.
inline qvhost::Host* TheHost(const char* library = nullptr) {
  static qvhost::Host* host = [library] {
    plat::SetMessageSink([](HWND, const char*, const char*, DWORD, void*) { return (int)plat::IDOK; }, nullptr);
    auto* h = new qvhost::Host;
    std::string error;
    if (!library) {
      h->LoadFolder(PluginFolder(), nullptr);
    } else if (!h->LoadLibrary(PluginFolder() + "/" + library, &error)) {
      fprintf(stderr, "%s\n", error.c_str());
      abort();
    }
    h->Start();
    return h;
  }();
  return host;
}

}  // namespace qvfuzz
