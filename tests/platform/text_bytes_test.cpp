// Texts and numbers as the bytes of fixed-width fields: code pages and
// fixed-point numbers.
#include <gtest/gtest.h>

#include <QStringDecoder>
#include <QStringEncoder>
#include <cmath>
#include <cstdint>

#include "platform/codepage.h"
#include "platform/fixed_number.h"

namespace {

// Texts go through the code page's own converters, byte for byte, also
// for characters the page does not have.
TEST(CodePage, TextBytesAreTheConvertersBytes) {
  const char* codecs[] = {"windows-1251", "IBM866",       "IBM437",       "IBM850",
                          "IBM852",       "windows-1250", "windows-1254", "windows-1253",
                          "windows-1252"};
  for (const char* codec : codecs) {
    QStringEncoder enc(codec, QStringConverter::Flag::Stateless);
    QStringDecoder dec(codec, QStringConverter::Flag::Stateless);
    ASSERT_TRUE(enc.isValid() && dec.isValid()) << codec;
    QByteArray all(256, '\0');
    for (int b = 0; b < 256; ++b) all[b] = char(b);
    const QString page = dec(all);
    EXPECT_EQ(DecodeFromCodePage(codec, all.constData(), 256), page) << codec;
    const QString foreign = QString::fromUtf8("Ёжик € 日本 \xF0\x9F\x98\x80 ÿ");
    for (const QString& text : {page, foreign, page.left(40) + foreign}) {
      EXPECT_EQ(EncodeInCodePage(codec, text), QByteArray(enc(text))) << codec;
      QByteArray field(30, '#');
      EncodeIntoWidth(codec, text, field.data(), 30);
      QByteArray want = QByteArray(enc(text)).left(30);
      want += QByteArray(30 - want.size(), ' ');
      EXPECT_EQ(field, want) << codec;
    }
  }
  // The program's own page, asked for again after the others.
  const QString russian = QString::fromUtf8("Не ГОСТ ёЁ № €");
  QStringEncoder enc1251("windows-1251", QStringConverter::Flag::Stateless);
  EXPECT_EQ(ToCp1251(russian), QByteArray(enc1251(russian)));
  EXPECT_EQ(FromCp1251(ToCp1251(russian)), russian);
}

TEST(CodePage, UnknownPageLeavesLatin1) {
  EXPECT_EQ(EncodeInCodePage("no-such-page", QString::fromUtf8("aé")), QByteArray("a\xe9"));
  EXPECT_EQ(DecodeFromCodePage("no-such-page", "a\xe9", 2), QString::fromUtf8("aé"));
}

// Numbers are written with the digits of Qt's fixed-point text: the exact
// binary value rounded, a halfway point away from zero, a negative value
// that shows as zero without its sign.
TEST(FixedNumber, NumberBytesAreQtFixedPointText) {
  auto expected = [](int length, int decimals, double v) {
    QByteArray t = QByteArray::number(v, 'f', decimals);
    if (t.startsWith('-') && !t.contains('1') && !t.contains('2') && !t.contains('3') &&
        !t.contains('4') && !t.contains('5') && !t.contains('6') && !t.contains('7') &&
        !t.contains('8') && !t.contains('9'))
      t.remove(0, 1);
    return t.size() > length ? QByteArray() : QByteArray(length - t.size(), ' ') + t;
  };
  auto check = [&](int length, int decimals, double v) {
    const QByteArray want = expected(length, decimals, v);
    const QByteArray untouched(length, '#');
    QByteArray field = untouched;
    const FixedFit fit = PutFixedNumber(v, length, decimals, field.data());
    EXPECT_EQ(fit == FixedFit::kWritten ? field : QByteArray(), want)
        << QByteArray::number(v, 'g', 17).constData() << " " << decimals;
    if (fit != FixedFit::kWritten) {
      EXPECT_EQ(field, untouched);
    }
  };
  const double fixed[] = {0.0,  -0.0,    0.5,        1.5,      2.5,          -2.5,   0.125,
                          0.375, -0.125, 0.0009765625, 1e-12, -1e-12,       0.2,    0.05,
                          150.0, -3.5,   99999999.5,   1e17,  123456789.125, 0.1 + 0.2};
  for (double v : fixed)
    for (int d : {0, 1, 2, 3, 9}) check(18, d, v);
  // Values of every scale, and binary fractions, which hold the halfway points.
  uint64_t x = 0x9E3779B97F4A7C15u;
  auto next = [&] {
    x ^= x << 13;
    x ^= x >> 7;
    x ^= x << 17;
    return x;
  };
  for (int i = 0; i < 20000; ++i) {
    const int d = int(next() % 10);
    const double scale = std::pow(10.0, double(int(next() % 14)) - 4);
    const double random = (double(next() % 2000001) - 1000000.0) / 1000000.0 * scale;
    const double dyadic = std::ldexp(double(int64_t(next() % 200001) - 100000), -int(next() % 24));
    check(18, d, random);
    check(18, d, dyadic);
    check(20, d, dyadic * 1e6);
  }
  // What does not fit is told as Qt would show it; what is no number, told.
  char field[6];
  QByteArray shown;
  EXPECT_EQ(PutFixedNumber(-1234.5, 6, 2, field, &shown), FixedFit::kTooWide);
  EXPECT_EQ(shown, QByteArray("-1234.50"));
  for (double v : {std::nan(""), HUGE_VAL, -HUGE_VAL})
    EXPECT_EQ(PutFixedNumber(v, 6, 2, field), FixedFit::kNotFinite) << v;
}

TEST(FixedNumber, IntegerBytesAreDecimalDigits) {
  struct Case {
    int64_t value;
    int length, decimals;
    const char* bytes;  // nullptr: does not fit
  } cases[] = {
      {0, 4, 0, "   0"},     {-7, 4, 0, "  -7"},     {65535, 9, 0, "    65535"},
      {12, 6, 2, " 12.00"},  {-1, 6, 2, " -1.00"},   {12345, 4, 0, nullptr},
      {-999, 4, 0, "-999"},  {-1000, 4, 0, nullptr}, {INT64_MIN, 20, 0, "-9223372036854775808"},
      {INT64_MAX, 18, 0, nullptr},
  };
  for (const Case& c : cases) {
    const QByteArray untouched(c.length, '#');
    QByteArray field = untouched, shown;
    const FixedFit fit = PutFixedInteger(c.value, c.length, c.decimals, field.data(), &shown);
    if (c.bytes) {
      EXPECT_EQ(fit, FixedFit::kWritten) << c.value;
      EXPECT_EQ(field, QByteArray(c.bytes)) << c.value;
    } else {
      EXPECT_EQ(fit, FixedFit::kTooWide) << c.value;
      EXPECT_EQ(field, untouched) << c.value;
      EXPECT_EQ(shown, QByteArray::number(qlonglong(c.value))) << c.value;
    }
  }
}

// Numbers are read from the stored text as Qt reads it, blanks around it
// dropped: the same value, or none where Qt finds none.
TEST(FixedNumber, StoredNumbersReadAsQtReadsThem) {
  std::vector<QByteArray> texts = {
      "0", "-0", "-0.000000000", "12.300000000", "  7", "007", "1.", ".5", "-", "1e3", "+4",
      "0.1", "123456789012345", "1234567890123456", "99999999999999999999", "1.2.3", "1 2",
      "\t5", "0.000000001", "-3.5", "9007199254740993", "12345.678901234"};
  uint64_t x = 88172645463325252u;
  for (int i = 0; i < 3000; ++i) {
    x ^= x << 13;
    x ^= x >> 7;
    x ^= x << 17;
    const double v = double(int64_t(x % 2000000001) - 1000000000) / std::pow(10.0, double(x % 12));
    texts.push_back(QByteArray::number(v, 'f', int(x >> 40) % 10));
  }
  for (const QByteArray& text : texts) {
    const QByteArray field = QByteArray(20 - qMin<int>(20, text.size()), ' ') + text.left(20);
    const QByteArray stored = field.trimmed();
    bool ok = false;
    const double want = stored.toDouble(&ok);
    double got = 0;
    const bool read = ReadFixedNumber(field.constData(), 20, &got);
    EXPECT_EQ(read, ok && std::isfinite(want) && !stored.isEmpty()) << text.constData();
    if (read) {
      EXPECT_EQ(got, want) << text.constData();
      EXPECT_EQ(std::signbit(got), std::signbit(want)) << text.constData();
    }
    bool intOk = false;
    const qlonglong wantInt = stored.toLongLong(&intOk);
    int64_t gotInt = 0;
    if (intOk) {
      EXPECT_TRUE(ReadFixedInteger(field.constData(), 20, &gotInt)) << text.constData();
      EXPECT_EQ(gotInt, wantInt) << text.constData();
    } else if (read && std::fabs(want) <= 9.2e18) {
      EXPECT_TRUE(ReadFixedInteger(field.constData(), 20, &gotInt)) << text.constData();
      EXPECT_EQ(gotInt, int64_t(std::trunc(want))) << text.constData();
    }
  }
}

}  // namespace
