// The PSD codec picture: the composite (merged) image of Photoshop files,
// raw or PackBits coded, in the colour modes bitmap, grayscale, indexed, RGB,
// CMYK (converted to RGB) and duotone (read as gray), 8 or 16 bits per
// channel, with an alpha channel where the file has one beyond its colours.
// Decoding only.
#pragma once

#include "PicFiles/EnCodecIO.h"

class QIODevice;

class TPsdGraphic : public TCodecRaster {
public:
  // From the start of the stream: more than 26 bytes, "8BPS" (any case) and
  // version 1. The position is unchanged.
  static bool CanLoadFromStream(QIODevice &stream);
  // From the position: width, height and the bits per pixel of the decoded
  // picture (32 with alpha, else 24); EPicCodecError for files not decoded here.
  static TPicHeader ReadHeader(QIODevice &stream);

  // Decodes the file at the position into true colour (ARGB32 with alpha,
  // else BGR888).
  void LoadFromStream(QIODevice &stream);
};
