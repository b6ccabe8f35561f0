#include "PicFiles/VellHostGraphics.h"

#include "PicFormatTestSupport.h"

#include <QBuffer>

#include <gtest/gtest.h>

namespace {

QByteArray SavedBmp(const TBitmap &bitmap) {
  QBuffer stream;
  stream.open(QIODevice::WriteOnly);
  bitmap.SaveToStream(stream);
  return stream.data();
}

TBitmap LoadedBmp(const QByteArray &bytes) {
  QBuffer stream;
  stream.setData(bytes);
  stream.open(QIODevice::ReadOnly);
  TBitmap bitmap;
  bitmap.LoadFromStream(stream);
  return bitmap;
}

TEST(HostBitmap, DepthConversions) {
  // Every conversion keeps the size; palette depths hold fixed palettes and
  // take the nearest entry; 24 and 32 bits are exact.
  const TBitmap source = GradientBitmap(5, 3);
  struct TCase {
    int Depth;
    QList<QRgb> Palette;
  };
  for (const TCase &c : QList<TCase>{{1, {qRgb(0, 0, 0), qRgb(255, 255, 255)}},
                                     {4, StandardPalette16()},
                                     {8, HalftonePalette()},
                                     {15, {}},
                                     {16, {}},
                                     {24, {}},
                                     {32, {}}}) {
    SCOPED_TRACE(c.Depth);
    TBitmap bitmap = source;
    bitmap.SetPixelDepth(c.Depth);
    EXPECT_EQ(bitmap.PixelDepth(), c.Depth);
    EXPECT_EQ(bitmap.Image().size(), QSize(5, 3));
    EXPECT_EQ(bitmap.Palette(), c.Palette);
    if (c.Depth >= 24) {
      for (int x = 0; x < 5; ++x)
        EXPECT_EQ(bitmap.Image().pixel(x, 2), GradientColour(x, 2));
    }
  }
  EXPECT_EQ(HalftonePalette().size(), 256);
  EXPECT_EQ(QSet<QRgb>(HalftonePalette().cbegin(), HalftonePalette().cend()).size(), 256);

  // Nearest colours: a near red becomes red in 16 colours; a light grey
  // becomes white in 1 bit and the nearest grey level in 8 bits.
  QImage pixels(2, 1, QImage::Format_RGB32);
  pixels.setPixel(0, 0, qRgb(250, 0, 0));
  pixels.setPixel(1, 0, qRgb(200, 200, 200));
  TBitmap colours;
  colours.SetImage(pixels);
  TBitmap four = colours, one = colours, eight = colours;
  four.SetPixelDepth(4);
  one.SetPixelDepth(1);
  eight.SetPixelDepth(8);
  EXPECT_EQ(four.Image().pixel(0, 0), qRgb(255, 0, 0));
  EXPECT_EQ(one.Image().pixel(1, 0), qRgb(255, 255, 255));
  EXPECT_EQ(eight.Image().pixel(1, 0), qRgb(198, 198, 198));
  // The same depth changes nothing, a custom palette included.
  TBitmap custom(2, 1, 8);
  custom.SetPalette(QList<QRgb>(256, qRgb(1, 2, 3)));
  custom.SetPixelDepth(8);
  EXPECT_EQ(custom.Image().pixel(1, 0), qRgb(1, 2, 3));
}

TEST(HostBitmap, BmpFormKeepsDepthPaletteAndResolution) {
  for (const int depth : {1, 4, 8, 15, 16, 24, 32}) {
    SCOPED_TRACE(depth);
    TBitmap bitmap = GradientBitmap(7, 3, depth);
    if (depth == 4)
      bitmap.SetPalette(StandardPalette16().mid(0, 16));
    bitmap.XPelsPerMeter = 11811;
    bitmap.YPelsPerMeter = 3780;
    const TBitmap loaded = LoadedBmp(SavedBmp(bitmap));
    EXPECT_EQ(loaded.PixelDepth(), depth);
    EXPECT_EQ(loaded.Palette(), bitmap.Palette());
    EXPECT_EQ(loaded.Image().convertToFormat(QImage::Format_RGB32),
              bitmap.Image().convertToFormat(QImage::Format_RGB32));
    EXPECT_EQ(loaded.XPelsPerMeter, 11811);
    EXPECT_EQ(loaded.YPelsPerMeter, 3780);
  }
  EXPECT_THROW(LoadedBmp("BM"), EStreamError);
}

TEST(HostBitmap, DrawingOnAPaletteBitmapLandsInItsPalette) {
  TBitmap bitmap(4, 2, 4);
  {
    TBitmapCanvas canvas(bitmap);
    canvas.Handle().fillRect(0, 0, 2, 2, QColor(250, 250, 5));
  }
  EXPECT_EQ(bitmap.PixelDepth(), 4);
  EXPECT_EQ(bitmap.Image().pixel(1, 1), qRgb(255, 255, 0));
  EXPECT_EQ(bitmap.Image().pixel(3, 1), qRgb(0, 0, 0));

  // A transparent bitmap leaves its transparent colour undrawn.
  TBitmap sprite = GradientBitmap(2, 1);
  sprite.Transparent = true;
  sprite.TransparentColor = GradientColour(0, 0);
  QImage target(2, 1, QImage::Format_RGB32);
  target.fill(Qt::white);
  {
    QPainter painter(&target);
    TCanvas canvas(painter);
    canvas.Draw(0, 0, sprite);
  }
  EXPECT_EQ(target.pixel(0, 0), qRgb(255, 255, 255));
  EXPECT_EQ(target.pixel(1, 0), GradientColour(1, 0));
}

TEST(HostBitmap, HalftoneStretchAveragesAndKeepsTheBrushOrigin) {
  // A 4 x 1 source of black, white, black, white halves to two greys.
  QImage source(4, 1, QImage::Format_RGB32);
  for (int x = 0; x < 4; ++x)
    source.setPixel(x, 0, x % 2 ? qRgb(255, 255, 255) : qRgb(0, 0, 0));
  QImage target(3, 1, QImage::Format_RGB32);
  target.fill(Qt::red);
  QPainter sourcePainter(&source), targetPainter(&target);
  targetPainter.setBrushOrigin(3, 4);
  TCanvas from(sourcePainter), to(targetPainter);
  HalftoneStretchBlt(to, 1, 0, 2, 1, from, 0, 0, 4, 1);
  EXPECT_EQ(targetPainter.brushOrigin(), QPoint(3, 4));
  targetPainter.end();
  EXPECT_EQ(target.pixel(0, 0), qRgb(255, 0, 0));
  for (int x = 1; x < 3; ++x)
    EXPECT_NEAR(qGreen(target.pixel(x, 0)), 128, 1);
}

TEST(HostBitmap, PictureHolderAndClipboard) {
  TPicture holder;
  EXPECT_EQ(holder.Graphic(), nullptr);
  holder.Bitmap().SetSize(2, 2);
  EXPECT_EQ(holder.Graphic()->Width(), 2);

  const TBitmap original = GradientBitmap(3, 2);
  Clipboard().Assign(&original);
  EXPECT_TRUE(Clipboard().HasBitmap());
  TBitmap pasted;
  pasted.Assign(&Clipboard());
  EXPECT_EQ(pasted.Image().convertToFormat(QImage::Format_RGB32),
            original.Image().convertToFormat(QImage::Format_RGB32));
}

} // namespace
