#pragma once
// Drives the main window as an operator does: commands through their
// actions (found by object name, refused when missing or disabled), tool
// buttons through the tool bar, cells through the grid's own editor.
#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QAction>
#include <QLineEdit>
#include <QListWidget>
#include <QTabWidget>
#include <QTest>
#include <QToolBar>
#include <QToolButton>

#include "shell/main_window.h"
#include "views/grid/data_grid.h"
#include "views/series_list_view.h"

// The window's action of that object name, or null.
inline QAction* ActionOf(QWidget* window, const char* name) {
  return window->findChild<QAction*>(QLatin1String(name));
}

// Triggers a command as the operator does: it must exist and be enabled.
inline ::testing::AssertionResult Trigger(QWidget* window, const char* name) {
  QAction* action = ActionOf(window, name);
  if (!action) return ::testing::AssertionFailure() << "no action " << name;
  if (!action->isEnabled()) return ::testing::AssertionFailure() << name << " is disabled";
  action->trigger();
  return ::testing::AssertionSuccess();
}

// The tool bar's button of an action.
inline QToolButton* ToolButtonOf(QWidget* window, const char* actionName) {
  auto* bar = window->findChild<QToolBar*>(QStringLiteral("toolBar"));
  QAction* action = ActionOf(window, actionName);
  if (!bar || !action) return nullptr;
  return qobject_cast<QToolButton*>(bar->widgetForAction(action));
}

// Clicks a tool button: it must exist and be enabled.
inline ::testing::AssertionResult ClickToolButton(QWidget* window, const char* actionName) {
  QToolButton* button = ToolButtonOf(window, actionName);
  if (!button) return ::testing::AssertionFailure() << "no tool button for " << actionName;
  if (!button->isEnabled())
    return ::testing::AssertionFailure() << "tool button of " << actionName << " is disabled";
  button->click();
  return ::testing::AssertionSuccess();
}

template <class T>
T* ChildOf(QWidget* window, const char* name) {
  return window->findChild<T*>(QLatin1String(name));
}
inline DataGrid* PlateGrid(QWidget* w) { return ChildOf<DataGrid>(w, "plateGrid"); }
inline DataGrid* WaterGrid(QWidget* w) { return ChildOf<DataGrid>(w, "waterGrid"); }
inline QTabWidget* ViewTabs(QWidget* w) { return ChildOf<QTabWidget>(w, "viewTabs"); }
inline QListWidget* SeriesListOf(QWidget* w) { return ChildOf<QListWidget>(w, "seriesList"); }
// The grid of the tab the window shows.
inline DataGrid* ShownGrid(QWidget* w) {
  QTabWidget* tabs = ViewTabs(w);
  return tabs->currentWidget()->findChild<DataGrid*>();
}

// The entries of the series list, by the series number each stands for.
inline QStringList SeriesEntries(QWidget* w) {
  QStringList out;
  QListWidget* list = SeriesListOf(w);
  for (int i = 0; i < list->count(); ++i) out << views::SeriesNumberOf(*list->item(i));
  return out;
}

// Picks an entry of the series list with the mouse.
inline void ClickSeries(QWidget* w, int row) {
  QListWidget* list = SeriesListOf(w);
  QListWidgetItem* item = list->item(row);
  const QRect rect = list->visualItemRect(item);
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rect.center());
}

// Opens the editor of a cell and types a text into it; with `commit` the
// text is posted as the grid posts it when the operator presses Enter.
// Returns the editor (left open without `commit`).
inline QLineEdit* EditCell(DataGrid* grid, int row, const char* field, const QString& text,
                           bool commit) {
  const QModelIndex cell = grid->model()->index(row, grid->ColumnOfField(QLatin1String(field)));
  grid->view()->setCurrentIndex(cell);
  static_cast<QAbstractItemView*>(grid->view())->edit(cell);
  auto* editor = qobject_cast<QLineEdit*>(grid->view()->indexWidget(cell));
  if (!editor) return nullptr;
  editor->setText(text);
  if (commit) QTest::keyClick(editor, Qt::Key_Return);
  return editor;
}
