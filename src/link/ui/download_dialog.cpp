#include "link/ui/download_dialog.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QVBoxLayout>

#include "platform/dialogs.h"

DownloadDialog::DownloadDialog(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::MSWindowsFixedSizeDialogHint),
      download_(*this) {
  setWindowTitle(QStringLiteral("Прием данных"));
  setModal(true);

  status_ = new QLabel(this);
  status_->setObjectName(QStringLiteral("statusLabel"));
  QFont bold = status_->font();
  bold.setBold(true);
  status_->setFont(bold);
  status_->setAlignment(Qt::AlignCenter);
  // Wide enough for either status text.
  status_->setMinimumWidth(status_->fontMetrics().horizontalAdvance(download_text::kWaiting) + 24);

  progress_ = new QProgressBar(this);
  progress_->setObjectName(QStringLiteral("progressBar"));
  progress_->setRange(0, 100);
  progress_->setValue(0);

  auto* group = new QGroupBox(QStringLiteral("Информация"), this);
  auto* grid = new QGridLayout(group);
  auto addLine = [&](int row, const QString& caption, const char* name) {
    grid->addWidget(new QLabel(caption, group), row, 0);
    auto* value = new QLabel(group);
    value->setObjectName(QLatin1String(name));
    grid->addWidget(value, row, 1);
    return value;
  };
  typeValue_ = addLine(0, QStringLiteral("Тип прибора:"), "typeValue");
  versionValue_ = addLine(1, QStringLiteral("Версия ПО:"), "versionValue");
  countValue_ = addLine(2, QStringLiteral("Количество записей:"), "countValue");
  grid->setColumnStretch(1, 1);

  cancel_ = new QPushButton(QStringLiteral("Отмена"), this);
  cancel_->setObjectName(QStringLiteral("cancelButton"));
  cancel_->setAutoDefault(false);
  connect(cancel_, &QPushButton::clicked, this, [this] { download_.Cancel(); });

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(cancel_);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(status_);
  layout->addWidget(progress_);
  layout->addWidget(group);
  layout->addLayout(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);
}

DownloadDialog::~DownloadDialog() = default;

void DownloadDialog::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (event->spontaneous()) return;  // restored from the task bar, not a new showing
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect area = screen->availableGeometry();
    move(area.center() - QPoint(width() / 2, height() / 2));
  }
  download_.Start();
}

void DownloadDialog::done(int r) {
  if (download_.Active()) {
    // Ends through Finished(false), which closes the dialog.
    download_.Cancel();
    return;
  }
  download_.Cancel();  // nothing runs: only makes sure the port is closed
  QDialog::done(r);
}

void DownloadDialog::StatusChanged(const QString& text) {
  statusText_ = text;
  ShowStatus();
}

void DownloadDialog::PortChanged(const QString& label) {
  portLabel_ = label;
  ShowStatus();
}

void DownloadDialog::ShowStatus() {
  QString text = statusText_;
  if (!portLabel_.isEmpty()) text += QStringLiteral("\nПорт: ") + portLabel_;
  status_->setText(text);
  status_->adjustSize();
}

void DownloadDialog::ProgressChanged(int percent) { progress_->setValue(percent); }

void DownloadDialog::IdentityChanged(const QString& type, const QString& version,
                                     const QString& count) {
  typeValue_->setText(type);
  versionValue_->setText(version);
  countValue_->setText(count);
}

void DownloadDialog::Failed(const QString& caption, const QString& text, const QString& detail) {
  Dialogs().DetailedMessage(this, QMessageBox::Critical, caption, text, detail, QMessageBox::Ok);
}

void DownloadDialog::Finished(bool ok) {
  QDialog::done(ok ? QDialog::Accepted : QDialog::Rejected);
}
