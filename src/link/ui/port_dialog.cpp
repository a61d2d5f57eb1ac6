#include "link/ui/port_dialog.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeView>
#include <QVBoxLayout>

#include "platform/dialogs.h"
#include "platform/ports.h"

PortDialog::PortDialog(QWidget* parent) : QDialog(parent), model_(this) {
  setWindowTitle(QStringLiteral("Порт прибора"));
  setModal(true);

  auto* caption = new QLabel(QStringLiteral("Порт, к которому подключен прибор:"), this);

  view_ = new QTreeView(this);
  view_->setObjectName(QStringLiteral("portView"));
  view_->setModel(&model_);
  view_->setRootIsDecorated(false);
  view_->setItemsExpandable(false);
  view_->setAllColumnsShowFocus(true);
  view_->setSelectionMode(QAbstractItemView::SingleSelection);
  view_->setSelectionBehavior(QAbstractItemView::SelectRows);
  view_->setMinimumWidth(640);

  refresh_ = new QPushButton(QStringLiteral("Обновить список"), this);
  refresh_->setObjectName(QStringLiteral("refreshButton"));
  refresh_->setAutoDefault(false);
  // An adapter plugged in while the dialog is open: keep the selection.
  connect(refresh_, &QPushButton::clicked, this, [this] { Refresh(SelectedChoice()); });

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("ОК"));
  buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("okButton"));
  buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Отмена"));
  buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("cancelButton"));
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(view_, &QTreeView::doubleClicked, this, &QDialog::accept);

  auto* bottom = new QHBoxLayout;
  bottom->addWidget(refresh_);
  bottom->addStretch(1);
  bottom->addWidget(buttons);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(caption);
  layout->addWidget(view_, 1);
  layout->addLayout(bottom);

  Refresh(ChosenPort());
}

void PortDialog::Refresh(const QString& choice) {
  model_.Refresh(choice);
  view_->setCurrentIndex(model_.index(model_.RowOf(choice), 0));
  for (int c = 0; c < model_.columnCount(); ++c) view_->resizeColumnToContents(c);
}

QString PortDialog::SelectedChoice() const {
  const QModelIndex current = view_->currentIndex();
  return model_.ChoiceAt(current.isValid() ? current.row() : 0);
}

void PortDialog::accept() {
  if (!StoreChosenPort(SelectedChoice())) {
    Dialogs().Message(this, QMessageBox::Critical, ApplicationTitle(),
                      QStringLiteral("Не удалось записать выбор порта в настройки программы."),
                      QMessageBox::Ok);
    return;
  }
  QDialog::accept();
}
