// What the metafile suites share: the committed metafiles and renderings,
// and the comparison of a rendering with a reference.
#pragma once

#include "PicFiles/VellMetafile.h"

#include <QByteArray>
#include <QImage>
#include <QString>

QString MetafileFixture(const QString &name);
QByteArray MetafileFixtureBytes(const QString &name);
// The metafile those bytes hold (EPicCodecError when they hold none).
TMetafile LoadedMetafile(const QByteArray &bytes);
// The metafile played back at its size over white.
QImage RenderedMetafile(const TMetafile &metafile);
// A reference rendering with transparency shown over white, as ours are.
QImage OverWhite(const QImage &image);
// The largest difference of the three colour channels.
int ColourDistance(QRgb a, QRgb b);
// The share of pixels of two renderings of one size that differ by more
// than anti-aliasing explains; ours is kept in the temporary folder under
// name for a look when the share reaches limit.
double MismatchShare(const QImage &ours, const QImage &reference, const QString &name, double limit);
