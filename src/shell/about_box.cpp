#include "shell/about_box.h"

#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QVBoxLayout>

#ifndef KLT3_VERSION
#define KLT3_VERSION ""
#endif

QString FileVersionText(const QString& compiled) {
  static const QRegularExpression kPattern(QStringLiteral("^\\d{1,5}(\\.\\d{1,5}){0,3}$"));
  const QString text = compiled.trimmed();
  if (!kPattern.match(text).hasMatch()) return QStringLiteral("0.0.0.0");
  QStringList parts = text.split(QLatin1Char('.'));
  QStringList out;
  for (const QString& p : parts) out << QString::number(p.toUInt());
  while (out.size() < 4) out << QStringLiteral("0");
  return out.join(QLatin1Char('.'));
}

QString ProgramFileVersion() { return FileVersionText(QStringLiteral(KLT3_VERSION)); }

Tform6::Tform6(QWidget* parent) : QDialog(parent, Qt::Tool) {
  setWindowTitle(QString::fromUtf8("О программе"));
  auto* layout = new QVBoxLayout(this);
  ProductName = new QLabel(QString::fromUtf8("ФИР-ТЛ7"), this);
  QFont bold = ProductName->font();
  bold.setBold(true);
  bold.setPointSizeF(bold.pointSizeF() * 1.5);
  ProductName->setFont(bold);
  ProductName->setAlignment(Qt::AlignCenter);
  Version = new QLabel(this);
  Version->setAlignment(Qt::AlignCenter);
  Comments =
      new QLabel(QString::fromUtf8("Программа для передачи данных с приборов ФИР-ТЛ7"), this);
  Comments->setAlignment(Qt::AlignCenter);
  Button1 = new QPushButton(QString::fromUtf8("Ок"), this);
  Button1->setDefault(true);
  layout->addWidget(ProductName);
  layout->addWidget(Version);
  layout->addWidget(Comments);
  layout->addSpacing(8);
  layout->addWidget(Button1, 0, Qt::AlignHCenter);
  layout->setSizeConstraint(QLayout::SetFixedSize);
  connect(Button1, &QPushButton::clicked, this, &Tform6::Button1Click);
}

void Tform6::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  FormShow();
}

void Tform6::FormShow() {
  Version->setText(QString::fromUtf8("Версия ") + ProgramFileVersion());
  adjustSize();
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    move(screen->geometry().center() - rect().center());
  }
}

void Tform6::Button1Click() { accept(); }
