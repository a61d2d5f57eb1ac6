// A column layout as it comes back from the settings file: arbitrary text is
// written as the settings store writes its file and read back by the
// platform's settings reader; it must come back unchanged, and the layout
// parser must then refuse or accept it without crashing, and whatever it
// accepts must write back to a text that reads back the same.
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "platform/settings_store.h"
#include "views/layout/column_layout_text.h"

namespace {

// In memory where the system offers it: the reader needs a file.
QTemporaryDir& Folder() {
  static QTemporaryDir dir(QDir(QStringLiteral("/dev/shm")).exists()
                               ? QStringLiteral("/dev/shm/klt3-fuzz-XXXXXX")
                               : QDir::tempPath() + QStringLiteral("/klt3-fuzz-XXXXXX"));
  return dir;
}

// What the settings file gives back for the text stored as Table_1.
QString ThroughTheFile(const QString& text) {
  static int n = 0;
  // A new name each time: the reader keeps what it read of a name.
  const QString path = Folder().filePath(QStringLiteral("s%1.conf").arg(++n));
  {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly)) std::abort();
    f.write(SettingsStore::FileText({{QStringLiteral("1.0/Table_1"), text}}));
  }
  QString back;
  {
    const QSettings s(path, QSettings::IniFormat);
    back = s.value(QStringLiteral("1.0/Table_1")).toString();
  }
  QFile::remove(path);
  return back;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), int(size));
  const QString stored = ThroughTheFile(text);
  if (stored != text) std::abort();
  try {
    const std::vector<ColumnLayout> columns = ParseColumnLayoutText(NormaliseLineBreaks(stored));
    const QString written = ColumnLayoutText(columns);
    // A text that came back unchanged once does again: only a new one goes
    // through the file.
    if (written != stored && ThroughTheFile(written) != written) std::abort();
    const std::vector<ColumnLayout> back = ParseColumnLayoutText(written);
    if (back.size() != columns.size()) std::abort();
    for (size_t i = 0; i < back.size(); ++i)
      if (!(back[i] == columns[i])) std::abort();
  } catch (const LayoutTextError&) {
  }
  return 0;
}
