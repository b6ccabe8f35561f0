#include "tests/PicFiles/PicTools.h"
#include "tests/support/TestFiles.h"

#include <QBuffer>

#include <gtest/gtest.h>

namespace {

// PAM text header fields up to ENDHDR; the position moves past it.
bool ParsePamHeader(const QByteArray &pam, qsizetype &at, int &width, int &height, int &depth, int &maxval) {
  while (at < pam.size()) {
    const qsizetype end = pam.indexOf('\n', at);
    if (end < 0)
      return false;
    const QList<QByteArray> fields = pam.mid(at, end - at).split(' ');
    at = end + 1;
    if (fields[0] == "ENDHDR")
      return true;
    if (fields.size() < 2)
      continue;
    const int value = fields[1].toInt();
    if (fields[0] == "WIDTH")
      width = value;
    else if (fields[0] == "HEIGHT")
      height = value;
    else if (fields[0] == "DEPTH")
      depth = value;
    else if (fields[0] == "MAXVAL")
      maxval = value;
  }
  return false;
}

} // namespace

namespace {

QByteArray ToolOutput(const QString &tool, const QString &file, int page, const char *format,
                      const QStringList &options = {}) {
  // ImageMagick keeps TGA rows in file order and only records the origin;
  // -auto-orient applies it, as the file format means.
  const QStringList arguments = QStringList{file + QStringLiteral("[%1]").arg(page), QStringLiteral("-auto-orient")} +
                                options + QStringList{QStringLiteral("-depth"), QStringLiteral("8"), QLatin1String(format)};
  QByteArray pam;
  const bool ran = tool == QLatin1String("gm")
                       ? RunToolOk(QStringLiteral("gm"), QStringList{QStringLiteral("convert")} + arguments, &pam)
                       : RunToolOk(tool, arguments, &pam);
  return ran ? pam : QByteArray();
}

} // namespace

QImage ToolPixels(const QString &tool, const QString &file, int page) {
  QByteArray pam = ToolOutput(tool, file, page, "pam:-");
  if (pam.contains("TUPLTYPE CMYK"))
    pam = ToolOutput(tool, file, page, "pam:-", {QStringLiteral("-colorspace"), QStringLiteral("sRGB")});
  qsizetype at = 3;
  int width = 0, height = 0, depth = 0, maxval = 255;
  // GraphicsMagick packs bilevel PAM samples into bits; its PPM serves then.
  if (pam.contains("MAXVAL 1\nTUPLTYPE BLACKANDWHITE\n")) {
    const QList<QByteArray> fields = ToolOutput(tool, file, page, "ppm:-").split('\n');
    if (fields.size() > 3 && fields[0] == "P6") {
      width = fields[1].split(' ').value(0).toInt();
      height = fields[1].split(' ').value(1).toInt();
      pam = fields.mid(3).join('\n');
      at = 0;
      depth = 3;
    }
  } else if (!pam.startsWith("P7\n") || !ParsePamHeader(pam, at, width, height, depth, maxval)) {
    width = 0;
  }
  if (width <= 0 ||
      pam.size() - at < qint64(width) * height * depth || maxval <= 0) {
    ADD_FAILURE() << "no PAM from " << tool.toStdString() << " for " << file.toStdString();
    return {};
  }
  QImage image(width, height, QImage::Format_ARGB32);
  const auto *p = reinterpret_cast<const uchar *>(pam.constData()) + at;
  const auto level = [&](int v) { return v * 255 / maxval; };
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x, p += depth) {
      const bool colour = depth >= 3;
      const int alpha = depth == 2 || depth == 4 ? level(p[depth - 1]) : 255;
      image.setPixel(x, y, qRgba(level(p[0]), level(p[colour ? 1 : 0]), level(p[colour ? 2 : 0]), alpha));
    }
  return image;
}

QImage AsArgb(const QImage &image) { return image.convertToFormat(QImage::Format_ARGB32); }

TPixelDiff ComparePixels(const QImage &ours, const QImage &theirs) {
  TPixelDiff diff;
  if (ours.size() != theirs.size())
    return diff;
  const QImage a = AsArgb(ours);
  const QImage b = AsArgb(theirs);
  diff.Largest = 0;
  for (int y = 0; y < a.height(); ++y)
    for (int x = 0; x < a.width(); ++x) {
      const QRgb p = a.pixel(x, y);
      const QRgb q = b.pixel(x, y);
      // Colour under full transparency is not compared: tools differ there.
      const int channels = qAlpha(p) == 0 && qAlpha(q) == 0
                               ? 0
                               : std::max({std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                                           std::abs(qBlue(p) - qBlue(q)), std::abs(qAlpha(p) - qAlpha(q))});
      if (channels > diff.Largest)
        diff = {channels, x, y};
    }
  return diff;
}
