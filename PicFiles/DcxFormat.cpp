#include "PicFiles/DcxFormat.h"

#include "PicFiles/EnDcxGr.h"

VELL_IMPLEMENT_CLASS(TDcxFormat, TCodecPicFormat)

TDcxFormat::TDcxFormat() : TCodecPicFormat(std::make_unique<TDcxGraphic>()) {}

const TMetaClass &TDcxFormat::GetAttrClass() const {
  return TDcxAttr::StaticClass();
}
