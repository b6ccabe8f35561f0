#include "Common/VellXMLUtils.h"

namespace {
[[noreturn]] void NotYet() {
  throw EVellError(QStringLiteral("not implemented"));
}
} // namespace

void TXMLIntfObject::AddRef() const noexcept {
  FRefCount.fetch_add(1, std::memory_order_relaxed);
}
void TXMLIntfObject::Release() const noexcept {
  if (FRefCount.fetch_sub(1, std::memory_order_acq_rel) == 1)
    Destroy(this);
}
void *TXMLIntfObject::QueryInterface(const QUuid &iid) noexcept {
  return iid == IXMLUnknown::IID ? static_cast<IXMLUnknown *>(this) : nullptr;
}
TXMLWeakBlock *TXMLIntfObject::WeakBlock() const {
  NotYet();
}
TXMLIntfObject::~TXMLIntfObject() = default;
void TXMLIntfObject::Destroy(const TXMLIntfObject *obj) noexcept {
  delete obj;
}

IXMLDocumentPtr NewXMLDocument(bool, bool) {
  NotYet();
}
IXMLDocumentPtr LoadXMLDocument(QIODevice *) {
  NotYet();
}
void RaiseXMLError(const QString &message) {
  throw EXMLException(message);
}
int CompareOrdinal(const QString &, const QString &) {
  NotYet();
}
bool SameOrdinal(const QString &, const QString &) {
  NotYet();
}
QString XMLEncode(const QString &) {
  NotYet();
}
QString XMLDecode(const QString &) {
  NotYet();
}
QString BoolToXMLText(bool) {
  NotYet();
}
bool XMLTextToBool(const QString &) {
  NotYet();
}
QString IntToXMLText(int) {
  NotYet();
}
int XMLTextToInt(const QString &) {
  NotYet();
}
QString FloatToXMLText(double) {
  NotYet();
}
double XMLTextToFloat(const QString &) {
  NotYet();
}
void Base64EncodeStream(QIODevice *, QIODevice *) {
  NotYet();
}
bool Base64DecodeStream(QIODevice *, QIODevice *) {
  NotYet();
}
QString StreamToBase64(QIODevice *) {
  NotYet();
}
bool Base64ToStream(const QString &, QIODevice *) {
  NotYet();
}
QString VariantToXMLText(const QVariant &) {
  NotYet();
}
bool XMLTextToVariant(const QString &, QVariant &) {
  NotYet();
}
