#include "Common/VellUtils.h"

#include "Common/VellErrors.h"

#include <QCoreApplication>
#include <QCursor>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>

#include <zlib.h>

#include <algorithm>

TMemoryStream::TMemoryStream() {
  open(QIODevice::ReadWrite);
}

TMemoryStream::TMemoryStream(const QByteArray &bytes) {
  setData(bytes);
  open(QIODevice::ReadWrite);
}

void TMemoryStream::Clear() {
  buffer().clear();
  seek(0);
}

// ---- TVellStr ----

QString TVellStr::EncodeIniText(const QString &text) {
  QString result = text;
  result.replace(QStringLiteral("\r\n"), QStringLiteral("#13#10"));
  result.replace(u'=', QStringLiteral("#61"));
  result.replace(u'[', QStringLiteral("#91"));
  result.replace(u']', QStringLiteral("#93"));
  return result;
}

QString TVellStr::DecodeIniText(const QString &text) {
  QString result = text;
  result.replace(QStringLiteral("#13#10"), QStringLiteral("\r\n"));
  result.replace(QStringLiteral("#61"), QStringLiteral("="));
  result.replace(QStringLiteral("#91"), QStringLiteral("["));
  result.replace(QStringLiteral("#93"), QStringLiteral("]"));
  return result;
}

int TVellStr::IndexOfText(const QString &text, const QStringList &list, bool caseSensitive) {
  const Qt::CaseSensitivity cs = caseSensitive ? Qt::CaseSensitive : Qt::CaseInsensitive;
  for (int i = 0; i < list.size(); ++i)
    if (QString::compare(list[i], text, cs) == 0)
      return i;
  return -1;
}

QString TVellStr::IncludeTrailingChar(const QString &text, QChar ch) {
  if (text.isEmpty() || text.endsWith(ch))
    return text;
  return text + ch;
}

// ---- TVellWin ----

QString TVellWin::GetLongPathName(const QString &path) {
  const QString canonical = QFileInfo(path).canonicalFilePath();
  return canonical.isEmpty() ? path : canonical;
}

QString TVellWin::GetModuleFileName(void * /*module*/) {
  if (QCoreApplication::instance())
    return GetLongPathName(QCoreApplication::applicationFilePath());
  return GetLongPathName(QFile::symLinkTarget(QStringLiteral("/proc/self/exe")));
}

QString TVellWin::GetModulePath(void *module) {
  const QString file = GetModuleFileName(module);
  return file.left(file.lastIndexOf(u'/') + 1);
}

// ---- TVellStream ----

namespace {

constexpr int RawDeflateWindowBits = -15; // negative: no zlib header or trailer
constexpr int ChunkSize = 64 * 1024;

QString ZlibMessage(const z_stream &zs, int code) {
  if (zs.msg)
    return QString::fromUtf8(zs.msg);
  return QString::fromUtf8(zError(code));
}

} // namespace

QByteArray TVellStream::Compress(const QByteArray &bytes) {
  z_stream zs{};
  if (deflateInit2(&zs, Z_DEFAULT_COMPRESSION, Z_DEFLATED, RawDeflateWindowBits, 8, Z_DEFAULT_STRATEGY) !=
      Z_OK)
    throw EVellError(QStringLiteral("Cannot start the compressor"));
  QByteArray out;
  out.resize(static_cast<qsizetype>(deflateBound(&zs, static_cast<uLong>(bytes.size()))));
  zs.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(bytes.constData()));
  zs.avail_in = static_cast<uInt>(bytes.size());
  zs.next_out = reinterpret_cast<Bytef *>(out.data());
  zs.avail_out = static_cast<uInt>(out.size());
  const int code = deflate(&zs, Z_FINISH);
  const qsizetype written = static_cast<qsizetype>(zs.total_out);
  deflateEnd(&zs);
  if (code != Z_STREAM_END)
    throw EVellError(QStringLiteral("Compression failed: %1").arg(QString::fromUtf8(zError(code))));
  out.truncate(written);
  return out;
}

QByteArray TVellStream::Decompress(const QByteArray &bytes) {
  z_stream zs{};
  if (inflateInit2(&zs, RawDeflateWindowBits) != Z_OK)
    throw EVellError(QStringLiteral("Cannot start the decompressor"));
  zs.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(bytes.constData()));
  zs.avail_in = static_cast<uInt>(bytes.size());
  QByteArray out;
  int code = Z_OK;
  while (code == Z_OK) {
    const qsizetype done = static_cast<qsizetype>(zs.total_out);
    const qsizetype room = std::max<qsizetype>(ChunkSize, done); // geometric growth
    out.resize(done + room);
    zs.next_out = reinterpret_cast<Bytef *>(out.data() + done);
    zs.avail_out = static_cast<uInt>(room);
    code = inflate(&zs, Z_NO_FLUSH);
  }
  const QString reason =
      code == Z_BUF_ERROR ? QStringLiteral("the data ends before its final block") : ZlibMessage(zs, code);
  const qsizetype produced = static_cast<qsizetype>(zs.total_out);
  inflateEnd(&zs);
  if (code != Z_STREAM_END)
    throw EDecompressionError(
        QStringLiteral("The data is not a valid compressed (raw DEFLATE) stream: %1").arg(reason));
  out.truncate(produced);
  return out;
}

void TVellStream::CompressStream(TMemoryStream &source, TMemoryStream &dest) {
  source.seek(0);
  const QByteArray packed = Compress(source.Bytes());
  dest.Clear();
  dest.write(packed);
  dest.seek(0);
}

void TVellStream::DecompressStream(TMemoryStream &source, TMemoryStream &dest) {
  source.seek(0);
  const QByteArray unpacked = Decompress(source.Bytes());
  dest.Clear();
  dest.write(unpacked);
  dest.seek(0);
}

// ---- wait cursor ----

namespace {
bool HasGuiApplication() {
  return qobject_cast<QGuiApplication *>(QCoreApplication::instance()) != nullptr;
}
} // namespace

void BeginWaitCursor() {
  if (!HasGuiApplication())
    return;
  if (QGuiApplication::overrideCursor())
    QGuiApplication::changeOverrideCursor(QCursor(Qt::WaitCursor));
  else
    QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
}

void EndWaitCursor() {
  if (!HasGuiApplication())
    return;
  while (QGuiApplication::overrideCursor())
    QGuiApplication::restoreOverrideCursor();
}

// ---- COM ----

namespace {
bool ComInitialized = false;
}

void VellComInitialize() {
  ComInitialized = true;
}

void VellComUninitialize() {
  ComInitialized = false;
}

bool VellComInitialized() {
  return ComInitialized;
}
