#include "PicFiles/WmfFormat.h"

VELL_IMPLEMENT_CLASS(TWmfFormat, TCodecPicFormat,
                     TProp::Accessor("EnHanced", &TWmfFormat::GetEnHanced, &TWmfFormat::SetEnHanced))

TWmfFormat::TWmfFormat() : TCodecPicFormat(std::make_unique<TMetafile>()) {}

void TWmfFormat::StretchDraw(TCanvas &canvas, const QRect &rect, bool) const {
  canvas.StretchDraw(rect, Metafile());
}

void TWmfFormat::ApplyOptions(const TVellPicAttr &attr) {
  SetEnHanced(static_cast<const TWmfAttr &>(attr).Enhanced);
}

void TWmfFormat::FillOptions(TVellPicAttr &attr) const {
  static_cast<TWmfAttr &>(attr).Enhanced = GetEnHanced();
}

void TWmfFormat::CopyOptions(const TCodecPicFormat &source) {
  SetEnHanced(static_cast<const TWmfFormat &>(source).GetEnHanced());
}
