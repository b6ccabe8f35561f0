// Decodes arbitrary bytes from a buffer into TVellBitmaps (every codec of the
// imaging service, chosen by signature; up to three pages of a multi-page
// file) and, when that succeeds, does what the batch run does with them:
// writes the pages as loaded and drawn scaled onto small 24-bit pages into
// one TIFF each, in memory. Decoding failures are expected; crashes, hangs,
// leaks and sanitizer reports are findings.
#include "fuzz/FuzzPixelLimit.h"
#include "imaging/VellGDIPOBJ.h"

#include <QBuffer>
#include <QCoreApplication>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace {

// The decoders' complaints about damaged input are expected by the thousand.
void DiscardMessage(QtMsgType, const QMessageLogContext &, const QString &) {}

void ConvertLikeTheBatchRun(std::vector<std::unique_ptr<TVellBitmap>> &pages, const CLSID &tiff) {
  QBuffer unchanged, fitted;
  unchanged.open(QIODevice::ReadWrite);
  fitted.open(QIODevice::ReadWrite);
  TVellPageWriter asLoaded(&unchanged, tiff), onPages(&fitted, tiff);
  for (auto &image : pages) {
    (void)image->GetPixelFormat();
    asLoaded.AddImage(image.get());
    onPages.AddFittedPage(image.get(), 64, 90, Rect{3, 5, 58, 80}, image->GetHorizontalResolution());
  }
  asLoaded.Commit();
  onPages.Commit();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv) {
  static QCoreApplication application(*argc, *argv);
  qInstallMessageHandler(DiscardMessage);
  VellGdiplusStartup();
  LimitPixelsForFuzzing();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static CLSID tiff;
  static const bool haveEncoder = GetEncoderClsid(QStringLiteral("image/tiff"), tiff) >= 0;
  QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
  QBuffer input(&bytes);
  input.open(QIODevice::ReadOnly);
  ImageHeader header;
  const quint32 pageCount = GdipReadImageHeaderFromStream(&input, 0, &header) == Ok ? header.PageCount : 1;
  std::vector<std::unique_ptr<TVellBitmap>> pages;
  for (quint32 page = 0; page < std::min(pageCount, 3u); ++page) {
    input.seek(0);
    auto image = std::make_unique<TVellBitmap>(&input, page);
    if (image->GetLastStatus() == Ok)
      pages.push_back(std::move(image));
  }
  if (!pages.empty() && haveEncoder)
    ConvertLikeTheBatchRun(pages, tiff);
  return 0;
}
