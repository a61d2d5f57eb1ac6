// The platform seams: port names, the code page, the general error message,
// the operator's text of an exception.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QLineEdit>
#include <QTest>
#include <QTimer>
#include <new>

#include "platform/codepage.h"
#include "platform/colors.h"
#include "platform/dialogs.h"
#include "platform/operator_error.h"
#include "platform/ports.h"
#include "support/test_env.h"

namespace {

void SetPortValue(const QString& name, const QString& path) {
  QSettings s(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Merilan"),
              QStringLiteral("KLT3"));
  s.beginGroup(QStringLiteral("1.0"));
  s.setValue(name, path);
  s.sync();
}

TEST(Ports, ComNamesLeadToSettingsPathsOrSerialDevices) {
  ClearSettings();
  EXPECT_EQ(ResolvePortName(QStringLiteral("\\\\.\\COM1")), QStringLiteral("/dev/ttyS0"));
  EXPECT_EQ(ResolvePortName(QStringLiteral("\\\\.\\COM2")), QStringLiteral("/dev/ttyS1"));
  SetPortValue(QStringLiteral("COM2"), QStringLiteral("/dev/pts/7"));
  EXPECT_EQ(ResolvePortName(QStringLiteral("\\\\.\\COM2")), QStringLiteral("/dev/pts/7"));
  EXPECT_EQ(ResolvePortName(QStringLiteral("\\\\.\\COM1")), QStringLiteral("/dev/ttyS0"));
  // Anything else is taken as a device path as it stands.
  EXPECT_EQ(ResolvePortName(QStringLiteral("/dev/ttyUSB0")), QStringLiteral("/dev/ttyUSB0"));
  ClearSettings();
}

TEST(CodePage, RussianTextsRoundTripThroughWindows1251) {
  const QString text = QString::fromUtf8("Не ГОСТ ёЁ №");
  const QByteArray bytes = ToCp1251(text);
  ASSERT_EQ(bytes.size(), text.size());
  EXPECT_EQ(uint8_t(bytes[0]), 0xCD);  // Н
  EXPECT_EQ(uint8_t(bytes[8]), 0xB8);  // ё
  EXPECT_EQ(uint8_t(bytes[11]), 0xB9);  // №
  EXPECT_EQ(FromCp1251(bytes), text);
}

TEST(Colors, ValuesAreBgrAndSystemColoursResolve) {
  EXPECT_EQ(ColorFromValue(0x0000FFFF), QColor(255, 255, 0));  // yellow
  EXPECT_EQ(ColorFromValue(33023), QColor(255, 128, 0));         // 0x0080FF
  EXPECT_EQ(ValueFromColor(QColor(255, 128, 0)), 33023u);
  EXPECT_EQ(ColorFromValue(kClWindowText), QColor(Qt::black));
}

class RecordingSeam : public DialogSeam {
 public:
  QMessageBox::StandardButton Message(QWidget*, QMessageBox::Icon icon, const QString& caption,
                                      const QString& text, QMessageBox::StandardButtons) override {
    this->icon = icon;
    this->caption = caption;
    this->text = text;
    return QMessageBox::Ok;
  }
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  QString caption, text;
};

TEST(Dialogs, GeneralErrorEndsWithFullStopUnderTheApplicationTitle) {
  RecordingSeam seam;
  SetDialogs(&seam);
  ShowGeneralError(nullptr, QString::fromUtf8("Нет места на диске"));
  SetDialogs(nullptr);
  EXPECT_EQ(seam.icon, QMessageBox::Critical);
  EXPECT_EQ(seam.caption, QString::fromUtf8("ФИР  - ТЛ7"));
  EXPECT_EQ(seam.text, QString::fromUtf8("Нет места на диске."));
}

// A failure whose what() is not meant for the operator: the text must come
// from text(), not from what().
class InternalWhat : public OperatorError {
 public:
  InternalWhat() : OperatorError(QString::fromUtf8("Таблица не открыта")) {}
  const char* what() const noexcept override { return "table not open"; }
};

TEST(OperatorText, OwnFailuresGiveTheirTextOthersTheirWhat) {
  const InternalWhat own;
  const std::runtime_error foreign(u8"Диск переполнен");
  const std::bad_alloc memory;
  struct Case {
    const std::exception& e;
    QString text;
  } cases[] = {
      {own, QString::fromUtf8("Таблица не открыта")},
      {foreign, QString::fromUtf8("Диск переполнен")},
      {memory, QString::fromUtf8(memory.what())},
  };
  for (const Case& c : cases) EXPECT_EQ(OperatorText(c.e), c.text) << c.e.what();
}

}  // namespace

TEST(Dialogs, ABoxWithDetailReachesASeamThatKnowsOnlyMessages) {
  struct Recorder : DialogSeam {
    QStringList seen;
    QMessageBox::StandardButton Message(QWidget*, QMessageBox::Icon, const QString& caption,
                                        const QString& text, QMessageBox::StandardButtons) override {
      seen << caption + "|" + text;
      return QMessageBox::Yes;
    }
  } recorder;
  SetDialogs(&recorder);
  EXPECT_EQ(Dialogs().DetailedMessage(nullptr, QMessageBox::Critical, "c", "t", "d",
                                      QMessageBox::Yes | QMessageBox::No),
            QMessageBox::Yes);
  SetDialogs(nullptr);
  EXPECT_EQ(recorder.seen, QStringList{"c|t"});
}

// The save dialog asks before it replaces a file: "Нет" keeps the dialog
// open (nothing chosen), "Да" chooses the file.
TEST(Dialogs, TheSaveDialogAsksBeforeReplacingAFile) {
  QTemporaryDir dir;
  const QString existing = QDir(dir.path()).filePath(QStringLiteral("table.db"));
  {
    QFile f(existing);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("x");
  }
  for (const QMessageBox::StandardButton answer : {QMessageBox::No, QMessageBox::Yes}) {
    SCOPED_TRACE(answer == QMessageBox::Yes ? "yes" : "no");
    QString question;
    bool dialogLeftOpen = false;
    QTimer poll;
    int step = 0;
    QObject::connect(&poll, &QTimer::timeout, [&] {
      QWidget* modal = QApplication::activeModalWidget();
      if (step < 2) {
        // The operator types the name and presses Enter, again until the
        // question comes (the dialog may still be reading the folder).
        if (auto* dialog = qobject_cast<QFileDialog*>(modal)) {
          auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
          if (!name) return;
          name->setText(QStringLiteral("table.db"));
          step = 1;
          // Queued: the question's own loop must not run inside this poll.
          QTimer::singleShot(0, name, [name] { QTest::keyClick(name, Qt::Key_Return); });
        } else if (auto* box = qobject_cast<QMessageBox*>(modal)) {
          question = box->text();
          step = 2;
          box->button(answer)->click();
        }
      } else if (step == 2) {
        // "Нет": the file dialog is still there, and is then cancelled.
        if (auto* dialog = qobject_cast<QFileDialog*>(modal)) {
          dialogLeftOpen = true;
          step = 3;
          dialog->reject();
        }
      }
    });
    poll.start(20);
    DialogSeam real;
    const QString chosen = real.GetSaveFileName(nullptr, QStringLiteral("Создать"), dir.path(),
                                                QStringLiteral("Файлы данных (*.db)"),
                                                QStringLiteral("db"));
    poll.stop();
    EXPECT_TRUE(question.contains(QStringLiteral("table.db"))) << question.toStdString();
    if (answer == QMessageBox::Yes) {
      EXPECT_EQ(QFileInfo(chosen), QFileInfo(existing));
    } else {
      EXPECT_TRUE(dialogLeftOpen);
      EXPECT_TRUE(chosen.isEmpty());
    }
  }
}
