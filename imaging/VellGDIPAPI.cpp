// The imaging service: start-up, bitmaps and pixel access. Drawing surfaces are in VellGDIPGraphics.cpp, paths and
// caps in VellGDIPPath.cpp, files, streams and encoders in VellGDIPCodecs.cpp.
#include "imaging/VellGDIPPrivate.h"

#include <QGuiApplication>
#include <QScreen>
#include <QThread>

#include <atomic>
#include <cmath>
#include <cstring>
#include <mutex>
#include <set>
#include <tiffio.h>

namespace {

std::mutex gStartMutex;
std::set<quintptr> gTokens;
quintptr gNextToken = 1;
std::atomic<bool> gStarted{false};
std::atomic<float> gScreenResolution{0};

// Messages libtiff reports outside an open file: recorded, never printed.
void RecordTiffMessage(const char *module, const char *format, va_list args) {
  char text[512];
  std::vsnprintf(text, sizeof text, format, args);
  RecordFailure(GenericError,
                QString::fromUtf8(module ? module : "libtiff") + QStringLiteral(": ") + QString::fromUtf8(text));
}
void IgnoreTiffWarning(const char *, const char *, va_list) {}

float QueryScreenResolution() {
  if (qobject_cast<QGuiApplication *>(QCoreApplication::instance()))
    if (const QScreen *screen = QGuiApplication::primaryScreen(); screen && screen->logicalDotsPerInch() > 0)
      return float(screen->logicalDotsPerInch());
  return 96.0f;
}

} // namespace

bool GdipServiceStarted() {
  return gStarted.load(std::memory_order_acquire);
}

QString GdipStatusText(GpStatus status) {
  static const char *const texts[] = {"Ok",
                                      "Generic error",
                                      "Invalid parameter",
                                      "Out of memory",
                                      "Object busy",
                                      "Insufficient buffer",
                                      "Not implemented",
                                      "System error",
                                      "Wrong state",
                                      "Aborted",
                                      "File not found",
                                      "Value overflow",
                                      "Access denied",
                                      "Unknown image format",
                                      "Font family not found",
                                      "Font style not found",
                                      "Not a TrueType font",
                                      "Unsupported version",
                                      "Imaging service not started",
                                      "Property not found",
                                      "Property not supported",
                                      "Profile not found"};
  if (status < 0 || size_t(status) >= std::size(texts))
    return QStringLiteral("Status %1").arg(int(status));
  return QString::fromLatin1(texts[status]);
}

GpStatus GdiplusStartup(quintptr *token, const GdiplusStartupInput *input, GdiplusStartupOutput *) {
  if (!token || !input)
    return RecordFailure(InvalidParameter, QStringLiteral("a null start-up token or input was passed"));
  if (input->GdiplusVersion != 1)
    return RecordFailure(UnsupportedGdiplusVersion, QStringLiteral("only version 1 of the service exists"));
  std::lock_guard lock(gStartMutex);
  if (gTokens.empty()) {
    TIFFSetErrorHandler(RecordTiffMessage);
    TIFFSetWarningHandler(IgnoreTiffWarning);
    VellScreenResolution();
  }
  *token = gNextToken++;
  gTokens.insert(*token);
  gStarted.store(true, std::memory_order_release);
  return Ok;
}

void GdiplusShutdown(quintptr token) {
  std::lock_guard lock(gStartMutex);
  if (gTokens.erase(token) && gTokens.empty())
    gStarted.store(false, std::memory_order_release);
}

// Asked afresh on the application's thread, which also refreshes the value
// the worker threads read; they ask the screen only when none is known yet.
float VellScreenResolution() {
  const QCoreApplication *application = QCoreApplication::instance();
  const bool applicationThread = application && QThread::currentThread() == application->thread();
  const float cached = gScreenResolution.load();
  if (!applicationThread && cached > 0)
    return cached;
  const float resolution = QueryScreenResolution();
  if (applicationThread)
    gScreenResolution = resolution;
  return resolution;
}

TBitmapObject::TBitmapObject(TRaster raster)
    : Pixels(std::make_shared<QImage>(std::move(raster.Pixels))), DpiX(raster.DpiX), DpiY(raster.DpiY),
      Format(raster.Format), IccProfile(std::move(raster.IccProfile)) {}

GpStatus HandOutBitmap(TRaster raster, GpBitmap **bitmap) {
  *bitmap = new (std::nothrow) TBitmapObject(std::move(raster));
  return *bitmap ? Ok : RecordFailure(OutOfMemory, QStringLiteral("out of memory"));
}

namespace {

QImage NewPixels(int width, int height, PixelFormat format) {
  QImage image(width, height, QtFormatFor(format));
  if (image.isNull())
    return image;
  image.fill(0);
  if (format == PixelFormat1bppIndexed)
    image.setColorTable(GreyColourTable(2));
  else if (format == PixelFormat4bppIndexed)
    image.setColorTable(GreyColourTable(16));
  else if (format == PixelFormat8bppIndexed)
    image.setColorTable(GreyColourTable(256));
  return image;
}

} // namespace

GpStatus GdipCreateBitmapFromScan0(int width, int height, int stride, PixelFormat format, quint8 *scan0,
                                   GpBitmap **bitmap) {
  if (GpStatus status = GdipCheckCall(bitmap); status != Ok)
    return status;
  *bitmap = nullptr;
  if (width <= 0 || height <= 0 || QtFormatFor(format) == QImage::Format_Invalid)
    return RecordFailure(InvalidParameter, QStringLiteral("invalid bitmap size %1 × %2 or pixel format 0x%3")
                                          .arg(width)
                                          .arg(height)
                                          .arg(format, 0, 16));
  if (ExceedsPixelLimit(width, height))
    return RecordFailure(ValueOverflow, PixelLimitText(width, height));
  const qint64 minimumStride = (qint64(width) * GetPixelFormatSize(format) + 7) / 8;
  if ((scan0 == nullptr) != (stride == 0) || (scan0 && stride < minimumStride))
    return RecordFailure(InvalidParameter,
                    QStringLiteral("invalid stride %1 for the given pixel buffer").arg(stride));
  TRaster raster;
  raster.Pixels =
      scan0 ? QImage(scan0, width, height, stride, QtFormatFor(format)) : NewPixels(width, height, format);
  if (raster.Pixels.isNull())
    return RecordFailure(OutOfMemory,
                    QStringLiteral("out of memory for a bitmap of %1 × %2").arg(width).arg(height));
  if (scan0 && IsIndexedPixelFormat(format))
    raster.Pixels.setColorTable(GreyColourTable(1 << std::min(GetPixelFormatSize(format), 8)));
  raster.Format = format;
  raster.DpiX = raster.DpiY = VellScreenResolution();
  return HandOutBitmap(std::move(raster), bitmap);
}

GpStatus GdipCreateBitmapFromHBITMAP(const QImage &platformBitmap, GpBitmap **bitmap) {
  if (GpStatus status = GdipCheckCall(bitmap); status != Ok)
    return status;
  *bitmap = nullptr;
  if (platformBitmap.isNull())
    return RecordFailure(InvalidParameter, QStringLiteral("the platform bitmap is empty"));
  if (ExceedsPixelLimit(platformBitmap.width(), platformBitmap.height()))
    return RecordFailure(ValueOverflow, PixelLimitText(platformBitmap.width(), platformBitmap.height()));
  TRaster raster;
  raster.Pixels = ServicePixels(platformBitmap); // shared until either side changes
  raster.Format = PixelFormatOf(raster.Pixels);
  raster.DpiX = raster.DpiY = VellScreenResolution();
  return HandOutBitmap(std::move(raster), bitmap);
}

GpStatus GdipDisposeImage(GpImage *image) {
  if (GpStatus status = GdipCheckCall(image); status != Ok)
    return status;
  delete image;
  return Ok;
}

namespace {

// The common shape of the property reads: check, then read one value.
template <typename T, typename Read> GpStatus ReadProperty(GpImage *image, T *value, Read read) {
  if (GpStatus status = GdipCheckCall(image, value); status != Ok)
    return status;
  *value = read(*TBitmapObject::From(image));
  return Ok;
}

} // namespace

GpStatus GdipGetImageWidth(GpImage *image, quint32 *width) {
  return ReadProperty(image, width, [](const TBitmapObject &b) { return quint32(b.Pixels->width()); });
}

GpStatus GdipGetImageHeight(GpImage *image, quint32 *height) {
  return ReadProperty(image, height, [](const TBitmapObject &b) { return quint32(b.Pixels->height()); });
}

GpStatus GdipGetImageHorizontalResolution(GpImage *image, float *resolution) {
  return ReadProperty(image, resolution, [](const TBitmapObject &b) { return b.DpiX; });
}

GpStatus GdipGetImageVerticalResolution(GpImage *image, float *resolution) {
  return ReadProperty(image, resolution, [](const TBitmapObject &b) { return b.DpiY; });
}

GpStatus GdipGetImagePixelFormat(GpImage *image, PixelFormat *format) {
  return ReadProperty(image, format, [](const TBitmapObject &b) { return b.Format; });
}

const QImage *GdipImagePixels(GpImage *image) {
  return image ? TBitmapObject::From(image)->Pixels.get() : nullptr;
}

GpStatus GdipBitmapSetResolution(GpBitmap *bitmap, float xdpi, float ydpi) {
  if (GpStatus status = GdipCheckCall(bitmap); status != Ok)
    return status;
  if (!(xdpi > 0) || !(ydpi > 0) || !std::isfinite(xdpi) || !std::isfinite(ydpi))
    return RecordFailure(InvalidParameter, QStringLiteral("invalid resolution %1 × %2 dpi").arg(xdpi).arg(ydpi));
  TBitmapObject::From(bitmap)->DpiX = xdpi;
  TBitmapObject::From(bitmap)->DpiY = ydpi;
  return Ok;
}

namespace {

// The pixels of area converted to format; indexed targets keep the source's
// representation when it already has that format.
QImage ConvertedArea(const TBitmapObject &source, const QRect &area, PixelFormat format) {
  const QImage copy = source.Pixels->copy(area);
  if (format == PixelFormatDontCare || format == source.Format)
    return copy;
  const QImage::Format target = QtFormatFor(format);
  if (target == QImage::Format_Mono || target == QImage::Format_Indexed8)
    return copy.convertToFormat(target, Qt::ThresholdDither | Qt::AvoidDither);
  return copy.convertToFormat(target);
}

bool InsideImage(const QImage &image, const QRect &area) {
  return !area.isEmpty() && QRect(QPoint(0, 0), image.size()).contains(area);
}

} // namespace

GpStatus GdipCloneBitmapAreaI(int x, int y, int width, int height, PixelFormat format, GpBitmap *source,
                              GpBitmap **clone) {
  if (GpStatus status = GdipCheckCall(source, clone); status != Ok)
    return status;
  *clone = nullptr;
  const TBitmapObject &bitmap = *TBitmapObject::From(source);
  const QRect area(x, y, width, height);
  if (!InsideImage(*bitmap.Pixels, area))
    return RecordFailure(InvalidParameter, QStringLiteral("the area %1,%2 %3 × %4 is not inside the bitmap")
                                          .arg(x)
                                          .arg(y)
                                          .arg(width)
                                          .arg(height));
  if (format != PixelFormatDontCare && QtFormatFor(format) == QImage::Format_Invalid)
    return RecordFailure(InvalidParameter, QStringLiteral("unsupported pixel format 0x%1").arg(format, 0, 16));
  TRaster raster;
  raster.Pixels = ConvertedArea(bitmap, area, format);
  if (raster.Pixels.isNull())
    return RecordFailure(OutOfMemory, QStringLiteral("out of memory while copying a bitmap area"));
  raster.Format = format == PixelFormatDontCare ? bitmap.Format : format;
  raster.DpiX = bitmap.DpiX;
  raster.DpiY = bitmap.DpiY;
  return HandOutBitmap(std::move(raster), clone);
}

GpStatus GdipCloneBitmapArea(float x, float y, float width, float height, PixelFormat format,
                             GpBitmap *source, GpBitmap **clone) {
  const QRect area = QRectF(x, y, width, height).toRect();
  return GdipCloneBitmapAreaI(area.x(), area.y(), area.width(), area.height(), format, source, clone);
}

namespace {

// Formats whose QImage rows have the service's memory layout, so a lock can
// hand out the bitmap's own rows.
bool SameLayout(const QImage &image, PixelFormat format) {
  switch (format) {
  case PixelFormat1bppIndexed:
  case PixelFormat16bppGrayScale:
  case PixelFormat24bppRGB:
  case PixelFormat32bppRGB:
  case PixelFormat32bppARGB:
  case PixelFormat32bppPARGB:
    return PixelFormatOf(image) == format;
  case PixelFormat8bppIndexed:
    return image.format() == QImage::Format_Indexed8 || image.format() == QImage::Format_Grayscale8;
  default:
    return false;
  }
}

bool ConvertibleLockFormat(PixelFormat format) {
  return format == PixelFormat24bppRGB || format == PixelFormat32bppRGB || format == PixelFormat32bppARGB ||
         format == PixelFormat32bppPARGB;
}

void FillLockData(const QImage &buffer, const uchar *scan0, PixelFormat format, BitmapData *data) {
  data->Width = quint32(buffer.width());
  data->Height = quint32(buffer.height());
  data->Stride = qint32(buffer.bytesPerLine());
  data->PixelFormat = format;
  data->Scan0 = const_cast<uchar *>(scan0);
}

// Writes a converted lock buffer back into the bitmap's pixels.
void StoreLockedArea(QImage &pixels, const QRect &area, const QImage &buffer) {
  if (pixels.format() == QImage::Format_Mono || pixels.format() == QImage::Format_Indexed8) {
    const QImage indexed = buffer.convertToFormat(pixels.format(), pixels.colorTable(), Qt::ThresholdDither);
    for (int y = 0; y < area.height(); ++y)
      for (int x = 0; x < area.width(); ++x)
        pixels.setPixel(area.x() + x, area.y() + y, uint(indexed.pixelIndex(x, y)));
    return;
  }
  const QImage converted = buffer.convertToFormat(pixels.format());
  const qsizetype bytes = qsizetype(area.width()) * pixels.depth() / 8;
  const qsizetype offset = qsizetype(area.x()) * pixels.depth() / 8;
  for (int y = 0; y < area.height(); ++y)
    std::memcpy(pixels.scanLine(area.y() + y) + offset, converted.constScanLine(y), size_t(bytes));
}

} // namespace

GpStatus GdipBitmapLockBits(GpBitmap *bitmap, const Rect *rect, quint32 flags, PixelFormat format,
                            BitmapData *lockedData) {
  if (GpStatus status = GdipCheckCall(bitmap, lockedData); status != Ok)
    return status;
  TBitmapObject &object = *TBitmapObject::From(bitmap);
  QImage &pixels = *object.Pixels;
  const QRect area = rect ? QRect(rect->X, rect->Y, rect->Width, rect->Height) : pixels.rect();
  if (object.Lock.Active)
    return RecordFailure(WrongState, QStringLiteral("the bitmap is already locked"));
  if (!InsideImage(pixels, area) || (flags & (ImageLockModeRead | ImageLockModeWrite)) == 0)
    return RecordFailure(InvalidParameter, QStringLiteral("invalid lock area or mode"));
  const bool direct = SameLayout(pixels, format) && !(flags & ImageLockModeUserInputBuf) &&
                      (qint64(area.x()) * pixels.depth()) % 8 == 0;
  if (!direct && !ConvertibleLockFormat(format) && !SameLayout(pixels, format))
    return RecordFailure(NotImplemented, QStringLiteral("cannot lock in pixel format 0x%1").arg(format, 0, 16));
  if ((flags & ImageLockModeUserInputBuf) && !lockedData->Scan0)
    return RecordFailure(InvalidParameter, QStringLiteral("no pixel buffer was given for the lock"));
  TBitmapObject::TLock lock{true, direct, area, flags, {}};
  if (direct) {
    uchar *scan0 = pixels.scanLine(area.y()) + qsizetype(area.x()) * pixels.depth() / 8;
    lock.Buffer = QImage(scan0, area.width(), area.height(), pixels.bytesPerLine(), pixels.format());
  } else {
    const QImage::Format target = QtFormatFor(format);
    lock.Buffer = (flags & ImageLockModeUserInputBuf)
                      ? QImage(static_cast<uchar *>(lockedData->Scan0), area.width(), area.height(),
                               lockedData->Stride, target)
                      : QImage(area.width(), area.height(), target);
    if (lock.Buffer.isNull())
      return RecordFailure(OutOfMemory, QStringLiteral("out of memory for the locked pixels"));
    if (flags & ImageLockModeRead) {
      const QImage converted =
          ConvertedArea(object, area, format == object.Format ? PixelFormatDontCare : format)
              .convertToFormat(target);
      const size_t rowBytes = size_t(area.width()) * size_t(lock.Buffer.depth()) / 8;
      for (int y = 0; y < area.height(); ++y)
        std::memcpy(lock.Buffer.scanLine(y), converted.constScanLine(y), rowBytes);
    }
  }
  FillLockData(lock.Buffer, lock.Buffer.constBits(), format, lockedData);
  object.Lock = std::move(lock);
  return Ok;
}

GpStatus GdipBitmapUnlockBits(GpBitmap *bitmap, BitmapData *lockedData) {
  if (GpStatus status = GdipCheckCall(bitmap, lockedData); status != Ok)
    return status;
  TBitmapObject &object = *TBitmapObject::From(bitmap);
  if (!object.Lock.Active)
    return RecordFailure(WrongState, QStringLiteral("the bitmap is not locked"));
  if (!object.Lock.Direct && (object.Lock.Flags & ImageLockModeWrite))
    StoreLockedArea(*object.Pixels, object.Lock.Area, object.Lock.Buffer);
  object.Lock = {};
  return Ok;
}
