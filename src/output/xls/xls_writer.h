#pragma once
// Writes a workbook as an ".xls" file: a compound document whose root holds
// the stream "Workbook" with the workbook in the BIFF8 record format. The same
// model always gives the same bytes.
#include <QByteArray>
#include <QString>
#include <cstdint>
#include <stdexcept>
#include <vector>

#include "output/xls/xls_model.h"
#include "platform/operator_error.h"

// A failure of the writer; text() is what the operator is shown, detail()
// the storage's own words and result code.
class XlsError : public OperatorError {
 public:
  explicit XlsError(const QString& text, const QString& detail = QString())
      : OperatorError(text), detail_(detail) {}
  QString detail() const { return detail_; }

 private:
  QString detail_;
};

class XlsWriter : public WorkbookWriter {
 public:
  XlsWriter();
  ~XlsWriter() override;

  // Creates or replaces the file; throws XlsError saying in plain words what
  // went wrong, with "StgCreateDocFile error %d", "CreateStream error %d" or
  // the write's code in the detail. A failed write leaves
  // any older file of that name as it was.
  void SaveToFile(const XlsWorkbook& workbook, const QString& fileName) override;

  // The bytes of the "Workbook" stream for a workbook.
  QByteArray StreamBytes(const XlsWorkbook& workbook);
};
