#include "store/table_session.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <array>
#include <map>
#include <utility>

#include "platform/file_ops.h"
#include "store/decimal_round.h"
#include "store/series_list.h"

QString IndexFileOf(const QString& tablePath) {
  const QFileInfo info(tablePath);
  return info.path() + QLatin1Char('/') + info.completeBaseName() + QStringLiteral(".mdx");
}

namespace {

// What a new table is built in beside its final name: ".NAME.part" and six
// random letters, or ".BASE.part<pid>.db" from earlier versions.
constexpr char kPartInfix[] = ".part";

QByteArray Native(const QString& path) { return QFile::encodeName(path); }

[[noreturn]] void Refuse(const QString& text) { throw TableError(text); }

QString Shown(const QString& path) { return QDir::toNativeSeparators(path); }

// n and the words for n things: `one` after 1, 21, 31…, `few` after 2-4,
// 22-24…, `many` after the others ("1 строка", "3 строки", "18 строк").
QString CountedWords(size_t n, const char* one, const char* few, const char* many) {
  const size_t last = n % 10, lastTwo = n % 100;
  const char* words = many;
  if (last == 1 && lastTwo != 11)
    words = one;
  else if (last >= 2 && last <= 4 && (lastTwo < 12 || lastTwo > 14))
    words = few;
  return QString::number(n) + QLatin1Char(' ') + QString::fromUtf8(words);
}

// Removes what a New of this name that was killed left beside it: regular
// files of ours that nobody is writing any more. Its part is "." + the
// name + ".part" + six characters; earlier versions named it "." + the name
// without its suffix + ".part" + a process number + "." + the suffix.
void RemoveLeftoverParts(const QString& tablePath) {
  const std::string path = Native(tablePath).toStdString();
  const size_t slash = path.rfind('/');
  const std::string file = path.substr(slash == std::string::npos ? 0 : slash + 1);
  const size_t dot = file.rfind('.');
  const std::string ours = '.' + file + kPartInfix;
  const std::string earlier = '.' + file.substr(0, dot) + kPartInfix;
  const std::string suffix =
      '.' + (dot == std::string::npos ? std::string() : file.substr(dot + 1));
  RemoveLeftoversWhere(path, [&](const std::string& name) {
    if (name.compare(0, ours.size(), ours) == 0) return name.size() == ours.size() + 6;
    if (name.size() <= earlier.size() + suffix.size() ||
        name.compare(0, earlier.size(), earlier) != 0 ||
        name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0)
      return false;
    for (size_t i = earlier.size(); i < name.size() - suffix.size(); ++i)
      if (name[i] < '0' || name[i] > '9') return false;
    return true;
  });
}

bool WriteAll(int fd, const QByteArray& bytes) {
  qint64 done = 0;
  while (done < bytes.size()) {
    const ssize_t n =
        Files().PWrite(fd, bytes.constData() + done, size_t(bytes.size() - done), off_t(done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = ENOSPC;
      return false;
    }
    done += n;
  }
  return true;
}

QString CannotWrite(const QString& path, int err) {
  return QStringLiteral("Не удалось записать файл %1: %2").arg(Shown(path), FileErrorText(err));
}

QString ProtectedText(const QString& path) {
  return QStringLiteral("Файл %1 защищён от записи: новая таблица не может его заменить")
      .arg(Shown(path));
}

// The file of that name, when there is one, opened so that its lock can
// be held: refused when it is no regular file, protected against writing,
// or held by another writer (unless it is `ownTable`, whose lock is ours).
// -1 when there is nothing to hold (no file, or a symbolic link, which a
// rename replaces without touching what it points to).
int HoldTarget(const QString& path, const QString& ownTable) {
  const QByteArray npath = Native(path);
  const int fd = Files().Open(npath.constData(), O_RDWR | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC, 0);
  if (fd < 0) {
    const int err = errno;
    if (err == ENOENT || err == ELOOP) return -1;
    if (err == EACCES || err == EPERM || err == EROFS) Refuse(ProtectedText(path));
    Refuse(CannotWrite(path, err));
  }
  struct stat st;
  QString refusal;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    refusal = QStringLiteral("%1 - не файл таблицы: новая таблица не может его заменить")
                  .arg(Shown(path));
  } else if ((st.st_mode & 0222) == 0) {
    refusal = ProtectedText(path);
  } else {
    struct stat own;
    const bool isOwn = !ownTable.isEmpty() && ::stat(Native(ownTable).constData(), &own) == 0 &&
                       own.st_dev == st.st_dev && own.st_ino == st.st_ino;
    if (!isOwn && !Files().Lock(fd))
      refusal = QStringLiteral("Таблица %1 открыта другой программой. Закройте ее и повторите")
                    .arg(Shown(path));
  }
  if (!refusal.isEmpty()) {
    Files().Close(fd);
    Refuse(refusal);
  }
  return fd;
}

}  // namespace

BuiltTable::BuiltTable(BuiltTable&& other) noexcept { *this = std::move(other); }

BuiltTable& BuiltTable::operator=(BuiltTable&& other) noexcept {
  if (this != &other) {
    Discard();
    path_ = std::move(other.path_);
    part_ = std::move(other.part_);
    fd_ = std::exchange(other.fd_, -1);
    deviceType_ = other.deviceType_;
    decodedRecordCount_ = other.decodedRecordCount_;
    series_ = std::move(other.series_);
  }
  return *this;
}

BuiltTable::~BuiltTable() { Discard(); }

void BuiltTable::Discard() {
  if (fd_ < 0) return;
  Files().Remove(Native(part_).constData());
  Files().Close(fd_);
  fd_ = -1;
}

void TableSession::CheckNewTablePath(const QString& path) const {
  const QFileInfo info(path);
  if (!info.absoluteDir().exists())
    Refuse(QStringLiteral("Папка файла %1 не существует").arg(Shown(path)));
  // The one sure test that the folder takes new files: making one.
  std::string probe;
  const int fd = CreateFileBeside(Native(info.absoluteFilePath()).toStdString(), ".probe", &probe);
  if (fd < 0) {
    const int err = errno;
    if (err == EACCES || err == EPERM || err == EROFS)
      Refuse(QStringLiteral("Папка %1 защищена от записи: новую таблицу в ней создать нельзя. "
                            "Выберите другую папку")
                 .arg(Shown(info.absolutePath())));
    Refuse(QStringLiteral("В папке %1 нельзя создать файл: %2")
               .arg(Shown(info.absolutePath()), FileErrorText(err)));
  }
  Files().Remove(probe.c_str());
  Files().Close(fd);
  const int held =
      HoldTarget(info.absoluteFilePath(), table_.IsOpen() ? table_.FilePath() : QString());
  if (held >= 0) Files().Close(held);
}

namespace {

// The rows of a download as the decoder of its instrument makes them.
struct DecodedDownload {
  int deviceType = 0;
  int recordCount = 0;  // for plate images the image's own
  ShownKind kind = ShownKind::Water;
  std::vector<MeasurementRow> rows;
};

DecodedDownload Decode(const DownloadResult& download) {
  const DumpView image{download.image.data(), int(download.image.size())};
  DecodedDownload out;
  out.deviceType = download.identity.type;
  if (IsWaterDeviceType(out.deviceType)) {
    out.recordCount = download.identity.recordCount;
    out.rows = DecodeWaterDump(image, out.deviceType, out.recordCount).rows;
  } else {
    PlateDump decoded = DecodePlateDump(image, out.deviceType, download.identity.serial);
    // The image's own count replaces the one of the identification frame.
    out.recordCount = decoded.header.recordCount;
    out.kind = ShownKind::Plate;
    out.rows = std::move(decoded.rows);
  }
  return out;
}

}  // namespace

BuiltTable TableSession::BuildFromDownload(const QString& path, const DownloadResult& download) {
  DecodedDownload decoded = Decode(download);
  BuiltTable built = BuildBeside(QFileInfo(path).absoluteFilePath(),
                                 MeasurementTable::NewFileImage(), [&](MeasurementTable& table) {
                                   table.AppendRows(decoded.rows);
                                   return true;
                                 });
  built.deviceType_ = decoded.deviceType;
  built.decodedRecordCount_ = decoded.recordCount;
  if (decoded.kind == ShownKind::Water) built.series_ = SeriesOfRows(decoded.rows);
  return built;
}

BuiltTable TableSession::BuildBeside(const QString& finalPath, const QByteArray& start,
                                     const std::function<bool(MeasurementTable&)>& fill) {
  RemoveLeftoverParts(finalPath);
  BuiltTable built;
  built.path_ = finalPath;
  std::string part;
  const int fd = CreateFileBeside(Native(finalPath).toStdString(), kPartInfix, &part);
  if (fd < 0) {
    const int err = errno;
    throw TableError(QStringLiteral("Не удалось создать файл %1: %2")
                         .arg(Shown(finalPath), FileErrorText(err)));
  }
  built.fd_ = fd;
  built.part_ = QFile::decodeName(part.c_str());
  try {
    if (!WriteAll(fd, start)) throw TableError(CannotWrite(finalPath, errno));
    MeasurementTable table;
    table.SetLocation(built.part_);
    table.Open(MeasurementTable::OpenMode::NewFile);
    if (!fill(table)) {
      table.Close();
      built.Discard();
      return built;
    }
    table.Close();
    // While the table had it open, its write lock kept the tidying up of
    // another run away; from now on until the rename a lock of ours does.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
      // A file system without such locks: the window is short.
    }
    // The rows reach the disk before the file can take the operator's name.
    if (Files().Sync(fd) != 0) throw TableError(CannotWrite(finalPath, errno));
    // A replaced table keeps its permissions and group.
    struct stat old;
    if (::stat(Native(finalPath).constData(), &old) == 0 && S_ISREG(old.st_mode)) {
      if (::fchmod(fd, old.st_mode & 07777) != 0) {
        // Not ours to set: the new file keeps the usual ones.
      }
      if (::fchown(fd, uid_t(-1), old.st_gid) != 0) {
        // A group we are not in: the new file keeps ours.
      }
    }
  } catch (const std::exception& e) {
    built.Discard();
    // The operator knows the file by the name chosen, not by ours beside it.
    QString text = OperatorText(e);
    text.replace(built.part_, Shown(finalPath));
    text.replace(QFileInfo(built.part_).fileName(), QFileInfo(finalPath).fileName());
    if (dynamic_cast<const OtherInstrumentError*>(&e)) throw OtherInstrumentError(text);
    throw TableError(text);
  }
  return built;
}

void TableSession::Install(BuiltTable& built) {
  if (!built.IsReady()) throw TableError(QStringLiteral("Новая таблица не создана"));
  PutInPlace(built);
  deviceType_ = built.deviceType_;
  decodedRecordCount_ = built.decodedRecordCount_;
  series_ = built.series_;
  if (IsWaterDeviceType(deviceType_)) {
    ShowKind(ShownKind::Water);
    if (!series_.empty()) ShowSeries(series_.front().number);
  } else {
    ShowKind(ShownKind::Plate);
  }
}

void TableSession::PutInPlace(BuiltTable& built) {
  const QString path = built.path_;
  // The old file's lock is held across the rename, so that no other
  // program opens it in between and goes on writing a removed file.
  int held = -1;
  try {
    held = HoldTarget(path, table_.IsOpen() ? table_.FilePath() : QString());
  } catch (...) {
    built.Discard();
    throw;
  }
  const int renamed = Files().Rename(Native(built.part_).constData(), Native(path).constData());
  const int err = errno;
  if (held >= 0) Files().Close(held);
  if (renamed != 0) {
    built.Discard();
    throw TableError(CannotWrite(path, err));
  }
  // The new name on the disk too; the table is complete under it anyway.
  SyncFolderOf(Native(path).toStdString());
  Files().Close(built.fd_);
  built.fd_ = -1;

  // Only now that the new table is there does the old one go.
  Close();
  table_.SetLocation(path);
  // A new table starts with no filter of an earlier one.
  table_.SetFilter(QString());
  plateDates_ = DateRange();
  table_.Open();
  inUse_ = true;
  NoteIncompleteness();
}

void TableSession::CreateFromDownload(const QString& path, const DownloadResult& download) {
  BuiltTable built = BuildFromDownload(path, download);
  Install(built);
}

namespace {

// The fields that tell one instrument record from another: a series by its
// number and start, a plate test by the instrument's serial, its date and
// time, P, R and the plate.
const std::vector<Field>& KeyFields(ShownKind kind) {
  static const std::vector<Field> water = {Field::Serial, Field::Date};
  static const std::vector<Field> plate = {Field::Serial, Field::Date, Field::Time,
                                           Field::P,      Field::R,    Field::Type};
  return kind == ShownKind::Water ? water : plate;
}

// A record's key from its row's values. P and R are compared to the
// instrument's hundredths, texts without the blanks the file pads them
// with.
template <typename ValueOf>
QString RecordKey(ShownKind kind, const ValueOf& valueOf) {
  QStringList parts;
  for (Field f : KeyFields(kind)) {
    const FieldValue v = valueOf(f);
    const double* number = std::get_if<double>(&v);
    parts << (number ? RoundedDecimalText(*number, 2) : ValueToText(v).trimmed());
  }
  return parts.join(QChar(0x1F));
}

// What the rows of a table hold: the records of each key (a series only
// with all six samples), and the rows of each kind with the device type
// of the first (indexed by ShownKind).
struct HeldRecords {
  std::map<QString, int> count;
  std::array<int, 2> rows{};
  std::array<int, 2> deviceType{};
};

HeldRecords HeldIn(const MeasurementTable& table) {
  HeldRecords held;
  std::map<QString, std::array<int, 6>> samples;
  for (int i = 0; i < table.VisibleRowCount(); ++i) {
    auto valueOf = [&](Field f) { return table.FieldAt(i, f); };
    const ShownKind kind = ValueToInt(valueOf(Field::NbType)) == int64_t(ShownKind::Water)
                               ? ShownKind::Water
                               : ShownKind::Plate;
    if (held.rows[size_t(kind)]++ == 0)
      held.deviceType[size_t(kind)] = int(ValueToInt(valueOf(Field::DevType)));
    if (kind == ShownKind::Plate) {
      ++held.count[RecordKey(kind, valueOf)];
      continue;
    }
    const int64_t n = ValueToInt(valueOf(Field::N));
    auto& of = samples[RecordKey(kind, valueOf)];
    if (n >= 1 && n <= 6) ++of[size_t(n - 1)];
  }
  for (const auto& [key, of] : samples) {
    const int whole = *std::min_element(of.begin(), of.end());
    if (whole > 0) held.count[key] += whole;
  }
  return held;
}

// What the operator calls the records of a kind.
QString KindText(ShownKind kind, int deviceType) {
  if (kind == ShownKind::Water)
    return QStringLiteral("серии испытаний на водонепроницаемость (ФИР-ТЛ7)");
  return QStringLiteral("испытания прибора %1").arg(PlateInstrumentName(deviceType));
}

// A table shows one kind of rows at a time (water-permeability rows where
// there are any), and takes no records of the other kind; an empty table
// takes either.
void CheckSameKind(const HeldRecords& held, ShownKind kind, int deviceType, const QString& path) {
  const size_t water = size_t(ShownKind::Water), plate = size_t(ShownKind::Plate);
  const ShownKind tableKind = held.rows[water] > 0 ? ShownKind::Water : ShownKind::Plate;
  if (held.rows[water] + held.rows[plate] == 0 || tableKind == kind) return;
  throw OtherInstrumentError(
      QStringLiteral("В таблице %1 записаны %2, а из прибора получены %3. В одной таблице "
                     "хранятся записи одного вида: для этих данных создайте новую таблицу "
                     "командой «Создать»")
          .arg(Shown(path), KindText(tableKind, held.deviceType[size_t(tableKind)]),
               KindText(kind, deviceType)));
}

// The rows of the records of `decoded` that `held` does not account for,
// in the instrument's order; each held record accounts for one.
std::vector<MeasurementRow> NewRows(const DecodedDownload& decoded, HeldRecords held,
                                    AppendCounts* counts) {
  const size_t perRecord = decoded.kind == ShownKind::Water ? 6 : 1;
  std::vector<MeasurementRow> rows;
  for (size_t at = 0; at + perRecord <= decoded.rows.size(); at += perRecord) {
    const MeasurementRow& first = decoded.rows[at];
    int& left = held.count[RecordKey(decoded.kind, [&](Field f) { return first[f]; })];
    if (left > 0) {
      --left;
      ++counts->held;
      continue;
    }
    rows.insert(rows.end(), decoded.rows.begin() + long(at),
                decoded.rows.begin() + long(at + perRecord));
    ++counts->added;
  }
  counts->addedRows = int(rows.size());
  return rows;
}

}  // namespace

AppendCounts TableSession::AppendFromDownload(const DownloadResult& download,
                                              const std::function<void()>& replacing) {
  if (!HasTable()) throw TableError(QStringLiteral("Нет открытой таблицы"));
  const QString path = QFileInfo(table_.FilePath()).absoluteFilePath();
  if (ReadOnly())
    throw TableError(
        QStringLiteral("Таблица %1 открыта только для просмотра: дополнить ее нельзя")
            .arg(Shown(path)));
  // The copy takes the rows as the file holds them, the edit's too.
  PostEdit();
  std::string contents;
  if (!ReadWholeFile(Native(path).toStdString(), &contents)) {
    const int err = errno;
    throw TableError(
        QStringLiteral("Не удалось прочитать файл %1: %2").arg(Shown(path), FileErrorText(err)));
  }
  const QByteArray bytes = QByteArray::fromRawData(contents.data(), qsizetype(contents.size()));
  const DecodedDownload decoded = Decode(download);
  AppendCounts counts;
  counts.kind = decoded.kind;
  int oldRows = 0;  // of the kind appended
  BuiltTable built = BuildBeside(path, bytes, [&](MeasurementTable& copy) {
    const HeldRecords held = HeldIn(copy);
    CheckSameKind(held, decoded.kind, decoded.deviceType, path);
    oldRows = held.rows[size_t(decoded.kind)];
    const std::vector<MeasurementRow> rows = NewRows(decoded, held, &counts);
    copy.AppendRows(rows);
    return !rows.empty();
  });
  if (!built.IsReady()) return counts;
  if (replacing) replacing();
  PutInPlace(built);
  decodedRecordCount_ = decoded.recordCount;
  // As after Open: the first stored row's (the download's for a table that
  // was empty).
  table_.First();
  deviceType_ = int(table_.GetInt(Field::DevType));
  ShowKind(decoded.kind);
  RebuildSeriesList(decoded.kind);
  if (decoded.kind == ShownKind::Water) {
    // The new series are the last entries of the list.
    counts.firstNew = std::clamp(int(series_.size()) - counts.added, 0, int(series_.size()) - 1);
    ShowSeries(series_.at(size_t(counts.firstNew)).number);
  } else {
    counts.firstNew = oldRows;
    table_.MoveTo(oldRows);
  }
  return counts;
}

QString AppendCountsText(const AppendCounts& counts) {
  if (counts.kind == ShownKind::Plate)
    return QStringLiteral("Добавлено испытаний: %1, уже были в таблице: %2")
        .arg(counts.added)
        .arg(counts.held);
  return QStringLiteral("Добавлено серий: %1 (%2), уже были в таблице: %3")
      .arg(counts.added)
      .arg(CountedWords(size_t(counts.addedRows), "строка", "строки", "строк"))
      .arg(counts.held);
}

void TableSession::NoteIncompleteness() {
  incompleteNotice_.clear();
  QStringList notes;
  // Named only in a notice: most tables need none.
  auto shown = [this] { return Shown(QFileInfo(table_.FilePath()).absoluteFilePath()); };
  if (table_.HeaderRowCount() != table_.StoredRowCount())
    notes << QStringLiteral("В заголовке таблицы %1 указано строк: %2, а в файле найдено: %3.")
                 .arg(shown())
                 .arg(table_.HeaderRowCount())
                 .arg(table_.StoredRowCount());
  // The last water-permeability series, walked back from the last such row
  // in file order: the rows of one series have one SERIAL and rising N.
  std::vector<Bookmark> records;
  const int rows = table_.VisibleRowCount();
  records.reserve(size_t(rows));
  for (int i = 0; i < rows; ++i) records.push_back(table_.BookmarkAt(i));
  std::sort(records.begin(), records.end());
  int samples = 0;
  int64_t lastSerial = 0, lastNumber = 0;
  for (auto r = records.rbegin(); r != records.rend() && samples < 6; ++r) {
    if (ValueToInt(table_.FieldOfRecord(*r, Field::NbType)) != int64_t(ShownKind::Water))
      continue;
    const int64_t s = ValueToInt(table_.FieldOfRecord(*r, Field::Serial));
    const int64_t n = ValueToInt(table_.FieldOfRecord(*r, Field::N));
    if (samples > 0 && (s != lastSerial || n >= lastNumber)) break;
    lastSerial = s;
    lastNumber = n;
    ++samples;
  }
  if (samples > 0 && samples < 6)
    notes << QStringLiteral("В последней серии испытаний таблицы %1 (серия %2) образцов: %3 из 6.")
                 .arg(shown())
                 .arg(lastSerial)
                 .arg(samples);
  if (!notes.isEmpty())
    incompleteNotice_ = notes.join(QLatin1Char('\n')) +
                        QStringLiteral("\nВозможно, запись таблицы была прервана: "
                                       "сверьте ее с прибором или с резервной копией.");
}

void TableSession::Open(const QString& path, MeasurementTable::OpenMode mode) {
  if (table_.IsOpen()) Close();
  inUse_ = false;
  modified_ = false;
  series_.clear();
  incompleteNotice_.clear();
  // A reader leaves every file as it is.
  if (mode != MeasurementTable::OpenMode::ReadOnly) RemoveLeftoverParts(path);
  table_.SetLocation(path);
  // No filter of a previously open table carries over.
  table_.SetFilter(QString());
  plateDates_ = DateRange();
  table_.Open(mode);
  inUse_ = true;
  NoteIncompleteness();
  // The statistics wait for the rows the views show (UpdateStatistics):
  // those of the whole file would be a pass over every row for nothing.
  table_.First();
  deviceType_ = int(table_.GetInt(Field::DevType));
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
  plateDates_ = DateRange();
  incompleteNotice_.clear();
  if (!table_.IsOpen()) return;
  const QString index = IndexFileOf(table_.FilePath());
  // Read only, the index file is not ours (it may be its writer's).
  const bool ours = !table_.IsReadOnly();
  table_.Close();
  if (ours) Files().Remove(QFile::encodeName(index).constData());  // a missing one is no error
}

ShownKind TableSession::ChooseShownKind() {
  table_.First();
  table_.ShowKind(ShownKind::Water);
  table_.Refresh();
  if (table_.VisibleRowCount() > 0) return ShownKind::Water;
  table_.ShowKind(ShownKind::Plate);
  table_.Refresh();
  return ShownKind::Plate;
}

void TableSession::ShowKind(ShownKind kind) {
  // The filter belongs to an open table; a closed one has none to set.
  if (!table_.IsOpen()) return;
  table_.ShowKind(kind, kind == ShownKind::Plate ? plateDates_ : DateRange());
  table_.Refresh();
}

QStringList TableSession::RebuildSeriesList(ShownKind kind) {
  series_ = BuildSeriesList(table_, kind == ShownKind::Water);
  // The walk showed all rows of the kind; the plate tests go back to their
  // dates.
  if (kind == ShownKind::Plate && !plateDates_.IsUnbounded()) {
    ShowKind(kind);
    table_.First();
  }
  return SeriesList();
}

void TableSession::ShowSeries(const QString& entry) {
  if (!table_.IsOpen()) return;
  bool number = false;
  const qlonglong serial = entry.trimmed().toLongLong(&number);
  // The list holds numbers only; anything else is no series to show.
  if (!number)
    throw TableError(QStringLiteral("Неверное условие отбора: SERIAL=%1").arg(entry));
  table_.ShowSeries(serial);
  table_.Refresh();
}

DateRange TableSession::ShownDateSpan() const {
  DateRange span;
  if (!table_.IsOpen()) return span;
  for (int i = 0; i < table_.VisibleRowCount(); ++i) {
    const QDate date = DateOfText(ValueToText(table_.FieldAt(i, Field::Date)));
    if (!date.isValid()) continue;
    if (span.from.isNull() || date < span.from) span.from = date;
    if (span.to.isNull() || date > span.to) span.to = date;
  }
  return span;
}

int TableSession::ShownDeviceType() const {
  if (!table_.IsOpen() || table_.VisibleRowCount() == 0) return deviceType_;
  return int(ValueToInt(table_.FieldAt(0, Field::DevType)));
}

void ComputeShownStats(MeasurementTable& table, TableStats* stats) {
  const int n = table.VisibleRowCount();
  if (n <= 1) {
    // One row or none: that row's values (0 without a row); no move.
    const double p = table.GetFloat(Field::P);
    const double r = table.GetFloat(Field::R);
    *stats = TableStats{p, p, p, r, r, r};
    return;
  }
  StatsAccumulator acc;
  table.First();  // posts an edit in progress, which may change the rows shown
  // The rows are read in place rather than walked with the cursor, which
  // would tell the views of every step. A walk past the end would read the
  // last row again.
  const int shown = table.VisibleRowCount();
  for (int i = 0; i < n; ++i) {
    if (shown == 0) {
      acc.Add(0, 0);
      continue;
    }
    const int at = std::min(i, shown - 1);
    acc.Add(ValueToFloat(table.FieldAt(at, Field::P)), ValueToFloat(table.FieldAt(at, Field::R)));
  }
  *stats = acc.Result(n);
  table.First();
}

void TableSession::UpdateStatistics() { ComputeShownStats(table_, &stats_); }

std::vector<TableSession::Bookmark> TableSession::RowsToDelete(
    const std::vector<Bookmark>& marked) const {
  std::vector<Bookmark> rows = marked;
  if (rows.empty()) {
    if (const Bookmark current = table_.Bookmark()) rows.push_back(current);
  }
  // Only rows the operator can see go: a mark or a current row left over
  // from other rows shown before is never taken.
  std::vector<Bookmark> shown;
  if (table_.IsOpen())
    for (int i = 0; i < table_.VisibleRowCount(); ++i) shown.push_back(table_.BookmarkAt(i));
  std::sort(shown.begin(), shown.end());
  std::sort(rows.begin(), rows.end());
  rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
  rows.erase(std::remove_if(
                 rows.begin(), rows.end(),
                 [&](Bookmark b) { return !std::binary_search(shown.begin(), shown.end(), b); }),
             rows.end());
  return rows;
}

namespace {

// "отмеченную строку", "отмеченные строки" or "отмеченных строк" after n.
QString MarkedRowsText(size_t n) {
  return CountedWords(n, "отмеченную строку", "отмеченные строки", "отмеченных строк");
}

}  // namespace

QString TableSession::RowsToDeleteText(const std::vector<Bookmark>& rows) const {
  if (rows.size() != 1) return MarkedRowsText(rows.size());
  const Bookmark row = rows.front();
  auto text = [&](Field field) { return ValueToText(table_.FieldOfRecord(row, field)).trimmed(); };
  const QString n = QString::number(ValueToInt(table_.FieldOfRecord(row, Field::N)));
  QString name, when;
  if (ValueToInt(table_.FieldOfRecord(row, Field::NbType)) == int64_t(ShownKind::Water)) {
    // A series' start is stored as date and time; the date names the test.
    name = QStringLiteral("образец %1 серии %2").arg(n, text(Field::Serial));
    when = text(Field::Date).section(QLatin1Char(' '), 0, 0, QString::SectionSkipEmpty);
  } else {
    name = QStringLiteral("испытание № %1").arg(n);
    when = (text(Field::Date) + QLatin1Char(' ') + text(Field::Time)).trimmed();
  }
  return when.isEmpty() ? name : name + QStringLiteral(", ") + when;
}

void TableSession::PostEdit() {
  if (table_.IsEditing()) table_.PostRow();
}

void TableSession::DeleteRowsAndPack(const std::vector<Bookmark>& rows,
                                     const std::function<void()>& posted) {
  // An edit in progress is posted first, so that it neither gets lost nor
  // lands on another row once the current row moves.
  PostEdit();
  if (posted) posted();
  // Marking does not renumber records, so every bookmark stays valid until
  // the pack.
  table_.DeleteRows(rows);
  table_.Pack();
  table_.Close();
  table_.Open();
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
