#include "views/chart/chart_panel.h"

#include <QAction>
#include <QAreaSeries>
#include <QBuffer>
#include <QCategoryAxis>
#include <QChart>
#include <QChartView>
#include <QCoreApplication>
#include <QCursor>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGraphicsLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLegend>
#include <QLegendMarker>
#include <QLineSeries>
#include <QPainter>
#include <QScatterSeries>
#include <QSvgGenerator>
#include <QTimer>
#include <QToolButton>
#include <QToolTip>
#include <QVBoxLayout>
#include <QValueAxis>
#include <algorithm>
#include <cmath>
#include <set>

#include "platform/dialogs.h"
#include "platform/file_ops.h"
#include "platform/operator_error.h"
#include "platform/write_target.h"
#include "store/dbf/mdx_index.h"
#include "store/decimal_round.h"
#include "store/spread.h"
#include "views/grid/data_grid.h"
#include "views/table_views.h"

namespace chart {

namespace {

const QColor kPointColor(0x2f, 0x6f, 0xc0);
const QColor kMarkedColor(0xd0, 0x33, 0x2b);
const QColor kLineColor(0x2e, 0x9d, 0x4f);

QString Number(double value) { return FooterNumberText(RoundDecimal(value, 2)); }

// The points, split into the plain ones and the marked ones (drawn larger,
// in red, over the others).
void AddPoints(QChart* chart, const ChartData& data, const QString& name) {
  auto* plain = new QScatterSeries;
  plain->setName(name);
  plain->setColor(kPointColor);
  plain->setMarkerSize(9);
  auto* marked = new QScatterSeries;
  marked->setName(QStringLiteral("Отмеченные"));
  marked->setColor(kMarkedColor);
  marked->setMarkerSize(13);
  for (const ChartPoint& p : data.points) (p.marked ? marked : plain)->append(p.x, p.y);
  chart->addSeries(plain);
  if (marked->count() > 0)
    chart->addSeries(marked);
  else
    delete marked;
}

QLineSeries* Level(double from, double to, double y, const QString& name, const QColor& color,
                   Qt::PenStyle style) {
  auto* line = new QLineSeries;
  line->setName(name);
  line->append(from, y);
  line->append(to, y);
  QPen pen(color, 2, style);
  line->setPen(pen);
  return line;
}

// The horizontal axis: the sample numbers when they tell the points apart,
// else the position of each point.
QAbstractAxis* PointAxis(const ChartData& data, const QString& title, bool byLabel) {
  const double from = 0.5;
  const double to = double(data.points.size()) + 0.5;
  std::set<QString> labels;
  for (const ChartPoint& p : data.points) labels.insert(p.label);
  if (byLabel && labels.size() == data.points.size() && !data.points.empty()) {
    auto* axis = new QCategoryAxis;
    axis->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
    for (const ChartPoint& p : data.points) axis->append(p.label, p.x);
    axis->setRange(from, to);
    axis->setTitleText(title);
    return axis;
  }
  auto* axis = new QValueAxis;
  axis->setRange(from, std::max(to, 1.5));
  axis->setLabelFormat(QStringLiteral("%d"));
  axis->setTickType(QValueAxis::TicksDynamic);
  axis->setTickAnchor(1);
  axis->setTickInterval(std::max(1.0, std::ceil(data.points.size() / 10.0)));
  axis->setTitleText(byLabel ? QStringLiteral("Строка по порядку") : title);
  return axis;
}

QValueAxis* ValueAxis(double low, double high, const QString& title) {
  auto* axis = new QValueAxis;
  if (high - low < 1e-9) {
    low -= 1;
    high += 1;
  }
  // From zero up, unless a value lies below it.
  const double margin = (high - low) * 0.08;
  axis->setRange(low >= 0 ? std::max(0.0, low - margin) : low - margin, high + margin);
  axis->setTitleText(title);
  axis->applyNiceNumbers();
  return axis;
}

void AttachAxes(QChart* chart, QAbstractAxis* x, QAbstractAxis* y) {
  chart->addAxis(x, Qt::AlignBottom);
  chart->addAxis(y, Qt::AlignLeft);
  for (QAbstractSeries* s : chart->series()) {
    s->attachAxis(x);
    s->attachAxis(y);
  }
}

void DrawWater(QChart* chart, const ChartData& data) {
  chart->setTitle(QStringLiteral("Давление, при котором наблюдалась фильтрация"));
  const double to = double(data.points.size()) + 0.5;
  double high = 0;
  for (const ChartPoint& p : data.points) high = std::max(high, p.y);
  if (data.gradePressure) {
    chart->addSeries(
        Level(0.5, to, *data.gradePressure,
              QStringLiteral("Марка %1: %2 МПа").arg(data.grade, Number(*data.gradePressure)),
              kLineColor, Qt::DashLine));
    high = std::max(high, *data.gradePressure);
  }
  // The points over the line, so that a sample at the grade stays visible.
  AddPoints(chart, data, QStringLiteral("Образцы"));
  AttachAxes(chart, PointAxis(data, QStringLiteral("Образец"), true),
             ValueAxis(0, std::max(high, 0.2), QStringLiteral("P, МПа")));
}

void DrawPlate(QChart* chart, const ChartData& data) {
  chart->setTitle(QStringLiteral("R по дате и времени испытаний"));
  const double to = double(data.points.size()) + 0.5;
  double low = 0;
  double high = 0;
  if (!data.points.empty()) low = high = data.points.front().y;
  for (const ChartPoint& p : data.points) {
    low = std::min(low, p.y);
    high = std::max(high, p.y);
  }
  if (data.bandLow && data.bandHigh) {
    auto* upper = Level(0.5, to, *data.bandHigh, QString(), Qt::transparent, Qt::NoPen);
    auto* lower = Level(0.5, to, *data.bandLow, QString(), Qt::transparent, Qt::NoPen);
    auto* band = new QAreaSeries(upper, lower);
    // The area leaves its edges to the caller; they go with it.
    upper->setParent(band);
    lower->setParent(band);
    band->setName(QStringLiteral("± 2 s"));
    band->setColor(QColor(0x2e, 0x9d, 0x4f, 0x30));
    band->setBorderColor(QColor(0x2e, 0x9d, 0x4f, 0x80));
    chart->addSeries(band);
    low = std::min(low, *data.bandLow);
    high = std::max(high, *data.bandHigh);
  }
  if (data.mean)
    chart->addSeries(Level(0.5, to, *data.mean,
                           QStringLiteral("Среднее: %1").arg(Number(*data.mean)), kLineColor,
                           Qt::SolidLine));
  auto* path = new QLineSeries;
  path->setPen(QPen(kPointColor, 1));
  for (const ChartPoint& p : data.points) path->append(p.x, p.y);
  chart->addSeries(path);
  AddPoints(chart, data, QStringLiteral("R"));
  AttachAxes(chart, PointAxis(data, QStringLiteral("Испытание по порядку даты и времени"), false),
             ValueAxis(low, high, QStringLiteral("R, МПа")));
  // The line only joins the points; the legend names the points.
  for (QLegendMarker* marker : chart->legend()->markers(path)) marker->setVisible(false);
}

void Redraw(QChart* chart, const ChartData& data) {
  chart->removeAllSeries();
  for (QAbstractAxis* axis : chart->axes()) {
    chart->removeAxis(axis);
    delete axis;
  }
  if (data.kind == ChartKind::Water)
    DrawWater(chart, data);
  else
    DrawPlate(chart, data);
}

QByteArray PngOf(QChartView* view, QString* failure) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  if (!view->grab().save(&buffer, "PNG"))
    *failure = QStringLiteral("не удалось составить рисунок PNG");
  return bytes;
}

QByteArray SvgOf(QChartView* view, const QString& title) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  QSvgGenerator svg;
  svg.setOutputDevice(&buffer);
  svg.setSize(view->size());
  svg.setViewBox(QRect(QPoint(0, 0), view->size()));
  svg.setTitle(title);
  QPainter painter(&svg);
  view->render(&painter);
  painter.end();
  return bytes;
}

}  // namespace

ChartPanel::ChartPanel(QWidget* parent)
    : QWidget(parent) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(2, 2, 2, 2);
  auto* top = new QHBoxLayout;
  spread_ = new QLabel(this);
  spread_->setObjectName(QStringLiteral("spreadLabel"));
  spread_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  top->addWidget(spread_, 1);
  saveAction_ = new QAction(QStringLiteral("Сохранить график…"), this);
  saveAction_->setObjectName(QStringLiteral("saveChartAction"));
  connect(saveAction_, &QAction::triggered, this, &ChartPanel::AskAndSaveChart);
  auto* save = new QToolButton(this);
  save->setObjectName(QStringLiteral("saveChartButton"));
  save->setDefaultAction(saveAction_);
  save->setToolButtonStyle(Qt::ToolButtonTextOnly);
  top->addWidget(save, 0, Qt::AlignTop);
  layout->addLayout(top);

  auto* chart = new QChart;
  chart->setAnimationOptions(QChart::NoAnimation);
  chart->legend()->setAlignment(Qt::AlignBottom);
  view_ = new QChartView(chart, this);
  view_->setObjectName(QStringLiteral("chartView"));
  view_->setRenderHint(QPainter::Antialiasing);
  view_->setMinimumSize(320, 240);
  layout->addWidget(view_, 1);
  Refresh();
}

ChartPanel::~ChartPanel() { heard_.clear(); }

void ChartPanel::Follow(DataGrid* grid, ChartKind kind) {
  if (grid_ != grid && grid_) disconnect(grid_, nullptr, this, nullptr);
  if (grid && grid_ != grid)
    connect(grid, &DataGrid::SelectionChanged, this, &ChartPanel::OnGridSelection);
  grid_ = grid;
  kind_ = kind;
  if (grid && grid->table()) ListenTo(grid->table());
  ScheduleRefresh();
}

void ChartPanel::ListenTo(MeasurementTable* table) {
  for (const auto& heard : heard_)
    if (heard.first == table) return;
  heard_.emplace_back(table, table->AddListener([this](MeasurementTable::Change change) {
    if (change != MeasurementTable::Change::CurrentMoved) ScheduleRefresh();
  }));
}

// Many changes come at once (a sort resets the table and the marks); the
// chart is drawn once after them, and only while it can be seen.
void ChartPanel::ScheduleRefresh() {
  if (refreshPending_ || !isVisible()) return;
  refreshPending_ = true;
  QTimer::singleShot(0, this, [this] { Refresh(); });
}

void ChartPanel::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  ScheduleRefresh();
}

void ChartPanel::Refresh() {
  refreshPending_ = false;
  const MeasurementTable* table = grid_ ? grid_->table() : nullptr;
  const std::vector<ChartRow> rows = table ? ShownChartRows(*table) : std::vector<ChartRow>{};
  const std::vector<MarkedValues> marked =
      grid_ ? views::MarkedValuesInFileOrder(*grid_) : std::vector<MarkedValues>{};
  drawnMarks_ = CurrentMarks();
  shown_ = BuildChartData(kind_, rows, drawnMarks_);
  const SpreadTexts spread = BuildSpreadTexts(ShownValues(rows), marked);
  spread_->setText(QStringLiteral("Разброс по %1:\nP: %2\nR: %3")
                       .arg(spread.ofMarked
                                ? QStringLiteral("отмеченным строкам (%1)").arg(marked.size())
                                : QStringLiteral("показанным строкам (%1)").arg(rows.size()),
                            spread.p, spread.r));
  Redraw(view_->chart(), shown_);
  ShowLabelsOnHover();
  // The chart lays out its title, axes and legend on a posted request; do
  // it now, so that what is saved or grabbed next is the new chart.
  for (QGraphicsWidget* part : {static_cast<QGraphicsWidget*>(view_->chart()->legend()),
                                static_cast<QGraphicsWidget*>(view_->chart())}) {
    QCoreApplication::sendPostedEvents(part, QEvent::LayoutRequest);
    if (QGraphicsLayout* layout = part->layout()) layout->activate();
  }
}

// A point under the mouse tells its sample number or its date and time,
// and its value.
void ChartPanel::ShowLabelsOnHover() {
  for (QAbstractSeries* series : view_->chart()->series()) {
    auto* points = qobject_cast<QScatterSeries*>(series);
    if (!points) continue;
    connect(points, &QScatterSeries::hovered, this, [this](const QPointF& at, bool over) {
      const long index = std::lround(at.x()) - 1;
      if (!over || index < 0 || size_t(index) >= shown_.points.size()) {
        QToolTip::hideText();
        return;
      }
      const ChartPoint& p = shown_.points[size_t(index)];
      QToolTip::showText(QCursor::pos(),
                         QStringLiteral("%1: %2").arg(p.label, FooterNumberText(p.y)), view_);
    });
  }
}

// Redraws when the marks changed: a move of the current row alone changes
// nothing drawn, and a long table is not read again for it.
void ChartPanel::OnGridSelection() {
  if (CurrentMarks() != drawnMarks_) ScheduleRefresh();
}

std::vector<MeasurementTable::BookmarkT> ChartPanel::CurrentMarks() const {
  if (!grid_ || !FootersShowMarkedRows(grid_->MarkedRows().size())) return {};
  std::vector<MeasurementTable::BookmarkT> marks = grid_->SelectedBookmarks();
  std::sort(marks.begin(), marks.end());
  return marks;
}

QString ChartPanel::SpreadLine() const { return spread_->text(); }

bool ChartPanel::SaveChart(const QString& path, QString* failure) {
  QString reason;
  auto fail = [&](const QString& why) {
    *failure =
        QStringLiteral("Не удалось записать файл %1: %2").arg(QDir::toNativeSeparators(path), why);
    return false;
  };
  if (grid_ && grid_->table() && grid_->table()->IsOpen()) {
    const QString table = grid_->table()->FilePath();
    const QString refusal = WriteTargetRefusal(path, {table, dbf::Index::PathFor(table)});
    if (!refusal.isEmpty()) {
      *failure = refusal;
      return false;
    }
  }
  if (refreshPending_) Refresh();
  const bool svg = QFileInfo(path).suffix().compare(QLatin1String("svg"), Qt::CaseInsensitive) == 0;
  const QByteArray bytes = svg ? SvgOf(view_, view_->chart()->title()) : PngOf(view_, &reason);
  if (!reason.isEmpty() || bytes.isEmpty())
    return fail(reason.isEmpty() ? QStringLiteral("не удалось составить рисунок") : reason);
  const int err = ReplaceFileContents(QFile::encodeName(path).toStdString(), bytes.constData(),
                                      size_t(bytes.size()), true);
  return err == 0 || fail(FileWriteReason(err));
}

// "Сохранить график…": asks for the name, PNG or SVG, beside the table.
void ChartPanel::AskAndSaveChart() {
  const QString folder = grid_ && grid_->table() ? grid_->table()->Folder() : QString();
  const QString path = Dialogs().GetSaveFileName(
      this, QStringLiteral("Сохранить график"), folder,
      QStringLiteral("Рисунок PNG (*.png);;Рисунок SVG (*.svg)"), QStringLiteral("png"));
  if (path.isEmpty()) return;
  QString failure;
  if (!SaveChart(path, &failure)) ShowGeneralError(this, failure);
}

}  // namespace chart
