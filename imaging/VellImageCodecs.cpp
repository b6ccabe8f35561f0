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

// Reads exactly count bytes into buffer.
bool ReadExactly(QIODevice &file, char *buffer, qint64 count) {
  return file.read(buffer, count) == count;
}

// Walks the chunks of a PNG after its signature, with the file positioned at
// each chunk's data when visit(type, length) is called; visit returns false
// to stop. False when a chunk announces more bytes than the file holds:
// decoders would otherwise allocate and fill buffers of the announced size.
bool WalkPngChunks(QIODevice &file, const std::function<bool(const QByteArray &, quint32)> &visit) {
  file.seek(8);
  for (;;) {
    char header[8];
    if (!ReadExactly(file, header, 8))
      return true;
    const quint32 length = qFromBigEndian<quint32>(header);
    const qint64 data = file.pos();
    if (qint64(length) + 4 > file.size() - data)
      return false;
    if (!visit(QByteArray(header + 4, 4), length) || !file.seek(data + qint64(length) + 4))
      return true;
  }
}

// The pHYs chunk, which comes before the image data.
void ReadPngResolution(QIODevice &file, TRaster &raster) {
  WalkPngChunks(file, [&](const QByteArray &type, quint32 length) {
    if (type == "pHYs" && length == 9) {
      char data[9];
      if (ReadExactly(file, data, 9) && data[8] == 1) {
        raster.DpiX = DpiFromDotsPerMetre(qFromBigEndian<quint32>(data));
        raster.DpiY = DpiFromDotsPerMetre(qFromBigEndian<quint32>(data + 4));
      }
      return false;
    }
    return type != "IDAT" && type != "IEND";
  });
}

// The density of a JFIF header (units 1 = per inch, 2 = per centimetre).
void ReadJpegResolution(QIODevice &file, TRaster &raster) {
  file.seek(2);
  char app0[16];
  if (!ReadExactly(file, app0, 16) || quint8(app0[0]) != 0xFF || quint8(app0[1]) != 0xE0 ||
      QByteArrayView(app0 + 4, 5) != QByteArrayView("JFIF\0", 5))
    return;
  const int unit = app0[11];
  const double perInch = unit == 1 ? 1.0 : unit == 2 ? 2.54 : 0.0;
  raster.DpiX = float(qFromBigEndian<quint16>(app0 + 12) * perInch);
  raster.DpiY = float(qFromBigEndian<quint16>(app0 + 14) * perInch);
}

// The pixels-per-metre fields of a BITMAPINFOHEADER or later header.
void ReadBmpResolution(QIODevice &file, TRaster &raster) {
  file.seek(14);
  char info[40];
  if (!ReadExactly(file, info, 40) || qFromLittleEndian<quint32>(info) < 40)
    return;
  const auto x = qFromLittleEndian<qint32>(info + 24);
  const auto y = qFromLittleEndian<qint32>(info + 28);
  raster.DpiX = x > 0 ? DpiFromDotsPerMetre(quint32(x)) : 0.0f;
  raster.DpiY = y > 0 ? DpiFromDotsPerMetre(quint32(y)) : 0.0f;
}

GpStatus DecodeWithQt(QFile &file, const QString &fileName, TSignature signature, TRaster &raster) {
  static const char *const qtFormats[] = {nullptr, nullptr, nullptr, "png", "jpeg", "bmp", "gif"};
  if (signature == TSignature::Png &&
      !WalkPngChunks(file, [](const QByteArray &type, quint32) { return type != "IEND"; }))
    return GdipFail(
        UnknownImageFormat,
        QStringLiteral("%1: damaged PNG (a chunk is longer than the rest of the file)").arg(fileName));
  file.seek(0);
  QImageReader reader(&file, qtFormats[int(signature)]);
  const QSize size = reader.size();
  if (size.isValid() && ExceedsPixelLimit(size.width(), size.height()))
    return GdipFail(ValueOverflow,
                    fileName + QStringLiteral(": ") + PixelLimitText(size.width(), size.height()));
  // Room for the largest pixel (8 bytes) of an image within the pixel limit.
  const qint64 megabytes = GdipPixelLimit() * 8 / (1024 * 1024) + 1;
  reader.setAllocationLimit(int(std::min<qint64>(megabytes, std::numeric_limits<int>::max())));
  QImage image = reader.read();
  if (image.isNull())
    return GdipFail(
        UnknownImageFormat,
        QStringLiteral("%1: cannot decode the %2 image (%3)")
            .arg(fileName, QString::fromLatin1(qtFormats[int(signature)]).toUpper(), reader.errorString()));
  if (ExceedsPixelLimit(image.width(), image.height()))
    return GdipFail(ValueOverflow,
                    fileName + QStringLiteral(": ") + PixelLimitText(image.width(), image.height()));
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
    return GdipFail(UnknownImageFormat, QStringLiteral("%1: the file is empty").arg(fileName));
  case TSignature::Unknown:
    return GdipFail(
        UnknownImageFormat,
        QStringLiteral("%1: not an image (no TIFF, PNG, JPEG, BMP or GIF signature)").arg(fileName));
  case TSignature::Tiff:
    file.close();
    return DecodeTiff(fileName, raster);
  default:
    return DecodeWithQt(file, fileName, signature, raster);
  }
}

} // namespace

GpStatus DecodeImageFile(const QString &fileName, TRaster &raster) {
  const QFileInfo info(fileName);
  if (fileName.isEmpty() || !info.exists())
    return GdipFail(FileNotFound, QStringLiteral("%1: file not found").arg(fileName));
  if (!info.isFile())
    return GdipFail(FileNotFound, QStringLiteral("%1: not a file").arg(fileName));
  QFile file(fileName);
  if (!file.open(QIODevice::ReadOnly))
    return GdipFail(AccessDenied, QStringLiteral("%1: cannot open (%2)").arg(fileName, file.errorString()));
  try {
    return DecodeOpenedFile(file, fileName, raster);
  } catch (const std::bad_alloc &) {
    return GdipFail(OutOfMemory, QStringLiteral("%1: out of memory while decoding").arg(fileName));
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
