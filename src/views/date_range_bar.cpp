#include "views/date_range_bar.h"

#include <QCheckBox>
#include <QDateEdit>
#include <QHBoxLayout>
#include <QLabel>
#include <QSignalBlocker>

namespace views {

namespace {

QDateEdit* NewDateEdit(QWidget* parent, const char* name) {
  auto* edit = new QDateEdit(QDate::currentDate(), parent);
  edit->setObjectName(QLatin1String(name));
  edit->setDisplayFormat(QStringLiteral("dd.MM.yyyy"));
  edit->setCalendarPopup(true);
  return edit;
}

}  // namespace

DateRangeBar::DateRangeBar(QWidget* parent) : QWidget(parent) {
  fromBox_ = new QCheckBox(QStringLiteral("с"), this);
  fromBox_->setObjectName(QStringLiteral("datesFromBox"));
  fromEdit_ = NewDateEdit(this, "datesFrom");
  toBox_ = new QCheckBox(QStringLiteral("по"), this);
  toBox_->setObjectName(QStringLiteral("datesToBox"));
  toEdit_ = NewDateEdit(this, "datesTo");
  emptyNote_ = new QLabel(QStringLiteral("Дата «по» раньше даты «с»: таких испытаний нет"), this);
  emptyNote_->setObjectName(QStringLiteral("datesEmptyNote"));
  emptyNote_->hide();

  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(4, 2, 4, 2);
  layout->addWidget(new QLabel(QStringLiteral("Даты испытаний:"), this));
  for (QWidget* w :
       std::initializer_list<QWidget*>{fromBox_, fromEdit_, toBox_, toEdit_, emptyNote_})
    layout->addWidget(w);
  layout->addStretch(1);

  connect(fromBox_, &QCheckBox::toggled, this, &DateRangeBar::Changed);
  connect(toBox_, &QCheckBox::toggled, this, &DateRangeBar::Changed);
  connect(fromEdit_, &QDateEdit::dateChanged, this, [this] { DateChanged(fromBox_); });
  connect(toEdit_, &QDateEdit::dateChanged, this, [this] { DateChanged(toBox_); });
}

// A date changed counts at once; ticking its box tells of the change.
void DateRangeBar::DateChanged(QCheckBox* box) {
  if (box->isChecked())
    Changed();
  else
    box->setChecked(true);
}

DateRange DateRangeBar::Range() const {
  return {fromBox_->isChecked() ? fromEdit_->date() : QDate(),
          toBox_->isChecked() ? toEdit_->date() : QDate()};
}

void DateRangeBar::Reset(const DateRange& span) {
  const QSignalBlocker blockFrom(fromBox_), blockTo(toBox_), blockFromEdit(fromEdit_),
      blockToEdit(toEdit_);
  fromBox_->setChecked(false);
  toBox_->setChecked(false);
  if (span.from.isValid()) fromEdit_->setDate(span.from);
  if (span.to.isValid()) toEdit_->setDate(span.to);
  emptyNote_->hide();
}

void DateRangeBar::Changed() {
  const DateRange range = Range();
  emptyNote_->setVisible(range.from.isValid() && range.to.isValid() && range.to < range.from);
  emit RangeChanged();
}

}  // namespace views
