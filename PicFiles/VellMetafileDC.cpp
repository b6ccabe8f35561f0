#include "PicFiles/VellMetafileDC.h"

#include <QFontMetricsF>
#include <QPaintEngine>

#include <cmath>

namespace {

constexpr quint32 StockObjectFlag = 0x80000000;
constexpr quint32 PenStyleMask = 0x0F;
constexpr quint32 PenNull = 5;
constexpr quint32 PenUserStyle = 7;
constexpr quint32 PenAlternate = 8;
constexpr quint32 BrushNull = 1;
constexpr quint32 BrushHatched = 2;
constexpr quint32 AlignUpdateCp = 1;
constexpr quint32 AlignHorizontalMask = 6;
constexpr quint32 AlignRight = 2;
constexpr quint32 AlignCenter = 6;
constexpr quint32 AlignVerticalMask = 24;
constexpr quint32 AlignBottom = 8;
constexpr quint32 AlignBaseline = 24;
constexpr double ReferenceFontPixels = 256;
constexpr double DefaultFontPoints = 12;

// The area outside every clip: far beyond any picture.
QPainterPath Universe() {
  QPainterPath path;
  path.addRect(QRectF(-1e7, -1e7, 2e7, 2e7));
  return path;
}

double ScaleOf(const QTransform &transform) {
  return std::sqrt(std::abs(transform.determinant()));
}

Qt::PenStyle DashOf(quint32 style) {
  switch (style & PenStyleMask) {
  case 1:
    return Qt::DashLine;
  case 2:
  case PenAlternate:
    return Qt::DotLine;
  case 3:
    return Qt::DashDotLine;
  case 4:
    return Qt::DashDotDotLine;
  default:
    return Qt::SolidLine;
  }
}

Qt::PenCapStyle CapOf(quint32 style) {
  switch (style & 0xF00) {
  case 0x100:
    return Qt::SquareCap;
  case 0x200:
    return Qt::FlatCap;
  default:
    return Qt::RoundCap;
  }
}

Qt::PenJoinStyle JoinOf(quint32 style) {
  switch (style & 0xF000) {
  case 0x1000:
    return Qt::BevelJoin;
  case 0x2000:
    return Qt::MiterJoin;
  default:
    return Qt::RoundJoin;
  }
}

Qt::BrushStyle HatchOf(quint32 hatch) {
  static constexpr Qt::BrushStyle styles[] = {Qt::HorPattern,  Qt::VerPattern,   Qt::FDiagPattern,
                                              Qt::BDiagPattern, Qt::CrossPattern, Qt::DiagCrossPattern};
  return hatch < std::size(styles) ? styles[hatch] : Qt::SolidPattern;
}

// The parametric angle in degrees, as QPainterPath::arcTo counts it, of the
// point where the ray from the box's centre through point meets the ellipse.
double AngleOnEllipse(const QRectF &box, QPointF point) {
  const QPointF c = box.center();
  const double rx = qMax(box.width() / 2, 1e-9);
  const double ry = qMax(box.height() / 2, 1e-9);
  return std::atan2(-(point.y() - c.y()) / ry, (point.x() - c.x()) / rx) * 180 / M_PI;
}

QPainterPath OpenFigure(const QPolygonF &points) {
  QPainterPath path;
  if (points.isEmpty())
    return path;
  path.moveTo(points.first());
  for (qsizetype i = 1; i < points.size(); ++i)
    path.lineTo(points[i]);
  return path;
}

void AppendBeziers(QPainterPath &path, const QPolygonF &points, qsizetype from) {
  for (qsizetype i = from; i + 2 < points.size(); i += 3)
    path.cubicTo(points[i], points[i + 1], points[i + 2]);
}

} // namespace

TMetafileDC::TMetafileDC(QPainter &painter, const QTransform &device)
    : FPainter(painter), FBase(painter.transform()), FDevice(device) {
  FPainter.save();
  if (FPainter.hasClipping())
    FOuterClip = FPainter.clipPath();
  FPainter.setRenderHint(QPainter::Antialiasing);
}

TMetafileDC::TMetafileDC(QPainter &painter, const QRectF &window, const QRectF &viewport)
    : TMetafileDC(painter, QTransform()) {
  FFixedViewport = true;
  FState.MapMode = MapAnisotropic;
  FState.WindowOrg = window.topLeft();
  FState.WindowExt = window.size();
  FState.ViewportOrg = viewport.topLeft();
  FState.ViewportExt = viewport.size();
}

TMetafileDC::~TMetafileDC() {
  FPainter.restore();
}

void TMetafileDC::SetDeviceResolution(double xPerMm, double yPerMm) {
  if (xPerMm > 0 && yPerMm > 0 && std::isfinite(xPerMm) && std::isfinite(yPerMm))
    FPixelsPerMm = QPointF(xPerMm, yPerMm);
}

void TMetafileDC::CreateObject(quint32 index, TGdiObject object) {
  FObjects.insert(index, std::move(object));
}

void TMetafileDC::CreateObjectAtFreeIndex(TGdiObject object) {
  quint32 index = 0;
  while (FObjects.contains(index))
    ++index;
  FObjects.insert(index, std::move(object));
}

void TMetafileDC::SelectObject(quint32 index) {
  if (index & StockObjectFlag) {
    SelectStockObject(index & ~StockObjectFlag);
    return;
  }
  const auto found = FObjects.constFind(index);
  if (found == FObjects.constEnd())
    return;
  if (const auto *pen = std::get_if<TGdiPen>(&*found))
    FState.Pen = *pen;
  else if (const auto *brush = std::get_if<TGdiBrush>(&*found))
    FState.Brush = *brush;
  else if (const auto *font = std::get_if<TGdiFont>(&*found))
    FState.Font = *font;
}

void TMetafileDC::SelectStockObject(quint32 stock) {
  static constexpr int brushGrays[] = {255, 192, 128, 64, 0};
  if (stock < std::size(brushGrays)) {
    const int gray = brushGrays[stock];
    FState.Brush = TGdiBrush{0, QColor(gray, gray, gray), 0, {}};
  } else if (stock == 5) {
    FState.Brush = TGdiBrush{BrushNull, Qt::white, 0, {}};
  } else if (stock == 6 || stock == 7 || stock == 19) {
    FState.Pen = TGdiPen{0, 0, stock == 6 ? Qt::white : Qt::black, {}};
  } else if (stock == 8) {
    FState.Pen = TGdiPen{PenNull, 0, Qt::black, {}};
  } else if (stock >= 10 && stock <= 17) {
    FState.Font = TGdiFont{};
  } else if (stock == 18) {
    FState.Brush = TGdiBrush{};
  }
}

void TMetafileDC::DeleteObject(quint32 index) {
  FObjects.remove(index);
}

void TMetafileDC::SetMapMode(quint32 mode) {
  if (!FFixedViewport)
    FState.MapMode = mode;
}

void TMetafileDC::SetWindowOrg(QPointF origin) {
  FState.WindowOrg = origin;
}

void TMetafileDC::SetWindowExt(QSizeF extent) {
  if (extent.width() != 0 && extent.height() != 0)
    FState.WindowExt = extent;
}

void TMetafileDC::SetViewportOrg(QPointF origin) {
  if (!FFixedViewport)
    FState.ViewportOrg = origin;
}

void TMetafileDC::SetViewportExt(QSizeF extent) {
  if (!FFixedViewport && extent.width() != 0 && extent.height() != 0)
    FState.ViewportExt = extent;
}

void TMetafileDC::ScaleWindowExt(double xNum, double xDenom, double yNum, double yDenom) {
  if (xDenom != 0 && yDenom != 0)
    SetWindowExt(QSizeF(FState.WindowExt.width() * xNum / xDenom, FState.WindowExt.height() * yNum / yDenom));
}

void TMetafileDC::ScaleViewportExt(double xNum, double xDenom, double yNum, double yDenom) {
  if (xDenom != 0 && yDenom != 0)
    SetViewportExt(
        QSizeF(FState.ViewportExt.width() * xNum / xDenom, FState.ViewportExt.height() * yNum / yDenom));
}

void TMetafileDC::SetWorldTransform(const QTransform &transform) {
  if (transform.isInvertible())
    FState.World = transform;
}

void TMetafileDC::ModifyWorldTransform(const QTransform &transform, quint32 mode) {
  switch (mode) {
  case 1:
    FState.World = QTransform();
    break;
  case 2:
    SetWorldTransform(transform * FState.World);
    break;
  case 3:
    SetWorldTransform(FState.World * transform);
    break;
  case 4:
    SetWorldTransform(transform);
    break;
  default:
    break;
  }
}

QTransform TMetafileDC::PageTransform() const {
  const double perMmX = FPixelsPerMm.x();
  const double perMmY = FPixelsPerMm.y();
  double sx = 1;
  double sy = 1;
  switch (FState.MapMode) {
  case 2: // 0.1 mm
    sx = perMmX * 0.1, sy = -perMmY * 0.1;
    break;
  case 3: // 0.01 mm
    sx = perMmX * 0.01, sy = -perMmY * 0.01;
    break;
  case 4: // 0.01 inch
    sx = perMmX * 0.254, sy = -perMmY * 0.254;
    break;
  case 5: // 0.001 inch
    sx = perMmX * 0.0254, sy = -perMmY * 0.0254;
    break;
  case 6: // twips
    sx = perMmX * 25.4 / 1440, sy = -perMmY * 25.4 / 1440;
    break;
  case MapIsotropic:
  case MapAnisotropic:
    sx = FState.ViewportExt.width() / FState.WindowExt.width();
    sy = FState.ViewportExt.height() / FState.WindowExt.height();
    if (FState.MapMode == MapIsotropic) {
      const double scale = qMin(std::abs(sx), std::abs(sy));
      sx = std::copysign(scale, sx);
      sy = std::copysign(scale, sy);
    }
    break;
  default:
    break;
  }
  return QTransform(sx, 0, 0, sy, FState.ViewportOrg.x() - FState.WindowOrg.x() * sx,
                    FState.ViewportOrg.y() - FState.WindowOrg.y() * sy);
}

QTransform TMetafileDC::Mapping() const {
  return FState.World * PageTransform() * FDevice;
}

void TMetafileDC::SaveDC() {
  FSaved.append(FState);
}

void TMetafileDC::RestoreDC(qint32 which) {
  const qint64 index = which < 0 ? FSaved.size() + qint64(which) : qint64(which) - 1;
  if (index < 0 || index >= FSaved.size())
    return;
  FState = FSaved[index];
  FSaved.resize(index);
  ApplyClip();
}

void TMetafileDC::CombineClip(const QPainterPath &path, quint32 mode) {
  const QPainterPath current = FState.Clip.value_or(Universe());
  switch (mode) {
  case ClipAnd:
    FState.Clip = current.intersected(path);
    break;
  case ClipOr:
    if (FState.Clip)
      FState.Clip = current.united(path);
    break;
  case ClipXor:
    FState.Clip = current.united(path).subtracted(current.intersected(path));
    break;
  case ClipDiff:
    FState.Clip = current.subtracted(path);
    break;
  case ClipCopy:
    FState.Clip = path;
    break;
  default:
    return;
  }
  ApplyClip();
}

void TMetafileDC::ApplyClip() {
  FPainter.setTransform(FBase);
  if (FOuterClip)
    FPainter.setClipPath(*FOuterClip);
  if (FState.Clip)
    FPainter.setClipPath(*FState.Clip, FOuterClip ? Qt::IntersectClip : Qt::ReplaceClip);
  else if (!FOuterClip)
    FPainter.setClipping(false);
}

void TMetafileDC::IntersectClipRect(const QRectF &rect) {
  QPainterPath path;
  path.addRect(rect.normalized());
  CombineClip(Mapping().map(path), ClipAnd);
}

void TMetafileDC::ExcludeClipRect(const QRectF &rect) {
  QPainterPath path;
  path.addRect(rect.normalized());
  CombineClip(Mapping().map(path), ClipDiff);
}

void TMetafileDC::SelectClipRegion(const QList<QRectF> &rects, quint32 mode) {
  if (rects.isEmpty() && mode == ClipCopy) {
    FState.Clip.reset();
    ApplyClip();
    return;
  }
  QPainterPath path;
  for (const QRectF &rect : rects)
    path.addRect(rect.normalized());
  CombineClip(FDevice.map(path.simplified()), mode);
}

void TMetafileDC::SelectClipPath(quint32 mode) {
  CombineClip(FPath, mode);
  AbortPath();
}

QPen TMetafileDC::PenFor(const QTransform &mapping) const {
  const TGdiPen &gdi = FState.Pen;
  if ((gdi.Style & PenStyleMask) == PenNull)
    return QPen(Qt::NoPen);
  QPen pen(gdi.Color);
  pen.setCapStyle(CapOf(gdi.Style));
  pen.setJoinStyle(JoinOf(gdi.Style));
  const double width = gdi.Width * ScaleOf(mapping);
  if (width * ScaleOf(FBase) < 1 || !std::isfinite(width)) {
    pen.setCosmetic(true);
    pen.setWidth(1);
  } else {
    pen.setWidthF(width);
  }
  if ((gdi.Style & PenStyleMask) == PenUserStyle && gdi.Width > 0 && !gdi.Dashes.isEmpty()) {
    QList<qreal> dashes;
    for (qreal dash : gdi.Dashes)
      dashes.append(qMax(dash / gdi.Width, 0.01));
    if (dashes.size() % 2)
      dashes.append(dashes.last());
    pen.setDashPattern(dashes);
  } else {
    pen.setStyle(DashOf(gdi.Style));
  }
  return pen;
}

QBrush TMetafileDC::BrushFor(const TGdiBrush &brush) const {
  if (brush.Style == BrushHatched)
    return QBrush(brush.Color, HatchOf(brush.Hatch));
  if (!brush.Pattern.isNull())
    return QBrush(brush.Pattern);
  return QBrush(brush.Color);
}

void TMetafileDC::FillDevice(const QPainterPath &path, const TGdiBrush &brush) {
  if (brush.Style == BrushNull)
    return;
  FPainter.setTransform(FBase);
  if (brush.Style == BrushHatched && FState.BkMode != TransparentBackground)
    FPainter.fillPath(path, FState.BkColor);
  FPainter.fillPath(path, BrushFor(brush));
}

void TMetafileDC::StrokeDevice(const QPainterPath &path, const QTransform &mapping) {
  const QPen pen = PenFor(mapping);
  if (pen.style() == Qt::NoPen)
    return;
  FPainter.setTransform(FBase);
  FPainter.strokePath(path, pen);
}

void TMetafileDC::Draw(const QPainterPath &figure, bool fill, bool stroke) {
  const QTransform mapping = Mapping();
  QPainterPath mapped = mapping.map(figure);
  mapped.setFillRule(FState.Winding ? Qt::WindingFill : Qt::OddEvenFill);
  if (FInPath) {
    FPath.addPath(mapped);
    return;
  }
  if (fill)
    FillDevice(mapped, FState.Brush);
  if (stroke)
    StrokeDevice(mapped, mapping);
}

void TMetafileDC::MoveTo(QPointF point) {
  FState.Position = point;
  if (FInPath)
    FPath.moveTo(Mapping().map(point));
}

void TMetafileDC::LineTo(QPointF point) {
  PolylineTo(QPolygonF{point});
}

void TMetafileDC::PolylineTo(const QPolygonF &points) {
  if (points.isEmpty())
    return;
  QPolygonF line{FState.Position};
  line += points;
  FState.Position = points.last();
  if (!FInPath) {
    Draw(OpenFigure(line), false, true);
    return;
  }
  const QTransform mapping = Mapping();
  if (FPath.elementCount() == 0)
    FPath.moveTo(mapping.map(line.first()));
  for (qsizetype i = 1; i < line.size(); ++i)
    FPath.lineTo(mapping.map(line[i]));
}

void TMetafileDC::PolyBezierTo(const QPolygonF &points) {
  if (points.size() < 3)
    return;
  QPainterPath logical(FState.Position);
  AppendBeziers(logical, points, 0);
  FState.Position = logical.currentPosition();
  if (!FInPath) {
    Draw(logical, false, true);
    return;
  }
  const QPainterPath mapped = Mapping().map(logical);
  if (FPath.elementCount() == 0)
    FPath.moveTo(mapped.elementAt(0));
  for (int i = 1; i + 2 < mapped.elementCount(); i += 3)
    FPath.cubicTo(mapped.elementAt(i), mapped.elementAt(i + 1), mapped.elementAt(i + 2));
}

void TMetafileDC::Polyline(const QPolygonF &points) {
  if (points.size() >= 2)
    Draw(OpenFigure(points), false, true);
}

void TMetafileDC::PolyBezier(const QPolygonF &points) {
  if (points.size() < 4)
    return;
  QPainterPath path(points.first());
  AppendBeziers(path, points, 1);
  Draw(path, false, true);
}

void TMetafileDC::PolyPolygon(const QList<QPolygonF> &polygons) {
  QPainterPath path;
  for (const QPolygonF &polygon : polygons)
    if (polygon.size() >= 2)
      path.addPolygon(polygon), path.closeSubpath();
  Draw(path, true, true);
}

void TMetafileDC::PolyPolyline(const QList<QPolygonF> &lines) {
  QPainterPath path;
  for (const QPolygonF &line : lines)
    path.addPath(OpenFigure(line));
  Draw(path, false, true);
}

void TMetafileDC::Rectangle(const QRectF &rect) {
  QPainterPath path;
  path.addRect(rect.normalized());
  Draw(path, true, true);
}

void TMetafileDC::RoundRect(const QRectF &rect, QSizeF corner) {
  QPainterPath path;
  path.addRoundedRect(rect.normalized(), std::abs(corner.width()) / 2, std::abs(corner.height()) / 2);
  Draw(path, true, true);
}

void TMetafileDC::Ellipse(const QRectF &rect) {
  QPainterPath path;
  path.addEllipse(rect.normalized());
  Draw(path, true, true);
}

QPainterPath TMetafileDC::ArcPath(const QRectF &box, QPointF start, QPointF end) const {
  const double from = AngleOnEllipse(box, start);
  double sweep = AngleOnEllipse(box, end) - from;
  if (FState.Clockwise) {
    while (sweep >= 0)
      sweep -= 360;
  } else {
    while (sweep <= 0)
      sweep += 360;
  }
  QPainterPath path;
  path.arcMoveTo(box, from);
  path.arcTo(box, from, sweep);
  return path;
}

void TMetafileDC::Arc(const QRectF &rawBox, QPointF start, QPointF end, TArcKind kind) {
  const QRectF box = rawBox.normalized();
  QPainterPath arc = ArcPath(box, start, end);
  switch (kind) {
  case TArcKind::Arc:
    Draw(arc, false, true);
    break;
  case TArcKind::ArcTo: {
    QPainterPath path(FState.Position);
    path.connectPath(arc);
    FState.Position = arc.currentPosition();
    Draw(path, false, true);
    break;
  }
  case TArcKind::Chord:
    arc.closeSubpath();
    Draw(arc, true, true);
    break;
  case TArcKind::Pie: {
    QPainterPath pie(box.center());
    pie.connectPath(arc);
    pie.closeSubpath();
    Draw(pie, true, true);
    break;
  }
  }
}

void TMetafileDC::AngleArc(QPointF center, double radius, double startDegrees, double sweepDegrees) {
  const QRectF box(center.x() - radius, center.y() - radius, 2 * radius, 2 * radius);
  QPainterPath path(FState.Position);
  QPainterPath arc;
  arc.arcMoveTo(box, startDegrees);
  arc.arcTo(box, startDegrees, sweepDegrees);
  path.connectPath(arc);
  FState.Position = arc.currentPosition();
  Draw(path, false, true);
}

void TMetafileDC::SetPixel(QPointF point, QColor color) {
  const QPointF at = Mapping().map(point);
  FPainter.setTransform(FBase);
  const double size = 1 / qMax(ScaleOf(FBase), 1e-9);
  FPainter.fillRect(QRectF(at, QSizeF(size, size)), color);
}

void TMetafileDC::FillRegion(const QList<QRectF> &deviceRects, std::optional<quint32> brush) {
  QPainterPath path;
  for (const QRectF &rect : deviceRects)
    path.addRect(rect.normalized());
  TGdiBrush fill = FState.Brush;
  if (brush) {
    const auto found = FObjects.constFind(*brush);
    if (found == FObjects.constEnd() || !std::holds_alternative<TGdiBrush>(*found))
      return;
    fill = std::get<TGdiBrush>(*found);
  }
  FillDevice(FDevice.map(path.simplified()), fill);
}

void TMetafileDC::BeginPath() {
  FPath = QPainterPath();
  FInPath = true;
}

void TMetafileDC::AbortPath() {
  FPath = QPainterPath();
  FInPath = false;
}

void TMetafileDC::CloseFigure() {
  if (FInPath)
    FPath.closeSubpath();
}

void TMetafileDC::FillPath() {
  FPath.setFillRule(FState.Winding ? Qt::WindingFill : Qt::OddEvenFill);
  FillDevice(FPath, FState.Brush);
  AbortPath();
}

void TMetafileDC::StrokePath() {
  StrokeDevice(FPath, Mapping());
  AbortPath();
}

void TMetafileDC::StrokeAndFillPath() {
  FPath.setFillRule(FState.Winding ? Qt::WindingFill : Qt::OddEvenFill);
  FillDevice(FPath, FState.Brush);
  StrokeDevice(FPath, Mapping());
  AbortPath();
}

QPainterPath TMetafileDC::TextPath(QPointF origin, const QString &text, const QList<double> &dx,
                                   QRectF &box) const {
  const QTransform mapping = Mapping();
  QFont font(FState.Font.Face);
  font.setPixelSize(int(ReferenceFontPixels));
  font.setWeight(QFont::Weight(qBound(1, FState.Font.Weight > 0 ? FState.Font.Weight : 400, 1000)));
  font.setItalic(FState.Font.Italic);
  font.setUnderline(FState.Font.Underline);
  font.setStrikeOut(FState.Font.StrikeOut);
  const QFontMetricsF metrics(font);

  double em = std::abs(FState.Font.Height) * std::hypot(mapping.m21(), mapping.m22());
  if (FState.Font.Height > 0)
    em *= ReferenceFontPixels / metrics.height();
  else if (FState.Font.Height == 0)
    em = DefaultFontPoints / 72 * 25.4 * FPixelsPerMm.y() * ScaleOf(FDevice);
  const double scale = em / ReferenceFontPixels;
  const double xScale = std::hypot(mapping.m11(), mapping.m12());

  QPainterPath glyphs;
  double advance = 0;
  for (qsizetype i = 0; i < text.size(); ++i) {
    glyphs.addText(advance, 0, font, QString(text[i]));
    advance += i < dx.size() && scale > 0 ? dx[i] * xScale / scale : metrics.horizontalAdvance(text[i]);
  }
  double x = 0;
  if ((FState.TextAlign & AlignHorizontalMask) == AlignRight)
    x = -advance;
  else if ((FState.TextAlign & AlignHorizontalMask) == AlignCenter)
    x = -advance / 2;
  double y = metrics.ascent();
  if ((FState.TextAlign & AlignVerticalMask) == AlignBaseline)
    y = 0;
  else if ((FState.TextAlign & AlignVerticalMask) == AlignBottom)
    y = -metrics.descent();
  const QTransform place = QTransform()
                               .translate(origin.x(), origin.y())
                               .rotate(-FState.Font.Escapement / 10.0)
                               .scale(scale, scale)
                               .translate(x, y);
  box = place.mapRect(QRectF(0, -metrics.ascent(), advance, metrics.height()));
  return place.map(glyphs);
}

void TMetafileDC::TextOut(QPointF reference, const QString &text, const QList<double> &dx, quint32 options,
                          const QRectF &rect) {
  const bool updateCp = FState.TextAlign & AlignUpdateCp;
  const QTransform mapping = Mapping();
  const QPointF origin = mapping.map(updateCp ? FState.Position : reference);
  QPainterPath frame;
  frame.addRect(rect.normalized());
  frame = mapping.map(frame);
  FPainter.save();
  FPainter.setTransform(FBase);
  if (options & TextOptionOpaque)
    FPainter.fillPath(frame, FState.BkColor);
  if (options & TextOptionClipped)
    FPainter.setClipPath(frame, Qt::IntersectClip);
  QRectF box;
  QPainterPath glyphs = TextPath(origin, text, dx, box);
  glyphs.setFillRule(Qt::WindingFill);
  if (FInPath) {
    FPath.addPath(glyphs);
  } else {
    if (FState.BkMode != TransparentBackground && !(options & TextOptionOpaque))
      FPainter.fillRect(box, FState.BkColor);
    FPainter.fillPath(glyphs, FState.TextColor);
  }
  FPainter.restore();
  if (updateCp && mapping.isInvertible())
    FState.Position = mapping.inverted().map(QPointF(box.right(), origin.y()));
}

void TMetafileDC::StretchBlt(const QRectF &dest, const QImage &image, const QRectF &src, quint32 rop,
                             double opacity) {
  const bool flipX = dest.width() < 0;
  const bool flipY = dest.height() < 0;
  QRectF source = src.normalized().intersected(QRectF(image.rect()));
  if (source.isEmpty() || dest.isNull())
    return;
  const QImage picture = image.mirrored(flipX, flipY);
  if (flipX)
    source.moveLeft(image.width() - source.right());
  if (flipY)
    source.moveTop(image.height() - source.bottom());
  FPainter.save();
  FPainter.setTransform(Mapping() * FBase);
  FPainter.setOpacity(opacity);
  if (FPainter.paintEngine() && FPainter.paintEngine()->type() == QPaintEngine::Raster) {
    if (rop == 0x00EE0086)
      FPainter.setCompositionMode(QPainter::RasterOp_SourceOrDestination);
    else if (rop == 0x008800C6)
      FPainter.setCompositionMode(QPainter::RasterOp_SourceAndDestination);
    else if (rop == 0x00660046)
      FPainter.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
  }
  FPainter.drawImage(dest.normalized(), picture, source);
  FPainter.restore();
}

void TMetafileDC::PatBlt(const QRectF &dest, quint32 rop) {
  QPainterPath path;
  path.addRect(dest.normalized());
  path = Mapping().map(path);
  if (rop == 0x00F00021)
    FillDevice(path, FState.Brush);
  else if (rop == 0x00000042)
    FillDevice(path, TGdiBrush{0, Qt::black, 0, {}});
  else if (rop == 0x00FF0062)
    FillDevice(path, TGdiBrush{0, Qt::white, 0, {}});
}
