#include "PicFiles/EnPcxGr.h"
#include "tests/PicFiles/PicTools.h"
#include "tests/support/TestFiles.h"

#include <QBuffer>

#include <gtest/gtest.h>

namespace {

TPcxGraphic DecodePcx(const QByteArray &bytes) {
  QBuffer buffer;
  buffer.setData(bytes);
  buffer.open(QIODevice::ReadOnly);
  TPcxGraphic picture;
  picture.LoadFromStream(buffer);
  return picture;
}

QByteArray EncodePcx(const TPcxGraphic &picture) {
  QBuffer buffer;
  buffer.open(QIODevice::WriteOnly);
  picture.SaveToStream(buffer);
  return buffer.data();
}

struct TPcxSpec {
  const char *Name;
  int Version;
  int Bits;
  int Planes;
};

// ImageMagick reads one-bit PCX files inverted (0 as white); GraphicsMagick
// and netpbm read 0 as black, as PCX writers mean it.
QString ReferenceFor(int bits, int planes) {
  return bits == 1 && planes == 1 ? QStringLiteral("gm") : QStringLiteral("convert");
}

constexpr int W = 13;
constexpr int H = 6;

void PutU16(QByteArray &out, int v) { out.append(char(v & 0xFF)).append(char(v >> 8)); }

// Equal bytes as runs of up to 63, other bytes literally (0xC1 before those
// that look like run counts), over the whole data so runs cross planes and rows.
QByteArray RunLengthCoded(const QByteArray &data) {
  QByteArray out;
  qsizetype i = 0;
  while (i < data.size()) {
    qsizetype run = 1;
    while (i + run < data.size() && run < 63 && data[i + run] == data[i])
      ++run;
    if (run > 1 || (uchar(data[i]) & 0xC0) == 0xC0)
      out.append(char(0xC0 | run));
    out.append(data[i]);
    i += run;
  }
  return out;
}

// A PCX file of W × H pixels whose scan-line bytes come in runs of five (and
// a few 0xC0-and-above values), with two bytes of padding per plane line.
QByteArray BuildPcx(const TPcxSpec &spec) {
  const int bytesPerLine = (W * spec.Bits + 7) / 8 + 2;
  QByteArray out;
  out.append(char(10)).append(char(spec.Version)).append(char(1)).append(char(spec.Bits));
  PutU16(out, 3);
  PutU16(out, 7);
  PutU16(out, 3 + W - 1);
  PutU16(out, 7 + H - 1);
  PutU16(out, 150);
  PutU16(out, 75);
  for (int i = 0; i < 48; ++i)
    out.append(char(i * 29 % 256));
  out.append(char(0)).append(char(spec.Planes));
  PutU16(out, bytesPerLine);
  PutU16(out, 1);
  out.append(QByteArray(128 - out.size(), '\0'));
  QByteArray data;
  for (int i = 0; i < H * spec.Planes * bytesPerLine; ++i)
    data.append(char((i / 5) * 71 % 256));
  out.append(RunLengthCoded(data));
  if (spec.Bits == 8 && spec.Planes == 1) {
    out.append(char(0x0C));
    for (int i = 0; i < 768; ++i)
      out.append(char(i * 7 % 256));
  }
  return out;
}

class PcxBuiltVariants : public ::testing::TestWithParam<TPcxSpec> {};

// Every bit and plane layout, with runs across planes and rows and padded
// lines, decodes as ImageMagick (GraphicsMagick for one bit) decodes it.
TEST_P(PcxBuiltVariants, DecodeLikeImageMagick) {
  const TTestDir dir;
  const QByteArray bytes = BuildPcx(GetParam());
  const QString file = dir.Write(QStringLiteral("v.pcx"), bytes);
  const QString reference = ReferenceFor(GetParam().Bits, GetParam().Planes);
  const TPixelDiff diff = ComparePixels(DecodePcx(bytes).Pixels().Image(), ToolPixels(reference, file));
  EXPECT_EQ(diff.Largest, 0) << "at " << diff.X << "," << diff.Y;
}

INSTANTIATE_TEST_SUITE_P(Pcx, PcxBuiltVariants,
                         ::testing::Values(TPcxSpec{"mono", 5, 1, 1}, TPcxSpec{"mono2", 2, 1, 1},
                                           TPcxSpec{"planes2", 5, 1, 2}, TPcxSpec{"planes3", 5, 1, 3},
                                           TPcxSpec{"ega", 2, 1, 4}, TPcxSpec{"bits2", 5, 2, 1},
                                           TPcxSpec{"bits4", 5, 4, 1}, TPcxSpec{"palette256", 5, 8, 1},
                                           TPcxSpec{"rgb", 5, 8, 3}, TPcxSpec{"rgba", 5, 8, 4}),
                         [](const auto &info) { return std::string(info.param.Name); });

struct TToolVariant {
  const char *Name;
  const char *Tool;
  QStringList Options;
};

bool ToolWrites(const TToolVariant &variant, const QString &file) {
  const QString tool = QLatin1String(variant.Tool);
  const QStringList arguments = QStringList{QStringLiteral("rose:")} + variant.Options + QStringList{file};
  return tool == QLatin1String("gm") ? RunToolOk(tool, QStringList{QStringLiteral("convert")} + arguments)
                                     : RunToolOk(tool, arguments);
}

class PcxToolFiles : public ::testing::TestWithParam<TToolVariant> {};

// Files ImageMagick and GraphicsMagick write decode to the pixels they read,
// and what we write of them again ImageMagick reads back equal.
TEST_P(PcxToolFiles, DecodeLikeTheirWriterAndWriteBack) {
  const TTestDir dir;
  const QString file = dir.File(QStringLiteral("t.pcx"));
  ASSERT_TRUE(ToolWrites(GetParam(), file));
  const TPcxGraphic picture = DecodePcx(ReadWholeFile(file));
  TPixelDiff diff = ComparePixels(picture.Pixels().Image(), ToolPixels(QLatin1String(GetParam().Tool), file));
  EXPECT_EQ(diff.Largest, 0) << "at " << diff.X << "," << diff.Y;
  const QString ours = dir.Write(QStringLiteral("ours.pcx"), EncodePcx(picture));
  const bool oneBit = picture.ImageFormat() == ifeBlackWhite;
  diff = ComparePixels(picture.Pixels().Image(), ToolPixels(ReferenceFor(oneBit ? 1 : 8, 1), ours));
  EXPECT_EQ(diff.Largest, 0) << "written back, at " << diff.X << "," << diff.Y;
}

INSTANTIATE_TEST_SUITE_P(
    Pcx, PcxToolFiles,
    ::testing::Values(TToolVariant{"imTrue", "convert", {}}, TToolVariant{"imPalette", "convert", {"-type", "Palette"}},
                      TToolVariant{"imColours16", "convert", {"-colors", "16"}},
                      TToolVariant{"imMono", "convert", {"-monochrome"}},
                      TToolVariant{"imGray", "convert", {"-colorspace", "gray"}},
                      TToolVariant{"imAlpha", "convert", {"-alpha", "set", "-channel", "A", "-fx", "i/w", "+channel"}},
                      TToolVariant{"gmTrue", "gm", {}}, TToolVariant{"gmPalette", "gm", {"-type", "Palette"}},
                      TToolVariant{"gmMono", "gm", {"-monochrome"}},
                      TToolVariant{"gmGray", "gm", {"-colorspace", "gray"}}),
    [](const auto &info) { return std::string(info.param.Name); });

// Each image format is written in its layout and read back equal by
// ImageMagick (one bit: GraphicsMagick); the resolutions travel in the header fields at 12 and 14.
TEST(PcxCodec, EveryImageFormatWritesAndReadsBack) {
  const TTestDir dir;
  const struct {
    TImageFormatEnum Format;
    int Bits;
    int Planes;
  } cases[] = {{ifeBlackWhite, 1, 1}, {ifeGray16, 1, 4}, {ifeColor16, 1, 4},
               {ifeGray256, 8, 1},    {ifeColor256, 8, 1}, {ifeTrueColor, 8, 3}};
  for (const auto &c : cases) {
    TPcxGraphic picture;
    picture.SetXDotsPerInch(300);
    picture.SetYDotsPerInch(200);
    picture.NewImage(W, H, c.Format);
    QImage pixels = picture.Pixels().Image();
    const int colours = c.Format == ifeTrueColor ? 0 : int(pixels.colorCount());
    for (int y = 0; y < H; ++y)
      for (int x = 0; x < W; ++x) {
        if (colours > 0)
          pixels.setPixel(x, y, uint((x * 7 + y * 3) % colours));
        else
          pixels.setPixelColor(x, y, QColor(x * 19, y * 40, (x * y) % 256));
      }
    picture.SetPixels(BitmapOfRaster(pixels, c.Format), c.Format);
    const QByteArray written = EncodePcx(picture);
    EXPECT_EQ(int(written[3]), c.Bits);
    EXPECT_EQ(int(written[65]), c.Planes);
    EXPECT_EQ(uchar(written[12]) | uchar(written[13]) << 8, 300);
    EXPECT_EQ(uchar(written[14]) | uchar(written[15]) << 8, 200);
    const QString file = dir.Write(QStringLiteral("ours.pcx"), written);
    const TPixelDiff diff = ComparePixels(pixels, ToolPixels(ReferenceFor(c.Bits, c.Planes), file));
    EXPECT_EQ(diff.Largest, 0) << "format " << int(c.Format) << " at " << diff.X << "," << diff.Y;
    const TPcxGraphic back = DecodePcx(written);
    EXPECT_EQ(back.XDotsPerInch(), 300);
    EXPECT_EQ(back.YDotsPerInch(), 200);
  }
}

TEST(PcxCodec, HeaderTestAndHeaderReader) {
  const struct {
    int Manufacturer, Version, Encoding, Bits;
    bool Expected;
  } cases[] = {{10, 5, 1, 8, true},  {10, 0, 1, 1, true},  {10, 2, 1, 4, true},   {10, 3, 1, 2, true},
               {10, 1, 1, 8, false}, {10, 6, 1, 8, false}, {11, 5, 1, 8, false},  {10, 5, 0, 8, false},
               {10, 5, 1, 3, false}, {10, 4, 1, 16, false}};
  for (const auto &c : cases) {
    QByteArray header = BuildPcx({"h", 5, 8, 1});
    header[0] = char(c.Manufacturer);
    header[1] = char(c.Version);
    header[2] = char(c.Encoding);
    header[3] = char(c.Bits);
    QBuffer buffer(&header);
    buffer.open(QIODevice::ReadOnly);
    EXPECT_EQ(TPcxGraphic().CanLoadFromStream(buffer), c.Expected) << c.Manufacturer << " " << c.Version << " "
                                                                    << c.Encoding << " " << c.Bits;
    EXPECT_EQ(buffer.pos(), 0);
  }
  QBuffer buffer;
  buffer.setData(BuildPcx({"rgb", 5, 8, 3}));
  buffer.open(QIODevice::ReadOnly);
  TPicInfo header;
  TPcxGraphic().ReadHeader(buffer, header);
  EXPECT_EQ(header.Width, W);
  EXPECT_EQ(header.Height, H);
  EXPECT_EQ(header.BitsPerPixel, 24);
  EXPECT_EQ(header.XDotsPerInch, 150);
  EXPECT_EQ(header.YDotsPerInch, 75);
}

} // namespace
