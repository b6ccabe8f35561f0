// The GIF format: signature at both offsets, the fixed image format and
// resolutions, colour reduction with the dither mode and the process-wide
// default, options, header information, files of ImageMagick.
#include "PicFormatTestSupport.h"

#include "PicFiles/GifFormat.h"
#include "PicFiles/JpgFormat.h"
#include "tests/support/TestFiles.h"

#include <QBuffer>

#include <gtest/gtest.h>

namespace {

void Load(TBasePicFormat &format, const QByteArray &bytes) {
  QBuffer buffer;
  buffer.setData(bytes);
  buffer.open(QIODevice::ReadOnly);
  format.LoadFromStream(buffer);
}

QImage PixelsOf(const TBasePicFormat &format) {
  TBitmap bitmap;
  format.AssignToBitmap(bitmap);
  return bitmap.Image().convertToFormat(QImage::Format_RGB32);
}

} // namespace

TEST(GifFormat, SignatureAtOffsetZeroOrFourWithoutRegardToCase) {
  struct TCase {
    QByteArray Bytes;
    bool Expected;
    qint64 Position; // after the last read
  };
  const TCase cases[] = {{"gif89a and more", true, 6},
                         {"GIF87a", true, 6},
                         {QByteArray(4, '\0') + "GIF89a..", true, 10},
                         {QByteArray(4, '\0') + "gIf", true, 7},
                         {"\x89PNG\r\n\x1a\n", false, 8},
                         {"GI", false, 2}};
  for (const TCase &c : cases) {
    QBuffer buffer;
    buffer.setData(c.Bytes);
    buffer.open(QIODevice::ReadOnly);
    EXPECT_EQ(TGifFormat().CanLoadFromStream(buffer), c.Expected) << c.Bytes.toStdString();
    EXPECT_EQ(buffer.pos(), c.Position) << c.Bytes.toStdString();
  }
}

TEST(GifFormat, PalettePictureWithoutResolutionWhateverComesIn) {
  TGifFormat format;
  format.SetXDotsPerInch(300);
  format.NewImage(12, 7, ifeTrueColor);
  EXPECT_EQ(format.GetWidth(), 12);
  EXPECT_EQ(format.GetHeight(), 7);
  EXPECT_EQ(format.GetImageFormat(), ifeColor256);
  EXPECT_EQ(format.GetXDotsPerInch(), 0);
  EXPECT_EQ(format.GetYDotsPerInch(), 0);

  TJpgFormat jpeg;
  jpeg.SetXDotsPerInch(300);
  jpeg.AssignFromBitmap(GradientBitmap(5, 5), nullptr);
  format.Assign(&jpeg);
  EXPECT_EQ(format.GetImageFormat(), ifeColor256);
  EXPECT_EQ(format.GetXDotsPerInch(), 0);
  EXPECT_EQ(format.GetWidth(), 5);
}

TEST(GifFormat, ColoursAreReducedWithTheAttributesDitherModeAndComeBackFromTheFile) {
  TGifAttr attr;
  attr.DitherMode = dmeStucki;
  attr.Compression = gceRLE;
  TGifFormat format;
  const TBitmap few = GradientBitmap(6, 5); // 30 colours: kept exactly
  format.AssignFromBitmap(few, &attr);
  EXPECT_EQ(format.GetDitherMode(), dmeStucki);
  EXPECT_EQ(format.GetCompression(), gceRLE);
  EXPECT_EQ(TGifGraphic::DefaultDitherMode, dmeStucki);
  EXPECT_EQ(PixelsOf(format), few.Image().convertToFormat(QImage::Format_RGB32));

  TGifFormat loaded;
  Load(loaded, Saved(format));
  EXPECT_EQ(PixelsOf(loaded), PixelsOf(format));

  TGifAttr filled;
  format.FillAttr(filled);
  EXPECT_EQ(filled.DitherMode, dmeStucki);
  EXPECT_EQ(filled.Compression, gceRLE);
  EXPECT_EQ(filled.ImageFormat, ifeColor256);

  // Without attributes the picture starts afresh with the current dither mode.
  format.AssignFromBitmap(few, nullptr);
  EXPECT_EQ(format.GetDitherMode(), dmeStucki);
  EXPECT_EQ(format.GetCompression(), gceLZW);

  TGifFormat copy;
  copy.Assign(&loaded);
  EXPECT_EQ(PixelsOf(copy), PixelsOf(format));
  TGifGraphic::DefaultDitherMode = dmeFloydSteinberg;
}

TEST(GifFormat, ReadInfoGivesSizeAndTableDepthAndLeavesTheResolution) {
  TTestDir dir;
  struct TCase {
    const char *Colours;
    int Bits;
  };
  for (const TCase &c : {TCase{"2", 1}, TCase{"16", 4}, TCase{"200", 8}}) {
    const QString file = dir.File(QStringLiteral("c%1.gif").arg(c.Colours));
    RunTool("convert", {"-size", "31x9", "plasma:", "-colors", c.Colours, file});
    QBuffer buffer;
    buffer.setData(ReadWholeFile(file));
    buffer.open(QIODevice::ReadOnly);
    TPicInfo info{0, 0, 0, 72, 96, {}};
    TGifFormat().ReadInfo(buffer, info);
    EXPECT_EQ(info.Width, 31);
    EXPECT_EQ(info.Height, 9);
    EXPECT_EQ(info.BitsPerPixel, c.Bits) << c.Colours;
    EXPECT_EQ(info.XDotsPerInch, 72);
    EXPECT_EQ(info.YDotsPerInch, 96);

    TGifFormat format;
    format.LoadFromFile(file);
    EXPECT_EQ(Rgba(PixelsOf(format)), MagickRgba(file));
  }
  QBuffer damaged;
  damaged.setData("GIF89a\x10\x00");
  damaged.open(QIODevice::ReadOnly);
  TPicInfo info;
  EXPECT_THROW(TGifFormat().ReadInfo(damaged, info), EGIFError);
}
