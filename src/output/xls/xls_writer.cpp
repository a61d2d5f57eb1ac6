#include "output/xls/xls_writer.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <algorithm>
#include <array>
#include <cstring>

#include "output/xls/xls_storage.h"
#include "platform/codepage.h"
#include "platform/colors.h"

namespace {

constexpr int kMaxRecordData = 8224;

// Record numbers.
enum : uint16_t {
  kBof = 0x0809,
  kInterfaceHdr = 0x00E1,
  kMms = 0x00C1,
  kInterfaceEnd = 0x00E2,
  kWriteAccess = 0x005C,
  kCodepage = 0x0042,
  kDsf = 0x0161,
  kExcel9File = 0x01C0,
  kTabId = 0x013D,
  kFnGroupCount = 0x009C,
  kWindowProtect = 0x0019,
  kProtect = 0x0012,
  kPassword = 0x0013,
  kProt4Rev = 0x01AF,
  kProt4RevPass = 0x01BC,
  kWindow1 = 0x003D,
  kBackup = 0x0040,
  kHideObj = 0x008D,
  k1904 = 0x0022,
  kPrecision = 0x000E,
  kRefreshAll = 0x01B7,
  kBookBool = 0x00DA,
  kFont = 0x0031,
  kFormat = 0x041E,
  kXf = 0x00E0,
  kStyle = 0x0293,
  kPalette = 0x0092,
  kUseSelfs = 0x0160,
  kBoundSheet = 0x0085,
  kCountry = 0x008C,
  kSst = 0x00FC,
  kContinue = 0x003C,
  kExtSst = 0x00FF,
  kEof = 0x000A,
  kIndex = 0x020B,
  kCalcMode = 0x000D,
  kCalcCount = 0x000C,
  kRefMode = 0x000F,
  kIteration = 0x0011,
  kDelta = 0x0010,
  kSaveRecalc = 0x005F,
  kPrintHeaders = 0x002A,
  kPrintGridLines = 0x002B,
  kGridSet = 0x0082,
  kGuts = 0x0080,
  kDefaultRowHeight = 0x0225,
  kWsBool = 0x0081,
  kHeader = 0x0014,
  kFooter = 0x0015,
  kHCenter = 0x0083,
  kVCenter = 0x0084,
  kLeftMargin = 0x0026,
  kRightMargin = 0x0027,
  kTopMargin = 0x0028,
  kBottomMargin = 0x0029,
  kSetup = 0x00A1,
  kDefColWidth = 0x0055,
  kDimensions = 0x0200,
  kRow = 0x0208,
  kNumber = 0x0203,
  kLabelSst = 0x00FD,
  kMulBlank = 0x00BE,
  kBlank = 0x0201,
  kDbCell = 0x00D7,
  kWindow2 = 0x023E,
  kSelection = 0x001D,
  kMergedCells = 0x00E5,
};

// Little-endian numbers straight into a buffer.
inline char* Put16(char* p, unsigned v) {
  p[0] = char(v & 0xFF);
  p[1] = char((v >> 8) & 0xFF);
  return p + 2;
}
inline char* Put32(char* p, uint32_t v) { return Put16(Put16(p, v & 0xFFFF), v >> 16); }
inline char* Put64(char* p, double v) {
  uint64_t bits;
  std::memcpy(&bits, &v, 8);
  return Put32(Put32(p, uint32_t(bits)), uint32_t(bits >> 32));
}

// One UTF-16 code unit per byte of the code page, built once.
const std::array<char16_t, 256>& CodePageTable() {
  static const std::array<char16_t, 256> table = [] {
    std::array<char16_t, 256> t{};
    QByteArray all(256, '\0');
    for (int i = 0; i < 256; ++i) all[i] = char(i);
    const QString wide = FromCp1251(all);
    for (int i = 0; i < 256; ++i)
      t[size_t(i)] = wide.size() == 256 ? char16_t(wide[i].unicode()) : char16_t(i);
    return t;
  }();
  return table;
}

// The UTF-16 units of `n` code-page bytes, straight into a buffer.
char* PutUtf16(char* p, const char* text, qsizetype n) {
  const auto& table = CodePageTable();
  for (qsizetype i = 0; i < n; ++i) p = Put16(p, table[uint8_t(text[i])]);
  return p;
}

// Little-endian record data. Nearly every record is short: those stay in
// the object itself, and only a long one takes memory of its own.
class Bytes {
 public:
  Bytes() = default;
  Bytes(const Bytes&) = delete;
  Bytes& operator=(const Bytes&) = delete;

  Bytes& u8(unsigned v) {
    *grow(1) = char(v & 0xFF);
    return *this;
  }
  Bytes& u16(unsigned v) {
    Put16(grow(2), v);
    return *this;
  }
  Bytes& u32(uint32_t v) {
    Put32(grow(4), v);
    return *this;
  }
  Bytes& f64(double v) {
    Put64(grow(8), v);
    return *this;
  }
  Bytes& raw(const QByteArray& b) { return raw(b.constData(), b.size()); }
  Bytes& raw(const char* p, qsizetype n) {
    if (n > 0) std::memcpy(grow(n), p, size_t(n));
    return *this;
  }
  // The UTF-16 units of code-page text.
  Bytes& utf16(const QByteArray& text) {
    PutUtf16(grow(2 * text.size()), text.constData(), text.size());
    return *this;
  }
  // Hexadecimal digits, two per byte; anything else between them (the
  // blanks of the fixed records here) is skipped.
  Bytes& hex(const char* h) {
    int high = -1;
    for (; *h; ++h) {
      const char c = char(*h | 0x20);
      const int d = *h >= '0' && *h <= '9' ? *h - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
      if (d < 0) continue;
      if (high < 0) {
        high = d;
      } else {
        u8(unsigned(high * 16 + d));
        high = -1;
      }
    }
    return *this;
  }
  void clear() {
    size_ = 0;
    heap_ = QByteArray();
  }
  const char* constData() const { return heap_.isNull() ? inline_ : heap_.constData(); }
  int size() const { return int(size_); }
  QByteArray data() const { return QByteArray(constData(), size_); }

 private:
  // Room for `n` more bytes at the end.
  char* grow(qsizetype n) {
    if (heap_.isNull() && size_ + n <= qsizetype(sizeof(inline_))) {
      size_ += n;
      return inline_ + size_ - n;
    }
    if (heap_.isNull()) heap_ = QByteArray(inline_, size_);
    heap_.resize(size_ + n);
    size_ += n;
    return heap_.data() + size_ - n;
  }

  char inline_[128];
  qsizetype size_ = 0;
  QByteArray heap_;
};

// Appends the UTF-16 units of `n` code-page bytes.
void AppendUtf16(QByteArray& out, const char* text, int n) {
  const qsizetype at = out.size();
  out.resize(at + 2 * qsizetype(n));
  PutUtf16(out.data() + at, text, n);
}

// The format's default palette for colour indexes 8..63, as RGB.
constexpr uint32_t kDefaultPaletteRgb[56] = {
    0x000000, 0xFFFFFF, 0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00, 0xFF00FF, 0x00FFFF,
    0x800000, 0x008000, 0x000080, 0x808000, 0x800080, 0x008080, 0xC0C0C0, 0x808080,
    0x9999FF, 0x993366, 0xFFFFCC, 0xCCFFFF, 0x660066, 0xFF8080, 0x0066CC, 0xCCCCFF,
    0x000080, 0xFF00FF, 0xFFFF00, 0x00FFFF, 0x800080, 0x800000, 0x008080, 0x0000FF,
    0x00CCFF, 0xCCFFFF, 0xCCFFCC, 0xFFFF99, 0x99CCFF, 0xFF99CC, 0xCC99FF, 0xFFCC99,
    0x3366FF, 0x33CCCC, 0x99CC00, 0xFFCC00, 0xFF9900, 0xFF6600, 0x666699, 0x969696,
    0x003366, 0x339966, 0x003300, 0x333300, 0x993300, 0x993366, 0x333399, 0x333333,
};

constexpr uint32_t kBasicRgb[16] = {
    0xFFFFFF, 0x000000, 0xC0C0C0, 0x808080, 0xFF0000, 0x800000, 0xFFFF00, 0x808000,
    0x00FF00, 0x008000, 0x00FFFF, 0x008080, 0x0000FF, 0x000080, 0xFF00FF, 0x800080,
};

constexpr uint32_t RgbToValue(uint32_t rgb) {
  return ((rgb >> 16) & 0xFF) | (rgb & 0xFF00) | ((rgb & 0xFF) << 16);
}

struct BuiltInFormat {
  int number;
  const char* code;  // UTF-8
};
const BuiltInFormat kBuiltInFormats[8] = {
    {5, "#,##0\"р.\";\\-#,##0\"р.\""},
    {6, "#,##0\"р.\";[Red]\\-#,##0\"р.\""},
    {7, "#,##0.00\"р.\";\\-#,##0.00\"р.\""},
    {8, "#,##0.00\"р.\";[Red]\\-#,##0.00\"р.\""},
    {42, "_-* #,##0\"р.\"_-;\\-* #,##0\"р.\"_-;_-* \"-\"\"р.\"_-;_-@_-"},
    {41, "_-* #,##0_р_._-;\\-* #,##0_р_._-;_-* \"-\"_р_._-;_-@_-"},
    {44, "_-* #,##0.00\"р.\"_-;\\-* #,##0.00\"р.\"_-;_-* \"-\"??\"р.\"_-;_-@_-"},
    {43, "_-* #,##0.00_р_._-;\\-* #,##0.00_р_._-;_-* \"-\"??_р_._-;_-@_-"},
};

// XF 0..14, the style XFs.
const char* const kStyleXfs[15] = {
    "00 00 00 00 F5 FF 20 00 00 00 00 00 00 00 00 00 00 00 C0 20",
    "01 00 00 00 F5 FF 20 00 00 F4 00 00 00 00 00 00 00 00 C0 20",
    "01 00 00 00 F5 FF 20 00 00 F4 00 00 00 00 00 00 00 00 C0 20",
    "02 00 00 00 F5 FF 20 00 00 F4 00 00 00 00 00 00 00 00 C0 20",
    "02 00 00 00 F5 FF 20 00 00 F4 00 00 00 00 00 00 00 00 C0 20",
    "00 00 00 00 F5 FF 20 00 00 F4 00 00 00 00 00 00 00 00 C0 20",
    "00 00 00 00 F5 FF 20 00 00 F4 00 00 00 00 00 00 00 00 C0 20",
    "00 00 00 00 F5 FF 20 00 00 F4 00 00 00 00 00 00 00 00 C0 20",
    "00 00 00 00 F5 FF 20 00 00 F4 00 00 00 00 00 00 00 00 C0 20",
    "00 00 00 00 F5 FF 20 00 00 F4 00 00 00 00 00 00 00 00 C0 20",
    "00 00 00 00 F5 FF 20 00 00 F4 00 00 00 00 00 00 00 00 C0 20",
    "00 00 00 00 F5 FF 20 00 00 F4 00 00 00 00 00 00 00 00 C0 20",
    "00 00 00 00 F5 FF 20 00 00 F4 00 00 00 00 00 00 00 00 C0 20",
    "00 00 00 00 F5 FF 20 00 00 F4 00 00 00 00 00 00 00 00 C0 20",
    "00 00 00 00 F5 FF 20 00 00 F4 00 00 00 00 00 00 00 00 C0 20",
};

// XF 15..20: the cell XF every list starts with, then the XFs of the
// built-in styles.
const char* const kFixedCellXfs[6] = {
    "00 00 00 00 01 00 20 00 00 00 00 00 00 00 00 00 00 00 C0 20",
    "01 00 2C 00 F5 FF 20 00 00 F8 00 00 00 00 00 00 00 00 C0 20",
    "01 00 2A 00 F5 FF 20 00 00 F8 00 00 00 00 00 00 00 00 C0 20",
    "01 00 09 00 F5 FF 20 00 00 F8 00 00 00 00 00 00 00 00 C0 20",
    "01 00 2B 00 F5 FF 20 00 00 F8 00 00 00 00 00 00 00 00 C0 20",
    "01 00 29 00 F5 FF 20 00 00 F8 00 00 00 00 00 00 00 00 C0 20",
};

// Currency, currency without decimals, normal, percent, comma, comma
// without decimals.
const char* const kStyles[6] = {"10 80 04 FF", "11 80 07 FF", "00 80 00 FF",
                                "12 80 05 FF", "13 80 03 FF", "14 80 06 FF"};

// Fill pattern codes of the file format for the model's enumeration.
uint32_t FillCode(XlsFill f) {
  switch (f) {
    case XlsFill::None:
      return 0;
    case XlsFill::Solid:
      return 1;
    case XlsFill::Automatic:
      return 1;
    case XlsFill::Gray50:
      return 2;
    case XlsFill::Gray75:
      return 3;
    case XlsFill::Gray25:
      return 4;
    case XlsFill::Horizontal:
      return 5;
    case XlsFill::Vertical:
      return 6;
    case XlsFill::Down:
      return 7;
    case XlsFill::Up:
      return 8;
    case XlsFill::Checker:
      return 9;
    case XlsFill::SemiGray75:
      return 10;
    case XlsFill::LightHorizontal:
      return 11;
    case XlsFill::LightVertical:
      return 12;
    case XlsFill::LightDown:
      return 13;
    case XlsFill::LightUp:
      return 14;
    case XlsFill::Grid:
      return 15;
    case XlsFill::CrissCross:
      return 16;
    case XlsFill::Gray16:
      return 17;
    case XlsFill::Gray8:
      return 18;
  }
  return 0;
}

struct CellRecord {
  int xf = 15;
  int sst = -1;
  int font = 0;
  int format = 0;
};

// One write of one workbook: the stream, the palette and the numbering.
class StreamBuilder {
 public:
  explicit StreamBuilder(const XlsWorkbook& wb) : wb_(wb) {
    // The places of the basic colours are taken from the start.
    static const std::array<bool, 56> basic = [] {
      std::array<bool, 56> b{};
      for (int i = 0; i < 56; ++i)
        for (uint32_t rgb : kBasicRgb) b[size_t(i)] = b[size_t(i)] || rgb == kDefaultPaletteRgb[i];
      return b;
    }();
    taken_ = basic;
    for (int i = 0; i < 56; ++i) palette_[size_t(i)] = RgbToValue(kDefaultPaletteRgb[i]);
    int n = 0;
    for (int s = 0; s < wb_.SheetCount(); ++s) {
      firstCell_.push_back(n);
      n += wb_.Sheet(s)->RangeCount();
    }
    cells_.resize(size_t(n));
  }

  QByteArray Build() {
    // Room for the whole stream at once: a fixed part, the largest cell
    // record per range and every text twice over (its characters are
    // written as two bytes each).
    qsizetype estimate = 16384;
    for (int s = 0; s < wb_.SheetCount(); ++s) {
      const XlsWorksheet* sheet = wb_.Sheet(s);
      estimate += 4096;
      for (int i = 0; i < sheet->RangeCount(); ++i) {
        const XlsRange& r = *sheet->Range(i);
        estimate += 40 + 2 * qsizetype(r.Right() - r.Left()) * (r.Bottom() - r.Top() + 1);
        if (const QByteArray* t = std::get_if<QByteArray>(&r.Value())) estimate += 2 * t->size();
      }
    }
    out_.reserve(estimate);
    WriteGlobals();
    for (int s = 0; s < wb_.SheetCount(); ++s) {
      const uint32_t bof = uint32_t(out_.size());
      WriteSheet(s);
      std::memcpy(out_.data() + boundSheetPos_[size_t(s)], Bytes().u32(bof).constData(), 4);
    }
    return out_;
  }

 private:
  // --- framing ---
  void Record(uint16_t id, const QByteArray& data = QByteArray()) {
    Record(id, data.constData(), int(data.size()));
  }
  void Record(uint16_t id, const char* data, int len) {
    int offset = 0;
    uint16_t number = id;
    do {
      const int chunk = std::min(len - offset, kMaxRecordData);
      char head[4];
      Put16(Put16(head, number), unsigned(chunk));
      out_.append(head, 4);
      out_.append(data + offset, chunk);
      offset += chunk;
      number = kContinue;
    } while (offset < len);
  }
  void Record(uint16_t id, const Bytes& b) { Record(id, b.constData(), b.size()); }
  void Record16(uint16_t id, unsigned v) { Record(id, Bytes().u16(v)); }

  template <typename Fn>
  void ForEachRange(Fn fn) {
    int k = 0;
    for (int s = 0; s < wb_.SheetCount(); ++s) {
      const XlsWorksheet* sheet = wb_.Sheet(s);
      for (int i = 0; i < sheet->RangeCount(); ++i) fn(*sheet->Range(i), cells_[size_t(k++)]);
    }
  }

  // --- colours ---
  // A system colour asks the palette once per stream: that is costly, and
  // the palette does not change while a stream is written.
  uint32_t SystemColor(uint32_t value) {
    for (const auto& known : systemColors_)
      if (known.first == value) return known.second;
    const uint32_t rgb = ValueFromColor(ColorFromValue(value));
    systemColors_.emplace_back(value, rgb);
    return rgb;
  }
  // A colour some record refers to keeps its palette place: that place is
  // marked taken, as is a place of one of the 16 basic colours. A taken
  // place is never given a new colour, so it stays taken, and the search
  // for a free place goes on from where the last one ended.
  int ColorIndex(uint32_t color) {
    if (color & 0x80000000u) color = SystemColor(color);
    color &= 0x00FFFFFF;
    int found = -1;
    for (int i = 0; i < 56; ++i) {
      if (palette_[size_t(i)] != color) continue;
      taken_[size_t(i)] = true;
      if (found < 0) found = i;
    }
    if (found >= 0) return 8 + found;
    for (; nextFree_ < 56; ++nextFree_) {
      const size_t i = size_t(nextFree_);
      if (taken_[i]) continue;
      palette_[i] = color;
      taken_[i] = true;
      paletteChanged_ = true;
      return 8 + nextFree_++;
    }
    return 8;
  }

  int BorderColorIndex(const XlsBorder& b) { return b.LineStyle == 0 ? 0 : ColorIndex(b.Color); }

  // --- globals ---
  void WriteGlobals() {
    Record(kBof, Bytes().hex("00060500BB0DCC070000000000060000"));
    Record16(kInterfaceHdr, 1252);
    Record16(kMms, 0);
    Record(kInterfaceEnd);
    Record(kWriteAccess, WriteAccessData());
    Record16(kCodepage, 1252);
    Record16(kDsf, 0);
    Record(kExcel9File);
    Bytes tabs;
    for (int s = 0; s < wb_.SheetCount(); ++s) tabs.u16(unsigned(s + 1));
    Record(kTabId, tabs);
    Record16(kFnGroupCount, 14);
    Record16(kWindowProtect, 0);
    Record16(kProtect, 0);
    Record16(kPassword, 0);
    Record16(kProt4Rev, 0);
    Record16(kProt4RevPass, 0);
    Record(kWindow1,
           Bytes().u16(360).u16(30).u16(7454).u16(6240).u16(0x0038).u16(0).u16(0).u16(1).u16(600));
    Record16(kBackup, 0);
    Record16(kHideObj, 0);
    Record16(k1904, 0);
    Record16(kPrecision, 1);
    Record16(kRefreshAll, 0);
    Record16(kBookBool, 0);
    WriteFonts();
    WriteFormats();
    WriteXfs();
    for (const char* s : kStyles) Record(kStyle, Bytes().hex(s));
    if (paletteChanged_) {
      Bytes p;
      p.u16(56);
      for (uint32_t c : palette_) p.u8(c).u8(c >> 8).u8(c >> 16).u8(0);
      Record(kPalette, p);
    }
    Record16(kUseSelfs, 0);
    for (int s = 0; s < wb_.SheetCount(); ++s) {
      const QByteArray& name = wb_.Sheet(s)->Name();
      boundSheetPos_.push_back(int(out_.size()) + 4);
      Record(kBoundSheet, Bytes().u32(0).u16(0).u8(unsigned(name.size())).u8(1).utf16(name));
    }
    Record(kCountry, Bytes().u16(7).u16(7));
    WriteSharedStrings();
    Record(kEof);
  }

  // The title as a standard unicode string (count, option byte, characters)
  // padded with blanks: a bare run of characters makes strict readers refuse
  // the whole file.
  QByteArray WriteAccessData() const {
    const QByteArray title = wb_.Title().left(54);
    QByteArray d = Bytes().u16(unsigned(title.size())).u8(1).utf16(title).data();
    d.append(QByteArray(112 - d.size(), ' '));
    return d;
  }

  void WriteFonts() {
    XlsFont defaultFont;
    defaultFont.color = kClWindowText;
    std::vector<XlsFont> fonts(4, defaultFont);
    // The list only grows, so the font of every range without one of its
    // own is found at the same place each time.
    int ofDefault = 0;
    ForEachRange([&](const XlsRange& r, CellRecord& c) {
      if (!r.HasOwnFont() && ofDefault > 0) {
        c.font = ofDefault;
        return;
      }
      size_t pos = 0;
      while (pos < fonts.size() && fonts[pos] != *r.Font()) ++pos;
      if (pos == fonts.size()) fonts.push_back(*r.Font());
      c.font = int(pos) + 1;
      if (!r.HasOwnFont()) ofDefault = c.font;
    });
    for (const XlsFont& f : fonts) {
      Bytes b;
      b.u16(unsigned(f.size * 20))
          .u16((f.italic ? 0x0002u : 0u) | (f.strikeout ? 0x0008u : 0u))
          .u16(unsigned(ColorIndex(f.color)))
          .u16(f.bold ? 1000 : 100)
          .u16(0)
          .u8(f.underline ? 1 : 0)
          .u8(unsigned(f.pitch))
          .u8(f.charset)
          .u8(0)
          .u8(unsigned(f.name.size()))
          .u8(1)
          .utf16(f.name);
      Record(kFont, b);
    }
  }

  void WriteFormats() {
    struct Entry {
      int number;
      QByteArray code;
      QString folded;
    };
    // The built-in codes in the sheet's code page, converted once.
    static const std::vector<Entry> builtIn = [] {
      std::vector<Entry> out;
      for (const auto& f : kBuiltInFormats) {
        const QByteArray code = ToCp1251(QString::fromUtf8(f.code));
        out.push_back({f.number, code, FromCp1251(code).toCaseFolded()});
      }
      return out;
    }();
    std::vector<Entry> formats = builtIn;
    ForEachRange([&](const XlsRange& r, CellRecord& c) {
      if (r.NumberFormat.isEmpty()) {
        c.format = 0;
        return;
      }
      const QString folded = FromCp1251(r.NumberFormat).toCaseFolded();
      auto it = std::find_if(formats.begin(), formats.end(),
                             [&](const Entry& e) { return e.folded == folded; });
      if (it == formats.end()) {
        formats.push_back({int(formats.size()) - 8 + 50, r.NumberFormat, folded});
        it = formats.end() - 1;
      }
      c.format = it->number;
    });
    for (const Entry& e : formats)
      Record(kFormat,
             Bytes().u16(unsigned(e.number)).u16(unsigned(e.code.size())).u8(1).utf16(e.code));
  }

  QByteArray XfData(const XlsRange& r, const CellRecord& c) {
    const XlsBorders& bs = *r.Borders();
    const XlsBorder& down = *bs.Item(XlsBorders::kDiagonalDown);
    const XlsBorder& up = *bs.Item(XlsBorders::kDiagonalUp);
    const XlsBorder& left = *bs.Item(XlsBorders::kLeft);
    const XlsBorder& right = *bs.Item(XlsBorders::kRight);
    const XlsBorder& top = *bs.Item(XlsBorders::kTop);
    const XlsBorder& bottom = *bs.Item(XlsBorders::kBottom);
    // Colour indexes are taken in this order: it decides palette positions.
    const int downIdx = BorderColorIndex(down);
    const int upIdx = BorderColorIndex(up);
    const int leftIdx = BorderColorIndex(left);
    const int rightIdx = BorderColorIndex(right);
    const int topIdx = BorderColorIndex(top);
    const int bottomIdx = BorderColorIndex(bottom);
    const int fgIdx = ColorIndex(r.ForegroundColor);
    const int bgIdx = ColorIndex(r.BackgroundColor);

    uint32_t diagIdx = 0, diagStyle = 0;
    if (up.LineStyle) {
      diagIdx = uint32_t(upIdx);
      diagStyle = up.LineStyle & 0x0F;
    } else if (down.LineStyle) {
      diagIdx = uint32_t(downIdx);
      diagStyle = down.LineStyle & 0x0F;
    }
    Bytes b;
    b.u16(unsigned(c.font)).u16(unsigned(c.format)).u16(0x0001);
    b.u8((r.HorizontalAlignment & 7u) + (r.WrapText == 1 ? 8u : 0u) +
         (r.VerticalAlignment & 7u) * 16u);
    b.u8(r.Rotation);
    b.u16(0x7C00u | (r.IsSingleCell() ? 0u : 0x0020u));
    b.u16((left.LineStyle & 0x0Fu) | (right.LineStyle & 0x0Fu) << 4 | (top.LineStyle & 0x0Fu) << 8 |
          (bottom.LineStyle & 0x0Fu) << 12);
    b.u16(unsigned(leftIdx) + unsigned(rightIdx) * 128u + (down.LineStyle ? 0x4000u : 0u) +
          (up.LineStyle ? 0x8000u : 0u));
    b.u32(uint32_t(topIdx) + uint32_t(bottomIdx) * 128u + diagIdx * 16384u + diagStyle * 2097152u +
          FillCode(r.FillPattern) * 67108864u);
    b.u16(unsigned(fgIdx) + unsigned(bgIdx) * 128u);
    return b.data();
  }

  // Everything of a range that its cell format depends on.
  using XfKey = std::array<uint32_t, 20>;
  static XfKey KeyOf(const XlsRange& r, const CellRecord& c) {
    XfKey k{};
    k[0] = uint32_t(c.font);
    k[1] = uint32_t(c.format);
    k[2] = r.HorizontalAlignment | uint32_t(r.VerticalAlignment) << 8 | uint32_t(r.WrapText) << 16 |
           uint32_t(r.Rotation) << 24;
    k[3] = uint32_t(r.IsSingleCell()) | uint32_t(r.FillPattern) << 8;
    k[4] = r.ForegroundColor;
    k[5] = r.BackgroundColor;
    const XlsBorders& bs = *r.Borders();
    for (int b = 0; b < 6; ++b) {
      k[size_t(6 + 2 * b)] = bs.Item(b)->LineStyle;
      k[size_t(7 + 2 * b)] = bs.Item(b)->Color;
    }
    return k;
  }

  void WriteXfs() {
    std::vector<QByteArray> xfs;
    QHash<QByteArray, int> firstOf;
    static const std::vector<QByteArray> fixedXfs = [] {
      std::vector<QByteArray> out;
      for (const char* h : kFixedCellXfs) out.push_back(QByteArray::fromHex(h));
      return out;
    }();
    for (const QByteArray& x : fixedXfs) {
      xfs.push_back(x);
      if (!firstOf.contains(x)) firstOf.insert(x, int(xfs.size()) - 1);
    }
    // A range styled as the one before gets its cell format without the
    // work: a colour that was looked up once keeps its index for good.
    XfKey previous;
    int previousXf = -1;
    ForEachRange([&](const XlsRange& r, CellRecord& c) {
      const XfKey key = KeyOf(r, c);
      if (previousXf >= 0 && key == previous) {
        c.xf = previousXf;
        return;
      }
      previous = key;
      const QByteArray data = XfData(r, c);
      auto it = firstOf.constFind(data);
      if (it != firstOf.constEnd()) {
        c.xf = it.value() + 15;
      } else {
        xfs.push_back(data);
        firstOf.insert(data, int(xfs.size()) - 1);
        c.xf = int(xfs.size()) - 1 + 15;
      }
      previousXf = c.xf;
    });
    static const std::vector<QByteArray> styleXfs = [] {
      std::vector<QByteArray> out;
      for (const char* h : kStyleXfs) out.push_back(QByteArray::fromHex(h));
      return out;
    }();
    for (const QByteArray& x : styleXfs) Record(kXf, x);
    for (const QByteArray& x : xfs) Record(kXf, x);
  }

  void WriteSharedStrings() {
    // Written in place, and taken back if no range holds a text.
    const int sstStart = int(out_.size());
    int recordStart = sstStart;  // where the current record's header is
    auto beginRecord = [&](uint16_t id) {
      recordStart = int(out_.size());
      out_.append(Bytes().u16(id).u16(0).constData(), 4);
    };
    auto endRecord = [&] {
      const int len = int(out_.size()) - recordStart - 4;
      out_[recordStart + 2] = char(len & 0xFF);
      out_[recordStart + 3] = char(len >> 8);
    };
    auto room = [&] { return kMaxRecordData - (int(out_.size()) - recordStart - 4); };

    beginRecord(kSst);
    out_.append(8, '\0');
    Bytes ext;
    ext.u16(8);
    int count = 0;
    ForEachRange([&](const XlsRange& r, CellRecord& c) {
      if (r.Kind() != XlsRange::ValueKind::Text) return;
      const QByteArray text = XlsValueText(r.Value());
      if (text.isEmpty()) {
        c.sst = -1;
        return;
      }
      c.sst = count++;
      if (room() <= 4) {
        endRecord();
        beginRecord(kContinue);
      }
      if (c.sst % 8 == 0)
        ext.u32(uint32_t(out_.size())).u16(unsigned(int(out_.size()) - recordStart)).u16(0);
      char head[3];
      Put16(head, unsigned(text.size()));
      head[2] = 1;
      out_.append(head, 3);
      // The characters, two bytes each, continued in new records.
      const int chars = int(text.size());
      int done = 0;
      for (;;) {
        const int n = std::min(chars - done, (room() & ~1) / 2);
        AppendUtf16(out_, text.constData() + done, n);
        done += n;
        if (done >= chars) break;
        endRecord();
        beginRecord(kContinue);
        out_.append('\x01');
      }
    });
    if (count == 0) {
      out_.truncate(sstStart);
      return;
    }
    endRecord();
    std::memcpy(out_.data() + sstStart + 4,
                Bytes().u32(uint32_t(count)).u32(uint32_t(count)).constData(), 8);
    Record(kExtSst, ext);
  }

  // --- sheets ---
  void WriteSheet(int s) {
    const XlsWorksheet& sheet = *wb_.Sheet(s);
    const XlsPageSetup& ps = *sheet.PageSetup();
    const XlsWorksheet::Area& area = sheet.UsedArea();
    const bool hasRanges = sheet.RangeCount() > 0;
    const int firstRow = hasRanges ? area.firstRow : 0;
    const int endRow = hasRanges ? area.lastRow + 1 : 0;
    const int blocks = hasRanges ? (endRow - firstRow + 31) / 32 : 0;

    Record(kBof, Bytes().hex("00061000BB0DCC070000000000000000"));
    const int indexPos = int(out_.size());
    Bytes index;
    index.u32(0).u32(uint32_t(firstRow)).u32(uint32_t(endRow)).u32(0);
    for (int b = 0; b < blocks; ++b) index.u32(0);
    Record(kIndex, index);
    Record16(kCalcMode, 1);
    Record16(kCalcCount, 100);
    Record16(kRefMode, 1);
    Record16(kIteration, 0);
    Record(kDelta, Bytes().f64(0.001));
    Record16(kSaveRecalc, 1);
    Record16(kPrintHeaders, ps.PrintHeadings ? 1 : 0);
    Record16(kPrintGridLines, ps.PrintGridLines ? 1 : 0);
    Record16(kGridSet, 1);
    Record(kGuts, Bytes().u32(0).u32(0));
    Record(kDefaultRowHeight, Bytes().u16(0).u16(255));
    Record16(kWsBool, 0x04C1);
    Record(kHeader, HeaderFooter(ps.LeftHeader, ps.CenterHeader, ps.RightHeader));
    Record(kFooter, HeaderFooter(ps.LeftFooter, ps.CenterFooter, ps.RightFooter));
    Record16(kHCenter, ps.CenterHorizontally ? 1 : 0);
    Record16(kVCenter, ps.CenterVertically ? 1 : 0);
    Record(kLeftMargin, Bytes().f64(ps.LeftMargin));
    Record(kRightMargin, Bytes().f64(ps.RightMargin));
    Record(kTopMargin, Bytes().f64(ps.TopMargin));
    Record(kBottomMargin, Bytes().f64(ps.BottomMargin));
    unsigned flags = 0;
    if (ps.Order == 1) flags |= 0x0001;
    if (ps.Orientation == 0) flags |= 0x0002;
    if (ps.BlackAndWhite) flags |= 0x0008;
    if (ps.Draft) flags |= 0x0010;
    if (ps.PrintNotes) flags |= 0x0020;
    if (ps.FirstPageNumber != 1) flags |= 0x0080;
    Record(kSetup, Bytes()
                       .u16(ps.PaperSize)
                       .u16(unsigned(ps.Zoom))
                       .u16(unsigned(ps.FirstPageNumber))
                       .u16(unsigned(ps.FitToPagesWide))
                       .u16(unsigned(ps.FitToPagesTall))
                       .u16(flags)
                       .u16(0)
                       .u16(0)
                       .f64(ps.HeaderMargin)
                       .f64(ps.FooterMargin)
                       .u16(unsigned(ps.Copies)));
    Record16(kDefColWidth, 8);
    if (hasRanges)
      Record(kDimensions, Bytes()
                              .u32(uint32_t(area.firstRow))
                              .u32(uint32_t(area.lastRow + 1))
                              .u16(unsigned(area.firstColumn))
                              .u16(unsigned(area.lastColumn + 1))
                              .u16(0));
    else
      Record(kDimensions, QByteArray(14, '\0'));

    if (hasRanges) {
      std::vector<uint32_t> dbcells = WriteRowBlocks(sheet, firstRow, endRow);
      for (size_t b = 0; b < dbcells.size(); ++b)
        std::memcpy(out_.data() + indexPos + 4 + 16 + 4 * b, Bytes().u32(dbcells[b]).constData(),
                    4);
    }

    Record(kWindow2,
           Bytes().u16(s == 0 ? 0x06B6 : 0x04B6).u16(0).u16(0).u16(64).u16(0).u16(0).u16(0).u32(0));
    Record(kSelection, Bytes().hex("030000000000000100000000000000"));
    WriteMergedCells(sheet);
    Record(kEof);
  }

  static QByteArray HeaderFooter(const QByteArray& l, const QByteArray& c, const QByteArray& r) {
    QByteArray text;
    if (!l.isEmpty()) text += "&L" + l;
    if (!c.isEmpty()) text += "&C" + c;
    if (!r.isEmpty()) text += "&R" + r;
    if (text.isEmpty()) return QByteArray();
    return Bytes().u16(unsigned(text.size())).u8(1).utf16(text).data();
  }

  std::vector<uint32_t> WriteRowBlocks(const XlsWorksheet& sheet, int firstRow, int endRow) {
    const int rows = endRow - firstRow;
    const int base = firstCell_[size_t(sheet.Index())];
    // The ranges of each row, by Left: one list, row after row; the ranges
    // of a row never share a Left, since ranges do not overlap.
    std::vector<int> rowStart(size_t(std::max(rows, 0)) + 1, 0);
    for (int i = 0; i < sheet.RangeCount(); ++i) {
      const XlsRange& r = *sheet.Range(i);
      for (int row = std::max(r.Top(), firstRow); row <= std::min(r.Bottom(), endRow - 1); ++row)
        ++rowStart[size_t(row - firstRow) + 1];
    }
    for (size_t k = 1; k < rowStart.size(); ++k) rowStart[k] += rowStart[k - 1];
    std::vector<int> ofRow(size_t(rowStart.back()));
    {
      std::vector<int> fill(rowStart.begin(), rowStart.end() - 1);
      for (int i = 0; i < sheet.RangeCount(); ++i) {
        const XlsRange& r = *sheet.Range(i);
        for (int row = std::max(r.Top(), firstRow); row <= std::min(r.Bottom(), endRow - 1); ++row)
          ofRow[size_t(fill[size_t(row - firstRow)]++)] = i;
      }
    }
    auto byLeft = [&](int a, int b) { return sheet.Range(a)->Left() < sheet.Range(b)->Left(); };
    for (size_t k = 0; k + 1 < rowStart.size(); ++k) {
      const auto first = ofRow.begin() + rowStart[k];
      const auto last = ofRow.begin() + rowStart[k + 1];
      if (!std::is_sorted(first, last, byLeft)) std::sort(first, last, byLeft);
    }

    std::vector<uint32_t> dbcells;
    std::vector<int> cellStart;
    for (int blockStart = firstRow; blockStart < endRow; blockStart += 32) {
      const int blockEnd = std::min(blockStart + 32, endRow);
      const int nRows = blockEnd - blockStart;
      const int firstRowPos = int(out_.size());
      // The row records of the block, then the cells of its rows.
      for (int row = blockStart; row < blockEnd; ++row) {
        const int* list = ofRow.data() + rowStart[size_t(row - firstRow)];
        const int count = rowStart[size_t(row - firstRow) + 1] - rowStart[size_t(row - firstRow)];
        const unsigned firstCol = count == 0 ? 0 : unsigned(sheet.Range(list[0])->Left());
        const unsigned lastCol = count == 0 ? 0 : unsigned(sheet.Range(list[count - 1])->Right() + 1);
        char rec[20];
        char* p = Put16(Put16(rec, kRow), 16);
        p = Put16(Put16(Put16(p, unsigned(row)), firstCol), lastCol);
        p = Put16(p, 255);
        std::memset(p, 0, 8);
        out_.append(rec, 20);
      }
      const int cellsPos = int(out_.size());
      cellStart.clear();
      for (int row = blockStart; row < blockEnd; ++row) {
        cellStart.push_back(int(out_.size()) - cellsPos);
        for (int k = rowStart[size_t(row - firstRow)]; k < rowStart[size_t(row - firstRow) + 1]; ++k) {
          const int i = ofRow[size_t(k)];
          CellRecords(*sheet.Range(i), cells_[size_t(base + i)], row);
        }
      }
      Bytes db;
      db.u32(uint32_t(int(out_.size()) - firstRowPos));
      for (int k = 0; k < nRows; ++k) {
        const int offset = k == 0 ? (nRows - 1) * 20 + cellStart[0]
                                  : cellStart[size_t(k)] - cellStart[size_t(k - 1)];
        db.u16(unsigned(offset));
      }
      dbcells.push_back(uint32_t(out_.size()));
      Record(kDbCell, db);
    }
    return dbcells;
  }

  // The cell records of one row of a range, written straight into the
  // stream.
  void CellRecords(const XlsRange& r, const CellRecord& c, int row) {
    int next = r.Left();
    char rec[18];
    if (row == r.Top()) {
      if (r.Kind() == XlsRange::ValueKind::Number) {
        char* p = Put16(Put16(rec, kNumber), 14);
        p = Put16(Put16(Put16(p, unsigned(row)), unsigned(r.Left())), unsigned(c.xf));
        Put64(p, XlsValueNumber(r.Value()));
        out_.append(rec, 18);
        next = r.Left() + 1;
      } else if (c.sst >= 0) {
        char* p = Put16(Put16(rec, kLabelSst), 10);
        p = Put16(Put16(Put16(p, unsigned(row)), unsigned(r.Left())), unsigned(c.xf));
        Put32(p, uint32_t(c.sst));
        out_.append(rec, 14);
        next = r.Left() + 1;
      }
    }
    if (next < r.Right()) {
      Bytes b;
      b.u16(unsigned(row)).u16(unsigned(next));
      for (int col = next; col <= r.Right(); ++col) b.u16(unsigned(c.xf));
      b.u16(unsigned(r.Right()));
      Record(kMulBlank, b);
    } else if (next == r.Right()) {
      char* p = Put16(Put16(rec, kBlank), 6);
      Put16(Put16(Put16(p, unsigned(row)), unsigned(next)), unsigned(c.xf));
      out_.append(rec, 10);
    }
  }

  void WriteMergedCells(const XlsWorksheet& sheet) {
    Bytes entries;
    int count = 0;
    auto flush = [&] {
      Record(kMergedCells, Bytes().u16(unsigned(count)).raw(entries.constData(), entries.size()));
      entries.clear();
      count = 0;
    };
    for (int i = 0; i < sheet.RangeCount(); ++i) {
      const XlsRange& r = *sheet.Range(i);
      if (r.IsSingleCell()) continue;
      if (count == 1024) flush();
      entries.u16(unsigned(r.Top()))
          .u16(unsigned(r.Bottom()))
          .u16(unsigned(r.Left()))
          .u16(unsigned(r.Right()));
      ++count;
    }
    if (count > 0) flush();
  }

  const XlsWorkbook& wb_;
  std::array<uint32_t, 56> palette_{};
  std::array<bool, 56> taken_{};  // a basic colour, or one a record refers to
  int nextFree_ = 0;              // no free place before it
  std::vector<std::pair<uint32_t, uint32_t>> systemColors_;  // system colour -> RGB value
  bool paletteChanged_ = false;
  std::vector<CellRecord> cells_;
  std::vector<int> firstCell_;
  std::vector<int> boundSheetPos_;
  QByteArray out_;
};

}  // namespace

XlsWriter::XlsWriter() = default;
XlsWriter::~XlsWriter() = default;

QByteArray XlsWriter::StreamBytes(const XlsWorkbook& workbook) {
  return StreamBuilder(workbook).Build();
}

void XlsWriter::SaveToFile(const XlsWorkbook& workbook, const QString& fileName) {
  const QByteArray stream = StreamBytes(workbook);
  const StorageResult r = WriteWorkbookDocument(QFile::encodeName(fileName).toStdString(),
                                                stream.constData(), size_t(stream.size()));
  QString detail;
  switch (r.stage) {
    case StorageResult::kOk:
      return;
    case StorageResult::kCreateFile:
      detail = QStringLiteral("StgCreateDocFile error %1").arg(r.code);
      break;
    case StorageResult::kCreateStream:
      detail = QStringLiteral("CreateStream error %1").arg(r.code);
      break;
    case StorageResult::kWrite:
      detail = QStringLiteral("Ошибка записи (код %1)").arg(r.code);
      break;
  }
  const QString reason =
      r.err != 0 ? FileWriteReason(r.err) : QStringLiteral("ошибка при составлении книги");
  throw XlsError(QStringLiteral("Не удалось записать файл %1: %2")
                     .arg(QDir::toNativeSeparators(fileName), reason),
                 detail);
}
