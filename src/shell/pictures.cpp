#include "shell/pictures.h"

#include <QString>

QIcon Picture(int index) {
  QIcon icon;
  if (index < 0 || index >= kPictureCount) return icon;
  for (int size : {16, 24, 32}) {
    icon.addFile(QStringLiteral(":/shell/pictures/%1_%2.png").arg(index).arg(size), QSize(size, size));
  }
  return icon;
}

QPixmap SplashPicture() { return QPixmap(QStringLiteral(":/shell/pictures/splash.png")); }
