#include "shell/pictures.h"

#include <QString>

// The resources live in a static library, whose initialiser the linker would
// drop unless something refers to it.
static void EnsurePictures() {
  static const bool loaded = [] {
    Q_INIT_RESOURCE(shell);
    return true;
  }();
  (void)loaded;
}

QIcon Picture(int index) {
  EnsurePictures();
  QIcon icon;
  if (index < 0 || index >= kPictureCount) return icon;
  for (int size : {16, 24, 32}) {
    icon.addFile(QStringLiteral(":/shell/pictures/%1_%2.png").arg(index).arg(size),
                 QSize(size, size));
  }
  return icon;
}

QPixmap SplashPicture() {
  EnsurePictures();
  return QPixmap(QStringLiteral(":/shell/pictures/splash.png"));
}
