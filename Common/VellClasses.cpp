#include "Common/VellClasses.h"

#include "Common/VellErrors.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QSaveFile>

#include <functional>
#include <limits>

// ---- TPersistent ----

VELL_IMPLEMENT_CLASS(TPersistent, TObject)

void TPersistent::Assign(const TPersistent *source) {
  if (!source)
    AssignError(nullptr);
  source->AssignTo(this);
}

void TPersistent::AssignTo(TPersistent *dest) const {
  VELL_ASSERT(dest);
  dest->AssignError(this);
}

void TPersistent::AssignError(const TPersistent *source) const {
  const QString sourceName = source ? source->ClassName() : QStringLiteral("nil");
  throw EConvertError(QStringLiteral("Cannot assign a %1 to a %2").arg(sourceName, ClassName()));
}

// ---- TObjectList ----

VELL_IMPLEMENT_CLASS(TObjectList, TObject)

void TObjectList::CheckIndex(int index) const {
  if (index < 0 || index >= Count())
    throw EListError(QStringLiteral("List index out of bounds (%1)").arg(index));
}

TObject *TObjectList::Items(int index) const {
  CheckIndex(index);
  return FItems[static_cast<size_t>(index)].get();
}

int TObjectList::Add(std::unique_ptr<TObject> item) {
  FItems.push_back(std::move(item));
  return Count() - 1;
}

void TObjectList::Delete(int index) {
  CheckIndex(index);
  FItems.erase(FItems.begin() + index);
}

int TObjectList::IndexOf(const TObject *item) const {
  for (int i = 0; i < Count(); ++i)
    if (FItems[static_cast<size_t>(i)].get() == item)
      return i;
  return -1;
}

void TObjectList::Clear() {
  FItems.clear();
}

// ---- generic property transfer ----

namespace {

const QString ItemsNodeName = QStringLiteral("Items");
const QString CompressAttrName = QStringLiteral("Compress");

bool IsIgnored(const TPropInfo &prop, const QStringList &ignore) {
  return TVellStr::IndexOfText(prop.Name, ignore, false) >= 0;
}

bool IsBoolean(const TPropInfo &prop) {
  return prop.EnumType == &EnumInfoOf<bool>();
}

// Wide characters, arrays, records, interfaces and dynamic arrays have no
// XML form: reaching one is a programming error.
[[noreturn]] void UnsupportedKind(int line) {
  RaiseAssertion(QStringLiteral("Assertion failure"), __FILE__, line);
}

// The attribute text of a value property, or the assertion error for a kind
// that has no text form.
QString ValueText(const TObject &object, const TPropInfo &prop) {
  switch (prop.Kind) {
  case tkInteger:
  case tkChar:
  case tkEnumeration:
    // 32 bits, as the reader parses them: an unsigned value wraps and comes back.
    return IntToXMLText(static_cast<qint32>(prop.GetOrdValue(object)));
  case tkInt64:
    return QString::number(prop.GetInt64Value(object));
  case tkFloat:
    return FloatToXMLText(prop.GetFloatValue(object));
  case tkString:
  case tkLString:
    return QString::fromLocal8Bit(prop.GetStrValue(object));
  case tkWString:
    return prop.GetWideStrValue(object);
  case tkSet:
    return prop.SetToString(prop.GetSetValue(object));
  default:
    UnsupportedKind(__LINE__);
  }
}

// A variant as the byte-array variant the XML layer stores: null stays null,
// bytes stay bytes, anything else is taken as its text in bytes.
QVariant VariantBytes(const QVariant &value) {
  if (!value.isValid() || value.typeId() == QMetaType::QByteArray)
    return value;
  return QVariant(value.toByteArray());
}

void WriteObject(const TObject &value, const IXMLNodePtr &element) {
  if (const auto *persistent = dynamic_cast<const TXMLPersistent *>(&value))
    persistent->SaveToXML(element);
  else if (const auto *list = dynamic_cast<const TXMLObjectList *>(&value))
    list->SaveToXML(element);
  else
    WriteProperties(value, element);
}

void ReadObject(TObject &value, const IXMLNodePtr &element) {
  if (auto *persistent = dynamic_cast<TXMLPersistent *>(&value))
    persistent->LoadFromXML(element);
  else if (auto *list = dynamic_cast<TXMLObjectList *>(&value))
    list->LoadFromXML(element);
  else
    ReadProperties(value, element);
}

// "True" and "False" stand for -1 and 0, then decimal digits.
qint64 ParseInteger(const QString &attributeText, bool is64) {
  QString text = attributeText;
  if (text == QLatin1String("True"))
    text = QStringLiteral("-1");
  else if (text == QLatin1String("False"))
    text = QStringLiteral("0");
  bool ok = false;
  const qint64 value = is64 ? text.toLongLong(&ok, 10) : text.toInt(&ok, 10);
  if (!ok)
    throw EConvertError(QStringLiteral("'%1' is not a valid integer value").arg(text));
  return value;
}

double ParseFloat(const QString &text) {
  QLocale c = QLocale::c();
  c.setNumberOptions(QLocale::RejectGroupSeparator);
  bool ok = false;
  const double value = c.toDouble(text, &ok);
  if (!ok)
    throw EConvertError(QStringLiteral("'%1' is not a valid floating point value").arg(text));
  return value;
}

QVariant ParseVariant(const IXMLNodeAttributePtr &attribute) {
  QVariant value;
  if (!attribute->GetAsVariant(value))
    throw EConvertError(QStringLiteral("'%1' is not a valid variant value").arg(attribute->GetValue()));
  return value;
}

// Sets one value property from its attribute. An enumeration ordinal outside
// its type leaves the property as it was, as a missing attribute does.
void ReadValue(TObject &object, const TPropInfo &prop, const IXMLNodeAttributePtr &attribute) {
  const QString text = attribute->GetAsString();
  switch (prop.Kind) {
  case tkInteger:
  case tkChar:
  case tkEnumeration: {
    const qint64 ordinal = ParseInteger(text, false);
    if (prop.Kind == tkEnumeration && !IsBoolean(prop) && !prop.EnumType->IsValid(ordinal))
      return;
    prop.SetOrdValue(object, ordinal);
    return;
  }
  case tkInt64:
    prop.SetInt64Value(object, ParseInteger(text, true));
    return;
  case tkFloat:
    prop.SetFloatValue(object, ParseFloat(text));
    return;
  case tkString:
  case tkLString:
    prop.SetStrValue(object, text.toLocal8Bit());
    return;
  case tkWString:
    prop.SetWideStrValue(object, text);
    return;
  case tkSet:
    prop.SetSetValue(object, prop.StringToSet(text));
    return;
  case tkVariant:
    prop.SetVariantValue(object, ParseVariant(attribute));
    return;
  default:
    UnsupportedKind(__LINE__);
  }
}

} // namespace

void WriteProperties(const TObject &object, const IXMLNodePtr &element, const QStringList &ignore) {
  VELL_ASSERT(element);
  for (const TPropInfo *prop : object.PropList()) {
    if (IsIgnored(*prop, ignore))
      continue;
    if (prop->Kind == tkClass) {
      if (const TObject *value = prop->GetObjectValue(object))
        WriteObject(*value, element->AddChild(prop->Name));
      continue;
    }
    if (prop->Kind == tkVariant) {
      element->GetAttributes()
          ->GetAttribute(prop->Name)
          ->SetAsVariant(VariantBytes(prop->GetVariantValue(object)));
      continue;
    }
    const QString text = ValueText(object, *prop);
    element->GetAttributes()->GetAttribute(prop->Name)->SetAsString(text);
  }
}

void ReadProperties(TObject &object, const IXMLNodePtr &element, const QStringList &ignore) {
  VELL_ASSERT(element);
  for (const TPropInfo *prop : object.PropList()) {
    if (IsIgnored(*prop, ignore))
      continue;
    if (prop->Kind == tkClass) {
      TObject *value = prop->GetObjectValue(object);
      const IXMLNodePtr child = element->GetChildNodes()->FindNode(prop->Name);
      if (value && child)
        ReadObject(*value, child);
      continue;
    }
    if (element->HasAttribute(prop->Name) && prop->IsWritable())
      ReadValue(object, *prop, element->GetAttributes()->GetAttribute(prop->Name));
  }
}

// ---- documents and files ----

namespace {

// Writes a formatted document with a declaration whose root is named rootName
// and filled by save.
void SaveDocument(QIODevice *stream, const QString &rootName,
                  const std::function<void(const IXMLNodePtr &)> &save) {
  VELL_ASSERT(stream);
  const IXMLDocumentPtr document = NewXMLDocument(true, true);
  save(document->CreateRootNode(rootName));
  document->SaveToStream(stream);
}

// Parses the whole stream, then hands its root element to load.
void LoadDocument(QIODevice *stream, const std::function<void(const IXMLNodePtr &)> &load) {
  VELL_ASSERT(stream);
  const IXMLDocumentPtr document = LoadXMLDocument(stream);
  const IXMLNodePtr root = document->GetRootNode();
  if (!root)
    throw EStreamError(QStringLiteral("The document holds no XML element"));
  load(root);
}

// Lets read parse the file when a file (not a folder) exists at the path.
void LoadExistingFile(const QString &fileName, const std::function<void(QIODevice *)> &read) {
  if (!QFileInfo(fileName).isFile())
    return;
  QFile file(fileName);
  if (!file.open(QIODevice::ReadOnly))
    throw EFOpenError(QStringLiteral("Cannot open file \"%1\". %2").arg(fileName, file.errorString()));
  read(&file);
}

} // namespace

// The folder part of a file path, with its trailing "/"; empty for a bare name.
QString FolderOf(const QString &fileName) {
  return fileName.left(fileName.lastIndexOf(u'/') + 1);
}

// Creates the missing folders, lets write produce the whole content in memory
// and only then replaces the file, atomically: the old file stays as it was
// when anything fails.
void SaveFileAtomically(const QString &fileName, const std::function<void(QIODevice *)> &write) {
  const QString folder = FolderOf(fileName);
  if (!folder.isEmpty() && !QFileInfo(folder).isDir() && !QDir().mkpath(folder))
    throw EInOutError(QStringLiteral("Unable to create directory"));
  TMemoryStream content;
  write(&content);
  QSaveFile file(fileName);
  if (!file.open(QIODevice::WriteOnly) || file.write(content.Bytes()) != content.size() || !file.commit())
    throw EFCreateError(QStringLiteral("Cannot create file \"%1\". %2").arg(fileName, file.errorString()));
}

// ---- TXMLPersistent ----

VELL_IMPLEMENT_CLASS(TXMLPersistent, TPersistent)

namespace {

// The ordinal of an enumeration value carried over by its name; an ordinal
// without a name is carried over as it is.
qint64 EnumOrdinalFor(const TPropInfo &from, const TPropInfo &to, qint64 ordinal) {
  const QString name = from.EnumType->NameOf(ordinal);
  if (name.isEmpty())
    return ordinal;
  const int target = to.EnumType->ValueOf(name);
  if (target < 0)
    throw EPropertyError(QStringLiteral("Invalid property element: %1").arg(name));
  return target;
}

// An object property: a writable one shares the very object; a read-only
// (owned) one makes the destination's own object take a copy.
void CopyObjectProperty(const TObject &source, const TPropInfo &from, TObject &dest, const TPropInfo &to) {
  TObject *value = from.GetObjectValue(source);
  if (from.IsWritable()) {
    if (to.IsWritable())
      to.SetObjectValue(dest, value);
    return;
  }
  if (const auto *persistent = dynamic_cast<const TPersistent *>(value)) {
    auto *target = dynamic_cast<TPersistent *>(to.GetObjectValue(dest));
    VELL_ASSERT(target);
    target->Assign(persistent);
  } else if (const auto *list = dynamic_cast<const TXMLObjectList *>(value)) {
    auto *target = dynamic_cast<TXMLObjectList *>(to.GetObjectValue(dest));
    VELL_ASSERT(target);
    target->Assign(list);
  }
}

void CopyProperty(const TObject &source, const TPropInfo &from, TObject &dest, const TPropInfo &to) {
  if (from.Kind == tkClass) {
    CopyObjectProperty(source, from, dest, to);
    return;
  }
  if (!from.IsWritable() || !to.IsWritable())
    return;
  switch (from.Kind) {
  case tkEnumeration:
    to.SetOrdValue(dest, EnumOrdinalFor(from, to, from.GetOrdValue(source)));
    return;
  case tkSet:
    to.SetSetValue(dest, to.StringToSet(from.SetToString(from.GetSetValue(source))));
    return;
  default:
    to.Write(dest, from.Read(source));
    return;
  }
}

} // namespace

void TXMLPersistent::AssignTo(TPersistent *dest) const {
  VELL_ASSERT(dest);
  if (dest->ClassName() != ClassName() && !dest->InheritsFrom(ClassType()))
    dest->AssignError(this);
  for (const TPropInfo *from : PropList()) {
    const TPropInfo *to = dest->ClassType().FindProperty(from->Name);
    if (to && to->Kind == from->Kind)
      CopyProperty(*this, *from, *dest, *to);
  }
}

void TXMLPersistent::GetIgnoreProps(QStringList &names) const {
  names.clear();
}

void TXMLPersistent::AssignXML(const TXMLPersistent *source) {
  if (!source)
    return;
  TMemoryStream stream;
  source->SaveToStream(&stream);
  stream.seek(0);
  LoadFromStream(&stream);
}

std::unique_ptr<TXMLPersistent> TXMLPersistent::Clone() const {
  RaiseAssertion(ClassName() + QStringLiteral("类没有实现 Clone() 方法"), __FILE__, __LINE__);
}

void TXMLPersistent::LoadFromFile(const QString &fileName) {
  LoadExistingFile(fileName, [this](QIODevice *file) { LoadFromStream(file); });
}

void TXMLPersistent::LoadFromStream(QIODevice *stream) {
  LoadDocument(stream, [this](const IXMLNodePtr &root) { LoadFromXML(root); });
}

void TXMLPersistent::LoadFromXML(const IXMLNodePtr &element) {
  VELL_ASSERT(element);
  QStringList ignore;
  GetIgnoreProps(ignore);
  ReadProperties(*this, element, ignore);
}

void TXMLPersistent::SaveToFile(const QString &fileName) const {
  SaveFileAtomically(fileName, [this](QIODevice *stream) { SaveToStream(stream); });
}

void TXMLPersistent::SaveToStream(QIODevice *stream) const {
  SaveDocument(stream, ClassName(), [this](const IXMLNodePtr &root) { SaveToXML(root); });
}

void TXMLPersistent::SaveToXML(const IXMLNodePtr &element) const {
  VELL_ASSERT(element);
  element->GetChildNodes()->Clear();
  QStringList ignore;
  GetIgnoreProps(ignore);
  WriteProperties(*this, element, ignore);
}

// ---- TXMLObjectList ----

VELL_IMPLEMENT_CLASS(TXMLObjectList, TObjectList)

std::unique_ptr<TObject> TXMLObjectList::DoAddObject() {
  RaiseAssertion(ClassName() + QStringLiteral("类没有实现 DoAddObject() 方法"), __FILE__, __LINE__);
}

void TXMLObjectList::ReadItems(const IXMLNodePtr &element, bool replace) {
  VELL_ASSERT(element);
  ReadProperties(*this, element);
  if (replace)
    Clear();
  const IXMLNodePtr items = element->GetChildNodes()->FindNode(ItemsNodeName);
  if (!items)
    return;
  const IXMLNodeListPtr children = items->GetChildNodes();
  const int count = children->GetCount();
  for (int i = 0; i < count; ++i) {
    std::unique_ptr<TObject> item = DoAddObject();
    VELL_ASSERT(item);
    TObject &added = *item;
    Add(std::move(item));
    ReadObject(added, children->GetNode(i));
  }
}

void TXMLObjectList::AppendFromXML(const IXMLNodePtr &element) {
  ReadItems(element, false);
}

void TXMLObjectList::LoadFromXML(const IXMLNodePtr &element) {
  ReadItems(element, true);
}

void TXMLObjectList::Assign(const TXMLObjectList *source) {
  if (source == this)
    return;
  Clear();
  if (!source || source->Count() == 0 || &source->ClassType() != &ClassType())
    return;
  for (int i = 0; i < source->Count(); ++i) {
    const auto *item = dynamic_cast<const TXMLPersistent *>(source->Items(i));
    VELL_ASSERT(item);
    Add(item->Clone());
  }
}

void TXMLObjectList::LoadFromFile(const QString &fileName) {
  LoadExistingFile(fileName, [this](QIODevice *file) { LoadFromStream(file); });
}

void TXMLObjectList::LoadFromStream(QIODevice *stream) {
  LoadDocument(stream, [this](const IXMLNodePtr &root) { LoadFromXML(root); });
}

void TXMLObjectList::SaveToFile(const QString &fileName) const {
  SaveFileAtomically(fileName, [this](QIODevice *stream) { SaveToStream(stream); });
}

void TXMLObjectList::SaveToStream(QIODevice *stream) const {
  SaveDocument(stream, ClassName(), [this](const IXMLNodePtr &root) { SaveToXML(root); });
}

void TXMLObjectList::SaveToXML(const IXMLNodePtr &element) const {
  VELL_ASSERT(element);
  WriteProperties(*this, element);
  IXMLNodePtr items = element->GetChildNodes()->FindNode(ItemsNodeName);
  if (items)
    items->GetChildNodes()->Clear();
  else
    items = element->AddChild(ItemsNodeName);
  for (int i = 0; i < Count(); ++i) {
    const TObject &item = *Items(i);
    WriteObject(item, items->AddChild(item.ClassName()));
  }
}

// ---- memory-stream property ----

namespace {

int HexDigitValue(QChar c) {
  const char16_t u = c.unicode();
  if (u >= u'0' && u <= u'9')
    return u - u'0';
  if (u >= u'A' && u <= u'F')
    return u - u'A' + 10;
  if (u >= u'a' && u <= u'f')
    return u - u'a' + 10;
  throw EConvertError(QStringLiteral("'%1' is not a valid hexadecimal digit").arg(c));
}

// Two digits per byte, high digit first; a trailing odd digit is ignored.
QByteArray DecodeHex(const QString &text) {
  QByteArray bytes(text.size() / 2, Qt::Uninitialized);
  for (qsizetype i = 0; i < bytes.size(); ++i)
    bytes[i] = static_cast<char>(HexDigitValue(text[2 * i]) * 16 + HexDigitValue(text[2 * i + 1]));
  return bytes;
}

bool IsCompressedPayload(const IXMLNodePtr &element) {
  return element->HasAttribute(CompressAttrName) &&
         element->GetAttributes()->GetAttribute(CompressAttrName)->GetAsBoolean();
}

} // namespace

void WriteStreamToNode(TMemoryStream &stream, const IXMLNodePtr &element, bool compress) {
  if (stream.size() == 0)
    return;
  stream.seek(0);
  const QByteArray payload = compress ? TVellStream::Compress(stream.Bytes()) : stream.Bytes();
  element->SetValue(QString::fromLatin1(payload.toHex().toUpper()));
  element->GetAttributes()->GetAttribute(CompressAttrName)->SetAsBoolean(compress);
}

void ReadStreamFromNode(TMemoryStream &stream, const IXMLNodePtr &element) {
  const QString text = element->GetValue();
  if (text.isEmpty())
    return;
  QByteArray content = DecodeHex(text);
  if (IsCompressedPayload(element))
    content = TVellStream::Decompress(content);
  stream.Clear();
  stream.write(content);
}

VELL_IMPLEMENT_CLASS(TXMLMemoryStream, TXMLPersistent)

TXMLMemoryStream::TXMLMemoryStream(bool compress) : FCompress(compress) {}

void TXMLMemoryStream::Assign(const TPersistent *source) {
  if (source)
    TXMLPersistent::Assign(source);
  else
    FStream->Clear();
}

void TXMLMemoryStream::AssignTo(TPersistent *dest) const {
  VELL_ASSERT(dest);
  auto *target = dynamic_cast<TXMLMemoryStream *>(dest);
  if (!target) {
    TXMLPersistent::AssignTo(dest);
    return;
  }
  FStream->seek(0);
  if (target == this)
    return;
  target->Stream().Clear();
  target->Stream().write(FStream->Bytes());
  target->Stream().seek(0);
}

std::unique_ptr<TXMLPersistent> TXMLMemoryStream::Clone() const {
  auto copy = std::make_unique<TXMLMemoryStream>(FCompress);
  copy->Assign(this);
  return copy;
}

void TXMLMemoryStream::LoadFromXML(const IXMLNodePtr &element) {
  TXMLPersistent::LoadFromXML(element);
  ReadStreamFromNode(*FStream, element);
}

void TXMLMemoryStream::SaveToXML(const IXMLNodePtr &element) const {
  TXMLPersistent::SaveToXML(element);
  WriteStreamToNode(*FStream, element, FCompress);
}
