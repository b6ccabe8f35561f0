// Status bookkeeping of the wrappers, the service lifetime, pixel locks,
// area copies, figure paths and use from several threads.
#include "imaging/VellGDIPOBJ.h"
#include "tests/support/TestImages.h"
#include "tests/support/TestFiles.h"

#include <QFile>
#include <gtest/gtest.h>
#include <thread>

namespace {

TEST(WrapperStatus, AFailureStaysRecordedUntilTheNextCreation) {
  TVellBitmap page(10, 10, PixelFormat24bppRGB);
  EXPECT_EQ(page.GetLastStatus(), Ok);
  EXPECT_EQ(page.SetResolution(0, 0), InvalidParameter);
  EXPECT_EQ(page.GetWidth(), 10u);
  EXPECT_EQ(page.GetLastStatus(), InvalidParameter);
  EXPECT_FLOAT_EQ(page.GetHorizontalResolution(), VellScreenResolution()); // unchanged by the failure
  // The float clone judges the stored status, the integer clone its own call.
  EXPECT_EQ(page.CloneArea(RectF{0, 0, 5, 5}, PixelFormat24bppRGB), nullptr);
  EXPECT_NE(page.CloneArea(Rect{0, 0, 5, 5}, PixelFormat24bppRGB), nullptr);
  EXPECT_EQ(page.GetLastStatus(), Ok);
  EXPECT_NE(page.CloneArea(RectF{0, 0, 5, 5}, PixelFormat24bppRGB), nullptr);
}

TEST(WrapperStatus, FailedBitmapIsEmptyAndEveryUseFails) {
  TTestDir dir;
  TVellBitmap failed(dir.Write(QStringLiteral("bad.tif"), "not an image"));
  ASSERT_EQ(failed.GetLastStatus(), UnknownImageFormat);
  EXPECT_TRUE(failed.GetLastErrorText().contains(QStringLiteral("bad.tif")));
  TVellBitmap page(10, 10, PixelFormat24bppRGB);
  TVellGraphics onPage(&page);
  EXPECT_EQ(onPage.DrawImage(&failed, 0, 0, 5, 5), InvalidParameter);
  EXPECT_EQ(onPage.DrawImage(nullptr, 0, 0), InvalidParameter);
  TVellGraphics intoFailed(&failed);
  EXPECT_EQ(intoFailed.GetLastStatus(), InvalidParameter);
  EXPECT_EQ(intoFailed.DrawImage(&page, 0, 0), InvalidParameter);
  EXPECT_EQ(failed.GetPixelFormat(), PixelFormatDontCare);
  EXPECT_EQ(failed.CloneArea(Rect{0, 0, 1, 1}, PixelFormat24bppRGB), nullptr);
  BitmapData data;
  EXPECT_EQ(failed.LockBits(nullptr, ImageLockModeRead, PixelFormat24bppRGB, &data), InvalidParameter);
  TVellGraphics none(static_cast<TVellImage *>(nullptr));
  EXPECT_EQ(none.GetLastStatus(), Ok);
  EXPECT_EQ(none.NativeGraphics(), nullptr);
  EXPECT_EQ(none.Clear(0), InvalidParameter);
}

TEST(ServiceLifetime, StartUpIsCountedByToken) {
  VellGdiplusShutdown();
  GpBitmap *bitmap = nullptr;
  EXPECT_EQ(GdipCreateBitmapFromScan0(4, 4, 0, PixelFormat24bppRGB, nullptr, &bitmap), GdiplusNotInitialized);
  const GdiplusStartupInput input;
  quintptr first = 0, second = 0;
  ASSERT_EQ(GdiplusStartup(&first, &input, nullptr), Ok);
  ASSERT_EQ(GdiplusStartup(&second, &input, nullptr), Ok);
  EXPECT_NE(first, second);
  GdiplusShutdown(first);
  GdiplusShutdown(first); // a token counts once
  EXPECT_EQ(GdipCreateBitmapFromScan0(4, 4, 0, PixelFormat24bppRGB, nullptr, &bitmap), Ok);
  EXPECT_EQ(GdipDisposeImage(bitmap), Ok);
  GdiplusShutdown(second);
  EXPECT_EQ(GdipCreateBitmapFromScan0(4, 4, 0, PixelFormat24bppRGB, nullptr, &bitmap), GdiplusNotInitialized);
  GdiplusStartupInput wrongVersion;
  wrongVersion.GdiplusVersion = 2;
  EXPECT_EQ(GdiplusStartup(&first, &wrongVersion, nullptr), UnsupportedGdiplusVersion);
  VellGdiplusStartup();
}

TEST(PixelAccess, NewBitmapsStartZeroedAtTheScreenResolution) {
  for (PixelFormat format : {PixelFormat1bppIndexed, PixelFormat8bppIndexed, PixelFormat24bppRGB,
                             PixelFormat32bppARGB, PixelFormat64bppARGB}) {
    TVellBitmap bitmap(3, 2, format);
    ASSERT_EQ(bitmap.GetLastStatus(), Ok) << format;
    EXPECT_EQ(bitmap.GetPixelFormat(), format);
    EXPECT_FLOAT_EQ(bitmap.GetVerticalResolution(), VellScreenResolution());
    EXPECT_EQ(qRed(GdipImagePixels(bitmap.NativeImage())->pixel(2, 1)), 0) << format;
  }
  for (auto [width, height, format] :
       {std::tuple{0, 5, PixelFormat24bppRGB}, std::tuple{5, -1, PixelFormat24bppRGB},
        std::tuple{5, 5, PixelFormat(0x12345)}}) {
    TVellBitmap bitmap(width, height, format);
    EXPECT_EQ(bitmap.GetLastStatus(), InvalidParameter);
  }
}

TEST(PixelAccess, BitmapOnCallerRowsDrawsIntoThem) {
  std::vector<quint8> rows(8 * 3, 0); // 2 × 3 pixels of 24 bits, rows of 8 bytes
  GpBitmap *native = nullptr;
  ASSERT_EQ(GdipCreateBitmapFromScan0(2, 3, 8, PixelFormat24bppRGB, rows.data(), &native), Ok);
  TVellBitmap bitmap(native);
  {
    TVellGraphics graphics(&bitmap);
    ASSERT_EQ(graphics.Clear(0xFF102030), Ok);
  }
  EXPECT_EQ(rows[8 * 2 + 3], 0x30); // blue of pixel (1, 2)
  EXPECT_EQ(rows[8 * 2 + 5], 0x10);
  EXPECT_EQ(rows[6], 0); // padding untouched
  EXPECT_EQ(GdipCreateBitmapFromScan0(2, 3, 5, PixelFormat24bppRGB, rows.data(), &native), InvalidParameter);
}

TEST(PixelAccess, LockBitsDirectAndConverted) {
  TVellBitmap page(6, 4, PixelFormat24bppRGB);
  BitmapData direct;
  ASSERT_EQ(page.LockBits(nullptr, ImageLockModeRead | ImageLockModeWrite, PixelFormat24bppRGB, &direct), Ok);
  EXPECT_EQ(direct.Width, 6u);
  EXPECT_EQ(direct.PixelFormat, PixelFormat24bppRGB);
  static_cast<quint8 *>(direct.Scan0)[direct.Stride * 2 + 3 * 1 + 2] = 200; // red of pixel (1, 2)
  BitmapData again;
  EXPECT_EQ(page.LockBits(nullptr, ImageLockModeRead, PixelFormat24bppRGB, &again), WrongState);
  ASSERT_EQ(page.UnlockBits(&direct), Ok);
  EXPECT_EQ(page.UnlockBits(&direct), WrongState);
  EXPECT_EQ(GdipImagePixels(page.NativeImage())->pixel(1, 2), qRgb(200, 0, 0));

  const Rect area{2, 1, 3, 2};
  BitmapData argb;
  ASSERT_EQ(page.LockBits(&area, ImageLockModeWrite, PixelFormat32bppARGB, &argb), Ok);
  EXPECT_EQ(argb.Width, 3u);
  EXPECT_EQ(argb.Stride, 12);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x)
      reinterpret_cast<quint32 *>(static_cast<quint8 *>(argb.Scan0) + y * argb.Stride)[x] = 0xFF00FF00;
  ASSERT_EQ(page.UnlockBits(&argb), Ok);
  const QImage &pixels = *GdipImagePixels(page.NativeImage());
  EXPECT_EQ(pixels.pixel(2, 1), qRgb(0, 255, 0));
  EXPECT_EQ(pixels.pixel(4, 2), qRgb(0, 255, 0));
  EXPECT_EQ(pixels.pixel(1, 2), qRgb(200, 0, 0));
  EXPECT_EQ(pixels.pixel(5, 2), qRgb(0, 0, 0));
  const Rect outside{4, 3, 3, 2};
  EXPECT_EQ(page.LockBits(&outside, ImageLockModeRead, PixelFormat24bppRGB, &argb), InvalidParameter);
  EXPECT_EQ(page.LockBits(nullptr, ImageLockModeRead, PixelFormat48bppRGB, &argb), NotImplemented);
}

TEST(PixelAccess, CloneAreaCopiesAndConverts) {
  TTiffSpec spec;
  spec.Photometric = PHOTOMETRIC_RGB;
  spec.SamplesPerPixel = 3;
  TTestDir dir;
  const QString file = dir.File(QStringLiteral("c.tif"));
  WriteTiff(file, spec);
  TVellBitmap source(file);
  const std::unique_ptr<TVellBitmap> clone = source.CloneArea(Rect{3, 4, 10, 5}, PixelFormat32bppARGB);
  ASSERT_NE(clone, nullptr);
  EXPECT_EQ(clone->GetWidth(), 10u);
  EXPECT_EQ(clone->GetPixelFormat(), PixelFormat32bppARGB);
  EXPECT_FLOAT_EQ(clone->GetHorizontalResolution(), 300);
  EXPECT_EQ(QColor(GdipImagePixels(clone->NativeImage())->pixel(2, 1)).rgba64(), PatternColour(spec, 5, 5));
  EXPECT_EQ(source.CloneArea(Rect{30, 0, 10, 5}, PixelFormat24bppRGB), nullptr);
  EXPECT_EQ(source.GetLastStatus(), InvalidParameter);
}

TEST(Paths, FiguresFollowTheServiceRules) {
  TVellGraphicsPath path;
  ASSERT_EQ(path.GetLastStatus(), Ok);
  EXPECT_EQ(path.AddLine({0, 0}, {10, 0}), Ok);
  EXPECT_EQ(path.AddLine({10, 10}, {0, 10}), Ok); // joined to the open figure
  EXPECT_EQ(path.CloseFigure(), Ok);
  const QPainterPath &figures = *GdipPathFigures(path.NativePath());
  EXPECT_EQ(figures.elementCount(), 5); // move, three lines, closing line
  EXPECT_TRUE(figures.contains(QPointF(5, 5)));

  TVellGraphicsPath arc;
  ASSERT_EQ(arc.AddArc({0, 0, 100, 100}, 0, 90), Ok); // clockwise on a y-down surface
  const QPointF end = GdipPathFigures(arc.NativePath())->currentPosition();
  EXPECT_NEAR(end.x(), 50, 0.01);
  EXPECT_NEAR(end.y(), 100, 0.01);

  TVellGraphicsPath shapes(FillModeWinding);
  const PointF triangle[] = {{0, 0}, {4, 0}, {0, 4}};
  EXPECT_EQ(shapes.AddPolygon(triangle, 3), Ok);
  EXPECT_EQ(shapes.AddPie({10, 10, 20, 20}, 0, 90), Ok);
  EXPECT_EQ(shapes.AddEllipse({40, 0, 10, 10}), Ok);
  EXPECT_EQ(shapes.AddRectangle({60, 0, 5, 5}), Ok);
  EXPECT_EQ(shapes.AddPolygon(triangle, 2), InvalidParameter);
  EXPECT_EQ(shapes.AddRectangle({0, 0, 0, 5}), InvalidParameter);
  const QPainterPath &all = *GdipPathFigures(shapes.NativePath());
  EXPECT_EQ(all.fillRule(), Qt::WindingFill);
  EXPECT_TRUE(all.contains(QPointF(25, 25)));  // inside the pie's quarter
  EXPECT_FALSE(all.contains(QPointF(15, 15))); // the other quarters are not
  EXPECT_TRUE(all.contains(QPointF(62, 2)));

  TVellCustomLineCap cap(&shapes, nullptr, LineCapRound, 1.5f);
  EXPECT_EQ(cap.GetLastStatus(), Ok);
  float inset = 0;
  EXPECT_EQ(GdipGetCustomLineCapBaseInset(cap.NativeCap(), &inset), Ok);
  EXPECT_FLOAT_EQ(inset, 1.5f);
  TVellCustomLineCap noFigure(nullptr, nullptr);
  EXPECT_EQ(noFigure.GetLastStatus(), InvalidParameter);
}

// Workers converting their own images at once give what one thread gives.
TEST(Threads, IndependentConversionsRunInParallel) {
  TTiffSpec spec;
  spec.Photometric = PHOTOMETRIC_RGB;
  spec.SamplesPerPixel = 3;
  spec.Compression = COMPRESSION_LZW;
  spec.Width = 120;
  spec.Height = 90;
  TTestDir dir;
  const QString source = dir.File(QStringLiteral("s.tif"));
  WriteTiff(source, spec);
  CLSID tiff;
  GetEncoderClsid(QStringLiteral("image/tiff"), tiff);
  auto convert = [&](int index) {
    TVellBitmap image(source);
    TVellBitmap page(200, 300, PixelFormat24bppRGB);
    TVellGraphics graphics(&page);
    graphics.Clear(0xFFFFFFFF);
    graphics.DrawImage(&image, 10, 20, 180, 135);
    page.Save(dir.File(QStringLiteral("out%1.tif").arg(index)), tiff);
  };
  convert(0);
  std::vector<std::thread> workers;
  for (int i = 1; i <= 4; ++i)
    workers.emplace_back(convert, i);
  for (std::thread &worker : workers)
    worker.join();
  const QByteArray expected = ReadWholeFile(dir.File(QStringLiteral("out0.tif")));
  ASSERT_FALSE(expected.isEmpty());
  for (int i = 1; i <= 4; ++i)
    EXPECT_EQ(ReadWholeFile(dir.File(QStringLiteral("out%1.tif").arg(i))), expected) << i;
}

TEST(ServiceText, ScreenResolutionWithoutAGuiApplicationIs96) {
  EXPECT_FLOAT_EQ(VellScreenResolution(), 96);
  float fromWorker = 0;
  std::thread([&] { fromWorker = VellScreenResolution(); }).join();
  EXPECT_FLOAT_EQ(fromWorker, 96);
}

TEST(ServiceText, StatusTextsAndNullArguments) {
  EXPECT_EQ(GdipStatusText(Ok), QStringLiteral("Ok"));
  EXPECT_EQ(GdipStatusText(UnknownImageFormat), QStringLiteral("Unknown image format"));
  EXPECT_EQ(GdipStatusText(GpStatus(99)), QStringLiteral("Status 99"));
  quint32 width = 0;
  EXPECT_EQ(GdipGetImageWidth(nullptr, &width), InvalidParameter);
  EXPECT_FALSE(GdipLastErrorText().isEmpty());
  EXPECT_EQ(GdipDisposeImage(nullptr), InvalidParameter);
  EXPECT_EQ(GdipDeleteGraphics(nullptr), InvalidParameter);
  EXPECT_EQ(GdipDeletePath(nullptr), InvalidParameter);
  EXPECT_EQ(GdipDeleteCustomLineCap(nullptr), InvalidParameter);
  EXPECT_EQ(GdipImagePixels(nullptr), nullptr);
}

} // namespace
