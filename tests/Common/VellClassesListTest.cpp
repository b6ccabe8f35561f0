// Owning object lists, persistent lists and the memory-stream property.
#include "Common/VellClasses.h"

#include "tests/Common/PersistTestSupport.h"
#include "tests/support/TestFiles.h"

#include <QRegularExpression>

#include <gtest/gtest.h>

namespace {

class TItem : public TXMLPersistent {
  VELL_CLASS(TItem, TXMLPersistent)
public:
  int Width = 0;
  QString Name;

  std::unique_ptr<TXMLPersistent> Clone() const override { return CloneByAssign(*this); }
};

// An item class that cannot be cloned.
class TFixedItem : public TXMLPersistent {
  VELL_CLASS(TFixedItem, TXMLPersistent)
};

class TItemList : public TXMLObjectList {
  VELL_CLASS(TItemList, TXMLObjectList)
public:
  std::unique_ptr<TObject> DoAddObject() override { return std::make_unique<TItem>(); }
  TItem *Item(int i) const { return static_cast<TItem *>(Items(i)); }
  void AddItem(const QString &name, int width = 0) {
    auto item = std::make_unique<TItem>();
    item->Name = name;
    item->Width = width;
    Add(std::move(item));
  }
};

class TOtherItemList : public TItemList {
  VELL_CLASS(TOtherItemList, TItemList)
};

// A wide character has no XML form.
class TWideItem : public TXMLPersistent {
  VELL_CLASS(TWideItem, TXMLPersistent)
public:
  QChar Glyph = u'g';
};

// Says nothing about its items.
class TBareList : public TXMLObjectList {
  VELL_CLASS(TBareList, TXMLObjectList)
};

class TPicture : public TXMLPersistent {
  VELL_CLASS(TPicture, TXMLPersistent)
public:
  int Width = 0;
  std::unique_ptr<TXMLMemoryStream> Pixels = std::make_unique<TXMLMemoryStream>(true);
};

// Counts the live instances, to see who frees them.
class TCounted : public TObject {
  VELL_CLASS(TCounted, TObject)
public:
  explicit TCounted(int &live) : FLive(live) { ++FLive; }
  ~TCounted() override { --FLive; }

private:
  int &FLive;
};

} // namespace

VELL_IMPLEMENT_CLASS(TItem, TXMLPersistent, TProp::Field("Width", &TItem::Width),
                     TProp::Field("Name", &TItem::Name))
VELL_IMPLEMENT_CLASS(TFixedItem, TXMLPersistent)
VELL_IMPLEMENT_CLASS(TWideItem, TXMLPersistent, TProp::Field("Glyph", &TWideItem::Glyph))
VELL_IMPLEMENT_CLASS(TItemList, TXMLObjectList)
VELL_IMPLEMENT_CLASS(TOtherItemList, TItemList)
VELL_IMPLEMENT_CLASS(TBareList, TXMLObjectList)
VELL_IMPLEMENT_CLASS(TPicture, TXMLPersistent, TProp::Field("Width", &TPicture::Width),
                     TProp::Field("Pixels", &TPicture::Pixels))
VELL_IMPLEMENT_CLASS(TCounted, TObject)

namespace {

QStringList NamesOf(const TItemList &list) {
  QStringList names;
  for (int i = 0; i < list.Count(); ++i)
    names << list.Item(i)->Name;
  return names;
}

TEST(ObjectList, OwnsItsItemsAndChecksIndexes) {
  int live = 0;
  {
    TObjectList list;
    for (int i = 0; i < 3; ++i)
      EXPECT_EQ(list.Add(std::make_unique<TCounted>(live)), i);
    TObject *second = list.Items(1);
    list.Delete(0);
    EXPECT_EQ(live, 2);
    EXPECT_EQ(list.IndexOf(second), 0);
    EXPECT_EQ(MessageOf<EListError>([&] { list.Items(2); }), QStringLiteral("List index out of bounds (2)"));
    EXPECT_EQ(MessageOf<EListError>([&] { list.Delete(-1); }),
              QStringLiteral("List index out of bounds (-1)"));
    list.Clear();
    EXPECT_EQ(live, 0);
    list.Add(std::make_unique<TCounted>(live));
  }
  EXPECT_EQ(live, 0);
}

TEST(PersistentList, DocumentHasItemsWithOneElementPerItem) {
  const QString declaration = QStringLiteral("<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n");
  TItemList list;
  list.AddItem(QStringLiteral("a"), 1);
  EXPECT_EQ(QString::fromUtf8(SavedBytes(list)),
            declaration +
                QStringLiteral("<TItemList>\r\n    <Items>\r\n        <TItem Name=\"a\" Width=\"1\"/>\r\n"
                               "    </Items>\r\n</TItemList>\r\n"));

  const IXMLNodePtr element = ParseElement(QStringLiteral("<L/>"));
  TItemList().SaveToXML(element);
  EXPECT_EQ(ChildNamesOf(element), QStringList{"Items"});
  EXPECT_FALSE(element->GetChildNodes()->FindNode(QStringLiteral("Items"))->HasChildNodes());
}

TEST(PersistentList, ReadsEveryItemElementWhateverItsNameInDocumentOrder) {
  const IXMLNodePtr element = ParseElement(QStringLiteral(
      "<L><Items><TItem Name=\"a\"/><Foo Name=\"b\" Width=\"2\"/><x Name=\"c\"/></Items></L>"));
  TItemList list;
  list.AddItem(QStringLiteral("old"));
  list.LoadFromXML(element);
  EXPECT_EQ(NamesOf(list), (QStringList{"a", "b", "c"}));
  EXPECT_EQ(list.Item(1)->Width, 2);

  list.AddItem(QStringLiteral("d"));
  list.Delete(0);
  list.AppendFromXML(element);
  EXPECT_EQ(NamesOf(list), (QStringList{"b", "c", "d", "a", "b", "c"}));
}

TEST(PersistentList, ElementWithoutItems) {
  const IXMLNodePtr element = ParseElement(QStringLiteral("<L><Other><TItem/></Other></L>"));
  TItemList list;
  list.AddItem(QStringLiteral("a"));
  list.AppendFromXML(element);
  EXPECT_EQ(NamesOf(list), QStringList{"a"});
  list.LoadFromXML(element);
  EXPECT_EQ(list.Count(), 0);
}

TEST(PersistentList, SavingReplacesOldItemsAndKeepsUnrelatedChildren) {
  const IXMLNodePtr element =
      ParseElement(QStringLiteral("<L><Note Text=\"keep\"/><Items><Old/><Old/></Items><After/></L>"));
  TItemList list;
  list.AddItem(QStringLiteral("new"));
  list.SaveToXML(element);
  EXPECT_EQ(ChildNamesOf(element), (QStringList{"Note", "Items", "After"}));
  const IXMLNodePtr items = element->GetChildNodes()->FindNode(QStringLiteral("Items"));
  EXPECT_EQ(ChildNamesOf(items), QStringList{"TItem"});
  EXPECT_EQ(AttributesOf(items->GetChildNodes()->GetNode(0)), QStringLiteral("Name=\"new\" Width=\"0\""));
}

TEST(PersistentList, AssignClonesTheItemsOfAListOfExactlyTheSameClass) {
  TItemList source;
  source.AddItem(QStringLiteral("a"), 1);
  source.AddItem(QStringLiteral("b"), 2);
  TItemList list;
  list.AddItem(QStringLiteral("old"));
  list.Assign(&source);
  ASSERT_EQ(NamesOf(list), (QStringList{"a", "b"}));
  EXPECT_NE(list.Item(0), source.Item(0));
  EXPECT_EQ(list.Item(1)->Width, 2);
  EXPECT_EQ(source.Count(), 2);
  list.Assign(&list);
  EXPECT_EQ(list.Count(), 2);

  TOtherItemList derived;
  derived.AddItem(QStringLiteral("x"));
  const TItemList empty;
  for (const TXMLObjectList *other :
       {static_cast<const TXMLObjectList *>(&derived), static_cast<const TXMLObjectList *>(&empty),
        (const TXMLObjectList *)nullptr}) {
    TItemList target;
    target.AddItem(QStringLiteral("old"));
    target.Assign(other);
    EXPECT_EQ(target.Count(), 0);
  }
}

TEST(PersistentList, FailuresKeepTheItemsMadeSoFar) {
  const IXMLNodePtr element =
      ParseElement(QStringLiteral("<L><Items><a Width=\"1\"/><b Name=\"n\" Width=\"x\"/><c/></Items></L>"));
  TItemList list;
  EXPECT_EQ(MessageOf<EConvertError>([&] { list.LoadFromXML(element); }),
            QStringLiteral("'x' is not a valid integer value"));
  ASSERT_EQ(list.Count(), 2);
  EXPECT_EQ(list.Item(1)->Name, QStringLiteral("n"));

  TBareList bare;
  EXPECT_TRUE(MessageOf<EAssertionFailed>([&] {
                bare.LoadFromXML(element);
              }).startsWith(AssertionPrefix(QStringLiteral("TBareList类没有实现 DoAddObject() 方法"))));
  EXPECT_EQ(bare.Count(), 0);

  TBareList fixed;
  fixed.Add(std::make_unique<TFixedItem>());
  TBareList copy;
  EXPECT_TRUE(MessageOf<EAssertionFailed>([&] {
                copy.Assign(&fixed);
              }).startsWith(AssertionPrefix(QStringLiteral("TFixedItem类没有实现 Clone() 方法"))));
  TBareList notPersistent;
  int live = 0;
  notPersistent.Add(std::make_unique<TCounted>(live));
  EXPECT_TRUE(
      MessageOf<EAssertionFailed>([&] { copy.Assign(&notPersistent); }).startsWith(AssertionPrefix()));

  const std::function<void()> calls[] = {
      [&] { list.SaveToXML(nullptr); },      [&] { list.LoadFromXML(nullptr); },
      [&] { list.AppendFromXML(nullptr); },  [&] { list.SaveToStream(nullptr); },
      [&] { list.LoadFromStream(nullptr); },
  };
  for (const auto &call : calls)
    EXPECT_TRUE(MessageOf<EAssertionFailed>(call).startsWith(AssertionPrefix()));
}

TEST(PersistentList, FilesRoundTripAndAFailedSaveOrEmptyFileChangesNothing) {
  TTestDir dir;
  const QString file = dir.Path() + QStringLiteral("new/folder/List.xml");
  TItemList list;
  list.AddItem(QStringLiteral("a"), 1);
  list.AddItem(QStringLiteral("b"), 2);
  list.SaveToFile(file);

  TItemList loaded;
  loaded.LoadFromFile(file);
  EXPECT_EQ(NamesOf(loaded), (QStringList{"a", "b"}));

  // The second item has no XML form: the save breaks off half-way through the document.
  const QByteArray before = ReadWholeFile(file);
  TBareList broken;
  broken.Add(std::make_unique<TItem>());
  broken.Add(std::make_unique<TWideItem>());
  EXPECT_THROW(broken.SaveToFile(file), EAssertionFailed);
  EXPECT_EQ(ReadWholeFile(file), before);
  EXPECT_EQ(EntriesOf(dir.Path() + QStringLiteral("new/folder")), QStringList{"List.xml"});

  const QString empty = dir.Write(QStringLiteral("empty.xml"), "");
  EXPECT_THROW(loaded.LoadFromFile(empty), EStreamError);
  EXPECT_EQ(loaded.Count(), 2);
}

// ---- memory stream ----

TEST(MemoryStream, HexPayloadAndCompressionRoundTrips) {
  QByteArray longBytes;
  for (int i = 0; i < 5000; ++i)
    longBytes.append(static_cast<char>((i * 7) % 13));
  struct Case {
    QByteArray bytes;
    bool compress;
    QString text; // empty: only the form is checked
  } cases[] = {
      {QByteArray("\x00\xAB\xFF", 3), false, QStringLiteral("00ABFF")},
      {longBytes, true, QString()},
      {QByteArray("x"), true, QString()},
  };
  const QRegularExpression upperHex(QStringLiteral("^([0-9A-F]{2})+$"));
  for (const Case &c : cases) {
    TXMLMemoryStream source(c.compress);
    source.Stream().write(c.bytes);
    const IXMLNodePtr element = ParseElement(QStringLiteral("<P/>"));
    source.SaveToXML(element);
    const QString text = element->GetValue();
    EXPECT_TRUE(upperHex.match(text).hasMatch()) << text.left(40).toStdString();
    if (!c.text.isEmpty()) {
      EXPECT_EQ(text, c.text);
    }
    if (c.compress && c.bytes.size() > 100) {
      EXPECT_LT(text.size(), c.bytes.size());
    }
    EXPECT_EQ(AttributesOf(element),
              c.compress ? QStringLiteral("Compress=\"True\"") : QStringLiteral("Compress=\"False\""));

    TXMLMemoryStream target(!c.compress);
    target.Stream().write("previous");
    target.LoadFromXML(element);
    EXPECT_EQ(target.Stream().Bytes(), c.bytes);
    EXPECT_EQ(target.Stream().pos(), c.bytes.size());
    EXPECT_EQ(target.Compress(), !c.compress);
  }
}

TEST(MemoryStream, EmptyStreamWritesNothingAndEmptyTextLoadsNothing) {
  const IXMLNodePtr element = ParseElement(QStringLiteral("<P/>"));
  TXMLMemoryStream(true).SaveToXML(element);
  EXPECT_EQ(element->GetValue(), QString());
  EXPECT_EQ(element->GetAttributes()->GetCount(), 0);

  TXMLMemoryStream target(false);
  target.Stream().write("kept");
  target.LoadFromXML(element);
  EXPECT_EQ(target.Stream().Bytes(), QByteArray("kept"));
}

TEST(MemoryStream, LenientReadingForms) {
  struct Case {
    const char *xml;
    QByteArray bytes;
  } cases[] = {
      {"<P>00abFf</P>", QByteArray("\x00\xAB\xFF", 3)},
      {"<P Compress=\"False\">4142</P>", "AB"},
      {"<P Compress=\"true\">4142</P>", "AB"}, // only the exact "True" marks compressed data
      {"<P>414</P>", "A"},                     // a trailing odd digit is ignored
  };
  for (const Case &c : cases) {
    TXMLMemoryStream stream(true);
    stream.LoadFromXML(ParseElement(QString::fromUtf8(c.xml)));
    EXPECT_EQ(stream.Stream().Bytes(), c.bytes) << c.xml;
  }
}

TEST(MemoryStream, BadPayloadFailsAndKeepsTheContent) {
  struct Case {
    const char *xml;
    QString message;
  } cases[] = {
      {"<P>41 42</P>", QStringLiteral("' ' is not a valid hexadecimal digit")},
      {"<P>4G</P>", QStringLiteral("'G' is not a valid hexadecimal digit")},
      {"<P Compress=\"True\">FFFF</P>", QString()},
  };
  for (const Case &c : cases) {
    TXMLMemoryStream stream(false);
    stream.Stream().write("kept");
    const IXMLNodePtr element = ParseElement(QString::fromUtf8(c.xml));
    if (c.message.isEmpty())
      EXPECT_THROW(stream.LoadFromXML(element), EDecompressionError) << c.xml;
    else
      EXPECT_EQ(MessageOf<EConvertError>([&] { stream.LoadFromXML(element); }), c.message);
    EXPECT_EQ(stream.Stream().Bytes(), QByteArray("kept")) << c.xml;
  }
}

TEST(MemoryStream, AssignAndCloneCopyTheBytesNotTheFlag) {
  TXMLMemoryStream source(true);
  source.Stream().write(QByteArray(1000, 'q'));
  TXMLMemoryStream target(false);
  target.Stream().write("old content");
  target.Assign(&source);
  EXPECT_EQ(target.Stream().Bytes(), source.Stream().Bytes());
  EXPECT_EQ(target.Stream().pos(), 0);
  EXPECT_FALSE(target.Compress());

  const std::unique_ptr<TXMLPersistent> clone = source.Clone();
  const auto *copy = dynamic_cast<TXMLMemoryStream *>(clone.get());
  ASSERT_NE(copy, nullptr);
  EXPECT_NE(copy, &source);
  EXPECT_TRUE(copy->Compress());
  EXPECT_EQ(copy->Stream().Bytes(), QByteArray(1000, 'q'));

  source.Assign(&source);
  EXPECT_EQ(source.Stream().size(), 1000);
  target.Assign(nullptr);
  EXPECT_EQ(target.Stream().size(), 0);
  TItem item;
  EXPECT_EQ(MessageOf<EConvertError>([&] { item.Assign(&source); }),
            QStringLiteral("Cannot assign a TXMLMemoryStream to a TItem"));
  EXPECT_EQ(MessageOf<EConvertError>([&] { source.Assign(&item); }),
            QStringLiteral("Cannot assign a TItem to a TXMLMemoryStream"));
}

TEST(MemoryStream, TravelsAsAPropertyThroughAFile) {
  TTestDir dir;
  TPicture picture;
  picture.Width = 3;
  picture.Pixels->Stream().write(QByteArray(300, '\x7F'));
  picture.SaveToFile(dir.Path() + QStringLiteral("Picture.xml"));

  TPicture loaded;
  loaded.LoadFromFile(dir.Path() + QStringLiteral("Picture.xml"));
  EXPECT_EQ(loaded.Width, 3);
  EXPECT_EQ(loaded.Pixels->Stream().Bytes(), QByteArray(300, '\x7F'));

  TPicture copy;
  copy.Assign(&picture);
  EXPECT_EQ(copy.Pixels->Stream().Bytes(), QByteArray(300, '\x7F'));
}

} // namespace
