// Reads the header of arbitrary bytes from a buffer through the imaging
// service (every codec, chosen by signature): the first page, and the last
// one of a multi-page file. Failures are expected; crashes, hangs, leaks and
// sanitizer reports are findings, and so is a header that contradicts itself.
#include "imaging/VellGDIPAPI.h"
#include "imaging/VellGDIPOBJ.h"

#include <QBuffer>
#include <QCoreApplication>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

void DiscardMessage(QtMsgType, const QMessageLogContext &, const QString &) {}

void Check(bool condition) {
  if (!condition)
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv) {
  static QCoreApplication application(*argc, *argv);
  qInstallMessageHandler(DiscardMessage);
  VellGdiplusStartup();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
  QBuffer input(&bytes);
  input.open(QIODevice::ReadOnly);
  ImageHeader first;
  if (GdipReadImageHeaderFromStream(&input, 0, &first) != Ok)
    return 0;
  Check(first.PageCount >= 1 && first.MimeType != nullptr);
  Check(first.Orientation >= 1 && first.Orientation <= 8);
  if (first.PageCount > 1) {
    input.seek(0);
    ImageHeader last;
    if (GdipReadImageHeaderFromStream(&input, first.PageCount - 1, &last) == Ok)
      Check(last.PageCount == first.PageCount);
  }
  return 0;
}
