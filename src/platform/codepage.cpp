#include "platform/codepage.h"

#include <QStringDecoder>
#include <QStringEncoder>

QByteArray ToCp1251(const QString& text) {
  QStringEncoder enc("windows-1251", QStringConverter::Flag::Stateless);
  return enc(text);
}

QString FromCp1251(const QByteArray& bytes) {
  QStringDecoder dec("windows-1251", QStringConverter::Flag::Stateless);
  return dec(bytes);
}

QString FromCp1251(const char* data, int size) {
  return FromCp1251(QByteArray::fromRawData(data, size));
}
