#pragma once
// Builds measurement tables for tests: a fresh table file in a temporary
// folder with rows given as field/value pairs, and a guard that makes every
// file write of this process fail past a size, the way a full disk does.
#include <signal.h>
#include <sys/resource.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <initializer_list>
#include <utility>
#include <vector>

#include "store/measurement_table.h"

using StoreRow = std::vector<std::pair<QString, FieldValue>>;

// Appends one row and posts it.
inline void AppendStoreRow(MeasurementTable& table, const StoreRow& row) {
  table.AppendRow();
  for (const auto& [name, value] : row) {
    if (const int64_t* i = std::get_if<int64_t>(&value)) table.SetField(name, *i);
    if (const double* f = std::get_if<double>(&value)) table.SetField(name, *f);
    if (const QString* s = std::get_if<QString>(&value)) table.SetField(name, *s);
  }
  table.PostRow();
}

// A plate row (NB_TYPE 0) and a water-permeability row (NB_TYPE 1).
inline StoreRow PlateRow(int64_t n, int64_t serial, double p, double r) {
  return {{"N", n},
          {"DATE", QString("01.02.2024")},
          {"TIME", QString("10:00:00")},
          {"DEV_TYPE", int64_t(16)},
          {"SERIAL", serial},
          {"NB_TYPE", int64_t(0)},
          {"P", p},
          {"R", r},
          {"TYPE", QString("D=300")}};
}
inline StoreRow WaterRow(int64_t n, int64_t serial, double p, const QString& grade) {
  return {{"N", n},
          {"DATE", QString("01.02.2024 10:00:00")},
          {"TIME", QString("00:12:00")},
          {"DEV_TYPE", int64_t(1)},
          {"SERIAL", serial},
          {"NB_TYPE", int64_t(1)},
          {"P", p},
          {"R", 24.0},
          {"TYPE", grade},
          {"H", 100.0},
          {"T", QString::fromUtf8("сжатие")}};
}

// Creates `name` in `dir`, opens it and appends the rows; the table stays open.
inline QString MakeStoreTable(MeasurementTable& table, const QTemporaryDir& dir,
                              const std::vector<StoreRow>& rows,
                              const QString& name = QStringLiteral("data.db")) {
  const QString path = QDir(dir.path()).filePath(name);
  table.SetLocation(path);
  table.CreateFile();
  table.Open();
  for (const StoreRow& r : rows) AppendStoreRow(table, r);
  return path;
}

// While alive, a write that would make any file of this process longer than
// `bytes` fails with EFBIG instead of succeeding: a full disk on demand.
class StoreWriteLimit {
 public:
  explicit StoreWriteLimit(rlim_t bytes) {
    old_handler_ = signal(SIGXFSZ, SIG_IGN);
    getrlimit(RLIMIT_FSIZE, &old_);
    struct rlimit lim = old_;
    lim.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &lim);
  }
  ~StoreWriteLimit() {
    setrlimit(RLIMIT_FSIZE, &old_);
    signal(SIGXFSZ, old_handler_);
  }
  StoreWriteLimit(const StoreWriteLimit&) = delete;
  StoreWriteLimit& operator=(const StoreWriteLimit&) = delete;

 private:
  struct rlimit old_;
  void (*old_handler_)(int);
};
