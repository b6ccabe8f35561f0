#include "PicFiles/VellCodecPicture.h"

VELL_IMPLEMENT_CLASS(TCodecPicture, TGraphic)
VELL_IMPLEMENT_CLASS(TRasterCodecPicture, TCodecPicture)

QList<QRgb> GreyPalette(int levels) {
  QList<QRgb> palette;
  for (int i = 0; i < levels; ++i) {
    const int level = levels > 1 ? i * 255 / (levels - 1) : 0;
    palette.append(qRgb(level, level, level));
  }
  return palette;
}

int TRasterCodecPicture::PixelDepthOf(TImageFormatEnum format) {
  static constexpr int depths[] = {1, 4, 8, 4, 8, 24};
  return depths[format];
}

QList<QRgb> TRasterCodecPicture::PaletteOf(TImageFormatEnum format) {
  switch (format) {
  case ifeBlackWhite:
    return GreyPalette(2);
  case ifeGray16:
    return GreyPalette(16);
  case ifeGray256:
    return GreyPalette(256);
  case ifeColor16:
    return StandardPalette16();
  case ifeColor256:
    return HalftonePalette();
  default:
    return {};
  }
}

std::unique_ptr<TCanvas> TRasterCodecPicture::Surface() {
  return std::make_unique<TBitmapCanvas>(FBitmap);
}

void TRasterCodecPicture::NewImage(int width, int height, TImageFormatEnum format) {
  TBitmap blank;
  blank.SetPixelDepth(PixelDepthOf(format));
  blank.SetPalette(PaletteOf(format));
  blank.SetSize(width, height);
  FBitmap.Assign(&blank);
  FImageFormat = format;
}

void TRasterCodecPicture::CopyFrom(const TCodecPicture &source) {
  const auto &raster = dynamic_cast<const TRasterCodecPicture &>(source);
  FBitmap.Assign(&raster.FBitmap);
  FImageFormat = raster.FImageFormat;
  FXDotsPerInch = raster.FXDotsPerInch;
  FYDotsPerInch = raster.FYDotsPerInch;
}

void TRasterCodecPicture::CopyToBitmap(TBitmap &bitmap) const {
  bitmap.Assign(&FBitmap);
}

void TRasterCodecPicture::SetPixels(const TBitmap &bitmap, TImageFormatEnum format) {
  FBitmap.Assign(&bitmap);
  FImageFormat = format;
}
