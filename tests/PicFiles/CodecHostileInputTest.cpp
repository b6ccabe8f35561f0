// Damaged and hostile files for every codec of our own: each is refused with
// an error, none is read outside its data, and sizes the data cannot hold are
// refused before pixel memory is taken.
#include "PicFiles/EnDcxGr.h"
#include "PicFiles/EnPpmGr.h"
#include "PicFiles/EnPsdGr.h"
#include "PicFiles/EnTgaGr.h"

#include <QBuffer>
#include <QtEndian>

#include <functional>

#include <gtest/gtest.h>

namespace {

template <typename Codec> void Decode(const QByteArray &bytes) {
  QBuffer buffer;
  buffer.setData(bytes);
  buffer.open(QIODevice::ReadOnly);
  Codec picture;
  picture.LoadFromStream(buffer);
}

template <typename Codec> QByteArray Encoded(TImageFormatEnum format) {
  Codec picture;
  picture.NewImage(37, 11, format);
  QImage pixels = picture.Pixels().Image();
  for (int y = 0; y < pixels.height(); ++y)
    for (int x = 0; x < pixels.width(); ++x) {
      if (format != ifeTrueColor)
        pixels.setPixel(x, y, uint((x * 7 + y) % pixels.colorCount()));
      else
        pixels.setPixelColor(x, y, QColor(x * 6, y * 20, (x ^ y) * 3));
    }
  picture.SetPixels(BitmapOfRaster(pixels, format), format);
  QBuffer buffer;
  buffer.open(QIODevice::WriteOnly);
  picture.SaveToStream(buffer);
  return buffer.data();
}

void PutBE(QByteArray &out, quint32 value, int bytes) {
  for (int i = bytes - 1; i >= 0; --i)
    out.append(char(value >> (8 * i)));
}

// An RGB Photoshop file of width × height with raw samples (as many as given).
QByteArray Psd(quint32 width, quint32 height, qsizetype sampleBytes) {
  QByteArray out("8BPS");
  PutBE(out, 1, 2);
  out.append(QByteArray(6, '\0'));
  PutBE(out, 3, 2);
  PutBE(out, height, 4);
  PutBE(out, width, 4);
  PutBE(out, 8, 2);
  PutBE(out, 3, 2);
  PutBE(out, 0, 4);
  PutBE(out, 0, 4);
  PutBE(out, 0, 4);
  PutBE(out, 0, 2);
  for (qsizetype i = 0; i < sampleBytes; ++i)
    out.append(char(i * 13));
  return out;
}

QByteArray Tga(int type, int width, int height, int depth, const QByteArray &data) {
  QByteArray out(18, '\0');
  out[2] = char(type);
  qToLittleEndian<quint16>(quint16(width), out.data() + 12);
  qToLittleEndian<quint16>(quint16(height), out.data() + 14);
  out[16] = char(depth);
  return out + data;
}

QByteArray Pcx(int width, int height, int bits, int planes, int bytesPerLine, const QByteArray &data) {
  QByteArray out(128, '\0');
  out[0] = 10;
  out[1] = 5;
  out[2] = 1;
  out[3] = char(bits);
  qToLittleEndian<quint16>(quint16(width - 1), out.data() + 8);
  qToLittleEndian<quint16>(quint16(height - 1), out.data() + 10);
  out[65] = char(planes);
  qToLittleEndian<quint16>(quint16(bytesPerLine), out.data() + 66);
  return out + data;
}

QByteArray Dcx(const QByteArray &page) {
  QByteArray out(12, '\0');
  qToLittleEndian<quint32>(0x3ADE68B1, out.data());
  qToLittleEndian<quint32>(12, out.data() + 4);
  return out + page;
}

using TDecoder = std::function<void(const QByteArray &)>;

struct TCodecCase {
  const char *Name;
  TDecoder Decode;
  QByteArray Valid;
};

// Every proper prefix of a valid file is refused with an error of the codec.
TEST(CodecHostileInput, EveryTruncationIsRefused) {
  const TCodecCase cases[] = {
      {"TGA true colour", Decode<TTgaGraphic>, Encoded<TTgaGraphic>(ifeTrueColor)},
      {"TGA mapped", Decode<TTgaGraphic>, Encoded<TTgaGraphic>(ifeColor256)},
      {"PCX true colour", Decode<TPcxGraphic>, Encoded<TPcxGraphic>(ifeTrueColor)},
      {"PCX 16 colours", Decode<TPcxGraphic>, Encoded<TPcxGraphic>(ifeColor16)},
      {"DCX", Decode<TDcxGraphic>, Encoded<TDcxGraphic>(ifeBlackWhite)},
      {"PPM binary", Decode<TPpmGraphic>,
       [] {
         TPpmGraphic p;
         p.Mode = pmeBinary;
         p.NewImage(5, 3, ifeTrueColor);
         QBuffer b;
         b.open(QIODevice::WriteOnly);
         p.SaveToStream(b);
         return b.data();
       }()},
      {"PSD", Decode<TPsdGraphic>, Psd(5, 3, 45)},
  };
  for (const TCodecCase &c : cases) {
    SCOPED_TRACE(c.Name);
    ASSERT_NO_THROW(c.Decode(c.Valid));
    for (qsizetype size = 0; size < c.Valid.size(); ++size)
      EXPECT_THROW(c.Decode(c.Valid.left(size)), EVellError) << "prefix of " << size << " bytes";
  }
}

// Headers that announce more pixels than the limit, or more than their data
// can hold, are refused at once (a taken allocation would show as time and
// memory, and under the sanitizers as a failure).
TEST(CodecHostileInput, SizesBeyondTheLimitOrTheDataAreRefused) {
  const struct {
    const char *Name;
    TDecoder Decode;
    QByteArray File;
  } cases[] = {
      {"TGA 65535 x 65535", Decode<TTgaGraphic>, Tga(2, 65535, 65535, 24, QByteArray(30, '\1'))},
      {"TGA raw without data", Decode<TTgaGraphic>, Tga(2, 30000, 30000, 24, QByteArray(30, '\1'))},
      {"TGA runs too few", Decode<TTgaGraphic>, Tga(10, 30000, 30000, 24, QByteArray(30, '\xFF'))},
      {"TGA zero width", Decode<TTgaGraphic>, Tga(2, 0, 5, 24, QByteArray(30, '\1'))},
      {"PCX 65536 x 65536", Decode<TPcxGraphic>, Pcx(65536, 65536, 8, 3, 65535, QByteArray(30, '\xFF'))},
      {"PCX runs too few", Decode<TPcxGraphic>, Pcx(30000, 30000, 8, 1, 30000, QByteArray(300, '\xFF'))},
      {"PCX line too short", Decode<TPcxGraphic>, Pcx(100, 2, 8, 1, 98, QByteArray(300, '\1'))},
      {"DCX page beyond limit", Decode<TDcxGraphic>, Dcx(Pcx(65536, 65536, 8, 3, 65535, QByteArray(30, '\1')))},
      {"PPM beyond limit", Decode<TPpmGraphic>, "P6 100000 100000 255\n\1\2\3"},
      {"PPM huge numbers", Decode<TPpmGraphic>, "P5 99999999999999999999999 7 255\n"},
      {"PPM text without data", Decode<TPpmGraphic>, "P3 30000 30000 255\n1 2 3"},
      {"PSD beyond limit", Decode<TPsdGraphic>, Psd(300000, 300000, 100)},
      {"PSD without data", Decode<TPsdGraphic>, Psd(30000, 30000, 100)},
  };
  for (const auto &c : cases)
    EXPECT_THROW(c.Decode(c.File), EVellError) << c.Name;
}

} // namespace
