#include "tests/support/TestFiles.h"

#include <algorithm>
#include <cstdlib>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

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

bool RunToolOk(const QString &program, const QStringList &arguments, QByteArray *output) {
  QProcess process;
  process.start(program, arguments);
  if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit ||
      process.exitCode() != 0) {
    ADD_FAILURE() << program.toStdString() << " " << arguments.join(' ').toStdString() << ": "
                  << process.readAllStandardError().toStdString();
    return false;
  }
  if (output)
    *output = process.readAllStandardOutput();
  return true;
}

QByteArray RunTool(const QString &program, const QStringList &arguments) {
  QByteArray output;
  RunToolOk(program, arguments, &output);
  return output;
}

QByteArray MagickRgba(const QString &file) {
  return RunTool("convert", {file, "-depth", "8", "RGBA:-"});
}

QByteArray Rgba(const QImage &image) {
  const QImage rgba = image.convertToFormat(QImage::Format_RGBA8888);
  QByteArray bytes;
  for (int y = 0; y < rgba.height(); ++y)
    bytes.append(reinterpret_cast<const char *>(rgba.constScanLine(y)), rgba.width() * 4);
  return bytes;
}

int LargestByteDifference(const QByteArray &a, const QByteArray &b) {
  if (a.size() != b.size())
    return 256;
  int largest = 0;
  for (qsizetype i = 0; i < a.size(); ++i)
    largest = std::max(largest, std::abs(int(uchar(a[i])) - int(uchar(b[i]))));
  return largest;
}
