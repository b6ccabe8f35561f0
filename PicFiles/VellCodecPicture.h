// Codec pictures: the picture a format object owns, as one file format's
// codec sees it, and the raster codec picture that most codecs build on.
#pragma once

#include "PicFiles/BasePicFormat.h"

// What a format needs of its codec picture. The signature test and the header
// reader depend on the class only, not on the picture held.
class TCodecPicture : public TGraphic {
  VELL_CLASS(TCodecPicture, TGraphic)
public:
  virtual TImageFormatEnum ImageFormat() const = 0;
  virtual quint16 XDotsPerInch() const = 0;
  virtual quint16 YDotsPerInch() const = 0;
  virtual void SetXDotsPerInch(quint16 value) = 0;
  virtual void SetYDotsPerInch(quint16 value) = 0;
  // A drawing surface on the picture's pixels; what is drawn is in the
  // picture when the surface is destroyed.
  virtual std::unique_ptr<TCanvas> Surface() = 0;
  // A blank picture of that size and format; the resolutions stay.
  virtual void NewImage(int width, int height, TImageFormatEnum format) = 0;
  // A copy of another picture of the same codec class.
  virtual void CopyFrom(const TCodecPicture &source) = 0;
  // bitmap becomes a copy of the pixels in their depth and palette.
  virtual void CopyToBitmap(TBitmap &bitmap) const = 0;
  // An empty picture (0 x 0); format and resolutions stay.
  virtual void Clear() = 0;
  // Decodes the file that starts at the stream's position.
  virtual void LoadFromStream(QIODevice &stream) = 0;
  // Encodes the picture at the stream's position.
  virtual void SaveToStream(QIODevice &stream) const = 0;
  // Signature test at the stream's position; the position is not moved.
  virtual bool CanLoadFromStream(QIODevice &stream) const = 0;
  // Fills what the header gives (size, bits per pixel, resolutions where the
  // file has them) from the stream's position.
  virtual void ReadHeader(QIODevice &stream, TPicInfo &info) const = 0;
};

// A codec picture whose pixels are a device-independent bitmap: the codec
// class adds decoding, encoding, the signature test and the header reader.
class TRasterCodecPicture : public TCodecPicture {
  VELL_CLASS(TRasterCodecPicture, TCodecPicture)
public:
  int Width() const override { return FBitmap.Width(); }
  int Height() const override { return FBitmap.Height(); }
  void Draw(QPainter &painter, const QRect &rect) const override { FBitmap.Draw(painter, rect); }

  TImageFormatEnum ImageFormat() const override { return FImageFormat; }
  quint16 XDotsPerInch() const override { return FXDotsPerInch; }
  quint16 YDotsPerInch() const override { return FYDotsPerInch; }
  void SetXDotsPerInch(quint16 value) override { FXDotsPerInch = value; }
  void SetYDotsPerInch(quint16 value) override { FYDotsPerInch = value; }
  std::unique_ptr<TCanvas> Surface() override;
  // Black and white: 1 bit (black, white); 16 grey levels and 16 colours:
  // 4 bits with the grey ramp or the standard palette; 256 grey levels and
  // 256 colours: 8 bits with the grey ramp or the halftone palette; true
  // colour: 24 bits. Every pixel is 0.
  void NewImage(int width, int height, TImageFormatEnum format) override;
  void CopyFrom(const TCodecPicture &source) override;
  void CopyToBitmap(TBitmap &bitmap) const override;
  void Clear() override { FBitmap.Clear(); }

  // The pixels, for the codec's decoder and encoder.
  const TBitmap &Pixels() const { return FBitmap; }
  // Installs decoded pixels and the image format they stand for.
  void SetPixels(const TBitmap &bitmap, TImageFormatEnum format);

  static int PixelDepthOf(TImageFormatEnum format);
  // The palette NewImage gives a format (empty for true colour).
  static QList<QRgb> PaletteOf(TImageFormatEnum format);

private:
  TBitmap FBitmap;
  TImageFormatEnum FImageFormat = ifeTrueColor;
  quint16 FXDotsPerInch = 96;
  quint16 FYDotsPerInch = 96;
};

// A 2^bits-level grey ramp from black to white.
QList<QRgb> GreyPalette(int levels);
