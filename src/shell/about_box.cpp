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

AboutBox::AboutBox(QWidget* parent) : QDialog(parent, Qt::Tool) {
  setWindowTitle(QString::fromUtf8("О программе"));
  auto* layout = new QVBoxLayout(this);
  productName_ = new QLabel(QString::fromUtf8("ФИР-ТЛ7"), this);
  productName_->setObjectName(QStringLiteral("productName"));
  QFont bold = productName_->font();
  bold.setBold(true);
  bold.setPointSizeF(bold.pointSizeF() * 1.5);
  productName_->setFont(bold);
  productName_->setAlignment(Qt::AlignCenter);
  versionLabel_ = new QLabel(this);
  versionLabel_->setObjectName(QStringLiteral("versionLabel"));
  versionLabel_->setAlignment(Qt::AlignCenter);
  commentsLabel_ =
      new QLabel(QString::fromUtf8("Программа для передачи данных с приборов ФИР-ТЛ7"), this);
  commentsLabel_->setObjectName(QStringLiteral("commentsLabel"));
  commentsLabel_->setAlignment(Qt::AlignCenter);
  okButton_ = new QPushButton(QString::fromUtf8("ОК"), this);
  okButton_->setObjectName(QStringLiteral("okButton"));
  okButton_->setDefault(true);
  layout->addWidget(productName_);
  layout->addWidget(versionLabel_);
  layout->addWidget(commentsLabel_);
  layout->addSpacing(8);
  layout->addWidget(okButton_, 0, Qt::AlignHCenter);
  layout->setSizeConstraint(QLayout::SetFixedSize);
  connect(okButton_, &QPushButton::clicked, this, &QDialog::accept);
}

// The version is read at each showing and the box centred on the screen.
void AboutBox::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  versionLabel_->setText(QString::fromUtf8("Версия ") + ProgramFileVersion());
  adjustSize();
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    move(screen->geometry().center() - rect().center());
  }
}
