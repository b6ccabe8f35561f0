// PNG pictures: the PNG codec picture on the imaging layer's PNG codec,
// chunk-level (header, palette, transparency, physical dimensions and the
// other ancillary chunks kept through a load and save), and the format class
// around it with zlib level, interlace and the alpha channel.
#pragma once

#include "PicFiles/CodecPicFormat.h"
#include "PicFiles/VellPicAttrs.h"
#include "imaging/VellPngCodec.h"

VELL_DECLARE_ERROR(EPNGError, EVellError) // the PNG codec's failures, with libpng's message

// The pixels are the raster picture's bitmap (8-bit grey ramp, 24 or
// 32 bits); a loaded picture also keeps its decoded pixels at their own depth
// until it is drawn on, so that 16-bit and low-depth files save as they came.
class TPngGraphic : public TRasterCodecPicture {
  VELL_CLASS(TPngGraphic, TRasterCodecPicture)
public:
  int Level = 6; // zlib level 0 to 9

  const TPngHeader &Header() const { return FPng.Header; }
  bool Interlaced() const { return FPng.Header.Interlaced; }
  void SetInterlaced(bool value) { FPng.Header.Interlaced = value; }
  // Gray (0) or RGB (2); with alpha 4 or 6.
  int ColorType() const { return FPng.Header.ColorType; }
  // Alpha 255 for every pixel (grey → grey with alpha, RGB → RGB with alpha);
  // a palette picture gets full alpha for every palette index.
  void AddAlpha();
  // Grey with alpha → grey, RGB with alpha → RGB; a palette picture loses
  // its transparency.
  void RemoveTransparency();
  // The single transparent colour of a grey or RGB file, as a colour.
  bool HasTransparentColor() const { return FPng.HasTransparentColor; }
  QRgb TransparentColor() const;
  // The bitmap's pixels with the colour type its depth keeps.
  void TakeBitmap(const TBitmap &bitmap);
  // The resolution in the pHYs chunk, which reading or writing adds (unit
  // metre) when the picture has none.
  quint16 XDotsPerInch() const override;
  quint16 YDotsPerInch() const override;
  void SetXDotsPerInch(quint16 value) override;
  void SetYDotsPerInch(quint16 value) override;

  // ifeGray256 for colour types 0 and 4, ifeTrueColor for the others.
  TImageFormatEnum ImageFormat() const override;
  std::unique_ptr<TCanvas> Surface() override;
  // Grey below ifeColor16, RGB otherwise; no alpha.
  void NewImage(int width, int height, TImageFormatEnum format) override;
  void CopyFrom(const TCodecPicture &source) override;
  void Clear() override;
  void LoadFromStream(QIODevice &stream) override;
  void SaveToStream(QIODevice &stream) const override;
  bool CanLoadFromStream(QIODevice &stream) const override;
  // Size and bits per pixel by bit depth and colour type; the resolutions
  // are left alone.
  void ReadHeader(QIODevice &stream, TPicInfo &info) const override;

private:
  void SetColorType(int colorType);
  // The pixels as they are saved: the decoded ones until the picture was drawn on.
  QImage SavedPixels() const;
  void EnsurePhys() const;
  mutable TPngPicture FPng; // mutable: reading a resolution adds the pHYs chunk
};

class TPngFormat : public TCodecPicFormat {
  VELL_CLASS(TPngFormat, TCodecPicFormat)
public:
  TPngFormat();
  const TMetaClass &GetAttrClass() const override { return TPngAttr::StaticClass(); }
  bool IsFeatureSupported() const override { return true; }
  // The 8 signature bytes at the position; the position is kept.
  bool CanLoadFromStream(QIODevice &stream) const override;
  // Decodes from position 0; the resolutions come from a pHYs chunk in
  // metres (else 0) and are written back, so the picture ends with one.
  void LoadFromStream(QIODevice &stream) override;
  void NewImage(int width, int height, TImageFormatEnum format) override;
  void AssignFromBitmap(const TBitmap &bitmap, const TVellPicAttr *attr) override;
  void AssignFromBitmapEx(const TVellBitmapEx &bitmapEx, const TVellPicAttr *attr) override;
  // A 24-bit bitmap with the picture's transparent colour.
  void AssignToBitmap(TBitmap &bitmap) const override;
  // The picture drawn, then its alpha or its transparent colour as alpha.
  void AssignToBitmapEx(TVellBitmapEx &bitmapEx) override;

  TPngCompressionLevelEnum GetCompressionLevel() const;
  void SetCompressionLevel(TPngCompressionLevelEnum value);
  TPngInterlaceMethodEnum GetInterlaceMethod() const { return Png().Interlaced() ? pimAdam7 : pimNone; }
  void SetInterlaceMethod(TPngInterlaceMethodEnum value) { Png().SetInterlaced(value == pimAdam7); }
  bool GetNeedSaveAlpha() const;
  void SetNeedSaveAlpha(bool value);

protected:
  bool HasOptions() const override { return true; }
  void ApplyOptions(const TVellPicAttr &attr) override;
  void FillOptions(TVellPicAttr &attr) const override;
  void CopyOptions(const TCodecPicFormat &source) override;

private:
  TPngGraphic &Png() const { return static_cast<TPngGraphic &>(Picture()); }
};
