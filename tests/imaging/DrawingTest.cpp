// Drawing surfaces: clearing, placement and the quality of scaled drawing.
#include "imaging/VellGDIPOBJ.h"

#include <QPainter>
#include <gtest/gtest.h>

namespace {

const QImage &Pixels(TVellImage &image) {
  return *GdipImagePixels(image.NativeImage());
}

// A one-pixel checkerboard of black and white.
QImage Checkerboard(int size, QImage::Format format) {
  QImage image(size, size, format);
  if (format == QImage::Format_Mono)
    image.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
  for (int y = 0; y < size; ++y)
    for (int x = 0; x < size; ++x)
      image.setPixel(x, y,
                     format == QImage::Format_Mono ? uint((x + y) % 2)
                                                   : ((x + y) % 2 ? 0xFFFFFFFFu : 0xFF000000u));
  return image;
}

// Smallest and largest grey level of an image.
std::pair<int, int> GreyRange(const QImage &image) {
  int low = 255, high = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) {
      const int grey = qGray(image.pixel(x, y));
      low = std::min(low, grey), high = std::max(high, grey);
    }
  return {low, high};
}

TEST(Drawing, ReducingAFineCheckerboardGivesMidGrey) {
  for (QImage::Format format : {QImage::Format_Mono, QImage::Format_RGB32}) {
    TVellBitmap source(Checkerboard(200, format));
    TVellBitmap page(50, 50, PixelFormat24bppRGB);
    TVellGraphics graphics(&page);
    ASSERT_EQ(graphics.DrawImage(&source, 0, 0, 50, 50), Ok);
    const auto [low, high] = GreyRange(Pixels(page));
    EXPECT_GE(low, 118) << format;
    EXPECT_LE(high, 138) << format;
  }
}

TEST(Drawing, NearestNeighbourModePicksSinglePixels) {
  TVellBitmap source(Checkerboard(200, QImage::Format_RGB32));
  TVellBitmap page(67, 67, PixelFormat24bppRGB);
  TVellGraphics graphics(&page);
  ASSERT_EQ(graphics.SetSmoothing(false), Ok);
  ASSERT_EQ(graphics.DrawImage(&source, 0, 0, 67, 67), Ok);
  const auto [low, high] = GreyRange(Pixels(page));
  EXPECT_EQ(low, 0);
  EXPECT_EQ(high, 255);
}

TEST(Drawing, EnlargingInterpolatesBetweenPixels) {
  QImage pair(2, 1, QImage::Format_RGB32);
  pair.setPixel(0, 0, qRgb(0, 0, 0));
  pair.setPixel(1, 0, qRgb(255, 255, 255));
  TVellBitmap source(pair);
  TVellBitmap page(100, 1, PixelFormat24bppRGB);
  TVellGraphics graphics(&page);
  ASSERT_EQ(graphics.DrawImage(&source, 0, 0, 100, 1), Ok);
  int previous = -1, intermediate = 0;
  for (int x = 0; x < 100; ++x) {
    const int grey = qGray(Pixels(page).pixel(x, 0));
    EXPECT_GE(grey, previous) << x;
    intermediate += grey > 10 && grey < 245;
    previous = grey;
  }
  EXPECT_GT(intermediate, 30);
}

TEST(Drawing, ClearAndPlacementOnAPage) {
  QImage red(10, 6, QImage::Format_RGB32);
  red.fill(qRgb(255, 0, 0));
  TVellBitmap source(red);
  TVellBitmap page(40, 30, PixelFormat24bppRGB);
  TVellGraphics graphics(&page);
  ASSERT_EQ(graphics.Clear(0xFFFFFFFF), Ok);
  ASSERT_EQ(graphics.DrawImage(&source, 5, 7, 20, 12), Ok);
  ASSERT_EQ(graphics.DrawImage(&source, 30, 0), Ok);
  const QImage &pixels = Pixels(page);
  EXPECT_EQ(pixels.pixel(0, 0), qRgb(255, 255, 255));
  EXPECT_EQ(pixels.pixel(5, 7), qRgb(255, 0, 0));
  EXPECT_EQ(pixels.pixel(24, 18), qRgb(255, 0, 0));
  EXPECT_EQ(pixels.pixel(4, 7), qRgb(255, 255, 255));
  EXPECT_EQ(pixels.pixel(25, 18), qRgb(255, 255, 255));
  EXPECT_EQ(pixels.pixel(24, 19), qRgb(255, 255, 255));
  EXPECT_EQ(pixels.pixel(39, 5), qRgb(255, 0, 0));
  EXPECT_EQ(pixels.pixel(39, 6), qRgb(255, 255, 255));
}

TEST(Drawing, SourceRectangleAndMirroring) {
  QImage halves(4, 2, QImage::Format_RGB32);
  for (int x = 0; x < 4; ++x)
    for (int y = 0; y < 2; ++y)
      halves.setPixel(x, y, x < 2 ? qRgb(0, 0, 255) : qRgb(0, 255, 0));
  TVellBitmap source(halves);
  TVellBitmap page(8, 4, PixelFormat32bppARGB);
  TVellGraphics graphics(&page);
  ASSERT_EQ(graphics.DrawImage(&source, Rect{0, 0, 4, 4}, 2, 0, 2, 2, UnitPixel), Ok);
  ASSERT_EQ(graphics.DrawImage(&source, 8, 0, -4, 4), Ok);
  const QImage &pixels = Pixels(page);
  EXPECT_EQ(pixels.pixel(1, 1), qRgb(0, 255, 0));
  EXPECT_EQ(pixels.pixel(4, 1), qRgb(0, 255, 0)); // the mirrored right half lands on the left
  EXPECT_EQ(pixels.pixel(7, 1), qRgb(0, 0, 255));
  EXPECT_EQ(graphics.DrawImage(&source, Rect{0, 0, 4, 4}, 3, 0, 2, 2, UnitPixel), InvalidParameter);
  EXPECT_EQ(graphics.DrawImage(&source, Rect{0, 0, 4, 4}, 0, 0, 2, 2, UnitInch), NotImplemented);
}

TEST(Drawing, SurfacesOpenOnEveryDirectFormat) {
  for (PixelFormat format :
       {PixelFormat16bppGrayScale, PixelFormat24bppRGB, PixelFormat32bppRGB, PixelFormat32bppARGB,
        PixelFormat32bppPARGB, PixelFormat48bppRGB, PixelFormat64bppARGB}) {
    TVellBitmap bitmap(4, 4, format);
    TVellGraphics graphics(&bitmap);
    ASSERT_EQ(graphics.GetLastStatus(), Ok) << format;
    EXPECT_EQ(graphics.Clear(0xFF808080), Ok) << format;
    EXPECT_EQ(qGray(GdipImagePixels(bitmap.NativeImage())->pixel(3, 3)), 0x80) << format;
  }
}

TEST(Drawing, PlatformBitmapIsCopiedNotShared) {
  QImage platform(4, 4, QImage::Format_RGB32);
  platform.fill(qRgb(0, 0, 0));
  TVellBitmap bitmap(platform);
  {
    TVellGraphics graphics(&bitmap);
    graphics.Clear(0xFFFFFFFF);
  }
  platform.setPixel(0, 0, qRgb(255, 0, 0));
  EXPECT_EQ(platform.pixel(1, 1), qRgb(0, 0, 0));
  EXPECT_EQ(GdipImagePixels(bitmap.NativeImage())->pixel(0, 0), qRgb(255, 255, 255));
}

TEST(Drawing, IndexedBitmapsCannotBeDrawnInto) {
  TVellBitmap bilevel(8, 8, PixelFormat1bppIndexed);
  TVellGraphics graphics(&bilevel);
  EXPECT_EQ(graphics.GetLastStatus(), WrongState);
  EXPECT_EQ(graphics.Clear(0xFFFFFFFF), InvalidParameter);
}

TEST(Drawing, LentPainterMakesTheSurfaceBusy) {
  QImage device(10, 10, QImage::Format_RGB32);
  {
    TVellGraphics graphics(&device);
    ASSERT_EQ(graphics.GetLastStatus(), Ok);
    QPainter *painter = graphics.GetHDC();
    ASSERT_NE(painter, nullptr);
    painter->fillRect(0, 0, 10, 10, Qt::green);
    EXPECT_EQ(graphics.Clear(0xFF0000FF), ObjectBusy);
    graphics.ReleaseHDC(painter);
    EXPECT_EQ(graphics.GetLastStatus(), ObjectBusy); // a later success keeps the failure
    EXPECT_EQ(graphics.Clear(0xFF0000FF), Ok);
    EXPECT_EQ(graphics.SetInterpolationMode(InterpolationMode(42)), InvalidParameter);
  }
  EXPECT_EQ(device.pixel(3, 3), qRgb(0, 0, 255));
}

} // namespace
