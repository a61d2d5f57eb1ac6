#include "platform/write_target.h"

#include <QDir>
#include <QFile>

#include "platform/file_ops.h"
#include "platform/operator_error.h"

QString WriteTargetRefusal(const QString& target, const QStringList& sources) {
  const std::string path = QFile::encodeName(target).toStdString();
  const QString shown = QDir::toNativeSeparators(target);
  for (const QString& source : sources)
    if (IsSameFile(path, QFile::encodeName(source).toStdString()))
      return QStringLiteral("Нельзя записать в файл %1: из него читаются данные. Выберите другое имя")
          .arg(shown);
  if (HeldByAnotherWriter(path))
    return QStringLiteral("Нельзя записать в файл %1: он открыт другой программой").arg(shown);
  if (IsReadOnlyFile(path))
    return QStringLiteral("Нельзя записать в файл %1: файл защищён от записи").arg(shown);
  return QString();
}

void CheckWriteTarget(const QString& target, const QStringList& sources) {
  const QString reason = WriteTargetRefusal(target, sources);
  if (!reason.isEmpty()) throw OperatorError(reason);
}

int ReplaceFile(const QString& path, const QByteArray& bytes, bool durable) {
  return ReplaceFileContents(QFile::encodeName(path).toStdString(), bytes.constData(),
                             size_t(bytes.size()), durable);
}
