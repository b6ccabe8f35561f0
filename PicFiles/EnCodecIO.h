// What the picture library's own codecs (TGA, PCX, DCX, PPM, PSD) share:
// bounded reading of untrusted bytes, the pixel-limit check made before any
// pixel memory is taken, and the rasters they decode into.
#pragma once

#include "Common/VellErrors.h"

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
  quint8 U8();
  quint16 U16LE();
  quint16 U16BE();
  quint32 U32LE();
  quint32 U32BE();
  // The next count bytes; the cursor moves past them.
  const uchar *Take(qint64 count);
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

QList<QRgb> GrayPalette(int count);

// Width, height and bits per pixel as a header reader reports them.
struct TPicHeader {
  int Width = 0;
  int Height = 0;
  int BitsPerPixel = 0;
};

#include "PicFiles/EnPicEnums.h"

// The pixels of one of our codec pictures: Indexed8 for every palette or gray
// layout (a 2-, 16- or 256-entry colour table), BGR888 for true colour and
// ARGB32 for true colour with alpha; the image format says which layout the
// picture has and the resolutions travel with it.
class TCodecRaster {
public:
  int Width() const { return FPixels.width(); }
  int Height() const { return FPixels.height(); }
  bool Empty() const { return FPixels.isNull(); }
  TImageFormatEnum ImageFormat() const { return FFormat; }
  // Bits per pixel of the layout: 1, 4, 8, 24, or 32 for true colour with alpha.
  int BitsPerPixel() const;
  const QImage &Pixels() const { return FPixels; }
  // A blank picture of that size and layout; the resolutions stay.
  void NewImage(int width, int height, TImageFormatEnum format, const char *codec);
  void SetPixels(const QImage &pixels, TImageFormatEnum format);
  void Clear();

  quint16 XDotsPerInch = 0;
  quint16 YDotsPerInch = 0;

private:
  QImage FPixels;
  TImageFormatEnum FFormat = ifeTrueColor;
};

// The colour table a blank picture of a palette layout starts with.
QList<QRgb> InitialPalette(TImageFormatEnum format);
// A blank raster of that layout (see TCodecRaster); EPicCodecError as NewRaster.
QImage BlankRaster(int width, int height, TImageFormatEnum format, const char *codec);
