// Any bytes as a Truevision TGA file (see PicCodecFuzz.h).
#include "PicFiles/EnTgaGr.h"
#include "fuzz/PicCodecFuzz.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  SetUpPicCodecFuzzing();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  return FuzzPicCodec<TTgaGraphic>(data, size);
}
