#include "platform/settings_store.h"

#include <QSettings>

SettingsStore::SettingsStore() = default;
SettingsStore::~SettingsStore() {
  if (settings_) settings_->sync();
}

void SettingsStore::Open() {
  if (settings_) return;
  settings_ = std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                          QStringLiteral("Merilan"), QStringLiteral("KLT3"));
  settings_->beginGroup(QStringLiteral("1.0"));
}

bool SettingsStore::IsOpen() const { return settings_ != nullptr; }

bool SettingsStore::ValueExists(const QString& name) const {
  return settings_ && settings_->contains(name);
}

QString SettingsStore::ReadString(const QString& name) const {
  if (!settings_) return QString();
  // A value of another type (hand-edited file) reads as its text form. An
  // unquoted text with commas parses as a list: join it back as written.
  const QVariant value = settings_->value(name);
  if (value.typeId() == QMetaType::QStringList)
    return value.toStringList().join(QStringLiteral(", "));
  return value.toString();
}

void SettingsStore::WriteString(const QString& name, const QString& text) {
  if (!settings_) return;
  settings_->setValue(name, text);
}

void SettingsStore::Sync() {
  if (settings_) settings_->sync();
}
