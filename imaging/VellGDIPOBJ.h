// Wrapper objects over the imaging service. Each owns one native handle and
// releases it when destroyed (also a null one), and remembers the status of
// its most recent failing call: an Ok result never clears a recorded failure,
// except that constructors record their creation status whatever it is.
// Nothing throws; failed reads return neutral values (0, none).
#pragma once

#include "imaging/VellGDIPAPI.h"

#include <QImage>
#include <QString>
#include <QVector>
#include <memory>

class QPaintDevice;
class QPainter;

class TGdiplusBase {
public:
  virtual ~TGdiplusBase() = default;
  TGdiplusBase() = default;
  TGdiplusBase(const TGdiplusBase &) = delete;
  TGdiplusBase &operator=(const TGdiplusBase &) = delete;
};

// The status bookkeeping shared by the wrappers.
class TGdiplusStatus {
public:
  GpStatus GetLastStatus() const { return FLastStatus; }
  // The message recorded with the last failing status (empty when none).
  QString GetLastErrorText() const { return FLastErrorText; }

protected:
  // Records a failing status and returns status unchanged.
  GpStatus SetStatus(GpStatus status);
  // Records status whatever it is (creation calls).
  GpStatus SetCreationStatus(GpStatus status);

private:
  GpStatus FLastStatus = Ok;
  QString FLastErrorText;
};

class TVellImage : public TGdiplusBase, public TGdiplusStatus {
public:
  explicit TVellImage(GpImage *native = nullptr); // takes ownership
  ~TVellImage() override;

  quint32 GetWidth();
  quint32 GetHeight();
  float GetHorizontalResolution();
  float GetVerticalResolution();
  PixelFormat GetPixelFormat(); // PixelFormatDontCare when the call fails
  GpStatus Save(const QString &fileName, const CLSID &encoder, const EncoderParameters *params = nullptr);
  // Saves the image fitted onto a white page as TIFF (GdipSaveFittedPage).
  GpStatus SaveFittedPage(const QString &fileName, int pageWidth, int pageHeight, const Rect &draw,
                          float dpi);
  GpImage *NativeImage() const { return FNativeImage; }

protected:
  void SetNativeImage(GpImage *native) { FNativeImage = native; }

private:
  GpImage *FNativeImage = nullptr;
};

// One image of a file with several (0-based page index).
struct TFilePage {
  QString FileName;
  quint32 Page = 0;
};

class TVellBitmap : public TVellImage {
public:
  TVellBitmap(const QString &fileName, bool useEmbeddedColorManagement = false);
  explicit TVellBitmap(const TFilePage &source);
  TVellBitmap(QIODevice *stream, quint32 page); // read from the stream's current position
  TVellBitmap(int width, int height, PixelFormat format);
  explicit TVellBitmap(const QImage &platformBitmap); // in place of an HBITMAP and its palette
  explicit TVellBitmap(GpBitmap *native);             // takes ownership, status Ok

  // A copy of an area in the given format; none when the copy failed.
  std::unique_ptr<TVellBitmap> CloneArea(const RectF &rect, PixelFormat format);
  std::unique_ptr<TVellBitmap> CloneArea(const Rect &rect, PixelFormat format);
  GpStatus LockBits(const Rect *rect, quint32 flags, PixelFormat format, BitmapData *data);
  GpStatus UnlockBits(BitmapData *data);
  GpStatus SetResolution(float xdpi, float ydpi);
  GpBitmap *NativeBitmap() const { return static_cast<GpBitmap *>(NativeImage()); }

private:
  GpStatus Create(GpStatus status, GpBitmap *native);
};

// Several pages written into one file (only TIFF holds more than one); the
// file appears, complete, when Commit succeeds, and not at all otherwise.
class TVellPageWriter : public TGdiplusBase, public TGdiplusStatus {
public:
  TVellPageWriter(const QString &fileName, const CLSID &encoder);
  TVellPageWriter(QIODevice *stream, const CLSID &encoder);
  ~TVellPageWriter() override;

  GpStatus AddImage(TVellImage *image, const EncoderParameters *params = nullptr);
  // The page TVellImage::SaveFittedPage would write.
  GpStatus AddFittedPage(TVellImage *image, int pageWidth, int pageHeight, const Rect &draw, float dpi);
  GpStatus Commit();

private:
  GpPageWriter *FNativeWriter = nullptr;
};

class TVellPen;

class TVellGraphics : public TGdiplusBase, public TGdiplusStatus {
public:
  explicit TVellGraphics(TVellImage *image);    // null image: no call, null handle
  explicit TVellGraphics(QPaintDevice *device); // in place of an HDC
  ~TVellGraphics() override;

  QPainter *GetHDC(); // null when the call fails
  void ReleaseHDC(QPainter *dc);
  GpStatus SetInterpolationMode(InterpolationMode mode);
  GpStatus SetSmoothing(bool on); // high-quality bilinear when on, nearest neighbour when off
  GpStatus SetSmoothingMode(SmoothingMode mode);
  GpStatus Clear(ARGB colour);
  GpStatus DrawLine(const TVellPen *pen, const PointF &from, const PointF &to);
  GpStatus DrawLines(const TVellPen *pen, const PointF *points, int count);
  GpStatus DrawImage(TVellImage *image, int x, int y);
  GpStatus DrawImage(TVellImage *image, int x, int y, int width, int height);
  GpStatus DrawImage(TVellImage *image, const Rect &dest, int srcx, int srcy, int srcwidth, int srcheight,
                     Unit srcUnit, GpImageAttributes *attributes = nullptr);
  GpGraphics *NativeGraphics() const { return FNativeGraphics; }

private:
  GpGraphics *FNativeGraphics = nullptr;
};

class TVellGraphicsPath : public TGdiplusBase, public TGdiplusStatus {
public:
  explicit TVellGraphicsPath(FillMode fillMode = FillModeAlternate);
  ~TVellGraphicsPath() override;

  GpStatus StartFigure();
  GpStatus CloseFigure();
  GpStatus AddLine(const PointF &from, const PointF &to);
  GpStatus AddLines(const PointF *points, int count);
  GpStatus AddArc(const RectF &rect, float startAngle, float sweepAngle);
  GpStatus AddRectangle(const RectF &rect);
  GpStatus AddEllipse(const RectF &rect);
  GpStatus AddPie(const RectF &rect, float startAngle, float sweepAngle);
  GpStatus AddPolygon(const PointF *points, int count);
  GpPath *NativePath() const { return FNativePath; }

private:
  GpPath *FNativePath = nullptr;
};

class TVellCustomLineCap : public TGdiplusBase, public TGdiplusStatus {
public:
  TVellCustomLineCap(const TVellGraphicsPath *fillPath, const TVellGraphicsPath *strokePath,
                     LineCap baseCap = LineCapFlat, float baseInset = 0);
  ~TVellCustomLineCap() override;
  GpCustomLineCap *NativeCap() const { return FNativeCap; }

private:
  GpCustomLineCap *FNativeCap = nullptr;
};

class TVellPen : public TGdiplusBase, public TGdiplusStatus {
public:
  explicit TVellPen(ARGB colour, float width = 1);
  ~TVellPen() override;

  // Dash and gap lengths in pen widths, dash first; an empty pattern draws solid.
  GpStatus SetDashPattern(const QVector<float> &pattern);
  GpStatus SetCustomStartCap(const TVellCustomLineCap *cap);
  GpStatus SetCustomEndCap(const TVellCustomLineCap *cap);
  GpPen *NativePen() const { return FNativePen; }

private:
  GpPen *FNativePen = nullptr;
};

// Index of the encoder whose MIME type equals mimeType exactly (the last one
// when several do) and its identifier in clsid; -1 and clsid untouched when
// none does.
int GetEncoderClsid(const QString &mimeType, CLSID &clsid);

// The module's start and stop of the imaging service (one token per module).
void VellGdiplusStartup();
void VellGdiplusShutdown();
