#include "app/AppInfo.h"

#include "Common/VellUtils.h"
#include "imaging/VellGDIPOBJ.h"

VELL_IMPLEMENT_CLASS(TAppInfo, TObject, TProp::Field("APaperSize", &TAppInfo::APaperSize),
                     TProp::Field("AutoCheckFit", &TAppInfo::AutoCheckFit),
                     TProp::Field("BPaperSize", &TAppInfo::BPaperSize),
                     TProp::Field("SizeMode", &TAppInfo::SizeMode),
                     TProp::Field("SourcePath", &TAppInfo::SourcePath),
                     TProp::Field("TargetPath", &TAppInfo::TargetPath))

TAppInfo::TAppInfo() : FFileName(TVellWin::GetModulePath() + QStringLiteral("AppInfo.dat")) {}

TAppInfo *AppInfo = nullptr;

void AppStartup() {
  VELL_ASSERT_MSG(!AppInfo, QStringLiteral("The program is already started"));
  AppInfo = new TAppInfo();
  VellGdiplusStartup();
  VellComInitialize();
}

void AppShutdown() {
  VellComUninitialize();
  VellGdiplusShutdown();
  delete AppInfo;
  AppInfo = nullptr;
}
