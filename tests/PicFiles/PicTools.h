// The independent image tools the picture-format tests measure against
// (ImageMagick's convert, GraphicsMagick's gm, netpbm): running them, and the
// pixels they decode a file to.
#pragma once

#include <QImage>
#include <QString>
#include <QStringList>

class QIODevice;

// A file decoded by "convert" or "gm" ("gm convert"), page 0 unless given, rows in the
// order the file's origin gives, as ARGB32 (alpha 255 where the file has
// none); a null image when the tool fails.
QImage ToolPixels(const QString &tool, const QString &file, int page = 0);

// Any of our rasters (Indexed8, BGR888, ARGB32) as ARGB32 for comparison.
QImage AsArgb(const QImage &image);

// The largest difference of any channel between two equally sized ARGB32
// images (-1 when the sizes differ), and where it is.
struct TPixelDiff {
  int Largest = -1;
  int X = 0;
  int Y = 0;
};
TPixelDiff ComparePixels(const QImage &ours, const QImage &theirs);

