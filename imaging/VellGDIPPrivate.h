// Internals shared by the parts of the imaging service: the bitmap object
// behind a GpImage handle, the pixel-format mapping and the call checks.
// Not for use outside imaging/.
#pragma once

#include "imaging/VellGDIPAPI.h"
#include "imaging/VellImageCodecs.h"

#include <QImage>
#include <QPolygonF>
#include <QString>
#include <memory>

// The object behind every GpImage/GpBitmap handle. The pixels are shared with
// the drawing surfaces opened on the bitmap, so a surface never outlives them.
class TBitmapObject final : public GpBitmap {
public:
  explicit TBitmapObject(TRaster raster);
  static TBitmapObject *From(GpImage *image) { return static_cast<TBitmapObject *>(image); }
  TRaster Raster() const { return {*Pixels, DpiX, DpiY, Format, IccProfile}; }

  std::shared_ptr<QImage> Pixels;
  float DpiX;
  float DpiY;
  PixelFormat Format;
  QByteArray IccProfile;

  // State of the one LockBits area that may be open at a time.
  struct TLock {
    bool Active = false;
    bool Direct = false;
    QRect Area;
    quint32 Flags = 0;
    QImage Buffer;
  } Lock;
};

bool GdipServiceStarted();
// A new handle owning raster.
GpStatus HandOutBitmap(TRaster raster, GpBitmap **bitmap);

// The checks every flat function starts with: the service is up and no
// handle or pointer is null.
template <typename... Ptrs> GpStatus GdipCheckCall(const Ptrs *...pointers) {
  if (!GdipServiceStarted())
    return RecordFailure(GdiplusNotInitialized, QStringLiteral("the imaging service is not started"));
  const bool anyNull = ((pointers == nullptr) || ...);
  if (anyNull)
    return RecordFailure(InvalidParameter, QStringLiteral("a null handle or pointer was passed"));
  return Ok;
}

// Strokes the polyline with the pen on the painter as it is set up (render
// hints included); at least two points.
void StrokePenLines(QPainter &painter, const GpPen &pen, const QPolygonF &points);

// A white 24-bit page of the given size and resolution with source scaled into
// draw, as rows for an encoder, produced without the page ever being built;
// TVellResample::Handles(source) must hold and draw must lie inside the page.
// The page refers to source, which must outlive it.
TEncodePage FittedPageRows(const QImage &source, QSize page, const QRect &draw, float dpi);
