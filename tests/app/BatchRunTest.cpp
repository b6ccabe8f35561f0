#include "app/BatchRun.h"
#include "app/SourceScan.h"

#include "ScanFixture.h"
#include "imaging/VellGDIPOBJ.h"
#include "tests/support/TestFiles.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>

#include <atomic>
#include <dlfcn.h>
#include <stdio.h>
#include <unistd.h>

#include <gtest/gtest.h>

// The syncs and the moves into place (renames, and links of unnamed
// temporary files as Qt's atomic saves make them) of this process, counted on
// the way to the C library, so a test can tell how often each output reaches
// the disk.
namespace {
std::atomic<int> SyncCalls{0}, MoveCalls{0};

template <typename Function> Function *NextDefinition(const char *name) {
  return reinterpret_cast<Function *>(dlsym(RTLD_NEXT, name));
}
} // namespace

extern "C" int fsync(int fd) {
  ++SyncCalls;
  static auto *const next = NextDefinition<int(int)>("fsync");
  return next(fd);
}

extern "C" int fdatasync(int fd) {
  ++SyncCalls;
  static auto *const next = NextDefinition<int(int)>("fdatasync");
  return next(fd);
}

extern "C" int rename(const char *from, const char *to) noexcept {
  ++MoveCalls;
  static auto *const next = NextDefinition<int(const char *, const char *)>("rename");
  return next(from, to);
}

extern "C" int renameat(int fromFolder, const char *from, int toFolder, const char *to) noexcept {
  ++MoveCalls;
  static auto *const next = NextDefinition<int(int, const char *, int, const char *)>("renameat");
  return next(fromFolder, from, toFolder, to);
}

extern "C" int linkat(int fromFolder, const char *from, int toFolder, const char *to, int flags) noexcept {
  ++MoveCalls;
  static auto *const next = NextDefinition<int(int, const char *, int, const char *, int)>("linkat");
  return next(fromFolder, from, toFolder, to, flags);
}

namespace {

// The suite's own token keeps the service up while other tests start and stop the program's.
class TImagingEnvironment : public ::testing::Environment {
public:
  void SetUp() override {
    const GdiplusStartupInput input;
    GdiplusStartup(&FToken, &input, nullptr);
  }
  void TearDown() override { GdiplusShutdown(FToken); }

private:
  quintptr FToken = 0;
};
const auto *const Environment = ::testing::AddGlobalTestEnvironment(new TImagingEnvironment);

// A source tree and an output folder beside it, with the run's settings.
class BatchRunTest : public ::testing::Test {
protected:
  QString Source() const { return FDir.Path() + "in/"; }
  QString Target() const { return FDir.Path() + "out/"; }
  QString Scan(const QString &relative, TScanKind kind, int width, int height, float dpi) const {
    const QString path = FDir.File("in/" + relative);
    EXPECT_TRUE(WriteSolidScan(path, kind, width, height, dpi)) << relative.toStdString();
    return path;
  }
  TBatchSettings Settings() const { return {Source(), Target(), {}}; }
  TBatchOutcome Run(const TBatchOptions &options = {}, TBatchObserver *observer = nullptr) const {
    TBatchItemList list;
    ScanFolder(list, Source());
    return ExecuteBatch(list, Settings(), options, observer);
  }
  // Every file below the output folder, hidden ones included.
  QStringList Written() const {
    QStringList files;
    QDirIterator it(Target(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
      files << it.next().mid(Target().size());
    files.sort();
    return files;
  }

  TTestDir FDir;
};

const TBatchResult *Find(const TBatchOutcome &outcome, const QString &source) {
  for (const TBatchResult &r : outcome.Results)
    if (r.Source == source)
      return &r;
  return nullptr;
}

// The page is white outside the drawn rectangle and black inside it.
void ExpectCentredBlackOnWhite(const QImage &page, const QRect &draw) {
  ASSERT_FALSE(page.isNull());
  const QRect all = page.rect();
  const auto white = [&](int x, int y) {
    if (all.contains(x, y) && !draw.contains(x, y)) {
      EXPECT_EQ(page.pixel(x, y), qRgb(255, 255, 255)) << x << "," << y;
    }
  };
  const auto black = [&](int x, int y) { EXPECT_LT(qGray(page.pixel(x, y)), 16) << x << "," << y; };
  for (int x : {0, draw.left() - 1, draw.center().x(), draw.right() + 1, all.right()})
    for (int y : {0, draw.top() - 1, draw.center().y(), draw.bottom() + 1, all.bottom()})
      white(x, y);
  for (int x : {draw.left() + 2, draw.center().x(), draw.right() - 2})
    for (int y : {draw.top() + 2, draw.center().y(), draw.bottom() - 2})
      black(x, y);
}

TEST_F(BatchRunTest, ConvertsEveryKindOfScanUnderTheSameRelativePath) {
  const struct {
    const char *path;
    TScanKind kind;
    int width, height;
    float dpi;
    TBatchAction action;
    const char *page;
    QSize pagePx;
    QRect draw;
    float storedDpi;
    int samples, bits;
  } cases[] = {
      // clang-format off
      {"exact-a4.tif", TScanKind::Rgb, 413, 585, 50, TBatchAction::Unchanged, "A4", {413, 585}, {0, 0, 413, 585}, 50, 3, 8},
      {"bilevel-a4.TIF", TScanKind::Bilevel, 413, 585, 50, TBatchAction::Unchanged, "A4", {413, 585}, {0, 0, 413, 585}, 50, 1, 1},
      {"sub/grey.tiff", TScanKind::Grey, 400, 550, 50, TBatchAction::Paged, "A4", {413, 585}, {0, 8, 413, 568}, 50, 3, 8},
      {"sub/deeper/landscape.tif", TScanKind::Palette, 550, 400, 50, TBatchAction::Paged, "A4", {585, 413}, {8, 0, 568, 413}, 50, 3, 8},
      {"bilevel-off.tif", TScanKind::Bilevel, 400, 550, 50, TBatchAction::Paged, "A4", {413, 585}, {0, 8, 413, 568}, 50, 3, 8},
      {"no-resolution.tif", TScanKind::Rgb, 800, 1000, 0, TBatchAction::Paged, "A4", {794, 1123}, {0, 65, 794, 992}, 96, 3, 8},
      {"a5.tif", TScanKind::Grey, 291, 413, 50, TBatchAction::Unchanged, "A5", {291, 413}, {0, 0, 291, 413}, 50, 1, 8},
      {"a4-no-resolution.tif", TScanKind::Grey, 794, 1123, 0, TBatchAction::Unchanged, "A4", {794, 1123}, {0, 0, 794, 1123}, 96, 1, 8},
      // clang-format on
  };
  for (const auto &c : cases)
    Scan(c.path, c.kind, c.width, c.height, c.dpi);
  const TBatchOutcome outcome = Run();
  ASSERT_EQ(outcome.Results.size(), std::size(cases));
  for (const auto &c : cases) {
    SCOPED_TRACE(c.path);
    const TBatchResult *r = Find(outcome, Source() + c.path);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->Target, Target() + c.path);
    EXPECT_EQ(r->Action, c.action) << r->Error.English().toStdString();
    EXPECT_EQ(r->PageName, c.page);
    EXPECT_EQ(r->PagePx, c.pagePx);
    EXPECT_EQ(r->Draw, c.draw);
    EXPECT_FLOAT_EQ(r->Dpi, c.storedDpi);
    const TTiffFacts facts = ReadTiffFacts(r->Target);
    ASSERT_TRUE(facts.Readable);
    EXPECT_EQ(QSize(facts.Width, facts.Height), c.pagePx);
    EXPECT_FLOAT_EQ(facts.XDpi, c.storedDpi);
    EXPECT_FLOAT_EQ(facts.YDpi, c.storedDpi);
    EXPECT_EQ(facts.SamplesPerPixel, c.samples);
    EXPECT_EQ(facts.BitsPerSample, c.bits);
    if (c.action == TBatchAction::Paged)
      ExpectCentredBlackOnWhite(ReadPixels(r->Target), c.draw);
  }
  EXPECT_EQ(Written().filter(".part").size(), 0);
}

TEST_F(BatchRunTest, LargeFixedPagesAreStoredAtTheCappedResolution) {
  Scan("scan.tif", TScanKind::Grey, 300, 400, 250);
  TBatchItemList list;
  ScanFolder(list, Source());
  TBatchSettings settings = Settings();
  settings.Page.AutoCheckFit = false;
  settings.Page.APaperSize = pseA2;
  const TBatchOutcome outcome = ExecuteBatch(list, settings);
  ASSERT_EQ(outcome.Results.size(), 1);
  const TBatchResult &r = outcome.Results[0];
  EXPECT_EQ(r.Action, TBatchAction::Paged) << r.Error.English().toStdString();
  EXPECT_EQ(r.PagePx, QSize(3307, 4677));
  EXPECT_EQ(r.Draw, QRect(0, 134, 3307, 4409));
  const TTiffFacts facts = ReadTiffFacts(r.Target);
  EXPECT_EQ(QSize(facts.Width, facts.Height), QSize(3307, 4677));
  EXPECT_FLOAT_EQ(facts.XDpi, 200);
  EXPECT_FLOAT_EQ(facts.YDpi, 200);
}

TEST_F(BatchRunTest, RefusedRunsWriteNothing) {
  Scan("a.tif", TScanKind::Grey, 400, 550, 50);
  TBatchItemList list;
  ScanFolder(list, Source());
  for (const QString &target : {QString(), Source(), Source() + "out/"}) {
    const TBatchSettings settings{Source(), target, {}};
    EXPECT_THROW(ExecuteBatch(list, settings), EInOutError) << target.toStdString();
  }
  EXPECT_FALSE(QFileInfo::exists(Source() + "out"));
  EXPECT_EQ(QDir(Source()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
            QStringList({"a.tif"}));
}

TEST_F(BatchRunTest, AnEmptyBatchDoesNothing) {
  const TBatchOutcome outcome = ExecuteBatch(TBatchItemList(), Settings(), {4, false});
  EXPECT_TRUE(outcome.Results.isEmpty());
  EXPECT_FALSE(outcome.Cancelled);
  EXPECT_FALSE(QFileInfo::exists(Target()));
}

TEST_F(BatchRunTest, FailedItemsSayWhyLoseNothingAndTheRunGoesOn) {
  FDir.Write("in/corrupt.tif", "II*\0 this is no image");
  FDir.Write("out/corrupt.tif", "the good page of an earlier run");
  Scan("blocked/a.tif", TScanKind::Grey, 400, 550, 50);
  FDir.Write("out/blocked", "a file where the folder should be");
  Scan("occupied.tif", TScanKind::Grey, 400, 550, 50);
  QDir().mkpath(Target() + "occupied.tif/keep");
  const QString gone = Scan("gone.tif", TScanKind::Grey, 400, 550, 50);
  Scan("good.tif", TScanKind::Grey, 400, 550, 50);

  TBatchItemList list;
  ScanFolder(list, Source());
  QFile::remove(gone);
  const TBatchOutcome outcome = ExecuteBatch(list, Settings());

  const struct {
    const char *path;
    TBatchAction action;
    TReasonKind reason;
  } cases[] = {
      {"corrupt.tif", TBatchAction::Failed, TReasonKind::CannotReadImage},
      {"blocked/a.tif", TBatchAction::Failed, TReasonKind::CannotCreateFolder},
      {"occupied.tif", TBatchAction::Failed, TReasonKind::CannotMoveIntoPlace},
      {"gone.tif", TBatchAction::Skipped, TReasonKind::FileGone},
      {"good.tif", TBatchAction::Paged, TReasonKind::None},
  };
  ASSERT_EQ(outcome.Results.size(), std::size(cases));
  for (const auto &c : cases) {
    const TBatchResult *r = Find(outcome, Source() + c.path);
    ASSERT_NE(r, nullptr) << c.path;
    EXPECT_EQ(r->Action, c.action) << c.path;
    EXPECT_EQ(r->Error.Kind, c.reason) << c.path << ": " << r->Error.English().toStdString();
    if (c.action != TBatchAction::Paged) {
      EXPECT_TRUE(r->PageName.isEmpty()) << c.path;
    }
  }
  EXPECT_EQ(ReadWholeFile(Target() + "corrupt.tif"), "the good page of an earlier run");
  EXPECT_EQ(ReadWholeFile(Target() + "blocked"), "a file where the folder should be");
  EXPECT_TRUE(QFileInfo(Target() + "occupied.tif/keep").isDir());
  EXPECT_EQ(Written(), QStringList({"blocked", "corrupt.tif", "good.tif"}));
}

TEST_F(BatchRunTest, NeverWritesOverASourceFile) {
  // A link in the output folder leads back to the sources: in/sub/a.tif would go to in/a.tif.
  const QString inner = Scan("sub/a.tif", TScanKind::Grey, 400, 550, 50);
  const QString outer = Scan("a.tif", TScanKind::Rgb, 400, 550, 50);
  const QByteArray before = ReadWholeFile(outer);
  QDir().mkpath(Target());
  ASSERT_TRUE(QFile::link(Source(), Target() + "sub"));
  TBatchItemList list;
  ScanFolder(list, Source());
  const TBatchOutcome outcome = ExecuteBatch(list, Settings());
  const TBatchResult *r = Find(outcome, inner);
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(r->Action, TBatchAction::Failed);
  EXPECT_EQ(r->Error.Kind, TReasonKind::TargetReplacesSource);
  EXPECT_EQ(ReadWholeFile(outer), before);
  EXPECT_EQ(Find(outcome, outer)->Action, TBatchAction::Paged);
}

TEST_F(BatchRunTest, WorkersWriteWhatASequentialRunWrites) {
  const TScanKind kinds[] = {TScanKind::Bilevel, TScanKind::Grey, TScanKind::Palette, TScanKind::Rgb};
  for (int i = 0; i < 8; ++i)
    Scan(QStringLiteral("f%1/s%2.tif").arg(i % 3).arg(i), kinds[i % 4], 380 + 13 * i, 560 - 9 * i,
         i == 5 ? 0 : 50);
  FDir.Write("in/f1/broken.tif", "MM\0*");
  TBatchItemList list;
  ScanFolder(list, Source());
  const TBatchSettings one{Source(), FDir.Path() + "one/", {}};
  const TBatchSettings four{Source(), FDir.Path() + "four/", {}};
  const TBatchOutcome sequential = ExecuteBatch(list, one, {1, false});
  const TBatchOutcome parallel = ExecuteBatch(list, four, {4, false});
  ASSERT_EQ(sequential.Results.size(), list.Count());
  ASSERT_EQ(parallel.Results.size(), list.Count());
  for (int i = 0; i < list.Count(); ++i) {
    const TBatchResult &a = sequential.Results[i];
    const TBatchResult &b = parallel.Results[i];
    SCOPED_TRACE(a.Source.toStdString());
    EXPECT_EQ(a.Index, i);
    EXPECT_EQ(b.Source, a.Source);
    EXPECT_EQ(b.Action, a.Action);
    EXPECT_EQ(b.PagePx, a.PagePx);
    EXPECT_EQ(b.Draw, a.Draw);
    if (a.Action != TBatchAction::Failed) {
      EXPECT_EQ(ReadWholeFile(b.Target), ReadWholeFile(a.Target));
    }
  }
  EXPECT_EQ(sequential.CountOf(TBatchAction::Failed), 1);
}

TEST_F(BatchRunTest, DryRunDecidesLikeARealRunAndWritesNothing) {
  Scan("a.tif", TScanKind::Rgb, 413, 585, 50);
  Scan("sub/b.tif", TScanKind::Grey, 550, 400, 0);
  FDir.Write("in/c.tif", "not an image");
  const TBatchOutcome dry = Run({2, true});
  EXPECT_FALSE(QFileInfo::exists(Target()));
  const TBatchOutcome real = Run();
  ASSERT_EQ(dry.Results.size(), 3);
  ASSERT_EQ(real.Results.size(), 3);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(dry.Results[i].Action, real.Results[i].Action);
    EXPECT_EQ(dry.Results[i].PageName, real.Results[i].PageName);
    EXPECT_EQ(dry.Results[i].PagePx, real.Results[i].PagePx);
    EXPECT_EQ(dry.Results[i].Draw, real.Results[i].Draw);
    EXPECT_EQ(dry.Results[i].Dpi, real.Results[i].Dpi);
    EXPECT_EQ(dry.Results[i].ImageMm, real.Results[i].ImageMm);
  }
  const TBatchResult *landscape = Find(dry, Source() + "sub/b.tif");
  ASSERT_NE(landscape, nullptr);
  EXPECT_EQ(landscape->ImageMm, QSize(146, 106));
  EXPECT_EQ(landscape->SizeName, "?");
  EXPECT_EQ(landscape->Action, TBatchAction::Paged);
}

class TCancelAfterFirst : public TBatchObserver {
public:
  void ItemFinished(const TBatchResult &, int finished, int count) override {
    Calls << QStringLiteral("%1/%2").arg(finished).arg(count);
  }
  bool CancelRequested() override { return !Calls.isEmpty(); }
  QStringList Calls;
};

TEST_F(BatchRunTest, CancelStopsBetweenItems) {
  for (const char *name : {"a.tif", "b.tif", "c.tif"})
    Scan(name, TScanKind::Grey, 400, 550, 50);
  TCancelAfterFirst observer;
  const TBatchOutcome outcome = Run({}, &observer);
  EXPECT_TRUE(outcome.Cancelled);
  EXPECT_EQ(observer.Calls, QStringList({"1/3"}));
  ASSERT_EQ(outcome.Results.size(), 1);
  EXPECT_EQ(outcome.Results[0].Source, Source() + "a.tif");
  EXPECT_EQ(Written(), QStringList({"a.tif"}));
}

// Writes the files as the pages of one TIFF.
void JoinPages(const QStringList &pages, const QString &target) {
  CLSID tiff;
  ASSERT_GE(GetEncoderClsid("image/tiff", tiff), 0);
  TVellPageWriter writer(target, tiff);
  for (const QString &page : pages) {
    TVellBitmap image(page);
    ASSERT_EQ(writer.AddImage(&image), Ok) << page.toStdString();
  }
  ASSERT_EQ(writer.Commit(), Ok);
}

// A source of several pages becomes one file of as many pages, each the page
// a source of that image alone becomes.
TEST_F(BatchRunTest, EveryPageOfAMultiPageSourceIsWritten) {
  const struct {
    TScanKind kind;
    int width, height;
    TBatchAction action;
  } pages[] = {{TScanKind::Grey, 400, 550, TBatchAction::Paged},
               {TScanKind::Rgb, 413, 585, TBatchAction::Unchanged},
               {TScanKind::Bilevel, 300, 420, TBatchAction::Paged}};
  QStringList mixed, iso;
  for (int i = 0; i < 3; ++i)
    mixed << Scan(QStringLiteral("single/p%1.tif").arg(i), pages[i].kind, pages[i].width, pages[i].height, 50);
  for (int i = 0; i < 2; ++i)
    iso << Scan(QStringLiteral("single/iso%1.tif").arg(i), TScanKind::Grey, 413, 585, 50);
  JoinPages(mixed, FDir.File("in/mixed.tif"));
  JoinPages(iso, FDir.File("in/iso.tif"));
  const TBatchOutcome outcome = Run();

  const TBatchResult *joined = Find(outcome, Source() + "mixed.tif");
  ASSERT_NE(joined, nullptr);
  EXPECT_EQ(joined->Action, TBatchAction::Paged);
  EXPECT_EQ(joined->Pages, 3);
  ASSERT_EQ(joined->PageList.size(), 3);
  for (int i = 0; i < 3; ++i) {
    const TBatchResult *single = Find(outcome, mixed[i]);
    ASSERT_NE(single, nullptr);
    EXPECT_EQ(single->Action, pages[i].action) << i;
    EXPECT_TRUE(joined->PageList[i] == static_cast<const TBatchPage &>(*single)) << i;
    EXPECT_EQ(ReadPixels(Target() + "mixed.tif", i), ReadPixels(Target() + QStringLiteral("single/p%1.tif").arg(i)))
        << i;
  }
  EXPECT_TRUE(ReadPixels(Target() + "mixed.tif", 3).isNull());

  const TBatchResult *allIso = Find(outcome, Source() + "iso.tif");
  ASSERT_NE(allIso, nullptr);
  EXPECT_EQ(allIso->Action, TBatchAction::Unchanged);
  EXPECT_EQ(allIso->Pages, 2);
  EXPECT_TRUE(allIso->PageList.isEmpty()) << "alike pages are not listed";
  for (int i = 0; i < 2; ++i)
    EXPECT_EQ(ReadPixels(Target() + "iso.tif", i), ReadPixels(iso[i])) << i;
}

// Each output, of one page or several, reaches the disk with one sync and one
// move into place; each output folder is synced once at the end.
TEST_F(BatchRunTest, EachOutputIsSyncedOnceAndRenamedOnce) {
  Scan("a.tif", TScanKind::Grey, 400, 550, 50);
  Scan("b.tif", TScanKind::Rgb, 413, 585, 50);
  Scan("sub/c.tif", TScanKind::Bilevel, 300, 420, 50);
  JoinPages({Scan("pages/p0.tif", TScanKind::Grey, 400, 550, 50), Scan("pages/p1.tif", TScanKind::Rgb, 413, 585, 50)},
            FDir.File("in/sub/joined.tif"));
  QFile::remove(Source() + "pages/p0.tif");
  QFile::remove(Source() + "pages/p1.tif");
  QDir(Source()).rmdir("pages");
  SyncCalls = 0;
  MoveCalls = 0;
  const TBatchOutcome outcome = Run();
  const int syncs = SyncCalls, moves = MoveCalls;
  ASSERT_EQ(outcome.Results.size(), 4u);
  for (const TBatchResult &result : outcome.Results)
    EXPECT_NE(result.Action, TBatchAction::Failed) << result.Source.toStdString();
  EXPECT_EQ(moves, 4);
  EXPECT_EQ(syncs, 4 + 2) << "four files, two folders";
}

// Targets follow the path relative to the source folder, taken once as a
// prefix: a source path that recurs deeper in the tree, or folders given
// without their trailing separator, never lead outside the output folder.
TEST_F(BatchRunTest, TargetsLieAtTheirRelativePathInsideTheOutputFolder) {
  const QString recurring = "archive" + Source() + "deep.tif";
  Scan(recurring, TScanKind::Grey, 400, 550, 50);
  Scan("top.tif", TScanKind::Grey, 400, 550, 50);
  TBatchItemList list;
  ScanFolder(list, Source());
  TBatchSettings bare = Settings();
  bare.SourcePath.chop(1);
  bare.TargetPath.chop(1);
  const TBatchOutcome outcome = ExecuteBatch(list, bare);
  EXPECT_EQ(outcome.CountOf(TBatchAction::Paged), 2);
  EXPECT_EQ(Written(), QStringList({recurring, "top.tif"}));
  EXPECT_EQ(QDir(FDir.Path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
            QStringList({"in", "out"}));
}

TEST(BatchRun, RefusesOutputFoldersThatWouldMixWithTheSources) {
  TTestDir dir;
  QDir(dir.Path()).mkpath("src/sub");
  QDir(dir.Path()).mkpath("elsewhere");
  dir.Write("file", "x");
  ASSERT_TRUE(QFile::link(dir.Path() + "src/sub", dir.Path() + "elsewhere/link"));
  const QString src = dir.Path() + "src/";
  const struct {
    QString source, target;
    TReasonKind refusal; // None: the run may start
  } cases[] = {
      {src, "", TReasonKind::NoTargetFolder},
      {"", dir.Path() + "out/", TReasonKind::NoSourceFolder},
      {src, src, TReasonKind::TargetIsSource},
      {src, dir.Path() + "src", TReasonKind::TargetIsSource},
      {src, dir.Path() + "elsewhere/../src/./", TReasonKind::TargetIsSource},
      {src, src + "out/new/", TReasonKind::TargetInsideSource},
      {src, src + "sub/", TReasonKind::TargetInsideSource},
      {src, dir.Path() + "elsewhere/link/out/", TReasonKind::TargetInsideSource},
      {src, dir.Path() + "src-out/", TReasonKind::None},
      {src, dir.Path(), TReasonKind::SourceInsideTarget},
      {src + "sub/", src, TReasonKind::SourceInsideTarget},
      {src, dir.Path() + "file", TReasonKind::TargetIsAFile},
  };
  for (const auto &c : cases) {
    const TBatchSettings settings{c.source, c.target, {}};
    EXPECT_EQ(RunRefusal(settings).Kind, c.refusal) << c.target.toStdString();
  }
  EXPECT_EQ(RunRefusal({src, dir.Path() + "file", {}}).English(),
            "The output folder " + dir.Path() + "file is a file.");
}

} // namespace

namespace {

TEST_F(BatchRunTest, TheWindowsOverloadsReadTheSettingsObject) {
  const QString a4 = Scan("a4.tif", TScanKind::Grey, 413, 585, 50);
  AppStartup(FDir.Path() + "AppInfo.dat");
  AppInfo->SourcePath = Source();
  AppInfo->TargetPath = Target();
  TVellBitmap image(a4);
  EXPECT_FALSE(NeedsPage(image));
  AppInfo->SizeMode = smeBStyle;
  EXPECT_TRUE(NeedsPage(image));
  EXPECT_EQ(ComputePagePlacement(image).PageName, "B5");
  TBatchItemList list;
  ScanFolder(list, Source());
  const TBatchOutcome outcome = ExecuteBatch(list);
  AppShutdown();
  ASSERT_EQ(outcome.Results.size(), 1);
  EXPECT_EQ(outcome.Results[0].Action, TBatchAction::Paged);
  EXPECT_EQ(outcome.Results[0].PageName, "B5");
  EXPECT_TRUE(QFileInfo(Target() + "a4.tif").isFile());
}

} // namespace
