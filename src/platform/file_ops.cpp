#include "platform/file_ops.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <vector>

int FileOps::Open(const char* path, int flags, mode_t mode) { return ::open(path, flags, mode); }

int FileOps::Close(int fd) { return ::close(fd); }

ssize_t FileOps::PRead(int fd, void* data, size_t size, off_t pos) {
  return ::pread(fd, data, size, pos);
}

ssize_t FileOps::PWrite(int fd, const void* data, size_t size, off_t pos) {
  return ::pwrite(fd, data, size, pos);
}

ssize_t FileOps::PWriteV(int fd, const struct iovec* pieces, int count, off_t pos) {
  return ::pwritev(fd, pieces, count, pos);
}

int FileOps::Truncate(int fd, off_t size) { return ::ftruncate(fd, size); }

int FileOps::Sync(int fd) { return ::fsync(fd); }

bool FileOps::Size(int fd, off_t* size) {
  struct stat st;
  if (::fstat(fd, &st) != 0) return false;
  if (!S_ISREG(st.st_mode)) {
    errno = S_ISDIR(st.st_mode) ? EISDIR : ENODEV;
    return false;
  }
  *size = st.st_size;
  return true;
}

int FileOps::MakeBlocking(int fd) {
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags < 0) return -1;
  return (flags & O_NONBLOCK) ? ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) : 0;
}

// The lock belongs to the open file description, so a second open in this
// same process conflicts too, and closing another descriptor does not drop
// it. A file system without such locks falls back to whole-file locks, and
// without those to none.
bool FileOps::Lock(int fd) {
  struct flock fl;
  std::memset(&fl, 0, sizeof fl);
  fl.l_type = F_WRLCK;
  fl.l_whence = SEEK_SET;
#ifdef F_OFD_SETLK
  if (fcntl(fd, F_OFD_SETLK, &fl) == 0) return true;
#else
  if (fcntl(fd, F_SETLK, &fl) == 0) return true;
#endif
  if (errno == EAGAIN || errno == EACCES) return false;
  if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return true;
  return errno != EWOULDBLOCK;
}

int FileOps::Rename(const char* from, const char* to) { return ::rename(from, to); }

int FileOps::Remove(const char* path) { return ::unlink(path); }

bool FileOps::Exists(const char* path) {
  struct stat st;
  return ::stat(path, &st) == 0;
}

int FileOps::Stat(const char* path, struct stat* st) { return ::stat(path, st); }

// A group we may not give the file (not one of ours) leaves the new file
// without group permissions: better no one of that group reads it than
// everyone of ours.
int FileOps::KeepAttributes(int fd, const struct stat& like) {
  struct stat now;
  if (::fstat(fd, &now) != 0) return -1;
  mode_t mode = like.st_mode & 0777;
  if (now.st_gid != like.st_gid && ::fchown(fd, uid_t(-1), like.st_gid) != 0) mode &= ~S_IRWXG;
  return ::fchmod(fd, mode);
}

int FileOps::SyncFolder(const char* folder) {
  const int fd = ::open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return -1;
  const int rc = ::fsync(fd);
  const int err = errno;
  ::close(fd);
  errno = err;
  return rc;
}

void FileOps::ListFolder(const char* folder, const std::function<void(const char* name)>& each) {
  DIR* dir = ::opendir(folder);
  if (!dir) return;
  while (const struct dirent* e = ::readdir(dir)) each(e->d_name);
  ::closedir(dir);
}

namespace {
FileOps g_real;
FileOps* g_ops = &g_real;
}  // namespace

FileOps& Files() { return *g_ops; }

void SetFiles(FileOps* ops) { g_ops = ops ? ops : &g_real; }

// Opening a FIFO for reading waits for a writer, and a terminal device
// for its carrier; non-blocking, the open returns at once and the type is
// known before anything waits.
int OpenRegularFile(const char* path, int flags) {
  FileOps& f = Files();
  const int fd = f.Open(path, flags | O_NONBLOCK | O_NOCTTY, 0);
  if (fd < 0) return -1;
  off_t size = 0;
  if (!f.Size(fd, &size) || f.MakeBlocking(fd) != 0) {
    const int err = errno;
    f.Close(fd);
    errno = err;
    return -1;
  }
  return fd;
}

namespace {
// Whether a write that returned `n` wrote anything; a write of nothing
// means the disk is full.
bool Wrote(ssize_t n) {
  if (n == 0) errno = ENOSPC;
  return n > 0;
}
}  // namespace

bool WriteAllAt(int fd, off_t pos, const char* data, size_t size) {
  while (size > 0) {
    const ssize_t n = Files().PWrite(fd, data, size, pos);
    if (!Wrote(n)) {
      if (errno == EINTR) continue;
      return false;
    }
    data += n;
    size -= size_t(n);
    pos += n;
  }
  return true;
}

bool WritePiecesAt(int fd, off_t pos, std::vector<struct iovec> pieces) {
  size_t first = 0;
  while (first < pieces.size()) {
    const int n = int(std::min<size_t>(pieces.size() - first, IOV_MAX));
    const ssize_t done = Files().PWriteV(fd, pieces.data() + first, n, pos);
    if (!Wrote(done)) {
      if (errno == EINTR) continue;
      return false;
    }
    pos += done;
    size_t left = size_t(done);
    while (first < pieces.size() && left >= pieces[first].iov_len) left -= pieces[first++].iov_len;
    if (left > 0) {
      pieces[first].iov_base = static_cast<char*>(pieces[first].iov_base) + left;
      pieces[first].iov_len -= left;
    }
  }
  return true;
}

ssize_t ReadAllAt(int fd, off_t pos, char* out, size_t size) {
  size_t done = 0;
  while (done < size) {
    const ssize_t n = Files().PRead(fd, out + done, size - done, pos + off_t(done));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return -1;
    if (n == 0) break;
    done += size_t(n);
  }
  return ssize_t(done);
}

bool ReadWholeFile(const std::string& path, std::string* out) {
  FileOps& f = Files();
  const int fd = OpenRegularFile(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  off_t size = 0;
  bool ok = f.Size(fd, &size);
  if (ok) out->resize(size_t(size));
  const ssize_t done = ok ? ReadAllAt(fd, 0, out->data(), out->size()) : 0;
  if (done < 0) ok = false;
  // A file that shrank under us is read as far as it goes.
  out->resize(done < 0 ? 0 : size_t(done));
  const int err = errno;
  f.Close(fd);
  errno = err;
  return ok;
}

namespace {

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? std::string("/") : path.substr(0, slash);
}

// Six characters nobody can foresee, so that no one can plant a link or a
// file at the name beforehand.
std::string RandomSuffix() {
  static const char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  unsigned char bytes[6];
  if (getrandom(bytes, sizeof bytes, GRND_NONBLOCK) != ssize_t(sizeof bytes)) {
    // Hardly ever: no entropy yet at boot. Exclusive creation still holds.
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    static unsigned counter = 0;
    unsigned long long v = (unsigned long long)ts.tv_nsec * 2654435761u ^ unsigned(getpid()) ^
                           (++counter * 40503u);
    for (unsigned char& b : bytes) {
      b = (unsigned char)v;
      v = (v >> 8) | (v << 56);
    }
  }
  std::string s;
  for (unsigned char b : bytes) s += kAlphabet[b % 62];
  return s;
}

bool IsAlnum(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

// `name` is `stem` alone or `stem` and CreateBeside's six characters.
bool IsLeftoverName(const std::string& name, const std::string& stem) {
  if (name.compare(0, stem.size(), stem) != 0) return false;
  if (name.size() == stem.size()) return true;
  if (name.size() != stem.size() + 6) return false;
  for (size_t i = stem.size(); i < name.size(); ++i)
    if (!IsAlnum(name[i])) return false;
  return true;
}

bool IsReadOnly(const std::string& path, const struct stat& st) {
  if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) return true;
  return ::access(path.c_str(), W_OK) != 0 && (errno == EACCES || errno == EROFS);
}

}  // namespace

const char kReplacementTag[] = ".~tmp";

bool RemoveIfPresent(const std::string& path) {
  return !Files().Exists(path.c_str()) || Files().Remove(path.c_str()) == 0;
}

namespace {
// `base` + `tag` + six random characters, made exclusively (never an
// existing file, never through a link); another name is drawn when one is
// taken.
int OpenExclusively(const std::string& base, const char* tag, mode_t mode, std::string* name) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string candidate = base + tag + RandomSuffix();
    const int fd = Files().Open(candidate.c_str(),
                                O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
    if (fd < 0 && errno == EEXIST) continue;
    if (fd < 0) return -1;
    *name = candidate;
    return fd;
  }
  errno = EEXIST;
  return -1;
}
}  // namespace

int CreateBeside(const std::string& path, const char* tag, mode_t mode, std::string* name) {
  const int fd = OpenExclusively(path, tag, mode, name);
  if (fd >= 0) Files().Lock(fd);  // a fresh file nobody else has open: cannot be refused
  return fd;
}

int CreateFileBeside(const std::string& path, const char* infix, std::string* created) {
  const size_t slash = path.rfind('/');
  const size_t start = slash == std::string::npos ? 0 : slash + 1;
  return OpenExclusively(path.substr(0, start) + "." + path.substr(start), infix, 0666, created);
}

void RemoveLeftovers(const std::string& path, const char* tag) { RemoveLeftovers(path, {tag}); }

void RemoveLeftovers(const std::string& path, std::initializer_list<const char*> tags) {
  const size_t slash = path.rfind('/');
  const std::string name = path.substr(slash == std::string::npos ? 0 : slash + 1);
  std::vector<std::string> stems;
  for (const char* tag : tags) stems.push_back(name + tag);
  RemoveLeftoversWhere(path, [&](const std::string& entry) {
    for (const std::string& stem : stems)
      if (IsLeftoverName(entry, stem)) return true;
    return false;
  });
}

void RemoveLeftoversWhere(const std::string& path,
                          const std::function<bool(const std::string& name)>& isLeftover) {
  const std::string folder = FolderOf(path);
  std::vector<std::string> names;
  std::string entry;
  Files().ListFolder(folder.c_str(), [&](const char* name) {
    entry = name;
    if (isLeftover(entry)) names.push_back(entry);
  });
  for (const std::string& n : names) RemoveIfLeftover(folder + '/' + n);
}

bool RemoveIfLeftover(const std::string& path) {
  // Never a link, a folder or a device, nor another user's file; and not a
  // file a live writer still holds by either kind of lock (a whole-file
  // lock marks a part file being filled, a record lock a replacement).
  struct stat st;
  if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid())
    return false;
  const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat now;
  const bool stale = ::fstat(fd, &now) == 0 && now.st_dev == st.st_dev &&
                     now.st_ino == st.st_ino && ::flock(fd, LOCK_EX | LOCK_NB) == 0 &&
                     !WriteLockedElsewhere(fd);
  const bool removed = stale && Files().Remove(path.c_str()) == 0;
  ::close(fd);
  return removed;
}

int SyncFolderOf(const std::string& path) { return Files().SyncFolder(FolderOf(path).c_str()); }

bool IsSameFile(const std::string& a, const std::string& b) {
  struct stat sa, sb;
  return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
         sa.st_ino == sb.st_ino;
}

bool WriteLockedElsewhere(int fd) {
  struct flock fl;
  std::memset(&fl, 0, sizeof fl);
  fl.l_type = F_WRLCK;
  fl.l_whence = SEEK_SET;
#ifdef F_OFD_GETLK
  const int rc = fcntl(fd, F_OFD_GETLK, &fl);
#else
  const int rc = fcntl(fd, F_GETLK, &fl);
#endif
  return rc == 0 && fl.l_type != F_UNLCK;
}

bool HeldByAnotherWriter(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool held = WriteLockedElsewhere(fd);
  ::close(fd);
  return held;
}

bool IsReadOnlyFile(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && IsReadOnly(path, st);
}

int ReplaceFileContents(const std::string& path, const char* data, size_t size, bool durable,
                        int* stage) {
  FileOps& f = Files();
  if (stage) *stage = 0;
  // What a killed run of this same writer left beside the file.
  RemoveLeftovers(path, kReplacementTag);
  struct stat old;
  const bool replacing = f.Stat(path.c_str(), &old) == 0 && S_ISREG(old.st_mode);
  // The old file's lock, held until the new file has its name: no writer
  // opens the old one in between and goes on writing into a deleted file.
  int oldFd = -1;
  if (replacing) {
    if (IsReadOnly(path, old)) return EACCES;
    oldFd = f.Open(path.c_str(), O_RDWR | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0);
    if (oldFd < 0) return errno;
    if (!f.Lock(oldFd)) {
      f.Close(oldFd);
      return EBUSY;
    }
  }
  auto release = [&] {
    if (oldFd >= 0) f.Close(oldFd);
  };
  // Private while it is written; it takes the old file's mode at the end.
  std::string tmp;
  const int fd = CreateBeside(path, kReplacementTag, replacing ? 0600 : 0666, &tmp);
  if (fd < 0) {
    const int err = errno;
    release();
    return err;
  }
  if (stage) *stage = 1;
  int err = WriteAllAt(fd, 0, data, size) ? 0 : errno;
  if (err == 0 && replacing && f.KeepAttributes(fd, old) != 0) err = errno;
  if (err == 0 && durable && f.Sync(fd) != 0) err = errno;
  // A failed close may mean the data never reached the file (network file
  // systems report late): the old file then stays.
  if (f.Close(fd) != 0 && err == 0) err = errno;
  if (err == 0 && f.Rename(tmp.c_str(), path.c_str()) != 0) err = errno;
  if (err != 0) f.Remove(tmp.c_str());
  release();
  // The new file is in place either way; a folder that cannot be synced
  // (some file systems refuse) does not undo that.
  if (err == 0 && durable) SyncFolderOf(path);
  return err;
}
