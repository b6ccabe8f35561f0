// Support library: text and path helpers, whole-stream raw DEFLATE
// compression, the application-wide wait cursor and the COM start-up pair.
#pragma once

#include <QBuffer>
#include <QByteArray>
#include <QString>
#include <QStringList>

// An in-memory byte stream, open for reading and writing from construction.
class TMemoryStream : public QBuffer {
public:
  TMemoryStream();
  explicit TMemoryStream(const QByteArray &bytes);
  // Empties the stream (size and position 0).
  void Clear();
  // The whole content, whatever the position.
  const QByteArray &Bytes() const { return buffer(); }
};

class TVellStr {
public:
  TVellStr() = delete;
  // CR LF, "=", "[" and "]" become "#13#10", "#61", "#91", "#93".
  static QString EncodeIniText(const QString &text);
  // The reverse passes, in the same order.
  static QString DecodeIniText(const QString &text);
  // Index of the first element equal to text, or -1.
  static int IndexOfText(const QString &text, const QStringList &list, bool caseSensitive);
  // text with ch appended unless it is empty or already ends with ch.
  static QString IncludeTrailingChar(const QString &text, QChar ch);
};

class TVellWin {
public:
  TVellWin() = delete;
  // Module handle of the running executable, the only module this platform names.
  static constexpr void *MainInstance = nullptr;
  // The path with links resolved where it exists; unchanged where it does not.
  static QString GetLongPathName(const QString &path);
  // Full path of the module's file; the running executable for any handle here.
  static QString GetModuleFileName(void *module = MainInstance);
  // Folder of GetModuleFileName, ending in "/".
  static QString GetModulePath(void *module = MainInstance);
};

class TVellStream {
public:
  TVellStream() = delete;
  // The whole source as one raw DEFLATE stream into dest (positions end at 0).
  static void CompressStream(TMemoryStream &source, TMemoryStream &dest);
  // Raw DEFLATE from the start of source into dest; EDecompressionError when
  // the bytes are not a complete DEFLATE stream.
  static void DecompressStream(TMemoryStream &source, TMemoryStream &dest);
  // The same on byte arrays, for callers that hold no stream.
  static QByteArray Compress(const QByteArray &bytes);
  static QByteArray Decompress(const QByteArray &bytes);
};

// Hourglass cursor while the GUI is busy; not counted: one End restores the
// default however many Begins preceded it. Nothing happens without a GUI.
void BeginWaitCursor();
void EndWaitCursor();

// Process start-up and shut-down of the platform component library. There is
// none here; the pair remembers its start-up result like the original does.
void VellComInitialize();
void VellComUninitialize();
bool VellComInitialized();
