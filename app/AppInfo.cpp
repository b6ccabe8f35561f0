#include "app/AppInfo.h"

#include "app/SettingsFolder.h"

#include "Common/VellUtils.h"
#include "PicFiles/PicFilesStartup.h"
#include "geometry/VellCustomPens.h"
#include "imaging/VellGDIPOBJ.h"

#include <QFile>

#include <cstdio>

VELL_IMPLEMENT_CLASS(TAppInfo, TXMLPersistent, TProp::Field("APaperSize", &TAppInfo::APaperSize),
                     TProp::Field("AutoCheckFit", &TAppInfo::AutoCheckFit),
                     TProp::Field("BPaperSize", &TAppInfo::BPaperSize),
                     TProp::Field("SizeMode", &TAppInfo::SizeMode),
                     TProp::Field("SourcePath", &TAppInfo::SourcePath),
                     TProp::Field("TargetPath", &TAppInfo::TargetPath))

namespace {

void ReportToStderr(const TReason &problem) {
  std::fprintf(stderr, "%s\n", problem.English().toLocal8Bit().constData());
}

TSettingsReporter &Reporter() {
  static TSettingsReporter reporter = ReportToStderr;
  return reporter;
}

} // namespace

void SetSettingsReporter(TSettingsReporter reporter) {
  Reporter() = reporter ? std::move(reporter) : TSettingsReporter(ReportToStderr);
}

QString DefaultSettingsFile() {
  return SettingsFolder() + QStringLiteral("AppInfo.dat");
}

TAppInfo::TAppInfo() = default;

TAppInfo::TAppInfo(const QString &fileName) : FFileName(fileName) {
  try {
    LoadFromFile(FFileName);
  } catch (const EVellError &error) {
    Recover(error.Message());
  }
}

// Back to the defaults, with the unreadable file moved aside so that the save
// at shut-down does not destroy what the user may want to look at.
void TAppInfo::Recover(const QString &reason) {
  const TAppInfo defaults;
  Assign(&defaults);
  const QString badFile = FFileName + QStringLiteral(".bad");
  QFile::remove(badFile);
  const bool kept = QFile::rename(FFileName, badFile);
  FLoadProblem = TReason(kept ? TReasonKind::SettingsUnreadable : TReasonKind::SettingsUnreadableNotKept,
                         {FFileName, reason, badFile});
}

TAppInfo::~TAppInfo() {
  if (FFileName.isEmpty())
    return;
  try {
    Save();
  } catch (const std::exception &error) {
    Reporter()(TReason(TReasonKind::SettingsNotSaved, {QString::fromUtf8(error.what()), FFileName}));
  }
}

void TAppInfo::Save() const {
  SaveToFile(FFileName);
}

std::unique_ptr<TXMLPersistent> TAppInfo::Clone() const {
  return CloneByAssign(*this);
}

TAppInfo *AppInfo = nullptr;

void AppStartup(const QString &settingsFile) {
  VELL_ASSERT_MSG(!AppInfo, QStringLiteral("The program is already started"));
  AppInfo = new TAppInfo(settingsFile);
  VellGdiplusStartup();
  RegisterLineCapClasses();
  RegisterLineDashStyleClasses();
  PicFilesStartup();
  VellComInitialize();
}

void AppShutdown() {
  VellComUninitialize();
  PicFilesShutdown();
  FreeLineCapAndDashStyleClasses();
  VellGdiplusShutdown();
  delete AppInfo;
  AppInfo = nullptr;
}
