#include "PicFiles/EnPcxGr.h"

#include <QIODevice>
#include <QtEndian>

#include <algorithm>
#include <tuple>

namespace {

constexpr const char *Codec = "PCX";
constexpr int HeaderSize = 128;
constexpr int TrailingPaletteSize = 769; // the 0x0C marker and 256 RGB triples

struct TPcxHeader {
  quint8 Version = 0;
  quint8 Encoding = 0;
  quint8 BitsPerPixel = 0;
  int Width = 0;
  int Height = 0;
  quint16 XDpi = 0;
  quint16 YDpi = 0;
  QList<QRgb> Palette16;
  quint8 Planes = 0;
  quint16 BytesPerLine = 0;

  int PlaneBits() const { return BitsPerPixel * Planes; }
  qint64 RowBytes() const { return qint64(BytesPerLine) * Planes; }
};

TPcxHeader ParseHeader(TByteCursor &in) {
  TPcxHeader h;
  if (in.U8() != 10)
    in.Fail(QStringLiteral("the file does not start with a PCX header"));
  h.Version = in.U8();
  h.Encoding = in.U8();
  h.BitsPerPixel = in.U8();
  const int xMin = in.U16LE();
  const int yMin = in.U16LE();
  const int xMax = in.U16LE();
  const int yMax = in.U16LE();
  h.Width = xMax - xMin + 1;
  h.Height = yMax - yMin + 1;
  h.XDpi = in.U16LE();
  h.YDpi = in.U16LE();
  const uchar *colours = in.Take(48);
  for (int i = 0; i < 16; ++i)
    h.Palette16 << qRgb(colours[3 * i], colours[3 * i + 1], colours[3 * i + 2]);
  in.Skip(1);
  h.Planes = in.U8();
  h.BytesPerLine = in.U16LE();
  in.Seek(HeaderSize);
  return h;
}

bool SupportedLayout(int bits, int planes) {
  return (bits == 1 && planes >= 1 && planes <= 4) || (bits == 2 && planes == 1) || (bits == 4 && planes == 1) ||
         (bits == 8 && (planes == 1 || planes == 3 || planes == 4));
}

void Validate(const TPcxHeader &h, const TByteCursor &in) {
  if (h.Version > 5 || h.Version == 1)
    in.Fail(QStringLiteral("version %1 is not supported").arg(h.Version));
  if (h.Encoding != 1)
    in.Fail(QStringLiteral("encoding %1 is not supported").arg(h.Encoding));
  if (!SupportedLayout(h.BitsPerPixel, h.Planes))
    in.Fail(QStringLiteral("%1 bits in %2 planes are not supported").arg(h.BitsPerPixel).arg(h.Planes));
  CheckPictureSize(h.Width, h.Height, Codec);
  if (h.BytesPerLine < (qint64(h.Width) * h.BitsPerPixel + 7) / 8)
    in.Fail(QStringLiteral("%1 bytes per line cannot hold %2 pixels").arg(h.BytesPerLine).arg(h.Width));
}

TPcxHeader ReadValidHeader(TByteCursor &in) {
  const TPcxHeader h = ParseHeader(in);
  Validate(h, in);
  return h;
}

// Run-length decoding that carries a run over from one row (and plane) to the
// next, as real files have them.
class TRunDecoder {
public:
  explicit TRunDecoder(TByteCursor &in) : FIn(in) {}
  void Fill(uchar *out, qint64 count) {
    while (count > 0) {
      if (FPending == 0) {
        const quint8 byte = FIn.U8();
        if ((byte & 0xC0) == 0xC0) {
          FPending = byte & 0x3F;
          FValue = FIn.U8();
        } else {
          FPending = 1;
          FValue = byte;
        }
        continue;
      }
      const qint64 n = std::min<qint64>(FPending, count);
      std::fill_n(out, n, FValue);
      out += n;
      count -= n;
      FPending -= int(n);
    }
  }

private:
  TByteCursor &FIn;
  int FPending = 0;
  uchar FValue = 0;
};

QImage::Format RasterFormat(const TPcxHeader &h) {
  if (h.BitsPerPixel < 8 || h.Planes == 1)
    return QImage::Format_Indexed8;
  return h.Planes == 4 ? QImage::Format_ARGB32 : QImage::Format_BGR888;
}

TImageFormatEnum ImageFormatOf(const TPcxHeader &h) {
  if (h.PlaneBits() == 1)
    return ifeBlackWhite;
  if (h.PlaneBits() <= 4)
    return ifeColor16;
  return h.Planes == 1 ? ifeColor256 : ifeTrueColor;
}

QList<QRgb> ColourTable(const TPcxHeader &h, const QByteArray &bytes) {
  if (h.PlaneBits() == 1)
    return GreyPalette(2);
  if (h.PlaneBits() <= 4)
    return h.Palette16.mid(0, 1 << h.PlaneBits());
  const qsizetype at = bytes.size() - TrailingPaletteSize;
  if (at < HeaderSize || bytes[at] != 0x0C)
    return GreyPalette(256);
  QList<QRgb> table;
  const auto *p = reinterpret_cast<const uchar *>(bytes.constData()) + at + 1;
  for (int i = 0; i < 256; ++i)
    table << qRgb(p[3 * i], p[3 * i + 1], p[3 * i + 2]);
  return table;
}

// One decoded scan line (all planes) into the raster's row.
void ConvertRow(const TPcxHeader &h, const uchar *line, uchar *row) {
  const int width = h.Width;
  const int bpl = h.BytesPerLine;
  if (h.BitsPerPixel == 8) {
    if (h.Planes == 1) {
      std::copy_n(line, width, row);
      return;
    }
    const int step = h.Planes == 4 ? 4 : 3;
    for (int x = 0; x < width; ++x) {
      row[step * x] = line[2 * bpl + x]; // blue first in BGR888 and ARGB32 memory
      row[step * x + 1] = line[bpl + x];
      row[step * x + 2] = line[x];
      if (step == 4)
        row[4 * x + 3] = line[3 * bpl + x];
    }
    return;
  }
  const int bits = h.BitsPerPixel;
  const int mask = (1 << bits) - 1;
  for (int x = 0; x < width; ++x) {
    const int bit = x * bits;
    const int shift = 8 - bits - bit % 8;
    int index = 0;
    for (int plane = 0; plane < h.Planes; ++plane)
      index |= ((line[plane * bpl + bit / 8] >> shift) & mask) << (plane * bits);
    row[x] = uchar(index);
  }
}

void PutU16(QByteArray &out, int value) {
  out.append(char(value & 0xFF));
  out.append(char((value >> 8) & 0xFF));
}

// Run-length coding of one plane of one row into out, which has room for
// 2 × count bytes; runs stay inside the plane. Returns the end of the code.
uchar *EncodeRuns(const uchar *data, int count, uchar *out) {
  int i = 0;
  while (i < count) {
    int run = 1;
    while (i + run < count && run < 63 && data[i + run] == data[i])
      ++run;
    if (run > 1 || (data[i] & 0xC0) == 0xC0)
      *out++ = uchar(0xC0 | run);
    *out++ = data[i];
    i += run;
  }
  return out;
}

struct TPcxLayout {
  int Bits;
  int Planes;
};

TPcxLayout LayoutFor(TImageFormatEnum format, bool alpha) {
  switch (format) {
  case ifeBlackWhite:
    return {1, 1};
  case ifeGray16:
  case ifeColor16:
    return {1, 4};
  case ifeGray256:
  case ifeColor256:
    return {8, 1};
  case ifeTrueColor:
    break;
  }
  return {8, alpha ? 4 : 3};
}

// The planes of one row of the picture, each bytesPerLine long.
void SplitRow(const QImage &pixels, int y, TPcxLayout layout, int bytesPerLine, uchar *line) {
  std::fill_n(line, bytesPerLine * layout.Planes, 0);
  const int width = pixels.width();
  if (layout.Bits == 8 && layout.Planes == 1) {
    std::copy_n(pixels.constScanLine(y), width, line);
    return;
  }
  if (layout.Bits == 8) {
    const auto *argb = reinterpret_cast<const QRgb *>(pixels.constScanLine(y));
    for (int x = 0; x < width; ++x) {
      line[x] = uchar(qRed(argb[x]));
      line[bytesPerLine + x] = uchar(qGreen(argb[x]));
      line[2 * bytesPerLine + x] = uchar(qBlue(argb[x]));
      if (layout.Planes == 4)
        line[3 * bytesPerLine + x] = uchar(qAlpha(argb[x]));
    }
    return;
  }
  const uchar *indices = pixels.constScanLine(y);
  for (int x = 0; x < width; ++x)
    for (int plane = 0; plane < layout.Planes; ++plane)
      if ((indices[x] >> plane) & 1)
        line[plane * bytesPerLine + x / 8] |= uchar(0x80 >> (x % 8));
}

QByteArray EncodeHeader(const TPcxGraphic &picture, const QImage &pixels, TPcxLayout layout, int bytesPerLine) {
  QByteArray out;
  out.append(char(10)).append(char(5)).append(char(1)).append(char(layout.Bits));
  PutU16(out, 0);
  PutU16(out, 0);
  PutU16(out, picture.Width() - 1);
  PutU16(out, picture.Height() - 1);
  PutU16(out, picture.XDotsPerInch());
  PutU16(out, picture.YDotsPerInch());
  QByteArray palette(48, '\0');
  if (layout.Bits == 1) {
    const QList<QRgb> table = pixels.colorTable();
    for (int i = 0; i < std::min<int>(16, int(table.size())); ++i) {
      palette[3 * i] = char(qRed(table[i]));
      palette[3 * i + 1] = char(qGreen(table[i]));
      palette[3 * i + 2] = char(qBlue(table[i]));
    }
  }
  out.append(palette);
  out.append(char(0));
  out.append(char(layout.Planes));
  PutU16(out, bytesPerLine);
  PutU16(out, picture.ImageFormat() == ifeGray256 || picture.ImageFormat() == ifeGray16 ? 2 : 1);
  out.append(QByteArray(HeaderSize - out.size(), '\0'));
  return out;
}

QByteArray EncodeTrailingPalette(const QImage &pixels) {
  QByteArray out(TrailingPaletteSize, '\0');
  out[0] = 0x0C;
  const QList<QRgb> table = pixels.colorTable();
  for (int i = 0; i < std::min<int>(256, int(table.size())); ++i) {
    out[1 + 3 * i] = char(qRed(table[i]));
    out[2 + 3 * i] = char(qGreen(table[i]));
    out[3 + 3 * i] = char(qBlue(table[i]));
  }
  return out;
}

} // namespace

VELL_IMPLEMENT_CLASS(TPcxGraphic, TRasterCodecPicture)

bool TPcxGraphic::CanLoadFromStream(QIODevice &stream) const {
  const QByteArray header = PeekBytes(stream, HeaderSize);
  if (header.size() < HeaderSize)
    return false;
  const auto byte = [&](int at) { return quint8(header[at]); };
  const int version = byte(1);
  const int bits = byte(3);
  return byte(0) == 10 && (version == 0 || (version >= 2 && version <= 5)) && byte(2) == 1 &&
         (bits == 1 || bits == 2 || bits == 4 || bits == 8);
}

void TPcxGraphic::ReadHeader(QIODevice &stream, TPicInfo &info) const {
  const QByteArray header = PeekBytes(stream, HeaderSize);
  if (header.size() == HeaderSize) {
    info.XDotsPerInch = qFromLittleEndian<quint16>(header.constData() + 12);
    info.YDotsPerInch = qFromLittleEndian<quint16>(header.constData() + 14);
  }
  ReadGbmHeader(
      [&] {
        TByteCursor in(header, Codec);
        const TPcxHeader h = ReadValidHeader(in);
        return std::tuple{h.Width, h.Height, h.PlaneBits()};
      },
      info);
}

void TPcxGraphic::LoadFromStream(QIODevice &stream) {
  const QByteArray bytes = ReadRemaining(stream, Codec);
  TByteCursor in(bytes, Codec);
  const TPcxHeader h = ReadValidHeader(in);
  // A two-byte run yields at most 63 bytes: refuse sizes the data cannot hold
  // before taking memory for them.
  if (in.Remaining() * 63 < h.RowBytes() * h.Height)
    in.Fail(QStringLiteral("the data ends too early"));
  QImage pixels = NewRaster(h.Width, h.Height, RasterFormat(h), Codec);
  if (pixels.format() == QImage::Format_Indexed8)
    pixels.setColorTable(ColourTable(h, bytes));
  TRunDecoder runs(in);
  QByteArray line(h.RowBytes(), Qt::Uninitialized);
  auto *lineData = reinterpret_cast<uchar *>(line.data());
  for (int y = 0; y < h.Height; ++y) {
    runs.Fill(lineData, line.size());
    ConvertRow(h, lineData, pixels.scanLine(y));
  }
  SetPixels(BitmapOfRaster(pixels, ImageFormatOf(h)), ImageFormatOf(h));
  SetXDotsPerInch(h.XDpi);
  SetYDotsPerInch(h.YDpi);
}

void TPcxGraphic::SaveToStream(QIODevice &stream) const {
  if (Empty() || Width() > 0x10000 || Height() > 0x10000)
    throw EPicCodecError(QStringLiteral("PCX: a picture of %1 × %2 pixels cannot be written").arg(Width()).arg(Height()));
  const TPcxLayout layout = LayoutFor(ImageFormat(), Pixels().Image().hasAlphaChannel());
  const QImage pixels = layout.Bits == 8 && layout.Planes > 1 ? ColourPixels(Pixels()) : IndexedPixels(Pixels());
  const int bytesPerLine = int((qint64(Width()) * layout.Bits + 15) / 16 * 2);
  QByteArray out = EncodeHeader(*this, pixels, layout, bytesPerLine);
  QByteArray line(bytesPerLine * layout.Planes, Qt::Uninitialized);
  QByteArray code(2 * line.size(), Qt::Uninitialized);
  auto *lineData = reinterpret_cast<uchar *>(line.data());
  auto *codeData = reinterpret_cast<uchar *>(code.data());
  for (int y = 0; y < Height(); ++y) {
    SplitRow(pixels, y, layout, bytesPerLine, lineData);
    uchar *codeEnd = codeData;
    for (int plane = 0; plane < layout.Planes; ++plane)
      codeEnd = EncodeRuns(lineData + plane * bytesPerLine, bytesPerLine, codeEnd);
    out.append(code.constData(), codeEnd - codeData);
    if (out.size() >= (1 << 16)) {
      WriteBytes(stream, out);
      out.clear();
    }
  }
  if (layout.Bits == 8 && layout.Planes == 1)
    out.append(EncodeTrailingPalette(pixels));
  WriteBytes(stream, out);
}
