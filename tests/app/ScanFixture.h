// Scans for the run's tests: small TIFF files written with libtiff, filled
// black, in the kinds a scanner produces.
#pragma once

#include <QImage>
#include <QString>

enum class TScanKind { Bilevel, Grey, Palette, Rgb };

// Writes a w × h scan at dpi (0: no resolution tags); bilevel scans use
// Group 4. Returns the path.
QString WriteScan(const QString &path, TScanKind kind, int width, int height, float dpi);

// What libtiff reads from a written file.
struct TTiffFacts {
  int Width = 0;
  int Height = 0;
  int SamplesPerPixel = 0;
  int BitsPerSample = 0;
  float XDpi = 0;
  float YDpi = 0;
  int Compression = 0;
  bool Readable = false;
};
TTiffFacts ReadTiffFacts(const QString &path);

// The file's pixels as decoded by the imaging layer, in 32-bit RGB.
QImage ReadPixels(const QString &path);
