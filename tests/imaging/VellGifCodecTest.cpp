// The GIF codec against ImageMagick and giflib: what they write decodes to
// their pixels (first image, on its screen, with its colour table and
// transparency), what we write ImageMagick reads alike, and damaged or
// oversized input is refused.
#include "imaging/VellGifCodec.h"

#include "imaging/VellGDIPAPI.h"
#include "tests/support/TestFiles.h"

#include <QBuffer>

#include <gtest/gtest.h>

#include <gif_lib.h>

namespace {

QImage Picture(int width, int height, int shift) {
  QImage image(width, height, QImage::Format_ARGB32);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      image.setPixel(x, y, qRgb((x * 20 + shift) % 256, y * 30 % 256, (x * y * 5) % 256));
  return image;
}

bool DecodeBytes(const QByteArray &bytes, TGifPicture &picture, QString &error) {
  QBuffer buffer;
  buffer.setData(bytes);
  buffer.open(QIODevice::ReadOnly);
  return TVellGifCodec::Decode(buffer, picture, error);
}

TGifPicture Decoded(const QByteArray &bytes) {
  TGifPicture picture;
  QString error;
  EXPECT_TRUE(DecodeBytes(bytes, picture, error)) << error.toStdString();
  return picture;
}

QByteArray Encoded(const QImage &pixels) {
  QBuffer buffer;
  buffer.open(QIODevice::WriteOnly);
  QString error;
  EXPECT_TRUE(TVellGifCodec::Encode(pixels, TDitherKernel::FloydSteinberg, buffer, error))
      << error.toStdString();
  return buffer.data();
}

// RGBA bytes with the colour of fully transparent pixels cleared: readers
// differ in what they put there.
QByteArray Visible(QByteArray rgba) {
  for (qsizetype i = 0; i + 3 < rgba.size(); i += 4)
    if (rgba[i + 3] == 0)
      rgba[i] = rgba[i + 1] = rgba[i + 2] = 0;
  return rgba;
}

int WriteToBuffer(GifFileType *file, const GifByteType *bytes, int count) {
  static_cast<QByteArray *>(file->UserData)->append(reinterpret_cast<const char *>(bytes), count);
  return count;
}

// A 20 × 10 screen without a global table; the one image (10 × 5 at (3, 2),
// interlaced) has a local table of 4 colours and index 3 transparent.
QByteArray LocalPaletteGif() {
  QByteArray bytes;
  int error = 0;
  GifFileType *gif = EGifOpen(&bytes, WriteToBuffer, &error);
  EGifSetGifVersion(gif, true);
  EGifPutScreenDesc(gif, 20, 10, 2, 0, nullptr);
  const GraphicsControlBlock control{DISPOSAL_UNSPECIFIED, false, 0, 3};
  GifByteType block[4];
  EGifGCBToExtension(&control, block);
  EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, block);
  GifColorType colours[4] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {9, 9, 9}};
  ColorMapObject *map = GifMakeMapObject(4, colours);
  EGifPutImageDesc(gif, 3, 2, 10, 5, true, map);
  for (const int row : {0, 4, 2, 1, 3}) {
    GifPixelType line[10];
    for (int x = 0; x < 10; ++x)
      line[x] = GifPixelType((x + row) % 4);
    EGifPutLine(gif, line, 10);
  }
  EGifCloseFile(gif, &error);
  GifFreeMapObject(map);
  return bytes;
}

class VellGifCodec : public ::testing::Test {
protected:
  TTestDir Dir;
  QString First = Dir.Write("first.png", QByteArray());
  QString Second = Dir.Write("second.png", QByteArray());
  void SetUp() override {
    QImage transparent = Picture(23, 11, 0);
    for (int x = 0; x < 23; ++x)
      transparent.setPixel(x, 4, qRgba(0, 0, 0, 0));
    ASSERT_TRUE(transparent.save(First, "PNG"));
    ASSERT_TRUE(Picture(23, 11, 99).save(Second, "PNG"));
  }
};

} // namespace

TEST_F(VellGifCodec, DecodesWhatImageMagickWritesToItsPixels) {
  struct TCase {
    const char *Name;
    QStringList Arguments;
    const char *Reference; // the frame ImageMagick decodes for comparison
  };
  const TCase cases[] = {
      {"transparent", {First, "-colors", "64"}, ""},
      {"interlaced", {First, "-colors", "64", "-interlace", "GIF"}, ""},
      {"frames", {First, Second, "-colors", "64"}, "[0]"},
  };
  for (const TCase &c : cases) {
    SCOPED_TRACE(c.Name);
    const QString file = Dir.File(QStringLiteral("%1.gif").arg(c.Name));
    RunTool("convert", c.Arguments + QStringList{file});
    const TGifPicture picture = Decoded(ReadWholeFile(file));
    EXPECT_EQ(picture.Pixels.format(), QImage::Format_Indexed8);
    EXPECT_EQ(picture.Pixels.size(), QSize(23, 11));
    EXPECT_EQ(Visible(Rgba(picture.Pixels)), Visible(MagickRgba(file + c.Reference)));
    EXPECT_EQ(qAlpha(picture.Pixels.pixel(5, 4)), 0);
  }
}

TEST_F(VellGifCodec, ComposesTheFirstImageWithItsLocalTableOnTheScreen) {
  const TGifPicture picture = Decoded(LocalPaletteGif());
  ASSERT_EQ(picture.Pixels.size(), QSize(20, 10));
  EXPECT_EQ(picture.BitsPerPixel, 2);
  const QRgb colours[4] = {qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(0, 0, 255), qRgba(9, 9, 9, 0)};
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 20; ++x) {
      const bool inside = x >= 3 && x < 13 && y >= 2 && y < 7;
      const QRgb expected = inside ? colours[(x - 3 + y - 2) % 4] : colours[3];
      ASSERT_EQ(picture.Pixels.pixel(x, y), expected) << x << "," << y;
    }
}

TEST_F(VellGifCodec, WritesWhatImageMagickReadsAsWeDo) {
  QImage indexed(7, 5, QImage::Format_Indexed8);
  indexed.setColorTable(
      {qRgb(10, 20, 30), qRgb(200, 100, 0), qRgba(0, 0, 0, 0), qRgb(0, 255, 255), qRgb(1, 2, 3)});
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 7; ++x)
      indexed.setPixel(x, y, uint((x + y) % 5));
  const QImage cases[] = {indexed, Picture(40, 30, 7)};
  for (const QImage &pixels : cases) {
    const QByteArray bytes = Encoded(pixels);
    const QString file = Dir.Write("ours.gif", bytes);
    const TGifPicture picture = Decoded(bytes);
    EXPECT_EQ(Visible(Rgba(picture.Pixels)), Visible(MagickRgba(file)));
    if (pixels.format() == QImage::Format_Indexed8) {
      EXPECT_EQ(Visible(Rgba(picture.Pixels)), Visible(Rgba(pixels)));
    }
    EXPECT_EQ(RunTool("identify", {"-format", "%wx%h", file}),
              QStringLiteral("%1x%2").arg(pixels.width()).arg(pixels.height()).toLatin1());
  }
}

TEST_F(VellGifCodec, RefusesTruncatedFilesAndOversizedScreens) {
  const QByteArray whole = Encoded(Picture(40, 30, 7));
  for (const qsizetype cut : {qsizetype(5), qsizetype(13), whole.size() / 2}) {
    TGifPicture picture;
    QString error;
    EXPECT_FALSE(DecodeBytes(whole.left(cut), picture, error)) << cut;
    EXPECT_FALSE(error.isEmpty());
  }
  const qint64 limit = GdipPixelLimit();
  GdipSetPixelLimit(40 * 30 - 1);
  TGifPicture picture;
  QString error;
  EXPECT_FALSE(DecodeBytes(whole, picture, error));
  EXPECT_TRUE(error.contains("exceeds the limit")) << error.toStdString();
  GdipSetPixelLimit(limit);
}
