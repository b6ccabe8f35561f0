// The pixel limit every fuzz target sets before its first input.
#pragma once

#include "imaging/VellGDIPAPI.h"

// 2^22 pixels: large enough for every seed and for real decoding work, small
// enough that a size announced near the limit costs little, and that an image
// near it decodes and is scaled onto a page well within the timeout under the
// sanitizers on a loaded machine (tall RLE BMPs of 8-9 million pixels took
// over 25 s at 2^24).
inline void LimitPixelsForFuzzing() {
  GdipSetPixelLimit(qint64(1) << 22);
}
