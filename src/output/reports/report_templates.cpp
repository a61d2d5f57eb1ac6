#include "output/reports/report_templates.h"

#include "platform/device_data.h"

namespace {

ReportBox HeaderBox(int left, int width, int top, int height, const char* text) {
  ReportBox b;
  b.left = left;
  b.top = top;
  b.width = width;
  b.height = height;
  b.text = QString::fromUtf8(text);
  b.font.pointSize = 12;
  b.font.bold = true;
  b.frame = true;
  return b;
}

ReportBox DataBox(int left, int width, int top, int height, const char* field,
                  ReportFormat format = ReportFormat::Text,
                  ReportHAlign align = ReportHAlign::Center) {
  ReportBox b;
  b.left = left;
  b.top = top;
  b.width = width;
  b.height = height;
  b.text = QStringLiteral("[Dbf1.\"%1\"]").arg(QString::fromLatin1(field));
  b.font.pointSize = 10;
  b.frame = true;
  b.format = format;
  b.hAlign = align;
  return b;
}

ReportBand TitleBand(int height, int width, const char* text) {
  ReportBox b;
  b.left = 72;
  b.width = width;
  b.height = height;
  b.text = QString::fromUtf8(text);
  b.font.pointSize = 14;
  b.font.bold = true;
  b.hAlign = ReportHAlign::Left;
  b.vAlign = ReportVAlign::Top;
  return ReportBand{height, {b}};
}

// "Стр. N из M", right-aligned with its right edge on the right margin.
ReportBand FooterBand(int left) {
  ReportBox b;
  b.left = left;
  b.width = 202;
  b.height = 20;
  b.text = QString::fromUtf8("Стр. [PAGE#] из [TOTALPAGES]");
  b.font.pointSize = 10;
  b.hAlign = ReportHAlign::Right;
  return ReportBand{20, {b}};
}

ReportTemplate MakeReport1() {
  ReportTemplate t;
  t.name = QStringLiteral("Report1");
  t.orientation = ReportOrientation::Landscape;
  t.title = TitleBand(28, 295, "ФИР-ТЛ7");
  struct Column {
    int left, width;
    const char* header;
    const char* field;
  };
  const Column columns[] = {
      {72, 60, "№ Серии ", "SERIAL"},
      {132, 96, "№ образца", "N"},
      {228, 106, "Высота образца, мм", "H"},
      {334, 183, "Время выдерживания на ступени, час.", "R"},
      {517, 208, "Давление, при котором наблюдалась фильтрация, МПа.", "P"},
      {725, 109, "Время начала испытания", "DATE"},
      // "Длительность" in the headers' 12 points takes 120 units; "Марка"
      // and its grades need far less than their 90.
      {834, 120, "Длительность испытания\n", "Time"},
      {954, 90, "Марка", "Type"},
  };
  t.pageHeader.height = 64;
  t.data.height = 44;
  for (const Column& c : columns) {
    t.pageHeader.boxes.push_back(HeaderBox(c.left, c.width, 1, 56, c.header));
    t.data.boxes.push_back(DataBox(c.left, c.width, 3, 40, c.field));
  }
  t.pageHeader.boxes[6].vAlign = ReportVAlign::Top;
  t.pageFooter = FooterBand(844);
  return t;
}

// The two plate reports share their first three columns and their bands.
void PlateCommon(ReportTemplate* t) {
  t->orientation = ReportOrientation::Portrait;
  t->pageHeader.height = 60;
  t->data.height = 40;
  t->pageHeader.boxes = {HeaderBox(72, 61, 0, 60, "N"), HeaderBox(133, 80, 0, 60, "Дата"),
                         HeaderBox(213, 66, 0, 60, "Время")};
  t->data.boxes = {DataBox(72, 61, 0, 40, "N"), DataBox(133, 80, 0, 40, "DATE"),
                   DataBox(213, 66, 0, 40, "TIME")};
  t->pageFooter = FooterBand(531);
}

ReportTemplate MakeReport2() {
  ReportTemplate t;
  t.name = QStringLiteral("Report2");
  PlateCommon(&t);
  t.title = TitleBand(64, 333, "ДК-ТЛ7  № [Dbf1.\"SERIAL\"]");
  auto& h = t.pageHeader.boxes;
  auto& d = t.data.boxes;
  h.push_back(HeaderBox(279, 72, 0, 60, "P, кН"));
  d.push_back(DataBox(279, 72, 0, 40, "P", ReportFormat::UpToThree));
  h.push_back(HeaderBox(351, 72, 0, 60, "R, МПа"));
  d.push_back(DataBox(351, 72, 0, 40, "R", ReportFormat::UpToThree));
  h.push_back(HeaderBox(423, 72, 0, 60, "dН"));
  d.push_back(DataBox(423, 72, 0, 40, "H", ReportFormat::TwoDecimals));
  h.push_back(HeaderBox(495, 104, 0, 60, "Вид испытаний"));
  d.push_back(DataBox(495, 104, 0, 40, "T"));
  h.push_back(HeaderBox(599, 133, 0, 60, "Размер образца, мм"));
  d.push_back(DataBox(599, 133, 0, 40, "COMMENT", ReportFormat::Text, ReportHAlign::Left));
  return t;
}

ReportTemplate MakeReport3() {
  ReportTemplate t;
  t.name = QStringLiteral("Report3");
  PlateCommon(&t);
  t.title = TitleBand(64, 295, "ЗЕН-ТЛ7  № [Dbf1.\"SERIAL\"]");
  auto& h = t.pageHeader.boxes;
  auto& d = t.data.boxes;
  // The data box of P reaches one unit into the next column.
  h.push_back(HeaderBox(279, 144, 0, 60, "P, кН"));
  d.push_back(DataBox(279, 145, 0, 40, "P", ReportFormat::TwoDecimals));
  h.push_back(HeaderBox(423, 120, 0, 60, "Тип и размер пластины"));
  d.push_back(DataBox(423, 120, 0, 40, "TYPE"));
  h.push_back(HeaderBox(543, 189, 0, 60, "Примечание"));
  d.push_back(DataBox(543, 189, 0, 40, "COMMENT", ReportFormat::Text, ReportHAlign::Left));
  return t;
}

}  // namespace

const ReportTemplate& Report1() {
  static const ReportTemplate t = MakeReport1();
  return t;
}

const ReportTemplate& Report2() {
  static const ReportTemplate t = MakeReport2();
  return t;
}

const ReportTemplate& Report3() {
  static const ReportTemplate t = MakeReport3();
  return t;
}

ReportId SelectReport(ReportView view, uint8_t deviceType) {
  if (view == ReportView::WaterPermeability) return ReportId::Report1;
  return IsPlateTesterType(deviceType) ? ReportId::Report3 : ReportId::Report2;
}

const ReportTemplate& ReportById(ReportId id) {
  switch (id) {
    case ReportId::Report1:
      return Report1();
    case ReportId::Report2:
      return Report2();
    case ReportId::Report3:
      break;
  }
  return Report3();
}
