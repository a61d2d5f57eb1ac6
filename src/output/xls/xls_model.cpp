#include "output/xls/xls_model.h"

#include <algorithm>

#include "platform/codepage.h"

namespace {

// Keeps the first `limit` characters, then drops leading and trailing blanks
// and control characters (everything up to the blank in the code page).
QByteArray CutAndTrim(const QByteArray& text, int limit) {
  QByteArray t = text.left(limit);
  int b = 0;
  int e = int(t.size());
  while (b < e && uint8_t(t[b]) <= 0x20) ++b;
  while (e > b && uint8_t(t[e - 1]) <= 0x20) --e;
  return t.mid(b, e - b);
}

bool SameNameIgnoringCase(const QByteArray& a, const QByteArray& b) {
  return FromCp1251(a).compare(FromCp1251(b), Qt::CaseInsensitive) == 0;
}

}  // namespace

QByteArray XlsValueText(const XlsValue& value) {
  struct Visitor {
    QByteArray operator()(std::monostate) const { return QByteArray(); }
    QByteArray operator()(int16_t v) const { return QByteArray::number(v); }
    QByteArray operator()(int32_t v) const { return QByteArray::number(v); }
    QByteArray operator()(uint8_t v) const { return QByteArray::number(v); }
    QByteArray operator()(float v) const { return QByteArray::number(double(v), 'g', 7); }
    QByteArray operator()(double v) const { return QByteArray::number(v, 'g', 15); }
    QByteArray operator()(XlsCurrency v) const {
      return QByteArray::number(double(v.scaled) / 10000.0, 'f', 4);
    }
    QByteArray operator()(const QByteArray& v) const { return v; }
    QByteArray operator()(bool v) const { return v ? "True" : "False"; }
    QByteArray operator()(const QDateTime& v) const {
      const QString fmt = v.time() == QTime(0, 0) ? QStringLiteral("dd.MM.yyyy")
                                                  : QStringLiteral("dd.MM.yyyy hh:mm:ss");
      return ToCp1251(v.toString(fmt));
    }
  };
  return std::visit(Visitor{}, value);
}

double XlsValueNumber(const XlsValue& value) {
  if (auto p = std::get_if<int16_t>(&value)) return *p;
  if (auto p = std::get_if<int32_t>(&value)) return *p;
  if (auto p = std::get_if<uint8_t>(&value)) return *p;
  if (auto p = std::get_if<float>(&value)) return double(*p);
  if (auto p = std::get_if<double>(&value)) return *p;
  if (auto p = std::get_if<XlsCurrency>(&value)) return double(p->scaled) / 10000.0;
  return 0.0;
}

bool XlsFont::operator==(const XlsFont& o) const {
  return charset == o.charset && color == o.color && name == o.name && pitch == o.pitch &&
         size == o.size && bold == o.bold && italic == o.italic && underline == o.underline &&
         strikeout == o.strikeout;
}

// --- borders ---------------------------------------------------------------

XlsBorder* XlsBorders::Item(int position) {
  const int p = ((position % 128) + 128) % 128;
  return p < 6 ? &items_[p] : nullptr;
}

const XlsBorder* XlsBorders::Item(int position) const {
  return const_cast<XlsBorders*>(this)->Item(position);
}

// --- range -----------------------------------------------------------------

XlsRange::XlsRange(XlsWorksheet* worksheet, int left, int top, int right, int bottom)
    : worksheet_(worksheet),
      left_(left),
      top_(top),
      right_(right),
      bottom_(bottom),
      borders_(std::make_unique<XlsBorders>()),
      font_(std::make_unique<XlsFont>()) {}

void XlsRange::SetValue(const XlsValue& value) {
  if (auto text = std::get_if<QByteArray>(&value)) {
    QByteArray t = *text;
    t.replace("\r\n", "\n");
    value_ = t;
  } else {
    value_ = value;
  }
}

void XlsRange::SetValue(const QString& wide) { SetValue(XlsValue(ToCp1251(wide))); }

XlsRange::ValueKind XlsRange::Kind() const {
  if (std::holds_alternative<int16_t>(value_) || std::holds_alternative<int32_t>(value_) ||
      std::holds_alternative<float>(value_) || std::holds_alternative<double>(value_) ||
      std::holds_alternative<XlsCurrency>(value_) || std::holds_alternative<uint8_t>(value_))
    return ValueKind::Number;
  return ValueKind::Text;
}

// --- worksheet -------------------------------------------------------------

XlsWorksheet::XlsWorksheet(XlsWorkbook* workbook)
    : workbook_(workbook),
      pageSetup_(std::make_unique<XlsPageSetup>()),
      images_(std::make_unique<XlsImages>()) {
  if (!workbook_) {
    name_ = "Sheet1";
    return;
  }
  // The smallest free number not below the count of sheets + 1.
  for (int n = workbook_->SheetCount() + 1;; ++n) {
    const QByteArray candidate = "Sheet" + QByteArray::number(n);
    bool taken = false;
    for (int i = 0; i < workbook_->SheetCount() && !taken; ++i)
      taken = SameNameIgnoringCase(workbook_->Sheet(i)->Name(), candidate);
    if (!taken) {
      name_ = candidate;
      break;
    }
  }
}

void XlsWorksheet::SetName(const QByteArray& name) { name_ = CutAndTrim(name, 31); }

void XlsWorksheet::SetName(const QString& wide) { SetName(ToCp1251(wide)); }

int XlsWorksheet::Index() const {
  if (!workbook_) return -1;
  for (int i = 0; i < workbook_->SheetCount(); ++i)
    if (workbook_->Sheet(i) == this) return i;
  return -1;
}

XlsRange* XlsWorksheet::Ranges(int left, int top, int right, int bottom) {
  auto overlaps = [&](const XlsRange& r) {
    return r.Left() <= right && left <= r.Right() && r.Top() <= bottom && top <= r.Bottom();
  };
  auto sameBox = [&](const XlsRange& r) {
    return r.Left() == left && r.Top() == top && r.Right() == right && r.Bottom() == bottom;
  };

  // No range that starts above a can reach down to top.
  const int64_t a = int64_t(top) - maxRangeHeight_ + 1;
  const auto first =
      std::lower_bound(cells_.begin(), cells_.end(), a,
                       [](const std::unique_ptr<XlsRange>& r, int64_t v) { return r->Top() < v; });
  size_t start = size_t(first - cells_.begin());

  XlsRange* result = nullptr;
  bool removed = false;
  if (start == cells_.size()) {
    cells_.push_back(std::make_unique<XlsRange>(this, left, top, right, bottom));
    result = cells_.back().get();
  } else {
    size_t i = start;
    size_t insertAt = start;
    XlsRange* found = nullptr;
    for (;;) {
      bool deleted = false;
      if (sameBox(*cells_[i])) {
        found = cells_[i].get();
      } else if (overlaps(*cells_[i])) {
        cells_.erase(cells_.begin() + std::ptrdiff_t(i));
        removed = true;
        deleted = true;
      }
      if (!deleted) {
        if (cells_[insertAt]->Top() <= top) ++insertAt;
        if (cells_[i]->Top() <= bottom) ++i;
      }
      if (i == cells_.size() || cells_[i]->Top() > bottom) break;
    }
    if (found) {
      result = found;
    } else {
      auto r = std::make_unique<XlsRange>(this, left, top, right, bottom);
      result = r.get();
      if (insertAt >= cells_.size())
        cells_.push_back(std::move(r));
      else
        cells_.insert(cells_.begin() + std::ptrdiff_t(insertAt), std::move(r));
    }
  }

  if (removed) {
    int32_t h = 1;
    for (const auto& r : cells_) h = std::max(h, r->Bottom() - r->Top() + 1);
    maxRangeHeight_ = h;
  } else {
    maxRangeHeight_ = std::max(maxRangeHeight_, bottom - top + 1);
  }

  if (usedArea_.firstColumn == -1 || usedArea_.firstColumn > left) usedArea_.firstColumn = left;
  if (usedArea_.firstRow == -1 || usedArea_.firstRow > top) usedArea_.firstRow = top;
  if (usedArea_.lastColumn == -1 || usedArea_.lastColumn < right) usedArea_.lastColumn = right;
  if (usedArea_.lastRow == -1 || usedArea_.lastRow < bottom) usedArea_.lastRow = bottom;
  return result;
}

// --- workbook --------------------------------------------------------------

XlsWorkbook::XlsWorkbook() = default;

XlsWorkbook::~XlsWorkbook() { ClearSheets(); }

void XlsWorkbook::SetTitle(const QByteArray& title) { title_ = CutAndTrim(title, 66); }

XlsWorksheet* XlsWorkbook::AddSheet() {
  // The sheet picks its default name before it joins the list.
  auto sheet = std::make_unique<XlsWorksheet>(this);
  sheets_.push_back(std::move(sheet));
  return sheets_.back().get();
}

int XlsWorkbook::IndexOfSheet(const QByteArray& name) const {
  for (size_t i = 0; i < sheets_.size(); ++i)
    if (sheets_[i]->Name() == name) return int(i);
  return -1;
}

void XlsWorkbook::ClearSheets() { sheets_.clear(); }

void WorkbookWriter::SaveToFile(const XlsWorkbook&, const QString&) {}
