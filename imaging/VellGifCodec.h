// The GIF file codec on giflib: reads the first image of a file composed on
// its logical screen, with its colour table (local or global) and its
// transparent colour; writes one image, reducing other pictures to an
// adaptive palette first. The image data is written LZW-coded. Streams only;
// nothing throws, failures come back as a text.
#pragma once

#include "imaging/VellColorQuantizer.h"

#include <QImage>
#include <QString>

class QIODevice;

struct TGifHeader {
  int Width = 0; // of the composed picture
  int Height = 0;
  int BitsPerPixel = 0; // depth of the first image's colour table
};

struct TGifPicture {
  // Format_Indexed8 with the image's colour table; the transparent entry has
  // alpha 0 and fills what the image leaves of the screen (else the
  // background colour does).
  QImage Pixels;
  int BitsPerPixel = 0;
};

class TVellGifCodec {
public:
  TVellGifCodec() = delete;
  // True when the data at the device's position starts with "GIF87a" or
  // "GIF89a"; the position is not moved.
  static bool CanRead(QIODevice &device);
  // Reads up to the first image's descriptor.
  static bool ReadHeader(QIODevice &device, TGifHeader &header, QString &error);
  // A size over the imaging service's pixel limit is refused before any
  // pixel memory is taken.
  static bool Decode(QIODevice &device, TGifPicture &picture, QString &error);
  // Writes pixels at the device's position: Format_Indexed8 with its colour
  // table (an entry with alpha 0 becomes the transparent colour), any other
  // format reduced with kernel first.
  static bool Encode(const QImage &pixels, TDitherKernel kernel, QIODevice &device, QString &error);
};
