#include "imaging/VellGDIPOBJ.h"

#include <mutex>
#include <vector>

GpStatus TGdiplusStatus::SetStatus(GpStatus status) {
  if (status != Ok) {
    FLastStatus = status;
    FLastErrorText = GdipLastErrorText();
  }
  return status;
}

GpStatus TGdiplusStatus::SetCreationStatus(GpStatus status) {
  FLastStatus = status;
  FLastErrorText = status == Ok ? QString() : GdipLastErrorText();
  return status;
}

TVellImage::TVellImage(GpImage *native) : FNativeImage(native) {}

TVellImage::~TVellImage() {
  GdipDisposeImage(FNativeImage);
}

quint32 TVellImage::GetWidth() {
  quint32 width = 0;
  return SetStatus(GdipGetImageWidth(FNativeImage, &width)) == Ok ? width : 0;
}

quint32 TVellImage::GetHeight() {
  quint32 height = 0;
  return SetStatus(GdipGetImageHeight(FNativeImage, &height)) == Ok ? height : 0;
}

float TVellImage::GetHorizontalResolution() {
  float resolution = 0;
  return SetStatus(GdipGetImageHorizontalResolution(FNativeImage, &resolution)) == Ok ? resolution : 0;
}

float TVellImage::GetVerticalResolution() {
  float resolution = 0;
  return SetStatus(GdipGetImageVerticalResolution(FNativeImage, &resolution)) == Ok ? resolution : 0;
}

PixelFormat TVellImage::GetPixelFormat() {
  PixelFormat format = PixelFormatDontCare;
  return SetStatus(GdipGetImagePixelFormat(FNativeImage, &format)) == Ok ? format : PixelFormatDontCare;
}

GpStatus TVellImage::Save(const QString &fileName, const CLSID &encoder, const EncoderParameters *params) {
  return SetStatus(GdipSaveImageToFile(FNativeImage, fileName, &encoder, params));
}

GpStatus TVellImage::SaveFittedPage(const QString &fileName, int pageWidth, int pageHeight, const Rect &draw,
                                    float dpi) {
  return SetStatus(GdipSaveFittedPage(FNativeImage, pageWidth, pageHeight, draw, dpi, fileName));
}

GpStatus TVellBitmap::Create(GpStatus status, GpBitmap *native) {
  SetNativeImage(native);
  return SetCreationStatus(status);
}

TVellBitmap::TVellBitmap(const QString &fileName, bool useEmbeddedColorManagement) {
  GpBitmap *native = nullptr;
  const GpStatus status = useEmbeddedColorManagement ? GdipCreateBitmapFromFileICM(fileName, &native)
                                                     : GdipCreateBitmapFromFile(fileName, &native);
  Create(status, native);
}

TVellBitmap::TVellBitmap(const TFilePage &source) {
  GpBitmap *native = nullptr;
  const GpStatus status = GdipCreateBitmapFromFilePage(source.FileName, source.Page, &native);
  Create(status, native);
}

TVellBitmap::TVellBitmap(QIODevice *stream, quint32 page) {
  GpBitmap *native = nullptr;
  const GpStatus status = GdipCreateBitmapFromStream(stream, page, &native);
  Create(status, native);
}

TVellPageWriter::TVellPageWriter(const QString &fileName, const CLSID &encoder) {
  SetCreationStatus(GdipCreatePageWriter(fileName, &encoder, &FNativeWriter));
}

TVellPageWriter::TVellPageWriter(QIODevice *stream, const CLSID &encoder) {
  SetCreationStatus(GdipCreatePageWriterOnStream(stream, &encoder, &FNativeWriter));
}

TVellPageWriter::~TVellPageWriter() {
  GdipDeletePageWriter(FNativeWriter);
}

GpStatus TVellPageWriter::AddImage(TVellImage *image, const EncoderParameters *params) {
  return SetStatus(GdipPageWriterAddImage(FNativeWriter, image ? image->NativeImage() : nullptr, params));
}

GpStatus TVellPageWriter::AddFittedPage(TVellImage *image, int pageWidth, int pageHeight, const Rect &draw,
                                        float dpi) {
  return SetStatus(GdipPageWriterAddFittedPage(FNativeWriter, image ? image->NativeImage() : nullptr,
                                               pageWidth, pageHeight, draw, dpi));
}

GpStatus TVellPageWriter::Commit() {
  return SetStatus(GdipPageWriterCommit(FNativeWriter));
}

TVellBitmap::TVellBitmap(int width, int height, PixelFormat format) {
  GpBitmap *native = nullptr;
  const GpStatus status = GdipCreateBitmapFromScan0(width, height, 0, format, nullptr, &native);
  Create(status, native);
}

TVellBitmap::TVellBitmap(const QImage &platformBitmap) {
  GpBitmap *native = nullptr;
  const GpStatus status = GdipCreateBitmapFromHBITMAP(platformBitmap, &native);
  Create(status, native);
}

TVellBitmap::TVellBitmap(GpBitmap *native) {
  Create(Ok, native);
}

std::unique_ptr<TVellBitmap> TVellBitmap::CloneArea(const RectF &rect, PixelFormat format) {
  GpBitmap *clone = nullptr;
  SetStatus(GdipCloneBitmapArea(rect.X, rect.Y, rect.Width, rect.Height, format, NativeBitmap(), &clone));
  if (GetLastStatus() != Ok) {
    GdipDisposeImage(clone);
    return nullptr;
  }
  return std::make_unique<TVellBitmap>(clone);
}

std::unique_ptr<TVellBitmap> TVellBitmap::CloneArea(const Rect &rect, PixelFormat format) {
  GpBitmap *clone = nullptr;
  const GpStatus status = SetCreationStatus(
      GdipCloneBitmapAreaI(rect.X, rect.Y, rect.Width, rect.Height, format, NativeBitmap(), &clone));
  if (status != Ok)
    return nullptr;
  return std::make_unique<TVellBitmap>(clone);
}

GpStatus TVellBitmap::LockBits(const Rect *rect, quint32 flags, PixelFormat format, BitmapData *data) {
  return SetStatus(GdipBitmapLockBits(NativeBitmap(), rect, flags, format, data));
}

GpStatus TVellBitmap::UnlockBits(BitmapData *data) {
  return SetStatus(GdipBitmapUnlockBits(NativeBitmap(), data));
}

GpStatus TVellBitmap::SetResolution(float xdpi, float ydpi) {
  return SetStatus(GdipBitmapSetResolution(NativeBitmap(), xdpi, ydpi));
}

TVellGraphics::TVellGraphics(TVellImage *image) {
  if (image)
    SetCreationStatus(GdipGetImageGraphicsContext(image->NativeImage(), &FNativeGraphics));
}

TVellGraphics::TVellGraphics(QPaintDevice *device) {
  SetCreationStatus(GdipCreateFromHDC(device, &FNativeGraphics));
}

TVellGraphics::~TVellGraphics() {
  GdipDeleteGraphics(FNativeGraphics);
}

QPainter *TVellGraphics::GetHDC() {
  QPainter *dc = nullptr;
  return SetStatus(GdipGetDC(FNativeGraphics, &dc)) == Ok ? dc : nullptr;
}

void TVellGraphics::ReleaseHDC(QPainter *dc) {
  SetStatus(GdipReleaseDC(FNativeGraphics, dc));
}

GpStatus TVellGraphics::SetInterpolationMode(InterpolationMode mode) {
  return SetStatus(GdipSetInterpolationMode(FNativeGraphics, mode));
}

GpStatus TVellGraphics::SetSmoothing(bool on) {
  return SetInterpolationMode(on ? InterpolationModeHighQualityBilinear : InterpolationModeNearestNeighbor);
}

GpStatus TVellGraphics::Clear(ARGB colour) {
  return SetStatus(GdipGraphicsClear(FNativeGraphics, colour));
}

GpStatus TVellGraphics::DrawImage(TVellImage *image, int x, int y) {
  return SetStatus(GdipDrawImageI(FNativeGraphics, image ? image->NativeImage() : nullptr, x, y));
}

GpStatus TVellGraphics::DrawImage(TVellImage *image, int x, int y, int width, int height) {
  return SetStatus(
      GdipDrawImageRectI(FNativeGraphics, image ? image->NativeImage() : nullptr, x, y, width, height));
}

GpStatus TVellGraphics::DrawImage(TVellImage *image, const Rect &dest, int srcx, int srcy, int srcwidth,
                                  int srcheight, Unit srcUnit, GpImageAttributes *attributes) {
  return SetStatus(GdipDrawImageRectRectI(FNativeGraphics, image ? image->NativeImage() : nullptr, dest.X,
                                          dest.Y, dest.Width, dest.Height, srcx, srcy, srcwidth, srcheight,
                                          srcUnit, attributes));
}

GpStatus TVellGraphics::SetSmoothingMode(SmoothingMode mode) {
  return SetStatus(GdipSetSmoothingMode(FNativeGraphics, mode));
}

GpStatus TVellGraphics::DrawLine(const TVellPen *pen, const PointF &from, const PointF &to) {
  return SetStatus(
      GdipDrawLine(FNativeGraphics, pen ? pen->NativePen() : nullptr, from.X, from.Y, to.X, to.Y));
}

GpStatus TVellGraphics::DrawLines(const TVellPen *pen, const PointF *points, int count) {
  return SetStatus(GdipDrawLines(FNativeGraphics, pen ? pen->NativePen() : nullptr, points, count));
}

TVellGraphicsPath::TVellGraphicsPath(FillMode fillMode) {
  SetCreationStatus(GdipCreatePath(fillMode, &FNativePath));
}

TVellGraphicsPath::~TVellGraphicsPath() {
  GdipDeletePath(FNativePath);
}

GpStatus TVellGraphicsPath::StartFigure() {
  return SetStatus(GdipStartPathFigure(FNativePath));
}

GpStatus TVellGraphicsPath::CloseFigure() {
  return SetStatus(GdipClosePathFigure(FNativePath));
}

GpStatus TVellGraphicsPath::AddLine(const PointF &from, const PointF &to) {
  return SetStatus(GdipAddPathLine(FNativePath, from.X, from.Y, to.X, to.Y));
}

GpStatus TVellGraphicsPath::AddLines(const PointF *points, int count) {
  return SetStatus(GdipAddPathLine2(FNativePath, points, count));
}

GpStatus TVellGraphicsPath::AddArc(const RectF &rect, float startAngle, float sweepAngle) {
  return SetStatus(
      GdipAddPathArc(FNativePath, rect.X, rect.Y, rect.Width, rect.Height, startAngle, sweepAngle));
}

GpStatus TVellGraphicsPath::AddRectangle(const RectF &rect) {
  return SetStatus(GdipAddPathRectangle(FNativePath, rect.X, rect.Y, rect.Width, rect.Height));
}

GpStatus TVellGraphicsPath::AddEllipse(const RectF &rect) {
  return SetStatus(GdipAddPathEllipse(FNativePath, rect.X, rect.Y, rect.Width, rect.Height));
}

GpStatus TVellGraphicsPath::AddPie(const RectF &rect, float startAngle, float sweepAngle) {
  return SetStatus(
      GdipAddPathPie(FNativePath, rect.X, rect.Y, rect.Width, rect.Height, startAngle, sweepAngle));
}

GpStatus TVellGraphicsPath::AddPolygon(const PointF *points, int count) {
  return SetStatus(GdipAddPathPolygon(FNativePath, points, count));
}

TVellCustomLineCap::TVellCustomLineCap(const TVellGraphicsPath *fillPath, const TVellGraphicsPath *strokePath,
                                       LineCap baseCap, float baseInset) {
  SetCreationStatus(GdipCreateCustomLineCap(fillPath ? fillPath->NativePath() : nullptr,
                                            strokePath ? strokePath->NativePath() : nullptr, baseCap,
                                            baseInset, &FNativeCap));
}

TVellCustomLineCap::~TVellCustomLineCap() {
  GdipDeleteCustomLineCap(FNativeCap);
}

TVellPen::TVellPen(ARGB colour, float width) {
  SetCreationStatus(GdipCreatePen1(colour, width, UnitPixel, &FNativePen));
}

TVellPen::~TVellPen() {
  GdipDeletePen(FNativePen);
}

GpStatus TVellPen::SetDashPattern(const QVector<float> &pattern) {
  if (pattern.isEmpty())
    return SetStatus(GdipSetPenDashStyle(FNativePen, DashStyleSolid));
  return SetStatus(GdipSetPenDashArray(FNativePen, pattern.constData(), int(pattern.size())));
}

GpStatus TVellPen::SetCustomStartCap(const TVellCustomLineCap *cap) {
  return SetStatus(GdipSetPenCustomStartCap(FNativePen, cap ? cap->NativeCap() : nullptr));
}

GpStatus TVellPen::SetCustomEndCap(const TVellCustomLineCap *cap) {
  return SetStatus(GdipSetPenCustomEndCap(FNativePen, cap ? cap->NativeCap() : nullptr));
}

int GetEncoderClsid(const QString &mimeType, CLSID &clsid) {
  quint32 count = 0, size = 0;
  if (GdipGetImageEncodersSize(&count, &size) != Ok || size == 0)
    return -1;
  std::vector<ImageCodecInfo> encoders(count);
  if (GdipGetImageEncoders(count, size, encoders.data()) != Ok)
    return -1;
  const QByteArray wanted = mimeType.toLocal8Bit();
  int result = -1;
  for (quint32 i = 0; i < count; ++i)
    if (QString::fromUtf16(encoders[i].MimeType).toLocal8Bit() == wanted) {
      clsid = encoders[i].Clsid;
      result = int(i);
    }
  return result;
}

namespace {
std::mutex gModuleMutex;
quintptr gModuleToken = 0;
} // namespace

void VellGdiplusStartup() {
  std::lock_guard lock(gModuleMutex);
  if (gModuleToken == 0) {
    const GdiplusStartupInput input;
    GdiplusStartup(&gModuleToken, &input, nullptr);
  }
}

void VellGdiplusShutdown() {
  std::lock_guard lock(gModuleMutex);
  if (gModuleToken != 0)
    GdiplusShutdown(gModuleToken);
  gModuleToken = 0;
}
