// The encoders: default TIFF options, compression choice, resolution tags,
// the encoder list and failures that must leave nothing behind.
#include "imaging/VellGDIPOBJ.h"
#include "tests/support/TestImages.h"
#include "tests/support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>

namespace {

CLSID Encoder(const char *mimeType) {
  CLSID clsid;
  EXPECT_GE(GetEncoderClsid(QString::fromLatin1(mimeType), clsid), 0) << mimeType;
  return clsid;
}

TEST(EncoderList, FindsEncodersByExactMimeType) {
  quint32 count = 0, size = 0;
  ASSERT_EQ(GdipGetImageEncodersSize(&count, &size), Ok);
  std::vector<ImageCodecInfo> encoders(count);
  ASSERT_EQ(GdipGetImageEncoders(count, size, encoders.data()), Ok);
  for (const char *mime : {"image/tiff", "image/png", "image/jpeg", "image/bmp", "image/gif"}) {
    CLSID clsid;
    const int index = GetEncoderClsid(QString::fromLatin1(mime), clsid);
    ASSERT_GE(index, 0) << mime;
    EXPECT_EQ(QString::fromUtf16(encoders[size_t(index)].MimeType), QLatin1String(mime));
    EXPECT_EQ(encoders[size_t(index)].Clsid, clsid);
  }
  const CLSID untouched = QUuid::createUuid();
  for (const char *mime : {"image/TIFF", "image/tif", ""}) {
    CLSID clsid = untouched;
    EXPECT_EQ(GetEncoderClsid(QString::fromLatin1(mime), clsid), -1) << mime;
    EXPECT_EQ(clsid, untouched) << mime;
  }
  EXPECT_EQ(GdipGetImageEncoders(count, size - 1, encoders.data()), InsufficientBuffer);
}

struct TEncodeCase {
  const char *Name;
  PixelFormat Format;
  quint16 BitsPerSample, SamplesPerPixel, Photometric, Compression;
};

// New bitmaps of each format: the default compression and the layout written.
TEST(TiffEncode, DefaultsPerPixelFormat) {
  const TEncodeCase cases[] = {
      {"bilevel", PixelFormat1bppIndexed, 1, 1, PHOTOMETRIC_MINISBLACK, COMPRESSION_CCITTFAX4},
      {"palette 4", PixelFormat4bppIndexed, 4, 1, PHOTOMETRIC_PALETTE, COMPRESSION_LZW},
      {"palette 8", PixelFormat8bppIndexed, 8, 1, PHOTOMETRIC_PALETTE, COMPRESSION_LZW},
      {"grey 16", PixelFormat16bppGrayScale, 16, 1, PHOTOMETRIC_MINISBLACK, COMPRESSION_LZW},
      {"rgb 24", PixelFormat24bppRGB, 8, 3, PHOTOMETRIC_RGB, COMPRESSION_LZW},
      {"rgb 32", PixelFormat32bppRGB, 8, 3, PHOTOMETRIC_RGB, COMPRESSION_LZW},
      {"argb 32", PixelFormat32bppARGB, 8, 4, PHOTOMETRIC_RGB, COMPRESSION_LZW},
      {"pargb 32", PixelFormat32bppPARGB, 8, 4, PHOTOMETRIC_RGB, COMPRESSION_LZW},
      {"rgb 48", PixelFormat48bppRGB, 16, 3, PHOTOMETRIC_RGB, COMPRESSION_LZW},
      {"argb 64", PixelFormat64bppARGB, 16, 4, PHOTOMETRIC_RGB, COMPRESSION_LZW},
  };
  TTestDir dir;
  for (const TEncodeCase &c : cases) {
    TVellBitmap bitmap(21, 13, c.Format);
    ASSERT_EQ(bitmap.SetResolution(300, 150), Ok) << c.Name;
    const QString file = dir.File(QStringLiteral("%1.tif").arg(QLatin1String(c.Name)));
    ASSERT_EQ(bitmap.Save(file, Encoder("image/tiff")), Ok)
        << c.Name << bitmap.GetLastErrorText().toStdString();
    const TTiffTags tags = ReadTiffTags(file);
    ASSERT_TRUE(tags.Opened) << c.Name;
    EXPECT_EQ(tags.Width, 21u) << c.Name;
    EXPECT_EQ(tags.Height, 13u) << c.Name;
    EXPECT_EQ(tags.BitsPerSample, c.BitsPerSample) << c.Name;
    EXPECT_EQ(tags.SamplesPerPixel, c.SamplesPerPixel) << c.Name;
    EXPECT_EQ(tags.Photometric, c.Photometric) << c.Name;
    EXPECT_EQ(tags.Compression, c.Compression) << c.Name;
    EXPECT_EQ(tags.Unit, RESUNIT_INCH) << c.Name;
    EXPECT_FLOAT_EQ(tags.XResolution, 300) << c.Name;
    EXPECT_FLOAT_EQ(tags.YResolution, 150) << c.Name;
  }
}

TEST(TiffEncode, BilevelScanStaysBilevelWithGroup4) {
  TTiffSpec spec;
  spec.Photometric = PHOTOMETRIC_MINISWHITE;
  spec.BitsPerSample = 1;
  spec.Compression = COMPRESSION_PACKBITS;
  spec.Width = 1000; // wide enough to show Group 4 beats the raw bits
  TTestDir dir;
  const QString source = dir.File(QStringLiteral("scan.tif")), copy = dir.File(QStringLiteral("copy.tif"));
  WriteTiff(source, spec);
  TVellBitmap scan(source);
  ASSERT_EQ(scan.Save(copy, Encoder("image/tiff")), Ok);
  const TTiffTags tags = ReadTiffTags(copy);
  EXPECT_EQ(tags.BitsPerSample, 1);
  EXPECT_EQ(tags.Photometric, PHOTOMETRIC_MINISWHITE);
  EXPECT_EQ(tags.Compression, COMPRESSION_CCITTFAX4);
  TVellBitmap again(copy);
  EXPECT_EQ(LargestPatternDifference(*GdipImagePixels(again.NativeImage()), spec), 0);
}

TEST(TiffEncode, CompressionParameterIsHonoured) {
  struct TCase {
    PixelFormat Format;
    quint32 Value;
    GpStatus Status;
    quint16 Compression;
  };
  const TCase cases[] = {
      {PixelFormat24bppRGB, EncoderValueCompressionNone, Ok, COMPRESSION_NONE},
      {PixelFormat24bppRGB, EncoderValueCompressionRle, Ok, COMPRESSION_PACKBITS},
      {PixelFormat1bppIndexed, EncoderValueCompressionCCITT3, Ok, COMPRESSION_CCITTFAX3},
      {PixelFormat1bppIndexed, EncoderValueCompressionLZW, Ok, COMPRESSION_LZW},
      {PixelFormat24bppRGB, EncoderValueCompressionCCITT4, InvalidParameter, 0},
  };
  TTestDir dir;
  for (const TCase &c : cases) {
    TVellBitmap bitmap(16, 8, c.Format);
    quint32 value = c.Value;
    EncoderParameters params;
    params.Count = 1;
    params.Parameter[0] = {EncoderCompression, 1, EncoderParameterValueTypeLong, &value};
    const QString file = dir.File(QStringLiteral("c%1.tif").arg(c.Value));
    EXPECT_EQ(bitmap.Save(file, Encoder("image/tiff"), &params), c.Status) << c.Value;
    if (c.Status == Ok)
      EXPECT_EQ(ReadTiffTags(file).Compression, c.Compression) << c.Value;
    else
      EXPECT_FALSE(QFile::exists(file));
  }
}

TEST(TiffEncode, ImageWithoutResolutionIsWrittenWithTheScreenResolution) {
  TTiffSpec spec;
  spec.Unit = 0;
  TTestDir dir;
  const QString source = dir.File(QStringLiteral("nores.tif")), copy = dir.File(QStringLiteral("copy.tif"));
  WriteTiff(source, spec);
  TVellBitmap image(source);
  ASSERT_EQ(image.GetHorizontalResolution(), 0.0f);
  ASSERT_EQ(image.Save(copy, Encoder("image/tiff")), Ok);
  EXPECT_FLOAT_EQ(ReadTiffTags(copy).XResolution, VellScreenResolution());
}

TEST(TiffEncode, SavingOverTheSourceReplacesItWhole) {
  TTiffSpec spec;
  spec.Compression = COMPRESSION_NONE;
  TTestDir dir;
  const QString file = dir.File(QStringLiteral("same.tif"));
  WriteTiff(file, spec);
  {
    TVellBitmap image(file);
    ASSERT_EQ(image.Save(file, Encoder("image/tiff")), Ok);
  }
  EXPECT_EQ(ReadTiffTags(file).Compression, COMPRESSION_LZW);
  TVellBitmap again(file);
  EXPECT_EQ(LargestPatternDifference(*GdipImagePixels(again.NativeImage()), spec), 0);
  EXPECT_EQ(QDir(dir.Path()).entryList(QDir::Files), QStringList{QStringLiteral("same.tif")});
}

TEST(TiffEncode, UnwritableTargetFailsAndLeavesNothing) {
  TTestDir dir;
  TVellBitmap page(8, 8, PixelFormat24bppRGB);
  const QString file = dir.Path() + QStringLiteral("missing/folder/page.tif");
  EXPECT_EQ(page.Save(file, Encoder("image/tiff")), Win32Error);
  EXPECT_TRUE(page.GetLastErrorText().contains(QStringLiteral("page.tif")));
  EXPECT_FALSE(QFile::exists(file));
  EXPECT_EQ(page.Save(dir.File(QStringLiteral("x.tif")), QUuid::createUuid()), FileNotFound);
}

// Pages of different size, format, compression and resolution in one file,
// each as libtiff reads it back; the file appears only when committed.
TEST(PageWriter, WritesSeveralPagesIntoOneTiff) {
  TTestDir dir;
  const QString file = dir.File(QStringLiteral("pages.tif"));
  TVellBitmap bilevel(40, 30, PixelFormat1bppIndexed), grey(16, 50, PixelFormat16bppGrayScale);
  TVellBitmap colour(25, 10, PixelFormat24bppRGB);
  bilevel.SetResolution(300, 300);
  grey.SetResolution(150, 75);
  colour.SetResolution(200, 200);
  quint32 none = EncoderValueCompressionNone;
  EncoderParameters uncompressed;
  uncompressed.Count = 1;
  uncompressed.Parameter[0] = {EncoderCompression, 1, EncoderParameterValueTypeLong, &none};
  {
    TVellPageWriter writer(file, Encoder("image/tiff"));
    ASSERT_EQ(writer.GetLastStatus(), Ok);
    ASSERT_EQ(writer.AddImage(&bilevel), Ok);
    ASSERT_EQ(writer.AddImage(&grey, &uncompressed), Ok);
    ASSERT_EQ(writer.AddFittedPage(&colour, 60, 80, Rect{5, 10, 50, 20}, 100), Ok)
        << writer.GetLastErrorText().toStdString();
    EXPECT_FALSE(QFile::exists(file));
    ASSERT_EQ(writer.Commit(), Ok) << writer.GetLastErrorText().toStdString();
  }
  struct TPage {
    quint32 Width, Height;
    quint16 Bits, Samples, Compression;
    float XDpi, YDpi;
  };
  const TPage expected[] = {{40, 30, 1, 1, COMPRESSION_CCITTFAX4, 300, 300},
                            {16, 50, 16, 1, COMPRESSION_NONE, 150, 75},
                            {60, 80, 8, 3, COMPRESSION_LZW, 100, 100}};
  TIFF *tif = TIFFOpen(QFile::encodeName(file).constData(), "r");
  ASSERT_NE(tif, nullptr);
  EXPECT_EQ(TIFFNumberOfDirectories(tif), 3);
  for (tdir_t page = 0; page < 3; ++page) {
    ASSERT_TRUE(TIFFSetDirectory(tif, page));
    const TPage &e = expected[page];
    quint32 width = 0, height = 0;
    quint16 bits = 0, samples = 0, compression = 0;
    float x = 0, y = 0;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &height);
    TIFFGetField(tif, TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetField(tif, TIFFTAG_SAMPLESPERPIXEL, &samples);
    TIFFGetField(tif, TIFFTAG_COMPRESSION, &compression);
    TIFFGetField(tif, TIFFTAG_XRESOLUTION, &x);
    TIFFGetField(tif, TIFFTAG_YRESOLUTION, &y);
    EXPECT_EQ(width, e.Width) << page;
    EXPECT_EQ(height, e.Height) << page;
    EXPECT_EQ(bits, e.Bits) << page;
    EXPECT_EQ(samples, e.Samples) << page;
    EXPECT_EQ(compression, e.Compression) << page;
    EXPECT_FLOAT_EQ(x, e.XDpi) << page;
    EXPECT_FLOAT_EQ(y, e.YDpi) << page;
  }
  TIFFClose(tif);
  TVellBitmap last(TFilePage{file, 2});
  ASSERT_EQ(last.GetLastStatus(), Ok);
  EXPECT_EQ(GdipImagePixels(last.NativeImage())->pixel(2, 2), qRgb(255, 255, 255));
  EXPECT_EQ(GdipImagePixels(last.NativeImage())->pixel(30, 20), qRgb(0, 0, 0));
}

// A writer that is not committed, or whose page failed, leaves the file that
// was there before as it was.
TEST(PageWriter, AnUncommittedOrFailedWriterLeavesTheOldFile) {
  TTestDir dir;
  const QString file = dir.Write(QStringLiteral("old.tif"), "old content");
  TVellBitmap colour(8, 8, PixelFormat24bppRGB);
  {
    TVellPageWriter writer(file, Encoder("image/tiff"));
    ASSERT_EQ(writer.AddImage(&colour), Ok);
  }
  EXPECT_EQ(ReadWholeFile(file), "old content");
  quint32 g4 = EncoderValueCompressionCCITT4;
  EncoderParameters fax;
  fax.Count = 1;
  fax.Parameter[0] = {EncoderCompression, 1, EncoderParameterValueTypeLong, &g4};
  TVellPageWriter writer(file, Encoder("image/tiff"));
  ASSERT_EQ(writer.AddImage(&colour), Ok);
  EXPECT_EQ(writer.AddImage(&colour, &fax), InvalidParameter);
  EXPECT_EQ(writer.Commit(), WrongState);
  EXPECT_EQ(ReadWholeFile(file), "old content");
  EXPECT_EQ(QDir(dir.Path()).entryList(QDir::Files), QStringList{QStringLiteral("old.tif")});
}

// Formats of one image refuse a second page.
TEST(PageWriter, SingleImageFormatsTakeOnePage) {
  TTestDir dir;
  TVellBitmap colour(8, 8, PixelFormat24bppRGB);
  TVellPageWriter writer(dir.File(QStringLiteral("one.png")), Encoder("image/png"));
  ASSERT_EQ(writer.AddImage(&colour), Ok);
  EXPECT_EQ(writer.AddImage(&colour), NotImplemented);
}

// A source's profile goes into the page written for it where it describes
// the page's colour space: an RGB profile onto the RGB page, a grey one not.
TEST(PageWriter, CarriesAFittingColourProfile) {
  struct TCase {
    const char *Space;
    quint16 Photometric, Samples;
    bool Carried;
  };
  const TCase cases[] = {{"RGB ", PHOTOMETRIC_RGB, 3, true}, {"GRAY", PHOTOMETRIC_MINISBLACK, 1, false}};
  for (const TCase &c : cases) {
    TTiffSpec spec;
    spec.Photometric = c.Photometric;
    spec.SamplesPerPixel = c.Samples;
    spec.IccProfile = IccProfileStub(c.Space);
    TTestDir dir;
    const QString source = dir.File(QStringLiteral("source.tif")), page = dir.File(QStringLiteral("page.tif"));
    const QString copy = dir.File(QStringLiteral("copy.tif"));
    WriteTiff(source, spec);
    TVellBitmap image(source);
    ASSERT_EQ(image.SaveFittedPage(page, 60, 80, Rect{5, 10, 50, 40}, 100), Ok) << c.Space;
    EXPECT_EQ(ReadTiffTags(page).IccProfile, c.Carried ? spec.IccProfile : QByteArray()) << c.Space;
    ASSERT_EQ(image.Save(copy, Encoder("image/tiff")), Ok) << c.Space;
    EXPECT_EQ(ReadTiffTags(copy).IccProfile, spec.IccProfile) << c.Space << ": kept when saved as loaded";
  }
}

TEST(QtEncoders, PngJpegBmpRoundTrip) {
  TTestDir dir;
  QImage picture(12, 6, QImage::Format_RGB32);
  picture.fill(qRgb(10, 200, 90));
  TVellBitmap bitmap(picture);
  ASSERT_EQ(bitmap.SetResolution(200, 200), Ok);
  for (const char *mime : {"image/png", "image/jpeg", "image/bmp"}) {
    const QString file = dir.File(QStringLiteral("out.tif"));
    ASSERT_EQ(bitmap.Save(file, Encoder(mime)), Ok) << mime;
    TVellBitmap again(file);
    ASSERT_EQ(again.GetLastStatus(), Ok) << mime;
    EXPECT_NEAR(again.GetHorizontalResolution(), 200, 0.1) << mime;
    const QColor colour = GdipImagePixels(again.NativeImage())->pixelColor(5, 3);
    EXPECT_NEAR(colour.green(), 200, 4) << mime;
    EXPECT_NEAR(colour.red(), 10, 4) << mime;
  }
}

TEST(QtEncoders, JpegQualityParameterIsHonoured) {
  QImage noise(64, 64, QImage::Format_RGB32);
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 64; ++x)
      noise.setPixel(x, y, qRgb((x * 37 + y * 11) % 256, (x * y) % 256, (x ^ y) * 4 % 256));
  TVellBitmap bitmap(noise);
  TTestDir dir;
  qint64 sizes[2];
  for (int i = 0; i < 2; ++i) {
    quint32 quality = i == 0 ? 10 : 95;
    EncoderParameters params;
    params.Count = 1;
    params.Parameter[0] = {EncoderQuality, 1, EncoderParameterValueTypeLong, &quality};
    const QString file = dir.File(QStringLiteral("q%1.jpg").arg(quality));
    ASSERT_EQ(bitmap.Save(file, Encoder("image/jpeg"), &params), Ok);
    sizes[i] = QFileInfo(file).size();
  }
  EXPECT_LT(sizes[0] * 2, sizes[1]);
}

} // namespace
