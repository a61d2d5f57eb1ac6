// The spread beside the footers: sample standard deviation and coefficient
// of variation, against figures worked out by hand.
#include "store/spread.h"

#include <gtest/gtest.h>

#include <QLocale>
#include <cmath>

namespace {

QString Ru(const char* utf8) { return QString::fromUtf8(utf8); }

class SpreadTest : public ::testing::Test {
 protected:
  void SetUp() override { QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia)); }
  void TearDown() override { QLocale::setDefault(QLocale::c()); }
};

TEST_F(SpreadTest, SampleDeviationAndVariationByHand) {
  const struct {
    std::vector<double> values;
    double mean;
    double sd;  // < 0: none
    double cv;  // < 0: none
    const char* text;
  } cases[] = {
      // mean 26; squares 4+1+0+1+4 = 10; s = sqrt(10 / 4) = 1.58114; V = 6.0813 %
      {{24, 25, 26, 27, 28}, 26, std::sqrt(2.5), std::sqrt(2.5) / 26 * 100, "s = 1,58; V = 6,1 %"},
      // mean 3.4 / 6; squares sum 0.43333; s = sqrt(0.086667) = 0.29439; V = 51.95 %
      {{0.2, 0.4, 0.4, 0.6, 0.8, 1.0},
       3.4 / 6,
       std::sqrt(0.4333333333333333 / 5),
       std::sqrt(0.4333333333333333 / 5) / (3.4 / 6) * 100,
       "s = 0,29; V = 52 %"},
      // Two values: n - 1 = 1, s = |a - b| / sqrt(2).
      {{0.2, 0.6},
       0.4,
       0.4 / std::sqrt(2.0),
       0.4 / std::sqrt(2.0) / 0.4 * 100,
       "s = 0,28; V = 70,7 %"},
      {{8, 8, 8}, 8, 0, 0, "s = 0; V = 0 %"},
      // A zero mean has no coefficient of variation.
      {{-1, 1}, 0, std::sqrt(2.0), -1, "s = 1,41; V = —"},
      // Close values keep their digits: s = 0.01, V = 0.0395 %.
      {{25.31, 25.32, 25.33}, 25.32, 0.01, 0.01 / 25.32 * 100, "s = 0,01; V = 0 %"},
      {{2.5}, 2.5, -1, -1, "s = —; V = —"},
      {{}, 0, -1, -1, "s = —; V = —"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    const Spread s = SpreadOf(c.values);
    EXPECT_EQ(s.count, int(c.values.size()));
    EXPECT_NEAR(s.mean, c.mean, 1e-12);
    ASSERT_EQ(s.sd.has_value(), c.sd >= 0);
    EXPECT_NEAR(s.sd.value_or(-1), c.sd, 1e-9);
    ASSERT_EQ(s.cvPercent.has_value(), c.cv >= 0);
    EXPECT_NEAR(s.cvPercent.value_or(-1), c.cv, 1e-9);
    EXPECT_EQ(SpreadText(s), Ru(c.text));
  }
}

// The rows shown, or the marked ones once two or more are marked, as the
// footers count them; a blank value counts as 0 there too.
TEST_F(SpreadTest, OverTheShownRowsOrTheMarkedOnes) {
  const std::vector<MarkedValues> shown = {{0.2, 24.0}, {0.4, 25.0}, {0.4, 26.0},
                                           {0.6, 27.0}, {0.8, 28.0}, {1.0, FieldValue{}}};
  SpreadTexts t = BuildSpreadTexts(shown, {});
  EXPECT_FALSE(t.ofMarked);
  EXPECT_EQ(t.p, Ru("s = 0,29; V = 52 %"));
  // R: 24 … 28 and a blank (0): mean 130 / 6 = 21.667; squares of the
  // deviations 5.444 + 11.111 + 18.778 + 28.444 + 40.111 + 469.444 = 573.333;
  // s = sqrt(573.333 / 5) = 10.708; V = 10.708 / 21.667 = 49.42 %.
  EXPECT_EQ(t.r, Ru("s = 10,71; V = 49,4 %"));

  t = BuildSpreadTexts(shown, {{0.4, 24.0}});  // a single click marks one row
  EXPECT_FALSE(t.ofMarked);
  EXPECT_EQ(t.p, Ru("s = 0,29; V = 52 %"));

  t = BuildSpreadTexts(shown, {{0.2, 24.0}, {0.6, int64_t(28)}});
  EXPECT_TRUE(t.ofMarked);
  EXPECT_EQ(t.p, Ru("s = 0,28; V = 70,7 %"));
  // R 24 and 28: s = 4 / sqrt(2) = 2.828; V = 2.828 / 26 = 10.88 %.
  EXPECT_EQ(t.r, Ru("s = 2,83; V = 10,9 %"));

  t = BuildSpreadTexts({{0.6, 16.0}}, {});
  EXPECT_EQ(t.p, Ru("s = —; V = —"));
  EXPECT_EQ(t.r, Ru("s = —; V = —"));
}

}  // namespace
