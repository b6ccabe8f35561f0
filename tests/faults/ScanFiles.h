// Test scans written through the imaging layer's TIFF encoder.
#pragma once

#include <QByteArray>
#include <QSize>
#include <QString>

// A grey scan of the given size and resolution: a dark frame and diagonal on
// white, or (noisy) pseudo-random grey that does not compress.
void WriteGreyScan(const QString &path, QSize pixels, float dpi, bool noisy = false);
QByteArray GreyScanBytes(QSize pixels, float dpi);

// True when the file decodes completely to an image of the given size.
bool DecodesAs(const QString &path, QSize pixels);
