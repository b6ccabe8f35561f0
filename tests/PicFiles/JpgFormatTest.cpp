// The JPEG format: signature, header information with the density rules,
// the NewImage mapping, options through attributes and files, files of
// independent writers.
#include "PicFormatTestSupport.h"

#include "PicFiles/GifFormat.h"
#include "PicFiles/JpgFormat.h"
#include "PicFiles/PicFilesStartup.h"
#include "tests/support/TestFiles.h"

#include <QBuffer>

#include <gtest/gtest.h>

namespace {

QByteArray JpegOf(const TBitmap &bitmap) {
  TJpgFormat format;
  format.AssignFromBitmap(bitmap, nullptr);
  return Saved(format);
}

// The same file with the JFIF density unit and densities replaced.
QByteArray WithDensity(QByteArray jpeg, quint8 unit, quint16 x, quint16 y) {
  EXPECT_EQ(jpeg.mid(6, 5), QByteArray("JFIF\0", 5));
  jpeg[13] = char(unit);
  jpeg[14] = char(x >> 8);
  jpeg[15] = char(x & 0xFF);
  jpeg[16] = char(y >> 8);
  jpeg[17] = char(y & 0xFF);
  return jpeg;
}

TPicInfo InfoOf(const QByteArray &bytes) {
  QBuffer buffer;
  buffer.setData(bytes);
  buffer.open(QIODevice::ReadOnly);
  TPicInfo info{-1, -1, -1, 1, 1, {}};
  TJpgFormat().ReadInfo(buffer, info);
  return info;
}

} // namespace

TEST(JpgFormat, SignatureNeedsFourBytesAndKeepsThePosition) {
  struct TCase {
    QByteArray Bytes;
    bool Expected;
  };
  const TCase cases[] = {{"\xFF\xD8\xFF", false},
                         {"\xFF\xD8\xFF\xE1", true},
                         {"\xFF\xD8\xFF\xE1 more", true},
                         {"\xD8\xFF\xFF\xE1", false}};
  for (const TCase &c : cases) {
    QBuffer buffer;
    buffer.setData(c.Bytes);
    buffer.open(QIODevice::ReadOnly);
    buffer.seek(c.Bytes.size() > 3 ? 2 : 1);
    const qint64 before = buffer.pos();
    EXPECT_EQ(TJpgFormat().CanLoadFromStream(buffer), c.Expected) << c.Bytes.toHex().toStdString();
    EXPECT_EQ(buffer.pos(), before);
  }
}

TEST(JpgFormat, ReadInfoTakesSizeDepthAndDensityByUnit) {
  const QByteArray colour = JpegOf(GradientBitmap(6, 4));
  struct TCase {
    quint8 Unit;
    quint16 X, Y;
    quint16 ExpectedX, ExpectedY;
  };
  // 75 and 25 dots per centimetre are 190.5 and 63.5 dots per inch: ties go to the even neighbour.
  const TCase cases[] = {
      {2, 118, 118, 300, 300}, {2, 75, 25, 190, 64}, {0, 72, 72, 0, 0}, {1, 200, 150, 200, 150}};
  for (const TCase &c : cases) {
    const TPicInfo info = InfoOf(WithDensity(colour, c.Unit, c.X, c.Y));
    EXPECT_EQ(info.Width, 6);
    EXPECT_EQ(info.Height, 4);
    EXPECT_EQ(info.BitsPerPixel, 24);
    EXPECT_EQ(info.XDotsPerInch, c.ExpectedX) << int(c.Unit) << " " << c.X;
    EXPECT_EQ(info.YDotsPerInch, c.ExpectedY) << int(c.Unit) << " " << c.Y;
    EXPECT_EQ(info.Operations, TPicOperations({poLoad, poSave}));
  }
  TBitmap grey = GradientBitmap(6, 4);
  TJpgFormat format;
  format.AssignFromBitmap(grey, nullptr);
  format.NewImage(6, 4, ifeGray256);
  EXPECT_EQ(InfoOf(Saved(format)).BitsPerPixel, 8);

  TTestDir dir;
  const QString cmyk = dir.File("cmyk.jpg");
  RunTool("convert", {"-size", "5x3", "xc:orange", "-colorspace", "CMYK", cmyk});
  EXPECT_EQ(InfoOf(ReadWholeFile(cmyk)).BitsPerPixel, 24);
  EXPECT_THROW(InfoOf("\xFF\xD8\xFF\xE0 not a header"), EJPEG);
}

TEST(JpgFormat, NewImageMapsFormatsToGreyOrTrueColourKeepingTheResolution) {
  const QList<QPair<TImageFormatEnum, TImageFormatEnum>> cases{
      {ifeBlackWhite, ifeGray256}, {ifeGray16, ifeGray256},     {ifeGray256, ifeGray256},
      {ifeColor16, ifeTrueColor},  {ifeColor256, ifeTrueColor}, {ifeTrueColor, ifeTrueColor}};
  for (const auto &[asked, expected] : cases) {
    TJpgFormat format;
    format.SetXDotsPerInch(123);
    format.NewImage(10, 10, asked);
    EXPECT_EQ(format.GetImageFormat(), expected) << int(asked);
    EXPECT_EQ(format.GetWidth(), 10);
    EXPECT_EQ(format.GetHeight(), 10);
    EXPECT_EQ(format.GetXDotsPerInch(), 123);
  }
}

TEST(JpgFormat, OptionsComeFromAttributesAndGoIntoTheFile) {
  TJpgFormat format;
  EXPECT_EQ(format.GetSaveQuality(), 80);
  EXPECT_FALSE(format.GetSaveProgressive());
  EXPECT_FALSE(format.GetOptimizedHuffmanCodes());
  EXPECT_TRUE(format.IsFeatureSupported());

  TJpgAttr attr;
  attr.SaveQuality = 30;
  attr.SaveProgressive = true;
  attr.OptimizedHuffmanCodes = true;
  attr.XDotsPerInch = 200;
  attr.YDotsPerInch = 100;
  attr.ImageFormat = ifeTrueColor;
  format.AssignFromBitmap(GradientBitmap(20, 10), &attr);
  TTestDir dir;
  const QString file = dir.File("options/picture.jpg");
  format.SaveToFile(file);
  const QByteArray bytes = ReadWholeFile(file);
  EXPECT_TRUE(bytes.contains("\xFF\xC2")); // progressive frame
  EXPECT_EQ(RunTool("identify", {"-format", "%Q %x %y", file}), "30 200 100");

  TJpgAttr filled;
  format.FillAttr(filled);
  EXPECT_EQ(filled.SaveQuality, 30);
  EXPECT_TRUE(filled.SaveProgressive);
  EXPECT_TRUE(filled.OptimizedHuffmanCodes);
  EXPECT_EQ(filled.XDotsPerInch, 200);

  TJpgFormat copy;
  copy.Assign(&format);
  EXPECT_EQ(copy.GetSaveQuality(), 30);
  EXPECT_TRUE(copy.GetSaveProgressive());
}

TEST(JpgFormat, LoadsWhatCjpegWritesToDjpegsPixels) {
  TTestDir dir;
  const QString source = dir.File("source.ppm");
  RunTool("convert", {"-size", "17x9", "gradient:yellow-navy", source});
  for (const bool grey : {false, true}) {
    const QString file = dir.File(grey ? "grey.jpg" : "colour.jpg");
    RunTool("cjpeg",
            (grey ? QStringList{"-grayscale"} : QStringList{}) + QStringList{"-outfile", file, source});
    TJpgFormat format;
    format.LoadFromFile(file);
    EXPECT_EQ(format.GetImageFormat(), grey ? ifeGray256 : ifeTrueColor);
    TBitmap bitmap;
    format.AssignToBitmap(bitmap);
    EXPECT_EQ(bitmap.PixelDepth(), grey ? 8 : 24);
    EXPECT_EQ(Rgba(bitmap.Image()), Rgba(QImage::fromData(RunTool("djpeg", {"-pnm", file}), "PPM")));
  }
  TJpgFormat format;
  QBuffer truncated;
  truncated.setData(JpegOf(GradientBitmap(30, 30)).left(200));
  truncated.open(QIODevice::ReadOnly);
  EXPECT_THROW(format.LoadFromStream(truncated), EJPEG);
}

TEST(PicFilesStartup, RegistersJpegThenGif) {
  PicFilesShutdown();
  PicFilesStartup();
  QList<const TMetaClass *> classes;
  for (int i = 0; i < PicFormatClassList().Count(); ++i)
    classes.append(&PicFormatClassList().Items(i));
  const qsizetype jpeg = classes.indexOf(&TJpgFormat::StaticClass());
  EXPECT_GE(jpeg, 0);
  EXPECT_EQ(classes.indexOf(&TGifFormat::StaticClass()), jpeg + 1);
  PicFilesShutdown();
}
