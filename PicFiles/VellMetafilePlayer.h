// Metafile playback: each record of an enhanced or placeable Windows
// metafile becomes a call on the playback device context. Records are read
// only within their own bytes; a record that is damaged or unknown is skipped.
#pragma once

#include <QImage>
#include <QPainter>
#include <QRectF>

#include <optional>

class TMetafile;

// Plays metafile onto painter so that its frame (EMF) or bounding box (WMF)
// fills dest, in the painter's coordinates.
void PlayMetafile(const TMetafile &metafile, QPainter &painter, const QRectF &dest);

// The picture of a packed device-independent bitmap (header, colour table,
// bits), or nothing when it is no readable bitmap.
std::optional<QImage> DecodePackedDib(const QByteArray &dib);
