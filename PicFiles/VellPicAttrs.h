// Save attributes of the picture formats: the enumerations shared by the
// picture library, one attribute class per format (its options, default
// extension and file-dialog filter) and the attribute-class registry.
#pragma once

#include "Common/VellClassRegistry.h"
#include "Common/VellClasses.h"

enum TImageFormatEnum : quint8 { ifeBlackWhite, ifeGray16, ifeGray256, ifeColor16, ifeColor256, ifeTrueColor };
enum TDitherModeEnum : quint8 {
  dmeNearest,
  dmeFloydSteinberg,
  dmeStucki,
  dmeSierra,
  dmeJaJuNI,
  dmeSteveArche,
  dmeBurkes
};
enum TGIFCompressionEnum : quint8 { gceLZW, gceRLE };
enum TPngInterlaceMethodEnum : quint8 { pimNone, pimAdam7 };
enum TPngCompressionLevelEnum : quint8 { pceLow, pceMedium, pceHigh };
enum TPpmModeEnum : quint8 { pmeAscii, pmeBinary };
enum TTiffCompressionEnum : quint8 {
  tceNone,
  tcePackbits,
  tceGroup3_1d,
  tceGroup3_2d,
  tceGroup4,
  tceZLib,
  tceJPEG,
  tceLZW
};
enum TPicOperation : quint8 { poLoad, poSave };
using TPicOperations = TSetOf<TPicOperation>;
// JPEG quality, 1 to 100.
using TJpegQuality = quint8;

VELL_ENUM_INFO(TImageFormatEnum, QStringLiteral("ifeBlackWhite"), QStringLiteral("ifeGray16"),
               QStringLiteral("ifeGray256"), QStringLiteral("ifeColor16"), QStringLiteral("ifeColor256"),
               QStringLiteral("ifeTrueColor"))
VELL_ENUM_INFO(TDitherModeEnum, QStringLiteral("dmeNearest"), QStringLiteral("dmeFloydSteinberg"),
               QStringLiteral("dmeStucki"), QStringLiteral("dmeSierra"), QStringLiteral("dmeJaJuNI"),
               QStringLiteral("dmeSteveArche"), QStringLiteral("dmeBurkes"))
VELL_ENUM_INFO(TGIFCompressionEnum, QStringLiteral("gceLZW"), QStringLiteral("gceRLE"))
VELL_ENUM_INFO(TPngInterlaceMethodEnum, QStringLiteral("pimNone"), QStringLiteral("pimAdam7"))
VELL_ENUM_INFO(TPngCompressionLevelEnum, QStringLiteral("pceLow"), QStringLiteral("pceMedium"),
               QStringLiteral("pceHigh"))
VELL_ENUM_INFO(TPpmModeEnum, QStringLiteral("pmeAscii"), QStringLiteral("pmeBinary"))
VELL_ENUM_INFO(TTiffCompressionEnum, QStringLiteral("tceNone"), QStringLiteral("tcePackbits"),
               QStringLiteral("tceGroup3_1d"), QStringLiteral("tceGroup3_2d"), QStringLiteral("tceGroup4"),
               QStringLiteral("tceZLib"), QStringLiteral("tceJPEG"), QStringLiteral("tceLZW"))
VELL_ENUM_INFO(TPicOperation, QStringLiteral("poLoad"), QStringLiteral("poSave"))

// Settings with which a picture is stored: colour layout, resolution, a free
// hint and, in the descendants, the format's own options.
class TVellPicAttr : public TXMLPersistent {
  VELL_CLASS(TVellPicAttr, TXMLPersistent)
public:
  QString Hint;
  TImageFormatEnum ImageFormat = ifeTrueColor;
  quint16 XDotsPerInch = 96;
  quint16 YDotsPerInch = 96;

  // Default file extension with its dot, such as ".bmp".
  virtual QString GetDefaultExt() const;
  // "Description(patterns)|patterns" for a file dialog.
  virtual QString GetFilter() const;
  virtual bool Supports(TPicOperation operation) const;
};

// An attribute class whose extension and filter are fixed texts.
#define VELL_PIC_ATTR(Class)                                                                                 \
  VELL_CLASS(Class, TVellPicAttr)                                                                            \
public:                                                                                                      \
  QString GetDefaultExt() const override;                                                                    \
  QString GetFilter() const override;                                                                        \
  std::unique_ptr<TXMLPersistent> Clone() const override {                                                   \
    return CloneByAssign(*this);                                                                             \
  }                                                                                                          \
                                                                                                             \
private:

class TBmpAttr : public TVellPicAttr {
  VELL_PIC_ATTR(TBmpAttr)
public:
  TDitherModeEnum DitherMode = dmeFloydSteinberg;
};

class TJpgAttr : public TVellPicAttr {
  VELL_PIC_ATTR(TJpgAttr)
public:
  bool OptimizedHuffmanCodes = false;
  bool SaveProgressive = false;
  TJpegQuality SaveQuality = 90;
};

class TGifAttr : public TVellPicAttr {
  VELL_PIC_ATTR(TGifAttr)
public:
  TGIFCompressionEnum Compression = gceLZW;
  TDitherModeEnum DitherMode = dmeFloydSteinberg;
};

class TWmfAttr : public TVellPicAttr {
  VELL_PIC_ATTR(TWmfAttr)
public:
  bool Enhanced = true;
};

class TPpmAttr : public TVellPicAttr {
  VELL_PIC_ATTR(TPpmAttr)
public:
  TPpmModeEnum Mode = pmeAscii;
};

class TTiffAttr : public TVellPicAttr {
  VELL_PIC_ATTR(TTiffAttr)
public:
  TTiffCompressionEnum Compression = tceJPEG;
  TJpegQuality JpegQuality = 80;
};

class TTgaAttr : public TVellPicAttr {
  VELL_PIC_ATTR(TTgaAttr)
};

class TPcxAttr : public TVellPicAttr {
  VELL_PIC_ATTR(TPcxAttr)
};

class TDcxAttr : public TVellPicAttr {
  VELL_PIC_ATTR(TDcxAttr)
};

class TPSDAttr : public TVellPicAttr {
  VELL_PIC_ATTR(TPSDAttr)
public:
  // Photoshop files are read only.
  bool Supports(TPicOperation operation) const override;
};

class TPngAttr : public TVellPicAttr {
  VELL_PIC_ATTR(TPngAttr)
public:
  TPngCompressionLevelEnum CompressionLevel = pceMedium;
  TPngInterlaceMethodEnum InterlaceMethod = pimNone;
  bool NeedSaveAlpha = false;
};

// The attribute classes, in registration order.
class TVellPicAttrClassList : public TClassRegistry<TVellPicAttrClassList> {};
TVellPicAttrClassList &PicAttrClassList();
void RegisterPicAttr(const TMetaClass &attrClass);
// Registers every attribute class in the start-up order.
void RegisterPicAttrClasses();
