// Content found by signature behind any file name, and files that are not
// decodable images.
#include "imaging/VellGDIPOBJ.h"
#include "tests/support/TestImages.h"
#include "tests/support/TestFiles.h"

#include <QBuffer>
#include <QImageWriter>
#include <gif_lib.h>
#include <gtest/gtest.h>

namespace {

// A 20 × 10 picture: left half red, right half blue, at 150 dpi.
QImage TwoColourPicture() {
  QImage image(20, 10, QImage::Format_RGB32);
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 20; ++x)
      image.setPixel(x, y, x < 10 ? qRgb(255, 0, 0) : qRgb(0, 0, 255));
  image.setDotsPerMeterX(5906); // 150.01 dpi
  image.setDotsPerMeterY(5906);
  return image;
}

QByteArray Encoded(const QImage &image, const char *format) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  QImageWriter writer(&buffer, format);
  writer.setQuality(95);
  EXPECT_TRUE(writer.write(image)) << writer.errorString().toStdString();
  return bytes;
}

// A two-colour GIF of the same picture (Qt writes no GIF).
QByteArray GifPicture(const QString &fileName) {
  int error = 0;
  GifFileType *gif = EGifOpenFileName(fileName.toLocal8Bit().constData(), false, &error);
  EXPECT_NE(gif, nullptr);
  GifColorType colours[2] = {{255, 0, 0}, {0, 0, 255}};
  ColorMapObject *map = GifMakeMapObject(2, colours);
  EGifPutScreenDesc(gif, 20, 10, 1, 0, map);
  EGifPutImageDesc(gif, 0, 0, 20, 10, false, nullptr);
  for (int y = 0; y < 10; ++y) {
    GifPixelType row[20];
    for (int x = 0; x < 20; ++x)
      row[x] = x < 10 ? 0 : 1;
    EGifPutLine(gif, row, 20);
  }
  EGifCloseFile(gif, &error);
  GifFreeMapObject(map);
  return ReadWholeFile(fileName);
}

TEST(FileInput, OtherFormatsBehindATiffNameAreDecodedBySignature) {
  struct TCase {
    const char *Format;
    float Dpi;
  };
  const TCase cases[] = {{"png", 150.01f}, {"jpeg", 150}, {"bmp", 150.01f}, {"gif", 0}};
  TTestDir dir;
  for (const TCase &c : cases) {
    const QString file = dir.File(QStringLiteral("%1.tif").arg(QLatin1String(c.Format)));
    if (QByteArray(c.Format) == "gif")
      GifPicture(file);
    else
      dir.Write(QStringLiteral("%1.tif").arg(QLatin1String(c.Format)), Encoded(TwoColourPicture(), c.Format));
    TVellBitmap bitmap(file);
    ASSERT_EQ(bitmap.GetLastStatus(), Ok) << c.Format << ": " << bitmap.GetLastErrorText().toStdString();
    EXPECT_EQ(bitmap.GetWidth(), 20u) << c.Format;
    EXPECT_EQ(bitmap.GetHeight(), 10u) << c.Format;
    EXPECT_NEAR(bitmap.GetHorizontalResolution(), c.Dpi, 0.01) << c.Format;
    EXPECT_NEAR(bitmap.GetVerticalResolution(), c.Dpi, 0.01) << c.Format;
    const QImage &pixels = *GdipImagePixels(bitmap.NativeImage());
    const QColor left = pixels.pixelColor(2, 5), right = pixels.pixelColor(17, 5);
    EXPECT_GT(left.red(), 230) << c.Format;
    EXPECT_LT(left.blue(), 25) << c.Format;
    EXPECT_GT(right.blue(), 230) << c.Format;
    EXPECT_LT(right.red(), 25) << c.Format;
  }
}

TEST(FileInput, ColourJpegIsTwentyFourBitRgb) {
  TTestDir dir;
  const QString file = dir.Write(QStringLiteral("photo.tif"), Encoded(TwoColourPicture(), "jpeg"));
  TVellBitmap bitmap(file);
  EXPECT_EQ(bitmap.GetPixelFormat(), PixelFormat24bppRGB);
}

QByteArray TruncatedTiff(const TTestDir &dir) {
  TTiffSpec spec;
  spec.Width = 300;
  spec.Height = 200;
  spec.Compression = COMPRESSION_LZW;
  spec.Photometric = PHOTOMETRIC_RGB;
  spec.SamplesPerPixel = 3;
  const QString file = dir.File(QStringLiteral("whole.tif"));
  WriteTiff(file, spec);
  return ReadWholeFile(file).left(2000);
}

TEST(FileInput, UndecodableFilesFailWithAReason) {
  struct TCase {
    const char *Name;
    QByteArray Bytes;
    GpStatus Status;
  };
  TTestDir dir;
  const TCase cases[] = {
      {"empty", QByteArray(), UnknownImageFormat},
      {"text", QByteArray("plain text, no picture"), UnknownImageFormat},
      {"tiff header only", QByteArray("II*\0", 4), UnknownImageFormat},
      {"truncated tiff", TruncatedTiff(dir), UnknownImageFormat},
      {"truncated png", Encoded(TwoColourPicture(), "png").left(60), UnknownImageFormat},
      {"huge tiff header", HandMadeTiff(100000, 100000), ValueOverflow},
      {"zero-width tiff", HandMadeTiff(0, 4), UnknownImageFormat},
  };
  for (const TCase &c : cases) {
    const QString file = dir.Write(QStringLiteral("bad.tif"), c.Bytes);
    TVellBitmap bitmap(file);
    EXPECT_EQ(bitmap.GetLastStatus(), c.Status) << c.Name;
    EXPECT_TRUE(bitmap.GetLastErrorText().contains(QStringLiteral("bad.tif"))) << c.Name;
    EXPECT_EQ(bitmap.GetWidth(), 0u) << c.Name;
    EXPECT_EQ(bitmap.GetHorizontalResolution(), 0.0f) << c.Name;
  }
}

TEST(FileInput, AHandMadeHeaderWithinTheLimitDecodes) {
  TTestDir dir;
  TVellBitmap bitmap(dir.Write(QStringLiteral("tiny.tif"), HandMadeTiff(2, 2)));
  ASSERT_EQ(bitmap.GetLastStatus(), Ok) << bitmap.GetLastErrorText().toStdString();
  EXPECT_EQ(bitmap.GetWidth(), 2u);
  EXPECT_EQ(GdipImagePixels(bitmap.NativeImage())->pixel(1, 1), qRgb(0x7F, 0x7F, 0x7F));
}

TEST(FileInput, FoldersAndMissingFilesAreNotFound) {
  TTestDir dir;
  for (const QString &path : {dir.Path(), dir.Path() + QStringLiteral("missing.tif"), QString()}) {
    TVellBitmap bitmap(path);
    EXPECT_EQ(bitmap.GetLastStatus(), FileNotFound) << path.toStdString();
  }
}

TEST(FileInput, PixelLimitRefusesLargerImages) {
  TTestDir dir;
  TTiffSpec spec; // 37 × 23 = 851 pixels
  const QString file = dir.File(QStringLiteral("limit.tif"));
  WriteTiff(file, spec);
  const QString png = dir.Write(QStringLiteral("limit.png"), Encoded(TwoColourPicture(), "png"));
  const qint64 previous = GdipPixelLimit();
  GdipSetPixelLimit(800);
  TVellBitmap tiff(file),
      picture(dir.Write(QStringLiteral("p.tif"), Encoded(QImage(30, 30, QImage::Format_RGB32), "png")));
  TVellBitmap page(40, 30, PixelFormat24bppRGB), fits(png);
  GdipSetPixelLimit(previous);
  EXPECT_EQ(tiff.GetLastStatus(), ValueOverflow);
  EXPECT_TRUE(tiff.GetLastErrorText().contains(QStringLiteral("800")));
  EXPECT_EQ(picture.GetLastStatus(), ValueOverflow);
  EXPECT_EQ(page.GetLastStatus(), ValueOverflow);
  EXPECT_EQ(fits.GetLastStatus(), Ok);
}

} // namespace
