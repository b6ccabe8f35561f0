#include "ui/SettingsMessages.h"

#include "app/AppInfo.h"
#include "ui/BaseFrm.h"

void ReportSettingsLoadProblem() {
  if (AppInfo && !AppInfo->LoadProblem().isEmpty())
    ShowErrorMessage(nullptr, AppInfo->LoadProblem());
}

void ReportSettingsSaveFailuresInMessageBoxes() {
  SetSettingsReporter([](const QString &message) { ShowErrorMessage(nullptr, message); });
}
