// Arbitrary registry files: the store's parser reads them, and a write
// through the store's API (which reads the file again, changes one value and
// writes the whole hive) must keep every value the file held; a file the
// parser refuses must make the API fail and stay as it was. The writer's
// text must read back as the same hive.
//
// The store's model and its parser are internal to its one source, which is
// therefore compiled into this target (the target does not link the
// platform library, so there is one store in the process).
#include "../platform/src/registry.cpp"

#include <fcntl.h>

#include "fuzz_support.h"

namespace {

using qvfuzz::Check;

using namespace plat;

const char kWrittenKey[] = "Fuzz\\Written";
const char kWrittenValue[] = "written";

std::string ReadFile(const std::string& file) {
  std::string text;
  Check(ReadWhole(file, text) == ERROR_SUCCESS, "the hive cannot be read back");
  return text;
}

// Every value of `from` is in `to`, of the same type and data (but for the
// value the write set, when `write` says so).
void ExpectKept(const HiveData& from, const HiveData& to, bool write, const char* what) {
  for (const Key& key : from.keys) {
    const Key* kept = FindKey(to, key.path);
    Check(kept || key.values.empty(), what);
    for (const Value& value : key.values) {
      if (write && SameName(key.path, kWrittenKey) && SameName(value.name, kWrittenValue)) continue;
      const Value* same = FindValue(const_cast<Key&>(*kept), value.name);
      Check(same && same->type == value.type && same->data == value.data, what);
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 1 << 16) return 0;
  static const bool configured = setenv("QUORVANE_CONFIG_DIR", qvfuzz::ScratchFolder().c_str(), 1) == 0;
  Check(configured, "no config folder");
  const std::string file = HiveFile(HKEY_CURRENT_USER);
  const std::string text(reinterpret_cast<const char*>(data), size);
  {
    int fd = open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    Check(fd >= 0 && WriteAll(fd, text, file) == ERROR_SUCCESS && close(fd) == 0, "cannot write the hive");
  }

  HiveData loaded;
  std::string error;
  const bool parsed = Parse(text, file, loaded, error);

  HKEY key = nullptr;
  LONG opened = RegOpenKey(HKEY_CURRENT_USER, kWrittenKey, true, &key);
  if (!parsed) {
    Check(opened == ERROR_REGISTRY_CORRUPT, "a refused file opens");
    Check(ReadFile(file) == text, "a refused file was changed");
  } else {
    Check(opened == ERROR_SUCCESS, "a file that parses does not open");
    const DWORD number = 0x2a;
    Check(RegSetValue(key, kWrittenValue, REG_DWORD, reinterpret_cast<const BYTE*>(&number), sizeof number) ==
              ERROR_SUCCESS,
          "the write failed");
    DWORD type = REG_NONE, got = 0, length = sizeof got;
    Check(RegQueryValue(key, kWrittenValue, &type, reinterpret_cast<BYTE*>(&got), &length) == ERROR_SUCCESS &&
              type == REG_DWORD && got == number,
          "the written value does not read back");
    RegCloseKey(key);

    HiveData written;
    Check(Parse(ReadFile(file), file, written, error), "the store wrote a file it cannot read");
    ExpectKept(loaded, written, true, "the write lost a value");

    // The writer's text alone: a fixed point that holds the same values.
    const std::string out = Serialize(HKEY_CURRENT_USER, loaded);
    HiveData again;
    Check(Parse(out, file, again, error), "the writer's text does not parse");
    ExpectKept(loaded, again, false, "the writer's text lost a value");
    ExpectKept(again, loaded, false, "the writer's text gained a value");
    Check(Serialize(HKEY_CURRENT_USER, again) == out, "the writer's text changes when read and written again");
  }
  unlink(file.c_str());
  unlink((file + ".lock").c_str());
  return 0;
}
