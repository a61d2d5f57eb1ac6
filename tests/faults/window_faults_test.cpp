// The window under the same faults: for every write of "Экспорт в Excel",
// of "Дополнить из прибора…", of deleting rows (with the pack) and of
// storing the layout when the table closes, once failing and once as the last write before a crash.
// A failure is told in the general error message with its reason, the files are the old or the new
// ones, and the window goes on in a consistent state.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTabWidget>
#include <QTemporaryDir>
#include <algorithm>
#include <functional>
#include <memory>

#include "link/ui/download_dialog.h"
#include "platform/operator_error.h"
#include "shell/main_window.h"
#include "store/dbf/dbf_table.h"
#include "support/fault_files.h"
#include "support/link_ports.h"
#include "support/link_pty.h"
#include "support/link_sample_records.h"
#include "support/recording_dialogs.h"
#include "support/store_fixture.h"
#include "support/test_env.h"
#include "support/window_driver.h"
#include "views/grid/data_grid.h"

namespace {

std::vector<StoreRow> Rows() {
  std::vector<StoreRow> rows;
  for (int i = 1; i <= 5; ++i) rows.push_back(WaterRow(i, 3, 0.2 * i, "B4"));
  return rows;
}

QString StoredLayout() {
  QSettings s(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Merilan"),
              QStringLiteral("KLT3"));
  return s.value(QStringLiteral("1.0/Table_1")).toString();
}

class WindowFaults : public ::testing::Test {
 public:
  // One command of the window over a fresh copy of the table.
  struct Command {
    const char* name;
    std::function<void(WindowFaults&)> before;  // fault-free setup after the open
    std::function<void(WindowFaults&)> run;
    // The file the command writes and its state; the window's state after it.
    std::function<QByteArray(WindowFaults&)> state;
    std::function<void(WindowFaults&, bool failed)> consistent;
    bool saysReason = true;
    // The next use of the file after the window opened the table again
    // (a workbook is written anew); none for the table and the settings.
    std::function<void(WindowFaults&)> next = nullptr;
  };

  // A fresh folder with the table and fresh settings.
  void Prepare() {
    ClearSettings();
    dir_ = std::make_unique<QTemporaryDir>();
    MeasurementTable t;
    table_ = MakeStoreTable(t, *dir_, Rows());
    t.Close();
  }
  // The window with the table of the folder open.
  void Start() {
    dialogs_ = RecordingDialogs();
    SetDialogs(&dialogs_);
    form_ = std::make_unique<MainWindow>();
    dialogs_.openNames = {table_};
    ASSERT_TRUE(Trigger(form_.get(), "openTableAction"));
    ASSERT_TRUE(form_->Session().InUse());
  }
  void Stop() {
    form_.reset();
    SetDialogs(nullptr);
  }
  QString Path(const QString& name) const { return QDir(dir_->path()).filePath(name); }
  int Errors() const {
    int n = 0;
    for (const RecordingDialogs::Shown& m : dialogs_.messages) n += m.icon == QMessageBox::Critical;
    return n;
  }

  void Exercise(const Command& c) {
    files_.Count();
    Prepare();
    Start();
    c.before(*this);
    const QByteArray oldState = c.state(*this);
    dialogs_.messages.clear();
    files_.Count();
    c.run(*this);
    const int writes = files_.Writes();
    ASSERT_GT(writes, 0);
    EXPECT_EQ(Errors(), 0) << dialogs_.Texts().join(" | ").toStdString();
    const QByteArray newState = c.state(*this);
    Stop();
    ASSERT_NE(oldState, newState);
    for (int n = 1; n <= writes; ++n) {
      for (bool crash : {false, true}) {
        SCOPED_TRACE(std::string(c.name) + (crash ? ": crash at write " : ": failed write ") +
                     std::to_string(n) + " of " + std::to_string(writes));
        files_.Count();
        Prepare();
        Start();
        c.before(*this);
        dialogs_.messages.clear();
        const int err = n % 2 ? ENOSPC : EIO;
        const QString caption = ApplicationTitle();  // the error box's, at the command
        if (crash)
          files_.CrashAt(n);
        else
          files_.FailAt(n, err);
        c.run(*this);
        if (crash) {
          // The process died here: the window goes without another write.
          Stop();
          files_.Count();
        } else {
          files_.Count();
          const QByteArray state = c.state(*this);
          if (state != newState) {
            // One error box, and no word of success.
            ASSERT_EQ(dialogs_.messages.size(), 1u) << dialogs_.Texts().join(" | ").toStdString();
            const RecordingDialogs::Shown& m = dialogs_.messages[0];
            EXPECT_EQ(m.icon, QMessageBox::Critical);
            EXPECT_EQ(m.caption, caption);
            if (c.saysReason) {
              EXPECT_TRUE(m.text.contains(FileErrorText(err))) << m.text.toStdString();
            }
          }
          c.consistent(*this, state != newState);
          Stop();
        }
        const QByteArray state = c.state(*this);
        EXPECT_TRUE(state == oldState || state == newState) << state.toStdString();
        // The same table opens again, and after the next use of the file
        // nothing is left beside it.
        Start();
        if (c.next) c.next(*this);
        EXPECT_EQ(Errors(), 0) << dialogs_.Texts().join(" | ").toStdString();
        Stop();
        for (const QString& f : QDir(dir_->path()).entryList(QDir::Files | QDir::Hidden))
          EXPECT_FALSE(f.contains(QLatin1String(".~"))) << f.toStdString();
      }
    }
  }

  FaultFiles files_;
  std::unique_ptr<QTemporaryDir> dir_;
  QString table_;
  RecordingDialogs dialogs_;
  std::unique_ptr<MainWindow> form_;
};

TEST_F(WindowFaults, ExportToExcel) {
  Exercise({"export",
            [](WindowFaults& w) {
              QFile f(w.Path(QStringLiteral("серия.xls")));
              ASSERT_TRUE(f.open(QIODevice::WriteOnly));
              f.write("older workbook");
            },
            [](WindowFaults& w) {
              w.dialogs_.saveNames = {w.Path(QStringLiteral("серия.xls"))};
              ASSERT_TRUE(Trigger(w.form_.get(), "exportXlsAction"));
            },
            [](WindowFaults& w) { return ReadAll(w.Path(QStringLiteral("серия.xls"))); },
            [](WindowFaults& w, bool) {
              EXPECT_TRUE(w.form_->Session().InUse());
              EXPECT_TRUE(ActionOf(w.form_.get(), "exportXlsAction")->isEnabled());
              EXPECT_FALSE(ViewTabs(w.form_.get())->isHidden());
            },
            false,
            [](WindowFaults& w) {
              w.dialogs_.saveNames = {w.Path(QStringLiteral("серия.xls"))};
              ASSERT_TRUE(Trigger(w.form_.get(), "exportXlsAction"));
            }});
}

// The rows of the table file, each as its sample and series number.
QByteArray TableRowsOf(const QString& path) {
  QByteArray rows;
  dbf::Table t;
  t.LoadImage(ReadAll(path));
  for (uint32_t r = 1; r <= t.RecordCount(); ++r)
    if (!t.IsDeleted(r)) rows += (t.Text(t.Record(r), 0) + t.Text(t.Record(r), 4)).toUtf8() + ' ';
  return rows;
}

TEST_F(WindowFaults, AppendFromTheInstrument) {
  Exercise({"append",
            [](WindowFaults& w) {
              // The download itself, before the faults: they are the append's.
              w.form_->SetDownloadDialog(new DownloadDialog(w.form_.get()));
              SimulatedPort port(sim::WaterInstrument(ThreeSeries()));
              ASSERT_TRUE(port.Ok());
              PointPortsAt(port.Path(), QString());
              ASSERT_EQ(RunDownloadDialog(w.form_->downloadDialog()), int(QDialog::Accepted));
            },
            [](WindowFaults& w) {
              w.dialogs_.exec = [](QDialog*) { return int(QDialog::Accepted); };
              ASSERT_TRUE(Trigger(w.form_.get(), "appendAction"));
              w.dialogs_.exec = nullptr;
              // The counts, when told, are no failure.
              auto& shown = w.dialogs_.messages;
              shown.erase(std::remove_if(shown.begin(), shown.end(),
                                         [](const RecordingDialogs::Shown& m) {
                                           return m.icon == QMessageBox::Information;
                                         }),
                          shown.end());
            },
            [](WindowFaults& w) { return TableRowsOf(w.table_); },
            [](WindowFaults& w, bool failed) {
              // The table stays open with what the file holds.
              EXPECT_TRUE(w.form_->Session().IsEditable());
              EXPECT_TRUE(ActionOf(w.form_.get(), "appendAction")->isEnabled());
              EXPECT_EQ(SeriesEntries(w.form_.get()),
                        failed ? QStringList{"3"} : (QStringList{"3", "5", "6", "9"}));
            }});
}

TEST_F(WindowFaults, DeleteRows) {
  Exercise({"delete",
            [](WindowFaults&) {},
            [](WindowFaults& w) {
              DataGrid* grid = WaterGrid(w.form_.get());
              grid->view()->setCurrentIndex(grid->model()->index(1, 0));
              w.dialogs_.answer = QMessageBox::Yes;
              ASSERT_TRUE(Trigger(w.form_.get(), "deleteRowsAction"));
              // "Удалить ...?" answered "Да"; what follows is about the writes.
              ASSERT_FALSE(w.dialogs_.messages.empty());
              EXPECT_EQ(w.dialogs_.messages.front().icon, QMessageBox::Question);
              w.dialogs_.messages.erase(w.dialogs_.messages.begin());
            },
            [](WindowFaults& w) {
              QByteArray rows;
              dbf::Table t;
              t.LoadImage(ReadAll(w.table_));
              for (uint32_t r = 1; r <= t.RecordCount(); ++r)
                if (!t.IsDeleted(r)) rows += t.Text(t.Record(r), 0).toUtf8() + ' ';
              return rows;
            },
            [](WindowFaults& w, bool) {
              // The table stays open with what the file holds.
              EXPECT_TRUE(w.form_->Session().InUse());
              EXPECT_TRUE(w.form_->Session().Table().IsOpen());
              EXPECT_TRUE(ActionOf(w.form_.get(), "deleteRowsAction")->isEnabled());
            }});
}

TEST_F(WindowFaults, LayoutStoredWhenTheTableCloses) {
  Exercise({"close",
            [](WindowFaults& w) {
              // The plate view's first column coloured: its stored layout changes.
              PlateGrid(w.form_.get())->SetColumnColor(0, 0x0080FF);
            },
            [](WindowFaults& w) { ASSERT_TRUE(Trigger(w.form_.get(), "closeTableAction")); },
            [](WindowFaults&) { return StoredLayout().toUtf8(); },
            [](WindowFaults& w, bool) {
              EXPECT_FALSE(w.form_->Session().InUse());
              EXPECT_TRUE(ViewTabs(w.form_.get())->isHidden());
              EXPECT_FALSE(ActionOf(w.form_.get(), "saveTableAction")->isEnabled());
            }});
}

}  // namespace
