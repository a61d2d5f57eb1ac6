#include "link/ui/download_dialog.h"

TForm2::TForm2(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QString::fromUtf8("Прием данных"));
}
