#pragma once
// Report templates as plain data: a page, four bands and their boxes, every
// position and size in whole template units of 1.015/93 inch.
#include <QString>
#include <vector>

// One template unit in millimetres and in inches.
constexpr double kReportUnitInch = 1.015 / 93.0;
constexpr double kReportUnitMm = kReportUnitInch * 25.4;

inline double ReportUnitsToMm(double units) { return units * kReportUnitMm; }
inline double MmToReportUnits(double mm) { return mm / kReportUnitMm; }

// How a data box turns a field value into text.
enum class ReportFormat {
  Text,         // plain text form; numbers in shortest form, locale separator
  UpToThree,    // at most three decimals, trailing zeros dropped, comma
  TwoDecimals,  // pattern "0.00", comma
};

enum class ReportHAlign { Left, Center, Right };
enum class ReportVAlign { Top, Center, Bottom };

struct ReportFont {
  QString family = QStringLiteral("Arial");
  double pointSize = 10;
  bool bold = false;
};

struct ReportBox {
  int left = 0;  // from the left edge of the page
  int top = 0;   // from the top of the band
  int width = 0;
  int height = 0;
  // Literal text with [Dbf1."FIELD"], [PAGE#] and [TOTALPAGES] in it.
  QString text;
  ReportFont font;
  ReportHAlign hAlign = ReportHAlign::Center;
  ReportVAlign vAlign = ReportVAlign::Center;
  bool frame = false;  // thin solid black line (1 unit) on all four sides
  bool wordWrap = true;
  ReportFormat format = ReportFormat::Text;
};

struct ReportBand {
  int height = 0;
  std::vector<ReportBox> boxes;
};

enum class ReportOrientation { Portrait, Landscape };

struct ReportTemplate {
  QString name;
  ReportOrientation orientation = ReportOrientation::Portrait;
  // A4 in template units follows from the orientation.
  int leftMargin = 72;
  int topMargin = 25;
  int rightMargin = 25;
  int bottomMargin = 25;
  ReportBand title;       // once, at the top of the first page
  ReportBand pageHeader;  // every page, under the title on the first
  ReportBand data;        // once per row
  ReportBand pageFooter;  // at the bottom of every page

  double PageWidthMm() const { return orientation == ReportOrientation::Landscape ? 297 : 210; }
  double PageHeightMm() const { return orientation == ReportOrientation::Landscape ? 210 : 297; }
  double PageWidthUnits() const { return MmToReportUnits(PageWidthMm()); }
  double PageHeightUnits() const { return MmToReportUnits(PageHeightMm()); }
};

// Padding of a box's text and the extra space between its lines, in units.
constexpr int kReportPadX = 2;
constexpr int kReportPadY = 1;
constexpr int kReportLineGap = 2;
