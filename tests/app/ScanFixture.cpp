#include "ScanFixture.h"

#include "imaging/VellGDIPOBJ.h"
#include "tests/support/TestImages.h"

bool WriteSolidScan(const QString &path, TScanKind kind, int width, int height, float dpi) {
  return WriteScan(path, {kind, width, height, dpi, TScanContent::Solid});
}

TTiffFacts ReadTiffFacts(const QString &path) {
  const TTiffTags tags = ReadTiffTags(path);
  return {int(tags.Width),  int(tags.Height),     tags.SamplesPerPixel, tags.BitsPerSample,
          tags.XResolution, tags.YResolution,     tags.Compression,     tags.Opened};
}

QImage ReadPixels(const QString &path, quint32 page) {
  TVellBitmap bitmap(TFilePage{path, page});
  const QImage *pixels = GdipImagePixels(bitmap.NativeImage());
  return pixels ? pixels->convertToFormat(QImage::Format_RGB32) : QImage();
}
