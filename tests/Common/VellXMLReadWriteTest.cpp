// Reading XML text into the tree and writing the tree as text and bytes.
#include "Common/VellUtils.h"
#include "Common/VellXMLUtils.h"
#include "tests/support/TestFiles.h"

#include <QFile>

#include <gtest/gtest.h>

namespace {

QString S(const char *utf8) {
  return QString::fromUtf8(utf8);
}

// name[attribute=value;...]{stored value}(children), empty parts left out.
QString Dump(const IXMLNodePtr &node) {
  QString text = node->GetNodeName();
  const IXMLNodeAttributesPtr attributes = node->GetAttributes();
  if (attributes->GetCount() > 0) {
    QStringList pairs;
    for (int i = 0; i < attributes->GetCount(); ++i)
      pairs << attributes->GetItem(i)->GetName() + u'=' + attributes->GetItem(i)->GetValue();
    text += u'[' + pairs.join(u';') + u']';
  }
  if (!node->GetValue().isEmpty())
    text += u'{' + node->GetValue() + u'}';
  if (node->HasChildNodes()) {
    QStringList children;
    for (int i = 0; i < node->GetChildNodes()->GetCount(); ++i)
      children << Dump(node->GetChildNodes()->GetNode(i));
    text += u'(' + children.join(u' ') + u')';
  }
  return text;
}

// The root's dump after parsing text, "-" for no root, or the error message.
QString Parsed(const QString &text) {
  const IXMLDocumentPtr document = NewXMLDocument();
  try {
    document->SetXML(text);
  } catch (const EXMLException &error) {
    return u'!' + error.Message();
  }
  return document->IsEmpty() ? S("-") : Dump(document->GetRootNode());
}

TEST(XMLReader, IsLenientExceptForTagsAndAttributeQuotes) {
  const struct {
    const char *text, *result;
  } cases[] = {
      {"<a><b>x</b></a>", "a(b{x})"},
      {"<a>\r\n    <b>x</b>\r\n</a>", "a{\r\n}(b{x})"},
      {"<a>x<b/>y</a>", "a{y}(b)"},
      {"<a></b>", "a"},
      {"<a><b>", "a(b)"},
      {"<a/><c/>", "c"},
      {"<a/><", "a"},
      {"text<a/>more", "a"},
      {"</a>", "!XML 标识符号不匹配"},
      {"<a", "!XML 标识符号不匹配"},
      {"<a/></a>", "!XML 标识符号不匹配"},
      {"<a x='1'>", "!XML 属性标识符号不匹配"},
      {"<a xy>", "!XML 属性标识符号不匹配"},
      {"<a x=\"1\"y>", "a[x=1]"},
      {"<a x=\"1\" y>", "!XML 属性标识符号不匹配"},
      {"<a x=\"1\" yz>", "!XML 属性标识符号不匹配"},
      {"<a x>", "a"},
      {"<a x=\"1\" y=\"3\" x=\"2\"/>", "a[x=2;y=3]"},
      {"<a \t x = \"1\"/>", "a[x=1]"},
      {"<a\tx=\"1\"/>", "a\tx=\"1\""},
      {"<a b=\"x>y\" c=\"p q\"/>", "a[b=x>y;c=p q]"},
      {"<a =\"1\" b=\"2\"/>", "a[b=2]"},
      {"<a v=\"a&amp;b\">t&lt;</a>", "a[v=a&amp;b]{t&lt;}"},
      {"<a><!-- c > d --></a>", "a{ d -->}"},
      {"<!-- c > d --><a/>", "a"},
      {"<!DOCTYPE a><a><![CDATA[x]]></a>", "a"},
      {"<a>\"<b>\"</a>", "a{\"<b>\"}"},
      {"<>", "!XML 标识符号不匹配"},
      {"< />", "!XML 标识符号不匹配"},
      {"", "-"},
      {"<", "-"},
  };
  for (const auto &c : cases)
    EXPECT_EQ(Parsed(S(c.text)), S(c.result)) << c.text;
}

TEST(XMLReader, KeepsWhatWasReadBeforeAnError) {
  const IXMLDocumentPtr document = NewXMLDocument();
  EXPECT_THROW(document->SetXML(S("<a><b/><c d e>")), EXMLException);
  ASSERT_FALSE(document->IsEmpty());
  EXPECT_EQ(Dump(document->GetRootNode()), S("a(b)"));
  // A new parse starts from an empty document.
  document->SetXML(S("<z/>"));
  EXPECT_EQ(Dump(document->GetRootNode()), S("z"));
}

QString ErrorOf(const IXMLDocumentPtr &document, const char *text) {
  try {
    document->SetXML(S(text));
  } catch (const EXMLException &error) {
    return error.Message();
  }
  return QString();
}

TEST(XMLReader, TheDeclarationSetsVersionAndEncoding) {
  const IXMLDocumentPtr document = NewXMLDocument();
  document->SetFileName(S("kept.xml"));
  document->SetXML(S("<?xml version=\"1.1\" encoding=\"UTF-8\"?><a/>"));
  EXPECT_EQ(document->GetVersion(), S("1.1"));
  EXPECT_EQ(document->GetEncoding(), S("UTF-8"));
  EXPECT_EQ(document->GetFileName(), S("kept.xml"));
  // Only lower-case utf-8 selects UTF-8: this document now saves UTF-16LE.
  TMemoryStream stream;
  document->SaveToStream(&stream);
  EXPECT_EQ(stream.Bytes().left(4), QByteArray("<\0?\0", 4));
  // A parse resets the version; the encoding stays.
  document->SetXML(S("<a/>"));
  EXPECT_EQ(document->GetVersion(), S("1.0"));
  EXPECT_EQ(document->GetEncoding(), S("UTF-8"));
  EXPECT_EQ(ErrorOf(document, "<?xml version=1?><a/>"), S("XML 属性标识符号不匹配"));
}

// The document of the layout example: root r with n stored as 5, a child t
// holding x&lt;y and an empty child e with a stored as 1.
IXMLDocumentPtr ExampleDocument() {
  const IXMLDocumentPtr document = NewXMLDocument(true, true);
  const IXMLNodePtr root = document->CreateRootNode(S("r"));
  root->GetAttributes()->Add(S("n"))->SetValue(S("5"));
  root->AddChild(S("t"))->SetValue(S("x&lt;y"));
  root->AddChild(S("e"))->GetAttributes()->Add(S("a"))->SetValue(S("1"));
  return document;
}

QByteArray Saved(const IXMLDocumentPtr &document) {
  TMemoryStream stream;
  document->SaveToStream(&stream);
  return stream.Bytes();
}

TEST(XMLWriter, WritesTheFileLayoutByteForByte) {
  const IXMLDocumentPtr document = ExampleDocument();
  EXPECT_EQ(Saved(document), QByteArray("<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n"
                                        "<r n=\"5\">\r\n"
                                        "    <t>x&lt;y</t>\r\n"
                                        "    <e a=\"1\"/>\r\n"
                                        "</r>\r\n"));
  EXPECT_EQ(document->GetDisplayText(), S("<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n"
                                          "<r n=\"5\">\r\n"
                                          "    <t>x<y</t>\r\n"
                                          "    <e a=\"1\"/>\r\n"
                                          "</r>\r\n"));
  document->GetRootNode()->GetChildNodes()->GetNode(0)->AddChild(S("g"));
  document->SetFormatted(false);
  EXPECT_EQ(Saved(document), QByteArray("<?xml version=\"1.0\" encoding=\"utf-8\"?>"
                                        "<r n=\"5\"><t><g/></t><e a=\"1\"/></r>"));
  document->SetFormatted(true);
  document->SetWriteDeclaration(false);
  EXPECT_EQ(document->GetXML(), S("<r n=\"5\">\r\n"
                                  "    <t>\r\n"
                                  "        <g/>\r\n"
                                  "    </t>\r\n"
                                  "    <e a=\"1\"/>\r\n"
                                  "</r>\r\n"));
  EXPECT_EQ(QString::fromUtf8(Saved(document)), document->GetXML());
}

TEST(XMLWriter, EmptyDocumentsWriteAtMostTheDeclaration) {
  const struct {
    bool declaration, formatted;
    const char *text;
  } cases[] = {{true, true, "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n"},
               {true, false, "<?xml version=\"1.0\" encoding=\"utf-8\"?>"},
               {false, true, ""},
               {false, false, ""}};
  for (const auto &c : cases)
    EXPECT_EQ(Saved(NewXMLDocument(c.declaration, c.formatted)), QByteArray(c.text));
  const IXMLDocumentPtr document = NewXMLDocument(true, true);
  document->CreateRootNode(S("a"));
  EXPECT_EQ(Saved(document), QByteArray("<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<a/>\r\n"));
}

TEST(XMLWriter, TextOfElementsWithChildrenIsNotWritten) {
  const IXMLDocumentPtr document = NewXMLDocument(false, true);
  const IXMLNodePtr root = document->CreateRootNode(S("r"));
  root->SetValue(S("hidden"));
  const IXMLNodePtr line = root->AddChild(S("s"));
  line->SetAsString(S("a\r\nb \"q\""));
  const IXMLNodePtr raw = root->AddChild(S("v"));
  raw->SetValue(S("a\r\nb"));
  EXPECT_EQ(document->GetXML(), S("<r>\r\n"
                                  "    <s>a&13;&10;b &quot;q&quot;</s>\r\n"
                                  "    <v>a\r\nb</v>\r\n"
                                  "</r>\r\n"));
}

TEST(XMLWriter, DeclarationFollowsVersionAndEncoding) {
  const struct {
    const char *version, *encoding, *line;
    bool utf8;
  } cases[] = {{"", "utf-8", "<?xml version=\"1.0\" encoding=\"utf-8\"?>", true},
               {"1.1", "", "<?xml version=\"1.1\"?>", false},
               {"1.0", "UTF-8", "<?xml version=\"1.0\" encoding=\"UTF-8\"?>", false},
               {"1.0", "utf-16", "<?xml version=\"1.0\" encoding=\"utf-16\"?>", false}};
  for (const auto &c : cases) {
    const IXMLDocumentPtr document = NewXMLDocument(true, false);
    document->SetVersion(S(c.version));
    document->SetEncoding(S(c.encoding));
    document->CreateRootNode(S("é"));
    const QString text = S(c.line) + S("<é/>");
    EXPECT_EQ(document->GetXML(), text);
    const QByteArray utf16(reinterpret_cast<const char *>(text.utf16()), text.size() * 2);
    EXPECT_EQ(Saved(document), c.utf8 ? text.toUtf8() : utf16) << c.encoding;
  }
}

TEST(XMLWriter, Utf8EncodesEachCodeUnitOnItsOwn) {
  const IXMLDocumentPtr document = NewXMLDocument(false, false);
  document->CreateRootNode(S("a"))->SetValue(S("é中😀"));
  EXPECT_EQ(Saved(document), QByteArray("<a>\xC3\xA9\xE4\xB8\xAD\xED\xA0\xBD\xED\xB8\x80</a>"));
  TMemoryStream stream(Saved(document));
  EXPECT_EQ(LoadXMLDocument(&stream)->GetRootNode()->GetValue(), S("é中😀"));
}

TEST(XMLWriter, SaveToStreamAppendsAtThePosition) {
  TMemoryStream stream(QByteArray("head"));
  stream.seek(4);
  const IXMLDocumentPtr document = NewXMLDocument(false, false);
  document->CreateRootNode(S("a"));
  document->SaveToStream(&stream);
  EXPECT_EQ(stream.Bytes(), QByteArray("head<a/>"));
}

// Names, stored values of childless elements and attributes in order.
void ExpectSameTree(const IXMLNodePtr &expected, const IXMLNodePtr &actual) {
  ASSERT_TRUE(actual);
  EXPECT_EQ(actual->GetNodeName(), expected->GetNodeName());
  EXPECT_EQ(actual->GetAttributes()->GetXML(), expected->GetAttributes()->GetXML());
  EXPECT_EQ(actual->GetAttributes()->GetCount(), expected->GetAttributes()->GetCount());
  ASSERT_EQ(actual->GetChildNodes()->GetCount(), expected->GetChildNodes()->GetCount());
  if (!expected->HasChildNodes()) {
    EXPECT_EQ(actual->GetValue(), expected->GetValue());
  }
  for (int i = 0; i < expected->GetChildNodes()->GetCount(); ++i)
    ExpectSameTree(expected->GetChildNodes()->GetNode(i), actual->GetChildNodes()->GetNode(i));
}

TEST(XMLWriter, WrittenDocumentsReadBackEqual) {
  const IXMLDocumentPtr document = ExampleDocument();
  const IXMLNodePtr root = document->GetRootNode();
  const IXMLNodePtr settings = root->AddChild(S("设置"));
  settings->GetAttributes()->Add(S("Path"))->SetAsString(S("C:\\扫描\\<new> & 'old'"));
  settings->GetAttributes()->Add(S("Empty"));
  settings->GetAttributes()->Add(S("Size"))->SetAsFloat(210.5);
  settings->AddChild(S("Note"))->SetAsString(S("two\r\nlines\tand \"quotes\""));
  settings->AddChild(S("Blob"))->SetAsVariant(QVariant(QByteArray("\x00\x01\xff", 3)));
  settings->AddChild(S("Note"))->AddChild(S("Deep"))->SetValue(S("😀 &amp; "));
  for (const char *encoding : {"utf-8", "utf-16"}) {
    for (bool formatted : {true, false}) {
      document->SetEncoding(S(encoding));
      document->SetFormatted(formatted);
      TMemoryStream stream(Saved(document));
      const IXMLDocumentPtr loaded = NewXMLDocument();
      loaded->SetEncoding(S(encoding));
      loaded->SetFormatted(formatted);
      loaded->LoadFromStream(&stream);
      ExpectSameTree(root, loaded->GetRootNode());
      EXPECT_EQ(loaded->GetXML(), document->GetXML());
    }
  }
}

TEST(XMLWriter, DeepDocumentsAreWrittenAndReadWithoutDeepRecursion) {
  const int depth = 100000;
  const QString text = S("<a>").repeated(depth) + S("<b/>");
  const IXMLDocumentPtr document = NewXMLDocument(false, false);
  document->SetXML(text);
  const QString written = document->GetXML();
  EXPECT_EQ(written, text + S("</a>").repeated(depth));
  document->SetXML(written);
  EXPECT_EQ(document->GetXML(), written);
}

TEST(XMLStreams, DecodingFollowsTheEncodingAndFailsAsAWhole) {
  const struct {
    const char *encoding;
    QByteArray bytes;
    const char *root;
  } cases[] = {{"utf-8", QByteArray("\xEF\xBB\xBF<a>\xC3\xA9</a>"), "a{é}"},
               {"utf-8", QByteArray("<a>\xF0\x9F\x98\x80</a>"), "a{😀}"},
               {"utf-8",
                QByteArray("<a>\xC3"
                           "A</a>"),
                "-"},
               {"utf-8", QByteArray("<a/>\xE4\xB8"), "-"},
               {"utf-8", QByteArray("<a>\x80</a>"), "-"},
               {"utf-8", QByteArray(), "-"},
               {"UTF-8", QByteArray("<\0a\0/\0>\0!", 9), "a"},
               {"", QByteArray("\xFF\xFE<\0a\0>\0\x2D\x4E<\0/\0a\0>\0", 18), "a{中}"}};
  for (const auto &c : cases) {
    const IXMLDocumentPtr document = NewXMLDocument();
    document->SetEncoding(S(c.encoding));
    TMemoryStream stream(c.bytes);
    document->LoadFromStream(&stream);
    EXPECT_EQ(document->IsEmpty() ? S("-") : Dump(document->GetRootNode()), S(c.root))
        << c.bytes.toHex().data();
  }
}

TEST(XMLStreams, LoadingReadsFromThePositionAndEmptiesFirst) {
  TMemoryStream stream(QByteArray("junk<<a/>"));
  stream.seek(5);
  const IXMLDocumentPtr document = LoadXMLDocument(&stream);
  EXPECT_EQ(Dump(document->GetRootNode()), S("a"));
  TMemoryStream invalid(QByteArray("\xC3"));
  document->SetVersion(S("2.0"));
  document->LoadFromStream(&invalid);
  EXPECT_TRUE(document->IsEmpty());
  EXPECT_EQ(document->GetVersion(), S("1.0"));
}

TEST(XMLStreams, NullStreamsFailTheAssertion) {
  const IXMLDocumentPtr document = NewXMLDocument();
  for (const auto &action : std::initializer_list<std::function<void()>>{
           [&] { document->LoadFromStream(nullptr); }, [&] { document->SaveToStream(nullptr); },
           [&] { LoadXMLDocument(nullptr); }}) {
    try {
      action();
      ADD_FAILURE() << "no assertion";
    } catch (const EAssertionFailed &error) {
      EXPECT_TRUE(error.Message().startsWith(S("Assertion failure (Common/VellXMLUtils, line ")))
          << error.what();
    }
  }
}

TEST(XMLFiles, SaveAndLoadByNameWithClearErrors) {
  TTestDir dir;
  const QString path = dir.File(S("doc.xml"));
  const IXMLDocumentPtr document = ExampleDocument();
  dir.Write(S("doc.xml"), QByteArray(5000, 'x'));
  document->SaveToFile(path);
  EXPECT_EQ(ReadWholeFile(path), Saved(document));
  EXPECT_EQ(document->GetFileName(), QString());

  const IXMLDocumentPtr loaded = NewXMLDocument();
  loaded->LoadFromFile(path);
  EXPECT_EQ(loaded->GetFileName(), path);
  ExpectSameTree(document->GetRootNode(), loaded->GetRootNode());

  const QString missing = dir.Path() + S("missing.xml");
  try {
    loaded->LoadFromFile(missing);
    ADD_FAILURE() << "no error";
  } catch (const EFOpenError &error) {
    EXPECT_TRUE(error.Message().startsWith(S("Cannot open file \"") + missing + S("\". "))) << error.what();
  }
  EXPECT_EQ(loaded->GetFileName(), path);

  const QString unreachable = dir.Path() + S("no/such/folder/doc.xml");
  try {
    document->SaveToFile(unreachable);
    ADD_FAILURE() << "no error";
  } catch (const EFCreateError &error) {
    EXPECT_TRUE(error.Message().startsWith(S("Cannot create file \"") + unreachable + S("\". ")))
        << error.what();
  }
  EXPECT_FALSE(QFile::exists(unreachable));
}

} // namespace
