#include "shell/translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace {
// Qt's own buttons say "OK" in Latin letters even in Russian; the program's
// buttons say "ОК". Asked before Qt's translations, it gives every button
// the one spelling and leaves all other texts to them.
class CyrillicOk : public QTranslator {
 public:
  using QTranslator::QTranslator;
  QString translate(const char*, const char* sourceText, const char* = nullptr,
                    int = -1) const override {
    if (!sourceText) return QString();
    const QLatin1String source(sourceText);
    if (source == QLatin1String("OK") || source == QLatin1String("&OK") ||
        source == QLatin1String("Ok"))
      return QString::fromUtf8("ОК");
    return QString();
  }
  bool isEmpty() const override { return false; }
};
}  // namespace

bool LoadQtRussianTranslations() {
  static QTranslator* installed = nullptr;
  if (installed) return true;
  auto* translator = new QTranslator(QCoreApplication::instance());
  const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
  if (!translator->load(QStringLiteral("qtbase_ru"), folder)) {
    delete translator;
    return false;
  }
  QCoreApplication::installTranslator(translator);
  // Installed last, asked first.
  QCoreApplication::installTranslator(new CyrillicOk(QCoreApplication::instance()));
  installed = translator;
  return true;
}
