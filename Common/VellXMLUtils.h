// XML document library: a reference-counted element tree behind five
// interfaces, a lenient hand-written reader, a line-oriented writer and the
// text forms of typed values.
//
// Every element text and attribute value is kept in its stored form: the text
// exactly as it stands between the tags or quotes, entity references not
// resolved. GetValue/SetValue read and write that form; GetAsString/SetAsString
// and the other typed accessors convert between it and a plain value.
//
// Objects are handed out as TXMLPtr<I> (IXMLNodePtr, ...). An object lives
// while a reference to it exists. Parent and owner links are weak: a node
// whose parent has been freed reports no parent.
//
// A node sits in at most one child list: adding it to another list moves it,
// taking it out of the list that held it. A node is never put below itself.
#pragma once

#include "Common/VellErrors.h"

#include <QByteArray>
#include <QIODevice>
#include <QString>
#include <QUuid>
#include <QVariant>

#include <atomic>
#include <cstddef>
#include <type_traits>
#include <utility>

// The library's error; every message is raised through RaiseXMLError.
VELL_DECLARE_ERROR(EXMLException, EVellError)

// ---------------------------------------------------------------------------
// Reference counting and interface lookup

// Common ancestor of the five interfaces: reference counting and lookup by
// interface identifier (the interface pointer, or null when not supported).
class IXMLUnknown {
public:
  static constexpr QUuid IID{0x00000000, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};

  virtual void AddRef() const noexcept = 0;
  virtual void Release() const noexcept = 0;
  virtual void *QueryInterface(const QUuid &iid) noexcept = 0;

protected:
  ~IXMLUnknown() = default;
};

// An owning reference to an interface object: AddRef on copy, Release on drop.
template <typename T> class TXMLPtr {
public:
  TXMLPtr() noexcept = default;
  TXMLPtr(std::nullptr_t) noexcept {}
  // Takes a new reference to p (which may be null).
  explicit TXMLPtr(T *p) noexcept : FPtr(p) {
    if (FPtr)
      FPtr->AddRef();
  }
  TXMLPtr(const TXMLPtr &other) noexcept : TXMLPtr(other.FPtr) {}
  TXMLPtr(TXMLPtr &&other) noexcept : FPtr(std::exchange(other.FPtr, nullptr)) {}
  // Takes over a reference the caller already holds on p.
  static TXMLPtr Adopt(T *p) noexcept {
    TXMLPtr result;
    result.FPtr = p;
    return result;
  }
  template <typename U>
  requires std::is_convertible_v<U *, T *> TXMLPtr(const TXMLPtr<U> &other)
  noexcept : TXMLPtr(static_cast<T *>(other.get())) {}
  ~TXMLPtr() { reset(); }

  TXMLPtr &operator=(TXMLPtr other) noexcept {
    std::swap(FPtr, other.FPtr);
    return *this;
  }
  void reset() noexcept {
    if (T *p = std::exchange(FPtr, nullptr))
      p->Release();
  }

  T *get() const noexcept { return FPtr; }
  T *operator->() const noexcept { return FPtr; }
  T &operator*() const noexcept { return *FPtr; }
  explicit operator bool() const noexcept { return FPtr != nullptr; }

  // The same object asked for interface I by its identifier; null when the
  // object does not support it (or this reference is null).
  template <typename I> TXMLPtr<I> Query() const noexcept {
    return FPtr ? TXMLPtr<I>(static_cast<I *>(FPtr->QueryInterface(I::IID))) : TXMLPtr<I>();
  }

  friend bool operator==(const TXMLPtr &a, const TXMLPtr &b) noexcept { return a.FPtr == b.FPtr; }
  friend bool operator==(const TXMLPtr &a, std::nullptr_t) noexcept { return a.FPtr == nullptr; }

private:
  T *FPtr = nullptr;
};

class TXMLWeakBlock;

// Base of every class behind the interfaces: an atomic reference count, the
// lookup of IXMLUnknown, and the anchor that weak links use.
class TXMLIntfObject : public virtual IXMLUnknown {
public:
  TXMLIntfObject() = default;
  TXMLIntfObject(const TXMLIntfObject &) = delete;
  TXMLIntfObject &operator=(const TXMLIntfObject &) = delete;

  void AddRef() const noexcept override;
  void Release() const noexcept override;
  void *QueryInterface(const QUuid &iid) noexcept override;
  int RefCount() const noexcept { return FRefCount.load(std::memory_order_relaxed); }

  // The weak anchor of this object, created on first use.
  TXMLWeakBlock *WeakBlock() const;

protected:
  virtual ~TXMLIntfObject();

private:
  friend class TXMLWeakBlock;
  // Frees obj, and the objects its destruction releases, one after the other
  // rather than nested, so freeing a deep tree needs no deep stack.
  static void Destroy(const TXMLIntfObject *obj) noexcept;

  mutable std::atomic<int> FRefCount{0};
  mutable std::atomic<TXMLWeakBlock *> FWeak{nullptr};
};

class IXMLNodeAttribute;
class IXMLNodeAttributes;
class IXMLNode;
class IXMLNodeList;
class IXMLDocument;
using IXMLNodeAttributePtr = TXMLPtr<IXMLNodeAttribute>;
using IXMLNodeAttributesPtr = TXMLPtr<IXMLNodeAttributes>;
using IXMLNodePtr = TXMLPtr<IXMLNode>;
using IXMLNodeListPtr = TXMLPtr<IXMLNodeList>;
using IXMLDocumentPtr = TXMLPtr<IXMLDocument>;

// ---------------------------------------------------------------------------
// The five interfaces

// The stored value of an attribute or element and the typed accessors over it.
class IXMLValue : public virtual IXMLUnknown {
public:
  // True exactly for "True".
  virtual bool GetAsBoolean() const = 0;
  virtual double GetAsFloat() const = 0;
  virtual int GetAsInteger() const = 0;
  // The plain text: entity references resolved.
  virtual QString GetAsString() const = 0;
  // The Base64 bytes of the value as a byte-array variant; false when they do not decode.
  virtual bool GetAsVariant(QVariant &value) const = 0;
  // The stored form.
  virtual QString GetValue() const = 0;
  virtual void SetAsBoolean(bool value) = 0;
  virtual void SetAsFloat(double value) = 0;
  virtual void SetAsInteger(int value) = 0;
  // Stores the plain text with its special characters as entity references.
  virtual void SetAsString(const QString &value) = 0;
  virtual void SetAsVariant(const QVariant &value) = 0;
  // Stores the text unchanged.
  virtual void SetValue(const QString &value) = 0;

protected:
  ~IXMLValue() = default;
};

// One attribute: name and stored value.
class IXMLNodeAttribute : public IXMLValue {
public:
  static constexpr QUuid IID{0x44C6FEE6, 0x94AE, 0x4572, 0x89, 0xE4, 0x75, 0x3D, 0xDB, 0xBE, 0x1D, 0xF5};

  virtual quint32 GetNameHash() const = 0;
  virtual QString GetName() const = 0;
  // name="value", the value as stored.
  virtual QString GetXML() const = 0;
  // Stores the name without characters up to U+0020 at either end.
  virtual void SetName(const QString &name) = 0;
  // Parses name=value; the value may be quoted or not.
  virtual void SetXML(const QString &text) = 0;

protected:
  ~IXMLNodeAttribute() = default;
};

// The ordered attributes of one element.
class IXMLNodeAttributes : public virtual IXMLUnknown {
public:
  static constexpr QUuid IID{0xBAC8BC8D, 0x2D93, 0x4925, 0x8B, 0xAA, 0xCA, 0x2B, 0x27, 0x46, 0x90, 0x35};

  // The attribute named name; created with an empty value and appended when absent.
  virtual IXMLNodeAttributePtr Add(const QString &name) = 0;
  // Position of the attribute named exactly name, -1 if none.
  virtual int IndexOf(const QString &name) const = 0;
  virtual void Clear() = 0;
  // EXMLException "访问索引越界" outside 0..Count-1.
  virtual void Delete(int index) = 0;
  virtual int GetCount() const = 0;
  // EXMLException "访问索引越界" outside 0..Count-1.
  virtual IXMLNodeAttributePtr GetItem(int index) const = 0;
  // Same as Add.
  virtual IXMLNodeAttributePtr GetAttribute(const QString &name) = 0;
  // The attributes as name="value" separated by one blank.
  virtual QString GetXML() const = 0;
  // Replaces the collection from name="value" pairs.
  virtual void SetXML(const QString &text) = 0;

protected:
  ~IXMLNodeAttributes() = default;
};

// One element.
class IXMLNode : public IXMLValue {
public:
  static constexpr QUuid IID{0xC58452AD, 0x9A73, 0x4F93, 0xB2, 0x50, 0x88, 0xA9, 0x39, 0x1A, 0x3E, 0xF2};

  // A new child named name, appended to the child list.
  virtual IXMLNodePtr AddChild(const QString &name) = 0;
  // A free copy of name, value and attributes; with deep also of all descendants.
  virtual IXMLNodePtr CloneNode(bool deep) const = 0;
  virtual bool HasAttribute(const QString &name) const = 0;
  virtual IXMLNodeAttributesPtr GetAttributes() const = 0;
  virtual IXMLNodeListPtr GetChildNodes() const = 0;
  virtual bool HasChildNodes() const = 0;
  // Number of ancestors.
  virtual int GetLevel() const = 0;
  virtual QString GetNodeName() const = 0;
  // The parent, or null for a root, a free node or a node whose parent is gone.
  virtual IXMLNodePtr GetParentNode() const = 0;
  // The start tag: <name> or <name attributes>.
  virtual QString GetXML() const = 0;
  virtual void SetNodeName(const QString &name) = 0;
  // Replaces the weak parent link only; no child list changes.
  virtual void SetParentNode(const IXMLNodePtr &parent) = 0;
  // Parses a start tag into name and attributes.
  virtual void SetXML(const QString &text) = 0;

protected:
  ~IXMLNode() = default;
};

// The ordered child elements of one element.
class IXMLNodeList : public virtual IXMLUnknown {
public:
  static constexpr QUuid IID{0x88151516, 0x470C, 0x4AD7, 0xA3, 0xCE, 0x87, 0x65, 0xF7, 0x1B, 0x6A, 0xA0};

  // Appends node (moving it out of any list that held it) and returns its
  // index; -1 for a null node.
  virtual int Add(const IXMLNodePtr &node) = 0;
  // Deletes the first child named name; returns its former index or -1.
  virtual int DeleteByName(const QString &name) = 0;
  // EXMLException "访问索引越界" outside 0..Count-1.
  virtual void Delete(int index) = 0;
  // The first child named name, or null.
  virtual IXMLNodePtr FindNode(const QString &name) const = 0;
  virtual int IndexOf(const IXMLNodePtr &node) const = 0;
  virtual int IndexOfName(const QString &name) const = 0;
  // Deletes node; returns its former index or -1.
  virtual int Remove(const IXMLNodePtr &node) = 0;
  virtual void Clear() = 0;
  // Inserts at index 0..Count (moving node out of any list that held it);
  // EListError "List index out of bounds (%d)" otherwise. A null node does nothing.
  virtual void Insert(int index, const IXMLNodePtr &node) = 0;
  virtual int GetCount() const = 0;
  // EXMLException "访问索引越界" outside 0..Count-1.
  virtual IXMLNodePtr GetNode(int index) const = 0;
  // Same as FindNode.
  virtual IXMLNodePtr GetNamedNode(const QString &name) const = 0;

protected:
  ~IXMLNodeList() = default;
};

// The document: one root element and the settings of its text form.
class IXMLDocument : public virtual IXMLUnknown {
public:
  static constexpr QUuid IID{0xDAB2C299, 0xC3F4, 0x41FF, 0xBB, 0x9E, 0x55, 0x4D, 0x0C, 0x9C, 0x9E, 0x72};

  // EXMLException "XML 文档只能有一个顶层节点" when a root exists.
  virtual IXMLNodePtr CreateRootNode(const QString &name) = 0;
  // A free node; not attached anywhere.
  virtual IXMLNodePtr CreateNode(const QString &name) = 0;
  virtual bool GetFormatted() const = 0;
  // The text SaveToStream encodes.
  virtual QString GetXML() const = 0;
  virtual IXMLNodePtr GetRootNode() const = 0;
  virtual QString GetEncoding() const = 0;
  virtual QString GetFileName() const = 0;
  virtual bool GetWriteDeclaration() const = 0;
  virtual QString GetVersion() const = 0;
  // As GetXML, with the text of childless elements in plain form.
  virtual QString GetDisplayText() const = 0;
  virtual bool IsEmpty() const = 0;
  // EFOpenError when the file cannot be opened; sets FileName after loading.
  virtual void LoadFromFile(const QString &fileName) = 0;
  // Reads from the stream's position to its end.
  virtual void LoadFromStream(QIODevice *stream) = 0;
  // EFCreateError when the file cannot be created.
  virtual void SaveToFile(const QString &fileName) const = 0;
  // Writes at the stream's position.
  virtual void SaveToStream(QIODevice *stream) const = 0;
  virtual void SetFormatted(bool value) = 0;
  virtual void SetEncoding(const QString &value) = 0;
  virtual void SetFileName(const QString &value) = 0;
  virtual void SetWriteDeclaration(bool value) = 0;
  virtual void SetVersion(const QString &value) = 0;
  // Parses a whole document text.
  virtual void SetXML(const QString &text) = 0;

protected:
  ~IXMLDocument() = default;
};

// ---------------------------------------------------------------------------
// Library functions

// An empty document (version "1.0", encoding "utf-8") with the given switches.
IXMLDocumentPtr NewXMLDocument(bool writeDeclaration = true, bool formatted = true);
// A new document loaded from the stream's position to its end.
IXMLDocumentPtr LoadXMLDocument(QIODevice *stream);
[[noreturn]] void RaiseXMLError(const QString &message);

// ---------------------------------------------------------------------------
// Value and stream conversions. None raises for malformed text.

// Code-unit difference at the first mismatch, else the length difference.
int CompareOrdinal(const QString &a, const QString &b);
bool SameOrdinal(const QString &a, const QString &b);

// & < > " ' CR LF become &amp; &lt; &gt; &quot; &apos; &13; &10;.
QString XMLEncode(const QString &text);
// The reverse, every reference decoded once; other references stay.
QString XMLDecode(const QString &text);

QString BoolToXMLText(bool value);
// True exactly for "True".
bool XMLTextToBool(const QString &text);
QString IntToXMLText(int value);
// Decimal or hexadecimal ($, x, 0x) digits; stops at the first non-digit.
int XMLTextToInt(const QString &text);
// 15 significant digits, "." as decimal point, scientific outside 1E-4..1E15.
QString FloatToXMLText(double value);
// "." as decimal point; 0 for text that is not a number.
double XMLTextToFloat(const QString &text);

// Base64 with padding, no line breaks, from source's position to its end.
void Base64EncodeStream(QIODevice *source, QIODevice *destination);
// Skips foreign bytes; false when one character of a final group is left over.
bool Base64DecodeStream(QIODevice *source, QIODevice *destination);
QString StreamToBase64(QIODevice *stream);
bool Base64ToStream(const QString &text, QIODevice *stream);
// A byte-array variant (QVariant holding a QByteArray) as Base64; an invalid variant gives "".
QString VariantToXMLText(const QVariant &value);
// value := the decoded bytes, or an invalid variant for no bytes or on failure.
bool XMLTextToVariant(const QString &text, QVariant &value);
