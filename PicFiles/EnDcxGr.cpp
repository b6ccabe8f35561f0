#include "PicFiles/EnDcxGr.h"

#include <QBuffer>
#include <QIODevice>
#include <QtEndian>

namespace {

[[noreturn]] void NotValid() { throw EDcxError(QStringLiteral("The DCX file header is not valid")); }

// One little-endian 32-bit value, or false when fewer than 4 bytes remain.
bool ReadU32(QIODevice &stream, quint32 &value) {
  uchar bytes[4];
  if (stream.read(reinterpret_cast<char *>(bytes), 4) != 4)
    return false;
  value = qFromLittleEndian<quint32>(bytes);
  return true;
}

quint32 TableEntry(QIODevice &stream) {
  quint32 value = 0;
  if (!ReadU32(stream, value))
    NotValid();
  return value;
}

// From the start of the stream: the magic (a short read is a stream error).
void ReadMagic(QIODevice &stream) {
  if (!stream.seek(0))
    throw EStreamError(QStringLiteral("Stream read error"));
  quint32 magic = 0;
  if (!ReadU32(stream, magic))
    throw EStreamError(QStringLiteral("Stream read error"));
  if (magic != TDcxGraphic::Magic)
    NotValid();
}

void WriteU32(QIODevice &stream, quint32 value) {
  uchar bytes[4];
  qToLittleEndian(value, bytes);
  WriteBytes(stream, reinterpret_cast<const char *>(bytes), 4);
}

} // namespace

VELL_IMPLEMENT_CLASS(TDcxGraphic, TPcxGraphic)

bool TDcxGraphic::CanLoadFromStream(QIODevice &stream) const {
  const QByteArray head = PeekBytes(stream, 4);
  return head.size() == 4 && qFromLittleEndian<quint32>(head.constData()) == Magic;
}

void TDcxGraphic::ReadHeader(QIODevice &stream, TPicInfo &info) const {
  TDcxGraphic page;
  page.LoadPage(stream, 1);
  info.Width = page.Width();
  info.Height = page.Height();
  info.BitsPerPixel = page.Pixels().PixelDepth();
  info.XDotsPerInch = page.XDotsPerInch();
  info.YDotsPerInch = page.YDotsPerInch();
}

int TDcxGraphic::PageCount(QIODevice &stream) {
  ReadMagic(stream);
  int pages = 0;
  while (TableEntry(stream) != 0)
    ++pages;
  return pages;
}

void TDcxGraphic::LoadPage(QIODevice &stream, int n) {
  ReadMagic(stream);
  if (n < 1)
    NotValid();
  quint32 start = 0;
  for (int i = 1; i <= n; ++i)
    if ((start = TableEntry(stream)) == 0)
      NotValid();
  const quint32 following = TableEntry(stream);
  // The page ends where the next begins, or with the file; a table pointing
  // past the end is refused before anything is read.
  const qint64 end = following != 0 ? qint64(following) : stream.size();
  if (end <= qint64(start) || end > stream.size() || !stream.seek(start))
    NotValid();
  QByteArray page = stream.read(end - start);
  if (page.size() != end - start)
    NotValid();
  QBuffer pageStream(&page);
  pageStream.open(QIODevice::ReadOnly);
  TPcxGraphic::LoadFromStream(pageStream);
}

void TDcxGraphic::SaveToStream(QIODevice &stream) const {
  WriteU32(stream, Magic);
  WriteU32(stream, 4 + 4 * TableEntries);
  WriteBytes(stream, QByteArray(4 * (TableEntries - 1), '\0'));
  TPcxGraphic::SaveToStream(stream);
}

void TDcxGraphic::AppendPage(QIODevice &stream) const {
  if (stream.size() == 0) {
    SaveToStream(stream);
    return;
  }
  // The page is encoded first, so that a failing encoder leaves the file as it was.
  QByteArray page;
  QBuffer pageStream(&page);
  pageStream.open(QIODevice::WriteOnly);
  TPcxGraphic::SaveToStream(pageStream);
  const qint64 end = stream.size();
  if (!stream.seek(0))
    NotValid();
  quint32 magic = 0;
  if (!ReadU32(stream, magic) || magic != Magic)
    NotValid();
  const quint32 first = TableEntry(stream);
  if (first == 0)
    NotValid();
  while (TableEntry(stream) != 0) {
  }
  // The new terminator must fit before the first page as well.
  // (the new terminator must fit before the first page as well; a page offset
  // beyond 32 bits has no place in the table either)
  if (stream.pos() + 4 > qint64(first) || end > qint64(UINT32_MAX))
    throw EDcxError(QStringLiteral("The DCX file header is full"));
  stream.seek(stream.pos() - 4);
  WriteU32(stream, quint32(end));
  WriteU32(stream, 0);
  if (!stream.seek(end))
    throw EStreamError(QStringLiteral("Stream write error"));
  WriteBytes(stream, page);
}
