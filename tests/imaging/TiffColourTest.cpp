// Colour conversions of TIFF sources: CMYK through its ICC profile, CIE
// L*a*b*, and 32-bit samples scaled to 8 bits.
#include "imaging/VellGDIPOBJ.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestImages.h"

#include <QFile>
#include <algorithm>
#include <bit>
#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <vector>

namespace {

const QString CmykProfile = QStringLiteral("/usr/share/color/icc/ghostscript/default_cmyk.icc");

QByteArray DecodedRgba(const QString &file) {
  TVellBitmap bitmap(file);
  EXPECT_EQ(bitmap.GetLastStatus(), Ok) << bitmap.GetLastErrorText().toStdString();
  return bitmap.GetLastStatus() == Ok ? Rgba(*GdipImagePixels(bitmap.NativeImage())) : QByteArray();
}

// CMYK with an embedded profile comes out as LittleCMS's own tificc converts
// it to sRGB, not as the plain inversion; the page written from it carries
// no CMYK profile.
TEST(TiffColour, CmykGoesThroughItsEmbeddedProfile) {
  const QByteArray profile = ReadWholeFile(CmykProfile);
  ASSERT_FALSE(profile.isEmpty()) << "install libgs-common";
  for (quint16 bits : {quint16(8), quint16(16)}) {
    TTiffSpec spec;
    spec.Photometric = PHOTOMETRIC_SEPARATED;
    spec.SamplesPerPixel = 4;
    spec.BitsPerSample = bits;
    spec.Compression = COMPRESSION_LZW;
    TTestDir dir;
    const QString plain = dir.File(QStringLiteral("plain.tif"));
    const QString managed = dir.File(QStringLiteral("managed.tif"));
    const QString reference = dir.File(QStringLiteral("reference.tif"));
    const QString copy = dir.File(QStringLiteral("copy.tif"));
    WriteTiff(plain, spec);
    spec.IccProfile = profile;
    WriteTiff(managed, spec);
    ASSERT_TRUE(RunToolOk(QStringLiteral("tificc"), {QStringLiteral("-w8"), managed, reference}));
    const QByteArray ours = DecodedRgba(managed);
    EXPECT_LE(LargestByteDifference(ours, MagickRgba(reference)), 2) << bits << " bits";
    EXPECT_GT(LargestByteDifference(ours, DecodedRgba(plain)), 20)
        << bits << " bits: the profile changes the colours";
    TVellBitmap bitmap(managed);
    CLSID tiff;
    ASSERT_GE(GetEncoderClsid(QStringLiteral("image/tiff"), tiff), 0);
    ASSERT_EQ(bitmap.Save(copy, tiff), Ok);
    EXPECT_TRUE(ReadTiffTags(copy).IccProfile.isEmpty());
  }
}

// CIE L*a*b* pixels of known sRGB colours (D50, the default white point),
// in 8 and 16 bits.
TEST(TiffColour, LabIsConvertedToSrgb) {
  struct TColour {
    double L, a, b;
    QRgb Srgb;
  };
  const TColour colours[] = {
      {100, 0, 0, qRgb(255, 255, 255)},         {0, 0, 0, qRgb(0, 0, 0)},
      {54.29, 80.81, 69.89, qRgb(255, 0, 0)},   {87.82, -79.29, 80.99, qRgb(0, 255, 0)},
      {29.57, 68.30, -112.03, qRgb(0, 0, 255)}, {53.59, 0, 0, qRgb(128, 128, 128)}};
  const quint32 width = std::size(colours);
  for (quint16 bits : {quint16(8), quint16(16)}) {
    TTestDir dir;
    const QString file = dir.File(QStringLiteral("lab.tif"));
    TIFF *tif = TIFFOpen(QFile::encodeName(file).constData(), "w");
    ASSERT_NE(tif, nullptr);
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, width);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, 1u);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, bits);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 3);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_CIELAB);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    std::vector<uchar> row8;
    std::vector<quint16> row16;
    for (const TColour &c : colours) {
      if (bits == 8)
        row8.insert(row8.end(), {uchar(std::lround(c.L * 255 / 100)), uchar(qint8(std::lround(c.a))),
                                 uchar(qint8(std::lround(c.b)))});
      else
        row16.insert(row16.end(),
                     {quint16(std::lround(c.L * 65535 / 100)), quint16(qint16(std::lround(c.a * 256))),
                      quint16(qint16(std::lround(c.b * 256)))});
    }
    ASSERT_EQ(TIFFWriteScanline(tif, bits == 8 ? static_cast<void *>(row8.data()) : row16.data(), 0, 0), 1);
    TIFFClose(tif);
    TVellBitmap bitmap(file);
    ASSERT_EQ(bitmap.GetLastStatus(), Ok) << bitmap.GetLastErrorText().toStdString();
    EXPECT_EQ(bitmap.GetPixelFormat(), PixelFormat24bppRGB);
    const QImage &pixels = *GdipImagePixels(bitmap.NativeImage());
    for (quint32 x = 0; x < width; ++x) {
      const QRgb shown = pixels.pixel(int(x), 0), expected = colours[x].Srgb;
      // Whole units of a* and b* move colours at the edge of sRGB by several levels.
      const int tolerance = bits == 8 ? 12 : 1;
      EXPECT_NEAR(qRed(shown), qRed(expected), tolerance) << bits << " bits, colour " << x;
      EXPECT_NEAR(qGreen(shown), qGreen(expected), tolerance) << bits << " bits, colour " << x;
      EXPECT_NEAR(qBlue(shown), qBlue(expected), tolerance) << bits << " bits, colour " << x;
    }
  }
}

// 32-bit samples at 8 bits: integers by their top bits (signed ones over
// their non-negative range), floats from 0.0-1.0; out-of-range values clamp.
TEST(TiffColour, ThirtyTwoBitSamplesAreScaledAndClamped) {
  struct TCase {
    quint16 Format;
    quint32 Samples[5];
    uchar Expected[5];
  };
  auto f = [](float value) { return std::bit_cast<quint32>(value); };
  const TCase cases[] = {
      {SAMPLEFORMAT_UINT, {0, 0x00FFFFFF, 0x80000000, 0xC0FFFFFF, 0xFFFFFFFF}, {0, 0, 128, 192, 255}},
      {SAMPLEFORMAT_INT,
       {std::bit_cast<quint32>(-5), 0, 0x40000000, 0x20000000, 0x7FFFFFFF},
       {0, 0, 128, 64, 255}},
      {SAMPLEFORMAT_IEEEFP,
       {f(-0.5f), f(std::numeric_limits<float>::quiet_NaN()), f(0.5f), f(1.0f), f(7.0f)},
       {0, 0, 128, 255, 255}},
  };
  for (const TCase &c : cases) {
    TTestDir dir;
    const QString file = dir.File(QStringLiteral("g.tif"));
    TIFF *tif = TIFFOpen(QFile::encodeName(file).constData(), "w");
    ASSERT_NE(tif, nullptr);
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, 5u);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, 1u);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 32);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(tif, TIFFTAG_SAMPLEFORMAT, c.Format);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
    quint32 row[5];
    std::copy(std::begin(c.Samples), std::end(c.Samples), row);
    ASSERT_EQ(TIFFWriteScanline(tif, row, 0, 0), 1);
    TIFFClose(tif);
    TVellBitmap bitmap(file);
    ASSERT_EQ(bitmap.GetLastStatus(), Ok) << bitmap.GetLastErrorText().toStdString();
    const QImage &pixels = *GdipImagePixels(bitmap.NativeImage());
    for (int x = 0; x < 5; ++x)
      EXPECT_EQ(qGray(pixels.pixel(x, 0)), c.Expected[x]) << "format " << c.Format << ", sample " << x;
  }
}

} // namespace
