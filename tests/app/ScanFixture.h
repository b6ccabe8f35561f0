// Scans for the run's tests, black all over so that the page shows exactly
// where the image went, and what libtiff and the imaging layer read back.
#pragma once

#include "samples/SampleScans.h"

#include <QImage>
#include <QString>

// Writes a black width × height scan at dpi (0: no resolution tags).
bool WriteSolidScan(const QString &path, TScanKind kind, int width, int height, float dpi);

// What libtiff reads from a written file (the shared ReadTiffTags, in the
// shape the run's tests use).
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

// The pixels of the file's page (0-based) as decoded by the imaging layer, in
// 32-bit RGB.
QImage ReadPixels(const QString &path, quint32 page = 0);
