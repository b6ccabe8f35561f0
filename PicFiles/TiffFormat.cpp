#include "PicFiles/TiffFormat.h"

#include "imaging/VellTiffCodec.h"

#include <QIODevice>

#include <cmath>
#include <new>
#include <tiffio.h>

VELL_IMPLEMENT_CLASS(TTiffGraphic, TRasterCodecPicture)

namespace {

// Dots per inch as a picture keeps them.
quint16 WholeDots(double value) {
  return std::isfinite(value) && value > 0 ? quint16(std::min(65535.0, std::nearbyint(value))) : 0;
}

bool StartsWithWhite(const QImage &mono) {
  return mono.colorCount() == 2 && qGray(mono.color(0)) > qGray(mono.color(1));
}

bool IsBlackAndWhite(const QImage &mono) {
  const QList<QRgb> table = mono.colorTable();
  return table.size() == 2 && ((table[0] & 0xFFFFFF) == 0 || (table[0] & 0xFFFFFF) == 0xFFFFFF) &&
         ((table[0] ^ table[1]) & 0xFFFFFF) == 0xFFFFFF;
}

// The image's bits with the two colours swapped, so that black comes first
// (or white, when whiteFirst).
QImage OrderedMono(QImage mono, bool whiteFirst) {
  if (StartsWithWhite(mono) != whiteFirst) {
    mono.invertPixels();
    mono.setColorTable({mono.color(1), mono.color(0)});
  }
  return mono;
}

// Decoded pixels as a bitmap and the image format they stand for.
TImageFormatEnum TakePixels(const TRaster &raster, TBitmap &bitmap) {
  const QImage &pixels = raster.Pixels;
  switch (pixels.format()) {
  case QImage::Format_Mono:
    if (IsBlackAndWhite(pixels)) {
      bitmap.SetImage(OrderedMono(pixels, false));
      return ifeBlackWhite;
    }
    bitmap.SetImage(pixels.convertToFormat(QImage::Format_Indexed8), 4);
    return ifeColor16;
  case QImage::Format_Indexed8:
    bitmap.SetImage(pixels, raster.Format == PixelFormat4bppIndexed ? 4 : 8);
    return raster.Format == PixelFormat4bppIndexed ? ifeColor16 : ifeColor256;
  case QImage::Format_Grayscale8:
  case QImage::Format_Grayscale16: {
    QImage indexed = pixels.convertToFormat(QImage::Format_Grayscale8);
    indexed.reinterpretAsFormat(QImage::Format_Indexed8);
    indexed.setColorTable(GreyPalette(256));
    bitmap.SetImage(indexed);
    return ifeGray256;
  }
  default:
    bitmap.SetImage(pixels.convertToFormat(QImage::Format_BGR888));
    return ifeTrueColor;
  }
}

bool IsFaxScheme(TTiffCompressionEnum compression) {
  return compression == tceGroup3_1d || compression == tceGroup3_2d || compression == tceGroup4;
}

// The picture's pixels in the layout its image format is stored with.
TRaster RasterOf(const TBitmap &bitmap, TImageFormatEnum format, bool whiteIsZero) {
  TRaster raster;
  QImage image = bitmap.Image();
  if (image.format() == QImage::Format_Indexed8 || image.format() == QImage::Format_Mono)
    image.setColorTable(bitmap.Palette());
  switch (format) {
  case ifeBlackWhite: {
    const QList<QRgb> blackWhite{qRgb(0, 0, 0), qRgb(255, 255, 255)};
    const QImage mono = IsBlackAndWhite(image)
                            ? image
                            : image.convertToFormat(QImage::Format_RGB32)
                                  .convertToFormat(QImage::Format_Mono, blackWhite, Qt::ThresholdDither);
    raster.Pixels = OrderedMono(mono, whiteIsZero);
    raster.Format = PixelFormat1bppIndexed;
    break;
  }
  case ifeGray16:
  case ifeGray256:
    raster.Pixels = image.convertToFormat(QImage::Format_Grayscale8);
    raster.Format = format == ifeGray16 ? PixelFormat4bppIndexed : PixelFormat8bppIndexed;
    break;
  case ifeColor16:
  case ifeColor256:
    raster.Pixels = image.format() == QImage::Format_Indexed8
                        ? image
                        : image.convertToFormat(QImage::Format_Indexed8, bitmap.Palette());
    raster.Format = format == ifeColor16 ? PixelFormat4bppIndexed : PixelFormat8bppIndexed;
    break;
  default:
    raster.Pixels = image.convertToFormat(QImage::Format_BGR888);
    raster.Format = PixelFormat24bppRGB;
    break;
  }
  return raster;
}

// The tags a compression scheme is stored with.
TTiffStorage StorageFor(TTiffCompressionEnum compression, TJpegQuality quality) {
  TTiffStorage storage;
  storage.RowsPerStrip = 2147483647; // one strip
  switch (compression) {
  case tcePackbits:
    storage.Compression = COMPRESSION_PACKBITS;
    break;
  case tceGroup3_1d:
    storage.Compression = COMPRESSION_CCITTFAX3;
    storage.Group3Options = GROUP3OPT_FILLBITS;
    break;
  case tceGroup3_2d:
    storage.Compression = COMPRESSION_CCITTFAX3;
    storage.Group3Options = GROUP3OPT_2DENCODING | GROUP3OPT_FILLBITS;
    break;
  case tceGroup4:
    storage.Compression = COMPRESSION_CCITTFAX4;
    break;
  case tceZLib:
    storage.Compression = COMPRESSION_DEFLATE;
    break;
  case tceJPEG:
    storage.Compression = COMPRESSION_JPEG;
    storage.RowsPerStrip = 8;
    storage.JpegQuality = quality;
    break;
  case tceLZW:
    storage.Compression = COMPRESSION_LZW;
    break;
  default:
    storage.Compression = COMPRESSION_NONE;
    break;
  }
  return storage;
}

quint16 DotsPerInch(bool present, float value, quint16 unit) {
  if (!present)
    return 0;
  return WholeDots(unit == RESUNIT_INCH || unit == RESUNIT_NONE ? double(value) : double(value) * 2.54);
}

} // namespace

bool TTiffGraphic::Allows(TImageFormatEnum format, TTiffCompressionEnum compression) {
  switch (compression) {
  case tceNone:
  case tcePackbits:
  case tceZLib:
  case tceLZW:
    return true;
  case tceGroup3_1d:
  case tceGroup3_2d:
  case tceGroup4:
    return format == ifeBlackWhite;
  case tceJPEG:
    return format == ifeGray256 || format == ifeTrueColor;
  }
  return false;
}

void TTiffGraphic::LoadFromStream(QIODevice &stream) {
  TRaster raster;
  GpStatus status;
  try {
    status = VellTiffCodec.Decode(stream, 0, raster);
  } catch (const std::bad_alloc &) {
    throw ETIFF(QStringLiteral("out of memory while decoding the TIFF image"));
  }
  if (status != Ok)
    throw ETIFF(GdipLastErrorText());
  TBitmap bitmap;
  const TImageFormatEnum format = TakePixels(raster, bitmap);
  SetPixels(bitmap, format);
  SetXDotsPerInch(WholeDots(raster.DpiX));
  SetYDotsPerInch(WholeDots(raster.DpiY));
}

void TTiffGraphic::SaveToStream(QIODevice &stream) const {
  const TTiffCompressionEnum compression = Allows(ImageFormat(), Compression) ? Compression : tceNone;
  TRaster raster = RasterOf(Pixels(), ImageFormat(), IsFaxScheme(compression));
  raster.DpiX = XDotsPerInch();
  raster.DpiY = YDotsPerInch();
  if (EncodeTiffImage(stream, raster, StorageFor(compression, JpegQuality)) != Ok)
    throw ETIFF(GdipLastErrorText());
}

bool TTiffGraphic::CanLoadFromStream(QIODevice &stream) const {
  const QByteArray start = stream.peek(4);
  return start == QByteArrayView("II*\0", 4) || start == QByteArrayView("MM\0*", 4);
}

void TTiffGraphic::ReadHeader(QIODevice &stream, TPicInfo &info) const {
  TTiffDirectory directory;
  QString reason;
  if (!ReadTiffDirectory(stream, directory, reason))
    throw ETIFF(QStringLiteral("TIFFOpen"));
  const quint16 scheme = directory.Compression;
  const bool fax = scheme == COMPRESSION_CCITTRLE || scheme == COMPRESSION_CCITTFAX3 ||
                   scheme == COMPRESSION_CCITTFAX4 || scheme == COMPRESSION_CCITTRLEW;
  if (!directory.HasBitsPerSample && !fax)
    throw ETIFF(QStringLiteral("Bits per sample not specified"));
  const int bitsPerSample = directory.HasBitsPerSample ? directory.BitsPerSample : 1;
  const double bytesPerPixel =
      directory.Width ? double(directory.ScanlineSize) / double(directory.Width) : 0.0;
  info.Width = qint32(directory.Width);
  info.Height = qint32(directory.Height);
  info.BitsPerPixel = qint32(std::max(1.0, std::nearbyint(bytesPerPixel))) * bitsPerSample;
  info.XDotsPerInch = DotsPerInch(directory.HasXResolution, directory.XResolution, directory.ResolutionUnit);
  info.YDotsPerInch = DotsPerInch(directory.HasYResolution, directory.YResolution, directory.ResolutionUnit);
}

VELL_IMPLEMENT_CLASS(TTiffFormat, TCodecPicFormat,
                     TProp::Accessor("Compression", &TTiffFormat::GetCompression,
                                     &TTiffFormat::SetCompression),
                     TProp::Accessor("JpegQuality", &TTiffFormat::GetJpegQuality,
                                     &TTiffFormat::SetJpegQuality))

TTiffFormat::TTiffFormat() : TCodecPicFormat(std::make_unique<TTiffGraphic>()) {}

void TTiffFormat::SetCompression(TTiffCompressionEnum value) {
  Tiff().Compression = TTiffGraphic::Allows(GetImageFormat(), value) ? value : tceNone;
}

void TTiffFormat::ApplyOptions(const TVellPicAttr &attr) {
  const auto &tiff = static_cast<const TTiffAttr &>(attr);
  SetCompression(tiff.Compression);
  SetJpegQuality(tiff.JpegQuality);
}

void TTiffFormat::FillOptions(TVellPicAttr &attr) const {
  auto &tiff = static_cast<TTiffAttr &>(attr);
  tiff.Compression = GetCompression();
  tiff.JpegQuality = GetJpegQuality();
}

void TTiffFormat::CopyOptions(const TCodecPicFormat &source) {
  const auto &tiff = static_cast<const TTiffFormat &>(source);
  Tiff().Compression = tiff.GetCompression();
  SetJpegQuality(tiff.GetJpegQuality());
}
