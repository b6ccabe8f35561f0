#include "PicFiles/CodecPicFormat.h"

#include "PicFiles/VellGraphUtils.h"

VELL_IMPLEMENT_CLASS(TCodecPicFormat, TBasePicFormat)

TCodecPicFormat::TCodecPicFormat(std::unique_ptr<TCodecPicture> picture) : FPicture(std::move(picture)) {
  VELL_ASSERT(FPicture);
}

qint32 TCodecPicFormat::GetHeight() const {
  return FPicture->Height();
}
TImageFormatEnum TCodecPicFormat::GetImageFormat() const {
  return FPicture->ImageFormat();
}
qint32 TCodecPicFormat::GetWidth() const {
  return FPicture->Width();
}
quint16 TCodecPicFormat::GetXDotsPerInch() const {
  return FPicture->XDotsPerInch();
}
quint16 TCodecPicFormat::GetYDotsPerInch() const {
  return FPicture->YDotsPerInch();
}
void TCodecPicFormat::SetXDotsPerInch(quint16 value) {
  FPicture->SetXDotsPerInch(value);
}
void TCodecPicFormat::SetYDotsPerInch(quint16 value) {
  FPicture->SetYDotsPerInch(value);
}

bool TCodecPicFormat::CanLoadFromStream(QIODevice &stream) const {
  return FPicture->CanLoadFromStream(stream);
}

void TCodecPicFormat::Draw(TCanvas &canvas, int x, int y) const {
  canvas.Draw(x, y, *FPicture);
}

void TCodecPicFormat::ApplyAttr(const TVellPicAttr *attr) {
  if (!attr)
    return;
  if (HasOptions())
    CheckAttrClass(*attr);
  SetXDotsPerInch(attr->XDotsPerInch);
  SetYDotsPerInch(attr->YDotsPerInch);
  if (HasOptions())
    ApplyOptions(*attr);
}

TImageFormatEnum TCodecPicFormat::WantedFormat(const TVellPicAttr *attr, TImageFormatEnum fallback) {
  return attr ? attr->ImageFormat : fallback;
}

void TCodecPicFormat::AssignFromBitmap(const TBitmap &bitmap, const TVellPicAttr *attr) {
  FPicture->Clear();
  if (bitmap.Empty())
    return;
  NewImage(bitmap.Width(), bitmap.Height(), WantedFormat(attr, PixelFormatToImageFormat(bitmap.PixelDepth())));
  FPicture->Surface()->Draw(0, 0, bitmap);
  ApplyAttr(attr);
}

void TCodecPicFormat::AssignFromBitmapEx(const TVellBitmapEx &bitmapEx, const TVellPicAttr *attr) {
  NewImage(bitmapEx.GetWidth(), bitmapEx.GetHeight(), WantedFormat(attr, ifeTrueColor));
  bitmapEx.DrawOn(*FPicture->Surface(), 0, 0);
  ApplyAttr(attr);
}

void TCodecPicFormat::AssignFromGraphic(const TGraphic &graphic, const TVellPicAttr *attr) {
  if (const auto *bitmap = dynamic_cast<const TBitmap *>(&graphic)) {
    AssignFromBitmap(*bitmap, attr);
    return;
  }
  NewImage(graphic.Width(), graphic.Height(), WantedFormat(attr, ifeTrueColor));
  FPicture->Surface()->Draw(0, 0, graphic);
  ApplyAttr(attr);
}

void TCodecPicFormat::AssignFromFormat(const TBasePicFormat *format, const TVellPicAttr *attr) {
  if (!format) {
    FPicture->Clear();
    return;
  }
  if (attr)
    CheckAttrClass(*attr);
  const auto *same =
      &format->ClassType() == &ClassType() ? dynamic_cast<const TCodecPicFormat *>(format) : nullptr;
  const TImageFormatEnum wanted = attr ? attr->ImageFormat : format->GetImageFormat();
  const quint16 xdpi = attr ? attr->XDotsPerInch : format->GetXDotsPerInch();
  const quint16 ydpi = attr ? attr->YDotsPerInch : format->GetYDotsPerInch();
  if (same && same->GetImageFormat() == wanted) {
    if (same != this)
      FPicture->CopyFrom(same->Picture());
  } else if (format == this) {
    // The picture is drawn from a copy, as NewImage replaces it.
    TBitmap snapshot;
    AssignToBitmap(snapshot);
    NewImage(snapshot.Width(), snapshot.Height(), wanted);
    FPicture->Surface()->Draw(0, 0, snapshot);
  } else {
    NewImage(format->GetWidth(), format->GetHeight(), wanted);
    format->Draw(*FPicture->Surface(), 0, 0);
  }
  SetXDotsPerInch(xdpi);
  SetYDotsPerInch(ydpi);
  if (attr)
    ApplyOptions(*attr);
  else if (same && same != this)
    CopyOptions(*same);
}

void TCodecPicFormat::LoadFromStream(QIODevice &stream) {
  stream.seek(0);
  FPicture->LoadFromStream(stream);
}

void TCodecPicFormat::NewImage(int width, int height, TImageFormatEnum format) {
  FPicture->NewImage(width, height, format);
}

void TCodecPicFormat::ReadInfo(QIODevice &stream, TPicInfo &info) {
  TBasePicFormat::ReadInfo(stream, info);
  FPicture->ReadHeader(stream, info);
}

void TCodecPicFormat::SaveToStream(QIODevice &stream) {
  FPicture->SaveToStream(stream);
}

void TCodecPicFormat::StretchDraw(TCanvas &canvas, const QRect &rect, bool smooth) const {
  if (!smooth) {
    canvas.StretchDraw(rect, *FPicture);
    return;
  }
  const auto source = FPicture->Surface();
  HalftoneStretchBlt(canvas, rect.left(), rect.top(), rect.width(), rect.height(), *source, 0, 0,
                     FPicture->Width(), FPicture->Height());
}

void TCodecPicFormat::AssignToBitmap(TBitmap &bitmap) const {
  bitmap.Clear();
  if (FPicture->Empty())
    return;
  FPicture->CopyToBitmap(bitmap);
}

void TCodecPicFormat::FillAttr(TVellPicAttr &attr) const {
  TBasePicFormat::FillAttr(attr);
  if (attr.InheritsFrom(GetAttrClass()))
    FillOptions(attr);
}
