// Reads arbitrary bytes as a GIF file: the header, then the first image, and
// when that succeeds writes it back and checks that the decoded result has
// the same pixels.
#include "fuzz/ImagingCodecFuzz.h"
#include "imaging/VellGifCodec.h"

#include <QImage>

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  LimitPixelsForFuzzing();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  return FuzzImagingCodec<TVellGifCodec, TGifHeader, TGifPicture>(
      data, size,
      [](const TGifPicture &picture, QIODevice &output, QString &error) {
        return TVellGifCodec::Encode(picture.Pixels, TDitherKernel::FloydSteinberg, output, error);
      },
      [](const TGifPicture &a, const TGifPicture &b) {
        return a.Pixels.convertToFormat(QImage::Format_ARGB32) == b.Pixels.convertToFormat(QImage::Format_ARGB32);
      });
}
