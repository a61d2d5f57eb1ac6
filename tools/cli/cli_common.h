#pragma once
// What every command of klt3-cli shares: its exit codes, its messages on
// standard error, and the command line split into options and operands.
#include <QString>
#include <QStringList>

namespace cli {

// One exit code per kind of failure, so that scripts can tell them apart.
enum Exit {
  kOk = 0,
  kUsage = 1,          // wrong command line
  kNotFound = 2,       // no instrument on any port tried (or on --port)
  kTransmission = 3,   // a frame with a wrong checksum, or the line lost amid the transfer
  kWrongDevice = 4,    // an instrument the program refuses
  kNoData = 5,         // the instrument holds no records
  kTableWrite = 6,     // the table file (or the memory image, the log) could not be written
  kTableRead = 7,      // the table file is missing or damaged
  kExport = 8,         // the workbook could not be written
  kReport = 9,         // the report could not be written
  kNoRows = 10,        // no such series in the table
  kSettings = 11,      // the program's settings could not be written
  kImageRead = 12,     // the memory image file is missing or is not one
  kInterrupted = 130,  // Ctrl+C (SIGINT) or SIGTERM
};

// Writes a line to standard error / standard output (UTF-8).
void Error(const QString& text);
void Out(const QString& text);

// Whether another program has the table file open for writing (an open
// table carries a write lock on its file).
bool HeldByAnotherWriter(const QString& path);

// A command line: "--name value" options, "--flag" flags and operands.
class Args {
 public:
  // `valued` names the options that take a value. Returns false with a
  // message in *error for an unknown option or a missing value.
  bool Parse(const QStringList& args, const QStringList& valued, const QStringList& flags,
             QString* error);
  bool Has(const QString& name) const { return names_.contains(name); }
  QString Value(const QString& name) const;
  const QStringList& Operands() const { return operands_; }

 private:
  QStringList names_;
  QStringList values_;
  QStringList operands_;
};

int PortsCommand(const QStringList& args);
extern const char kPortsHelp[];

}  // namespace cli
