// Run-time type information: metaclasses, enumeration value names and the
// declared property lists that persistence, object copying and the language
// manager walk generically.
//
// A reflectable class derives from TObject, names itself with VELL_CLASS in
// its body and lists its own properties, one line each, with
// VELL_IMPLEMENT_CLASS in its source file:
//
//   class TBatchItem : public TXMLPersistent {
//     VELL_CLASS(TBatchItem, TXMLPersistent)
//   public:
//     QString FileName;
//     int Width = 0;
//   };
//
//   VELL_IMPLEMENT_CLASS(TBatchItem, TXMLPersistent,
//                        TProp::Field("FileName", &TBatchItem::FileName),
//                        TProp::Field("Width", &TBatchItem::Width))
#pragma once

#include "Common/VellErrors.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVector>

#include <functional>
#include <memory>
#include <mutex>
#include <type_traits>
#include <variant>

// Kinds of declared properties.
enum TTypeKind : quint8 {
  tkUnknown,
  tkInteger,     // signed or unsigned, 8 to 32 bits
  tkChar,        // 8-bit character
  tkEnumeration, // Boolean included
  tkFloat,       // single, double and date-time
  tkString,      // short 8-bit string
  tkSet,         // set of an enumeration
  tkClass,       // object reference
  tkMethod,      // event: never visited
  tkWChar,       // UTF-16 character
  tkLString,     // long 8-bit string
  tkWString,     // UTF-16 string
  tkVariant,
  tkArray,
  tkRecord,
  tkInterface,
  tkInt64,
  tkDynArray,
};

// Days since 30 December 1899, time of day as the fraction.
using TDateTime = double;

// An enumeration type: its name and value names in ordinal order.
struct TEnumInfo {
  QString Name;
  QStringList ValueNames;

  int MaxValue() const { return static_cast<int>(ValueNames.size()) - 1; }
  bool IsValid(qint64 ordinal) const { return ordinal >= 0 && ordinal <= MaxValue(); }
  // The name of an ordinal; empty when out of range.
  QString NameOf(qint64 ordinal) const;
  // The ordinal of a name, letter case ignored; -1 when the type lacks it.
  int ValueOf(const QString &name) const;
};

// The enumeration description of E; specialised by VELL_ENUM_INFO.
template <typename E> const TEnumInfo &EnumInfoOf();

#define VELL_ENUM_INFO(E, ...)                                                                               \
  template <> inline const TEnumInfo &EnumInfoOf<E>() {                                                      \
    static const TEnumInfo info{QStringLiteral(#E), QStringList{__VA_ARGS__}};                               \
    return info;                                                                                             \
  }

VELL_ENUM_INFO(bool, QStringLiteral("False"), QStringLiteral("True"))

// A set of an enumeration with up to 64 members, one bit per ordinal.
template <typename E> class TSetOf {
public:
  constexpr TSetOf() = default;
  constexpr explicit TSetOf(quint64 bits) : FBits(bits) {}
  constexpr TSetOf(std::initializer_list<E> members) {
    for (E member : members)
      Include(member);
  }
  constexpr bool Contains(E member) const { return FBits & Bit(member); }
  constexpr void Include(E member) { FBits |= Bit(member); }
  constexpr void Exclude(E member) { FBits &= ~Bit(member); }
  constexpr quint64 Bits() const { return FBits; }
  constexpr bool operator==(const TSetOf &) const = default;

private:
  static constexpr quint64 Bit(E member) { return quint64(1) << static_cast<unsigned>(member); }
  quint64 FBits = 0;
};

class TObject;
class TMetaClass;

// A property value as the accessors hand it over: ordinals and 64-bit
// integers as qint64, floats as double, 8-bit text as QByteArray, wide text as
// QString, sets as their member bits, object references, variants.
using TPropValue =
    std::variant<std::monostate, qint64, double, QByteArray, QString, quint64, TObject *, QVariant>;

// One declared property.
struct TPropInfo {
  QString Name;
  TTypeKind Kind = tkUnknown;
  const TEnumInfo *EnumType = nullptr;     // enumeration and Boolean; a set's members
  const TMetaClass *ObjectClass = nullptr; // declared class of an object reference
  std::function<TPropValue(const TObject &)> Read;
  std::function<void(TObject &, const TPropValue &)> Write; // empty: read-only

  bool IsWritable() const { return static_cast<bool>(Write); }
  bool IsOrdinal() const { return Kind == tkInteger || Kind == tkChar || Kind == tkEnumeration; }

  // Typed access by kind. A call that does not fit the kind, or a write to a
  // read-only property, is a programming error (assertion).
  qint64 GetOrdValue(const TObject &object) const; // integer, character, enumeration
  void SetOrdValue(TObject &object, qint64 value) const;
  qint64 GetInt64Value(const TObject &object) const;
  void SetInt64Value(TObject &object, qint64 value) const;
  double GetFloatValue(const TObject &object) const;
  void SetFloatValue(TObject &object, double value) const;
  QByteArray GetStrValue(const TObject &object) const; // short and long 8-bit strings
  void SetStrValue(TObject &object, const QByteArray &value) const;
  QString GetWideStrValue(const TObject &object) const;
  void SetWideStrValue(TObject &object, const QString &value) const;
  quint64 GetSetValue(const TObject &object) const;
  void SetSetValue(TObject &object, quint64 members) const;
  TObject *GetObjectValue(const TObject &object) const;
  void SetObjectValue(TObject &object, TObject *value) const;
  QVariant GetVariantValue(const TObject &object) const;
  void SetVariantValue(TObject &object, const QVariant &value) const;

  // A set as its member names in ordinal order, comma-separated, no blanks.
  QString SetToString(quint64 members) const;
  // Member names separated by commas or blanks, optionally in brackets;
  // EPropertyError "Invalid property element: %s" for an unknown name.
  quint64 StringToSet(const QString &text) const;

private:
  TPropValue ReadChecked(const TObject &object, bool fits) const;
  void WriteChecked(TObject &object, bool fits, TPropValue value) const;
};

// A class's properties in visiting order.
using TPropList = QVector<const TPropInfo *>;

// Visiting order of property names: ASCII letters folded to upper case,
// compared code by code; a prefix comes before the longer name.
int ComparePropNames(const QString &a, const QString &b);

// A class as a value: name, base, factory and its declared properties.
class TMetaClass {
public:
  using Factory = TObject *(*)();
  using Declaration = QVector<TPropInfo> (*)();

  TMetaClass(const char *name, const TMetaClass *parent, Factory factory, Declaration own);

  const QString &ClassName() const { return FName; }
  const TMetaClass *ClassParent() const { return FParent; }
  // True for this class and every class derived from it.
  bool InheritsFrom(const TMetaClass *ancestor) const;
  // A new default-constructed instance owned by the caller; null for classes
  // that cannot be made without arguments.
  TObject *Create() const { return FFactory ? FFactory() : nullptr; }

  // Every declared property, base classes' included, in visiting order,
  // events left out. A property declared again in a derived class hides the
  // base's entry of the same name.
  const TPropList &Properties() const;
  // Events only (never visited; kept for completeness of the description).
  const TPropList &Events() const;
  // The visited property of exactly this name, or null.
  const TPropInfo *FindProperty(const QString &name) const;

private:
  void Build() const;

  QString FName;
  const TMetaClass *FParent;
  Factory FFactory;
  Declaration FDeclare;
  mutable std::once_flag FBuilt;
  mutable QVector<TPropInfo> FOwn;
  mutable TPropList FVisited;
  mutable TPropList FEvents;
};

// Root of every reflectable class.
class TObject {
public:
  static const TMetaClass &StaticClass();
  virtual const TMetaClass &ClassType() const { return StaticClass(); }
  virtual ~TObject() = default;

  QString ClassName() const { return ClassType().ClassName(); }
  bool InheritsFrom(const TMetaClass &ancestor) const { return ClassType().InheritsFrom(&ancestor); }
  // The declared property list of this object's class, in visiting order.
  const TPropList &PropList() const { return ClassType().Properties(); }
};

#define VELL_CLASS(Class, Parent)                                                                            \
public:                                                                                                      \
  static const TMetaClass &StaticClass();                                                                    \
  const TMetaClass &ClassType() const override {                                                             \
    return StaticClass();                                                                                    \
  }                                                                                                          \
                                                                                                             \
private:

namespace VellTypInfoDetail {
template <typename C> TObject *MakeInstance() {
  if constexpr (std::is_default_constructible_v<C> && !std::is_abstract_v<C>)
    return new C();
  else
    return nullptr;
}
template <typename C> constexpr TMetaClass::Factory FactoryOf() {
  if constexpr (std::is_default_constructible_v<C> && !std::is_abstract_v<C>)
    return &MakeInstance<C>;
  else
    return nullptr;
}
} // namespace VellTypInfoDetail

// Defines Class::StaticClass with the listed own properties (TProp builders).
#define VELL_IMPLEMENT_CLASS(Class, Parent, ...)                                                             \
  const TMetaClass &Class::StaticClass() {                                                                   \
    static const TMetaClass meta(#Class, &Parent::StaticClass(), VellTypInfoDetail::FactoryOf<Class>(),      \
                                 []() { return QVector<TPropInfo>{__VA_ARGS__}; });                          \
    return meta;                                                                                             \
  }

// ---- property descriptions from C++ types ----

namespace VellTypInfoDetail {

template <typename T> struct IsSetOf : std::false_type {};
template <typename E> struct IsSetOf<TSetOf<E>> : std::true_type { using Enum = E; };
template <typename T> struct IsFunction : std::false_type {};
template <typename F> struct IsFunction<std::function<F>> : std::true_type {};
template <typename T> struct IsUniquePtr : std::false_type {};
template <typename T> struct IsUniquePtr<std::unique_ptr<T>> : std::true_type { using Element = T; };

// Kind, type details and conversions of a C++ value type.
template <typename T> struct Traits {
  static constexpr TTypeKind Kind = [] {
    if constexpr (std::is_same_v<T, bool> || std::is_enum_v<T>)
      return tkEnumeration;
    else if constexpr (std::is_same_v<T, char>)
      return tkChar;
    else if constexpr (std::is_same_v<T, QChar>)
      return tkWChar;
    else if constexpr (std::is_integral_v<T> && sizeof(T) <= 4)
      return tkInteger;
    else if constexpr (std::is_integral_v<T>)
      return tkInt64;
    else if constexpr (std::is_floating_point_v<T>)
      return tkFloat;
    else if constexpr (std::is_same_v<T, QString>)
      return tkWString;
    else if constexpr (std::is_same_v<T, QByteArray>)
      return tkLString;
    else if constexpr (std::is_same_v<T, QVariant>)
      return tkVariant;
    else if constexpr (IsSetOf<T>::value)
      return tkSet;
    else if constexpr (std::is_pointer_v<T> || IsUniquePtr<T>::value)
      return tkClass;
    else if constexpr (IsFunction<T>::value)
      return tkMethod;
    else
      return tkUnknown;
  }();
  static_assert(Kind != tkUnknown, "no property kind for this type");

  static const TEnumInfo *EnumType() {
    if constexpr (std::is_same_v<T, bool> || std::is_enum_v<T>)
      return &EnumInfoOf<T>();
    else if constexpr (IsSetOf<T>::value)
      return &EnumInfoOf<typename IsSetOf<T>::Enum>();
    else
      return nullptr;
  }
  static const TMetaClass *ObjectClass() {
    if constexpr (std::is_pointer_v<T>)
      return &std::remove_pointer_t<T>::StaticClass();
    else if constexpr (IsUniquePtr<T>::value)
      return &IsUniquePtr<T>::Element::StaticClass();
    else
      return nullptr;
  }

  static TPropValue ToValue(const T &value) {
    if constexpr (Kind == tkEnumeration || Kind == tkChar || Kind == tkInteger || Kind == tkInt64)
      return static_cast<qint64>(value);
    else if constexpr (Kind == tkWChar)
      return static_cast<qint64>(value.unicode());
    else if constexpr (Kind == tkFloat)
      return static_cast<double>(value);
    else if constexpr (Kind == tkSet)
      return value.Bits();
    else if constexpr (std::is_pointer_v<T>)
      return static_cast<TObject *>(value);
    else if constexpr (IsUniquePtr<T>::value)
      return static_cast<TObject *>(value.get());
    else if constexpr (Kind == tkMethod)
      return std::monostate{};
    else
      return value; // QString, QByteArray, QVariant
  }

  static T FromValue(const TPropValue &value) {
    if constexpr (std::is_same_v<T, bool>)
      return std::get<qint64>(value) != 0;
    else if constexpr (Kind == tkEnumeration || Kind == tkChar || Kind == tkInteger || Kind == tkInt64)
      return static_cast<T>(std::get<qint64>(value));
    else if constexpr (Kind == tkWChar)
      return QChar(static_cast<char16_t>(std::get<qint64>(value)));
    else if constexpr (Kind == tkFloat)
      return static_cast<T>(std::get<double>(value));
    else if constexpr (Kind == tkSet)
      return T(std::get<quint64>(value));
    else if constexpr (std::is_pointer_v<T>)
      return dynamic_cast<T>(std::get<TObject *>(value));
    else
      return std::get<T>(value);
  }
};

template <typename T> TPropInfo Describe(const char *name) {
  TPropInfo info;
  info.Name = QString::fromLatin1(name);
  info.Kind = Traits<T>::Kind;
  info.EnumType = Traits<T>::EnumType();
  info.ObjectClass = Traits<T>::ObjectClass();
  return info;
}

} // namespace VellTypInfoDetail

// Builders for the entries of VELL_IMPLEMENT_CLASS.
namespace TProp {

// A data member read and written directly. Owned objects (unique_ptr) and
// events are read-only: the reader fills an owned object, never replaces it.
template <typename C, typename T> TPropInfo Field(const char *name, T C::*member) {
  using Tr = VellTypInfoDetail::Traits<T>;
  TPropInfo info = VellTypInfoDetail::Describe<T>(name);
  info.Read = [member](const TObject &o) { return Tr::ToValue(static_cast<const C &>(o).*member); };
  if constexpr (!VellTypInfoDetail::IsUniquePtr<T>::value && Tr::Kind != tkMethod)
    info.Write = [member](TObject &o, const TPropValue &v) {
      static_cast<C &>(o).*member = Tr::FromValue(v);
    };
  return info;
}

// A data member that is only read.
template <typename C, typename T> TPropInfo ReadOnlyField(const char *name, T C::*member) {
  TPropInfo info = Field(name, member);
  info.Write = nullptr;
  return info;
}

// A property behind a getter and an optional setter.
template <typename C, typename G, typename S>
TPropInfo Accessor(const char *name, G (C::*getter)() const, void (C::*setter)(S)) {
  using T = std::decay_t<G>;
  using Tr = VellTypInfoDetail::Traits<T>;
  TPropInfo info = VellTypInfoDetail::Describe<T>(name);
  info.Read = [getter](const TObject &o) { return Tr::ToValue((static_cast<const C &>(o).*getter)()); };
  if (setter)
    info.Write = [setter](TObject &o, const TPropValue &v) {
      (static_cast<C &>(o).*setter)(Tr::FromValue(v));
    };
  return info;
}

template <typename C, typename G> TPropInfo Getter(const char *name, G (C::*getter)() const) {
  return Accessor(name, getter, static_cast<void (C::*)(std::decay_t<G>)>(nullptr));
}

// An event property: described, never visited.
inline TPropInfo Event(const char *name) {
  TPropInfo info;
  info.Name = QString::fromLatin1(name);
  info.Kind = tkMethod;
  info.Read = [](const TObject &) { return TPropValue{}; };
  return info;
}

// A property of a kind that has no C++ type here (short string, array,
// record, interface, dynamic array), described with explicit accessors.
TPropInfo Custom(const char *name, TTypeKind kind, std::function<TPropValue(const TObject &)> read,
                 std::function<void(TObject &, const TPropValue &)> write = nullptr);

} // namespace TProp
