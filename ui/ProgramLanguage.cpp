#include "ui/ProgramLanguage.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

QLocale ProgramLocale() {
  return QLocale(QLocale::Chinese, QLocale::China);
}

bool UseProgramLanguage() {
  QLocale::setDefault(ProgramLocale());
  QCoreApplication *application = QCoreApplication::instance();
  const QString name = QStringLiteral("QtTranslation");
  if (application->findChild<QTranslator *>(name))
    return true;
  auto *translator = new QTranslator(application);
  translator->setObjectName(name);
  if (!translator->load(ProgramLocale(), QStringLiteral("qtbase"), QStringLiteral("_"),
                        QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    delete translator;
    return false;
  }
  return QCoreApplication::installTranslator(translator);
}
