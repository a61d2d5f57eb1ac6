#pragma once
// File operations that count the program's writes and make the N-th one
// fail (a full disk, an I/O error) or "crash" there: from that operation on
// nothing more reaches the disk, as if the process had died, while the
// descriptors are still closed so that the files can be checked afterwards.
// A write is: creating a file, writing, truncating, syncing a file or a
// folder, renaming, removing, and closing a descriptor opened for writing. A failed close of
// a file the operation created and never synced loses what was written to
// it, as on a network file system that reports a failed write-back only
// there.
#include <errno.h>
#include <fcntl.h>

#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/file_ops.h"

class FaultFiles : public FileOps {
 public:
  enum class Mode { kCount, kFail, kCrash, kFailOn };

  // Installs itself for its lifetime.
  FaultFiles() { SetFiles(this); }
  ~FaultFiles() override { SetFiles(nullptr); }
  FaultFiles(const FaultFiles&) = delete;
  FaultFiles& operator=(const FaultFiles&) = delete;

  // Counts only; then Writes() is the operation's number of writes.
  void Count() { Arm(Mode::kCount, 0, 0); }
  // The `n`-th write (1-based) fails with `err`; the others go through.
  void FailAt(int n, int err) { Arm(Mode::kFail, n, err); }
  // The `n`-th write and every one after it are lost and fail with EIO.
  void CrashAt(int n) { Arm(Mode::kCrash, n, EIO); }
  // The first write whose name (as Name gives it) starts with `prefix`
  // fails with `err`; the others go through.
  void FailOn(const std::string& prefix, int err) {
    Arm(Mode::kFailOn, 0, err);
    prefix_ = prefix;
  }

  int Writes() const { return writes_; }
  // What the n-th write (1-based) of the last run was: "write data.db", ...
  std::string Name(int n) const {
    return n >= 1 && n <= int(names_.size()) ? names_[size_t(n - 1)] : std::string("?");
  }
  bool Hit() const { return hit_; }
  bool Crashed() const { return mode_ == Mode::kCrash && hit_; }

  int Open(const char* path, int flags, mode_t mode) override {
    if ((flags & O_CREAT) && Stop("create", path)) return -1;
    const int fd = FileOps::Open(path, flags, mode);
    if (fd >= 0 && (flags & O_ACCMODE) != O_RDONLY) writable_[fd] = path;
    if (fd >= 0 && (flags & O_CREAT)) unsynced_.insert(fd);
    return fd;
  }
  int Close(int fd) override {
    const auto it = writable_.find(fd);
    const std::string path = it == writable_.end() ? std::string() : it->second;
    if (it != writable_.end()) writable_.erase(it);
    if (!path.empty() && Stop("close", path)) {
      const int err = errno;
      if (unsynced_.count(fd) && mode_ == Mode::kFail) FileOps::Truncate(fd, 0);
      unsynced_.erase(fd);
      // The descriptor goes whatever happens, as the system's close does.
      FileOps::Close(fd);
      errno = err;
      return -1;
    }
    unsynced_.erase(fd);
    return FileOps::Close(fd);
  }
  ssize_t PWrite(int fd, const void* data, size_t size, off_t pos) override {
    if (Stop("write", PathOf(fd))) return -1;
    return FileOps::PWrite(fd, data, size, pos);
  }
  ssize_t PWriteV(int fd, const struct iovec* pieces, int count, off_t pos) override {
    if (Stop("write", PathOf(fd))) return -1;
    return FileOps::PWriteV(fd, pieces, count, pos);
  }
  int Truncate(int fd, off_t size) override {
    return Stop("truncate", PathOf(fd)) ? -1 : FileOps::Truncate(fd, size);
  }
  int Sync(int fd) override {
    if (Stop("sync", PathOf(fd))) return -1;
    unsynced_.erase(fd);
    return FileOps::Sync(fd);
  }
  int Rename(const char* from, const char* to) override {
    return Stop("rename", from) ? -1 : FileOps::Rename(from, to);
  }
  int Remove(const char* path) override {
    return Stop("remove", path) ? -1 : FileOps::Remove(path);
  }
  int SyncFolder(const char* folder) override {
    return Stop("sync folder", folder) ? -1 : FileOps::SyncFolder(folder);
  }

 private:
  void Arm(Mode mode, int n, int err) {
    mode_ = mode;
    at_ = n;
    err_ = err;
    writes_ = 0;
    hit_ = false;
    names_.clear();
  }
  std::string PathOf(int fd) const {
    const auto it = writable_.find(fd);
    return it == writable_.end() ? std::string("?") : it->second;
  }
  // Counts one write; true when it is to fail (errno set).
  bool Stop(const char* what, const std::string& path) {
    ++writes_;
    names_.push_back(std::string(what) + ' ' + path.substr(path.rfind('/') + 1));
    if (mode_ == Mode::kCount) return false;
    if (mode_ == Mode::kFailOn) {
      if (hit_ || names_.back().rfind(prefix_, 0) != 0) return false;
      hit_ = true;
      errno = err_;
      return true;
    }
    if (writes_ == at_ || (mode_ == Mode::kCrash && writes_ > at_)) {
      hit_ = true;
      errno = err_;
      return true;
    }
    return false;
  }

  Mode mode_ = Mode::kCount;
  int at_ = 0;
  int err_ = 0;
  std::string prefix_;
  int writes_ = 0;
  bool hit_ = false;
  std::map<int, std::string> writable_;  // descriptors open for writing
  std::set<int> unsynced_;  // created and never synced
  std::vector<std::string> names_;
};

// File operations that count the reads, can let another program write in
// the middle of a read, and can play a medium that refuses writing: every
// open for writing fails with the error given (EROFS for a write-protected
// disk, EACCES for a folder or file the user may not write), as it does for
// any user, root included.
class WatchedFiles : public FileOps {
 public:
  WatchedFiles() { SetFiles(this); }
  ~WatchedFiles() override { SetFiles(nullptr); }
  WatchedFiles(const WatchedFiles&) = delete;
  WatchedFiles& operator=(const WatchedFiles&) = delete;

  int Reads() const { return reads_; }
  void ResetReads() { reads_ = 0; }
  // The next read from `pos` of more than `split` bytes reads `split`
  // bytes, runs `hook`, then reads the rest.
  void SplitRead(off_t pos, size_t split, std::function<void()> hook) {
    splitPos_ = pos;
    split_ = split;
    hook_ = std::move(hook);
  }
  // Refuses opens for writing of the paths under `folder` (every path when
  // empty); 0 lets them through again.
  void RefuseWriting(int err, const std::string& folder = std::string()) {
    refuse_ = err;
    folder_ = folder;
  }
  // The opens for writing tried (of paths under the folder given).
  int OpensForWriting() const { return writeOpens_; }

  int Open(const char* path, int flags, mode_t mode) override {
    if (((flags & O_ACCMODE) != O_RDONLY || (flags & O_CREAT)) &&
        std::string(path).compare(0, folder_.size(), folder_) == 0) {
      ++writeOpens_;
      if (refuse_ != 0) {
        errno = refuse_;
        return -1;
      }
    }
    return FileOps::Open(path, flags, mode);
  }
  ssize_t PRead(int fd, void* data, size_t size, off_t pos) override {
    ++reads_;
    if (!hook_ || pos != splitPos_ || size <= split_) return FileOps::PRead(fd, data, size, pos);
    const ssize_t first = FileOps::PRead(fd, data, split_, pos);
    if (first < ssize_t(split_)) return first;
    const std::function<void()> hook = std::move(hook_);
    hook_ = nullptr;
    hook();
    const ssize_t rest =
        FileOps::PRead(fd, static_cast<char*>(data) + split_, size - split_, pos + off_t(split_));
    return rest < 0 ? first : first + rest;
  }

 private:
  int reads_ = 0;
  off_t splitPos_ = -1;
  size_t split_ = 0;
  std::function<void()> hook_;
  int refuse_ = 0;
  std::string folder_;
  int writeOpens_ = 0;
};
