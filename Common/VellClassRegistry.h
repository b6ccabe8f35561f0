// An ordered list of class references in which each class stands once, at
// the position of its first registration. The program's registries (picture
// formats, picture attributes, line caps, dash styles) each derive from it:
//
//   class TLineCapClassMgr : public TClassRegistry<TLineCapClassMgr> {};
//   TLineCapClassMgr &LineCapClasses() { return TLineCapClassMgr::Instance(); }
//
// Each derived registry has one process-wide instance, created on first use
// and freed at shut-down by Free(). Registries are filled during start-up on
// one thread and only read afterwards.
#pragma once

#include "Common/VellErrors.h"
#include "Common/VellTypInfo.h"

#include <QVector>

#include <memory>

template <typename Derived> class TClassRegistry {
public:
  // Appends the class unless the registry holds it already.
  void Register(const TMetaClass &metaClass) {
    if (!Contains(metaClass))
      FClasses.append(&metaClass);
  }
  int Count() const { return static_cast<int>(FClasses.size()); }
  const TMetaClass &Items(int index) const {
    VELL_ASSERT(index >= 0 && index < Count());
    return *FClasses[index];
  }
  // The position of the class, or -1.
  int IndexOf(const TMetaClass &metaClass) const { return static_cast<int>(FClasses.indexOf(&metaClass)); }
  bool Contains(const TMetaClass &metaClass) const { return IndexOf(metaClass) >= 0; }
  // The class of that name (letter case ignored), or null.
  const TMetaClass *FindByName(const QString &className) const {
    for (const TMetaClass *metaClass : FClasses)
      if (metaClass->ClassName().compare(className, Qt::CaseInsensitive) == 0)
        return metaClass;
    return nullptr;
  }
  const QVector<const TMetaClass *> &Classes() const { return FClasses; }

  // The process-wide instance, created when first asked for.
  static Derived &Instance() {
    if (!Holder())
      Holder() = std::make_unique<Derived>();
    return *Holder();
  }
  static bool Exists() { return static_cast<bool>(Holder()); }
  // Frees the process-wide instance (class references only).
  static void Free() { Holder().reset(); }

private:
  static std::unique_ptr<Derived> &Holder() {
    static std::unique_ptr<Derived> instance;
    return instance;
  }
  QVector<const TMetaClass *> FClasses;
};
