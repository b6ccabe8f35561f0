#include "PicFiles/PngFormat.h"

#include "PicFiles/VellGraphUtils.h"

#include <QIODevice>

#include <algorithm>
#include <cmath>

VELL_IMPLEMENT_CLASS(TPngGraphic, TRasterCodecPicture)

namespace {

constexpr double kInchesPerMetre = 39.370078740157480317;
constexpr int kAlphaBit = 4;  // of the colour type
constexpr int kUnitMetre = 1; // of the pHYs chunk

quint16 DotsPerInch(quint32 perMetre) {
  return quint16(std::min(65535.0, std::nearbyint(perMetre / kInchesPerMetre))); // ties to even
}

quint32 PerMetre(quint16 dotsPerInch) {
  return quint32(std::nearbyint(dotsPerInch * kInchesPerMetre));
}

// Decoded pixels as a bitmap: grey as 8 bits with the grey ramp, 16-bit
// samples reduced to 8.
TBitmap BitmapOf(const QImage &pixels) {
  QImage drawn = pixels;
  switch (pixels.format()) {
  case QImage::Format_Grayscale8:
  case QImage::Format_Grayscale16:
    drawn = pixels.convertToFormat(QImage::Format_Grayscale8);
    drawn.reinterpretAsFormat(QImage::Format_Indexed8);
    drawn.setColorTable(GreyPalette(256));
    break;
  case QImage::Format_RGBX64:
    drawn = pixels.convertToFormat(QImage::Format_BGR888);
    break;
  case QImage::Format_RGBA64:
    drawn = pixels.convertToFormat(QImage::Format_ARGB32);
    break;
  default:
    break;
  }
  TBitmap bitmap;
  bitmap.SetImage(drawn);
  return bitmap;
}

QList<QRgb> Opaque(QList<QRgb> table) {
  for (QRgb &entry : table)
    entry |= 0xff000000u;
  return table;
}

// pixels with an alpha channel (every pixel opaque) or without one.
QImage WithAlpha(const QImage &pixels, bool alpha) {
  if (pixels.format() == QImage::Format_Indexed8 || pixels.format() == QImage::Format_Mono) {
    QImage copy = pixels;
    if (!alpha)
      copy.setColorTable(Opaque(copy.colorTable()));
    return copy;
  }
  const bool wide = pixels.depth() == 64 || pixels.format() == QImage::Format_Grayscale16;
  if (alpha)
    return pixels.convertToFormat(wide ? QImage::Format_RGBA64 : QImage::Format_ARGB32);
  QImage opaque = pixels;
  if (opaque.hasAlphaChannel()) {
    // Dropping the alpha keeps the colours as they are.
    opaque = opaque.convertToFormat(wide ? QImage::Format_RGBA64 : QImage::Format_ARGB32);
    opaque.reinterpretAsFormat(wide ? QImage::Format_RGBX64 : QImage::Format_RGB32);
    opaque = opaque.convertToFormat(wide ? QImage::Format_RGBX64 : QImage::Format_BGR888);
  }
  return opaque;
}

int BitsPerPixel(const TPngHeader &header) {
  switch (header.BitDepth) {
  case 1:
    return 1;
  case 2:
  case 4:
    return 4;
  case 8:
  case 16:
    switch (header.ColorType) {
    case pctGray:
    case pctPalette:
    case pctGrayAlpha:
      return 8;
    case pctRgbAlpha:
      return 32;
    default:
      return 24;
    }
  default:
    return 24;
  }
}

} // namespace

void TPngGraphic::SetColorType(int colorType) {
  FPng.Header.ColorType = colorType;
  if (colorType != pctPalette && colorType != pctGray)
    FPng.Header.BitDepth = std::max(FPng.Header.BitDepth, 8);
}

void TPngGraphic::AddAlpha() {
  const int type = ColorType();
  if (type == pctGray || type == pctRgb)
    SetColorType(type | kAlphaBit);
  if (type != pctPalette) {
    TBitmap bitmap = Pixels();
    bitmap.SetPixelDepth(32);
    SetPixels(bitmap, ImageFormat());
  }
  if (!FPng.Pixels.isNull())
    FPng.Pixels = WithAlpha(FPng.Pixels, true);
}

void TPngGraphic::RemoveTransparency() {
  const int type = ColorType();
  if (type == pctGrayAlpha || type == pctRgbAlpha)
    SetColorType(type & ~kAlphaBit);
  FPng.HasTransparentColor = false;
  TBitmap bitmap = Pixels();
  if (type == pctPalette)
    bitmap.SetPalette(Opaque(bitmap.Palette()));
  else if (bitmap.PixelDepth() == 32)
    bitmap.SetPixelDepth(24);
  SetPixels(bitmap, ImageFormat());
  if (!FPng.Pixels.isNull())
    FPng.Pixels = WithAlpha(FPng.Pixels, false);
}

QRgb TPngGraphic::TransparentColor() const {
  const int depth = FPng.Header.BitDepth;
  auto level = [depth](quint16 value) {
    return depth == 16 ? value >> 8 : depth == 8 ? value : value * 255 / ((1 << depth) - 1);
  };
  if (FPng.Header.ColorType == pctGray)
    return qRgb(level(FPng.TransparentRed), level(FPng.TransparentRed), level(FPng.TransparentRed));
  return qRgb(level(FPng.TransparentRed), level(FPng.TransparentGreen), level(FPng.TransparentBlue));
}

void TPngGraphic::TakeBitmap(const TBitmap &bitmap) {
  const TPngHeader kept = FPng.Header;
  FPng = TVellPngCodec::PictureOf(bitmap.Image());
  FPng.Pixels = QImage();
  FPng.Header.Interlaced = kept.Interlaced;
  FPng.Header.HasPhys = kept.HasPhys;
  FPng.Header.PhysUnit = kept.PhysUnit;
  FPng.Header.PhysX = kept.PhysX;
  FPng.Header.PhysY = kept.PhysY;
  SetPixels(bitmap, ImageFormat());
}

void TPngGraphic::EnsurePhys() const {
  if (FPng.Header.HasPhys)
    return;
  FPng.Header.HasPhys = true;
  FPng.Header.PhysX = FPng.Header.PhysY = 0;
  FPng.Header.PhysUnit = kUnitMetre;
}

quint16 TPngGraphic::XDotsPerInch() const {
  EnsurePhys();
  FPng.Header.PhysUnit = kUnitMetre;
  return DotsPerInch(FPng.Header.PhysX);
}

quint16 TPngGraphic::YDotsPerInch() const {
  EnsurePhys();
  FPng.Header.PhysUnit = kUnitMetre;
  return DotsPerInch(FPng.Header.PhysY);
}

void TPngGraphic::SetXDotsPerInch(quint16 value) {
  EnsurePhys();
  FPng.Header.PhysUnit = kUnitMetre;
  FPng.Header.PhysX = PerMetre(value);
}

void TPngGraphic::SetYDotsPerInch(quint16 value) {
  EnsurePhys();
  FPng.Header.PhysUnit = kUnitMetre;
  FPng.Header.PhysY = PerMetre(value);
}

TImageFormatEnum TPngGraphic::ImageFormat() const {
  return ColorType() == pctGray || ColorType() == pctGrayAlpha ? ifeGray256 : ifeTrueColor;
}

std::unique_ptr<TCanvas> TPngGraphic::Surface() {
  FPng.Pixels = QImage(); // what is drawn is in the bitmap only
  return TRasterCodecPicture::Surface();
}

void TPngGraphic::NewImage(int width, int height, TImageFormatEnum format) {
  const bool grey = format < ifeColor16;
  TRasterCodecPicture::NewImage(width, height, grey ? ifeGray256 : ifeTrueColor);
  FPng.Pixels = QImage();
  FPng.HasTransparentColor = false;
  FPng.Header.Width = quint32(width);
  FPng.Header.Height = quint32(height);
  FPng.Header.BitDepth = 8;
  SetColorType(grey ? pctGray : pctRgb);
}

void TPngGraphic::CopyFrom(const TCodecPicture &source) {
  TRasterCodecPicture::CopyFrom(source);
  const auto &png = dynamic_cast<const TPngGraphic &>(source);
  FPng = png.FPng;
  Level = png.Level;
}

void TPngGraphic::Clear() {
  TRasterCodecPicture::Clear();
  FPng.Pixels = QImage();
}

void TPngGraphic::LoadFromStream(QIODevice &stream) {
  TPngPicture picture;
  QString error;
  if (!TVellPngCodec::Decode(stream, picture, error))
    throw EPNGError(error);
  FPng = std::move(picture);
  SetPixels(BitmapOf(FPng.Pixels), ImageFormat());
}

QImage TPngGraphic::SavedPixels() const {
  return FPng.Pixels.isNull() ? Pixels().Image() : FPng.Pixels;
}

void TPngGraphic::SaveToStream(QIODevice &stream) const {
  TPngPicture picture = FPng;
  picture.Pixels = SavedPixels();
  if (picture.Header.ColorType == pctPalette && picture.Pixels.format() != QImage::Format_Indexed8 &&
      picture.Pixels.format() != QImage::Format_Mono) {
    picture.Header.ColorType = picture.Pixels.hasAlphaChannel() ? pctRgbAlpha : pctRgb;
    picture.Header.BitDepth = 8;
  }
  QString error;
  if (!TVellPngCodec::Encode(picture, {Level, FPng.Header.Interlaced}, stream, error))
    throw EPNGError(error);
}

bool TPngGraphic::CanLoadFromStream(QIODevice &stream) const {
  return TVellPngCodec::CanRead(stream);
}

void TPngGraphic::ReadHeader(QIODevice &stream, TPicInfo &info) const {
  TPngHeader header;
  QString error;
  if (!TVellPngCodec::ReadHeader(stream, header, error))
    throw EPNGError(error);
  info.Width = qint32(header.Width);
  info.Height = qint32(header.Height);
  info.BitsPerPixel = BitsPerPixel(header);
}

VELL_IMPLEMENT_CLASS(
    TPngFormat, TCodecPicFormat,
    TProp::Accessor("CompressionLevel", &TPngFormat::GetCompressionLevel, &TPngFormat::SetCompressionLevel),
    TProp::Accessor("InterlaceMethod", &TPngFormat::GetInterlaceMethod, &TPngFormat::SetInterlaceMethod),
    TProp::Accessor("NeedSaveAlpha", &TPngFormat::GetNeedSaveAlpha, &TPngFormat::SetNeedSaveAlpha))

TPngFormat::TPngFormat() : TCodecPicFormat(std::make_unique<TPngGraphic>()) {}

bool TPngFormat::CanLoadFromStream(QIODevice &stream) const {
  return TVellPngCodec::CanRead(stream);
}

void TPngFormat::LoadFromStream(QIODevice &stream) {
  stream.seek(0);
  Png().LoadFromStream(stream);
  const TPngHeader &header = Png().Header();
  const bool metres = header.HasPhys && header.PhysUnit == kUnitMetre;
  const quint32 x = metres ? header.PhysX : 0, y = metres ? header.PhysY : 0;
  SetXDotsPerInch(quint16(std::min(65535.0, std::nearbyint(x * 0.0254))));
  SetYDotsPerInch(quint16(std::min(65535.0, std::nearbyint(y * 0.0254))));
}

void TPngFormat::NewImage(int width, int height, TImageFormatEnum format) {
  const bool alpha = GetNeedSaveAlpha();
  Png().NewImage(width, height, format);
  if (format > ifeTrueColor)
    return;
  if (alpha)
    Png().AddAlpha();
  else
    Png().RemoveTransparency();
}

void TPngFormat::AssignFromBitmap(const TBitmap &bitmap, const TVellPicAttr *attr) {
  Png().Clear();
  if (bitmap.Empty())
    return;
  if (attr)
    CheckAttrClass(*attr);
  Png().TakeBitmap(bitmap);
  ApplyAttr(attr);
}

void TPngFormat::AssignFromBitmapEx(const TVellBitmapEx &bitmapEx, const TVellPicAttr *attr) {
  Png().Clear();
  if (bitmapEx.IsEmpty())
    return;
  TBitmap pixels;
  bitmapEx.AssignToBitmap(pixels); // 32 bits, the container's alpha included
  AssignFromBitmap(pixels, attr);
  ApplyAttr(attr);
  if (!GetNeedSaveAlpha())
    return;
  TBitmap withAlpha = Png().Pixels();
  withAlpha.SetPixelDepth(32);
  for (int y = 0; y < withAlpha.Height(); ++y) {
    const uchar *from = pixels.Image().constScanLine(y);
    uchar *to = withAlpha.ScanLine(y);
    for (int x = 0; x < withAlpha.Width(); ++x)
      to[4 * x + 3] = from[4 * x + 3];
  }
  Png().TakeBitmap(withAlpha);
  ApplyAttr(attr);
}

void TPngFormat::AssignToBitmap(TBitmap &bitmap) const {
  bitmap.Clear();
  if (Png().Empty())
    return;
  bitmap.SetPixelDepth(24);
  bitmap.SetSize(Png().Width(), Png().Height());
  TBitmapCanvas(bitmap).Draw(0, 0, Png());
  bitmap.Transparent = Png().HasTransparentColor();
  bitmap.TransparentColor = Png().TransparentColor();
}

void TPngFormat::AssignToBitmapEx(TVellBitmapEx &bitmapEx) {
  bitmapEx.Clear();
  if (Png().Empty())
    return;
  bitmapEx.SetSize(Png().Width(), Png().Height());
  bitmapEx.Paint([this](TCanvas &canvas) { canvas.Draw(0, 0, Png()); });
  const bool alpha = Png().ColorType() & kAlphaBit;
  if (!alpha && !Png().HasTransparentColor())
    return;
  const QImage source = Png().Pixels().Image().convertToFormat(QImage::Format_ARGB32);
  const QRgb key = Png().TransparentColor() & 0xffffffu;
  if (!bitmapEx.LockBits())
    return;
  struct TUnlock {
    TVellBitmapEx &Picture;
    ~TUnlock() { Picture.UnlockBits(); }
  } unlock{bitmapEx};
  for (int y = 0; y < bitmapEx.GetHeight(); ++y) {
    uchar *row = bitmapEx.ScanLine(y);
    const auto *from = reinterpret_cast<const QRgb *>(source.constScanLine(y));
    for (int x = 0; x < bitmapEx.GetWidth(); ++x)
      row[4 * x + 3] = alpha ? uchar(qAlpha(from[x])) : (from[x] & 0xffffffu) == key ? 0 : 255;
  }
}

TPngCompressionLevelEnum TPngFormat::GetCompressionLevel() const {
  const int level = Png().Level;
  return level <= 3 ? pceLow : level <= 6 ? pceMedium : pceHigh;
}

void TPngFormat::SetCompressionLevel(TPngCompressionLevelEnum value) {
  static constexpr int levels[] = {0, 5, 9};
  if (value <= pceHigh)
    Png().Level = levels[value];
}

bool TPngFormat::GetNeedSaveAlpha() const {
  return Png().ColorType() == pctGrayAlpha || Png().ColorType() == pctRgbAlpha;
}

void TPngFormat::SetNeedSaveAlpha(bool value) {
  if (value)
    Png().AddAlpha();
  else
    Png().RemoveTransparency();
}

void TPngFormat::ApplyOptions(const TVellPicAttr &attr) {
  const auto &png = static_cast<const TPngAttr &>(attr);
  SetCompressionLevel(png.CompressionLevel);
  SetInterlaceMethod(png.InterlaceMethod);
  SetNeedSaveAlpha(png.NeedSaveAlpha);
}

void TPngFormat::FillOptions(TVellPicAttr &attr) const {
  auto &png = static_cast<TPngAttr &>(attr);
  png.CompressionLevel = GetCompressionLevel();
  png.InterlaceMethod = GetInterlaceMethod();
  png.NeedSaveAlpha = GetNeedSaveAlpha();
}

void TPngFormat::CopyOptions(const TCodecPicFormat &source) {
  const auto &png = static_cast<const TPngFormat &>(source);
  SetCompressionLevel(png.GetCompressionLevel());
  SetInterlaceMethod(png.GetInterlaceMethod());
  SetNeedSaveAlpha(png.GetNeedSaveAlpha());
}
