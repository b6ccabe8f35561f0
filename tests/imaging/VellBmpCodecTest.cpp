// The BMP codec against ImageMagick, GraphicsMagick, libvips and Qt: every
// variant they write decodes to their pixels, and what we write they read.
#include "imaging/VellBmpCodec.h"

#include "imaging/VellGDIPOBJ.h"
#include "tests/support/TestFiles.h"

#include <QBuffer>
#include <QtEndian>

#include <gtest/gtest.h>

namespace {

constexpr int SourceWidth = 13, SourceHeight = 7;

// A PPM with varied colours; the tools reduce it to each depth.
QByteArray SourcePpm() {
  QByteArray ppm = QStringLiteral("P6\n%1 %2\n255\n").arg(SourceWidth).arg(SourceHeight).toLatin1();
  for (int y = 0; y < SourceHeight; ++y)
    for (int x = 0; x < SourceWidth; ++x)
      ppm.append(char(x * 19)).append(char(y * 36)).append(char((x * y * 7) % 256));
  return ppm;
}

bool Decode(const QByteArray &bytes, TBmpPicture &picture, QString &error) {
  QBuffer buffer;
  buffer.setData(bytes);
  buffer.open(QIODevice::ReadOnly);
  return TVellBmpCodec::Decode(buffer, picture, error);
}

TBmpPicture Decoded(const QByteArray &bytes) {
  TBmpPicture picture;
  QString error;
  EXPECT_TRUE(Decode(bytes, picture, error)) << error.toStdString();
  return picture;
}

QByteArray Encoded(const TBmpPicture &picture) {
  QBuffer buffer;
  buffer.open(QIODevice::WriteOnly);
  QString error;
  EXPECT_TRUE(TVellBmpCodec::Encode(picture, buffer, error)) << error.toStdString();
  return buffer.data();
}

// Every byte cut to its top bits.
QByteArray Truncated(QByteArray bytes, int bits) {
  for (char &byte : bytes)
    byte = char(quint8(byte) >> (8 - bits));
  return bytes;
}

quint32 U32At(const QByteArray &bytes, int offset) {
  return qFromLittleEndian<quint32>(bytes.constData() + offset);
}

// The same file with top-down rows (negated height, rows reversed).
QByteArray TopDown(const QByteArray &bmp) {
  const int offset = int(U32At(bmp, 10)), height = int(U32At(bmp, 22));
  const int stride = (bmp.size() - offset) / height;
  QByteArray flipped = bmp.left(offset);
  for (int row = height - 1; row >= 0; --row)
    flipped.append(bmp.mid(offset + row * stride, stride));
  qToLittleEndian<qint32>(-height, flipped.data() + 22);
  return flipped;
}

// The same file with its info header cut to size bytes (fields past it dropped).
QByteArray WithHeaderSize(const QByteArray &bmp, int size) {
  const int old = int(U32At(bmp, 14));
  QByteArray cut = bmp.left(14 + size) + bmp.mid(14 + old);
  qToLittleEndian<quint32>(quint32(size), cut.data() + 14);
  qToLittleEndian<quint32>(U32At(bmp, 10) - quint32(old - size), cut.data() + 10);
  return cut;
}

class VellBmpCodec : public ::testing::Test {
protected:
  TTestDir Dir;
  QString Source = Dir.Write("source.ppm", SourcePpm());
};

TEST_F(VellBmpCodec, ReadsWhatImageMagickAndGraphicsMagickWrite) {
  struct TCase {
    QString Name;
    QString Program;
    QStringList Options;
    QString Prefix;
    int Bits;
  };
  const QList<TCase> cases{
      {"IM OS/2 core header, 24 bits", "convert", {}, "BMP2:", 24},
      {"IM OS/2 core header, 3-byte palette", "convert", {"-colors", "5"}, "BMP2:", 4},
      {"IM info header, 24 bits", "convert", {}, "BMP3:", 24},
      {"IM V5 header, 24 bits", "convert", {}, "BMP:", 24},
      {"IM 1 bit", "convert", {"-monochrome"}, "BMP3:", 1},
      {"IM 4 bits", "convert", {"-colors", "12"}, "BMP3:", 4},
      {"IM 8 bits", "convert", {"-colors", "60"}, "BMP3:", 8},
      {"IM RLE8", "convert", {"-colors", "60", "-compress", "RLE"}, "BMP3:", 8},
      {"IM V5 16 bits 5-6-5", "convert", {"-define", "bmp:subtype=RGB565"}, "BMP:", 16},
      {"IM V5 16 bits 5-5-5", "convert", {"-define", "bmp:subtype=RGB555"}, "BMP:", 16},
      {"IM V5 16 bits with alpha", "convert",
       {"-alpha", "set", "-channel", "A", "-fx", "i/w", "+channel", "-define", "bmp:subtype=ARGB4444"}, "BMP:", 16},
      {"IM V5 32 bits with alpha", "convert", {"-alpha", "set", "-channel", "A", "-fx", "j/h", "+channel"}, "BMP:", 32},
      {"GM OS/2", "gm", {"convert"}, "BMP2:", 24},
      {"GM 4 bits", "gm", {"convert", "-colors", "16"}, "BMP3:", 4},
      {"GM 8 bits RLE", "gm", {"convert", "-colors", "60", "-compress", "RLE"}, "BMP3:", 8},
      {"GM V4", "gm", {"convert"}, "BMP:", 24},
  };
  for (int i = 0; i < cases.size(); ++i) {
    const TCase &c = cases[i];
    SCOPED_TRACE(c.Name.toStdString());
    const QString file = Dir.File(QStringLiteral("case%1.bmp").arg(i));
    QStringList arguments = c.Program == "gm" ? QStringList{"convert", Source} : QStringList{Source};
    if (c.Program == "gm")
      arguments += c.Options.mid(1);
    else
      arguments += c.Options;
    RunTool(c.Program, arguments << c.Prefix + file);
    const QByteArray bytes = ReadWholeFile(file);
    const TBmpPicture picture = Decoded(bytes);
    EXPECT_EQ(picture.BitsPerPixel, c.Bits);
    const QByteArray expected = MagickRgba(file);
    // ImageMagick widens 4-bit channels by a shift (15 becomes 240); they
    // agree at the file's precision.
    const int precision = c.Name.contains("16 bits with alpha") ? 4 : 8;
    EXPECT_EQ(Truncated(Rgba(picture.Pixels), precision), Truncated(expected, precision));
    if (c.Bits == 24 && c.Prefix == "BMP3:") {
      EXPECT_EQ(Rgba(Decoded(TopDown(bytes)).Pixels), expected) << "top-down";
    }
    if (c.Prefix == "BMP3:" && !c.Options.contains("RLE")) {
      // OS/2 2.x: the info header's fields, then 24 bytes of OS/2 fields (0
      // is every default), 4-byte palette entries.
      QByteArray os2 = bytes.left(14 + 40) + QByteArray(24, '\0') + bytes.mid(14 + 40);
      qToLittleEndian<quint32>(64, os2.data() + 14);
      qToLittleEndian<quint32>(U32At(bytes, 10) + 24, os2.data() + 10);
      EXPECT_EQ(Rgba(Decoded(os2).Pixels), expected) << "OS/2 2.x 64-byte header";
    }
    if (c.Prefix == "BMP:" && c.Program == "convert" && c.Bits >= 16) {
      EXPECT_EQ(Truncated(Rgba(Decoded(WithHeaderSize(bytes, 56)).Pixels), precision), Truncated(expected, precision))
          << "56-byte header";
      if (!c.Name.contains("alpha")) {
        const QByteArray v2 = WithHeaderSize(bytes, 52);
        EXPECT_EQ(Rgba(Decoded(v2).Pixels), expected) << "52-byte header";
        // An info header with the masks after it has the same bytes.
        QByteArray info = v2;
        qToLittleEndian<quint32>(40, info.data() + 14);
        EXPECT_EQ(Rgba(Decoded(info).Pixels), expected) << "info header and bit-field masks";
      }
    }
  }
}

// RLE4 as no tool here writes it: runs, a literal run, a delta, end of line.
TEST_F(VellBmpCodec, ReadsRle4WithDeltaAndEndOfLine) {
  QByteArray bmp("BM");
  bmp.append(QByteArray(12, '\0'));
  QByteArray info(40, '\0');
  qToLittleEndian<quint32>(40, info.data());
  qToLittleEndian<qint32>(6, info.data() + 4);
  qToLittleEndian<qint32>(2, info.data() + 8);
  qToLittleEndian<quint16>(1, info.data() + 12);
  qToLittleEndian<quint16>(4, info.data() + 14);
  qToLittleEndian<quint32>(2, info.data() + 16);
  bmp.append(info);
  for (int i = 0; i < 16; ++i)
    bmp.append(char(i * 16)).append(char(i)).append(char(255 - i * 16)).append('\0');
  qToLittleEndian<quint32>(quint32(bmp.size()), bmp.data() + 10);
  bmp.append(QByteArray::fromHex("0312" "0003abc0" "00020100" "0000" "0245" "0001"));
  const TBmpPicture picture = Decoded(bmp);
  ASSERT_EQ(picture.Pixels.size(), QSize(6, 2));
  auto indices = [&](int row) {
    QList<int> values;
    for (int x = 0; x < 6; ++x)
      values << picture.Pixels.constScanLine(row)[x];
    return values;
  };
  // Bottom row: the run 1 2 1, the literal a b c; the delta moves one to the
  // right, the end of line starts the row above, where the run 4 5 lands.
  EXPECT_EQ(indices(1), QList<int>({1, 2, 1, 10, 11, 12}));
  EXPECT_EQ(indices(0), QList<int>({4, 5, 0, 0, 0, 0}));
}

TEST_F(VellBmpCodec, WhatWeWriteIsReadAlikeByImageMagickLibvipsAndQt) {
  const TBmpPicture source = Decoded(ReadWholeFile([&] {
    const QString file = Dir.File("source.bmp");
    RunTool("convert", {Source, "BMP3:" + file});
    return file;
  }()));
  const QImage palette8 = source.Pixels.convertToFormat(QImage::Format_Indexed8, Qt::ThresholdDither);
  const QList<TBmpPicture> pictures{
      {source.Pixels.convertToFormat(QImage::Format_Mono, Qt::ThresholdDither), 1, 0, 0},
      {source.Pixels.convertToFormat(QImage::Format_Indexed8,
                                     QList<QRgb>{qRgb(0, 0, 0), qRgb(255, 0, 0), qRgb(0, 200, 0), qRgb(9, 9, 255)},
                                     Qt::ThresholdDither),
       4, 0, 0},
      {palette8, 8, 3780, 11811},
      {source.Pixels.convertToFormat(QImage::Format_RGB555), 16, 0, 0},
      {source.Pixels.convertToFormat(QImage::Format_RGB16), 16, 0, 0},
      {source.Pixels, 24, 0, 0},
      {source.Pixels.convertToFormat(QImage::Format_RGB32), 32, 0, 0},
  };
  for (int i = 0; i < pictures.size(); ++i) {
    const TBmpPicture &picture = pictures[i];
    SCOPED_TRACE(QStringLiteral("format %1, %2 bits").arg(picture.Pixels.format()).arg(picture.BitsPerPixel).toStdString());
    const QString file = Dir.Write(QStringLiteral("ours%1.bmp").arg(i), Encoded(picture));
    const QByteArray expected = Rgba(picture.Pixels);
    EXPECT_EQ(MagickRgba(file), expected);
    const QString png = Dir.File(QStringLiteral("vips%1.png").arg(i));
    RunTool("vips", {"copy", file, png});
    EXPECT_EQ(Rgba(QImage(png)), expected) << "libvips";
    // Qt's reader widens 5-bit channels by a shift; they agree at the file's precision.
    const int precision = picture.BitsPerPixel == 16 ? 5 : 8;
    EXPECT_EQ(Truncated(Rgba(QImage(file, "BMP")), precision), Truncated(expected, precision)) << "Qt";
    const TBmpPicture back = Decoded(ReadWholeFile(file));
    EXPECT_EQ(back.BitsPerPixel, picture.BitsPerPixel);
    EXPECT_EQ(back.Pixels.format(), picture.Pixels.format());
    EXPECT_EQ(back.Pixels.colorTable(), picture.Pixels.colorTable());
    EXPECT_EQ(back.XPelsPerMeter, picture.XPelsPerMeter);
    EXPECT_EQ(back.YPelsPerMeter, picture.YPelsPerMeter);
  }
}

TEST_F(VellBmpCodec, BadInputIsRefusedWithAReason) {
  RunTool("convert", {Source, "BMP3:" + Dir.File("good.bmp")});
  const QByteArray good = ReadWholeFile(Dir.File("good.bmp"));
  auto patched = [&](int offset, qint32 value) {
    QByteArray bytes = good;
    qToLittleEndian(value, bytes.data() + offset);
    return bytes;
  };
  const QList<QPair<QByteArray, QString>> cases{
      {QByteArray(), "shorter than its headers"},
      {QByteArray("GIF89a").append(QByteArray(60, '\0')), "does not start with \"BM\""},
      {good.left(30), "shorter than its headers"},
      {good.left(good.size() - 5), "pixel data ends early"},
      {patched(14, 41), "unknown info header size 41"},
      {patched(18, 0), "invalid size"},
      {patched(22, 0), "invalid size"},
      {patched(18, 1 << 18), "exceeds the limit"},
      {patched(28, 0x00030018), "unsupported"},
      {patched(30, 9), "unsupported compression 9"},
  };
  const qint64 limit = GdipPixelLimit();
  GdipSetPixelLimit(1 << 20);
  for (const auto &[bytes, reason] : cases) {
    TBmpPicture picture;
    QString error;
    EXPECT_FALSE(Decode(bytes, picture, error)) << reason.toStdString();
    EXPECT_TRUE(error.contains(reason)) << error.toStdString() << " / " << reason.toStdString();
    EXPECT_TRUE(picture.Pixels.isNull());
  }
  GdipSetPixelLimit(limit);
}

// The imaging service decodes BMP content through this codec: OS/2 files and
// 56-byte headers come out right, and a 32-bit file's padding byte is no alpha.
TEST_F(VellBmpCodec, TheImagingServiceDecodesThroughIt) {
  const QString os2 = Dir.File("os2.bmp");
  RunTool("convert", {Source, "-colors", "5", "BMP2:" + os2});
  const QString v5 = Dir.File("v5.bmp");
  RunTool("convert", {Source, "-define", "bmp:subtype=RGB565", "BMP:" + v5});
  const QString header56 = Dir.Write("56.tif", WithHeaderSize(ReadWholeFile(v5), 56));
  QImage transparent(3, 2, QImage::Format_ARGB32);
  transparent.fill(qRgba(10, 20, 30, 0));
  const QString padded = Dir.Write("padded.bmp", Encoded({transparent, 32, 0, 0}));
  QByteArray opaque;
  for (int i = 0; i < 6; ++i)
    opaque.append("\x0A\x14\x1E\xFF", 4);
  const QList<QPair<QString, QByteArray>> cases{
      {os2, MagickRgba(os2)}, {header56, MagickRgba(v5)}, {padded, opaque}};
  for (const auto &[file, expected] : cases) {
    SCOPED_TRACE(file.toStdString());
    TVellBitmap bitmap(file);
    ASSERT_EQ(bitmap.GetLastStatus(), Ok) << bitmap.GetLastErrorText().toStdString();
    const QImage *pixels = GdipImagePixels(bitmap.NativeImage());
    ASSERT_TRUE(pixels);
    EXPECT_EQ(Rgba(*pixels), expected);
  }
}

TEST_F(VellBmpCodec, SignatureAndHeaderLeaveOrReadThePosition) {
  QBuffer buffer;
  buffer.setData(QByteArray("xxBM") + QByteArray(60, '\0'));
  buffer.open(QIODevice::ReadOnly);
  EXPECT_FALSE(TVellBmpCodec::CanRead(buffer));
  buffer.seek(2);
  EXPECT_TRUE(TVellBmpCodec::CanRead(buffer));
  EXPECT_EQ(buffer.pos(), 2);

  RunTool("convert", {Source, "-density", "300", "-units", "PixelsPerInch", "BMP3:" + Dir.File("dpi.bmp")});
  QFile file(Dir.File("dpi.bmp"));
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  TBmpHeader header;
  QString error;
  ASSERT_TRUE(TVellBmpCodec::ReadHeader(file, header, error)) << error.toStdString();
  EXPECT_EQ(header.Width, SourceWidth);
  EXPECT_EQ(header.Height, SourceHeight);
  EXPECT_EQ(header.BitCount, 24);
  EXPECT_EQ(header.HeaderSize, 40u);
  EXPECT_EQ(header.XPelsPerMeter, 11811);
}

} // namespace
