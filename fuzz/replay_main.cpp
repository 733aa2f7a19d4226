// Replays fuzz inputs (files, or every file of the folders named) through
// the fuzz target, for builds without libFuzzer.
#include <dirent.h>
#include <stdio.h>
#include <sys/stat.h>

#include <algorithm>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size);

static bool RunFile(const std::string& path) {
  FILE* f = fopen(path.c_str(), "rb");
  if (!f) {
    fprintf(stderr, "fuzz replay: cannot open %s\n", path.c_str());
    return false;
  }
  std::vector<unsigned char> data;
  unsigned char buffer[65536];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, f)) > 0) data.insert(data.end(), buffer, buffer + n);
  fclose(f);
  LLVMFuzzerTestOneInput(data.data(), data.size());
  return true;
}

int main(int argc, char** argv) {
  size_t runs = 0;
  bool ok = true;
  for (int i = 1; i < argc; i++) {
    struct stat st;
    if (stat(argv[i], &st) != 0) {
      fprintf(stderr, "fuzz replay: %s: no such file or folder\n", argv[i]);
      ok = false;
      continue;
    }
    if (!S_ISDIR(st.st_mode)) {
      ok = RunFile(argv[i]) && ok;
      runs++;
      continue;
    }
    std::vector<std::string> files;
    if (DIR* d = opendir(argv[i])) {
      while (dirent* e = readdir(d))
        if (e->d_name[0] != '.') files.push_back(std::string(argv[i]) + "/" + e->d_name);
      closedir(d);
    }
    std::sort(files.begin(), files.end());
    for (const std::string& f : files) {
      ok = RunFile(f) && ok;
      runs++;
    }
  }
  printf("fuzz replay: %zu inputs\n", runs);
  return ok ? 0 : 1;
}
