// The PNG codec against libvips, ImageMagick and Qt: files made chunk by
// chunk here and files those tools write, at every colour type, bit depth
// and interlace, decode to the pixels libvips decodes them to; what we write
// passes pngcheck and libvips reads it back to our pixels; damaged and
// oversized input is refused before pixel memory is taken.
#include "imaging/VellPngCodec.h"

#include "imaging/VellGDIPAPI.h"
#include "imaging/VellImageCodecs.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestImages.h"

#include <QBuffer>
#include <QImageWriter>
#include <QtEndian>

#include <gtest/gtest.h>

namespace {

constexpr int Width = 19, Height = 7;

QByteArray Ihdr(quint32 width, quint32 height, int depth, int colorType) {
  QByteArray ihdr(13, '\0');
  qToBigEndian(width, ihdr.data());
  qToBigEndian(height, ihdr.data() + 4);
  ihdr[8] = char(depth);
  ihdr[9] = char(colorType);
  return PngChunk("IHDR", ihdr);
}

int Samples(int colorType) {
  return colorType == 2 ? 3 : colorType == 4 ? 2 : colorType == 6 ? 4 : 1;
}

// Sample s of pixel (x, y) at the depth: a pattern that reaches every level.
quint32 Sample(int x, int y, int s, int depth) {
  return quint32(x * 7 + y * 13 + s * 29 + (x * y) % 5 * 1031) % (1u << depth);
}

// The rows of a non-interlaced file, filter byte 0, samples packed MSB first.
QByteArray Rows(int depth, int colorType) {
  QByteArray rows;
  for (int y = 0; y < Height; ++y) {
    rows.append('\0');
    QByteArray row;
    quint32 bits = 0;
    int count = 0;
    for (int x = 0; x < Width; ++x)
      for (int s = 0; s < Samples(colorType); ++s) {
        const quint32 v = Sample(x, y, s, depth);
        if (depth == 16) {
          row.append(char(v >> 8)).append(char(v & 255));
          continue;
        }
        bits = (bits << depth) | v;
        count += depth;
        if (count == 8) {
          row.append(char(bits));
          bits = 0;
          count = 0;
        }
      }
    if (count > 0)
      row.append(char(bits << (8 - count)));
    rows.append(row);
  }
  return rows;
}

QByteArray Idat(const QByteArray &rows) {
  return PngChunk("IDAT", Zlib(rows));
}

QByteArray Signature() {
  return QByteArray("\x89PNG\r\n\x1a\n", 8);
}

// A file of the pattern; trns adds a transparency chunk (palette: a ramp of
// alpha values; grey and RGB: the colour of pixel (1, 0)).
QByteArray HandMade(int depth, int colorType, bool trns, const QByteArray &extra = {}) {
  QByteArray png = Signature() + Ihdr(Width, Height, depth, colorType) + extra;
  if (colorType == 3) {
    QByteArray plte;
    for (int i = 0; i < (1 << depth); ++i)
      plte.append(char(i * 37)).append(char(255 - i)).append(char(i * 11));
    png += PngChunk("PLTE", plte);
  }
  if (trns) {
    QByteArray t;
    if (colorType == 3) {
      for (int i = 0; i < (1 << depth) / 2 + 1; ++i)
        t.append(char(i * 50));
    } else {
      for (int s = 0; s < Samples(colorType); ++s) {
        t.append(2, '\0');
        qToBigEndian(quint16(Sample(1, 0, s, depth)), t.data() + t.size() - 2);
      }
    }
    png += PngChunk("tRNS", t);
  }
  return png + Idat(Rows(depth, colorType)) + PngChunk("IEND", {});
}

bool DecodeBytes(const QByteArray &bytes, TPngPicture &picture, QString &error) {
  QBuffer buffer;
  buffer.setData(bytes);
  buffer.open(QIODevice::ReadOnly);
  return TVellPngCodec::Decode(buffer, picture, error);
}

TPngPicture Decoded(const QByteArray &bytes) {
  TPngPicture picture;
  QString error;
  EXPECT_TRUE(DecodeBytes(bytes, picture, error)) << error.toStdString();
  return picture;
}

QByteArray Encoded(const TPngPicture &picture, const TPngOptions &options = {}) {
  QBuffer buffer;
  buffer.open(QIODevice::WriteOnly);
  QString error;
  EXPECT_TRUE(TVellPngCodec::Encode(picture, options, buffer, error)) << error.toStdString();
  return buffer.data();
}

// R, G, B, A as 16-bit values of every pixel.
using TRgba16 = QList<quint16>;

TRgba16 Rgba16(const QImage &pixels) {
  const QImage wide = pixels.convertToFormat(QImage::Format_RGBA64);
  TRgba16 values;
  for (int y = 0; y < wide.height(); ++y) {
    const auto *line = reinterpret_cast<const QRgba64 *>(wide.constScanLine(y));
    for (int x = 0; x < wide.width(); ++x)
      values << line[x].red() << line[x].green() << line[x].blue() << line[x].alpha();
  }
  return values;
}

// libvips's decoding of a file: its raw bands widened to R, G, B, A.
TRgba16 VipsRgba16(const TTestDir &dir, const QString &file) {
  const int bands = RunTool("vipsheader", {"-f", "bands", file}).trimmed().toInt();
  const bool wide = RunTool("vipsheader", {"-f", "format", file}).toUpper().contains("USHORT");
  const QString raw = dir.File("vips.raw");
  RunToolOk("vips", {"rawsave", file, raw});
  const QByteArray bytes = ReadWholeFile(raw);
  const int size = wide ? 2 : 1;
  TRgba16 values;
  for (qsizetype at = 0; at + bands * size <= bytes.size(); at += bands * size) {
    quint16 band[4];
    for (int b = 0; b < bands; ++b)
      band[b] = wide ? qFromLittleEndian<quint16>(bytes.constData() + at + 2 * b)
                     : quint16(uchar(bytes[at + b]) * 257);
    const bool grey = bands <= 2;
    const bool alpha = bands == 2 || bands == 4;
    values << band[0] << band[grey ? 0 : 1] << band[grey ? 0 : 2] << (alpha ? band[bands - 1] : 65535);
  }
  return values;
}

TPngHeader HeaderOf(const QByteArray &bytes) {
  QBuffer buffer;
  buffer.setData(bytes);
  buffer.open(QIODevice::ReadOnly);
  TPngHeader header;
  QString error;
  EXPECT_TRUE(TVellPngCodec::ReadHeader(buffer, header, error)) << error.toStdString();
  return header;
}

struct TLayout {
  int Depth;
  int ColorType;
  bool Trns;
};

// Every colour type at every depth it allows, with a transparency chunk
// where the colour type takes one.
QList<TLayout> AllLayouts() {
  QList<TLayout> layouts;
  const struct {
    int colorType;
    QList<int> depths;
  } kinds[] = {{0, {1, 2, 4, 8, 16}}, {2, {8, 16}}, {3, {1, 2, 4, 8}}, {4, {8, 16}}, {6, {8, 16}}};
  for (const auto &kind : kinds)
    for (int depth : kind.depths) {
      layouts.append({depth, kind.colorType, false});
      if (kind.colorType < 4)
        layouts.append({depth, kind.colorType, true});
    }
  return layouts;
}

std::string Name(const TLayout &layout) {
  return "type " + std::to_string(layout.ColorType) + " depth " + std::to_string(layout.Depth) +
         (layout.Trns ? " tRNS" : "");
}

class VellPngCodec : public ::testing::Test {
protected:
  TTestDir Dir;

  void ExpectLikeVips(const QString &file, const std::string &name) {
    const TPngPicture picture = Decoded(ReadWholeFile(file));
    EXPECT_EQ(picture.Pixels.size(), QSize(Width, Height)) << name;
    EXPECT_NE(PixelFormatOf(picture.Pixels), PixelFormatDontCare) << name;
    EXPECT_EQ(Rgba16(picture.Pixels), VipsRgba16(Dir, file)) << name;
  }
};

TEST_F(VellPngCodec, EveryColourTypeAndDepthDecodesLikeLibvips) {
  for (const TLayout &layout : AllLayouts()) {
    const QString file =
        Dir.Write(QStringLiteral("hand.png"), HandMade(layout.Depth, layout.ColorType, layout.Trns));
    ExpectLikeVips(file, Name(layout));
  }
}

TEST_F(VellPngCodec, SixteenBitRgbWithATransparentColourHidesExactlyThatColour) {
  const TPngPicture picture = Decoded(HandMade(16, 2, true));
  ASSERT_EQ(picture.Pixels.format(), QImage::Format_RGBA64);
  int hidden = 0;
  for (int y = 0; y < Height; ++y)
    for (int x = 0; x < Width; ++x) {
      const QRgba64 p = picture.Pixels.pixelColor(x, y).rgba64();
      const bool key = p.red() == Sample(1, 0, 0, 16) && p.green() == Sample(1, 0, 1, 16) &&
                       p.blue() == Sample(1, 0, 2, 16);
      EXPECT_EQ(p.alpha(), key ? 0 : 65535) << x << "," << y;
      hidden += key;
    }
  EXPECT_GE(hidden, 1);
  EXPECT_TRUE(picture.HasTransparentColor);
}

// A picture with every level of grey and colour, and an alpha gradient.
QImage ToolSource() {
  QImage image(Width, Height, QImage::Format_ARGB32);
  for (int y = 0; y < Height; ++y)
    for (int x = 0; x < Width; ++x)
      image.setPixel(x, y, qRgba(x * 13, y * 37, (x * y * 7) % 256, 255 - x * 5));
  return image;
}

TEST_F(VellPngCodec, FilesOfImageMagickLibvipsAndQtDecodeLikeLibvips) {
  const QString source = Dir.File("source.png");
  ASSERT_TRUE(ToolSource().save(source, "PNG"));
  struct TMade {
    QString File;
    std::string Name;
  };
  QList<TMade> made;
  int n = 0;
  auto next = [&](const std::string &name) {
    made.append({Dir.File(QStringLiteral("made%1.png").arg(n++)), name});
    return made.last().File;
  };
  for (bool interlace : {false, true}) {
    const QStringList lace = interlace ? QStringList{"-interlace", "PNG"} : QStringList{"-interlace", "none"};
    const std::string suffix = interlace ? " Adam7" : "";
    // ImageMagick: every colour type at 8 and 16 bits, grey below 8 bits.
    for (const char *type : {"0", "2", "3", "4", "6"})
      for (const char *depth : {"8", "16"}) {
        if (QByteArray(type) == "3" && QByteArray(depth) == "16")
          continue;
        const QString out = next(std::string("ImageMagick type ") + type + " depth " + depth + suffix);
        RunToolOk("convert", QStringList{source, "-define", QStringLiteral("png:color-type=%1").arg(type),
                                         "-define", QStringLiteral("png:bit-depth=%1").arg(depth)} +
                                 lace + QStringList{out});
      }
    // libvips: grey at 1, 2, 4, 8 and 16 bits, colour with alpha, palette.
    const QStringList vipsLace = interlace ? QStringList{"--interlace"} : QStringList{};
    for (const char *depth : {"1", "2", "4", "8", "16"}) {
      const QString grey = Dir.File("grey.v");
      RunToolOk("vips", {"colourspace", source, grey, depth == QByteArray("16") ? "grey16" : "b-w"});
      const QString flat = Dir.File("flat.v");
      RunToolOk("vips", {"extract_band", grey, flat, "0"});
      RunToolOk("vips",
                QStringList{"pngsave", flat, next(std::string("libvips grey depth ") + depth + suffix),
                            "--bitdepth", depth} +
                    vipsLace);
    }
    RunToolOk("vips", QStringList{"pngsave", source, next("libvips RGBA" + suffix)} + vipsLace);
    RunToolOk("vips",
              QStringList{"pngsave", source, next("libvips palette" + suffix), "--palette"} + vipsLace);
  }
  // Qt: the formats its writer keeps.
  for (QImage::Format format :
       {QImage::Format_Mono, QImage::Format_Indexed8, QImage::Format_Grayscale8, QImage::Format_Grayscale16,
        QImage::Format_RGB32, QImage::Format_ARGB32, QImage::Format_RGBA64, QImage::Format_RGBX64}) {
    const QImage pixels = format == QImage::Format_Indexed8
                              ? ToolSource().convertToFormat(format, Qt::ThresholdDither)
                              : ToolSource().convertToFormat(format);
    ASSERT_TRUE(pixels.save(next("Qt format " + std::to_string(format)), "PNG"));
  }
  for (const TMade &m : made)
    ExpectLikeVips(m.File, m.Name);
}

TEST_F(VellPngCodec, WhatWeWritePassesPngcheckAndLibvipsReadsOurPixels) {
  for (const TLayout &layout : AllLayouts())
    for (bool interlaced : {false, true}) {
      const std::string name = Name(layout) + (interlaced ? " Adam7" : "");
      const TPngPicture picture = Decoded(HandMade(layout.Depth, layout.ColorType, layout.Trns));
      const QByteArray bytes = Encoded(picture, {9, interlaced});
      const TPngHeader header = HeaderOf(bytes);
      EXPECT_EQ(header.ColorType, layout.ColorType) << name;
      EXPECT_EQ(header.BitDepth, layout.Depth) << name;
      EXPECT_EQ(header.Interlaced, interlaced) << name;
      const QString file = Dir.Write(QStringLiteral("ours.png"), bytes);
      EXPECT_TRUE(RunToolOk("pngcheck", {"-q", file})) << name;
      EXPECT_EQ(VipsRgba16(Dir, file), Rgba16(picture.Pixels)) << name;
      EXPECT_EQ(Rgba16(Decoded(bytes).Pixels), Rgba16(picture.Pixels)) << name;
    }
}

TEST_F(VellPngCodec, AncillaryChunksAndResolutionSurviveALoadAndSave) {
  QByteArray phys(9, '\0');
  qToBigEndian(quint32(11811), phys.data());
  qToBigEndian(quint32(7874), phys.data() + 4);
  phys[8] = 1;
  const QByteArray extra = PngChunk("gAMA", QByteArray::fromHex("0000b18f")) + PngChunk("pHYs", phys) +
                           PngChunk("tEXt", QByteArray("Title\0Scan 7", 12));
  const TPngPicture picture = Decoded(HandMade(8, 2, false, extra));
  EXPECT_EQ(picture.Header.PhysX, 11811u);
  EXPECT_EQ(picture.Header.PhysY, 7874u);
  const QString file = Dir.Write(QStringLiteral("kept.png"), Encoded(picture));
  const QByteArray listing = RunTool("pngcheck", {"-v", file});
  for (const char *chunk : {"gAMA", "pHYs", "tEXt"})
    EXPECT_TRUE(listing.contains(chunk)) << chunk << "\n" << listing.toStdString();
  const TPngPicture again = Decoded(ReadWholeFile(file));
  ASSERT_EQ(again.Chunks.size(), 2);
  EXPECT_EQ(again.Chunks[1].Data, QByteArray("Title\0Scan 7", 12));
}

TEST_F(VellPngCodec, DamagedOrOversizedFilesAreRefusedWithTheirReason) {
  QByteArray badCrc = HandMade(8, 0, false);
  badCrc[badCrc.indexOf("IDAT") + 6] ^= 0x55;
  const QByteArray good = HandMade(8, 2, false);
  const QByteArray rows = Rows(8, 2);
  const struct {
    const char *name;
    QByteArray bytes;
    const char *reason;
  } cases[] = {
      {"no signature", QByteArray("GIF89a") + good.mid(6), "PNG file is not valid or corrupted"},
      {"colour type 2 at 4 bits", Signature() + Ihdr(Width, Height, 4, 2) + Idat(rows) + PngChunk("IEND", {}),
       "Invalid color type for bit depth"},
      {"depth 3", Signature() + Ihdr(Width, Height, 3, 0) + Idat(rows) + PngChunk("IEND", {}),
       "Invalid bit depth"},
      {"chunk longer than the data", good.left(good.indexOf("IDAT") + 40), "announces"},
      {"100000 × 100000", Signature() + Ihdr(100000, 100000, 8, 2) + Idat(rows) + PngChunk("IEND", {}),
       "exceeds the limit"},
      {"damaged data", badCrc, "IDAT"},
      {"too little data", Signature() + Ihdr(Width, Height * 2, 8, 2) + Idat(rows) + PngChunk("IEND", {}),
       ""},
  };
  for (const auto &c : cases) {
    TPngPicture picture;
    QString error;
    EXPECT_FALSE(DecodeBytes(c.bytes, picture, error)) << c.name;
    EXPECT_FALSE(error.isEmpty()) << c.name;
    EXPECT_TRUE(error.contains(QLatin1String(c.reason))) << c.name << ": " << error.toStdString();
    EXPECT_TRUE(picture.Pixels.isNull()) << c.name;
  }
}

} // namespace
