// The host's side of the name file: it opens the file, hands it to the name
// table to load, and saves the table through a temporary file renamed over
// the old one. The lines are the table's own: the host reads and writes the
// file only through the table's services.
//
// Savers of one file take turns under an exclusive flock on the file itself
// (taken again when another saver renamed a new file into place meanwhile).
// Under the lock a saver compares the file with what it loaded; where another
// program saved since, the table merges the two name by name (its
// MergeNameFile): a mapping the other program added, changed or removed, and
// this one left as it was loaded, comes into this table; where both changed
// one mapping, this program's is kept and the caller is told.
#include <dirent.h>
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <string.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "qvhost/file_steps.h"
#include "qvhost/host.h"

namespace qvhost {

FileSteps g_nameFileSteps = {fsync, rename};

namespace {

bool ReadAll(int fd, std::string* text) {
  text->clear();
  char buffer[65536];
  for (off_t at = 0;;) {
    ssize_t n = pread(fd, buffer, sizeof buffer, at);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) return true;
    text->append(buffer, (size_t)n);
    at += n;
  }
}

std::string Folder(const std::string& path) {
  size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

std::string BaseName(const std::string& path) {
  size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The file a path names once every symbolic link is followed (it may not
// exist yet). Saving replaces that file, so the links stay links.
bool FollowLinks(const std::string& path, std::string* target) {
  std::string p = path;
  for (int hops = 0; hops < 40; hops++) {
    struct stat st;
    if (lstat(p.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
      *target = p;
      return true;
    }
    char link[PATH_MAX];
    ssize_t n = readlink(p.c_str(), link, sizeof link - 1);
    if (n <= 0) return false;
    link[n] = 0;
    p = link[0] == '/' ? std::string(link) : Folder(p) + "/" + link;
  }
  errno = ELOOP;
  return false;
}

std::string NotRegular(const std::string& path) {
  return path + ": not a regular file; the name table is neither loaded from it nor saved to it";
}

// An exclusive flock on the file at path, the file made (empty) when there is
// none, so that even the first savers take turns.
class FileLock {
 public:
  explicit FileLock(const std::string& path) : path_(path) {}
  ~FileLock() {
    if (fd_ >= 0) close(fd_);  // releases the lock
  }
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

  // 0, or an errno value; ENODEV when something other than a regular file
  // is there.
  int Take() {
    const int flags = O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
    for (;;) {
      struct stat st;
      if (stat(path_.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) return ENODEV;
      created_ = false;
      fd_ = open(path_.c_str(), O_RDWR | flags);
      writable_ = fd_ >= 0;
      if (fd_ < 0 && (errno == EACCES || errno == EROFS)) fd_ = open(path_.c_str(), O_RDONLY | flags);
      if (fd_ < 0 && errno == ENOENT) {
        fd_ = open(path_.c_str(), O_RDWR | O_CREAT | O_EXCL | flags, 0666);
        if (fd_ < 0 && errno == EEXIST) continue;
        created_ = writable_ = fd_ >= 0;
      }
      if (fd_ < 0) return errno;
      int code = 0;
      if (fstat(fd_, &stat_) != 0)
        code = errno;
      else if (!S_ISREG(stat_.st_mode))
        code = ENODEV;
      while (code == 0 && flock(fd_, LOCK_EX) != 0)
        if (errno != EINTR) code = errno;
      if (code) {
        Drop();
        return code;
      }
      struct stat now;
      if (stat(path_.c_str(), &now) == 0 && now.st_dev == stat_.st_dev && now.st_ino == stat_.st_ino &&
          fstat(fd_, &stat_) == 0)
        return 0;
      close(fd_);  // another saver put a new file in place while we waited
      fd_ = -1;
    }
  }

  // A file that Take made goes again when nothing was saved into its place.
  void Drop() {
    if (created_) {
      struct stat now;
      if (stat(path_.c_str(), &now) == 0 && now.st_dev == stat_.st_dev && now.st_ino == stat_.st_ino &&
          now.st_size == 0)
        unlink(path_.c_str());
      created_ = false;
    }
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
  }

  int fd() const { return fd_; }
  bool created() const { return created_; }
  // False when the file is read-only: to us, or, by its mode, to everyone.
  bool writable() const { return writable_ && (stat_.st_mode & 0222); }
  const struct stat& fileStat() const { return stat_; }

 private:
  std::string path_;
  int fd_ = -1;
  bool created_ = false;
  bool writable_ = false;
  struct stat stat_ = {};
};

const char kTempMark[] = ".tmp-";

// Temporary files of savers that died before their rename. Only called under
// the file's lock, so none of them belongs to a saver still at work (a saver
// holds it from before it makes its temporary until after the rename).
void RemoveStaleTemporaries(const std::string& folder, const std::string& base) {
  DIR* dir = opendir(folder.c_str());
  if (!dir) return;
  const std::string prefix = base + kTempMark;
  while (dirent* d = readdir(dir)) {
    const char* name = d->d_name;
    if (strncmp(name, prefix.c_str(), prefix.size()) != 0) continue;
    const char* rest = name + prefix.size();
    if (strlen(rest) != 6 || strspn(rest, "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789") != 6)
      continue;
    unlinkat(dirfd(dir), name, 0);
  }
  closedir(dir);
}

// At the load, the temporaries a killed save left beside the file (each as
// large as the file) go, when no saver holds the file's lock: fd is the file
// opened from path, st its status.
void RemoveStaleTemporariesAtLoad(const std::string& path, int fd, const struct stat& st) {
  std::string target;
  struct stat now;
  if (!FollowLinks(path, &target) || flock(fd, LOCK_EX | LOCK_NB) != 0) return;
  // A saver that renamed a new file into place holds the lock of that one.
  if (stat(target.c_str(), &now) == 0 && now.st_dev == st.st_dev && now.st_ino == st.st_ino)
    RemoveStaleTemporaries(Folder(target), BaseName(target));
  flock(fd, LOCK_UN);
}

// The merge of the library that fills the table's name file slots (another
// library's would merge into a table of its own), or null.
MergeNameFileProc NameMerge(const MonitorTable& table, const std::vector<LoadedLibrary>& libraries) {
  Dl_info owner, merge;
  if (!dladdr(reinterpret_cast<void*>(table.LoadNameFile), &owner)) return nullptr;
  for (const LoadedLibrary& lib : libraries) {
    void* entry = dlsym(lib.handle, MERGE_NAME_FILE_EXPORT);
    if (entry && dladdr(entry, &merge) && merge.dli_fbase == owner.dli_fbase)
      return reinterpret_cast<MergeNameFileProc>(entry);
  }
  return nullptr;
}

// Called from inside the library: nothing may be thrown back through it (a
// name that finds no memory goes unnamed in the notice).
void QV_CALL KeepName(void* context, const char* name) {
  try {
    static_cast<std::vector<std::string>*>(context)->push_back(name);
  } catch (...) {
  }
}

}  // namespace

// ---------------------------------------------------------------- load

bool Host::LoadNames(const std::string& path, std::string* error) {
  namesLoadFailed_ = false;
  namesBase_.clear();
  if (!HasNameTable()) return true;  // no plug-in keeps the names
  int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT) return true;
    if (error) *error = path + ": " + strerror(errno);
    namesLoadFailed_ = true;
    return false;
  }
  struct stat st;
  std::string why;
  if (fstat(fd, &st) != 0)
    why = path + ": " + strerror(errno);
  else if (!S_ISREG(st.st_mode))
    why = NotRegular(path);
  if (why.empty()) {
    RemoveStaleTemporariesAtLoad(path, fd, st);
    if (!ReadAll(fd, &namesBase_))
      why = path + ": " + strerror(errno);
    else if (!table_.LoadNameFile(fd))
      why = path + ": the name file could not be read completely; it will not be overwritten";
  }
  close(fd);
  if (why.empty()) return true;
  // Saving would drop what was not loaded. Only what changes from now on
  // counts as a change of the table.
  namesLoadFailed_ = true;
  __atomic_fetch_and(&table_.flags, ~MT_NAMES_CHANGED, __ATOMIC_SEQ_CST);
  if (error) *error = why;
  return false;
}

// ---------------------------------------------------------------- save

bool Host::SaveNamesIfChanged(const std::string& path, std::string* error) {
  if (!(__atomic_load_n(&table_.flags, __ATOMIC_SEQ_CST) & MT_NAMES_CHANGED)) return true;
  if (namesLoadFailed_) {
    if (error) *error = path + ": not saved, since it could not be loaded completely";
    return false;
  }
  std::string message;
  bool ok = SaveNames(path, &message);
  if (!ok)  // the file still differs from the table
    __atomic_fetch_or(&table_.flags, MT_NAMES_CHANGED, __ATOMIC_SEQ_CST);
  if (error) *error = message;
  return ok;
}

bool Host::SaveNames(const std::string& path, std::string* message) {
  auto fail = [&](const std::string& why, int code) {
    *message = path + ": not saved: " + why + (why.empty() ? "" : ": ") + strerror(code);
    return false;
  };
  std::string target;
  if (!FollowLinks(path, &target)) return fail("", errno);
  FileLock lock(target);
  if (int code = lock.Take()) {
    if (code != ENODEV) return fail("", code);
    *message = NotRegular(path);
    return false;
  }
  // A file made read-only is meant to stay as it is: the rename would
  // replace it all the same.
  if (!lock.writable()) {
    lock.Drop();
    *message = path + ": not saved: the file is read-only, and is left as it is";
    return false;
  }
  const std::string folder = Folder(target), base = BaseName(target);
  RemoveStaleTemporaries(folder, base);
  std::string theirs;
  if (!ReadAll(lock.fd(), &theirs)) {
    int code = errno;
    lock.Drop();
    return fail("", code);
  }

  std::string temp = folder + "/" + base + kTempMark + "XXXXXX";
  int fd = mkostemp(&temp[0], O_CLOEXEC);
  if (fd < 0) {
    int code = errno;
    lock.Drop();
    return fail("cannot make a temporary file in " + folder, code);
  }
  // The new file takes the old one's place with its mode, and its owner
  // where we may give it (else it becomes ours).
  const struct stat& st = lock.fileStat();
  if (geteuid() != st.st_uid || getegid() != st.st_gid) (void)!fchown(fd, st.st_uid, st.st_gid);
  int code = fchmod(fd, st.st_mode & 07777) == 0 ? 0 : errno;
  bool saved = code == 0 && table_.SaveNameFile(fd) != 0;
  std::string written;
  if (saved && !lock.created() && theirs != namesBase_) {  // another program saved since our load
    if (!ReadAll(fd, &written)) {
      code = errno;
      saved = false;
    } else {
      MergeNameFileProc merge = NameMerge(table_, libraries_);
      std::vector<std::string> kept;
      DWORD r = merge ? merge(namesBase_.data(), namesBase_.size(), theirs.data(), theirs.size(), written.data(),
                              written.size(), KeepName, &kept)
                      : NAME_MERGE_FAILED;
      if (r == NAME_MERGE_UNREADABLE) {
        *message = path + ": not saved: another program changed it since it was loaded, and it now holds lines "
                          "that cannot be read";
        saved = false;
      } else if (r != NAME_MERGE_NOTHING) {
        saved = r == NAME_MERGE_TAKEN && table_.SaveNameFile(fd) != 0;
        if (!saved) *message = path + ": not saved: the mappings another program saved could not be merged";
      }
      if (saved && !kept.empty()) {
        std::string names;
        for (const std::string& n : kept) names += (names.empty() ? "" : ", ") + n;
        *message = path + ": another program changed mappings that were changed here too; kept as changed here: " +
                   names;
      }
    }
  }
  if (saved && !ReadAll(fd, &written)) code = errno, saved = false;
  if (saved && g_nameFileSteps.sync(fd) != 0) code = errno, saved = false;
  if (close(fd) != 0 && saved) code = errno, saved = false;
  if (saved && g_nameFileSteps.rename(temp.c_str(), target.c_str()) != 0) code = errno, saved = false;
  if (!saved) {
    unlink(temp.c_str());
    lock.Drop();
    if (code) return fail("", code);
    if (message->empty()) *message = path + ": not saved: the name table could not be written";
    return false;
  }
  int dir = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    g_nameFileSteps.sync(dir);  // the rename is done; a failed folder flush only weakens durability
    close(dir);
  }
  namesBase_ = std::move(written);
  return true;
}

}  // namespace qvhost
