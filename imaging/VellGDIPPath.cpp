// Figure paths, custom line caps and image attributes of the imaging service.
//
// A path keeps an open figure: lines and arcs continue it (joined by a line
// from its last point), start-figure ends it without closing, close-figure
// closes it. Rectangles, ellipses, pies and polygons are closed figures of
// their own. Angles are clockwise degrees on a y-down surface, so they are
// negated for QPainterPath, whose angles run anticlockwise.
#include "imaging/VellGDIPPrivate.h"

#include <QPolygonF>

struct GpPath {
  QPainterPath Figures;
  FillMode Mode = FillModeAlternate;
  bool FigureOpen = false;

  // Moves to point when no figure is open, else draws a line to it.
  void ContinueAt(const QPointF &point) {
    if (FigureOpen)
      Figures.lineTo(point);
    else
      Figures.moveTo(point);
    FigureOpen = true;
  }
};

struct GpCustomLineCap {
  QPainterPath Fill;
  QPainterPath Stroke;
  LineCap BaseCap = LineCapFlat;
  float BaseInset = 0;
};

struct GpImageAttributes {};

namespace {

GpStatus CheckPoints(const PointF *points, int count, int minimum) {
  if (!points || count < minimum)
    return RecordFailure(InvalidParameter, QStringLiteral("at least %1 points are needed").arg(minimum));
  return Ok;
}

QPolygonF PolygonOf(const PointF *points, int count) {
  QPolygonF polygon;
  for (int i = 0; i < count; ++i)
    polygon << QPointF(points[i].X, points[i].Y);
  return polygon;
}

GpStatus CheckBox(float width, float height) {
  if (!(width > 0) || !(height > 0))
    return RecordFailure(InvalidParameter, QStringLiteral("a figure needs a positive width and height"));
  return Ok;
}

} // namespace

GpStatus GdipCreatePath(FillMode fillMode, GpPath **path) {
  if (GpStatus status = GdipCheckCall(path); status != Ok)
    return status;
  *path = new GpPath;
  (*path)->Mode = fillMode;
  (*path)->Figures.setFillRule(fillMode == FillModeWinding ? Qt::WindingFill : Qt::OddEvenFill);
  return Ok;
}

GpStatus GdipDeletePath(GpPath *path) {
  if (GpStatus status = GdipCheckCall(path); status != Ok)
    return status;
  delete path;
  return Ok;
}

GpStatus GdipStartPathFigure(GpPath *path) {
  if (GpStatus status = GdipCheckCall(path); status != Ok)
    return status;
  path->FigureOpen = false;
  return Ok;
}

GpStatus GdipClosePathFigure(GpPath *path) {
  if (GpStatus status = GdipCheckCall(path); status != Ok)
    return status;
  if (path->FigureOpen)
    path->Figures.closeSubpath();
  path->FigureOpen = false;
  return Ok;
}

GpStatus GdipAddPathLine(GpPath *path, float x1, float y1, float x2, float y2) {
  if (GpStatus status = GdipCheckCall(path); status != Ok)
    return status;
  path->ContinueAt(QPointF(x1, y1));
  path->Figures.lineTo(x2, y2);
  return Ok;
}

GpStatus GdipAddPathLine2(GpPath *path, const PointF *points, int count) {
  if (GpStatus status = GdipCheckCall(path); status != Ok)
    return status;
  if (GpStatus status = CheckPoints(points, count, 1); status != Ok)
    return status;
  for (int i = 0; i < count; ++i)
    path->ContinueAt(QPointF(points[i].X, points[i].Y));
  return Ok;
}

GpStatus GdipAddPathArc(GpPath *path, float x, float y, float width, float height, float startAngle,
                        float sweepAngle) {
  if (GpStatus status = GdipCheckCall(path); status != Ok)
    return status;
  if (GpStatus status = CheckBox(width, height); status != Ok)
    return status;
  const QRectF box(x, y, width, height);
  QPainterPath start;
  start.arcMoveTo(box, -startAngle);
  path->ContinueAt(start.currentPosition());
  path->Figures.arcTo(box, -startAngle, -sweepAngle);
  return Ok;
}

namespace {

// Adds a closed figure that fills a box of positive size.
template <typename Add> GpStatus AddBoxFigure(GpPath *path, const QRectF &box, Add add) {
  if (GpStatus status = GdipCheckCall(path); status != Ok)
    return status;
  if (GpStatus status = CheckBox(float(box.width()), float(box.height())); status != Ok)
    return status;
  add(path->Figures, box);
  path->FigureOpen = false;
  return Ok;
}

} // namespace

GpStatus GdipAddPathRectangle(GpPath *path, float x, float y, float width, float height) {
  return AddBoxFigure(path, QRectF(x, y, width, height),
                      [](QPainterPath &figures, const QRectF &box) { figures.addRect(box); });
}

GpStatus GdipAddPathEllipse(GpPath *path, float x, float y, float width, float height) {
  return AddBoxFigure(path, QRectF(x, y, width, height),
                      [](QPainterPath &figures, const QRectF &box) { figures.addEllipse(box); });
}

GpStatus GdipAddPathPie(GpPath *path, float x, float y, float width, float height, float startAngle,
                        float sweepAngle) {
  return AddBoxFigure(path, QRectF(x, y, width, height), [&](QPainterPath &figures, const QRectF &box) {
    figures.moveTo(box.center());
    figures.arcTo(box, -startAngle, -sweepAngle);
    figures.closeSubpath();
  });
}

GpStatus GdipAddPathPolygon(GpPath *path, const PointF *points, int count) {
  if (GpStatus status = GdipCheckCall(path); status != Ok)
    return status;
  if (GpStatus status = CheckPoints(points, count, 3); status != Ok)
    return status;
  path->Figures.addPolygon(PolygonOf(points, count));
  path->Figures.closeSubpath();
  path->FigureOpen = false;
  return Ok;
}

GpStatus GdipGetPathFillMode(GpPath *path, FillMode *fillMode) {
  if (GpStatus status = GdipCheckCall(path, fillMode); status != Ok)
    return status;
  *fillMode = path->Mode;
  return Ok;
}

const QPainterPath *GdipPathFigures(GpPath *path) {
  return path ? &path->Figures : nullptr;
}

GpStatus GdipCreateCustomLineCap(GpPath *fillPath, GpPath *strokePath, LineCap baseCap, float baseInset,
                                 GpCustomLineCap **cap) {
  if (GpStatus status = GdipCheckCall(cap); status != Ok)
    return status;
  *cap = nullptr;
  if (!fillPath && !strokePath)
    return RecordFailure(InvalidParameter, QStringLiteral("a custom line cap needs a fill or a stroke path"));
  auto *created = new GpCustomLineCap;
  if (fillPath)
    created->Fill = fillPath->Figures;
  if (strokePath)
    created->Stroke = strokePath->Figures;
  created->BaseCap = baseCap;
  created->BaseInset = baseInset;
  *cap = created;
  return Ok;
}

GpStatus GdipDeleteCustomLineCap(GpCustomLineCap *cap) {
  if (GpStatus status = GdipCheckCall(cap); status != Ok)
    return status;
  delete cap;
  return Ok;
}

GpStatus GdipGetCustomLineCapBaseCap(GpCustomLineCap *cap, LineCap *baseCap) {
  if (GpStatus status = GdipCheckCall(cap, baseCap); status != Ok)
    return status;
  *baseCap = cap->BaseCap;
  return Ok;
}

GpStatus GdipGetCustomLineCapBaseInset(GpCustomLineCap *cap, float *inset) {
  if (GpStatus status = GdipCheckCall(cap, inset); status != Ok)
    return status;
  *inset = cap->BaseInset;
  return Ok;
}

GpStatus GdipGetCustomLineCapFigures(GpCustomLineCap *cap, QPainterPath *fill, QPainterPath *stroke) {
  if (GpStatus status = GdipCheckCall(cap, fill, stroke); status != Ok)
    return status;
  *fill = cap->Fill;
  *stroke = cap->Stroke;
  return Ok;
}

GpStatus GdipCreateImageAttributes(GpImageAttributes **attributes) {
  if (GpStatus status = GdipCheckCall(attributes); status != Ok)
    return status;
  *attributes = new GpImageAttributes;
  return Ok;
}

GpStatus GdipDisposeImageAttributes(GpImageAttributes *attributes) {
  if (GpStatus status = GdipCheckCall(attributes); status != Ok)
    return status;
  delete attributes;
  return Ok;
}
