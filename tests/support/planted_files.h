#pragma once
// Things that are no regular file, planted where the program expects one:
// a FIFO, a folder, or a device (a symbolic link to /dev/zero, which any
// user may make and which never ends when read).
//
// Code that waited on a planted FIFO (opened it for reading without a
// writer, or read it) would hang the test for good; a watchdog ends such
// a wait after a long while by opening the other end and closing it
// again, and Waited() then tells the test that it happened.
#include <QString>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

enum class Planted { Fifo, Folder, Device };

inline const char* PlantedName(Planted kind) {
  switch (kind) {
    case Planted::Fifo: return "FIFO";
    case Planted::Folder: return "folder";
    case Planted::Device: return "device";
  }
  return "?";
}

// The reason the program gives for it.
QString PlantedReason(Planted kind);

class PlantedFile {
 public:
  // Plants `kind` at `path` (which must not exist); Ok() tells whether
  // that worked.
  PlantedFile(const QString& path, Planted kind);
  ~PlantedFile();
  PlantedFile(const PlantedFile&) = delete;
  PlantedFile& operator=(const PlantedFile&) = delete;

  bool Ok() const { return planted_; }
  // Whether the watchdog had to end a wait on the FIFO.
  bool Waited() const { return waited_; }
  // Whether the thing is still there, of its kind (nothing replaced or
  // removed it).
  bool StillThere() const;

 private:
  void Watch();

  std::string path_;
  Planted kind_;
  bool planted_ = false;
  std::atomic<bool> waited_{false};
  std::mutex mutex_;
  std::condition_variable stop_;
  bool stopping_ = false;
  std::thread watchdog_;
};
