#pragma once
// The download dialog "Прием данных": finds the instrument on COM1 or COM2,
// identifies it and receives its memory into DeviceDump.
#include <QDialog>

class TForm2 : public QDialog {
  Q_OBJECT
 public:
  explicit TForm2(QWidget* parent = nullptr);
};
