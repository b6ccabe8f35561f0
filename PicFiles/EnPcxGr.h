// The PCX codec picture: ZSoft PCX files of versions 0 to 5 with 1 bit in 1 to
// 4 planes, 2, 4 or 8 bits in one plane (8 bits with the trailing 256-colour
// palette) and 8 bits in 3 or 4 planes (RGB, RGBA), run-length coded.
#pragma once

#include "PicFiles/EnCodecIO.h"

class QIODevice;

class TPcxGraphic : public TRasterCodecPicture {
  VELL_CLASS(TPcxGraphic, TRasterCodecPicture)
public:
  // The header test of the format class: manufacturer 10, version 0, 2, 3, 4
  // or 5, encoding 1, 1, 2, 4 or 8 bits per pixel. The position is unchanged.
  bool CanLoadFromStream(QIODevice &stream) const override;
  // The resolutions at header offsets 12 and 14, then width, height and bits
  // per pixel (bits per plane × planes); "gbm_read_header failed." when the
  // header is not one this codec decodes.
  void ReadHeader(QIODevice &stream, TPicInfo &info) const override;

  // Decodes one PCX file that runs to the end of the stream.
  void LoadFromStream(QIODevice &stream) override;
  // Writes version 5: black-and-white as 1 bit, 16-entry layouts as 1 bit × 4
  // planes with the palette in the header, 256-entry layouts as 8 bits with the
  // trailing palette, true colour as 3 planes (4 with alpha); the resolutions
  // go into the header.
  void SaveToStream(QIODevice &stream) const override;
};
