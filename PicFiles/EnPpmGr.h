// The PPM codec picture: portable bitmaps, graymaps and pixmaps ("P1" to
// "P6"), read and written byte for byte as this library always has.
#pragma once

#include "PicFiles/EnCodecIO.h"

class QIODevice;

// "Not a valid PPM file".
VELL_DECLARE_ERROR(EPpmError, EPicCodecError)

class TPpmGraphic : public TRasterCodecPicture {
  VELL_CLASS(TPpmGraphic, TRasterCodecPicture)
public:
  // "P" and a digit "1" to "6" at the position; the position is unchanged.
  bool CanLoadFromStream(QIODevice &stream) const override;
  // From the position: the kind, width and height; BitsPerPixel 1 for P1 and
  // P4, 8 for P2 and P5, 24 for P3, P6 and any other kind character.
  void ReadHeader(QIODevice &stream, TPicInfo &info) const override;

  // Decodes from the position; sets Mode from the kind read.
  void LoadFromStream(QIODevice &stream) override;
  // P1/P4 for black and white, P2/P5 for gray, P3/P6 for colour, by Mode.
  void SaveToStream(QIODevice &stream) const override;

  TPpmModeEnum Mode = pmeAscii;
};
