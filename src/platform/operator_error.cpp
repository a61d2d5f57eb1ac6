#include "platform/operator_error.h"

#include <errno.h>

#include <cstring>

OperatorError::OperatorError(const QString& text)
    : std::runtime_error(text.toStdString()), text_(text) {}

QString OperatorText(const std::exception& e) {
  if (auto* own = dynamic_cast<const OperatorError*>(&e)) return own->text();
  return QString::fromUtf8(e.what());
}

QString FileWriteReason(int err) {
  switch (err) {
    case ENOENT:
    case ENOTDIR:
      return QStringLiteral("нет такой папки");
    case EACCES:
    case EPERM:
      return QStringLiteral("папка защищена от записи");
    case EDQUOT:
      return FileErrorText(ENOSPC);
    default:
      return FileErrorText(err);
  }
}

QString FileErrorText(int err) {
  switch (err) {
    case ENOSPC:
      return QStringLiteral("нет места на диске");
    case EFBIG:
      return QStringLiteral("превышен допустимый размер файла");
    case EACCES:
    case EPERM:
      return QStringLiteral("доступ запрещён");
    case ENOENT:
      return QStringLiteral("файл или папка не найдены");
    case ENOTDIR:
      return QStringLiteral("папка не найдена");
    case EROFS:
      return QStringLiteral("диск защищён от записи");
    case EIO:
      return QStringLiteral("ошибка ввода-вывода");
    case EISDIR:
      return QStringLiteral("это папка, а не файл");
    case ENODEV:
      return QStringLiteral("это не обычный файл, а канал или устройство");
    case EAGAIN:
    case EBUSY:
      return QStringLiteral("файл занят другой программой");
    default:
      return QString::fromLocal8Bit(std::strerror(err));
  }
}
