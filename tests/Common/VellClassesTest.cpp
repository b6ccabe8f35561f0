// Persistent objects: the generic writer and reader, copying, files.
#include "Common/VellClasses.h"

#include "tests/Common/PersistTestSupport.h"
#include "tests/support/TestFiles.h"

#include <gtest/gtest.h>

namespace {

enum TToneEnum : quint8 { teRed, teGreen, teBlue };

} // namespace

VELL_ENUM_INFO(TToneEnum, QStringLiteral("teRed"), QStringLiteral("teGreen"), QStringLiteral("teBlue"))

namespace {

// Declares Width before Height on purpose.
class TBox : public TXMLPersistent {
  VELL_CLASS(TBox, TXMLPersistent)
public:
  int Width = 0;
  int Height = 0;
  QString Caption;

  std::unique_ptr<TXMLPersistent> Clone() const override { return CloneByAssign(*this); }
};

class TBoxList : public TXMLObjectList {
  VELL_CLASS(TBoxList, TXMLObjectList)
public:
  std::unique_ptr<TObject> DoAddObject() override { return std::make_unique<TBox>(); }
  TBox *Box(int i) const { return static_cast<TBox *>(Items(i)); }
};

// Neither persistent nor a list: its properties travel on their own.
class TPlainPoint : public TObject {
  VELL_CLASS(TPlainPoint, TObject)
public:
  int X = 0;
  int Y = 0;
};

class TSample : public TBox {
  VELL_CLASS(TSample, TBox)
public:
  bool Visible = true;
  TToneEnum Tone = teGreen;
  TSetOf<TToneEnum> Tones{teGreen};
  qint64 Big = 0;
  quint32 Count = 0;
  double Ratio = 0;
  TDateTime Stamp = 0;
  QByteArray Narrow;
  QVariant Any;
  char Letter = 'a';
  std::unique_ptr<TBox> Inner = std::make_unique<TBox>();
  std::unique_ptr<TBoxList> Boxes = std::make_unique<TBoxList>();
  std::unique_ptr<TPlainPoint> Point = std::make_unique<TPlainPoint>();
  TBox *Link = nullptr;

  QString Summary() const { return QStringLiteral("%1x%2").arg(Width).arg(Height); }
};

// Shares Width, Caption and a read-only Height with TBox, and has a name of its own.
class TOther : public TXMLPersistent {
  VELL_CLASS(TOther, TXMLPersistent)
public:
  int Width = -1;
  QString Caption = QStringLiteral("other");
  QString Extra = QStringLiteral("extra");
  int Height() const { return 42; }
};

// Keeps its caption out of every file.
class TSecretBox : public TBox {
  VELL_CLASS(TSecretBox, TBox)
public:
  void GetIgnoreProps(QStringList &names) const override { names = QStringList{QStringLiteral("caption")}; }
};

// A wide character has no XML form.
class TWideBox : public TBox {
  VELL_CLASS(TWideBox, TBox)
public:
  QChar Glyph = u'x';
};

} // namespace

VELL_IMPLEMENT_CLASS(TBox, TXMLPersistent, TProp::Field("Width", &TBox::Width),
                     TProp::Field("Height", &TBox::Height), TProp::Field("Caption", &TBox::Caption))
VELL_IMPLEMENT_CLASS(TBoxList, TXMLObjectList)
VELL_IMPLEMENT_CLASS(TPlainPoint, TObject, TProp::Field("X", &TPlainPoint::X),
                     TProp::Field("Y", &TPlainPoint::Y))
VELL_IMPLEMENT_CLASS(TSample, TBox, TProp::Field("Visible", &TSample::Visible),
                     TProp::Field("Tone", &TSample::Tone), TProp::Field("Tones", &TSample::Tones),
                     TProp::Field("Big", &TSample::Big), TProp::Field("Count", &TSample::Count),
                     TProp::Field("Ratio", &TSample::Ratio), TProp::Field("Stamp", &TSample::Stamp),
                     TProp::Field("Narrow", &TSample::Narrow), TProp::Field("Any", &TSample::Any),
                     TProp::Field("Letter", &TSample::Letter), TProp::Field("Inner", &TSample::Inner),
                     TProp::Field("Boxes", &TSample::Boxes), TProp::Field("Point", &TSample::Point),
                     TProp::Field("Link", &TSample::Link), TProp::Getter("Summary", &TSample::Summary))
VELL_IMPLEMENT_CLASS(TOther, TXMLPersistent, TProp::Field("Width", &TOther::Width),
                     TProp::Field("Caption", &TOther::Caption), TProp::Field("Extra", &TOther::Extra),
                     TProp::Getter("Height", &TOther::Height))
VELL_IMPLEMENT_CLASS(TSecretBox, TBox)
VELL_IMPLEMENT_CLASS(TWideBox, TBox, TProp::Field("Glyph", &TWideBox::Glyph))

namespace {

const QString Declaration = QStringLiteral("<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n");

// A sample with a value of every kind that differs from the defaults.
void FillSample(TSample &s) {
  s.Width = 3;
  s.Height = 4;
  s.Caption = QStringLiteral("a&b \"c\"\r\nd");
  s.Visible = false;
  s.Tone = teBlue;
  s.Tones = TSetOf<TToneEnum>{teRed, teBlue};
  s.Big = -9000000000;
  s.Count = 4000000000u;
  s.Ratio = 0.5;
  s.Stamp = 45000.25;
  s.Narrow = QStringLiteral("é8").toLocal8Bit();
  s.Any = QVariant(QByteArray("\x00\x01\x02", 3));
  s.Letter = 'z';
  s.Inner->Width = 11;
  s.Boxes->Add(std::make_unique<TBox>());
  s.Boxes->Box(0)->Caption = QStringLiteral("first");
  s.Point->X = 7;
  s.Point->Y = 8;
}

TEST(PersistentWrite, DefaultObjectIsDeclarationAndOneEmptyElement) {
  EXPECT_EQ(QString::fromUtf8(SavedBytes(TBox())),
            Declaration + QStringLiteral("<TBox Caption=\"\" Height=\"0\" Width=\"0\"/>\r\n"));
}

TEST(PersistentWrite, EveryKindInVisitingOrderWithObjectsAsChildren) {
  TSample sample;
  FillSample(sample);
  const IXMLNodePtr element = ParseElement(QStringLiteral("<E/>"));
  sample.SaveToXML(element);

  EXPECT_EQ(AttributesOf(element),
            QStringLiteral("Any=\"AAEC\" Big=\"-9000000000\" Caption=\"a&amp;b &quot;c&quot;&13;&10;d\" "
                           "Count=\"-294967296\" Height=\"4\" Letter=\"122\" Narrow=\"é8\" Ratio=\"0.5\" "
                           "Stamp=\"45000.25\" Summary=\"3x4\" Tone=\"2\" Tones=\"teRed,teBlue\" "
                           "Visible=\"0\" Width=\"3\""));
  // Link is empty and writes nothing.
  EXPECT_EQ(ChildNamesOf(element), (QStringList{"Boxes", "Inner", "Point"}));
  const IXMLNodeListPtr children = element->GetChildNodes();
  EXPECT_EQ(AttributesOf(children->FindNode("Inner")),
            QStringLiteral("Caption=\"\" Height=\"0\" Width=\"11\""));
  EXPECT_EQ(AttributesOf(children->FindNode("Point")), QStringLiteral("X=\"7\" Y=\"8\""));
  const IXMLNodePtr items = children->FindNode("Boxes")->GetChildNodes()->FindNode("Items");
  ASSERT_TRUE(items);
  EXPECT_EQ(ChildNamesOf(items), QStringList{"TBox"});
}

TEST(PersistentRead, RoundTripRestoresEveryWritableValueIntoTheExistingObjects) {
  TSample source;
  FillSample(source);
  TSample target;
  TBox *inner = target.Inner.get();
  TBox linked;
  target.Link = &linked;
  LoadBytes(target, SavedBytes(source));

  EXPECT_EQ(target.Width, 3);
  EXPECT_EQ(target.Height, 4);
  EXPECT_EQ(target.Caption, source.Caption);
  EXPECT_FALSE(target.Visible);
  EXPECT_EQ(target.Tone, teBlue);
  EXPECT_EQ(target.Tones, source.Tones);
  EXPECT_EQ(target.Big, source.Big);
  EXPECT_EQ(target.Count, source.Count);
  EXPECT_EQ(target.Ratio, 0.5);
  EXPECT_EQ(target.Stamp, 45000.25);
  EXPECT_EQ(target.Narrow, source.Narrow);
  EXPECT_EQ(target.Any, source.Any);
  EXPECT_EQ(target.Letter, 'z');
  // Owned objects are filled in place, never replaced.
  EXPECT_EQ(target.Inner.get(), inner);
  EXPECT_EQ(inner->Width, 11);
  ASSERT_EQ(target.Boxes->Count(), 1);
  EXPECT_EQ(target.Boxes->Box(0)->Caption, QStringLiteral("first"));
  EXPECT_EQ(target.Point->X, 7);
  EXPECT_EQ(target.Point->Y, 8);
  // The source wrote no Link element, so the linked object is left alone.
  EXPECT_EQ(target.Link, &linked);
  EXPECT_EQ(linked.Width, 0);
}

TEST(PersistentRead, MissingAndMisspelledAttributesLeaveTheirPropertiesAlone) {
  TBox box;
  box.Width = 5;
  box.Caption = QStringLiteral("kept");
  box.LoadFromXML(
      ParseElement(QStringLiteral("<Any Height=\"7\" width=\"9\" CAPTION=\"x\" Nonsense=\"1\"/>")));
  EXPECT_EQ(box.Height, 7);
  EXPECT_EQ(box.Width, 5);
  EXPECT_EQ(box.Caption, QStringLiteral("kept"));
}

TEST(PersistentRead, OrdinalTexts) {
  struct Case {
    const char *xml;
    bool visible;
    int width;
    TToneEnum tone;
  } cases[] = {
      {"<S Visible=\"True\" Width=\"True\"/>", true, -1, teGreen},
      {"<S Visible=\"False\" Width=\"False\"/>", false, 0, teGreen},
      {"<S Visible=\"0\" Width=\" 12 \" Tone=\"0\"/>", false, 12, teRed},
      // A Boolean is true for any non-zero ordinal.
      {"<S Visible=\"5\"/>", true, 1, teGreen},
      // An ordinal outside the enumeration leaves the property as it was.
      {"<S Visible=\"0\" Tone=\"9\"/>", false, 1, teGreen},
      {"<S Tone=\"-1\"/>", true, 1, teGreen},
  };
  for (const Case &c : cases) {
    TSample sample;
    sample.Visible = true;
    sample.Width = 1;
    sample.LoadFromXML(ParseElement(QString::fromUtf8(c.xml)));
    EXPECT_EQ(sample.Visible, c.visible) << c.xml;
    EXPECT_EQ(sample.Width, c.width) << c.xml;
    EXPECT_EQ(sample.Tone, c.tone) << c.xml;
  }
}

TEST(PersistentRead, ConversionErrorStopsTheLoadAtItsProperty) {
  // Properties are set one by one in visiting order: Any, Big, ..., Caption,
  // ..., Height, ..., Ratio, ..., Tones, ..., Width.
  struct Case {
    const char *attribute;
    const char *message;
    bool captionRead;
  } cases[] = {
      {"Any=\"T\"", "'T' is not a valid variant value", false},
      {"Big=\"12abc\"", "'12abc' is not a valid integer value", false},
      {"Height=\"x\"", "'x' is not a valid integer value", true},
      {"Height=\"4000000000\"", "'4000000000' is not a valid integer value", true},
      {"Ratio=\"1,5\"", "'1,5' is not a valid floating point value", true},
      {"Tones=\"teRed,tePink\"", "Invalid property element: tePink", true},
  };
  for (const Case &c : cases) {
    const QString xml =
        QStringLiteral("<S Caption=\"new\" Width=\"8\" %1/>").arg(QString::fromUtf8(c.attribute));
    TSample sample;
    sample.Caption = QStringLiteral("old");
    sample.Width = 1;
    EXPECT_EQ(MessageOf<EVellError>([&] { sample.LoadFromXML(ParseElement(xml)); }),
              QString::fromUtf8(c.message))
        << c.attribute;
    EXPECT_EQ(sample.Caption, c.captionRead ? QStringLiteral("new") : QStringLiteral("old")) << c.attribute;
    EXPECT_EQ(sample.Width, 1) << c.attribute;
  }
}

TEST(PersistentWrite, SavingIntoAnElementKeepsForeignAttributesAndDropsChildren) {
  const IXMLNodePtr element =
      ParseElement(QStringLiteral("<E Zed=\"z\" Width=\"1\" Alpha=\"a\"><Old/><Older>text</Older></E>"));
  TBox box;
  box.Width = 3;
  box.Height = 4;
  box.SaveToXML(element);
  EXPECT_EQ(AttributesOf(element),
            QStringLiteral("Zed=\"z\" Width=\"3\" Alpha=\"a\" Caption=\"\" Height=\"4\""));
  EXPECT_FALSE(element->HasChildNodes());
}

TEST(PersistentWrite, IgnoredNamesAreNeitherWrittenNorReadWhateverTheirCase) {
  TSecretBox box;
  box.Caption = QStringLiteral("secret");
  const IXMLNodePtr element = ParseElement(QStringLiteral("<E/>"));
  box.SaveToXML(element);
  EXPECT_FALSE(element->HasAttribute(QStringLiteral("Caption")));

  box.LoadFromXML(ParseElement(QStringLiteral("<E Caption=\"read\" Width=\"2\"/>")));
  EXPECT_EQ(box.Caption, QStringLiteral("secret"));
  EXPECT_EQ(box.Width, 2);
}

TEST(PersistentCopy, AssignXMLCopiesTheNamesBothClassesShareAndTheTargetCanWrite) {
  TBox box;
  box.Width = 3;
  box.Height = 4;
  box.Caption = QStringLiteral("box");
  TOther other;
  other.AssignXML(&box);
  EXPECT_EQ(other.Width, 3);
  EXPECT_EQ(other.Caption, QStringLiteral("box"));
  EXPECT_EQ(other.Extra, QStringLiteral("extra"));

  other.Width = 9;
  box.AssignXML(&other);
  EXPECT_EQ(box.Width, 9);
  EXPECT_EQ(box.Height, 42); // read-only on the source, written all the same
  box.AssignXML(nullptr);
  EXPECT_EQ(box.Width, 9);
}

TEST(PersistentCopy, AssignBetweenBaseAndDerivedClasses) {
  TBox box;
  box.Width = 3;
  box.Caption = QStringLiteral("box");
  TOther other;

  TBox sameClass;
  sameClass.Assign(&box);
  EXPECT_EQ(sameClass.Width, 3);
  EXPECT_EQ(sameClass.Caption, QStringLiteral("box"));

  TSample derived;
  derived.Tone = teRed;
  derived.Assign(&box);
  EXPECT_EQ(derived.Width, 3);
  EXPECT_EQ(derived.Caption, QStringLiteral("box"));
  EXPECT_EQ(derived.Tone, teRed);

  EXPECT_EQ(MessageOf<EConvertError>([&] { box.Assign(&derived); }),
            QStringLiteral("Cannot assign a TSample to a TBox"));
  EXPECT_EQ(MessageOf<EConvertError>([&] { box.Assign(nullptr); }),
            QStringLiteral("Cannot assign a nil to a TBox"));
  EXPECT_EQ(MessageOf<EConvertError>([&] { box.Assign(&other); }),
            QStringLiteral("Cannot assign a TOther to a TBox"));
}

TEST(PersistentCopy, AssignCopiesValuesDeepCopiesOwnedObjectsAndSharesLinks) {
  TSample source;
  FillSample(source);
  TBox linked;
  source.Link = &linked;
  TSample target;
  target.Assign(&source);

  EXPECT_EQ(target.Tone, teBlue);
  EXPECT_EQ(target.Tones, source.Tones);
  EXPECT_EQ(target.Visible, false);
  EXPECT_EQ(target.Big, source.Big);
  EXPECT_EQ(target.Count, source.Count);
  EXPECT_EQ(target.Narrow, source.Narrow);
  EXPECT_EQ(target.Any, source.Any);
  EXPECT_EQ(target.Link, &linked);
  EXPECT_NE(target.Inner.get(), source.Inner.get());
  EXPECT_EQ(target.Inner->Width, 11);
  ASSERT_EQ(target.Boxes->Count(), 1);
  EXPECT_NE(target.Boxes->Box(0), source.Boxes->Box(0));
  EXPECT_EQ(target.Boxes->Box(0)->Caption, QStringLiteral("first"));
  // A plain object is neither assignable nor a list: it is not copied.
  EXPECT_EQ(target.Point->X, 0);
}

TEST(PersistentPreconditions, ProgrammingErrorsRaiseTheAssertion) {
  TBox box;
  TWideBox wide;
  const std::function<void()> calls[] = {
      [&] { box.SaveToXML(nullptr); },
      [&] { box.LoadFromXML(nullptr); },
      [&] { box.SaveToStream(nullptr); },
      [&] { box.LoadFromStream(nullptr); },
      [&] { wide.SaveToXML(ParseElement(QStringLiteral("<E/>"))); },
      [&] { wide.LoadFromXML(ParseElement(QStringLiteral("<E Glyph=\"y\"/>"))); },
  };
  for (const auto &call : calls)
    EXPECT_TRUE(MessageOf<EAssertionFailed>(call).startsWith(AssertionPrefix()));
  EXPECT_TRUE(MessageOf<EAssertionFailed>([&] {
                TOther().Clone();
              }).startsWith(AssertionPrefix(QStringLiteral("TOther类没有实现 Clone() 方法"))));
  // A wide character only matters when it is there to be read.
  wide.LoadFromXML(ParseElement(QStringLiteral("<E Width=\"4\"/>")));
  EXPECT_EQ(wide.Width, 4);
}

TEST(PersistentFile, SaveCreatesTheFolderChainAndLoadsBack) {
  TTestDir dir;
  const QString file = dir.Path() + QStringLiteral("a/b/c/Box.xml");
  TBox box;
  box.Width = 12;
  box.SaveToFile(file);
  EXPECT_EQ(ReadWholeFile(file), SavedBytes(box));

  TBox loaded;
  loaded.LoadFromFile(file);
  EXPECT_EQ(loaded.Width, 12);
  // Neither a folder nor a missing file is loaded, and neither is an error.
  loaded.LoadFromFile(dir.Path() + QStringLiteral("a/b"));
  loaded.LoadFromFile(dir.Path() + QStringLiteral("missing.xml"));
  EXPECT_EQ(loaded.Width, 12);
}

TEST(PersistentFile, FailedSaveLeavesTheOldFileAsItWas) {
  TTestDir dir;
  // The temporary name of an atomic save is longer than the file system allows.
  const QString longName = dir.Path() + QString(250, u'n');
  const QString file = dir.Path() + QStringLiteral("Box.xml");
  TBox old;
  old.Width = 1;
  old.SaveToFile(file);
  const QByteArray before = ReadWholeFile(file);
  dir.Write(QString(250, u'n'), before);
  const QStringList entries = EntriesOf(dir.Path());

  TBox changed;
  changed.Width = 2;
  EXPECT_TRUE(MessageOf<EFCreateError>([&] {
                changed.SaveToFile(longName);
              }).startsWith(QStringLiteral("Cannot create file \"%1\". ").arg(longName)));
  // A save that breaks off while the document is produced.
  TWideBox broken;
  EXPECT_TRUE(MessageOf<EAssertionFailed>([&] { broken.SaveToFile(file); }).startsWith(AssertionPrefix()));

  EXPECT_EQ(ReadWholeFile(file), before);
  EXPECT_EQ(ReadWholeFile(longName), before);
  EXPECT_EQ(EntriesOf(dir.Path()), entries);
}

TEST(PersistentFile, FolderThatCannotBeCreated) {
  TTestDir dir;
  const QString blocker = dir.Write(QStringLiteral("plain"), "x");
  EXPECT_EQ(MessageOf<EInOutError>([&] { TBox().SaveToFile(blocker + QStringLiteral("/sub/Box.xml")); }),
            QStringLiteral("Unable to create directory"));
}

TEST(PersistentFile, DocumentWithoutElementOrMalformedLeavesTheObjectUnchanged) {
  struct Case {
    QByteArray bytes;
    bool xmlError;
  } cases[] = {
      {"", false},
      {"   \r\n", false},
      {"\xC3"
       "A<TBox Width=\"3\"/>",
       false}, // not UTF-8: no element comes out
      {"<TBox Width=\"3\"", true},
  };
  TTestDir dir;
  for (const Case &c : cases) {
    const QString file = dir.Write(QStringLiteral("Box.xml"), c.bytes);
    TBox box;
    box.Width = 1;
    if (c.xmlError)
      EXPECT_THROW(box.LoadFromFile(file), EXMLException);
    else
      EXPECT_EQ(MessageOf<EStreamError>([&] { box.LoadFromFile(file); }),
                QStringLiteral("The document holds no XML element"));
    EXPECT_EQ(box.Width, 1);
  }
}

} // namespace
