// File handles of the host on POSIX descriptors (built with 64-bit offsets).
#include <errno.h>
#include <sys/stat.h>
#include <unistd.h>

#include "plat/platform.h"

namespace plat {

namespace {
// Largest single transfer: stays well inside ssize_t on 32-bit builds.
constexpr size_t kChunk = 1u << 30;

bool Failed(int code) {
  SetLastError((DWORD)code);
  return false;
}
}  // namespace

bool SetFilePointer(FileHandle file, int64_t distance, SeekFrom from, int64_t* position) {
  int whence;
  switch (from) {
    case FILE_BEGIN: whence = SEEK_SET; break;
    case FILE_CURRENT: whence = SEEK_CUR; break;
    case FILE_END: whence = SEEK_END; break;
    default: return Failed(EINVAL);
  }
  static_assert(sizeof(off_t) == 8, "build with _FILE_OFFSET_BITS=64");
  off_t result = lseek(file, (off_t)distance, whence);
  if (result == (off_t)-1) return Failed(errno);
  if (position) *position = (int64_t)result;
  return true;
}

bool SetEndOfFile(FileHandle file) {
  off_t here = lseek(file, 0, SEEK_CUR);
  if (here == (off_t)-1) return Failed(errno);
  while (ftruncate(file, here) != 0) {
    if (errno != EINTR) return Failed(errno);
  }
  return true;
}

bool GetFileSize(FileHandle file, int64_t* size) {
  if (!size) return Failed(EINVAL);
  struct stat st;
  if (fstat(file, &st) != 0) return Failed(errno);
  *size = (int64_t)st.st_size;
  return true;
}

bool ReadFile(FileHandle file, void* buffer, DWORD count, DWORD* done) {
  if (done) *done = 0;
  if (!buffer && count) return Failed(EINVAL);
  auto* p = static_cast<char*>(buffer);
  size_t total = 0;
  while (total < count) {
    size_t want = count - total < kChunk ? count - total : kChunk;
    ssize_t n = read(file, p + total, want);
    if (n < 0) {
      if (errno == EINTR) continue;
      int code = errno;
      if (done) *done = (DWORD)total;
      return Failed(code);
    }
    if (n == 0) break;  // end of file
    total += (size_t)n;
  }
  if (done) *done = (DWORD)total;
  return true;
}

bool WriteFile(FileHandle file, const void* buffer, DWORD count, DWORD* done) {
  if (done) *done = 0;
  if (!buffer && count) return Failed(EINVAL);
  auto* p = static_cast<const char*>(buffer);
  size_t total = 0;
  while (total < count) {
    size_t want = count - total < kChunk ? count - total : kChunk;
    ssize_t n = write(file, p + total, want);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      int code = n < 0 ? errno : ENOSPC;  // a write of nothing would loop forever
      if (done) *done = (DWORD)total;
      return Failed(code);
    }
    total += (size_t)n;
  }
  if (done) *done = (DWORD)total;
  return true;
}

}  // namespace plat
