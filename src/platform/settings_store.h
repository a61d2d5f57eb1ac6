#pragma once
// The per-user settings key "\Software\Merilan\KLT3\1.0": organisation
// "Merilan", application "KLT3", every value inside the group "1.0".
// Opened once by the main window and kept open until the end. Values are
// read through the platform's settings reader; written values wait in the
// store until Sync, which rewrites the file in one replacement through the
// program's file operations, so that a failed write leaves the old file.
#include <QMap>
#include <QString>
#include <memory>

#include "platform/operator_error.h"

// The settings file could not be written; the text says why.
class SettingsError : public OperatorError {
 public:
  explicit SettingsError(const QString& text) : OperatorError(text) {}
};

class QSettings;

// The file the platform's settings reader keeps the settings in (empty
// where they live elsewhere, as in the registry).
QString SettingsFilePath();
// Whether that reader may read it: false, with the reason in *why, when a
// folder, a FIFO or a device stands in its place (the reader would wait
// on a FIFO for a writer for good). A missing file is usable.
bool SettingsFileUsable(QString* why = nullptr);

class SettingsStore {
 public:
  SettingsStore();
  ~SettingsStore();
  SettingsStore(const SettingsStore&) = delete;
  SettingsStore& operator=(const SettingsStore&) = delete;

  // Creates the key when missing, then opens it. A settings file that cannot
  // be read leaves the store usable with no values; one that is no regular
  // file is not read at all, and Sync refuses to write it.
  void Open();
  bool IsOpen() const;

  bool ValueExists(const QString& name) const;
  QString ReadString(const QString& name) const;
  void WriteString(const QString& name, const QString& text);
  // Writes the values written since the last Sync to the file, merged into
  // what the file holds now (another program may have written it). Throws
  // SettingsError; the values then stay pending for the next Sync.
  void Sync();
  // The settings file.
  QString FileName() const;

  // The file text of every group and value given ("group/key" paths; a key
  // without a group goes to the group "General"), as the platform's reader
  // reads it back.
  static QByteArray FileText(const QMap<QString, QString>& values);

 private:
  bool open_ = false;
  QString path_;
  std::unique_ptr<QSettings> settings_;  // none while the file is unusable
  QMap<QString, QString> pending_;  // by name within the group
};
