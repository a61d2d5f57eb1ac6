#include "views/layout/column_layout_text.h"

#include <QRegularExpression>
#include <limits>

namespace {

struct NamedColor {
  const char* name;
  uint32_t value;
};

constexpr uint32_t Rgb(uint32_t r, uint32_t g, uint32_t b) { return r | (g << 8) | (b << 16); }

// The colours the colour dialog can yield under a name of their own.
const NamedColor kColorTable[] = {
    {"clBlack", Rgb(0, 0, 0)},
    {"clMaroon", Rgb(128, 0, 0)},
    {"clGreen", Rgb(0, 128, 0)},
    {"clOlive", Rgb(128, 128, 0)},
    {"clNavy", Rgb(0, 0, 128)},
    {"clPurple", Rgb(128, 0, 128)},
    {"clTeal", Rgb(0, 128, 128)},
    {"clGray", Rgb(128, 128, 128)},
    {"clSilver", Rgb(192, 192, 192)},
    {"clRed", Rgb(255, 0, 0)},
    {"clLime", Rgb(0, 255, 0)},
    {"clYellow", Rgb(255, 255, 0)},
    {"clBlue", Rgb(0, 0, 255)},
    {"clFuchsia", Rgb(255, 0, 255)},
    {"clAqua", Rgb(0, 255, 255)},
    {"clWhite", Rgb(255, 255, 255)},
    {"clMoneyGreen", Rgb(192, 220, 192)},
    {"clSkyBlue", Rgb(166, 202, 240)},
    {"clCream", Rgb(255, 251, 240)},
    {"clMedGray", Rgb(160, 160, 164)},
    // Not RGB values; only a font's colour or a hand-edited text uses them.
    {"clNone", kClNone},
    {"clWindowText", kClWindowText},
};

const char* const kTitleStates[] = {"tsSortedNone", "tsSortedUp", "tsSortedDown"};
const char* const kAlignments[] = {"talDefault", "talLeftJustify", "talRightJustify", "talCenter"};
const char* const kFooterStates[] = {"fsAverage", "fsCount", "fsMax", "fsMin", "fsSum", "fsNone"};

QString QuoteString(const QString& s) {
  QString out;
  bool inQuotes = false;
  for (const QChar c : s) {
    if (c.unicode() < 32 || c == QLatin1Char('\'')) {
      if (inQuotes) out += QLatin1Char('\'');
      inQuotes = false;
      out += QLatin1Char('#') + QString::number(c.unicode());
    } else {
      if (!inQuotes) out += QLatin1Char('\'');
      inQuotes = true;
      out += c;
    }
  }
  if (inQuotes) out += QLatin1Char('\'');
  if (out.isEmpty()) out = QStringLiteral("''");
  return out;
}

QString ColorText(uint32_t value) {
  const QString name = ColorName(value);
  return name.isEmpty() ? QString::number(static_cast<int32_t>(value)) : name;
}

QString SetText(const QStringList& members) {
  return QLatin1Char('[') + members.join(QStringLiteral(", ")) + QLatin1Char(']');
}

// Reads one stored text line by line; every failure names the line.
class Parser {
 public:
  explicit Parser(const QString& text)
      : lines_(NormaliseLineBreaks(text).split(QStringLiteral("\r\n"))) {}

  std::vector<ColumnLayout> Run() {
    std::vector<ColumnLayout> out;
    QString line = NextNonEmpty();
    if (!line.startsWith(QLatin1String("object ")) || line.mid(7).trimmed().isEmpty())
      Fail(QStringLiteral("ожидалось \"object\""));
    bool sawData = false;
    for (;;) {
      line = NextNonEmpty();
      if (line == QLatin1String("end")) break;
      QString name, value;
      SplitProperty(line, &name, &value);
      if (name.compare(QLatin1String("Data"), Qt::CaseInsensitive) != 0 || sawData)
        Fail(QStringLiteral("неизвестное свойство \"%1\"").arg(name));
      sawData = true;
      if (value == QLatin1String("<>")) continue;
      if (value != QLatin1String("<")) Fail(QStringLiteral("ожидалось \"<\""));
      ReadItems(&out);
    }
    for (int i = pos_; i < lines_.size(); ++i)
      if (!lines_[i].trimmed().isEmpty()) {
        pos_ = i + 1;
        Fail(QStringLiteral("лишний текст после \"end\""));
      }
    return out;
  }

 private:
  [[noreturn]] void Fail(const QString& what) const {
    throw LayoutTextError(
        QStringLiteral("Сохранённая раскладка столбцов повреждена (строка %1: %2)")
            .arg(pos_)
            .arg(what));
  }

  QString NextNonEmpty() {
    while (pos_ < lines_.size()) {
      const QString line = lines_[pos_++].trimmed();
      if (!line.isEmpty()) return line;
    }
    Fail(QStringLiteral("неожиданный конец текста"));
  }

  void SplitProperty(const QString& line, QString* name, QString* value) {
    const int eq = line.indexOf(QLatin1Char('='));
    if (eq <= 0) Fail(QStringLiteral("ожидалось \"имя = значение\""));
    *name = line.left(eq).trimmed();
    *value = line.mid(eq + 1).trimmed();
    static const QRegularExpression ident(
        QStringLiteral("^[A-Za-z_][A-Za-z0-9_]*(\\.[A-Za-z_][A-Za-z0-9_]*)*$"));
    if (!ident.match(*name).hasMatch() || value->isEmpty())
      Fail(QStringLiteral("ожидалось \"имя = значение\""));
  }

  void ReadItems(std::vector<ColumnLayout>* out) {
    for (;;) {
      const QString line = NextNonEmpty();
      if (line == QLatin1String(">")) return;
      if (line.compare(QLatin1String("item"), Qt::CaseInsensitive) != 0)
        Fail(QStringLiteral("ожидалось \"item\""));
      ColumnLayout column;
      for (;;) {
        const QString prop = NextNonEmpty();
        if (prop == QLatin1String("end")) break;
        if (prop == QLatin1String("end>")) {
          out->push_back(column);
          return;
        }
        QString name, value;
        SplitProperty(prop, &name, &value);
        ApplyProperty(name, value, &column);
      }
      out->push_back(column);
    }
  }

  void ApplyProperty(const QString& name, QString value, ColumnLayout* c) {
    auto is = [&](const char* n) {
      return name.compare(QLatin1String(n), Qt::CaseInsensitive) == 0;
    };
    if (is("FieldName")) {
      c->fieldName = ParseString(value);
    } else if (is("OptionsVisual")) {
      c->optionsVisual = ParseSet(value);
    } else if (is("TitleState")) {
      c->titleState = static_cast<TitleState>(ParseIdent(value, kTitleStates, 3));
    } else if (is("FooterState")) {
      c->footerState = QLatin1String(kFooterStates[ParseIdent(value, kFooterStates, 6)]);
    } else if (is("Width")) {
      c->width = ParseInt(value);
    } else if (is("LayoutLevel")) {
      c->layoutLevel = ParseInt(value);
    } else if (is("LayoutIndex")) {
      c->layoutIndex = ParseInt(value);
    } else if (is("Color")) {
      c->color = ParseColor(value);
    } else if (is("Alignment")) {
      c->alignment = static_cast<CellAlign>(ParseIdent(value, kAlignments, 4));
    } else if (is("SortOrder")) {
      c->sortOrder = ParseInt(value);
    } else if (is("Font.Charset")) {
      c->hasFont = true;
      static const QRegularExpression id(QStringLiteral("^(-?[0-9]+|[A-Za-z_][A-Za-z0-9_]*)$"));
      if (!id.match(value).hasMatch()) Fail(QStringLiteral("неверное значение Font.Charset"));
      c->font.charset = value;
    } else if (is("Font.Color")) {
      c->hasFont = true;
      c->font.color = ParseColor(value);
    } else if (is("Font.Height")) {
      c->hasFont = true;
      c->font.height = ParseInt(value);
    } else if (is("Font.Name")) {
      c->hasFont = true;
      c->font.name = ParseString(value);
    } else if (is("Font.Style")) {
      c->hasFont = true;
      c->font.style = ParseSet(value);
    } else {
      Fail(QStringLiteral("неизвестное свойство \"%1\"").arg(name));
    }
  }

  int ParseInt(const QString& value) {
    bool ok = false;
    const qlonglong v = value.toLongLong(&ok, 10);
    if (!ok || v < std::numeric_limits<int32_t>::min() || v > std::numeric_limits<int32_t>::max())
      Fail(QStringLiteral("неверное целое \"%1\"").arg(value));
    return int(v);
  }

  uint32_t ParseColor(const QString& value) {
    uint32_t v = 0;
    if (ColorFromName(value, &v)) return v;
    bool ok = false;
    const qlonglong n = value.toLongLong(&ok, 10);
    if (!ok || n < std::numeric_limits<int32_t>::min() || n > 0xFFFFFFFFLL)
      Fail(QStringLiteral("неверный цвет \"%1\"").arg(value));
    return static_cast<uint32_t>(n);
  }

  int ParseIdent(const QString& value, const char* const* names, int count) {
    for (int i = 0; i < count; ++i)
      if (value.compare(QLatin1String(names[i]), Qt::CaseInsensitive) == 0) return i;
    Fail(QStringLiteral("неизвестное значение \"%1\"").arg(value));
  }

  QStringList ParseSet(const QString& value) {
    if (!value.startsWith(QLatin1Char('[')) || !value.endsWith(QLatin1Char(']')))
      Fail(QStringLiteral("ожидалось множество в скобках [ ]"));
    const QString inner = value.mid(1, value.size() - 2).trimmed();
    QStringList members;
    if (inner.isEmpty()) return members;
    static const QRegularExpression ident(QStringLiteral("^[A-Za-z_][A-Za-z0-9_]*$"));
    for (const QString& part : inner.split(QLatin1Char(','))) {
      const QString m = part.trimmed();
      if (!ident.match(m).hasMatch())
        Fail(QStringLiteral("неверный элемент множества \"%1\"").arg(m));
      members << m;
    }
    return members;
  }

  // 'quoted' parts ('' inside is one quote) and #code characters, joined;
  // a trailing "+" continues the string on the next line.
  QString ParseString(QString value) {
    QString out;
    for (;;) {
      int i = 0;
      bool any = false;
      while (i < value.size()) {
        const QChar c = value[i];
        if (c == QLatin1Char('\'')) {
          ++i;
          for (;;) {
            if (i >= value.size()) Fail(QStringLiteral("незакрытая строка"));
            if (value[i] == QLatin1Char('\'')) {
              if (i + 1 < value.size() && value[i + 1] == QLatin1Char('\'')) {
                out += QLatin1Char('\'');
                i += 2;
                continue;
              }
              ++i;
              break;
            }
            out += value[i++];
          }
          any = true;
        } else if (c == QLatin1Char('#')) {
          int j = i + 1;
          while (j < value.size() && value[j].isDigit() && j - i <= 6) ++j;
          bool ok = false;
          const int code = value.mid(i + 1, j - i - 1).toInt(&ok);
          if (!ok || code > 0xFFFF) Fail(QStringLiteral("неверный код символа"));
          out += QChar(char16_t(code));
          i = j;
          any = true;
        } else {
          break;
        }
      }
      if (!any) Fail(QStringLiteral("ожидалась строка в кавычках"));
      const QString rest = value.mid(i).trimmed();
      if (rest.isEmpty()) return out;
      if (rest != QLatin1String("+")) Fail(QStringLiteral("лишний текст после строки"));
      value = NextNonEmpty();
    }
  }

  QStringList lines_;
  int pos_ = 0;
};

}  // namespace

bool ColumnLayout::operator==(const ColumnLayout& o) const {
  return fieldName == o.fieldName && optionsVisual == o.optionsVisual &&
         titleState == o.titleState && footerState == o.footerState && width == o.width &&
         layoutLevel == o.layoutLevel && layoutIndex == o.layoutIndex && color == o.color &&
         alignment == o.alignment && hasFont == o.hasFont &&
         (!hasFont || (font.charset == o.font.charset && font.color == o.font.color &&
                       font.height == o.font.height && font.name == o.font.name &&
                       font.style == o.font.style)) &&
         sortOrder == o.sortOrder;
}

QString NormaliseLineBreaks(const QString& text) {
  QString out;
  out.reserve(text.size() + 16);
  QString line;
  bool pending = false;  // a line has started and not yet been ended
  for (int i = 0; i < text.size(); ++i) {
    const QChar c = text[i];
    if (c == QLatin1Char('\r') || c == QLatin1Char('\n')) {
      out += line + QStringLiteral("\r\n");
      line.clear();
      pending = false;
      if (c == QLatin1Char('\r') && i + 1 < text.size() && text[i + 1] == QLatin1Char('\n')) ++i;
    } else {
      line += c;
      pending = true;
    }
  }
  if (pending) out += line + QStringLiteral("\r\n");
  return out;
}

QString ColorName(uint32_t value) {
  for (const NamedColor& c : kColorTable)
    if (c.value == value) return QLatin1String(c.name);
  return QString();
}

bool ColorFromName(const QString& name, uint32_t* value) {
  for (const NamedColor& c : kColorTable)
    if (name.compare(QLatin1String(c.name), Qt::CaseInsensitive) == 0) {
      *value = c.value;
      return true;
    }
  return false;
}

QString ColumnLayoutText(const std::vector<ColumnLayout>& columns) {
  const ColumnLayout def;
  QString t = QStringLiteral("object TUniDataStorage\r\n  Data = <");
  if (columns.empty()) t += QLatin1Char('>');
  t += QStringLiteral("\r\n");
  auto prop = [&](const char* name, const QString& value) {
    t += QStringLiteral("      ") + QLatin1String(name) + QStringLiteral(" = ") + value +
         QStringLiteral("\r\n");
  };
  for (size_t i = 0; i < columns.size(); ++i) {
    const ColumnLayout& c = columns[i];
    t += QStringLiteral("    item\r\n");
    if (c.fieldName != def.fieldName) prop("FieldName", QuoteString(c.fieldName));
    if (!c.optionsVisual.isEmpty()) prop("OptionsVisual", SetText(c.optionsVisual));
    if (c.titleState != def.titleState)
      prop("TitleState", QLatin1String(kTitleStates[int(c.titleState)]));
    if (c.footerState != def.footerState) prop("FooterState", c.footerState);
    if (c.width != def.width) prop("Width", QString::number(c.width));
    if (c.layoutLevel != def.layoutLevel) prop("LayoutLevel", QString::number(c.layoutLevel));
    if (c.layoutIndex != def.layoutIndex) prop("LayoutIndex", QString::number(c.layoutIndex));
    if (c.color != def.color) prop("Color", ColorText(c.color));
    if (c.alignment != def.alignment)
      prop("Alignment", QLatin1String(kAlignments[int(c.alignment)]));
    if (c.hasFont) {
      prop("Font.Charset", c.font.charset);
      prop("Font.Color", ColorText(c.font.color));
      prop("Font.Height", QString::number(c.font.height));
      prop("Font.Name", QuoteString(c.font.name));
      prop("Font.Style", SetText(c.font.style));
    }
    if (c.sortOrder != def.sortOrder) prop("SortOrder", QString::number(c.sortOrder));
    t += QStringLiteral("    end");
    if (i + 1 == columns.size()) t += QLatin1Char('>');
    t += QStringLiteral("\r\n");
  }
  t += QStringLiteral("end\r\n");
  return t;
}

std::vector<ColumnLayout> ParseColumnLayoutText(const QString& text) { return Parser(text).Run(); }
