// Reads arbitrary bytes as a JPEG file: the header, then the pixels, and when
// that succeeds writes them back and decodes the result. Refused input is
// expected; crashes, hangs, leaks and sanitizer reports are findings.
#include "imaging/VellGDIPAPI.h"
#include "imaging/VellJpegCodec.h"

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
  TJpegHeader header;
  TVellJpegCodec::ReadHeader(input, header, error);
  input.seek(0);
  TJpegPicture picture;
  if (!TVellJpegCodec::Decode(input, picture, error))
    return 0;
  QBuffer output;
  output.open(QIODevice::ReadWrite);
  TJpegOptions options;
  options.Progressive = size % 2 == 1;
  if (!TVellJpegCodec::Encode(picture.Pixels, options, output, error))
    std::abort();
  output.seek(0);
  TJpegPicture again;
  if (!TVellJpegCodec::Decode(output, again, error) || again.Pixels.size() != picture.Pixels.size())
    std::abort();
  return 0;
}
