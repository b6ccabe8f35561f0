// Small helpers shared by the persistence tests.
#pragma once

#include "Common/VellErrors.h"
#include "Common/VellUtils.h"
#include "Common/VellXMLUtils.h"

#include <QDir>
#include <QString>
#include <QStringList>

// The root element of a parsed document text.
inline IXMLNodePtr ParseElement(const QString &xml) {
  const IXMLDocumentPtr document = NewXMLDocument();
  document->SetXML(xml);
  return document->GetRootNode();
}

// The attributes of an element as written: name="value" separated by blanks.
inline QString AttributesOf(const IXMLNodePtr &element) {
  return element->GetAttributes()->GetXML();
}

inline QStringList ChildNamesOf(const IXMLNodePtr &element) {
  QStringList names;
  const IXMLNodeListPtr children = element->GetChildNodes();
  for (int i = 0; i < children->GetCount(); ++i)
    names << children->GetNode(i)->GetNodeName();
  return names;
}

// The message of the error E that call raises, or "no error".
template <typename E, typename F> QString MessageOf(F &&call) {
  try {
    call();
  } catch (const E &error) {
    return error.Message();
  }
  return QStringLiteral("no error");
}

// What an object or list writes with SaveToStream.
template <typename T> QByteArray SavedBytes(const T &object) {
  TMemoryStream stream;
  object.SaveToStream(&stream);
  return stream.Bytes();
}

template <typename T> void LoadBytes(T &object, const QByteArray &bytes) {
  TMemoryStream stream(bytes);
  object.LoadFromStream(&stream);
}

// Names of every entry in a folder, hidden ones included.
inline QStringList EntriesOf(const QString &folder) {
  return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

// The assertion text without its line number.
inline QString AssertionPrefix(const QString &message = QStringLiteral("Assertion failure")) {
  return message + QStringLiteral(" (Common/VellClasses, line ");
}
