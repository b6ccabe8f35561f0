#include "Common/VellXMLUtils.h"

#include <QFile>
#include <QHash>
#include <QSaveFile>

#include <charconv>
#include <cmath>
#include <mutex>
#include <string_view>
#include <vector>

// ===========================================================================
// Reference counting and weak links

// The anchor of weak links to one object. The object holds one reference to
// its block and every weak link another; the object's pointer is cleared
// under the lock when its count drops to zero, so a link never upgrades to an
// object that is being freed.
class TXMLWeakBlock {
public:
  explicit TXMLWeakBlock(const TXMLIntfObject *target) : FTarget(target) {}

  void AddLink() noexcept { FRefs.fetch_add(1, std::memory_order_relaxed); }
  void ReleaseLink() noexcept {
    if (FRefs.fetch_sub(1, std::memory_order_acq_rel) == 1)
      delete this;
  }
  void Detach() noexcept {
    std::lock_guard guard(FMutex);
    FTarget = nullptr;
  }
  // The target with a new reference, or null when it is gone.
  const TXMLIntfObject *Lock() noexcept {
    std::lock_guard guard(FMutex);
    if (!FTarget)
      return nullptr;
    int count = FTarget->FRefCount.load(std::memory_order_relaxed);
    while (count > 0 &&
           !FTarget->FRefCount.compare_exchange_weak(count, count + 1, std::memory_order_acq_rel))
      ;
    return count > 0 ? FTarget : nullptr;
  }

private:
  std::mutex FMutex;
  const TXMLIntfObject *FTarget;
  std::atomic<int> FRefs{1};
};

void TXMLIntfObject::AddRef() const noexcept {
  FRefCount.fetch_add(1, std::memory_order_relaxed);
}

void TXMLIntfObject::Release() const noexcept {
  if (FRefCount.fetch_sub(1, std::memory_order_acq_rel) != 1)
    return;
  if (TXMLWeakBlock *weak = FWeak.load(std::memory_order_acquire))
    weak->Detach();
  Destroy(this);
}

void TXMLIntfObject::Destroy(const TXMLIntfObject *obj) noexcept {
  thread_local std::vector<const TXMLIntfObject *> pending;
  thread_local bool draining = false;
  pending.push_back(obj);
  if (draining)
    return;
  draining = true;
  while (!pending.empty()) {
    const TXMLIntfObject *next = pending.back();
    pending.pop_back();
    delete next;
  }
  draining = false;
}

void *TXMLIntfObject::QueryInterface(const QUuid &iid) noexcept {
  return iid == IXMLUnknown::IID ? static_cast<IXMLUnknown *>(this) : nullptr;
}

TXMLWeakBlock *TXMLIntfObject::WeakBlock() const {
  TXMLWeakBlock *block = FWeak.load(std::memory_order_acquire);
  if (block)
    return block;
  auto *created = new TXMLWeakBlock(this);
  if (FWeak.compare_exchange_strong(block, created, std::memory_order_acq_rel))
    return created;
  created->ReleaseLink();
  return block;
}

TXMLIntfObject::~TXMLIntfObject() {
  if (TXMLWeakBlock *weak = FWeak.load(std::memory_order_acquire))
    weak->ReleaseLink();
}

namespace {

// A non-owning link to an object of class T that reads as null once the
// object is gone.
template <typename T> class TXMLWeakRef {
public:
  TXMLWeakRef() = default;
  TXMLWeakRef(const TXMLWeakRef &) = delete;
  TXMLWeakRef &operator=(const TXMLWeakRef &) = delete;
  ~TXMLWeakRef() { Set(nullptr); }

  void Set(const T *target) {
    TXMLWeakBlock *block = target ? target->WeakBlock() : nullptr;
    if (block)
      block->AddLink();
    if (FBlock)
      FBlock->ReleaseLink();
    FBlock = block;
  }
  TXMLPtr<T> Get() const {
    const TXMLIntfObject *target = FBlock ? FBlock->Lock() : nullptr;
    return TXMLPtr<T>::Adopt(const_cast<T *>(static_cast<const T *>(target)));
  }

private:
  TXMLWeakBlock *FBlock = nullptr;
};

// The class behind interface Intf: answers to Intf's identifier.
template <typename Intf> class TXMLIntfImpl : public TXMLIntfObject, public Intf {
public:
  void *QueryInterface(const QUuid &iid) noexcept override {
    return iid == Intf::IID ? static_cast<Intf *>(this) : TXMLIntfObject::QueryInterface(iid);
  }
};

const QString cIndexOutOfRange = QStringLiteral("访问索引越界");
const QString cOneTopLevelNode = QStringLiteral("XML 文档只能有一个顶层节点");
const QString cTagMismatch = QStringLiteral("XML 标识符号不匹配");
const QString cAttributeMismatch = QStringLiteral("XML 属性标识符号不匹配");
const QString cUtf8 = QStringLiteral("utf-8");

void CheckIndex(qsizetype index, qsizetype count) {
  if (index < 0 || index >= count)
    RaiseXMLError(cIndexOutOfRange);
}

// ===========================================================================
// Scanning primitives (positions are 0-based here)

bool IsBlankOrControl(QChar c) {
  return c.unicode() <= 0x20;
}

// text without characters up to U+0020 at both ends.
QString Trim(QStringView text) {
  qsizetype first = 0;
  qsizetype last = text.size();
  while (first < last && IsBlankOrControl(text[first]))
    ++first;
  while (last > first && IsBlankOrControl(text[last - 1]))
    --last;
  return text.sliced(first, last - first).toString();
}

qsizetype ClampStart(qsizetype start, qsizetype length) {
  return std::clamp<qsizetype>(start, 0, length - 1);
}

// The first position from start holding ch outside double quotes (quotes
// counted from start), or -1.
qsizetype FindUnquoted(QChar ch, QStringView text, qsizetype start) {
  if (ch.unicode() == 0 || text.isEmpty())
    return -1;
  bool quoted = false;
  for (qsizetype i = ClampStart(start, text.size()); i < text.size(); ++i) {
    if (text[i] == u'"')
      quoted = !quoted;
    else if (!quoted && text[i] == ch)
      return i;
  }
  return -1;
}

struct TQuoted {
  bool Found = false;
  QStringView Value;
  qsizetype ClosePos = -1;
};

// The text between the first two double quotes from start.
TQuoted ExtractQuoted(QStringView text, qsizetype start) {
  if (text.isEmpty())
    return {};
  const qsizetype open = text.indexOf(u'"', ClampStart(start, text.size()));
  const qsizetype close = open < 0 ? -1 : text.indexOf(u'"', open + 1);
  if (close < 0)
    return {};
  return {true, text.sliced(open + 1, close - open - 1), close};
}

// text without surrounding blanks and without one double quote at either end.
QString Unquote(QStringView text) {
  qsizetype first = 0;
  qsizetype last = text.size();
  while (first < last && IsBlankOrControl(text[first]))
    ++first;
  if (first < last && text[first] == u'"')
    ++first;
  while (last > first && IsBlankOrControl(text[last - 1]))
    --last;
  if (last > first && text[last - 1] == u'"')
    --last;
  return text.sliced(first, last - first).toString();
}

} // namespace

// ===========================================================================
// Value conversions

int CompareOrdinal(const QString &a, const QString &b) {
  const qsizetype common = std::min(a.size(), b.size());
  for (qsizetype i = 0; i < common; ++i) {
    if (a[i] != b[i])
      return a[i].unicode() - b[i].unicode();
  }
  return static_cast<int>(a.size() - b.size());
}

bool SameOrdinal(const QString &a, const QString &b) {
  return CompareOrdinal(a, b) == 0;
}

namespace {

struct TEntity {
  QStringView Reference;
  QChar Plain;
};
// In the order the references were historically resolved; the order does not
// change the result (see XMLDecode).
constexpr TEntity cEntities[] = {{u"&lt;", u'<'},  {u"&gt;", u'>'},    {u"&amp;", u'&'}, {u"&13;", u'\r'},
                                 {u"&10;", u'\n'}, {u"&apos;", u'\''}, {u"&quot;", u'"'}};

// The entity reference that stands for c in stored text, or empty.
QStringView EntityOf(QChar c) {
  if (c.unicode() > u'>') // every escaped character lies below
    return {};
  for (const TEntity &entity : cEntities) {
    if (entity.Plain == c)
      return entity.Reference;
  }
  return {};
}

} // namespace

QString XMLEncode(const QString &text) {
  qsizetype length = 0;
  for (QChar c : text)
    length += std::max<qsizetype>(1, EntityOf(c).size());
  if (length == text.size())
    return text;
  QString result;
  result.reserve(length);
  for (QChar c : text) {
    const QStringView entity = EntityOf(c);
    if (entity.isEmpty())
      result += c;
    else
      result += entity;
  }
  return result;
}

// References begin with "&" and end with ";" and hold neither inside, so
// their occurrences never overlap and a decoded character never forms part of
// a later reference: one left-to-right pass decodes each reference exactly
// once, as separate passes per reference would.
QString XMLDecode(const QString &text) {
  if (!text.contains(u'&'))
    return text;
  QString result;
  result.reserve(text.size());
  const QStringView view(text);
  for (qsizetype i = 0; i < view.size();) {
    const TEntity *match = nullptr;
    if (view[i] == u'&') {
      for (const TEntity &entity : cEntities) {
        if (view.sliced(i).startsWith(entity.Reference)) {
          match = &entity;
          break;
        }
      }
    }
    result += match ? match->Plain : view[i];
    i += match ? match->Reference.size() : 1;
  }
  return result;
}

QString BoolToXMLText(bool value) {
  return value ? QStringLiteral("True") : QStringLiteral("False");
}

bool XMLTextToBool(const QString &text) {
  return SameOrdinal(text, QStringLiteral("True"));
}

QString IntToXMLText(int value) {
  return QString::number(value);
}

namespace {

int DigitValue(QChar c, int base) {
  const char16_t u = c.unicode();
  int digit = 99;
  if (u >= u'0' && u <= u'9')
    digit = u - u'0';
  else if (u >= u'a' && u <= u'f')
    digit = u - u'a' + 10;
  else if (u >= u'A' && u <= u'F')
    digit = u - u'A' + 10;
  return digit < base ? digit : -1;
}

} // namespace

int XMLTextToInt(const QString &text) {
  qsizetype i = 0;
  while (i < text.size() && text[i] == u' ')
    ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == u'-' || text[i] == u'+'))
    negative = text[i++] == u'-';
  int base = 10;
  if (i < text.size() && (text[i] == u'$' || text[i] == u'x' || text[i] == u'X')) {
    base = 16;
    ++i;
  } else if (i + 1 < text.size() && text[i] == u'0' && (text[i + 1] == u'x' || text[i + 1] == u'X')) {
    base = 16;
    i += 2;
  }
  // Unsigned arithmetic: text beyond 32 bits wraps instead of overflowing.
  quint32 value = 0;
  for (; i < text.size(); ++i) {
    const int digit = DigitValue(text[i], base);
    if (digit < 0)
      return static_cast<int>(value);
    value = value * base + digit;
  }
  return static_cast<int>(negative ? 0u - value : value);
}

QString FloatToXMLText(double value) {
  if (std::isnan(value))
    return QStringLiteral("NAN");
  if (std::isinf(value))
    return value < 0 ? QStringLiteral("-INF") : QStringLiteral("INF");
  if (value == 0)
    return QStringLiteral("0");
  // d.dddddddddddddde±x: 15 significant digits, correctly rounded, "." whatever the locale.
  char buffer[32];
  const auto written =
      std::to_chars(buffer, buffer + sizeof buffer, std::fabs(value), std::chars_format::scientific, 14);
  const std::string_view scientific(buffer, written.ptr - buffer);
  const qsizetype e = static_cast<qsizetype>(scientific.find('e'));
  QString digits = QString::fromLatin1(buffer, 1) + QString::fromLatin1(buffer + 2, e - 2);
  while (digits.endsWith(u'0'))
    digits.chop(1);
  int exponent = 0; // digits before the decimal point
  std::from_chars(buffer + e + (buffer[e + 1] == '+' ? 2 : 1), written.ptr, exponent);
  ++exponent;
  QString text = value < 0 ? QStringLiteral("-") : QString();
  if (exponent <= 0 && exponent >= -3) {
    text += QStringLiteral("0.") + QString(-exponent, u'0') + digits;
  } else if (exponent > 0 && exponent <= 15) {
    if (digits.size() <= exponent)
      text += digits + QString(exponent - digits.size(), u'0');
    else
      text += digits.left(exponent) + u'.' + digits.mid(exponent);
  } else {
    text += digits.left(1);
    if (digits.size() > 1)
      text += u'.' + digits.mid(1);
    text += u'E' + QString::number(exponent - 1);
  }
  return text;
}

namespace {

// Appends the ASCII digits from text[i] on to number; returns how many.
qsizetype TakeDigits(const QString &text, qsizetype &i, std::string &number) {
  const qsizetype first = i;
  for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i)
    number += static_cast<char>(text[i].unicode());
  return i - first;
}

void TakeSign(const QString &text, qsizetype &i, std::string &number) {
  if (i < text.size() && (text[i] == u'-' || text[i] == u'+')) {
    if (text[i] == u'-')
      number += '-';
    ++i;
  }
}

} // namespace

double XMLTextToFloat(const QString &text) {
  // Checks the form blanks, sign, digits with one point, exponent, blanks and
  // hands the number to the locale-independent std::from_chars.
  std::string number;
  qsizetype i = 0;
  while (i < text.size() && text[i] == u' ')
    ++i;
  TakeSign(text, i, number);
  qsizetype mantissaDigits = TakeDigits(text, i, number);
  if (i < text.size() && text[i] == u'.') {
    number += '.';
    ++i;
    mantissaDigits += TakeDigits(text, i, number);
  }
  if (mantissaDigits == 0)
    return 0;
  if (i < text.size() && (text[i] == u'E' || text[i] == u'e')) {
    number += 'e';
    ++i;
    TakeSign(text, i, number);
    if (TakeDigits(text, i, number) == 0)
      return 0;
  }
  while (i < text.size() && text[i] == u' ')
    ++i;
  double value = 0;
  if (i != text.size() ||
      std::from_chars(number.data(), number.data() + number.size(), value).ec != std::errc())
    return 0;
  return value;
}

// ---------------------------------------------------------------------------
// Base64

namespace {

constexpr char cBase64Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

QByteArray Base64Encode(const QByteArray &bytes) {
  QByteArray text;
  text.reserve((bytes.size() + 2) / 3 * 4);
  for (qsizetype i = 0; i < bytes.size(); i += 3) {
    const qsizetype n = std::min<qsizetype>(3, bytes.size() - i);
    quint32 group = 0;
    for (qsizetype k = 0; k < 3; ++k)
      group = group << 8 | (k < n ? static_cast<quint8>(bytes[i + k]) : 0);
    for (qsizetype k = 0; k < 4; ++k)
      text += k <= n ? cBase64Alphabet[group >> (18 - 6 * k) & 0x3F] : '=';
  }
  return text;
}

int Base64Value(char c) {
  if (c >= 'A' && c <= 'Z')
    return c - 'A';
  if (c >= 'a' && c <= 'z')
    return c - 'a' + 26;
  if (c >= '0' && c <= '9')
    return c - '0' + 52;
  if (c == '+')
    return 62;
  if (c == '/')
    return 63;
  return -1;
}

// Decodes text, skipping foreign bytes; "=" adds six zero bits without
// counting as a character. False when one character of a group is left over.
bool Base64Decode(const QByteArray &text, QByteArray &bytes) {
  quint32 accumulator = 0;
  int counter = 0; // alphabet characters in the current group
  int sextets = 0; // six-bit units in the accumulator, padding included
  for (const char c : text) {
    const int value = c == '=' ? 0 : Base64Value(c);
    if (value < 0)
      continue;
    accumulator = (accumulator << 6 | value) & 0xFFFFFF;
    sextets = std::min(sextets + 1, 4);
    if (c == '=')
      continue;
    counter = (counter + 1) % 4;
    if (counter == 0) {
      bytes += static_cast<char>(accumulator >> 16);
      bytes += static_cast<char>(accumulator >> 8);
      bytes += static_cast<char>(accumulator);
      accumulator = 0;
      sextets = 0;
    }
  }
  if (counter == 1)
    return false;
  accumulator <<= 6 * (4 - sextets); // a group without its padding
  for (int k = 0; k + 1 < counter; ++k)
    bytes += static_cast<char>(accumulator >> (16 - 8 * k));
  return true;
}

void WriteAll(QIODevice *stream, const QByteArray &bytes) {
  if (stream->write(bytes) != bytes.size())
    throw EStreamError(QStringLiteral("Stream write error: %1").arg(stream->errorString()));
}

// The characters of text as single bytes; a character beyond ASCII is never
// Base64, so it becomes a byte the decoder skips.
QByteArray SingleBytes(const QString &text) {
  QByteArray bytes(text.size(), '\0');
  for (qsizetype i = 0; i < text.size(); ++i)
    bytes[i] = text[i].unicode() < 0x80 ? static_cast<char>(text[i].unicode()) : '\x80';
  return bytes;
}

} // namespace

void Base64EncodeStream(QIODevice *source, QIODevice *destination) {
  VELL_ASSERT(source && destination);
  WriteAll(destination, Base64Encode(source->readAll()));
}

bool Base64DecodeStream(QIODevice *source, QIODevice *destination) {
  VELL_ASSERT(source && destination);
  QByteArray bytes;
  const bool ok = Base64Decode(source->readAll(), bytes);
  WriteAll(destination, bytes);
  return ok;
}

QString StreamToBase64(QIODevice *stream) {
  VELL_ASSERT(stream);
  return QString::fromLatin1(Base64Encode(stream->readAll()));
}

bool Base64ToStream(const QString &text, QIODevice *stream) {
  VELL_ASSERT(stream);
  QByteArray bytes;
  const bool ok = Base64Decode(SingleBytes(text), bytes);
  WriteAll(stream, bytes);
  return ok;
}

QString VariantToXMLText(const QVariant &value) {
  return value.isValid() ? QString::fromLatin1(Base64Encode(value.toByteArray())) : QString();
}

bool XMLTextToVariant(const QString &text, QVariant &value) {
  value = QVariant();
  QByteArray bytes;
  if (!Base64Decode(SingleBytes(text), bytes))
    return false;
  if (!bytes.isEmpty())
    value = bytes;
  return true;
}

// ---------------------------------------------------------------------------
// Byte encodings of XML text

namespace {

// Each code unit on its own: one byte below U+0080, two below U+0800, else three.
QByteArray EncodeUtf8(QStringView text) {
  qsizetype size = 0;
  for (QChar c : text)
    size += c.unicode() < 0x80 ? 1 : c.unicode() < 0x800 ? 2 : 3;
  QByteArray bytes(size, Qt::Uninitialized);
  char *out = bytes.data();
  for (QChar c : text) {
    const char16_t u = c.unicode();
    if (u < 0x80) {
      *out++ = static_cast<char>(u);
    } else if (u < 0x800) {
      *out++ = static_cast<char>(0xC0 | u >> 6);
      *out++ = static_cast<char>(0x80 | (u & 0x3F));
    } else {
      *out++ = static_cast<char>(0xE0 | u >> 12);
      *out++ = static_cast<char>(0x80 | (u >> 6 & 0x3F));
      *out++ = static_cast<char>(0x80 | (u & 0x3F));
    }
  }
  return bytes;
}

QByteArray EncodeUtf16LE(QStringView text) {
  QByteArray bytes(text.size() * 2, Qt::Uninitialized);
  for (qsizetype i = 0; i < text.size(); ++i) {
    bytes[2 * i] = static_cast<char>(text[i].unicode() & 0xFF);
    bytes[2 * i + 1] = static_cast<char>(text[i].unicode() >> 8);
  }
  return bytes;
}

// Number of continuation bytes after lead, or -1 when lead cannot begin a sequence.
int ContinuationCount(quint8 lead) {
  if (lead < 0x80)
    return 0;
  if (lead < 0xC0)
    return -1;
  if (lead < 0xE0)
    return 1;
  if (lead < 0xF0)
    return 2;
  return lead < 0xF8 ? 3 : -1;
}

// Sequences of one to three bytes give one code unit each, four bytes a
// surrogate pair. Any malformed sequence makes the whole result empty.
QString DecodeUtf8(const QByteArray &bytes) {
  QString text(bytes.size(), Qt::Uninitialized);
  char16_t *out = reinterpret_cast<char16_t *>(text.data());
  const auto *data = reinterpret_cast<const quint8 *>(bytes.constData());
  const qsizetype size = bytes.size();
  for (qsizetype i = 0; i < size;) {
    const int extra = ContinuationCount(data[i]);
    if (extra < 0 || i + extra >= size)
      return {};
    char32_t code = extra == 0 ? data[i] : data[i] & (0x3F >> extra);
    for (int k = 1; k <= extra; ++k) {
      if ((data[i + k] & 0xC0) != 0x80)
        return {};
      code = code << 6 | (data[i + k] & 0x3F);
    }
    if (code > 0x10FFFF)
      return {};
    if (code > 0xFFFF) {
      *out++ = QChar::highSurrogate(code);
      *out++ = QChar::lowSurrogate(code);
    } else {
      *out++ = static_cast<char16_t>(code);
    }
    i += extra + 1;
  }
  text.truncate(out - reinterpret_cast<const char16_t *>(text.constData()));
  return text;
}

// Two bytes per code unit, low byte first; an odd last byte is ignored.
QString DecodeUtf16LE(const QByteArray &bytes) {
  QString text(bytes.size() / 2, Qt::Uninitialized);
  for (qsizetype i = 0; i < text.size(); ++i)
    text[i] = QChar(static_cast<char16_t>(static_cast<quint8>(bytes[2 * i]) |
                                          static_cast<quint8>(bytes[2 * i + 1]) << 8));
  return text;
}

QString DecodeXMLBytes(const QByteArray &bytes, const QString &encoding) {
  return SameOrdinal(encoding, cUtf8) ? DecodeUtf8(bytes) : DecodeUtf16LE(bytes);
}

// The text through which a document is written: lines, each followed by the
// line break, and the byte encoding of the whole ("utf-8" exactly selects
// UTF-8, anything else UTF-16LE; no byte-order mark).
class TXMLStringList {
public:
  TXMLStringList(const QString &encoding, const QString &lineBreak)
      : FEncoding(encoding), FLineBreak(lineBreak) {}

  // The text, to which the current line is appended.
  QString &Text() { return FText; }
  void EndLine() { FText += FLineBreak; }
  const QString &GetText() const { return FText; }
  void SaveToStream(QIODevice *stream) const {
    WriteAll(stream, SameOrdinal(FEncoding, cUtf8) ? EncodeUtf8(FText) : EncodeUtf16LE(FText));
  }

private:
  QString FEncoding;
  QString FLineBreak;
  QString FText;
};

// ===========================================================================
// The classes behind the interfaces

// Stored value and the typed accessors over it, shared by attributes and nodes.
template <typename Intf> class TXMLValueHolder : public TXMLIntfImpl<Intf> {
public:
  bool GetAsBoolean() const override { return XMLTextToBool(FValue); }
  double GetAsFloat() const override { return XMLTextToFloat(FValue); }
  int GetAsInteger() const override { return XMLTextToInt(FValue); }
  QString GetAsString() const override { return XMLDecode(FValue); }
  bool GetAsVariant(QVariant &value) const override { return XMLTextToVariant(FValue, value); }
  QString GetValue() const override { return FValue; }
  void SetAsBoolean(bool value) override { FValue = BoolToXMLText(value); }
  void SetAsFloat(double value) override { FValue = FloatToXMLText(value); }
  void SetAsInteger(int value) override { FValue = IntToXMLText(value); }
  void SetAsString(const QString &value) override { FValue = XMLEncode(value); }
  void SetAsVariant(const QVariant &value) override { FValue = VariantToXMLText(value); }
  void SetValue(const QString &value) override { FValue = value; }

  const QString &Value() const { return FValue; }

protected:
  QString FValue;
};

quint32 NameHash(QStringView name) {
  quint32 hash = 0;
  for (QChar c : name)
    hash = (hash << 2 | hash >> 30) ^ c.unicode();
  return hash;
}

class TXMLNodeAttribute final : public TXMLValueHolder<IXMLNodeAttribute> {
public:
  explicit TXMLNodeAttribute(const QString &name) : FName(name), FNameHash(NameHash(name)) {}

  quint32 GetNameHash() const override { return FNameHash; }
  QString GetName() const override { return FName; }
  QString GetXML() const override {
    QString text;
    AppendXML(text, FName);
    return text;
  }
  void SetName(const QString &name) override {
    FName = Trim(name);
    FNameHash = NameHash(FName);
  }
  void SetXML(const QString &text) override {
    const qsizetype equals = FindUnquoted(u'=', text, 0);
    SetName(equals < 0 ? text : text.left(equals));
    FValue = equals < 0 ? QString() : Unquote(QStringView(text).sliced(equals + 1));
  }

  const QString &Name() const { return FName; }
  bool HasName(QStringView name, quint32 hash) const { return FNameHash == hash && FName == name; }
  // name="value" with the given form of the name, the value as stored.
  void AppendXML(QString &out, QStringView name) const {
    out += name;
    out += u"=\"";
    out += FValue;
    out += u'"';
  }

private:
  QString FName;
  quint32 FNameHash;
};

using TXMLNodeAttributePtr = TXMLPtr<TXMLNodeAttribute>;

class TXMLNodeAttributes final : public TXMLIntfImpl<IXMLNodeAttributes> {
public:
  IXMLNodeAttributePtr Add(const QString &name) override { return FindOrAdd(name); }
  int IndexOf(const QString &name) const override { return static_cast<int>(Find(name)); }
  void Clear() override { FList.clear(); }
  void Delete(int index) override {
    CheckIndex(index, FList.size());
    FList.removeAt(index);
  }
  int GetCount() const override { return static_cast<int>(FList.size()); }
  IXMLNodeAttributePtr GetItem(int index) const override {
    CheckIndex(index, FList.size());
    return FList[index];
  }
  IXMLNodeAttributePtr GetAttribute(const QString &name) override { return FindOrAdd(name); }
  QString GetXML() const override {
    QString text;
    AppendXML(text);
    return text;
  }
  void SetXML(const QString &text) override { ParsePairs(text); }

  // An empty name does nothing; a present name keeps its place.
  void SetAttributeValue(QStringView name, QStringView value) {
    if (!name.isEmpty())
      FindOrAdd(name)->SetValue(value.toString());
  }
  // The attributes as name="value" separated by blanks, with characters up
  // to U+0020 removed at both ends of the whole (which touches only the
  // start of the first name).
  void AppendXML(QString &out) const {
    for (qsizetype i = 0; i < FList.size(); ++i) {
      QStringView name = FList[i]->Name();
      if (i == 0) {
        while (!name.isEmpty() && IsBlankOrControl(name.front()))
          name = name.sliced(1);
      } else {
        out += u' ';
      }
      FList[i]->AppendXML(out, name);
    }
  }
  void ParsePairs(QStringView text);

private:
  qsizetype Find(QStringView name) const {
    const quint32 hash = NameHash(name);
    for (qsizetype i = 0; i < FList.size(); ++i) {
      if (FList[i]->HasName(name, hash))
        return i;
    }
    return -1;
  }
  TXMLNodeAttributePtr FindOrAdd(QStringView name) {
    const qsizetype index = Find(name);
    if (index >= 0)
      return FList[index];
    FList.push_back(TXMLNodeAttributePtr(new TXMLNodeAttribute(name.toString())));
    return FList.back();
  }

  QList<TXMLNodeAttributePtr> FList;
};

// Pairs name="value"; names met again keep their first place and take the
// later value. Beyond a few names their positions are kept in a hash, so a
// tag with very many attributes is still read in linear time.
void TXMLNodeAttributes::ParsePairs(QStringView text) {
  constexpr qsizetype cHashFrom = 16;
  Clear();
  QHash<QString, qsizetype> positions;
  for (qsizetype i = 0; i < text.size() - 1;) {
    const qsizetype equals = FindUnquoted(u'=', text, i);
    if (equals < 0)
      RaiseXMLError(cAttributeMismatch);
    const QString name = Trim(text.sliced(i, equals - i));
    const TQuoted quoted = ExtractQuoted(text, equals + 1);
    if (!quoted.Found)
      RaiseXMLError(cAttributeMismatch);
    i = quoted.ClosePos + 1;
    if (name.isEmpty())
      continue;
    if (FList.size() < cHashFrom) {
      SetAttributeValue(name, quoted.Value);
      continue;
    }
    if (positions.isEmpty()) {
      for (qsizetype k = 0; k < FList.size(); ++k)
        positions.insert(FList[k]->Name(), k);
    }
    auto found = positions.constFind(name);
    if (found == positions.cend()) {
      found = positions.insert(name, FList.size());
      FList.push_back(TXMLNodeAttributePtr(new TXMLNodeAttribute(name)));
    }
    FList[*found]->SetValue(quoted.Value.toString());
  }
}

class TXMLNode;
using TXMLNodePtr = TXMLPtr<TXMLNode>;

// The node behind an interface reference; nodes of another implementation
// cannot be linked into this library's trees.
TXMLNodePtr AsNode(const IXMLNodePtr &node);
class TXMLNodeList final : public TXMLIntfImpl<IXMLNodeList> {
public:
  explicit TXMLNodeList(const TXMLNode *owner);
  ~TXMLNodeList() override;

  int Add(const IXMLNodePtr &node) override { return node ? TakeIn(AsNode(node), -1) : -1; }
  int DeleteByName(const QString &name) override { return DeleteAt(IndexOfName(name)); }
  void Delete(int index) override {
    CheckIndex(index, FList.size());
    Detach(index);
  }
  IXMLNodePtr FindNode(const QString &name) const override;
  int IndexOf(const IXMLNodePtr &node) const override;
  int IndexOfName(const QString &name) const override;
  int Remove(const IXMLNodePtr &node) override { return DeleteAt(IndexOf(node)); }
  void Clear() override {
    while (!FList.empty())
      Detach(FList.size() - 1);
  }
  void Insert(int index, const IXMLNodePtr &node) override {
    if (!node)
      return;
    if (index < 0 || index > GetCount())
      throw EListError(QStringLiteral("List index out of bounds (%1)").arg(index));
    TakeIn(AsNode(node), index);
  }
  int GetCount() const override { return static_cast<int>(FList.size()); }
  IXMLNodePtr GetNode(int index) const override;
  IXMLNodePtr GetNamedNode(const QString &name) const override { return FindNode(name); }

  qsizetype Size() const { return static_cast<qsizetype>(FList.size()); }
  const TXMLNodePtr &At(qsizetype index) const { return FList[index]; }
  TXMLNodePtr Owner() const { return FOwner.Get(); }
  // Appends a node that no list holds and that holds no nodes, so no check is needed.
  void AppendFresh(const TXMLNodePtr &node, const TXMLNode *owner);

private:
  int DeleteAt(int index) {
    if (index >= 0)
      Detach(index);
    return index;
  }
  // Puts node at index (-1: at the end), moving it out of the list that held it.
  int TakeIn(const TXMLNodePtr &node, qsizetype index);
  void Detach(qsizetype index);

  TXMLWeakRef<TXMLNode> FOwner;
  QList<TXMLNodePtr> FList;
};

class TXMLNode final : public TXMLValueHolder<IXMLNode> {
public:
  explicit TXMLNode(const QString &name) : FNodeName(name) {}

  IXMLNodePtr AddChild(const QString &name) override {
    TXMLNodePtr child(new TXMLNode(name));
    Children().AppendFresh(child, this);
    return child;
  }
  IXMLNodePtr CloneNode(bool deep) const override;
  bool HasAttribute(const QString &name) const override {
    return FAttributes && FAttributes->IndexOf(name) >= 0;
  }
  IXMLNodeAttributesPtr GetAttributes() const override { return TXMLPtr<TXMLNodeAttributes>(&Attributes()); }
  IXMLNodeListPtr GetChildNodes() const override { return TXMLPtr<TXMLNodeList>(&Children()); }
  bool HasChildNodes() const override { return ChildCount() != 0; }
  int GetLevel() const override {
    int level = 0;
    for (TXMLNodePtr node = Parent(); node; node = node->Parent())
      ++level;
    return level;
  }
  QString GetNodeName() const override { return FNodeName; }
  IXMLNodePtr GetParentNode() const override { return Parent(); }
  QString GetXML() const override {
    QString text;
    AppendStartTag(text, false);
    return text;
  }
  void SetNodeName(const QString &name) override { FNodeName = name; }
  void SetParentNode(const IXMLNodePtr &parent) override {
    const TXMLNodePtr node = parent ? AsNode(parent) : TXMLNodePtr();
    VELL_ASSERT_MSG(!IsOnParentChain(node), QStringLiteral("An XML node cannot be its own ancestor"));
    FParent.Set(node.get());
  }
  void SetXML(const QString &text) override { ParseStartTag(text); }

  const QString &Name() const { return FNodeName; }
  TXMLNodePtr Parent() const { return FParent.Get(); }
  void LinkParent(const TXMLNode *parent) { FParent.Set(parent); }
  // The collections exist from their first use on; until then they are empty.
  TXMLNodeList &Children() const {
    if (!FChildNodes)
      FChildNodes = TXMLPtr<TXMLNodeList>(new TXMLNodeList(this));
    return *FChildNodes;
  }
  TXMLNodeAttributes &Attributes() const {
    if (!FAttributes)
      FAttributes = TXMLPtr<TXMLNodeAttributes>(new TXMLNodeAttributes);
    return *FAttributes;
  }
  qsizetype ChildCount() const { return FChildNodes ? FChildNodes->Size() : 0; }
  const TXMLNodePtr &Child(qsizetype index) const { return FChildNodes->At(index); }
  // The list that holds this node, maintained by the lists.
  TXMLNodeList *Container() const { return FContainer; }
  void SetContainer(TXMLNodeList *list) { FContainer = list; }
  // Whether this node is node or above it, by parent links or by the lists
  // that hold them: linking node below this one would close a cycle.
  bool IsAncestorOrSelfOf(const TXMLNodePtr &node) const {
    for (TXMLNodePtr up = node; up; up = up->Container() ? up->Container()->Owner() : TXMLNodePtr()) {
      if (up.get() == this)
        return true;
    }
    return IsOnParentChain(node);
  }
  // "<name>" or "<name attributes>", with "/" before the ">" when selfClosing.
  void AppendStartTag(QString &out, bool selfClosing) const {
    out += u'<';
    out += FNodeName;
    if (FAttributes && FAttributes->GetCount() > 0) {
      out += u' ';
      FAttributes->AppendXML(out);
    }
    out += selfClosing ? QStringView(u"/>") : QStringView(u">");
  }
  void AppendEndTag(QString &out) const {
    out += u"</";
    out += FNodeName;
    out += u'>';
  }
  void ParseStartTag(QStringView text);

private:
  bool IsOnParentChain(const TXMLNodePtr &node) const {
    for (TXMLNodePtr up = node; up; up = up->Parent()) {
      if (up.get() == this)
        return true;
    }
    return false;
  }

  TXMLWeakRef<TXMLNode> FParent;
  mutable TXMLPtr<TXMLNodeAttributes> FAttributes;
  mutable TXMLPtr<TXMLNodeList> FChildNodes;
  QString FNodeName;
  TXMLNodeList *FContainer = nullptr;
};

TXMLNodePtr AsNode(const IXMLNodePtr &node) {
  auto *impl = dynamic_cast<TXMLNode *>(node.get());
  VELL_ASSERT_MSG(impl, QStringLiteral("XML node of another implementation"));
  return TXMLNodePtr(impl);
}

// A start tag: "<", the name, a blank and the attribute pairs, an optional "/"
// and ">". Only U+0020 separates the name from the attributes.
void TXMLNode::ParseStartTag(QStringView text) {
  if (text.startsWith(u'<'))
    text = text.sliced(1);
  if (text.endsWith(u'>'))
    text.chop(1);
  if (text.endsWith(u'/'))
    text.chop(1);
  while (!text.isEmpty() && IsBlankOrControl(text.front()))
    text = text.sliced(1);
  while (!text.isEmpty() && IsBlankOrControl(text.back()))
    text.chop(1);
  const qsizetype blank = FindUnquoted(u' ', text, 0);
  FNodeName = (blank < 0 ? text : text.left(blank)).toString();
  if (blank >= 0)
    Attributes().ParsePairs(text.sliced(blank + 1));
  else if (FAttributes)
    FAttributes->Clear();
}

// Name, stored value and attributes copied as they are (names and values
// unchanged, whatever characters they hold); descendants copied by a walk
// with its own stack.
IXMLNodePtr TXMLNode::CloneNode(bool deep) const {
  const auto copyOf = [](const TXMLNode &source) {
    TXMLNodePtr copy(new TXMLNode(source.FNodeName));
    copy->FValue = source.FValue;
    for (int i = 0; source.FAttributes && i < source.FAttributes->GetCount(); ++i) {
      const IXMLNodeAttributePtr attribute = source.FAttributes->GetItem(i);
      copy->Attributes().Add(attribute->GetName())->SetValue(attribute->GetValue());
    }
    return copy;
  };
  const TXMLNodePtr clone = copyOf(*this);
  std::vector<std::pair<const TXMLNode *, TXMLNode *>> pending;
  if (deep)
    pending.emplace_back(this, clone.get());
  while (!pending.empty()) {
    const auto [source, copy] = pending.back();
    pending.pop_back();
    for (qsizetype i = 0; i < source->ChildCount(); ++i) {
      const TXMLNodePtr child = copyOf(*source->Child(i));
      copy->Children().AppendFresh(child, copy);
      pending.emplace_back(source->Child(i).get(), child.get());
    }
  }
  return clone;
}

TXMLNodeList::TXMLNodeList(const TXMLNode *owner) {
  FOwner.Set(owner);
}

IXMLNodePtr TXMLNodeList::FindNode(const QString &name) const {
  const int index = IndexOfName(name);
  return index < 0 ? IXMLNodePtr() : IXMLNodePtr(FList[index]);
}

IXMLNodePtr TXMLNodeList::GetNode(int index) const {
  CheckIndex(index, FList.size());
  return FList[index];
}

TXMLNodeList::~TXMLNodeList() {
  for (const TXMLNodePtr &node : FList)
    node->SetContainer(nullptr);
}

int TXMLNodeList::IndexOf(const IXMLNodePtr &node) const {
  for (qsizetype i = 0; i < Size(); ++i) {
    if (static_cast<IXMLNode *>(FList[i].get()) == node.get())
      return static_cast<int>(i);
  }
  return -1;
}

int TXMLNodeList::IndexOfName(const QString &name) const {
  for (qsizetype i = 0; i < Size(); ++i) {
    if (FList[i]->Name() == name)
      return static_cast<int>(i);
  }
  return -1;
}

void TXMLNodeList::AppendFresh(const TXMLNodePtr &node, const TXMLNode *owner) {
  FList.push_back(node);
  node->SetContainer(this);
  node->LinkParent(owner);
}

int TXMLNodeList::TakeIn(const TXMLNodePtr &node, qsizetype index) {
  const TXMLNodePtr owner = Owner();
  VELL_ASSERT_MSG(!node->IsAncestorOrSelfOf(owner), QStringLiteral("An XML node cannot be put below itself"));
  if (TXMLNodeList *container = node->Container()) {
    const qsizetype old = container->IndexOf(node);
    if (container == this && index > old)
      --index;
    container->Detach(old);
  }
  if (index < 0)
    index = Size();
  FList.insert(FList.begin() + index, node);
  node->SetContainer(this);
  node->LinkParent(owner.get());
  return static_cast<int>(index);
}

void TXMLNodeList::Detach(qsizetype index) {
  FList[index]->SetContainer(nullptr);
  FList.erase(FList.begin() + index);
}

// ---------------------------------------------------------------------------
// The document

class TXMLDocument final : public TXMLIntfImpl<IXMLDocument> {
public:
  IXMLNodePtr CreateRootNode(const QString &name) override {
    if (FRootNode)
      RaiseXMLError(cOneTopLevelNode);
    FRootNode = TXMLNodePtr(new TXMLNode(name));
    return FRootNode;
  }
  IXMLNodePtr CreateNode(const QString &name) override { return TXMLNodePtr(new TXMLNode(name)); }
  bool GetFormatted() const override { return FFormatted; }
  QString GetXML() const override { return BuildLines(false).GetText(); }
  IXMLNodePtr GetRootNode() const override { return FRootNode; }
  QString GetEncoding() const override { return FEncoding; }
  QString GetFileName() const override { return FFileName; }
  bool GetWriteDeclaration() const override { return FWriteDeclaration; }
  QString GetVersion() const override { return FVersion; }
  QString GetDisplayText() const override { return BuildLines(true).GetText(); }
  bool IsEmpty() const override { return !FRootNode; }
  void LoadFromFile(const QString &fileName) override;
  void LoadFromStream(QIODevice *stream) override;
  void SaveToFile(const QString &fileName) const override;
  void SaveToStream(QIODevice *stream) const override {
    VELL_ASSERT(stream);
    BuildLines(false).SaveToStream(stream);
  }
  void SetFormatted(bool value) override { FFormatted = value; }
  void SetEncoding(const QString &value) override { FEncoding = value; }
  void SetFileName(const QString &value) override { FFileName = value; }
  void SetWriteDeclaration(bool value) override { FWriteDeclaration = value; }
  void SetVersion(const QString &value) override { FVersion = value; }
  void SetXML(const QString &text) override;

private:
  TXMLStringList BuildLines(bool plainText) const;
  QString DeclarationLine() const;
  void WriteTree(TXMLStringList &lines, bool plainText) const;
  void OpenElement(QStringView tag);
  void CloseElement();
  void ReadDeclaration(QStringView tag);

  TXMLNodePtr FRootNode;
  bool FFormatted = true;
  bool FWriteDeclaration = true;
  QString FEncoding = cUtf8;
  QString FFileName;
  QString FVersion = QStringLiteral("1.0");
  TXMLNodePtr FCurrentNode; // the open element while parsing
};

// ---------------------------------------------------------------------------
// Writing

TXMLStringList TXMLDocument::BuildLines(bool plainText) const {
  TXMLStringList lines(FEncoding, FFormatted ? QStringLiteral("\r\n") : QString());
  if (FWriteDeclaration) {
    lines.Text() += DeclarationLine();
    lines.EndLine();
  }
  if (FRootNode)
    WriteTree(lines, plainText);
  return lines;
}

QString TXMLDocument::DeclarationLine() const {
  const QString version =
      QStringLiteral("version=\"") + (FVersion.isEmpty() ? QStringLiteral("1.0") : FVersion) + u'"';
  const QString encoding = FEncoding.isEmpty() ? QString() : QStringLiteral("encoding=\"") + FEncoding + u'"';
  return QStringLiteral("<?xml ") + Trim(QString(version + u' ' + encoding)) + QStringLiteral("?>");
}

// One line per element, depth first, indented by four blanks per level: an
// element with children as start tag, children and end tag (its own text is
// not written); a childless element with its text on one line, or
// self-closing when the text is empty. The walk keeps its own stack, so
// depth costs no call stack.
void TXMLDocument::WriteTree(TXMLStringList &lines, bool plainText) const {
  const qsizetype rootLevel = FRootNode->GetLevel();
  QString &out = lines.Text();
  const auto indent = [&](qsizetype depth) {
    if (FFormatted)
      out.resize(out.size() + 4 * (rootLevel + depth), u' ');
  };
  std::vector<std::pair<const TXMLNode *, qsizetype>> open; // element, next child
  const auto writeNode = [&](const TXMLNode &node) {
    indent(static_cast<qsizetype>(open.size()));
    if (node.HasChildNodes()) {
      node.AppendStartTag(out, false);
      open.emplace_back(&node, 0);
    } else {
      const QString text = plainText ? node.GetAsString() : node.Value();
      node.AppendStartTag(out, text.isEmpty());
      if (!text.isEmpty()) {
        out += text;
        node.AppendEndTag(out);
      }
    }
    lines.EndLine();
  };
  writeNode(*FRootNode);
  while (!open.empty()) {
    auto &[node, next] = open.back();
    if (next < node->ChildCount()) {
      writeNode(*node->Child(next++));
    } else {
      indent(static_cast<qsizetype>(open.size()) - 1);
      node->AppendEndTag(out);
      lines.EndLine();
      open.pop_back();
    }
  }
}

void TXMLDocument::SaveToFile(const QString &fileName) const {
  // Written to a temporary file that replaces the target only when complete,
  // so a failed save leaves no truncated file behind.
  QSaveFile file(fileName);
  const auto fail = [&] {
    throw EFCreateError(QStringLiteral("Cannot create file \"%1\". %2").arg(fileName, file.errorString()));
  };
  if (!file.open(QIODevice::WriteOnly))
    fail();
  SaveToStream(&file);
  if (!file.commit())
    fail();
}

// ---------------------------------------------------------------------------
// Reading

void TXMLDocument::LoadFromFile(const QString &fileName) {
  QFile file(fileName);
  if (!file.open(QIODevice::ReadOnly))
    throw EFOpenError(QStringLiteral("Cannot open file \"%1\". %2").arg(fileName, file.errorString()));
  LoadFromStream(&file);
  FFileName = fileName;
}

void TXMLDocument::LoadFromStream(QIODevice *stream) {
  VELL_ASSERT(stream);
  FRootNode.reset();
  FVersion = QStringLiteral("1.0");
  SetXML(DecodeXMLBytes(stream->readAll(), FEncoding));
}

// The scanner: text outside tags goes to the open element (replacing what it
// had), "</...>" closes it, "<?...?>" is a declaration, "<!...>" is skipped and
// any other tag opens a new element; a tag ending in "/>" closes too. Every
// step moves forward, so the scan is linear in the text.
void TXMLDocument::SetXML(const QString &text) {
  FRootNode.reset();
  FVersion = QStringLiteral("1.0");
  FCurrentNode.reset();
  const QStringView view(text);
  const qsizetype length = view.size();
  qsizetype p = 0;
  while (p < length - 1) {
    if (view[p] != u'<') {
      qsizetype q = FindUnquoted(u'<', view, p);
      if (q < 0)
        q = length - 1;
      if (FCurrentNode)
        FCurrentNode->SetValue(view.sliced(p, q - p).toString());
      p = q;
      continue;
    }
    const qsizetype g = FindUnquoted(u'>', view, p);
    if (g < 0)
      RaiseXMLError(cTagMismatch);
    const QStringView tag = view.sliced(p, g - p + 1);
    if (tag[1] == u'/')
      CloseElement();
    else if (tag[1] == u'?')
      ReadDeclaration(tag);
    else if (tag[1] != u'!')
      OpenElement(tag);
    if (tag[tag.size() - 2] == u'/')
      CloseElement();
    p = g + 1;
  }
}

// A tag without a name ("<>", "< />") is refused: written back it would read
// as an end tag.
void TXMLDocument::OpenElement(QStringView tag) {
  TXMLNodePtr node(new TXMLNode(QString()));
  node->ParseStartTag(tag);
  if (node->Name().isEmpty())
    RaiseXMLError(cTagMismatch);
  if (FCurrentNode)
    FCurrentNode->Children().AppendFresh(node, FCurrentNode.get());
  else
    FRootNode = node;
  FCurrentNode = node;
}

void TXMLDocument::CloseElement() {
  if (!FCurrentNode)
    RaiseXMLError(cTagMismatch);
  FCurrentNode = FCurrentNode->Parent();
}

// "<?xml version=... encoding=...?>" read as the start tag of an element xml;
// its encoding and version become the document's.
void TXMLDocument::ReadDeclaration(QStringView tag) {
  QString startTag = tag.toString();
  startTag.remove(1, 1);
  if (startTag.size() >= 2)
    startTag.remove(startTag.size() - 2, 1);
  TXMLNodePtr declaration(new TXMLNode(QString()));
  declaration->ParseStartTag(startTag);
  const TXMLNodeAttributes &attributes = declaration->Attributes();
  if (const int index = attributes.IndexOf(QStringLiteral("encoding")); index >= 0)
    FEncoding = attributes.GetItem(index)->GetAsString();
  if (const int index = attributes.IndexOf(QStringLiteral("version")); index >= 0)
    FVersion = attributes.GetItem(index)->GetAsString();
}

} // namespace

// ===========================================================================
// Library functions

IXMLDocumentPtr NewXMLDocument(bool writeDeclaration, bool formatted) {
  IXMLDocumentPtr document(new TXMLDocument);
  document->SetFormatted(formatted);
  document->SetWriteDeclaration(writeDeclaration);
  return document;
}

IXMLDocumentPtr LoadXMLDocument(QIODevice *stream) {
  IXMLDocumentPtr document = NewXMLDocument();
  document->LoadFromStream(stream);
  return document;
}

void RaiseXMLError(const QString &message) {
  throw EXMLException(message);
}
