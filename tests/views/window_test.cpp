// The view commands of the main window: colours through the colour dialog,
// sorting and its removal, the edit flag, footers and stored layouts.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QContextMenuEvent>
#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QSettings>
#include <QTabWidget>
#include <QTest>

#include "link/ui/download_dialog.h"
#include "platform/dialogs.h"
#include "shell/main_window.h"
#include "support/link_ports.h"
#include "support/link_pty.h"
#include "support/link_sample_records.h"
#include "support/recording_dialogs.h"
#include "support/store_fixture.h"
#include "support/test_env.h"
#include "support/window_driver.h"
#include "views/table_views.h"

inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace {

QString StoredValue(const char* name) {
  QSettings s(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Merilan"),
              QStringLiteral("KLT3"));
  return s.value(QStringLiteral("1.0/") + QLatin1String(name)).toString();
}
void StoreValue(const char* name, const QString& text) {
  QSettings s(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Merilan"),
              QStringLiteral("KLT3"));
  s.setValue(QStringLiteral("1.0/") + QLatin1String(name), text);
  s.sync();
}

class ViewCommands : public ::testing::Test {
 protected:
  void SetUp() override {
    ClearSettings();
    SetDialogs(&dialogs);
    MeasurementTable t;
    plates = MakeStoreTable(t, dir,
                            {PlateRow(1, 7, 0.4, 3), PlateRow(2, 7, 1.0, 1), PlateRow(3, 7, 0.2, 4),
                             PlateRow(4, 7, 0.8, 2)},
                            QStringLiteral("plates.db"));
    t.Close();
    std::vector<StoreRow> rows;
    for (int i = 1; i <= 6; ++i) rows.push_back(WaterRow(i, 3, 0.2 * i, "B8"));
    water = MakeStoreTable(t, dir, rows, QStringLiteral("water.db"));
    t.Close();
    form = std::make_unique<MainWindow>();
    form->resize(1200, 700);
    form->show();
  }
  void TearDown() override {
    form.reset();
    SetDialogs(nullptr);
  }
  void Open(const QString& path) {
    dialogs.openNames = {path};
    EXPECT_TRUE(Trigger(form.get(), "openTableAction"));
    QCoreApplication::processEvents();
  }
  // "Создать" into new.db, from a water-permeability tester on COM1.
  void NewWater() {
    if (!form->downloadDialog()) form->SetDownloadDialog(new DownloadDialog(form.get()));
    SimulatedPort port(sim::WaterInstrument(ThreeSeries()));
    ASSERT_TRUE(port.Ok());
    PointPortsAt(port.Path(), QString());
    dialogs.saveNames = {QDir(dir.path()).filePath(QStringLiteral("new.db"))};
    dialogs.exec = RunDownloadDialog;
    const ::testing::AssertionResult triggered = Trigger(form.get(), "newTableAction");
    dialogs.exec = nullptr;
    ASSERT_TRUE(triggered);
  }
  DataGrid* Plate() { return PlateGrid(form.get()); }
  DataGrid* Water() { return WaterGrid(form.get()); }
  const MeasurementTable& Table() { return form->Session().Table(); }
  static std::vector<int64_t> VisibleRowsOf(const MeasurementTable& table, const char* field) {
    std::vector<int64_t> out;
    for (int i = 0; i < table.VisibleRowCount(); ++i)
      out.push_back(ValueToInt(table.FieldAt(i, field)));
    return out;
  }
  std::vector<double> PlateP() {
    std::vector<double> out;
    for (int i = 0; i < Table().VisibleRowCount(); ++i)
      out.push_back(ValueToFloat(Table().FieldAt(i, "P")));
    return out;
  }

  QTemporaryDir dir;
  QString plates, water;
  RecordingDialogs dialogs;
  std::unique_ptr<MainWindow> form;
};

TEST_F(ViewCommands, ColourDialogStartsBlackThenOnTheLastChoice) {
  // No table open: the context menu's command does nothing, not even the dialog.
  ASSERT_TRUE(Trigger(form.get(), "setColorPopupAction"));
  EXPECT_TRUE(dialogs.colorsOpenedOn.empty());
  Open(plates);
  ASSERT_EQ(ViewTabs(form.get())->currentIndex(), 0);
  DataGrid* g = Plate();
  const int p = g->ColumnOfField("P"), r = g->ColumnOfField("R");
  g->SetCurrentColumn(p);
  dialogs.colors = {QColor(255, 128, 0), QColor()};
  ASSERT_TRUE(Trigger(form.get(), "setColorAction"));
  EXPECT_EQ(g->Column(p).state.color, 33023u);
  g->SetCurrentColumn(r);
  ASSERT_TRUE(Trigger(form.get(), "setColorPopupAction"));  // cancelled
  ASSERT_EQ(dialogs.colorsOpenedOn.size(), 2u);
  EXPECT_EQ(dialogs.colorsOpenedOn[0], QColor(Qt::black));
  EXPECT_EQ(dialogs.colorsOpenedOn[1], QColor(255, 128, 0));
  EXPECT_EQ(g->Column(r).state.color, kClNone);

  ASSERT_TRUE(Trigger(form.get(), "removeColorAction"));  // R has no colour: nothing changes
  EXPECT_EQ(g->Column(p).state.color, 33023u);
  g->SetCurrentColumn(p);
  ASSERT_TRUE(Trigger(form.get(), "removeColorPopupAction"));
  EXPECT_EQ(g->Column(p).state.color, kClNone);
  g->SetColumnColor(p, 0xFF);
  g->SetColumnColor(r, 0xFF00);
  ASSERT_TRUE(Trigger(form.get(), "removeAllColorsAction"));
  EXPECT_EQ(g->Column(p).state.color, kClNone);
  EXPECT_EQ(g->Column(r).state.color, kClNone);
}

// The water view's titles name the columns as the print and the workbook do.
TEST_F(ViewCommands, WaterViewTitlesReadAsThePrintAndTheWorkbook) {
  Open(water);
  QAbstractItemModel* model = Water()->view()->model();
  QStringList titles;
  for (int c = 0; c < model->columnCount(); ++c)
    titles << model->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString();
  EXPECT_EQ(titles, QStringList({QString::fromUtf8("№ образца"),
                                 QString::fromUtf8("Высота образца, мм"),
                                 QString::fromUtf8("Давление, при котором наблюдалась фильтрация, МПа"),
                                 QString::fromUtf8("Время выдерживания на ступени, час."),
                                 QString::fromUtf8("Время начала испытания"),
                                 QString::fromUtf8("Длительность испытания"),
                                 QString::fromUtf8("Марка")}));
}

TEST_F(ViewCommands, TitleClicksSortThroughTab1AndRemovalClearsBothViews) {
  Open(plates);
  DataGrid* g = Plate();
  const int p = g->ColumnOfField("P");
  Water()->ClickTitle(0, false);  // a mark on the hidden view
  g->ClickTitle(p, false);
  EXPECT_EQ(Table().SelectedSortTag(), QStringLiteral("tab1"));
  EXPECT_EQ(PlateP(), (std::vector<double>{1.0, 0.8, 0.4, 0.2}));
  g->ClickTitle(p, false);
  EXPECT_EQ(PlateP(), (std::vector<double>{0.2, 0.4, 0.8, 1.0}));
  EXPECT_EQ(Water()->Column(0).state.titleState, TitleState::SortedUp);  // left alone
  ASSERT_TRUE(Trigger(form.get(), "removeSortingAction"));
  EXPECT_EQ(PlateP(), (std::vector<double>{0.4, 1.0, 0.2, 0.8}));
  EXPECT_EQ(g->Column(p).state.titleState, TitleState::SortedNone);
  EXPECT_EQ(Water()->Column(0).state.titleState, TitleState::SortedNone);
  EXPECT_FALSE(QFile::exists(QDir(dir.path()).filePath("plates.mdx")));
}

TEST_F(ViewCommands, AFailedSortTagIsReportedAndTheRowsStayInFileOrder) {
  Open(plates);
  DataGrid* g = Plate();
  const int p = g->ColumnOfField("P");
  {
    StoreWriteLimit full(256);  // the index file cannot be written
    g->ClickTitle(p, false);
  }
  ASSERT_EQ(dialogs.messages.size(), 1u);
  EXPECT_EQ(dialogs.messages[0].icon, QMessageBox::Critical);
  EXPECT_TRUE(dialogs.messages[0].text.endsWith(QLatin1Char('.')));
  // The reason, in the operator's words: the size limit stands for a full disk.
  EXPECT_TRUE(dialogs.messages[0].text.contains(QStringLiteral("превышен допустимый размер файла")))
      << dialogs.messages[0].text.toStdString();
  EXPECT_EQ(g->Column(p).state.titleState, TitleState::SortedUp);
  EXPECT_EQ(PlateP(), (std::vector<double>{0.4, 1.0, 0.2, 0.8}));
  g->ClickTitle(p, false);  // with room again the next click sorts
  EXPECT_EQ(PlateP(), (std::vector<double>{0.2, 0.4, 0.8, 1.0}));
}

// The series list shows number, start and grade; the search narrows it as
// one types, by number or date, without changing the series shown until
// the operator picks one.
TEST_F(ViewCommands, TheSearchNarrowsTheSeriesListAndAPickShowsTheSeries) {
  const struct {
    int serial;
    const char* start;
    const char* grade;
  } series[] = {{3, "04.03.2024 08:00:00", "B8"},
                {12, "05.03.2024 09:15:00", "B8"},
                {13, "05.03.2024 14:30:05", "Не ГОСТ"},
                {8, "06.03.2024 10:00:00", "B4"}};
  std::vector<StoreRow> rows;
  for (const auto& s : series)
    for (int n = 1; n <= 6; ++n) {
      rows.push_back(WaterRow(n, s.serial, 0.2 * n, QString::fromUtf8(s.grade)));
      rows.back()[1].second = QString::fromLatin1(s.start);
    }
  MeasurementTable t;
  const QString path = MakeStoreTable(t, dir, rows, QStringLiteral("four.db"));
  t.Close();
  Open(path);
  QListWidget* list = SeriesListOf(form.get());
  QStringList texts;
  for (int i = 0; i < list->count(); ++i) texts << list->item(i)->text();
  EXPECT_EQ(texts, (QStringList{QString::fromUtf8("3 · 04.03.2024 08:00 · B8"),
                                QString::fromUtf8("12 · 05.03.2024 09:15 · B8"),
                                QString::fromUtf8("13 · 05.03.2024 14:30 · Не ГОСТ"),
                                QString::fromUtf8("8 · 06.03.2024 10:00 · B4")}));
  auto listed = [&] {
    QStringList numbers;
    for (int i = 0; i < list->count(); ++i)
      if (!list->item(i)->isHidden()) numbers << views::SeriesNumberOf(*list->item(i));
    return numbers;
  };
  auto* search = ChildOf<QLineEdit>(form.get(), "seriesSearch");
  ASSERT_TRUE(search);
  EXPECT_FALSE(search->placeholderText().isEmpty());
  auto typeIn = [&](const char* text) {
    search->clear();
    QTest::keyClicks(search, QString::fromUtf8(text));
  };

  typeIn("1");
  EXPECT_EQ(listed(), (QStringList{"12", "13"}));
  EXPECT_EQ(Table().Filter(), "SERIAL=3");  // typing shows no other series
  ClickSeries(form.get(), 2);
  EXPECT_EQ(Table().Filter(), "SERIAL=13");
  EXPECT_EQ(Water()->FooterText(Water()->ColumnOfField("N")), "6");

  // The series shown stays highlighted while it is listed.
  typeIn("05.03");
  EXPECT_EQ(listed(), (QStringList{"12", "13"}));
  EXPECT_EQ(views::SeriesNumberOf(*list->currentItem()), "13");
  EXPECT_TRUE(list->currentItem()->isSelected());
  // Enter shows the first series listed.
  typeIn("12 05.03.2024");
  EXPECT_EQ(listed(), QStringList{"12"});
  EXPECT_EQ(Table().Filter(), "SERIAL=13");
  QTest::keyClick(search, Qt::Key_Return);
  EXPECT_EQ(Table().Filter(), "SERIAL=12");
  EXPECT_EQ(VisibleRowsOf(Table(), "SERIAL"), std::vector<int64_t>(6, 12));
  typeIn("99");
  EXPECT_TRUE(listed().isEmpty());
  QTest::keyClick(search, Qt::Key_Return);
  EXPECT_EQ(Table().Filter(), "SERIAL=12");
  search->clear();
  EXPECT_EQ(listed(), (QStringList{"3", "12", "13", "8"}));
}

// "с … по …" above the plate grid: the tests of those dates are the rows
// shown, and the footers and a deletion take only them.
TEST_F(ViewCommands, APlateDateRangeNarrowsTheRowsFootersAndDeletion) {
  const struct {
    const char* date;
    double p, r;
  } tests[] = {{"28.02.2024", 0.4, 3},
               {"01.03.2024", 1.0, 1},
               {"02.03.2024", 0.2, 4},
               {"03.03.2024", 0.6, 4},
               {"04.03.2024", 0.8, 5}};
  std::vector<StoreRow> rows;
  for (const auto& t : tests) {
    rows.push_back(PlateRow(int64_t(rows.size() + 1), 7, t.p, t.r));
    rows.back()[1].second = QString::fromLatin1(t.date);
  }
  MeasurementTable t;
  const QString path = MakeStoreTable(t, dir, rows, QStringLiteral("dated.db"));
  t.Close();
  Open(path);
  ASSERT_EQ(ViewTabs(form.get())->currentIndex(), 0);
  auto* from = ChildOf<QDateEdit>(form.get(), "datesFrom");
  auto* to = ChildOf<QDateEdit>(form.get(), "datesTo");
  auto* fromBox = ChildOf<QCheckBox>(form.get(), "datesFromBox");
  auto* toBox = ChildOf<QCheckBox>(form.get(), "datesToBox");
  ASSERT_TRUE(from && to && fromBox && toBox);
  // The dates offered are those of the tests; none counts yet.
  EXPECT_EQ(from->date(), QDate(2024, 2, 28));
  EXPECT_EQ(to->date(), QDate(2024, 3, 4));
  EXPECT_FALSE(fromBox->isChecked() || toBox->isChecked());
  EXPECT_EQ(VisibleRowsOf(Table(), "N"), (std::vector<int64_t>{1, 2, 3, 4, 5}));

  DataGrid* g = Plate();
  auto footers = [&] {
    QStringList out;
    for (const char* field : {"P", "R", "N"}) out << g->FooterText(g->ColumnOfField(field));
    return out;
  };
  from->setDate(QDate(2024, 3, 1));
  EXPECT_TRUE(fromBox->isChecked());
  EXPECT_EQ(VisibleRowsOf(Table(), "N"), (std::vector<int64_t>{2, 3, 4, 5}));
  to->setDate(QDate(2024, 3, 3));
  EXPECT_EQ(VisibleRowsOf(Table(), "N"), (std::vector<int64_t>{2, 3, 4}));
  EXPECT_EQ(footers(), (QStringList{"0,2/0,6/1", "1/3/4", "3"}));

  // Every row shown marked and deleted: the tests outside the range stay.
  dialogs.answer = QMessageBox::Yes;
  g->view()->selectAll();
  ASSERT_TRUE(Trigger(form.get(), "deleteRowsAction"));
  ASSERT_EQ(dialogs.messages.size(), 1u);
  EXPECT_EQ(dialogs.messages[0].text, QString::fromUtf8("Удалить 3 отмеченные строки?"));
  EXPECT_EQ(Table().VisibleRowCount(), 0);
  EXPECT_EQ(footers(), (QStringList{"0/0/0", "0/0/0", "0"}));
  EXPECT_EQ(Table().StoredRowCount(), 2);
  fromBox->setChecked(false);
  EXPECT_EQ(VisibleRowsOf(Table(), "N"), std::vector<int64_t>{1});
  toBox->setChecked(false);
  EXPECT_EQ(VisibleRowsOf(Table(), "N"), (std::vector<int64_t>{1, 5}));
  EXPECT_EQ(footers(), (QStringList{"0,4/0,6/0,8", "3/4/5", "2"}));

  // A range that ends before it begins shows nothing, and says why.
  auto* note = ChildOf<QLabel>(form.get(), "datesEmptyNote");
  ASSERT_TRUE(note);
  EXPECT_TRUE(note->isHidden());
  from->setDate(QDate(2024, 3, 4));
  to->setDate(QDate(2024, 2, 1));
  EXPECT_EQ(Table().VisibleRowCount(), 0);
  EXPECT_FALSE(note->isHidden());
  // Another table starts with all of its tests.
  ASSERT_TRUE(Trigger(form.get(), "closeTableAction"));
  Open(plates);
  EXPECT_FALSE(fromBox->isChecked() || toBox->isChecked());
  EXPECT_EQ(Table().VisibleRowCount(), 4);
}

TEST_F(ViewCommands, FootersAndEditFlagOfTheOpenTable) {
  Open(plates);
  DataGrid* g = Plate();
  EXPECT_EQ(g->FooterText(g->ColumnOfField("P")), QStringLiteral("0,2/0,6/1"));
  EXPECT_EQ(g->FooterText(g->ColumnOfField("R")), QStringLiteral("1/2,5/4"));
  EXPECT_EQ(g->FooterText(g->ColumnOfField("N")), QStringLiteral("4"));
  EXPECT_FALSE(form->Session().IsModified());
  g->view()->setFocus();
  g->view()->setCurrentIndex(g->model()->index(1, g->ColumnOfField("COMMENT")));
  QTest::keyClick(g->view(), Qt::Key_F2);
  EXPECT_TRUE(form->Session().IsModified());
}

TEST_F(ViewCommands, RightClickOnRowsOpensTheSharedPopupMenu) {
  Open(plates);
  QWidget* cells = Plate()->view()->viewport();
  QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(20, 10),
                          cells->mapToGlobal(QPoint(20, 10)));
  QApplication::sendEvent(cells, &event);
  auto* popup = ChildOf<QMenu>(form.get(), "gridContextMenu");
  EXPECT_TRUE(popup->isVisible());
  popup->hide();
}

TEST_F(ViewCommands, BothViewsKeepTheirColoursAndSortMarksFromOneOpeningToTheNext) {
  Open(water);
  ASSERT_EQ(ViewTabs(form.get())->currentIndex(), 1);
  ASSERT_EQ(ParseColumnLayoutText(StoredValue("Table_2")).size(), 7u);
  ASSERT_EQ(ParseColumnLayoutText(StoredValue("Table_1")).size(), 8u);
  // A colour chosen as the operator does, and a sort by a title click.
  Water()->SetCurrentColumn(Water()->ColumnOfField("TYPE"));
  dialogs.colors = {QColor(0, 0, 255)};
  ASSERT_TRUE(Trigger(form.get(), "setColorAction"));
  Water()->ClickTitle(Water()->ColumnOfField("P"), false);
  Plate()->SetColumnColor(Plate()->ColumnOfField("R"), 0xFF00);
  ASSERT_TRUE(Trigger(form.get(), "closeTableAction"));
  Open(plates);
  EXPECT_EQ(Plate()->Column(Plate()->ColumnOfField("R")).state.color, 0xFF00u);
  EXPECT_EQ(Water()->Column(Water()->ColumnOfField("TYPE")).state.color, 0xFF0000u);
  EXPECT_EQ(Water()->Column(Water()->ColumnOfField("P")).state.titleState, TitleState::SortedUp);
}

TEST_F(ViewCommands, FirstUseFitsTheHiddenViewToItsRealWidth) {
  Open(plates);  // the water-permeability tab stays hidden
  ASSERT_EQ(ViewTabs(form.get())->currentIndex(), 0);
  const int outer = Water()->width();
  EXPECT_GT(outer, form->width() - 129 - 40);
  const auto entries = ParseColumnLayoutText(StoredValue("Table_2"));
  ASSERT_EQ(entries.size(), 7u);
  int sum = 0;
  for (const ColumnLayout& e : entries) sum += e.width;
  EXPECT_EQ(sum, outer - 2 * Water()->view()->frameWidth());
}

// A layout text with the given widths for the fields, in that order.
QString LayoutWithWidths(const std::vector<std::pair<const char*, int>>& columns) {
  std::vector<ColumnLayout> layout;
  for (const auto& [field, width] : columns) {
    ColumnLayout c;
    c.fieldName = QLatin1String(field);
    c.width = width;
    layout.push_back(c);
  }
  return ColumnLayoutText(layout);
}

// Widths stored at close in a wide window: the water view's design widths.
const std::vector<std::pair<const char*, int>> kWideWater = {
    {"N", 50}, {"H", 115}, {"P", 238}, {"R", 414}, {"DATE", 237}, {"TIME", 104}, {"TYPE", 295}};

// Whether every column of a grid lies inside its view and is as wide as its
// caption's words and its cells' texts need.
::testing::AssertionResult ColumnsFitTheView(DataGrid* grid) {
  const std::vector<int> needed = grid->TextWidths();
  const int client = grid->view()->viewport()->width();
  for (int i = 0; i < grid->ColumnCount(); ++i) {
    const int right = grid->header()->sectionViewportPosition(i) + grid->header()->sectionSize(i);
    if (right > client)
      return ::testing::AssertionFailure()
             << grid->Column(i).caption.toStdString() << " ends at " << right << " of " << client;
    if (grid->ColumnWidth(i) < needed[size_t(i)])
      return ::testing::AssertionFailure() << grid->Column(i).caption.toStdString() << " is "
                                           << grid->ColumnWidth(i) << " of " << needed[size_t(i)];
  }
  return ::testing::AssertionSuccess();
}

// "Создать" and "Открыть" in a window smaller than the one the layout was
// stored in: the shown view's columns fit the window with their texts whole.
TEST_F(ViewCommands, NewAndOpenFitTheShownViewToASmallerWindow) {
  form->resize(910, 600);  // a screen of 1366 pixels at 150 %
  QCoreApplication::processEvents();  // the window takes its new size
  for (bool create : {false, true}) {
    SCOPED_TRACE(create ? "New" : "Open");
    StoreValue("Table_2", LayoutWithWidths(kWideWater));
    if (create) {
      ASSERT_NO_FATAL_FAILURE(NewWater());
    } else {
      Open(water);
    }
    QCoreApplication::processEvents();
    ASSERT_TRUE(form->Session().InUse()) << dialogs.Texts().join(" | ").toStdString();
    ASSERT_EQ(ShownGrid(form.get()), Water());
    EXPECT_TRUE(ColumnsFitTheView(Water()));
    ASSERT_TRUE(Trigger(form.get(), "closeTableAction"));
  }
}

// A stored layout wider than the view is scaled into it, in proportion,
// also in the view whose tab is not shown; the narrower layout is what
// close stores.
TEST_F(ViewCommands, AStoredLayoutFromAWiderWindowIsScaledIntoTheView) {
  StoreValue("Table_2", LayoutWithWidths(kWideWater));
  form->resize(800, 600);
  Open(plates);  // the water-permeability tab stays hidden
  ASSERT_EQ(ShownGrid(form.get()), Plate());
  const int client = Water()->width() - 2 * Water()->view()->frameWidth();
  EXPECT_LT(client, 1453);
  int sum = 0;
  for (int i = 0; i < Water()->ColumnCount(); ++i) sum += Water()->ColumnWidth(i);
  EXPECT_EQ(sum, client);
  for (const auto& [field, width] : kWideWater)
    EXPECT_NEAR(Water()->ColumnWidth(Water()->ColumnOfField(field)), width * client / 1453.0, 1.0)
        << field;
  ASSERT_TRUE(Trigger(form.get(), "closeTableAction"));
  sum = 0;
  for (const ColumnLayout& e : ParseColumnLayoutText(StoredValue("Table_2"))) sum += e.width;
  EXPECT_EQ(sum, client);
}

TEST_F(ViewCommands, DamagedStoredLayoutStopsWithTheGeneralError) {
  const QString damaged = QStringLiteral(
      "object TUniDataStorage\r\n  Data = <\r\n    item\r\n"
      "      Width = wide\r\n    end>\r\nend\r\n");
  StoreValue("Table_1", damaged);
  Open(plates);
  ASSERT_EQ(dialogs.messages.size(), 1u);
  const RecordingDialogs::Shown& shown = dialogs.messages[0];
  EXPECT_EQ(shown.icon, QMessageBox::Critical);
  EXPECT_EQ(shown.caption, ApplicationTitle());
  EXPECT_TRUE(shown.text.contains(QStringLiteral("строка 4"))) << shown.text.toStdString();
  EXPECT_TRUE(shown.text.endsWith(QLatin1Char('.'))) << shown.text.toStdString();
  EXPECT_EQ(StoredValue("Table_1"), damaged);  // the value stays as it was
}

TEST_F(ViewCommands, DamagedFirstLayoutStopsOpenAndNewBeforeTheSecondAndTheTitle) {
  const QString damaged = QStringLiteral("object TUniDataStorage\r\n  Data = <\r\n");
  for (bool create : {false, true}) {
    SCOPED_TRACE(create ? "New" : "Open");
    dialogs.messages.clear();
    StoreValue("Table_1", damaged);
    // A valid second layout that would give the water view's first column a colour.
    StoreValue("Table_2", QStringLiteral("object TUniDataStorage\r\n  Data = <\r\n    item\r\n"
                                         "      FieldName = 'N'\r\n      Color = clYellow\r\n"
                                         "    end>\r\nend\r\n"));
    const QString before = form->windowTitle();
    if (create) {
      ASSERT_NO_FATAL_FAILURE(NewWater());
    } else {
      Open(water);
    }
    EXPECT_EQ(dialogs.messages.size(), 1u) << dialogs.Texts().join(" | ").toStdString();
    EXPECT_TRUE(Table().IsOpen());  // the table stays open
    EXPECT_EQ(form->windowTitle(), before);
    EXPECT_EQ(Water()->Column(Water()->ColumnOfField("N")).state.color, kClNone);
    EXPECT_EQ(StoredValue("Table_1"), damaged);
    // Closing stores the shown layouts over the damaged one: each round stores it again.
    ASSERT_TRUE(Trigger(form.get(), "closeTableAction"));
  }
}

}  // namespace
