// The platform seams: port names, the code page, the general error message,
// the operator's text of an exception.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QLineEdit>
#include <QTest>
#include <QTimer>
#include <fcntl.h>
#include <limits.h>
#include <algorithm>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/codepage.h"
#include "platform/colors.h"
#include "platform/dialogs.h"
#include "platform/file_ops.h"
#include "platform/operator_error.h"
#include "platform/ports.h"
#include "platform/settings_store.h"
#include "support/fault_files.h"
#include "support/recording_dialogs.h"
#include "support/test_env.h"

namespace {

void SetPortValue(const QString& name, const QString& path) {
  QSettings s(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Merilan"),
              QStringLiteral("KLT3"));
  s.beginGroup(QStringLiteral("1.0"));
  s.setValue(name, path);
  s.sync();
}

TEST(Ports, ComNamesLeadToSettingsPathsOrSerialDevices) {
  ClearSettings();
  EXPECT_EQ(ResolvePortName(QStringLiteral("\\\\.\\COM1")), QStringLiteral("/dev/ttyS0"));
  EXPECT_EQ(ResolvePortName(QStringLiteral("\\\\.\\COM2")), QStringLiteral("/dev/ttyS1"));
  SetPortValue(QStringLiteral("COM2"), QStringLiteral("/dev/pts/7"));
  EXPECT_EQ(ResolvePortName(QStringLiteral("\\\\.\\COM2")), QStringLiteral("/dev/pts/7"));
  EXPECT_EQ(ResolvePortName(QStringLiteral("\\\\.\\COM1")), QStringLiteral("/dev/ttyS0"));
  // Anything else is taken as a device path as it stands.
  EXPECT_EQ(ResolvePortName(QStringLiteral("/dev/ttyUSB0")), QStringLiteral("/dev/ttyUSB0"));
  ClearSettings();
}

TEST(CodePage, RussianTextsRoundTripThroughWindows1251) {
  const QString text = QString::fromUtf8("Не ГОСТ ёЁ №");
  const QByteArray bytes = ToCp1251(text);
  ASSERT_EQ(bytes.size(), text.size());
  EXPECT_EQ(uint8_t(bytes[0]), 0xCD);  // Н
  EXPECT_EQ(uint8_t(bytes[8]), 0xB8);  // ё
  EXPECT_EQ(uint8_t(bytes[11]), 0xB9);  // №
  EXPECT_EQ(FromCp1251(bytes), text);
}

TEST(Colors, ValuesAreBgrAndSystemColoursResolve) {
  EXPECT_EQ(ColorFromValue(0x0000FFFF), QColor(255, 255, 0));  // yellow
  EXPECT_EQ(ColorFromValue(33023), QColor(255, 128, 0));         // 0x0080FF
  EXPECT_EQ(ValueFromColor(QColor(255, 128, 0)), 33023u);
  EXPECT_EQ(ColorFromValue(kClWindowText), QColor(Qt::black));
}

TEST(Dialogs, GeneralErrorEndsWithFullStopUnderTheApplicationTitle) {
  RecordingDialogs seam;
  SetDialogs(&seam);
  ShowGeneralError(nullptr, QString::fromUtf8("Нет места на диске"));
  SetDialogs(nullptr);
  ASSERT_EQ(seam.messages.size(), 1u);
  EXPECT_EQ(seam.messages[0].icon, QMessageBox::Critical);
  EXPECT_EQ(seam.messages[0].caption, QString::fromUtf8("ФИР  - ТЛ7"));
  EXPECT_EQ(seam.messages[0].text, QString::fromUtf8("Нет места на диске."));
}

// A failure whose what() is not meant for the operator: the text must come
// from text(), not from what().
class InternalWhat : public OperatorError {
 public:
  InternalWhat() : OperatorError(QString::fromUtf8("Таблица не открыта")) {}
  const char* what() const noexcept override { return "table not open"; }
};

TEST(OperatorText, OwnFailuresGiveTheirTextOthersTheirWhat) {
  const InternalWhat own;
  const std::runtime_error foreign(u8"Диск переполнен");
  const std::bad_alloc memory;
  struct Case {
    const std::exception& e;
    QString text;
  } cases[] = {
      {own, QString::fromUtf8("Таблица не открыта")},
      {foreign, QString::fromUtf8("Диск переполнен")},
      {memory, QString::fromUtf8(memory.what())},
  };
  for (const Case& c : cases) EXPECT_EQ(OperatorText(c.e), c.text) << c.e.what();
}

}  // namespace

TEST(Dialogs, ABoxWithDetailReachesASeamThatKnowsOnlyMessages) {
  struct Recorder : DialogSeam {
    QStringList seen;
    QMessageBox::StandardButton Message(QWidget*, QMessageBox::Icon, const QString& caption,
                                        const QString& text, QMessageBox::StandardButtons) override {
      seen << caption + "|" + text;
      return QMessageBox::Yes;
    }
  } recorder;
  SetDialogs(&recorder);
  EXPECT_EQ(Dialogs().DetailedMessage(nullptr, QMessageBox::Critical, "c", "t", "d",
                                      QMessageBox::Yes | QMessageBox::No),
            QMessageBox::Yes);
  SetDialogs(nullptr);
  EXPECT_EQ(recorder.seen, QStringList{"c|t"});
}

// The save dialog asks before it replaces a file: "Нет" keeps the dialog
// open (nothing chosen), "Да" chooses the file. A name typed without its
// extension is the file with the default one, and is asked about too.
TEST(Dialogs, TheSaveDialogAsksBeforeReplacingAFile) {
  QTemporaryDir dir;
  const QString existing = QDir(dir.path()).filePath(QStringLiteral("table.db"));
  {
    QFile f(existing);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("x");
  }
  const struct {
    const char* typed;
    QMessageBox::StandardButton answer;
  } cases[] = {
      {"table.db", QMessageBox::No},
      {"table.db", QMessageBox::Yes},
      {"table", QMessageBox::No},
      {"table", QMessageBox::Yes},
  };
  for (const auto& c : cases) {
    const QMessageBox::StandardButton answer = c.answer;
    SCOPED_TRACE(std::string(c.typed) + (answer == QMessageBox::Yes ? " yes" : " no"));
    QString question;
    bool dialogLeftOpen = false;
    QTimer poll;
    int step = 0;
    QObject::connect(&poll, &QTimer::timeout, [&] {
      QWidget* modal = QApplication::activeModalWidget();
      if (step < 2) {
        // The operator types the name and presses Enter, again until the
        // question comes (the dialog may still be reading the folder).
        if (auto* dialog = qobject_cast<QFileDialog*>(modal)) {
          auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
          if (!name) return;
          name->setText(QString::fromLatin1(c.typed));
          step = 1;
          // Queued: the question's own loop must not run inside this poll.
          QTimer::singleShot(0, name, [name] { QTest::keyClick(name, Qt::Key_Return); });
        } else if (auto* box = qobject_cast<QMessageBox*>(modal)) {
          question = box->text();
          step = 2;
          box->button(answer)->click();
        }
      } else if (step == 2) {
        // "Нет": the file dialog is still there, and is then cancelled.
        if (auto* dialog = qobject_cast<QFileDialog*>(modal)) {
          dialogLeftOpen = true;
          step = 3;
          dialog->reject();
        }
      }
    });
    poll.start(20);
    DialogSeam real;
    const QString chosen = real.GetSaveFileName(nullptr, QStringLiteral("Создать"), dir.path(),
                                                QStringLiteral("Файлы данных (*.db)"),
                                                QStringLiteral("db"));
    poll.stop();
    EXPECT_TRUE(question.contains(QStringLiteral("table.db"))) << question.toStdString();
    if (answer == QMessageBox::Yes) {
      EXPECT_EQ(QFileInfo(chosen), QFileInfo(existing));
    } else {
      EXPECT_TRUE(dialogLeftOpen);
      EXPECT_TRUE(chosen.isEmpty());
    }
  }
}

// The settings file as the store writes it reads back, value for value,
// through the platform's own reader.
TEST(SettingsFile, EveryValueReadsBackAsWritten) {
  const QString values[] = {
      QString(),
      QStringLiteral("plain"),
      QStringLiteral("  blanks at both ends  "),
      QStringLiteral("a, b, c"),
      QStringLiteral("\"quoted\" and \\ back\\slashes"),
      QStringLiteral("object TUniDataStorage\r\n  Data = <\r\n    item\r\n"),
      QStringLiteral("@Variant(not a value)"),
      QStringLiteral("@@two"),
      QString::fromUtf8("/дом/лаборатория; №5 = ok"),
      QString::fromUtf8("tab\tend\x01" "2\x7f" "f"),
      QStringLiteral("[not a group]"),
  };
  QTemporaryDir dir;
  QMap<QString, QString> map;
  int n = 0;
  for (const QString& v : values) map.insert(QStringLiteral("1.0/V%1").arg(n++), v);
  map.insert(QStringLiteral("Top"), QStringLiteral("root"));
  map.insert(QString::fromUtf8("1.0/ключ с пробелом"), QStringLiteral("named"));
  const QString path = dir.filePath(QStringLiteral("s.conf"));
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write(SettingsStore::FileText(map));
  f.close();
  const QSettings read(path, QSettings::IniFormat);
  EXPECT_EQ(read.status(), QSettings::NoError);
  EXPECT_EQ(read.allKeys().size(), map.size());
  for (auto it = map.constBegin(); it != map.constEnd(); ++it)
    EXPECT_EQ(read.value(it.key()).toString(), it.value()) << it.key().toStdString();
}

// Sync merges into what the file holds now, and a failed write leaves the
// old file, says why and keeps the value for the next Sync.
TEST(SettingsFile, SyncMergesAndAFailedWriteKeepsTheOldFile) {
  ClearSettings();
  SettingsStore store;
  store.Open();
  {
    QSettings other(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Merilan"),
                    QStringLiteral("KLT3"));
    other.setValue(QStringLiteral("1.0/COM1"), QStringLiteral("/dev/ttyUSB0"));
    // Keys outside the program's own group are the other writer's too.
    other.setValue(QStringLiteral("Other/Key"), QStringLiteral("kept"));
  }
  store.WriteString(QStringLiteral("Table_1"), QStringLiteral("first"));
  store.Sync();
  const QByteArray before = ReadAll(store.FileName());
  {
    const QSettings s(store.FileName(), QSettings::IniFormat);
    EXPECT_EQ(s.value(QStringLiteral("1.0/COM1")).toString(), QStringLiteral("/dev/ttyUSB0"));
    EXPECT_EQ(s.value(QStringLiteral("1.0/Table_1")).toString(), QStringLiteral("first"));
    EXPECT_EQ(s.value(QStringLiteral("Other/Key")).toString(), QStringLiteral("kept"));
  }
  store.WriteString(QStringLiteral("Table_1"), QStringLiteral("second"));
  {
    FaultFiles files;
    files.FailAt(2, ENOSPC);  // the write of the new file
    try {
      store.Sync();
      ADD_FAILURE() << "no error";
    } catch (const SettingsError& e) {
      EXPECT_TRUE(e.text().contains(QString::fromUtf8("нет места на диске"))) << e.text().toStdString();
    }
  }
  EXPECT_EQ(ReadAll(store.FileName()), before);
  EXPECT_EQ(QDir(QFileInfo(store.FileName()).path())
                .entryList({QStringLiteral("KLT3.conf.~tmp*")}, QDir::AllEntries | QDir::Hidden),
            QStringList());
  EXPECT_EQ(store.ReadString(QStringLiteral("Table_1")), QStringLiteral("second"));
  store.Sync();
  const QSettings s(store.FileName(), QSettings::IniFormat);
  EXPECT_EQ(s.value(QStringLiteral("1.0/Table_1")).toString(), QStringLiteral("second"));
  EXPECT_EQ(s.value(QStringLiteral("1.0/COM1")).toString(), QStringLiteral("/dev/ttyUSB0"));
  EXPECT_EQ(s.value(QStringLiteral("Other/Key")).toString(), QStringLiteral("kept"));
}

namespace {

// Replacing a file: what the operator set on it stays, and a file that is
// read-only or held by a writer is refused, the old one left as it was.
TEST(ReplaceFileContents, KeepsModeAndGroupAndRefusesWhatItMustNotReplace) {
  QTemporaryDir dir;
  const std::string path = QFile::encodeName(dir.filePath(QStringLiteral("t.db"))).toStdString();
  const bool root = geteuid() == 0;  // only root may give the file any group
  const struct {
    const char* name;
    mode_t mode;
    bool otherGroup;
    bool held;
    int err;
  } cases[] = {
      {"private table", 0600, false, false, 0},
      {"shared with its group", 0640, root, false, 0},
      {"everyone's", 0666, false, false, 0},
      {"made read-only", 0444, false, false, EACCES},
      {"held by another writer", 0644, false, true, EBUSY},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ::unlink(path.c_str());
    ASSERT_EQ(ReplaceFileContents(path, "old", 3, false), 0);
    ASSERT_EQ(::chmod(path.c_str(), c.mode), 0);
    const gid_t group = c.otherGroup ? 1 : getegid();
    ASSERT_EQ(::chown(path.c_str(), uid_t(-1), group), 0);
    int holder = -1;
    if (c.held) {
      holder = ::open(path.c_str(), O_RDWR);
      ASSERT_TRUE(Files().Lock(holder));
    }
    EXPECT_EQ(ReplaceFileContents(path, "new file", 8, true), c.err);
    if (holder >= 0) ::close(holder);
    EXPECT_EQ(ReadAll(QFile::decodeName(path.c_str())), c.err ? QByteArray("old") : "new file");
    struct stat st;
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, c.mode);
    EXPECT_EQ(st.st_gid, group);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
              QStringList{QStringLiteral("t.db")});
  }
}

// No name beside the file can be prepared to take the data elsewhere: a
// link there is neither followed nor removed. What a killed run of ours
// left there (regular files of this user) goes.
TEST(ReplaceFileContents, NeverWritesThroughPlantedNamesAndTidiesItsOwnLeftovers) {
  QTemporaryDir elsewhere;
  const QString victim = elsewhere.filePath(QStringLiteral("secret.txt"));
  const QString absent = elsewhere.filePath(QStringLiteral("made.txt"));
  QFile v(victim);
  ASSERT_TRUE(v.open(QIODevice::WriteOnly));
  v.write("secret");
  v.close();
  enum Kind { kLinkToVictim, kLinkToAbsent, kFile, kFolder };
  struct Planted {
    const char* name;  // beside report.xls
    Kind kind;
    bool stays;
  };
  const std::vector<Planted> scenarios[] = {
      {{"report.xls.~tmp", kLinkToVictim, true},
       {"report.xls.~tmpAAAAAA", kLinkToAbsent, true},
       {"report.xls.~tmpBBBBBB", kFile, false},
       {"report.xls.~tmpCCCCCCC", kFile, true},  // not a name of ours
       {"other.xls.~tmp", kFile, true}},
      {{"report.xls.~tmp", kFile, false}, {"report.xls.~tmpDDDDDD", kFolder, true}},
  };
  for (const std::vector<Planted>& planted : scenarios) {
    SCOPED_TRACE(planted.front().name + std::string(" and more"));
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("report.xls"));
    QStringList expected = {QStringLiteral("report.xls")};
    for (const Planted& p : planted) {
      const QString at = dir.filePath(QString::fromLatin1(p.name));
      if (p.kind == kLinkToVictim || p.kind == kLinkToAbsent)
        ASSERT_TRUE(QFile::link(p.kind == kLinkToVictim ? victim : absent, at));
      else if (p.kind == kFolder)
        ASSERT_TRUE(QDir().mkdir(at));
      else
        ASSERT_TRUE(QFile(at).open(QIODevice::WriteOnly));
      if (p.stays) expected << QString::fromLatin1(p.name);
    }
    expected.sort();
    for (int run = 0; run < 2; ++run) {  // a new file, then over the old one
      EXPECT_EQ(ReplaceFileContents(QFile::encodeName(path).toStdString(), "book", 4, true), 0);
      EXPECT_EQ(ReadAll(path), QByteArray("book"));
    }
    EXPECT_EQ(ReadAll(victim), QByteArray("secret"));
    EXPECT_FALSE(QFileInfo::exists(absent));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden |
                                             QDir::System,
                                         QDir::Name),
              expected);
  }
}

// A durable replacement: the new file's data is on the disk before the
// rename gives it the name, and the folder after it.
TEST(ReplaceFileContents, DataReachesTheDiskBeforeTheRenameAndTheFolderAfter) {
  QTemporaryDir dir;
  const std::string path = QFile::encodeName(dir.filePath(QStringLiteral("s.conf"))).toStdString();
  ASSERT_EQ(ReplaceFileContents(path, "old", 3, false), 0);
  FaultFiles files;
  files.Count();
  ASSERT_EQ(ReplaceFileContents(path, "new", 3, true), 0);
  // The steps on the new file, in order; the folder's sync is the last.
  std::vector<std::string> onNewFile;
  for (int n = 1; n <= files.Writes(); ++n) {
    const std::string name = files.Name(n);
    const size_t at = name.find(" s.conf.~tmp");
    if (at != std::string::npos) onNewFile.push_back(name.substr(0, at));
  }
  EXPECT_EQ(onNewFile, (std::vector<std::string>{"create", "write", "sync", "close", "rename"}));
  EXPECT_EQ(files.Name(files.Writes()).rfind("sync folder", 0), 0u)
      << files.Name(files.Writes());
}

// A system that is interrupted before every call, writes and reads at
// most five bytes a call, and, full, writes nothing.
class DribblingFiles : public FileOps {
 public:
  DribblingFiles() { SetFiles(this); }
  ~DribblingFiles() override { SetFiles(nullptr); }
  DribblingFiles(const DribblingFiles&) = delete;
  DribblingFiles& operator=(const DribblingFiles&) = delete;

  ssize_t PWrite(int fd, const void* data, size_t size, off_t pos) override {
    if (Interrupted()) return -1;
    return full ? 0 : FileOps::PWrite(fd, data, std::min<size_t>(size, 5), pos);
  }
  ssize_t PWriteV(int fd, const struct iovec* pieces, int count, off_t pos) override {
    if (Interrupted()) return -1;
    mostPieces = std::max(mostPieces, count);
    std::string some;
    for (int i = 0; i < count && some.size() < 5; ++i)
      some.append(static_cast<const char*>(pieces[i].iov_base), pieces[i].iov_len);
    return full ? 0 : FileOps::PWrite(fd, some.data(), std::min<size_t>(some.size(), 5), pos);
  }
  ssize_t PRead(int fd, void* data, size_t size, off_t pos) override {
    if (Interrupted()) return -1;
    return FileOps::PRead(fd, data, std::min<size_t>(size, 5), pos);
  }

  bool full = false;
  int mostPieces = 0;

 private:
  bool Interrupted() {
    interrupt_ = !interrupt_;
    if (interrupt_) errno = EINTR;
    return interrupt_;
  }
  bool interrupt_ = false;
};

// Short writes and reads go on where they stopped, interruptions are
// asked again, and a write of nothing is a full disk.
TEST(FileOps, ShortAndInterruptedWritesAndReadsAreCarriedThrough) {
  QTemporaryDir dir;
  const std::string path = QFile::encodeName(dir.filePath(QStringLiteral("f"))).toStdString();
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  ASSERT_GE(fd, 0);
  DribblingFiles files;
  const std::string text = "a text of more than a few bytes";
  ASSERT_TRUE(WriteAllAt(fd, 2, text.data(), text.size()));
  // More pieces than one call may take, of lengths that end mid-write.
  std::vector<std::string> parts;
  for (int i = 0; i < IOV_MAX + 300; ++i) parts.emplace_back(size_t(1 + i % 4), char('A' + i % 26));
  std::vector<struct iovec> pieces;
  std::string joined;
  for (std::string& part : parts) {
    pieces.push_back({part.data(), part.size()});
    joined += part;
  }
  const off_t at = off_t(2 + text.size());
  ASSERT_TRUE(WritePiecesAt(fd, at, pieces));
  EXPECT_LE(files.mostPieces, IOV_MAX);
  std::string back(2 + text.size() + joined.size() + 10, '#');
  ASSERT_EQ(ReadAllAt(fd, 0, back.data(), back.size()), ssize_t(back.size() - 10));
  EXPECT_EQ(back.substr(2, text.size()), text);
  EXPECT_EQ(back.substr(size_t(at), joined.size()), joined);
  files.full = true;
  errno = 0;
  EXPECT_FALSE(WriteAllAt(fd, 0, "x", 1));
  EXPECT_EQ(errno, ENOSPC);
  errno = 0;
  EXPECT_FALSE(WritePiecesAt(fd, 0, pieces));
  EXPECT_EQ(errno, ENOSPC);
  ::close(fd);
}

}  // namespace
