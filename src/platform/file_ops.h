#pragma once
// The file operations the program's savers use: the table and index engine,
// the settings store, the workbook and the report. Production is the real
// system calls; a test or a fuzz target installs its own (one that fails or
// stops at a chosen operation, or one that keeps the files in memory).
// Each call returns what the system call would and sets errno the same way.
// No Qt here: the workbook's storage layer includes it beside glib.
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/uio.h>

#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

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
  // The state of `path`, following links: 0, or -1 with errno.
  virtual int Stat(const char* path, struct stat* st);
  // Gives the new file `fd` the mode and group of the file `like` it
  // replaces.
  virtual int KeepAttributes(int fd, const struct stat& like);
  // Makes the renames done in `folder` reach the disk.
  virtual int SyncFolder(const char* folder);
  // Calls `each` with the name of every entry of `folder`; nothing when the
  // folder cannot be read.
  virtual void ListFolder(const char* folder, const std::function<void(const char* name)>& each);
};

// The operations in force (the real ones unless a test installed others).
FileOps& Files();
// Installs `ops` (not owned); nullptr puts the real ones back.
void SetFiles(FileOps* ops);

// Paths are in the file system's encoding (QFile::encodeName).

// Opens an existing file (`flags` as for open(2); it is never created) without
// waiting on it: a folder, a FIFO or a device in its place is refused at
// once (-1, errno EISDIR or ENODEV, which FileErrorText explains) instead
// of holding the program until something writes to it.
int OpenRegularFile(const char* path, int flags);

// Writes all `size` bytes at `pos` through Files(), again after an
// interruption or a short write; false (errno set, ENOSPC when the system
// wrote nothing) when it cannot.
bool WriteAllAt(int fd, off_t pos, const char* data, size_t size);
// The same for `pieces` one after the other from `pos`, with as few calls
// as the system allows (one, normally).
bool WritePiecesAt(int fd, off_t pos, std::vector<struct iovec> pieces);
// Reads up to `size` bytes at `pos` through Files(); fewer only where the
// file ends, -1 (errno set) when a read fails.
ssize_t ReadAllAt(int fd, off_t pos, char* out, size_t size);

// Reads a whole file through Files() (opened as OpenRegularFile does);
// false (errno set) when it cannot.
bool ReadWholeFile(const std::string& path, std::string* out);

// Writes `size` bytes to a new file beside `path` (CreateBeside) and renames
// that over `path`, so that at every instant either the old or the new
// complete file is there. `durable` also waits for the data to reach the
// disk before the rename, and for the rename after it. The old file's write
// lock is held across the rename, and it is refused (EBUSY) when another
// writer holds it, or (EACCES) when the user made it read-only; the new
// file keeps its mode and group. Returns 0, or the errno of the failed step,
// which `*stage` tells (0 creating the file, 1 writing, syncing, closing or
// renaming). The file beside is removed on failure.
int ReplaceFileContents(const std::string& path, const char* data, size_t size, bool durable,
                        int* stage = nullptr);
// The mark ReplaceFileContents puts after `path` in the name of its new file.
extern const char kReplacementTag[];
// Creates a new file for `path` beside it, named `path`, `tag` and six random
// characters, exclusively: never through a link, never over a file that is
// there. Returns its descriptor (locked for writing, so that nobody takes it
// for a leftover) and sets `*name`; -1 with errno when it cannot.
int CreateBeside(const std::string& path, const char* tag, mode_t mode, std::string* name);
// Removes the files that a writer that died left beside `path` under `tag`
// (CreateBeside's names, and the plain `path` + `tag` of older versions):
// only regular files of this user that no writer holds.
void RemoveLeftovers(const std::string& path, const char* tag);
// The same for several tags, in one reading of the folder.
void RemoveLeftovers(const std::string& path, std::initializer_list<const char*> tags);
// The same for the names in the folder of `path` that `isLeftover` takes.
void RemoveLeftoversWhere(const std::string& path,
                          const std::function<bool(const std::string& name)>& isLeftover);
// Removes `path` when it is what a dead writer left: a regular file of this
// user, not a link, that no writer holds by any lock. True when removed.
bool RemoveIfLeftover(const std::string& path);
// Makes the rename that put `path` in place reach the disk.
int SyncFolderOf(const std::string& path);
// Whether `a` and `b` are one file (device and inode); false when either is
// missing.
bool IsSameFile(const std::string& a, const std::string& b);
// Whether a writer other than this open holds the write lock of `path` (an
// open table carries one): replacing the file under it would send its later
// saves into a file nobody can see any more.
bool HeldByAnotherWriter(const std::string& path);
// Whether a write lock is held on the open file `fd` by another open of it
// (another program's, or another of ours), without taking it.
bool WriteLockedElsewhere(int fd);

// Creates a new, empty file in the folder of `path` under an unpredictable
// name: "." + the file name of `path` + `infix` + six random letters or
// digits, made as CreateBeside makes its files but not locked. Returns its
// descriptor and sets *created, or -1 with errno set.
int CreateFileBeside(const std::string& path, const char* infix, std::string* created);
// Whether `path` is a file the user made read-only (no write permission bit,
// or no write access for us).
bool IsReadOnlyFile(const std::string& path);
// Removes `path` when it is there; true when it is gone.
bool RemoveIfPresent(const std::string& path);
