// The registry stand-in: one human-readable text file per hive.
//
//   ; Quorvane registry store: HKEY_CURRENT_USER
//   [Software\Quorvane\Protocols]
//   "ETHERNET"=hex:2a,00,00,00
//   "Count"=dword:0000002a
//   "Title"=sz:"a \"quoted\" \\ text\x0a"
//   @=sz:"the default value"
//   "List"=hex(7):61,00,00
//
// Strings are 8-bit: quote, backslash and control bytes (and 0x7f) are
// escaped (\" \\ \xHH; \n \r \t are read too), bytes 0x80-0xff stay as they
// are. A REG_DWORD of four bytes is written as dword:, REG_BINARY as hex:,
// any other type as hex(type):. Blank lines and lines starting with ; or #
// are comments.
//
// Writes hold an exclusive flock on "<hive>.lock", re-read the hive, apply
// the change, write a temporary file "<hive>.XXXXXX" in the same folder,
// fsync it, rename it over the hive and fsync the folder; a writer also
// removes the temporaries that writers killed before their rename left. A
// hive that is a symbolic link stays one: all of this is done to the file
// the link names, beside it.
// Readers read the whole file through one descriptor and need no lock: rename
// swaps complete files only. A file that does not parse fails every call on
// its hive and is never written; nor is anything but a regular file read.
//
// A batch (RegBeginBatch to RegEndBatch) reads its hive once: the calls
// between read and change that reading, and its end makes their changes in
// one write, on a fresh reading of the file, as single calls would have.
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <pwd.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <mutex>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "plat/platform.h"

namespace plat {

struct RegKey {
  Hive hive;
  std::string path;  // components joined by single backslashes; "" is the hive's root
};

namespace {

// ---------------------------------------------------------------- error text

thread_local char t_errorText[1024];

#if defined(__GNUC__)
__attribute__((format(printf, 2, 3)))
#endif
LONG Fail(LONG code, const char* format, ...) {
  va_list args;
  va_start(args, format);
  vsnprintf(t_errorText, sizeof t_errorText, format, args);
  va_end(args);
  return code;
}

LONG FailErrno(int code, const char* what, const std::string& file) {
  return Fail(code == EACCES || code == EPERM || code == EROFS ? ERROR_ACCESS_DENIED : ERROR_REGISTRY_IO,
              "%s %s: %s", what, file.c_str(), strerror(code));
}

// ---------------------------------------------------------------- failure sink

std::mutex g_sinkMutex;
RegFailureSink g_sink = nullptr;
void* g_sinkContext = nullptr;

// Tells the sink of a failure of the store itself (not of a missing key or
// value, nor of a caller's mistake).
LONG Reported(bool writing, LONG code) {
  if (code != ERROR_REGISTRY_CORRUPT && code != ERROR_REGISTRY_IO && code != ERROR_ACCESS_DENIED &&
      code != ERROR_NOT_ENOUGH_MEMORY)
    return code;
  RegFailureSink sink;
  void* context;
  {
    std::lock_guard<std::mutex> lock(g_sinkMutex);
    sink = g_sink;
    context = g_sinkContext;
  }
  if (sink) sink(writing, code, t_errorText, context);
  return code;
}

// ---------------------------------------------------------------- the model

struct Value {
  std::string name;  // "" is the default value
  DWORD type;
  std::string data;  // REG_SZ: the text without its terminator
};

struct Key {
  std::string path;
  std::vector<Value> values;
};

struct HiveData {
  std::vector<Key> keys;
};

char Fold(char c) { return c >= 'A' && c <= 'Z' ? (char)(c - 'A' + 'a') : c; }

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  if (a == b) return true;  // spelled alike: nearly every comparison of a key path or value name
  for (size_t i = 0; i < a.size(); i++)
    if (Fold(a[i]) != Fold(b[i])) return false;
  return true;
}

bool IsControl(unsigned char c) { return c < 0x20 || c == 0x7f; }

// Hands each component of a backslash path to part, skipping empty ones (so
// leading, trailing and doubled backslashes do not matter). False on a
// control byte.
template <class F>
bool EachPart(std::string_view path, F&& part) {
  size_t start = 0;
  for (size_t i = 0; i <= path.size(); i++) {
    if (i < path.size() && IsControl((unsigned char)path[i])) return false;
    if (i == path.size() || path[i] == '\\') {
      if (i > start) part(path.substr(start, i - start));
      start = i + 1;
    }
  }
  return true;
}

bool SplitPath(std::string_view path, std::vector<std::string_view>& parts) {
  parts.clear();
  return EachPart(path, [&](std::string_view part) { parts.push_back(part); });
}

// Every key is opened by its path: joined in place, with no list of parts.
bool NormalizePath(std::string_view path, std::string& out) {
  out.clear();
  out.reserve(path.size());
  return EachPart(path, [&](std::string_view part) {
    if (!out.empty()) out += '\\';
    out.append(part);
  });
}

// Is `path` equal to `prefix` or below it (case-insensitively)?
bool IsAtOrBelow(std::string_view path, std::string_view prefix) {
  if (prefix.empty()) return true;
  if (path.size() < prefix.size() || !SameName(path.substr(0, prefix.size()), prefix)) return false;
  return path.size() == prefix.size() || path[prefix.size()] == '\\';
}

Key* FindKey(HiveData& hive, std::string_view path) {
  for (auto& key : hive.keys)
    if (SameName(key.path, path)) return &key;
  return nullptr;
}

const Key* FindKey(const HiveData& hive, std::string_view path) {
  return FindKey(const_cast<HiveData&>(hive), path);
}

// A key exists when it has a section or a section lies below it; the root
// always exists.
bool KeyExists(const HiveData& hive, std::string_view path) {
  if (path.empty()) return true;
  for (const auto& key : hive.keys)
    if (IsAtOrBelow(key.path, path)) return true;
  return false;
}

// The key at path, made when absent. Components that already exist (as keys
// or as parts of longer paths) keep the spelling they were first written
// with. Ancestors need no section of their own: a key below them makes them
// exist.
Key& EnsureKey(HiveData& hive, std::string_view path) {
  if (Key* key = FindKey(hive, path)) return *key;
  std::vector<std::string_view> parts, existing;
  SplitPath(path, parts);
  std::string spelled;
  for (size_t level = 0; level < parts.size(); level++) {
    std::string_view part = parts[level];
    for (const auto& key : hive.keys) {
      if (!IsAtOrBelow(key.path, spelled)) continue;
      SplitPath(key.path, existing);
      if (existing.size() > level && SameName(existing[level], part)) {
        part = existing[level];
        break;
      }
    }
    if (level) spelled += '\\';
    spelled.append(part);
  }
  hive.keys.push_back(Key{spelled, {}});
  return hive.keys.back();
}

Value* FindValue(Key& key, std::string_view name) {
  for (auto& value : key.values)
    if (SameName(value.name, name)) return &value;
  return nullptr;
}

// ---------------------------------------------------------------- text form

const char kHex[] = "0123456789abcdef";

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

void AppendQuoted(std::string& out, std::string_view text) {
  out += '"';
  for (unsigned char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += (char)c;
    } else if (IsControl(c)) {
      out += "\\x";
      out += kHex[c >> 4];
      out += kHex[c & 15];
    } else {
      out += (char)c;
    }
  }
  out += '"';
}

void AppendHexList(std::string& out, std::string_view data) {
  for (size_t i = 0; i < data.size(); i++) {
    if (i) out += ',';
    unsigned char c = (unsigned char)data[i];
    out += kHex[c >> 4];
    out += kHex[c & 15];
  }
}

const char* HiveName(Hive hive) { return hive == HKEY_LOCAL_MACHINE ? "HKEY_LOCAL_MACHINE" : "HKEY_CURRENT_USER"; }

std::string Serialize(Hive hive, const HiveData& data) {
  std::string out = "; Quorvane registry store: ";
  out += HiveName(hive);
  out += ". Written by the program; one [key] section per key.\n";
  for (const auto& key : data.keys) {
    if (key.path.empty() && key.values.empty()) continue;
    out += "\n[";
    out += key.path;
    out += "]\n";
    for (const auto& value : key.values) {
      if (value.name.empty())
        out += '@';
      else
        AppendQuoted(out, value.name);
      out += '=';
      if (value.type == REG_SZ) {
        out += "sz:";
        AppendQuoted(out, value.data);
      } else if (value.type == REG_DWORD && value.data.size() == 4) {
        DWORD v = 0;
        for (int i = 3; i >= 0; i--) v = (v << 8) | (unsigned char)value.data[i];
        char text[16];
        snprintf(text, sizeof text, "dword:%08x", (unsigned)v);
        out += text;
      } else {
        if (value.type == REG_BINARY) {
          out += "hex:";
        } else {
          char text[24];
          snprintf(text, sizeof text, "hex(%x):", (unsigned)value.type);
          out += text;
        }
        AppendHexList(out, value.data);
      }
      out += '\n';
    }
  }
  return out;
}

// Reads a quoted string at p (which points at the opening quote).
bool ParseQuoted(const char*& p, const char* end, std::string& out, const char*& why) {
  out.clear();
  ++p;
  while (p < end) {
    unsigned char c = (unsigned char)*p++;
    if (c == '"') return true;
    if (c == '\\') {
      if (p >= end) break;
      char e = *p++;
      switch (e) {
        case '"': case '\\': out += e; break;
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        case 't': out += '\t'; break;
        case 'x': {
          int hi = p < end ? HexDigit(p[0]) : -1;
          int lo = p + 1 < end ? HexDigit(p[1]) : -1;
          if (hi < 0 || lo < 0) {
            why = "bad \\x escape";
            return false;
          }
          out += (char)(hi * 16 + lo);
          p += 2;
          break;
        }
        default:
          why = "unknown escape";
          return false;
      }
    } else if (IsControl(c) && c != '\t') {
      why = "raw control byte in a string";
      return false;
    } else {
      out += (char)c;
    }
  }
  why = "unterminated string";
  return false;
}

// Every value of the settings is a list: written in place, "xx," a byte.
bool ParseHexList(const char* p, const char* end, std::string& out) {
  out.clear();
  if (p == end) return true;
  const size_t count = (size_t)(end - p + 1) / 3;
  if ((size_t)(end - p) != 3 * count - 1) return false;
  out.resize(count);
  char* to = out.data();
  for (size_t i = 0; i < count; i++, p += 3) {
    int hi = HexDigit(p[0]), lo = HexDigit(p[1]);
    if (hi < 0 || lo < 0 || (i + 1 < count && p[2] != ',')) return false;
    to[i] = (char)(hi * 16 + lo);
  }
  return true;
}

bool StartsWith(const char* p, const char* end, const char* word) {
  size_t n = strlen(word);
  return (size_t)(end - p) >= n && memcmp(p, word, n) == 0;
}

// Parses one value line (already trimmed). False with `why` on failure.
bool ParseValueLine(const char* p, const char* end, Value& value, const char*& why) {
  why = "unparseable value line";
  if (*p == '@') {
    value.name.clear();
    ++p;
  } else if (!ParseQuoted(p, end, value.name, why)) {
    return false;
  }
  if (p >= end || *p != '=') return false;
  ++p;
  if (StartsWith(p, end, "sz:\"")) {
    p += 3;
    value.type = REG_SZ;
    if (!ParseQuoted(p, end, value.data, why)) return false;
    if (p != end) {
      why = "text after the closing quote";
      return false;
    }
    return true;
  }
  if (StartsWith(p, end, "dword:")) {
    p += 6;
    if (end - p != 8) return false;
    DWORD v = 0;
    for (int i = 0; i < 8; i++) {
      int d = HexDigit(p[i]);
      if (d < 0) return false;
      v = (v << 4) | (DWORD)d;
    }
    value.type = REG_DWORD;
    value.data.assign({(char)v, (char)(v >> 8), (char)(v >> 16), (char)(v >> 24)});
    return true;
  }
  if (StartsWith(p, end, "hex:")) {
    value.type = REG_BINARY;
    return ParseHexList(p + 4, end, value.data);
  }
  if (StartsWith(p, end, "hex(")) {
    p += 4;
    DWORD type = 0;
    int digits = 0;
    for (; p < end && HexDigit(*p) >= 0; p++, digits++) type = (type << 4) | (DWORD)HexDigit(*p);
    if (digits < 1 || digits > 8 || end - p < 2 || p[0] != ')' || p[1] != ':') return false;
    value.type = type;
    if (!ParseHexList(p + 2, end, value.data)) return false;
    // A string written as bytes: its terminator is implied, as for sz:.
    if (type == REG_SZ && !value.data.empty() && value.data.back() == '\0') value.data.pop_back();
    return true;
  }
  return false;
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

// Parses a whole file. On failure `error` names the file and the line.
bool Parse(const std::string& text, const std::string& file, HiveData& data, std::string& error) {
  data.keys.clear();
  size_t current = (size_t)-1;  // index of the section being read
  unsigned lineNumber = 0;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t eol = text.find('\n', pos);
    if (eol == std::string::npos) eol = text.size();
    lineNumber++;
    const char* p = text.data() + pos;
    const char* end = text.data() + eol;
    pos = eol + 1;
    while (p < end && IsBlank(*p)) p++;
    while (end > p && IsBlank(end[-1])) end--;
    if (p == end || *p == ';' || *p == '#') continue;
    const char* why = "unparseable line";
    if (*p == '[') {
      std::string path;
      if (end[-1] == ']' && end - p >= 2 && NormalizePath(std::string_view(p + 1, (size_t)(end - p - 2)), path)) {
        Key* key = FindKey(data, path);  // a repeated section adds to the first
        if (!key) {
          data.keys.push_back(Key{path, {}});
          key = &data.keys.back();
        }
        current = (size_t)(key - data.keys.data());
        continue;
      }
      why = "bad [key] line";
    } else if (*p == '"' || *p == '@') {
      Value value;
      if (current == (size_t)-1) {
        why = "value outside a [key] section";
      } else if (ParseValueLine(p, end, value, why)) {
        Key& key = data.keys[current];
        if (Value* old = FindValue(key, value.name)) {
          old->type = value.type;
          old->data = std::move(value.data);
        } else {
          key.values.push_back(std::move(value));
        }
        continue;
      }
    }
    char where[32];
    snprintf(where, sizeof where, ", line %u: ", lineNumber);
    error = "registry file " + file + where + why + " (the file is left as it is; repair or remove it)";
    return false;
  }
  return true;
}

// ---------------------------------------------------------------- files

std::string ConfigDir() {
  const char* dir = getenv("QUORVANE_CONFIG_DIR");
  if (dir && *dir) return dir;
  dir = getenv("XDG_CONFIG_HOME");
  if (dir && *dir == '/') return std::string(dir) + "/quorvane";
  dir = getenv("HOME");
  if (dir && *dir) return std::string(dir) + "/.config/quorvane";
  struct passwd pw, *found = nullptr;
  char buffer[4096];
  if (getpwuid_r(getuid(), &pw, buffer, sizeof buffer, &found) == 0 && found && found->pw_dir)
    return std::string(found->pw_dir) + "/.config/quorvane";
  return "/tmp/quorvane-config";
}

std::string HiveFile(Hive hive) {
  return ConfigDir() + (hive == HKEY_LOCAL_MACHINE ? "/local_machine.reg" : "/current_user.reg");
}

// Reads the whole file through one descriptor. A missing file reads as empty.
LONG ReadWhole(const std::string& file, std::string& text) {
  text.clear();
  // Not blocking: a FIFO in the file's place must not hang the program.
  int fd = open(file.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT || errno == ENOTDIR) return ERROR_SUCCESS;
    return FailErrno(errno, "cannot open registry file", file);
  }
  struct stat st;
  if (fstat(fd, &st) != 0) {
    int code = errno;
    close(fd);
    return FailErrno(code, "cannot read registry file", file);
  }
  if (!S_ISREG(st.st_mode)) {
    close(fd);
    return Fail(ERROR_REGISTRY_IO, "registry file %s is not a regular file (it is left as it is)", file.c_str());
  }
  text.reserve((size_t)st.st_size);
  char buffer[16384];
  for (;;) {
    ssize_t n = read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      int code = errno;
      close(fd);
      return FailErrno(code, "cannot read registry file", file);
    }
    if (n == 0) break;
    text.append(buffer, (size_t)n);
  }
  close(fd);
  return ERROR_SUCCESS;
}

std::string Folder(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

// The file a path names once every symbolic link is followed (it may not
// exist yet).
LONG FollowLinks(const std::string& path, std::string& target) {
  std::string p = path;
  for (int hops = 0; hops < 40; hops++) {
    struct stat st;
    if (lstat(p.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
      target = p;
      return ERROR_SUCCESS;
    }
    char link[PATH_MAX];
    const ssize_t n = readlink(p.c_str(), link, sizeof link - 1);
    if (n <= 0) return FailErrno(n < 0 ? errno : ENOENT, "cannot follow the link", p);
    link[n] = 0;
    p = link[0] == '/' ? std::string(link) : Folder(p) + "/" + link;
  }
  return FailErrno(ELOOP, "cannot follow the link", path);
}

LONG MakeFolders(const std::string& dir) {
  std::string path;
  size_t pos = 0;
  while (pos <= dir.size()) {
    size_t slash = dir.find('/', pos);
    if (slash == std::string::npos) slash = dir.size();
    path = dir.substr(0, slash);
    pos = slash + 1;
    if (path.empty()) continue;
    if (mkdir(path.c_str(), 0755) != 0 && errno != EEXIST) return FailErrno(errno, "cannot create folder", path);
  }
  struct stat st;
  if (stat(dir.c_str(), &st) != 0) return FailErrno(errno, "cannot create folder", dir);
  if (!S_ISDIR(st.st_mode)) return Fail(ERROR_REGISTRY_IO, "config folder %s is not a folder", dir.c_str());
  return ERROR_SUCCESS;
}

// An exclusive flock on the hive's lock file, released on destruction
// (explicitly, so that a forked child sharing the descriptor cannot keep it).
class WriteLock {
 public:
  LONG Take(const std::string& lockFile) {
    fd_ = open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd_ < 0) return FailErrno(errno, "cannot open lock file", lockFile);
    while (flock(fd_, LOCK_EX) != 0)
      if (errno != EINTR) return FailErrno(errno, "cannot lock", lockFile);
    return ERROR_SUCCESS;
  }
  ~WriteLock() {
    if (fd_ < 0) return;
    flock(fd_, LOCK_UN);
    close(fd_);
  }

 private:
  int fd_ = -1;
};

LONG WriteAll(int fd, const std::string& text, const std::string& file) {
  size_t done = 0;
  while (done < text.size()) {
    ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return FailErrno(n < 0 ? errno : ENOSPC, "cannot write", file);
    done += (size_t)n;
  }
  return ERROR_SUCCESS;
}

// The temporaries "<hive>.XXXXXX" of writers killed before their rename. Only
// called under the hive's write lock, so none belongs to a writer at work.
void RemoveStaleTemporaries(const std::string& dir, const std::string& file) {
  DIR* d = opendir(dir.c_str());
  if (!d) return;
  const std::string prefix = file.substr(file.find_last_of('/') + 1) + ".";
  while (dirent* e = readdir(d)) {
    const char* name = e->d_name;
    if (strncmp(name, prefix.c_str(), prefix.size()) != 0) continue;
    const char* rest = name + prefix.size();
    if (strlen(rest) == 6 && strspn(rest, "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789") == 6)
      unlinkat(dirfd(d), name, 0);
  }
  closedir(d);
}

// Replaces the hive with text: temporary file, fsync, rename, fsync folder.
LONG ReplaceFile(const std::string& dir, const std::string& file, const std::string& text) {
  std::string temp = file + ".XXXXXX";
  int fd = mkostemp(&temp[0], O_CLOEXEC);
  if (fd < 0) return FailErrno(errno, "cannot create a temporary file beside", file);
  struct stat st;
  mode_t mode = stat(file.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0644;
  LONG result = WriteAll(fd, text, temp);
  if (result == ERROR_SUCCESS && fchmod(fd, mode) != 0) result = FailErrno(errno, "cannot set the mode of", temp);
  if (result == ERROR_SUCCESS && fsync(fd) != 0) result = FailErrno(errno, "cannot flush", temp);
  if (close(fd) != 0 && result == ERROR_SUCCESS) result = FailErrno(errno, "cannot close", temp);
  if (result == ERROR_SUCCESS && rename(temp.c_str(), file.c_str()) != 0)
    result = FailErrno(errno, "cannot replace", file);
  if (result != ERROR_SUCCESS) {
    unlink(temp.c_str());
    return result;
  }
  int dirFd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd >= 0) {
    fsync(dirFd);  // the rename is done; a failed folder flush only weakens durability
    close(dirFd);
  }
  return ERROR_SUCCESS;
}

// ---------------------------------------------------------------- hive access

// The last parse of each hive, reused while the file's bytes stay the same.
struct Cache {
  bool valid = false;
  std::string file;
  std::string text;
  bool corrupt = false;
  std::string error;
  HiveData data;
};
std::mutex g_cacheMutex;
Cache g_cache[2];

Cache& CacheOf(Hive hive) { return g_cache[hive == HKEY_LOCAL_MACHINE ? 1 : 0]; }

// One change to a hive, as a call makes it.
struct Change {
  enum Kind { MAKE_KEY, SET_VALUE, DELETE_VALUE } kind;
  std::string path;  // the key's, normalized
  Value value;       // DELETE_VALUE: its name alone
};

// The hive of an open batch: its one reading (or why it failed) with the
// batch's changes made, and those changes, to be written at its end.
struct Batch {
  int depth = 0;  // nested batches end with the outermost
  LONG failure = ERROR_SUCCESS;
  std::string error;
  HiveData data;
  std::vector<Change> changes;
};
Batch g_batch[2];  // under g_cacheMutex

Batch& BatchOf(Hive hive) { return g_batch[hive == HKEY_LOCAL_MACHINE ? 1 : 0]; }

Batch* OpenBatch(Hive hive) {
  Batch& batch = BatchOf(hive);
  return batch.depth ? &batch : nullptr;
}

// A failed reading fails each call of the batch as it failed the first.
LONG BatchFailure(const Batch& batch, bool writing) {
  return Reported(writing, Fail(batch.failure, "%s", batch.error.c_str()));
}


// Runs read(const HiveData&) on the hive as it is now, or as the open batch
// read it.
template <class F>
LONG ReadHive(Hive hive, F&& read) {
  {
    std::lock_guard<std::mutex> lock(g_cacheMutex);
    if (const Batch* batch = OpenBatch(hive))
      return batch->failure ? BatchFailure(*batch, false) : read(static_cast<const HiveData&>(batch->data));
  }
  std::string file = HiveFile(hive);
  std::string text;
  if (LONG result = ReadWhole(file, text)) return Reported(false, result);
  std::lock_guard<std::mutex> lock(g_cacheMutex);
  Cache& cache = CacheOf(hive);
  if (!cache.valid || cache.file != file || cache.text != text) {
    cache.valid = false;
    cache.corrupt = !Parse(text, file, cache.data, cache.error);
    cache.file = std::move(file);
    cache.text = std::move(text);
    cache.valid = true;
  }
  if (cache.corrupt) return Reported(false, Fail(ERROR_REGISTRY_CORRUPT, "%s", cache.error.c_str()));
  return read(static_cast<const HiveData&>(cache.data));
}

LONG NoKey(const RegKey& key);
LONG NoValue(const RegKey& key, const std::string& name);

// Makes the change in data; changed tells whether anything was changed.
LONG Apply(Hive hive, HiveData& data, const Change& change, bool& changed) {
  switch (change.kind) {
    case Change::MAKE_KEY:
      if (!KeyExists(data, change.path)) {
        EnsureKey(data, change.path);
        changed = true;
      }
      return ERROR_SUCCESS;
    case Change::SET_VALUE: {
      size_t keys = data.keys.size();
      Key& target = EnsureKey(data, change.path);
      changed |= data.keys.size() != keys;
      if (Value* old = FindValue(target, change.value.name)) {
        if (old->type == change.value.type && old->data == change.value.data) return ERROR_SUCCESS;
        old->type = change.value.type;
        old->data = change.value.data;
      } else {
        target.values.push_back(change.value);
      }
      changed = true;
      return ERROR_SUCCESS;
    }
    case Change::DELETE_VALUE: {
      const RegKey key{hive, change.path};
      Key* target = FindKey(data, change.path);
      if (!target) return KeyExists(data, change.path) ? NoValue(key, change.value.name) : NoKey(key);
      Value* value = FindValue(*target, change.value.name);
      if (!value) return NoValue(key, change.value.name);
      target->values.erase(target->values.begin() + (value - target->values.data()));
      changed = true;
      return ERROR_SUCCESS;
    }
  }
  return ERROR_SUCCESS;
}

// Makes the changes under the hive's write lock on a fresh reading of the
// file and writes the result when something changed. A batch's changes were
// checked against its own reading: a value that is gone from the file since
// is no failure of theirs.
LONG WriteHive(Hive hive, const Change* changes, size_t count, bool batch) {
  std::string file = HiveFile(hive);
  if (LONG result = MakeFolders(ConfigDir())) return Reported(true, result);
  // The file written: the hive's, or the one its links name.
  std::string target;
  if (LONG result = FollowLinks(file, target)) return Reported(true, result);
  const std::string dir = Folder(target);
  WriteLock lock;
  if (LONG result = lock.Take(target + ".lock")) return Reported(true, result);
  RemoveStaleTemporaries(dir, target);
  std::string text;
  if (LONG result = ReadWhole(target, text)) return Reported(true, result);
  HiveData data;
  std::string error;
  if (!Parse(text, file, data, error)) return Reported(true, Fail(ERROR_REGISTRY_CORRUPT, "%s", error.c_str()));
  bool changed = false;
  for (size_t i = 0; i < count; i++) {
    LONG result = Apply(hive, data, changes[i], changed);
    if (result != ERROR_SUCCESS && !(batch && result == ERROR_FILE_NOT_FOUND)) return result;
  }
  if (!changed) return ERROR_SUCCESS;
  std::string out = Serialize(hive, data);
  if (LONG result = ReplaceFile(dir, target, out)) return Reported(true, result);
  std::lock_guard<std::mutex> cacheLock(g_cacheMutex);
  Cache& cache = CacheOf(hive);
  cache.file = std::move(file);
  cache.text = std::move(out);
  cache.corrupt = false;
  cache.data = std::move(data);
  cache.valid = true;
  return ERROR_SUCCESS;
}

// Makes the change: in the open batch's reading, to be written at its end,
// or at once in the file.
LONG ModifyHive(Hive hive, const Change& change) {
  {
    std::lock_guard<std::mutex> lock(g_cacheMutex);
    if (Batch* batch = OpenBatch(hive)) {
      if (batch->failure) return BatchFailure(*batch, true);
      bool changed = false;
      LONG result = Apply(hive, batch->data, change, changed);
      if (result == ERROR_SUCCESS && changed) batch->changes.push_back(change);
      return result;
    }
  }
  return WriteHive(hive, &change, 1, false);
}

bool ValidHive(Hive hive) { return hive == HKEY_CURRENT_USER || hive == HKEY_LOCAL_MACHINE; }

// Public entries turn an exhausted heap into an error code.
template <class F>
LONG Guarded(F&& body) {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    return Fail(ERROR_NOT_ENOUGH_MEMORY, "out of memory in the registry store");
  }
}

LONG NoKey(const RegKey& key) {
  return Fail(ERROR_FILE_NOT_FOUND, "no key %s\\%s in %s", HiveName(key.hive), key.path.c_str(),
              HiveFile(key.hive).c_str());
}

LONG NoValue(const RegKey& key, const std::string& name) {
  return Fail(ERROR_FILE_NOT_FOUND, "no value \"%s\" in %s\\%s", name.c_str(), HiveName(key.hive), key.path.c_str());
}

}  // namespace

// ---------------------------------------------------------------- the API

LONG RegOpenKey(Hive hive, const char* path, bool create, HKEY* key) {
  if (!key) return Fail(ERROR_INVALID_PARAMETER, "RegOpenKey: no result pointer");
  *key = nullptr;
  if (!ValidHive(hive)) return Fail(ERROR_INVALID_PARAMETER, "RegOpenKey: unknown hive %d", (int)hive);
  return Guarded([&]() -> LONG {
    std::string normal;
    if (!NormalizePath(path ? path : "", normal))
      return Fail(ERROR_INVALID_PARAMETER, "RegOpenKey: control byte in key path");
    RegKey opened{hive, normal};
    bool exists = false;
    LONG result = ReadHive(hive, [&](const HiveData& data) {
      exists = KeyExists(data, normal);
      return ERROR_SUCCESS;
    });
    if (result != ERROR_SUCCESS) return result;
    if (!exists) {
      if (!create) return NoKey(opened);
      result = ModifyHive(hive, Change{Change::MAKE_KEY, normal, {}});
      if (result != ERROR_SUCCESS) return result;
    }
    *key = new RegKey(std::move(opened));
    return ERROR_SUCCESS;
  });
}

LONG RegQueryValue(HKEY key, const char* name, DWORD* type, BYTE* data, DWORD* size) {
  if (!key) return Fail(ERROR_INVALID_HANDLE, "RegQueryValue: null key");
  if (data && !size) return Fail(ERROR_INVALID_PARAMETER, "RegQueryValue: a buffer without a size");
  return Guarded([&]() -> LONG {
    std::string wanted = name ? name : "";
    return ReadHive(key->hive, [&](const HiveData& hive) -> LONG {
      const Key* found = FindKey(hive, key->path);
      if (!found) return KeyExists(hive, key->path) ? NoValue(*key, wanted) : NoKey(*key);
      const Value* value = FindValue(const_cast<Key&>(*found), wanted);
      if (!value) return NoValue(*key, wanted);
      const size_t length = value->data.size();
      const size_t need = length + (value->type == REG_SZ ? 1 : 0);
      if (need > 0xFFFFFFFFu) return Fail(ERROR_REGISTRY_IO, "value \"%s\" is too large", wanted.c_str());
      if (type) *type = value->type;
      if (!data) {
        if (size) *size = (DWORD)need;
        return ERROR_SUCCESS;
      }
      const size_t room = *size;
      const size_t copy = room < need ? room : need;
      memcpy(data, value->data.data(), copy < length ? copy : length);
      if (copy > length) data[length] = 0;  // the terminator of a REG_SZ
      *size = (DWORD)need;
      if (room < need)
        return Fail(ERROR_MORE_DATA, "value \"%s\" needs %zu bytes, the buffer holds %zu", wanted.c_str(), need, room);
      return ERROR_SUCCESS;
    });
  });
}

LONG RegSetValue(HKEY key, const char* name, DWORD type, const BYTE* data, DWORD size) {
  if (!key) return Fail(ERROR_INVALID_HANDLE, "RegSetValue: null key");
  if (!data && size) return Fail(ERROR_INVALID_PARAMETER, "RegSetValue: no data");
  return Guarded([&]() -> LONG {
    Value wanted{name ? name : "", type, {}};
    if (data) wanted.data.assign(reinterpret_cast<const char*>(data), size);
    // A string is kept without its terminator; it comes back with one.
    if (type == REG_SZ && !wanted.data.empty() && wanted.data.back() == '\0') wanted.data.pop_back();
    // A value that is stored already needs no write (nor a writable folder).
    bool stored = false;
    ReadHive(key->hive, [&](const HiveData& hive) {
      const Key* found = FindKey(hive, key->path);
      const Value* old = found ? FindValue(const_cast<Key&>(*found), wanted.name) : nullptr;
      stored = old && old->type == wanted.type && old->data == wanted.data;
      return ERROR_SUCCESS;
    });
    if (stored) return ERROR_SUCCESS;
    return ModifyHive(key->hive, Change{Change::SET_VALUE, key->path, std::move(wanted)});
  });
}

LONG RegDeleteValue(HKEY key, const char* name) {
  if (!key) return Fail(ERROR_INVALID_HANDLE, "RegDeleteValue: null key");
  return Guarded([&]() -> LONG {
    return ModifyHive(key->hive, Change{Change::DELETE_VALUE, key->path, Value{name ? name : "", REG_NONE, {}}});
  });
}

LONG RegCloseKey(HKEY key) {
  if (!key) return Fail(ERROR_INVALID_HANDLE, "RegCloseKey: null key");
  delete key;
  return ERROR_SUCCESS;
}

LONG RegBeginBatch(Hive hive) {
  if (!ValidHive(hive)) return Fail(ERROR_INVALID_PARAMETER, "RegBeginBatch: unknown hive %d", (int)hive);
  return Guarded([&]() -> LONG {
    std::lock_guard<std::mutex> lock(g_cacheMutex);
    Batch& batch = BatchOf(hive);
    if (batch.depth++) return batch.failure;
    const std::string file = HiveFile(hive);
    std::string text;
    batch.failure = ReadWhole(file, text);
    if (batch.failure == ERROR_SUCCESS && !Parse(text, file, batch.data, batch.error))
      batch.failure = ERROR_REGISTRY_CORRUPT;
    else if (batch.failure != ERROR_SUCCESS)
      batch.error = t_errorText;
    return batch.failure;
  });
}

LONG RegEndBatch(Hive hive) {
  if (!ValidHive(hive)) return Fail(ERROR_INVALID_PARAMETER, "RegEndBatch: unknown hive %d", (int)hive);
  return Guarded([&]() -> LONG {
    std::vector<Change> changes;
    {
      std::lock_guard<std::mutex> lock(g_cacheMutex);
      Batch& batch = BatchOf(hive);
      if (batch.depth == 0) return Fail(ERROR_INVALID_PARAMETER, "RegEndBatch: no batch is open");
      if (--batch.depth) return ERROR_SUCCESS;
      changes.swap(batch.changes);
      batch = Batch{};
    }
    return changes.empty() ? ERROR_SUCCESS : WriteHive(hive, changes.data(), changes.size(), true);
  });
}

const char* RegLastErrorText() { return t_errorText; }

void SetRegFailureSink(RegFailureSink sink, void* context) {
  std::lock_guard<std::mutex> lock(g_sinkMutex);
  g_sink = sink;
  g_sinkContext = context;
}

void RegHivePath(Hive hive, char* path, size_t size) {
  if (!path || size == 0) return;
  path[0] = '\0';
  if (!ValidHive(hive)) return;
  try {
    snprintf(path, size, "%s", HiveFile(hive).c_str());
  } catch (const std::bad_alloc&) {
  }
}

}  // namespace plat
