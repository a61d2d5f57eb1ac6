#pragma once
// An in-memory spreadsheet: a workbook of named worksheets, each a set of
// non-overlapping rectangular cell ranges that carry a value and formatting.
// It knows nothing of any file format; writers read it in list order.
//
// Ownership runs strictly downwards: workbook -> worksheets -> ranges, page
// setup and images; range -> borders and font; borders -> six borders. The
// back references (worksheet to workbook, range to worksheet) do not own.
// A range gets borders and a font of its own only when they are asked for
// changing (until then it has the defaults), and a worksheet keeps its
// ranges in blocks, so that a sheet of many plain cells stays cheap.
//
// Texts are 8-bit texts in the program's code page (Windows-1251); colours
// are 0x00BBGGRR, a value with the top bit set names a system colour.
#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <cstdint>
#include <memory>
#include <type_traits>
#include <variant>
#include <vector>

class XlsWorkbook;
class XlsWorksheet;

// A currency amount in ten-thousandths, as the platform's variant keeps it.
struct XlsCurrency {
  int64_t scaled = 0;
  bool operator==(const XlsCurrency& o) const { return scaled == o.scaled; }
};

// A cell value: nothing, the number types, an 8-bit text, or one of the
// other variant types (boolean, date) that the writer turns into text.
using XlsValue = std::variant<std::monostate, int16_t, int32_t, uint8_t, float, double, XlsCurrency,
                              QByteArray, bool, QDateTime>;

// The text a value stands for when written as text (empty for nothing).
QByteArray XlsValueText(const XlsValue& value);
// The value as a double for the number kinds (0 for the others).
double XlsValueNumber(const XlsValue& value);

enum class XlsPitch : uint8_t { Default = 0, Fixed = 1, Variable = 2 };

struct XlsFont {
  QByteArray name = "Arial";
  int size = 10;  // points
  uint32_t color = 0;
  uint8_t charset = 1;  // the default character set
  XlsPitch pitch = XlsPitch::Default;
  bool bold = false;
  bool italic = false;
  bool underline = false;
  bool strikeout = false;

  bool operator==(const XlsFont& o) const;
  bool operator!=(const XlsFont& o) const { return !(*this == o); }
};

class XlsBorder {
 public:
  uint32_t Color = 0;
  uint8_t LineStyle = 0;  // 0 none, 1..13 the file format's line styles
  uint8_t Weight = 0;     // kept, never written
};

class XlsBorders {
 public:
  enum Position {
    kDiagonalDown = 0,  // top left to bottom right
    kDiagonalUp = 1,    // bottom left to top right
    kBottom = 2,
    kLeft = 3,
    kRight = 4,
    kTop = 5,
  };
  // The position is taken modulo 128; positions 6..127 have no border.
  XlsBorder* Item(int position);
  const XlsBorder* Item(int position) const;

 private:
  XlsBorder items_[6];
};

class XlsPageSetup {
 public:
  bool BlackAndWhite = false;
  QByteArray CenterFooter, CenterHeader;
  bool CenterHorizontally = false;
  bool CenterVertically = false;
  bool Draft = false;
  int32_t FirstPageNumber = 1;
  int32_t FitToPagesTall = 1;
  int32_t FitToPagesWide = 1;
  QByteArray LeftFooter, LeftHeader;
  uint8_t Order = 0;        // 1 across then down, other down then across
  uint8_t Orientation = 0;  // 0 portrait, other landscape
  uint8_t PaperSize = 9;    // A4
  bool PrintGridLines = false;
  bool PrintHeadings = false;
  bool PrintNotes = false;
  QByteArray RightFooter, RightHeader;
  double LeftMargin = 2.0, RightMargin = 2.0;  // inches
  double TopMargin = 2.5, BottomMargin = 2.5;
  double FooterMargin = 0.0, HeaderMargin = 0.0;
  int32_t Zoom = 100;
  int32_t Copies = 0;
};

// A picture list; nothing in this program adds pictures.
class XlsImage {
 public:
  virtual ~XlsImage() = default;
};

class XlsImages {
 public:
  int Count() const { return int(items_.size()); }
  void Add(std::unique_ptr<XlsImage> image) { items_.push_back(std::move(image)); }
  void Clear() { items_.clear(); }

 private:
  std::vector<std::unique_ptr<XlsImage>> items_;
};

enum class XlsFill : uint8_t {
  None = 0,
  Automatic,
  Checker,
  CrissCross,
  Down,
  Gray8,
  Gray16,
  Gray25,
  Gray50,
  Gray75,
  Grid,
  Horizontal,
  LightDown,
  LightHorizontal,
  LightUp,
  LightVertical,
  SemiGray75,
  Solid,
  Up,
  Vertical
};

class XlsRange {
 public:
  enum class ValueKind { Number, Text };

  XlsRange(XlsWorksheet* worksheet, int left, int top, int right, int bottom);
  XlsRange(const XlsRange&) = delete;
  XlsRange& operator=(const XlsRange&) = delete;

  XlsWorksheet* Worksheet() const { return worksheet_; }
  int Left() const { return left_; }
  int Top() const { return top_; }
  int Right() const { return right_; }
  int Bottom() const { return bottom_; }
  bool IsSingleCell() const { return left_ == right_ && top_ == bottom_; }

  XlsBorders* Borders();
  const XlsBorders* Borders() const;
  XlsFont* Font();
  const XlsFont* Font() const;
  // False while the range has the default borders / font.
  bool HasOwnBorders() const { return borders_ != nullptr; }
  bool HasOwnFont() const { return font_ != nullptr; }

  // Texts (8-bit or wide) become 8-bit texts with every CR LF pair turned
  // into one LF; any other value is stored unchanged.
  void SetValue(const XlsValue& value);
  void SetValue(const QString& wide);
  void SetValue(const QByteArray& text) { SetValue(XlsValue(text)); }
  const XlsValue& Value() const { return value_; }
  ValueKind Kind() const;

  uint8_t HorizontalAlignment = 0;  // 0 general .. 6 centre across selection
  uint8_t VerticalAlignment = 2;    // 0 top .. 3 justify; 2 bottom
  uint8_t WrapText = 0;
  uint8_t Rotation = 0;
  QByteArray NumberFormat;  // empty: the general format
  XlsFill FillPattern = XlsFill::None;
  uint32_t ForegroundColor = 0;
  uint32_t BackgroundColor = 0;

 private:
  XlsWorksheet* worksheet_;
  int left_, top_, right_, bottom_;
  std::unique_ptr<XlsBorders> borders_;
  std::unique_ptr<XlsFont> font_;
  XlsValue value_;
};

class XlsWorksheet {
 public:
  struct Area {
    int32_t firstColumn = -1, firstRow = -1, lastColumn = -1, lastRow = -1;
  };

  explicit XlsWorksheet(XlsWorkbook* workbook);
  ~XlsWorksheet();
  XlsWorksheet(const XlsWorksheet&) = delete;
  XlsWorksheet& operator=(const XlsWorksheet&) = delete;

  XlsWorkbook* Workbook() const { return workbook_; }
  const QByteArray& Name() const { return name_; }
  // Keeps the first 31 characters, then trims blanks and control characters.
  void SetName(const QByteArray& name);
  void SetName(const QString& wide);
  int Index() const;

  XlsPageSetup* PageSetup() { return pageSetup_.get(); }
  const XlsPageSetup* PageSetup() const { return pageSetup_.get(); }
  XlsImages* Images() { return images_.get(); }

  // Finds the range with exactly this box or creates it, destroying every
  // range that overlaps the box without being equal to it.
  XlsRange* Ranges(int left, int top, int right, int bottom);
  int RangeCount() const { return int(cells_.size()); }
  XlsRange* Range(int index) { return cells_[size_t(index)]; }
  const XlsRange* Range(int index) const { return cells_[size_t(index)]; }

  const Area& UsedArea() const { return usedArea_; }
  int32_t MaxRangeHeight() const { return maxRangeHeight_; }

 private:
  XlsWorkbook* workbook_;
  QByteArray name_;
  std::unique_ptr<XlsPageSetup> pageSetup_;
  std::unique_ptr<XlsImages> images_;
  XlsRange* NewRange(int left, int top, int right, int bottom);
  void DestroyRange(XlsRange* range);

  std::vector<XlsRange*> cells_;  // ordered by Top, then creation
  std::vector<int32_t> tops_;     // their Tops, searched without touching them
  // Where the ranges live: blocks of kBlockRanges, and the places freed.
  static constexpr size_t kBlockRanges = 1024;
  using RangeSlot = std::aligned_storage_t<sizeof(XlsRange), alignof(XlsRange)>;
  std::vector<std::unique_ptr<RangeSlot[]>> blocks_;
  size_t usedInLastBlock_ = kBlockRanges;
  std::vector<XlsRange*> freed_;
  // The largest Right among the ranges of the last row (tops_.back()),
  // while every range is one row high; -1 when not known.
  int32_t lastRowRight_ = -1;
  Area usedArea_;
  int32_t maxRangeHeight_ = 0;
};

class XlsWorkbook {
 public:
  XlsWorkbook();
  ~XlsWorkbook();
  XlsWorkbook(const XlsWorkbook&) = delete;
  XlsWorkbook& operator=(const XlsWorkbook&) = delete;

  const QByteArray& Title() const { return title_; }
  // Keeps the first 66 characters, then trims blanks and control characters.
  void SetTitle(const QByteArray& title);

  XlsWorksheet* AddSheet();
  int SheetCount() const { return int(sheets_.size()); }
  XlsWorksheet* Sheet(int index) { return sheets_[size_t(index)].get(); }
  const XlsWorksheet* Sheet(int index) const { return sheets_[size_t(index)].get(); }
  // Position of the first sheet named exactly so (case-sensitive), or -1.
  int IndexOfSheet(const QByteArray& name) const;
  void ClearSheets();

 private:
  QByteArray title_ = "Report";
  std::vector<std::unique_ptr<XlsWorksheet>> sheets_;
};

// The abstract base of workbook writers; the base writes nothing.
class WorkbookWriter {
 public:
  virtual ~WorkbookWriter() = default;
  virtual void SaveToFile(const XlsWorkbook& workbook, const QString& fileName);
};
