#pragma once
// File operations on files kept in memory, for the fuzz targets: the table
// and index engine, the workbook and the settings run through their real
// code paths without touching the disk.
//
// Each open file's descriptor is a real one, a duplicate of one empty
// in-memory file: no number can be taken for another file of the process,
// and code that asks the system about a descriptor (the times by which a
// table tells whether its file changed) gets the same answer each time, as
// for a file nobody else writes.
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <string.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "platform/file_ops.h"

class MemoryFiles : public FileOps {
 public:
  // Installs itself for its lifetime.
  MemoryFiles() : base_(memfd_create("klt3-fuzz", MFD_CLOEXEC)) { SetFiles(this); }
  ~MemoryFiles() override {
    SetFiles(nullptr);
    Clear();
    ::close(base_);
  }
  MemoryFiles(const MemoryFiles&) = delete;
  MemoryFiles& operator=(const MemoryFiles&) = delete;

  std::map<std::string, std::string> files;

  // Forgets every file. Their buffers are kept for the next input's files,
  // so that an input's file does not cost fresh memory of its size again.
  void Clear() {
    for (auto& entry : files) Keep(std::move(entry.second));
    files.clear();
    for (const auto& entry : open_) ::close(entry.first);
    open_.clear();
  }

  // Puts a file of `size` bytes at `path` (in a kept buffer when one is
  // there) and gives its contents.
  std::string& Put(const std::string& path, const char* data, size_t size) {
    auto it = files.find(path);
    if (it == files.end()) it = files.emplace(path, Spare()).first;
    it->second.assign(data, size);
    return it->second;
  }

  int Open(const char* path, int flags, mode_t) override {
    auto it = files.find(path);
    if (it == files.end()) {
      if (!(flags & O_CREAT)) return Fail(ENOENT);
      it = files.emplace(path, Spare()).first;
    } else if ((flags & O_CREAT) && (flags & O_EXCL)) {
      return Fail(EEXIST);
    } else if (flags & O_TRUNC) {
      it->second.clear();
    }
    const int fd = ::fcntl(base_, F_DUPFD_CLOEXEC, 0);
    if (fd < 0) return -1;
    open_[fd] = path;
    return fd;
  }
  int Close(int fd) override {
    if (!open_.erase(fd)) return Fail(EBADF);
    ::close(fd);
    return 0;
  }
  ssize_t PRead(int fd, void* data, size_t size, off_t pos) override {
    std::string* f = File(fd);
    if (!f || pos < 0) return Fail(EBADF);
    if (size_t(pos) >= f->size()) return 0;
    const size_t n = std::min(size, f->size() - size_t(pos));
    memcpy(data, f->data() + pos, n);
    return ssize_t(n);
  }
  ssize_t PWrite(int fd, const void* data, size_t size, off_t pos) override {
    std::string* f = File(fd);
    if (!f || pos < 0) return Fail(EBADF);
    // Over what is there, then appended: no filling of bytes about to be
    // written.
    const size_t at = size_t(pos);
    if (f->size() < at) f->resize(at);
    const size_t over = std::min(size, f->size() - at);
    memcpy(&(*f)[at], data, over);
    f->append(static_cast<const char*>(data) + over, size - over);
    return ssize_t(size);
  }
  ssize_t PWriteV(int fd, const struct iovec* pieces, int count, off_t pos) override {
    ssize_t done = 0;
    for (int i = 0; i < count; ++i) {
      const ssize_t n = PWrite(fd, pieces[i].iov_base, pieces[i].iov_len, off_t(pos + done));
      if (n < 0) return n;
      done += n;
    }
    return done;
  }
  int Truncate(int fd, off_t size) override {
    std::string* f = File(fd);
    if (!f || size < 0) return Fail(EBADF);
    f->resize(size_t(size));
    return 0;
  }
  int Sync(int fd) override { return File(fd) ? 0 : Fail(EBADF); }
  bool Size(int fd, off_t* size) override {
    std::string* f = File(fd);
    if (!f) return Fail(EBADF) == 0;
    *size = off_t(f->size());
    return true;
  }
  int MakeBlocking(int fd) override { return File(fd) ? 0 : Fail(EBADF); }
  bool Lock(int) override { return true; }
  int Rename(const char* from, const char* to) override {
    auto it = files.find(from);
    if (it == files.end()) return Fail(ENOENT);
    std::string data = std::move(it->second);
    files.erase(it);
    const auto target = files.find(to);
    if (target == files.end()) {
      files.emplace(to, std::move(data));
    } else {
      Keep(std::move(target->second));
      target->second = std::move(data);
    }
    // Descriptors follow their file, as on a real file system.
    for (auto& [fd, path] : open_)
      if (path == from) path = to;
    return 0;
  }
  int Remove(const char* path) override {
    const auto it = files.find(path);
    if (it == files.end()) return Fail(ENOENT);
    Keep(std::move(it->second));
    files.erase(it);
    return 0;
  }
  bool Exists(const char* path) override { return files.count(path) > 0; }
  int Stat(const char* path, struct stat* st) override {
    const auto it = files.find(path);
    if (it == files.end()) return Fail(ENOENT);
    memset(st, 0, sizeof *st);
    st->st_mode = S_IFREG | 0644;
    st->st_size = off_t(it->second.size());
    return 0;
  }
  int KeepAttributes(int, const struct stat&) override { return 0; }
  int SyncFolder(const char*) override { return 0; }
  void ListFolder(const char* folder, const std::function<void(const char*)>& each) override {
    const std::string prefix = std::string(folder) + '/';
    for (auto it = files.lower_bound(prefix);
         it != files.end() && it->first.compare(0, prefix.size(), prefix) == 0; ++it)
      if (it->first.find('/', prefix.size()) == std::string::npos)
        each(it->first.c_str() + prefix.size());
  }

 private:
  static int Fail(int err) {
    errno = err;
    return -1;
  }
  void Keep(std::string&& buffer) {
    if (spare_.size() >= 8) return;
    buffer.clear();
    spare_.push_back(std::move(buffer));
  }
  std::string Spare() {
    if (spare_.empty()) return std::string();
    std::string buffer = std::move(spare_.back());
    spare_.pop_back();
    return buffer;
  }
  std::string* File(int fd) {
    const auto it = open_.find(fd);
    if (it == open_.end()) return nullptr;
    const auto f = files.find(it->second);
    return f == files.end() ? nullptr : &f->second;
  }

  const int base_;
  std::map<int, std::string> open_;
  std::vector<std::string> spare_;
};
