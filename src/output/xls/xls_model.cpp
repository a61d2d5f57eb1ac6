#include "output/xls/xls_model.h"

#include <algorithm>
#include <new>

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
    : worksheet_(worksheet), left_(left), top_(top), right_(right), bottom_(bottom) {}

namespace {
const XlsBorders& DefaultBorders() {
  static const XlsBorders borders;
  return borders;
}
const XlsFont& DefaultFont() {
  static const XlsFont font;
  return font;
}

// The program's code page has one byte per character: a table of the
// characters whose byte gives them back, made with the converter itself. A
// text with any other character goes through the converter as a whole.
struct Cp1251Table {
  std::vector<int16_t> byteOf = std::vector<int16_t>(65536, -1);
  Cp1251Table() {
    for (int b = 0; b < 256; ++b) {
      const QByteArray one(1, char(b));
      const QString u = FromCp1251(one);
      if (u.size() == 1 && ToCp1251(u) == one) byteOf[u[0].unicode()] = int16_t(b);
    }
  }
};

QByteArray ToCodePage(const QString& wide) {
  static const Cp1251Table table;
  const qsizetype n = wide.size();
  QByteArray out(n, Qt::Uninitialized);
  const char16_t* in = reinterpret_cast<const char16_t*>(wide.utf16());
  char* to = out.data();
  for (qsizetype i = 0; i < n; ++i) {
    const int16_t b = table.byteOf[in[i]];
    if (b < 0) return ToCp1251(wide);
    to[i] = char(b);
  }
  return out;
}
}  // namespace

XlsBorders* XlsRange::Borders() {
  if (!borders_) borders_ = std::make_unique<XlsBorders>();
  return borders_.get();
}
const XlsBorders* XlsRange::Borders() const {
  return borders_ ? borders_.get() : &DefaultBorders();
}
XlsFont* XlsRange::Font() {
  if (!font_) font_ = std::make_unique<XlsFont>();
  return font_.get();
}
const XlsFont* XlsRange::Font() const { return font_ ? font_.get() : &DefaultFont(); }

void XlsRange::SetValue(const XlsValue& value) {
  const QByteArray* text = std::get_if<QByteArray>(&value);
  if (text && text->contains('\r')) {
    QByteArray t = *text;
    t.replace("\r\n", "\n");
    value_ = t;
  } else {
    value_ = value;
  }
}

void XlsRange::SetValue(const QString& wide) { SetValue(XlsValue(ToCodePage(wide))); }

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

XlsWorksheet::~XlsWorksheet() {
  for (XlsRange* r : cells_) r->~XlsRange();
}

XlsRange* XlsWorksheet::NewRange(int left, int top, int right, int bottom) {
  void* place;
  if (!freed_.empty()) {
    place = freed_.back();
    freed_.pop_back();
  } else {
    if (usedInLastBlock_ == kBlockRanges) {
      blocks_.emplace_back(new RangeSlot[kBlockRanges]);
      usedInLastBlock_ = 0;
    }
    place = &blocks_.back()[usedInLastBlock_++];
  }
  return new (place) XlsRange(this, left, top, right, bottom);
}

void XlsWorksheet::DestroyRange(XlsRange* range) {
  range->~XlsRange();
  freed_.push_back(range);
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
  size_t start;
  if (tops_.empty() || int64_t(tops_.back()) < a) {
    start = tops_.size();  // the common case: cells added row after row
  } else {
    start = size_t(std::lower_bound(tops_.begin(), tops_.end(), a,
                                    [](int32_t t, int64_t v) { return t < v; }) -
                   tops_.begin());
  }

  XlsRange* result = nullptr;
  bool removed = false;
  // Cells added left to right on the last row, all ranges one row high: a
  // box right of every range there meets none of them.
  const bool rightOfLastRow = top == bottom && maxRangeHeight_ <= 1 && lastRowRight_ >= 0 &&
                              !tops_.empty() && tops_.back() == top && left > lastRowRight_;
  if (start == cells_.size() || rightOfLastRow) {
    const bool newRow = tops_.empty() || tops_.back() < top;
    cells_.push_back(NewRange(left, top, right, bottom));
    tops_.push_back(top);
    result = cells_.back();
    if (top != bottom || (maxRangeHeight_ > 1))
      lastRowRight_ = -1;
    else if (newRow)
      lastRowRight_ = right;
    else if (lastRowRight_ >= 0)
      lastRowRight_ = std::max(lastRowRight_, right);
  } else {
    lastRowRight_ = -1;
    size_t i = start;
    size_t insertAt = start;
    XlsRange* found = nullptr;
    for (;;) {
      bool deleted = false;
      if (sameBox(*cells_[i])) {
        found = cells_[i];
      } else if (overlaps(*cells_[i])) {
        DestroyRange(cells_[i]);
        cells_.erase(cells_.begin() + std::ptrdiff_t(i));
        tops_.erase(tops_.begin() + std::ptrdiff_t(i));
        removed = true;
        deleted = true;
      }
      if (!deleted) {
        if (tops_[insertAt] <= top) ++insertAt;
        if (tops_[i] <= bottom) ++i;
      }
      if (i == cells_.size() || tops_[i] > bottom) break;
    }
    if (found) {
      result = found;
    } else {
      result = NewRange(left, top, right, bottom);
      cells_.insert(cells_.begin() + std::ptrdiff_t(std::min(insertAt, cells_.size())), result);
      tops_.insert(tops_.begin() + std::ptrdiff_t(std::min(insertAt, tops_.size())), top);
    }
  }

  if (removed) {
    int32_t h = 1;
    for (const XlsRange* r : cells_) h = std::max(h, r->Bottom() - r->Top() + 1);
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
