#include "PicFiles/BmpFormat.h"

#include "PicFiles/GifFormat.h"
#include "PicFiles/VellGraphUtils.h"
#include "imaging/VellBmpCodec.h"

#include <QIODevice>

#include <algorithm>
#include <array>
#include <cmath>

namespace {

constexpr long double InchesPerMetre = 39.370078740157480317L;

// The weights of the grey level, each product stored in single precision.
struct TGrayTables {
  std::array<float, 256> Red, Green, Blue;
};

const TGrayTables &GrayTables() {
  static const TGrayTables tables = [] {
    TGrayTables t;
    for (int i = 0; i < 256; ++i) {
      t.Red[size_t(i)] = float(i * 0.299L);
      t.Green[size_t(i)] = float(i * 0.587L);
      t.Blue[size_t(i)] = float(i * 0.114L);
    }
    return t;
  }();
  return tables;
}

// The grey level of the pixel at bgr (bytes B, G, R), summed in extended
// precision and rounded half to even.
uchar GrayOf(const uchar *bgr) {
  const TGrayTables &t = GrayTables();
  const long double sum =
      (long double)t.Red[bgr[2]] + (long double)t.Green[bgr[1]] + (long double)t.Blue[bgr[0]];
  return uchar(std::clamp(std::nearbyintl(sum), 0.0L, 255.0L));
}

// The bitmap at 24 bits with every pixel's grey level, passed through level,
// in all three bytes.
template <typename Level> void ReplaceByGray(TBitmap &bitmap, Level level) {
  bitmap.SetPixelDepth(24);
  for (int y = 0; y < bitmap.Height(); ++y) {
    uchar *pixel = bitmap.ScanLine(y);
    for (int x = 0; x < bitmap.Width(); ++x, pixel += 3)
      std::fill_n(pixel, 3, level(GrayOf(pixel)));
  }
}

} // namespace

void MakeGray(TBitmap &bitmap) {
  ReplaceByGray(bitmap, [](uchar gray) { return gray; });
}

void MakeBlackWhite(TBitmap &bitmap) {
  ReplaceByGray(bitmap, [](uchar gray) { return uchar(gray < 128 ? 0 : 255); });
  bitmap.SetPixelDepth(1);
}

void ReduceColors(TBitmap &bitmap, bool quantise, TDitherModeEnum ditherMode) {
  if (quantise && !bitmap.Empty()) {
    TGifGraphic::DefaultDitherMode = ditherMode;
    TGifGraphic reduced;
    reduced.TakeBitmap(bitmap);
    bitmap.Clear();
    reduced.CopyToBitmap(bitmap);
  }
  bitmap.SetPixelDepth(8);
}

quint16 BmpDotsPerInch(qint32 pixelsPerMetre) {
  return quint16(std::clamp(std::nearbyintl(pixelsPerMetre / InchesPerMetre), 0.0L, 65535.0L));
}

qint32 BmpPixelsPerMetre(quint16 dotsPerInch) {
  return qint32(std::nearbyintl(dotsPerInch * InchesPerMetre));
}

VELL_IMPLEMENT_CLASS(TBmpFormat, TBasePicFormat,
                     TProp::Accessor("DitherMode", &TBmpFormat::GetDitherMode, &TBmpFormat::SetDitherMode))

bool TBmpFormat::CanLoadFromStream(QIODevice &stream) const {
  stream.seek(0);
  return TVellBmpCodec::CanRead(stream);
}

void TBmpFormat::NewImage(int width, int height, TImageFormatEnum) {
  FBitmap.SetPixelDepth(24);
  FBitmap.Clear();
  FBitmap.SetSize(width, height);
}

void TBmpFormat::Draw(TCanvas &canvas, int x, int y) const {
  canvas.Draw(x, y, FBitmap);
}

void TBmpFormat::StretchDraw(TCanvas &canvas, const QRect &rect, bool smooth) const {
  if (!smooth || FBitmap.Empty()) {
    canvas.StretchDraw(rect, FBitmap);
    return;
  }
  TBitmap source;
  source.Assign(&FBitmap);
  const TBitmapCanvas surface(source);
  HalftoneStretchBlt(canvas, rect.left(), rect.top(), rect.width(), rect.height(), surface, 0, 0,
                     source.Width(), source.Height());
}

void TBmpFormat::TakeAttr(const TVellPicAttr *attr, TImageFormatEnum fallback) {
  if (!attr) {
    ConvertImageFormat(fallback);
    return;
  }
  CheckAttrClass(*attr);
  FDitherMode = static_cast<const TBmpAttr *>(attr)->DitherMode;
  FXDotsPerInch = attr->XDotsPerInch;
  FYDotsPerInch = attr->YDotsPerInch;
  ConvertImageFormat(attr->ImageFormat);
}

void TBmpFormat::AssignFromBitmap(const TBitmap &bitmap, const TVellPicAttr *attr) {
  FBitmap.Assign(&bitmap);
  TakeAttr(attr, PixelFormatToImageFormat(FBitmap.PixelDepth()));
}

void TBmpFormat::AssignFromBitmapEx(const TVellBitmapEx &bitmapEx, const TVellPicAttr *attr) {
  bitmapEx.AssignToBitmap(FBitmap);
  TakeAttr(attr, ifeTrueColor);
}

void TBmpFormat::AssignFromGraphic(const TGraphic &graphic, const TVellPicAttr *attr) {
  if (const auto *bitmap = dynamic_cast<const TBitmap *>(&graphic)) {
    AssignFromBitmap(*bitmap, attr);
    return;
  }
  NewImage(graphic.Width(), graphic.Height(), ifeTrueColor);
  TBitmapCanvas(FBitmap).Draw(0, 0, graphic);
  if (attr)
    TakeAttr(attr, ifeTrueColor);
}

void TBmpFormat::AssignFromFormat(const TBasePicFormat *format, const TVellPicAttr *attr) {
  if (!format) {
    FBitmap.Clear();
    return;
  }
  if (attr)
    CheckAttrClass(*attr);
  const auto *same = dynamic_cast<const TBmpFormat *>(format);
  const TImageFormatEnum wanted = attr ? attr->ImageFormat : format->GetImageFormat();
  const quint16 xdpi = attr ? attr->XDotsPerInch : format->GetXDotsPerInch();
  const quint16 ydpi = attr ? attr->YDotsPerInch : format->GetYDotsPerInch();
  const TDitherModeEnum dither = attr   ? static_cast<const TBmpAttr *>(attr)->DitherMode
                                 : same ? same->FDitherMode
                                        : FDitherMode;
  if (same) {
    FBitmap.Assign(&same->FBitmap);
  } else {
    NewImage(format->GetWidth(), format->GetHeight(), wanted);
    TBitmapCanvas canvas(FBitmap);
    format->Draw(canvas, 0, 0);
  }
  FDitherMode = dither;
  FXDotsPerInch = xdpi;
  FYDotsPerInch = ydpi;
  ConvertImageFormat(wanted);
}

void TBmpFormat::AssignToBitmap(TBitmap &bitmap) const {
  bitmap.Assign(&FBitmap);
}

void TBmpFormat::AssignToBitmapEx(TVellBitmapEx &bitmapEx) {
  bitmapEx.AssignFromBitmap(&FBitmap);
}

void TBmpFormat::FillAttr(TVellPicAttr &attr) const {
  TBasePicFormat::FillAttr(attr);
  if (auto *bmp = dynamic_cast<TBmpAttr *>(&attr))
    bmp->DitherMode = FDitherMode;
}

void TBmpFormat::LoadFromStream(QIODevice &stream) {
  stream.seek(0);
  FBitmap.LoadFromStream(stream);
  FXDotsPerInch = BmpDotsPerInch(FBitmap.XPelsPerMeter);
  FYDotsPerInch = BmpDotsPerInch(FBitmap.YPelsPerMeter);
}

void TBmpFormat::SaveToStream(QIODevice &stream) {
  // The resolutions go into the header as the file is written, so the file
  // may start anywhere in the stream.
  TBitmap file;
  file.Assign(&FBitmap);
  file.XPelsPerMeter = BmpPixelsPerMetre(FXDotsPerInch);
  file.YPelsPerMeter = BmpPixelsPerMetre(FYDotsPerInch);
  file.SaveToStream(stream);
}

void TBmpFormat::ReadInfo(QIODevice &stream, TPicInfo &info) {
  TBasePicFormat::ReadInfo(stream, info);
  stream.seek(0);
  TBmpHeader header;
  QString error;
  if (!TVellBmpCodec::ReadHeader(stream, header, error))
    throw EStreamError(error);
  info.Width = header.Width;
  info.Height = header.Height;
  info.BitsPerPixel = header.BitCount;
  info.XDotsPerInch = BmpDotsPerInch(header.XPelsPerMeter);
  info.YDotsPerInch = BmpDotsPerInch(header.YPelsPerMeter);
}

void TBmpFormat::ConvertImageFormat(TImageFormatEnum format) {
  FImageFormat = format;
  switch (format) {
  case ifeBlackWhite:
    MakeBlackWhite(FBitmap);
    break;
  case ifeGray16:
    MakeGray(FBitmap);
    FBitmap.SetPixelDepth(8);
    FBitmap.SetPixelDepth(4);
    break;
  case ifeGray256:
    MakeGray(FBitmap);
    FBitmap.SetPixelDepth(8);
    break;
  case ifeColor16:
    ReduceColors(FBitmap, true, FDitherMode);
    FBitmap.SetPixelDepth(4);
    break;
  case ifeColor256:
    ReduceColors(FBitmap, true, FDitherMode);
    break;
  case ifeTrueColor:
    FBitmap.SetPixelDepth(24);
    break;
  }
}
