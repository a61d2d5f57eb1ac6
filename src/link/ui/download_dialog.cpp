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
#include <QTimer>
#include <QVBoxLayout>

#include "platform/dialogs.h"

TForm2::TForm2(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::MSWindowsFixedSizeDialogHint),
      SerialLink1(new TSerialLink(this)),
      Timer1(new QTimer(this)),
      protocol_(*this) {
  setWindowTitle(QStringLiteral("Прием данных"));
  setModal(true);

  SerialLink1->SetPort(pnCustom);
  SerialLink1->SetPortName(download_text::kCom1);
  SerialLink1->BaudRate = br9600;
  SerialLink1->DataBits = db8BITS;
  SerialLink1->StopBits = sb2BITS;
  SerialLink1->Parity = ptNONE;
  SerialLink1->HwFlow = hfNONERTSON;
  SerialLink1->SwFlow = sfNONE;
  SerialLink1->SetInBufSize(4096);
  SerialLink1->SetOutBufSize(4096);
  SerialLink1->SetPollingDelay(50);
  SerialLink1->EnableDTROnOpen = false;
  SerialLink1->OutputTimeout = 500;
  SerialLink1->OnReceiveData = [this](TSerialLink* sender, const char* data, uint32_t size) {
    SerialLink1ReceiveData(sender, data, size);
  };

  Timer1->setInterval(DownloadProtocol::kAnswerTimeoutMs);
  connect(Timer1, &QTimer::timeout, this, &TForm2::Timer1Timer);

  status_ = new QLabel(this);
  status_->setObjectName(QStringLiteral("Status"));
  QFont bold = status_->font();
  bold.setBold(true);
  status_->setFont(bold);
  status_->setAlignment(Qt::AlignCenter);
  // Wide enough for either status text.
  status_->setMinimumWidth(status_->fontMetrics().horizontalAdvance(download_text::kWaiting) + 24);

  progress_ = new QProgressBar(this);
  progress_->setObjectName(QStringLiteral("ProgressBar1"));
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
  typeValue_ = addLine(0, QStringLiteral("Тип прибора:"), "TypeValue");
  versionValue_ = addLine(1, QStringLiteral("Версия ПО:"), "VersionValue");
  countValue_ = addLine(2, QStringLiteral("Количество записей:"), "CountValue");
  grid->setColumnStretch(1, 1);

  button1_ = new QPushButton(QStringLiteral("Отмена"), this);
  button1_->setObjectName(QStringLiteral("Button1"));
  button1_->setAutoDefault(false);
  connect(button1_, &QPushButton::clicked, this, &TForm2::Button1Click);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(button1_);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(status_);
  layout->addWidget(progress_);
  layout->addWidget(group);
  layout->addLayout(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);
}

TForm2::~TForm2() {
  Timer1->stop();
  SerialLink1->CloseLink();
}

void TForm2::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (event->spontaneous()) return;  // restored from the task bar, not a new showing
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect area = screen->availableGeometry();
    move(area.center() - QPoint(width() / 2, height() / 2));
  }
  FormShow();
}

void TForm2::FormShow() { protocol_.Start(); }

void TForm2::SerialLink1ReceiveData(TSerialLink*, const char* data, uint32_t size) {
  protocol_.Receive(data, size);
}

void TForm2::Timer1Timer() { protocol_.TimerFired(); }

void TForm2::Button1Click() { protocol_.Cancel(); }

void TForm2::FormClose() { Timer1->stop(); }

void TForm2::done(int r) {
  FormClose();
  // However the dialog ends, the port is not left open behind it.
  SerialLink1->CloseLink();
  QDialog::done(r);
}

void TForm2::reject() {
  if (protocol_.Active()) {
    Button1Click();
  } else {
    SerialLink1->CloseLink();
    QDialog::reject();
  }
}

void TForm2::SetPortName(const QString& name) { SerialLink1->SetPortName(name); }
void TForm2::OpenLink() { SerialLink1->OpenLink(); }
void TForm2::CloseLink() { SerialLink1->CloseLink(); }
void TForm2::SendByte(uint8_t b) { SerialLink1->SendByte(b); }
void TForm2::StartTimer(int ms) { Timer1->start(ms); }
void TForm2::StopTimer() { Timer1->stop(); }

void TForm2::SetStatus(const QString& text) {
  status_->setText(text);
  status_->adjustSize();
}

void TForm2::SetProgress(int percent) { progress_->setValue(percent); }

void TForm2::SetIdentityLines(const QString& type, const QString& version, const QString& count) {
  typeValue_->setText(type);
  versionValue_->setText(version);
  countValue_->setText(count);
}

void TForm2::ShowError(const QString& caption, const QString& text) {
  Dialogs().Message(this, QMessageBox::Critical, caption, text, QMessageBox::Ok);
}

void TForm2::Finish(bool ok) { done(ok ? QDialog::Accepted : QDialog::Rejected); }
