#pragma once
// "с … по …" above the plate grid: the range of dates of the plate tests
// shown. Each end counts while its box is ticked; the operator changing a
// date ticks its box.
#include <QWidget>

#include "store/measurement_table.h"

class QCheckBox;
class QDateEdit;
class QLabel;

namespace views {

class DateRangeBar : public QWidget {
  Q_OBJECT

 public:
  explicit DateRangeBar(QWidget* parent = nullptr);

  // The ticked ends; unbounded with neither ticked.
  DateRange Range() const;
  // Both ends unticked, on the dates of `span` where it has them (the first
  // and last date of the tests), telling no one.
  void Reset(const DateRange& span);

 signals:
  // The operator changed the range.
  void RangeChanged();

 private:
  void DateChanged(QCheckBox* box);
  void Changed();

  QCheckBox* fromBox_;
  QDateEdit* fromEdit_;
  QCheckBox* toBox_;
  QDateEdit* toEdit_;
  QLabel* emptyNote_;  // tells why an inverted range shows no row
};

}  // namespace views
