// Writes one sample of each report as PDF into the folder given, for the
// pictures in docs/ (pdftoppm turns them into PNG).
#include <QApplication>
#include <QDir>

#include "output/reports/report_fixtures.h"
#include "output/reports/report_render.h"
#include "output/reports/report_templates.h"

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
  QApplication app(argc, argv);
  const QDir out(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QDir::currentPath());

  std::vector<FakeRow> water;
  const char* times[] = {"16:00:00", "30:00:00", "", "48:00:00", "00:00:00", "47:59:59"};
  const double pressures[] = {0.2, 0.4, 0.0, 0.6, 0.0, 0.6};
  for (int n = 1; n <= 6; ++n) {
    water.push_back({{"N", int64_t(n)},
                     {"SERIAL", int64_t(7)},
                     {"H", 150.0},
                     {"R", 16.0},
                     {"P", pressures[n - 1]},
                     {"DATE", QStringLiteral("05.03.2010 09:15:00")},
                     {"TIME", QString::fromLatin1(times[n - 1])},
                     {"TYPE", QStringLiteral("B6")}});
  }
  std::vector<FakeRow> plate;
  const char* plates[] = {"D=300", "D=300", "D=600", "300x300"};
  for (int n = 1; n <= 4; ++n) {
    plate.push_back({{"N", int64_t(n)},
                     {"SERIAL", int64_t(4321)},
                     {"DATE", QStringLiteral("25.05.2010")},
                     {"TIME", QStringLiteral("10:2%1:30").arg(n)},
                     {"P", 12.5 * n},
                     {"R", 0.1768 * n},
                     {"H", 1.5},
                     {"T", QString::fromUtf8("штамп")},
                     {"TYPE", QString::fromLatin1(plates[n - 1])},
                     {"COMMENT", QString::fromUtf8("участок %1, слой основания").arg(n)}});
  }
  const std::pair<const ReportTemplate*, std::vector<FakeRow>*> samples[] = {
      {&Report1(), &water}, {&Report2(), &plate}, {&Report3(), &plate}};
  int failures = 0;
  for (const auto& [layout, rows] : samples) {
    FakeRows source(*rows);
    const PreparedReport r = PrepareReport(*layout, source);
    if (!WriteReportPdf(r, out.filePath(layout->name.toLower() + QStringLiteral(".pdf"))))
      ++failures;
  }
  return failures;
}
