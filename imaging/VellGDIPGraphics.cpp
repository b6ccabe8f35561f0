// Drawing surfaces of the imaging service: a QPainter on a bitmap's pixels or
// on any paint device.
//
// Scaled drawing resamples the source once to the destination size and then
// copies it pixel for pixel: area-averaging when reducing, bilinear when
// enlarging (our own scaler for opaque sources on 24-bit bitmaps, Qt's smooth
// scaling otherwise); only InterpolationModeNearestNeighbor picks single pixels.
#include "imaging/VellGDIPPrivate.h"
#include "imaging/VellResample.h"

#include <QPaintDevice>
#include <QPainter>

#include <cstring>
#include <vector>

struct GpGraphics {
  std::shared_ptr<QImage> Target; // the bitmap's pixels when drawing into a bitmap
  QPainter Painter;
  QSize Size;
  InterpolationMode Mode = InterpolationModeDefault;
  SmoothingMode Smoothing = SmoothingModeNone;
  bool PainterLent = false;
};

namespace {

GpStatus CheckGraphics(const GpGraphics *graphics) {
  if (GpStatus status = GdipCheckCall(graphics); status != Ok)
    return status;
  if (graphics->PainterLent)
    return RecordFailure(ObjectBusy, QStringLiteral("the surface's painter has not been given back"));
  return Ok;
}

GpStatus StartPainting(std::unique_ptr<GpGraphics> surface, QPaintDevice *device, GpGraphics **graphics) {
  if (!surface->Painter.begin(device))
    return RecordFailure(WrongState, QStringLiteral("cannot draw on this surface"));
  surface->Size = QSize(device->width(), device->height());
  *graphics = surface.release();
  return Ok;
}

bool Drawable(const QImage &image) {
  return image.format() != QImage::Format_Mono && image.format() != QImage::Format_MonoLSB &&
         image.format() != QImage::Format_Indexed8;
}

// Qt averages areas only in 32- and 64-bit formats (bilevel and indexed images
// would be sampled), so the source is brought to one of those first.
QImage Resampled(const QImage &source, const QSize &size, InterpolationMode mode) {
  if (mode == InterpolationModeNearestNeighbor)
    return source.scaled(size, Qt::IgnoreAspectRatio, Qt::FastTransformation);
  QImage drawable = source;
  switch (source.format()) {
  case QImage::Format_RGB32:
  case QImage::Format_ARGB32_Premultiplied:
  case QImage::Format_RGBX64:
  case QImage::Format_RGBA64_Premultiplied:
    break;
  case QImage::Format_Grayscale16:
  case QImage::Format_RGBA64:
    drawable = source.convertToFormat(source.hasAlphaChannel() ? QImage::Format_RGBA64_Premultiplied
                                                               : QImage::Format_RGBX64);
    break;
  default:
    drawable = source.convertToFormat(source.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied
                                                               : QImage::Format_RGB32);
  }
  return drawable.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

// The bitmap a surface may write straight into, bypassing its painter: one
// that nobody shares, painted without transformation, clipping or blending.
QImage *DirectTarget(GpGraphics &graphics) {
  const QPainter &painter = graphics.Painter;
  if (!graphics.Target || !graphics.Target->isDetached() || !painter.transform().isIdentity() ||
      painter.hasClipping() || painter.opacity() != 1.0 ||
      painter.compositionMode() != QPainter::CompositionMode_SourceOver)
    return nullptr;
  return graphics.Target.get();
}

// Sets every pixel of a bitmap of whole-byte pixels to the colour, one row
// built from the colour's pixel bytes and copied down the image.
bool FilledDirectly(QImage &target, ARGB colour) {
  if (target.depth() % 8 != 0 || target.colorCount() > 0)
    return false;
  QImage pixel(1, 1, target.format()); // QImage::fill would need the busy painter
  pixel.fill(QColor::fromRgba(colour));
  const int bytes = target.depth() / 8;
  std::vector<uchar> row(size_t(target.width()) * bytes);
  for (size_t offset = 0; offset < row.size(); offset += bytes)
    std::memcpy(&row[offset], pixel.constBits(), bytes);
  for (int y = 0; y < target.height(); ++y)
    std::memcpy(target.scanLine(y), row.data(), row.size());
  return true;
}

// Our own scaler writes opaque sources straight into 24-bit pages.
bool ScaledDirectly(GpGraphics &graphics, const QImage &source, const QRect &dest) {
  QImage *target = DirectTarget(graphics);
  return target && graphics.Mode != InterpolationModeNearestNeighbor &&
         TVellResample::ScaleInto(source, *target, dest);
}

// Draws source (an area of an image) scaled into dest; a negative width or
// height mirrors the image along that axis.
GpStatus DrawScaled(GpGraphics &graphics, const QImage &source, QRect dest) {
  const bool mirrorX = dest.width() < 0, mirrorY = dest.height() < 0;
  if (mirrorX)
    dest = QRect(dest.x() + dest.width(), dest.y(), -dest.width(), dest.height());
  if (mirrorY)
    dest = QRect(dest.x(), dest.y() + dest.height(), dest.width(), -dest.height());
  if (dest.isEmpty() || source.isNull())
    return Ok;
  if (ExceedsPixelLimit(dest.width(), dest.height()))
    return RecordFailure(ValueOverflow, PixelLimitText(dest.width(), dest.height()));
  if (!mirrorX && !mirrorY && ScaledDirectly(graphics, source, dest))
    return Ok;
  QImage scaled = dest.size() == source.size() ? source : Resampled(source, dest.size(), graphics.Mode);
  if (mirrorX || mirrorY)
    scaled = scaled.mirrored(mirrorX, mirrorY);
  if (scaled.isNull())
    return RecordFailure(OutOfMemory, QStringLiteral("out of memory while scaling an image"));
  graphics.Painter.drawImage(dest.topLeft(), scaled);
  return Ok;
}

} // namespace

GpStatus GdipCreateFromHDC(QPaintDevice *device, GpGraphics **graphics) {
  if (GpStatus status = GdipCheckCall(device, graphics); status != Ok)
    return status;
  *graphics = nullptr;
  return StartPainting(std::make_unique<GpGraphics>(), device, graphics);
}

GpStatus GdipGetImageGraphicsContext(GpImage *image, GpGraphics **graphics) {
  if (GpStatus status = GdipCheckCall(image, graphics); status != Ok)
    return status;
  *graphics = nullptr;
  TBitmapObject &bitmap = *TBitmapObject::From(image);
  if (!Drawable(*bitmap.Pixels))
    return RecordFailure(WrongState, QStringLiteral("cannot draw into a bitmap with an indexed pixel format"));
  auto surface = std::make_unique<GpGraphics>();
  surface->Target = bitmap.Pixels;
  QImage *device = surface->Target.get();
  return StartPainting(std::move(surface), device, graphics);
}

GpStatus GdipDeleteGraphics(GpGraphics *graphics) {
  if (GpStatus status = GdipCheckCall(graphics); status != Ok)
    return status;
  delete graphics;
  return Ok;
}

GpStatus GdipGetDC(GpGraphics *graphics, QPainter **dc) {
  if (GpStatus status = CheckGraphics(graphics); status != Ok)
    return status;
  if (!dc)
    return RecordFailure(InvalidParameter, QStringLiteral("a null handle or pointer was passed"));
  graphics->PainterLent = true;
  *dc = &graphics->Painter;
  return Ok;
}

GpStatus GdipReleaseDC(GpGraphics *graphics, QPainter *dc) {
  if (GpStatus status = GdipCheckCall(graphics, dc); status != Ok)
    return status;
  if (!graphics->PainterLent || dc != &graphics->Painter)
    return RecordFailure(InvalidParameter, QStringLiteral("this painter was not lent by the surface"));
  graphics->PainterLent = false;
  return Ok;
}

GpStatus GdipSetInterpolationMode(GpGraphics *graphics, InterpolationMode mode) {
  if (GpStatus status = CheckGraphics(graphics); status != Ok)
    return status;
  if (mode < InterpolationModeDefault || mode > InterpolationModeHighQualityBicubic)
    return RecordFailure(InvalidParameter, QStringLiteral("invalid interpolation mode %1").arg(int(mode)));
  graphics->Mode = mode;
  return Ok;
}

GpStatus GdipGetInterpolationMode(GpGraphics *graphics, InterpolationMode *mode) {
  if (GpStatus status = CheckGraphics(graphics); status != Ok)
    return status;
  if (!mode)
    return RecordFailure(InvalidParameter, QStringLiteral("a null handle or pointer was passed"));
  *mode = graphics->Mode;
  return Ok;
}

GpStatus GdipGraphicsClear(GpGraphics *graphics, ARGB colour) {
  if (GpStatus status = CheckGraphics(graphics); status != Ok)
    return status;
  if (QImage *target = DirectTarget(*graphics);
      target && qAlpha(colour) == 255 && FilledDirectly(*target, colour))
    return Ok;
  QPainter &painter = graphics->Painter;
  const QPainter::CompositionMode previous = painter.compositionMode();
  painter.setCompositionMode(QPainter::CompositionMode_Source);
  painter.fillRect(QRect(QPoint(0, 0), graphics->Size), QColor::fromRgba(colour));
  painter.setCompositionMode(previous);
  return Ok;
}

GpStatus GdipDrawImageI(GpGraphics *graphics, GpImage *image, int x, int y) {
  if (GpStatus status = CheckGraphics(graphics); status != Ok)
    return status;
  if (GpStatus status = GdipCheckCall(image); status != Ok)
    return status;
  graphics->Painter.drawImage(QPoint(x, y), *TBitmapObject::From(image)->Pixels);
  return Ok;
}

GpStatus GdipDrawImageRectI(GpGraphics *graphics, GpImage *image, int x, int y, int width, int height) {
  if (GpStatus status = CheckGraphics(graphics); status != Ok)
    return status;
  if (GpStatus status = GdipCheckCall(image); status != Ok)
    return status;
  return DrawScaled(*graphics, *TBitmapObject::From(image)->Pixels, QRect(x, y, width, height));
}

GpStatus GdipDrawImageRectRectI(GpGraphics *graphics, GpImage *image, int dstx, int dsty, int dstwidth,
                                int dstheight, int srcx, int srcy, int srcwidth, int srcheight, Unit srcUnit,
                                const GpImageAttributes *, void *, void *) {
  if (GpStatus status = CheckGraphics(graphics); status != Ok)
    return status;
  if (GpStatus status = GdipCheckCall(image); status != Ok)
    return status;
  if (srcUnit != UnitPixel)
    return RecordFailure(NotImplemented, QStringLiteral("source rectangles are measured in pixels only"));
  const QImage &pixels = *TBitmapObject::From(image)->Pixels;
  const QRect source(srcx, srcy, srcwidth, srcheight);
  if (source.isEmpty() || !pixels.rect().contains(source))
    return RecordFailure(InvalidParameter, QStringLiteral("the source rectangle is not inside the image"));
  return DrawScaled(*graphics, pixels.copy(source), QRect(dstx, dsty, dstwidth, dstheight));
}

GpStatus GdipSetSmoothingMode(GpGraphics *graphics, SmoothingMode mode) {
  if (GpStatus status = CheckGraphics(graphics); status != Ok)
    return status;
  if (mode < SmoothingModeDefault || mode > SmoothingModeAntiAlias)
    return RecordFailure(InvalidParameter, QStringLiteral("invalid smoothing mode %1").arg(int(mode)));
  graphics->Smoothing = mode;
  return Ok;
}

GpStatus GdipGetSmoothingMode(GpGraphics *graphics, SmoothingMode *mode) {
  if (GpStatus status = CheckGraphics(graphics); status != Ok)
    return status;
  if (!mode)
    return RecordFailure(InvalidParameter, QStringLiteral("a null handle or pointer was passed"));
  *mode = graphics->Smoothing;
  return Ok;
}

GpStatus GdipDrawLine(GpGraphics *graphics, GpPen *pen, float x1, float y1, float x2, float y2) {
  const PointF points[] = {{x1, y1}, {x2, y2}};
  return GdipDrawLines(graphics, pen, points, 2);
}

GpStatus GdipDrawLines(GpGraphics *graphics, GpPen *pen, const PointF *points, int count) {
  if (GpStatus status = CheckGraphics(graphics); status != Ok)
    return status;
  if (GpStatus status = GdipCheckCall(pen, points); status != Ok)
    return status;
  if (count < 2)
    return RecordFailure(InvalidParameter, QStringLiteral("a line needs at least 2 points"));
  QPolygonF polyline;
  for (int i = 0; i < count; ++i)
    polyline << QPointF(points[i].X, points[i].Y);
  QPainter &painter = graphics->Painter;
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing, graphics->Smoothing == SmoothingModeHighQuality ||
                                                    graphics->Smoothing == SmoothingModeAntiAlias);
  StrokePenLines(painter, *pen, polyline);
  painter.restore();
  return Ok;
}
