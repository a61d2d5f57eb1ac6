#include "cli_files.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cstdio>
#include <exception>

#include "cli_common.h"
#include "output/reports/report_engine.h"
#include "output/reports/report_render.h"
#include "output/reports/report_source.h"
#include "output/reports/report_templates.h"
#include "output/xls/series_export.h"
#include "output/xls/xls_writer.h"
#include "platform/device_data.h"
#include "platform/operator_error.h"
#include "store/measurement_table.h"
#include "store/table_session.h"
#include "views/grid/grid_model.h"
#include "views/table_views.h"

namespace cli {

#define KLT3_CLI_ROWS_HELP                                                                                                             \
  "Без --series и --kind выбираются те же строки, что показывает программа после\n" \
  "\"Открыть\": вид по роду записей таблицы и первая серия его списка.\n"           \
  "\n"                                                                                                                                 \
  "  --series N            строки серии испытаний с номером N\n"                                                                     \
  "  --kind plate|water    все строки вида испытаний плит (plate) или\n"                                  \
  "                        водонепроницаемости (water)\n"                                                           \
  "  --help                эта справка\n"

const char kDumpHelp[] =
    "Использование: klt3-cli dump ФАЙЛ.db [--csv | --json] [--series N | --kind plate|water]\n"
    "\n"
    "Выводит строки таблицы так, как их показывает вид программы: его столбцы,\n"
    "их заголовки и тексты ячеек. Строка испытания на водонепроницаемость\n"
    "начинается с номера своей серии (\"Серия\"); марка бетона серии - в столбце\n"
    "\"Марка\". По умолчанию выровненными столбцами;\n"
    "--csv: значения через запятую с заголовками в первой строке;\n"
    "--json: массив объектов, ключи - имена полей (номер серии - SERIAL,\n"
    "марка - TYPE).\n"
    "\n" KLT3_CLI_ROWS_HELP
    "  --csv                 вывод в формате CSV\n"
    "  --json                вывод в формате JSON\n";

const char kExportHelp[] =
    "Использование: klt3-cli export ФАЙЛ.db [--series N | --kind plate|water] ВЫХОД.xls\n"
    "\n"
    "Записывает выбранные строки в книгу Excel, как команда \"Экспорт в Excel\".\n"
    "\n" KLT3_CLI_ROWS_HELP;

const char kReportHelp[] =
    "Использование: klt3-cli report ФАЙЛ.db [--series N | --kind plate|water] ВЫХОД.pdf\n"
    "\n"
    "Записывает отчет по выбранным строкам в файл PDF, как его печатает команда\n"
    "\"Печать\".\n"
    "\n" KLT3_CLI_ROWS_HELP;

namespace {

// The table opened as "Открыть" opens it, with the rows to show selected.
struct OpenedTable {
  TableSession session;
  ShownKind kind = ShownKind::Plate;
  MeasurementTable& table() { return session.Table(); }
};

struct Common {
  Args args;
  QString input;
  QString output;
};

// Parses a command's line: one input file, `outputs` output files.
int ParseCommon(const QStringList& argv, const QStringList& flags, int outputs, const char* help,
                const QString& command, Common* c) {
  QString error;
  if (!c->args.Parse(argv, {QStringLiteral("series"), QStringLiteral("kind")},
                     flags + QStringList{QStringLiteral("help")}, &error)) {
    Error(error);
    Error(QStringLiteral("Справка: klt3-cli %1 --help").arg(command));
    return kUsage;
  }
  if (c->args.Has(QStringLiteral("help"))) {
    std::fputs(help, stdout);
    return -1;
  }
  const QStringList& ops = c->args.Operands();
  if (ops.size() != 1 + outputs) {
    Error(outputs ? QStringLiteral("Укажите файл таблицы (.db) и выходной файл.")
                  : QStringLiteral("Укажите один файл таблицы (.db)."));
    Error(QStringLiteral("Справка: klt3-cli %1 --help").arg(command));
    return kUsage;
  }
  const QString kind = c->args.Value(QStringLiteral("kind"));
  if (c->args.Has(QStringLiteral("kind")) && kind != QLatin1String("plate") &&
      kind != QLatin1String("water")) {
    Error(QStringLiteral("Параметр --kind принимает значения plate или water."));
    return kUsage;
  }
  if (c->args.Has(QStringLiteral("kind")) && c->args.Has(QStringLiteral("series"))) {
    Error(QStringLiteral("Параметры --series и --kind нельзя задать вместе."));
    return kUsage;
  }
  if (c->args.Has(QStringLiteral("series"))) {
    bool ok = false;
    const int n = c->args.Value(QStringLiteral("series")).toInt(&ok);
    if (!ok || n < 0) {
      Error(QStringLiteral("Номер серии должен быть целым неотрицательным числом."));
      return kUsage;
    }
  }
  c->input = ops.first();
  if (outputs) c->output = ops.last();
  return kOk;
}

int OpenTable(const Common& c, OpenedTable* t) {
  if (!QFileInfo(c.input).isFile()) {
    Error(QStringLiteral("Файл %1 не найден.").arg(QDir::toNativeSeparators(c.input)));
    return kTableRead;
  }
  try {
    // Commands that only read never write to the table file and take no
    // lock: they read it also while the program has it open.
    t->session.Open(QFileInfo(c.input).absoluteFilePath(), MeasurementTable::OpenMode::ReadOnly);
    // A table cut short is read all the same, but not silently.
    if (!t->session.IncompleteNotice().isEmpty()) Error(t->session.IncompleteNotice());
    const QString kind = c.args.Value(QStringLiteral("kind"));
    if (kind == QLatin1String("water")) {
      t->kind = ShownKind::Water;
      t->session.ShowKind(t->kind);
    } else if (kind == QLatin1String("plate")) {
      t->kind = ShownKind::Plate;
      t->session.ShowKind(t->kind);
    } else {
      t->kind = t->session.ChooseShownKind();
      if (c.args.Has(QStringLiteral("series"))) {
        t->session.ShowSeries(QString::number(c.args.Value(QStringLiteral("series")).toInt()));
      } else {
        // As after "Открыть": the first entry of the series list, if any.
        const QStringList& list = t->session.RebuildSeriesList(t->kind);
        if (!list.isEmpty()) t->session.ShowSeries(list.first());
      }
    }
    t->table().Refresh();
  } catch (const std::exception& e) {
    Error(QStringLiteral("База данных повреждена !"));
    Error(DamagedTableDetail(c.input, OperatorText(e)));
    return kTableRead;
  }
  if (c.args.Has(QStringLiteral("series")) && t->table().VisibleRowCount() == 0) {
    Error(QStringLiteral("Серии %1 в таблице нет.")
              .arg(c.args.Value(QStringLiteral("series")).toInt()));
    return kNoRows;
  }
  return kOk;
}

QString CsvField(const QString& s) {
  if (!s.contains(QLatin1Char(',')) && !s.contains(QLatin1Char('"')) &&
      !s.contains(QLatin1Char('\n')))
    return s;
  QString q = s;
  q.replace(QLatin1Char('"'), QStringLiteral("\"\""));
  return QLatin1Char('"') + q + QLatin1Char('"');
}

// The columns of the view; a water-permeability row begins with its series'
// number, which the view shows in the list beside it.
std::vector<GridColumn> DumpColumns(ShownKind kind) {
  if (kind == ShownKind::Plate) return views::PlateViewColumns();
  GridColumn series;
  series.state.fieldName = QStringLiteral("SERIAL");
  series.caption = QStringLiteral("Серия");
  std::vector<GridColumn> columns{series};
  for (const GridColumn& c : views::WaterViewColumns()) columns.push_back(c);
  return columns;
}

void PrintRows(MeasurementTable& table, ShownKind kind, const QString& format) {
  const std::vector<GridColumn> columns = DumpColumns(kind);
  std::vector<QStringList> rows;
  QStringList header;
  for (const GridColumn& col : columns) header << col.caption;
  const int count = table.VisibleRowCount();
  for (int r = 0; r < count; ++r) {
    QStringList cells;
    for (const GridColumn& col : columns)
      cells << GridModel::DisplayText(col, table.FieldAt(r, col.fieldName()));
    rows.push_back(cells);
  }
  QString text;
  if (format == QLatin1String("json")) {
    QJsonArray array;
    for (const QStringList& cells : rows) {
      QJsonObject o;
      for (size_t i = 0; i < columns.size(); ++i) o[columns[i].fieldName()] = cells[int(i)];
      array.append(o);
    }
    text = QString::fromUtf8(QJsonDocument(array).toJson(QJsonDocument::Indented));
  } else if (format == QLatin1String("csv")) {
    auto line = [](const QStringList& cells) {
      QStringList quoted;
      for (const QString& s : cells) quoted << CsvField(s);
      return quoted.join(QLatin1Char(',')) + QStringLiteral("\r\n");
    };
    text = line(header);
    for (const QStringList& cells : rows) text += line(cells);
  } else {
    std::vector<int> widths;
    for (const QString& h : header) widths.push_back(h.size());
    for (const QStringList& cells : rows)
      for (int i = 0; i < cells.size(); ++i) widths[i] = qMax(widths[i], int(cells[i].size()));
    auto line = [&widths](const QStringList& cells) {
      QString l;
      for (int i = 0; i < cells.size(); ++i) {
        if (i) l += QStringLiteral("  ");
        l += cells[i].leftJustified(widths[i]);
      }
      while (l.endsWith(QLatin1Char(' '))) l.chop(1);
      return l + QLatin1Char('\n');
    };
    text = line(header);
    for (const QStringList& cells : rows) text += line(cells);
  }
  std::fputs(text.toUtf8().constData(), stdout);
  std::fflush(stdout);
}

}  // namespace

int DumpCommand(const QStringList& argv) {
  Common c;
  int code = ParseCommon(argv, {QStringLiteral("csv"), QStringLiteral("json")}, 0, kDumpHelp,
                         QStringLiteral("dump"), &c);
  if (code != kOk) return code < 0 ? kOk : code;
  if (c.args.Has(QStringLiteral("csv")) && c.args.Has(QStringLiteral("json"))) {
    Error(QStringLiteral("Параметры --csv и --json нельзя задать вместе."));
    return kUsage;
  }
  OpenedTable t;
  code = OpenTable(c, &t);
  if (code != kOk) return code;
  try {
    PrintRows(t.table(), t.kind,
              c.args.Has(QStringLiteral("csv"))    ? QStringLiteral("csv")
              : c.args.Has(QStringLiteral("json")) ? QStringLiteral("json")
                                                   : QString());
  } catch (const TableError& e) {
    Error(OperatorText(e) + QLatin1Char('.'));
    return kTableRead;
  }
  return kOk;
}

int ExportCommand(const QStringList& argv) {
  Common c;
  int code = ParseCommon(argv, {}, 1, kExportHelp, QStringLiteral("export"), &c);
  if (code != kOk) return code < 0 ? kOk : code;
  OpenedTable t;
  code = OpenTable(c, &t);
  if (code != kOk) return code;
  try {
    // The export walks the natural record order under the filter in force;
    // a freshly opened table has no sort tag selected. The plate tests go
    // out as the plate view shows them.
    if (t.kind == ShownKind::Plate) {
      std::vector<ExportColumn> columns;
      for (const GridColumn& g : views::PlateViewColumns())
        columns.push_back({g.fieldName(), g.caption});
      ExportRows(t.table(), columns, PlateInstrumentName(t.session.ShownDeviceType()), c.output);
    } else {
      ExportSeries(t.table(), c.output);
    }
  } catch (const XlsError& e) {
    Error(e.text() + QLatin1Char('.'));
    if (!e.detail().isEmpty()) Error(e.detail());
    return kExport;
  } catch (const TableError& e) {
    Error(OperatorText(e) + QLatin1Char('.'));
    return kTableRead;
  } catch (const std::exception& e) {
    Error(OperatorText(e) + QLatin1Char('.'));
    return kExport;
  }
  return kOk;
}

int ReportCommand(const QStringList& argv) {
  Common c;
  int code = ParseCommon(argv, {}, 1, kReportHelp, QStringLiteral("report"), &c);
  if (code != kOk) return code < 0 ? kOk : code;
  OpenedTable t;
  code = OpenTable(c, &t);
  if (code != kOk) return code;
  const ReportView view =
      t.kind == ShownKind::Water ? ReportView::WaterPermeability : ReportView::PlateTest;
  PreparedReport report;
  try {
    TableReportSource rows(&t.table());
    report =
        PrepareReport(ReportById(SelectReport(view, uint8_t(t.session.ShownDeviceType()))), rows);
  } catch (const TableError& e) {
    Error(OperatorText(e) + QLatin1Char('.'));
    return kTableRead;
  }
  QString failure;
  if (!WriteReportPdf(report, c.output, &failure)) {
    Error(failure + QLatin1Char('.'));
    return kReport;
  }
  return kOk;
}

}  // namespace cli
