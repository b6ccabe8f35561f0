#include "app/BatchCommand.h"

#include "ScanFixture.h"
#include "tests/support/TestFiles.h"

#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

namespace {

TParsedCommandLine Parse(const QStringList &arguments) {
  return ParseBatchCommandLine(arguments, 3);
}

TEST(BatchCommandLine, DefaultsAndEveryOption) {
  const TParsedCommandLine plain = Parse({"--source", "in", "--target=out"});
  ASSERT_TRUE(plain.Error.isEmpty()) << plain.Error.toStdString();
  EXPECT_EQ(plain.Line.Source, "in");
  EXPECT_EQ(plain.Line.Target, "out");
  EXPECT_EQ(plain.Line.Series, smeAStyle);
  EXPECT_TRUE(plain.Line.AutoSize);
  EXPECT_EQ(plain.Line.Jobs, 3);
  EXPECT_FALSE(plain.Line.DryRun);
  EXPECT_TRUE(plain.Line.ReportFile.isEmpty());

  const TParsedCommandLine full =
      Parse({"--source", "in", "--target", "out", "--series", "b", "--size", "B2", "--jobs", "4", "--dry-run",
             "--report", "r.json", "--update", "--shard", "1/3", "--memory-limit", "3G", "--files-from", "-"});
  ASSERT_TRUE(full.Error.isEmpty()) << full.Error.toStdString();
  EXPECT_EQ(full.Line.Series, smeBStyle);
  EXPECT_FALSE(full.Line.AutoSize);
  EXPECT_EQ(full.Line.SizeIndex, 2);
  EXPECT_EQ(full.Line.Jobs, 4);
  EXPECT_TRUE(full.Line.DryRun);
  EXPECT_EQ(full.Line.ReportFile, "r.json");
  EXPECT_TRUE(full.Line.Update);
  EXPECT_EQ(full.Line.Shard.Index, 1);
  EXPECT_EQ(full.Line.Shard.Count, 3);
  EXPECT_EQ(full.Line.FilesFrom, "-");
  EXPECT_EQ(full.Line.MemoryLimit, 3LL << 30);

  const TParsedCommandLine fixedA = Parse({"--source=in", "--target=out", "--size=a5", "--size", "A3"});
  ASSERT_TRUE(fixedA.Error.isEmpty());
  EXPECT_EQ(fixedA.Line.SizeIndex, 3);
  EXPECT_TRUE(Parse({"--help"}).Line.Help);
}

TEST(BatchCommandLine, WrongArgumentsSayWhy) {
  const struct {
    QStringList arguments;
    const char *message;
  } cases[] = {
      {{"--target", "out"}, "--source is missing"},
      {{"--source", "in"}, "--target is missing"},
      {{"--source", "in", "--target", "out", "--size", "B4"}, "--size B4 is not a size of the A series"},
      {{"--source", "in", "--target", "out", "--series", "B", "--size", "A4"},
       "--size A4 is not a size of the B series"},
      {{"--source", "in", "--target", "out", "--size", "A6"},
       "--size takes A0 to A5, B0 to B5 or auto, not \"A6\""},
      {{"--source", "in", "--target", "out", "--series", "C"}, "--series takes A or B, not \"C\""},
      {{"--source", "in", "--target", "out", "--jobs", "0"}, "--jobs takes a whole number from 1 to 256, not \"0\""},
      {{"--source", "in", "--target", "out", "--jobs", "1000000000"},
       "--jobs takes a whole number from 1 to 256, not \"1000000000\""},
      {{"--source", "in", "--target", "out", "--jobs", "x"}, "--jobs takes a whole number from 1 to 256, not \"x\""},
      {{"--source", "in", "--target"}, "Missing value after '--target'."},
      {{"--source", "in", "--target", "out", "--colour", "red"}, "Unknown option 'colour'."},
      {{"--source", "in", "--target", "out", "--memory-limit", "lots"},
       "--memory-limit takes a number of bytes, with K, M or G if wanted, not \"lots\""},
      {{"--source", "in", "--target", "out", "--shard", "2/2"}, "--shard takes K/N with 0 <= K < N, not \"2/2\""},
      {{"in", "out"}, "unexpected argument \"in\""},
  };
  for (const auto &c : cases)
    EXPECT_EQ(Parse(c.arguments).Error, QString::fromUtf8(c.message)) << c.arguments.join(' ').toStdString();
}

} // namespace

namespace {

struct TCommandRun {
  int Status = -1;
  QString Out;
  QString Err;
};

// Every file below root with its bytes, by relative path.
QMap<QString, QByteArray> TreeContents(const QString &root) {
  QMap<QString, QByteArray> files;
  QDirIterator it(root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
  while (it.hasNext()) {
    const QString path = it.next();
    files.insert(QDir(root).relativeFilePath(path), ReadWholeFile(path));
  }
  return files;
}

TCommandRun RunCommand(const QStringList &arguments) {
  TCommandRun run;
  QTextStream out(&run.Out);
  QTextStream err(&run.Err);
  TBatchConsole console{out, err, false, nullptr, {}};
  run.Status = RunBatchCommand(arguments, 2, console);
  return run;
}

class BatchCommandTest : public ::testing::Test {
protected:
  void SetUp() override {
    WriteSolidScan(FDir.File("in/a4.tif"), TScanKind::Rgb, 413, 585, 50);
    WriteSolidScan(FDir.File("in/sub/small.tif"), TScanKind::Grey, 400, 550, 50);
  }
  QString In() const { return FDir.Path() + "in"; }
  QString Out() const { return FDir.Path() + "out"; }
  TTestDir FDir;
};

TEST_F(BatchCommandTest, ReportsEveryItemWithPathsAsGiven) {
  FDir.Write("in/sub/broken.tif", "II*\\0");
  const QString report = FDir.Path() + "report.json";
  const TCommandRun run =
      RunCommand({"--source", In(), "--target", Out(), "--report", report, "--jobs", "2"});
  EXPECT_EQ(run.Status, becItemsFailed);
  EXPECT_TRUE(run.Out.contains("3 of 3 items: 1 unchanged, 1 paged, 0 skipped, 1 failed."))
      << run.Out.toStdString();
  EXPECT_TRUE(run.Out.contains("failed: " + In() + "/sub/broken.tif: Cannot read the image: "))
      << run.Out.toStdString();
  EXPECT_EQ(run.Err.count('\n'), 3) << run.Err.toStdString();

  const QJsonArray entries = QJsonDocument::fromJson(ReadWholeFile(report)).array();
  ASSERT_EQ(entries.size(), 3);
  const QJsonObject a4 = entries[0].toObject();
  EXPECT_EQ(a4["source"].toString(), In() + "/a4.tif");
  EXPECT_EQ(a4["target"].toString(), Out() + "/a4.tif");
  EXPECT_EQ(a4["action"].toString(), "unchanged");
  EXPECT_EQ(a4["page"].toString(), "A4");
  EXPECT_EQ(a4["page_px"].toArray(), QJsonArray({413, 585}));
  EXPECT_EQ(a4["draw"].toArray(), QJsonArray({0, 0, 413, 585}));
  EXPECT_EQ(a4["dpi"].toDouble(), 50);
  EXPECT_EQ(a4["pages"].toInt(), 1);
  EXPECT_FALSE(a4.contains("page_list"));
  EXPECT_TRUE(a4["error"].isNull());
  const QJsonObject broken = entries[1].toObject();
  EXPECT_EQ(broken["action"].toString(), "failed");
  for (const char *key : {"page", "page_px", "draw", "dpi"})
    EXPECT_TRUE(broken[key].isNull()) << key;
  EXPECT_TRUE(broken["error"].toString().startsWith("Cannot read the image: "));
  const QJsonObject small = entries[2].toObject();
  EXPECT_EQ(small["action"].toString(), "paged");
  EXPECT_EQ(small["draw"].toArray(), QJsonArray({0, 8, 413, 568}));
  EXPECT_TRUE(QFileInfo::exists(Out() + "/sub/small.tif"));
}

TEST_F(BatchCommandTest, ExitStatusTellsSuccessFromRefusal) {
  const TCommandRun good = RunCommand({"--source", In(), "--target", Out(), "--series", "B"});
  EXPECT_EQ(good.Status, becSuccess) << good.Out.toStdString();
  EXPECT_TRUE(good.Out.contains("2 of 2 items: 0 unchanged, 2 paged, 0 skipped, 0 failed."));
  EXPECT_TRUE(good.Out.contains("Output: " + Out() + "/"));
  QDir().mkpath(FDir.Path() + "empty");
  const TCommandRun empty = RunCommand({"--source", FDir.Path() + "empty", "--target", FDir.Path() + "never"});
  EXPECT_EQ(empty.Status, becSuccess);
  EXPECT_FALSE(empty.Out.contains("Output:")) << "no output folder was made";

  const struct {
    QStringList arguments;
    const char *message;
  } refusals[] = {
      {{"--source", In(), "--target", In() + "/out"}, "inside the source folder"},
      {{"--source", In() + "/none", "--target", Out()}, "does not exist"},
      {{"--source", In(), "--target", Out(), "--size", "B1"}, "--help lists the options"},
      {{"--source", Out() + "/in", "--target", Out()}, "source folder lies inside the output folder"},
      {{"--source", In(), "--target", In() + "/a4.tif"}, "is a file"},
  };
  QDir().mkpath(Out() + "/in");
  for (const auto &c : refusals) {
    const TCommandRun run = RunCommand(c.arguments);
    EXPECT_EQ(run.Status, becRefused) << c.message;
    EXPECT_TRUE(run.Err.contains(c.message)) << run.Err.toStdString();
  }
  EXPECT_FALSE(QFileInfo::exists(In() + "/out"));
}

// A report never replaces a scan, an output, the settings file or a file
// that is no report, and never adds a file to the scans or the output.
TEST_F(BatchCommandTest, TheReportGoesOnlyWhereItHarmsNothing) {
  const QString settings = FDir.Write("AppInfo.dat", "<TAppInfo SizeMode=\"0\"/>");
  const QString notes = FDir.Write("notes.txt", "my notes");
  const QString previous = FDir.Write("previous.json", "[]");
  QDir().mkpath(Out());
  const QByteArray scan = ReadWholeFile(In() + "/a4.tif");
  const struct {
    QString report;
    const char *message;
  } refusals[] = {
      {In() + "/a4.tif", "would lie inside the source folder"},
      {In() + "/new.json", "would lie inside the source folder"},
      {Out() + "/a4.tif", "would lie inside the output folder"},
      {FDir.Path() + "./AppInfo.dat", "would replace the settings file"},
      {notes, "is no report (a JSON array); it is left alone"},
      {FDir.Path() + "missing/report.json", "its folder"},
  };
  for (const auto &c : refusals) {
    const TCommandRun run =
        RunCommand({"--source", In(), "--target", Out(), "--settings", settings, "--report", c.report});
    EXPECT_EQ(run.Status, becRefused) << c.report.toStdString();
    EXPECT_TRUE(run.Err.contains(c.message)) << run.Err.toStdString();
  }
  EXPECT_EQ(ReadWholeFile(In() + "/a4.tif"), scan);
  EXPECT_FALSE(QFileInfo::exists(In() + "/new.json"));
  EXPECT_EQ(ReadWholeFile(settings), "<TAppInfo SizeMode=\"0\"/>");
  EXPECT_EQ(ReadWholeFile(notes), "my notes");
  EXPECT_TRUE(QDir(Out()).isEmpty());

  const TCommandRun again = RunCommand({"--source", In(), "--target", Out(), "--report", previous});
  EXPECT_EQ(again.Status, becSuccess) << again.Err.toStdString();
  EXPECT_EQ(QJsonDocument::fromJson(ReadWholeFile(previous)).array().size(), 2);
}

TEST_F(BatchCommandTest, AnOutputFolderThatCannotBeWrittenFailsEveryItem) {
  const TCommandRun run = RunCommand({"--source", In(), "--target", "/proc/pagetailor-out"});
  EXPECT_EQ(run.Status, becItemsFailed);
  EXPECT_TRUE(run.Out.contains("2 of 2 items: 0 unchanged, 0 paged, 0 skipped, 2 failed."))
      << run.Out.toStdString();
  EXPECT_TRUE(
      run.Out.contains("failed: " + In() + "/a4.tif: Unable to create directory /proc/pagetailor-out/"))
      << run.Out.toStdString();
}

TEST_F(BatchCommandTest, DryRunPrintsThePlanAndWritesNothing) {
  const TCommandRun run = RunCommand({"--source", In() + "/", "--target", Out(), "--dry-run"});
  EXPECT_EQ(run.Status, becSuccess);
  EXPECT_TRUE(
      run.Out.contains(In() + "/a4.tif: 210 x 297 mm (A4), no page needed, written unchanged at 50 dpi"))
      << run.Out.toStdString();
  EXPECT_TRUE(run.Out.contains(In() +
                               "/sub/small.tif: 203 x 279 mm (?), needs a page: A4 413 x 585 px at 50 dpi, "
                               "image at 0,8 size 413 x 568"))
      << run.Out.toStdString();
  EXPECT_FALSE(QFileInfo::exists(Out()));
}

// An update leaves every target that is newer than its scan, and converts a
// scan changed since the last run.
TEST_F(BatchCommandTest, UpdateConvertsOnlyWhatChanged) {
  ASSERT_EQ(RunCommand({"--source", In(), "--target", Out()}).Status, becSuccess);
  const TCommandRun nothing = RunCommand({"--source", In(), "--target", Out(), "--update"});
  EXPECT_EQ(nothing.Status, becSuccess);
  EXPECT_TRUE(nothing.Out.contains("2 of 2 items: 0 unchanged, 0 paged, 2 current, 0 skipped, 0 failed."))
      << nothing.Out.toStdString();

  const QString touched = In() + "/sub/small.tif";
  QFile file(touched);
  ASSERT_TRUE(file.open(QIODevice::ReadWrite));
  ASSERT_TRUE(file.setFileTime(QDateTime::currentDateTime().addSecs(60), QFileDevice::FileModificationTime));
  file.close();
  const TCommandRun one = RunCommand({"--source", In(), "--target", Out(), "--update"});
  EXPECT_TRUE(one.Out.contains("2 of 2 items: 0 unchanged, 1 paged, 1 current, 0 skipped, 0 failed."))
      << one.Out.toStdString();
}

// Shards write together what one run writes, and their reports, joined in
// shard order, are its report.
TEST_F(BatchCommandTest, ShardsTogetherAreOneRun) {
  for (int i = 0; i < 5; ++i)
    WriteSolidScan(FDir.File(QStringLiteral("in/more/s%1.tif").arg(i)), TScanKind::Grey, 300 + i, 420, 50);
  const QString whole = FDir.Path() + "whole";
  ASSERT_EQ(RunCommand({"--source", In(), "--target", whole, "--report", FDir.Path() + "whole.json"}).Status,
            becSuccess);
  QJsonArray joined;
  for (int k = 0; k < 3; ++k) {
    const QString report = FDir.Path() + QStringLiteral("shard%1.json").arg(k);
    const TCommandRun shard = RunCommand(
        {"--source", In(), "--target", Out(), "--shard", QStringLiteral("%1/3").arg(k), "--report", report});
    ASSERT_EQ(shard.Status, becSuccess) << shard.Err.toStdString();
    for (const QJsonValue &entry : QJsonDocument::fromJson(ReadWholeFile(report)).array())
      joined.append(entry);
  }
  EXPECT_TRUE(TreeContents(Out()) == TreeContents(whole));
  EXPECT_EQ(QJsonDocument(joined).toJson().replace(Out().toUtf8(), whole.toUtf8()),
            QJsonDocument::fromJson(ReadWholeFile(FDir.Path() + "whole.json")).toJson());
}

TEST_F(BatchCommandTest, FilesFromNamesTheScansToConvert) {
  const QString list = FDir.Write("list.txt", "sub/small.tif\n\nmissing.tif\r\n");
  const TCommandRun run = RunCommand({"--source", In(), "--target", Out(), "--files-from", list});
  EXPECT_EQ(run.Status, becSuccess) << run.Err.toStdString();
  EXPECT_TRUE(run.Out.contains("2 of 2 items: 0 unchanged, 1 paged, 1 skipped, 0 failed.")) << run.Out.toStdString();
  EXPECT_EQ(TreeContents(Out()).keys(), QStringList({"sub/small.tif"}));

  for (const char *line : {"../in/a4.tif", "/etc/passwd", "sub/"}) {
    const QString bad = FDir.Write("bad.txt", QByteArray("a4.tif\n") + line);
    const TCommandRun refused = RunCommand({"--source", In(), "--target", FDir.Path() + "none", "--files-from", bad});
    EXPECT_EQ(refused.Status, becRefused) << line;
    EXPECT_TRUE(refused.Err.contains("line 2:")) << refused.Err.toStdString();
    EXPECT_FALSE(QFileInfo::exists(FDir.Path() + "none")) << line;
  }
}

} // namespace
