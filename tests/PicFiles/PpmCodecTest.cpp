#include "PicFiles/EnPpmGr.h"
#include "tests/PicFiles/PicTools.h"
#include "tests/support/TestFiles.h"

#include <QBuffer>

#include <gtest/gtest.h>

namespace {

const QByteArray Comment = "# Created By Quillon Image Library\n";

QByteArray EncodePpm(const TPpmGraphic &picture) {
  QBuffer buffer;
  buffer.open(QIODevice::WriteOnly);
  picture.SaveToStream(buffer);
  return buffer.data();
}

TPpmGraphic DecodePpm(const QByteArray &bytes) {
  QBuffer buffer;
  buffer.setData(bytes);
  buffer.open(QIODevice::ReadOnly);
  TPpmGraphic picture;
  picture.LoadFromStream(buffer);
  return picture;
}

QList<int> Indices(const QImage &pixels) {
  QList<int> indices;
  for (int y = 0; y < pixels.height(); ++y)
    for (int x = 0; x < pixels.width(); ++x)
      indices << pixels.pixelIndex(x, y);
  return indices;
}

TPpmGraphic Picture(int width, int height, TImageFormatEnum format, const QList<int> &indices) {
  TPpmGraphic picture;
  picture.NewImage(width, height, format);
  QImage pixels = picture.Pixels().Image();
  for (int i = 0; i < indices.size(); ++i)
    pixels.setPixel(i % width, i / width, uint(indices[i]));
  picture.SetPixels(BitmapOfRaster(pixels, format), format);
  return picture;
}

TEST(PpmCodec, WritesBlackAndWhiteAsciiAndBinaryByteForByte) {
  TPpmGraphic picture = Picture(2, 2, ifeBlackWhite, {0, 1, 1, 0});
  EXPECT_EQ(EncodePpm(picture), "P1\n" + Comment + "2 2\n1 0 0 1\n");
  picture.Mode = pmeBinary;
  EXPECT_EQ(EncodePpm(picture), "P4\n" + Comment + "2 2\n\x80\x40");
}

TEST(PpmCodec, AsciiLinesWrapBeforeTheyPass69Characters) {
  const TPpmGraphic picture = Picture(40, 1, ifeGray256, QList<int>(40, 255));
  const QByteArray values17 = QByteArray("255 ").repeated(16) + "255\n";
  EXPECT_EQ(EncodePpm(picture), "P2\n" + Comment + "40 1\n255\n" + values17 + values17 + "255 255 255 255 255 255\n");
}

TEST(PpmCodec, ReadsTheDocumentedFiles) {
  const struct {
    const char *Name;
    QByteArray File;
    TImageFormatEnum Format;
    QList<int> Indices;
    TPpmModeEnum Mode;
  } cases[] = {
      {"P5", QByteArray("P5\n3 1\n255\n") + "\x0A\x14\x1E", ifeGray256, {10, 20, 30}, pmeBinary},
      {"P5 with comment", QByteArray("P5\n# made by hand\n3 1\n255\n") + "\x0A\x14\x1E", ifeGray256, {10, 20, 30}, pmeBinary},
      {"P2 maximum 15", "P2\n4 1\n15\n0 5 10 15\n", ifeGray256, {0, 5, 10, 15}, pmeAscii},
      {"ends after last digit", "P2\n3 1\n255\n7 8 9", ifeGray256, {7, 8, 9}, pmeAscii},
      {"P1 spaced", "P1\n2 2\n1 0\n0 1\n", ifeBlackWhite, {0, 1, 1, 0}, pmeAscii},
      {"P1 plain digits", "P1 # comment 5\n4 1 1001", ifeBlackWhite, {0, 1, 1, 0}, pmeAscii},
      {"P4 rows start new bytes", QByteArray("P4 3 2\n") + "\xA0\x40", ifeBlackWhite, {0, 1, 0, 1, 0, 1}, pmeBinary},
  };
  for (const auto &c : cases) {
    const TPpmGraphic picture = DecodePpm(c.File);
    EXPECT_EQ(picture.ImageFormat(), c.Format) << c.Name;
    EXPECT_EQ(Indices(picture.Pixels().Image()), c.Indices) << c.Name;
    EXPECT_EQ(picture.Mode, c.Mode) << c.Name;
  }
}

// A missing "P", a kind other than 1 to 6, and data that ends before the
// picture does (text after the one LF supplied at the end, binary samples at
// once) are refused with the one message.
TEST(PpmCodec, RefusesBadAndTruncatedFiles) {
  const QByteArray files[] = {"", "Q1 1 1 1", "P7\n1 1\n255\n\x01", "P0 1 1", "P",
                              "P3 2 1 255 1 2 3 4", "P1 3 1 1 0", QByteArray("P5 3 1 255\n") + "\x01\x02",
                              QByteArray("P6 1 1 255\n") + "\x01\x02", QByteArray("P4 9 1\n") + "\x01"};
  for (const QByteArray &file : files) {
    try {
      DecodePpm(file);
      ADD_FAILURE() << "accepted " << file.toStdString();
    } catch (const EPpmError &error) {
      EXPECT_EQ(error.Message(), QStringLiteral("Not a valid PPM file")) << file.toStdString();
    }
  }
}

TEST(PpmCodec, HeaderReaderAndSignature) {
  const struct {
    QByteArray File;
    int Width, Height, Bits;
    bool Signature;
  } cases[] = {{"P1 3 2 ", 3, 2, 1, true},      {"P4\n# c\n5 6\n", 5, 6, 1, true}, {"P2 7 8 255", 7, 8, 8, true},
               {"P5 9 10 255", 9, 10, 8, true}, {"P3 1 2 255", 1, 2, 24, true},     {"P6 3 4 255", 3, 4, 24, true},
               {"P9 5 6", 5, 6, 24, false}};
  for (const auto &c : cases) {
    QBuffer buffer;
    buffer.setData(c.File);
    buffer.open(QIODevice::ReadOnly);
    EXPECT_EQ(TPpmGraphic().CanLoadFromStream(buffer), c.Signature) << c.File.toStdString();
    EXPECT_EQ(buffer.pos(), 0);
    TPicInfo header;
    TPpmGraphic().ReadHeader(buffer, header);
    EXPECT_EQ(header.Width, c.Width) << c.File.toStdString();
    EXPECT_EQ(header.Height, c.Height) << c.File.toStdString();
    EXPECT_EQ(header.BitsPerPixel, c.Bits) << c.File.toStdString();
  }
  QBuffer notPpm;
  notPpm.setData("Q5 1 1");
  notPpm.open(QIODevice::ReadOnly);
  TPicInfo info;
  EXPECT_THROW(TPpmGraphic().ReadHeader(notPpm, info), EPpmError);
}

// Every kind that netpbm, ImageMagick and GraphicsMagick write decodes to the
// pixels ImageMagick reads, and what we write of it again (ASCII and binary)
// ImageMagick reads back equal.
TEST(PpmCodec, ToolFilesDecodeAndWriteBack) {
  const TTestDir dir;
  const QString source = dir.File(QStringLiteral("rose.ppm"));
  ASSERT_TRUE(RunToolOk(QStringLiteral("convert"), {QStringLiteral("rose:"), source}));
  const struct {
    const char *Pipeline; // from rose.ppm to t.pnm
    TImageFormatEnum Format;
  } cases[] = {
      {"cp rose.ppm t.pnm", ifeTrueColor},
      {"pnmtoplainpnm rose.ppm > t.pnm", ifeTrueColor},
      {"ppmtopgm rose.ppm > t.pnm", ifeGray256},
      {"ppmtopgm rose.ppm | pnmtoplainpnm > t.pnm", ifeGray256},
      {"ppmtopgm rose.ppm | pgmtopbm > t.pnm", ifeBlackWhite},
      {"ppmtopgm rose.ppm | pgmtopbm | pnmtoplainpnm > t.pnm", ifeBlackWhite},
      {"convert rose.ppm -compress none ppm:t.pnm", ifeTrueColor},
      {"convert rose.ppm -colorspace gray -compress none pgm:t.pnm", ifeGray256},
      {"convert rose.ppm -monochrome -compress none pbm:t.pnm", ifeBlackWhite},
      {"convert rose.ppm -monochrome pbm:t.pnm", ifeBlackWhite},
      {"gm convert rose.ppm -compress none ppm:t.pnm", ifeTrueColor},
      {"gm convert rose.ppm -colorspace gray pgm:t.pnm", ifeGray256},
      {"gm convert rose.ppm -monochrome -compress none pbm:t.pnm", ifeBlackWhite},
  };
  for (const auto &c : cases) {
    ASSERT_TRUE(RunToolOk(QStringLiteral("sh"), {QStringLiteral("-c"), QStringLiteral("cd '%1' && %2").arg(dir.Path(), QLatin1String(c.Pipeline))}));
    const QString file = dir.File(QStringLiteral("t.pnm"));
    TPpmGraphic picture = DecodePpm(ReadWholeFile(file));
    EXPECT_EQ(picture.ImageFormat(), c.Format) << c.Pipeline;
    TPixelDiff diff = ComparePixels(picture.Pixels().Image(), ToolPixels(QStringLiteral("convert"), file));
    EXPECT_EQ(diff.Largest, 0) << c.Pipeline << " at " << diff.X << "," << diff.Y;
    for (const TPpmModeEnum mode : {pmeAscii, pmeBinary}) {
      picture.Mode = mode;
      const QString ours = dir.Write(QStringLiteral("ours.pnm"), EncodePpm(picture));
      diff = ComparePixels(picture.Pixels().Image(), ToolPixels(QStringLiteral("convert"), ours));
      EXPECT_EQ(diff.Largest, 0) << c.Pipeline << " written in mode " << int(mode);
    }
  }
}

} // namespace
