// Saving an image fitted onto a page writes the same file as building the page.
#include "imaging/VellGDIPOBJ.h"
#include "tests/support/TestFiles.h"

#include <gtest/gtest.h>

namespace {

QImage Gradient(QSize size, QImage::Format format) {
  QImage image(size, QImage::Format_ARGB32);
  for (int y = 0; y < size.height(); ++y)
    for (int x = 0; x < size.width(); ++x)
      image.setPixel(x, y,
                     qRgba(x * 255 / size.width(), y * 255 / size.height(), (x * y) % 256, 40 + x % 200));
  return format == QImage::Format_ARGB32 ? image : image.convertToFormat(format, Qt::ThresholdDither);
}

// The file the object path writes: a white page, the image drawn into draw, saved as TIFF.
QByteArray BuiltPage(TVellBitmap &image, QSize page, const Rect &draw, float dpi, const QString &path) {
  CLSID tiff;
  EXPECT_GE(GetEncoderClsid(QStringLiteral("image/tiff"), tiff), 0);
  TVellBitmap sheet(page.width(), page.height(), PixelFormat24bppRGB);
  sheet.SetResolution(dpi, dpi);
  {
    TVellGraphics graphics(&sheet);
    graphics.Clear(0xFFFFFFFF);
    graphics.DrawImage(&image, draw.X, draw.Y, draw.Width, draw.Height);
  }
  EXPECT_EQ(sheet.Save(path, tiff), Ok);
  return ReadWholeFile(path);
}

struct TFitCase {
  QImage::Format Format;
  QSize Image, Page;
  Rect Draw;
};

TEST(FittedPage, WritesTheSameFileAsDrawingIntoABuiltPage) {
  const TFitCase cases[] = {
      {QImage::Format_Mono, {240, 330}, {248, 351}, {0, 4, 248, 341}},
      {QImage::Format_Grayscale8, {255, 330}, {248, 351}, {0, 15, 248, 321}},
      {QImage::Format_BGR888, {330, 240}, {351, 248}, {5, 0, 341, 248}},
      {QImage::Format_RGB888, {100, 100}, {60, 80}, {0, 10, 60, 60}},
      {QImage::Format_Indexed8, {50, 70}, {200, 280}, {0, 0, 200, 280}},
      {QImage::Format_RGB32, {64, 64}, {64, 64}, {0, 0, 64, 64}},
      // Translucent images and rectangles reaching past the page take the long way.
      {QImage::Format_ARGB32, {90, 120}, {100, 140}, {5, 3, 90, 134}},
      {QImage::Format_Grayscale8, {90, 120}, {100, 140}, {-10, 20, 120, 160}},
  };
  TTestDir dir;
  for (const TFitCase &c : cases) {
    SCOPED_TRACE(testing::Message() << "format " << c.Format << ", draw " << c.Draw.X << "," << c.Draw.Y);
    TVellBitmap image(Gradient(c.Image, c.Format));
    const QString fitted = dir.File(QStringLiteral("fitted.tif"));
    ASSERT_EQ(image.SaveFittedPage(fitted, c.Page.width(), c.Page.height(), c.Draw, 300), Ok);
    const QByteArray built = BuiltPage(image, c.Page, c.Draw, 300, dir.File(QStringLiteral("built.tif")));
    ASSERT_FALSE(built.isEmpty());
    EXPECT_TRUE(ReadWholeFile(fitted) == built);
    TVellBitmap reread(fitted);
    EXPECT_EQ(reread.GetWidth(), quint32(c.Page.width()));
    EXPECT_EQ(reread.GetPixelFormat(), PixelFormat24bppRGB);
    EXPECT_FLOAT_EQ(reread.GetVerticalResolution(), 300);
  }
}

TEST(FittedPage, ReportsFailuresLikeSave) {
  TTestDir dir;
  TVellBitmap broken(dir.File(QStringLiteral("missing.tif")));
  EXPECT_NE(broken.SaveFittedPage(dir.File(QStringLiteral("a.tif")), 10, 10, {0, 0, 10, 10}, 300), Ok);
  TVellBitmap image(Gradient({8, 8}, QImage::Format_RGB32));
  EXPECT_EQ(
      image.SaveFittedPage(dir.Path() + QStringLiteral("no-such-folder/a.tif"), 10, 10, {0, 0, 10, 10}, 300),
      Win32Error);
  EXPECT_EQ(image.GetLastStatus(), Win32Error);
  EXPECT_EQ(image.SaveFittedPage(QString(), 10, 10, {0, 0, 10, 10}, 300), InvalidParameter);
}

} // namespace
