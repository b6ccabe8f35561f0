// Any bytes as a PBM, PGM and PPM file (see PicCodecFuzz.h).
#include "PicFiles/EnPpmGr.h"
#include "fuzz/PicCodecFuzz.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  SetUpPicCodecFuzzing();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  return FuzzPicCodec<TPpmGraphic>(data, size);
}
