#include "PicFiles/BasePicFormat.h"

#include "PicFiles/VellGraphUtils.h"

#include <QFile>

VELL_IMPLEMENT_CLASS(TBasePicFormat, TPersistent, TProp::Getter("Empty", &TBasePicFormat::GetEmpty),
                     TProp::Getter("Height", &TBasePicFormat::GetHeight),
                     TProp::Getter("ImageFormat", &TBasePicFormat::GetImageFormat),
                     TProp::Getter("Width", &TBasePicFormat::GetWidth),
                     TProp::Accessor("XDotsPerInch", &TBasePicFormat::GetXDotsPerInch,
                                     &TBasePicFormat::SetXDotsPerInch),
                     TProp::Accessor("YDotsPerInch", &TBasePicFormat::GetYDotsPerInch,
                                     &TBasePicFormat::SetYDotsPerInch))

namespace {
[[noreturn]] void AbstractError() {
  throw EAbstractError(QStringLiteral("Abstract Error"));
}
} // namespace

void TBasePicFormat::Assign(const TPersistent *source) {
  if (!source)
    NewImage(0, 0, ifeTrueColor);
  else if (const auto *format = dynamic_cast<const TBasePicFormat *>(source))
    AssignFromFormat(format, nullptr);
  else if (const auto *bitmapEx = dynamic_cast<const TVellBitmapEx *>(source))
    AssignFromBitmapEx(*bitmapEx, nullptr);
  else if (const auto *bitmap = dynamic_cast<const TBitmap *>(source))
    AssignFromBitmap(*bitmap, nullptr);
  else
    TPersistent::Assign(source);
}

bool TBasePicFormat::GetEmpty() const {
  return GetWidth() == 0 || GetHeight() == 0;
}

qint32 TBasePicFormat::GetHeight() const {
  AbstractError();
}
TImageFormatEnum TBasePicFormat::GetImageFormat() const {
  AbstractError();
}
qint32 TBasePicFormat::GetWidth() const {
  AbstractError();
}
quint16 TBasePicFormat::GetXDotsPerInch() const {
  AbstractError();
}
quint16 TBasePicFormat::GetYDotsPerInch() const {
  AbstractError();
}
void TBasePicFormat::SetXDotsPerInch(quint16) {
  AbstractError();
}
void TBasePicFormat::SetYDotsPerInch(quint16) {
  AbstractError();
}
bool TBasePicFormat::IsFeatureSupported() const {
  AbstractError();
}
bool TBasePicFormat::CanLoadFromStream(QIODevice &) const {
  AbstractError();
}
void TBasePicFormat::Draw(TCanvas &, int, int) const {
  AbstractError();
}
void TBasePicFormat::AssignFromBitmap(const TBitmap &, const TVellPicAttr *) {
  AbstractError();
}
void TBasePicFormat::AssignFromBitmapEx(const TVellBitmapEx &, const TVellPicAttr *) {
  AbstractError();
}
void TBasePicFormat::AssignFromGraphic(const TGraphic &, const TVellPicAttr *) {
  AbstractError();
}
void TBasePicFormat::AssignFromFormat(const TBasePicFormat *, const TVellPicAttr *) {
  VELL_ASSERT(false);
}
const TMetaClass &TBasePicFormat::GetAttrClass() const {
  AbstractError();
}
void TBasePicFormat::LoadFromStream(QIODevice &) {
  AbstractError();
}
void TBasePicFormat::NewImage(int, int, TImageFormatEnum) {
  AbstractError();
}
void TBasePicFormat::SaveToStream(QIODevice &) {
  AbstractError();
}
void TBasePicFormat::StretchDraw(TCanvas &, const QRect &, bool) const {
  AbstractError();
}

void TBasePicFormat::LoadFromFile(const QString &fileName) {
  QFile file(fileName);
  if (!file.open(QIODevice::ReadOnly))
    throw EFOpenError(QStringLiteral("Cannot open file \"%1\". %2").arg(fileName, file.errorString()));
  file.seek(0);
  LoadFromStream(file);
}

void TBasePicFormat::SaveToFile(const QString &fileName) {
  SaveFileAtomically(fileName, [this](QIODevice *stream) { SaveToStream(*stream); });
}

void TBasePicFormat::ReadInfo(QIODevice &, TPicInfo &info) {
  info.Operations = {poLoad, poSave};
}

void TBasePicFormat::AssignToBitmap(TBitmap &bitmap) const {
  bitmap.SetSize(GetWidth(), GetHeight());
  TBitmapCanvas canvas(bitmap);
  Draw(canvas, 0, 0);
}

void TBasePicFormat::AssignToBitmapEx(TVellBitmapEx &bitmapEx) {
  bitmapEx.SetSize(GetWidth(), GetHeight());
  bitmapEx.SetAlpha(255, false);
  bitmapEx.Paint([this](TCanvas &canvas) { Draw(canvas, 0, 0); });
}

void TBasePicFormat::FillAttr(TVellPicAttr &attr) const {
  attr.XDotsPerInch = GetXDotsPerInch();
  attr.YDotsPerInch = GetYDotsPerInch();
  attr.ImageFormat = GetImageFormat();
}

void TBasePicFormat::CheckAttrClass(const TVellPicAttr &attr) const {
  VELL_ASSERT(attr.InheritsFrom(GetAttrClass()));
}

TImageFormatEnum TBasePicFormat::PixelFormatToImageFormat(int pixelDepth) {
  switch (pixelDepth) {
  case 1:
    return ifeBlackWhite;
  case 4:
    return ifeColor16;
  case 8:
    return ifeColor256;
  default:
    return ifeTrueColor;
  }
}

TPicFormatClassList &PicFormatClassList() {
  return TPicFormatClassList::Instance();
}

void RegisterPicFormat(const TMetaClass &formatClass) {
  PicFormatClassList().Register(formatClass);
}
