#pragma once
// The file operations the program's savers use: the table and index engine,
// the settings store, the workbook and the report. Production is the real
// system calls; a test or a fuzz target installs its own (one that fails or
// stops at a chosen operation, or one that keeps the files in memory).
// Each call returns what the system call would and sets errno the same way.
// No Qt here: the workbook's storage layer includes it beside glib.
#include <sys/types.h>
#include <sys/uio.h>

#include <string>

class FileOps {
 public:
  virtual ~FileOps() = default;

  virtual int Open(const char* path, int flags, mode_t mode);
  virtual int Close(int fd);
  virtual ssize_t PRead(int fd, void* data, size_t size, off_t pos);
  virtual ssize_t PWrite(int fd, const void* data, size_t size, off_t pos);
  virtual ssize_t PWriteV(int fd, const struct iovec* pieces, int count, off_t pos);
  virtual int Truncate(int fd, off_t size);
  virtual int Sync(int fd);
  // The size of an open file; false (errno set) when it is no regular file.
  virtual bool Size(int fd, off_t* size);
  // Clears O_NONBLOCK of an open descriptor.
  virtual int MakeBlocking(int fd);
  // Takes the write lock without waiting; false only when another writer
  // holds it.
  virtual bool Lock(int fd);
  virtual int Rename(const char* from, const char* to);
  virtual int Remove(const char* path);
  virtual bool Exists(const char* path);
};

// The operations in force (the real ones unless a test installed others).
FileOps& Files();
// Installs `ops` (not owned); nullptr puts the real ones back.
void SetFiles(FileOps* ops);

// Paths are in the file system's encoding (QFile::encodeName).

// Opens an existing file (`flags` as for open(2), without O_CREAT) without
// waiting on it: a folder, a FIFO or a device in its place is refused at
// once (-1, errno EISDIR or ENODEV, which FileErrorText explains) instead
// of holding the program until something writes to it.
int OpenRegularFile(const char* path, int flags);

// Reads a whole file through Files() (opened as OpenRegularFile does);
// false (errno set) when it cannot.
bool ReadWholeFile(const std::string& path, std::string* out);

// Writes `size` bytes to `path` beside it (ReplacementPathOf) and renames
// that over `path`, so that at every instant either the old or the new
// complete file is there. `durable` also waits for the data to reach the
// disk before the rename. Returns 0, or the errno of the failed step, which
// `*stage` tells (0 creating the file, 1 writing, syncing, closing or
// renaming). The file beside is removed on failure.
int ReplaceFileContents(const std::string& path, const char* data, size_t size, bool durable,
                        int* stage = nullptr);
// The file ReplaceFileContents writes beside `path`.
std::string ReplacementPathOf(const std::string& path);
// Removes `path` when it is there; true when it is gone.
bool RemoveIfPresent(const std::string& path);
