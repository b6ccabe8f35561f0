#include "PicFiles/JpgFormat.h"

#include "imaging/VellJpegCodec.h"

#include <QIODevice>

#include <cmath>

VELL_IMPLEMENT_CLASS(TJpegGraphic, TRasterCodecPicture)

namespace {

quint16 DotsPerInch(const TJpegHeader &header, quint16 density) {
  switch (header.DensityUnit) {
  case 1:
    return density;
  case 2:
    return quint16(std::min(65535.0, std::nearbyint(density * 2.54))); // ties to even
  default:
    return 0;
  }
}

TBitmap BitmapOf(const QImage &pixels) {
  TBitmap bitmap;
  if (pixels.format() == QImage::Format_Grayscale8) {
    QImage indexed = pixels;
    indexed.reinterpretAsFormat(QImage::Format_Indexed8);
    indexed.setColorTable(GreyPalette(256));
    bitmap.SetImage(indexed);
  } else {
    bitmap.SetImage(pixels);
  }
  return bitmap;
}

} // namespace

void TJpegGraphic::NewImage(int width, int height, TImageFormatEnum format) {
  TRasterCodecPicture::NewImage(width, height, format < ifeColor16 ? ifeGray256 : ifeTrueColor);
}

void TJpegGraphic::LoadFromStream(QIODevice &stream) {
  TJpegPicture picture;
  QString error;
  if (!TVellJpegCodec::Decode(stream, picture, error))
    throw EJPEG(error);
  SetPixels(BitmapOf(picture.Pixels),
            picture.Header.ColorSpace == TJpegColorSpace::Gray ? ifeGray256 : ifeTrueColor);
  SetXDotsPerInch(DotsPerInch(picture.Header, picture.Header.XDensity));
  SetYDotsPerInch(DotsPerInch(picture.Header, picture.Header.YDensity));
}

void TJpegGraphic::SaveToStream(QIODevice &stream) const {
  if (ImageFormat() != ifeGray256 && ImageFormat() != ifeTrueColor)
    throw EJPEG(QStringLiteral("JPEG image must be gray scale or true color"));
  const QImage &image = Pixels().Image();
  const QImage rows = ImageFormat() == ifeGray256 ? image.convertToFormat(QImage::Format_Grayscale8) : image;
  const TJpegOptions options{Quality, Progressive, OptimizedHuffman, XDotsPerInch(), YDotsPerInch()};
  QString error;
  if (!TVellJpegCodec::Encode(rows, options, stream, error))
    throw EJPEG(error);
}

bool TJpegGraphic::CanLoadFromStream(QIODevice &stream) const {
  return TVellJpegCodec::CanRead(stream);
}

void TJpegGraphic::ReadHeader(QIODevice &stream, TPicInfo &info) const {
  TJpegHeader header;
  QString error;
  if (!TVellJpegCodec::ReadHeader(stream, header, error))
    throw EJPEG(error);
  if (header.ColorSpace == TJpegColorSpace::Other)
    throw EJPEG(QStringLiteral("Unsupported color space"));
  info.Width = header.Width;
  info.Height = header.Height;
  info.BitsPerPixel = header.ColorSpace == TJpegColorSpace::Gray ? 8 : 24;
  info.XDotsPerInch = DotsPerInch(header, header.XDensity);
  info.YDotsPerInch = DotsPerInch(header, header.YDensity);
}

VELL_IMPLEMENT_CLASS(TJpgFormat, TCodecPicFormat,
                     TProp::Accessor("OptimizedHuffmanCodes", &TJpgFormat::GetOptimizedHuffmanCodes,
                                     &TJpgFormat::SetOptimizedHuffmanCodes),
                     TProp::Accessor("SaveProgressive", &TJpgFormat::GetSaveProgressive,
                                     &TJpgFormat::SetSaveProgressive),
                     TProp::Accessor("SaveQuality", &TJpgFormat::GetSaveQuality, &TJpgFormat::SetSaveQuality))

TJpgFormat::TJpgFormat() : TCodecPicFormat(std::make_unique<TJpegGraphic>()) {}

bool TJpgFormat::CanLoadFromStream(QIODevice &stream) const {
  if (stream.size() < 4)
    return false;
  const qint64 position = stream.pos();
  stream.seek(0);
  const QByteArray start = stream.peek(2);
  stream.seek(position);
  return start == QByteArrayView("\xFF\xD8", 2);
}

void TJpgFormat::AssignFromGraphic(const TGraphic &graphic, const TVellPicAttr *attr) {
  if (!attr || dynamic_cast<const TBitmap *>(&graphic)) {
    TCodecPicFormat::AssignFromGraphic(graphic, attr);
    return;
  }
  const auto trueColour = attr->Clone();
  static_cast<TVellPicAttr &>(*trueColour).ImageFormat = ifeTrueColor;
  TCodecPicFormat::AssignFromGraphic(graphic, static_cast<const TVellPicAttr *>(trueColour.get()));
}

void TJpgFormat::ApplyOptions(const TVellPicAttr &attr) {
  const auto &jpg = static_cast<const TJpgAttr &>(attr);
  SetOptimizedHuffmanCodes(jpg.OptimizedHuffmanCodes);
  SetSaveProgressive(jpg.SaveProgressive);
  SetSaveQuality(jpg.SaveQuality);
}

void TJpgFormat::FillOptions(TVellPicAttr &attr) const {
  auto &jpg = static_cast<TJpgAttr &>(attr);
  jpg.OptimizedHuffmanCodes = GetOptimizedHuffmanCodes();
  jpg.SaveProgressive = GetSaveProgressive();
  jpg.SaveQuality = GetSaveQuality();
}

void TJpgFormat::CopyOptions(const TCodecPicFormat &source) {
  const auto &jpg = static_cast<const TJpgFormat &>(source);
  SetOptimizedHuffmanCodes(jpg.GetOptimizedHuffmanCodes());
  SetSaveProgressive(jpg.GetSaveProgressive());
  SetSaveQuality(jpg.GetSaveQuality());
}
