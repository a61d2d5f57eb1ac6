// Random workbooks for the writer: sheets, cells and ranges at any place,
// numbers of every kind, texts short and long, Latin and Cyrillic, fonts,
// borders and fills. The stream must always walk as records from BOF to
// EOF, one substream for the globals and one per sheet.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "output/xls/biff_walk.h"
#include "output/xls/xls_model.h"
#include "output/xls/xls_writer.h"
#include "support/fuzz_input.h"

namespace {

QString Text(FuzzInput& in, bool* longSent) {
  // Mostly short; a long one crosses the record size of the string table.
  // One long text per input: more would cost far more than their bytes.
  int length = in.Byte();
  if (length == 0 && !in.Empty() && !*longSent) {
    length = 4000 + in.Word() % 5000;
    *longSent = true;
  }
  const char16_t first = (in.Byte() & 1) ? u'А' : u'a';
  QString s(length, QChar(first));
  for (int i = 0; i < length && !in.Empty(); i += 1 + in.Byte() % 64)
    s[i] = QChar(char16_t(first + in.Byte() % 32));
  return s;
}

XlsValue Value(FuzzInput& in) {
  switch (in.Byte() % 9) {
    case 0: return std::monostate{};
    case 1: return int16_t(in.Word());
    case 2: return int32_t(in.Word() << 12);
    case 3: return uint8_t(in.Byte());
    case 4: return float(int16_t(in.Word())) / 7.0f;
    case 5: return double(int16_t(in.Word())) / 3.0;
    case 6: return XlsCurrency{int64_t(in.Word()) * 37};
    case 7: return bool(in.Byte() & 1);
    default: return QByteArray(in.Byte() % 40, char('a' + in.Byte() % 26));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzInput in{data, size};
  XlsWorkbook wb;
  const int sheets = 1 + in.Byte() % 3;
  for (int k = 0; k < sheets; ++k) wb.AddSheet();
  int ranges = 0;
  bool longSent = false;
  while (!in.Empty() && ranges < 400) {
    XlsWorksheet* sheet = wb.Sheet(in.Byte() % sheets);
    // Rows far down are rare and not too far: every row up to the last used
    // one is written, so that two bytes would cost a row record for each.
    // Twenty blocks of 32 rows go through the same code as two thousand.
    const int left = in.Byte() % 60;
    const uint8_t height = in.Byte();
    const int top = (height & 0xF0) == 0xF0 ? in.Word() % 640 : height % 64;
    const int right = in.Byte() & 1 ? left : left + in.Byte() % 5;
    const int bottom = in.Byte() & 1 ? top : top + in.Byte() % 5;
    XlsRange* r = sheet->Ranges(left, top, right, bottom);
    ++ranges;
    const uint8_t what = in.Byte();
    if (what & 1) r->SetValue(Text(in, &longSent));
    else r->SetValue(Value(in));
    if (what & 2) r->Font()->color = uint32_t(in.Byte()) << (8 * (in.Byte() % 3));
    if (what & 4) r->Font()->size = 1 + in.Byte() % 40;
    if (what & 8) r->Borders()->Item(in.Byte() % 6)->LineStyle = in.Byte() % 14;
    if (what & 16) r->ForegroundColor = uint32_t(in.Word()) * 253;
    if (what & 32) r->HorizontalAlignment = in.Byte() % 7;
    if (what & 64) r->NumberFormat = QByteArray("0.") + QByteArray(in.Byte() % 6, '0');
  }
  const QByteArray stream = XlsWriter().StreamBytes(wb);
  QString error;
  if (CountBiffSubstreams(stream, &error) != sheets + 1 || !error.isEmpty()) std::abort();
  return 0;
}
