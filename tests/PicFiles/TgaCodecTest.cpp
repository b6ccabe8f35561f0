#include "PicFiles/EnTgaGr.h"
#include "tests/PicFiles/PicTools.h"
#include "tests/support/TestFiles.h"

#include <QBuffer>

#include <gtest/gtest.h>

namespace {

QImage DecodeTga(const QByteArray &bytes) {
  QBuffer buffer;
  buffer.setData(bytes);
  buffer.open(QIODevice::ReadOnly);
  TTgaGraphic picture;
  picture.LoadFromStream(buffer);
  return picture.Pixels().Image();
}

// A TGA file built field by field, for the variants no tool writes.
struct TTgaSpec {
  const char *Name;
  int Type;
  int Depth;
  int MapBits;
  int Descriptor;
};

constexpr int W = 7;
constexpr int H = 5;

void PutU16(QByteArray &out, int v) { out.append(char(v & 0xFF)).append(char(v >> 8)); }

// Pixel i of the test picture (row-major in file order) as bytes of the given depth.
QByteArray PixelValue(const TTgaSpec &spec, int i) {
  const int v = (i / 3) * 37 % 256; // runs of 3 that cross the 7-pixel rows
  QByteArray out;
  if ((spec.Type & 7) != 2) {
    out.append(char(v % 24 + 2)); // a map index (or gray level)
    return out;
  }
  switch (spec.Depth) {
  case 15:
  case 16:
    PutU16(out, ((v * 131) & 0x7FFF) | ((i / 3) % 2 ? 0x8000 : 0));
    break;
  case 24:
    out.append(char(v)).append(char(255 - v)).append(char(v / 2));
    break;
  default:
    out.append(char(v)).append(char(255 - v)).append(char(v / 2)).append(char((i / 3) * 50 % 256));
  }
  return out;
}

QByteArray ColourMap(int bits, int entries) {
  QByteArray map;
  for (int e = 0; e < entries; ++e) {
    const int v = e * 10;
    if (bits <= 16)
      PutU16(map, ((v * 97) & 0x7FFF) | (e % 2 ? 0x8000 : 0));
    else
      map.append(char(v)).append(char(200 - v)).append(char(v * 3));
    if (bits == 32)
      map.append(char(e * 9));
  }
  return map;
}

// Packets of equal neighbours as runs and the rest as raw packets, in one
// stream over the whole picture, so that packets cross row ends.
QByteArray RunLengthCoded(const QList<QByteArray> &pixels) {
  QByteArray out;
  qsizetype i = 0;
  while (i < pixels.size()) {
    qsizetype run = 1;
    while (i + run < pixels.size() && run < 128 && pixels[i + run] == pixels[i])
      ++run;
    if (run > 1) {
      out.append(char(0x80 | (run - 1))).append(pixels[i]);
    } else {
      out.append(char(0)).append(pixels[i]);
    }
    i += run;
  }
  return out;
}

QByteArray BuildTga(const TTgaSpec &spec) {
  const bool mapped = (spec.Type & 7) == 1;
  const int entries = 26;
  const QByteArray id = "image id";
  QByteArray out;
  out.append(char(id.size())).append(char(mapped ? 1 : 0)).append(char(spec.Type));
  PutU16(out, 0);
  PutU16(out, mapped ? entries : 0);
  out.append(char(mapped ? spec.MapBits : 0));
  PutU16(out, 0);
  PutU16(out, 0);
  PutU16(out, W);
  PutU16(out, H);
  out.append(char(spec.Depth)).append(char(spec.Descriptor));
  out.append(id);
  if (mapped)
    out.append(ColourMap(spec.MapBits, entries));
  QList<QByteArray> pixels;
  for (int i = 0; i < W * H; ++i)
    pixels << PixelValue(spec, i);
  if (spec.Type >= 9)
    out.append(RunLengthCoded(pixels));
  else
    for (const QByteArray &p : pixels)
      out.append(p);
  return out;
}

class TgaBuiltVariants : public ::testing::TestWithParam<TTgaSpec> {};

// Every image type, depth, map entry size, origin and alpha setting, raw and
// run-length coded with packets across row ends, decodes as ImageMagick does.
TEST_P(TgaBuiltVariants, DecodeLikeImageMagick) {
  const TTestDir dir;
  const QByteArray bytes = BuildTga(GetParam());
  const QString file = dir.Write(QStringLiteral("v.tga"), bytes);
  const TPixelDiff diff = ComparePixels(DecodeTga(bytes), ToolPixels(QStringLiteral("convert"), file));
  EXPECT_EQ(diff.Largest, 0) << "at " << diff.X << "," << diff.Y;
}

INSTANTIATE_TEST_SUITE_P(
    Tga, TgaBuiltVariants,
    ::testing::Values(TTgaSpec{"mapped15", 1, 8, 15, 0}, TTgaSpec{"mapped16alpha", 1, 8, 16, 0x01},
                      TTgaSpec{"mapped24", 1, 8, 24, 0}, TTgaSpec{"mapped32alpha", 9, 8, 32, 0x28},
TTgaSpec{"true15", 2, 15, 0, 0},
                      TTgaSpec{"true16alpha", 10, 16, 0, 0x21}, TTgaSpec{"true24TopLeft", 10, 24, 0, 0x20},
                      TTgaSpec{"true24RightToLeft", 2, 24, 0, 0x10}, TTgaSpec{"true32alpha", 10, 32, 0, 0x08},
                      TTgaSpec{"true32NoAlphaBits", 2, 32, 0, 0x30}, TTgaSpec{"gray", 3, 8, 0, 0},
                      TTgaSpec{"grayRle", 11, 8, 0, 0x20}),
    [](const auto &info) { return std::string(info.param.Name); });

struct TToolVariant {
  const char *Name;
  const char *Tool;
  QStringList Options;
};

class TgaToolFiles : public ::testing::TestWithParam<TToolVariant> {};

// Files ImageMagick and GraphicsMagick write decode to the pixels they read.
TEST_P(TgaToolFiles, DecodeLikeTheirWriter) {
  const TTestDir dir;
  const QString file = dir.File(QStringLiteral("t.tga"));
  const QString tool = QLatin1String(GetParam().Tool);
  const QStringList arguments = QStringList{QStringLiteral("rose:")} + GetParam().Options + QStringList{file};
  ASSERT_TRUE(tool == QLatin1String("gm") ? RunToolOk(tool, QStringList{QStringLiteral("convert")} + arguments)
                                          : RunToolOk(tool, arguments));
  const TPixelDiff diff = ComparePixels(DecodeTga(ReadWholeFile(file)), ToolPixels(tool, file));
  EXPECT_EQ(diff.Largest, 0) << "at " << diff.X << "," << diff.Y;
}

const QString AlphaRamp = QStringLiteral("-alpha set -channel A -fx i/w +channel");

INSTANTIATE_TEST_SUITE_P(
    Tga, TgaToolFiles,
    ::testing::Values(TToolVariant{"imTrue", "convert", {}},
                      TToolVariant{"imTrueRle", "convert", {"-compress", "RLE"}},
                      TToolVariant{"imPalette", "convert", {"-type", "Palette"}},
                      TToolVariant{"imPaletteRle", "convert", {"-type", "Palette", "-compress", "RLE"}},
                      TToolVariant{"imGray", "convert", {"-colorspace", "gray"}},
                      TToolVariant{"imGrayRle", "convert", {"-colorspace", "gray", "-compress", "RLE"}},
                      TToolVariant{"imAlpha", "convert", AlphaRamp.split(u' ')},
                      TToolVariant{"imAlphaRle", "convert", AlphaRamp.split(u' ') + QStringList{"-compress", "RLE"}},
                      TToolVariant{"gmTrue", "gm", {}}, TToolVariant{"gmPalette", "gm", {"-type", "Palette"}},
                      TToolVariant{"gmGray", "gm", {"-colorspace", "gray"}},
                      TToolVariant{"gmAlpha", "gm", {"-matte"}}),
    [](const auto &info) { return std::string(info.param.Name); });

} // namespace

namespace {

QByteArray EncodeTga(const TTgaGraphic &picture) {
  QBuffer buffer;
  buffer.open(QIODevice::WriteOnly);
  picture.SaveToStream(buffer);
  return buffer.data();
}

// Gray, palette, true colour and true colour with alpha pictures are written
// as types 3, 1, 2 (24 bits) and 2 (32 bits) and read back equal by ImageMagick.
TEST(TgaCodec, WrittenFilesReadBackByImageMagick) {
  const TTestDir dir;
  const struct {
    QStringList Options;
    TImageFormatEnum Format;
    int Type;
    int Depth;
  } cases[] = {{{"-colorspace", "gray"}, ifeGray256, 3, 8},
               {{"-type", "Palette"}, ifeColor256, 1, 8},
               {{}, ifeTrueColor, 2, 24},
               {AlphaRamp.split(u' '), ifeTrueColor, 2, 32}};
  for (const auto &c : cases) {
    const QString source = dir.File(QStringLiteral("source.tga"));
    ASSERT_TRUE(RunToolOk(QStringLiteral("convert"), QStringList{QStringLiteral("rose:")} + c.Options + QStringList{source}));
    QBuffer in;
    in.setData(ReadWholeFile(source));
    in.open(QIODevice::ReadOnly);
    TTgaGraphic picture;
    picture.LoadFromStream(in);
    EXPECT_EQ(picture.ImageFormat(), c.Format);
    const QByteArray written = EncodeTga(picture);
    EXPECT_EQ(int(written[2]), c.Type);
    EXPECT_EQ(int(written[16]), c.Depth);
    const QString ours = dir.Write(QStringLiteral("ours.tga"), written);
    const TPixelDiff diff = ComparePixels(picture.Pixels().Image(), ToolPixels(QStringLiteral("convert"), ours));
    EXPECT_EQ(diff.Largest, 0) << c.Options.join(u' ').toStdString() << " at " << diff.X << "," << diff.Y;
  }
}

// The header test: mapped only with 8-bit indices into 24-bit entries, true
// colour with 16, 24 or 32 bits, gray with 8; the position does not move.
TEST(TgaCodec, HeaderTest) {
  const struct {
    int Type, Depth, MapBits;
    bool Expected;
  } cases[] = {{1, 8, 24, true},   {9, 8, 24, true},   {1, 8, 32, false}, {1, 16, 24, false},
               {2, 16, 0, true},   {10, 24, 0, true},  {2, 32, 0, true},  {2, 8, 0, false},
               {2, 15, 0, false},  {3, 8, 0, true},    {11, 8, 0, true},  {3, 16, 0, false},
               {0, 8, 0, false},   {32, 8, 0, false}};
  for (const auto &c : cases) {
    QByteArray header(18, '\0');
    header[2] = char(c.Type);
    header[7] = char(c.MapBits);
    header[16] = char(c.Depth);
    QBuffer buffer;
    buffer.setData(QByteArray("xx") + header);
    buffer.open(QIODevice::ReadOnly);
    buffer.seek(2);
    EXPECT_EQ(TTgaGraphic().CanLoadFromStream(buffer), c.Expected) << c.Type << " " << c.Depth << " " << c.MapBits;
    EXPECT_EQ(buffer.pos(), 2);
  }
}

TEST(TgaCodec, ReadHeaderGivesSizeAndDecodedDepth) {
  const struct {
    TTgaSpec Spec;
    int Bits;
  } cases[] = {{{"m", 1, 8, 24, 0}, 8}, {{"g", 3, 8, 0, 0}, 8}, {{"t", 2, 16, 0, 0}, 24}, {{"a", 2, 32, 0, 8}, 32}};
  for (const auto &c : cases) {
    QBuffer buffer;
    buffer.setData(BuildTga(c.Spec));
    buffer.open(QIODevice::ReadOnly);
    TPicInfo header;
    TTgaGraphic().ReadHeader(buffer, header);
    EXPECT_EQ(header.Width, W);
    EXPECT_EQ(header.Height, H);
    EXPECT_EQ(header.BitsPerPixel, c.Bits) << c.Spec.Name;
    EXPECT_EQ(buffer.pos(), 0);
  }
}

} // namespace
