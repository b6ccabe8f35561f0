// Decoding by file signature, the Qt-based codecs for PNG, JPEG, BMP and GIF,
// and the mapping between service pixel formats and QImage formats.
#include "imaging/VellGDIPPrivate.h"

#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>
#include <QSaveFile>
#include <QtEndian>

#include <cmath>
#include <functional>
#include <limits>
#include <new>

PixelFormat PixelFormatOf(const QImage &image) {
  switch (image.format()) {
  case QImage::Format_Mono:
  case QImage::Format_MonoLSB:
    return PixelFormat1bppIndexed;
  case QImage::Format_Indexed8:
  case QImage::Format_Grayscale8:
    return PixelFormat8bppIndexed;
  case QImage::Format_Grayscale16:
    return PixelFormat16bppGrayScale;
  case QImage::Format_BGR888:
    return PixelFormat24bppRGB;
  case QImage::Format_RGB32:
    return PixelFormat32bppRGB;
  case QImage::Format_ARGB32:
    return PixelFormat32bppARGB;
  case QImage::Format_ARGB32_Premultiplied:
    return PixelFormat32bppPARGB;
  case QImage::Format_RGBX64:
    return PixelFormat48bppRGB;
  case QImage::Format_RGBA64:
    return PixelFormat64bppARGB;
  case QImage::Format_RGBA64_Premultiplied:
    return PixelFormat64bppPARGB;
  default:
    return PixelFormatDontCare;
  }
}

QImage::Format QtFormatFor(PixelFormat format) {
  switch (format) {
  case PixelFormat1bppIndexed:
    return QImage::Format_Mono;
  case PixelFormat4bppIndexed:
  case PixelFormat8bppIndexed:
    return QImage::Format_Indexed8;
  case PixelFormat16bppGrayScale:
    return QImage::Format_Grayscale16;
  case PixelFormat24bppRGB:
    return QImage::Format_BGR888;
  case PixelFormat32bppRGB:
    return QImage::Format_RGB32;
  case PixelFormat32bppARGB:
    return QImage::Format_ARGB32;
  case PixelFormat32bppPARGB:
    return QImage::Format_ARGB32_Premultiplied;
  case PixelFormat48bppRGB:
    return QImage::Format_RGBX64;
  case PixelFormat64bppARGB:
    return QImage::Format_RGBA64;
  case PixelFormat64bppPARGB:
    return QImage::Format_RGBA64_Premultiplied;
  default:
    return QImage::Format_Invalid;
  }
}

QImage ServicePixels(const QImage &image) {
  if (image.format() == QImage::Format_MonoLSB)
    return image.convertToFormat(QImage::Format_Mono);
  if (PixelFormatOf(image) != PixelFormatDontCare)
    return image;
  return image.convertToFormat(image.hasAlphaChannel() ? QImage::Format_ARGB32 : QImage::Format_BGR888);
}

QList<QRgb> GreyColourTable(int count) {
  QList<QRgb> table;
  for (int i = 0; i < count; ++i) {
    const int level = count > 1 ? i * 255 / (count - 1) : 0;
    table.append(qRgb(level, level, level));
  }
  return table;
}

namespace {

enum class TSignature { Empty, Unknown, Tiff, Png, Jpeg, Bmp, Gif };

TSignature SignatureOf(const QByteArray &head) {
  if (head.isEmpty())
    return TSignature::Empty;
  if (head.startsWith(QByteArrayLiteral("II*\0")) || head.startsWith(QByteArrayLiteral("MM\0*")) ||
      head.startsWith(QByteArrayLiteral("II+\0")) || head.startsWith(QByteArrayLiteral("MM\0+")))
    return TSignature::Tiff;
  if (head.startsWith("\x89PNG\r\n\x1a\n"))
    return TSignature::Png;
  if (head.startsWith("\xFF\xD8\xFF"))
    return TSignature::Jpeg;
  if (head.startsWith("BM"))
    return TSignature::Bmp;
  if (head.startsWith("GIF87a") || head.startsWith("GIF89a"))
    return TSignature::Gif;
  return TSignature::Unknown;
}

float DpiFromDotsPerMetre(quint32 dotsPerMetre) {
  return dotsPerMetre ? float(dotsPerMetre * 0.0254) : 0.0f;
}

// The pHYs chunk, which comes before the image data.
// Walks the chunks of a PNG after its signature, with the file positioned at
// each chunk's data when visit(type, length) is called; visit returns false
// to stop. False when a chunk announces more bytes than the file holds:
// decoders would otherwise allocate and fill buffers of the announced size.
bool WalkPngChunks(QIODevice &file, const std::function<bool(const QByteArray &, quint32)> &visit) {
  file.seek(8);
  for (;;) {
    const QByteArray header = file.read(8);
    if (header.size() < 8)
      return true;
    const quint32 length = qFromBigEndian<quint32>(header.constData());
    const qint64 data = file.pos();
    if (qint64(length) + 4 > file.size() - data)
      return false;
    if (!visit(header.mid(4, 4), length) || !file.seek(data + qint64(length) + 4))
      return true;
  }
}

void ReadPngResolution(QIODevice &file, TRaster &raster) {
  WalkPngChunks(file, [&](const QByteArray &type, quint32 length) {
    if (type == "pHYs" && length == 9) {
      const QByteArray data = file.read(9);
      if (data.size() == 9 && data[8] == 1) {
        raster.DpiX = DpiFromDotsPerMetre(qFromBigEndian<quint32>(data.constData()));
        raster.DpiY = DpiFromDotsPerMetre(qFromBigEndian<quint32>(data.constData() + 4));
      }
      return false;
    }
    return type != "IDAT" && type != "IEND";
  });
}

void ReadJpegResolution(QIODevice &file, TRaster &raster) {
  file.seek(2);
  const QByteArray app0 = file.read(18);
  if (app0.size() < 16 || quint8(app0[0]) != 0xFF || quint8(app0[1]) != 0xE0 ||
      !app0.mid(4).startsWith("JFIF"))
    return;
  const int unit = app0[11];
  const double perInch = unit == 1 ? 1.0 : unit == 2 ? 2.54 : 0.0;
  raster.DpiX = float(qFromBigEndian<quint16>(app0.constData() + 12) * perInch);
  raster.DpiY = float(qFromBigEndian<quint16>(app0.constData() + 14) * perInch);
}

// The pixels-per-metre fields of a BITMAPINFOHEADER or later header.
void ReadBmpResolution(QIODevice &file, TRaster &raster) {
  file.seek(14);
  const QByteArray info = file.read(40);
  if (info.size() < 40 || qFromLittleEndian<quint32>(info.constData()) < 40)
    return;
  const auto x = qFromLittleEndian<qint32>(info.constData() + 24);
  const auto y = qFromLittleEndian<qint32>(info.constData() + 28);
  raster.DpiX = x > 0 ? DpiFromDotsPerMetre(quint32(x)) : 0.0f;
  raster.DpiY = y > 0 ? DpiFromDotsPerMetre(quint32(y)) : 0.0f;
}

GpStatus DecodeWithQt(QFile &file, TSignature signature, TRaster &raster) {
  static const char *const qtFormats[] = {nullptr, nullptr, nullptr, "png", "jpeg", "bmp", "gif"};
  if (signature == TSignature::Png &&
      !WalkPngChunks(file, [](const QByteArray &type, quint32) { return type != "IEND"; }))
    return GdipFail(UnknownImageFormat,
                    QStringLiteral("damaged PNG: a chunk is longer than the rest of the file"));
  file.seek(0);
  QImageReader reader(&file, qtFormats[int(signature)]);
  const QSize size = reader.size();
  if (size.isValid() && ExceedsPixelLimit(size.width(), size.height()))
    return GdipFail(ValueOverflow, PixelLimitText(size.width(), size.height()));
  // Room for the largest pixel (8 bytes) of an image within the pixel limit.
  const qint64 megabytes = GdipPixelLimit() * 8 / (1024 * 1024) + 1;
  reader.setAllocationLimit(int(std::min<qint64>(megabytes, std::numeric_limits<int>::max())));
  QImage image = reader.read();
  if (image.isNull())
    return GdipFail(UnknownImageFormat,
                    QStringLiteral("cannot decode the %1 image: %2")
                        .arg(QString::fromLatin1(qtFormats[int(signature)]).toUpper(), reader.errorString()));
  if (ExceedsPixelLimit(image.width(), image.height()))
    return GdipFail(ValueOverflow, PixelLimitText(image.width(), image.height()));
  // Colour files are kept as 24-bit RGB unless they carry alpha.
  if (image.format() == QImage::Format_RGB32 || image.format() == QImage::Format_RGB888)
    image.convertTo(QImage::Format_BGR888);
  else if (image.format() == QImage::Format_ARGB32_Premultiplied)
    image.convertTo(QImage::Format_ARGB32);
  raster.Pixels = ServicePixels(image);
  raster.Format = PixelFormatOf(raster.Pixels);
  if (signature == TSignature::Png)
    ReadPngResolution(file, raster);
  else if (signature == TSignature::Jpeg)
    ReadJpegResolution(file, raster);
  else if (signature == TSignature::Bmp)
    ReadBmpResolution(file, raster);
  return Ok;
}

GpStatus DecodeOpenedFile(QFile &file, const QString &fileName, TRaster &raster) {
  const TSignature signature = SignatureOf(file.read(8));
  switch (signature) {
  case TSignature::Empty:
    return GdipFail(UnknownImageFormat, QStringLiteral("the file is empty: %1").arg(fileName));
  case TSignature::Unknown:
    return GdipFail(
        UnknownImageFormat,
        QStringLiteral("not an image (no TIFF, PNG, JPEG, BMP or GIF signature): %1").arg(fileName));
  case TSignature::Tiff:
    file.close();
    return DecodeTiff(fileName, raster);
  default:
    return DecodeWithQt(file, signature, raster);
  }
}

} // namespace

GpStatus DecodeImageFile(const QString &fileName, TRaster &raster) {
  const QFileInfo info(fileName);
  if (fileName.isEmpty() || !info.exists())
    return GdipFail(FileNotFound, QStringLiteral("file not found: %1").arg(fileName));
  if (!info.isFile())
    return GdipFail(FileNotFound, QStringLiteral("not a file: %1").arg(fileName));
  QFile file(fileName);
  if (!file.open(QIODevice::ReadOnly))
    return GdipFail(AccessDenied, QStringLiteral("cannot open %1: %2").arg(fileName, file.errorString()));
  try {
    return DecodeOpenedFile(file, fileName, raster);
  } catch (const std::bad_alloc &) {
    return GdipFail(OutOfMemory, QStringLiteral("out of memory while decoding %1").arg(fileName));
  }
}

GpStatus EncodeWithQt(const TRaster &raster, const QString &fileName, const char *qtFormat, int quality) {
  QImage image = raster.Pixels;
  if (raster.DpiX > 0)
    image.setDotsPerMeterX(int(std::lround(raster.DpiX / 0.0254)));
  if (raster.DpiY > 0)
    image.setDotsPerMeterY(int(std::lround(raster.DpiY / 0.0254)));
  QSaveFile file(fileName);
  if (!file.open(QIODevice::WriteOnly))
    return GdipFail(Win32Error, QStringLiteral("cannot create %1: %2").arg(fileName, file.errorString()));
  QImageWriter writer(&file, qtFormat);
  writer.setQuality(quality);
  if (!writer.write(image))
    return GdipFail(Win32Error, QStringLiteral("cannot write %1: %2").arg(fileName, writer.errorString()));
  if (!file.commit())
    return GdipFail(Win32Error, QStringLiteral("cannot write %1: %2").arg(fileName, file.errorString()));
  return Ok;
}
