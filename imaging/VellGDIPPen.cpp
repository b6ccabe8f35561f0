// Pens of the imaging service and the stroking of lines with their dashes and
// custom caps.
//
// A custom cap is a figure in its own space: the line ends at the origin and
// runs towards negative Y, X runs across the line, one unit being the pen
// width. At a line end the figure is rotated so that its +Y axis points along
// the line out of that end, scaled by the pen width and placed at the end
// point; the line itself stops the cap's base inset short of the end.
#include "imaging/VellGDIPPrivate.h"

#include <QLineF>
#include <QPainter>
#include <QPen>
#include <QTransform>

#include <cmath>
#include <optional>

namespace {

struct TPenCap {
  QPainterPath Fill;
  QPainterPath Stroke;
  float Inset = 0;
};

} // namespace

struct GpPen {
  QColor Colour;
  float Width = 1;
  DashStyle Style = DashStyleSolid;
  QVector<qreal> Dashes; // in pen widths; empty when solid
  std::optional<TPenCap> StartCap;
  std::optional<TPenCap> EndCap;

  // Zero-width pens draw one pixel wide, as Qt's cosmetic pens do.
  qreal DrawnWidth() const { return Width > 0 ? Width : 1.0; }
  QPen SolidPen() const { return QPen(Colour, DrawnWidth(), Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin); }
};

namespace {

QVector<qreal> PatternOf(DashStyle style) {
  switch (style) {
  case DashStyleDash:
    return {3, 1};
  case DashStyleDot:
    return {1, 1};
  case DashStyleDashDot:
    return {3, 1, 1, 1};
  case DashStyleDashDotDot:
    return {3, 1, 1, 1, 1, 1};
  default:
    return {};
  }
}

GpStatus SetCap(GpPen *pen, GpCustomLineCap *cap, std::optional<TPenCap> GpPen::*slot) {
  if (GpStatus status = GdipCheckCall(pen, cap); status != Ok)
    return status;
  TPenCap copy;
  if (GpStatus status = GdipGetCustomLineCapFigures(cap, &copy.Fill, &copy.Stroke); status != Ok)
    return status;
  if (GpStatus status = GdipGetCustomLineCapBaseInset(cap, &copy.Inset); status != Ok)
    return status;
  pen->*slot = std::move(copy);
  return Ok;
}

// The polyline without points that repeat their predecessor.
QPolygonF WithoutRepeats(const QPolygonF &points) {
  QPolygonF result;
  for (const QPointF &point : points)
    if (result.isEmpty() || result.last() != point)
      result << point;
  return result;
}

// Maps cap space onto the surface at tip, +Y along outward (a unit vector).
QTransform CapTransform(const QPointF &tip, const QPointF &outward, qreal width) {
  const QPointF across(outward.y(), -outward.x());
  return QTransform(across.x() * width, across.y() * width, outward.x() * width, outward.y() * width, tip.x(),
                    tip.y());
}

QPointF UnitVector(const QPointF &from, const QPointF &to) {
  const QPointF vector = to - from;
  return vector / std::hypot(vector.x(), vector.y());
}

// Moves end towards its neighbour by distance, at most onto the neighbour.
void Shorten(QPointF &end, const QPointF &neighbour, qreal distance) {
  if (distance <= 0)
    return;
  const qreal length = QLineF(end, neighbour).length();
  end = distance >= length ? neighbour : end + (neighbour - end) * (distance / length);
}

void DrawCap(QPainter &painter, const GpPen &pen, const TPenCap &cap, const QTransform &placement) {
  if (!cap.Fill.isEmpty())
    painter.fillPath(placement.map(cap.Fill), pen.Colour);
  if (!cap.Stroke.isEmpty())
    painter.strokePath(placement.map(cap.Stroke), pen.SolidPen());
}

} // namespace

void StrokePenLines(QPainter &painter, const GpPen &pen, const QPolygonF &points) {
  QPolygonF line = WithoutRepeats(points);
  if (line.size() < 2)
    return;
  const qsizetype last = line.size() - 1;
  const QPointF start = line[0], end = line[last];
  const QPointF startOutward = UnitVector(line[1], start), endOutward = UnitVector(line[last - 1], end);
  const qreal width = pen.DrawnWidth();
  if (pen.StartCap)
    Shorten(line[0], line[1], pen.StartCap->Inset * width);
  if (pen.EndCap)
    Shorten(line[last], line[last - 1], pen.EndCap->Inset * width);

  line = WithoutRepeats(line);
  if (line.size() >= 2) {
    QPen body = pen.SolidPen();
    if (!pen.Dashes.isEmpty())
      body.setDashPattern(pen.Dashes);
    painter.setPen(body);
    painter.setBrush(Qt::NoBrush);
    painter.drawPolyline(line);
  }
  if (pen.StartCap)
    DrawCap(painter, pen, *pen.StartCap, CapTransform(start, startOutward, width));
  if (pen.EndCap)
    DrawCap(painter, pen, *pen.EndCap, CapTransform(end, endOutward, width));
}

GpStatus GdipCreatePen1(ARGB colour, float width, Unit unit, GpPen **pen) {
  if (GpStatus status = GdipCheckCall(pen); status != Ok)
    return status;
  *pen = nullptr;
  if (!(width >= 0) || !std::isfinite(width))
    return RecordFailure(InvalidParameter, QStringLiteral("a pen needs a finite width of 0 or more"));
  if (unit != UnitWorld && unit != UnitPixel)
    return RecordFailure(NotImplemented, QStringLiteral("pen widths are measured in pixels only"));
  *pen = new GpPen;
  (*pen)->Colour = QColor::fromRgba(colour);
  (*pen)->Width = width;
  return Ok;
}

GpStatus GdipDeletePen(GpPen *pen) {
  if (GpStatus status = GdipCheckCall(pen); status != Ok)
    return status;
  delete pen;
  return Ok;
}

GpStatus GdipSetPenDashStyle(GpPen *pen, DashStyle style) {
  if (GpStatus status = GdipCheckCall(pen); status != Ok)
    return status;
  if (style < DashStyleSolid || style > DashStyleCustom)
    return RecordFailure(InvalidParameter, QStringLiteral("invalid dash style %1").arg(int(style)));
  if (style != DashStyleCustom)
    pen->Dashes = PatternOf(style);
  else if (pen->Dashes.isEmpty())
    return RecordFailure(InvalidParameter, QStringLiteral("a custom dash style needs a dash pattern"));
  pen->Style = style;
  return Ok;
}

GpStatus GdipGetPenDashStyle(GpPen *pen, DashStyle *style) {
  if (GpStatus status = GdipCheckCall(pen, style); status != Ok)
    return status;
  *style = pen->Style;
  return Ok;
}

GpStatus GdipSetPenDashArray(GpPen *pen, const float *dashes, int count) {
  if (GpStatus status = GdipCheckCall(pen, dashes); status != Ok)
    return status;
  if (count <= 0)
    return RecordFailure(InvalidParameter, QStringLiteral("a dash pattern needs at least one length"));
  QVector<qreal> pattern;
  for (int i = 0; i < count; ++i) {
    if (!(dashes[i] > 0) || !std::isfinite(dashes[i]))
      return RecordFailure(InvalidParameter, QStringLiteral("dash and gap lengths must be positive"));
    pattern << dashes[i];
  }
  if (count % 2 != 0)
    pattern += pattern;
  pen->Dashes = pattern;
  pen->Style = DashStyleCustom;
  return Ok;
}

GpStatus GdipSetPenCustomStartCap(GpPen *pen, GpCustomLineCap *cap) {
  return SetCap(pen, cap, &GpPen::StartCap);
}

GpStatus GdipSetPenCustomEndCap(GpPen *pen, GpCustomLineCap *cap) {
  return SetCap(pen, cap, &GpPen::EndCap);
}
