// Loads arbitrary bytes as a BMP file into the picture library's host bitmap
// and, when that succeeds, writes it back, loads that again and converts it to
// 8 bits. Refused input is expected; crashes, hangs, leaks and sanitizer
// reports are findings.
#include "PicFiles/VellHostGraphics.h"
#include "fuzz/FuzzPixelLimit.h"
#include "imaging/VellGDIPOBJ.h"

#include <QBuffer>
#include <QGuiApplication>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  static QGuiApplication application(*argc, *argv);
  VellGdiplusStartup();
  LimitPixelsForFuzzing();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  QBuffer input;
  input.setData(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
  input.open(QIODevice::ReadOnly);
  TBitmap bitmap;
  try {
    bitmap.LoadFromStream(input);
  } catch (const EVellError &) {
    return 0;
  }
  QBuffer output;
  output.open(QIODevice::ReadWrite);
  bitmap.SaveToStream(output);
  output.seek(0);
  TBitmap again;
  again.LoadFromStream(output);
  again.SetPixelDepth(8);
  return 0;
}
