#pragma once
// One way from an exception to what the operator reads: the program's own
// failures carry their Russian text beside what(), which stays for logs and
// for code that knows only std::exception.
#include <QString>
#include <exception>
#include <stdexcept>

class OperatorError : public std::runtime_error {
 public:
  explicit OperatorError(const QString& text);
  QString text() const { return text_; }

 private:
  QString text_;
};

// An OperatorError's text; any other exception's what(), read as UTF-8.
QString OperatorText(const std::exception& e);

// The Russian reason of a failed file operation, from its errno value
// ("нет места на диске", ...).
QString FileErrorText(int err);

// The reason a new file could not be written into its folder, in the
// operator's words ("нет такой папки", "папка защищена от записи", "нет
// места на диске", else as FileErrorText).
QString FileWriteReason(int err);
