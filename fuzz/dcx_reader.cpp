// Any bytes as a DCX (page 1 of the container) file (see PicCodecFuzz.h).
#include "PicFiles/EnDcxGr.h"
#include "fuzz/PicCodecFuzz.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  SetUpPicCodecFuzzing();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  return FuzzPicCodec<TDcxGraphic>(data, size);
}
