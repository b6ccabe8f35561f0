#include "PicFiles/GifFormat.h"

#include "PicFiles/VellGraphUtils.h"
#include "imaging/VellGifCodec.h"

#include <gif_lib.h>

#include <QIODevice>

VELL_IMPLEMENT_CLASS(TGifGraphic, TRasterCodecPicture)

namespace {

static_assert(int(TDitherKernel::Nearest) == dmeNearest &&
              int(TDitherKernel::FloydSteinberg) == dmeFloydSteinberg &&
              int(TDitherKernel::Stucki) == dmeStucki && int(TDitherKernel::Sierra) == dmeSierra &&
              int(TDitherKernel::JarvisJudiceNinke) == dmeJaJuNI &&
              int(TDitherKernel::StevensonArce) == dmeSteveArche && int(TDitherKernel::Burkes) == dmeBurkes);

TDitherKernel KernelOf(TDitherModeEnum mode) {
  return TDitherKernel(mode);
}

bool StartsWithGif(const QByteArray &bytes) {
  return bytes.size() >= 3 && bytes.left(3).compare("GIF", Qt::CaseInsensitive) == 0;
}

} // namespace

TDitherModeEnum TGifGraphic::DefaultDitherMode = dmeFloydSteinberg;

void TGifGraphic::Reset() {
  Clear();
  Compression = gceLZW;
  DitherMode = DefaultDitherMode;
}

void TGifGraphic::TakeBitmap(const TBitmap &bitmap) {
  TBitmap reduced;
  reduced.SetImage(ReduceColors(bitmap.Image(), KernelOf(DitherMode)));
  FBitsPerPixel = std::max(1, GifBitSize(int(reduced.Palette().size())));
  SetPixels(reduced, ifeColor256);
}

void TGifGraphic::NewImage(int width, int height, TImageFormatEnum) {
  TRasterCodecPicture::NewImage(width, height, ifeColor256);
  FBitsPerPixel = 8;
}

void TGifGraphic::CopyFrom(const TCodecPicture &source) {
  TRasterCodecPicture::CopyFrom(source);
  FBitsPerPixel = dynamic_cast<const TGifGraphic &>(source).FBitsPerPixel;
}

void TGifGraphic::LoadFromStream(QIODevice &stream) {
  TGifPicture picture;
  QString error;
  if (!TVellGifCodec::Decode(stream, picture, error))
    throw EGIFError(error);
  TBitmap bitmap;
  bitmap.SetImage(picture.Pixels);
  SetPixels(bitmap, ifeColor256);
  FBitsPerPixel = picture.BitsPerPixel;
}

void TGifGraphic::SaveToStream(QIODevice &stream) const {
  QString error;
  if (!TVellGifCodec::Encode(Pixels().Image(), KernelOf(DitherMode), stream, error))
    throw EGIFError(error);
}

bool TGifGraphic::CanLoadFromStream(QIODevice &stream) const {
  return TVellGifCodec::CanRead(stream);
}

void TGifGraphic::ReadHeader(QIODevice &stream, TPicInfo &info) const {
  TGifPicture picture;
  QString error;
  if (!TVellGifCodec::Decode(stream, picture, error))
    throw EGIFError(error);
  info.Width = picture.Pixels.width();
  info.Height = picture.Pixels.height();
  info.BitsPerPixel = picture.BitsPerPixel;
}

VELL_IMPLEMENT_CLASS(TGifFormat, TCodecPicFormat,
                     TProp::Accessor("Compression", &TGifFormat::GetCompression, &TGifFormat::SetCompression),
                     TProp::Accessor("DitherMode", &TGifFormat::GetDitherMode, &TGifFormat::SetDitherMode))

TGifFormat::TGifFormat() : TCodecPicFormat(std::make_unique<TGifGraphic>()) {}

bool TGifFormat::CanLoadFromStream(QIODevice &stream) const {
  stream.seek(0);
  if (StartsWithGif(stream.read(6)))
    return true;
  stream.seek(4);
  return StartsWithGif(stream.read(6));
}

void TGifFormat::NewImage(int width, int height, TImageFormatEnum) {
  Gif().NewImage(width, height, ifeColor256);
}

void TGifFormat::AssignFromBitmap(const TBitmap &bitmap, const TVellPicAttr *attr) {
  Gif().Clear();
  if (bitmap.Empty())
    return;
  if (attr)
    CheckAttrClass(*attr);
  const auto *gif = static_cast<const TGifAttr *>(attr);
  TGifGraphic::DefaultDitherMode = gif ? gif->DitherMode : GetDitherMode();
  Gif().Reset();
  Gif().TakeBitmap(bitmap);
  if (gif)
    ApplyOptions(*gif);
}

void TGifFormat::AssignFromBitmapEx(const TVellBitmapEx &bitmapEx, const TVellPicAttr *attr) {
  Gif().Clear();
  if (bitmapEx.IsEmpty())
    return;
  TBitmap pixels;
  bitmapEx.AssignToBitmap(pixels);
  AssignFromBitmap(pixels, attr);
}

void TGifFormat::AssignFromGraphic(const TGraphic &graphic, const TVellPicAttr *attr) {
  if (const auto *bitmap = dynamic_cast<const TBitmap *>(&graphic)) {
    AssignFromBitmap(*bitmap, attr);
    return;
  }
  TBitmap drawn(graphic.Width(), graphic.Height(), 24);
  TBitmapCanvas(drawn).Draw(0, 0, graphic);
  AssignFromBitmap(drawn, attr);
}

void TGifFormat::AssignFromFormat(const TBasePicFormat *format, const TVellPicAttr *attr) {
  if (!format) {
    Gif().Clear();
    return;
  }
  if (attr)
    CheckAttrClass(*attr);
  const auto *same = dynamic_cast<const TGifFormat *>(format);
  if (!same) {
    TBitmap pixels;
    format->AssignToBitmap(pixels);
    AssignFromBitmap(pixels, attr);
    return;
  }
  if (same != this)
    Gif().CopyFrom(same->Picture());
  if (attr)
    ApplyOptions(*attr);
  else
    CopyOptions(*same);
}

void TGifFormat::ApplyOptions(const TVellPicAttr &attr) {
  const auto &gif = static_cast<const TGifAttr &>(attr);
  SetCompression(gif.Compression);
  SetDitherMode(gif.DitherMode);
}

void TGifFormat::FillOptions(TVellPicAttr &attr) const {
  auto &gif = static_cast<TGifAttr &>(attr);
  gif.Compression = GetCompression();
  gif.DitherMode = GetDitherMode();
}

void TGifFormat::CopyOptions(const TCodecPicFormat &source) {
  const auto &gif = static_cast<const TGifFormat &>(source);
  SetCompression(gif.GetCompression());
  SetDitherMode(gif.GetDitherMode());
}
