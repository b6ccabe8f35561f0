// Windows bitmaps: the format class that keeps its picture in a host
// device-independent bitmap and does its own colour-depth conversions (grey
// levels, black and white, the fixed palettes and an adaptive palette), and
// those conversions.
#pragma once

#include "PicFiles/BasePicFormat.h"

// Every pixel becomes its grey level 0.299 R + 0.587 G + 0.114 B (rounded
// half to even) in all three channels; the bitmap is 24 bits afterwards.
void MakeGray(TBitmap &bitmap);
// Grey levels up to 127 become black, the others white; the bitmap is 1 bit
// afterwards.
void MakeBlackWhite(TBitmap &bitmap);
// An 8-bit bitmap: with quantise an adaptive palette of at most 256 colours
// through the GIF codec, whose process-wide default dither mode becomes
// ditherMode; without, the halftone palette.
void ReduceColors(TBitmap &bitmap, bool quantise, TDitherModeEnum ditherMode);

// Pixels per metre to dots per inch and back, rounded half to even.
quint16 BmpDotsPerInch(qint32 pixelsPerMetre);
qint32 BmpPixelsPerMetre(quint16 dotsPerInch);

class TBmpFormat : public TBasePicFormat {
  VELL_CLASS(TBmpFormat, TBasePicFormat)
public:
  qint32 GetWidth() const override { return FBitmap.Width(); }
  qint32 GetHeight() const override { return FBitmap.Height(); }
  // The image format last asked for by a conversion.
  TImageFormatEnum GetImageFormat() const override { return FImageFormat; }
  quint16 GetXDotsPerInch() const override { return FXDotsPerInch; }
  quint16 GetYDotsPerInch() const override { return FYDotsPerInch; }
  void SetXDotsPerInch(quint16 value) override { FXDotsPerInch = value; }
  void SetYDotsPerInch(quint16 value) override { FYDotsPerInch = value; }
  const TMetaClass &GetAttrClass() const override { return TBmpAttr::StaticClass(); }

  TDitherModeEnum GetDitherMode() const { return FDitherMode; }
  void SetDitherMode(TDitherModeEnum value) { FDitherMode = value; }

  // "BM" at offset 0; the position is 0 afterwards.
  bool CanLoadFromStream(QIODevice &stream) const override;
  // A blank 24-bit picture; the format and the stored image format are left alone.
  void NewImage(int width, int height, TImageFormatEnum format) override;
  void Draw(TCanvas &canvas, int x, int y) const override;
  void StretchDraw(TCanvas &canvas, const QRect &rect, bool smooth) const override;

  // The bitmap's depth, or attr's image format, becomes the picture's.
  void AssignFromBitmap(const TBitmap &bitmap, const TVellPicAttr *attr) override;
  void AssignFromBitmapEx(const TVellBitmapEx &bitmapEx, const TVellPicAttr *attr) override;
  // Graphics other than bitmaps stay true colour without attr.
  void AssignFromGraphic(const TGraphic &graphic, const TVellPicAttr *attr) override;
  // Another BMP format's bitmap is copied whatever its image format; any
  // other format is drawn. Then the wanted image format is made.
  void AssignFromFormat(const TBasePicFormat *format, const TVellPicAttr *attr) override;
  // bitmap becomes a copy, in the bitmap's depth.
  void AssignToBitmap(TBitmap &bitmap) const override;
  // The container takes the bitmap, which is 32 bits afterwards; the image
  // format stays.
  void AssignToBitmapEx(TVellBitmapEx &bitmapEx) override;
  void FillAttr(TVellPicAttr &attr) const override;

  // From position 0, with the resolutions of the info header.
  void LoadFromStream(QIODevice &stream) override;
  // The file with the two resolutions, at the stream's position; the
  // position is left after the file.
  void SaveToStream(QIODevice &stream) override;
  // Size as stored, bit count and resolutions of the file at position 0.
  void ReadInfo(QIODevice &stream, TPicInfo &info) override;

  // Stores format and converts the bitmap to it.
  void ConvertImageFormat(TImageFormatEnum format);

private:
  // With attr (after its class test): its dither mode and resolutions, then
  // its image format; without: the fallback image format.
  void TakeAttr(const TVellPicAttr *attr, TImageFormatEnum fallback);

  TBitmap FBitmap;
  TDitherModeEnum FDitherMode = dmeFloydSteinberg;
  TImageFormatEnum FImageFormat = ifeTrueColor;
  quint16 FXDotsPerInch = 0;
  quint16 FYDotsPerInch = 0;
};
