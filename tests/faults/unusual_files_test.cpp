// A FIFO, a folder or a device where a table, its index, a memory image or
// the settings file belongs: every reader refuses it at once with the
// reason, never waits on it, and leaves it where it is.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <functional>

#include "link/memory_image_file.h"
#include "platform/ports.h"
#include "platform/settings_store.h"
#include "store/table_session.h"
#include "support/planted_files.h"
#include "support/store_fixture.h"
#include "support/test_env.h"

namespace {

// What a reader made of the planted thing: the text it refused it with
// (empty when it took it without a word).
using Reader = std::function<QString(const QString& path)>;

QString OpenTable(const QString& path, MeasurementTable::OpenMode mode) {
  TableSession session;
  try {
    session.Open(path, mode);
  } catch (const TableError& e) {
    if (session.InUse()) return QStringLiteral("in use after the refusal");
    return e.text();
  }
  return QString();
}

// Saves a setting: the text the save was refused with, if it was.
QString SaveASetting(SettingsStore& store) {
  store.WriteString(QStringLiteral("Default_dir"), QStringLiteral("/home"));
  try {
    store.Sync();
  } catch (const SettingsError& e) {
    return e.text();
  }
  return QString();
}

TEST(UnusualFiles, AreRefusedAtOnceWithTheReasonAndLeftAlone) {
  QTemporaryDir dir;
  // A table whose header says its index holds a sort tag.
  QString sorted;
  {
    MeasurementTable maker;
    sorted = MakeStoreTable(maker, dir, {PlateRow(1, 5, 1, 2), PlateRow(2, 5, 3, 4)}, "sorted.db");
    maker.AddSortTag(QStringLiteral("tab1"), QStringLiteral("P"), true);
  }
  const QString sortedIndex = IndexFileOf(sorted);
  ASSERT_TRUE(QFile::remove(sortedIndex));
  const QByteArray sortedBytes = ReadAll(sorted);
  ASSERT_EQ(sortedBytes[28], 1);  // the index flag

  const QString settingsFile = SettingsFilePath();
  ASSERT_TRUE(QDir().mkpath(QFileInfo(settingsFile).path()));

  const struct {
    const char* what;
    QString path;  // where the thing is planted
    Reader read;
  } readers[] = {
      {"table opened for work", dir.filePath("t.db"),
       [](const QString& path) { return OpenTable(path, MeasurementTable::OpenMode::Write); }},
      {"table opened to read", dir.filePath("t.db"),
       [](const QString& path) { return OpenTable(path, MeasurementTable::OpenMode::ReadOnly); }},
      {"index beside the table", sortedIndex,
       [&](const QString&) {
         const QString text = OpenTable(sorted, MeasurementTable::OpenMode::Write);
         EXPECT_TRUE(text.contains(QDir::toNativeSeparators(sortedIndex))) << text.toStdString();
         EXPECT_EQ(ReadAll(sorted), sortedBytes);
         return text;
       }},
      {"memory image", dir.filePath("image.bin"),
       [](const QString& path) {
         QByteArray bytes;
         QString error;
         return ReadMemoryImageFileBytes(path, &bytes, &error) ? QString() : error;
       }},
      {"settings file", settingsFile,
       [](const QString&) {
         // Nothing is read from it, the ports lead where they do without
         // settings, and nothing is written over it.
         EXPECT_TRUE(ChosenPort().isEmpty());
         EXPECT_EQ(ResolvePortName(QStringLiteral("\\\\.\\COM1")), QStringLiteral("/dev/ttyS0"));
         EXPECT_FALSE(StoreChosenPort(QStringLiteral("COM2")));
         SettingsStore store;
         store.Open();
         EXPECT_TRUE(store.IsOpen());
         EXPECT_FALSE(store.ValueExists(QStringLiteral("Default_dir")));
         return SaveASetting(store);
       }},
      {"lock file of the settings", settingsFile + QStringLiteral(".lock"),
       [](const QString&) {
         SettingsStore store;
         store.Open();
         return SaveASetting(store);
       }},
  };
  for (const auto& r : readers) {
    for (const Planted kind : {Planted::Fifo, Planted::Folder, Planted::Device}) {
      SCOPED_TRACE(std::string(r.what) + ", " + PlantedName(kind));
      QFile::remove(r.path);
      const PlantedFile planted(r.path, kind);
      ASSERT_TRUE(planted.Ok());
      const QString text = r.read(r.path);
      EXPECT_TRUE(text.contains(PlantedReason(kind))) << text.toStdString();
      EXPECT_FALSE(planted.Waited());
      EXPECT_TRUE(planted.StillThere());
    }
  }
}

}  // namespace
