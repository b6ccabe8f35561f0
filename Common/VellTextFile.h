// Line-oriented text files as the language files and the folder history use
// them: the encoding is chosen by the byte-order mark, lines break at CR LF,
// CR, LF or U+2028.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

class TVellTextFile {
public:
  TVellTextFile() = delete;
  // The text of the bytes: FF FE UTF-16LE, FE FF UTF-16BE, EF BB BF UTF-8, and
  // the local 8-bit code page for anything else. The mark is not part of it.
  static QString DecodeText(const QByteArray &bytes);
  // The lines of a text. CR, LF and U+2028 directly following one another in
  // this order make one break; a break at the very end adds no empty line.
  static QStringList SplitLines(const QString &text);
  // Both on the content of a file; EFOpenError "Cannot open file "%s". %s"
  // when it cannot be read.
  static QStringList ReadLines(const QString &fileName);
  // The lines as UTF-16LE with mark, each followed by CR LF, replacing the
  // file as a whole; EFCreateError "Cannot create file "%s". %s" on failure.
  static void WriteUtf16Lines(const QString &fileName, const QStringList &lines);
};
