// Object persistence: objects that save their declared properties as XML
// elements, owning lists of them, and a byte-block property stored as
// hexadecimal text (optionally raw-DEFLATE compressed).
//
// A persistent class declares its state with VELL_IMPLEMENT_CLASS and writes
// no persistence code: the generic WriteProperties/ReadProperties turn every
// visited property into an attribute (or, for an object, a child element).
#pragma once

#include "Common/VellTypInfo.h"
#include "Common/VellUtils.h"
#include "Common/VellXMLUtils.h"

#include <QIODevice>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

// ---- framework bases ----

// An object that can copy itself into another one: dest.Assign(source) asks
// source.AssignTo(dest), which refuses unless a class overrides it.
class TPersistent : public TObject {
  VELL_CLASS(TPersistent, TObject)
public:
  // Copies source into this object; without a source it fails with
  // "Cannot assign a nil to a <class>".
  virtual void Assign(const TPersistent *source);
  // EConvertError "Cannot assign a <source class or nil> to a <this class>".
  [[noreturn]] void AssignError(const TPersistent *source) const;

protected:
  // Copies this object into dest; here it fails with
  // "Cannot assign a <this class> to a <dest class>".
  virtual void AssignTo(TPersistent *dest) const;
};

// An ordered list that owns its objects and frees them when they are deleted,
// when the list is cleared and when it is destroyed.
class TObjectList : public TObject {
  VELL_CLASS(TObjectList, TObject)
public:
  TObjectList() = default;
  TObjectList(const TObjectList &) = delete;
  TObjectList &operator=(const TObjectList &) = delete;

  int Count() const { return static_cast<int>(FItems.size()); }
  // The item at index; EListError "List index out of bounds (%d)" outside 0..Count-1.
  TObject *Items(int index) const;
  // Appends item (the list takes it over) and returns its index.
  int Add(std::unique_ptr<TObject> item);
  // Frees and removes the item at index; the same error as Items outside the range.
  void Delete(int index);
  // Position of that very object, or -1.
  int IndexOf(const TObject *item) const;
  // Frees every item.
  virtual void Clear();

private:
  void CheckIndex(int index) const;

  std::vector<std::unique_ptr<TObject>> FItems;
};

// ---- generic property transfer ----

// Writes the visited properties of object into element: values as attributes
// (an existing attribute keeps its place), objects as child elements. Names
// in ignore (letter case ignored) are skipped.
void WriteProperties(const TObject &object, const IXMLNodePtr &element, const QStringList &ignore = {});
// Sets the writable properties of object from element's attributes and fills
// its objects from the child elements of the same names. Missing attributes
// and children leave their properties alone; an enumeration ordinal outside
// its type leaves its property alone too.
void ReadProperties(TObject &object, const IXMLNodePtr &element, const QStringList &ignore = {});

// ---- files ----

// The folder part of a file path, with its trailing "/"; empty for a bare name.
QString FolderOf(const QString &fileName);
// Creates the missing folders (EInOutError "Unable to create directory" when
// that fails), lets write produce the whole content in memory and only then
// replaces the file atomically: the old file stays as it was when anything
// fails.
void SaveFileAtomically(const QString &fileName, const std::function<void(QIODevice *)> &write);

// ---- persistent objects ----

// Base of everything saved as XML. Saved on its own, an object is the root
// element of a document named after its class.
class TXMLPersistent : public TPersistent {
  VELL_CLASS(TXMLPersistent, TPersistent)
public:
  // Names of declared properties that loading and saving skip; none here.
  virtual void GetIgnoreProps(QStringList &names) const;
  // Copies source through its XML form: properties are matched by name, so
  // source may be of any persistent class. Without a source nothing happens.
  virtual void AssignXML(const TXMLPersistent *source);
  // A new object of the same class with a copy of this one's state. The base
  // fails with "<class>类没有实现 Clone() 方法".
  virtual std::unique_ptr<TXMLPersistent> Clone() const;

  // Loads the file when a file (not a folder) exists at the path; otherwise
  // nothing happens.
  virtual void LoadFromFile(const QString &fileName);
  // Parses the stream from its position to its end, then loads from the root
  // element. The whole document is parsed before any property is set; a
  // document without an element fails with EStreamError.
  virtual void LoadFromStream(QIODevice *stream);
  virtual void LoadFromXML(const IXMLNodePtr &element);
  // Creates the missing folders, produces the whole document in memory and
  // replaces the file atomically: a failed save leaves the old file as it was.
  virtual void SaveToFile(const QString &fileName) const;
  // Writes a document (declaration, formatted) at the stream's position.
  virtual void SaveToStream(QIODevice *stream) const;
  // Removes the element's child elements (its attributes stay), then writes
  // the properties into it.
  virtual void SaveToXML(const IXMLNodePtr &element) const;

protected:
  // Property-by-property copy into dest, which must be of this class or one
  // derived from it.
  void AssignTo(TPersistent *dest) const override;
};

// Clone() for a class whose default object takes a full copy with Assign.
template <typename T> std::unique_ptr<TXMLPersistent> CloneByAssign(const T &source) {
  auto copy = std::make_unique<T>();
  copy->Assign(&source);
  return copy;
}

// ---- persistent object lists ----

// An owning list of persistent objects saved as one element with an "Items"
// child holding one element per item. A concrete list says how to make an
// empty item (DoAddObject); loading, saving and copying are generic.
class TXMLObjectList : public TObjectList {
  VELL_CLASS(TXMLObjectList, TObjectList)
public:
  // A new empty item of the list's item class. The base fails with
  // "<class>类没有实现 DoAddObject() 方法".
  virtual std::unique_ptr<TObject> DoAddObject();
  // Reads the items of element and appends them to the present ones.
  virtual void AppendFromXML(const IXMLNodePtr &element);
  // Replaces the items by clones of source's items when source is a
  // non-empty list of exactly this class; otherwise the list ends empty.
  virtual void Assign(const TXMLObjectList *source);
  virtual void LoadFromFile(const QString &fileName);
  // Empties the list, then reads the items of element.
  virtual void LoadFromXML(const IXMLNodePtr &element);
  // Atomic replacement, as for a persistent object.
  virtual void SaveToFile(const QString &fileName) const;
  virtual void SaveToStream(QIODevice *stream) const;
  // Replaces the children of element's "Items" child (created when missing);
  // other child elements stay.
  virtual void SaveToXML(const IXMLNodePtr &element) const;
  // Parses the whole stream, then loads from the root element; a document
  // without an element fails with EStreamError and leaves the list alone.
  void LoadFromStream(QIODevice *stream);

private:
  void ReadItems(const IXMLNodePtr &element, bool replace);
};

// ---- memory-stream property ----

// Every byte as two upper-case hexadecimal digits in element's text, raw
// DEFLATE first when compress is set, with the attribute "Compress". An empty
// stream writes nothing. The stream's position is moved.
void WriteStreamToNode(TMemoryStream &stream, const IXMLNodePtr &element, bool compress);
// Replaces the stream's content by the payload of element (decompressed when
// its "Compress" is "True"). An element without text leaves the stream alone,
// and so does a payload that is not hexadecimal (EConvertError) or not DEFLATE
// (EDecompressionError).
void ReadStreamFromNode(TMemoryStream &stream, const IXMLNodePtr &element);

// A block of bytes held in memory that travels inside XML documents.
class TXMLMemoryStream : public TXMLPersistent {
  VELL_CLASS(TXMLMemoryStream, TXMLPersistent)
public:
  explicit TXMLMemoryStream(bool compress);

  bool Compress() const { return FCompress; }
  TMemoryStream &Stream() const { return *FStream; }

  // With a source, copies it in; without one, empties the stream.
  void Assign(const TPersistent *source) override;
  std::unique_ptr<TXMLPersistent> Clone() const override;
  void LoadFromXML(const IXMLNodePtr &element) override;
  void SaveToXML(const IXMLNodePtr &element) const override;

protected:
  // Into another memory stream: its stream receives a copy of the bytes (its
  // Compress flag stays); otherwise as for any persistent object.
  void AssignTo(TPersistent *dest) const override;

private:
  bool FCompress;
  std::unique_ptr<TMemoryStream> FStream = std::make_unique<TMemoryStream>();
};
