// JPEG/JFIF pictures: the JPEG codec picture on the imaging layer's JPEG codec
// and the format class around it with quality, progressive saving and
// optimised Huffman tables.
#pragma once

#include "PicFiles/CodecPicFormat.h"
#include "PicFiles/VellPicAttrs.h"

VELL_DECLARE_ERROR(EJPEG, EVellError) // the JPEG codec's failures, with libjpeg's message

// Grey pictures (ifeGray256, 8 bits with the grey ramp) or true colour
// (24 bits). Fresh pictures save with quality 80, neither progressive nor
// with optimised Huffman tables.
class TJpegGraphic : public TRasterCodecPicture {
  VELL_CLASS(TJpegGraphic, TRasterCodecPicture)
public:
  TJpegQuality Quality = 80;
  bool Progressive = false;
  bool OptimizedHuffman = false;

  // ifeGray256 for the formats below ifeColor16, ifeTrueColor for the others.
  void NewImage(int width, int height, TImageFormatEnum format) override;
  void LoadFromStream(QIODevice &stream) override;
  // EJPEG "JPEG image must be gray scale or true color" for any other format.
  void SaveToStream(QIODevice &stream) const override;
  bool CanLoadFromStream(QIODevice &stream) const override;
  // Size, 8 or 24 bits, and the resolution in dots per inch: as stored for
  // density unit 1, dots per centimetre × 2.54 rounded half to even for
  // unit 2, 0 otherwise. EJPEG "Unsupported color space" for colour spaces
  // other than grey, RGB, YCbCr, CMYK and YCCK.
  void ReadHeader(QIODevice &stream, TPicInfo &info) const override;
};

class TJpgFormat : public TCodecPicFormat {
  VELL_CLASS(TJpgFormat, TCodecPicFormat)
public:
  TJpgFormat();
  const TMetaClass &GetAttrClass() const override { return TJpgAttr::StaticClass(); }
  bool IsFeatureSupported() const override { return true; }
  // At least 4 bytes, of which the first two (at offset 0) are FF D8; the
  // position is kept.
  bool CanLoadFromStream(QIODevice &stream) const override;
  // Graphics other than bitmaps come in as true colour, whatever attr asks.
  void AssignFromGraphic(const TGraphic &graphic, const TVellPicAttr *attr) override;

  bool GetOptimizedHuffmanCodes() const { return Jpeg().OptimizedHuffman; }
  void SetOptimizedHuffmanCodes(bool value) { Jpeg().OptimizedHuffman = value; }
  bool GetSaveProgressive() const { return Jpeg().Progressive; }
  void SetSaveProgressive(bool value) { Jpeg().Progressive = value; }
  TJpegQuality GetSaveQuality() const { return Jpeg().Quality; }
  void SetSaveQuality(TJpegQuality value) { Jpeg().Quality = value; }

protected:
  bool HasOptions() const override { return true; }
  void ApplyOptions(const TVellPicAttr &attr) override;
  void FillOptions(TVellPicAttr &attr) const override;
  void CopyOptions(const TCodecPicFormat &source) override;

private:
  TJpegGraphic &Jpeg() const { return static_cast<TJpegGraphic &>(Picture()); }
};
