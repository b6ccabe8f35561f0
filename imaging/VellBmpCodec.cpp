#include "imaging/VellBmpCodec.h"

#include "imaging/VellImageCodecs.h"

#include <QIODevice>
#include <QtEndian>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstring>

namespace {

constexpr qint64 FileHeaderSize = 14;
constexpr quint32 BiRgb = 0, BiRle8 = 1, BiRle4 = 2, BiBitfields = 3, BiAlphaBitfields = 6;

quint16 U16(const uchar *p) {
  return qFromLittleEndian<quint16>(p);
}
quint32 U32(const uchar *p) {
  return qFromLittleEndian<quint32>(p);
}
qint32 S32(const uchar *p) {
  return qFromLittleEndian<qint32>(p);
}

// Everything a decoder needs from the headers.
struct THeaders {
  TBmpHeader Info;
  quint32 PixelOffset = 0;
  std::array<quint32, 4> Masks{}; // red, green, blue, alpha
  bool TopDown = false;
  int PaletteEntrySize = 4;
  qint64 PaletteStart = 0;
};

// The bytes of a file from its first byte, read as far as needed.
class TSource {
public:
  explicit TSource(QIODevice &device) : FDevice(device) {}
  // Makes the first count bytes available; false when the data is shorter.
  bool Need(qint64 count) {
    if (count <= FBytes.size())
      return true;
    FBytes += FDevice.read(count - FBytes.size());
    return count <= FBytes.size();
  }
  void ReadRest() { FBytes += FDevice.readAll(); }
  const uchar *At(qint64 offset) const { return reinterpret_cast<const uchar *>(FBytes.constData()) + offset; }
  qint64 Size() const { return FBytes.size(); }

private:
  QIODevice &FDevice;
  QByteArray FBytes;
};

bool Fail(QString &error, const QString &text) {
  error = text;
  return false;
}

bool ReadHeaders(TSource &source, THeaders &h, QString &error) {
  if (!source.Need(FileHeaderSize + 4))
    return Fail(error, QStringLiteral("BMP: the file is shorter than its headers"));
  if (std::memcmp(source.At(0), "BM", 2) != 0)
    return Fail(error, QStringLiteral("BMP: the file does not start with \"BM\""));
  h.PixelOffset = U32(source.At(10));
  const quint32 size = U32(source.At(14));
  h.Info.HeaderSize = size;
  const bool core = size == 12;
  if (!(core || size == 16 || size == 40 || size == 52 || size == 56 || size == 64 || size == 108 ||
        size == 124))
    return Fail(error, QStringLiteral("BMP: unknown info header size %1").arg(size));
  if (!source.Need(FileHeaderSize + size))
    return Fail(error, QStringLiteral("BMP: the file is shorter than its headers"));
  const uchar *p = source.At(FileHeaderSize);
  if (core) {
    h.Info.Width = U16(p + 4);
    h.Info.Height = U16(p + 6);
    h.Info.BitCount = U16(p + 10);
    h.PaletteEntrySize = 3;
  } else {
    h.Info.Width = S32(p + 4);
    h.Info.Height = S32(p + 8);
    h.Info.BitCount = U16(p + 14);
    if (size >= 40) {
      h.Info.Compression = U32(p + 16);
      h.Info.XPelsPerMeter = S32(p + 24);
      h.Info.YPelsPerMeter = S32(p + 28);
      h.Info.ColorsUsed = U32(p + 32);
    }
    if (size >= 52 && size != 64)
      for (int i = 0; i < (size >= 56 ? 4 : 3); ++i)
        h.Masks[i] = U32(p + 40 + 4 * i);
  }
  h.PaletteStart = FileHeaderSize + size;
  // Masks that follow an info header of 40 bytes.
  if (size == 40 && (h.Info.Compression == BiBitfields || h.Info.Compression == BiAlphaBitfields)) {
    const int count = h.Info.Compression == BiAlphaBitfields ? 4 : 3;
    if (!source.Need(h.PaletteStart + 4 * count))
      return Fail(error, QStringLiteral("BMP: the file is shorter than its colour masks"));
    for (int i = 0; i < count; ++i)
      h.Masks[i] = U32(source.At(h.PaletteStart + 4 * i));
    h.PaletteStart += 4 * count;
  }
  h.TopDown = h.Info.Height < 0;
  return true;
}

bool CheckHeaders(const THeaders &h, QString &error) {
  const TBmpHeader &info = h.Info;
  const qint64 width = info.Width, height = qAbs(qint64(info.Height));
  if (width <= 0 || height <= 0)
    return Fail(error, QStringLiteral("BMP: invalid size %1 x %2").arg(info.Width).arg(info.Height));
  const quint16 bits = info.BitCount;
  if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32)
    return Fail(error, QStringLiteral("BMP: unsupported bit count %1").arg(bits));
  const quint32 c = info.Compression;
  const bool fits = c == BiRgb || (c == BiRle8 && bits == 8) || (c == BiRle4 && bits == 4) ||
                    ((c == BiBitfields || c == BiAlphaBitfields) && (bits == 16 || bits == 32));
  if (!fits)
    return Fail(error, QStringLiteral("BMP: unsupported compression %1 with %2 bits").arg(c).arg(bits));
  if ((c == BiRle8 || c == BiRle4) && h.TopDown)
    return Fail(error, QStringLiteral("BMP: run-length data cannot have top-down rows"));
  if (ExceedsPixelLimit(width, height))
    return Fail(error, QStringLiteral("BMP: ") + PixelLimitText(width, height));
  return true;
}

// The palette: as many entries as the header says (all 2^bits when it says
// none), no more than fit before the pixel data.
QList<QRgb> ReadPalette(TSource &source, const THeaders &h) {
  QList<QRgb> palette;
  if (h.Info.BitCount > 8)
    return palette;
  const qint64 full = qint64(1) << h.Info.BitCount;
  qint64 count = h.Info.ColorsUsed && h.Info.ColorsUsed < full ? h.Info.ColorsUsed : full;
  if (h.PixelOffset > h.PaletteStart)
    count = std::min(count, (qint64(h.PixelOffset) - h.PaletteStart) / h.PaletteEntrySize);
  source.Need(h.PaletteStart + count * h.PaletteEntrySize);
  count = std::min(count, (source.Size() - h.PaletteStart) / h.PaletteEntrySize);
  for (qint64 i = 0; i < count; ++i) {
    const uchar *e = source.At(h.PaletteStart + i * h.PaletteEntrySize);
    palette.append(qRgb(e[2], e[1], e[0]));
  }
  return palette;
}

// A bit-field channel: shift to its lowest bit and its width.
struct TChannel {
  quint32 Mask = 0;
  int Shift = 0;
  int Bits = 0;
  explicit TChannel(quint32 mask) : Mask(mask) {
    if (mask) {
      Shift = std::countr_zero(mask);
      Bits = std::popcount(mask >> Shift);
    }
  }
  // The channel's value scaled to 0..255.
  int Value(quint32 pixel) const {
    if (!Bits)
      return 0;
    const quint32 v = (pixel & Mask) >> Shift;
    const quint32 max = Bits >= 32 ? 0xFFFFFFFFu : (1u << Bits) - 1;
    return int((quint64(v) * 255 + max / 2) / max);
  }
};

std::array<quint32, 4> EffectiveMasks(const THeaders &h) {
  const bool bitfields = h.Info.Compression == BiBitfields || h.Info.Compression == BiAlphaBitfields;
  if (bitfields)
    return h.Masks;
  if (h.Info.BitCount == 16)
    return {0x7C00, 0x03E0, 0x001F, 0};
  return {0xFF0000, 0xFF00, 0xFF, 0};
}

QImage::Format FormatFor(const THeaders &h, const std::array<quint32, 4> &masks) {
  switch (h.Info.BitCount) {
  case 1:
    return QImage::Format_Mono;
  case 4:
  case 8:
    return QImage::Format_Indexed8;
  case 24:
    return QImage::Format_BGR888;
  case 16:
    if (masks == std::array<quint32, 4>{0x7C00, 0x03E0, 0x001F, 0})
      return QImage::Format_RGB555;
    if (masks == std::array<quint32, 4>{0xF800, 0x07E0, 0x001F, 0})
      return QImage::Format_RGB16;
    break;
  default:
    if (masks[0] == 0xFF0000 && masks[1] == 0xFF00 && masks[2] == 0xFF && (masks[3] == 0 || masks[3] == 0xFF000000))
      return masks[3] ? QImage::Format_ARGB32 : QImage::Format_RGB32;
  }
  return masks[3] ? QImage::Format_ARGB32 : QImage::Format_BGR888;
}

// One stored row into an image row of the chosen format.
void UnpackRow(const uchar *in, uchar *out, int width, const THeaders &h, QImage::Format format,
               const std::array<TChannel, 4> &channels) {
  const int bits = h.Info.BitCount;
  if (bits == 4) {
    for (int x = 0; x < width; ++x)
      out[x] = (x & 1) ? in[x / 2] & 0x0F : in[x / 2] >> 4;
    return;
  }
  const bool direct = (bits == 1 || bits == 8 || bits == 24) || format == QImage::Format_RGB555 ||
                      format == QImage::Format_RGB16 || format == QImage::Format_RGB32 ||
                      (format == QImage::Format_ARGB32 && bits == 32 && channels[3].Mask == 0xFF000000 &&
                       channels[0].Mask == 0xFF0000 && channels[1].Mask == 0xFF00 && channels[2].Mask == 0xFF);
  if (direct) {
    std::memcpy(out, in, size_t((qint64(width) * bits + 7) / 8));
    if (format == QImage::Format_RGB32)
      for (int x = 0; x < width; ++x)
        out[4 * x + 3] = 0xFF;
    return;
  }
  for (int x = 0; x < width; ++x) {
    const quint32 pixel = bits == 16 ? U16(in + 2 * x) : U32(in + 4 * x);
    const int r = channels[0].Value(pixel), g = channels[1].Value(pixel), b = channels[2].Value(pixel);
    if (format == QImage::Format_ARGB32)
      reinterpret_cast<QRgb *>(out)[x] = qRgba(r, g, b, channels[3].Value(pixel));
    else {
      out[3 * x] = uchar(b);
      out[3 * x + 1] = uchar(g);
      out[3 * x + 2] = uchar(r);
    }
  }
}

bool DecodeRows(TSource &source, const THeaders &h, qint64 start, QImage &image, QString &error) {
  const int width = image.width(), height = image.height();
  const qint64 stride = (qint64(width) * h.Info.BitCount + 31) / 32 * 4;
  if (source.Size() - start < stride * height)
    return Fail(error, QStringLiteral("BMP: the pixel data ends early (%1 of %2 bytes)")
                           .arg(std::max<qint64>(0, source.Size() - start))
                           .arg(stride * height));
  const auto masks = EffectiveMasks(h);
  const std::array<TChannel, 4> channels{TChannel(masks[0]), TChannel(masks[1]), TChannel(masks[2]),
                                         TChannel(masks[3])};
  for (int y = 0; y < height; ++y) {
    const int row = h.TopDown ? y : height - 1 - y;
    UnpackRow(source.At(start + y * stride), image.scanLine(row), width, h, image.format(), channels);
  }
  return true;
}

// Run-length data (RLE8 or RLE4) into palette indices; pixels the data skips
// keep index 0.
bool DecodeRle(TSource &source, const THeaders &h, qint64 start, QImage &image, QString &error) {
  const bool four = h.Info.Compression == BiRle4;
  const int width = image.width(), height = image.height();
  image.fill(0);
  qint64 pos = start;
  const qint64 end = source.Size();
  int x = 0, y = 0; // y counts rows from the bottom
  auto put = [&](int index) {
    if (x < width && y < height)
      image.scanLine(height - 1 - y)[x] = uchar(index);
    ++x;
  };
  const QString early = QStringLiteral("BMP: the run-length data ends early");
  while (true) {
    if (end - pos < 2)
      return Fail(error, early);
    const int count = *source.At(pos), value = *source.At(pos + 1);
    pos += 2;
    if (count > 0) {
      for (int i = 0; i < count; ++i)
        put(four ? ((i & 1) ? value & 0x0F : value >> 4) : value);
      continue;
    }
    if (value == 0) { // end of line
      x = 0;
      ++y;
    } else if (value == 1) { // end of bitmap
      return true;
    } else if (value == 2) { // delta
      if (end - pos < 2)
        return Fail(error, early);
      x += *source.At(pos);
      y += *source.At(pos + 1);
      pos += 2;
    } else { // a literal run of value pixels, padded to whole words
      const qint64 bytes = four ? (value + 1) / 2 : value;
      if (end - pos < bytes)
        return Fail(error, early);
      for (int i = 0; i < value; ++i) {
        const int byte = *source.At(pos + (four ? i / 2 : i));
        put(four ? ((i & 1) ? byte & 0x0F : byte >> 4) : byte);
      }
      pos += (bytes + 1) & ~qint64(1);
    }
    if (y >= height)
      return true;
  }
}

// Indices that point past the palette get black entries, so that every pixel
// has a colour.
void CoverIndices(QImage &image) {
  if (image.format() != QImage::Format_Indexed8)
    return;
  int highest = 0;
  for (int y = 0; y < image.height(); ++y) {
    const uchar *row = image.constScanLine(y);
    highest = std::max<int>(highest, *std::max_element(row, row + image.width()));
  }
  QList<QRgb> table = image.colorTable();
  while (table.size() <= highest)
    table.append(qRgb(0, 0, 0));
  image.setColorTable(table);
}

void PutU16(QByteArray &out, quint16 v) {
  char b[2];
  qToLittleEndian(v, b);
  out.append(b, 2);
}
void PutU32(QByteArray &out, quint32 v) {
  char b[4];
  qToLittleEndian(v, b);
  out.append(b, 4);
}

// The image in a format the writer stores as it is, with its bit count.
QImage WritablePixels(const TBmpPicture &picture, int &bits) {
  const QImage &in = picture.Pixels;
  switch (in.format()) {
  case QImage::Format_Mono:
    bits = 1;
    return in;
  case QImage::Format_MonoLSB:
    bits = 1;
    return in.convertToFormat(QImage::Format_Mono);
  case QImage::Format_Indexed8:
    bits = picture.BitsPerPixel == 4 && in.colorCount() <= 16 ? 4 : 8;
    return in;
  case QImage::Format_Grayscale8: {
    bits = 8;
    QImage indexed(in.size(), QImage::Format_Indexed8);
    indexed.setColorTable(GreyColourTable(256));
    for (int y = 0; y < in.height(); ++y)
      std::memcpy(indexed.scanLine(y), in.constScanLine(y), size_t(in.width()));
    return indexed;
  }
  case QImage::Format_RGB555:
  case QImage::Format_RGB16:
    bits = 16;
    return in;
  case QImage::Format_RGB32:
  case QImage::Format_ARGB32:
    bits = 32;
    return in;
  default:
    bits = 24;
    return in.convertToFormat(QImage::Format_BGR888);
  }
}

} // namespace

bool TVellBmpCodec::CanRead(QIODevice &device) {
  return device.peek(2) == "BM";
}

bool TVellBmpCodec::ReadHeader(QIODevice &device, TBmpHeader &header, QString &error) {
  TSource source(device);
  THeaders h;
  if (!ReadHeaders(source, h, error))
    return false;
  header = h.Info;
  return true;
}

bool TVellBmpCodec::Decode(QIODevice &device, TBmpPicture &picture, QString &error) {
  TSource source(device);
  THeaders h;
  if (!ReadHeaders(source, h, error) || !CheckHeaders(h, error))
    return false;
  const QList<QRgb> palette = ReadPalette(source, h);
  if (h.Info.BitCount <= 8 && palette.isEmpty())
    return Fail(error, QStringLiteral("BMP: the palette is missing"));
  source.ReadRest();
  const qint64 start = h.PixelOffset ? h.PixelOffset : h.PaletteStart + palette.size() * h.PaletteEntrySize;
  const auto masks = EffectiveMasks(h);
  QImage image(h.Info.Width, int(qAbs(qint64(h.Info.Height))), FormatFor(h, masks));
  if (image.isNull())
    return Fail(error, QStringLiteral("BMP: out of memory for %1 x %2 pixels").arg(h.Info.Width).arg(qAbs(h.Info.Height)));
  if (!palette.isEmpty())
    image.setColorTable(palette);
  const bool rle = h.Info.Compression == BiRle8 || h.Info.Compression == BiRle4;
  if (!(rle ? DecodeRle(source, h, start, image, error) : DecodeRows(source, h, start, image, error)))
    return false;
  CoverIndices(image);
  picture.Pixels = image;
  picture.BitsPerPixel = h.Info.BitCount;
  picture.XPelsPerMeter = h.Info.XPelsPerMeter;
  picture.YPelsPerMeter = h.Info.YPelsPerMeter;
  return true;
}

bool TVellBmpCodec::Encode(const TBmpPicture &picture, QIODevice &device, QString &error) {
  if (picture.Pixels.isNull())
    return Fail(error, QStringLiteral("BMP: there is no picture to write"));
  int bits = 0;
  const QImage image = WritablePixels(picture, bits);
  const int width = image.width(), height = image.height();
  const qint64 stride = (qint64(width) * bits + 31) / 32 * 4;
  const bool masks = image.format() == QImage::Format_RGB16;
  QList<QRgb> palette = bits <= 8 ? image.colorTable() : QList<QRgb>();
  if (bits == 1 && palette.size() != 2)
    palette = {qRgb(0, 0, 0), qRgb(255, 255, 255)};
  const qint64 headers = FileHeaderSize + 40 + (masks ? 12 : 0) + 4 * qint64(palette.size());
  const qint64 total = headers + stride * height;
  if (total > 0xFFFFFFFFll)
    return Fail(error, QStringLiteral("BMP: %1 x %2 pixels do not fit in a BMP file").arg(width).arg(height));
  QByteArray out;
  out.reserve(int(headers));
  out.append("BM");
  PutU32(out, quint32(total));
  PutU32(out, 0);
  PutU32(out, quint32(headers));
  PutU32(out, 40);
  PutU32(out, quint32(width));
  PutU32(out, quint32(height));
  PutU16(out, 1);
  PutU16(out, quint16(bits));
  PutU32(out, masks ? BiBitfields : BiRgb);
  PutU32(out, quint32(stride * height));
  PutU32(out, quint32(picture.XPelsPerMeter));
  PutU32(out, quint32(picture.YPelsPerMeter));
  PutU32(out, quint32(palette.size()));
  PutU32(out, 0);
  if (masks)
    for (quint32 mask : {0xF800u, 0x07E0u, 0x001Fu})
      PutU32(out, mask);
  for (QRgb colour : palette)
    PutU32(out, colour & 0xFFFFFF);
  if (device.write(out) != out.size())
    return Fail(error, QStringLiteral("BMP: cannot write: %1").arg(device.errorString()));
  QByteArray row(int(stride), '\0');
  for (int y = height - 1; y >= 0; --y) {
    const uchar *in = image.constScanLine(y);
    if (bits == 4) {
      row.fill('\0');
      for (int x = 0; x < width; ++x)
        row[x / 2] = char(row[x / 2] | ((in[x] & 0x0F) << ((x & 1) ? 0 : 4)));
    } else {
      std::memcpy(row.data(), in, size_t((qint64(width) * bits + 7) / 8));
    }
    if (device.write(row) != row.size())
      return Fail(error, QStringLiteral("BMP: cannot write: %1").arg(device.errorString()));
  }
  return true;
}

// ---- the imaging service's BMP row ----

namespace {

// The service keeps colour without alpha as 24-bit RGB.
QImage ServiceKept(const QImage &pixels) {
  switch (pixels.format()) {
  case QImage::Format_RGB555:
  case QImage::Format_RGB16:
  case QImage::Format_RGB32:
    return pixels.convertToFormat(QImage::Format_BGR888);
  default:
    return pixels;
  }
}

QImage::Format ServiceFormatOf(const TBmpHeader &header) {
  switch (header.BitCount) {
  case 1:
    return QImage::Format_Mono;
  case 4:
  case 8:
    return QImage::Format_Indexed8;
  case 32:
    return header.Compression == 0 ? QImage::Format_BGR888 : QImage::Format_ARGB32;
  default:
    return QImage::Format_BGR888;
  }
}

float Dpi(qint32 pelsPerMetre) {
  return pelsPerMetre > 0 ? DpiFromDotsPerMetre(quint32(pelsPerMetre)) : 0.0f;
}

GpStatus Refused(const QString &error) {
  return RecordFailure(UnknownImageFormat, error);
}

GpStatus ReadBmpHeader(QIODevice &device, quint32 page, ImageHeader &header) {
  if (page > 0)
    return RecordFailure(InvalidParameter, QStringLiteral("the BMP image has one page only"));
  const qint64 start = device.pos();
  TBmpHeader bmp;
  QString error;
  const bool read = TVellBmpCodec::ReadHeader(device, bmp, error);
  device.seek(start);
  if (!read)
    return Refused(error);
  if (bmp.Width <= 0 || bmp.Height == 0)
    return Refused(QStringLiteral("BMP: invalid size %1 x %2").arg(bmp.Width).arg(bmp.Height));
  header.Width = quint32(bmp.Width);
  header.Height = quint32(qAbs(qint64(bmp.Height)));
  header.DpiX = Dpi(bmp.XPelsPerMeter);
  header.DpiY = Dpi(bmp.YPelsPerMeter);
  header.PixelFormat = PixelFormatOf(ServiceFormatOf(bmp));
  header.PageCount = 1;
  return Ok;
}

GpStatus DecodeBmp(QIODevice &device, quint32 page, TRaster &raster) {
  if (page > 0)
    return RecordFailure(InvalidParameter, QStringLiteral("the BMP image has one page only"));
  TBmpPicture picture;
  QString error;
  if (!TVellBmpCodec::Decode(device, picture, error))
    return RecordFailure(error.contains(QStringLiteral("limit")) ? ValueOverflow : UnknownImageFormat, error);
  raster.Pixels = ServiceKept(picture.Pixels);
  raster.Format = PixelFormatOf(raster.Pixels);
  raster.DpiX = Dpi(picture.XPelsPerMeter);
  raster.DpiY = Dpi(picture.YPelsPerMeter);
  return Ok;
}

qint32 PelsPerMetre(float dpi) {
  return dpi > 0 ? qint32(std::lround(dpi / 0.0254)) : 0;
}

GpStatus WriteBmp(QIODevice &device, const TEncodePage &page) {
  const TRaster raster = PageImage(page);
  const TBmpPicture picture{raster.Pixels, 0, PelsPerMetre(raster.DpiX), PelsPerMetre(raster.DpiY)};
  QString error;
  if (!TVellBmpCodec::Encode(picture, device, error))
    return RecordFailure(Win32Error, error);
  return Ok;
}

std::unique_ptr<TPageEncoder> NewBmpEncoder(QIODevice &device) {
  return NewSingleImageEncoder(device, WriteBmp);
}

bool IsBmp(QIODevice &device) {
  return TVellBmpCodec::CanRead(device);
}

} // namespace

// Identifiers as the platform service has them.
const TImageCodec VellBmpCodec{u"BMP",
                               u"image/bmp",
                               u"Built-in BMP Codec",
                               u"*.BMP;*.DIB;*.RLE",
                               QUuid(0x557cf400, 0x1a04, 0x11d3, 0x9a, 0x73, 0x00, 0x00, 0xf8, 0x1e, 0xf3, 0x2e),
                               QUuid(0xb96b3cab, 0x0728, 0x11d3, 0x9d, 0x7b, 0x00, 0x00, 0xf8, 0x1e, 0xf3, 0x2e),
                               IsBmp,
                               ReadBmpHeader,
                               DecodeBmp,
                               NewBmpEncoder};
