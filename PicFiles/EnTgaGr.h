// The TGA codec picture: Truevision TGA files of image types 1, 2, 3 (raw)
// and 9, 10, 11 (run-length coded), colour-mapped, true colour and gray.
#pragma once

#include "PicFiles/EnCodecIO.h"

class QIODevice;

class TTgaGraphic : public TRasterCodecPicture {
  VELL_CLASS(TTgaGraphic, TRasterCodecPicture)
public:
  // The header test of the format class: colour-mapped with 8-bit indices into
  // 24-bit map entries, true colour of 16, 24 or 32 bits, or 8-bit gray. The
  // stream position is unchanged.
  bool CanLoadFromStream(QIODevice &stream) const override;
  // Width, height and the bits per pixel of the decoded picture (8 for mapped
  // and gray, 24 for true colour, 32 with alpha); "gbm_read_header failed."
  // when the header is not one this codec decodes.
  void ReadHeader(QIODevice &stream, TPicInfo &info) const override;

  void LoadFromStream(QIODevice &stream) override;
  // Gray layouts are written as type 3, palette layouts as type 1 (8-bit
  // indices, 24-bit map), true colour as type 2 with 24 bits, or 32 bits with
  // 8 alpha bits when the picture has alpha; raw rows, bottom-left origin.
  void SaveToStream(QIODevice &stream) const override;
};
