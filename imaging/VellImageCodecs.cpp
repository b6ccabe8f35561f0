// The codec table and what its rows share: failure recording, the pixel
// limit, the mapping between service pixel formats and QImage formats.
#include "imaging/VellImageCodecs.h"

#include <QIODevice>

#include <atomic>

PixelFormat PixelFormatOf(const QImage &image) {
  return PixelFormatOf(image.format());
}

PixelFormat PixelFormatOf(QImage::Format format) {
  switch (format) {
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

thread_local QString tLastError;
std::atomic<qint64> gPixelLimit{qint64(1) << 30};

} // namespace

QList<const TImageCodec *> ImageCodecs() {
  return {&VellBmpCodec, &VellJpegCodec, &VellGifCodec, &VellTiffCodec, &VellPngCodec};
}

const TImageCodec *CodecForContent(QIODevice &device) {
  for (const TImageCodec *codec : ImageCodecs())
    if (codec->Matches(device))
      return codec;
  return nullptr;
}

const TImageCodec *CodecForEncoder(const CLSID &clsid) {
  for (const TImageCodec *codec : ImageCodecs())
    if (codec->NewEncoder && codec->Clsid == clsid)
      return codec;
  return nullptr;
}

GpStatus RecordFailure(GpStatus status, const QString &text) {
  tLastError = text;
  return status;
}

QString GdipLastErrorText() {
  return tLastError;
}

qint64 GdipPixelLimit() {
  return gPixelLimit.load();
}

void GdipSetPixelLimit(qint64 pixels) {
  gPixelLimit.store(std::max<qint64>(pixels, 1));
}

bool ExceedsPixelLimit(qint64 width, qint64 height) {
  return width * height > GdipPixelLimit();
}

QString PixelLimitText(qint64 width, qint64 height) {
  return QStringLiteral("an image of %1 × %2 pixels exceeds the limit of %3 pixels")
      .arg(width)
      .arg(height)
      .arg(GdipPixelLimit());
}

float DpiFromDotsPerMetre(quint32 dotsPerMetre) {
  return dotsPerMetre ? float(dotsPerMetre * 0.0254) : 0.0f;
}

bool PeekStartsWith(QIODevice &device, QByteArrayView signature) {
  return device.peek(signature.size()) == signature;
}

TRaster PageImage(const TEncodePage &page) {
  if (page.Image)
    return *page.Image;
  TRaster raster;
  raster.Pixels = QImage(page.RowsSize, QImage::Format_RGB888);
  if (raster.Pixels.isNull())
    throw std::bad_alloc();
  for (int y = 0; y < page.RowsSize.height(); ++y)
    page.FillRgbRow(y, raster.Pixels.scanLine(y));
  raster.Pixels.convertTo(QImage::Format_BGR888);
  raster.DpiX = raster.DpiY = page.RowsDpi;
  raster.Format = PixelFormat24bppRGB;
  raster.IccProfile = page.IccProfile;
  return raster;
}

namespace {

class TSingleImageEncoder final : public TPageEncoder {
public:
  TSingleImageEncoder(QIODevice &device, GpStatus (*write)(QIODevice &, const TEncodePage &))
      : FDevice(device), FWrite(write) {}
  GpStatus AddPage(const TEncodePage &page) override {
    if (FPages++ > 0)
      return RecordFailure(NotImplemented, QStringLiteral("this format holds one image, not several pages"));
    return FWrite(FDevice, page);
  }
  GpStatus Finish() override {
    return FPages > 0 ? Ok : RecordFailure(WrongState, QStringLiteral("no page was written"));
  }

private:
  QIODevice &FDevice;
  GpStatus (*FWrite)(QIODevice &, const TEncodePage &);
  int FPages = 0;
};

} // namespace

std::unique_ptr<TPageEncoder> NewSingleImageEncoder(QIODevice &device,
                                                    GpStatus (*write)(QIODevice &, const TEncodePage &)) {
  return std::make_unique<TSingleImageEncoder>(device, write);
}
