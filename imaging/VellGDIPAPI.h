// The imaging service: a flat function interface over opaque handles, named
// after the GDI+ operations the wrapper objects call. Pixels live in QImage,
// decoding and encoding of TIFF go through libtiff, PNG/JPEG/BMP/GIF content is
// decoded by its signature whatever the file name says.
//
// Rules shared by every function:
// - nothing throws; the result is a status (Ok = 0);
// - a null handle or null out-pointer gives InvalidParameter;
// - before GdiplusStartup (or after the last GdiplusShutdown) every function
//   except the start/stop pair returns GdiplusNotInitialized;
// - a failing call records a message for the calling thread, read back with
//   GdipLastErrorText();
// - after start-up the functions may be called from several threads at once
//   as long as each object is used by one thread at a time.
#pragma once

#include <QImage>
#include <QPainterPath>
#include <QString>
#include <QUuid>
#include <QtGlobal>

class QIODevice;
class QPaintDevice;
class QPainter;

enum GpStatus : int {
  Ok = 0,
  GenericError = 1,
  InvalidParameter = 2,
  OutOfMemory = 3,
  ObjectBusy = 4,
  InsufficientBuffer = 5,
  NotImplemented = 6,
  Win32Error = 7,
  WrongState = 8,
  Aborted = 9,
  FileNotFound = 10,
  ValueOverflow = 11,
  AccessDenied = 12,
  UnknownImageFormat = 13,
  FontFamilyNotFound = 14,
  FontStyleNotFound = 15,
  NotTrueTypeFont = 16,
  UnsupportedGdiplusVersion = 17,
  GdiplusNotInitialized = 18,
  PropertyNotFound = 19,
  PropertyNotSupported = 20,
  ProfileNotFound = 21,
};

using PixelFormat = qint32;
constexpr PixelFormat PixelFormatDontCare = 0;
constexpr PixelFormat PixelFormat1bppIndexed = 0x30101;
constexpr PixelFormat PixelFormat4bppIndexed = 0x30402;
constexpr PixelFormat PixelFormat8bppIndexed = 0x30803;
constexpr PixelFormat PixelFormat16bppGrayScale = 0x101004;
constexpr PixelFormat PixelFormat24bppRGB = 0x21808;
constexpr PixelFormat PixelFormat32bppRGB = 0x22009;
constexpr PixelFormat PixelFormat32bppARGB = 0x26200A;
constexpr PixelFormat PixelFormat32bppPARGB = 0xE200B;
constexpr PixelFormat PixelFormat48bppRGB = 0x10300C;
constexpr PixelFormat PixelFormat64bppARGB = 0x3400D;
constexpr PixelFormat PixelFormat64bppPARGB = 0x1C400E;

// Bits per pixel of a format code (bits 8 to 15 of the code).
constexpr int GetPixelFormatSize(PixelFormat format) {
  return (format >> 8) & 0xFF;
}
constexpr bool IsIndexedPixelFormat(PixelFormat format) {
  return (format & 0x10000) != 0;
}

using ARGB = quint32;

enum InterpolationMode : int {
  InterpolationModeInvalid = -1,
  InterpolationModeDefault = 0,
  InterpolationModeLowQuality = 1,
  InterpolationModeHighQuality = 2,
  InterpolationModeBilinear = 3,
  InterpolationModeBicubic = 4,
  InterpolationModeNearestNeighbor = 5,
  InterpolationModeHighQualityBilinear = 6,
  InterpolationModeHighQualityBicubic = 7,
};

enum Unit : int {
  UnitWorld = 0,
  UnitDisplay = 1,
  UnitPixel = 2,
  UnitPoint = 3,
  UnitInch = 4,
  UnitDocument = 5,
  UnitMillimeter = 6,
};

enum FillMode : int { FillModeAlternate = 0, FillModeWinding = 1 };

enum SmoothingMode : int {
  SmoothingModeDefault = 0,
  SmoothingModeHighSpeed = 1,
  SmoothingModeHighQuality = 2,
  SmoothingModeNone = 3,
  SmoothingModeAntiAlias = 4,
};

enum DashStyle : int {
  DashStyleSolid = 0,
  DashStyleDash = 1,
  DashStyleDot = 2,
  DashStyleDashDot = 3,
  DashStyleDashDotDot = 4,
  DashStyleCustom = 5,
};

enum LineCap : int {
  LineCapFlat = 0,
  LineCapSquare = 1,
  LineCapRound = 2,
  LineCapTriangle = 3,
  LineCapNoAnchor = 0x10,
  LineCapSquareAnchor = 0x11,
  LineCapRoundAnchor = 0x12,
  LineCapDiamondAnchor = 0x13,
  LineCapArrowAnchor = 0x14,
  LineCapCustom = 0xFF,
};

enum ImageLockMode : quint32 {
  ImageLockModeRead = 1,
  ImageLockModeWrite = 2,
  ImageLockModeUserInputBuf = 4,
};

struct Point {
  int X = 0, Y = 0;
};
struct PointF {
  float X = 0, Y = 0;
};
struct Rect {
  int X = 0, Y = 0, Width = 0, Height = 0;
};
struct RectF {
  float X = 0, Y = 0, Width = 0, Height = 0;
};

// The pixels of a locked area: Scan0 points at the first row, Stride is the
// distance between rows in bytes.
struct BitmapData {
  quint32 Width = 0;
  quint32 Height = 0;
  qint32 Stride = 0;
  ::PixelFormat PixelFormat = 0;
  void *Scan0 = nullptr;
  quintptr Reserved = 0;
};

using CLSID = QUuid;
using GUID = QUuid;

// Encoder parameters. The TIFF encoder understands EncoderCompression with one
// long value (EncoderValueCompression*); the JPEG encoder EncoderQuality (0-100).
enum EncoderParameterValueType : quint32 {
  EncoderParameterValueTypeByte = 1,
  EncoderParameterValueTypeLong = 4,
};
enum EncoderValue : quint32 {
  EncoderValueCompressionLZW = 2,
  EncoderValueCompressionCCITT3 = 3,
  EncoderValueCompressionCCITT4 = 4,
  EncoderValueCompressionRle = 5,
  EncoderValueCompressionNone = 6,
};
inline const GUID EncoderCompression{0xe09d739d, 0xccd4, 0x44ee, 0x8e, 0xba, 0x3f,
                                     0xbf,       0x8b,   0xe4,   0xfc, 0x58};
inline const GUID EncoderQuality{0x1d5be4b5, 0xfa4a, 0x452d, 0x9c, 0xdd, 0x5d, 0xb3, 0x51, 0x05, 0xe7, 0xeb};

struct EncoderParameter {
  GUID Guid;
  quint32 NumberOfValues = 0;
  quint32 Type = 0;
  void *Value = nullptr;
};
struct EncoderParameters {
  quint32 Count = 0;
  EncoderParameter Parameter[1];
};

// One encoder or decoder record. The texts point at static storage of the
// service and stay valid for the life of the process.
struct ImageCodecInfo {
  CLSID Clsid;
  GUID FormatID;
  const char16_t *CodecName = nullptr;
  const char16_t *DllName = nullptr;
  const char16_t *FormatDescription = nullptr;
  const char16_t *FilenameExtension = nullptr;
  const char16_t *MimeType = nullptr;
  quint32 Flags = 0;
  quint32 Version = 0;
  quint32 SigCount = 0;
  quint32 SigSize = 0;
  const quint8 *SigPattern = nullptr;
  const quint8 *SigMask = nullptr;
};

// What a file's header says about one of its images, read without decoding
// pixels. Sizes and resolutions are those of the image as presented: upright,
// with the orientation the file records applied (turned images swap width and
// height).
struct ImageHeader {
  quint32 Width = 0;
  quint32 Height = 0;
  float DpiX = 0; // 0 when the file gives none
  float DpiY = 0;
  ::PixelFormat PixelFormat = PixelFormatDontCare; // what decoding the image gives
  quint32 PageCount = 0;                           // images in the file
  quint16 Orientation = 1;                         // as recorded, 1 to 8 (TIFF and Exif values)
  const char16_t *MimeType = nullptr;              // of the codec that read it
};

struct GdiplusStartupInput {
  quint32 GdiplusVersion = 1;
  void *DebugEventCallback = nullptr;
  bool SuppressBackgroundThread = false;
  bool SuppressExternalCodecs = false;
};
struct GdiplusStartupOutput {
  void *NotificationHook = nullptr;
  void *NotificationUnhook = nullptr;
};

// Opaque handles. Every image of this service is a bitmap.
class GpImage {
public:
  virtual ~GpImage() = default;
  GpImage(const GpImage &) = delete;
  GpImage &operator=(const GpImage &) = delete;

protected:
  GpImage() = default;
};
class GpBitmap : public GpImage {
protected:
  GpBitmap() = default;
};
struct GpGraphics;
struct GpPath;
struct GpCustomLineCap;
struct GpPen;
struct GpImageAttributes;

// Start and stop. Each start-up hands out its own token; the service stays up
// while at least one token has not been shut down. Thread-safe.
GpStatus GdiplusStartup(quintptr *token, const GdiplusStartupInput *input, GdiplusStartupOutput *output);
void GdiplusShutdown(quintptr token);

// The message of the calling thread's most recent failing call (empty after
// none), and a fixed English text for every status.
QString GdipLastErrorText();
QString GdipStatusText(GpStatus status);

// Largest width × height accepted for a decoded or created image (default
// 2^30 pixels); larger ones fail with ValueOverflow before any pixel memory is
// allocated.
qint64 GdipPixelLimit();
void GdipSetPixelLimit(qint64 pixels);

// The screen resolution new bitmaps start with: the primary screen's logical
// dpi when a QGuiApplication with a screen exists, else 96.
float VellScreenResolution();

// Images and bitmaps.
GpStatus GdipCreateBitmapFromFile(const QString &fileName, GpBitmap **bitmap);
GpStatus GdipCreateBitmapFromFileICM(const QString &fileName, GpBitmap **bitmap);
// Image page (0-based) of a file or of a readable device, decoded upright.
// The device is read from its current position.
GpStatus GdipCreateBitmapFromFilePage(const QString &fileName, quint32 page, GpBitmap **bitmap);
GpStatus GdipCreateBitmapFromStream(QIODevice *stream, quint32 page, GpBitmap **bitmap);
// The header of image page (0-based); header->PageCount is the file's page count.
GpStatus GdipReadImageHeader(const QString &fileName, quint32 page, ImageHeader *header);
GpStatus GdipReadImageHeaderFromStream(QIODevice *stream, quint32 page, ImageHeader *header);
// stride 0 with no scan0: a new zero-filled bitmap owning its memory. With
// scan0 the bitmap uses the caller's rows (which must outlive it).
GpStatus GdipCreateBitmapFromScan0(int width, int height, int stride, PixelFormat format, quint8 *scan0,
                                   GpBitmap **bitmap);
// A copy of a platform image (in place of an HBITMAP and its palette).
GpStatus GdipCreateBitmapFromHBITMAP(const QImage &platformBitmap, GpBitmap **bitmap);
GpStatus GdipDisposeImage(GpImage *image);
GpStatus GdipGetImageWidth(GpImage *image, quint32 *width);
GpStatus GdipGetImageHeight(GpImage *image, quint32 *height);
GpStatus GdipGetImageHorizontalResolution(GpImage *image, float *resolution);
GpStatus GdipGetImageVerticalResolution(GpImage *image, float *resolution);
GpStatus GdipGetImagePixelFormat(GpImage *image, PixelFormat *format);
GpStatus GdipSaveImageToFile(GpImage *image, const QString &fileName, const CLSID *encoder,
                             const EncoderParameters *params);
GpStatus GdipCloneBitmapArea(float x, float y, float width, float height, PixelFormat format,
                             GpBitmap *source, GpBitmap **clone);
GpStatus GdipCloneBitmapAreaI(int x, int y, int width, int height, PixelFormat format, GpBitmap *source,
                              GpBitmap **clone);
GpStatus GdipBitmapLockBits(GpBitmap *bitmap, const Rect *rect, quint32 flags, PixelFormat format,
                            BitmapData *lockedData);
GpStatus GdipBitmapUnlockBits(GpBitmap *bitmap, BitmapData *lockedData);
GpStatus GdipBitmapSetResolution(GpBitmap *bitmap, float xdpi, float ydpi);
// Saves as TIFF what a white 24-bit RGB page of pageWidth x pageHeight at dpi
// holds after the image is drawn scaled into draw with the default
// interpolation, without building the page where the image allows.
GpStatus GdipSaveFittedPage(GpImage *image, int pageWidth, int pageHeight, const Rect &draw, float dpi,
                            const QString &fileName);

// Several pages written into one file through one encoder (only TIFF holds
// more than one): each page keeps its own size, pixel format, compression and
// resolution. The file appears, complete, when the writer is committed; a
// writer deleted uncommitted, or one whose page failed, leaves no file and
// an existing file of that name untouched.
struct GpPageWriter;
GpStatus GdipCreatePageWriter(const QString &fileName, const CLSID *encoder, GpPageWriter **writer);
// A writer onto a stream open for reading and writing, from its current
// position; committing completes the data (nothing is undone on failure).
GpStatus GdipCreatePageWriterOnStream(QIODevice *stream, const CLSID *encoder, GpPageWriter **writer);
// The image as a page; params as for GdipSaveImageToFile.
GpStatus GdipPageWriterAddImage(GpPageWriter *writer, GpImage *image, const EncoderParameters *params);
// A page as GdipSaveFittedPage writes it.
GpStatus GdipPageWriterAddFittedPage(GpPageWriter *writer, GpImage *image, int pageWidth, int pageHeight,
                                     const Rect &draw, float dpi);
GpStatus GdipPageWriterCommit(GpPageWriter *writer);
GpStatus GdipDeletePageWriter(GpPageWriter *writer);

// Fast read access to an image's pixels for the other layers (null for a null
// handle). The pointer stays valid until the image is disposed or changed.
const QImage *GdipImagePixels(GpImage *image);

// Drawing surfaces.
GpStatus GdipCreateFromHDC(QPaintDevice *device, GpGraphics **graphics);
GpStatus GdipGetImageGraphicsContext(GpImage *image, GpGraphics **graphics);
GpStatus GdipDeleteGraphics(GpGraphics *graphics);
// The painter of the surface, for direct drawing; other calls on the surface
// fail with ObjectBusy until it is given back.
GpStatus GdipGetDC(GpGraphics *graphics, QPainter **dc);
GpStatus GdipReleaseDC(GpGraphics *graphics, QPainter *dc);
GpStatus GdipSetInterpolationMode(GpGraphics *graphics, InterpolationMode mode);
// Line drawing: aliased by default and with SmoothingModeHighSpeed; anti-aliased
// with SmoothingModeHighQuality and SmoothingModeAntiAlias.
GpStatus GdipSetSmoothingMode(GpGraphics *graphics, SmoothingMode mode);
GpStatus GdipGetSmoothingMode(GpGraphics *graphics, SmoothingMode *mode);
GpStatus GdipGetInterpolationMode(GpGraphics *graphics, InterpolationMode *mode);
GpStatus GdipGraphicsClear(GpGraphics *graphics, ARGB colour);
GpStatus GdipDrawImageI(GpGraphics *graphics, GpImage *image, int x, int y);
GpStatus GdipDrawImageRectI(GpGraphics *graphics, GpImage *image, int x, int y, int width, int height);
GpStatus GdipDrawImageRectRectI(GpGraphics *graphics, GpImage *image, int dstx, int dsty, int dstwidth,
                                int dstheight, int srcx, int srcy, int srcwidth, int srcheight, Unit srcUnit,
                                const GpImageAttributes *attributes, void *callback = nullptr,
                                void *callbackData = nullptr);

// Lines drawn with a pen, with its dashes and custom caps (a polyline needs at
// least two points; points that repeat their predecessor are skipped).
GpStatus GdipDrawLine(GpGraphics *graphics, GpPen *pen, float x1, float y1, float x2, float y2);
GpStatus GdipDrawLines(GpGraphics *graphics, GpPen *pen, const PointF *points, int count);

GpStatus GdipCreateImageAttributes(GpImageAttributes **attributes);
GpStatus GdipDisposeImageAttributes(GpImageAttributes *attributes);

// Figure paths (angles in degrees, clockwise, as on a y-down surface).
GpStatus GdipCreatePath(FillMode fillMode, GpPath **path);
GpStatus GdipDeletePath(GpPath *path);
GpStatus GdipStartPathFigure(GpPath *path);
GpStatus GdipClosePathFigure(GpPath *path);
GpStatus GdipAddPathLine(GpPath *path, float x1, float y1, float x2, float y2);
GpStatus GdipAddPathLine2(GpPath *path, const PointF *points, int count);
GpStatus GdipAddPathArc(GpPath *path, float x, float y, float width, float height, float startAngle,
                        float sweepAngle);
GpStatus GdipAddPathRectangle(GpPath *path, float x, float y, float width, float height);
GpStatus GdipAddPathEllipse(GpPath *path, float x, float y, float width, float height);
GpStatus GdipAddPathPie(GpPath *path, float x, float y, float width, float height, float startAngle,
                        float sweepAngle);
GpStatus GdipAddPathPolygon(GpPath *path, const PointF *points, int count);
GpStatus GdipGetPathFillMode(GpPath *path, FillMode *fillMode);
// The figures of a path as a QPainterPath (null for a null handle).
const QPainterPath *GdipPathFigures(GpPath *path);

// Custom line caps: a fill path or a stroke path (at least one), copied.
GpStatus GdipCreateCustomLineCap(GpPath *fillPath, GpPath *strokePath, LineCap baseCap, float baseInset,
                                 GpCustomLineCap **cap);
GpStatus GdipDeleteCustomLineCap(GpCustomLineCap *cap);
GpStatus GdipGetCustomLineCapBaseCap(GpCustomLineCap *cap, LineCap *baseCap);
GpStatus GdipGetCustomLineCapBaseInset(GpCustomLineCap *cap, float *inset);
// The cap's fill and stroke figures (empty when not given).
GpStatus GdipGetCustomLineCapFigures(GpCustomLineCap *cap, QPainterPath *fill, QPainterPath *stroke);

// Pens: a colour and a width (UnitWorld or UnitPixel; 0 draws one pixel wide),
// solid with flat ends until a dash pattern or custom caps are set. Dash and
// gap lengths count in pen widths; a custom cap is copied into the pen, drawn
// at the line's end scaled by the pen width, and the line is shortened by its
// base inset (in pen widths) so that it ends inside the cap.
GpStatus GdipCreatePen1(ARGB colour, float width, Unit unit, GpPen **pen);
GpStatus GdipDeletePen(GpPen *pen);
GpStatus GdipSetPenDashStyle(GpPen *pen, DashStyle style);
GpStatus GdipGetPenDashStyle(GpPen *pen, DashStyle *style);
// Positive lengths, dash first; an odd count is repeated to an even one.
GpStatus GdipSetPenDashArray(GpPen *pen, const float *dashes, int count);
GpStatus GdipSetPenCustomStartCap(GpPen *pen, GpCustomLineCap *cap);
GpStatus GdipSetPenCustomEndCap(GpPen *pen, GpCustomLineCap *cap);

// Encoders: "image/bmp", "image/jpeg", "image/tiff" and "image/png".
GpStatus GdipGetImageEncodersSize(quint32 *numEncoders, quint32 *size);
GpStatus GdipGetImageEncoders(quint32 numEncoders, quint32 size, ImageCodecInfo *encoders);
