// What the picture library's own codecs (TGA, PCX, DCX, PPM, PSD) share:
// bounded reading of untrusted bytes, the pixel-limit check made before any
// pixel memory is taken, and the rasters they decode into.
#pragma once

#include "Common/VellErrors.h"
#include "PicFiles/VellCodecPicture.h"

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QRgb>

class QIODevice;

// Bad or unsupported picture data met by one of our codecs.
VELL_DECLARE_ERROR(EPicCodecError, EVellError)

// Reads fixed-size fields from bytes that may end anywhere; every read past the
// end raises EPicCodecError "<Codec> data ends too early".
class TByteCursor {
public:
  TByteCursor(const QByteArray &bytes, const char *codec, qsizetype start = 0);
  quint8 U8() { return *Take(1); }
  quint16 U16LE();
  quint16 U16BE();
  quint32 U32LE();
  quint32 U32BE();
  // The next count bytes; the cursor moves past them.
  const uchar *Take(qint64 count) {
    if (count < 0 || count > Remaining())
      Fail(QStringLiteral("the data ends too early"));
    const auto *data = reinterpret_cast<const uchar *>(FBytes.constData()) + FPos;
    FPos += count;
    return data;
  }
  void Skip(qint64 count) { (void)Take(count); }
  void Seek(qint64 position);
  qint64 Position() const { return FPos; }
  qint64 Remaining() const { return FBytes.size() - FPos; }
  bool AtEnd() const { return FPos >= FBytes.size(); }
  [[noreturn]] void Fail(const QString &what) const;

private:
  QByteArray FBytes;
  const char *FCodec;
  qint64 FPos;
};

// Bytes at the device's position without moving it (fewer when it ends sooner).
QByteArray PeekBytes(QIODevice &device, qint64 count);
// Everything from the device's position to its end.
QByteArray ReadRemaining(QIODevice &device, const char *codec);
// Writes all bytes or raises EStreamError.
void WriteBytes(QIODevice &device, const char *data, qint64 size);
inline void WriteBytes(QIODevice &device, const QByteArray &bytes) {
  WriteBytes(device, bytes.constData(), bytes.size());
}

// Raises EPicCodecError unless width and height are positive and their product
// stays within the imaging layer's pixel limit.
void CheckPictureSize(qint64 width, qint64 height, const char *codec);
// A raster of the given size and format (Indexed8, BGR888 or ARGB32), zero
// filled; raises EPicCodecError when the size is refused or memory runs out.
QImage NewRaster(int width, int height, QImage::Format format, const char *codec);

// Width, height and bits per pixel into info, from what read() returns; any
// codec error becomes "gbm_read_header failed.", the message the TGA and PCX
// header readers answer with.
template <typename Read> void ReadGbmHeader(Read read, TPicInfo &info) {
  try {
    const auto [width, height, bits] = read();
    info.Width = width;
    info.Height = height;
    info.BitsPerPixel = bits;
  } catch (const EPicCodecError &) {
    throw EPicCodecError(QStringLiteral("gbm_read_header failed."));
  }
}

// A decoded raster (Indexed8 for the palette and gray layouts, BGR888 or
// ARGB32 for true colour) as the bitmap of a codec picture in the depth of
// its image format: 1 bit, 4 bits (at most 16 colours), 8 or 24/32 bits.
TBitmap BitmapOfRaster(const QImage &raster, TImageFormatEnum format);
// The pixels of a palette picture as Indexed8 with its colour table.
QImage IndexedPixels(const TBitmap &bitmap);
// The pixels of a picture as ARGB32 when it has alpha, else RGB32.
QImage ColourPixels(const TBitmap &bitmap);
