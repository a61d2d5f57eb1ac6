#pragma once
// The per-user settings key "\Software\Merilan\KLT3\1.0": organisation
// "Merilan", application "KLT3", every value inside the group "1.0".
// Opened once by the main window and kept open until the end.
#include <QString>
#include <memory>

class QSettings;

class SettingsStore {
 public:
  SettingsStore();
  ~SettingsStore();
  SettingsStore(const SettingsStore&) = delete;
  SettingsStore& operator=(const SettingsStore&) = delete;

  // Creates the key when missing, then opens it. A settings file that cannot
  // be read leaves the store usable with no values.
  void Open();
  bool IsOpen() const;

  bool ValueExists(const QString& name) const;
  QString ReadString(const QString& name) const;
  void WriteString(const QString& name, const QString& text);
  // Pushes pending writes to disk (QSettings otherwise writes lazily).
  void Sync();

 private:
  std::unique_ptr<QSettings> settings_;
};
