// Saving an image fitted onto a white page, the batch run's one operation on a
// page: the file equals that of creating a 24-bit page, clearing it to white,
// drawing the image scaled into a rectangle and saving it as TIFF. Opaque
// images the service's scaler takes go straight into the file row by row, so
// the page is never built; others take the long way through a page bitmap.
#include "imaging/VellGDIPPrivate.h"
#include "imaging/VellResample.h"

namespace {

constexpr ARGB OpaqueWhite = 0xFFFFFFFF;

GpStatus SaveBuiltPage(GpImage *image, int pageWidth, int pageHeight, const Rect &draw, float dpi,
                       const QString &fileName) {
  GpBitmap *page = nullptr;
  GpStatus status = GdipCreateBitmapFromScan0(pageWidth, pageHeight, 0, PixelFormat24bppRGB, nullptr, &page);
  if (status != Ok)
    return status;
  GpGraphics *graphics = nullptr;
  status = GdipBitmapSetResolution(page, dpi, dpi);
  if (status == Ok)
    status = GdipGetImageGraphicsContext(page, &graphics);
  if (status == Ok)
    status = GdipGraphicsClear(graphics, OpaqueWhite);
  if (status == Ok)
    status = GdipDrawImageRectI(graphics, image, draw.X, draw.Y, draw.Width, draw.Height);
  if (graphics)
    GdipDeleteGraphics(graphics);
  if (status == Ok) {
    const TBitmapObject &bitmap = *TBitmapObject::From(page);
    status = EncodeTiff(TRaster{*bitmap.Pixels, bitmap.DpiX, bitmap.DpiY, bitmap.Format}, fileName, 0);
  }
  GdipDisposeImage(page);
  return status;
}

} // namespace

GpStatus GdipSaveFittedPage(GpImage *image, int pageWidth, int pageHeight, const Rect &draw, float dpi,
                            const QString &fileName) {
  if (GpStatus status = GdipCheckCall(image); status != Ok)
    return status;
  if (fileName.isEmpty())
    return GdipFail(InvalidParameter, QStringLiteral("no file name was given"));
  const QImage &pixels = *TBitmapObject::From(image)->Pixels;
  const QRect page(0, 0, pageWidth, pageHeight), target(draw.X, draw.Y, draw.Width, draw.Height);
  const bool streamed = !page.isEmpty() && !ExceedsPixelLimit(pageWidth, pageHeight) && !target.isEmpty() &&
                        page.contains(target) && TVellResample::Handles(pixels);
  try {
    return streamed ? EncodeFittedPage(pixels, page.size(), target, dpi, fileName)
                    : SaveBuiltPage(image, pageWidth, pageHeight, draw, dpi, fileName);
  } catch (const std::bad_alloc &) {
    return GdipFail(OutOfMemory, QStringLiteral("out of memory while writing %1").arg(fileName));
  }
}
