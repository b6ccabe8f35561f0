// The BMP format: grey levels and the black-and-white threshold, the fixed and
// adaptive palettes with every dither mode (checked against ImageMagick), the
// resolution fields, the signature and header, and the assign operations.
#include "PicFormatTestSupport.h"

#include "PicFiles/BmpFormat.h"
#include "PicFiles/GifFormat.h"
#include "PicFiles/JpgFormat.h"
#include "PicFiles/VellGraphUtils.h"
#include "tests/support/TestFiles.h"

#include <QBuffer>
#include <QSet>
#include <QtEndian>

#include <gtest/gtest.h>

namespace {

// A width × 1 picture of the given colours.
TBitmap Row(const QList<QRgb> &colours) {
  QImage image(int(colours.size()), 1, QImage::Format_BGR888);
  for (int x = 0; x < colours.size(); ++x)
    image.setPixel(x, 0, colours[x]);
  TBitmap bitmap;
  bitmap.SetImage(image);
  return bitmap;
}

// 24 × 24 pixels of 576 different colours: more than any palette holds.
TBitmap ManyColours() {
  QImage image(24, 24, QImage::Format_BGR888);
  for (int y = 0; y < 24; ++y)
    for (int x = 0; x < 24; ++x)
      image.setPixel(x, y, qRgb(x * 11, y * 11, 255 - (x + y) * 5));
  TBitmap bitmap;
  bitmap.SetImage(image);
  return bitmap;
}

TBitmap Copy(const TBmpFormat &format) {
  TBitmap bitmap;
  format.AssignToBitmap(bitmap);
  return bitmap;
}

QRgb PixelOf(const TBmpFormat &format, int x, int y = 0) {
  return Copy(format).Image().pixel(x, y) | 0xFF000000u;
}

QBuffer *Reading(QBuffer &buffer, const QByteArray &bytes) {
  buffer.setData(bytes);
  buffer.open(QIODevice::ReadOnly);
  return &buffer;
}

qint32 Field32(const QByteArray &file, int offset) {
  return qFromLittleEndian<qint32>(file.constData() + offset);
}

template <typename Call> bool FailsAnAssertion(Call call) {
  try {
    call();
  } catch (const EAssertionFailed &) {
    return true;
  }
  return false;
}

} // namespace

TEST(BmpFormat, GreyLevelsUseSinglePrecisionWeightsAndRoundHalfToEven) {
  struct TCase {
    QRgb Colour;
    int Gray;
  };
  const TCase cases[] = {
      {qRgb(100, 150, 200), 141}, // 29.9 + 88.05 + 22.8
      {qRgb(0, 0, 250), 28},      // exactly 28.5
      {qRgb(0, 18, 131), 26},     // exactly 25.5
      {qRgb(0, 56, 102), 45},     // 44.5 with exact weights, just above with single-precision ones
      {qRgb(0, 80, 110), 59},     // 59.5 with exact weights, just below with single-precision ones
      {qRgb(255, 255, 255), 255},
      {qRgb(0, 0, 0), 0}};
  for (const TCase &c : cases) {
    TBitmap bitmap = Row({c.Colour});
    bitmap.SetPixelDepth(32);
    MakeGray(bitmap);
    EXPECT_EQ(bitmap.PixelDepth(), 24);
    EXPECT_EQ(bitmap.Image().pixel(0, 0), qRgb(c.Gray, c.Gray, c.Gray)) << std::hex << c.Colour;
  }
}

TEST(BmpFormat, BlackAndWhiteSplitsTheGreyLevelsAt128) {
  TBmpFormat format;
  format.AssignFromBitmap(Row({qRgb(255, 255, 255), qRgb(0, 0, 0), qRgb(127, 127, 127), qRgb(128, 128, 128)}),
                          nullptr);
  format.ConvertImageFormat(ifeBlackWhite);
  EXPECT_EQ(format.GetImageFormat(), ifeBlackWhite);
  EXPECT_EQ(Copy(format).PixelDepth(), 1);
  EXPECT_EQ(PixelOf(format, 0), qRgb(255, 255, 255));
  EXPECT_EQ(PixelOf(format, 1), qRgb(0, 0, 0));
  EXPECT_EQ(PixelOf(format, 2), qRgb(0, 0, 0));
  EXPECT_EQ(PixelOf(format, 3), qRgb(255, 255, 255));
}

TEST(BmpFormat, GreyPicturesTakeTheNearestColoursOfTheFixedPalettes) {
  TBmpFormat format;
  const TBitmap row = Row({qRgb(100, 150, 200), qRgb(51, 51, 51), qRgb(255, 255, 255)});
  format.AssignFromBitmap(row, nullptr);
  format.ConvertImageFormat(ifeGray256);
  EXPECT_EQ(Copy(format).PixelDepth(), 8);
  EXPECT_EQ(Copy(format).Palette(), HalftonePalette());
  EXPECT_EQ(PixelOf(format, 0), qRgb(142, 142, 142)); // grey 141: the halftone grey 142
  EXPECT_EQ(PixelOf(format, 1), qRgb(51, 51, 51));
  EXPECT_EQ(PixelOf(format, 2), qRgb(255, 255, 255));

  format.AssignFromBitmap(row, nullptr);
  format.ConvertImageFormat(ifeGray16);
  EXPECT_EQ(Copy(format).PixelDepth(), 4);
  EXPECT_EQ(Copy(format).Palette(), StandardPalette16());
  EXPECT_EQ(PixelOf(format, 0), qRgb(128, 128, 128));
  EXPECT_EQ(PixelOf(format, 1), qRgb(0, 0, 0));
}

// Every image format with every dither mode: the file has the depth of the
// format and ImageMagick reads it to our pixels.
TEST(BmpFormat, EveryConversionWithEveryDitherModeOpensInImageMagick) {
  struct TTarget {
    TImageFormatEnum Format;
    int Depth;
  };
  const TTarget targets[] = {{ifeBlackWhite, 1}, {ifeGray16, 4},   {ifeGray256, 8},
                             {ifeColor16, 4},    {ifeColor256, 8}, {ifeTrueColor, 24}};
  TTestDir dir;
  const TBitmap source = ManyColours();
  for (const TTarget &target : targets) {
    QImage nearest;
    for (int mode = dmeNearest; mode <= dmeBurkes; ++mode) {
      const QString name = QStringLiteral("f%1-d%2.bmp").arg(target.Format).arg(mode);
      SCOPED_TRACE(name.toStdString());
      TBmpAttr attr;
      attr.ImageFormat = target.Format;
      attr.DitherMode = TDitherModeEnum(mode);
      TBmpFormat format;
      format.AssignFromBitmap(source, &attr);
      EXPECT_EQ(format.GetImageFormat(), target.Format);
      const QString file = dir.File(name);
      format.SaveToFile(file);
      QBuffer buffer;
      TPicInfo info;
      format.ReadInfo(*Reading(buffer, ReadWholeFile(file)), info);
      EXPECT_EQ(info.BitsPerPixel, target.Depth);
      const QImage ours = Copy(format).Image();
      EXPECT_EQ(Rgba(ours), MagickRgba(file));
      if (mode == dmeNearest) {
        nearest = ours.convertToFormat(QImage::Format_RGB32);
      } else if (target.Format == ifeColor256) {
        EXPECT_NE(ours.convertToFormat(QImage::Format_RGB32), nearest) << "dither mode has no effect";
      }
    }
  }
  EXPECT_EQ(TGifGraphic::DefaultDitherMode, dmeBurkes); // the GIF codec keeps the last mode
  TGifGraphic::DefaultDitherMode = dmeFloydSteinberg;
}

TEST(BmpFormat, ResolutionsConvertBetweenPixelsPerMetreAndDotsPerInch) {
  struct TCase {
    qint32 PixelsPerMetre;
    quint16 DotsPerInch;
  };
  for (const TCase &c : {TCase{3780, 96}, TCase{11811, 300}, TCase{2835, 72}, TCase{0, 0}, TCase{39, 1}}) {
    EXPECT_EQ(BmpDotsPerInch(c.PixelsPerMetre), c.DotsPerInch) << c.PixelsPerMetre;
    EXPECT_EQ(BmpPixelsPerMetre(c.DotsPerInch), c.PixelsPerMetre) << c.DotsPerInch;
  }
  EXPECT_EQ(BmpDotsPerInch(-3780), 0);
  EXPECT_EQ(BmpDotsPerInch(100000000), 65535);

  TTestDir dir;
  const QString file = dir.File("96dpi.bmp");
  RunTool("convert", {"-size", "5x3", "xc:red", "-units", "PixelsPerInch", "-density", "96", file});
  TBmpFormat format;
  format.LoadFromFile(file);
  EXPECT_EQ(format.GetXDotsPerInch(), 96);
  EXPECT_EQ(format.GetYDotsPerInch(), 96);
  EXPECT_EQ(format.GetImageFormat(), ifeTrueColor); // loading leaves the image format alone

  format.SetXDotsPerInch(300);
  format.SetYDotsPerInch(150);
  const QByteArray saved = Saved(format);
  EXPECT_EQ(Field32(saved, 38), 11811);
  EXPECT_EQ(Field32(saved, 42), 5906);
}

TEST(BmpFormat, SavesIntoAStreamAtAnyPosition) {
  TBmpFormat format;
  format.AssignFromBitmap(GradientBitmap(7, 5), nullptr);
  format.SetXDotsPerInch(300);
  format.SetYDotsPerInch(300);
  const QByteArray alone = Saved(format);
  QBuffer buffer;
  buffer.open(QIODevice::WriteOnly);
  buffer.write("prefix");
  format.SaveToStream(buffer);
  EXPECT_EQ(buffer.pos(), buffer.size());
  EXPECT_EQ(buffer.data(), "prefix" + alone);
}

TEST(BmpFormat, SignatureAndHeaderInformation) {
  struct TCase {
    QByteArray Bytes;
    bool Expected;
  };
  for (const TCase &c : {TCase{"BM\x10\0\0\0", true}, TCase{"BA\x10\0", false}, TCase{"B", false}}) {
    QBuffer buffer;
    Reading(buffer, c.Bytes)->seek(1);
    EXPECT_EQ(TBmpFormat().CanLoadFromStream(buffer), c.Expected) << c.Bytes.toStdString();
    EXPECT_EQ(buffer.pos(), 0);
  }

  TBmpFormat format;
  format.AssignFromBitmap(GradientBitmap(7, 5), nullptr);
  format.ConvertImageFormat(ifeColor16);
  format.SetXDotsPerInch(72);
  format.SetYDotsPerInch(300);
  QByteArray file = Saved(format);
  qToLittleEndian<qint32>(-5, file.data() + 22); // the height of top-down rows
  QBuffer buffer;
  Reading(buffer, file)->seek(9);
  TPicInfo info;
  format.ReadInfo(buffer, info);
  EXPECT_EQ(info.Width, 7);
  EXPECT_EQ(info.Height, -5);
  EXPECT_EQ(info.BitsPerPixel, 4);
  EXPECT_EQ(info.XDotsPerInch, 72);
  EXPECT_EQ(info.YDotsPerInch, 300);
  EXPECT_TRUE(info.Operations.Contains(poLoad) && info.Operations.Contains(poSave));

  QBuffer notBmp;
  EXPECT_THROW(format.ReadInfo(*Reading(notBmp, "GIF89a and more bytes than a header"), info), EStreamError);
}

TEST(BmpFormat, ALoadThatFailsKeepsThePicture) {
  TBmpFormat format;
  format.AssignFromBitmap(GradientBitmap(7, 5), nullptr);
  format.SetXDotsPerInch(200);
  QBuffer buffer;
  EXPECT_THROW(format.LoadFromStream(*Reading(buffer, "BM but no more")), EStreamError);
  EXPECT_EQ(format.GetWidth(), 7);
  EXPECT_EQ(format.GetXDotsPerInch(), 200);
}

TEST(BmpFormat, AssignToBitmapExMakesThePicture32BitAndKeepsItsImageFormat) {
  TBmpFormat format;
  format.AssignFromBitmap(Row({qRgb(100, 150, 200), qRgb(9, 9, 9)}), nullptr);
  format.ConvertImageFormat(ifeGray256);
  TVellBitmapEx container;
  format.AssignToBitmapEx(container);
  EXPECT_EQ(Copy(format).PixelDepth(), 32);
  EXPECT_EQ(format.GetImageFormat(), ifeGray256);
  ASSERT_EQ(container.GetWidth(), 2);
  TBitmap back;
  container.AssignToBitmap(back);
  EXPECT_EQ(back.Image().pixel(0, 0), qRgb(142, 142, 142));
}

TEST(BmpFormat, AssignFromBitmapTakesTheDepthOrTheAttributes) {
  struct TCase {
    int Depth;
    TImageFormatEnum Format;
    int StoredDepth;
  };
  for (const TCase &c : {TCase{1, ifeBlackWhite, 1}, TCase{4, ifeColor16, 4}, TCase{8, ifeColor256, 8},
                         TCase{16, ifeTrueColor, 24}, TCase{32, ifeTrueColor, 24}}) {
    TBmpFormat format;
    format.AssignFromBitmap(GradientBitmap(6, 4, c.Depth), nullptr);
    EXPECT_EQ(format.GetImageFormat(), c.Format) << c.Depth;
    EXPECT_EQ(Copy(format).PixelDepth(), c.StoredDepth) << c.Depth;
  }

  TBmpAttr attr;
  attr.ImageFormat = ifeGray256;
  attr.DitherMode = dmeSierra;
  attr.XDotsPerInch = 600;
  attr.YDotsPerInch = 300;
  TBmpFormat format;
  format.AssignFromBitmap(GradientBitmap(6, 4), &attr);
  EXPECT_EQ(format.GetImageFormat(), ifeGray256);
  EXPECT_EQ(format.GetDitherMode(), dmeSierra);
  EXPECT_EQ(format.GetXDotsPerInch(), 600);
  EXPECT_EQ(format.GetYDotsPerInch(), 300);
  TBmpAttr filled;
  format.FillAttr(filled);
  EXPECT_EQ(filled.DitherMode, dmeSierra);
  EXPECT_EQ(filled.ImageFormat, ifeGray256);
  EXPECT_EQ(filled.XDotsPerInch, 600);
  ASSERT_NE(TBmpFormat::StaticClass().FindProperty("DitherMode"), nullptr);

  // An attribute object of another class: the picture is taken, then the assertion fails.
  TGifAttr gif;
  EXPECT_TRUE(FailsAnAssertion([&] { format.AssignFromBitmap(GradientBitmap(3, 2), &gif); }));
  EXPECT_EQ(format.GetWidth(), 3);
  TVellBitmapEx container;
  container.SetSize(5, 5);
  EXPECT_TRUE(FailsAnAssertion([&] { format.AssignFromBitmapEx(container, &gif); }));
  EXPECT_EQ(format.GetWidth(), 5);
}

TEST(BmpFormat, GraphicsAreDrawnAndStayTrueColourWithoutAttributes) {
  TGifGraphic graphic;
  graphic.TakeBitmap(GradientBitmap(4, 3));
  TBmpFormat format;
  format.ConvertImageFormat(ifeColor16);
  format.AssignFromGraphic(graphic, nullptr);
  EXPECT_EQ(Copy(format).PixelDepth(), 24);
  EXPECT_EQ(format.GetImageFormat(), ifeColor16);
  EXPECT_EQ(PixelOf(format, 3, 2), GradientColour(3, 2));

  TBmpAttr attr;
  attr.ImageFormat = ifeBlackWhite;
  format.AssignFromGraphic(graphic, &attr);
  EXPECT_EQ(Copy(format).PixelDepth(), 1);
  EXPECT_EQ(format.GetImageFormat(), ifeBlackWhite);
}

TEST(BmpFormat, AssignFromFormatCopiesABmpAndDrawsAnyOther) {
  TBmpFormat source;
  source.AssignFromBitmap(GradientBitmap(6, 4), nullptr);
  source.ConvertImageFormat(ifeGray256);
  source.SetDitherMode(dmeBurkes);
  source.SetXDotsPerInch(150);

  TBmpFormat copy;
  copy.Assign(&source);
  EXPECT_EQ(copy.GetImageFormat(), ifeGray256);
  EXPECT_EQ(copy.GetDitherMode(), dmeBurkes);
  EXPECT_EQ(copy.GetXDotsPerInch(), 150);
  EXPECT_EQ(Copy(copy).Image(), Copy(source).Image());

  TBmpAttr attr;
  attr.ImageFormat = ifeBlackWhite;
  attr.DitherMode = dmeStucki;
  copy.AssignFromFormat(&source, &attr);
  EXPECT_EQ(copy.GetImageFormat(), ifeBlackWhite);
  EXPECT_EQ(copy.GetDitherMode(), dmeStucki);
  EXPECT_EQ(copy.GetXDotsPerInch(), 96);

  TJpgFormat jpeg;
  jpeg.AssignFromBitmap(GradientBitmap(5, 3), nullptr);
  jpeg.SetYDotsPerInch(200);
  TBmpFormat drawn;
  drawn.SetDitherMode(dmeSierra);
  drawn.Assign(&jpeg);
  EXPECT_EQ(drawn.GetImageFormat(), ifeTrueColor);
  EXPECT_EQ(drawn.GetDitherMode(), dmeSierra);
  EXPECT_EQ(drawn.GetYDotsPerInch(), 200);
  EXPECT_EQ(PixelOf(drawn, 4, 2), GradientColour(4, 2));

  TGifAttr gif;
  EXPECT_TRUE(FailsAnAssertion([&] { drawn.AssignFromFormat(&jpeg, &gif); }));
  drawn.Assign(nullptr);
  EXPECT_TRUE(drawn.GetEmpty());
}

TEST(BmpFormat, SmoothStretchingAveragesAndPlainStretchingRepeats) {
  TBmpFormat format;
  format.AssignFromBitmap(Row({qRgb(0, 0, 0), qRgb(255, 255, 255)}), nullptr);
  for (bool smooth : {false, true}) {
    QImage target(8, 1, QImage::Format_RGB32);
    target.fill(Qt::red);
    {
      QPainter painter(&target);
      TCanvas canvas(painter);
      format.StretchDraw(canvas, QRect(0, 0, 8, 1), smooth);
    }
    QSet<QRgb> colours;
    for (int x = 0; x < 8; ++x)
      colours.insert(target.pixel(x, 0));
    EXPECT_EQ(colours.size() > 2, smooth) << smooth;
    EXPECT_FALSE(colours.contains(qRgb(255, 0, 0)));
  }
}
