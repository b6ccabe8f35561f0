#include "PicFiles/PsdFormat.h"

#include "PicFiles/EnPsdGr.h"

VELL_IMPLEMENT_CLASS(TPsdFormat, TCodecPicFormat)

TPsdFormat::TPsdFormat() : TCodecPicFormat(std::make_unique<TPsdGraphic>()) {}

const TMetaClass &TPsdFormat::GetAttrClass() const {
  return TPSDAttr::StaticClass();
}

void TPsdFormat::AssignFromBitmap(const TBitmap &, const TVellPicAttr *) {
  VELL_ASSERT(false);
}

void TPsdFormat::AssignFromBitmapEx(const TVellBitmapEx &, const TVellPicAttr *) {
  VELL_ASSERT(false);
}

void TPsdFormat::AssignFromGraphic(const TGraphic &, const TVellPicAttr *) {
  VELL_ASSERT(false);
}

void TPsdFormat::AssignFromFormat(const TBasePicFormat *, const TVellPicAttr *) {
  VELL_ASSERT(false);
}

void TPsdFormat::NewImage(int, int, TImageFormatEnum) {
  VELL_ASSERT(false);
}

void TPsdFormat::SaveToStream(QIODevice &) {
  VELL_ASSERT(false);
}

void TPsdFormat::LoadFromStream(QIODevice &stream) {
  Picture().LoadFromStream(stream);
}

void TPsdFormat::ReadInfo(QIODevice &stream, TPicInfo &info) {
  TCodecPicFormat::ReadInfo(stream, info);
  info.Operations = TPicOperations{poLoad};
}
