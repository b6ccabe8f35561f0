#include "tests/support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

TTestDir::TTestDir() : FDir(QDir::tempPath() + QStringLiteral("/pagetailor-test-XXXXXX")) {
  EXPECT_TRUE(FDir.isValid());
}

QString TTestDir::Path() const {
  return FDir.path() + u'/';
}

QString TTestDir::File(const QString &relative) const {
  const QString path = Path() + relative;
  QDir().mkpath(QFileInfo(path).absolutePath());
  return path;
}

QString TTestDir::Write(const QString &relative, const QByteArray &bytes) const {
  const QString path = File(relative);
  QFile file(path);
  EXPECT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
  file.write(bytes);
  return path;
}

QByteArray ReadWholeFile(const QString &path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly))
    return {};
  return file.readAll();
}
