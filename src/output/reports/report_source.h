#pragma once
// What a report's data band runs over: rows walked with a cursor from the
// first to the last, in the order and filter the source presents them.
#include <QString>
#include <QStringList>

#include "store/dbf/mdx_index.h"
#include "store/measurement_table.h"

class ReportRowSource {
 public:
  virtual ~ReportRowSource() = default;
  virtual void First() = 0;
  virtual void Next() = 0;
  virtual bool AtEnd() const = 0;
  // The field of the current row; the name is in upper case.
  virtual FieldValue GetField(const QString& name) const = 0;
  // The files the rows come from: a report is never saved over them.
  virtual QStringList Files() const { return {}; }
};

// The open table itself: the report moves the table's own cursor, so that
// afterwards its current row is the last row of the report.
class TableReportSource : public ReportRowSource {
 public:
  explicit TableReportSource(MeasurementTable* table) : table_(table), walk_(*table) {}
  void First() override { table_->First(); }
  void Next() override { table_->Next(); }
  bool AtEnd() const override { return table_->AtEnd(); }
  FieldValue GetField(const QString& name) const override { return table_->GetField(name); }
  QStringList Files() const override {
    return {table_->FilePath(), dbf::Index::PathFor(table_->FilePath())};
  }

 private:
  MeasurementTable* table_;
  // The views follow the cursor once, to where the report leaves it.
  MeasurementTable::Walk walk_;
};
