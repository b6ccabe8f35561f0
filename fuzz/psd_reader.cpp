// Any bytes as a Photoshop file (see PicCodecFuzz.h).
#include "PicFiles/EnPsdGr.h"
#include "fuzz/PicCodecFuzz.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  SetUpPicCodecFuzzing();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  return FuzzPicCodec<TPsdGraphic, false>(data, size);
}
