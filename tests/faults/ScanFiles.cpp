#include "tests/faults/ScanFiles.h"

#include "imaging/VellGDIPOBJ.h"
#include "tests/support/TestFiles.h"

#include <QImage>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

QImage GreyContent(QSize pixels, bool noisy) {
  QImage image(pixels, QImage::Format_Grayscale8);
  QRandomGenerator random(7);
  for (int y = 0; y < image.height(); ++y) {
    uchar *row = image.scanLine(y);
    for (int x = 0; x < image.width(); ++x) {
      const bool ink = x < 4 || y < 4 || x >= image.width() - 4 || y >= image.height() - 4 ||
                       x * image.height() / image.width() == y;
      row[x] = noisy ? uchar(random.bounded(256)) : ink ? 0 : 255;
    }
  }
  return image;
}

} // namespace

void WriteGreyScan(const QString &path, QSize pixels, float dpi, bool noisy) {
  CLSID tiff;
  ASSERT_GE(GetEncoderClsid(QStringLiteral("image/tiff"), tiff), 0);
  TVellBitmap scan(GreyContent(pixels, noisy));
  scan.SetResolution(dpi, dpi);
  ASSERT_EQ(scan.Save(path, tiff), Ok) << path.toStdString();
}

QByteArray GreyScanBytes(QSize pixels, float dpi) {
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("scan.tif"));
  WriteGreyScan(path, pixels, dpi);
  return ReadWholeFile(path);
}

bool DecodesAs(const QString &path, QSize pixels) {
  TVellBitmap image(path);
  return image.GetLastStatus() == Ok && QSize(int(image.GetWidth()), int(image.GetHeight())) == pixels;
}
