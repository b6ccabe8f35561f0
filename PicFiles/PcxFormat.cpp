#include "PicFiles/PcxFormat.h"

#include "PicFiles/EnPcxGr.h"

VELL_IMPLEMENT_CLASS(TPcxFormat, TCodecPicFormat)

TPcxFormat::TPcxFormat() : TCodecPicFormat(std::make_unique<TPcxGraphic>()) {}

const TMetaClass &TPcxFormat::GetAttrClass() const {
  return TPcxAttr::StaticClass();
}
