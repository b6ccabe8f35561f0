// Reads arbitrary bytes as the folder dialog's history file, writes the lines
// back as the dialog does and reads them again: the second reading must give
// the same lines. Crashes, hangs, leaks, sanitizer reports and a history that
// changes on the way through are findings.
#include "Common/VellTextFile.h"

#include <QFile>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

QString ScratchFile(const char *name) {
  static const QTemporaryDir folder(QStringLiteral("/dev/shm/pt-fuzz-XXXXXX"));
  return folder.filePath(QLatin1String(name));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const QString input = ScratchFile("HistoryPath.xml");
  {
    QFile file(input);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
      return 0;
    file.write(reinterpret_cast<const char *>(data), static_cast<qint64>(size));
  }
  const QStringList lines = TVellTextFile::ReadLines(input);
  const QString written = ScratchFile("written.xml");
  TVellTextFile::WriteUtf16Lines(written, lines);
  if (TVellTextFile::ReadLines(written) != lines) {
    std::fprintf(stderr, "the history changed when written and read again\n");
    std::abort();
  }
  return 0;
}
