#include "ui/SettingsMessages.h"

#include "app/AppInfo.h"
#include "ui/BaseFrm.h"

void ReportSettingsLoadProblem() {
  if (AppInfo && !AppInfo->LoadProblem().IsNone())
    ShowErrorMessage(nullptr, ReasonText(AppInfo->LoadProblem()));
}

void ReportSettingsSaveFailuresInMessageBoxes() {
  SetSettingsReporter([](const TReason &problem) { ShowErrorMessage(nullptr, ReasonText(problem)); });
}
