// Scan-like TIFF files written with libtiff, for the sample set, the
// benchmarks and the tests of the run.
#pragma once

#include <QString>

enum class TScanKind { Bilevel, Grey, Palette, Rgb };

enum class TScanContent {
  Document, // off-white paper with a frame, a title bar and lines of text
  Solid,    // black everywhere
};

struct TScanSpec {
  TScanKind Kind = TScanKind::Rgb;
  int Width = 0;
  int Height = 0;
  float Dpi = 0; // 0 writes no resolution tags
  TScanContent Content = TScanContent::Document;
};

// Writes the scan (bilevel ones with Group 4, grey with LZW, palette with
// PackBits, RGB uncompressed); false when libtiff cannot write the file.
bool WriteScan(const QString &path, const TScanSpec &spec);
