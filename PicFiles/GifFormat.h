// GIF pictures: the GIF codec picture on the imaging layer's GIF codec, which
// reduces what it takes to an adaptive palette with the chosen dither
// kernel, and the format class around it.
#pragma once

#include "PicFiles/CodecPicFormat.h"
#include "PicFiles/VellPicAttrs.h"

VELL_DECLARE_ERROR(EGIFError, EVellError) // the GIF codec's failures

// An 8-bit palette picture. Pictures that come in through TakeBitmap are
// reduced to an adaptive palette of at most 256 colours, mapped with the
// picture's dither mode. The image data is saved LZW-coded whatever
// Compression says (gceRLE is kept as a setting only).
class TGifGraphic : public TRasterCodecPicture {
  VELL_CLASS(TGifGraphic, TRasterCodecPicture)
public:
  // The process-wide default dither mode, which every new picture (and every
  // Reset) takes.
  static TDitherModeEnum DefaultDitherMode;

  TGifGraphic() { Reset(); }
  TGIFCompressionEnum Compression = gceLZW;
  TDitherModeEnum DitherMode = dmeFloydSteinberg;

  // Empty, with the settings of a new picture.
  void Reset();
  // The bitmap's colours reduced to an adaptive palette.
  void TakeBitmap(const TBitmap &bitmap);
  // The depth of the colour table.
  int BitsPerPixel() const { return FBitsPerPixel; }

  // Always an 8-bit picture with the halftone palette.
  void NewImage(int width, int height, TImageFormatEnum format) override;
  void CopyFrom(const TCodecPicture &source) override;
  void LoadFromStream(QIODevice &stream) override;
  void SaveToStream(QIODevice &stream) const override;
  bool CanLoadFromStream(QIODevice &stream) const override;
  // Decodes the whole file: size and colour-table depth; the resolutions
  // are left alone.
  void ReadHeader(QIODevice &stream, TPicInfo &info) const override;

private:
  int FBitsPerPixel = 8;
};

class TGifFormat : public TCodecPicFormat {
  VELL_CLASS(TGifFormat, TCodecPicFormat)
public:
  TGifFormat();
  const TMetaClass &GetAttrClass() const override { return TGifAttr::StaticClass(); }
  TImageFormatEnum GetImageFormat() const override { return ifeColor256; }
  // GIF files carry no resolution: 0, and writes are ignored.
  quint16 GetXDotsPerInch() const override { return 0; }
  quint16 GetYDotsPerInch() const override { return 0; }
  void SetXDotsPerInch(quint16) override {}
  void SetYDotsPerInch(quint16) override {}
  // "GIF" (any case) at offset 0, else at offset 4; the position is left
  // after the last read.
  bool CanLoadFromStream(QIODevice &stream) const override;
  // A width × height picture; the format is ignored.
  void NewImage(int width, int height, TImageFormatEnum format) override;
  // The colours are reduced with attr's dither mode, else the current one;
  // a picture taken without attr starts with the default settings.
  void AssignFromBitmap(const TBitmap &bitmap, const TVellPicAttr *attr) override;
  void AssignFromBitmapEx(const TVellBitmapEx &bitmapEx, const TVellPicAttr *attr) override;
  void AssignFromGraphic(const TGraphic &graphic, const TVellPicAttr *attr) override;
  void AssignFromFormat(const TBasePicFormat *format, const TVellPicAttr *attr) override;

  TGIFCompressionEnum GetCompression() const { return Gif().Compression; }
  void SetCompression(TGIFCompressionEnum value) { Gif().Compression = value; }
  TDitherModeEnum GetDitherMode() const { return Gif().DitherMode; }
  void SetDitherMode(TDitherModeEnum value) { Gif().DitherMode = value; }

protected:
  bool HasOptions() const override { return true; }
  void ApplyOptions(const TVellPicAttr &attr) override;
  void FillOptions(TVellPicAttr &attr) const override;
  void CopyOptions(const TCodecPicFormat &source) override;

private:
  TGifGraphic &Gif() const { return static_cast<TGifGraphic &>(Picture()); }
};
