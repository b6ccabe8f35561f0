#include "ScanFixture.h"

#include "imaging/VellGDIPOBJ.h"

#include <QFile>

#include <tiffio.h>

#include <vector>

namespace {

struct TLayout {
  quint16 Samples, Bits, Photometric, Compression;
};

TLayout LayoutOf(TScanKind kind) {
  switch (kind) {
  case TScanKind::Bilevel:
    return {1, 1, PHOTOMETRIC_MINISWHITE, COMPRESSION_CCITTFAX4};
  case TScanKind::Grey:
    return {1, 8, PHOTOMETRIC_MINISBLACK, COMPRESSION_LZW};
  case TScanKind::Palette:
    return {1, 8, PHOTOMETRIC_PALETTE, COMPRESSION_PACKBITS};
  case TScanKind::Rgb:
    break;
  }
  return {3, 8, PHOTOMETRIC_RGB, COMPRESSION_NONE};
}

void WritePalette(TIFF *tif) {
  // Index 0 is black, every other index red.
  std::vector<quint16> red(256, 65535), green(256, 0), blue(256, 0);
  red[0] = 0;
  TIFFSetField(tif, TIFFTAG_COLORMAP, red.data(), green.data(), blue.data());
}

} // namespace

QString WriteScan(const QString &path, TScanKind kind, int width, int height, float dpi) {
  const TLayout layout = LayoutOf(kind);
  TIFF *tif = TIFFOpen(QFile::encodeName(path).constData(), "w");
  if (!tif)
    return {};
  TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, width);
  TIFFSetField(tif, TIFFTAG_IMAGELENGTH, height);
  TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, layout.Samples);
  TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, layout.Bits);
  TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, layout.Photometric);
  TIFFSetField(tif, TIFFTAG_COMPRESSION, layout.Compression);
  TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, kind == TScanKind::Bilevel ? height : 16);
  if (kind == TScanKind::Palette)
    WritePalette(tif);
  if (dpi > 0) {
    TIFFSetField(tif, TIFFTAG_XRESOLUTION, dpi);
    TIFFSetField(tif, TIFFTAG_YRESOLUTION, dpi);
    TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
  }
  // Black everywhere: set bits for min-is-white, zero bytes otherwise.
  const tsize_t rowBytes = (tsize_t(width) * layout.Samples * layout.Bits + 7) / 8;
  std::vector<quint8> row(size_t(rowBytes), kind == TScanKind::Bilevel ? 0xFF : 0x00);
  bool ok = true;
  for (int y = 0; y < height && ok; ++y)
    ok = TIFFWriteScanline(tif, row.data(), quint32(y), 0) == 1;
  TIFFClose(tif);
  return ok ? path : QString();
}

TTiffFacts ReadTiffFacts(const QString &path) {
  TTiffFacts facts;
  TIFF *tif = TIFFOpen(QFile::encodeName(path).constData(), "r");
  if (!tif)
    return facts;
  quint32 width = 0, height = 0;
  quint16 samples = 0, bits = 0, compression = 0;
  TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &width);
  TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &height);
  TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &samples);
  TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bits);
  TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &compression);
  TIFFGetField(tif, TIFFTAG_XRESOLUTION, &facts.XDpi);
  TIFFGetField(tif, TIFFTAG_YRESOLUTION, &facts.YDpi);
  facts = {int(width), int(height), samples, bits, facts.XDpi, facts.YDpi, compression, true};
  TIFFClose(tif);
  return facts;
}

QImage ReadPixels(const QString &path) {
  TVellBitmap bitmap(path);
  const QImage *pixels = GdipImagePixels(bitmap.NativeImage());
  return pixels ? pixels->convertToFormat(QImage::Format_RGB32) : QImage();
}
