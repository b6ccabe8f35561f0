// Internals shared by the parts of the imaging service: the bitmap object
// behind a GpImage handle, the pixel-format mapping, the codecs and the
// failure recording. Not for use outside imaging/.
#pragma once

#include "imaging/VellGDIPAPI.h"

#include <QImage>
#include <QPolygonF>
#include <QString>
#include <memory>

// Decoded or created pixels with what the service reports about them.
struct TRaster {
  QImage Pixels;
  float DpiX = 0;
  float DpiY = 0;
  PixelFormat Format = PixelFormatDontCare;
};

// The object behind every GpImage/GpBitmap handle. The pixels are shared with
// the drawing surfaces opened on the bitmap, so a surface never outlives them.
class TBitmapObject final : public GpBitmap {
public:
  explicit TBitmapObject(TRaster raster);
  static TBitmapObject *From(GpImage *image) { return static_cast<TBitmapObject *>(image); }

  std::shared_ptr<QImage> Pixels;
  float DpiX;
  float DpiY;
  PixelFormat Format;

  // State of the one LockBits area that may be open at a time.
  struct TLock {
    bool Active = false;
    bool Direct = false;
    QRect Area;
    quint32 Flags = 0;
    QImage Buffer;
  } Lock;
};

// Records text as the calling thread's last error and returns status.
GpStatus GdipFail(GpStatus status, const QString &text);
bool GdipServiceStarted();

// The checks every flat function starts with: the service is up and no
// handle or pointer is null.
template <typename... Ptrs> GpStatus GdipCheckCall(const Ptrs *...pointers) {
  if (!GdipServiceStarted())
    return GdipFail(GdiplusNotInitialized, QStringLiteral("the imaging service is not started"));
  const bool anyNull = ((pointers == nullptr) || ...);
  if (anyNull)
    return GdipFail(InvalidParameter, QStringLiteral("a null handle or pointer was passed"));
  return Ok;
}

bool ExceedsPixelLimit(qint64 width, qint64 height);
QString PixelLimitText(qint64 width, qint64 height);

// Pixel formats. The service keeps pixels in these QImage formats:
// Mono (1 bpp, MSB first, two-colour table), Indexed8 (palettes up to 8 bits),
// Grayscale8, Grayscale16, BGR888, RGB32, ARGB32, ARGB32_Premultiplied,
// RGBX64, RGBA64, RGBA64_Premultiplied.
PixelFormat PixelFormatOf(const QImage &image);
QImage::Format QtFormatFor(PixelFormat format);
// image converted to one of the formats above (other formats become BGR888,
// or ARGB32 when they carry alpha).
QImage ServicePixels(const QImage &image);
QList<QRgb> GreyColourTable(int count);

// Strokes the polyline with the pen on the painter as it is set up (render
// hints included); at least two points.
void StrokePenLines(QPainter &painter, const GpPen &pen, const QPolygonF &points);

// Codecs.
GpStatus DecodeImageFile(const QString &fileName, TRaster &raster);
GpStatus DecodeTiff(const QString &fileName, TRaster &raster);
// compression: 0 for the default, else an EncoderValueCompression* value.
GpStatus EncodeTiff(const TRaster &raster, const QString &fileName, quint32 compression);
// A white 24-bit page of the given size and resolution with source scaled into
// draw, as TIFF, produced row by row without the page ever being built;
// TVellResample::Handles(source) must hold and draw must lie inside the page.
GpStatus EncodeFittedPage(const QImage &source, QSize page, const QRect &draw, float dpi,
                          const QString &fileName);
// qtFormat: "png", "jpeg" or "bmp"; quality -1 for the writer's default.
GpStatus EncodeWithQt(const TRaster &raster, const QString &fileName, const char *qtFormat, int quality);
