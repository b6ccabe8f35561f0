#include "Common/VellTypInfo.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

enum TColourEnum : quint8 { ceRed, ceGreen, ceBlue };

} // namespace

VELL_ENUM_INFO(TColourEnum, QStringLiteral("ceRed"), QStringLiteral("ceGreen"), QStringLiteral("ceBlue"))

namespace {

class TShape : public TObject {
  VELL_CLASS(TShape, TObject)
public:
  int Width = 0; // declared before Height on purpose
  int Height = 0;
  std::function<void()> OnChange;
  QString Caption;
};

class TSample : public TShape {
  VELL_CLASS(TSample, TShape)
public:
  int CountX = 0;
  int Count = 0;
  int abc = 0;
  int ABD = 0;
  bool Visible = true;
  TColourEnum Colour = ceGreen;
  TSetOf<TColourEnum> Colours{ceRed, ceBlue};
  qint64 Big = 0;
  double Ratio = 0.5;
  QByteArray Narrow;
  QVariant Any;
  char Letter = 'a';
  std::unique_ptr<TShape> Inner = std::make_unique<TShape>();
  TShape *Link = nullptr;

  QString Summary() const { return QStringLiteral("%1x%2").arg(Width).arg(Height); }
};

} // namespace

VELL_IMPLEMENT_CLASS(TShape, TObject, TProp::Field("Width", &TShape::Width),
                     TProp::Field("Height", &TShape::Height), TProp::Event("OnChange"),
                     TProp::Field("Caption", &TShape::Caption))

VELL_IMPLEMENT_CLASS(TSample, TShape, TProp::Field("CountX", &TSample::CountX),
                     TProp::Field("Count", &TSample::Count), TProp::Field("abc", &TSample::abc),
                     TProp::Field("ABD", &TSample::ABD), TProp::Field("Visible", &TSample::Visible),
                     TProp::Field("Colour", &TSample::Colour), TProp::Field("Colours", &TSample::Colours),
                     TProp::Field("Big", &TSample::Big), TProp::Field("Ratio", &TSample::Ratio),
                     TProp::Field("Narrow", &TSample::Narrow), TProp::Field("Any", &TSample::Any),
                     TProp::Field("Letter", &TSample::Letter), TProp::Field("Inner", &TSample::Inner),
                     TProp::Field("Link", &TSample::Link), TProp::Getter("Summary", &TSample::Summary),
                     TProp::Event("OnZoom"))

namespace {

QStringList NamesOf(const TPropList &list) {
  QStringList names;
  for (const TPropInfo *p : list)
    names << p->Name;
  return names;
}

TEST(VisitingOrder, SortsByFoldedNameWithPrefixFirstAndSkipsEvents) {
  const QStringList base{QStringLiteral("Caption"), QStringLiteral("Height"), QStringLiteral("Width")};
  EXPECT_EQ(NamesOf(TShape::StaticClass().Properties()), base);

  const QStringList derived = NamesOf(TSample().PropList());
  EXPECT_EQ(derived, (QStringList{"abc", "ABD", "Any", "Big", "Caption", "Colour", "Colours", "Count",
                                  "CountX", "Height", "Inner", "Letter", "Link", "Narrow", "Ratio", "Summary",
                                  "Visible", "Width"}));
  EXPECT_FALSE(derived.contains(QStringLiteral("OnChange")));
  EXPECT_EQ(NamesOf(TSample::StaticClass().Events()), (QStringList{"OnChange", "OnZoom"}));
  EXPECT_LT(ComparePropNames(QStringLiteral("Count"), QStringLiteral("CountX")), 0);
  EXPECT_LT(ComparePropNames(QStringLiteral("abc"), QStringLiteral("ABD")), 0);
  EXPECT_EQ(ComparePropNames(QStringLiteral("name"), QStringLiteral("NAME")), 0);
}

TEST(PropertyKinds, AreDeducedWithTypeDetails) {
  const TMetaClass &meta = TSample::StaticClass();
  struct Expect {
    const char *name;
    TTypeKind kind;
  };
  for (const Expect &e :
       {Expect{"Width", tkInteger}, Expect{"Visible", tkEnumeration}, Expect{"Colour", tkEnumeration},
        Expect{"Colours", tkSet}, Expect{"Big", tkInt64}, Expect{"Ratio", tkFloat},
        Expect{"Narrow", tkLString}, Expect{"Caption", tkWString}, Expect{"Any", tkVariant},
        Expect{"Letter", tkChar}, Expect{"Inner", tkClass}, Expect{"Link", tkClass}}) {
    const TPropInfo *p = meta.FindProperty(QString::fromLatin1(e.name));
    ASSERT_NE(p, nullptr) << e.name;
    EXPECT_EQ(p->Kind, e.kind) << e.name;
  }
  EXPECT_EQ(meta.FindProperty(QStringLiteral("Visible"))->EnumType->ValueNames,
            (QStringList{"False", "True"}));
  EXPECT_EQ(meta.FindProperty(QStringLiteral("Colours"))->EnumType->Name, QStringLiteral("TColourEnum"));
  EXPECT_EQ(meta.FindProperty(QStringLiteral("Inner"))->ObjectClass, &TShape::StaticClass());
  EXPECT_EQ(meta.FindProperty(QStringLiteral("width")), nullptr); // lookup is exact
  EXPECT_EQ(meta.FindProperty(QStringLiteral("OnZoom")), nullptr);
}

TEST(PropertyAccess, ReadsAndWritesEveryKindThroughTheList) {
  TSample s;
  const TMetaClass &meta = s.ClassType();
  auto prop = [&](const char *name) { return meta.FindProperty(QString::fromLatin1(name)); };

  prop("Width")->SetOrdValue(s, 42);
  prop("Visible")->SetOrdValue(s, 0);
  prop("Colour")->SetOrdValue(s, 7); // out of range is stored as given
  prop("Big")->SetInt64Value(s, qint64(1) << 40);
  prop("Ratio")->SetFloatValue(s, 2.25);
  prop("Narrow")->SetStrValue(s, "bytes");
  prop("Caption")->SetWideStrValue(s, QStringLiteral("源目录"));
  prop("Colours")->SetSetValue(s, prop("Colours")->StringToSet(QStringLiteral("[ceGreen, ceBlue]")));
  prop("Any")->SetVariantValue(s, QVariant(QByteArray("\x01\x02", 2)));
  TShape other;
  prop("Link")->SetObjectValue(s, &other);

  EXPECT_EQ(s.Width, 42);
  EXPECT_FALSE(s.Visible);
  EXPECT_EQ(static_cast<int>(s.Colour), 7);
  EXPECT_EQ(prop("Colour")->GetOrdValue(s), 7);
  EXPECT_EQ(prop("Big")->GetInt64Value(s), qint64(1) << 40);
  EXPECT_EQ(prop("Ratio")->GetFloatValue(s), 2.25);
  EXPECT_EQ(prop("Narrow")->GetStrValue(s), QByteArray("bytes"));
  EXPECT_EQ(prop("Caption")->GetWideStrValue(s), QStringLiteral("源目录"));
  EXPECT_EQ(s.Colours, (TSetOf<TColourEnum>{ceGreen, ceBlue}));
  EXPECT_EQ(prop("Colours")->SetToString(prop("Colours")->GetSetValue(s)), QStringLiteral("ceGreen,ceBlue"));
  EXPECT_EQ(prop("Any")->GetVariantValue(s).toByteArray(), QByteArray("\x01\x02", 2));
  EXPECT_EQ(s.Link, &other);
  EXPECT_EQ(prop("Inner")->GetObjectValue(s), s.Inner.get());
  EXPECT_EQ(prop("Letter")->GetOrdValue(s), 'a');
}

TEST(PropertyAccess, ReadOnlyPropertiesAreVisitedButRefuseWrites) {
  TSample s;
  s.Width = 3;
  s.Height = 4;
  const TPropInfo *summary = s.ClassType().FindProperty(QStringLiteral("Summary"));
  ASSERT_NE(summary, nullptr);
  EXPECT_FALSE(summary->IsWritable());
  EXPECT_EQ(summary->GetWideStrValue(s), QStringLiteral("3x4"));
  EXPECT_THROW(summary->SetWideStrValue(s, QStringLiteral("x")), EAssertionFailed);
  // An owned object is filled, never replaced.
  EXPECT_FALSE(s.ClassType().FindProperty(QStringLiteral("Inner"))->IsWritable());
  // A call that does not fit the kind is a programming error.
  EXPECT_THROW(s.ClassType().FindProperty(QStringLiteral("Width"))->GetWideStrValue(s), EAssertionFailed);
}

TEST(EnumNames, MapBothWaysAndSetTextRejectsUnknownMembers) {
  const TEnumInfo &info = EnumInfoOf<TColourEnum>();
  EXPECT_EQ(info.NameOf(2), QStringLiteral("ceBlue"));
  EXPECT_EQ(info.NameOf(3), QString());
  EXPECT_EQ(info.ValueOf(QStringLiteral("CEGREEN")), 1);
  EXPECT_EQ(info.ValueOf(QStringLiteral("ceYellow")), -1);
  const TPropInfo *colours = TSample::StaticClass().FindProperty(QStringLiteral("Colours"));
  EXPECT_EQ(colours->StringToSet(QString()), 0u);
  EXPECT_EQ(colours->SetToString(0), QString());
  try {
    colours->StringToSet(QStringLiteral("ceRed,ceYellow"));
    FAIL();
  } catch (const EPropertyError &e) {
    EXPECT_EQ(e.Message(), QStringLiteral("Invalid property element: ceYellow"));
  }
}

TEST(MetaClass, KnowsNameBaseAncestryAndMakesInstances) {
  const TMetaClass &meta = TSample::StaticClass();
  EXPECT_EQ(meta.ClassName(), QStringLiteral("TSample"));
  EXPECT_EQ(meta.ClassParent(), &TShape::StaticClass());
  EXPECT_TRUE(meta.InheritsFrom(&TObject::StaticClass()));
  EXPECT_FALSE(TShape::StaticClass().InheritsFrom(&meta));
  std::unique_ptr<TObject> made(meta.Create());
  ASSERT_NE(made, nullptr);
  EXPECT_EQ(made->ClassName(), QStringLiteral("TSample"));
  EXPECT_TRUE(made->InheritsFrom(TShape::StaticClass()));
}

} // namespace
