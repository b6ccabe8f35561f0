#include "PicFiles/EnTgaGr.h"

#include <QIODevice>
#include <QSysInfo>

#include <algorithm>
#include <tuple>

namespace {

constexpr const char *Codec = "TGA";
constexpr int HeaderSize = 18;
constexpr quint8 TopToBottom = 0x20;
constexpr quint8 RightToLeft = 0x10;

enum class TKind { Mapped, TrueColour, Gray };

struct TTgaHeader {
  quint8 IdLength = 0;
  quint8 MapType = 0;
  quint8 ImageType = 0;
  quint16 MapFirst = 0;
  quint16 MapLength = 0;
  quint8 MapEntryBits = 0;
  quint16 Width = 0;
  quint16 Height = 0;
  quint8 Depth = 0;
  quint8 Descriptor = 0;

  TKind Kind() const {
    const int base = ImageType & 7;
    return base == 1 ? TKind::Mapped : base == 2 ? TKind::TrueColour : TKind::Gray;
  }
  bool RunLength() const { return ImageType >= 9; }
  int AlphaBits() const { return Descriptor & 0x0F; }
  int BytesPerPixel() const { return (Depth + 7) / 8; }
  int MapEntryBytes() const { return (MapEntryBits + 7) / 8; }
};

TTgaHeader ParseHeader(TByteCursor &in) {
  TTgaHeader h;
  h.IdLength = in.U8();
  h.MapType = in.U8();
  h.ImageType = in.U8();
  h.MapFirst = in.U16LE();
  h.MapLength = in.U16LE();
  h.MapEntryBits = in.U8();
  in.Skip(4); // origin
  h.Width = in.U16LE();
  h.Height = in.U16LE();
  h.Depth = in.U8();
  h.Descriptor = in.U8();
  return h;
}

bool IsOneOf(int value, std::initializer_list<int> allowed) {
  return std::find(allowed.begin(), allowed.end(), value) != allowed.end();
}

// Raises EPicCodecError for every header this codec does not decode.
void Validate(const TTgaHeader &h, const TByteCursor &in) {
  if (!IsOneOf(h.ImageType, {1, 2, 3, 9, 10, 11}))
    in.Fail(QStringLiteral("image type %1 is not supported").arg(h.ImageType));
  if (h.MapType > 1)
    in.Fail(QStringLiteral("colour-map type %1 is not valid").arg(h.MapType));
  const bool mapValid = IsOneOf(h.MapEntryBits, {15, 16, 24, 32}) && h.MapLength > 0;
  bool depthValid = false;
  switch (h.Kind()) {
  case TKind::Mapped:
    if (h.MapType != 1 || !mapValid)
      in.Fail(QStringLiteral("a colour-mapped picture needs a colour map of 15, 16, 24 or 32 bits"));
    depthValid = h.Depth == 8;
    break;
  case TKind::TrueColour:
    depthValid = IsOneOf(h.Depth, {15, 16, 24, 32});
    break;
  case TKind::Gray:
    depthValid = h.Depth == 8;
    break;
  }
  if (!depthValid)
    in.Fail(QStringLiteral("pixel depth %1 does not fit image type %2").arg(h.Depth).arg(h.ImageType));
  CheckPictureSize(h.Width, h.Height, Codec);
}

// 32-bit colours always carry alpha, 16-bit pixels when the descriptor
// announces an attribute bit; 16-bit colour-map entries are opaque.
bool HasAlpha(const TTgaHeader &h) {
  if (h.Kind() == TKind::Mapped)
    return h.MapEntryBits == 32;
  return h.Depth == 32 || (h.Depth == 16 && h.AlphaBits() > 0);
}

// The decoded layout: palette for mapped and gray, else true colour.
QImage::Format RasterFormat(const TTgaHeader &h) {
  if (h.Kind() != TKind::TrueColour)
    return QImage::Format_Indexed8;
  return HasAlpha(h) ? QImage::Format_ARGB32 : QImage::Format_BGR888;
}

QRgb Expand5(quint16 v, bool alpha) {
  const auto level = [](int five) { return five * 255 / 31; };
  const int a = alpha && !(v & 0x8000) ? 0 : 255;
  return qRgba(level((v >> 10) & 31), level((v >> 5) & 31), level(v & 31), a);
}

// One colour of `bytes` bytes as TGA stores colour-map entries and true-colour
// pixels (little-endian 5-5-5, or B, G, R and A).
QRgb ColourAt(const uchar *p, int bytes, bool alpha) {
  switch (bytes) {
  case 2:
    return Expand5(quint16(p[0] | p[1] << 8), alpha);
  case 3:
    return qRgb(p[2], p[1], p[0]);
  default:
    return qRgba(p[2], p[1], p[0], alpha ? p[3] : 255);
  }
}

QList<QRgb> ReadColourMap(const TTgaHeader &h, TByteCursor &in) {
  QList<QRgb> map;
  if (h.MapType != 1)
    return map;
  const int bytes = h.MapEntryBytes();
  const uchar *p = in.Take(qint64(h.MapLength) * bytes);
  if (h.Kind() != TKind::Mapped)
    return map;
  const bool alpha = HasAlpha(h);
  map.reserve(h.MapLength);
  for (int i = 0; i < h.MapLength; ++i)
    map << ColourAt(p + i * bytes, bytes, alpha);
  return map;
}

// The pixel values in file order, width × height × bytes per pixel; runs may
// cross row ends.
QByteArray ReadPixelValues(const TTgaHeader &h, TByteCursor &in) {
  const qint64 pixels = qint64(h.Width) * h.Height;
  const int bpp = h.BytesPerPixel();
  if (!h.RunLength()) // the cursor's own bytes, not copied: they outlive the decoding
    return QByteArray::fromRawData(reinterpret_cast<const char *>(in.Take(pixels * bpp)), pixels * bpp);
  // A packet of at least 1 + bpp bytes yields at most 128 pixels.
  if (in.Remaining() / (1 + bpp) * 128 < pixels)
    in.Fail(QStringLiteral("the data ends too early"));
  QByteArray values(pixels * bpp, Qt::Uninitialized);
  char *out = values.data();
  qint64 done = 0;
  while (done < pixels) {
    const quint8 packet = in.U8();
    const qint64 count = std::min<qint64>((packet & 0x7F) + 1, pixels - done);
    if (packet & 0x80) {
      const uchar *value = in.Take(bpp);
      for (qint64 i = 0; i < count; ++i)
        std::copy_n(value, bpp, out + (done + i) * bpp);
    } else {
      std::copy_n(in.Take(count * bpp), count * bpp, out + done * bpp);
    }
    done += count;
  }
  return values;
}

QList<QRgb> IndexedColourTable(const TTgaHeader &h, const QList<QRgb> &map) {
  if (h.Kind() == TKind::Gray)
    return GreyPalette(256);
  QList<QRgb> table(256, qRgb(0, 0, 0));
  for (int i = 0; i < 256; ++i)
    if (i >= h.MapFirst && i - h.MapFirst < map.size())
      table[i] = map[i - h.MapFirst];
  return table;
}

// Converts one row of pixel values into the raster's row, left to right.
void ConvertRow(const TTgaHeader &h, const uchar *values, uchar *row) {
  const int width = h.Width;
  const int bpp = h.BytesPerPixel();
  const bool alpha = HasAlpha(h);
  // Indices, B-G-R triples and (on little-endian hosts) B-G-R-A quadruples are
  // already the raster's bytes.
  const bool sameBytes = RasterFormat(h) == QImage::Format_Indexed8 || (bpp == 3 && !alpha) ||
                         (bpp == 4 && alpha && QSysInfo::ByteOrder == QSysInfo::LittleEndian);
  if (sameBytes) {
    std::copy_n(values, qint64(width) * bpp, row);
    return;
  }
  for (int x = 0; x < width; ++x) {
    const uchar *p = values + x * bpp;
    const QRgb colour = ColourAt(p, bpp, alpha);
    if (alpha) {
      reinterpret_cast<QRgb *>(row)[x] = colour;
    } else {
      row[3 * x] = uchar(qBlue(colour)); // BGR888 keeps blue first in memory
      row[3 * x + 1] = uchar(qGreen(colour));
      row[3 * x + 2] = uchar(qRed(colour));
    }
  }
}

TImageFormatEnum ImageFormatOf(const TTgaHeader &h) {
  if (h.Kind() == TKind::Gray)
    return ifeGray256;
  return h.Kind() == TKind::Mapped ? ifeColor256 : ifeTrueColor;
}

TTgaHeader ReadValidHeader(TByteCursor &in) {
  const TTgaHeader h = ParseHeader(in);
  Validate(h, in);
  return h;
}

int DecodedBits(const TTgaHeader &h) {
  switch (RasterFormat(h)) {
  case QImage::Format_Indexed8:
    return 8;
  case QImage::Format_ARGB32:
    return 32;
  default:
    return 24;
  }
}

void PutU16(QByteArray &out, int value) {
  out.append(char(value & 0xFF));
  out.append(char((value >> 8) & 0xFF));
}

QByteArray EncodeHeader(int type, int width, int height, int depth, int alphaBits, int mapLength) {
  QByteArray out;
  out.append(char(0));                      // no image ID
  out.append(char(mapLength > 0 ? 1 : 0)); // colour-map type
  out.append(char(type));
  PutU16(out, 0);
  PutU16(out, mapLength);
  out.append(char(mapLength > 0 ? 24 : 0));
  PutU16(out, 0);
  PutU16(out, 0);
  PutU16(out, width);
  PutU16(out, height);
  out.append(char(depth));
  out.append(char(alphaBits)); // bottom-left origin
  return out;
}

bool IsGray(TImageFormatEnum format) {
  return format == ifeBlackWhite || format == ifeGray16 || format == ifeGray256;
}

} // namespace

VELL_IMPLEMENT_CLASS(TTgaGraphic, TRasterCodecPicture)

bool TTgaGraphic::CanLoadFromStream(QIODevice &stream) const {
  const QByteArray header = PeekBytes(stream, HeaderSize);
  if (header.size() < HeaderSize)
    return false;
  const auto byte = [&](int at) { return quint8(header[at]); };
  const int depth = byte(16);
  switch (byte(2)) {
  case 1:
  case 9:
    return depth == 8 && byte(7) == 24;
  case 2:
  case 10:
    return depth == 16 || depth == 24 || depth == 32;
  case 3:
  case 11:
    return depth == 8;
  default:
    return false;
  }
}

void TTgaGraphic::ReadHeader(QIODevice &stream, TPicInfo &info) const {
  ReadGbmHeader(
      [&] {
        TByteCursor in(PeekBytes(stream, HeaderSize), Codec);
        const TTgaHeader h = ReadValidHeader(in);
        return std::tuple{int(h.Width), int(h.Height), DecodedBits(h)};
      },
      info);
}

void TTgaGraphic::LoadFromStream(QIODevice &stream) {
  TByteCursor in(ReadRemaining(stream, Codec), Codec);
  const TTgaHeader h = ReadValidHeader(in);
  in.Skip(h.IdLength);
  const QList<QRgb> map = ReadColourMap(h, in);
  const QByteArray values = ReadPixelValues(h, in);
  QImage pixels = NewRaster(h.Width, h.Height, RasterFormat(h), Codec);
  if (pixels.format() == QImage::Format_Indexed8)
    pixels.setColorTable(IndexedColourTable(h, map));
  const bool topDown = h.Descriptor & TopToBottom;
  const qint64 rowBytes = qint64(h.Width) * h.BytesPerPixel();
  for (int y = 0; y < h.Height; ++y)
    ConvertRow(h, reinterpret_cast<const uchar *>(values.constData()) + y * rowBytes,
               pixels.scanLine(topDown ? y : h.Height - 1 - y));
  if (h.Descriptor & RightToLeft)
    pixels = pixels.mirrored(true, false);
  SetPixels(BitmapOfRaster(pixels, ImageFormatOf(h)), ImageFormatOf(h));
}

void TTgaGraphic::SaveToStream(QIODevice &stream) const {
  const QImage &source = Pixels().Image();
  const int width = Width();
  const int height = Height();
  if (Empty() || width > 0xFFFF || height > 0xFFFF)
    throw EPicCodecError(QStringLiteral("TGA: a picture of %1 × %2 pixels cannot be written").arg(width).arg(height));
  QByteArray out;
  QImage rows;
  if (IsGray(ImageFormat())) {
    out = EncodeHeader(3, width, height, 8, 0, 0);
    rows = source.convertToFormat(QImage::Format_Grayscale8);
  } else if (ImageFormat() != ifeTrueColor) {
    rows = IndexedPixels(Pixels());
    const QList<QRgb> table = rows.colorTable();
    out = EncodeHeader(1, width, height, 8, 0, int(table.size()));
    for (QRgb colour : table)
      out.append(char(qBlue(colour))).append(char(qGreen(colour))).append(char(qRed(colour)));
  } else if (source.hasAlphaChannel()) {
    out = EncodeHeader(2, width, height, 32, 8, 0);
    rows = source.convertToFormat(QImage::Format_ARGB32); // B, G, R, A in memory on little-endian hosts
  } else {
    out = EncodeHeader(2, width, height, 24, 0, 0);
    rows = source.convertToFormat(QImage::Format_BGR888); // B, G, R in memory, as TGA stores them
  }
  const qint64 rowBytes = qint64(width) * (rows.isNull() ? 0 : rows.depth() / 8);
  WriteBytes(stream, out);
  for (int y = height - 1; y >= 0; --y)
    WriteBytes(stream, reinterpret_cast<const char *>(rows.constScanLine(y)), rowBytes);
}
