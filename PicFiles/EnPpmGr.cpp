#include "PicFiles/EnPpmGr.h"

#include <QIODevice>

#include <algorithm>

namespace {

constexpr const char *Codec = "PPM";
constexpr int BufferSize = 4096;
constexpr int MaxLineLength = 69;
constexpr qint64 NumberCap = qint64(1) << 40; // larger values saturate here

[[noreturn]] void NotValid() { throw EPpmError(QStringLiteral("Not a valid PPM file")); }

// Bytes through a 4096-byte buffer. When the data is exhausted one LF is
// supplied as if it were in the stream; reading on fails. Binary sample data
// gets no supplied byte: a file that ends before its last sample is refused.
class TPpmReader {
public:
  explicit TPpmReader(QIODevice &stream) : FStream(stream) {}

  int Byte() {
    if (FPos == FLength && !Refill()) {
      if (FSuppliedEnd)
        NotValid();
      FSuppliedEnd = true;
      return '\n';
    }
    return FBuffer[FPos++];
  }

  // A character of the header and text values: a comment (from "#" to the
  // next LF or CR) and every LF or CR read as one space.
  int Char() {
    int c = Byte();
    if (c == '#')
      do
        c = Byte();
      while (c != '\n' && c != '\r');
    return c == '\n' || c == '\r' ? ' ' : c;
  }

  // Skips to the first digit, takes digits up to the first non-digit (which
  // is consumed as well).
  qint64 Number() {
    int c = Char();
    while (!IsDigit(c))
      c = Char();
    qint64 value = 0;
    for (; IsDigit(c); c = Char())
      value = std::min(value * 10 + (c - '0'), NumberCap);
    return value;
  }

  // A bitmap sample: the next digit, alone; plain bitmaps need no space
  // between their samples.
  int Digit() {
    int c = Char();
    while (!IsDigit(c))
      c = Char();
    return c - '0';
  }

  void Block(uchar *out, qint64 count) {
    while (count > 0) {
      if (FPos == FLength && !Refill())
        NotValid();
      const qint64 n = std::min<qint64>(count, FLength - FPos);
      std::copy_n(FBuffer + FPos, n, out);
      FPos += int(n);
      out += n;
      count -= n;
    }
  }

  // Bytes still to come, or -1 when the stream cannot tell.
  qint64 Available() const {
    if (FStream.isSequential())
      return -1;
    return FLength - FPos + std::max<qint64>(0, FStream.size() - FStream.pos());
  }

private:
  static bool IsDigit(int c) { return c >= '0' && c <= '9'; }

  bool Refill() {
    const qint64 got = FStream.read(reinterpret_cast<char *>(FBuffer), BufferSize);
    FPos = 0;
    FLength = int(std::max<qint64>(got, 0));
    return FLength > 0;
  }

  QIODevice &FStream;
  uchar FBuffer[BufferSize];
  int FPos = 0;
  int FLength = 0;
  bool FSuppliedEnd = false;
};

int KindOf(TPpmReader &in) {
  if (in.Byte() != 'P')
    NotValid();
  return in.Byte();
}

struct TKindLayout {
  TImageFormatEnum Format;
  int Samples;   // values per pixel
  bool Binary;
};

TKindLayout LayoutOf(int kind) {
  switch (kind) {
  case '1':
    return {ifeBlackWhite, 1, false};
  case '2':
    return {ifeGray256, 1, false};
  case '3':
    return {ifeTrueColor, 3, false};
  case '4':
    return {ifeBlackWhite, 1, true};
  case '5':
    return {ifeGray256, 1, true};
  case '6':
    return {ifeTrueColor, 3, true};
  default:
    NotValid();
  }
}

// Refuses sizes the remaining data cannot hold before any pixel memory is taken.
void CheckAvailable(const TPpmReader &in, qint64 width, qint64 height, const TKindLayout &layout) {
  const qint64 available = in.Available();
  if (available < 0)
    return;
  // Text samples take a digit and a separator each (plain bitmaps a digit
  // only), the last one's separator may be the supplied LF.
  const qint64 values = width * height * layout.Samples;
  const qint64 needed = !layout.Binary                  ? (layout.Format == ifeBlackWhite ? values : 2 * values - 1)
                        : layout.Format == ifeBlackWhite ? (width + 7) / 8 * height
                                                         : values;
  if (needed > available + (layout.Binary ? 0 : 1))
    NotValid();
}

void ReadAsciiRow(TPpmReader &in, const TKindLayout &layout, uchar *row, int width) {
  if (layout.Format == ifeTrueColor) {
    for (int x = 0; x < width; ++x) {
      const uchar r = uchar(in.Number());
      const uchar g = uchar(in.Number());
      row[3 * x] = uchar(in.Number()); // BGR888: blue first in memory
      row[3 * x + 1] = g;
      row[3 * x + 2] = r;
    }
  } else if (layout.Format == ifeBlackWhite) {
    for (int x = 0; x < width; ++x)
      row[x] = uchar((in.Digit() ^ 1) & 1);
  } else {
    for (int x = 0; x < width; ++x)
      row[x] = uchar(in.Number());
  }
}

void ReadBinaryRow(TPpmReader &in, const TKindLayout &layout, uchar *row, int width, QByteArray &scratch) {
  if (layout.Format == ifeGray256) {
    in.Block(row, width);
    return;
  }
  auto *bytes = reinterpret_cast<uchar *>(scratch.data());
  if (layout.Format == ifeBlackWhite) {
    in.Block(bytes, (width + 7) / 8);
    for (int x = 0; x < width; ++x)
      row[x] = ((bytes[x / 8] >> (7 - x % 8)) & 1) ^ 1;
    return;
  }
  in.Block(bytes, 3 * qint64(width));
  for (int x = 0; x < width; ++x) {
    row[3 * x] = bytes[3 * x + 2];
    row[3 * x + 1] = bytes[3 * x + 1];
    row[3 * x + 2] = bytes[3 * x];
  }
}

// Output through a 4096-byte buffer, with the line rules of the text kinds.
class TPpmWriter {
public:
  explicit TPpmWriter(QIODevice &stream) : FStream(stream) {}
  ~TPpmWriter() = default;

  void Put(char c) {
    FBuffer[FLength++] = c;
    if (FLength == BufferSize)
      Flush();
  }
  void Put(const char *data, qint64 count) {
    while (count > 0) {
      const int n = int(std::min<qint64>(count, BufferSize - FLength));
      std::copy_n(data, n, FBuffer + FLength);
      FLength += n;
      data += n;
      count -= n;
      if (FLength == BufferSize)
        Flush();
    }
  }
  void Put(const QByteArray &bytes) { Put(bytes.constData(), bytes.size()); }
  void Line(const QByteArray &text) {
    if (FCounter > 0)
      Put('\n');
    Put(text);
    Put('\n');
    FCounter = 0;
  }
  void Number(int value) {
    const QByteArray digits = QByteArray::number(value);
    if (digits.size() + FCounter > MaxLineLength) {
      Put('\n');
      FCounter = 0;
    }
    if (FCounter > 0)
      Put(' ');
    Put(digits);
    FCounter += int(digits.size()) + 1;
  }
  void Flush() {
    WriteBytes(FStream, FBuffer, FLength);
    FLength = 0;
  }

private:
  QIODevice &FStream;
  char FBuffer[BufferSize];
  int FLength = 0;
  int FCounter = 0;
};

bool IsGray(TImageFormatEnum format) { return format == ifeGray16 || format == ifeGray256; }

char KindFor(TImageFormatEnum format, TPpmModeEnum mode) {
  const int ascii = format == ifeBlackWhite ? 1 : IsGray(format) ? 2 : 3;
  return char('0' + ascii + (mode == pmeBinary ? 3 : 0));
}

void WriteBody(TPpmWriter &out, const QImage &pixels, char kind) {
  const int width = pixels.width();
  QByteArray samples(kind == '6' ? 3 * qint64(width) : 0, Qt::Uninitialized);
  for (int y = 0; y < pixels.height(); ++y) {
    const uchar *indices = pixels.constScanLine(y);
    const auto *colours = reinterpret_cast<const QRgb *>(indices);
    // The raw kinds of 8-bit samples go out a row at a time.
    if (kind == '5') {
      out.Put(reinterpret_cast<const char *>(indices), width);
      continue;
    }
    if (kind == '6') {
      for (int x = 0; x < width; ++x) {
        samples[3 * x] = char(qRed(colours[x]));
        samples[3 * x + 1] = char(qGreen(colours[x]));
        samples[3 * x + 2] = char(qBlue(colours[x]));
      }
      out.Put(samples);
      continue;
    }
    int bits = 0;
    int filled = 0;
    for (int x = 0; x < width; ++x) {
      switch (kind) {
      case '1':
        out.Number(indices[x] ^ 1);
        break;
      case '2':
        out.Number(indices[x]);
        break;
      case '3':
        out.Number(qRed(colours[x]));
        out.Number(qGreen(colours[x]));
        out.Number(qBlue(colours[x]));
        break;
      case '4':
        bits = bits << 1 | ((indices[x] ^ 1) & 1);
        if (++filled == 8) {
          out.Put(char(bits));
          bits = filled = 0;
        }
        break;
      }
    }
    if (filled > 0)
      out.Put(char(bits << (8 - filled)));
  }
  if (kind <= '3')
    out.Put('\n');
}

} // namespace

VELL_IMPLEMENT_CLASS(TPpmGraphic, TRasterCodecPicture)

bool TPpmGraphic::CanLoadFromStream(QIODevice &stream) const {
  const QByteArray head = PeekBytes(stream, 2);
  return head.size() == 2 && head[0] == 'P' && head[1] >= '1' && head[1] <= '6';
}

void TPpmGraphic::ReadHeader(QIODevice &stream, TPicInfo &info) const {
  TPpmReader in(stream);
  const int kind = KindOf(in);
  info.Width = qint32(std::min<qint64>(in.Number(), INT_MAX));
  info.Height = qint32(std::min<qint64>(in.Number(), INT_MAX));
  info.BitsPerPixel = kind == '1' || kind == '4' ? 1 : kind == '2' || kind == '5' ? 8 : 24;
}

void TPpmGraphic::LoadFromStream(QIODevice &stream) {
  TPpmReader in(stream);
  const int kind = KindOf(in);
  const TKindLayout layout = LayoutOf(kind);
  const qint64 width = in.Number();
  const qint64 height = in.Number();
  if (layout.Format != ifeBlackWhite)
    (void)in.Number(); // the maximum value: samples are kept as read
  Mode = layout.Binary ? pmeBinary : pmeAscii;
  if (width == 0 || height == 0) {
    NewImage(0, 0, layout.Format);
    return;
  }
  CheckPictureSize(width, height, Codec);
  CheckAvailable(in, width, height, layout);
  const bool palette = layout.Format != ifeTrueColor;
  QImage pixels = NewRaster(int(width), int(height), palette ? QImage::Format_Indexed8 : QImage::Format_BGR888, Codec);
  if (palette)
    pixels.setColorTable(PaletteOf(layout.Format));
  QByteArray scratch(3 * qint64(pixels.width()) + 8, Qt::Uninitialized);
  for (int y = 0; y < pixels.height(); ++y) {
    if (layout.Binary)
      ReadBinaryRow(in, layout, pixels.scanLine(y), pixels.width(), scratch);
    else
      ReadAsciiRow(in, layout, pixels.scanLine(y), pixels.width());
  }
  SetPixels(BitmapOfRaster(pixels, layout.Format), layout.Format);
}

void TPpmGraphic::SaveToStream(QIODevice &stream) const {
  const char kind = KindFor(ImageFormat(), Mode);
  const QImage pixels = Empty() ? QImage() : kind == '3' || kind == '6' ? ColourPixels(Pixels()) : IndexedPixels(Pixels());
  TPpmWriter out(stream);
  out.Line(QByteArray("P") + kind);
  out.Line("# Created By Quillon Image Library");
  out.Line(QByteArray::number(Width()) + ' ' + QByteArray::number(Height()));
  if (kind != '1' && kind != '4')
    out.Line("255");
  WriteBody(out, pixels, kind);
  out.Flush();
}
