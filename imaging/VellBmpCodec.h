// The BMP file codec: reads the core (OS/2 1.x), OS/2 2.x, info, V2 to V5
// headers with 1, 4, 8, 16, 24 and 32 bits per pixel, RLE4 and RLE8, bit-field
// masks, bottom-up and top-down rows and short palettes; writes 1, 4, 8, 16,
// 24 and 32 bits with an info header. The pixels keep the file's depth and
// palette. Streams only; nothing throws, failures come back as a text.
#pragma once

#include <QImage>
#include <QString>

class QIODevice;

// The fields of a BMP header that callers care about, as the file stores
// them (a negative height marks top-down rows).
struct TBmpHeader {
  quint32 HeaderSize = 0;
  qint32 Width = 0;
  qint32 Height = 0;
  quint16 BitCount = 0;
  quint32 Compression = 0;
  qint32 XPelsPerMeter = 0;
  qint32 YPelsPerMeter = 0;
  quint32 ColorsUsed = 0;
};

// Pixels in the depth they have in the file:
//   1 bit: Format_Mono; 4 and 8 bits: Format_Indexed8 (the colour table is the
//   file's palette, extended with black only where an index points past it);
//   16 bits: Format_RGB555 or Format_RGB16 (5-6-5); 24 bits: Format_BGR888;
//   32 bits: Format_RGB32, or Format_ARGB32 when the header has an alpha mask.
//   16- and 32-bit files with other bit-field layouts come as Format_BGR888,
//   or Format_ARGB32 with an alpha mask.
struct TBmpPicture {
  QImage Pixels;
  int BitsPerPixel = 0; // the file's bit count
  qint32 XPelsPerMeter = 0;
  qint32 YPelsPerMeter = 0;
};

class TVellBmpCodec {
public:
  TVellBmpCodec() = delete;
  // True when the data at the device's position starts with "BM"; the
  // position is not moved.
  static bool CanRead(QIODevice &device);
  // Reads the file and info headers from the device's position.
  static bool ReadHeader(QIODevice &device, TBmpHeader &header, QString &error);
  // Decodes a BMP file that starts at the device's position. Headers that
  // announce more pixels than the imaging service's pixel limit are refused
  // before any pixel memory is taken.
  static bool Decode(QIODevice &device, TBmpPicture &picture, QString &error);
  // Writes picture at the device's position: Format_Mono as 1 bit, Indexed8
  // as 4 bits when BitsPerPixel is 4 and 8 bits otherwise, RGB555 as 16 bits,
  // RGB16 as 16 bits with 5-6-5 masks, BGR888 as 24 bits, RGB32 and ARGB32 as
  // 32 bits (bytes B, G, R and the alpha byte). Other formats are written as
  // 24 bits.
  static bool Encode(const TBmpPicture &picture, QIODevice &device, QString &error);
};
