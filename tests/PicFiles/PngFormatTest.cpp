// The PNG format: resolutions through the pHYs chunk, the option mappings,
// the image format and header information, NewImage with alpha, alpha and
// the transparent colour into a container, and what it writes against
// pngcheck and libvips.
#include "PicFormatTestSupport.h"

#include "PicFiles/PngFormat.h"
#include "PicFiles/VellGraphUtils.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestImages.h"

#include <QBuffer>
#include <QtEndian>

#include <gtest/gtest.h>

namespace {

// A 4 × 2 file: 8-bit, the colour type's samples counting up; extra chunks
// before the image data.
QByteArray PngFile(int colorType, const QByteArray &extra = {}) {
  const int samples = colorType == 2 ? 3 : colorType == 6 ? 4 : colorType == 4 ? 2 : 1;
  QByteArray ihdr(13, '\0');
  qToBigEndian(quint32(4), ihdr.data());
  qToBigEndian(quint32(2), ihdr.data() + 4);
  ihdr[8] = 8;
  ihdr[9] = char(colorType);
  QByteArray rows;
  for (int y = 0; y < 2; ++y) {
    rows.append('\0');
    for (int i = 0; i < 4 * samples; ++i)
      rows.append(char(y * 100 + i * 9));
  }
  QByteArray plte;
  for (int i = 0; i < 256; ++i)
    plte.append(char(i)).append(char(255 - i)).append(char(i / 2));
  return QByteArray("\x89PNG\r\n\x1a\n", 8) + PngChunk("IHDR", ihdr) + extra +
         (colorType == 3 ? PngChunk("PLTE", plte) : QByteArray()) + PngChunk("IDAT", Zlib(rows)) +
         PngChunk("IEND", {});
}

QByteArray Phys(quint32 x, quint32 y, char unit = 1) {
  QByteArray phys(9, '\0');
  qToBigEndian(x, phys.data());
  qToBigEndian(y, phys.data() + 4);
  phys[8] = unit;
  return PngChunk("pHYs", phys);
}

void Load(TPngFormat &format, const QByteArray &bytes) {
  QBuffer buffer;
  buffer.setData(bytes);
  buffer.open(QIODevice::ReadOnly);
  format.LoadFromStream(buffer);
}

// The pHYs fields of a file we wrote.
struct TPhys {
  quint32 X = 0, Y = 0;
  int Unit = -1;
};
TPhys PhysOf(const QByteArray &png) {
  const qsizetype at = png.indexOf("pHYs");
  if (at < 0)
    return {};
  return {qFromBigEndian<quint32>(png.constData() + at + 4),
          qFromBigEndian<quint32>(png.constData() + at + 8), png[at + 12]};
}

} // namespace

TEST(PngFormat, ResolutionsComeFromAndGoToThePhysChunkInMetres) {
  const struct {
    const char *name;
    QByteArray extra;
    quint16 dpi;
  } cases[] = {
      {"3780 per metre", Phys(3780, 3780), 96}, {"no pHYs", {}, 0}, {"unit unknown", Phys(3780, 3780, 0), 0}};
  for (const auto &c : cases) {
    TPngFormat format;
    Load(format, PngFile(2, c.extra));
    EXPECT_EQ(format.GetXDotsPerInch(), c.dpi) << c.name;
    EXPECT_EQ(format.GetYDotsPerInch(), c.dpi) << c.name;
    const TPhys phys = PhysOf(Saved(format));
    EXPECT_EQ(phys.Unit, 1) << c.name;
    EXPECT_EQ(phys.X, c.dpi ? 3780u : 0u) << c.name;
  }
  TPngFormat format;
  Load(format, PngFile(2));
  format.SetXDotsPerInch(300);
  format.SetYDotsPerInch(200);
  const TPhys phys = PhysOf(Saved(format));
  EXPECT_EQ(phys.X, 11811u);
  EXPECT_EQ(phys.Y, 7874u);
}

TEST(PngFormat, CompressionLevelMapsBothWaysAndFillAttrLeavesTheFormatAlone) {
  TPngFormat format;
  Load(format, PngFile(2));
  auto &png = static_cast<TPngGraphic &>(format.Picture());
  const struct {
    int level;
    TPngCompressionLevelEnum expected;
  } reads[] = {{0, pceLow}, {3, pceLow}, {4, pceMedium}, {6, pceMedium}, {7, pceHigh}, {9, pceHigh}};
  for (const auto &r : reads) {
    png.Level = r.level;
    EXPECT_EQ(format.GetCompressionLevel(), r.expected) << r.level;
  }
  const struct {
    TPngCompressionLevelEnum value;
    int stored;
  } writes[] = {{pceLow, 0}, {pceMedium, 5}, {pceHigh, 9}};
  for (const auto &w : writes) {
    format.SetCompressionLevel(w.value);
    EXPECT_EQ(png.Level, w.stored);
  }
  format.SetInterlaceMethod(pimAdam7);
  format.SetNeedSaveAlpha(true);
  const QByteArray before = Saved(format);
  TPngAttr attr;
  format.FillAttr(attr);
  EXPECT_EQ(attr.CompressionLevel, pceHigh);
  EXPECT_EQ(attr.InterlaceMethod, pimAdam7);
  EXPECT_TRUE(attr.NeedSaveAlpha);
  EXPECT_EQ(Saved(format), before);
}

TEST(PngFormat, ImageFormatAndHeaderInformationFollowTheColourType) {
  const struct {
    int colorType;
    TImageFormatEnum format;
    int bitsPerPixel;
  } cases[] = {{0, ifeGray256, 8},
               {2, ifeTrueColor, 24},
               {3, ifeTrueColor, 8},
               {4, ifeGray256, 8},
               {6, ifeTrueColor, 32}};
  for (const auto &c : cases) {
    const QByteArray bytes = PngFile(c.colorType);
    TPngFormat format;
    Load(format, bytes);
    EXPECT_EQ(format.GetImageFormat(), c.format) << c.colorType;
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    TPicInfo info{-1, -1, -1, 7, 7, {}};
    TPngFormat().ReadInfo(buffer, info);
    EXPECT_EQ(info.BitsPerPixel, c.bitsPerPixel) << c.colorType;
    EXPECT_EQ(info.Width, 4);
    EXPECT_EQ(info.XDotsPerInch, 7) << "resolutions are left alone";
  }
}

TEST(PngFormat, WrongHeadersRaiseTheirMessages) {
  QByteArray badType = PngFile(2);
  badType[25] = 5;
  QByteArray badDepth = PngFile(0);
  badDepth[24] = 3;
  const struct {
    QByteArray bytes;
    const char *message;
  } cases[] = {{QByteArray("GIF89a") + PngFile(2).mid(6), "PNG file is not valid or corrupted"},
               {badType, "Invalid color type for bit depth"},
               {badDepth, "Invalid bit depth"}};
  for (const auto &c : cases) {
    TPngFormat format;
    try {
      Load(format, c.bytes);
      ADD_FAILURE() << c.message;
    } catch (const EPNGError &error) {
      EXPECT_EQ(error.Message(), QString::fromLatin1(c.message));
    }
  }
}

TEST(PngFormat, NewImageWithSaveAlphaGivesGreyWithAlpha) {
  TPngFormat format;
  format.NewImage(1, 1, ifeTrueColor);
  format.SetNeedSaveAlpha(true);
  format.NewImage(4, 4, ifeGray256);
  EXPECT_EQ(format.GetWidth(), 4);
  EXPECT_EQ(format.GetImageFormat(), ifeGray256);
  EXPECT_TRUE(format.GetNeedSaveAlpha());
  const TTestDir dir;
  const QString file = dir.Write(QStringLiteral("alpha.png"), Saved(format));
  EXPECT_EQ(RunTool("vipsheader", {"-f", "bands", file}).trimmed(), "2");
  format.SetNeedSaveAlpha(false);
  EXPECT_FALSE(format.GetNeedSaveAlpha());
  EXPECT_EQ(static_cast<TPngGraphic &>(format.Picture()).ColorType(), 0);
}

TEST(PngFormat, TransparencyReachesTheContainer) {
  // Grey 8-bit with the transparent level 9 (pixel (1, 0)); RGB with alpha.
  QByteArray trns(2, '\0');
  qToBigEndian(quint16(9), trns.data());
  TPngFormat keyed;
  Load(keyed, PngFile(0, PngChunk("tRNS", trns)));
  TVellBitmapEx container;
  keyed.AssignToBitmapEx(container);
  ASSERT_EQ(container.GetWidth(), 4);
  TBitmap copy;
  container.AssignToBitmap(copy);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 4; ++x)
      EXPECT_EQ(qAlpha(copy.Image().pixel(x, y)), x == 1 && y == 0 ? 0 : 255) << x << "," << y;
  TBitmap bitmap;
  keyed.AssignToBitmap(bitmap);
  EXPECT_TRUE(bitmap.Transparent);
  EXPECT_EQ(bitmap.TransparentColor, qRgb(9, 9, 9));

  TPngFormat alpha;
  Load(alpha, PngFile(6));
  alpha.AssignToBitmapEx(container);
  container.AssignToBitmap(copy);
  EXPECT_EQ(qAlpha(copy.Image().pixel(1, 1)), uchar(100 + 7 * 9));
  // And back: the container's alpha is saved when asked for.
  TPngAttr attr;
  attr.NeedSaveAlpha = true;
  TPngFormat saved;
  saved.AssignFromBitmapEx(container, &attr);
  const TTestDir dir;
  const QString file = dir.Write(QStringLiteral("back.png"), Saved(saved));
  EXPECT_TRUE(RunToolOk("pngcheck", {"-q", file}));
  EXPECT_EQ(QImage(file).convertToFormat(QImage::Format_ARGB32).pixel(1, 1),
            copy.Image().convertToFormat(QImage::Format_ARGB32).pixel(1, 1));
}

TEST(PngFormat, LoadedFilesSaveAtTheirOwnDepthWithTheirChunks) {
  const QByteArray text = PngChunk("tEXt", QByteArray("Author\0Scanner", 14));
  TPngFormat format;
  Load(format, PngFile(3, text));
  format.SetInterlaceMethod(pimAdam7);
  const TTestDir dir;
  const QString file = dir.Write(QStringLiteral("again.png"), Saved(format));
  const QByteArray listing = RunTool("pngcheck", {"-v", file});
  EXPECT_TRUE(listing.contains("tEXt")) << listing.toStdString();
  EXPECT_TRUE(listing.contains("palette")) << listing.toStdString();
  EXPECT_TRUE(listing.contains("interlaced")) << listing.toStdString();
  const QString source = dir.Write(QStringLiteral("source.png"), PngFile(3, text));
  EXPECT_EQ(MagickRgba(file), MagickRgba(source));
}
