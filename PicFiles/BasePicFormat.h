// The abstract picture format: one picture as the codec of one file format
// sees it, its conversions from and to bitmaps, 32-bit containers, graphics
// and other formats, file and stream load and save, and the format-class
// registry.
#pragma once

#include "Common/VellClassRegistry.h"
#include "PicFiles/VellHostGraphics.h"
#include "PicFiles/VellPicAttrs.h"

class QIODevice;
class TVellBitmapEx;

// Header information that ReadInfo fills; fields a format does not read keep
// what the caller put there.
struct TPicInfo {
  qint32 Width = 0;
  qint32 Height = 0; // as the file stores it (a BMP height may be negative)
  qint32 BitsPerPixel = 0;
  quint16 XDotsPerInch = 0;
  quint16 YDotsPerInch = 0;
  TPicOperations Operations;
};

// Base of the eleven formats. Abstract operations fail with EAbstractError
// "Abstract Error".
class TBasePicFormat : public TPersistent {
  VELL_CLASS(TBasePicFormat, TPersistent)
public:
  // A format takes another format, a 32-bit container or a bitmap; other
  // sources are asked to copy themselves; without a source the picture
  // becomes 0 x 0 true colour.
  void Assign(const TPersistent *source) override;

  // Width 0 or height 0 (the height is not asked when the width is 0).
  bool GetEmpty() const;
  virtual qint32 GetHeight() const;
  virtual TImageFormatEnum GetImageFormat() const;
  virtual qint32 GetWidth() const;
  virtual quint16 GetXDotsPerInch() const;
  virtual quint16 GetYDotsPerInch() const;
  virtual void SetXDotsPerInch(quint16 value);
  virtual void SetYDotsPerInch(quint16 value);

  // Whether the format has its optional feature (nothing in the library asks).
  virtual bool IsFeatureSupported() const;
  // Signature test of the stream's content; the position is left as it was.
  virtual bool CanLoadFromStream(QIODevice &stream) const;
  // The picture unscaled, top-left corner at (x, y).
  virtual void Draw(TCanvas &canvas, int x, int y) const;
  // Take a picture; attr is null or of the format's attribute class.
  virtual void AssignFromBitmap(const TBitmap &bitmap, const TVellPicAttr *attr);
  virtual void AssignFromBitmapEx(const TVellBitmapEx &bitmapEx, const TVellPicAttr *attr);
  virtual void AssignFromGraphic(const TGraphic &graphic, const TVellPicAttr *attr);
  // A null format empties the picture. The base raises an assertion failure.
  virtual void AssignFromFormat(const TBasePicFormat *format, const TVellPicAttr *attr);
  // The attribute class, which answers the default extension and the filter.
  virtual const TMetaClass &GetAttrClass() const;
  // Opens the file for reading and loads it from position 0.
  virtual void LoadFromFile(const QString &fileName);
  virtual void LoadFromStream(QIODevice &stream);
  // Replaces the picture by a blank one.
  virtual void NewImage(int width, int height, TImageFormatEnum format);
  // Header data without keeping a picture; the base sets Operations to
  // {poLoad, poSave} and nothing else.
  virtual void ReadInfo(QIODevice &stream, TPicInfo &info);
  // Creates the missing folders and replaces the file atomically: a failing
  // encoder leaves no partial file and the previous one as it was.
  virtual void SaveToFile(const QString &fileName);
  // Encodes at the stream's position.
  virtual void SaveToStream(QIODevice &stream);
  virtual void StretchDraw(TCanvas &canvas, const QRect &rect, bool smooth) const;
  // The bitmap takes the picture's size and the picture is drawn on it; it
  // keeps its depth.
  virtual void AssignToBitmap(TBitmap &bitmap) const;
  // The container becomes an opaque blank of the picture's size and the
  // picture is drawn on it.
  virtual void AssignToBitmapEx(TVellBitmapEx &bitmapEx);
  // Resolutions and image format into attr; formats add their options.
  virtual void FillAttr(TVellPicAttr &attr) const;

  // 1 bit: black and white; 4: 16 colours; 8: 256 colours; others true colour.
  static TImageFormatEnum PixelFormatToImageFormat(int pixelDepth);

protected:
  // Assertion failure unless attr is of the format's attribute class.
  void CheckAttrClass(const TVellPicAttr &attr) const;
};

// The format classes, in registration order.
class TPicFormatClassList : public TClassRegistry<TPicFormatClassList> {};
TPicFormatClassList &PicFormatClassList();
void RegisterPicFormat(const TMetaClass &formatClass);
