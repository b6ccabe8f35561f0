// Reads arbitrary bytes as the picture container's raw record and, when a
// picture results, writes it, reads that back and compares. Crashes, hangs,
// leaks, sanitizer reports and a picture that does not survive its own record
// are findings.
#include "PicFiles/VellGraphUtils.h"
#include "fuzz/FuzzPixelLimit.h"

#include <QBuffer>
#include <QCoreApplication>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv) {
  static QCoreApplication application(*argc, *argv);
  VellGdiplusStartup();
  // The legacy record is sized by its header alone; the pixel limit bounds it.
  LimitPixelsForFuzzing();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  QBuffer input;
  input.setData(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
  input.open(QIODevice::ReadOnly);
  TVellBitmapEx picture;
  try {
    picture.ReadData(input);
  } catch (const EVellError &) {
    return 0;
  }
  QBuffer record;
  record.open(QIODevice::ReadWrite);
  picture.WriteData(record);
  record.seek(0);
  TVellBitmapEx again;
  again.ReadData(record);
  if (!again.SameAs(picture))
    std::abort();
  return 0;
}
