// Reads arbitrary bytes as a JPEG file: the header, then the pixels, and when
// that succeeds writes them back (progressive for odd input sizes) and decodes
// the result at the same size.
#include "fuzz/ImagingCodecFuzz.h"
#include "imaging/VellJpegCodec.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  LimitPixelsForFuzzing();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  return FuzzImagingCodec<TVellJpegCodec, TJpegHeader, TJpegPicture>(
      data, size,
      [size](const TJpegPicture &picture, QIODevice &output, QString &error) {
        TJpegOptions options;
        options.Progressive = size % 2 == 1;
        return TVellJpegCodec::Encode(picture.Pixels, options, output, error);
      },
      [](const TJpegPicture &a, const TJpegPicture &b) { return a.Pixels.size() == b.Pixels.size(); });
}
