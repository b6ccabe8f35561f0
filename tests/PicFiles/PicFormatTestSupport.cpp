#include "PicFormatTestSupport.h"

#include "Common/VellErrors.h"

#include <QBuffer>

VELL_IMPLEMENT_CLASS(TTestGraphic, TRasterCodecPicture)
VELL_IMPLEMENT_CLASS(TTestFormat, TCodecPicFormat)
VELL_IMPLEMENT_CLASS(TPlainTestFormat, TCodecPicFormat)

void TTestGraphic::LoadFromStream(QIODevice &stream) {
  const QByteArray header = stream.read(7);
  if (header.size() != 7 || !header.startsWith("TPIC"))
    throw EStreamError(QStringLiteral("not a test picture"));
  const int width = quint8(header[4]), height = quint8(header[5]);
  const QByteArray pixels = stream.read(qint64(width) * height * 3);
  if (pixels.size() != width * height * 3)
    throw EStreamError(QStringLiteral("short test picture"));
  QImage image(reinterpret_cast<const uchar *>(pixels.constData()), width, height, width * 3,
               QImage::Format_RGB888);
  TBitmap bitmap;
  bitmap.SetImage(image.copy());
  SetPixels(bitmap, TImageFormatEnum(header[6]));
}

void TTestGraphic::SaveToStream(QIODevice &stream) const {
  if (FailEncoding) {
    stream.write("TPIC");
    throw EStreamError(QStringLiteral("encoding failed"));
  }
  QByteArray out("TPIC");
  out.append(char(Width())).append(char(Height())).append(char(ImageFormat()));
  const QImage rgb = Pixels().Image().convertToFormat(QImage::Format_RGB888);
  for (int y = 0; y < rgb.height(); ++y)
    out.append(reinterpret_cast<const char *>(rgb.constScanLine(y)), rgb.width() * 3);
  stream.write(out);
}

void TTestGraphic::ReadHeader(QIODevice &stream, TPicInfo &info) const {
  const QByteArray header = stream.read(7);
  if (header.size() != 7)
    throw EStreamError(QStringLiteral("short test picture"));
  info.Width = quint8(header[4]);
  info.Height = quint8(header[5]);
  info.BitsPerPixel = 24;
}

QRgb GradientColour(int x, int y) {
  return qRgb(x * 40, y * 40, 200);
}

TBitmap GradientBitmap(int width, int height, int depth) {
  QImage image(width, height, QImage::Format_RGB32);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      image.setPixel(x, y, GradientColour(x, y));
  TBitmap bitmap;
  bitmap.SetImage(image.convertToFormat(QImage::Format_BGR888));
  bitmap.SetPixelDepth(depth);
  return bitmap;
}

QByteArray Saved(TBasePicFormat &format) {
  QBuffer buffer;
  buffer.open(QIODevice::WriteOnly);
  format.SaveToStream(buffer);
  return buffer.data();
}
