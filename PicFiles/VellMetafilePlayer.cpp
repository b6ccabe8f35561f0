#include "PicFiles/VellMetafilePlayer.h"

#include "PicFiles/EnCodecIO.h"
#include "PicFiles/VellMetafile.h"
#include "PicFiles/VellMetafileDC.h"
#include "imaging/VellBmpCodec.h"

#include <QBuffer>

#include <cmath>
#include <cstring>

namespace {

// ---- fields shared by both forms ----

QColor ColorOf(quint32 colorRef) {
  return QColor(int(colorRef & 0xFF), int(colorRef >> 8 & 0xFF), int(colorRef >> 16 & 0xFF));
}

qint32 I32(TByteCursor &c) { return qint32(c.U32LE()); }
qint16 I16(TByteCursor &c) { return qint16(c.U16LE()); }

QPointF PointL(TByteCursor &c) {
  const qint32 x = I32(c);
  return QPointF(x, I32(c));
}

QSizeF SizeL(TByteCursor &c) {
  const qint32 width = I32(c);
  return QSizeF(width, I32(c));
}

QRectF RectL(TByteCursor &c) {
  const qint32 left = I32(c);
  const qint32 top = I32(c);
  const qint32 right = I32(c);
  const qint32 bottom = I32(c);
  return QRectF(QPointF(left, top), QPointF(right, bottom));
}

float Float(TByteCursor &c) {
  const quint32 bits = c.U32LE();
  float value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

// count points of two 32-bit or two 16-bit coordinates, x first.
QPolygonF Points(TByteCursor &c, quint32 count, bool shortForm) {
  const qint64 size = qint64(count) * (shortForm ? 4 : 8);
  TByteCursor points(QByteArray(reinterpret_cast<const char *>(c.Take(size)), size), "Metafile");
  QPolygonF result;
  result.reserve(count);
  for (quint32 i = 0; i < count; ++i) {
    const double x = shortForm ? I16(points) : I32(points);
    const double y = shortForm ? I16(points) : I32(points);
    result.append(QPointF(x, y));
  }
  return result;
}

// Polygons whose point counts precede their points.
QList<QPolygonF> Polygons(TByteCursor &c, const QList<quint32> &counts, bool shortForm) {
  QList<QPolygonF> polygons;
  for (quint32 count : counts)
    polygons.append(Points(c, count, shortForm));
  return polygons;
}

// A packed DIB behind a BMP file header, for the BMP codec.
std::optional<QImage> DecodeDibParts(const QByteArray &header, const QByteArray &bits) {
  TRecordBuilder file;
  file.U16('B' | 'M' << 8).U32(quint32(14 + header.size() + bits.size())).U32(0).U32(quint32(14 + header.size()));
  file.Bytes(header).Bytes(bits);
  QBuffer buffer;
  buffer.setData(file.Result());
  buffer.open(QIODevice::ReadOnly);
  TBmpPicture picture;
  QString error;
  if (!TVellBmpCodec::Decode(buffer, picture, error))
    return std::nullopt;
  return picture.Pixels;
}

// Bytes [offset, offset + size) of a record, when they lie inside it.
std::optional<QByteArray> Part(const QByteArray &record, quint32 offset, quint32 size) {
  if (qint64(offset) + size > record.size())
    return std::nullopt;
  return record.mid(offset, size);
}

// Whether the DIB whose header is given stores its rows bottom-up.
bool BottomUp(const QByteArray &header) {
  TByteCursor c(header, "DIB");
  if (c.U32LE() == 12)
    return true;
  c.Seek(8);
  return I32(c) > 0;
}

// The source rectangle of a DIB counted from its top row.
QRectF SourceFromTop(const QImage &image, const QByteArray &header, QRectF src) {
  if (BottomUp(header))
    src.moveTop(image.height() - src.top() - src.height());
  return src;
}

// ---- enhanced metafiles ----

struct TEmfBitmap {
  QImage Image;
  QByteArray Header;
};

std::optional<TEmfBitmap> EmfBitmap(const QByteArray &record, quint32 offBmi, quint32 cbBmi, quint32 offBits,
                                    quint32 cbBits) {
  const auto header = Part(record, offBmi, cbBmi);
  const auto bits = Part(record, offBits, cbBits);
  if (!header || !bits || cbBmi < 12)
    return std::nullopt;
  const auto image = DecodeDibParts(*header, *bits);
  if (!image)
    return std::nullopt;
  return TEmfBitmap{*image, *header};
}

// A 32-bit DIB whose fourth byte is premultiplied alpha, as alpha blending
// reads it; other DIBs as the BMP codec reads them.
QImage WithAlpha(const TEmfBitmap &bitmap) {
  TByteCursor c(bitmap.Header, "DIB");
  if (c.U32LE() < 40)
    return bitmap.Image;
  c.Seek(14);
  if (c.U16LE() != 32 || c.U32LE() != 0)
    return bitmap.Image;
  QImage alpha = bitmap.Image.copy();
  return alpha.reinterpretAsFormat(QImage::Format_ARGB32_Premultiplied) ? alpha : bitmap.Image;
}

TGdiPen EmfLogPen(TByteCursor &c) {
  TGdiPen pen;
  pen.Style = c.U32LE();
  pen.Width = I32(c);
  c.Skip(4);
  pen.Color = ColorOf(c.U32LE());
  return pen;
}

TGdiPen EmfExtPen(TByteCursor &c) {
  TGdiPen pen;
  c.Seek(28);
  pen.Style = c.U32LE();
  pen.Width = c.U32LE();
  const quint32 brushStyle = c.U32LE();
  pen.Color = ColorOf(c.U32LE());
  c.Skip(4);
  const quint32 entries = c.U32LE();
  for (quint32 i = 0; i < entries; ++i)
    pen.Dashes.append(c.U32LE());
  if ((pen.Style & 0x10000) == 0)
    pen.Width = 0; // cosmetic
  if (brushStyle == 1)
    pen.Style = (pen.Style & ~0x0Fu) | 5;
  return pen;
}

TGdiFont EmfFont(TByteCursor &c) {
  TGdiFont font;
  font.Height = I32(c);
  c.Skip(4);
  font.Escapement = I32(c);
  c.Skip(4);
  font.Weight = I32(c);
  font.Italic = c.U8();
  font.Underline = c.U8();
  font.StrikeOut = c.U8();
  c.Skip(5);
  for (int i = 0; i < 32; ++i) {
    const QChar ch(c.U16LE());
    if (ch.isNull())
      break;
    font.Face.append(ch);
  }
  return font;
}

QList<QRectF> RegionRects(TByteCursor &c) {
  const qint64 start = c.Position();
  const quint32 headerSize = c.U32LE();
  c.Skip(4);
  const quint32 count = c.U32LE();
  if (count > quint32(c.Remaining()))
    c.Fail(QStringLiteral("a region holds more rectangles than its record"));
  c.Seek(start + qMax<quint32>(headerSize, 32));
  QList<QRectF> rects;
  const QPolygonF corners = Points(c, count * 2, false);
  for (qsizetype i = 0; i + 1 < corners.size(); i += 2)
    rects.append(QRectF(corners[i], corners[i + 1]));
  return rects;
}

void EmfText(TMetafileDC &dc, TByteCursor &c, const QByteArray &record, bool wide) {
  c.Seek(36);
  const QPointF reference = PointL(c);
  const quint32 count = c.U32LE();
  const quint32 offString = c.U32LE();
  const quint32 options = c.U32LE();
  QRectF rect;
  if (!(options & 0x100))
    rect = RectL(c);
  const quint32 offDx = c.U32LE();
  if (count > quint32(record.size()))
    return;
  const auto string = Part(record, offString, count * (wide ? 2 : 1));
  if (!string)
    return;
  QString text;
  if (wide) {
    TByteCursor chars(*string, "EMF");
    for (quint32 i = 0; i < count; ++i)
      text.append(QChar(chars.U16LE()));
  } else {
    text = QString::fromLatin1(*string);
  }
  QList<double> dx;
  const bool pairs = options & 0x2000;
  if (const auto spacing = offDx ? Part(record, offDx, count * (pairs ? 8 : 4)) : std::nullopt) {
    TByteCursor values(*spacing, "EMF");
    for (quint32 i = 0; i < count; ++i) {
      dx.append(I32(values));
      if (pairs)
        values.Skip(4);
    }
  }
  dc.TextOut(reference, text, dx, options, rect);
}

// Block transfers: BitBlt, StretchBlt and AlphaBlend share one layout.
void EmfBlt(TMetafileDC &dc, TByteCursor &c, const QByteArray &record, quint32 type) {
  c.Seek(24);
  const QPointF destOrigin = PointL(c);
  const QRectF dest(destOrigin, SizeL(c));
  const quint32 rop = c.U32LE();
  const QPointF srcOrigin = PointL(c);
  c.Seek(80);
  c.Skip(4);
  const quint32 offBmi = c.U32LE();
  const quint32 cbBmi = c.U32LE();
  const quint32 offBits = c.U32LE();
  const quint32 cbBits = c.U32LE();
  QSizeF srcSize = dest.size();
  if (type != 76)
    srcSize = SizeL(c);
  if (cbBmi == 0) {
    dc.PatBlt(dest, rop);
    return;
  }
  const auto bitmap = EmfBitmap(record, offBmi, cbBmi, offBits, cbBits);
  if (!bitmap)
    return;
  if (type == 114) {
    const double opacity = (rop >> 16 & 0xFF) / 255.0;
    dc.StretchBlt(dest, rop >> 24 & 1 ? WithAlpha(*bitmap) : bitmap->Image, QRectF(srcOrigin, srcSize), 0, opacity);
  } else {
    dc.StretchBlt(dest, bitmap->Image, QRectF(srcOrigin, srcSize), rop);
  }
}

void EmfStretchDIBits(TMetafileDC &dc, TByteCursor &c, const QByteArray &record) {
  c.Seek(24);
  const QPointF destOrigin = PointL(c);
  const QPointF srcOrigin = PointL(c);
  const QSizeF srcSize = SizeL(c);
  const quint32 offBmi = c.U32LE();
  const quint32 cbBmi = c.U32LE();
  const quint32 offBits = c.U32LE();
  const quint32 cbBits = c.U32LE();
  c.Skip(4);
  const quint32 rop = c.U32LE();
  const QSizeF destSize = SizeL(c);
  if (const auto bitmap = EmfBitmap(record, offBmi, cbBmi, offBits, cbBits))
    dc.StretchBlt(QRectF(destOrigin, destSize), bitmap->Image,
                  SourceFromTop(bitmap->Image, bitmap->Header, QRectF(srcOrigin, srcSize)), rop);
}

void EmfSetDIBitsToDevice(TMetafileDC &dc, TByteCursor &c, const QByteArray &record) {
  c.Seek(24);
  const QPointF destOrigin = PointL(c);
  const QPointF srcOrigin = PointL(c);
  const QSizeF size = SizeL(c);
  const quint32 offBmi = c.U32LE();
  const quint32 cbBmi = c.U32LE();
  const quint32 offBits = c.U32LE();
  const quint32 cbBits = c.U32LE();
  if (const auto bitmap = EmfBitmap(record, offBmi, cbBmi, offBits, cbBits))
    dc.StretchBlt(QRectF(destOrigin, size), bitmap->Image,
                  SourceFromTop(bitmap->Image, bitmap->Header, QRectF(srcOrigin, size)), 0x00CC0020);
}

void EmfCreateDibBrush(TMetafileDC &dc, TByteCursor &c, const QByteArray &record) {
  const quint32 index = c.U32LE();
  c.Skip(4);
  const quint32 offBmi = c.U32LE();
  const quint32 cbBmi = c.U32LE();
  const quint32 offBits = c.U32LE();
  const quint32 cbBits = c.U32LE();
  TGdiBrush brush;
  brush.Style = 5;
  if (const auto bitmap = EmfBitmap(record, offBmi, cbBmi, offBits, cbBits))
    brush.Pattern = bitmap->Image;
  dc.CreateObject(index, brush);
}

QList<quint32> Counts(TByteCursor &c, quint32 count) {
  c.Take(qint64(count) * 4); // refuses counts the record cannot hold
  c.Seek(c.Position() - qint64(count) * 4);
  QList<quint32> counts;
  for (quint32 i = 0; i < count; ++i)
    counts.append(c.U32LE());
  return counts;
}

void PlayEmfRecord(TMetafileDC &dc, const TMetaRecord &record) {
  const QByteArray &bytes = record.Bytes;
  TByteCursor c(bytes, "EMF");
  c.Seek(8);
  switch (record.Type) {
  case 2:
  case 3:
  case 4:
  case 5:
  case 6:
  case 85:
  case 86:
  case 87:
  case 88:
  case 89: {
    const bool shortForm = record.Type >= 85;
    c.Skip(16);
    const QPolygonF points = Points(c, c.U32LE(), shortForm);
    switch (shortForm ? record.Type - 83 : record.Type) {
    case 2:
      return dc.PolyBezier(points);
    case 3:
      return dc.Polygon(points);
    case 4:
      return dc.Polyline(points);
    case 5:
      return dc.PolyBezierTo(points);
    default:
      return dc.PolylineTo(points);
    }
  }
  case 7:
  case 8:
  case 90:
  case 91: {
    const bool shortForm = record.Type >= 90;
    c.Skip(16);
    const quint32 polygons = c.U32LE();
    c.Skip(4);
    const QList<QPolygonF> figures = Polygons(c, Counts(c, polygons), shortForm);
    if (record.Type == 7 || record.Type == 90)
      return dc.PolyPolyline(figures);
    return dc.PolyPolygon(figures);
  }
  case 9:
    return dc.SetWindowExt(SizeL(c));
  case 10:
    return dc.SetWindowOrg(PointL(c));
  case 11:
    return dc.SetViewportExt(SizeL(c));
  case 12:
    return dc.SetViewportOrg(PointL(c));
  case 15: {
    const QPointF at = PointL(c);
    return dc.SetPixel(at, ColorOf(c.U32LE()));
  }
  case 17:
    return dc.SetMapMode(c.U32LE());
  case 18:
    return dc.SetBkMode(c.U32LE());
  case 19:
    return dc.SetPolyFillMode(c.U32LE());
  case 22:
    return dc.SetTextAlign(c.U32LE());
  case 24:
    return dc.SetTextColor(ColorOf(c.U32LE()));
  case 25:
    return dc.SetBkColor(ColorOf(c.U32LE()));
  case 27:
    return dc.MoveTo(PointL(c));
  case 29:
    return dc.ExcludeClipRect(RectL(c));
  case 30:
    return dc.IntersectClipRect(RectL(c));
  case 31:
  case 32: {
    const double xNum = I32(c), xDenom = I32(c), yNum = I32(c), yDenom = I32(c);
    if (record.Type == 31)
      return dc.ScaleViewportExt(xNum, xDenom, yNum, yDenom);
    return dc.ScaleWindowExt(xNum, xDenom, yNum, yDenom);
  }
  case 33:
    return dc.SaveDC();
  case 34:
    return dc.RestoreDC(I32(c));
  case 35:
  case 36: {
    const double m11 = Float(c), m12 = Float(c), m21 = Float(c), m22 = Float(c), dx = Float(c), dy = Float(c);
    const QTransform transform(m11, m12, m21, m22, dx, dy);
    if (record.Type == 35)
      return dc.SetWorldTransform(transform);
    return dc.ModifyWorldTransform(transform, c.U32LE());
  }
  case 37:
    return dc.SelectObject(c.U32LE());
  case 38: {
    const quint32 index = c.U32LE();
    return dc.CreateObject(index, EmfLogPen(c));
  }
  case 39: {
    const quint32 index = c.U32LE();
    TGdiBrush brush;
    brush.Style = c.U32LE();
    brush.Color = ColorOf(c.U32LE());
    brush.Hatch = c.U32LE();
    return dc.CreateObject(index, brush);
  }
  case 40:
    return dc.DeleteObject(c.U32LE());
  case 41: {
    const QPointF center = PointL(c);
    const double radius = c.U32LE();
    const double start = Float(c);
    return dc.AngleArc(center, radius, start, Float(c));
  }
  case 42:
    return dc.Ellipse(RectL(c));
  case 43:
    return dc.Rectangle(RectL(c));
  case 44: {
    const QRectF rect = RectL(c);
    return dc.RoundRect(rect, SizeL(c));
  }
  case 45:
  case 46:
  case 47:
  case 55: {
    const QRectF box = RectL(c);
    const QPointF start = PointL(c);
    const QPointF end = PointL(c);
    static constexpr TArcKind kinds[] = {TArcKind::Arc, TArcKind::Chord, TArcKind::Pie};
    return dc.Arc(box, start, end, record.Type == 55 ? TArcKind::ArcTo : kinds[record.Type - 45]);
  }
  case 54:
    return dc.LineTo(PointL(c));
  case 57:
    return dc.SetArcDirection(c.U32LE());
  case 59:
    return dc.BeginPath();
  case 60:
    return dc.EndPath();
  case 61:
    return dc.CloseFigure();
  case 62:
    return dc.FillPath();
  case 63:
    return dc.StrokeAndFillPath();
  case 64:
    return dc.StrokePath();
  case 67:
    return dc.SelectClipPath(c.U32LE());
  case 68:
    return dc.AbortPath();
  case 71: {
    c.Skip(16 + 4);
    const quint32 brush = c.U32LE();
    return dc.FillRegion(RegionRects(c), brush);
  }
  case 74:
    c.Skip(16 + 4);
    return dc.FillRegion(RegionRects(c), std::nullopt);
  case 75: {
    const quint32 size = c.U32LE();
    const quint32 mode = c.U32LE();
    return dc.SelectClipRegion(size ? RegionRects(c) : QList<QRectF>{}, mode);
  }
  case 76:
  case 77:
  case 114:
    return EmfBlt(dc, c, bytes, record.Type);
  case 80:
    return EmfSetDIBitsToDevice(dc, c, bytes);
  case 81:
    return EmfStretchDIBits(dc, c, bytes);
  case 82: {
    const quint32 index = c.U32LE();
    return dc.CreateObject(index, EmfFont(c));
  }
  case 83:
  case 84:
    return EmfText(dc, c, bytes, record.Type == 84);
  case 93:
  case 94:
    return EmfCreateDibBrush(dc, c, bytes);
  case 95: {
    const quint32 index = c.U32LE();
    return dc.CreateObject(index, EmfExtPen(c));
  }
  default:
    return;
  }
}

// A frame edge in 0.01 mm as reference-device pixels; an edge within the
// frame's rounding of a whole pixel is that pixel, so that a picture recorded
// at whole pixels plays back at whole pixels.
double FrameEdge(qint32 hundredthsMm, double pixelsPerMm) {
  const double pixels = hundredthsMm * pixelsPerMm / 100;
  const double whole = std::round(pixels);
  return std::abs(pixels - whole) <= pixelsPerMm / 200 ? whole : pixels;
}

void PlayEnhanced(const TMetafile &metafile, QPainter &painter, const QRectF &dest) {
  const TMetafileHeader &header = metafile.Header();
  double perMmX = 96 / 25.4;
  double perMmY = 96 / 25.4;
  if (header.DeviceMillimeters.width() > 0 && header.DeviceMillimeters.height() > 0 &&
      header.DevicePixels.width() > 0 && header.DevicePixels.height() > 0) {
    perMmX = double(header.DevicePixels.width()) / header.DeviceMillimeters.width();
    perMmY = double(header.DevicePixels.height()) / header.DeviceMillimeters.height();
  }
  const QRect &f = header.Frame;
  const QRectF frame(QPointF(FrameEdge(f.left(), perMmX), FrameEdge(f.top(), perMmY)),
                     QPointF(FrameEdge(f.right(), perMmX), FrameEdge(f.bottom(), perMmY)));
  if (frame.width() <= 0 || frame.height() <= 0)
    return;
  const QTransform device = QTransform::fromTranslate(-frame.left(), -frame.top()) *
                            QTransform::fromScale(dest.width() / frame.width(), dest.height() / frame.height()) *
                            QTransform::fromTranslate(dest.left(), dest.top());
  TMetafileDC dc(painter, device);
  dc.SetDeviceResolution(perMmX, perMmY);
  for (const TMetaRecord &record : metafile.Records()) {
    try {
      PlayEmfRecord(dc, record);
    } catch (const EPicCodecError &) {
      // a damaged record is skipped
    }
  }
}

// ---- Windows metafiles ----

// The bitmap of a WMF record from offset on.
std::optional<QImage> WmfBitmap(const QByteArray &record, qint64 offset, QByteArray *header = nullptr) {
  const QByteArray dib = record.mid(offset);
  if (header)
    *header = dib.left(40);
  return DecodePackedDib(dib);
}

QRectF WmfRect(TByteCursor &c) {
  const qint16 bottom = I16(c);
  const qint16 right = I16(c);
  const qint16 top = I16(c);
  const qint16 left = I16(c);
  return QRectF(QPointF(left, top), QPointF(right, bottom));
}

QPointF WmfPoint(TByteCursor &c) {
  const qint16 y = I16(c);
  return QPointF(I16(c), y);
}

QSizeF WmfSize(TByteCursor &c) {
  const qint16 height = I16(c);
  return QSizeF(I16(c), height);
}

TGdiFont WmfFont(TByteCursor &c) {
  TGdiFont font;
  font.Height = I16(c);
  c.Skip(2);
  font.Escapement = I16(c);
  c.Skip(2);
  font.Weight = I16(c);
  font.Italic = c.U8();
  font.Underline = c.U8();
  font.StrikeOut = c.U8();
  c.Skip(5);
  QByteArray face;
  while (!c.AtEnd() && face.size() < 32) {
    const char ch = char(c.U8());
    if (ch == 0)
      break;
    face.append(ch);
  }
  font.Face = QString::fromLatin1(face);
  return font;
}

void WmfText(TMetafileDC &dc, TByteCursor &c, bool extended) {
  QPointF at;
  quint16 length = 0;
  quint16 options = 0;
  QRectF rect;
  if (extended) {
    at = WmfPoint(c);
    length = c.U16LE();
    options = c.U16LE();
    if (options & (TextOptionOpaque | TextOptionClipped)) {
      const qint16 left = I16(c), top = I16(c), right = I16(c), bottom = I16(c);
      rect = QRectF(QPointF(left, top), QPointF(right, bottom));
    }
  } else {
    length = c.U16LE();
  }
  const QString text = QString::fromLatin1(reinterpret_cast<const char *>(c.Take(length)), length);
  c.Skip(length % 2);
  QList<double> dx;
  if (!extended)
    at = WmfPoint(c);
  else if (c.Remaining() >= qint64(length) * 2)
    for (quint16 i = 0; i < length; ++i)
      dx.append(I16(c));
  dc.TextOut(at, text, dx, options, rect);
}

// DIBSTRETCHBLT, DIBBITBLT and STRETCHDIB: the raster operation, source and
// destination, then the bitmap; without a bitmap a pattern blit.
void WmfBlt(TMetafileDC &dc, TByteCursor &c, const TMetaRecord &record) {
  const bool withBitmap = record.Bytes.size() / 2 != qsizetype(record.Type >> 8) + 3;
  const quint32 rop = c.U32LE();
  if (record.Type == 0x0F43)
    c.Skip(2); // colour usage
  QSizeF srcSize;
  if (record.Type != 0x0940)
    srcSize = WmfSize(c);
  const QPointF srcOrigin = WmfPoint(c);
  if (!withBitmap)
    c.Skip(2);
  const QSizeF destSize = WmfSize(c);
  const QPointF destOrigin = WmfPoint(c);
  const QRectF dest(destOrigin, destSize);
  if (record.Type == 0x0940)
    srcSize = destSize;
  if (!withBitmap)
    return dc.PatBlt(dest, rop);
  QByteArray header;
  if (const auto image = WmfBitmap(record.Bytes, c.Position(), &header)) {
    const QRectF src(srcOrigin, srcSize);
    dc.StretchBlt(dest, *image, record.Type == 0x0F43 ? SourceFromTop(*image, header, src) : src, rop);
  }
}

void WmfSetDIBToDevice(TMetafileDC &dc, TByteCursor &c, const TMetaRecord &record) {
  c.Skip(6); // colour usage, scan count, start scan
  const QPointF srcOrigin = WmfPoint(c);
  const QSizeF size = WmfSize(c);
  const QPointF destOrigin = WmfPoint(c);
  QByteArray header;
  if (const auto image = WmfBitmap(record.Bytes, c.Position(), &header))
    dc.StretchBlt(QRectF(destOrigin, size), *image, SourceFromTop(*image, header, QRectF(srcOrigin, size)),
                  0x00CC0020);
}

void PlayWmfRecord(TMetafileDC &dc, const TMetaRecord &record) {
  TByteCursor c(record.Bytes, "WMF");
  c.Seek(6);
  switch (record.Type) {
  case 0x0201:
    return dc.SetBkColor(ColorOf(c.U32LE()));
  case 0x0102:
    return dc.SetBkMode(c.U16LE());
  case 0x0103:
    return dc.SetMapMode(c.U16LE());
  case 0x0106:
    return dc.SetPolyFillMode(c.U16LE());
  case 0x012E:
    return dc.SetTextAlign(c.U16LE());
  case 0x0209:
    return dc.SetTextColor(ColorOf(c.U32LE()));
  case 0x020B:
    return dc.SetWindowOrg(WmfPoint(c));
  case 0x020C:
    return dc.SetWindowExt(WmfSize(c));
  case 0x020F:
    return dc.OffsetWindowOrg(WmfPoint(c));
  case 0x0410: {
    const double yDenom = I16(c), yNum = I16(c), xDenom = I16(c), xNum = I16(c);
    return dc.ScaleWindowExt(xNum, xDenom, yNum, yDenom);
  }
  case 0x0213:
    return dc.LineTo(WmfPoint(c));
  case 0x0214:
    return dc.MoveTo(WmfPoint(c));
  case 0x0415:
    return dc.ExcludeClipRect(WmfRect(c));
  case 0x0416:
    return dc.IntersectClipRect(WmfRect(c));
  case 0x0817:
  case 0x081A:
  case 0x0830: {
    const QPointF end = WmfPoint(c);
    const QPointF start = WmfPoint(c);
    const TArcKind kind =
        record.Type == 0x0817 ? TArcKind::Arc : record.Type == 0x081A ? TArcKind::Pie : TArcKind::Chord;
    return dc.Arc(WmfRect(c), start, end, kind);
  }
  case 0x0418:
    return dc.Ellipse(WmfRect(c));
  case 0x041B:
    return dc.Rectangle(WmfRect(c));
  case 0x061C: {
    const QSizeF corner = WmfSize(c);
    return dc.RoundRect(WmfRect(c), corner);
  }
  case 0x061D: {
    const quint32 rop = c.U32LE();
    const QSizeF size = WmfSize(c);
    return dc.PatBlt(QRectF(WmfPoint(c), size), rop);
  }
  case 0x001E:
    return dc.SaveDC();
  case 0x0127:
    return dc.RestoreDC(I16(c));
  case 0x041F: {
    const QColor color = ColorOf(c.U32LE());
    return dc.SetPixel(WmfPoint(c), color);
  }
  case 0x0521:
  case 0x0A32:
    return WmfText(dc, c, record.Type == 0x0A32);
  case 0x0324:
  case 0x0325: {
    const QPolygonF points = Points(c, c.U16LE(), true);
    if (record.Type == 0x0324)
      return dc.Polygon(points);
    return dc.Polyline(points);
  }
  case 0x0538: {
    const quint16 polygons = c.U16LE();
    QList<quint32> counts;
    for (quint16 i = 0; i < polygons; ++i)
      counts.append(c.U16LE());
    return dc.PolyPolygon(Polygons(c, counts, true));
  }
  case 0x012D:
    return dc.SelectObject(c.U16LE());
  case 0x01F0:
    return dc.DeleteObject(c.U16LE());
  case 0x02FA: {
    TGdiPen pen;
    pen.Style = c.U16LE();
    pen.Width = I16(c);
    c.Skip(2);
    pen.Color = ColorOf(c.U32LE());
    return dc.CreateObjectAtFreeIndex(pen);
  }
  case 0x02FC: {
    TGdiBrush brush;
    brush.Style = c.U16LE();
    brush.Color = ColorOf(c.U32LE());
    brush.Hatch = c.U16LE();
    return dc.CreateObjectAtFreeIndex(brush);
  }
  case 0x02FB:
    return dc.CreateObjectAtFreeIndex(WmfFont(c));
  case 0x0142: {
    c.Skip(4);
    TGdiBrush brush;
    brush.Style = 5;
    if (const auto image = WmfBitmap(record.Bytes, c.Position()))
      brush.Pattern = *image;
    return dc.CreateObjectAtFreeIndex(brush);
  }
  case 0x00F7: // palettes, regions and old bitmap brushes take an entry too
  case 0x06FF:
  case 0x01F9:
    return dc.CreateObjectAtFreeIndex(std::monostate{});
  case 0x0F43:
  case 0x0B41:
  case 0x0940:
    return WmfBlt(dc, c, record);
  case 0x0D33:
    return WmfSetDIBToDevice(dc, c, record);
  default:
    return;
  }
}

void PlayWindows(const TMetafile &metafile, QPainter &painter, const QRectF &dest) {
  const QRect &box = metafile.Header().Box;
  if (box.width() == 0 || box.height() == 0)
    return;
  TMetafileDC dc(painter, QRectF(box.left(), box.top(), box.width(), box.height()), dest);
  for (const TMetaRecord &record : metafile.Records()) {
    try {
      PlayWmfRecord(dc, record);
    } catch (const EPicCodecError &) {
      // a damaged record is skipped
    }
  }
}

} // namespace

std::optional<QImage> DecodePackedDib(const QByteArray &dib) {
  try {
    TByteCursor c(dib, "DIB");
    const quint32 headerSize = c.U32LE();
    qint64 colours = 0;
    qint64 entrySize = 4;
    qint64 masks = 0;
    if (headerSize == 12) {
      c.Seek(10);
      const quint16 bits = c.U16LE();
      colours = bits <= 8 ? 1 << bits : 0;
      entrySize = 3;
    } else {
      c.Seek(14);
      const quint16 bits = c.U16LE();
      const quint32 compression = c.U32LE();
      c.Seek(32);
      const quint32 used = c.U32LE();
      colours = used ? used : bits <= 8 ? 1 << bits : 0;
      if (headerSize == 40 && (compression == 3 || compression == 6))
        masks = compression == 3 ? 12 : 16;
    }
    const qint64 bitsOffset = qint64(headerSize) + masks + colours * entrySize;
    if (bitsOffset > dib.size())
      return std::nullopt;
    return DecodeDibParts(dib.left(bitsOffset), dib.mid(bitsOffset));
  } catch (const EPicCodecError &) {
    return std::nullopt;
  }
}

void PlayMetafile(const TMetafile &metafile, QPainter &painter, const QRectF &dest) {
  if (metafile.Form() == TMetafileForm::Enhanced)
    PlayEnhanced(metafile, painter, dest);
  else if (metafile.Form() == TMetafileForm::Windows)
    PlayWindows(metafile, painter, dest);
}
