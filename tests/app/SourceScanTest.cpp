#include "app/SourceScan.h"

#include "tests/support/TestFiles.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

namespace {

QStringList Listed(const TBatchItemList &list, const QString &root) {
  QStringList names;
  for (int i = 0; i < list.Count(); ++i)
    names << list.Items(i).FilePath.mid(root.size()) + list.Items(i).FileName;
  return names;
}

QStringList Scan(const QString &root) {
  TBatchItemList list;
  ScanFolder(list, root);
  return Listed(list, root);
}

TEST(SourceScan, MatchesMaskListIsASubstringTestIgnoringCase) {
  const struct {
    const char *extension;
    bool passes;
  } cases[] = {{".tif", true},   {".TIF", true},  {".Tiff", true},   {".", true},
               {".t", true},     {".ti", true},   {".tiff;", true},  {"", false},
               {".tifx", false}, {".jpg", false}, {".tiff;*", true}, {".tif.", false}};
  for (const auto &c : cases)
    EXPECT_EQ(MatchesMaskList(ExtensionMaskList, QString::fromLatin1(c.extension)), c.passes) << c.extension;
  EXPECT_EQ(ExtensionMaskList, "*.tiff;*.tif");
}

TEST(SourceScan, ListsFilesByTheirLastExtension) {
  TTestDir dir;
  for (const char *name : {"a.TIF", "b.tiff", "c.tifx", "d.ti", "e", "f.jpg", "g.", "h.jpg.tif", "i.tif.jpg"})
    dir.Write(QString::fromLatin1(name), "x");
  EXPECT_EQ(Scan(dir.Path()), QStringList({"a.TIF", "b.tiff", "d.ti", "g.", "h.jpg.tif"}));
}

TEST(SourceScan, LeavesOutHiddenFilesAndFolders) {
  TTestDir dir;
  dir.Write(".hidden.tif", "x");
  dir.Write(".secret/a.tif", "x");
  dir.Write("shown/.b.tif", "x");
  dir.Write("shown/c.tif", "x");
  EXPECT_EQ(Scan(dir.Path()), QStringList({"shown/c.tif"}));
}

TEST(SourceScan, InsertsEachSubtreeWhereItsFolderIsMet) {
  TTestDir dir;
  for (const char *name : {"y.tif", "a.tif", "x/z.tif", "x/deeper/q.tif", "x/b.tif", "B/k.tif", "c.TIF"})
    dir.Write(QString::fromLatin1(name), "x");
  EXPECT_EQ(Scan(dir.Path()),
            QStringList({"a.tif", "B/k.tif", "c.TIF", "x/b.tif", "x/deeper/q.tif", "x/z.tif", "y.tif"}));
}

TEST(SourceScan, FillsNameFolderSizeAndTime) {
  TTestDir dir;
  const QString file = dir.Write("sub/page.tif", QByteArray(1234, 'x'));
  const QDateTime written(QDate(2024, 3, 5), QTime(14, 7, 9));
  {
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    ASSERT_TRUE(f.setFileTime(written, QFileDevice::FileModificationTime));
  }
  TBatchItemList list;
  ScanFolder(list, dir.Path());
  ASSERT_EQ(list.Count(), 1);
  const TBatchItem &item = list.Items(0);
  EXPECT_EQ(item.FileName, "page.tif");
  EXPECT_EQ(item.FilePath, dir.Path() + "sub/");
  EXPECT_EQ(item.FileSize, 1234);
  EXPECT_EQ(item.Width, 0);
  EXPECT_EQ(item.Height, 0);
  // 2024-03-05 is day 45356; 14:07:08 after truncation to an even second.
  EXPECT_DOUBLE_EQ(item.ModifyTime, 45356 + (14 * 3600 + 7 * 60 + 8) / 86400.0);
}

TEST(SourceScan, PackedTimeKeepsTheSecondsEven) {
  const struct {
    QDateTime time;
    double expected;
  } cases[] = {
      {QDateTime(QDate(1899, 12, 30), QTime(0, 0, 1)), 0},
      {QDateTime(QDate(1899, 12, 31), QTime(12, 0, 0)), 1.5},
      {QDateTime(QDate(2000, 1, 1), QTime(23, 59, 59)), 36526 + 86398 / 86400.0},
  };
  for (const auto &c : cases)
    EXPECT_DOUBLE_EQ(ToPackedDateTime(c.time), c.expected) << c.time.toString().toStdString();
}

TEST(SourceScan, AppendsWithoutClearingAndIgnoresMissingOrEmptyFolders) {
  TTestDir dir;
  QDir(dir.Path()).mkpath("empty/inner");
  TBatchItemList list;
  ScanFolder(list, dir.Path());
  EXPECT_EQ(list.Count(), 0);
  dir.Write("a.tif", "x");
  ScanFolder(list, dir.Path() + "missing/");
  ScanFolder(list, dir.Path());
  ScanFolder(list, dir.Path());
  EXPECT_EQ(list.Count(), 2);
}

TEST(SourceScan, FollowsFolderLinksOncePerRealFolder) {
  TTestDir dir, outside;
  dir.Write("tree/a.tif", "x");
  dir.Write("tree/sub/b.tif", "x");
  outside.Write("o.tif", "x");
  const QString tree = dir.Path() + "tree/";
  ASSERT_TRUE(QFile::link(tree, tree + "sub/back"));        // cycle to the root
  ASSERT_TRUE(QFile::link(tree + "sub", tree + "again"));   // the same folder a second way
  ASSERT_TRUE(QFile::link(outside.Path(), tree + "link1")); // a folder outside the tree
  ASSERT_TRUE(QFile::link(outside.Path(), tree + "link2"));
  ASSERT_TRUE(QFile::link(tree + "gone", tree + "broken.tif")); // dangling file link
  ASSERT_TRUE(QFile::link(tree + "a.tif", tree + "z.tif"));     // a file link is an ordinary entry
  EXPECT_EQ(Scan(tree), QStringList({"a.tif", "again/b.tif", "link1/o.tif", "z.tif"}));
}

// Links into the output folder, or up to a folder that holds the tree, would
// list the output or the tree's surroundings: they are not followed.
TEST(SourceScan, NeverFollowsLinksIntoTheOutputOrAboveTheTree) {
  TTestDir dir;
  dir.Write("tree/a.tif", "x");
  dir.Write("out/converted.tif", "x");
  dir.Write("beside.tif", "x");
  const QString tree = dir.Path() + "tree/";
  ASSERT_TRUE(QFile::link(dir.Path() + "out", tree + "to-out"));
  ASSERT_TRUE(QFile::link(dir.Path() + "out/", tree + "to-out-slash"));
  ASSERT_TRUE(QFile::link(dir.Path(), tree + "up"));
  ASSERT_TRUE(QFile::link("/", tree + "root"));
  TBatchItemList list;
  ScanFolder(list, tree, dir.Path() + "out/");
  EXPECT_EQ(Listed(list, tree), QStringList({"a.tif"}));
}

} // namespace
