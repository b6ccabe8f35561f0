// The desktop program: starts the modules in their order, shows the main
// window until it is closed, and stops them in reverse.
#include "ui/MainFrm.h"
#include "ui/ProgramLanguage.h"
#include "ui/SettingsMessages.h"

#include "app/AppInfo.h"

#include "Common/VellLangMan.h"

#include <QApplication>

int main(int argc, char **argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("PageTailor"));
  UseProgramLanguage();
  GlobalLangMan = std::make_unique<TVellLangMan>();
  AppStartup();
  ReportSettingsSaveFailuresInMessageBoxes();
  ReportSettingsLoadProblem();
  int status = 0;
  {
    TMainForm form;
    form.show();
    status = QApplication::exec();
  }
  AppShutdown();
  GlobalLangMan.reset();
  return status;
}
