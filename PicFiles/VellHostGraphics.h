// The host raster types of the picture library, on Qt: a drawable graphic, a
// drawing surface, a device-independent bitmap with depths of 1 to 32 bits and
// palettes, a picture holder and the clipboard.
#pragma once

#include "Common/VellClasses.h"

#include <QImage>
#include <QPainter>
#include <QRect>

#include <memory>

class QIODevice;

// Any drawable picture: bitmaps, metafiles, codec pictures.
class TGraphic : public TPersistent {
  VELL_CLASS(TGraphic, TPersistent)
public:
  virtual int Width() const = 0;
  virtual int Height() const = 0;
  virtual bool Empty() const { return Width() == 0 || Height() == 0; }
  // Draws the picture into rect, stretched when the sizes differ.
  virtual void Draw(QPainter &painter, const QRect &rect) const = 0;
};

// A drawing surface over a painter that someone else owns.
class TCanvas {
public:
  explicit TCanvas(QPainter &painter) : FPainter(&painter) {}
  virtual ~TCanvas() = default;
  TCanvas(const TCanvas &) = delete;
  TCanvas &operator=(const TCanvas &) = delete;

  // The platform drawing context, for block transfers.
  QPainter &Handle() const { return *FPainter; }
  // The graphic unscaled with its top-left corner at (x, y).
  void Draw(int x, int y, const TGraphic &graphic);
  // The graphic stretched into rect.
  void StretchDraw(const QRect &rect, const TGraphic &graphic);

protected:
  TCanvas() = default;
  void SetPainter(QPainter *painter) { FPainter = painter; }

private:
  QPainter *FPainter = nullptr;
};

// Copies the source rectangle of source into the destination rectangle of
// dest, area-averaged when reducing and interpolated when enlarging, as a
// plain source copy (the source's alpha is not blended). The destination's
// brush origin is kept.
void HalftoneStretchBlt(TCanvas &dest, int x, int y, int width, int height, const TCanvas &source, int sx,
                        int sy, int swidth, int sheight);

// The fixed palettes of the depth conversions: 256 colours (a 6 x 6 x 6 cube
// and 40 further grey levels) and the 16 standard colours.
const QList<QRgb> &HalftonePalette();
const QList<QRgb> &StandardPalette16();

class TBitmapCanvas;

// A device-independent bitmap. Pixels are kept in QImage formats by depth:
// 1 bit Format_Mono, 4 bits Format_Indexed8 with at most 16 colours,
// 8 bits Format_Indexed8, 15 bits Format_RGB555, 16 bits Format_RGB16,
// 24 bits Format_BGR888, 32 bits Format_ARGB32 (bytes B, G, R, A).
class TBitmap : public TGraphic {
  VELL_CLASS(TBitmap, TGraphic)
public:
  TBitmap() = default;
  TBitmap(int width, int height, int pixelDepth);

  int Width() const override { return FImage.width(); }
  int Height() const override { return FImage.height(); }
  // Changes the size; the pixels that stay keep their values, new ones are 0.
  void SetSize(int width, int height);
  // Width and height 0; depth and palette stay.
  void Clear() { SetSize(0, 0); }

  int PixelDepth() const { return FDepth; }
  // Converts the pixels: to 24 and 32 bits exactly (32 bits opaque), to 8
  // and 4 bits to the nearest colour of the halftone and the standard
  // palette, to 1 bit to the nearer of black and white. The same depth
  // changes nothing.
  void SetPixelDepth(int bits);
  // The palette of 1-, 4- and 8-bit pictures.
  QList<QRgb> Palette() const { return FPalette; }
  void SetPalette(const QList<QRgb> &palette);

  bool Transparent = false;
  QRgb TransparentColor = qRgb(0, 0, 0);

  // The pixels in their storage format.
  const QImage &Image() const { return FImage; }
  // Takes pixels of any QImage format; the depth is the one its format stores
  // (a 4-bit depth for an Indexed8 image only when asked for and it has at
  // most 16 colours).
  void SetImage(const QImage &image, int depthHint = 0);
  uchar *ScanLine(int row) { return FImage.scanLine(row); }

  // BMP file form, from and at the stream's position; EStreamError with the
  // codec's reason when the data is no readable BMP.
  void LoadFromStream(QIODevice &stream);
  void SaveToStream(QIODevice &stream) const;
  void LoadFromFile(const QString &fileName);
  void SaveToFile(const QString &fileName) const;
  // The resolution carried by the BMP form, in pixels per metre.
  qint32 XPelsPerMeter = 0;
  qint32 YPelsPerMeter = 0;

  // A bitmap copies the other bitmap; any other graphic is drawn on a blank
  // picture of its size; the clipboard gives its bitmap.
  void Assign(const TPersistent *source) override;
  void Draw(QPainter &painter, const QRect &rect) const override;

private:
  friend class TBitmapCanvas;
  QImage FImage;
  int FDepth = 24;
  QList<QRgb> FPalette;
};

// A drawing session on a bitmap: what is drawn goes into the bitmap's pixels
// when the session ends (in the bitmap's depth, nearest palette colours for
// palette pictures).
class TBitmapCanvas : public TCanvas {
public:
  explicit TBitmapCanvas(TBitmap &bitmap);
  ~TBitmapCanvas() override;

private:
  TBitmap &FBitmap;
  QImage FWork;
  bool FDirect;
  std::unique_ptr<QPainter> FPainter;
};

// Holds one graphic and presents it as a bitmap on demand.
class TPicture : public TPersistent {
  VELL_CLASS(TPicture, TPersistent)
public:
  TGraphic *Graphic() const { return FGraphic.get(); }
  void SetGraphic(std::unique_ptr<TGraphic> graphic) { FGraphic = std::move(graphic); }
  // The held bitmap; a holder without one gets a new empty bitmap in place
  // of what it held.
  TBitmap &Bitmap();

private:
  std::unique_ptr<TGraphic> FGraphic;
};

// The system clipboard's bitmap (needs a GUI application object).
class TClipboard : public TPersistent {
  VELL_CLASS(TClipboard, TPersistent)
public:
  bool HasBitmap() const;
  // The clipboard's image as a 24- or 32-bit bitmap; EConvertError when it
  // holds none.
  void GetBitmap(TBitmap &bitmap) const;
  void SetBitmap(const TBitmap &bitmap);
  // A bitmap source goes onto the clipboard.
  void Assign(const TPersistent *source) override;

protected:
  void AssignTo(TPersistent *dest) const override;
};

// The process's clipboard object.
TClipboard &Clipboard();
