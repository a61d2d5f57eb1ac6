#include "views/grid/data_grid.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QProxyStyle>
#include <QRegularExpression>
#include <QScrollBar>
#include <QStackedWidget>
#include <QStyledItemDelegate>
#include <QTextLayout>
#include <QToolTip>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "platform/dialogs.h"

namespace {

const QColor kGridLines(0xC0, 0xC0, 0xC0);

Qt::Alignment TitleAlign(CellAlign a) {
  switch (a) {
    case CellAlign::Right:
      return Qt::AlignRight | Qt::AlignVCenter;
    case CellAlign::Center:
      return Qt::AlignHCenter | Qt::AlignVCenter;
    default:
      return Qt::AlignLeft | Qt::AlignVCenter;
  }
}

// Silver grid lines whatever the desktop's style.
class GridStyle : public QProxyStyle {
 public:
  int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                QStyleHintReturn* ret) const override {
    if (hint == SH_Table_GridLineColor) return int(kGridLines.rgba());
    return QProxyStyle::styleHint(hint, option, widget, ret);
  }
};

// Selected rows keep the selection fill over a column's own colour; a cell
// too narrow for its text shows the whole text in a tooltip. The current
// row is tinted with the selection colour whether or not the grid has the
// focus: it is the row a command on "the current row" takes, and the
// operator must see which one that is.
class GridDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;

  bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                 const QModelIndex& index) override {
    if (event->type() != QEvent::ToolTip || !index.isValid())
      return QStyledItemDelegate::helpEvent(event, view, option, index);
    const QString text = index.data(Qt::DisplayRole).toString();
    // The text is drawn cut short exactly when it needs more than the cell.
    if (!text.isEmpty() && sizeHint(option, index).width() > option.rect.width())
      QToolTip::showText(event->globalPos(), text, view->viewport(), option.rect);
    else
      QToolTip::hideText();
    return true;
  }

 protected:
  void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
    QStyledItemDelegate::initStyleOption(option, index);
    if (option->state & QStyle::State_Selected) {
      option->backgroundBrush = QBrush();
      return;
    }
    const auto* view = qobject_cast<const QAbstractItemView*>(option->widget);
    if (!view || view->currentIndex().row() != index.row()) return;
    const QColor under = option->backgroundBrush.style() == Qt::NoBrush
                             ? option->palette.color(QPalette::Base)
                             : option->backgroundBrush.color();
    const QColor mark = option->palette.color(QPalette::Active, QPalette::Highlight);
    constexpr double kTint = 0.35;
    option->backgroundBrush =
        QColor::fromRgbF(float(under.redF() * (1 - kTint) + mark.redF() * kTint),
                         float(under.greenF() * (1 - kTint) + mark.greenF() * kTint),
                         float(under.blueF() * (1 - kTint) + mark.blueF() * kTint));
  }
};

// Enough rows to meet every form a column's texts take; a table of
// thousands of rows is not walked whole for a fit.
constexpr int kMeasuredRows = 1000;

}  // namespace

// --- GridHeader --------------------------------------------------------------

QStringList WrapTitle(const QString& caption, const QFont& font, int width, bool* cut) {
  QStringList lines;
  QTextOption option;
  option.setWrapMode(QTextOption::WordWrap);
  const QFontMetricsF fm(font);
  const int room = std::max(1, width);
  if (cut) *cut = false;
  QString text = caption;
  while (text.endsWith(QLatin1Char('\n'))) text.chop(1);
  for (const QString& paragraph : text.split(QLatin1Char('\n'))) {
    QTextLayout layout(paragraph, font);
    layout.setTextOption(option);
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
      line.setLineWidth(room);
      QString shown = paragraph.mid(line.textStart(), line.textLength()).trimmed();
      // Only a word wider than the column overflows its line.
      if (fm.horizontalAdvance(shown) > room) {
        shown = fm.elidedText(shown, Qt::ElideRight, room);
        if (cut) *cut = true;
      }
      lines << shown;
    }
    layout.endLayout();
  }
  return lines;
}

int WidestWord(const QString& caption, const QFont& font) {
  const QFontMetricsF fm(font);
  qreal widest = 0;
  static const QRegularExpression blanks(QStringLiteral("\\s+"));
  for (const QString& word : caption.split(blanks, Qt::SkipEmptyParts))
    widest = std::max(widest, fm.horizontalAdvance(word));
  return int(std::ceil(widest));
}

GridHeader::GridHeader(DataGrid* grid) : QHeaderView(Qt::Horizontal), grid_(grid) {
  setSectionsClickable(true);
  setHighlightSections(false);
  setSortIndicatorShown(false);
  setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  setMinimumSectionSize(2);
  connect(this, &QHeaderView::sectionClicked, this,
          [this](int logical) { grid_->ClickTitle(logical, modifiers_ & Qt::ControlModifier); });
}

QSize GridHeader::sizeHint() const {
  QSize s = QHeaderView::sizeHint();
  s.setHeight(std::max(grid_->TitleLines(), grid_->NeededTitleLines()) *
                  fontMetrics().lineSpacing() +
              8);
  return s;
}

void GridHeader::mousePressEvent(QMouseEvent* event) {
  modifiers_ = event->modifiers();
  QHeaderView::mousePressEvent(event);
}

void GridHeader::mouseReleaseEvent(QMouseEvent* event) {
  modifiers_ |= event->modifiers();
  QHeaderView::mouseReleaseEvent(event);
}

bool GridHeader::viewportEvent(QEvent* event) {
  if (event->type() != QEvent::ToolTip) return QHeaderView::viewportEvent(event);
  const auto* help = static_cast<QHelpEvent*>(event);
  const int logical = logicalIndexAt(help->pos());
  bool cut = false;
  if (logical >= 0 && logical < grid_->ColumnCount()) {
    const GridColumn& column = grid_->Column(logical);
    const bool sorted = column.state.titleState != TitleState::SortedNone;
    WrapTitle(column.caption, font(), TextWidth(sectionSize(logical), sorted), &cut);
    if (cut) QToolTip::showText(help->globalPos(), column.caption, viewport());
  }
  if (!cut) QToolTip::hideText();
  return true;
}

void GridHeader::paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const {
  if (logicalIndex < 0 || logicalIndex >= grid_->ColumnCount()) return;
  const GridColumn& column = grid_->Column(logicalIndex);
  QStyleOptionHeader opt;
  initStyleOption(&opt);
  opt.rect = rect;
  opt.section = logicalIndex;
  opt.text.clear();
  opt.sortIndicator = QStyleOptionHeader::None;
  painter->save();
  style()->drawControl(QStyle::CE_Header, &opt, painter, this);
  // The style leaves the painter in a state that hides later text.
  painter->restore();
  painter->save();
  const TitleState state = column.state.titleState;
  const int mark = state == TitleState::SortedNone ? 0 : 12;
  const QRect textRect = rect.adjusted(3, 2, -3 - mark, -2);
  painter->setPen(palette().color(QPalette::ButtonText));
  // Line by line as WrapTitle breaks them, the block centred vertically, so
  // that the row's height (from the same lines) always holds the text.
  const QStringList lines = WrapTitle(column.caption, font(), textRect.width());
  const int lineHeight = fontMetrics().lineSpacing();
  int y = textRect.top() + (textRect.height() - int(lines.size()) * lineHeight) / 2;
  const int hAlign = int(TitleAlign(column.titleAlignment) & Qt::AlignHorizontal_Mask);
  for (const QString& line : lines) {
    painter->drawText(QRect(textRect.left(), y, textRect.width(), lineHeight),
                      hAlign | Qt::AlignVCenter, line);
    y += lineHeight;
  }
  if (mark) {
    // A small triangle: pointing up for tsSortedUp, down for tsSortedDown.
    const int cx = rect.right() - 8, cy = rect.center().y();
    QPolygon tri;
    if (state == TitleState::SortedUp)
      tri << QPoint(cx - 4, cy + 3) << QPoint(cx + 4, cy + 3) << QPoint(cx, cy - 3);
    else
      tri << QPoint(cx - 4, cy - 3) << QPoint(cx + 4, cy - 3) << QPoint(cx, cy + 3);
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setBrush(palette().color(QPalette::ButtonText));
    painter->drawPolygon(tri);
  }
  painter->restore();
}

// --- GridFooter --------------------------------------------------------------

GridFooter::GridFooter(DataGrid* grid, QWidget* parent) : QWidget(parent), grid_(grid) {}

QSize GridFooter::sizeHint() const { return QSize(100, fontMetrics().lineSpacing() + 6); }

int GridFooter::ColumnAt(int x) const {
  const QHeaderView* header = grid_->header();
  const int logical = header->logicalIndexAt(x);
  return logical >= 0 && logical < grid_->ColumnCount() ? logical : -1;
}

bool GridFooter::event(QEvent* event) {
  if (event->type() != QEvent::ToolTip) return QWidget::event(event);
  const auto* help = static_cast<QHelpEvent*>(event);
  const int column = ColumnAt(help->pos().x());
  const QString tip = column >= 0 ? grid_->FooterToolTip(column) : QString();
  if (tip.isEmpty()) {
    QToolTip::hideText();
    event->ignore();
  } else {
    QToolTip::showText(help->globalPos(), tip, this);
  }
  return true;
}

void GridFooter::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), palette().color(QPalette::Button));
  p.setPen(kGridLines);
  p.drawLine(0, 0, width(), 0);
  const QHeaderView* header = grid_->header();
  for (int logical : grid_->ColumnOrder()) {
    if (header->isSectionHidden(logical)) continue;
    const int x = header->sectionViewportPosition(logical);
    const int w = header->sectionSize(logical);
    if (x + w < 0 || x > width()) continue;
    const GridColumn& column = grid_->Column(logical);
    p.setPen(kGridLines);
    p.drawLine(x + w - 1, 0, x + w - 1, height());
    if (column.footerText.isEmpty()) continue;
    p.setPen(palette().color(QPalette::ButtonText));
    p.drawText(QRect(x + 3, 1, w - 6, height() - 2), int(TitleAlign(column.footerAlignment)),
               column.footerText);
  }
}

// --- GridView ----------------------------------------------------------------

GridView::GridView(DataGrid* grid) : QTableView(grid), grid_(grid) {
  footer_ = new GridFooter(grid, this);
}

void GridView::updateGeometries() {
  QTableView::updateGeometries();
  const QMargins m = viewportMargins();
  const int fh = footer_->sizeHint().height();
  if (m.bottom() != fh) setViewportMargins(m.left(), m.top(), m.right(), fh);
  const QRect vp = viewport()->geometry();
  footer_->setGeometry(vp.left(), vp.bottom() + 1, vp.width(), fh);
  footer_->update();
}

void GridView::resizeEvent(QResizeEvent* event) {
  QTableView::resizeEvent(event);
  updateGeometries();
  if (grid_->AutoColumnFit()) grid_->FitNow();
}

void GridView::scrollContentsBy(int dx, int dy) {
  QTableView::scrollContentsBy(dx, dy);
  if (dx) footer_->update();
}

bool GridView::edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) {
  const bool wasEditing = state() == EditingState;
  const bool started = QTableView::edit(index, trigger, event);
  if (started && !wasEditing && state() == EditingState) emit grid_->InitEdit();
  return started;
}

void GridView::keyPressEvent(QKeyEvent* event) {
  // Tab moves between cells and never opens the cell editor.
  if (event->key() == Qt::Key_Tab || event->key() == Qt::Key_Backtab) {
    const QModelIndex next =
        moveCursor(event->key() == Qt::Key_Tab ? MoveNext : MovePrevious, event->modifiers());
    if (next.isValid())
      selectionModel()->setCurrentIndex(
          next, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    event->accept();
    return;
  }
  QTableView::keyPressEvent(event);
}

void GridView::CommitOpenEditor() {
  QWidget* editor = indexWidget(currentIndex());
  if (!editor) return;
  commitData(editor);
  closeEditor(editor, QAbstractItemDelegate::NoHint);
}

void GridView::closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) {
  if (hint == QAbstractItemDelegate::EditNextItem ||
      hint == QAbstractItemDelegate::EditPreviousItem) {
    QTableView::closeEditor(editor, QAbstractItemDelegate::NoHint);
    const QModelIndex next = moveCursor(
        hint == QAbstractItemDelegate::EditNextItem ? MoveNext : MovePrevious, Qt::NoModifier);
    if (next.isValid())
      selectionModel()->setCurrentIndex(
          next, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    return;
  }
  QTableView::closeEditor(editor, hint);
}

// --- DataGrid ----------------------------------------------------------------

DataGrid::DataGrid(QWidget* parent) : QWidget(parent) {
  model_ = new GridModel(&core_, this);
  model_->onWriteError = [this](const QString& text) { ReportWriteError(text); };
  view_ = new GridView(this);
  header_ = new GridHeader(this);
  view_->setHorizontalHeader(header_);
  view_->setModel(model_);
  view_->setItemDelegate(new GridDelegate(view_));
  style_ = new GridStyle;
  style_->setParent(this);  // created after the view, so deleted after it
  view_->setStyle(style_);
  view_->verticalHeader()->hide();
  view_->setSelectionBehavior(QAbstractItemView::SelectRows);
  view_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  view_->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                         QAbstractItemView::AnyKeyPressed);
  view_->setTabKeyNavigation(true);
  view_->setWordWrap(false);
  view_->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
  view_->setContextMenuPolicy(Qt::NoContextMenu);  // the grid's own menu handles it
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(view_);

  connect(view_->selectionModel(), &QItemSelectionModel::currentChanged, this,
          [this](const QModelIndex& current) {
            if (current.isValid()) currentColumn_ = current.column();
          });
  connect(view_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
          &DataGrid::OnCurrentRowChanged);
  // The tint of the current row moves with it across every column.
  connect(view_->selectionModel(), &QItemSelectionModel::currentRowChanged, view_->viewport(),
          qOverload<>(&QWidget::update));
  connect(view_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
          &DataGrid::OnSelection);
  connect(model_, &QAbstractItemModel::modelReset, this, [this] {
    marked_.clear();
    markedSet_.clear();
  });
  connect(header_, &QHeaderView::sectionResized, this, &DataGrid::OnSectionResized);
  connect(header_, &QHeaderView::sectionMoved, view_->footer(), qOverload<>(&QWidget::update));
}

DataGrid::~DataGrid() {
  // Nothing the table does from here on reaches a grid half torn down.
  subscription_.Cancel();
  // The view and the model read the columns, which go before QWidget's
  // own teardown would delete them.
  delete view_;
  delete model_;
}

void DataGrid::SetTable(MeasurementTable* table) {
  subscription_.Cancel();
  table_ = table;
  model_->SetTable(table);
  if (table)
    subscription_ =
        table->AddListener([this](MeasurementTable::Change change) { OnTableChange(change); });
  ShowTableRow();
}

void DataGrid::OnTableChange(MeasurementTable::Change change) {
  switch (change) {
    case MeasurementTable::Change::Reset:
      model_->Reload();
      ShowTableRow();
      break;
    case MeasurementTable::Change::RowWritten:
      if (model_->rowCount() > 0 && ColumnCount() > 0)
        emit model_->dataChanged(model_->index(0, 0),
                                 model_->index(model_->rowCount() - 1, ColumnCount() - 1));
      break;
    case MeasurementTable::Change::CurrentMoved:
      ShowTableRow();
      break;
  }
}

// The table's cursor moved (or the rows were re-read): the view shows its
// row. Tells of the selection once, here or through OnCurrentRowChanged.
void DataGrid::ShowTableRow() {
  const int row = table_ && table_->IsOpen() ? table_->CurrentIndex() : -1;
  const QModelIndex current = view_->currentIndex();
  if (row >= 0 && row < model_->rowCount() && ColumnCount() > 0 && current.row() != row) {
    if (view_->IsEditingCell()) {
      // The editor's text goes into its own row, for which the table goes
      // there, and is posted; then the table goes back, which shows itself.
      view_->CommitOpenEditor();
      PostPendingEdit();
      table_->MoveTo(row);
      if (table_->CurrentIndex() != row) ShowTableRow();  // the row went with the post
      return;
    }
    const int column = current.isValid() ? current.column() : std::max(0, CurrentColumn());
    view_->selectionModel()->setCurrentIndex(model_->index(row, column),
                                             QItemSelectionModel::NoUpdate);
    return;
  }
  emit SelectionChanged();
}

// The view's current row moved. When the table is on another row, the
// operator moved it: the row left posts its edit (which may re-read the
// rows), then the table goes to the record chosen, wherever it now stands.
void DataGrid::OnCurrentRowChanged(const QModelIndex& current) {
  if (table_ && table_->IsOpen() && current.isValid() && current.row() != table_->CurrentIndex()) {
    const MeasurementTable::BookmarkT chosen = table_->BookmarkAt(current.row());
    PostPendingEdit();
    table_->GotoBookmark(chosen);
    if (table_->Bookmark() == chosen) return;  // the table's move showed itself
  }
  ShowTableRow();
}

void DataGrid::OnSelection(const QItemSelection& selected, const QItemSelection& deselected) {
  if (!table_ || !table_->IsOpen()) return;
  bool changed = false;
  if (!deselected.isEmpty()) {
    std::unordered_set<MeasurementTable::BookmarkT> gone;
    for (const QItemSelectionRange& r : deselected)
      for (int row = r.top(); row <= r.bottom(); ++row) {
        // A row stays marked while any of its cells is still selected.
        if (view_->selectionModel()->isRowSelected(row, QModelIndex())) continue;
        const auto b = table_->BookmarkAt(row);
        if (markedSet_.erase(b)) gone.insert(b);
      }
    if (!gone.empty()) {
      marked_.erase(std::remove_if(marked_.begin(), marked_.end(),
                                   [&](const MarkedRow& m) { return gone.count(m.bookmark); }),
                    marked_.end());
      changed = true;
    }
  }
  for (const QItemSelectionRange& r : selected)
    for (int row = r.top(); row <= r.bottom(); ++row) {
      const auto b = table_->BookmarkAt(row);
      if (!markedSet_.insert(b).second) continue;
      MarkedRow m;
      m.bookmark = b;
      for (const QString& f : bookmarkFields_) m.values.push_back(table_->FieldAt(row, f));
      marked_.push_back(std::move(m));
      changed = true;
    }
  if (changed) emit SelectionChanged();
}

void DataGrid::SetColumns(std::vector<GridColumn> columns) {
  core_.columns() = std::move(columns);
  currentColumn_ = -1;
  model_->ColumnsChanged();
  ApplyWidths([this] {
    std::vector<int> w;
    for (const GridColumn& c : core_.columns()) w.push_back(c.state.width);
    return w;
  }());
  SetColumnSizing(sizing_);
  if (autoFit_) FitNow();
  ShowTableRow();  // the view lost its current row with the old columns
}

std::vector<int> DataGrid::ColumnOrder() const {
  std::vector<int> order;
  for (int v = 0; v < header_->count(); ++v) order.push_back(header_->logicalIndex(v));
  return order;
}

void DataGrid::SetTitleLines(int lines) {
  titleLines_ = std::max(1, lines);
  UpdateTitleHeight();
}

int DataGrid::NeededTitleLines() const {
  int needed = 1;
  for (int i = 0; i < ColumnCount(); ++i) {
    if (i < header_->count() && header_->isSectionHidden(i)) continue;
    const int width = GridHeader::TextWidth(Column(i).state.width, true);
    needed = std::max(needed, int(WrapTitle(Column(i).caption, header_->font(), width).size()));
  }
  return needed;
}

std::vector<int> DataGrid::TextWidths() const {
  std::vector<int> widths;
  const int rows = std::min(model_->rowCount(), kMeasuredRows);
  const int gridLine = view_->showGrid() ? 1 : 0;
  for (int i = 0; i < ColumnCount(); ++i) {
    int w = GridHeader::SectionWidth(WidestWord(Column(i).caption, header_->font()));
    for (int r = 0; r < rows; ++r)
      w = std::max(w, view_->sizeHintForIndex(model_->index(r, i)).width() + gridLine);
    widths.push_back(w);
  }
  return widths;
}

void DataGrid::UpdateTitleHeight() {
  const int height = header_->sizeHint().height();
  if (header_->height() == height && header_->minimumHeight() == height) return;
  header_->updateGeometry();
  header_->setFixedHeight(height);
}

void DataGrid::SetColumnMoving(bool allowed) { header_->setSectionsMovable(allowed); }

void DataGrid::SetColumnSizing(bool allowed) {
  sizing_ = allowed;
  for (int i = 0; i < ColumnCount(); ++i)
    header_->setSectionResizeMode(
        i, allowed && !Column(i).fixedWidth ? QHeaderView::Interactive : QHeaderView::Fixed);
}

void DataGrid::SetAutoColumnFit(bool on) {
  autoFit_ = on;
  if (on) {
    FitNow();
    view_->viewport()->update();
  }
}

int DataGrid::ClientWidth() const {
  // A hidden grid has no laid-out viewport yet; its frame is all that differs.
  if (view_->isVisible()) return view_->viewport()->width();
  return width() - 2 * view_->frameWidth();
}

void DataGrid::EnsureLaidOut() {
  if (isVisible()) return;
  // A grid on a hidden page of a tab control has never been laid out: give
  // the page the size of its stack, then lay out from there down.
  std::vector<QWidget*> chain;
  for (QWidget* w = this; w; w = w->parentWidget()) {
    chain.push_back(w);
    if (auto* stack = qobject_cast<QStackedWidget*>(w->parentWidget())) {
      w->setGeometry(stack->contentsRect());
      break;
    }
  }
  for (auto it = chain.rbegin(); it != chain.rend(); ++it)
    if (QLayout* l = (*it)->layout()) {
      l->invalidate();
      l->activate();
    }
}

void DataGrid::FitNow() { ApplyWidths(SpreadColumnWidths(core_.columns(), ClientWidth())); }

void DataGrid::ApplyWidths(const std::vector<int>& widths) {
  applyingWidths_ = true;
  for (size_t i = 0; i < widths.size() && i < core_.columns().size(); ++i) {
    core_.columns()[i].state.width = std::max(2, widths[i]);
    if (int(i) < header_->count()) header_->resizeSection(int(i), core_.columns()[i].state.width);
  }
  applyingWidths_ = false;
  UpdateTitleHeight();
  view_->footer()->update();
}

void DataGrid::OnSectionResized(int logical, int, int newSize) {
  view_->footer()->update();
  if (applyingWidths_ || logical < 0 || logical >= ColumnCount()) return;
  // The operator dragged a column border: it keeps the new width and, with
  // fitting on, the other free columns share what is left.
  core_.columns()[logical].state.width = newSize;
  if (!autoFit_) {
    UpdateTitleHeight();
    return;
  }
  std::vector<GridColumn> others = core_.columns();
  others[logical].fixedWidth = true;
  ApplyWidths(SpreadColumnWidths(others, ClientWidth()));
}

void DataGrid::SetColumnWidth(int column, int width) {
  if (column < 0 || column >= ColumnCount()) return;
  std::vector<int> w;
  for (const GridColumn& c : core_.columns()) w.push_back(c.state.width);
  w[column] = std::max(2, width);
  ApplyWidths(w);
}

void DataGrid::SetColumnColor(int column, uint32_t color) {
  if (column < 0 || column >= ColumnCount()) return;
  core_.columns()[column].state.color = color;
  model_->ColumnLookChanged(column);
  view_->viewport()->update();
}

void DataGrid::ClearColumnColors() {
  for (int i = 0; i < ColumnCount(); ++i) SetColumnColor(i, kClNone);
}

void DataGrid::ApplyColumnLayout(int column, const ColumnLayout& layout) {
  if (column < 0 || column >= ColumnCount()) return;
  ColumnLayout& s = core_.columns()[column].state;
  const QString field = s.fieldName;
  s = layout;
  s.fieldName = field;
  SetColumnWidth(column, layout.width);
  model_->ColumnLookChanged(column);
  header_->viewport()->update();
  view_->viewport()->update();
}

void DataGrid::ClickTitle(int column, bool ctrl) {
  if (!core_.ClickTitle(column, ctrl)) return;
  header_->viewport()->update();
  emit TitleStateChanged(column);
}

void DataGrid::ClearTitleStates() {
  core_.ClearTitleStates();
  header_->viewport()->update();
}

void DataGrid::SetFooterText(int column, const QString& text) {
  if (column < 0 || column >= ColumnCount()) return;
  if (core_.columns()[column].footerText == text) return;
  core_.columns()[column].footerText = text;
  view_->footer()->update();
}

void DataGrid::SetFooterToolTip(int column, const QString& text) {
  if (column < 0 || column >= ColumnCount()) return;
  core_.columns()[column].footerToolTip = text;
}

int DataGrid::CurrentColumn() const {
  const QModelIndex current = view_->currentIndex();
  if (current.isValid()) return current.column();
  // Between a re-read of the rows and the next current row the column stays.
  if (currentColumn_ >= 0 && currentColumn_ < ColumnCount()) return currentColumn_;
  return ColumnCount() > 0 ? ColumnOrder().front() : -1;
}

void DataGrid::SetCurrentColumn(int column) {
  if (column < 0 || column >= ColumnCount()) return;
  currentColumn_ = column;
  const QModelIndex current = view_->currentIndex();
  const int row = current.isValid() ? current.row()
                                    : (table_ && table_->IsOpen() ? table_->CurrentIndex() : -1);
  if (row < 0 || row >= model_->rowCount()) return;
  view_->selectionModel()->setCurrentIndex(model_->index(row, column),
                                           QItemSelectionModel::NoUpdate);
}

void DataGrid::SetBookmarkFields(const QString& fields) {
  bookmarkFields_.clear();
  for (const QString& f : fields.split(QLatin1Char(';'), Qt::SkipEmptyParts))
    bookmarkFields_ << f.trimmed();
}

int DataGrid::SelectionCount() const {
  if (!marked_.empty()) return int(marked_.size());
  return table_ && table_->IsOpen() && table_->CurrentIndex() >= 0 ? 1 : 0;
}

std::vector<MeasurementTable::BookmarkT> DataGrid::SelectedBookmarks() const {
  std::vector<MeasurementTable::BookmarkT> out;
  for (const MarkedRow& m : marked_) out.push_back(m.bookmark);
  if (out.empty() && table_ && table_->IsOpen() && table_->CurrentIndex() >= 0)
    out.push_back(table_->Bookmark());
  return out;
}

bool DataGrid::PostPendingEdit() {
  if (!table_ || !table_->IsOpen() || !table_->IsEditing()) return true;
  try {
    table_->PostRow();
    return true;
  } catch (const TableError& e) {
    // The write failed: drop the edit so that the grid shows what the file holds.
    table_->CancelRow();
    ReportWriteError(e.text());
    return false;
  }
}

void DataGrid::ReportWriteError(const QString& text) { ShowGeneralError(window(), text); }
