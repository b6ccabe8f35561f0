// Reads arbitrary bytes as a PNG file: the header, then the pixels, and when
// that succeeds writes them back (interlaced for odd input sizes) and decodes
// the result at the same size.
#include "fuzz/ImagingCodecFuzz.h"
#include "imaging/VellPngCodec.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  LimitPixelsForFuzzing();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  return FuzzImagingCodec<TVellPngCodec, TPngHeader, TPngPicture>(
      data, size,
      [size](const TPngPicture &picture, QIODevice &output, QString &error) {
        TPngOptions options;
        options.Level = 1;
        options.Interlaced = size % 2 == 1;
        return TVellPngCodec::Encode(picture, options, output, error);
      },
      [](const TPngPicture &a, const TPngPicture &b) { return a.Pixels.size() == b.Pixels.size(); });
}
