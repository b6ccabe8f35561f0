// The settings file, the settings folder and the batch as XML.
#include "app/AppInfo.h"
#include "app/BatchCommand.h"
#include "app/PTClasses.h"
#include "app/SettingsFolder.h"

#include "Common/VellUtils.h"
#include "tests/support/TestFiles.h"

#include <QDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

const QByteArray DefaultFile =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n"
    "<TAppInfo APaperSize=\"4\" AutoCheckFit=\"1\" BPaperSize=\"4\" SizeMode=\"0\" "
    "SourcePath=\"\" TargetPath=\"\"/>\r\n";

bool HasDefaults(const TAppInfo &info) {
  return info.APaperSize == pseA4 && info.AutoCheckFit && info.BPaperSize == pseB4 &&
         info.SizeMode == smeAStyle && info.SourcePath.isEmpty() && info.TargetPath.isEmpty();
}

// Collects what the settings reporter is told while it lives.
class TReportCollector {
public:
  TReportCollector() {
    SetSettingsReporter([this](const TReason &problem) { Messages << problem.English(); });
  }
  ~TReportCollector() { SetSettingsReporter({}); }
  QStringList Messages;
};

TEST(SettingsFile, FirstStartUsesTheDefaultsAndWritesThemAtExit) {
  const TTestDir dir;
  const QString file = dir.Path() + QStringLiteral("AppInfo.dat");
  {
    const TAppInfo info(file);
    EXPECT_TRUE(HasDefaults(info));
    EXPECT_TRUE(info.LoadProblem().IsNone());
    EXPECT_FALSE(QFile::exists(file));
  }
  EXPECT_EQ(ReadWholeFile(file), DefaultFile);
  // Changing nothing still rewrites the file.
  QFile::remove(file);
  { const TAppInfo unchanged(file); }
  EXPECT_EQ(ReadWholeFile(file), DefaultFile);
}

TEST(SettingsFile, ValuesSurviveFromOneRunToTheNext) {
  const TTestDir dir;
  const QString file = dir.Path() + QStringLiteral("AppInfo.dat");
  {
    TAppInfo info(file);
    info.SizeMode = smeBStyle;
    info.BPaperSize = pseB2;
    info.AutoCheckFit = false;
    info.SourcePath = QStringLiteral("C:\\Scans & \"old\"\\");
    info.TargetPath = QStringLiteral("/home/u/out/");
  }
  EXPECT_TRUE(ReadWholeFile(file).contains("SourcePath=\"C:\\Scans &amp; &quot;old&quot;\\\""));
  const TAppInfo next(file);
  EXPECT_EQ(next.SizeMode, smeBStyle);
  EXPECT_EQ(next.BPaperSize, pseB2);
  EXPECT_FALSE(next.AutoCheckFit);
  EXPECT_EQ(next.SourcePath, QStringLiteral("C:\\Scans & \"old\"\\"));
  EXPECT_EQ(next.TargetPath, QStringLiteral("/home/u/out/"));
}

TEST(SettingsFile, MissingAttributesAndOutOfRangeOrdinalsKeepTheDefaults) {
  struct Case {
    const char *content;
    TAPaperSizeEnum a;
    TBPaperSizeEnum b;
    TSizeModeEnum mode;
  } cases[] = {
      {"<TAppInfo SizeMode=\"1\"/>", pseA4, pseB4, smeBStyle},
      {"<TAppInfo APaperSize=\"9\" BPaperSize=\"-1\" SizeMode=\"3\"/>", pseA4, pseB4, smeAStyle},
      {"<TAppInfo APaperSize=\"0\" BPaperSize=\"5\" SizeMode=\"2\" sizemode=\"1\"/>", pseA0, pseB5,
       smeCustom},
  };
  const TTestDir dir;
  for (const Case &c : cases) {
    const QString file = dir.Write(QStringLiteral("AppInfo.dat"), c.content);
    const TAppInfo info(file);
    EXPECT_EQ(info.APaperSize, c.a) << c.content;
    EXPECT_EQ(info.BPaperSize, c.b) << c.content;
    EXPECT_EQ(info.SizeMode, c.mode) << c.content;
    EXPECT_TRUE(info.AutoCheckFit) << c.content;
    EXPECT_TRUE(info.LoadProblem().IsNone()) << c.content;
  }
}

TEST(SettingsFile, UnreadableFileGivesTheDefaultsAndIsKeptAside) {
  const QByteArray contents[] = {
      "",
      "<TAppInfo SizeMode=\"1\"",
      // The error comes after APaperSize was read: that value must not stay.
      "<TAppInfo APaperSize=\"2\" SizeMode=\"x\"/>",
      "\xC3(",
  };
  for (const QByteArray &content : contents) {
    const TTestDir dir;
    const QString file = dir.Write(QStringLiteral("AppInfo.dat"), content);
    {
      const TAppInfo info(file);
      EXPECT_TRUE(HasDefaults(info)) << content.constData();
      const QString problem = info.LoadProblem().English();
      EXPECT_TRUE(
          problem.startsWith(QStringLiteral("The settings file \"%1\" could not be read: ").arg(file)))
          << problem.toStdString();
      EXPECT_TRUE(problem.endsWith(QStringLiteral("kept as \"%1.bad\".").arg(file)));
    }
    EXPECT_EQ(ReadWholeFile(file + QStringLiteral(".bad")), content);
    EXPECT_EQ(ReadWholeFile(file), DefaultFile);
  }
}

TEST(SettingsFile, FailedSaveAtExitIsReported) {
  const TTestDir dir;
  const QString blocker = dir.Write(QStringLiteral("plain"), "x");
  TReportCollector reports;
  { const TAppInfo info(blocker + QStringLiteral("/AppInfo.dat")); }
  EXPECT_EQ(reports.Messages, QStringList{"The settings could not be saved: Unable to create directory"});

  // An unbound object neither reads nor writes any file.
  { const TAppInfo snapshot; }
  EXPECT_EQ(reports.Messages.size(), 1);
}

TEST(SettingsFile, CloneIsAnUnboundCopy) {
  const TTestDir dir;
  const QString file = dir.Path() + QStringLiteral("AppInfo.dat");
  TAppInfo info(file);
  info.SizeMode = smeBStyle;
  info.SourcePath = QStringLiteral("/src/");
  const std::unique_ptr<TXMLPersistent> clone = info.Clone();
  const auto *copy = dynamic_cast<const TAppInfo *>(clone.get());
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(copy->SizeMode, smeBStyle);
  EXPECT_EQ(copy->SourcePath, QStringLiteral("/src/"));
  EXPECT_TRUE(copy->FileName().isEmpty());
}

TEST(SettingsFolder, ProgramFolderWhenWritableElseTheUserFolder) {
  const TTestDir dir;
  EXPECT_EQ(SettingsFolderFor(dir.Path(), QStringLiteral("/config/")), dir.Path());
  EXPECT_EQ(QDir(dir.Path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
            QStringList());
  // No file can be created in /proc, whoever runs the test.
  EXPECT_EQ(SettingsFolderFor(QStringLiteral("/proc/"), QStringLiteral("/config/")),
            QStringLiteral("/config/"));
  EXPECT_TRUE(UserSettingsFolder().endsWith(QStringLiteral("/pagetailor/")));
  const QString folder = SettingsFolder();
  EXPECT_TRUE(folder == TVellWin::GetModulePath() || folder == UserSettingsFolder()) << folder.toStdString();
  EXPECT_EQ(DefaultSettingsFile(), folder + QStringLiteral("AppInfo.dat"));
}

TEST(BatchXML, ListWithOneItemIsSixLinesAndLoadsBack) {
  TBatchItemList list;
  auto item = std::make_unique<TBatchItem>();
  item->FileName = QStringLiteral("a.tif");
  item->FilePath = QStringLiteral("/scans/");
  item->FileSize = 1234;
  item->Width = 640;
  item->Height = 480;
  item->ModifyTime = 45000.5;
  list.Add(std::move(item));

  TMemoryStream stream;
  list.SaveToStream(&stream);
  EXPECT_EQ(stream.Bytes(),
            QByteArray("<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n"
                       "<TBatchItemList>\r\n"
                       "    <Items>\r\n"
                       "        <TBatchItem FileName=\"a.tif\" FilePath=\"/scans/\" "
                       "FileSize=\"1234\" Height=\"480\" ModifyTime=\"45000.5\" Width=\"640\"/>\r\n"
                       "    </Items>\r\n"
                       "</TBatchItemList>\r\n"));

  stream.seek(0);
  TBatchItemList loaded;
  loaded.LoadFromStream(&stream);
  ASSERT_EQ(loaded.Count(), 1);
  EXPECT_EQ(loaded.Items(0).FileName, QStringLiteral("a.tif"));
  EXPECT_EQ(loaded.Items(0).Height, 480);
  EXPECT_EQ(loaded.Items(0).ModifyTime, 45000.5);

  TBatchItemList copy;
  copy.Assign(&loaded);
  ASSERT_EQ(copy.Count(), 1);
  EXPECT_NE(&copy.Items(0), &loaded.Items(0));
  EXPECT_EQ(copy.Items(0).FileSize, 1234);
}

TEST(BatchSettingsOption, SettingsFileFillsWhatTheCommandLineLeavesOpen) {
  const TTestDir dir;
  const QString file = dir.Write(QStringLiteral("AppInfo.dat"),
                                 "<TAppInfo SizeMode=\"1\" BPaperSize=\"3\" AutoCheckFit=\"0\"/>");
  const QStringList base{"--source", "in", "--target", "out", "--settings", file};
  const struct {
    QStringList extra;
    TSizeModeEnum series;
    bool autoSize;
    int sizeIndex;
  } cases[] = {
      {{}, smeBStyle, false, 3},
      {{"--series", "A"}, smeAStyle, false, 4},
      {{"--size", "auto"}, smeBStyle, true, 4},
      {{"--size", "B1"}, smeBStyle, false, 1},
  };
  for (const auto &c : cases) {
    const TParsedCommandLine parsed = ParseBatchCommandLine(base + c.extra, 2);
    ASSERT_EQ(parsed.Error, QString()) << c.extra.join(' ').toStdString();
    EXPECT_EQ(parsed.Line.Series, c.series) << c.extra.join(' ').toStdString();
    EXPECT_EQ(parsed.Line.AutoSize, c.autoSize) << c.extra.join(' ').toStdString();
    EXPECT_EQ(parsed.Line.SizeIndex, c.sizeIndex) << c.extra.join(' ').toStdString();
  }
  EXPECT_EQ(ParseBatchCommandLine(base + QStringList{"--size", "A2"}, 2).Error,
            QStringLiteral("--size A2 is not a size of the B series"));
  // The file is only read.
  EXPECT_EQ(ReadWholeFile(file),
            QByteArray("<TAppInfo SizeMode=\"1\" BPaperSize=\"3\" AutoCheckFit=\"0\"/>"));
}

TEST(BatchSettingsOption, OutOfRangeValuesFallBackToTheDefaultsWithAWarning) {
  const TTestDir dir;
  const QString file = dir.Write(QStringLiteral("AppInfo.dat"), "<TAppInfo SizeMode=\"7\" APaperSize=\"200\"/>");
  const TParsedCommandLine parsed = ParseBatchCommandLine({"--source", "in", "--target", "out", "--settings", file}, 2);
  ASSERT_EQ(parsed.Error, QString());
  EXPECT_EQ(parsed.Line.Series, smeAStyle);
  EXPECT_EQ(parsed.Line.SizeIndex, 4);
  const QString quoted = QStringLiteral("the settings file \"%1\"").arg(file);
  EXPECT_EQ(parsed.Warnings,
            QStringList({quoted + " gives the series SizeMode=7, neither A (0) nor B (1); the A series is used",
                         quoted + " gives the A size 200, outside 0 to 5; A4 is used"}));
  EXPECT_TRUE(ParseBatchCommandLine({"--source", "in", "--target", "out", "--settings", file, "--series", "A",
                                     "--size", "A3"},
                                    2)
                  .Warnings.isEmpty());
}

// Problems with the settings file are told in English, the command's language.
TEST(BatchSettingsOption, MissingOrUnreadableSettingsFile) {
  const TTestDir dir;
  const QString pipe = dir.Path() + QStringLiteral("pipe.dat");
  ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0644), 0);
  const struct {
    QString file;
    const char *problem;
  } cases[] = {
      {dir.Path() + QStringLiteral("none.dat"), "does not exist"},
      {dir.Write(QStringLiteral("bad.dat"), "<TAppInfo SizeMode=\"x\"/>"),
       "cannot be read: 'x' is not a valid integer value"},
      {dir.Write(QStringLiteral("cut.dat"), "<TAppInfo SizeMode=\"1\" APaperS"),
       "cannot be read: it is no complete XML document"},
      {pipe, "is not a regular file"},
  };
  for (const auto &c : cases)
    EXPECT_EQ(ParseBatchCommandLine({"--source", "in", "--target", "out", "--settings", c.file}, 2).Error,
              QStringLiteral("the settings file \"%1\" %2").arg(c.file, QString::fromUtf8(c.problem)));
}

} // namespace
