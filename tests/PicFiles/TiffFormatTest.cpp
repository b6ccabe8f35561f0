// The TIFF format: compressions allowed by image format, the tags written
// for each, files read back by independent tools, the header information
// and its errors, and the first image of files of every kind.
#include "PicFormatTestSupport.h"

#include "PicFiles/TiffFormat.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestImages.h"

#include <QBuffer>
#include <QtEndian>

#include <gtest/gtest.h>

namespace {

const TImageFormatEnum AllFormats[] = {ifeBlackWhite, ifeGray16,   ifeGray256,
                                       ifeColor16,    ifeColor256, ifeTrueColor};
const TTiffCompressionEnum AllCompressions[] = {tceNone,   tcePackbits, tceGroup3_1d, tceGroup3_2d,
                                                tceGroup4, tceZLib,     tceJPEG,      tceLZW};

bool Allowed(TImageFormatEnum format, TTiffCompressionEnum compression) {
  switch (format) {
  case ifeBlackWhite:
    return compression != tceJPEG;
  case ifeGray256:
  case ifeTrueColor:
    return compression == tceNone || compression == tcePackbits || compression == tceZLib ||
           compression == tceJPEG || compression == tceLZW;
  default:
    return compression == tceNone || compression == tcePackbits || compression == tceZLib ||
           compression == tceLZW;
  }
}

TPicInfo InfoOf(const QByteArray &bytes) {
  QBuffer buffer;
  buffer.setData(bytes);
  buffer.open(QIODevice::ReadOnly);
  TPicInfo info{-1, -1, -1, 1, 1, {}};
  TTiffFormat().ReadInfo(buffer, info);
  return info;
}

void Load(TTiffFormat &format, const QByteArray &bytes) {
  QBuffer buffer;
  buffer.setData(bytes);
  buffer.open(QIODevice::ReadOnly);
  format.LoadFromStream(buffer);
}

// A picture of the image format with gradient pixels, set up through an
// attribute as an application does.
void Assign(TTiffFormat &format, TImageFormatEnum imageFormat, TTiffCompressionEnum compression) {
  TTiffAttr attr;
  attr.ImageFormat = imageFormat;
  attr.Compression = compression;
  attr.JpegQuality = 90;
  attr.XDotsPerInch = 300;
  attr.YDotsPerInch = 200;
  format.AssignFromBitmap(GradientBitmap(21, 13), &attr);
}

QByteArray PictureRgba(const TTiffFormat &format) {
  TBitmap bitmap;
  format.AssignToBitmap(bitmap);
  return Rgba(bitmap.Image());
}

// The storage tags of the first directory as libtiff reads them.
struct TStorageTags {
  quint16 Compression = 0, Photometric = 0, Bits = 0, Samples = 0, Planar = 0, Unit = 0;
  quint32 T4Options = 0, RowsPerStrip = 0;
  float X = 0, Y = 0;
  bool HasColourMap = false;
};

TStorageTags StorageTagsOf(const QString &file) {
  TStorageTags tags;
  // "c": the rows per strip as stored, without libtiff's chopping of one
  // uncompressed strip into small ones.
  TIFF *tif = TIFFOpen(QFile::encodeName(file).constData(), "rc");
  if (!tif)
    return tags;
  TIFFGetField(tif, TIFFTAG_COMPRESSION, &tags.Compression);
  TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &tags.Photometric);
  TIFFGetField(tif, TIFFTAG_BITSPERSAMPLE, &tags.Bits);
  TIFFGetField(tif, TIFFTAG_SAMPLESPERPIXEL, &tags.Samples);
  TIFFGetField(tif, TIFFTAG_PLANARCONFIG, &tags.Planar);
  TIFFGetField(tif, TIFFTAG_RESOLUTIONUNIT, &tags.Unit);
  TIFFGetField(tif, TIFFTAG_GROUP3OPTIONS, &tags.T4Options);
  TIFFGetField(tif, TIFFTAG_ROWSPERSTRIP, &tags.RowsPerStrip);
  TIFFGetField(tif, TIFFTAG_XRESOLUTION, &tags.X);
  TIFFGetField(tif, TIFFTAG_YRESOLUTION, &tags.Y);
  quint16 *r, *g, *b;
  tags.HasColourMap = TIFFGetField(tif, TIFFTAG_COLORMAP, &r, &g, &b) == 1;
  TIFFClose(tif);
  return tags;
}

struct TLayout {
  quint16 Bits, Samples, Photometric;
};

TLayout ExpectedLayout(TImageFormatEnum format, TTiffCompressionEnum compression) {
  switch (format) {
  case ifeBlackWhite: {
    const bool fax = compression == tceGroup3_1d || compression == tceGroup3_2d || compression == tceGroup4;
    return {1, 1, quint16(fax ? PHOTOMETRIC_MINISWHITE : PHOTOMETRIC_MINISBLACK)};
  }
  case ifeGray16:
    return {4, 1, PHOTOMETRIC_MINISBLACK};
  case ifeGray256:
    return {8, 1, PHOTOMETRIC_MINISBLACK};
  case ifeColor16:
    return {4, 1, PHOTOMETRIC_PALETTE};
  case ifeColor256:
    return {8, 1, PHOTOMETRIC_PALETTE};
  default:
    return {8, 3, PHOTOMETRIC_RGB};
  }
}

quint16 ExpectedScheme(TTiffCompressionEnum compression) {
  static constexpr quint16 schemes[] = {1, 32773, 3, 3, 4, 32946, 7, 5};
  return schemes[compression];
}

} // namespace

TEST(TiffFormat, FreshObjectHasTheCodecDefaults) {
  TTiffFormat format;
  EXPECT_EQ(format.GetCompression(), tceNone);
  EXPECT_EQ(format.GetJpegQuality(), 70);
  TTiffAttr attr;
  format.FillAttr(attr);
  EXPECT_EQ(attr.Compression, tceNone);
  EXPECT_EQ(attr.JpegQuality, 70);
}

// Each compression is checked against the image format of the moment.
TEST(TiffFormat, SetCompressionKeepsOnlyWhatTheImageFormatAllows) {
  for (TImageFormatEnum imageFormat : AllFormats)
    for (TTiffCompressionEnum compression : AllCompressions) {
      TTiffFormat format;
      format.NewImage(4, 4, imageFormat);
      format.SetCompression(compression);
      EXPECT_EQ(format.GetCompression(), Allowed(imageFormat, compression) ? compression : tceNone)
          << "image format " << imageFormat << ", compression " << compression;
    }
}

// Every compression each image format allows: the tags its layout and
// scheme call for, and a file libtiff's tools, libvips and ImageMagick read
// to the picture's pixels.
TEST(TiffFormat, EveryAllowedCompressionWritesItsTagsAndReadsBackElsewhere) {
  for (TImageFormatEnum imageFormat : AllFormats)
    for (TTiffCompressionEnum compression : AllCompressions) {
      if (!Allowed(imageFormat, compression))
        continue;
      const std::string name =
          "image format " + std::to_string(imageFormat) + ", compression " + std::to_string(compression);
      TTiffFormat format;
      Assign(format, imageFormat, compression);
      ASSERT_EQ(format.GetCompression(), compression) << name;
      TTestDir dir;
      const QString file = dir.Write(QStringLiteral("out.tif"), Saved(format));
      const TStorageTags tags = StorageTagsOf(file);
      const TLayout layout = ExpectedLayout(imageFormat, compression);
      EXPECT_EQ(tags.Compression, ExpectedScheme(compression)) << name;
      EXPECT_EQ(tags.Bits, layout.Bits) << name;
      EXPECT_EQ(tags.Samples, layout.Samples) << name;
      EXPECT_EQ(tags.Photometric, layout.Photometric) << name;
      EXPECT_EQ(tags.HasColourMap, layout.Photometric == PHOTOMETRIC_PALETTE) << name;
      EXPECT_EQ(tags.Planar, PLANARCONFIG_CONTIG) << name;
      EXPECT_EQ(tags.RowsPerStrip, compression == tceJPEG ? 8u : 2147483647u) << name;
      EXPECT_EQ(tags.T4Options, compression == tceGroup3_1d   ? 4u
                                : compression == tceGroup3_2d ? 5u
                                                              : 0u)
          << name;
      EXPECT_EQ(tags.Unit, RESUNIT_INCH) << name;
      EXPECT_EQ(tags.X, 300) << name;
      EXPECT_EQ(tags.Y, 200) << name;

      const QByteArray expected = PictureRgba(format);
      const int tolerance = compression == tceJPEG ? 12 : 0;
      ASSERT_TRUE(RunToolOk(QStringLiteral("tiffinfo"), {QStringLiteral("-D"), file})) << name;
      const QString copy = dir.File(QStringLiteral("tiffcp.tif"));
      ASSERT_TRUE(
          RunToolOk(QStringLiteral("tiffcp"), {QStringLiteral("-c"), QStringLiteral("none"), file, copy}))
          << name;
      EXPECT_LE(LargestByteDifference(MagickRgba(copy), expected), tolerance) << name << " (tiffcp)";
      EXPECT_LE(LargestByteDifference(MagickRgba(file), expected), tolerance) << name << " (ImageMagick)";
      const QString png = dir.File(QStringLiteral("vips.png"));
      ASSERT_TRUE(RunToolOk(QStringLiteral("vips"), {QStringLiteral("copy"), file, png})) << name;
      EXPECT_LE(LargestByteDifference(MagickRgba(png), expected), tolerance) << name << " (libvips)";

      TTiffFormat again;
      Load(again, Saved(format));
      EXPECT_LE(LargestByteDifference(PictureRgba(again), expected), tolerance) << name << " (ours)";
      EXPECT_EQ(again.GetXDotsPerInch(), 300) << name;
    }
}

TEST(TiffFormat, LoadTakesTheFirstImageAndItsImageFormat) {
  struct TCase {
    const char *Name;
    quint16 Photometric, Bits, Samples;
    int Pages;
    TImageFormatEnum Expected;
  };
  const TCase cases[] = {
      {"bilevel, white is zero, three pages", PHOTOMETRIC_MINISWHITE, 1, 1, 3, ifeBlackWhite},
      {"bilevel, black is zero", PHOTOMETRIC_MINISBLACK, 1, 1, 1, ifeBlackWhite},
      {"grey 8", PHOTOMETRIC_MINISBLACK, 8, 1, 1, ifeGray256},
      {"grey 16", PHOTOMETRIC_MINISBLACK, 16, 1, 1, ifeGray256},
      {"palette 4", PHOTOMETRIC_PALETTE, 4, 1, 1, ifeColor16},
      {"palette 8", PHOTOMETRIC_PALETTE, 8, 1, 1, ifeColor256},
      {"RGB 16", PHOTOMETRIC_RGB, 16, 3, 1, ifeTrueColor},
      {"CMYK", PHOTOMETRIC_SEPARATED, 8, 4, 1, ifeTrueColor},
  };
  for (const TCase &c : cases) {
    TTiffSpec spec;
    spec.Photometric = c.Photometric;
    spec.BitsPerSample = c.Bits;
    spec.SamplesPerPixel = c.Samples;
    spec.Pages = c.Pages;
    spec.Compression = c.Bits == 1 ? COMPRESSION_CCITTFAX4 : COMPRESSION_LZW;
    spec.XResolution = 118.11f;
    spec.YResolution = 40;
    spec.Unit = RESUNIT_CENTIMETER;
    TTestDir dir;
    const QString file = dir.File(QStringLiteral("in.tif"));
    WriteTiff(file, spec);
    TTiffFormat format;
    Load(format, ReadWholeFile(file));
    EXPECT_EQ(format.GetImageFormat(), c.Expected) << c.Name;
    EXPECT_EQ(format.GetWidth(), spec.Width) << c.Name;
    EXPECT_EQ(format.GetXDotsPerInch(), 300) << c.Name;
    EXPECT_EQ(format.GetYDotsPerInch(), 102) << c.Name;
    TBitmap bitmap;
    format.AssignToBitmap(bitmap);
    EXPECT_LE(LargestPatternDifference(bitmap.Image(), spec), 1) << c.Name;
  }
}

TEST(TiffFormat, LoadOfDamagedDataRaisesTheReason) {
  QByteArray tiff = HandMadeTiff(4, 1);
  qToLittleEndian<quint32>(100000, tiff.data() + 12 + 2 + 5 * 12 + 8); // StripOffsets beyond the end
  TTiffFormat format;
  try {
    Load(format, tiff);
    ADD_FAILURE() << "no error";
  } catch (const ETIFF &error) {
    EXPECT_TRUE(error.Message().contains(QLatin1String("damaged TIFF image data"))) << error.what();
  }
  EXPECT_THROW(Load(format, QByteArray("II*\0 not really", 15)), ETIFF);
}

TEST(TiffFormat, SignatureIsClassicTiffAtThePosition) {
  struct TCase {
    QByteArray Bytes;
    bool Expected;
  };
  const TCase cases[] = {{QByteArray("..II*\0", 6), true},    {QByteArray("..MM\0*", 6), true},
                         {QByteArray("..II+\0", 6), false},   {QByteArray("..MM*\0", 6), false},
                         {QByteArray("II*\0....", 8), false}, {QByteArray("..II*", 5), false}};
  for (const TCase &c : cases) {
    QBuffer buffer;
    buffer.setData(c.Bytes);
    buffer.open(QIODevice::ReadOnly);
    buffer.seek(2);
    EXPECT_EQ(TTiffFormat().CanLoadFromStream(buffer), c.Expected) << c.Bytes.toHex().toStdString();
    EXPECT_EQ(buffer.pos(), 2);
  }
}

TEST(TiffFormat, ReadInfoGivesSizeBitsPerPixelAndResolution) {
  struct TCase {
    const char *Name;
    quint16 Photometric, Bits, Samples, Unit;
    float X, Y;
    qint32 BitsPerPixel;
    quint16 ExpectedX, ExpectedY;
  };
  const TCase cases[] = {
      {"centimetres", PHOTOMETRIC_MINISBLACK, 8, 1, RESUNIT_CENTIMETER, 118.11f, 47.25f, 8, 300, 120},
      {"inches, ties to even", PHOTOMETRIC_RGB, 8, 3, RESUNIT_INCH, 300.5f, 201.5f, 24, 300, 202},
      {"no unit", PHOTOMETRIC_MINISBLACK, 1, 1, RESUNIT_NONE, 72, 72, 1, 72, 72},
      {"no resolution", PHOTOMETRIC_PALETTE, 4, 1, 0, 0, 0, 4, 0, 0},
      {"RGB 16: six bytes a pixel times 16", PHOTOMETRIC_RGB, 16, 3, RESUNIT_INCH, 96, 96, 96, 96, 96},
  };
  for (const TCase &c : cases) {
    TTiffSpec spec;
    spec.Photometric = c.Photometric;
    spec.BitsPerSample = c.Bits;
    spec.SamplesPerPixel = c.Samples;
    spec.Unit = c.Unit;
    spec.XResolution = c.X;
    spec.YResolution = c.Y;
    TTestDir dir;
    const QString file = dir.File(QStringLiteral("in.tif"));
    WriteTiff(file, spec);
    const TPicInfo info = InfoOf(ReadWholeFile(file));
    EXPECT_EQ(info.Width, spec.Width) << c.Name;
    EXPECT_EQ(info.Height, spec.Height) << c.Name;
    EXPECT_EQ(info.BitsPerPixel, c.BitsPerPixel) << c.Name;
    EXPECT_EQ(info.XDotsPerInch, c.ExpectedX) << c.Name;
    EXPECT_EQ(info.YDotsPerInch, c.ExpectedY) << c.Name;
  }
}

// Without BitsPerSample a fax image counts 1 bit; any other is refused.
TEST(TiffFormat, ReadInfoErrors) {
  auto withoutBitsPerSample = [](quint16 compression) {
    QByteArray tiff = HandMadeTiff(4, 1);
    const qsizetype entries = 12 + 2;
    qToLittleEndian<quint16>(32999, tiff.data() + entries + 2 * 12);           // tag 258 becomes unknown
    qToLittleEndian<quint16>(compression, tiff.data() + entries + 3 * 12 + 8); // Compression value
    return tiff;
  };
  EXPECT_EQ(InfoOf(withoutBitsPerSample(COMPRESSION_CCITTFAX4)).BitsPerPixel, 1);
  try {
    InfoOf(withoutBitsPerSample(COMPRESSION_NONE));
    ADD_FAILURE() << "no error";
  } catch (const ETIFF &error) {
    EXPECT_EQ(error.Message(), QStringLiteral("Bits per sample not specified"));
  }
  try {
    InfoOf(QByteArray("II*\0\xFF\xFF\xFF\x7F", 8));
    ADD_FAILURE() << "no error";
  } catch (const ETIFF &error) {
    EXPECT_EQ(error.Message(), QStringLiteral("TIFFOpen"));
  }
}
