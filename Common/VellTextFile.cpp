#include "Common/VellTextFile.h"

#include "Common/VellErrors.h"

#include <QFile>
#include <QSaveFile>

namespace {

constexpr char16_t LineSeparator = u'\u2028';

bool StartsWith(const QByteArray &bytes, std::initializer_list<unsigned char> mark) {
  if (bytes.size() < static_cast<qsizetype>(mark.size()))
    return false;
  qsizetype i = 0;
  for (unsigned char b : mark)
    if (static_cast<unsigned char>(bytes[i++]) != b)
      return false;
  return true;
}

QString FromUtf16(const QByteArray &bytes, bool bigEndian) {
  QString text(bytes.size() / 2, Qt::Uninitialized);
  for (qsizetype i = 0; i < text.size(); ++i) {
    const auto hi = static_cast<unsigned char>(bytes[2 * i + (bigEndian ? 0 : 1)]);
    const auto lo = static_cast<unsigned char>(bytes[2 * i + (bigEndian ? 1 : 0)]);
    text[i] = QChar(static_cast<char16_t>(hi << 8 | lo));
  }
  return text;
}

} // namespace

QString TVellTextFile::DecodeText(const QByteArray &bytes) {
  if (StartsWith(bytes, {0xFF, 0xFE}))
    return FromUtf16(bytes.mid(2), false);
  if (StartsWith(bytes, {0xFE, 0xFF}))
    return FromUtf16(bytes.mid(2), true);
  if (StartsWith(bytes, {0xEF, 0xBB, 0xBF}))
    return QString::fromUtf8(bytes.mid(3));
  return QString::fromLocal8Bit(bytes);
}

QStringList TVellTextFile::SplitLines(const QString &text) {
  QStringList lines;
  qsizetype start = 0;
  qsizetype pos = 0;
  const qsizetype size = text.size();
  while (pos < size) {
    const QChar c = text[pos];
    if (c != u'\r' && c != u'\n' && c != LineSeparator) {
      ++pos;
      continue;
    }
    lines.append(text.mid(start, pos - start));
    if (pos < size && text[pos] == u'\r')
      ++pos;
    if (pos < size && text[pos] == u'\n')
      ++pos;
    if (pos < size && text[pos] == LineSeparator)
      ++pos;
    start = pos;
  }
  if (start < size)
    lines.append(text.mid(start));
  return lines;
}

QStringList TVellTextFile::ReadLines(const QString &fileName) {
  QFile file(fileName);
  if (!file.open(QIODevice::ReadOnly))
    throw EFOpenError(QStringLiteral("Cannot open file \"%1\". %2").arg(fileName, file.errorString()));
  return SplitLines(DecodeText(file.readAll()));
}

void TVellTextFile::WriteUtf16Lines(const QString &fileName, const QStringList &lines) {
  QByteArray bytes("\xFF\xFE", 2);
  for (const QString &line : lines) {
    for (QChar c : line + QStringLiteral("\r\n")) {
      bytes.append(static_cast<char>(c.unicode() & 0xFF));
      bytes.append(static_cast<char>(c.unicode() >> 8));
    }
  }
  QSaveFile file(fileName);
  if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
    throw EFCreateError(QStringLiteral("Cannot create file \"%1\". %2").arg(fileName, file.errorString()));
}
