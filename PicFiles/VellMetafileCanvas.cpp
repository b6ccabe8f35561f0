#include "PicFiles/VellMetafileCanvas.h"

#include "PicFiles/VellMetafile.h"

#include <QPaintEngine>
#include <QPainterPath>
#include <QPixmap>
#include <QTextItem>

#include <cmath>

namespace {

// Record types and functions written, enhanced and Windows forms.
enum : quint32 {
  EmfPolyPolyline = 7,
  EmfPolyPolygon = 8,
  EmfSetWindowExt = 9,
  EmfSetViewportExt = 11,
  EmfSetMapMode = 17,
  EmfSetBkMode = 18,
  EmfSetPolyFillMode = 19,
  EmfSelectObject = 37,
  EmfCreateBrush = 39,
  EmfDeleteObject = 40,
  EmfStretchDIBits = 81,
  EmfPolyPolyline16 = 90,
  EmfPolyPolygon16 = 91,
  EmfExtCreatePen = 95,
  WmfSetBkMode = 0x0102,
  WmfSetMapMode = 0x0103,
  WmfSetPolyFillMode = 0x0106,
  WmfSetWindowOrg = 0x020B,
  WmfSetWindowExt = 0x020C,
  WmfPolyline = 0x0325,
  WmfPolyPolygon = 0x0538,
  WmfSelectObject = 0x012D,
  WmfDeleteObject = 0x01F0,
  WmfCreatePen = 0x02FA,
  WmfCreateBrush = 0x02FC,
  WmfStretchDib = 0x0F43,
};

constexpr quint32 SourceCopy = 0x00CC0020;
constexpr quint32 PenNullStyle = 5;
constexpr quint32 BrushNullStyle = 1;
constexpr int MaxUnitsPerPixel = 16;

quint32 ColorRef(QColor color) {
  return quint32(color.red()) | quint32(color.green()) << 8 | quint32(color.blue()) << 16;
}

struct TPenKey {
  quint32 Style = PenNullStyle;
  qint32 Width = 0;
  quint32 Color = 0;
  bool operator==(const TPenKey &) const = default;
};

struct TBrushKey {
  quint32 Style = BrushNullStyle;
  quint32 Color = 0;
  bool operator==(const TBrushKey &) const = default;
};

quint32 PenStyleOf(const QPen &pen) {
  quint32 style = 0;
  switch (pen.style()) {
  case Qt::DashLine:
    style = 1;
    break;
  case Qt::DotLine:
    style = 2;
    break;
  case Qt::DashDotLine:
    style = 3;
    break;
  case Qt::DashDotDotLine:
    style = 4;
    break;
  default:
    break;
  }
  if (pen.capStyle() == Qt::SquareCap)
    style |= 0x100;
  else if (pen.capStyle() == Qt::FlatCap)
    style |= 0x200;
  if (pen.joinStyle() == Qt::BevelJoin)
    style |= 0x1000;
  else if (pen.joinStyle() == Qt::MiterJoin || pen.joinStyle() == Qt::SvgMiterJoin)
    style |= 0x2000;
  return style;
}

// Figures of more elements than this are clipped to the clip's bounding
// rectangle instead of by path intersection.
constexpr int ExactClipElements = 256;

// The part of a closed polygon inside rect (Sutherland-Hodgman, one edge of
// the rectangle after the other).
QPolygonF ClipPolygon(QPolygonF polygon, const QRectF &rect) {
  const auto cutBy = [&polygon](auto inside, auto crossing) {
    QPolygonF kept;
    for (qsizetype i = 0; i < polygon.size(); ++i) {
      const QPointF &from = polygon[(i + polygon.size() - 1) % polygon.size()];
      const QPointF &to = polygon[i];
      if (inside(to)) {
        if (!inside(from))
          kept.append(crossing(from, to));
        kept.append(to);
      } else if (inside(from)) {
        kept.append(crossing(from, to));
      }
    }
    polygon = kept;
  };
  const auto atX = [](double x) {
    return [x](QPointF a, QPointF b) { return QPointF(x, a.y() + (b.y() - a.y()) * (x - a.x()) / (b.x() - a.x())); };
  };
  const auto atY = [](double y) {
    return [y](QPointF a, QPointF b) { return QPointF(a.x() + (b.x() - a.x()) * (y - a.y()) / (b.y() - a.y()), y); };
  };
  cutBy([&](QPointF p) { return p.x() >= rect.left(); }, atX(rect.left()));
  cutBy([&](QPointF p) { return p.x() <= rect.right(); }, atX(rect.right()));
  cutBy([&](QPointF p) { return p.y() >= rect.top(); }, atY(rect.top()));
  cutBy([&](QPointF p) { return p.y() <= rect.bottom(); }, atY(rect.bottom()));
  return polygon;
}

// The runs of an open polyline inside rect (each segment cut by Liang-Barsky).
QList<QPolygonF> ClipPolyline(const QPolygonF &line, const QRectF &rect) {
  QList<QPolygonF> runs;
  QPolygonF run;
  for (qsizetype i = 1; i < line.size(); ++i) {
    const QPointF a = line[i - 1];
    const QPointF d = line[i] - a;
    double enter = 0;
    double leave = 1;
    const double p[] = {-d.x(), d.x(), -d.y(), d.y()};
    const double q[] = {a.x() - rect.left(), rect.right() - a.x(), a.y() - rect.top(), rect.bottom() - a.y()};
    bool visible = true;
    for (int k = 0; k < 4 && visible; ++k) {
      if (p[k] == 0)
        visible = q[k] >= 0;
      else if (p[k] < 0)
        enter = qMax(enter, q[k] / p[k]);
      else
        leave = qMin(leave, q[k] / p[k]);
    }
    if (!visible || enter > leave) {
      if (run.size() > 1)
        runs.append(run);
      run.clear();
      continue;
    }
    if (run.isEmpty() || enter > 0) {
      if (run.size() > 1)
        runs.append(run);
      run = QPolygonF{a + d * enter};
    }
    run.append(a + d * leave);
    if (leave < 1) {
      runs.append(run);
      run.clear();
    }
  }
  if (run.size() > 1)
    runs.append(run);
  return runs;
}

// Turns figures, polylines and bitmaps in recording pixels into the records
// of one form. Pens and brushes are created when the drawing needs another
// one and deleted once they are no longer selected, so the object table stays
// at four entries.
class TRecordWriter {
public:
  TRecordWriter(bool enhanced, int width, int height)
      : FEnhanced(enhanced), FWidth(qMax(width, 1)), FHeight(qMax(height, 1)),
        FUnits(qBound(1, 32767 / qMax(FWidth, FHeight), MaxUnitsPerPixel)) {
    if (FEnhanced) {
      Emit(EmfSetMapMode, TRecordBuilder().U32(8));
      Emit(EmfSetWindowExt, TRecordBuilder().I32(FWidth * FUnits).I32(FHeight * FUnits));
      Emit(EmfSetViewportExt, TRecordBuilder().I32(FWidth).I32(FHeight));
      Emit(EmfSetBkMode, TRecordBuilder().U32(1));
    } else {
      Emit(WmfSetWindowOrg, TRecordBuilder().I16(0).I16(0));
      Emit(WmfSetWindowExt, TRecordBuilder().I16(FHeight * FUnits).I16(FWidth * FUnits));
      Emit(WmfSetMapMode, TRecordBuilder().U16(8));
      Emit(WmfSetBkMode, TRecordBuilder().U16(1));
    }
  }

  void Fill(const QList<QPolygonF> &polygons, bool winding, QColor color) {
    if (polygons.isEmpty() || color.alpha() == 0)
      return;
    SelectPen(TPenKey{});
    SelectBrush(TBrushKey{0, ColorRef(color)});
    SetFillMode(winding);
    const QList<QPolygon> logical = Logical(polygons);
    if (FEnhanced)
      EmitPolyPoly(Fits16(logical) ? EmfPolyPolygon16 : EmfPolyPolygon, logical, polygons);
    else
      EmitWmfPolyPolygon(logical);
  }

  void Stroke(const QList<QPolygonF> &lines, const QPen &pen, double width) {
    if (lines.isEmpty() || pen.color().alpha() == 0)
      return;
    SelectPen(TPenKey{PenStyleOf(pen), qint32(std::lround(width * FUnits)), ColorRef(pen.color())});
    SelectBrush(TBrushKey{});
    const QList<QPolygon> logical = Logical(lines);
    if (FEnhanced) {
      EmitPolyPoly(Fits16(logical) ? EmfPolyPolyline16 : EmfPolyPolyline, logical, lines);
      return;
    }
    for (const QPolygon &line : logical) {
      TRecordBuilder params;
      params.U16(quint32(line.size()));
      for (const QPoint &p : line)
        params.I16(p.x()).I16(p.y());
      Emit(WmfPolyline, params);
    }
  }

  // image stretched into dest; translucent pixels are shown over white.
  void Image(const QRectF &dest, const QImage &image) {
    if (dest.isEmpty() || image.isNull())
      return;
    QImage opaque(image.size(), QImage::Format_BGR888);
    opaque.fill(Qt::white);
    QPainter(&opaque).drawImage(0, 0, image);
    const QRect at = Logical(dest);
    QByteArray dib = DibHeader(opaque);
    const qsizetype headerSize = dib.size();
    const qsizetype stride = (qsizetype(opaque.width()) * 3 + 3) / 4 * 4;
    for (int y = opaque.height() - 1; y >= 0; --y)
      dib.append(reinterpret_cast<const char *>(opaque.constScanLine(y)), opaque.width() * 3)
          .append(QByteArray(stride - opaque.width() * 3, '\0'));
    TRecordBuilder params;
    if (FEnhanced) {
      AppendBounds(params, dest);
      params.I32(at.x()).I32(at.y()).I32(0).I32(0).I32(opaque.width()).I32(opaque.height());
      params.U32(80).U32(quint32(headerSize)).U32(quint32(80 + headerSize)).U32(quint32(dib.size() - headerSize));
      params.U32(0).U32(SourceCopy).I32(at.width()).I32(at.height()).Bytes(dib);
      Emit(EmfStretchDIBits, params);
    } else {
      params.U32(SourceCopy).U16(0).I16(opaque.height()).I16(opaque.width()).I16(0).I16(0);
      params.I16(at.height()).I16(at.width()).I16(at.y()).I16(at.x()).Bytes(dib);
      Emit(WmfStretchDib, params);
    }
    Touch(dest);
  }

  QList<TMetaRecord> TakeRecords() { return std::move(FRecords); }

  TMetafileHeader Header(int width, int height) const {
    TMetafileHeader header = TMetafile::RecordingHeader(width, height);
    if (!FDrawn.isEmpty()) {
      const QRect pixels = FDrawn.toAlignedRect().intersected(QRect(0, 0, width, height));
      header.Bounds = pixels.isEmpty() ? header.Bounds : pixels;
    }
    header.Box = QRect(0, 0, width * FUnits, height * FUnits);
    header.UnitsPerInch = MetafilePixelsPerInch * FUnits;
    header.ObjectCount = int(FSlots.size()) + (FEnhanced ? 1 : 0);
    return header;
  }

private:
  void Emit(quint32 type, const TRecordBuilder &params) {
    TRecordBuilder record;
    QByteArray body = params.Result();
    if (FEnhanced) {
      while (body.size() % 4)
        body.append('\0');
      record.U32(type).U32(quint32(8 + body.size()));
    } else {
      if (body.size() % 2)
        body.append('\0');
      record.U32(quint32((6 + body.size()) / 2)).U16(type);
    }
    FRecords.append({type, record.Bytes(body).Result()});
  }

  int AcquireSlot() {
    const qsizetype free = FSlots.indexOf(false);
    if (free >= 0) {
      FSlots[free] = true;
      return int(free);
    }
    FSlots.append(true);
    return int(FSlots.size() - 1);
  }

  quint32 IndexOf(int slot) const { return quint32(FEnhanced ? slot + 1 : slot); }

  // Selects the object just created in slot and deletes the one it replaces.
  void Replace(int &current, int slot) {
    Emit(FEnhanced ? EmfSelectObject : WmfSelectObject,
         FEnhanced ? TRecordBuilder().U32(IndexOf(slot)) : TRecordBuilder().U16(IndexOf(slot)));
    if (current >= 0) {
      Emit(FEnhanced ? EmfDeleteObject : WmfDeleteObject,
           FEnhanced ? TRecordBuilder().U32(IndexOf(current)) : TRecordBuilder().U16(IndexOf(current)));
      FSlots[current] = false;
    }
    current = slot;
  }

  void SelectPen(const TPenKey &pen) {
    if (FPenSlot >= 0 && pen == FPen)
      return;
    const int slot = AcquireSlot();
    if (FEnhanced)
      Emit(EmfExtCreatePen, TRecordBuilder()
                                .U32(IndexOf(slot))
                                .U32(0).U32(0).U32(0).U32(0)
                                .U32(pen.Style | (pen.Width > 0 ? 0x10000 : 0))
                                .I32(pen.Width).U32(0).U32(pen.Color).U32(0).U32(0));
    else
      Emit(WmfCreatePen, TRecordBuilder().U16(pen.Style & 0xFFFF).I16(pen.Width).I16(0).U32(pen.Color));
    Replace(FPenSlot, slot);
    FPen = pen;
  }

  void SelectBrush(const TBrushKey &brush) {
    if (FBrushSlot >= 0 && brush == FBrush)
      return;
    const int slot = AcquireSlot();
    if (FEnhanced)
      Emit(EmfCreateBrush, TRecordBuilder().U32(IndexOf(slot)).U32(brush.Style).U32(brush.Color).U32(0));
    else
      Emit(WmfCreateBrush, TRecordBuilder().U16(brush.Style).U32(brush.Color).U16(0));
    Replace(FBrushSlot, slot);
    FBrush = brush;
  }

  void SetFillMode(bool winding) {
    if (FWinding == std::optional<bool>(winding))
      return;
    FWinding = winding;
    if (FEnhanced)
      Emit(EmfSetPolyFillMode, TRecordBuilder().U32(winding ? 2 : 1));
    else
      Emit(WmfSetPolyFillMode, TRecordBuilder().U16(winding ? 2 : 1));
  }

  // A coordinate in logical units, kept within what the form's records hold.
  int Units(double pixels) const {
    const double limit = FEnhanced ? 1e9 : 32767;
    return int(std::lround(qBound(-limit, pixels * FUnits, limit)));
  }

  QRect Logical(const QRectF &pixels) const {
    const QPoint topLeft(Units(pixels.left()), Units(pixels.top()));
    return QRect(topLeft, QSize(Units(pixels.right()) - topLeft.x(), Units(pixels.bottom()) - topLeft.y()));
  }

  QList<QPolygon> Logical(const QList<QPolygonF> &polygons) {
    QList<QPolygon> logical;
    for (const QPolygonF &polygon : polygons) {
      QPolygon points;
      for (const QPointF &p : polygon)
        points.append(QPoint(Units(p.x()), Units(p.y())));
      logical.append(points);
      Touch(polygon.boundingRect());
    }
    return logical;
  }

  static bool Fits16(const QList<QPolygon> &polygons) {
    for (const QPolygon &polygon : polygons)
      for (const QPoint &p : polygon)
        if (p.x() < -32768 || p.x() > 32767 || p.y() < -32768 || p.y() > 32767)
          return false;
    return true;
  }

  // Pixels within what a 32-bit rectangle holds.
  static QRectF Bounded(const QRectF &pixels) { return pixels.intersected(QRectF(-1e9, -1e9, 2e9, 2e9)); }

  void Touch(const QRectF &pixels) { FDrawn = FDrawn.united(Bounded(pixels)); }

  static void AppendBounds(TRecordBuilder &params, const QRectF &pixels) {
    const QRect bounds = Bounded(pixels).toAlignedRect();
    params.I32(bounds.left()).I32(bounds.top()).I32(bounds.right()).I32(bounds.bottom());
  }

  void EmitPolyPoly(quint32 type, const QList<QPolygon> &logical, const QList<QPolygonF> &pixels) {
    QRectF area;
    qsizetype total = 0;
    for (qsizetype i = 0; i < logical.size(); ++i) {
      area = area.united(pixels[i].boundingRect());
      total += logical[i].size();
    }
    const bool shortForm = type == EmfPolyPolygon16 || type == EmfPolyPolyline16;
    TRecordBuilder params;
    AppendBounds(params, area);
    params.U32(quint32(logical.size())).U32(quint32(total));
    for (const QPolygon &polygon : logical)
      params.U32(quint32(polygon.size()));
    for (const QPolygon &polygon : logical)
      for (const QPoint &p : polygon)
        shortForm ? params.I16(p.x()).I16(p.y()) : params.I32(p.x()).I32(p.y());
    Emit(type, params);
  }

  void EmitWmfPolyPolygon(const QList<QPolygon> &logical) {
    TRecordBuilder params;
    params.U16(quint32(logical.size()));
    for (const QPolygon &polygon : logical)
      params.U16(quint32(polygon.size()));
    for (const QPolygon &polygon : logical)
      for (const QPoint &p : polygon)
        params.I16(p.x()).I16(p.y());
    Emit(WmfPolyPolygon, params);
  }

  static QByteArray DibHeader(const QImage &image) {
    TRecordBuilder header;
    const quint32 stride = (quint32(image.width()) * 3 + 3) / 4 * 4;
    header.U32(40).I32(image.width()).I32(image.height()).U16(1).U16(24).U32(0);
    header.U32(stride * quint32(image.height())).I32(0).I32(0).U32(0).U32(0);
    return header.Result();
  }

  bool FEnhanced;
  int FWidth;
  int FHeight;
  int FUnits; // logical units per recording pixel
  QList<TMetaRecord> FRecords;
  QList<bool> FSlots;
  int FPenSlot = -1;
  int FBrushSlot = -1;
  TPenKey FPen;
  TBrushKey FBrush;
  std::optional<bool> FWinding;
  QRectF FDrawn;
};

// The paint engine behind the recording surface: every figure reaches it as
// a path, which is filled and stroked as polygons and polylines in recording
// pixels; clipped figures are cut to the clip first.
class TRecordingEngine : public QPaintEngine {
public:
  explicit TRecordingEngine(TRecordWriter &writer) : QPaintEngine(AllFeatures), FWriter(writer) {}

  bool begin(QPaintDevice *) override { return true; }
  bool end() override { return true; }
  // Follows the clip as the painter sets it, in recording pixels.
  void updateState(const QPaintEngineState &changed) override {
    const QPaintEngine::DirtyFlags flags = changed.state();
    if (flags & DirtyClipEnabled)
      FClipEnabled = changed.isClipEnabled();
    if (!(flags & (DirtyClipPath | DirtyClipRegion)))
      return;
    QPainterPath area;
    if (flags & DirtyClipPath)
      area = changed.clipPath();
    else
      area.addRegion(changed.clipRegion());
    area = changed.transform().map(area);
    switch (changed.clipOperation()) {
    case Qt::NoClip:
      FClip.reset();
      break;
    case Qt::ReplaceClip:
      FClip = area;
      break;
    case Qt::IntersectClip:
      FClip = FClip ? FClip->intersected(area) : area;
      break;
    }
    FClipEnabled = changed.clipOperation() != Qt::NoClip;
  }
  Type type() const override { return User; }

  void drawPath(const QPainterPath &path) override { Record(path, true); }

  void drawPolygon(const QPointF *points, int count, PolygonDrawMode mode) override {
    QPainterPath path;
    path.addPolygon(QPolygonF(QList<QPointF>(points, points + count)));
    if (mode != PolylineMode)
      path.closeSubpath();
    path.setFillRule(mode == OddEvenMode ? Qt::OddEvenFill : Qt::WindingFill);
    Record(path, mode != PolylineMode);
  }

  void drawPixmap(const QRectF &rect, const QPixmap &pixmap, const QRectF &source) override {
    drawImage(rect, pixmap.toImage(), source, Qt::AutoColor);
  }

  void drawImage(const QRectF &rect, const QImage &image, const QRectF &source,
                 Qt::ImageConversionFlags) override {
    QRectF dest = state->transform().mapRect(rect);
    QRectF from = source;
    if (const auto clip = Clip()) {
      const QRectF visible = dest.intersected(clip->boundingRect());
      if (visible.isEmpty())
        return;
      const double sx = source.width() / dest.width();
      const double sy = source.height() / dest.height();
      from = QRectF(source.left() + (visible.left() - dest.left()) * sx,
                    source.top() + (visible.top() - dest.top()) * sy, visible.width() * sx, visible.height() * sy);
      dest = visible;
    }
    FWriter.Image(dest, image.copy(from.intersected(QRectF(image.rect())).toAlignedRect()));
  }

  void drawTextItem(const QPointF &origin, const QTextItem &item) override {
    QPainterPath glyphs;
    glyphs.addText(origin, item.font(), item.text());
    glyphs.setFillRule(Qt::WindingFill);
    Fill(state->transform().map(glyphs), state->pen().color());
  }

private:
  // The clip in recording pixels, when there is one.
  std::optional<QPainterPath> Clip() const { return FClipEnabled ? FClip : std::nullopt; }

  // Figures cut to the clip: exactly by path intersection while both are
  // small, else to the clip's bounding rectangle, which keeps the cost linear.
  void Fill(const QPainterPath &devicePath, QColor color) {
    const auto clip = Clip();
    const bool winding = devicePath.fillRule() == Qt::WindingFill;
    if (!clip) {
      FWriter.Fill(devicePath.toFillPolygons(), winding, color);
    } else if (devicePath.elementCount() <= ExactClipElements && clip->elementCount() <= ExactClipElements) {
      FWriter.Fill(devicePath.intersected(*clip).toFillPolygons(), winding, color);
    } else {
      QList<QPolygonF> polygons;
      for (const QPolygonF &polygon : devicePath.toFillPolygons())
        polygons.append(ClipPolygon(polygon, clip->boundingRect()));
      FWriter.Fill(polygons, winding, color);
    }
  }

  void Record(const QPainterPath &path, bool fill) {
    const QTransform &transform = state->transform();
    const QPainterPath device = transform.map(path);
    const QBrush &brush = state->brush();
    if (fill && brush.style() != Qt::NoBrush)
      Fill(device, brush.gradient() && !brush.gradient()->stops().isEmpty()
                       ? brush.gradient()->stops().first().second
                       : brush.color());
    const QPen &pen = state->pen();
    if (pen.style() == Qt::NoPen)
      return;
    const double width = pen.isCosmetic() ? 0 : pen.widthF() * std::sqrt(std::abs(transform.determinant()));
    QList<QPolygonF> lines = device.toSubpathPolygons();
    if (const auto clip = Clip()) {
      QList<QPolygonF> inside;
      for (const QPolygonF &line : lines)
        inside += ClipPolyline(line, clip->boundingRect());
      lines = inside;
    }
    FWriter.Stroke(lines, pen, width);
  }

  TRecordWriter &FWriter;
  std::optional<QPainterPath> FClip;
  bool FClipEnabled = false;
};

} // namespace

// The paint device the recording painter draws on.
class TMetafileRecorder : public QPaintDevice {
public:
  TMetafileRecorder(bool enhanced, int width, int height)
      : FWidth(width), FHeight(height), FWriter(enhanced, width, height), FEngine(FWriter) {}

  QPaintEngine *paintEngine() const override { return &FEngine; }
  TRecordWriter &Writer() { return FWriter; }

protected:
  int metric(PaintDeviceMetric metric) const override {
    switch (metric) {
    case PdmWidth:
      return FWidth;
    case PdmHeight:
      return FHeight;
    case PdmWidthMM:
      return int(std::lround(FWidth * 25.4 / MetafilePixelsPerInch));
    case PdmHeightMM:
      return int(std::lround(FHeight * 25.4 / MetafilePixelsPerInch));
    case PdmNumColors:
      return INT_MAX;
    case PdmDepth:
      return 24;
    case PdmDpiX:
    case PdmDpiY:
    case PdmPhysicalDpiX:
    case PdmPhysicalDpiY:
      return MetafilePixelsPerInch;
    case PdmDevicePixelRatio:
      return 1;
    case PdmDevicePixelRatioScaled:
      return int(devicePixelRatioFScale());
    default:
      return QPaintDevice::metric(metric);
    }
  }

private:
  int FWidth;
  int FHeight;
  TRecordWriter FWriter;
  mutable TRecordingEngine FEngine;
};

TMetafileCanvas::TMetafileCanvas(TMetafile &metafile)
    : FMetafile(metafile),
      FRecorder(std::make_unique<TMetafileRecorder>(metafile.Enhanced(), metafile.Width(), metafile.Height())),
      FPainter(std::make_unique<QPainter>(FRecorder.get())) {
  SetPainter(FPainter.get());
}

TMetafileCanvas::~TMetafileCanvas() {
  FPainter->end();
  TRecordWriter &writer = FRecorder->Writer();
  const TMetafileHeader header = writer.Header(FMetafile.Width(), FMetafile.Height());
  FMetafile.SetRecords(FMetafile.Enhanced() ? TMetafileForm::Enhanced : TMetafileForm::Windows, header,
                       writer.TakeRecords());
}
