// Loads arbitrary bytes as an enhanced or placeable Windows metafile and,
// when that succeeds, plays it back onto a small picture, then writes it in
// both forms (the other form is recorded from its playback) and loads each
// again. Refused input is expected; crashes, hangs, leaks and sanitizer
// reports are findings, and so is a written metafile that does not load.
#include "Common/VellErrors.h"
#include "PicFiles/VellMetafile.h"
#include "fuzz/FuzzPixelLimit.h"
#include "imaging/VellGDIPAPI.h"

#include <QBuffer>
#include <QGuiApplication>
#include <QPainter>

#include <cstddef>
#include <cstdint>

namespace {

void DiscardQtMessage(QtMsgType, const QMessageLogContext &, const QString &) {}

bool LoadFrom(TMetafile &metafile, const QByteArray &bytes) {
  QBuffer input;
  input.setData(bytes);
  input.open(QIODevice::ReadOnly);
  (void)metafile.CanLoadFromStream(input);
  try {
    metafile.LoadFromStream(input);
    return true;
  } catch (const EVellError &) {
    return false;
  }
}

void WriteAndReload(TMetafile &metafile, bool enhanced) {
  metafile.SetEnhanced(enhanced);
  QBuffer output;
  output.open(QIODevice::WriteOnly);
  metafile.SaveToStream(output);
  TMetafile again;
  if (!LoadFrom(again, output.data()))
    __builtin_trap(); // what we write we must read
}

} // namespace

// fontconfig keeps the patterns it matches for the fonts text records name
// in caches that the leak checker cannot see; those are not findings.
extern "C" const char *__lsan_default_suppressions() {
  return "leak:libfontconfig.so\n";
}

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  static QGuiApplication application(*argc, *argv);
  qInstallMessageHandler(DiscardQtMessage);
  LimitPixelsForFuzzing();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  TMetafile metafile;
  if (!LoadFrom(metafile, QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size))))
    return 0;
  QImage picture(48, 48, QImage::Format_ARGB32_Premultiplied);
  picture.fill(Qt::white);
  {
    QPainter painter(&picture);
    metafile.Draw(painter, QRect(4, 4, 40, 40));
  }
  const bool enhanced = metafile.Enhanced();
  WriteAndReload(metafile, enhanced);
  WriteAndReload(metafile, !enhanced);
  return 0;
}
