// Inputs that try to make the decoder or the run allocate without bound, and
// sources that change between the scan and the run.
#include "app/BatchMemory.h"
#include "app/BatchRun.h"
#include "app/SourceScan.h"
#include "imaging/VellGDIPOBJ.h"
#include "tests/faults/BatchProcess.h"
#include "tests/faults/ScanFiles.h"
#include "tests/faults/TiffPatch.h"
#include "tests/support/TestFiles.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QtEndian>
#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

QByteArray Encoded(const char *format) {
  QImage image(24, 16, QImage::Format_RGB888);
  image.fill(Qt::darkYellow);
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  EXPECT_TRUE(image.save(&buffer, format)) << format;
  return bytes;
}

QByteArray BmpAnnouncing(qint32 width, qint32 height) {
  QByteArray bmp = Encoded("BMP");
  qToLittleEndian(width, bmp.data() + 18);
  qToLittleEndian(height, bmp.data() + 22);
  return bmp;
}

QByteArray JpegAnnouncing(quint16 width, quint16 height) {
  QByteArray jpeg = Encoded("JPEG");
  const qsizetype frame = jpeg.indexOf("\xFF\xC0");
  EXPECT_GT(frame, 0);
  qToBigEndian(height, jpeg.data() + frame + 5);
  qToBigEndian(width, jpeg.data() + frame + 7);
  return jpeg;
}

// A PNG whose last chunk before IEND claims two gigabytes.
QByteArray PngWithOverlongChunk() {
  QByteArray png = Encoded("PNG");
  const qsizetype end = png.indexOf("IEND") - 4;
  return png.left(end) + QByteArray::fromHex("7fffff00") + "tEXt" + "short" + png.mid(end);
}

class ScopedPixelLimit {
public:
  explicit ScopedPixelLimit(qint64 pixels) : FSaved(GdipPixelLimit()) { GdipSetPixelLimit(pixels); }
  ~ScopedPixelLimit() { GdipSetPixelLimit(FSaved); }

private:
  qint64 FSaved;
};

TEST(HostileInput, HeadersAnnouncingHugeImagesAreRefusedWithAClearReason) {
  const QByteArray tiff = GreyScanBytes(QSize(40, 30), 300);
  const struct {
    const char *name;
    QByteArray bytes;
    const char *reason; // empty: any reason
  } cases[] = {
      {"tiff-100000-square", WithAnnouncedSize(tiff, 100000, 100000), "exceeds the limit"},
      {"tiff-just-over-2^30", WithAnnouncedSize(tiff, 32768, 32769), "exceeds the limit"},
      {"tiff-4G-wide", WithAnnouncedSize(tiff, 0xFFFFFFFF, 1), "exceeds the limit"},
      {"bmp-100000-square", BmpAnnouncing(100000, 100000), ""},
      {"bmp-negative-height", BmpAnnouncing(100000, -100000), ""},
      {"jpeg-60000-square", JpegAnnouncing(60000, 60000), "exceeds the limit"},
      {"png-overlong-chunk", PngWithOverlongChunk(), "damaged PNG"},
  };
  TTestDir dir;
  for (const auto &c : cases) {
    TVellBitmap image(dir.Write(QString::fromLatin1(c.name) + ".tif", c.bytes));
    EXPECT_NE(image.GetLastStatus(), Ok) << c.name;
    EXPECT_FALSE(image.GetLastErrorText().isEmpty()) << c.name;
    EXPECT_TRUE(image.GetLastErrorText().contains(QLatin1String(c.reason)))
        << c.name << ": " << image.GetLastErrorText().toStdString();
    EXPECT_EQ(image.GetWidth(), 0u) << c.name;
  }
}

TEST(HostileInput, PagesBeyondThePixelLimitOrOfNoSizeAreNotCreated) {
  const ScopedPixelLimit limit(1000000);
  const struct {
    int width, height;
    GpStatus status;
  } cases[] = {
      {1000, 1000, Ok},           {1000, 1001, ValueOverflow}, {0x7FFFFFFF, 0x7FFFFFFF, ValueOverflow},
      {0, 100, InvalidParameter}, {-5, 100, InvalidParameter}, {100, -0x7FFFFFFF, InvalidParameter},
  };
  for (const auto &c : cases) {
    TVellBitmap page(c.width, c.height, PixelFormat24bppRGB);
    EXPECT_EQ(page.GetLastStatus(), c.status) << c.width << " x " << c.height;
  }
}

class RunFaults : public ::testing::Test {
protected:
  TBatchOutcome Run() const {
    TBatchSettings settings;
    settings.SourcePath = FDir.Path() + "src/";
    settings.TargetPath = FDir.Path() + "out/";
    return ExecuteBatch(FList, settings, {2, false});
  }
  QString Src(const QString &relative = {}) const { return FDir.Path() + "src/" + relative; }
  QString Out(const QString &relative = {}) const { return FDir.Path() + "out/" + relative; }

  TTestDir FDir;
  TBatchItemList FList;
};

// Over the limit: a source, and a page made for a source within it.
TEST_F(RunFaults, ThePixelLimitFailsLargeSourcesAndPagesAndTheRunGoesOn) {
  WriteGreyScan(FDir.File("src/fits.tif"), QSize(200, 280), 50);   // A5 page of 291 x 413
  WriteGreyScan(FDir.File("src/large.tif"), QSize(700, 1000), 50); // 700000 pixels
  WriteGreyScan(FDir.File("src/paged.tif"), QSize(300, 420), 100); // A5 page of 583 x 827
  ScanFolder(FList, Src());
  const ScopedPixelLimit limit(300000);
  const TBatchOutcome outcome = Run();
  ASSERT_EQ(outcome.Results.size(), 3);
  const TBatchResult &fits = outcome.Results[0], &large = outcome.Results[1], &paged = outcome.Results[2];
  EXPECT_EQ(fits.Action, TBatchAction::Paged);
  EXPECT_EQ(large.Action, TBatchAction::Failed);
  EXPECT_TRUE(large.Error.English().contains("700 × 1000 pixels exceeds the limit of 300000"))
      << large.Error.English().toStdString();
  EXPECT_EQ(paged.Action, TBatchAction::Failed);
  EXPECT_TRUE(paged.Error.English().contains("583 × 827 pixels exceeds the limit of 300000"))
      << paged.Error.English().toStdString();
  EXPECT_EQ(QDir(Out()).entryList(QDir::Files | QDir::Hidden), QStringList{"fits.tif"});
}

// A pipe swapped in for a scan is not waited for: the run opens sources
// without blocking and converts only regular files.
TEST_F(RunFaults, SourcesThatVanishOrBreakAfterTheScanAreSkippedOrFailed) {
  for (const char *name : {"a.tif", "gone.tif", "cut.tif", "now-a-folder.tif", "now-a-pipe.tif"})
    WriteGreyScan(FDir.File(QStringLiteral("src/") + name), QSize(300, 420), 100);
  ScanFolder(FList, Src());
  ASSERT_EQ(FList.Count(), 5);
  QFile::remove(Src("gone.tif"));
  QFile(Src("cut.tif")).resize(300);
  QFile::remove(Src("now-a-folder.tif"));
  QDir().mkpath(Src("now-a-folder.tif"));
  QFile::remove(Src("now-a-pipe.tif"));
  ASSERT_EQ(::mkfifo(QFile::encodeName(Src("now-a-pipe.tif")).constData(), 0644), 0);

  const TBatchOutcome outcome = Run();
  QMap<QString, TBatchResult> byName;
  for (const TBatchResult &result : outcome.Results)
    byName.insert(QFileInfo(result.Source).fileName(), result);
  EXPECT_EQ(byName["a.tif"].Action, TBatchAction::Paged);
  EXPECT_EQ(byName["gone.tif"].Action, TBatchAction::Skipped);
  EXPECT_EQ(byName["gone.tif"].Error.English(), "The file is gone");
  EXPECT_EQ(byName["now-a-folder.tif"].Action, TBatchAction::Failed);
  EXPECT_EQ(byName["now-a-pipe.tif"].Action, TBatchAction::Failed);
  EXPECT_EQ(byName["now-a-pipe.tif"].Error.English(), "Not a regular file (a pipe)");
  EXPECT_EQ(byName["cut.tif"].Action, TBatchAction::Failed);
  EXPECT_FALSE(byName["cut.tif"].Error.IsNone());
  EXPECT_EQ(QDir(Out()).entryList(QDir::Files | QDir::Hidden), QStringList{"a.tif"});
  EXPECT_EQ(QFileInfo(Src("cut.tif")).size(), 300);
}

// Two scans whose estimates do not fit the budget together run one after the
// other, even on two workers: the run's peak memory is that of one of them.
TEST(MemoryBudget, ScansThatDoNotFitTogetherRunOneAfterTheOther) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "AddressSanitizer keeps freed memory in quarantine, so peak RSS cannot show items taking turns";
#endif
  const TTestDir dir;
  const QSize size(6000, 8000); // 48 MB of grey pixels
  for (const char *name : {"one/a.tif", "two/a.tif", "two/b.tif"})
    WriteGreyScan(dir.File(QString::fromLatin1(name)), size, 300);
  QDir(dir.Path()).mkpath("none");
  ImageHeader header;
  ASSERT_EQ(GdipReadImageHeader(dir.Path() + "one/a.tif", 0, &header), Ok);
  const qint64 estimate = PageMemoryEstimate(header, QSize(4678, 6623));
  const auto peak = [&](const char *source, const char *target, const QString &budget) {
    return PeakMemoryOfRun({"--source", dir.Path() + source, "--target", dir.Path() + target, "--jobs", "2",
                            "--memory-limit", budget});
  };
  const qint64 idle = peak("none", "out0", "1G");
  const qint64 single = peak("one", "out1", "1G");
  const qint64 budgeted = peak("two", "out2", QString::number(estimate * 3 / 2));
  const qint64 unbounded = peak("two", "out3", "16G");
  ASSERT_GT(idle, 0);
  const qint64 item = single - idle;
  ASSERT_GT(item, 40 << 20) << "one scan takes its decoded pixels at least";
  EXPECT_LT(budgeted, single + item / 4) << "the two scans ran together within the budget";
  EXPECT_GT(unbounded, single + item / 2) << "without a budget the two scans run together";
  EXPECT_EQ(QDir(dir.Path() + "out2").entryList(QDir::Files).size(), 2);
}

} // namespace
