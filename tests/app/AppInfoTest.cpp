#include "app/AppInfo.h"
#include "app/PTClasses.h"

#include "Common/VellUtils.h"
#include "geometry/VellCustomPens.h"
#include "tests/support/TestFiles.h"

#include <gtest/gtest.h>

namespace {

QStringList PropNames(const TObject &object) {
  QStringList names;
  for (const TPropInfo *prop : object.PropList())
    names << prop->Name;
  return names;
}

TEST(AppInfo, DefaultsAreTheASeriesWithAutomaticSizeAndNoFolders) {
  const TAppInfo info;
  EXPECT_EQ(info.SizeMode, smeAStyle);
  EXPECT_TRUE(info.AutoCheckFit);
  EXPECT_EQ(info.APaperSize, pseA4);
  EXPECT_EQ(info.BPaperSize, pseB4);
  EXPECT_TRUE(info.SourcePath.isEmpty());
  EXPECT_TRUE(info.TargetPath.isEmpty());
  EXPECT_TRUE(info.FileName().isEmpty());
}

TEST(AppInfo, DeclaresItsSixSettingsWithTheirEnumerations) {
  const TAppInfo info;
  EXPECT_EQ(PropNames(info), QStringList({"APaperSize", "AutoCheckFit", "BPaperSize", "SizeMode",
                                          "SourcePath", "TargetPath"}));
  const TPropInfo *mode = info.ClassType().FindProperty(QStringLiteral("SizeMode"));
  ASSERT_NE(mode, nullptr);
  ASSERT_EQ(mode->Kind, tkEnumeration);
  EXPECT_EQ(mode->EnumType->ValueNames, QStringList({"smeAStyle", "smeBStyle", "smeCustom"}));
  EXPECT_EQ(info.ClassType().FindProperty(QStringLiteral("BPaperSize"))->EnumType->NameOf(5), "pseB5");
  EXPECT_EQ(info.ClassType().FindProperty(QStringLiteral("APaperSize"))->GetOrdValue(info), 4);
}

TEST(AppInfo, StartupCreatesTheOneSettingsObjectAndShutdownDestroysIt) {
  const TTestDir dir;
  ASSERT_EQ(AppInfo, nullptr);
  AppStartup(dir.Path() + QStringLiteral("AppInfo.dat"));
  ASSERT_NE(AppInfo, nullptr);
  EXPECT_TRUE(VellComInitialized());
  EXPECT_EQ(LineCapClasses().Count(), 54);
  EXPECT_EQ(LineDashStyleClasses().Count(), 23);
  EXPECT_THROW(AppStartup(), EAssertionFailed);
  AppShutdown();
  EXPECT_EQ(AppInfo, nullptr);
  EXPECT_FALSE(VellComInitialized());
  EXPECT_FALSE(TLineCapClassMgr::Exists());
  EXPECT_FALSE(TLineDashStyleClassMgr::Exists());
}

TEST(BatchItemList, OwnsItsItemsInAppendOrder) {
  TBatchItemList list;
  for (const char *name : {"b.tif", "a.tif", "c.tif"}) {
    auto item = std::make_unique<TBatchItem>();
    item->FileName = QString::fromLatin1(name);
    list.Add(std::move(item));
  }
  ASSERT_EQ(list.Count(), 3);
  EXPECT_EQ(list.Items(0).FileName, "b.tif");
  EXPECT_EQ(list.Items(2).FileName, "c.tif");
  EXPECT_THROW(list.Items(3), EListError);
  EXPECT_THROW(list.Items(-1), EListError);
  list.Clear();
  EXPECT_EQ(list.Count(), 0);
}

TEST(BatchItemList, ItemPropertiesAreVisitedByName) {
  const TBatchItem item;
  EXPECT_EQ(PropNames(item),
            QStringList({"FileName", "FilePath", "FileSize", "Height", "ModifyTime", "Width"}));
  EXPECT_EQ(item.ClassType().FindProperty(QStringLiteral("ModifyTime"))->Kind, tkFloat);
  EXPECT_EQ(item.ClassType().FindProperty(QStringLiteral("FileSize"))->Kind, tkInteger);
}

} // namespace
