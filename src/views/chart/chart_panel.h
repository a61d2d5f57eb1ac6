#pragma once
// The chart beside the grid: draws what the followed grid shows (its rows,
// their order, its marks) as ChartData, tells the spread of P and R above
// it, and saves the chart as PNG or SVG ("Сохранить график…").
#include <QWidget>
#include <memory>

#include "views/chart/chart_data.h"

class DataGrid;
class QAction;
class QChart;
class QChartView;
class QLabel;

namespace chart {

class ChartPanel : public QWidget {
  Q_OBJECT

 public:
  explicit ChartPanel(QWidget* parent = nullptr);
  ~ChartPanel() override;

  // The grid whose rows, order and marks the chart follows; null for none.
  void Follow(DataGrid* grid, ChartKind kind);

  // Writes the chart as shown, PNG or SVG by the name's extension; false
  // with the reason in *failure. A file that was there stays whole when
  // the write fails.
  bool SaveChart(const QString& path, QString* failure);

  // What is drawn and told, for tests.
  const ChartData& Shown() const { return shown_; }
  QString SpreadLine() const;
  QChartView* view() const { return view_; }

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void ListenTo(MeasurementTable* table);
  void ScheduleRefresh();
  void Refresh();
  void ShowLabelsOnHover();
  void OnGridSelection();
  // The marked rows the chart shows (none while fewer than two are marked).
  std::vector<MeasurementTable::BookmarkT> CurrentMarks() const;
  void AskAndSaveChart();

  DataGrid* grid_ = nullptr;
  ChartKind kind_ = ChartKind::Plate;
  ChartData shown_;
  std::vector<MeasurementTable::BookmarkT> drawnMarks_;
  QLabel* spread_ = nullptr;
  QChartView* view_ = nullptr;
  QAction* saveAction_ = nullptr;
  bool refreshPending_ = false;
  // The tables heard, each with the subscription that ends with the panel.
  std::vector<std::pair<MeasurementTable*, MeasurementTable::Subscription>> heard_;
};

}  // namespace chart
