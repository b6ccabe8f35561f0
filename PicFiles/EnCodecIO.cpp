#include "PicFiles/EnCodecIO.h"

#include "imaging/VellGDIPAPI.h"

#include <QIODevice>

TByteCursor::TByteCursor(const QByteArray &bytes, const char *codec, qsizetype start)
    : FBytes(bytes), FCodec(codec), FPos(start) {}

void TByteCursor::Fail(const QString &what) const {
  throw EPicCodecError(QStringLiteral("%1: %2").arg(QLatin1String(FCodec), what));
}

const uchar *TByteCursor::Take(qint64 count) {
  if (count < 0 || count > Remaining())
    Fail(QStringLiteral("the data ends too early"));
  const auto *data = reinterpret_cast<const uchar *>(FBytes.constData()) + FPos;
  FPos += count;
  return data;
}

void TByteCursor::Seek(qint64 position) {
  if (position < 0 || position > FBytes.size())
    Fail(QStringLiteral("an offset points outside the data"));
  FPos = position;
}

quint8 TByteCursor::U8() { return *Take(1); }

quint16 TByteCursor::U16LE() {
  const uchar *p = Take(2);
  return quint16(p[0] | p[1] << 8);
}

quint16 TByteCursor::U16BE() {
  const uchar *p = Take(2);
  return quint16(p[0] << 8 | p[1]);
}

quint32 TByteCursor::U32LE() {
  const uchar *p = Take(4);
  return quint32(p[0]) | quint32(p[1]) << 8 | quint32(p[2]) << 16 | quint32(p[3]) << 24;
}

quint32 TByteCursor::U32BE() {
  const uchar *p = Take(4);
  return quint32(p[0]) << 24 | quint32(p[1]) << 16 | quint32(p[2]) << 8 | quint32(p[3]);
}

QByteArray PeekBytes(QIODevice &device, qint64 count) { return device.peek(count); }

QByteArray ReadRemaining(QIODevice &device, const char *codec) {
  if (!device.isReadable())
    throw EPicCodecError(QStringLiteral("%1: the stream cannot be read").arg(QLatin1String(codec)));
  return device.readAll();
}

void WriteBytes(QIODevice &device, const char *data, qint64 size) {
  if (size > 0 && device.write(data, size) != size)
    throw EStreamError(QStringLiteral("Stream write error: %1").arg(device.errorString()));
}

void CheckPictureSize(qint64 width, qint64 height, const char *codec) {
  const QString name = QLatin1String(codec);
  if (width <= 0 || height <= 0)
    throw EPicCodecError(QStringLiteral("%1: the picture size %2 × %3 is not valid").arg(name).arg(width).arg(height));
  if (width > INT_MAX || height > INT_MAX || width * height > GdipPixelLimit())
    throw EPicCodecError(QStringLiteral("%1: a picture of %2 × %3 pixels exceeds the limit of %4 pixels")
                             .arg(name)
                             .arg(width)
                             .arg(height)
                             .arg(GdipPixelLimit()));
}

QImage NewRaster(int width, int height, QImage::Format format, const char *codec) {
  CheckPictureSize(width, height, codec);
  QImage raster(width, height, format);
  if (raster.isNull())
    throw EPicCodecError(QStringLiteral("%1: out of memory for %2 × %3 pixels")
                             .arg(QLatin1String(codec))
                             .arg(width)
                             .arg(height));
  raster.fill(0);
  return raster;
}

QList<QRgb> GrayPalette(int count) {
  QList<QRgb> palette;
  for (int i = 0; i < count; ++i) {
    const int level = count > 1 ? i * 255 / (count - 1) : 0;
    palette << qRgb(level, level, level);
  }
  return palette;
}


QList<QRgb> InitialPalette(TImageFormatEnum format) {
  switch (format) {
  case ifeBlackWhite:
    return GrayPalette(2);
  case ifeGray16:
  case ifeColor16:
    return GrayPalette(16);
  case ifeGray256:
  case ifeColor256:
    return GrayPalette(256);
  case ifeTrueColor:
    break;
  }
  return {};
}

void TCodecRaster::NewImage(int width, int height, TImageFormatEnum format, const char *codec) {
  if (width == 0 || height == 0) {
    Clear();
    FFormat = format;
    return;
  }
  SetPixels(BlankRaster(width, height, format, codec), format);
}

QImage BlankRaster(int width, int height, TImageFormatEnum format, const char *codec) {
  const bool palette = format != ifeTrueColor;
  QImage pixels = NewRaster(width, height, palette ? QImage::Format_Indexed8 : QImage::Format_BGR888, codec);
  if (palette)
    pixels.setColorTable(InitialPalette(format));
  return pixels;
}

void TCodecRaster::SetPixels(const QImage &pixels, TImageFormatEnum format) {
  FPixels = pixels;
  FFormat = format;
}

void TCodecRaster::Clear() { FPixels = QImage(); }

int TCodecRaster::BitsPerPixel() const {
  switch (FFormat) {
  case ifeBlackWhite:
    return 1;
  case ifeGray16:
  case ifeColor16:
    return 4;
  case ifeGray256:
  case ifeColor256:
    return 8;
  case ifeTrueColor:
    break;
  }
  return FPixels.hasAlphaChannel() ? 32 : 24;
}
