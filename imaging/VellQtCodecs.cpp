// The interim row of the codec table on Qt's image plug-in for PNG, until
// the codec of its own replaces it. It reads the resolution from the header
// itself, which Qt's reader does not report.
#include "imaging/VellImageCodecs.h"

#include <QIODevice>
#include <QImageReader>
#include <QImageWriter>
#include <QtEndian>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

struct TQtFormat {
  const char *Plugin;
  const char16_t *Name;
  void (*ReadResolution)(QIODevice &, float &, float &);
  bool (*Intact)(QIODevice &); // false for damage Qt's reader would not report well
};

// The pHYs chunk, which comes before the image data (interim, until the PNG
// row on libpng).
void ReadPngResolution(QIODevice &device, float &dpiX, float &dpiY) {
  const QByteArray head = device.peek(64 * 1024);
  for (qsizetype at = 8; at + 12 <= head.size();) {
    const quint32 length = qFromBigEndian<quint32>(head.constData() + at);
    const QByteArrayView type(head.constData() + at + 4, 4);
    if (type == "pHYs" && length == 9 && at + 17 <= head.size()) {
      if (head[at + 16] == 1) {
        dpiX = DpiFromDotsPerMetre(qFromBigEndian<quint32>(head.constData() + at + 8));
        dpiY = DpiFromDotsPerMetre(qFromBigEndian<quint32>(head.constData() + at + 12));
      }
      return;
    }
    if (type == "IDAT" || length > quint32(head.size()))
      return;
    at += qsizetype(length) + 12;
  }
}
// No chunk announces more bytes than the file holds: decoders would
// otherwise allocate and fill buffers of the announced size.
bool PngChunksFit(QIODevice &device) {
  const qint64 start = device.pos();
  qint64 at = 8;
  QByteArray header;
  for (; device.seek(start + at) && (header = device.read(8)).size() == 8;) {
    const quint32 length = qFromBigEndian<quint32>(header.constData());
    if (qint64(length) + 12 > device.size() - start - at)
      break;
    at += qint64(length) + 12;
  }
  const bool intact = header.size() < 8;
  device.seek(start);
  return intact;
}
const TQtFormat Png{"png", u"PNG", ReadPngResolution, PngChunksFit};

// The QImage format a decoded image is kept in: colour files as 24-bit RGB
// unless they carry alpha.
QImage::Format KeptFormat(QImage::Format format) {
  switch (format) {
  case QImage::Format_MonoLSB:
    return QImage::Format_Mono;
  case QImage::Format_ARGB32_Premultiplied:
    return QImage::Format_ARGB32;
  default:
    return PixelFormatOf(format) == PixelFormatDontCare || format == QImage::Format_RGB32
               ? QImage::Format_BGR888
               : format;
  }
}

template <const TQtFormat &F>
GpStatus ReadHeaderWithQt(QIODevice &device, quint32 page, ImageHeader &header) {
  if (page > 0)
    return RecordFailure(InvalidParameter, QStringLiteral("the %1 image has one page only").arg(F.Name));
  QImageReader reader(&device, F.Plugin);
  const QSize size = reader.size();
  if (!size.isValid())
    return RecordFailure(UnknownImageFormat,
                         QStringLiteral("cannot read the %1 header (%2)").arg(F.Name, reader.errorString()));
  header.Width = quint32(size.width());
  header.Height = quint32(size.height());
  header.PixelFormat = PixelFormatOf(KeptFormat(reader.imageFormat()));
  header.PageCount = 1;
  F.ReadResolution(device, header.DpiX, header.DpiY);
  return Ok;
}

template <const TQtFormat &F> GpStatus DecodeWithQt(QIODevice &device, quint32 page, TRaster &raster) {
  if (page > 0)
    return RecordFailure(InvalidParameter, QStringLiteral("the %1 image has one page only").arg(F.Name));
  if (!F.Intact(device))
    return RecordFailure(
        UnknownImageFormat,
        QStringLiteral("damaged %1 (a chunk is longer than the rest of the file)").arg(F.Name));
  F.ReadResolution(device, raster.DpiX, raster.DpiY);
  QImageReader reader(&device, F.Plugin);
  const QSize size = reader.size();
  if (size.isValid() && ExceedsPixelLimit(size.width(), size.height()))
    return RecordFailure(ValueOverflow, PixelLimitText(size.width(), size.height()));
  // Room for the largest pixel (8 bytes) of an image within the pixel limit.
  const qint64 megabytes = GdipPixelLimit() * 8 / (1024 * 1024) + 1;
  reader.setAllocationLimit(int(std::min<qint64>(megabytes, std::numeric_limits<int>::max())));
  QImage image = reader.read();
  if (image.isNull())
    return RecordFailure(UnknownImageFormat,
                         QStringLiteral("cannot decode the %1 image (%2)").arg(F.Name, reader.errorString()));
  if (ExceedsPixelLimit(image.width(), image.height()))
    return RecordFailure(ValueOverflow, PixelLimitText(image.width(), image.height()));
  image.convertTo(KeptFormat(image.format()));
  raster.Pixels = image;
  raster.Format = PixelFormatOf(raster.Pixels);
  return Ok;
}

template <const TQtFormat &F> GpStatus WriteWithQt(QIODevice &device, const TEncodePage &page) {
  const TRaster raster = PageImage(page);
  QImage image = raster.Pixels;
  if (raster.DpiX > 0)
    image.setDotsPerMeterX(int(std::lround(raster.DpiX / 0.0254)));
  if (raster.DpiY > 0)
    image.setDotsPerMeterY(int(std::lround(raster.DpiY / 0.0254)));
  QImageWriter writer(&device, F.Plugin);
  writer.setQuality(page.Quality);
  if (!writer.write(image))
    return RecordFailure(Win32Error, writer.errorString());
  return Ok;
}

template <const TQtFormat &F> std::unique_ptr<TPageEncoder> NewQtEncoder(QIODevice &device) {
  return NewSingleImageEncoder(device, WriteWithQt<F>);
}

bool IsPng(QIODevice &device) {
  return PeekStartsWith(device, "\x89PNG\r\n\x1a\n");
}
} // namespace

// Identifiers as the platform service has them.
const TImageCodec VellPngCodec{
    u"PNG",
    u"image/png",
    u"Built-in PNG Codec",
    u"*.PNG",
    QUuid(0x557cf406, 0x1a04, 0x11d3, 0x9a, 0x73, 0x00, 0x00, 0xf8, 0x1e, 0xf3, 0x2e),
    QUuid(0xb96b3caf, 0x0728, 0x11d3, 0x9d, 0x7b, 0x00, 0x00, 0xf8, 0x1e, 0xf3, 0x2e),
    IsPng,
    ReadHeaderWithQt<Png>,
    DecodeWithQt<Png>,
    NewQtEncoder<Png>};
