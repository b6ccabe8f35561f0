// The settings object: the user's folders, paper series and sizes, with the
// one global instance and the process start-up and shut-down order.
#pragma once

#include "Common/VellClasses.h"
#include "Common/VellTypInfo.h"
#include "app/Reasons.h"

#include <QString>

#include <functional>

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

class TAppInfo : public TXMLPersistent {
  VELL_CLASS(TAppInfo, TXMLPersistent)
public:
  // The defaults, bound to no file: copies and snapshots never touch the
  // settings file.
  TAppInfo();
  // The settings object of a settings file: the defaults, then the file's
  // values when a file exists there. A file that cannot be read leaves the
  // defaults, is kept as "<file>.bad" and is described by LoadProblem().
  explicit TAppInfo(const QString &fileName);
  // Writes the settings file when the object is bound to one; a failure goes
  // to the settings reporter.
  ~TAppInfo() override;
  TAppInfo(const TAppInfo &) = delete;
  TAppInfo &operator=(const TAppInfo &) = delete;

  TAPaperSizeEnum APaperSize = pseA4;
  bool AutoCheckFit = true;
  TBPaperSizeEnum BPaperSize = pseB4;
  TSizeModeEnum SizeMode = smeAStyle;
  QString SourcePath;
  QString TargetPath;

  // Full path of the settings file; empty when bound to none.
  const QString &FileName() const { return FFileName; }
  // Why the settings file could not be read at creation, for the user; none
  // when it was read or did not exist.
  const TReason &LoadProblem() const { return FLoadProblem; }
  // Writes the settings file now (EInOutError, EFCreateError on failure).
  void Save() const;
  std::unique_ptr<TXMLPersistent> Clone() const override;

private:
  void Recover(const QString &reason);

  QString FFileName;
  TReason FLoadProblem;
};

// The settings file of the program: "AppInfo.dat" in SettingsFolder().
QString DefaultSettingsFile();

// Tells the user that the settings file could not be written at shut-down.
// Writes the English text to stderr unless the program installs its own (the
// GUI shows a message box); an empty function restores the default.
using TSettingsReporter = std::function<void(const TReason &problem)>;
void SetSettingsReporter(TSettingsReporter reporter);

// The one settings object, alive between AppStartup and AppShutdown.
extern TAppInfo *AppInfo;

// Starts the program's modules in their fixed order: the settings object
// (bound to settingsFile), then the imaging service, then the component
// library of the main thread.
void AppStartup(const QString &settingsFile = DefaultSettingsFile());
// Stops them in reverse order; the settings object goes last.
void AppShutdown();
