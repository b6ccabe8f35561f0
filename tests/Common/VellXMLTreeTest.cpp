// The XML node model: interfaces, ownership, links, lookups and typed values.
#include "Common/VellXMLUtils.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

QString S(const char *utf8) {
  return QString::fromUtf8(utf8);
}

// Runs action and returns the message of the error of type E it raises.
template <typename E> QString ErrorOf(const std::function<void()> &action) {
  try {
    action();
  } catch (const E &error) {
    return error.Message();
  }
  return S("(no error)");
}

const QString cIndexError = S("访问索引越界");

TEST(XMLInterfaces, AnswerToTheirIdentifiers) {
  const IXMLDocumentPtr document = NewXMLDocument();
  const IXMLNodePtr node = document->CreateNode(S("n"));
  const IXMLNodeAttributePtr attribute = node->GetAttributes()->Add(S("a"));
  const struct {
    QUuid iid;
    const char *text;
  } identifiers[] = {{IXMLNodeAttribute::IID, "{44C6FEE6-94AE-4572-89E4-753DDBBE1DF5}"},
                     {IXMLNodeAttributes::IID, "{BAC8BC8D-2D93-4925-8BAA-CA2B27469035}"},
                     {IXMLNode::IID, "{C58452AD-9A73-4F93-B250-88A9391A3EF2}"},
                     {IXMLNodeList::IID, "{88151516-470C-4AD7-A3CE-8765F71B6AA0}"},
                     {IXMLDocument::IID, "{DAB2C299-C3F4-41FF-BB9E-554D0C9C9E72}"}};
  for (const auto &id : identifiers)
    EXPECT_EQ(id.iid.toString().toUpper(), S(id.text));

  EXPECT_EQ(node.Query<IXMLNode>(), node);
  EXPECT_EQ(document.Query<IXMLDocument>(), document);
  EXPECT_EQ(attribute.Query<IXMLNodeAttribute>(), attribute);
  EXPECT_TRUE(node->GetChildNodes().Query<IXMLNodeList>());
  EXPECT_TRUE(node->GetAttributes().Query<IXMLNodeAttributes>());
  EXPECT_TRUE(node.Query<IXMLUnknown>());
  EXPECT_FALSE(node.Query<IXMLDocument>());
  EXPECT_FALSE(document.Query<IXMLNode>());
  EXPECT_FALSE(IXMLNodePtr().Query<IXMLNode>());
}

TEST(XMLInterfaces, ObjectsLiveWhileReferenced) {
  IXMLNodePtr child;
  {
    const IXMLDocumentPtr document = NewXMLDocument();
    child = document->CreateRootNode(S("r"))->AddChild(S("c"));
    const auto *unknown = dynamic_cast<const TXMLIntfObject *>(child.get());
    ASSERT_NE(unknown, nullptr);
    EXPECT_EQ(unknown->RefCount(), 2); // the child list and this test
  }
  // The tree is gone; the child held here is not, and reports no parent.
  EXPECT_EQ(child->GetNodeName(), S("c"));
  EXPECT_FALSE(child->GetParentNode());
  EXPECT_EQ(child->GetLevel(), 0);
}

TEST(XMLAttributes, AddFindsOrAppendsByExactName) {
  const IXMLNodeAttributesPtr attributes = NewXMLDocument()->CreateNode(S("n"))->GetAttributes();
  const IXMLNodeAttributePtr a = attributes->Add(S("a"));
  EXPECT_EQ(attributes->Add(S("a")), a);
  EXPECT_EQ(attributes->GetAttribute(S("a")), a);
  EXPECT_EQ(attributes->GetCount(), 1);
  EXPECT_EQ(attributes->IndexOf(S("A")), -1);
  EXPECT_EQ(a->GetNameHash(), 0x61u);
  EXPECT_EQ(attributes->Add(S("abc"))->GetNameHash(), 0x7FBu);

  // Add keeps leading blanks, SetName trims them.
  const IXMLNodeAttributePtr padded = attributes->Add(S("  b"));
  EXPECT_EQ(padded->GetName(), S("  b"));
  EXPECT_EQ(attributes->IndexOf(S("b")), -1);
  padded->SetName(S("  b\t"));
  EXPECT_EQ(padded->GetName(), S("b"));
  EXPECT_EQ(attributes->IndexOf(S("b")), 2);
  EXPECT_EQ(padded->GetNameHash(), 0x62u);
}

TEST(XMLAttributes, IndexErrorsChangeNothing) {
  const IXMLNodeAttributesPtr attributes = NewXMLDocument()->CreateNode(S("n"))->GetAttributes();
  attributes->Add(S("x"));
  for (int index : {-1, 1}) {
    EXPECT_EQ(ErrorOf<EXMLException>([&] { attributes->GetItem(index); }), cIndexError);
    EXPECT_EQ(ErrorOf<EXMLException>([&] { attributes->Delete(index); }), cIndexError);
  }
  EXPECT_EQ(attributes->GetCount(), 1);
  attributes->Delete(0);
  EXPECT_EQ(attributes->GetCount(), 0);
}

TEST(XMLAttributes, XmlTextIsStoredValuesJoinedByBlanks) {
  const IXMLNodePtr node = NewXMLDocument()->CreateNode(S("a"));
  EXPECT_EQ(node->GetAttributes()->GetXML(), QString());
  EXPECT_EQ(node->GetXML(), S("<a>"));
  node->GetAttributes()->Add(S("x"))->SetValue(S("1"));
  node->GetAttributes()->Add(S("y"))->SetValue(S("a\"b&lt;"));
  EXPECT_EQ(node->GetAttributes()->GetXML(), S("x=\"1\" y=\"a\"b&lt;\""));
  EXPECT_EQ(node->GetXML(), S("<a x=\"1\" y=\"a\"b&lt;\">"));
  EXPECT_TRUE(node->HasAttribute(S("y")));
  EXPECT_FALSE(node->HasAttribute(S("Y")));
}

TEST(XMLAttributes, SingleAttributeTextMayBeQuotedOrNot) {
  const struct {
    const char *text, *name, *value;
  } cases[] = {{" name = \" va lue \" ", "name", " va lue "},
               {"a=1", "a", "1"},
               {"a=\"x=y\"", "a", "x=y"},
               {"lonely", "lonely", ""},
               {"q\"=\"=v", "q\"=\"", "v"}};
  const IXMLNodeAttributePtr attribute = NewXMLDocument()->CreateNode(S("n"))->GetAttributes()->Add(S("x"));
  for (const auto &c : cases) {
    attribute->SetValue(S("old"));
    attribute->SetXML(S(c.text));
    EXPECT_EQ(attribute->GetName(), S(c.name)) << c.text;
    EXPECT_EQ(attribute->GetValue(), S(c.value)) << c.text;
    EXPECT_EQ(attribute->GetXML(), S(c.name) + S("=\"") + S(c.value) + u'"');
  }
}

// The typed accessors of attributes and nodes, on one value holder.
template <typename T> void CheckTypedAccessors(const TXMLPtr<T> &holder) {
  holder->SetAsBoolean(true);
  EXPECT_EQ(holder->GetValue(), S("True"));
  EXPECT_TRUE(holder->GetAsBoolean());
  holder->SetAsInteger(-42);
  EXPECT_EQ(holder->GetValue(), S("-42"));
  EXPECT_EQ(holder->GetAsInteger(), -42);
  holder->SetAsFloat(0.00001);
  EXPECT_EQ(holder->GetValue(), S("1E-5"));
  EXPECT_DOUBLE_EQ(holder->GetAsFloat(), 0.00001);
  holder->SetAsString(S("a<b & \"c\"\r\n"));
  EXPECT_EQ(holder->GetValue(), S("a&lt;b &amp; &quot;c&quot;&13;&10;"));
  EXPECT_EQ(holder->GetAsString(), S("a<b & \"c\"\r\n"));
  holder->SetAsVariant(QVariant(QByteArray("Ma")));
  EXPECT_EQ(holder->GetValue(), S("TWE="));
  QVariant value;
  EXPECT_TRUE(holder->GetAsVariant(value));
  EXPECT_EQ(value.toByteArray(), QByteArray("Ma"));
  holder->SetValue(S("&amp; Tx"));
  EXPECT_EQ(holder->GetValue(), S("&amp; Tx"));
  EXPECT_FALSE(holder->GetAsVariant(value));
  EXPECT_FALSE(value.isValid());
  EXPECT_FALSE(holder->GetAsBoolean());
}

TEST(XMLTypedValues, AttributesAndNodesConvertThroughTheStoredForm) {
  const IXMLNodePtr node = NewXMLDocument()->CreateNode(S("n"));
  CheckTypedAccessors(node);
  CheckTypedAccessors(node->GetAttributes()->Add(S("a")));
}

// A list with children named by the letters of names, under a root.
IXMLNodePtr TreeWithChildren(const char *names) {
  const IXMLNodePtr root = NewXMLDocument()->CreateNode(S("root"));
  for (const char *name = names; *name; ++name)
    root->AddChild(QString(QChar(*name)));
  return root;
}

QString NamesOf(const IXMLNodeListPtr &list) {
  QString names;
  for (int i = 0; i < list->GetCount(); ++i)
    names += list->GetNode(i)->GetNodeName();
  return names;
}

TEST(XMLNodeList, LooksUpTheFirstOfEqualNames) {
  const IXMLNodePtr root = TreeWithChildren("abab");
  const IXMLNodeListPtr children = root->GetChildNodes();
  children->GetNode(3)->SetValue(S("second b"));
  EXPECT_EQ(children->FindNode(S("b")), children->GetNode(1));
  EXPECT_EQ(children->GetNamedNode(S("b")), children->GetNode(1));
  EXPECT_EQ(children->IndexOfName(S("b")), 1);
  EXPECT_EQ(children->IndexOfName(S("B")), -1);
  EXPECT_FALSE(children->FindNode(S("c")));
  EXPECT_EQ(children->DeleteByName(S("b")), 1);
  EXPECT_EQ(NamesOf(children), S("aab"));
  EXPECT_EQ(children->FindNode(S("b"))->GetValue(), S("second b"));
  EXPECT_EQ(children->DeleteByName(S("c")), -1);
  const IXMLNodePtr last = children->GetNode(2);
  EXPECT_EQ(children->Remove(last), 2);
  EXPECT_EQ(children->Remove(last), -1);
  EXPECT_EQ(children->IndexOf(last), -1);
  EXPECT_TRUE(root->HasChildNodes());
  children->Clear();
  EXPECT_FALSE(root->HasChildNodes());
}

TEST(XMLNodeList, NullNodesAndBadIndexesChangeNothing) {
  const IXMLNodePtr root = TreeWithChildren("ab");
  const IXMLNodeListPtr children = root->GetChildNodes();
  EXPECT_EQ(children->Add(nullptr), -1);
  children->Insert(0, nullptr);
  const IXMLNodePtr free = NewXMLDocument()->CreateNode(S("x"));
  EXPECT_EQ(ErrorOf<EListError>([&] { children->Insert(3, free); }), S("List index out of bounds (3)"));
  EXPECT_EQ(ErrorOf<EListError>([&] { children->Insert(-1, free); }), S("List index out of bounds (-1)"));
  for (int index : {-1, 2}) {
    EXPECT_EQ(ErrorOf<EXMLException>([&] { children->GetNode(index); }), cIndexError);
    EXPECT_EQ(ErrorOf<EXMLException>([&] { children->Delete(index); }), cIndexError);
  }
  EXPECT_EQ(NamesOf(children), S("ab"));
  EXPECT_FALSE(free->GetParentNode());
}

TEST(XMLNodeList, AddAndInsertLinkTheParent) {
  const IXMLNodePtr root = TreeWithChildren("ab");
  const IXMLNodeListPtr children = root->GetChildNodes();
  const IXMLDocumentPtr document = NewXMLDocument();
  const IXMLNodePtr x = document->CreateNode(S("x"));
  const IXMLNodePtr y = document->CreateNode(S("y"));
  EXPECT_EQ(children->Add(x), 2);
  children->Insert(1, y);
  EXPECT_EQ(NamesOf(children), S("ayb"
                                 "x"));
  EXPECT_EQ(x->GetParentNode(), root);
  EXPECT_EQ(y->GetParentNode(), root);
  EXPECT_EQ(children->IndexOf(y), 1);
  // A removed node still names its former parent while that exists.
  children->Delete(1);
  EXPECT_EQ(y->GetParentNode(), root);
  EXPECT_EQ(children->IndexOf(y), -1);
}

TEST(XMLNodeList, ANodeMovesWhenAddedToAnotherList) {
  const IXMLNodePtr first = TreeWithChildren("abc");
  const IXMLNodePtr second = TreeWithChildren("xy");
  const IXMLNodePtr b = first->GetChildNodes()->GetNode(1);
  EXPECT_EQ(second->GetChildNodes()->Add(b), 2);
  EXPECT_EQ(NamesOf(first->GetChildNodes()), S("ac"));
  EXPECT_EQ(NamesOf(second->GetChildNodes()), S("xyb"));
  EXPECT_EQ(b->GetParentNode(), second);
  // Within one list: Add moves to the end, Insert puts it before the node at the index.
  const IXMLNodeListPtr list = second->GetChildNodes();
  list->Add(list->GetNode(0));
  EXPECT_EQ(NamesOf(list), S("ybx"));
  list->Insert(2, list->GetNode(0));
  EXPECT_EQ(NamesOf(list), S("byx"));
  list->Insert(0, list->GetNode(2));
  EXPECT_EQ(NamesOf(list), S("xby"));
}

TEST(XMLNodeList, RefusesToPutANodeBelowItself) {
  const IXMLNodePtr root = TreeWithChildren("a");
  const IXMLNodePtr a = root->GetChildNodes()->GetNode(0);
  const IXMLNodePtr grandchild = a->AddChild(S("g"));
  EXPECT_THROW(root->GetChildNodes()->Add(root), EAssertionFailed);
  EXPECT_THROW(grandchild->GetChildNodes()->Insert(0, root), EAssertionFailed);
  EXPECT_THROW(a->SetParentNode(grandchild), EAssertionFailed);
  EXPECT_THROW(a->SetParentNode(a), EAssertionFailed);
  EXPECT_EQ(grandchild->GetLevel(), 2);
  EXPECT_EQ(NamesOf(root->GetChildNodes()), S("a"));
  EXPECT_EQ(a->GetParentNode(), root);
}

TEST(XMLNode, LevelCountsParentLinks) {
  const IXMLNodePtr root = NewXMLDocument()->CreateRootNode(S("r"));
  const IXMLNodePtr child = root->AddChild(S("c"));
  const IXMLNodePtr grandchild = child->AddChild(S("g"));
  EXPECT_EQ(root->GetLevel(), 0);
  EXPECT_EQ(child->GetLevel(), 1);
  EXPECT_EQ(grandchild->GetLevel(), 2);
  EXPECT_FALSE(root->GetParentNode());
  // SetParentNode changes the link only.
  grandchild->SetParentNode(root);
  EXPECT_EQ(grandchild->GetLevel(), 1);
  EXPECT_EQ(child->GetChildNodes()->IndexOf(grandchild), 0);
  grandchild->SetParentNode(nullptr);
  EXPECT_EQ(grandchild->GetLevel(), 0);
}

TEST(XMLNode, AListOutlivingItsOwnerLinksNoParent) {
  IXMLNodeListPtr list;
  {
    const IXMLNodePtr owner = NewXMLDocument()->CreateNode(S("o"));
    list = owner->GetChildNodes();
  }
  const IXMLNodePtr node = NewXMLDocument()->CreateNode(S("n"));
  EXPECT_EQ(list->Add(node), 0);
  EXPECT_FALSE(node->GetParentNode());
}

TEST(XMLNode, CloneCopiesNameValueAttributesAndOnDemandTheSubtree) {
  const IXMLNodePtr root = NewXMLDocument()->CreateRootNode(S("r"));
  const IXMLNodePtr source = root->AddChild(S("s"));
  source->SetValue(S("v&amp;"));
  source->GetAttributes()->Add(S("z"))->SetValue(S("1"));
  source->GetAttributes()->Add(S("a"))->SetValue(S("say \"hi\""));
  source->AddChild(S("c"))->AddChild(S("g"))->SetValue(S("deep"));

  const IXMLNodePtr shallow = source->CloneNode(false);
  const IXMLNodePtr deep = source->CloneNode(true);
  for (const IXMLNodePtr &clone : {shallow, deep}) {
    EXPECT_FALSE(clone->GetParentNode());
    EXPECT_EQ(clone->GetNodeName(), S("s"));
    EXPECT_EQ(clone->GetValue(), S("v&amp;"));
    EXPECT_EQ(clone->GetXML(), source->GetXML());
  }
  EXPECT_FALSE(shallow->HasChildNodes());
  const IXMLNodePtr copiedChild = deep->GetChildNodes()->GetNode(0);
  EXPECT_EQ(copiedChild->GetParentNode(), deep);
  EXPECT_EQ(copiedChild->GetChildNodes()->GetNode(0)->GetValue(), S("deep"));
  EXPECT_NE(copiedChild, source->GetChildNodes()->GetNode(0));
  copiedChild->SetNodeName(S("changed"));
  EXPECT_EQ(source->GetChildNodes()->GetNode(0)->GetNodeName(), S("c"));
}

TEST(XMLNode, DeepTreesAreBuiltClonedAndFreedWithoutDeepRecursion) {
  IXMLNodePtr root = NewXMLDocument()->CreateNode(S("r"));
  IXMLNodePtr node = root;
  for (int i = 0; i < 200000; ++i)
    node = node->AddChild(S("n"));
  IXMLNodePtr clone = root->CloneNode(true);
  node.reset();
  root.reset();
  int depth = 0;
  for (IXMLNodePtr walk = clone; walk->HasChildNodes(); walk = walk->GetChildNodes()->GetNode(0))
    ++depth;
  EXPECT_EQ(depth, 200000);
  clone.reset();
}

TEST(XMLDocument, StartsEmptyAndHasOneRoot) {
  const IXMLDocumentPtr document = NewXMLDocument();
  EXPECT_TRUE(document->IsEmpty());
  EXPECT_TRUE(document->GetFormatted());
  EXPECT_TRUE(document->GetWriteDeclaration());
  EXPECT_EQ(document->GetEncoding(), S("utf-8"));
  EXPECT_EQ(document->GetVersion(), S("1.0"));
  EXPECT_EQ(document->GetFileName(), QString());
  const IXMLNodePtr root = document->CreateRootNode(S("r"));
  EXPECT_FALSE(document->IsEmpty());
  EXPECT_EQ(document->GetRootNode(), root);
  EXPECT_EQ(ErrorOf<EXMLException>([&] { document->CreateRootNode(S("s")); }),
            S("XML 文档只能有一个顶层节点"));
  EXPECT_EQ(document->GetRootNode(), root);
  const IXMLNodePtr free = document->CreateNode(S(" spaced "));
  EXPECT_EQ(free->GetNodeName(), S(" spaced "));
  EXPECT_FALSE(free->GetParentNode());

  const IXMLDocumentPtr plain = NewXMLDocument(false, false);
  EXPECT_FALSE(plain->GetFormatted());
  EXPECT_FALSE(plain->GetWriteDeclaration());
}

} // namespace
