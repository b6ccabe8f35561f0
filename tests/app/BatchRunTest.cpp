#include "app/BatchRun.h"

#include "tests/support/TestFiles.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

namespace {

TEST(BatchRun, RebasePathReplacesEveryOccurrenceOnce) {
  const struct {
    const char *path, *oldRoot, *newRoot, *expected;
  } cases[] = {
      {"/in/sub/", "/in/", "/out/", "/out/sub/"},
      {"/in/x/in/", "/in/", "/out/", "/out/x/out/"},
      {"/In/sub/", "/in/", "/out/", "/In/sub/"},
      {"aaa", "aa", "b", "ba"},
      {"abab", "ab", "abab", "abababab"},
      {"/in/", "", "/out/", "/in/"},
      {"/in/", "/in/", "", ""},
      {"/elsewhere/", "/in/", "/out/", "/elsewhere/"},
  };
  for (const auto &c : cases)
    EXPECT_EQ(RebasePath(c.path, c.oldRoot, c.newRoot), QString::fromLatin1(c.expected)) << c.path;
}

TEST(BatchRun, RefusesOutputFoldersThatWouldMixWithTheSources) {
  TTestDir dir;
  QDir(dir.Path()).mkpath("src/sub");
  QDir(dir.Path()).mkpath("elsewhere");
  ASSERT_TRUE(QFile::link(dir.Path() + "src/sub", dir.Path() + "elsewhere/link"));
  const QString src = dir.Path() + "src/";
  const struct {
    QString source, target;
    const char *refusal; // empty: the run may start
  } cases[] = {
      {src, "", "No output folder is set."},
      {"", dir.Path() + "out/", "No source folder is set."},
      {src, src, "The output folder is the source folder: the output would replace the scans."},
      {src, dir.Path() + "src",
       "The output folder is the source folder: the output would replace the scans."},
      {src, dir.Path() + "elsewhere/../src/./",
       "The output folder is the source folder: the output would replace the scans."},
      {src, src + "out/new/",
       "The output folder lies inside the source folder: the output would mix with the scans."},
      {src, src + "sub/",
       "The output folder lies inside the source folder: the output would mix with the scans."},
      {src, dir.Path() + "elsewhere/link/out/",
       "The output folder lies inside the source folder: the output would mix with the scans."},
      {src, dir.Path() + "src-out/", ""},
      {src, dir.Path(), ""},
      {src + "sub/", src, ""},
  };
  for (const auto &c : cases) {
    const TBatchSettings settings{c.source, c.target, {}};
    EXPECT_EQ(RunRefusal(settings), QString::fromLatin1(c.refusal)) << c.target.toStdString();
  }
}

} // namespace
