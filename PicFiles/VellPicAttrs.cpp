#include "PicFiles/VellPicAttrs.h"

VELL_IMPLEMENT_CLASS(TVellPicAttr, TXMLPersistent, TProp::Field("Hint", &TVellPicAttr::Hint),
                     TProp::Field("ImageFormat", &TVellPicAttr::ImageFormat),
                     TProp::Field("XDotsPerInch", &TVellPicAttr::XDotsPerInch),
                     TProp::Field("YDotsPerInch", &TVellPicAttr::YDotsPerInch))

QString TVellPicAttr::GetDefaultExt() const {
  throw EAbstractError(QStringLiteral("Abstract Error"));
}

QString TVellPicAttr::GetFilter() const {
  throw EAbstractError(QStringLiteral("Abstract Error"));
}

bool TVellPicAttr::Supports(TPicOperation) const {
  return true;
}

// Extension and filter of an attribute class whose extension is fixed.
#define VELL_PIC_ATTR_TEXTS(Class, ext, filter)                                                              \
  QString Class::GetDefaultExt() const {                                                                     \
    return QStringLiteral(ext);                                                                              \
  }                                                                                                          \
  QString Class::GetFilter() const {                                                                         \
    return QStringLiteral(filter);                                                                           \
  }

VELL_IMPLEMENT_CLASS(TBmpAttr, TVellPicAttr, TProp::Field("DitherMode", &TBmpAttr::DitherMode))
VELL_PIC_ATTR_TEXTS(TBmpAttr, ".bmp", "Windows Bitmap Files(*.bmp)|*.bmp")

VELL_IMPLEMENT_CLASS(TJpgAttr, TVellPicAttr,
                     TProp::Field("OptimizedHuffmanCodes", &TJpgAttr::OptimizedHuffmanCodes),
                     TProp::Field("SaveProgressive", &TJpgAttr::SaveProgressive),
                     TProp::Field("SaveQuality", &TJpgAttr::SaveQuality))
VELL_PIC_ATTR_TEXTS(TJpgAttr, ".jpg", "JPEG Files(*.jpeg;*.jpg;*.exif)|*.jpeg;*.jpg;*.exif")

VELL_IMPLEMENT_CLASS(TGifAttr, TVellPicAttr, TProp::Field("Compression", &TGifAttr::Compression),
                     TProp::Field("DitherMode", &TGifAttr::DitherMode))
VELL_PIC_ATTR_TEXTS(TGifAttr, ".gif", "GIF Files(*.gif)|*.gif")

VELL_IMPLEMENT_CLASS(TWmfAttr, TVellPicAttr, TProp::Field("Enhanced", &TWmfAttr::Enhanced))
QString TWmfAttr::GetDefaultExt() const {
  return Enhanced ? QStringLiteral(".emf") : QStringLiteral(".wmf");
}
QString TWmfAttr::GetFilter() const {
  return QStringLiteral("Windows Metafiles(*.emf;*.wmf)|*.emf;*.wmf");
}

VELL_IMPLEMENT_CLASS(TPpmAttr, TVellPicAttr, TProp::Field("Mode", &TPpmAttr::Mode))
QString TPpmAttr::GetDefaultExt() const {
  switch (ImageFormat) {
  case ifeBlackWhite:
    return QStringLiteral(".pbm");
  case ifeGray16:
  case ifeGray256:
    return QStringLiteral(".pgm");
  default:
    return QStringLiteral(".ppm");
  }
}
QString TPpmAttr::GetFilter() const {
  return QStringLiteral("Portable Files(*.ppm;*.pgm;*.pbm)|*.ppm;*.pgm;*.pbm");
}

VELL_IMPLEMENT_CLASS(TTiffAttr, TVellPicAttr, TProp::Field("Compression", &TTiffAttr::Compression),
                     TProp::Field("JpegQuality", &TTiffAttr::JpegQuality))
VELL_PIC_ATTR_TEXTS(TTiffAttr, ".tif", "TIFF Files(*.tif;*.tiff;*.xif)|*.tif;*.tiff;*.xif")

VELL_IMPLEMENT_CLASS(TTgaAttr, TVellPicAttr)
VELL_PIC_ATTR_TEXTS(TTgaAttr, ".tga", "Truevision Files(*.tga;*.vst;*.afi)|*.tga;*.vst;*.afi")

VELL_IMPLEMENT_CLASS(TPcxAttr, TVellPicAttr)
VELL_PIC_ATTR_TEXTS(TPcxAttr, ".pcx", "ZSoft PC Paintbrus Files(*.pcx;*.pcc)|*.pcx;*.pcc")

VELL_IMPLEMENT_CLASS(TDcxAttr, TVellPicAttr)
VELL_PIC_ATTR_TEXTS(TDcxAttr, ".dcx", "DCX Files(*.dcx)|*.dcx")

VELL_IMPLEMENT_CLASS(TPSDAttr, TVellPicAttr)
VELL_PIC_ATTR_TEXTS(TPSDAttr, ".psd", "Photoshop Files(*.psd)|*.psd")
bool TPSDAttr::Supports(TPicOperation operation) const {
  return operation == poLoad;
}

VELL_IMPLEMENT_CLASS(TPngAttr, TVellPicAttr,
                     TProp::Field("CompressionLevel", &TPngAttr::CompressionLevel),
                     TProp::Field("InterlaceMethod", &TPngAttr::InterlaceMethod),
                     TProp::Field("NeedSaveAlpha", &TPngAttr::NeedSaveAlpha))
VELL_PIC_ATTR_TEXTS(TPngAttr, ".png", "Portable Network Graphic Files(*.png)|*.png")

TVellPicAttrClassList &PicAttrClassList() {
  return TVellPicAttrClassList::Instance();
}

void RegisterPicAttr(const TMetaClass &attrClass) {
  PicAttrClassList().Register(attrClass);
}

void RegisterPicAttrClasses() {
  for (const TMetaClass *attrClass :
       {&TJpgAttr::StaticClass(), &TBmpAttr::StaticClass(), &TGifAttr::StaticClass(), &TPngAttr::StaticClass(),
        &TWmfAttr::StaticClass(), &TTiffAttr::StaticClass(), &TPpmAttr::StaticClass(), &TTgaAttr::StaticClass(),
        &TPcxAttr::StaticClass(), &TDcxAttr::StaticClass(), &TPSDAttr::StaticClass()})
    RegisterPicAttr(*attrClass);
}
