// Multi-page DCX files of PCX pages through the DCX codec picture: loading
// reads page 1, saving writes a new single-page file.
#pragma once

#include "PicFiles/CodecPicFormat.h"

class TDcxFormat : public TCodecPicFormat {
  VELL_CLASS(TDcxFormat, TCodecPicFormat)
public:
  TDcxFormat();
  const TMetaClass &GetAttrClass() const override;
};
