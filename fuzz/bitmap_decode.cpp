// Decodes arbitrary bytes behind a ".tif" name into a TVellBitmap (TIFF by
// libtiff, PNG, JPEG, BMP and GIF by signature) and, when that succeeds,
// does what the batch run does with it: re-encode it as loaded and draw it
// scaled onto a small 24-bit page that is encoded too. Decoding failures are
// expected; crashes, hangs, leaks and sanitizer reports are findings.
#include "imaging/VellGDIPOBJ.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>

namespace {

// Files of this process in memory-backed storage, removed at exit.
QString ScratchFile(const char *name) {
  static const QTemporaryDir folder(QStringLiteral("/dev/shm/pt-fuzz-XXXXXX"));
  return folder.filePath(QLatin1String(name));
}

// The decoders' complaints about damaged input are expected by the thousand.
void DiscardMessage(QtMsgType, const QMessageLogContext &, const QString &) {}

void WriteInput(const QString &path, const uint8_t *data, size_t size) {
  QFile file(path);
  if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
    file.write(reinterpret_cast<const char *>(data), static_cast<qint64>(size));
}

void ConvertLikeTheBatchRun(TVellBitmap &image, const CLSID &tiff) {
  (void)image.GetHorizontalResolution();
  (void)image.GetVerticalResolution();
  (void)image.GetPixelFormat();
  image.Save(ScratchFile("unchanged.tif"), tiff);
  TVellBitmap page(64, 90, PixelFormat24bppRGB);
  page.SetResolution(image.GetHorizontalResolution(), image.GetVerticalResolution());
  TVellGraphics graphics(&page);
  graphics.Clear(0xFFFFFFFF);
  graphics.DrawImage(&image, 3, 5, 58, 80);
  page.Save(ScratchFile("page.tif"), tiff);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv) {
  static QCoreApplication application(*argc, *argv);
  qInstallMessageHandler(DiscardMessage);
  VellGdiplusStartup();
  // Large enough for every seed and for real decoding work, small enough that
  // an announced size near the limit costs little time and memory.
  GdipSetPixelLimit(qint64(1) << 24);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static CLSID tiff;
  static const bool haveEncoder = GetEncoderClsid(QStringLiteral("image/tiff"), tiff) >= 0;
  const QString input = ScratchFile("input.tif");
  WriteInput(input, data, size);
  TVellBitmap image(input);
  if (image.GetLastStatus() == Ok && haveEncoder)
    ConvertLikeTheBatchRun(image, tiff);
  return 0;
}
