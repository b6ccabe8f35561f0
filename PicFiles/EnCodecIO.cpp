#include "PicFiles/EnCodecIO.h"

#include "imaging/VellGDIPAPI.h"

#include <QIODevice>

TByteCursor::TByteCursor(const QByteArray &bytes, const char *codec, qsizetype start)
    : FBytes(bytes), FCodec(codec), FPos(start) {}

void TByteCursor::Fail(const QString &what) const {
  throw EPicCodecError(QStringLiteral("%1: %2").arg(QLatin1String(FCodec), what));
}

void TByteCursor::Seek(qint64 position) {
  if (position < 0 || position > FBytes.size())
    Fail(QStringLiteral("an offset points outside the data"));
  FPos = position;
}

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

namespace {

QImage MonoOf(const QImage &indexed) {
  QImage mono(indexed.size(), QImage::Format_Mono);
  if (mono.isNull())
    throw EPicCodecError(QStringLiteral("out of memory for %1 × %2 pixels").arg(indexed.width()).arg(indexed.height()));
  mono.fill(0);
  QList<QRgb> table = indexed.colorTable();
  table.resize(2, qRgb(255, 255, 255));
  mono.setColorTable(table);
  for (int y = 0; y < indexed.height(); ++y) {
    const uchar *in = indexed.constScanLine(y);
    uchar *out = mono.scanLine(y);
    for (int x = 0; x < indexed.width(); ++x)
      if (in[x] & 1)
        out[x / 8] |= uchar(0x80 >> (x % 8));
  }
  return mono;
}

} // namespace

TBitmap BitmapOfRaster(const QImage &raster, TImageFormatEnum format) {
  TBitmap bitmap;
  if (format == ifeBlackWhite && raster.format() == QImage::Format_Indexed8)
    bitmap.SetImage(MonoOf(raster));
  else
    bitmap.SetImage(raster, format == ifeGray16 || format == ifeColor16 ? 4 : 0);
  return bitmap;
}

QImage IndexedPixels(const TBitmap &bitmap) {
  const QImage &image = bitmap.Image();
  return image.format() == QImage::Format_Indexed8 ? image : image.convertToFormat(QImage::Format_Indexed8);
}

QImage ColourPixels(const TBitmap &bitmap) {
  const QImage &image = bitmap.Image();
  return image.convertToFormat(image.hasAlphaChannel() ? QImage::Format_ARGB32 : QImage::Format_RGB32);
}
