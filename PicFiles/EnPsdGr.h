// The PSD codec picture: the composite (merged) image of Photoshop files,
// raw or PackBits coded, in the colour modes bitmap, grayscale, indexed, RGB,
// CMYK (converted to RGB) and duotone (read as gray), 8 or 16 bits per
// channel, with an alpha channel where the file has one beyond its colours.
// Decoding only.
#pragma once

#include "PicFiles/EnCodecIO.h"

class QIODevice;

class TPsdGraphic : public TRasterCodecPicture {
  VELL_CLASS(TPsdGraphic, TRasterCodecPicture)
public:
  // From the start of the stream: more than 26 bytes, "8BPS" (any case) and
  // version 1. The position is unchanged.
  bool CanLoadFromStream(QIODevice &stream) const override;
  // From the position: width, height and the bits per pixel of the decoded
  // picture (32 with alpha, else 24); EPicCodecError for files not decoded here.
  void ReadHeader(QIODevice &stream, TPicInfo &info) const override;

  // Decodes the file at the position into true colour (32 bits with alpha,
  // else 24).
  void LoadFromStream(QIODevice &stream) override;
  // Photoshop files are not written: an assertion failure.
  void SaveToStream(QIODevice &stream) const override;
};
