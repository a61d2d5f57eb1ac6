#include "store/table_session.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>

#include "platform/file_ops.h"
#include "store/row_deletion.h"
#include "store/series_list.h"

QString IndexFileOf(const QString& tablePath) {
  const QFileInfo info(tablePath);
  return info.path() + QLatin1Char('/') + info.completeBaseName() + QStringLiteral(".mdx");
}

void TableSession::CreateFromDownload(const QString& path, const DownloadedImage& download) {
  inUse_ = false;
  modified_ = false;
  series_.clear();
  if (table_.IsOpen()) table_.Close();
  table_.SetLocation(path);
  // A new table starts with no filter of an earlier one.
  table_.SetFilter(QString());
  table_.CreateFile();
  table_.Open();
  inUse_ = true;
  deviceType_ = download.deviceType;
  if (IsWaterDeviceType(download.deviceType)) {
    decodedRecordCount_ = download.recordCount;
    DecodeWaterDump(table_, download.image, download.deviceType, download.recordCount, &series_);
    if (!series_.isEmpty()) ShowSeries(series_.first());
  } else {
    // The image's own count replaces the one of the identification frame.
    decodedRecordCount_ = dump_word(download.image, 0);
    DecodePlateDump(table_, download.image, download.deviceType, download.deviceSerial);
  }
}

void TableSession::Open(const QString& path, MeasurementTable::OpenMode mode) {
  if (table_.IsOpen()) Close();
  inUse_ = false;
  modified_ = false;
  series_.clear();
  table_.SetLocation(path);
  // No filter of a previously open table carries over.
  table_.SetFilter(QString());
  table_.Open(mode);
  inUse_ = true;
  // The statistics wait for the rows the views show (UpdateStatistics):
  // those of the whole file would be a pass over every row for nothing.
  table_.First();
  deviceType_ = int(table_.GetInt(QStringLiteral("DEV_TYPE")));
}

void TableSession::Save() {
  if (!inUse_) return;
  if (table_.IsOpen()) PostEdit();
  const bool readOnly = table_.IsReadOnly();
  table_.Close();
  table_.Open(readOnly ? MeasurementTable::OpenMode::ReadOnly : MeasurementTable::OpenMode::Write);
  modified_ = false;
}

void TableSession::Close() {
  inUse_ = false;
  modified_ = false;
  series_.clear();
  if (!table_.IsOpen()) return;
  const QString index = IndexFileOf(table_.FilePath());
  // Read only, the index file is not ours (it may be its writer's).
  const bool ours = !table_.IsReadOnly();
  table_.Close();
  if (ours) Files().Remove(QFile::encodeName(index).constData());  // a missing one is no error
}

ShownKind TableSession::ChooseShownKind() {
  table_.First();
  table_.SetFilter(QStringLiteral("NB_TYPE=1"));
  table_.Refresh();
  if (table_.VisibleRowCount() > 0) return ShownKind::Water;
  table_.SetFilter(QStringLiteral("NB_TYPE=0"));
  table_.Refresh();
  return ShownKind::Plate;
}

void TableSession::ShowKind(ShownKind kind) {
  // The filter belongs to an open table; a closed one has none to set.
  if (!table_.IsOpen()) return;
  table_.SetFilter(kind == ShownKind::Water ? QStringLiteral("NB_TYPE=1")
                                            : QStringLiteral("NB_TYPE=0"));
  table_.Refresh();
}

const QStringList& TableSession::RebuildSeriesList(ShownKind kind) {
  series_ = BuildSeriesList(table_, kind == ShownKind::Water);
  return series_;
}

void TableSession::ShowSeries(const QString& entry) {
  if (!table_.IsOpen()) return;
  table_.SetFilter(SeriesFilter(entry));
  table_.Refresh();
}

void TableSession::UpdateStatistics() { ComputeShownStats(table_, &stats_); }

std::vector<TableSession::Bookmark> TableSession::RowsToDelete(
    const std::vector<Bookmark>& marked) const {
  std::vector<Bookmark> rows = marked;
  if (rows.empty()) {
    if (const Bookmark current = table_.Bookmark()) rows.push_back(current);
  }
  std::sort(rows.begin(), rows.end());
  rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
  return rows;
}

void TableSession::PostEdit() {
  if (table_.IsEditing()) table_.PostRow();
}

void TableSession::DeleteRows(const std::vector<Bookmark>& rows) {
  DeleteBookmarkedRows(table_, rows);
}

void TableSession::PackAndReopen() {
  ::PackAndReopen(table_);
  modified_ = false;
}

QString DamagedTableDetail(const QString& tablePath, const QString& reason) {
  QString why = reason.trimmed();
  if (why.isEmpty()) why = QStringLiteral("причина неизвестна");
  if (!why.endsWith(QLatin1Char('.'))) why += QLatin1Char('.');
  return QStringLiteral("Файл: %1\nПричина: %2\n"
                        "Откройте другой файл таблицы или возьмите этот файл из резервной копии.")
      .arg(QDir::toNativeSeparators(QFileInfo(tablePath).absoluteFilePath()), why);
}
