// Helpers shared by the test suites: temporary folders and whole-file I/O.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// A fresh temporary folder, removed with the object. Path() ends in "/".
class TTestDir {
public:
  TTestDir();
  QString Path() const;
  // Path of a file below the folder; parent folders are created.
  QString File(const QString &relative) const;
  // Writes bytes to a file below the folder and returns its path.
  QString Write(const QString &relative, const QByteArray &bytes) const;

private:
  QTemporaryDir FDir;
};

QByteArray ReadWholeFile(const QString &path);

// Runs an independent tool (ImageMagick, libvips, netpbm, libjpeg-turbo's and
// giflib's programs). False, with a test failure carrying its stderr, when it
// cannot start or fails; its stdout goes to output when given.
bool RunToolOk(const QString &program, const QStringList &arguments, QByteArray *output = nullptr);
// The same, returning its stdout (empty when it failed).
QByteArray RunTool(const QString &program, const QStringList &arguments);
// ImageMagick's decoding of a file as R, G, B, A bytes.
QByteArray MagickRgba(const QString &file);
// The pixels as R, G, B, A bytes, rows top to bottom.
QByteArray Rgba(const QImage &image);
// Largest difference between bytes at the same place; 256 when the sizes differ.
int LargestByteDifference(const QByteArray &a, const QByteArray &b);
