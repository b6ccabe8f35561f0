// Truevision TGA pictures through the TGA codec picture.
#pragma once

#include "PicFiles/CodecPicFormat.h"

class TTgaFormat : public TCodecPicFormat {
  VELL_CLASS(TTgaFormat, TCodecPicFormat)
public:
  TTgaFormat();
  const TMetaClass &GetAttrClass() const override;
  // Below 16 colours the picture is gray (256 levels), 16 and 256 colours
  // become 256 colours, true colour stays.
  void NewImage(int width, int height, TImageFormatEnum format) override;
};
