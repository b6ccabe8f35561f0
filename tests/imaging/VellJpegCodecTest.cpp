// The JPEG codec against libjpeg-turbo's programs and ImageMagick: what they
// write decodes to their pixels, what we write they read, and damaged or
// oversized input is refused.
#include "imaging/VellJpegCodec.h"

#include "imaging/VellGDIPAPI.h"
#include "tests/support/TestFiles.h"

#include <QBuffer>

#include <gtest/gtest.h>

#include <cstdio>
#include <jpeglib.h>

namespace {

constexpr int SourceWidth = 37, SourceHeight = 23;

QImage SourcePicture() {
  QImage image(SourceWidth, SourceHeight, QImage::Format_RGB888);
  for (int y = 0; y < SourceHeight; ++y)
    for (int x = 0; x < SourceWidth; ++x)
      image.setPixel(x, y, qRgb(x * 7, y * 11, (x * y * 3) % 256));
  return image;
}

QByteArray Ppm(const QImage &image) {
  QByteArray ppm = QStringLiteral("P6\n%1 %2\n255\n").arg(image.width()).arg(image.height()).toLatin1();
  const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
  for (int y = 0; y < rgb.height(); ++y)
    ppm.append(reinterpret_cast<const char *>(rgb.constScanLine(y)), rgb.width() * 3);
  return ppm;
}

bool DecodeBytes(const QByteArray &bytes, TJpegPicture &picture, QString &error) {
  QBuffer buffer;
  buffer.setData(bytes);
  buffer.open(QIODevice::ReadOnly);
  return TVellJpegCodec::Decode(buffer, picture, error);
}

TJpegPicture Decoded(const QByteArray &bytes) {
  TJpegPicture picture;
  QString error;
  EXPECT_TRUE(DecodeBytes(bytes, picture, error)) << error.toStdString();
  return picture;
}

QByteArray Encoded(const QImage &pixels, const TJpegOptions &options = {}) {
  QBuffer buffer;
  buffer.open(QIODevice::WriteOnly);
  QString error;
  EXPECT_TRUE(TVellJpegCodec::Encode(pixels, options, buffer, error)) << error.toStdString();
  return buffer.data();
}

// djpeg's decoding (libjpeg-turbo's own program) as an image.
QImage Djpeg(const QString &file) {
  return QImage::fromData(RunTool("djpeg", {"-pnm", file}), "PPM");
}

// A CMYK JPEG written with libjpeg: the inks of the picture with no black,
// stored inverted with Adobe's marker or plain without it.
QByteArray CmykJpeg(const QImage &picture, bool adobe) {
  jpeg_compress_struct info{};
  jpeg_error_mgr error{};
  info.err = jpeg_std_error(&error);
  jpeg_create_compress(&info);
  unsigned char *data = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&info, &data, &size);
  info.image_width = JDIMENSION(picture.width());
  info.image_height = JDIMENSION(picture.height());
  info.input_components = 4;
  info.in_color_space = JCS_CMYK;
  jpeg_set_defaults(&info);
  jpeg_set_colorspace(&info, JCS_CMYK);
  jpeg_set_quality(&info, 100, TRUE);
  info.write_Adobe_marker = adobe ? TRUE : FALSE;
  jpeg_start_compress(&info, TRUE);
  std::vector<JSAMPLE> row(size_t(picture.width()) * 4);
  for (int y = 0; y < picture.height(); ++y) {
    for (int x = 0; x < picture.width(); ++x) {
      const QRgb p = picture.pixel(x, y);
      const int inks[4] = {255 - qRed(p), 255 - qGreen(p), 255 - qBlue(p), 0};
      for (int c = 0; c < 4; ++c)
        row[size_t(x * 4 + c)] = JSAMPLE(adobe ? 255 - inks[c] : inks[c]);
    }
    JSAMPROW rows[1] = {row.data()};
    jpeg_write_scanlines(&info, rows, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
  std::free(data);
  return bytes;
}

int LargestDifference(const QImage &a, const QImage &b) {
  const QByteArray x = Rgba(a), y = Rgba(b);
  if (x.size() != y.size())
    return 256;
  int largest = 0;
  for (qsizetype i = 0; i < x.size(); ++i)
    largest = std::max(largest, std::abs(int(quint8(x[i])) - int(quint8(y[i]))));
  return largest;
}

class VellJpegCodec : public ::testing::Test {
protected:
  TTestDir Dir;
  QString Source = Dir.Write("source.ppm", Ppm(SourcePicture()));
};

} // namespace

TEST_F(VellJpegCodec, DecodesWhatCjpegAndImageMagickWriteToDjpegsPixels) {
  struct TCase {
    const char *Name;
    const char *Program;
    QStringList Arguments;
    QImage::Format Format;
  };
  const TCase cases[] = {
      {"baseline", "cjpeg", {"-quality", "90"}, QImage::Format_BGR888},
      {"grey", "cjpeg", {"-grayscale"}, QImage::Format_Grayscale8},
      {"rgb", "cjpeg", {"-rgb"}, QImage::Format_BGR888},
      {"progressive", "cjpeg", {"-progressive"}, QImage::Format_BGR888},
      {"restart-markers", "cjpeg", {"-restart", "1B"}, QImage::Format_BGR888},
      {"magick", "convert", {}, QImage::Format_BGR888},
  };
  for (const TCase &c : cases) {
    SCOPED_TRACE(c.Name);
    const QString file = Dir.File(QStringLiteral("%1.jpg").arg(c.Name));
    if (QByteArray(c.Program) == "cjpeg")
      RunTool("cjpeg", c.Arguments + QStringList{"-outfile", file, Source});
    else
      RunTool("convert", {Source, file});
    const TJpegPicture picture = Decoded(ReadWholeFile(file));
    EXPECT_EQ(picture.Pixels.format(), c.Format);
    EXPECT_EQ(Rgba(picture.Pixels), Rgba(Djpeg(file)));
  }
}

TEST_F(VellJpegCodec, DecodesCmykAndYcckToRgb) {
  // Plain and Adobe-inverted CMYK carry the source's colours.
  for (const bool adobe : {false, true}) {
    const TJpegPicture picture = Decoded(CmykJpeg(SourcePicture(), adobe));
    EXPECT_EQ(picture.Header.ColorSpace, TJpegColorSpace::Cmyk);
    EXPECT_LE(LargestDifference(picture.Pixels, SourcePicture()), 6) << "Adobe " << adobe;
  }
  // ImageMagick writes CMYK as YCCK.
  const QString ycck = Dir.File("ycck.jpg");
  RunTool("convert", {Source, "-colorspace", "CMYK", "-quality", "100", ycck});
  const TJpegPicture picture = Decoded(ReadWholeFile(ycck));
  EXPECT_EQ(picture.Header.ColorSpace, TJpegColorSpace::Ycck);
  const QImage magick = QImage::fromData(RunTool("convert", {ycck, "-colorspace", "sRGB", "ppm:-"}), "PPM");
  EXPECT_LE(LargestDifference(picture.Pixels, magick), 3);
}

TEST_F(VellJpegCodec, WritesFilesThatOtherReadersDecodeAsWeDo) {
  struct TCase {
    const char *Name;
    QImage Pixels;
    TJpegOptions Options;
    const char *StartOfFrame; // the frame marker the options ask for
  };
  const QImage grey = SourcePicture().convertToFormat(QImage::Format_Grayscale8);
  const TCase cases[] = {
      {"colour", SourcePicture(), {}, "\xFF\xC0"},
      {"grey", grey, {}, "\xFF\xC0"},
      {"progressive", SourcePicture(), {80, true, false, 0, 0}, "\xFF\xC2"},
      {"optimised", SourcePicture(), {80, false, true, 0, 0}, "\xFF\xC0"},
  };
  for (const TCase &c : cases) {
    SCOPED_TRACE(c.Name);
    const QByteArray bytes = Encoded(c.Pixels, c.Options);
    EXPECT_TRUE(bytes.contains(c.StartOfFrame));
    const QString file = Dir.Write(QStringLiteral("%1.jpg").arg(c.Name), bytes);
    const QImage ours = Decoded(bytes).Pixels;
    EXPECT_EQ(Rgba(ours), Rgba(Djpeg(file)));
    EXPECT_EQ(Rgba(ours), MagickRgba(file));
    EXPECT_EQ(RunTool("vipsheader", {"-f", "bands", file}).trimmed(), c.Pixels == grey ? "1" : "3");
  }
  TJpegOptions plain, optimised;
  optimised.OptimizeHuffman = true;
  EXPECT_LT(Encoded(SourcePicture(), optimised).size(), Encoded(SourcePicture(), plain).size());
}

TEST_F(VellJpegCodec, WritesJfifDotsPerInchAndTheQuality) {
  TJpegOptions options;
  options.XDotsPerInch = 300;
  options.YDotsPerInch = 150;
  TJpegHeader header;
  QBuffer buffer;
  buffer.setData(Encoded(SourcePicture(), options));
  buffer.open(QIODevice::ReadOnly);
  QString error;
  ASSERT_TRUE(TVellJpegCodec::ReadHeader(buffer, header, error));
  EXPECT_EQ(header.DensityUnit, 1);
  EXPECT_EQ(header.XDensity, 300);
  EXPECT_EQ(header.YDensity, 150);
  const QString file = Dir.Write("q.jpg", buffer.data());
  EXPECT_EQ(RunTool("identify", {"-format", "%Q", file}), "75");
}

TEST_F(VellJpegCodec, RefusesTruncatedFilesAndOversizedHeaders) {
  const QByteArray whole = Encoded(SourcePicture());
  for (const qsizetype cut : {qsizetype(1), qsizetype(30), whole.size() / 2, whole.size() - 2}) {
    TJpegPicture picture;
    QString error;
    EXPECT_FALSE(DecodeBytes(whole.left(cut), picture, error)) << cut;
    EXPECT_FALSE(error.isEmpty());
  }
  const qint64 limit = GdipPixelLimit();
  GdipSetPixelLimit(SourceWidth * SourceHeight - 1);
  TJpegPicture picture;
  QString error;
  EXPECT_FALSE(DecodeBytes(whole, picture, error));
  EXPECT_TRUE(error.contains("exceeds the limit")) << error.toStdString();
  GdipSetPixelLimit(limit);
}
