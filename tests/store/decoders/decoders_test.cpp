// The two dump decoders: the instruments' record layouts turned into rows.
#include "store/decoders.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "store/measurement_table.h"

namespace {

using Bytes = std::vector<uint8_t>;

DumpView View(const Bytes& b) { return DumpView{b.data(), int(b.size())}; }

// One water-permeability record from its parts.
struct Triple {
  uint8_t a, b, c;
};
Bytes WaterRecord(uint8_t height, uint8_t series, Triple startDate, Triple startTime,
                  Triple endDate, Triple endTime, Triple step, uint8_t mode,
                  std::array<Triple, 6> samples) {
  Bytes r = {height,      series,      startDate.a, startDate.b, startDate.c, startTime.a,
             startTime.b, startTime.c, endDate.a,   endDate.b,   endDate.c,   endTime.a,
             endTime.b,   endTime.c,   step.a,      step.b,      step.c,      mode};
  for (const Triple& s : samples) r.insert(r.end(), {s.a, s.b, s.c});
  return r;
}

// The record of the instrument's manual: series 7, 150 mm, two days of
// 16-hour steps.
Bytes ManualRecord() {
  return {0x96, 0x07, 0x0A, 0x03, 0x05, 0x09, 0x0F, 0x00, 0x0A, 0x03, 0x07, 0x09,
          0x0F, 0x00, 0x10, 0x00, 0x00, 0x00, 0x10, 0x00, 0x00, 0x1E, 0x00, 0x00,
          0x00, 0x00, 0x9C, 0x30, 0x00, 0x00, 0x00, 0x00, 0x00, 0x2F, 0x3B, 0x3B};
}

// One field's values over the rows.
std::vector<FieldValue> Column(const std::vector<MeasurementRow>& rows, Field field) {
  std::vector<FieldValue> out;
  for (const MeasurementRow& r : rows) out.push_back(r[field]);
  return out;
}

TEST(WaterDecoder, ManualRecordGivesSixRowsOfTheSeries) {
  Bytes dump = ManualRecord();
  const WaterDump decoded = DecodeWaterDump(View(dump), 2, 1);
  EXPECT_EQ(decoded.series, QStringList{"7"});
  ASSERT_EQ(decoded.rows.size(), 6u);
  const struct {
    const char* time;
    double p;
  } samples[6] = {{"16:00:00", 0.2}, {"30:00:00", 0.4}, {"", 0.0},
                  {"48:00:00", 0.6}, {"00:00:00", 0.0}, {"47:59:59", 0.6}};
  for (int i = 0; i < 6; ++i) {
    SCOPED_TRACE(i);
    const MeasurementRow& row = decoded.rows[size_t(i)];
    EXPECT_EQ(row[Field::N], FieldValue(int64_t(i + 1)));
    EXPECT_EQ(ValueToText(row[Field::Time]), samples[i].time);
    EXPECT_NEAR(ValueToFloat(row[Field::P]), samples[i].p, 1e-9);
    EXPECT_EQ(row[Field::Date], FieldValue(QString("05.03.2010 09:15:00")));
    EXPECT_EQ(row[Field::Serial], FieldValue(int64_t(7)));
    EXPECT_EQ(row[Field::DevType], FieldValue(int64_t(2)));
    EXPECT_EQ(row[Field::NbType], FieldValue(int64_t(1)));
    EXPECT_EQ(row[Field::H], FieldValue(150.0));
    EXPECT_EQ(row[Field::R], FieldValue(16.0));
    EXPECT_EQ(row[Field::Type], FieldValue(QString("B6")));
    EXPECT_EQ(row[Field::T], FieldValue(QString("сжатие")));
    // Fields the instrument does not deliver stay blank.
    EXPECT_TRUE(std::holds_alternative<std::monostate>(row[Field::Zav]));
    EXPECT_TRUE(std::holds_alternative<std::monostate>(row[Field::Comment]));
  }
  // A sample without a result has no time at all, not an empty text.
  EXPECT_TRUE(std::holds_alternative<std::monostate>(decoded.rows[2][Field::Time]));
}

TEST(WaterDecoder, SeriesListKeepsDumpOrderAndRepeats) {
  Bytes dump;
  for (uint8_t s : {3, 9, 3}) {
    Bytes r = ManualRecord();
    r[1] = s;
    dump.insert(dump.end(), r.begin(), r.end());
  }
  const WaterDump decoded = DecodeWaterDump(View(dump), 1, 3);
  EXPECT_EQ(decoded.series, (QStringList{"3", "9", "3"}));
  ASSERT_EQ(decoded.rows.size(), 18u);
  // Series by series, samples in order.
  std::vector<FieldValue> n = Column(decoded.rows, Field::N),
                          serial = Column(decoded.rows, Field::Serial);
  for (int i = 0; i < 18; ++i) {
    EXPECT_EQ(ValueToInt(n[i]), i % 6 + 1);
    EXPECT_EQ(ValueToInt(serial[i]), (i / 6 == 1) ? 9 : 3);
  }
}

TEST(WaterDecoder, ZeroRecordsGiveNoRows) {
  Bytes dump = ManualRecord();
  const WaterDump decoded = DecodeWaterDump(View(dump), 1, 0);
  EXPECT_TRUE(decoded.series.isEmpty());
  EXPECT_TRUE(decoded.rows.empty());
}

TEST(WaterDecoder, CountBeyondTheImageStopsAtItsEnd) {
  // Two whole records and a torn third in the image, 255 announced.
  Bytes dump = ManualRecord();
  Bytes second = ManualRecord();
  second[1] = 8;
  dump.insert(dump.end(), second.begin(), second.end());
  dump.insert(dump.end(), {0x96, 0x09, 0x0A});
  const WaterDump decoded = DecodeWaterDump(View(dump), 1, 255);
  EXPECT_EQ(decoded.series, (QStringList{"7", "8"}));
  EXPECT_EQ(decoded.rows.size(), 12u);
}

TEST(WaterDecoder, StepCountsAboveTenGoOnAtTwoTenthsPerStep) {
  // 24 hours under pressure with 2-hour steps: 12 steps.
  Bytes dump =
      WaterRecord(100, 1, {10, 1, 1}, {0, 0, 0}, {10, 1, 2}, {0, 0, 0}, {2, 0, 0}, 0,
                  {{{24, 0, 0}, {20, 0, 0}, {20, 0, 1}, {0, 0, 156}, {1, 0, 0}, {0, 0, 0}}});
  const WaterDump decoded = DecodeWaterDump(View(dump), 1, 1);
  const double expected[6] = {2.4, 2.0, 2.2, 0.0, 0.2, 0.0};
  std::vector<FieldValue> p = Column(decoded.rows, Field::P);
  ASSERT_EQ(p.size(), 6u);
  for (int i = 0; i < 6; ++i) EXPECT_NEAR(ValueToFloat(p[i]), expected[i], 1e-9) << i;
  EXPECT_EQ(ValueToText(decoded.rows[0][Field::Type]), "B20");
}

TEST(WaterDecoder, ZeroHoldingTimeGivesNoPressureAndNoGrade) {
  Bytes dump = WaterRecord(100, 4, {10, 1, 1}, {0, 0, 0}, {10, 1, 3}, {0, 0, 0}, {0, 0, 0}, 0,
                           {{{24, 0, 0}, {1, 0, 0}, {0, 0, 1}, {0, 0, 156}, {9, 9, 9}, {0, 0, 0}}});
  const WaterDump decoded = DecodeWaterDump(View(dump), 1, 1);
  ASSERT_EQ(decoded.rows.size(), 6u);
  for (int i = 0; i < 6; ++i) {
    EXPECT_NEAR(ValueToFloat(decoded.rows[size_t(i)][Field::P]), 0.0, 1e-12) << i;
    EXPECT_EQ(ValueToText(decoded.rows[size_t(i)][Field::Type]), "") << i;
  }
  // The elapsed times are still shown.
  EXPECT_EQ(ValueToText(decoded.rows[0][Field::Time]), "24:00:00");
}

TEST(WaterDecoder, ImpossibleDateStillDecodesTheOtherRecords) {
  Bytes dump = WaterRecord(100, 1, {10, 2, 31}, {0, 0, 0}, {10, 3, 2}, {0, 0, 0}, {8, 0, 0}, 0,
                           {{{8, 0, 0}, {8, 0, 0}, {8, 0, 0}, {8, 0, 0}, {8, 0, 0}, {8, 0, 0}}});
  Bytes good = ManualRecord();
  dump.insert(dump.end(), good.begin(), good.end());
  const WaterDump decoded = DecodeWaterDump(View(dump), 1, 2);
  EXPECT_EQ(decoded.series, (QStringList{"1", "7"}));
  ASSERT_EQ(decoded.rows.size(), 12u);
  EXPECT_EQ(ValueToText(decoded.rows[0][Field::Date]), "31.02.2010 00:00:00");
  EXPECT_EQ(ValueToText(decoded.rows[0][Field::Type]), "");
  EXPECT_NEAR(ValueToFloat(decoded.rows[0][Field::P]), 0.2, 1e-9);
  EXPECT_EQ(ValueToText(decoded.rows[6][Field::Type]), "B6");
}

TEST(WaterStepCount, CountsWholeSecondsRoundingUp) {
  const struct {
    Triple elapsed, step;
    int steps;
  } cases[] = {
      {{16, 0, 0}, {8, 0, 0}, 2},
      {{16, 0, 1}, {8, 0, 0}, 3},
      {{1, 0, 0}, {0, 10, 0}, 6},  // exact multiple of a step under an hour
      {{0, 30, 0}, {0, 0, 7}, 258},
      {{0, 0, 0}, {8, 0, 0}, 0},
      {{12, 5, 156}, {8, 0, 0}, 0},  // no result, whatever the hours say
      {{5, 0, 0}, {0, 0, 0}, 0},     // zero holding time
      {{255, 59, 59}, {0, 0, 1}, 255 * 3600 + 59 * 60 + 59},
  };
  for (const auto& c : cases) {
    Bytes r = WaterRecord(0, 0, {10, 1, 1}, {0, 0, 0}, {10, 1, 1}, {0, 0, 0}, c.step, 0,
                          {{c.elapsed, c.elapsed, c.elapsed, c.elapsed, c.elapsed, c.elapsed}});
    for (int s = 1; s <= 6; ++s)
      EXPECT_EQ(WaterStepCount(View(r), 0, s), c.steps)
          << int(c.elapsed.a) << ":" << int(c.elapsed.b) << ":" << int(c.elapsed.c) << " / "
          << int(c.step.a) << ":" << int(c.step.b) << ":" << int(c.step.c) << " sample " << s;
  }
}

TEST(WaterGrade, FromDurationStepAndMode) {
  const struct {
    Triple startDate, startTime, endDate, endTime, step;
    uint8_t mode;
    const char* grade;
  } cases[] = {
      {{10, 3, 5}, {9, 0, 0}, {10, 3, 7}, {9, 0, 0}, {16, 0, 0}, 0, "B6"},
      {{10, 3, 5}, {9, 0, 0}, {10, 3, 5}, {9, 0, 0}, {16, 0, 0}, 0, ""},
      {{10, 3, 5}, {9, 0, 0}, {10, 3, 5}, {8, 59, 59}, {1, 0, 0}, 0, ""},  // end before start
      {{10, 3, 5}, {9, 0, 0}, {10, 3, 5}, {10, 0, 0}, {1, 0, 0}, 0, "B2"},
      {{10, 3, 5}, {9, 0, 0}, {10, 3, 5}, {9, 59, 59}, {1, 0, 0}, 0, ""},
      {{10, 3, 5}, {0, 0, 0}, {10, 3, 5}, {18, 0, 0}, {2, 0, 0}, 0, "B18"},
      {{10, 3, 5}, {0, 0, 0}, {10, 3, 5}, {20, 0, 0}, {2, 0, 0}, 0, "B20"},
      {{10, 3, 5}, {0, 0, 0}, {10, 3, 6}, {0, 0, 0}, {1, 0, 0}, 0, "B20"},
      {{10, 3, 5}, {9, 0, 0}, {10, 3, 7}, {9, 0, 0}, {16, 0, 0}, 5, "Не ГОСТ"},
      {{10, 3, 5}, {9, 0, 0}, {10, 3, 5}, {9, 0, 0}, {0, 0, 0}, 5, "Не ГОСТ"},
      {{10, 3, 7}, {9, 0, 0}, {10, 3, 5}, {9, 0, 0}, {1, 0, 0}, 0, ""},  // end date first
      {{10, 3, 5}, {9, 0, 0}, {10, 3, 9}, {9, 0, 0}, {0, 0, 0}, 0, ""},  // zero step
      // True day counts: across a month end, in and out of leap years, and
      // beyond twelve days.
      {{11, 2, 28}, {6, 0, 0}, {11, 3, 1}, {6, 0, 0}, {12, 0, 0}, 0, "B4"},
      {{12, 2, 28}, {6, 0, 0}, {12, 3, 1}, {6, 0, 0}, {12, 0, 0}, 0, "B8"},
      {{10, 12, 31}, {0, 0, 0}, {11, 1, 14}, {0, 0, 0}, {48, 0, 0}, 0, "B14"},
      // A day the month does not have gives no day count.
      {{10, 2, 31}, {0, 0, 0}, {10, 3, 5}, {0, 0, 0}, {1, 0, 0}, 0, ""},
      {{10, 3, 1}, {0, 0, 0}, {10, 4, 31}, {0, 0, 0}, {1, 0, 0}, 0, ""},
      // Out-of-range bytes are read as 01, as the date text shows them.
      {{10, 0, 0}, {0, 0, 0}, {10, 1, 3}, {0, 0, 0}, {24, 0, 0}, 0, "B4"},
  };
  for (const auto& c : cases) {
    Bytes r = WaterRecord(0, 0, c.startDate, c.startTime, c.endDate, c.endTime, c.step, c.mode, {});
    EXPECT_EQ(WaterGrade(View(r), 0), QString::fromUtf8(c.grade))
        << int(c.startDate.c) << "." << int(c.startDate.b) << "." << int(c.startDate.a) << " -> "
        << int(c.endDate.c) << "." << int(c.endDate.b) << "." << int(c.endDate.a) << " step "
        << int(c.step.a) << " mode " << int(c.mode);
  }
}

TEST(DumpText, DatesTimesDurationsAndWords) {
  const struct {
    Triple bytes;
    const char *date, *time, *dur;
  } cases[] = {
      {{10, 3, 5}, "05.03.2010", "10:03:05", "10:03:05"},
      {{0, 1, 1}, "01.01.2000", "00:01:01", "00:01:01"},
      {{255, 12, 31}, "31.12.2255", "00:12:31", "255:12:31"},
      {{24, 13, 32}, "01.01.2024", "00:13:32", "24:13:32"},
      {{23, 0, 0}, "01.01.2023", "23:00:00", "23:00:00"},
      {{100, 60, 60}, "01.01.2100", "00:00:00", "100:00:00"},
      {{5, 59, 59}, "01.01.2005", "05:59:59", "05:59:59"},
      {{9, 2, 156}, "01.02.2009", "09:02:00", "09:02:00"},
  };
  for (const auto& c : cases) {
    Bytes b = {0xEE, c.bytes.a, c.bytes.b, c.bytes.c};
    EXPECT_EQ(DumpDateText(View(b), 1), c.date);
    EXPECT_EQ(DumpTimeText(View(b), 1), c.time);
    EXPECT_EQ(DumpDurationText(View(b), 1), c.dur);
  }
  Bytes w = {0x34, 0x12, 0xFF};
  EXPECT_EQ(dump_word(View(w), 0), 0x1234);
  EXPECT_EQ(dump_word(View(w), 1), 0xFF12);
  // Past the end reads as zero instead of foreign memory.
  EXPECT_EQ(dump_word(View(w), 2), 0x00FF);
  EXPECT_EQ(DumpDateText(View(w), 2), "01.01.2255");
}

TEST(PlateText, SquareAndRoundPlates) {
  const struct {
    uint8_t plate;
    const char* text;
  } cases[] = {{0xA8, "40x40 мм"},   {0x32, "диам. 50 мм"}, {0x80, "0x0 мм"},
               {0x00, "диам. 0 мм"}, {0xFF, "127x127 мм"},  {0x7F, "диам. 127 мм"}};
  for (const auto& c : cases)
    EXPECT_EQ(PlateText(c.plate), QString::fromUtf8(c.text)) << int(c.plate);
}

TEST(PlateDecoder, ManualRecordGivesOneRow) {
  Bytes dump = {0x01, 0x00, 0x0B, 0x00, 0x0A, 0x14, 0x1E, 0x0A,
                0x05, 0x19, 0xD2, 0x04, 0x38, 0x00, 0xA8};
  const PlateDump decoded = DecodePlateDump(View(dump), 17, 4321);
  EXPECT_EQ(decoded.header.recordCount, 1);
  EXPECT_EQ(decoded.header.recordSize, 11);
  ASSERT_EQ(decoded.rows.size(), 1u);
  const MeasurementRow& row = decoded.rows[0];
  EXPECT_EQ(row[Field::N], FieldValue(int64_t(1)));
  EXPECT_EQ(row[Field::Time], FieldValue(QString("10:20:30")));
  EXPECT_EQ(row[Field::Date], FieldValue(QString("25.05.2010")));
  EXPECT_NEAR(ValueToFloat(row[Field::R]), 12.34, 1e-9);
  EXPECT_NEAR(ValueToFloat(row[Field::P]), 0.56, 1e-9);
  EXPECT_EQ(row[Field::Type], FieldValue(QString("40x40 мм")));
  EXPECT_EQ(row[Field::DevType], FieldValue(int64_t(17)));
  EXPECT_EQ(row[Field::Serial], FieldValue(int64_t(4321)));
  EXPECT_EQ(row[Field::NbType], FieldValue(int64_t(0)));
  EXPECT_TRUE(std::holds_alternative<std::monostate>(row[Field::H]));
  EXPECT_TRUE(std::holds_alternative<std::monostate>(row[Field::T]));
}

TEST(PlateDecoder, RecordSizeStepsOverUnreadBytes) {
  // Two records of 16 bytes; bytes 11 to 15 hold noise that must not leak.
  Bytes dump = {0x02, 0x00, 0x10, 0x00};
  Bytes first = {1, 2, 3, 10, 1, 2, 0x64, 0x00, 0xC8, 0x00, 0x32, 9, 9, 9, 9, 9};
  Bytes second = {23, 59, 59, 11, 12, 31, 0xFF, 0xFF, 0x01, 0x00, 0x85, 7, 7, 7, 7, 7};
  dump.insert(dump.end(), first.begin(), first.end());
  dump.insert(dump.end(), second.begin(), second.end());
  const PlateDump decoded = DecodePlateDump(View(dump), 16, 1);
  ASSERT_EQ(decoded.rows.size(), 2u);
  const struct {
    int n;
    const char *time, *date, *type;
    double r, p;
  } rows[] = {{1, "01:02:03", "02.01.2010", "диам. 50 мм", 1.0, 2.0},
              {2, "23:59:59", "31.12.2011", "5x5 мм", 655.35, 0.01}};
  for (int i = 0; i < 2; ++i) {
    const MeasurementRow& row = decoded.rows[size_t(i)];
    EXPECT_EQ(ValueToInt(row[Field::N]), rows[i].n);
    EXPECT_EQ(ValueToText(row[Field::Time]), rows[i].time);
    EXPECT_EQ(ValueToText(row[Field::Date]), rows[i].date);
    EXPECT_EQ(ValueToText(row[Field::Type]), QString::fromUtf8(rows[i].type));
    EXPECT_NEAR(ValueToFloat(row[Field::R]), rows[i].r, 1e-9);
    EXPECT_NEAR(ValueToFloat(row[Field::P]), rows[i].p, 1e-9);
  }
}

TEST(PlateDecoder, NeighbouringRecordsKeepTheirOwnDateAndTime) {
  // 11-byte records that differ from the one before in a single byte of the
  // time or the date, or not at all: each row reads its own record.
  Bytes dump = {0x05, 0x00, 0x0B, 0x00};
  const Bytes records[] = {{10, 0, 0, 24, 5, 1, 0, 0, 0, 0, 50},
                           {10, 0, 0, 24, 5, 2, 0, 0, 0, 0, 50},
                           {10, 0, 1, 24, 5, 2, 0, 0, 0, 0, 50},
                           {10, 0, 1, 24, 5, 2, 0, 0, 0, 0, 50},
                           {11, 0, 1, 24, 6, 2, 0, 0, 0, 0, 50}};
  for (const Bytes& r : records) dump.insert(dump.end(), r.begin(), r.end());
  const PlateDump decoded = DecodePlateDump(View(dump), 16, 1);
  ASSERT_EQ(decoded.rows.size(), 5u);
  const char* expected[][2] = {{"10:00:00", "01.05.2024"},
                               {"10:00:00", "02.05.2024"},
                               {"10:00:01", "02.05.2024"},
                               {"10:00:01", "02.05.2024"},
                               {"11:00:01", "02.06.2024"}};
  for (size_t i = 0; i < 5; ++i) {
    EXPECT_EQ(ValueToText(decoded.rows[i][Field::Time]), expected[i][0]) << i;
    EXPECT_EQ(ValueToText(decoded.rows[i][Field::Date]), expected[i][1]) << i;
  }
}

TEST(PlateDecoder, CountOrSizePastTheImageStopsAtItsEnd) {
  const struct {
    uint16_t count, size;
    int rows;
  } cases[] = {
      {0xFFFF, 0xFFFF, 1},  // the second record would start past the end
      {0xFFFF, 11, (65536 - 4) / 11},
      {0x1001, 16, (65536 - 4 - 11) / 16 + 1},  // the last record's 11 bytes still fit
      {3, 0, 0},
  };
  for (const auto& c : cases) {
    Bytes dump(65536, 0x21);
    dump[0] = uint8_t(c.count), dump[1] = uint8_t(c.count >> 8);
    dump[2] = uint8_t(c.size), dump[3] = uint8_t(c.size >> 8);
    const PlateDump decoded = DecodePlateDump(View(dump), 16, 1);
    EXPECT_EQ(int(decoded.rows.size()), c.rows) << c.count << " x " << c.size;
    EXPECT_EQ(decoded.header.recordCount, c.count);
    EXPECT_EQ(decoded.header.recordSize, c.size);
  }
}

// Short images pin where a record ends: its 11 read bytes must all lie in
// the image, not one fewer.
TEST(PlateDecoder, ARecordNeedsAllItsElevenBytesInTheImage) {
  const struct {
    int size;
    int rows;
  } cases[] = {{14, 0}, {15, 1}, {25, 1}, {26, 2}, {31, 2}};
  for (const auto& c : cases) {
    Bytes dump(size_t(c.size), 0x21);
    dump[0] = 0xFF, dump[1] = 0xFF;  // more records than the image holds
    dump[2] = 11, dump[3] = 0;
    EXPECT_EQ(int(DecodePlateDump(View(dump), 16, 1).rows.size()), c.rows) << c.size << " bytes";
  }
}

}  // namespace
