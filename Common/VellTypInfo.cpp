#include "Common/VellTypInfo.h"

#include <QRegularExpression>

#include <algorithm>

// ---- TEnumInfo ----

QString TEnumInfo::NameOf(qint64 ordinal) const {
  return IsValid(ordinal) ? ValueNames[static_cast<qsizetype>(ordinal)] : QString();
}

int TEnumInfo::ValueOf(const QString &name) const {
  for (int i = 0; i < ValueNames.size(); ++i)
    if (QString::compare(ValueNames[i], name, Qt::CaseInsensitive) == 0)
      return i;
  return -1;
}

// ---- TPropInfo ----

TPropValue TPropInfo::ReadChecked(const TObject &object, bool fits) const {
  VELL_ASSERT(fits && Read);
  return Read(object);
}

void TPropInfo::WriteChecked(TObject &object, bool fits, TPropValue value) const {
  VELL_ASSERT(fits && Write);
  Write(object, value);
}

qint64 TPropInfo::GetOrdValue(const TObject &object) const {
  return std::get<qint64>(ReadChecked(object, IsOrdinal() || Kind == tkWChar));
}

void TPropInfo::SetOrdValue(TObject &object, qint64 value) const {
  WriteChecked(object, IsOrdinal() || Kind == tkWChar, value);
}

qint64 TPropInfo::GetInt64Value(const TObject &object) const {
  return std::get<qint64>(ReadChecked(object, Kind == tkInt64));
}

void TPropInfo::SetInt64Value(TObject &object, qint64 value) const {
  WriteChecked(object, Kind == tkInt64, value);
}

double TPropInfo::GetFloatValue(const TObject &object) const {
  return std::get<double>(ReadChecked(object, Kind == tkFloat));
}

void TPropInfo::SetFloatValue(TObject &object, double value) const {
  WriteChecked(object, Kind == tkFloat, value);
}

QByteArray TPropInfo::GetStrValue(const TObject &object) const {
  return std::get<QByteArray>(ReadChecked(object, Kind == tkString || Kind == tkLString));
}

void TPropInfo::SetStrValue(TObject &object, const QByteArray &value) const {
  WriteChecked(object, Kind == tkString || Kind == tkLString, value);
}

QString TPropInfo::GetWideStrValue(const TObject &object) const {
  return std::get<QString>(ReadChecked(object, Kind == tkWString));
}

void TPropInfo::SetWideStrValue(TObject &object, const QString &value) const {
  WriteChecked(object, Kind == tkWString, value);
}

quint64 TPropInfo::GetSetValue(const TObject &object) const {
  return std::get<quint64>(ReadChecked(object, Kind == tkSet));
}

void TPropInfo::SetSetValue(TObject &object, quint64 members) const {
  WriteChecked(object, Kind == tkSet, members);
}

TObject *TPropInfo::GetObjectValue(const TObject &object) const {
  return std::get<TObject *>(ReadChecked(object, Kind == tkClass));
}

void TPropInfo::SetObjectValue(TObject &object, TObject *value) const {
  WriteChecked(object, Kind == tkClass, value);
}

QVariant TPropInfo::GetVariantValue(const TObject &object) const {
  return std::get<QVariant>(ReadChecked(object, Kind == tkVariant));
}

void TPropInfo::SetVariantValue(TObject &object, const QVariant &value) const {
  WriteChecked(object, Kind == tkVariant, value);
}

QString TPropInfo::SetToString(quint64 members) const {
  VELL_ASSERT(Kind == tkSet && EnumType);
  QStringList names;
  for (int ordinal = 0; ordinal <= EnumType->MaxValue() && ordinal < 64; ++ordinal)
    if (members & (quint64(1) << ordinal))
      names << EnumType->ValueNames[ordinal];
  return names.join(u',');
}

quint64 TPropInfo::StringToSet(const QString &text) const {
  VELL_ASSERT(Kind == tkSet && EnumType);
  QString inner = text.trimmed();
  if (inner.startsWith(u'['))
    inner.remove(0, 1);
  if (inner.endsWith(u']'))
    inner.chop(1);
  static const QRegularExpression separators(QStringLiteral("[,\\s]+"));
  quint64 members = 0;
  for (const QString &name : inner.split(separators, Qt::SkipEmptyParts)) {
    const int ordinal = EnumType->ValueOf(name);
    if (ordinal < 0 || ordinal >= 64)
      throw EPropertyError(QStringLiteral("Invalid property element: %1").arg(name));
    members |= quint64(1) << ordinal;
  }
  return members;
}

// ---- visiting order ----

namespace {
char16_t FoldAscii(char16_t c) {
  return (c >= u'a' && c <= u'z') ? char16_t(c - 32) : c;
}
} // namespace

int ComparePropNames(const QString &a, const QString &b) {
  const qsizetype common = std::min(a.size(), b.size());
  for (qsizetype i = 0; i < common; ++i) {
    const int diff = int(FoldAscii(a[i].unicode())) - int(FoldAscii(b[i].unicode()));
    if (diff != 0)
      return diff;
  }
  return int(a.size() - b.size());
}

// ---- TMetaClass ----

TMetaClass::TMetaClass(const char *name, const TMetaClass *parent, Factory factory, Declaration own)
    : FName(QString::fromLatin1(name)), FParent(parent), FFactory(factory), FDeclare(own) {}

bool TMetaClass::InheritsFrom(const TMetaClass *ancestor) const {
  for (const TMetaClass *c = this; c; c = c->FParent)
    if (c == ancestor)
      return true;
  return false;
}

void TMetaClass::Build() const {
  std::call_once(FBuilt, [this] {
    if (FDeclare)
      FOwn = FDeclare();
    TPropList all = FParent ? FParent->Properties() + FParent->Events() : TPropList();
    for (const TPropInfo &own : FOwn) {
      // A redeclared property replaces the base's entry of the same name.
      all.erase(
          std::remove_if(all.begin(), all.end(), [&](const TPropInfo *p) { return p->Name == own.Name; }),
          all.end());
      all.push_back(&own);
    }
    for (const TPropInfo *p : all)
      (p->Kind == tkMethod ? FEvents : FVisited).push_back(p);
    std::stable_sort(FVisited.begin(), FVisited.end(), [](const TPropInfo *x, const TPropInfo *y) {
      return ComparePropNames(x->Name, y->Name) < 0;
    });
  });
}

const TPropList &TMetaClass::Properties() const {
  Build();
  return FVisited;
}

const TPropList &TMetaClass::Events() const {
  Build();
  return FEvents;
}

const TPropInfo *TMetaClass::FindProperty(const QString &name) const {
  for (const TPropInfo *p : Properties())
    if (p->Name == name)
      return p;
  return nullptr;
}

// ---- TObject ----

const TMetaClass &TObject::StaticClass() {
  static const TMetaClass meta("TObject", nullptr, nullptr, nullptr);
  return meta;
}

// ---- TProp ----

TPropInfo TProp::Custom(const char *name, TTypeKind kind, std::function<TPropValue(const TObject &)> read,
                        std::function<void(TObject &, const TPropValue &)> write) {
  TPropInfo info;
  info.Name = QString::fromLatin1(name);
  info.Kind = kind;
  info.Read = std::move(read);
  info.Write = std::move(write);
  return info;
}
