// TIFF pictures: the TIFF codec picture on the imaging layer's libtiff
// layer (the same reader and writer the imaging service uses) and the format
// class around it, which checks the compression against the image format.
#pragma once

#include "PicFiles/CodecPicFormat.h"
#include "PicFiles/VellPicAttrs.h"

VELL_DECLARE_ERROR(ETIFF, EVellError) // the TIFF codec's failures, with libtiff's reason

// Decodes the first image of a file; encodes one image with one strip (eight
// rows a strip for JPEG), resolution in inches and the layout of its image
// format: black and white in 1 bit (white is zero for the CCITT schemes,
// black otherwise), 16 grey levels and 16 colours in 4 bits, 256 grey levels
// and 256 colours in 8 bits (the colours as colour map), true colour as
// 8-bit RGB.
class TTiffGraphic : public TRasterCodecPicture {
  VELL_CLASS(TTiffGraphic, TRasterCodecPicture)
public:
  TTiffCompressionEnum Compression = tceNone;
  TJpegQuality JpegQuality = 70;

  // Whether an image format can be stored with a compression scheme.
  static bool Allows(TImageFormatEnum format, TTiffCompressionEnum compression);

  void LoadFromStream(QIODevice &stream) override;
  // A compression the image format does not allow (the format changed after
  // it was set) saves uncompressed.
  void SaveToStream(QIODevice &stream) const override;
  // "II" 42 0 or "MM" 0 42 at the position, which is kept.
  bool CanLoadFromStream(QIODevice &stream) const override;
  // ETIFF "TIFFOpen" when libtiff cannot open the stream, "Bits per sample
  // not specified" when the first directory has none and is no fax image.
  // Resolutions are rounded half to even, from centimetres for units other
  // than none and inch; bits per pixel are the bytes a row takes per pixel
  // (rounded, at least 1) times the bits per sample.
  void ReadHeader(QIODevice &stream, TPicInfo &info) const override;
};

class TTiffFormat : public TCodecPicFormat {
  VELL_CLASS(TTiffFormat, TCodecPicFormat)
public:
  TTiffFormat();
  const TMetaClass &GetAttrClass() const override { return TTiffAttr::StaticClass(); }

  TTiffCompressionEnum GetCompression() const { return Tiff().Compression; }
  // Stores value when the current image format allows it, else tceNone.
  void SetCompression(TTiffCompressionEnum value);
  TJpegQuality GetJpegQuality() const { return Tiff().JpegQuality; }
  void SetJpegQuality(TJpegQuality value) { Tiff().JpegQuality = value; }

protected:
  bool HasOptions() const override { return true; }
  void ApplyOptions(const TVellPicAttr &attr) override;
  void FillOptions(TVellPicAttr &attr) const override;
  void CopyOptions(const TCodecPicFormat &source) override;

private:
  TTiffGraphic &Tiff() const { return static_cast<TTiffGraphic &>(Picture()); }
};
