#include "support/planted_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <chrono>

QString PlantedReason(Planted kind) {
  return kind == Planted::Folder ? QStringLiteral("это папка, а не файл")
                                 : QStringLiteral("это не обычный файл, а канал или устройство");
}

PlantedFile::PlantedFile(const QString& path, Planted kind)
    : path_(QFile::encodeName(path).toStdString()), kind_(kind) {
  switch (kind) {
    case Planted::Fifo:
      planted_ = ::mkfifo(path_.c_str(), 0600) == 0;
      if (planted_) watchdog_ = std::thread([this] { Watch(); });
      break;
    case Planted::Folder:
      planted_ = ::mkdir(path_.c_str(), 0700) == 0;
      break;
    case Planted::Device:
      planted_ = ::symlink("/dev/zero", path_.c_str()) == 0;
      break;
  }
}

PlantedFile::~PlantedFile() {
  if (watchdog_.joinable()) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stopping_ = true;
    }
    stop_.notify_all();
    watchdog_.join();
  }
  if (!planted_) return;
  if (kind_ == Planted::Folder)
    ::rmdir(path_.c_str());
  else
    ::unlink(path_.c_str());
}

bool PlantedFile::StillThere() const {
  struct stat st;
  if (::lstat(path_.c_str(), &st) != 0) return false;
  switch (kind_) {
    case Planted::Fifo: return S_ISFIFO(st.st_mode);
    case Planted::Folder: return S_ISDIR(st.st_mode);
    case Planted::Device: return S_ISLNK(st.st_mode);
  }
  return false;
}

void PlantedFile::Watch() {
  std::unique_lock<std::mutex> lock(mutex_);
  if (stop_.wait_for(lock, std::chrono::seconds(30), [this] { return stopping_; })) return;
  // Something waits on the FIFO: a writer that comes and goes lets an open
  // return and a read see the end.
  while (!stop_.wait_for(lock, std::chrono::milliseconds(100), [this] { return stopping_; })) {
    const int fd = ::open(path_.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd >= 0) {
      waited_ = true;
      ::close(fd);
    }
  }
}
