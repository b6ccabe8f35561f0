#include "tests/PicFiles/MetafileTestSupport.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QPainter>

#include <gtest/gtest.h>

QString MetafileFixture(const QString &name) {
  return QStringLiteral(PT_METAFILE_FIXTURES) + name;
}

QByteArray MetafileFixtureBytes(const QString &name) {
  QFile file(MetafileFixture(name));
  EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << name.toStdString();
  return file.readAll();
}

TMetafile LoadedMetafile(const QByteArray &bytes) {
  QBuffer buffer;
  buffer.setData(bytes);
  buffer.open(QIODevice::ReadOnly);
  TMetafile metafile;
  metafile.LoadFromStream(buffer);
  return metafile;
}

QImage RenderedMetafile(const TMetafile &metafile) {
  TBitmap bitmap;
  metafile.CopyToBitmap(bitmap);
  return bitmap.Image().convertToFormat(QImage::Format_RGB32);
}

QImage OverWhite(const QImage &image) {
  QImage white(image.size(), QImage::Format_RGB32);
  white.fill(Qt::white);
  QPainter(&white).drawImage(0, 0, image);
  return white;
}

int ColourDistance(QRgb a, QRgb b) {
  return qMax(qMax(qAbs(qRed(a) - qRed(b)), qAbs(qGreen(a) - qGreen(b))), qAbs(qBlue(a) - qBlue(b)));
}

double MismatchShare(const QImage &ours, const QImage &reference, const QString &name, double limit) {
  const int width = qMin(ours.width(), reference.width());
  const int height = qMin(ours.height(), reference.height());
  int differing = 0;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      differing += ColourDistance(ours.pixel(x, y), reference.pixel(x, y)) > 96;
  const double share = double(differing) / qMax(1, width * height);
  if (share >= limit)
    ours.save(QDir::temp().filePath("pt-metafile-" + name + ".png"));
  return share;
}
