#include "ScanFixture.h"

#include "imaging/VellGDIPOBJ.h"

#include <QFile>

#include <tiffio.h>

bool WriteSolidScan(const QString &path, TScanKind kind, int width, int height, float dpi) {
  return WriteScan(path, {kind, width, height, dpi, TScanContent::Solid});
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

QImage ReadPixels(const QString &path, quint32 page) {
  TVellBitmap bitmap(TFilePage{path, page});
  const QImage *pixels = GdipImagePixels(bitmap.NativeImage());
  return pixels ? pixels->convertToFormat(QImage::Format_RGB32) : QImage();
}
