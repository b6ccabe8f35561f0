#include "ui/ImageHeader.h"

#include <QFile>
#include <QImageReader>

#include <tiffio.h>

namespace {

int Quiet(TIFF *, void *, const char *, const char *, va_list) {
  return 1; // handled: an unreadable header just has no size
}

QSize ReadTiffSize(const QString &fileName) {
  TIFFOpenOptions *options = TIFFOpenOptionsAlloc();
  TIFFOpenOptionsSetErrorHandlerExtR(options, Quiet, nullptr);
  TIFFOpenOptionsSetWarningHandlerExtR(options, Quiet, nullptr);
  TIFF *tiff = TIFFOpenExt(QFile::encodeName(fileName).constData(), "r", options);
  TIFFOpenOptionsFree(options);
  if (!tiff)
    return {};
  quint32 width = 0, height = 0;
  const bool ok =
      TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &width) && TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &height);
  TIFFClose(tiff);
  return ok ? QSize(static_cast<int>(width), static_cast<int>(height)) : QSize();
}

} // namespace

QSize ReadImageSize(const QString &fileName) {
  const QSize tiff = ReadTiffSize(fileName);
  if (tiff.isValid())
    return tiff;
  // Other content behind a TIFF name is recognised by its signature.
  QImageReader reader(fileName);
  reader.setDecideFormatFromContent(true);
  return reader.size();
}
