#include "store/decoders.h"

#include <QDate>
#include <algorithm>
#include <array>

#include "platform/fixed_number.h"

namespace {

// A text of a few characters built in place: a download makes thousands of
// dates and times, and each should cost one string, not one per piece.
class ShortText {
 public:
  void Put(char16_t c) { c_[n_++] = c; }
  void PutTwoDigits(int value) { n_ = int(::PutTwoDigits(c_ + n_, value) - c_); }
  void PutFourDigits(int value) {
    PutTwoDigits(value / 100 % 100);
    PutTwoDigits(value % 100);
  }
  QString ToString() const { return QString(reinterpret_cast<const QChar*>(c_), n_); }

 private:
  char16_t c_[24];
  int n_ = 0;
};

void PutTriple(ShortText& out, int a, int b, int c) {
  out.PutTwoDigits(a);
  out.Put(u':');
  out.PutTwoDigits(b);
  out.Put(u':');
  out.PutTwoDigits(c);
}

int Seconds(DumpView dump, int offset) {
  return dump.at(offset) * 3600 + dump.at(offset + 1) * 60 + dump.at(offset + 2);
}

// Record offsets of the water-permeability tester.
constexpr int kHeight = 0;
constexpr int kSeries = 1;
constexpr int kStartDate = 2;
constexpr int kStartTime = 5;
constexpr int kEndDate = 8;
constexpr int kEndTime = 11;
constexpr int kStep = 14;
constexpr int kMode = 17;
int SampleOffset(int sample) { return 18 + 3 * (sample - 1); }

// Record offsets of the plate tester.
constexpr int kPlateTime = 0;
constexpr int kPlateDate = 3;
constexpr int kPlateR = 6;
constexpr int kPlateP = 8;
constexpr int kPlateKind = 10;
constexpr int kPlateBytesRead = 11;  // bytes after offset 10 are not read
constexpr int kPlateFirstRecord = 4;

}  // namespace

namespace {
// The date as written: year, then month and day with 01 for what lies out
// of range.
struct DumpDateParts {
  int year, month, day;
};
DumpDateParts DateParts(DumpView dump, int offset) {
  const int month = dump.at(offset + 1);
  const int day = dump.at(offset + 2);
  return {dump.at(offset) + 2000, month >= 1 && month <= 12 ? month : 1,
          day >= 1 && day <= 31 ? day : 1};
}
// The date the text reads as; invalid for a day the month does not have.
QDate DumpDate(DumpView dump, int offset) {
  const DumpDateParts d = DateParts(dump, offset);
  return QDate(d.year, d.month, d.day);
}
}  // namespace

namespace {
void PutDate(ShortText& out, DumpView dump, int offset) {
  const DumpDateParts d = DateParts(dump, offset);
  out.PutTwoDigits(d.day);
  out.Put(u'.');
  out.PutTwoDigits(d.month);
  out.Put(u'.');
  out.PutFourDigits(d.year);  // 2000..2255
}
void PutTime(ShortText& out, DumpView dump, int offset) {
  const int hours = dump.at(offset);
  const int minutes = dump.at(offset + 1);
  const int seconds = dump.at(offset + 2);
  PutTriple(out, hours > 23 ? 0 : hours, minutes > 59 ? 0 : minutes, seconds > 59 ? 0 : seconds);
}
}  // namespace

QString DumpDateText(DumpView dump, int offset) {
  ShortText out;
  PutDate(out, dump, offset);
  return out.ToString();
}

QString DumpTimeText(DumpView dump, int offset) {
  ShortText out;
  PutTime(out, dump, offset);
  return out.ToString();
}

QString DumpDurationText(DumpView dump, int offset) {
  const int minutes = dump.at(offset + 1);
  const int seconds = dump.at(offset + 2);
  ShortText out;
  PutTriple(out, dump.at(offset), minutes > 59 ? 0 : minutes, seconds > 59 ? 0 : seconds);
  return out.ToString();
}

uint16_t dump_word(DumpView dump, int offset) {
  return uint16_t(dump.at(offset) | (dump.at(offset + 1) << 8));
}

int WaterStepCount(DumpView dump, int record, int sample) {
  const int at = record + SampleOffset(sample);
  if (dump.at(at + 2) == kNoResultSeconds) return 0;
  // Counted in whole seconds rather than in fractional hours, so that an
  // elapsed time that is an exact multiple of the step (1:00:00 with steps of
  // 0:10:00) gives exactly that many steps and never one more.
  const int step = Seconds(dump, record + kStep);
  // A zero holding time has no steps to count; the sample shows P 0.0.
  if (step == 0) return 0;
  const int elapsed = Seconds(dump, at);
  return (elapsed + step - 1) / step;  // any part of a step counts as a step
}

QString WaterGrade(DumpView dump, int record) {
  // A test not run to the standard has no grade whatever its durations,
  // even with a zero holding time or dates that give no day count.
  if (dump.at(record + kMode) == kNonStandardMode) return QStringLiteral("Не ГОСТ");
  const int step = Seconds(dump, record + kStep);
  if (step == 0) return QString();  // no steps, no grade
  // The day count is the true number of days between the two dates as
  // written; a date that the month does not have (31.02) gives no day count
  // and so no grade, and an end before the start gives none either.
  const QDate start = DumpDate(dump, record + kStartDate);
  const QDate end = DumpDate(dump, record + kEndDate);
  if (!start.isValid() || !end.isValid()) return QString();
  const int64_t days = start.daysTo(end);
  if (days < 0) return QString();
  // 64-bit, so that a test spanning years cannot wrap around.
  const int64_t duration =
      Seconds(dump, record + kEndTime) + days * 86400 - Seconds(dump, record + kStartTime);
  const int64_t k = duration / step;  // truncated toward zero
  if (k <= 0) return QString();
  return QStringLiteral("B%1").arg(2 * (k >= 10 ? 10 : k));
}

WaterDump DecodeWaterDump(DumpView dump, int deviceType, int recordCount) {
  WaterDump out;
  // Sized once for the records the image can hold, never for a count alone.
  const int fits = std::max(0, std::min(recordCount, dump.size / kWaterRecordSize));
  out.rows.reserve(size_t(fits) * 6);
  out.series.reserve(fits);
  int record = 0;
  for (int i = 0; i < recordCount; ++i, record += kWaterRecordSize) {
    // A count that reaches past the image stops at its end.
    if (!dump.holds(record, kWaterRecordSize)) break;
    const int serial = dump.at(record + kSeries);
    out.series.append(QString::number(serial));
    MeasurementRow row;
    ShortText start;
    PutDate(start, dump, record + kStartDate);
    start.Put(u' ');
    PutTime(start, dump, record + kStartTime);
    row[Field::Date] = start.ToString();
    row[Field::DevType] = int64_t(deviceType);
    row[Field::Serial] = int64_t(serial);
    row[Field::NbType] = int64_t(ShownKind::Water);
    row[Field::R] = double(dump.at(record + kStep));
    row[Field::H] = double(dump.at(record + kHeight));
    row[Field::Type] = WaterGrade(dump, record);
    row[Field::T] = QStringLiteral("сжатие");
    for (int s = 1; s <= 6; ++s) {
      row[Field::N] = int64_t(s);
      const int at = record + SampleOffset(s);
      row[Field::Time] = dump.at(at + 2) != kNoResultSeconds
                             ? FieldValue(DumpDurationText(dump, at))
                             : FieldValue();
      // 0.2 MPa per step; counts above 10 go on at the same rate.
      row[Field::P] = WaterStepCount(dump, record, s) / 5.0;
      out.rows.push_back(row);
    }
  }
  return out;
}

namespace {
bool SameThreeBytes(DumpView dump, int a, int b) {
  return dump.at(a) == dump.at(b) && dump.at(a + 1) == dump.at(b + 1) &&
         dump.at(a + 2) == dump.at(b + 2);
}
}  // namespace

QString PlateText(uint8_t plate) {
  // Every row of a plate memory names its plate: the 256 names are made once.
  static const std::array<QString, 256> names = [] {
    std::array<QString, 256> out;
    for (int b = 0; b < 256; ++b) {
      const int size = b & 0x7F;
      out[size_t(b)] = (b & 0x80) ? QStringLiteral("%1x%1 мм").arg(size)
                                  : QStringLiteral("диам. %1 мм").arg(size);
    }
    return out;
  }();
  return names[plate];
}

PlateDump DecodePlateDump(DumpView dump, int deviceType, int deviceSerial) {
  PlateDump out;
  out.header.recordCount = dump_word(dump, 0);
  out.header.recordSize = dump_word(dump, 2);
  // A record size of 0 describes no records (the download refuses such an
  // image; this keeps a direct call from making one record 65,535 times).
  const int count = out.header.recordSize == 0 ? 0 : out.header.recordCount;
  if (count > 0 && dump.size > kPlateFirstRecord)
    out.rows.reserve(
        size_t(std::min(count, (dump.size - kPlateFirstRecord) / out.header.recordSize + 1)));
  for (int n = 1; n <= count; ++n) {
    const int64_t at = kPlateFirstRecord + int64_t(n - 1) * out.header.recordSize;
    // A count or size that reaches past the image stops at its end.
    if (!dump.holds(at, kPlateBytesRead)) break;
    const int rec = int(at);
    MeasurementRow& row = out.rows.emplace_back();
    row[Field::N] = int64_t(n);
    // Rows of one day share one date text, and rows of one second one time
    // text: a memory of a day's tests holds a single date.
    const MeasurementRow* last = n > 1 ? &out.rows[out.rows.size() - 2] : nullptr;
    const int lastRec = rec - out.header.recordSize;
    row[Field::Time] = last && SameThreeBytes(dump, rec + kPlateTime, lastRec + kPlateTime)
                           ? (*last)[Field::Time]
                           : FieldValue(DumpTimeText(dump, rec + kPlateTime));
    row[Field::Date] = last && SameThreeBytes(dump, rec + kPlateDate, lastRec + kPlateDate)
                           ? (*last)[Field::Date]
                           : FieldValue(DumpDateText(dump, rec + kPlateDate));
    row[Field::DevType] = int64_t(deviceType);
    row[Field::Serial] = int64_t(deviceSerial);
    row[Field::NbType] = int64_t(ShownKind::Plate);
    row[Field::R] = dump_word(dump, rec + kPlateR) / 100.0;
    row[Field::P] = dump_word(dump, rec + kPlateP) / 100.0;
    row[Field::Type] = PlateText(dump.at(rec + kPlateKind));
  }
  return out;
}
