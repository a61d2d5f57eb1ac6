#pragma once
// The data grid of both views: the table's visible rows under columns bound
// to fields by name, a title line that cycles sort marks, a footer line,
// per-column colours, fitting to the client width, multi-row selection that
// keeps each marked row's bookmark and values, in-place editing.
#include <QHeaderView>
#include <QTableView>
#include <QWidget>
#include <unordered_set>
#include <vector>

#include "store/measurement_table.h"
#include "views/grid/grid_core.h"
#include "views/grid/grid_model.h"

class DataGrid;
class QProxyStyle;

// A marked row: its bookmark and the values of the bookmark fields.
struct MarkedRow {
  MeasurementTable::BookmarkT bookmark = 0;
  std::vector<FieldValue> values;
};

// The lines a title shows in a column `width` pixels wide: broken only
// between words; a word wider than the column is cut short with "…" and
// *cut is set. A line break in the caption starts a new line.
QStringList WrapTitle(const QString& caption, const QFont& font, int width, bool* cut = nullptr);
// The room a caption needs for none of its words to be cut: its widest word.
int WidestWord(const QString& caption, const QFont& font);

// Titles of several lines with the caption alignment and the sort mark.
class GridHeader : public QHeaderView {
  Q_OBJECT

 public:
  explicit GridHeader(DataGrid* grid);
  QSize sizeHint() const override;
  // Room for the text of a title in a section of `width`; `sorted` leaves
  // room for the sort mark.
  static int TextWidth(int width, bool sorted) { return width - 6 - (sorted ? 12 : 0); }
  // The section width that leaves `textWidth` for the text beside a sort mark.
  static int SectionWidth(int textWidth) { return textWidth + 6 + 12; }

 protected:
  // A title whose caption is cut short shows it whole in a tooltip.
  bool viewportEvent(QEvent* event) override;
  void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  DataGrid* grid_;
  Qt::KeyboardModifiers modifiers_;
};

// The footer line under the columns.
class GridFooter : public QWidget {
  Q_OBJECT

 public:
  explicit GridFooter(DataGrid* grid, QWidget* parent);
  QSize sizeHint() const override;
  // The column whose footer cell lies at x, or -1.
  int ColumnAt(int x) const;

 protected:
  bool event(QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  DataGrid* grid_;
};

// The table view with room for the footer below its rows.
class GridView : public QTableView {
  Q_OBJECT

 public:
  explicit GridView(DataGrid* grid);
  GridFooter* footer() const { return footer_; }
  bool IsEditingCell() const { return state() == EditingState; }
  // Writes the open cell editor's text into its cell and closes the editor.
  void CommitOpenEditor();

 protected:
  void updateGeometries() override;
  void resizeEvent(QResizeEvent* event) override;
  void scrollContentsBy(int dx, int dy) override;
  bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) override;

 private:
  DataGrid* grid_;
  GridFooter* footer_;
};

// Who moves the cursor. The table's current row is the one cursor; the
// view's current row only shows it.
// - The grid moves the table's cursor in one case: the operator moved the
//   view's current row (click, key, Tab out of an editor). The row left
//   posts its pending edit first, then the table goes to the record the
//   operator chose, wherever the post put it.
// - Every other move starts in the table (a command, a re-read of the
//   rows) and the view shows it when the table tells of it: at once, before
//   the mover goes on; a walk over the rows (MeasurementTable::Walk) tells
//   once, where it ends. A cell editor open on the row the table leaves is
//   written into its row and posted there, and the table goes back to the
//   row it moved to.
// Each side acts only when the other is on another row, so the echo of a
// move ends at its first step; no move waits for the event loop.
class DataGrid : public QWidget {
  Q_OBJECT

 public:
  explicit DataGrid(QWidget* parent = nullptr);
  ~DataGrid() override;

  // The table the grid shows; several grids may share one table.
  void SetTable(MeasurementTable* table);
  MeasurementTable* table() const { return table_; }

  void SetColumns(std::vector<GridColumn> columns);
  int ColumnCount() const { return int(core_.columns().size()); }
  const GridColumn& Column(int column) const { return core_.columns()[column]; }
  GridCore& core() { return core_; }
  const GridCore& core() const { return core_; }
  // Logical column indexes in display order (the operator may move columns).
  std::vector<int> ColumnOrder() const;
  int ColumnOfField(const QString& field) const { return core_.ColumnOfField(field); }

  // The title row shows at least `lines` lines, and more where a caption
  // wraps into more at its column's width.
  void SetTitleLines(int lines);
  int TitleLines() const { return titleLines_; }
  // Lines the title row needs for every caption to show whole.
  int NeededTitleLines() const;
  // The width each column needs to show its caption without a cut word and
  // the texts of its cells whole (of the first rows shown, see .cpp).
  std::vector<int> TextWidths() const;
  void SetColumnMoving(bool allowed);
  void SetColumnSizing(bool allowed);

  // Keeps the columns spread over the client width (fixed-width ones keep theirs).
  void SetAutoColumnFit(bool on);
  // Lays out a grid that sits on a hidden page so that its width is real.
  void EnsureLaidOut();
  // The width the columns are spread over.
  int ClientWidth() const;
  bool AutoColumnFit() const { return autoFit_; }
  void SetColumnWidth(int column, int width);  // at least 2
  int ColumnWidth(int column) const { return Column(column).state.width; }
  void SetColumnColor(int column, uint32_t color);
  void ClearColumnColors();
  // Copies a stored layout into a column (its field name stays); raises nothing.
  void ApplyColumnLayout(int column, const ColumnLayout& layout);

  // What a click on a title does; Ctrl asks for "unsorted".
  void ClickTitle(int column, bool ctrl);
  void ClearTitleStates();

  void SetFooterText(int column, const QString& text);
  QString FooterText(int column) const { return Column(column).footerText; }
  // Shown as the tooltip of the column's footer cell.
  void SetFooterToolTip(int column, const QString& text);
  QString FooterToolTip(int column) const { return Column(column).footerToolTip; }

  int CurrentColumn() const;
  void SetCurrentColumn(int column);

  // Fields whose values are kept for every marked row ("P;R").
  void SetBookmarkFields(const QString& fields);
  const std::vector<MarkedRow>& MarkedRows() const { return marked_; }
  // Marked rows, or 1 with a current row and none marked, else 0.
  int SelectionCount() const;
  // The rows a command on the selection acts on: the marked rows in the
  // order they were marked, else the current row, else none.
  std::vector<MeasurementTable::BookmarkT> SelectedBookmarks() const;

  // Writes a pending cell edit; false (after the general error) when it fails.
  bool PostPendingEdit();

  GridView* view() const { return view_; }
  GridHeader* header() const { return header_; }
  GridFooter* footer() const { return view_->footer(); }
  GridModel* model() const { return model_; }

 signals:
  // The operator changed a column's title state (once per click).
  void TitleStateChanged(int column);
  // The operator starts editing a cell.
  void InitEdit();
  // The current row moved, or rows were marked or unmarked.
  void SelectionChanged();

 private:
  friend class GridView;
  friend class GridHeader;
  void OnTableChange(MeasurementTable::Change change);
  void ShowTableRow();
  void OnCurrentRowChanged(const QModelIndex& current);
  void OnSelection(const QItemSelection& selected, const QItemSelection& deselected);
  void OnSectionResized(int logical, int oldSize, int newSize);
  void ApplyWidths(const std::vector<int>& widths);
  void UpdateTitleHeight();
  void FitNow();
  void ReportWriteError(const QString& text);

  GridCore core_;
  MeasurementTable* table_ = nullptr;
  MeasurementTable::Subscription subscription_;
  GridModel* model_ = nullptr;
  GridView* view_ = nullptr;
  GridHeader* header_ = nullptr;
  QProxyStyle* style_ = nullptr;
  int titleLines_ = 1;
  int currentColumn_ = -1;
  bool autoFit_ = true;
  bool sizing_ = true;
  bool applyingWidths_ = false;
  QStringList bookmarkFields_;
  std::vector<MarkedRow> marked_;
  std::unordered_set<MeasurementTable::BookmarkT> markedSet_;
};
