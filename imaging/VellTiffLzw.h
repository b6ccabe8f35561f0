// The TIFF encoder's LZW strip compressor. Against libtiff's own it keeps its
// string table in 32 KiB instead of 72 (level-1 cache sized), hashed by
// multiplication, and takes runs of one byte value, the white of a page after
// the predictor, a word at a time: a scanned letter's page compresses about 5
// times, a form's or photograph's 1.4 to 1.6 times as fast, to the same
// bytes. The code stream is TIFF's: MSB-first codes of 9 to 12 bits with the
// early width change, a Clear code first and whenever the table is full, EOI
// last.
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

  // The codes of the strings b, bb, bbb ... of each byte b in the table:
  // Length[b] of them, the one of length n at Code(n, b).
  struct TRuns {
    static constexpr size_t Longest = 4096; // more than the table holds
    std::array<quint16, 256> Length;
    // By length first, so that a small page touches only the first rows; set as used.
    std::unique_ptr<quint16[]> Codes{new quint16[Longest * 256]};

    quint16 &Code(size_t length, quint32 byte) { return Codes[(length - 1) * 256 + byte]; }
  };

private:
  // Entry: (prefix code << 8 | byte) << 12 | code; all ones when empty.
  std::array<quint32, TableSlots> FTable;
  TRuns FRuns;
};
