// The JPEG file codec on libjpeg-turbo: reads grayscale, RGB, YCbCr, CMYK and
// YCCK files (Adobe's inverted CMYK and plain CMYK), baseline, progressive and
// with restart markers; writes JFIF with one component for grey pictures and
// YCbCr for colour ones. Streams only; nothing throws, libjpeg's errors come
// back as its message, and a file that ends before its last scan is complete
// is an error, not a partly grey picture.
#pragma once

#include <QImage>
#include <QString>

class QIODevice;

enum class TJpegColorSpace : quint8 { Gray, Rgb, YCbCr, Cmyk, Ycck, Other };

// What the header says.
struct TJpegHeader {
  int Width = 0;
  int Height = 0;
  int Components = 0; // in the file
  TJpegColorSpace ColorSpace = TJpegColorSpace::Other;
  int DensityUnit = 0; // 0 none, 1 dots per inch, 2 dots per centimetre
  quint16 XDensity = 0;
  quint16 YDensity = 0;
};

// Decoded pixels: Format_Grayscale8 for grey files, Format_BGR888 for all
// others (CMYK and YCCK converted to RGB).
struct TJpegPicture {
  QImage Pixels;
  TJpegHeader Header;
};

struct TJpegOptions {
  int Quality = 75; // 1 to 100, baseline-compatible tables
  bool Progressive = false;
  bool OptimizeHuffman = false;
  quint16 XDotsPerInch = 0;
  quint16 YDotsPerInch = 0;
};

class TVellJpegCodec {
public:
  TVellJpegCodec() = delete;
  // True when the data at the device's position starts with FF D8 FF; the
  // position is not moved.
  static bool CanRead(QIODevice &device);
  static bool ReadHeader(QIODevice &device, TJpegHeader &header, QString &error);
  // Decodes the file at the device's position. A size over the imaging
  // service's pixel limit is refused before any pixel memory is taken.
  static bool Decode(QIODevice &device, TJpegPicture &picture, QString &error);
  // Writes pixels at the device's position: Format_Grayscale8 as one
  // component, any other format as colour.
  static bool Encode(const QImage &pixels, const TJpegOptions &options, QIODevice &device, QString &error);
};
