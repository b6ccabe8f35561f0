#include "PicFiles/EnPsdGr.h"

#include <QIODevice>

#include <algorithm>

namespace {

constexpr const char *Codec = "PSD";
constexpr int HeaderSize = 26;

enum TColourMode : quint16 { Bitmap = 0, Grayscale = 1, Indexed = 2, RGB = 3, CMYK = 4, Duotone = 8 };

struct TPsdHeader {
  quint16 Channels = 0;
  quint32 Height = 0;
  quint32 Width = 0;
  quint16 Depth = 0;
  quint16 Mode = 0;

  int ColourChannels() const { return Mode == RGB ? 3 : Mode == CMYK ? 4 : 1; }
  bool HasAlpha() const { return Mode != Bitmap && Mode != Indexed && Channels > ColourChannels(); }
  int UsedChannels() const { return ColourChannels() + (HasAlpha() ? 1 : 0); }
  qint64 RowBytes() const { return Depth == 1 ? (qint64(Width) + 7) / 8 : qint64(Width) * (Depth / 8); }
};

TPsdHeader ReadValidHeader(TByteCursor &in) {
  if (QByteArray(reinterpret_cast<const char *>(in.Take(4)), 4).toUpper() != "8BPS")
    in.Fail(QStringLiteral("the file does not start with \"8BPS\""));
  if (const quint16 version = in.U16BE(); version != 1)
    in.Fail(QStringLiteral("version %1 is not supported").arg(version));
  in.Skip(6);
  TPsdHeader h;
  h.Channels = in.U16BE();
  h.Height = in.U32BE();
  h.Width = in.U32BE();
  h.Depth = in.U16BE();
  h.Mode = in.U16BE();
  const bool modeKnown =
      h.Mode == Bitmap || h.Mode == Grayscale || h.Mode == Indexed || h.Mode == RGB || h.Mode == CMYK || h.Mode == Duotone;
  if (!modeKnown)
    in.Fail(QStringLiteral("colour mode %1 is not supported").arg(h.Mode));
  const bool depthFits = h.Mode == Bitmap ? h.Depth == 1 : h.Mode == Indexed ? h.Depth == 8 : (h.Depth == 8 || h.Depth == 16);
  if (!depthFits)
    in.Fail(QStringLiteral("%1 bits per channel are not supported in colour mode %2").arg(h.Depth).arg(h.Mode));
  if (h.Channels < h.ColourChannels() || h.Channels > 56)
    in.Fail(QStringLiteral("%1 channels do not fit colour mode %2").arg(h.Channels).arg(h.Mode));
  CheckPictureSize(h.Width, h.Height, Codec);
  return h;
}

// The byte range of one section that starts with its 32-bit length.
QByteArray Section(TByteCursor &in) {
  const quint32 length = in.U32BE();
  return QByteArray(reinterpret_cast<const char *>(in.Take(length)), length);
}

QList<QRgb> IndexedPalette(const QByteArray &modeData, const TByteCursor &in) {
  if (modeData.size() < 768)
    in.Fail(QStringLiteral("an indexed picture needs a 768-byte colour table"));
  const auto *p = reinterpret_cast<const uchar *>(modeData.constData());
  QList<QRgb> palette;
  for (int i = 0; i < 256; ++i)
    palette << qRgb(p[i], p[256 + i], p[512 + i]);
  return palette;
}

// Where every channel row starts, in the order channel by channel, row by row.
struct TRowIndex {
  QList<qint64> Start;
  QList<qint64> Length;
  bool PackBits = false;
};

TRowIndex IndexRows(const TPsdHeader &h, TByteCursor &in) {
  const quint16 compression = in.U16BE();
  if (compression > 1)
    in.Fail(QStringLiteral("compression %1 is not supported").arg(compression));
  TRowIndex rows;
  rows.PackBits = compression == 1;
  const qint64 used = qint64(h.UsedChannels()) * h.Height;
  const qint64 rowBytes = h.RowBytes();
  if (!rows.PackBits) {
    if (used * rowBytes > in.Remaining())
      in.Fail(QStringLiteral("the data ends too early"));
    for (qint64 i = 0; i < used; ++i) {
      rows.Start << in.Position() + i * rowBytes;
      rows.Length << rowBytes;
    }
    return rows;
  }
  const qint64 all = qint64(h.Channels) * h.Height;
  const uchar *counts = in.Take(2 * all);
  qint64 at = in.Position();
  for (qint64 i = 0; i < used; ++i) {
    const qint64 length = counts[2 * i] << 8 | counts[2 * i + 1];
    // A two-byte run gives at most 128 bytes: refuse rows their data cannot fill
    // before any pixel memory is taken.
    if (length * 64 < rowBytes || at + length > in.Position() + in.Remaining())
      in.Fail(QStringLiteral("the data ends too early"));
    rows.Start << at;
    rows.Length << length;
    at += length;
  }
  return rows;
}

void UnpackBits(const uchar *in, qint64 length, uchar *out, qint64 count, const TByteCursor &cursor) {
  qint64 i = 0;
  qint64 done = 0;
  while (done < count) {
    if (i >= length)
      cursor.Fail(QStringLiteral("a compressed row ends too early"));
    const int n = qint8(in[i++]);
    if (n >= 0) {
      const qint64 take = std::min<qint64>(n + 1, count - done);
      if (i + n + 1 > length)
        cursor.Fail(QStringLiteral("a compressed row ends too early"));
      std::copy_n(in + i, take, out + done);
      i += n + 1;
      done += take;
    } else if (n != -128) {
      if (i >= length)
        cursor.Fail(QStringLiteral("a compressed row ends too early"));
      const qint64 take = std::min<qint64>(1 - n, count - done);
      std::fill_n(out + done, take, in[i++]);
      done += take;
    }
  }
}

// One channel row as 8-bit samples.
void ChannelRow(const TPsdHeader &h, const TRowIndex &rows, const QByteArray &bytes, qint64 row, uchar *packed,
                uchar *samples, const TByteCursor &cursor) {
  const auto *data = reinterpret_cast<const uchar *>(bytes.constData()) + rows.Start[row];
  const qint64 rowBytes = h.RowBytes();
  if (rows.PackBits) {
    UnpackBits(data, rows.Length[row], packed, rowBytes, cursor);
    data = packed;
  }
  const int width = int(h.Width);
  switch (h.Depth) {
  case 1:
    for (int x = 0; x < width; ++x)
      samples[x] = (data[x / 8] >> (7 - x % 8)) & 1 ? 0 : 255; // 1 is black
    break;
  case 8:
    std::copy_n(data, width, samples);
    break;
  default:
    for (int x = 0; x < width; ++x)
      samples[x] = uchar((data[2 * x] << 8 | data[2 * x + 1]) / 257);
  }
}

int Ink(int stored, int black) { return stored * black / 255; } // CMYK is stored inverted

QRgb PixelColour(const TPsdHeader &h, const QList<QRgb> &palette, const uchar *const *s, int x) {
  const int alpha = h.HasAlpha() ? s[h.ColourChannels()][x] : 255;
  switch (h.Mode) {
  case Indexed:
    return palette[s[0][x]];
  case RGB:
    return qRgba(s[0][x], s[1][x], s[2][x], alpha);
  case CMYK:
    return qRgba(Ink(s[0][x], s[3][x]), Ink(s[1][x], s[3][x]), Ink(s[2][x], s[3][x]), alpha);
  default:
    return qRgba(s[0][x], s[0][x], s[0][x], alpha);
  }
}

} // namespace

VELL_IMPLEMENT_CLASS(TPsdGraphic, TRasterCodecPicture)

bool TPsdGraphic::CanLoadFromStream(QIODevice &stream) const {
  const qint64 position = stream.pos();
  if (!stream.seek(0))
    return false;
  const QByteArray head = stream.peek(HeaderSize + 1);
  stream.seek(position);
  return head.size() > HeaderSize && head.left(4).toUpper() == "8BPS" && head[4] == 0 && head[5] == 1;
}

void TPsdGraphic::ReadHeader(QIODevice &stream, TPicInfo &info) const {
  TByteCursor in(PeekBytes(stream, HeaderSize), Codec);
  const TPsdHeader h = ReadValidHeader(in);
  info.Width = qint32(h.Width);
  info.Height = qint32(h.Height);
  info.BitsPerPixel = h.HasAlpha() ? 32 : 24;
}

void TPsdGraphic::SaveToStream(QIODevice &) const {
  VELL_ASSERT(false);
}

void TPsdGraphic::LoadFromStream(QIODevice &stream) {
  const QByteArray bytes = ReadRemaining(stream, Codec);
  TByteCursor in(bytes, Codec);
  const TPsdHeader h = ReadValidHeader(in);
  const QByteArray modeData = Section(in);
  const QList<QRgb> palette = h.Mode == Indexed ? IndexedPalette(modeData, in) : QList<QRgb>();
  Section(in); // image resources
  Section(in); // layers and masks: the composite below is what is shown
  const TRowIndex rows = IndexRows(h, in);
  QImage pixels = NewRaster(int(h.Width), int(h.Height), h.HasAlpha() ? QImage::Format_ARGB32 : QImage::Format_BGR888, Codec);
  const int used = h.UsedChannels();
  QByteArray packed(h.RowBytes(), Qt::Uninitialized);
  QByteArray samples(qint64(used) * h.Width, Qt::Uninitialized);
  const uchar *channel[5];
  for (int c = 0; c < used; ++c)
    channel[c] = reinterpret_cast<const uchar *>(samples.constData()) + qint64(c) * h.Width;
  for (int y = 0; y < int(h.Height); ++y) {
    for (int c = 0; c < used; ++c)
      ChannelRow(h, rows, bytes, qint64(c) * h.Height + y, reinterpret_cast<uchar *>(packed.data()),
                 reinterpret_cast<uchar *>(samples.data()) + qint64(c) * h.Width, in);
    uchar *row = pixels.scanLine(y);
    if (h.Mode == RGB && !h.HasAlpha()) { // the common case, without a colour per pixel
      for (int x = 0; x < int(h.Width); ++x) {
        row[3 * x] = channel[2][x];
        row[3 * x + 1] = channel[1][x];
        row[3 * x + 2] = channel[0][x];
      }
      continue;
    }
    for (int x = 0; x < int(h.Width); ++x) {
      const QRgb colour = PixelColour(h, palette, channel, x);
      if (h.HasAlpha()) {
        reinterpret_cast<QRgb *>(row)[x] = colour;
      } else {
        row[3 * x] = uchar(qBlue(colour));
        row[3 * x + 1] = uchar(qGreen(colour));
        row[3 * x + 2] = uchar(qRed(colour));
      }
    }
  }
  SetPixels(BitmapOfRaster(pixels, ifeTrueColor), ifeTrueColor);
}
