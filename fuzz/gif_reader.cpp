// Reads arbitrary bytes as a GIF file: the header, then the first image, and
// when that succeeds writes it back, decodes the result and checks that the
// indices came back unchanged. Refused input is expected; crashes, hangs,
// leaks and sanitizer reports are findings.
#include "imaging/VellGDIPAPI.h"
#include "imaging/VellGifCodec.h"

#include <QBuffer>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  // Small enough that an announced size near the limit costs little.
  GdipSetPixelLimit(qint64(1) << 22);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  QBuffer input;
  input.setData(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
  input.open(QIODevice::ReadOnly);
  QString error;
  TGifHeader header;
  TVellGifCodec::ReadHeader(input, header, error);
  input.seek(0);
  TGifPicture picture;
  if (!TVellGifCodec::Decode(input, picture, error))
    return 0;
  QBuffer output;
  output.open(QIODevice::ReadWrite);
  if (!TVellGifCodec::Encode(picture.Pixels, TDitherKernel::FloydSteinberg, output, error))
    std::abort();
  output.seek(0);
  TGifPicture again;
  if (!TVellGifCodec::Decode(output, again, error) ||
      again.Pixels.convertToFormat(QImage::Format_ARGB32) !=
          picture.Pixels.convertToFormat(QImage::Format_ARGB32))
    std::abort();
  return 0;
}
