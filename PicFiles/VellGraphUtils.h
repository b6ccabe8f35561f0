// TVellBitmapEx: a 32-bit ARGB picture container (straight alpha, bytes B, G,
// R, A) with a drawing object, direct pixel access, conversions from and to
// the host raster types and the clipboard, and persistence. Its stream and
// file form is a raw pixel record:
//   "VLBMPEX0", version 1, reserved 0, width, height (little-endian 32-bit),
//   then width x height pixels, rows top to bottom, B, G, R, A each;
// an empty container writes nothing. Inside XML it is that record as a
// compressed memory-stream element.
#pragma once

#include "Common/VellClasses.h"
#include "PicFiles/VellHostGraphics.h"
#include "imaging/VellGDIPOBJ.h"

#include <functional>
#include <memory>

class TVellBitmapEx : public TXMLPersistent {
  VELL_CLASS(TVellBitmapEx, TXMLPersistent)
public:
  TVellBitmapEx();
  ~TVellBitmapEx() override;

  // Raised after every replacement of the pixels, and by ReadData once more
  // after it filled them.
  std::function<void(TVellBitmapEx *sender)> OnChange;

  // The bitmap (null after a failed copy) and its drawing object (null
  // without pixels).
  TVellBitmap *Bitmap() const { return FBitmap.get(); }
  TVellGraphics *Graphics() const { return FGraphics.get(); }

  // Without keepContent (or when empty): a blank (transparent black) picture
  // of that size, or none when either is 0. With it: the content stretched
  // to the new size from a source rectangle one pixel smaller than the
  // picture, smoothed (bilinear) or nearest neighbour.
  void SetSize(int width, int height, bool keepContent = false, bool smooth = false);
  void Clear() { SetSize(0, 0); }
  int GetWidth() const;
  int GetHeight() const;
  bool IsEmpty() const { return GetWidth() == 0 || GetHeight() == 0; }

  // Locks the whole picture for reading and writing; null when empty.
  BitmapData *LockBits();
  void UnlockBits();
  // A row's address while locked (assertion failure otherwise).
  uchar *ScanLine(int row) const;

  // Every alpha byte becomes alpha; with keepTransparent, 0 stays 0 and
  // every other becomes at least 1. OnChange is not raised.
  void SetAlpha(quint8 alpha, bool keepTransparent);
  // Same size and, unless both are empty, the same pixels.
  bool SameAs(const TVellBitmapEx &other) const;

  // A copy of the image converted to 32-bit ARGB; null or an empty image clears.
  void AssignFromImage(TVellImage *image);
  // Switches bitmap to 32 bits per pixel (the caller's bitmap changes) and
  // takes it; null or an empty bitmap clears.
  void AssignFromBitmap(TBitmap *bitmap);
  void AssignFromGraphic(const TGraphic &graphic);
  void AssignFromPicture(TPicture *picture);
  void AssignFromClipboard();
  // bitmap becomes a 32-bit copy; an empty container empties it.
  void AssignToBitmap(TBitmap &bitmap) const;
  void AssignToClipboard() const;

  // The raw record. ReadData tells the forms by the stream's size: more than
  // 24 bytes whose header announces exactly the rest is the headed form; up
  // to 8 bytes clears; anything else is the legacy form (width, height, then
  // pixels from offset 8). Pixels the stream does not hold stay blank.
  void ReadData(QIODevice &stream);
  void WriteData(QIODevice &stream) const;

  // The picture drawn on canvas (alpha-blended), top-left corner at (x, y).
  void DrawOn(TCanvas &canvas, int x, int y) const;
  // Lets paint draw on the pixels through a drawing surface.
  void Paint(const std::function<void(TCanvas &)> &paint);

  // Containers copy the picture, bitmaps, graphics, picture holders and the
  // clipboard are taken as their own operations say; null clears.
  void Assign(const TPersistent *source) override;
  // From a container of the same class name: a copy of its picture.
  void AssignXML(const TXMLPersistent *source) override;
  std::unique_ptr<TXMLPersistent> Clone() const override;
  // A missing file fails with EFOpenError.
  void LoadFromFile(const QString &fileName) override;
  void LoadFromStream(QIODevice *stream) override;
  void LoadFromXML(const IXMLNodePtr &element) override;
  void SaveToFile(const QString &fileName) const override;
  void SaveToStream(QIODevice *stream) const override;
  void SaveToXML(const IXMLNodePtr &element) const override;

protected:
  void AssignTo(TPersistent *dest) const override;

private:
  // Installs bitmap (null allowed), makes it 32-bit ARGB, rebuilds the
  // drawing object and raises OnChange.
  void Install(std::unique_ptr<TVellBitmap> bitmap);
  void StretchInto(TVellBitmapEx &dest, int width, int height, bool smooth) const;
  const QImage *Pixels() const;

  std::unique_ptr<TVellBitmap> FBitmap;
  BitmapData FBitmapData;
  std::unique_ptr<TVellGraphics> FGraphics;
  bool FLocked = false;
};
