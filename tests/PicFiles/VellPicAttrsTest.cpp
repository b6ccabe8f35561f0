#include "PicFiles/VellPicAttrs.h"

#include "Common/VellXMLUtils.h"

#include <gtest/gtest.h>

namespace {

struct TAttrRow {
  const TMetaClass &Class;
  QString Ext;
  QString Filter;
  bool Saves;
  // Own properties with their defaults, as written in XML.
  QMap<QString, QString> Defaults;
};

QList<TAttrRow> AttrTable() {
  return {
      {TBmpAttr::StaticClass(), ".bmp", "Windows Bitmap Files(*.bmp)|*.bmp", true, {{"DitherMode", "1"}}},
      {TJpgAttr::StaticClass(),
       ".jpg",
       "JPEG Files(*.jpeg;*.jpg;*.exif)|*.jpeg;*.jpg;*.exif",
       true,
       {{"OptimizedHuffmanCodes", "0"}, {"SaveProgressive", "0"}, {"SaveQuality", "90"}}},
      {TGifAttr::StaticClass(), ".gif", "GIF Files(*.gif)|*.gif", true, {{"Compression", "0"}, {"DitherMode", "1"}}},
      {TWmfAttr::StaticClass(), ".emf", "Windows Metafiles(*.emf;*.wmf)|*.emf;*.wmf", true, {{"Enhanced", "1"}}},
      {TPpmAttr::StaticClass(), ".ppm", "Portable Files(*.ppm;*.pgm;*.pbm)|*.ppm;*.pgm;*.pbm", true, {{"Mode", "0"}}},
      {TTiffAttr::StaticClass(),
       ".tif",
       "TIFF Files(*.tif;*.tiff;*.xif)|*.tif;*.tiff;*.xif",
       true,
       {{"Compression", "6"}, {"JpegQuality", "80"}}},
      {TTgaAttr::StaticClass(), ".tga", "Truevision Files(*.tga;*.vst;*.afi)|*.tga;*.vst;*.afi", true, {}},
      {TPcxAttr::StaticClass(), ".pcx", "ZSoft PC Paintbrus Files(*.pcx;*.pcc)|*.pcx;*.pcc", true, {}},
      {TDcxAttr::StaticClass(), ".dcx", "DCX Files(*.dcx)|*.dcx", true, {}},
      {TPSDAttr::StaticClass(), ".psd", "Photoshop Files(*.psd)|*.psd", false, {}},
      {TPngAttr::StaticClass(),
       ".png",
       "Portable Network Graphic Files(*.png)|*.png",
       true,
       {{"CompressionLevel", "1"}, {"InterlaceMethod", "0"}, {"NeedSaveAlpha", "0"}}},
  };
}

std::unique_ptr<TVellPicAttr> Make(const TMetaClass &attrClass) {
  return std::unique_ptr<TVellPicAttr>(dynamic_cast<TVellPicAttr *>(attrClass.Create()));
}

QString AttributeOf(const IXMLNodePtr &element, const QString &name) {
  return element->HasAttribute(name) ? element->GetAttributes()->GetAttribute(name)->GetAsString()
                                     : QStringLiteral("(missing)");
}

IXMLNodePtr SavedElement(const TVellPicAttr &attr) {
  const IXMLDocumentPtr document = NewXMLDocument();
  const IXMLNodePtr root = document->CreateRootNode(attr.ClassName());
  attr.SaveToXML(root);
  return root;
}

// Every property of attr set to a value other than its default.
void ChangeEveryProperty(TVellPicAttr &attr) {
  for (const TPropInfo *prop : attr.PropList()) {
    if (prop->Kind == tkWString)
      prop->SetWideStrValue(attr, QStringLiteral("a hint, 中文"));
    else if (prop->Kind == tkEnumeration)
      prop->SetOrdValue(attr, (prop->GetOrdValue(attr) + 1) % (prop->EnumType->MaxValue() + 1));
    else
      prop->SetOrdValue(attr, prop->GetOrdValue(attr) + 1);
  }
}

TEST(VellPicAttrs, EveryClassHasItsDefaultsTextsAndXmlRoundTrip) {
  for (const TAttrRow &row : AttrTable()) {
    SCOPED_TRACE(row.Class.ClassName().toStdString());
    const auto attr = Make(row.Class);
    ASSERT_TRUE(attr);
    EXPECT_EQ(attr->GetDefaultExt(), row.Ext);
    EXPECT_EQ(attr->GetFilter(), row.Filter);
    EXPECT_TRUE(attr->Supports(poLoad));
    EXPECT_EQ(attr->Supports(poSave), row.Saves);

    const IXMLNodePtr saved = SavedElement(*attr);
    EXPECT_EQ(AttributeOf(saved, "Hint"), QString());
    EXPECT_EQ(AttributeOf(saved, "ImageFormat"), "5");
    EXPECT_EQ(AttributeOf(saved, "XDotsPerInch"), "96");
    EXPECT_EQ(AttributeOf(saved, "YDotsPerInch"), "96");
    EXPECT_EQ(attr->PropList().size(), 4 + row.Defaults.size());
    for (auto own = row.Defaults.cbegin(); own != row.Defaults.cend(); ++own)
      EXPECT_EQ(AttributeOf(saved, own.key()), own.value()) << own.key().toStdString();

    ChangeEveryProperty(*attr);
    const auto loaded = Make(row.Class);
    loaded->LoadFromXML(SavedElement(*attr));
    for (const TPropInfo *prop : attr->PropList())
      EXPECT_TRUE(prop->Read(*attr) == prop->Read(*loaded)) << prop->Name.toStdString();
    const auto clone = attr->Clone();
    EXPECT_EQ(&clone->ClassType(), &row.Class);
    EXPECT_EQ(SavedElement(*dynamic_cast<TVellPicAttr *>(clone.get()))->GetXML(), SavedElement(*attr)->GetXML());
    EXPECT_EQ(AttributeOf(SavedElement(*loaded), "Hint"), QStringLiteral("a hint, 中文"));
  }
}

TEST(VellPicAttrs, ExtensionsThatFollowTheSettings) {
  TPpmAttr ppm;
  const QList<QPair<TImageFormatEnum, QString>> ppmCases{{ifeBlackWhite, ".pbm"}, {ifeGray16, ".pgm"},
                                                         {ifeGray256, ".pgm"},    {ifeColor16, ".ppm"},
                                                         {ifeColor256, ".ppm"},   {ifeTrueColor, ".ppm"}};
  for (const auto &[format, ext] : ppmCases) {
    ppm.ImageFormat = format;
    EXPECT_EQ(ppm.GetDefaultExt(), ext) << int(format);
  }
  TWmfAttr wmf;
  wmf.Enhanced = false;
  EXPECT_EQ(wmf.GetDefaultExt(), ".wmf");
}

TEST(VellPicAttrs, TheBaseLeavesExtensionAndFilterOpen) {
  TVellPicAttr base;
  EXPECT_THROW(base.GetDefaultExt(), EAbstractError);
  EXPECT_THROW(base.GetFilter(), EAbstractError);
}

TEST(VellPicAttrs, RegistryHoldsTheClassesOnceInStartUpOrder) {
  TVellPicAttrClassList::Free();
  RegisterPicAttrClasses();
  RegisterPicAttr(TBmpAttr::StaticClass());
  RegisterPicAttrClasses();
  QStringList names;
  for (const TMetaClass *attrClass : PicAttrClassList().Classes())
    names << attrClass->ClassName();
  EXPECT_EQ(names, QStringList({"TJpgAttr", "TBmpAttr", "TGifAttr", "TPngAttr", "TWmfAttr", "TTiffAttr",
                                "TPpmAttr", "TTgaAttr", "TPcxAttr", "TDcxAttr", "TPSDAttr"}));
  TVellPicAttrClassList::Free();
  EXPECT_FALSE(TVellPicAttrClassList::Exists());
}

} // namespace
