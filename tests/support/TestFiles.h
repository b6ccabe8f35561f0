// Helpers shared by the test suites: temporary folders and whole-file I/O.
#pragma once

#include <QByteArray>
#include <QString>
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
