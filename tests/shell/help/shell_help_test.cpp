// Which help "Помощь" opens: a "klt3.hlp" beside the program, the guide
// installed with it, or the guide beside the build.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTest>
#include <QTemporaryDir>
#include <QUrl>
#include <vector>

#include "platform/dialogs.h"
#include "support/recording_dialogs.h"
#include "shell/app_state.h"
#include "shell/main_window.h"
#include "support/window_driver.h"

namespace {

struct LookupCase {
  const char* what;
  const char* exeDir;              // relative to a fresh folder
  std::vector<const char*> files;  // created empty
  std::vector<const char*> dirs;   // created as folders
  const char* expected;            // "" for none
};

void MakeFile(const QString& path) {
  ASSERT_TRUE(QDir().mkpath(QFileInfo(path).absolutePath()));
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << path.toStdString();
}

TEST(HelpLookup, PrefersTheLocalFileThenTheInstalledGuideThenTheBuildGuide) {
  const std::vector<LookupCase> cases = {
      {"nothing there", "usr/bin", {}, {}, ""},
      {"klt3.hlp beside the program", "usr/bin", {"usr/bin/klt3.hlp"}, {}, "usr/bin/klt3.hlp"},
      {"installed guide", "usr/bin", {"usr/share/doc/klt3/index.html"}, {},
       "usr/share/doc/klt3/index.html"},
      {"klt3.hlp wins over the installed guide", "usr/bin",
       {"usr/bin/klt3.hlp", "usr/share/doc/klt3/index.html"}, {}, "usr/bin/klt3.hlp"},
      {"guide beside the build", "build/src/shell", {"build/share/doc/klt3/index.html"}, {},
       "build/share/doc/klt3/index.html"},
      {"the installed guide wins over one further up", "opt/x/bin",
       {"opt/x/share/doc/klt3/index.html", "opt/share/doc/klt3/index.html"}, {},
       "opt/x/share/doc/klt3/index.html"},
      {"only two levels up", "a/b/c/bin", {"a/share/doc/klt3/index.html"}, {}, ""},
      {"another program's guide", "usr/bin", {"usr/share/doc/klt4/index.html"}, {}, ""},
      {"folders of those names are no files", "usr/bin", {},
       {"usr/bin/klt3.hlp", "usr/share/doc/klt3/index.html", "share/doc/klt3/index.html"}, ""},
  };
  for (const LookupCase& c : cases) {
    SCOPED_TRACE(c.what);
    QTemporaryDir root;
    ASSERT_TRUE(root.isValid());
    const QDir r(root.path());
    ASSERT_TRUE(r.mkpath(QString::fromLatin1(c.exeDir)));
    for (const char* f : c.files) MakeFile(r.filePath(QString::fromLatin1(f)));
    for (const char* d : c.dirs) ASSERT_TRUE(r.mkpath(QString::fromLatin1(d)));
    const QString expected =
        *c.expected ? QDir::cleanPath(r.absoluteFilePath(QString::fromLatin1(c.expected)))
                    : QString();
    EXPECT_EQ(FindHelpFile(r.filePath(QString::fromLatin1(c.exeDir))), expected);
  }
}

// The window looks for the help beside its own executable. KLT3_EXPECTED_HELP
// names the file it must open there; unset, nothing is there (as for this
// program in the build folder of the tests) and the missing file is
// reported. The test below and scripts/package-test.sh run it with a copy
// of this program put where the installed program lies.
TEST(HelpWindow, OpensTheHelpFoundForTheProgram) {
  const QString expected = qEnvironmentVariable("KLT3_EXPECTED_HELP");
  RecordingDialogs dialogs;
  dialogs.answer = QMessageBox::Ok;
  SetDialogs(&dialogs);
  SetApplicationHelpFile(DefaultHelpFile());
  std::vector<QUrl> opened;
  {
    MainWindow window;
    window.SetHelpOpener([&](const QUrl& url) {
      opened.push_back(url);
      return true;
    });
    EXPECT_TRUE(Trigger(&window, "helpAction"));
  }
  SetDialogs(nullptr);
  if (expected.isEmpty()) {
    EXPECT_TRUE(opened.empty());
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_TRUE(dialogs.messages[0].text.contains(QString::fromUtf8("ФИР.HLP")));
  } else {
    EXPECT_TRUE(dialogs.messages.empty()) << dialogs.Texts().join(QLatin1Char('\n')).toStdString();
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0], QUrl::fromLocalFile(expected));
  }
}

// The processes whose parent is this one (zombies included).
int ChildProcesses() {
  int n = 0;
  for (const QString& pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
    QFile f(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!f.open(QIODevice::ReadOnly)) continue;
    const QByteArray stat = f.readAll();
    const QList<QByteArray> after = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
    if (after.size() > 1 && after[1].toInt() == int(::getpid())) ++n;
  }
  return n;
}

// The desktop's handler (xdg-open) is run and its answer awaited: when it
// has no program for the guide, or is not there at all, the operator is
// told so with the guide's file named; when it shows the guide nothing is
// said. Either way no process is left behind.
TEST(HelpWindow, TheDesktopHandlersAnswerIsHeardAndNoProcessIsLeft) {
  const struct {
    const char* what;
    int exitCode;  // of the handler; -1: there is none
    bool told;
  } cases[] = {
      {"no program for the file", 3, true},
      {"the program failed", 4, true},
      {"no handler at all", -1, true},
      {"shown", 0, false},
  };
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString guide = QDir(dir.path()).filePath(QStringLiteral("index.html"));
  MakeFile(guide);
  const QByteArray path = qgetenv("PATH");
  RecordingDialogs dialogs;
  dialogs.answer = QMessageBox::Ok;
  SetDialogs(&dialogs);
  SetApplicationHelpFile(guide);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    QTemporaryDir bin;
    ASSERT_TRUE(bin.isValid());
    const QString asked = QDir(bin.path()).filePath(QStringLiteral("asked"));
    if (c.exitCode >= 0) {
      QFile script(QDir(bin.path()).filePath(QStringLiteral("xdg-open")));
      ASSERT_TRUE(script.open(QIODevice::WriteOnly));
      script.write(QStringLiteral("#!/bin/sh\necho \"$1\" > '%1'\nexit %2\n")
                       .arg(asked)
                       .arg(c.exitCode)
                       .toUtf8());
      script.close();
      ASSERT_TRUE(script.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                        QFileDevice::ExeOwner));
    }
    qputenv("PATH", QFile::encodeName(bin.path()));
    dialogs.messages.clear();
    {
      MainWindow window;
      EXPECT_TRUE(Trigger(&window, "helpAction"));
      if (c.told) {
        EXPECT_TRUE(QTest::qWaitFor([&] { return !dialogs.messages.empty(); }, 20000));
      } else {
        EXPECT_TRUE(
            QTest::qWaitFor([&] { return QFile::exists(asked) && ChildProcesses() == 0; }, 20000));
        QTest::qWait(50);  // the answer, had there been one, would be heard by now
      }
      EXPECT_TRUE(QTest::qWaitFor([&] { return ChildProcesses() == 0; }, 20000));
    }
    qputenv("PATH", path);
    if (c.exitCode >= 0) {
      QFile f(asked);
      ASSERT_TRUE(f.open(QIODevice::ReadOnly));
      EXPECT_EQ(f.readAll().trimmed(), QFile::encodeName(guide));
    }
    if (!c.told) {
      EXPECT_TRUE(dialogs.messages.empty());
      continue;
    }
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_TRUE(dialogs.messages[0].text.contains(QDir::toNativeSeparators(guide)))
        << dialogs.messages[0].text.toStdString();
    EXPECT_TRUE(dialogs.messages[0].text.contains(
        QString::fromUtf8("не найдена программа для его просмотра")));
  }
  SetDialogs(nullptr);
}

struct InstalledCase {
  const char* what;
  std::vector<const char*> files;  // relative to the prefix, created empty
  const char* expected;            // "" for none
};

// Puts this program into <prefix>/bin of a scratch installation and runs the
// window test above there.
TEST(HelpWindow, OpensTheInstalledGuideUnlessAHelpFileLiesBesideTheProgram) {
  const std::vector<InstalledCase> cases = {
      {"installed guide", {"share/doc/klt3/index.html"}, "share/doc/klt3/index.html"},
      {"klt3.hlp beside the program", {"bin/klt3.hlp", "share/doc/klt3/index.html"},
       "bin/klt3.hlp"},
      {"no guide of this program", {"share/doc/other/index.html"}, ""},
  };
  const QString self = QCoreApplication::applicationFilePath();
  for (const InstalledCase& c : cases) {
    SCOPED_TRACE(c.what);
    // Beside this program, so that a hard link can stand in for a copy.
    QTemporaryDir prefix(QCoreApplication::applicationDirPath() +
                         QStringLiteral("/installed-XXXXXX"));
    ASSERT_TRUE(prefix.isValid());
    const QDir p(prefix.path());
    ASSERT_TRUE(p.mkpath(QStringLiteral("bin")));
    const QString program = p.filePath(QStringLiteral("bin/") + QFileInfo(self).fileName());
    if (::link(QFile::encodeName(self).constData(), QFile::encodeName(program).constData()) != 0) {
      ASSERT_TRUE(QFile::copy(self, program));
    }
    for (const char* f : c.files) MakeFile(p.filePath(QString::fromLatin1(f)));

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("KLT3_EXPECTED_HELP"));
    if (*c.expected) {
      env.insert(QStringLiteral("KLT3_EXPECTED_HELP"),
                 QFileInfo(p.filePath(QString::fromLatin1(c.expected))).canonicalFilePath());
    }
    QProcess child;
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(program,
                {QStringLiteral("--gtest_filter=HelpWindow.OpensTheHelpFoundForTheProgram")});
    ASSERT_TRUE(child.waitForFinished(60000));
    const std::string out = child.readAll().toStdString();
    EXPECT_EQ(child.exitStatus(), QProcess::NormalExit) << out;
    EXPECT_EQ(child.exitCode(), 0) << out;
    EXPECT_NE(out.find("[  PASSED  ] 1 test"), std::string::npos) << out;
  }
}

}  // namespace
