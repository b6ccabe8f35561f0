// Where the program keeps its own files (AppInfo.dat, HistoryPath.xml).
#pragma once

#include <QString>

// The folder of the settings files, ending in "/": the program folder when it
// can be written, else the user's configuration folder, which the GUI and
// pagetailor-batch share. That folder may not exist yet.
QString SettingsFolder();

// The same choice for a given program folder (ending in "/"): that folder when
// a file can be created in it, else configFolder.
QString SettingsFolderFor(const QString &programFolder, const QString &configFolder);

// The user's configuration folder of the program, ending in "/".
QString UserSettingsFolder();
