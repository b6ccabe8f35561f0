// The desktop program speaks Chinese whatever the system's locale: dates and
// numbers in the Chinese way, and Qt's own texts (the standard buttons of
// message boxes, the edit menus) from Qt's Chinese translation.
#pragma once

#include <QLocale>

// The program's locale: Chinese as used in China.
QLocale ProgramLocale();
// Makes the program's locale the default and loads Qt's translation for it;
// call once the application object exists. False when Qt's translation is
// missing (the standard buttons then stay in English).
bool UseProgramLanguage();
