// Compresses arbitrary bytes with the TIFF encoder's LZW, differenced first
// when the first byte is odd, and decodes them with a strict decoder: a
// stream that breaks a rule of TIFF LZW, or that decodes to other bytes, is a
// finding, and so is any sanitizer report (the output buffer is sized from a
// bound on the code count).
#include "imaging/VellTiffLzw.h"
#include "tests/support/StrictLzwDecoder.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size == 0)
    return 0;
  const bool differenced = data[0] & 1;
  std::vector<uchar> input(data + 1, data + size);
  if (differenced)
    TVellTiffLzw::DifferenceRow(data + 1, input.data(), input.size(), 3);
  TVellTiffLzw lzw;
  std::vector<uchar> compressed;
  lzw.EncodeStrip(input.data(), input.size(), compressed);
  if (TStrictLzwDecoder(compressed).Decode() != std::optional<std::vector<uchar>>(input))
    std::abort();
  return 0;
}
