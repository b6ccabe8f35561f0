// ZSoft PCX pictures through the PCX codec picture.
#pragma once

#include "PicFiles/CodecPicFormat.h"

class TPcxFormat : public TCodecPicFormat {
  VELL_CLASS(TPcxFormat, TCodecPicFormat)
public:
  TPcxFormat();
  const TMetaClass &GetAttrClass() const override;
};
