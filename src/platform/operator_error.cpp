#include "platform/operator_error.h"

OperatorError::OperatorError(const QString& text)
    : std::runtime_error(text.toStdString()), text_(text) {}

QString OperatorText(const std::exception& e) {
  if (auto* own = dynamic_cast<const OperatorError*>(&e)) return own->text();
  return QString::fromUtf8(e.what());
}
