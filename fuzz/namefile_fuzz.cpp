// Arbitrary name files through the host's load (the table reads the host's
// file handle), then the host's save, a load of what it saved and the
// table's save again: the save must write what the table holds, or nothing
// after a load that was not whole, and the saved file must load completely
// and give back the same table (times and access counts start afresh at
// each load, so they are left out of the comparison).
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "fuzz_host.h"
#include "name_line.h"
#include "qvhost/host.h"

namespace {

using qvfuzz::Check;

// The table as its save writes it.
std::string Saved(MonitorTable* t) {
  int fd = memfd_create("saved", MFD_CLOEXEC);
  Check(fd >= 0, "no memory file");
  Check(t->SaveNameFile(fd) == TRUE, "the save failed");
  std::string text;
  char buffer[65536];
  for (off_t at = 0;;) {
    ssize_t n = pread(fd, buffer, sizeof buffer, at);
    Check(n >= 0, "the saved file cannot be read");
    if (n == 0) break;
    text.append(buffer, (size_t)n);
    at += n;
  }
  close(fd);
  return text;
}

std::vector<pallisand::NameLine> Mappings(std::string text) {
  std::vector<pallisand::NameLine> lines;
  pallisand::NameTextResult r = pallisand::ReadNameText(text.data(), text.size(), [&](const pallisand::NameLine& l) {
    lines.push_back(l);
    return true;
  });
  Check(!r.stopped && !r.skipped, "a saved file holds a line its load refuses");
  return lines;
}

// Everything but what a load starts afresh (times, access count).
bool SameMapping(const pallisand::NameLine& a, const pallisand::NameLine& b) {
  return strcmp(a.name, b.name) == 0 && a.length == b.length && memcmp(a.address, b.address, sizeof a.address) == 0 &&
         memcmp(a.flags, b.flags, sizeof a.flags) == 0 && a.value == b.value &&
         a.destinationColor == b.destinationColor && a.sourceColor == b.sourceColor;
}

std::string ReadFile(const std::string& path) {
  std::string text;
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  Check(fd >= 0, "the name file is gone");
  char buffer[65536];
  for (;;) {
    ssize_t n = read(fd, buffer, sizeof buffer);
    Check(n >= 0, "the name file cannot be read");
    if (n == 0) break;
    text.append(buffer, (size_t)n);
  }
  close(fd);
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 1 << 20) return 0;
  qvhost::Host* host = qvfuzz::TheHost("libpallisand.so");
  MonitorTable* t = host->table();
  const std::string path = qvfuzz::ScratchFolder() + "/names.txt";
  const std::string input(reinterpret_cast<const char*>(data), size);
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  Check(fd >= 0 && write(fd, input.data(), input.size()) == (ssize_t)input.size() && close(fd) == 0,
        "cannot write the input file");

  t->ClearNameTable();
  const bool whole = host->LoadNames(path, nullptr);
  const std::string first = Saved(t);
  // The host's save, as after a change of the table: it writes what the
  // table's own save gives, or, after a load that was not whole, nothing.
  __atomic_fetch_or(&t->flags, (DWORD)MT_NAMES_CHANGED, __ATOMIC_SEQ_CST);
  Check(host->SaveNamesIfChanged(path, nullptr) == whole, "the host's save did not do as the load allows");
  Check(ReadFile(path) == (whole ? first : input), "the host's save wrote something else");

  // What the host saved loads whole through the host, into the same table.
  if (!whole) {
    fd = open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    Check(fd >= 0 && write(fd, first.data(), first.size()) == (ssize_t)first.size() && close(fd) == 0,
          "cannot write the saved file");
  }
  t->ClearNameTable();
  Check(host->LoadNames(path, nullptr), "a saved file does not load completely");
  unlink(path.c_str());
  const std::string second = Saved(t);
  std::vector<pallisand::NameLine> a = Mappings(first), b = Mappings(second);
  Check(a.size() == b.size(), "the reload gives another number of mappings");
  for (size_t i = 0; i < a.size(); i++) Check(SameMapping(a[i], b[i]), "the reload changes a mapping");
  t->ClearNameTable();
  return 0;
}
