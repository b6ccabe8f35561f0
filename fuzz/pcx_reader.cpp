// Any bytes as a PCX file (see PicCodecFuzz.h).
#include "PicFiles/EnPcxGr.h"
#include "fuzz/PicCodecFuzz.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  SetUpPicCodecFuzzing();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  return FuzzPicCodec<TPcxGraphic>(data, size);
}
