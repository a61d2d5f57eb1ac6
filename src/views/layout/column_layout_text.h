#pragma once
// The stored form of a view's column layout (the settings values Table_1 and
// Table_2): the text form of a column collection, one "item" per column with
// only the properties that differ from their defaults, lines ended by CR LF.
#include <QString>
#include <QStringList>
#include <cstdint>
#include <stdexcept>
#include <vector>

#include "platform/colors.h"
#include "platform/operator_error.h"

enum class TitleState { SortedNone = 0, SortedUp = 1, SortedDown = 2 };
enum class CellAlign { Default, Left, Right, Center };

// A column's own font; carried through a layout, never changed here.
struct LayoutFont {
  QString charset = QStringLiteral("DEFAULT_CHARSET");  // identifier or integer text
  uint32_t color = kClWindowText;
  int height = -11;
  QString name = QStringLiteral("MS Sans Serif");
  QStringList style;
};

// The column properties a layout carries, at their defaults.
struct ColumnLayout {
  QString fieldName;
  QStringList optionsVisual;
  TitleState titleState = TitleState::SortedNone;
  QString footerState = QStringLiteral("fsNone");
  int width = 45;
  int layoutLevel = 0;
  int layoutIndex = 0;
  uint32_t color = kClNone;
  CellAlign alignment = CellAlign::Default;
  bool hasFont = false;
  LayoutFont font;
  int sortOrder = -1;

  bool operator==(const ColumnLayout& o) const;
};

class LayoutTextError : public OperatorError {
 public:
  explicit LayoutTextError(const QString& text) : OperatorError(text) {}
};

// Splits at CR, LF or CR LF and ends every line with CR LF.
QString NormaliseLineBreaks(const QString& text);

// The text of a collection, CR LF after every line.
QString ColumnLayoutText(const std::vector<ColumnLayout>& columns);

// Parses a stored text (any line breaks); throws LayoutTextError.
std::vector<ColumnLayout> ParseColumnLayoutText(const QString& text);

// Colour value <-> name of the fixed colour table ("" / false when none).
QString ColorName(uint32_t value);
bool ColorFromName(const QString& name, uint32_t* value);
