#include "PicFiles/TgaFormat.h"

#include "PicFiles/EnTgaGr.h"

VELL_IMPLEMENT_CLASS(TTgaFormat, TCodecPicFormat)

TTgaFormat::TTgaFormat() : TCodecPicFormat(std::make_unique<TTgaGraphic>()) {}

const TMetaClass &TTgaFormat::GetAttrClass() const {
  return TTgaAttr::StaticClass();
}

void TTgaFormat::NewImage(int width, int height, TImageFormatEnum format) {
  const TImageFormatEnum mapped = format < ifeColor16 ? ifeGray256 : format == ifeTrueColor ? ifeTrueColor : ifeColor256;
  TCodecPicFormat::NewImage(width, height, mapped);
}
