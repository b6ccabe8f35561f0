// The settings file's problems as the desktop program tells them: in message boxes.
#pragma once

// Shows why the settings file could not be read at start-up, when it could not.
void ReportSettingsLoadProblem();
// From now on a settings file that cannot be saved is reported in a message box.
void ReportSettingsSaveFailuresInMessageBoxes();
