#include "PicFiles/EnPsdGr.h"
#include "tests/PicFiles/PicTools.h"
#include "tests/support/TestFiles.h"

#include <QBuffer>

#include <gtest/gtest.h>

namespace {

QImage DecodePsd(const QByteArray &bytes) {
  QBuffer buffer;
  buffer.setData(bytes);
  buffer.open(QIODevice::ReadOnly);
  TPsdGraphic picture;
  picture.LoadFromStream(buffer);
  EXPECT_EQ(picture.ImageFormat(), ifeTrueColor);
  return picture.Pixels().Image();
}

struct TToolVariant {
  const char *Name;
  QStringList Options;
  // ImageMagick cannot read back its indexed files, and it reads the colours
  // of its files with alpha as if blended with white, which they are not:
  // those are compared with the picture it wrote.
  bool AgainstSource = false;
  // 16-bit samples: ImageMagick converts before it reduces to 8 bits.
  int Tolerance = 0;
};

class PsdToolFiles : public ::testing::TestWithParam<TToolVariant> {};

// Photoshop files ImageMagick writes decode like its reading of their composite.
TEST_P(PsdToolFiles, DecodeLikeImageMagick) {
  const TTestDir dir;
  const QString file = dir.File(QStringLiteral("t.psd"));
  const QString source = dir.File(QStringLiteral("source.pam"));
  const QStringList arguments = QStringList{QStringLiteral("rose:")} + GetParam().Options;
  ASSERT_TRUE(RunToolOk(QStringLiteral("convert"), arguments + QStringList{file}));
  ASSERT_TRUE(RunToolOk(QStringLiteral("convert"), arguments + QStringList{source}));
  const QString reference = GetParam().AgainstSource ? source : file;
  const TPixelDiff diff = ComparePixels(DecodePsd(ReadWholeFile(file)), ToolPixels(QStringLiteral("convert"), reference));
  EXPECT_LE(diff.Largest, GetParam().Tolerance) << "at " << diff.X << "," << diff.Y;
}

const QStringList AlphaRamp = {"-alpha", "set", "-channel", "A", "-fx", "i/w", "+channel"};
const QStringList Rle = {"-compress", "RLE"};

INSTANTIATE_TEST_SUITE_P(
    Psd, PsdToolFiles,
    ::testing::Values(TToolVariant{"rgb", {}}, TToolVariant{"rgbRle", Rle},
                      TToolVariant{"gray", {"-colorspace", "gray"}},
                      TToolVariant{"grayRle", QStringList{"-colorspace", "gray"} + Rle},
                      TToolVariant{"cmyk", {"-colorspace", "CMYK"}},
                      TToolVariant{"cmykRle16", QStringList{"-colorspace", "CMYK", "-depth", "16"} + Rle, false, 1},
                      TToolVariant{"rgb16", {"-depth", "16"}}, TToolVariant{"indexed", {"-type", "Palette"}, true},
                      TToolVariant{"alpha", AlphaRamp, true},
                      TToolVariant{"alphaRle16", AlphaRamp + Rle + QStringList{"-depth", "16"}, true, 1},
                      TToolVariant{"grayAlpha", QStringList{"-colorspace", "gray"} + AlphaRamp, true}),
    [](const auto &info) { return std::string(info.param.Name); });

void PutU16(QByteArray &out, int v) { out.append(char(v >> 8)).append(char(v & 0xFF)); }
void PutU32(QByteArray &out, quint32 v) {
  PutU16(out, int(v >> 16));
  PutU16(out, int(v & 0xFFFF));
}

struct TPsdSpec {
  const char *Name;
  int Mode;
  int Depth;
  int Channels;
  bool PackBits;
};

constexpr int W = 11;
constexpr int H = 4;

// PackBits of one row: runs of equal bytes and literal stretches.
QByteArray PackBits(const QByteArray &row) {
  QByteArray out;
  qsizetype i = 0;
  while (i < row.size()) {
    qsizetype run = 1;
    while (i + run < row.size() && run < 128 && row[i + run] == row[i])
      ++run;
    if (run > 1) {
      out.append(char(1 - run)).append(row[i]);
      i += run;
    } else {
      out.append(char(0)).append(row[i]);
      ++i;
    }
  }
  return out;
}

int ColourChannels(int mode) { return mode == 3 ? 3 : mode == 4 ? 4 : 1; }

// A file with a colour-mode section (a palette for indexed, a stand-in
// duotone description), an empty resource and layer section and the
// composite: sample values vary along rows with runs for PackBits; channels
// beyond the colours are opaque (ImageMagick reads the colours of a composite
// with alpha as if blended with white).
QByteArray BuildPsd(const TPsdSpec &spec) {
  QByteArray out("8BPS");
  PutU16(out, 1);
  out.append(QByteArray(6, '\0'));
  PutU16(out, spec.Channels);
  PutU32(out, H);
  PutU32(out, W);
  PutU16(out, spec.Depth);
  PutU16(out, spec.Mode);
  QByteArray modeData;
  if (spec.Mode == 2)
    for (int i = 0; i < 768; ++i)
      modeData.append(char(i * 5 % 256));
  if (spec.Mode == 8)
    modeData = QByteArray(20, '\x07');
  PutU32(out, quint32(modeData.size()));
  out.append(modeData);
  PutU32(out, 0);
  PutU32(out, 0);
  PutU16(out, spec.PackBits ? 1 : 0);
  const int rowBytes = spec.Depth == 1 ? (W + 7) / 8 : W * spec.Depth / 8;
  QList<QByteArray> rows;
  for (int c = 0; c < spec.Channels; ++c)
    for (int y = 0; y < H; ++y) {
      QByteArray row;
      for (int i = 0; i < rowBytes; ++i)
        row.append(char(c >= ColourChannels(spec.Mode) ? 255 : ((i / 3) * 53 + c * 71 + y * 29) % 256));
      rows << row;
    }
  if (!spec.PackBits) {
    for (const QByteArray &row : rows)
      out.append(row);
    return out;
  }
  QByteArray data;
  for (const QByteArray &row : rows) {
    const QByteArray packed = PackBits(row);
    PutU16(out, int(packed.size()));
    data.append(packed);
  }
  return out + data;
}

class PsdBuiltVariants : public ::testing::TestWithParam<TPsdSpec> {};

// Modes and depths ImageMagick does not write decode like its reading.
TEST_P(PsdBuiltVariants, DecodeLikeImageMagick) {
  const TTestDir dir;
  const QByteArray bytes = BuildPsd(GetParam());
  const QString file = dir.Write(QStringLiteral("v.psd"), bytes);
  const TPixelDiff diff = ComparePixels(DecodePsd(bytes), ToolPixels(QStringLiteral("convert"), file));
  EXPECT_EQ(diff.Largest, 0) << "at " << diff.X << "," << diff.Y;
}

INSTANTIATE_TEST_SUITE_P(Psd, PsdBuiltVariants,
                         ::testing::Values(TPsdSpec{"bitmap", 0, 1, 1, false}, TPsdSpec{"bitmapRle", 0, 1, 1, true},
                                           TPsdSpec{"duotone", 8, 8, 1, false},
                                           TPsdSpec{"gray16Rle", 1, 16, 1, true}, TPsdSpec{"cmykAlpha", 4, 8, 5, true},
                                           TPsdSpec{"rgbSpareChannels", 3, 8, 6, false}),
                         [](const auto &info) { return std::string(info.param.Name); });

// (ImageMagick reads no indexed Photoshop file, so the palette lookup is
// checked against the builder's own palette.)
TEST(PsdCodec, IndexedPixelsComeThroughThePalette) {
  for (const bool packBits : {false, true}) {
    const QImage pixels = DecodePsd(BuildPsd({"indexed", 2, 8, 1, packBits}));
    for (int y = 0; y < H; ++y)
      for (int x = 0; x < W; ++x) {
        const int index = ((x / 3) * 53 + y * 29) % 256;
        const QRgb expected = qRgb(index * 5 % 256, (256 + index) * 5 % 256, (512 + index) * 5 % 256);
        ASSERT_EQ(pixels.pixel(x, y), expected) << x << "," << y;
      }
  }
}

TEST(PsdCodec, SignatureAndHeaderReader) {
  const QByteArray rgb = BuildPsd({"rgb", 3, 8, 3, false});
  QByteArray lowerCase = rgb;
  lowerCase.replace(0, 4, "8bps");
  QByteArray version2 = rgb;
  version2[5] = 2;
  const struct {
    QByteArray File;
    bool Expected;
  } cases[] = {{rgb, true}, {lowerCase, true}, {version2, false}, {rgb.left(26), false}, {rgb.left(27), true},
               {"8BPX" + rgb.mid(4), false}};
  for (const auto &c : cases) {
    QBuffer buffer;
    buffer.setData(c.File);
    buffer.open(QIODevice::ReadOnly);
    buffer.seek(5);
    EXPECT_EQ(TPsdGraphic().CanLoadFromStream(buffer), c.Expected) << c.File.left(6).toHex().toStdString() << " "
                                                                   << c.File.size();
    EXPECT_EQ(buffer.pos(), 5);
  }
  const struct {
    TPsdSpec Spec;
    int Bits;
  } headers[] = {{{"rgb", 3, 8, 3, false}, 24}, {{"rgba", 3, 16, 4, false}, 32}, {{"indexed", 2, 8, 2, false}, 24}};
  for (const auto &h : headers) {
    QBuffer buffer;
    buffer.setData(BuildPsd(h.Spec));
    buffer.open(QIODevice::ReadOnly);
    TPicInfo header;
    TPsdGraphic().ReadHeader(buffer, header);
    EXPECT_EQ(header.Width, W);
    EXPECT_EQ(header.Height, H);
    EXPECT_EQ(header.BitsPerPixel, h.Bits) << h.Spec.Name;
  }
}

} // namespace
