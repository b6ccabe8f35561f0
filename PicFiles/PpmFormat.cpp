#include "PicFiles/PpmFormat.h"

#include "PicFiles/EnPpmGr.h"

VELL_IMPLEMENT_CLASS(TPpmFormat, TCodecPicFormat, TProp::Accessor("Mode", &TPpmFormat::GetMode, &TPpmFormat::SetMode))

TPpmFormat::TPpmFormat() : TCodecPicFormat(std::make_unique<TPpmGraphic>()) {}

const TMetaClass &TPpmFormat::GetAttrClass() const {
  return TPpmAttr::StaticClass();
}

TPpmGraphic &TPpmFormat::Ppm() const {
  return static_cast<TPpmGraphic &>(Picture());
}

TPpmModeEnum TPpmFormat::GetMode() const {
  return Ppm().Mode;
}

void TPpmFormat::SetMode(TPpmModeEnum mode) {
  Ppm().Mode = mode;
}

void TPpmFormat::AssignFromBitmap(const TBitmap &bitmap, const TVellPicAttr *attr) {
  NewImage(bitmap.Width(), bitmap.Height(), WantedFormat(attr, PixelFormatToImageFormat(bitmap.PixelDepth())));
  Picture().Surface()->Draw(0, 0, bitmap);
  ApplyAttr(attr);
}

void TPpmFormat::AssignFromGraphic(const TGraphic &graphic, const TVellPicAttr *attr) {
  if (const auto *bitmap = dynamic_cast<const TBitmap *>(&graphic)) {
    AssignFromBitmap(*bitmap, attr);
    return;
  }
  NewImage(graphic.Width(), graphic.Height(), ifeTrueColor);
  Picture().Surface()->Draw(0, 0, graphic);
  ApplyAttr(attr);
}

void TPpmFormat::ApplyOptions(const TVellPicAttr &attr) {
  SetMode(static_cast<const TPpmAttr &>(attr).Mode);
}

void TPpmFormat::FillOptions(TVellPicAttr &attr) const {
  static_cast<TPpmAttr &>(attr).Mode = GetMode();
}

void TPpmFormat::CopyOptions(const TCodecPicFormat &other) {
  SetMode(static_cast<const TPpmFormat &>(other).GetMode());
}
