// The settings object: the user's folders, paper series and sizes, with the
// one global instance and the process start-up and shut-down order.
#pragma once

#include "Common/VellTypInfo.h"

#include <QString>

// Paper sizes of the A series; the ordinal is the ISO size number.
enum TAPaperSizeEnum : quint8 { pseA0, pseA1, pseA2, pseA3, pseA4, pseA5 };
// Paper sizes of the B series; the ordinal is the ISO size number.
enum TBPaperSizeEnum : quint8 { pseB0, pseB1, pseB2, pseB3, pseB4, pseB5 };
// The paper series a run uses; smeCustom is declared but offered by no control.
enum TSizeModeEnum : quint8 { smeAStyle, smeBStyle, smeCustom };

VELL_ENUM_INFO(TAPaperSizeEnum, QStringLiteral("pseA0"), QStringLiteral("pseA1"), QStringLiteral("pseA2"),
               QStringLiteral("pseA3"), QStringLiteral("pseA4"), QStringLiteral("pseA5"))
VELL_ENUM_INFO(TBPaperSizeEnum, QStringLiteral("pseB0"), QStringLiteral("pseB1"), QStringLiteral("pseB2"),
               QStringLiteral("pseB3"), QStringLiteral("pseB4"), QStringLiteral("pseB5"))
VELL_ENUM_INFO(TSizeModeEnum, QStringLiteral("smeAStyle"), QStringLiteral("smeBStyle"),
               QStringLiteral("smeCustom"))

class TAppInfo : public TObject {
  VELL_CLASS(TAppInfo, TObject)
public:
  TAppInfo();

  TAPaperSizeEnum APaperSize = pseA4;
  bool AutoCheckFit = true;
  TBPaperSizeEnum BPaperSize = pseB4;
  TSizeModeEnum SizeMode = smeAStyle;
  QString SourcePath;
  QString TargetPath;

  // Full path of the settings file: the program folder plus "AppInfo.dat".
  const QString &FileName() const { return FFileName; }

private:
  QString FFileName;
};

// The one settings object, alive between AppStartup and AppShutdown.
extern TAppInfo *AppInfo;

// Starts the program's modules in their fixed order: the settings object,
// then the imaging service, then the component library of the main thread.
void AppStartup();
// Stops them in reverse order; the settings object goes last.
void AppShutdown();
