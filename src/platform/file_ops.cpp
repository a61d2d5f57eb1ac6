#include "platform/file_ops.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

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

bool ReadWholeFile(const std::string& path, std::string* out) {
  FileOps& f = Files();
  const int fd = OpenRegularFile(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  off_t size = 0;
  bool ok = f.Size(fd, &size);
  if (ok) out->resize(size_t(size));
  size_t done = 0;
  while (ok && done < out->size()) {
    const ssize_t n = f.PRead(fd, &(*out)[done], out->size() - done, off_t(done));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) ok = false;
    if (n <= 0) break;
    done += size_t(n);
  }
  out->resize(done);  // a file that shrank under us is read as far as it goes
  const int err = errno;
  f.Close(fd);
  errno = err;
  return ok;
}

std::string ReplacementPathOf(const std::string& path) { return path + ".~tmp"; }

bool RemoveIfPresent(const std::string& path) {
  return !Files().Exists(path.c_str()) || Files().Remove(path.c_str()) == 0;
}

int ReplaceFileContents(const std::string& path, const char* data, size_t size, bool durable,
                        int* stage) {
  FileOps& f = Files();
  const std::string tmp = ReplacementPathOf(path);
  if (stage) *stage = 0;
  const int fd = f.Open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) return errno;
  if (stage) *stage = 1;
  int err = 0;
  size_t pos = 0;
  while (pos < size) {
    const ssize_t n = f.PWrite(fd, data + pos, size - pos, off_t(pos));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      err = n < 0 ? errno : ENOSPC;
      break;
    }
    pos += size_t(n);
  }
  if (err == 0 && durable && f.Sync(fd) != 0) err = errno;
  // A failed close may mean the data never reached the file (network file
  // systems report late): the old file then stays.
  if (f.Close(fd) != 0 && err == 0) err = errno;
  if (err == 0 && f.Rename(tmp.c_str(), path.c_str()) != 0) err = errno;
  if (err != 0) f.Remove(tmp.c_str());
  return err;
}
