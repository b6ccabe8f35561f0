// Decoding of every kind of TIFF file, and re-encoding as loaded.
#include "imaging/VellGDIPOBJ.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestImages.h"

#include <QBuffer>
#include <QFile>
#include <QtEndian>
#include <gtest/gtest.h>

namespace {

struct TDecodeCase {
  TTiffSpec Spec;
  PixelFormat Format;
  QImage::Format QtFormat;
  int Tolerance; // largest channel difference allowed, 8-bit units
  // Largest difference from ImageMagick's decoding; -1 where it reads the
  // file differently (signed samples as unsigned ones).
  int MagickTolerance = 1;
};

TTiffSpec Spec(const char *name, quint16 photometric, quint16 bits, quint16 samples, quint16 compression) {
  TTiffSpec spec;
  spec.Name = name;
  spec.Photometric = photometric;
  spec.BitsPerSample = bits;
  spec.SamplesPerPixel = samples;
  spec.Compression = compression;
  return spec;
}

TTiffSpec Planar(TTiffSpec spec) {
  spec.Planar = PLANARCONFIG_SEPARATE;
  return spec;
}

TTiffSpec Tiled(TTiffSpec spec) {
  spec.Tiled = true;
  return spec;
}

TTiffSpec Samples(TTiffSpec spec, quint16 format) {
  spec.SampleFormat = format;
  return spec;
}

TTiffSpec With(TTiffSpec spec, void (*change)(TTiffSpec &)) {
  change(spec);
  return spec;
}

const TDecodeCase DecodeCases[] = {
    {Spec("BilevelWhiteNone", PHOTOMETRIC_MINISWHITE, 1, 1, COMPRESSION_NONE), PixelFormat1bppIndexed,
     QImage::Format_Mono, 0},
    {Spec("BilevelWhiteG3", PHOTOMETRIC_MINISWHITE, 1, 1, COMPRESSION_CCITTFAX3), PixelFormat1bppIndexed,
     QImage::Format_Mono, 0},
    {Spec("BilevelWhiteG4", PHOTOMETRIC_MINISWHITE, 1, 1, COMPRESSION_CCITTFAX4), PixelFormat1bppIndexed,
     QImage::Format_Mono, 0},
    {Spec("BilevelWhiteRle", PHOTOMETRIC_MINISWHITE, 1, 1, COMPRESSION_CCITTRLE), PixelFormat1bppIndexed,
     QImage::Format_Mono, 0},
    {Spec("BilevelBlackPackBits", PHOTOMETRIC_MINISBLACK, 1, 1, COMPRESSION_PACKBITS), PixelFormat1bppIndexed,
     QImage::Format_Mono, 0},
    {With(Spec("BilevelBlackG4Tiled", PHOTOMETRIC_MINISBLACK, 1, 1, COMPRESSION_CCITTFAX4),
          [](TTiffSpec &s) { s.Tiled = true; }),
     PixelFormat1bppIndexed, QImage::Format_Mono, 0},
    {Spec("Grey4", PHOTOMETRIC_MINISBLACK, 4, 1, COMPRESSION_LZW), PixelFormat8bppIndexed,
     QImage::Format_Grayscale8, 0},
    {Spec("Grey8Deflate", PHOTOMETRIC_MINISBLACK, 8, 1, COMPRESSION_ADOBE_DEFLATE), PixelFormat8bppIndexed,
     QImage::Format_Grayscale8, 0},
    {Spec("Grey8White", PHOTOMETRIC_MINISWHITE, 8, 1, COMPRESSION_LZW), PixelFormat8bppIndexed,
     QImage::Format_Grayscale8, 0},
    {Spec("Grey16", PHOTOMETRIC_MINISBLACK, 16, 1, COMPRESSION_LZW), PixelFormat16bppGrayScale,
     QImage::Format_Grayscale16, 0},
    {Spec("Palette1", PHOTOMETRIC_PALETTE, 1, 1, COMPRESSION_PACKBITS), PixelFormat1bppIndexed,
     QImage::Format_Mono, 0},
    {Spec("Palette2", PHOTOMETRIC_PALETTE, 2, 1, COMPRESSION_NONE), PixelFormat4bppIndexed,
     QImage::Format_Indexed8, 0},
    {Spec("Palette4", PHOTOMETRIC_PALETTE, 4, 1, COMPRESSION_LZW), PixelFormat4bppIndexed,
     QImage::Format_Indexed8, 0},
    {Spec("Palette8", PHOTOMETRIC_PALETTE, 8, 1, COMPRESSION_LZW), PixelFormat8bppIndexed,
     QImage::Format_Indexed8, 0},
    {Spec("Rgb8", PHOTOMETRIC_RGB, 8, 3, COMPRESSION_LZW), PixelFormat24bppRGB, QImage::Format_BGR888, 0},
    {With(Spec("Rgb8Tiled", PHOTOMETRIC_RGB, 8, 3, COMPRESSION_ADOBE_DEFLATE),
          [](TTiffSpec &s) { s.Tiled = true; }),
     PixelFormat24bppRGB, QImage::Format_BGR888, 0},
    {With(Spec("Rgb8Planar", PHOTOMETRIC_RGB, 8, 3, COMPRESSION_LZW),
          [](TTiffSpec &s) { s.Planar = PLANARCONFIG_SEPARATE; }),
     PixelFormat24bppRGB, QImage::Format_BGR888, 0},
    {Spec("Rgb16", PHOTOMETRIC_RGB, 16, 3, COMPRESSION_LZW), PixelFormat48bppRGB, QImage::Format_RGBX64, 0},
    {With(Spec("Rgba8", PHOTOMETRIC_RGB, 8, 4, COMPRESSION_LZW),
          [](TTiffSpec &s) { s.ExtraSample = EXTRASAMPLE_UNASSALPHA; }),
     PixelFormat32bppARGB, QImage::Format_ARGB32, 0},
    {With(Spec("Rgba16", PHOTOMETRIC_RGB, 16, 4, COMPRESSION_NONE),
          [](TTiffSpec &s) { s.ExtraSample = EXTRASAMPLE_UNASSALPHA; }),
     PixelFormat64bppARGB, QImage::Format_RGBA64, 0},
    {Planar(Spec("Rgb16Planar", PHOTOMETRIC_RGB, 16, 3, COMPRESSION_LZW)), PixelFormat48bppRGB,
     QImage::Format_RGBX64, 0},
    {Tiled(Planar(Spec("Rgb16PlanarTiled", PHOTOMETRIC_RGB, 16, 3, COMPRESSION_ADOBE_DEFLATE))),
     PixelFormat48bppRGB, QImage::Format_RGBX64, 0},
    {Spec("Palette16", PHOTOMETRIC_PALETTE, 16, 1, COMPRESSION_LZW), PixelFormat24bppRGB,
     QImage::Format_BGR888, 0},
    {Spec("Cmyk8", PHOTOMETRIC_SEPARATED, 8, 4, COMPRESSION_LZW), PixelFormat24bppRGB, QImage::Format_BGR888,
     1},
    {Planar(Spec("Cmyk8Planar", PHOTOMETRIC_SEPARATED, 8, 4, COMPRESSION_PACKBITS)), PixelFormat24bppRGB,
     QImage::Format_BGR888, 1},
    {Spec("Cmyk16", PHOTOMETRIC_SEPARATED, 16, 4, COMPRESSION_LZW), PixelFormat24bppRGB,
     QImage::Format_BGR888, 1},
    {Planar(Spec("Cmyk16Planar", PHOTOMETRIC_SEPARATED, 16, 4, COMPRESSION_NONE)), PixelFormat24bppRGB,
     QImage::Format_BGR888, 1},
    {Samples(Spec("Grey32Uint", PHOTOMETRIC_MINISBLACK, 32, 1, COMPRESSION_LZW), SAMPLEFORMAT_UINT),
     PixelFormat8bppIndexed, QImage::Format_Grayscale8, 0},
    {Samples(Spec("Grey32Int", PHOTOMETRIC_MINISBLACK, 32, 1, COMPRESSION_NONE), SAMPLEFORMAT_INT),
     PixelFormat8bppIndexed, QImage::Format_Grayscale8, 0, -1},
    {Samples(Spec("Grey32Float", PHOTOMETRIC_MINISBLACK, 32, 1, COMPRESSION_ADOBE_DEFLATE),
             SAMPLEFORMAT_IEEEFP),
     PixelFormat8bppIndexed, QImage::Format_Grayscale8, 0},
    {Tiled(Samples(Spec("Grey32FloatTiled", PHOTOMETRIC_MINISBLACK, 32, 1, COMPRESSION_NONE),
                   SAMPLEFORMAT_IEEEFP)),
     PixelFormat8bppIndexed, QImage::Format_Grayscale8, 0},
    {Tiled(Samples(Spec("Rgb32UintTiled", PHOTOMETRIC_RGB, 32, 3, COMPRESSION_LZW), SAMPLEFORMAT_UINT)),
     PixelFormat24bppRGB, QImage::Format_BGR888, 0},
    {Samples(Spec("Rgb32Int", PHOTOMETRIC_RGB, 32, 3, COMPRESSION_LZW), SAMPLEFORMAT_INT),
     PixelFormat24bppRGB, QImage::Format_BGR888, 0, -1},
    {Samples(Spec("Rgb32Float", PHOTOMETRIC_RGB, 32, 3, COMPRESSION_NONE), SAMPLEFORMAT_IEEEFP),
     PixelFormat24bppRGB, QImage::Format_BGR888, 0},
    {Tiled(Planar(Samples(Spec("Rgb32FloatPlanarTiled", PHOTOMETRIC_RGB, 32, 3, COMPRESSION_ADOBE_DEFLATE),
                          SAMPLEFORMAT_IEEEFP))),
     PixelFormat24bppRGB, QImage::Format_BGR888, 0},
    {Spec("YCbCrJpeg", PHOTOMETRIC_RGB, 8, 3, COMPRESSION_JPEG), PixelFormat24bppRGB, QImage::Format_BGR888,
     12},
};

void PrintTo(const TDecodeCase &c, std::ostream *os) {
  *os << c.Spec.Name;
}

class TiffDecode : public ::testing::TestWithParam<TDecodeCase> {};

TEST_P(TiffDecode, GivesThePixelsSizeFormatAndResolution) {
  const TDecodeCase &c = GetParam();
  TTestDir dir;
  const QString file = dir.File(QStringLiteral("image.tif"));
  WriteTiff(file, c.Spec);
  TVellBitmap bitmap(file);
  ASSERT_EQ(bitmap.GetLastStatus(), Ok) << bitmap.GetLastErrorText().toStdString();
  EXPECT_EQ(bitmap.GetWidth(), quint32(c.Spec.Width));
  EXPECT_EQ(bitmap.GetHeight(), quint32(c.Spec.Height));
  EXPECT_EQ(bitmap.GetPixelFormat(), c.Format);
  EXPECT_FLOAT_EQ(bitmap.GetHorizontalResolution(), 300);
  const QImage &pixels = *GdipImagePixels(bitmap.NativeImage());
  EXPECT_EQ(pixels.format(), c.QtFormat);
  EXPECT_LE(LargestPatternDifference(pixels, c.Spec), c.Tolerance);
}

// An image saved as loaded keeps its pixel format and decoded pixels.
TEST_P(TiffDecode, ReencodingKeepsFormatAndPixels) {
  const TDecodeCase &c = GetParam();
  TTestDir dir;
  const QString source = dir.File(QStringLiteral("source.tif"));
  const QString copy = dir.File(QStringLiteral("copy.tif"));
  WriteTiff(source, c.Spec);
  TVellBitmap loaded(source);
  CLSID tiff;
  ASSERT_GE(GetEncoderClsid(QStringLiteral("image/tiff"), tiff), 0);
  ASSERT_EQ(loaded.Save(copy, tiff), Ok) << loaded.GetLastErrorText().toStdString();
  TVellBitmap again(copy);
  ASSERT_EQ(again.GetLastStatus(), Ok) << again.GetLastErrorText().toStdString();
  EXPECT_EQ(again.GetPixelFormat(), loaded.GetPixelFormat());
  EXPECT_FLOAT_EQ(again.GetVerticalResolution(), 300);
  const QImage &before = *GdipImagePixels(loaded.NativeImage());
  const QImage &after = *GdipImagePixels(again.NativeImage());
  EXPECT_EQ(after.format(), before.format());
  EXPECT_EQ(after.convertToFormat(QImage::Format_RGBA64), before.convertToFormat(QImage::Format_RGBA64));
}

// The same pixels as an independent decoder gives.
TEST_P(TiffDecode, MatchesImageMagick) {
  const TDecodeCase &c = GetParam();
  if (c.MagickTolerance < 0)
    GTEST_SKIP() << "ImageMagick reads these samples differently";
  TTestDir dir;
  const QString file = dir.File(QStringLiteral("image.tif"));
  WriteTiff(file, c.Spec);
  TVellBitmap bitmap(file);
  ASSERT_EQ(bitmap.GetLastStatus(), Ok) << bitmap.GetLastErrorText().toStdString();
  EXPECT_LE(LargestByteDifference(Rgba(*GdipImagePixels(bitmap.NativeImage())), MagickRgba(file)),
            c.MagickTolerance);
}

INSTANTIATE_TEST_SUITE_P(Kinds, TiffDecode, ::testing::ValuesIn(DecodeCases),
                         [](const auto &info) { return std::string(info.param.Spec.Name); });

TEST(TiffDecodeResolution, ConvertsUnitsToDotsPerInch) {
  struct TCase {
    quint16 Unit;
    float X, Y, ExpectedX, ExpectedY;
  };
  const TCase cases[] = {
      {RESUNIT_INCH, 300, 200, 300, 200},
      {RESUNIT_CENTIMETER, 118.110236f, 40, 300, 101.6f},
      {RESUNIT_NONE, 300, 300, 0, 0},
      {0, 0, 0, 0, 0}, // no tags at all
  };
  for (const TCase &c : cases) {
    TTiffSpec spec;
    spec.Unit = c.Unit;
    spec.XResolution = c.X;
    spec.YResolution = c.Y;
    TTestDir dir;
    const QString file = dir.File(QStringLiteral("r.tif"));
    WriteTiff(file, spec);
    TVellBitmap bitmap(file);
    ASSERT_EQ(bitmap.GetLastStatus(), Ok);
    EXPECT_NEAR(bitmap.GetHorizontalResolution(), c.ExpectedX, 0.01) << "unit " << c.Unit;
    EXPECT_NEAR(bitmap.GetVerticalResolution(), c.ExpectedY, 0.01) << "unit " << c.Unit;
  }
}

// Every page of a multi-page file, each with its own size; the header tells
// the page count and a page past the end is refused.
TEST(TiffDecodeMultiPage, ReadsEveryPageAndItsHeader) {
  TTiffSpec spec;
  spec.Pages = 3;
  spec.Width = 40;
  spec.Compression = COMPRESSION_CCITTFAX4;
  spec.Photometric = PHOTOMETRIC_MINISWHITE;
  spec.BitsPerSample = 1;
  TTestDir dir;
  const QString file = dir.File(QStringLiteral("pages.tif"));
  WriteTiff(file, spec);
  for (quint32 page = 0; page < 3; ++page) {
    ImageHeader header;
    ASSERT_EQ(GdipReadImageHeader(file, page, &header), Ok) << GdipLastErrorText().toStdString();
    EXPECT_EQ(header.PageCount, 3u);
    EXPECT_EQ(header.Width, page == 0 ? 40u : 20u);
    EXPECT_EQ(header.Height, 23u);
    EXPECT_EQ(header.PixelFormat, PixelFormat1bppIndexed);
    EXPECT_EQ(QString::fromUtf16(header.MimeType), QStringLiteral("image/tiff"));
    TVellBitmap bitmap(TFilePage{file, page});
    ASSERT_EQ(bitmap.GetLastStatus(), Ok) << bitmap.GetLastErrorText().toStdString();
    EXPECT_EQ(bitmap.GetWidth(), header.Width);
    TTiffSpec pageSpec = spec;
    pageSpec.Width = int(header.Width);
    EXPECT_EQ(LargestPatternDifference(*GdipImagePixels(bitmap.NativeImage()), pageSpec), 0) << page;
  }
  TVellBitmap missing(TFilePage{file, 3});
  EXPECT_EQ(missing.GetLastStatus(), InvalidParameter);
  EXPECT_TRUE(missing.GetLastErrorText().contains(QLatin1String("has 3 pages")))
      << missing.GetLastErrorText().toStdString();
}

// A hand-made 3 × 2 grey image a b c / d e f as every orientation shows it,
// through the row decoders (grey) and libtiff's RGBA reader (planar RGB).
TEST(TiffDecodeOrientation, EveryOrientationIsShownUpright) {
  const char *const upright[] = {"",         "abc/def",  "cba/fed",  "fed/cba", "def/abc",
                                 "ad/be/cf", "da/eb/fc", "fc/eb/da", "cf/be/ad"};
  for (quint16 samples : {quint16(1), quint16(3)})
    for (quint16 orientation = 1; orientation <= 8; ++orientation) {
      TTestDir dir;
      const QString file = dir.File(QStringLiteral("o.tif"));
      TIFF *tif = TIFFOpen(QFile::encodeName(file).constData(), "w");
      ASSERT_NE(tif, nullptr);
      TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, 3u);
      TIFFSetField(tif, TIFFTAG_IMAGELENGTH, 2u);
      TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
      TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, samples);
      TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, samples == 1 ? PHOTOMETRIC_MINISBLACK : PHOTOMETRIC_RGB);
      TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_SEPARATE);
      TIFFSetField(tif, TIFFTAG_ORIENTATION, orientation);
      TIFFSetField(tif, TIFFTAG_XRESOLUTION, 100.0f);
      TIFFSetField(tif, TIFFTAG_YRESOLUTION, 200.0f);
      TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
      for (quint16 plane = 0; plane < samples; ++plane)
        for (quint32 y = 0; y < 2; ++y) {
          uchar row[3];
          for (int x = 0; x < 3; ++x)
            row[x] = uchar('a' + y * 3 + x);
          ASSERT_EQ(TIFFWriteScanline(tif, row, y, plane), 1);
        }
      TIFFClose(tif);

      const QString expected = QString::fromLatin1(upright[orientation]);
      const QStringList rows = expected.split(u'/');
      const bool turned = orientation >= 5;
      ImageHeader header;
      ASSERT_EQ(GdipReadImageHeader(file, 0, &header), Ok);
      EXPECT_EQ(header.Orientation, orientation);
      EXPECT_EQ(header.Width, quint32(rows[0].size()));
      EXPECT_EQ(header.Height, quint32(rows.size()));
      EXPECT_EQ(header.DpiX, turned ? 200 : 100);
      TVellBitmap bitmap(file);
      ASSERT_EQ(bitmap.GetLastStatus(), Ok) << bitmap.GetLastErrorText().toStdString();
      EXPECT_EQ(bitmap.GetHorizontalResolution(), turned ? 200 : 100);
      const QImage &pixels = *GdipImagePixels(bitmap.NativeImage());
      QString shown;
      for (int y = 0; y < pixels.height(); ++y)
        for (int x = 0; x < pixels.width(); ++x)
          shown +=
              QString(y > 0 && x == 0 ? QStringLiteral("/") : QString()) + QChar(qRed(pixels.pixel(x, y)));
      EXPECT_EQ(shown, expected) << "orientation " << orientation << ", samples " << samples;
    }
}

// Strips of up to 16 MiB are read whole (libtiff inflates those with
// libdeflate), a larger one row by row; both give the pixels.
TEST(TiffDecodeStrips, SmallAndOversizedStripsGiveThePixels) {
  TTestDir dir;
  for (const quint32 rowsPerStrip : {16u, 4200u}) {
    TTiffSpec spec;
    spec.Width = 4096;
    spec.Height = 4200; // one strip of 17.2 MB
    spec.Compression = COMPRESSION_ADOBE_DEFLATE;
    spec.RowsPerStrip = rowsPerStrip;
    const QString file = dir.File(QStringLiteral("strips%1.tif").arg(rowsPerStrip));
    WriteTiff(file, spec);
    TVellBitmap bitmap(file);
    ASSERT_EQ(bitmap.GetLastStatus(), Ok) << bitmap.GetLastErrorText().toStdString();
    EXPECT_EQ(LargestPatternDifference(*GdipImagePixels(bitmap.NativeImage()), spec), 0) << rowsPerStrip;
  }
}

// A Group 4 strip with a bad code word fails with libtiff's reason instead of
// giving an image streaked from there on.
TEST(TiffDecodeDamage, ABadFaxCodeFailsTheDecode) {
  TTiffSpec spec;
  spec.Width = 200;
  spec.Height = 16;
  spec.Photometric = PHOTOMETRIC_MINISWHITE;
  spec.BitsPerSample = 1;
  spec.Compression = COMPRESSION_CCITTFAX4;
  TTestDir dir;
  const QString file = dir.File(QStringLiteral("g4.tif"));
  WriteTiff(file, spec);
  QFile damaged(file);
  ASSERT_TRUE(damaged.open(QIODevice::ReadWrite));
  ASSERT_TRUE(damaged.seek(8 + 20)); // inside the strip, which libtiff writes first
  damaged.write(QByteArray(6, '\0'));
  damaged.close();
  TVellBitmap bitmap(file);
  EXPECT_EQ(bitmap.GetLastStatus(), UnknownImageFormat);
  EXPECT_TRUE(bitmap.GetLastErrorText().contains(QLatin1String("damaged TIFF image data")))
      << bitmap.GetLastErrorText().toStdString();
}

// Files stored bottom-up or right-to-left are shown upright, whichever
// decoding path they take.
TEST(TiffDecodeOrientation, FlippedFilesAreShownUpright) {
  for (quint16 photometric : {quint16(PHOTOMETRIC_MINISBLACK), quint16(PHOTOMETRIC_SEPARATED)})
    for (quint16 orientation : {ORIENTATION_BOTLEFT, ORIENTATION_TOPRIGHT}) {
      TTiffSpec spec = Spec("flipped", photometric, 8, photometric == PHOTOMETRIC_SEPARATED ? 4 : 1, 1);
      spec.Orientation = orientation;
      TTestDir dir;
      const QString file = dir.File(QStringLiteral("o.tif"));
      WriteTiff(file, spec);
      TVellBitmap bitmap(file);
      ASSERT_EQ(bitmap.GetLastStatus(), Ok);
      const QImage &pixels = *GdipImagePixels(bitmap.NativeImage());
      const bool vertical = orientation == ORIENTATION_BOTLEFT;
      for (auto [x, y] : {std::pair{0, 0}, std::pair{36, 5}, std::pair{10, 22}}) {
        const QRgba64 stored =
            PatternColour(spec, vertical ? x : spec.Width - 1 - x, vertical ? spec.Height - 1 - y : y);
        EXPECT_NEAR(pixels.pixelColor(x, y).red(), stored.red8(), 2) << photometric << " " << orientation;
      }
    }
}

// A strip that lies beyond the end of the file fails with a reason that shows
// the sizes as the numbers they are (no wrapped negative count).
TEST(TiffDecodeDamage, AStripBeyondTheEndNamesItsSizes) {
  QByteArray tiff = HandMadeTiff(4, 1);
  const qsizetype offsetEntry = 12 + 2 + 5 * 12 + 8; // value of entry 273 (StripOffsets)
  qToLittleEndian<quint32>(100000, tiff.data() + offsetEntry);
  QBuffer buffer(&tiff);
  buffer.open(QIODevice::ReadOnly);
  TVellBitmap bitmap(&buffer, 0);
  EXPECT_EQ(bitmap.GetLastStatus(), UnknownImageFormat);
  const QString reason = bitmap.GetLastErrorText();
  EXPECT_TRUE(reason.contains(QLatin1String("damaged TIFF image data"))) << reason.toStdString();
  EXPECT_FALSE(reason.contains(QLatin1String("18446744"))) << reason.toStdString();
}

} // namespace
