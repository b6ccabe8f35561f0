// Rewrites entries of a little-endian TIFF that libtiff wrote, so tests can
// present values libtiff itself refuses to write (negative or NaN
// resolutions) or headers that announce more than the file holds.
#pragma once

#include <QByteArray>

// The value of XResolution and YResolution in the first directory: either a
// signed or unsigned rational numerator/denominator, or an IEEE double.
struct TResolutionEntry {
  enum class Kind { Rational, SignedRational, Double } Type;
  qint64 Numerator = 0;
  qint64 Denominator = 1;
  double Value = 0;
};

// The file with both resolution entries replaced; the entries must exist.
QByteArray WithResolution(const QByteArray &tiff, const TResolutionEntry &entry);

// The file with ImageWidth and ImageLength announcing the given size.
QByteArray WithAnnouncedSize(const QByteArray &tiff, quint32 width, quint32 height);
