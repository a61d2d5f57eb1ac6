// Which help "Помощь" opens: a "klt3.hlp" beside the program, the guide
// installed with it, or the guide beside the build.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <vector>

#include "shell/app_state.h"

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

}  // namespace
