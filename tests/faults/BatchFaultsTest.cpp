// The batch command under faults: unwritable and full output, vanishing and
// broken sources, a killed run, awkward names, link loops and resolutions
// that make no sense. In every case no source changes, every item is either
// written completely or reported failed with its reason, and the run goes on.
#include "tests/faults/BatchProcess.h"
#include "tests/faults/ScanFiles.h"
#include "tests/faults/TiffPatch.h"
#include "tests/support/TestFiles.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QImage>
#include <QJsonDocument>
#include <QProcess>
#include <QThread>
#include <gtest/gtest.h>

#include <cmath>
#include <csignal>
#include <fcntl.h>
#include <memory>
#include <climits>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QSize SmallScan(400, 560); // 100 dpi: goes on an A5 page of 583 x 827
constexpr float SmallDpi = 100;

class BatchFaults : public ::testing::Test {
protected:
  QString Src() const { return FDir.Path() + "src/"; }
  QString Out() const { return FDir.Path() + "out/"; }

  void Scan(const QString &relative, QSize pixels = SmallScan, float dpi = SmallDpi,
            bool noisy = false) const {
    WriteGreyScan(FDir.File("src/" + relative), pixels, dpi, noisy);
  }

  // Runs the command over src/ into out/ and checks that no source changed
  // and that every reported item is accounted for.
  TBatchRun Run(const QStringList &extra = {}, const std::function<void()> &childSetup = {}) const {
    const QMap<QString, QByteArray> before = TreeSnapshot(Src());
    const TBatchRun run =
        RunBatch(QStringList{"--source", Src(), "--target", Out(), "--jobs", "2"} + extra, childSetup);
    EXPECT_TRUE(TreeSnapshot(Src()) == before) << "a source file changed";
    ExpectEveryItemAccountedFor(run);
    return run;
  }

  // Written items decode completely at their reported page size; failed
  // ones carry a reason and left no file of their own behind.
  void ExpectEveryItemAccountedFor(const TBatchRun &run) const {
    for (const QJsonValue &value : run.Report) {
      const QJsonObject item = value.toObject();
      const QString action = item["action"].toString(), target = item["target"].toString();
      const QJsonArray px = item["page_px"].toArray();
      if (action == "paged" || action == "unchanged") {
        EXPECT_TRUE(DecodesAs(target, QSize(px[0].toInt(), px[1].toInt()))) << target.toStdString();
        EXPECT_GT(item["dpi"].toDouble(), 0) << target.toStdString();
      } else if (action == "failed") {
        EXPECT_FALSE(item["error"].toString().isEmpty()) << target.toStdString();
        const QFileInfo written(target);
        EXPECT_FALSE(written.isFile() && !written.isSymLink()) << target.toStdString();
      } else {
        EXPECT_EQ(action, "skipped") << target.toStdString();
      }
    }
    EXPECT_TRUE(PartFiles().isEmpty())
        << "temporary files left behind: " << PartFiles().join(", ").toStdString();
  }

  QStringList PartFiles() const {
    QStringList parts;
    QDirIterator it(Out(), {"*.part"}, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
      parts << it.next();
    return parts;
  }

  TTestDir FDir;
};

TEST_F(BatchFaults, UnwritableTargetsFailTheirItemsAndTheRunGoesOn) {
  Scan("a.tif");
  Scan("blocked/b.tif");
  Scan("c.tif");
  Scan("d.tif");
  FDir.Write("out/blocked", "a file where the folder should be");
  QDir().mkpath(Out() + "c.tif/inside");
  ASSERT_TRUE(QFile::link(Src() + "d.tif", Out() + "d.tif")); // output would go through to a source

  const TBatchRun run = Run();
  EXPECT_EQ(run.ExitCode, 1) << run.Output.toStdString();
  EXPECT_EQ(run.Action("a.tif"), "paged");
  for (const char *failed : {"blocked/b.tif", "c.tif", "d.tif"}) {
    EXPECT_EQ(run.Action(failed), "failed") << failed;
    EXPECT_TRUE(run.Output.contains(Src() + failed)) << "the summary names " << failed;
  }
  EXPECT_EQ(ReadWholeFile(Out() + "blocked"), "a file where the folder should be");
  EXPECT_TRUE(QFileInfo(Out() + "c.tif/inside").isDir());
  EXPECT_TRUE(QFileInfo(Out() + "d.tif").isSymLink());
}

TEST_F(BatchFaults, AnOutputFolderBelowAFileFailsEveryItem) {
  Scan("a.tif");
  Scan("sub/b.tif");
  FDir.Write("plain", "not a folder");
  const QMap<QString, QByteArray> before = TreeSnapshot(Src());
  const TBatchRun run = RunBatch({"--source", Src(), "--target", FDir.Path() + "plain/out/"});
  EXPECT_EQ(run.ExitCode, 1) << run.Output.toStdString();
  EXPECT_EQ(run.Report.size(), 2);
  for (const QJsonValue &item : run.Report)
    EXPECT_EQ(item.toObject()["action"], "failed");
  EXPECT_TRUE(TreeSnapshot(Src()) == before);
  EXPECT_EQ(ReadWholeFile(FDir.Path() + "plain"), "not a folder");
}

// Files larger than the limit cannot be written (EFBIG), as on a full disk.
TEST_F(BatchFaults, AFullDiskFailsTheItemsThatDoNotFitAndKeepsTheRest) {
  Scan("small.tif");
  Scan("big.tif", QSize(1200, 1700), 300, true);
  Scan("tiny.tif");
  // SIGXFSZ keeps its default action, which would end the run unreported.
  const TBatchRun run = Run({}, [] {
    const rlimit limit{2 << 20, 2 << 20};
    ::setrlimit(RLIMIT_FSIZE, &limit);
  });
  EXPECT_EQ(run.ExitCode, 1) << run.Output.toStdString();
  EXPECT_TRUE(run.Output.contains("3 of 3 items: 0 unchanged, 2 paged, 0 skipped, 1 failed."))
      << run.Output.toStdString();
  EXPECT_EQ(run.Action("small.tif"), "paged");
  EXPECT_EQ(run.Action("tiny.tif"), "paged");
  EXPECT_EQ(run.Action("big.tif"), "failed");
  EXPECT_FALSE(QFileInfo::exists(Out() + "big.tif"));
}

// Output into a pipe nobody reads any more (as in "... | head -1") fails
// quietly instead of killing the run before its report.
TEST_F(BatchFaults, AClosedOutputPipeDoesNotStopTheRun) {
  Scan("a.tif");
  Scan("b.tif");
  const TBatchRun run = Run({}, [] {
    int ends[2];
    if (::pipe(ends) == 0) {
      ::close(ends[0]);
      ::dup2(ends[1], STDOUT_FILENO);
      ::dup2(ends[1], STDERR_FILENO);
    }
  });
  EXPECT_EQ(run.ExitCode, 0);
  ASSERT_EQ(run.Report.size(), 2);
  EXPECT_EQ(run.Action("b.tif"), "paged");
}

TEST_F(BatchFaults, AKilledRunLeavesOnlyCompleteFilesAndTheNextRunFinishes) {
  const int count = 12;
  for (int i = 0; i < count; ++i)
    Scan(QStringLiteral("scan%1.tif").arg(i, 2, 10, QLatin1Char('0')), QSize(800, 1130), 200);
  const QString reference = FDir.Path() + "reference/";
  ASSERT_EQ(RunBatch({"--source", Src(), "--target", reference}).ExitCode, 0);

  QProcess killed;
  killed.start(PT_BATCH_PROGRAM, {"--source", Src(), "--target", Out(), "--jobs", "1"});
  ASSERT_TRUE(killed.waitForStarted());
  // Killed while it writes the file after the first complete one.
  const auto writing = [&] {
    return !QDir(Out()).entryList({"*.tif"}, QDir::Files).isEmpty() &&
           !QDir(Out()).entryList({".*.part"}, QDir::Files | QDir::Hidden).isEmpty();
  };
  while (!writing() && killed.state() == QProcess::Running)
    QThread::msleep(1);
  killed.kill();
  killed.waitForFinished();
  const QStringList written = QDir(Out()).entryList({"*.tif"}, QDir::Files);
  EXPECT_LT(written.size(), count) << "the run ended before it was killed";
  for (const QString &name : written)
    EXPECT_EQ(ReadWholeFile(Out() + name), ReadWholeFile(reference + name)) << name.toStdString();

  const TBatchRun rerun = Run();
  EXPECT_EQ(rerun.ExitCode, 0) << rerun.Output.toStdString();
  const QMap<QString, QByteArray> output = TreeSnapshot(Out()), expected = TreeSnapshot(reference);
  EXPECT_EQ(output.keys(), expected.keys());
  EXPECT_TRUE(output == expected) << "the output differs from an uninterrupted run";
}

// An item stuck in the kernel (a sync that never returns, as on a hung
// network file system) holds the run at the first interrupt; the second ends
// it with the summary and the report of the items finished.
TEST_F(BatchFaults, ASecondInterruptEndsARunWhoseItemIsStuckInTheKernel) {
  Scan("a.tif");
  Scan("b.tif");
  const QString report = FDir.Path() + "report.json", stuck = FDir.Path() + "stuck";
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert("LD_PRELOAD", PT_STUCK_SYNC_SHIM);
  environment.insert("PT_STUCK_SYNC", "2"); // the second output's sync
  environment.insert("PT_STUCK_SYNC_MARK", stuck);
  environment.insert("ASAN_OPTIONS", environment.value("ASAN_OPTIONS") + ":verify_asan_link_order=0");
  QProcess run;
  run.setProcessEnvironment(environment);
  run.setProcessChannelMode(QProcess::MergedChannels);
  run.start(PT_BATCH_PROGRAM, {"--source", Src(), "--target", Out(), "--jobs", "1", "--report", report});
  ASSERT_TRUE(run.waitForStarted());
  while (!QFileInfo::exists(stuck) && run.state() == QProcess::Running)
    QThread::msleep(5);
  ASSERT_EQ(run.state(), QProcess::Running) << run.readAll().toStdString();

  ::kill(pid_t(run.processId()), SIGINT);
  EXPECT_FALSE(run.waitForFinished(500)) << "the first interrupt waits for the item in progress";
  ::kill(pid_t(run.processId()), SIGINT);
  ASSERT_TRUE(run.waitForFinished(10000));
  EXPECT_EQ(run.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(run.exitCode(), 1);
  const QString output = QString::fromLocal8Bit(run.readAll());
  EXPECT_TRUE(output.contains("1 of 2 items")) << output.toStdString();
  const QJsonArray entries = QJsonDocument::fromJson(ReadWholeFile(report)).array();
  ASSERT_EQ(entries.size(), 1) << output.toStdString();
  const QString finished = QFileInfo(entries[0].toObject()["source"].toString()).fileName();
  EXPECT_EQ(entries[0].toObject()["action"].toString(), "paged");
  const QStringList written = QDir(Out()).entryList({"*.tif"}, QDir::Files);
  EXPECT_EQ(written, QStringList{finished}) << "only the finished item has its output";
}

TEST_F(BatchFaults, SourcesThatAreNotImagesFailAndFoldersNamedLikeScansAreWalked) {
  Scan("good.tif");
  FDir.Write("src/empty.tif", {});
  FDir.Write("src/text.tif", "this is not an image at all");
  FDir.Write("src/half.tif", GreyScanBytes(QSize(300, 400), 100).left(400));
  Scan("folder.tif/inner.tif");
  {
    QImage png(120, 170, QImage::Format_RGB888);
    png.fill(Qt::darkCyan);
    ASSERT_TRUE(png.save(FDir.File("src/png.tif"), "PNG"));
  }
  const TBatchRun run = Run();
  EXPECT_EQ(run.ExitCode, 1);
  EXPECT_EQ(run.Report.size(), 6);
  EXPECT_EQ(run.Action("good.tif"), "paged");
  EXPECT_EQ(run.Action("png.tif"), "paged");
  EXPECT_EQ(run.Action("folder.tif/inner.tif"), "paged");
  for (const char *name : {"empty.tif", "text.tif", "half.tif"})
    EXPECT_EQ(run.Action(name), "failed") << name;
}

TEST_F(BatchFaults, AwkwardNamesKeepTheirSpellingInTheOutput) {
  const QStringList names{"with space.tif",        "中文 扫描.tif",    "é-accent.TIF", "line\nbreak.tif",
                          "-starts-with-dash.tif", "quote'\"#%&.tiff", "tab\there.tif"};
  for (const QString &name : names)
    Scan("dir with space/" + name);
  const TBatchRun run = Run();
  EXPECT_EQ(run.ExitCode, 0) << run.Output.toStdString();
  EXPECT_EQ(run.Report.size(), names.size());
  for (const QString &name : names) {
    EXPECT_EQ(run.Action("dir with space/" + name), "paged") << name.toStdString();
    EXPECT_TRUE(QFileInfo(Out() + "dir with space/" + name).isFile()) << name.toStdString();
  }
}

// The hidden temporary name is short, so a name of the longest length the
// file system takes converts too.
TEST_F(BatchFaults, ANameOfTheLongestLengthConverts) {
  const QString longest = QString(251, QLatin1Char('n')) + ".tif";
  Scan(longest);
  const TBatchRun run = Run();
  EXPECT_EQ(run.ExitCode, 0) << run.Output.toStdString();
  EXPECT_EQ(run.Action(longest), "paged");
  EXPECT_TRUE(QFileInfo(Out() + longest).isFile());
}

// Entries named like scans that are no regular file, and a file whose path
// is too long to open, are reported with their reason, never passed over
// and never waited for.
TEST_F(BatchFaults, EntriesThatCannotBeConvertedAreReportedWithTheirReason) {
  Scan("plain.tif");
  ASSERT_EQ(::mkfifo(QFile::encodeName(Src() + "pipe.tif").constData(), 0644), 0);
  ASSERT_TRUE(QFile::link("/dev/zero", Src() + "zero.tif"));
  // Folders of 200-byte names, deeper than a path can name.
  const QByteArray part(200, 'd');
  int fd = ::open(QFile::encodeName(Src()).constData(), O_RDONLY | O_DIRECTORY);
  QString deep = Src();
  for (int level = 0; level < 22 && fd >= 0; ++level) {
    ::mkdirat(fd, part.constData(), 0755);
    const int inner = ::openat(fd, part.constData(), O_RDONLY | O_DIRECTORY);
    ::close(fd);
    fd = inner;
    deep += QString::fromLatin1(part) + '/';
  }
  ASSERT_GE(fd, 0);
  const QByteArray bytes = GreyScanBytes(SmallScan, SmallDpi);
  const int file = ::openat(fd, "deep.tif", O_WRONLY | O_CREAT, 0644);
  ASSERT_EQ(::write(file, bytes.constData(), size_t(bytes.size())), bytes.size());
  ::close(file);
  ::close(fd);
  ASSERT_GT(QFile::encodeName(deep).size(), PATH_MAX);

  const TBatchRun run = RunBatch({"--source", Src(), "--target", Out()});
  QProcess::execute("rm", {"-rf", Src() + QString::fromLatin1(part)});
  EXPECT_EQ(run.ExitCode, 1) << run.Output.toStdString();
  ASSERT_EQ(run.Report.size(), 4) << run.Output.toStdString();
  EXPECT_EQ(run.Action("plain.tif"), "paged");
  const struct {
    QString name;
    const char *reason;
  } failed[] = {{"pipe.tif", "Not a regular file (a pipe)"},
                {"zero.tif", "Not a regular file (a device)"},
                {"deep.tif", "The path is too long to open"}};
  for (const auto &c : failed) {
    const QJsonObject item = run.Item(c.name);
    EXPECT_EQ(item["action"].toString(), "failed") << c.name.toStdString();
    EXPECT_EQ(item["error"].toString(), c.reason) << c.name.toStdString();
    EXPECT_TRUE(run.Output.contains(c.reason)) << "the summary gives the reason for " << c.name.toStdString();
  }
}

// A name that is no valid UTF-8 cannot be spelled in text, so nothing can
// open the file; it is reported failed, never passed over without a word.
TEST_F(BatchFaults, ANameThatIsNoValidUtf8IsReportedFailed) {
  Scan("plain.tif");
  const QByteArray latin1 = QFile::encodeName(Src()) + "caf\xe9.tif";
  const QByteArray bytes = GreyScanBytes(SmallScan, SmallDpi);
  const int fd = ::open(latin1.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  ASSERT_GE(fd, 0);
  const std::unique_ptr<const char, void (*)(const char *)> removed(latin1.constData(),
                                                                    [](const char *name) { ::unlink(name); });
  ASSERT_EQ(::write(fd, bytes.constData(), size_t(bytes.size())), bytes.size());
  ::close(fd);

  const TBatchRun run = Run();
  EXPECT_EQ(run.ExitCode, 1) << run.Output.toStdString();
  ASSERT_EQ(run.Report.size(), 2);
  EXPECT_EQ(run.Action("plain.tif"), "paged");
  const QJsonObject unspellable = run.Item(QStringLiteral("caf\uFFFD.tif"));
  EXPECT_EQ(unspellable["action"].toString(), "failed");
  EXPECT_TRUE(unspellable["error"].toString().contains("UTF-8"))
      << unspellable["error"].toString().toStdString();
}

TEST_F(BatchFaults, TheCommandLineSetsThePixelLimit) {
  Scan("within.tif", QSize(100, 140), 20); // A5 page of 117 x 165
  Scan("beyond.tif");                      // 224000 pixels
  const TBatchRun run = Run({"--max-pixels", "100000"});
  EXPECT_EQ(run.ExitCode, 1) << run.Output.toStdString();
  EXPECT_EQ(run.Action("within.tif"), "paged");
  const QJsonObject beyond = run.Item("beyond.tif");
  EXPECT_EQ(beyond["action"].toString(), "failed");
  EXPECT_TRUE(beyond["error"].toString().contains("exceeds the limit of 100000"))
      << beyond["error"].toString().toStdString();
  for (const char *wrong : {"0", "-5", "many"})
    EXPECT_EQ(RunBatch({"--source", Src(), "--target", Out(), "--max-pixels", wrong}).ExitCode, 2) << wrong;
}

TEST_F(BatchFaults, FolderLinkLoopsAreWalkedOnce) {
  Scan("a.tif");
  Scan("sub/b.tif");
  ASSERT_TRUE(QFile::link(Src(), Src() + "sub/loop"));
  ASSERT_TRUE(QFile::link(Src() + "sub", Src() + "sub/self"));
  const TBatchRun run = Run();
  EXPECT_EQ(run.ExitCode, 0) << run.Output.toStdString();
  EXPECT_EQ(run.Report.size(), 2);
}

// Resolution entries libtiff reads but no scanner should write.
TEST_F(BatchFaults, ResolutionsThatMakeNoSenseAreTreatedAsMissingOrRefused) {
  using K = TResolutionEntry::Kind;
  const double nan = std::nan("");
  const struct {
    const char *name;
    TResolutionEntry entry;
    bool written; // else reported failed
  } cases[] = {
      {"zero.tif", {K::Rational, 0, 1}, true},
      {"zero-over-zero.tif", {K::Rational, 0, 0}, true},
      {"negative.tif", {K::SignedRational, -300, 1}, true},
      {"nan.tif", {K::Double, 0, 1, nan}, true},
      {"infinite.tif", {K::Double, 0, 1, HUGE_VAL}, true},
      {"tiny.tif", {K::Rational, 1, 4294967295}, true},
      {"barely.tif", {K::Rational, 1, 1000}, false},
      {"absurd.tif", {K::Rational, 4294967295, 1}, false},
      {"page-too-large.tif", {K::Rational, 6000, 1}, false},
  };
  const QByteArray scan = GreyScanBytes(SmallScan, 123);
  for (const auto &c : cases)
    FDir.Write(QStringLiteral("src/") + c.name, WithResolution(scan, c.entry));

  const TBatchRun run = Run();
  EXPECT_EQ(run.ExitCode, 1) << run.Output.toStdString();
  for (const auto &c : cases) {
    const QJsonObject item = run.Item(c.name);
    EXPECT_EQ(item["action"].toString(), c.written ? "paged" : "failed")
        << QJsonDocument(item).toJson().toStdString();
    if (c.written) {
      EXPECT_FLOAT_EQ(item["dpi"].toDouble(), 96)
          << c.name << " uses the screen resolution of a headless run";
    }
  }
}

} // namespace
