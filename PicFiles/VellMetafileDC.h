// The device context a metafile plays back into: the drawing state that
// metafile records change (mapping, objects, colours, path, clipping) and the
// drawing operations they call, carried out on a QPainter. Coordinates are
// logical units; the mapping turns them into the painter's coordinates.
#pragma once

#include <QColor>
#include <QFont>
#include <QHash>
#include <QImage>
#include <QList>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QTransform>

#include <optional>
#include <variant>

struct TGdiPen {
  quint32 Style = 0; // style, end cap and join bits of the pen style word
  double Width = 0;  // logical units; 0 draws one device pixel wide
  QColor Color = Qt::black;
  QList<qreal> Dashes; // user style, in logical units
};

struct TGdiBrush {
  quint32 Style = 0; // 0 solid, 1 null, 2 hatched, 3/5/6 pattern
  QColor Color = Qt::white;
  quint32 Hatch = 0;
  QImage Pattern;
};

struct TGdiFont {
  double Height = 0; // negative: character height; positive: cell height
  int Escapement = 0; // tenths of a degree, counter-clockwise
  int Weight = 400;
  bool Italic = false;
  bool Underline = false;
  bool StrikeOut = false;
  QString Face;
};

using TGdiObject = std::variant<std::monostate, TGdiPen, TGdiBrush, TGdiFont>;

// Mapping modes, clip combinations and drawing flags as the records give them.
enum : quint32 {
  MapText = 1,
  MapIsotropic = 7,
  MapAnisotropic = 8,
  ClipAnd = 1,
  ClipOr = 2,
  ClipXor = 3,
  ClipDiff = 4,
  ClipCopy = 5,
  ArcClockwise = 2,
  TransparentBackground = 1,
  TextOptionOpaque = 2,
  TextOptionClipped = 4,
};

enum class TArcKind { Arc, ArcTo, Chord, Pie };

class TMetafileDC {
public:
  // device maps reference-device pixels to the painter's coordinates. With
  // a fixed viewport (placeable Windows metafiles) the window is mapped onto
  // viewport (in painter coordinates) and viewport records are ignored.
  TMetafileDC(QPainter &painter, const QTransform &device);
  TMetafileDC(QPainter &painter, const QRectF &window, const QRectF &viewport);
  ~TMetafileDC();
  TMetafileDC(const TMetafileDC &) = delete;
  TMetafileDC &operator=(const TMetafileDC &) = delete;

  // Reference-device pixels per millimetre, for the metric mapping modes.
  void SetDeviceResolution(double xPerMm, double yPerMm);

  // Objects: EMF records name the table index; WMF objects take the lowest
  // free one.
  void CreateObject(quint32 index, TGdiObject object);
  void CreateObjectAtFreeIndex(TGdiObject object);
  void SelectObject(quint32 index);
  void SelectStockObject(quint32 stock);
  void DeleteObject(quint32 index);

  void SetMapMode(quint32 mode);
  void SetWindowOrg(QPointF origin);
  void SetWindowExt(QSizeF extent);
  void SetViewportOrg(QPointF origin);
  void SetViewportExt(QSizeF extent);
  void OffsetWindowOrg(QPointF delta) { SetWindowOrg(FState.WindowOrg + delta); }
  void ScaleWindowExt(double xNum, double xDenom, double yNum, double yDenom);
  void ScaleViewportExt(double xNum, double xDenom, double yNum, double yDenom);
  void SetWorldTransform(const QTransform &transform);
  // mode 1 identity, 2 left-multiply, 3 right-multiply, 4 set.
  void ModifyWorldTransform(const QTransform &transform, quint32 mode);

  void SetTextColor(QColor color) { FState.TextColor = color; }
  void SetBkColor(QColor color) { FState.BkColor = color; }
  void SetBkMode(quint32 mode) { FState.BkMode = mode; }
  void SetTextAlign(quint32 align) { FState.TextAlign = align; }
  void SetPolyFillMode(quint32 mode) { FState.Winding = mode == 2; }
  void SetArcDirection(quint32 direction) { FState.Clockwise = direction == ArcClockwise; }
  void SaveDC();
  // A negative count restores relative to the latest saved state.
  void RestoreDC(qint32 which);

  void IntersectClipRect(const QRectF &rect);
  void ExcludeClipRect(const QRectF &rect);
  // A region in reference-device pixels; an empty one with ClipCopy removes
  // the clipping.
  void SelectClipRegion(const QList<QRectF> &rects, quint32 mode);
  void SelectClipPath(quint32 mode);

  void MoveTo(QPointF point);
  void LineTo(QPointF point);
  void Polyline(const QPolygonF &points);
  void PolylineTo(const QPolygonF &points);
  void PolyBezier(const QPolygonF &points);
  void PolyBezierTo(const QPolygonF &points);
  void Polygon(const QPolygonF &points) { PolyPolygon({points}); }
  void PolyPolygon(const QList<QPolygonF> &polygons);
  void PolyPolyline(const QList<QPolygonF> &lines);
  void Rectangle(const QRectF &rect);
  void RoundRect(const QRectF &rect, QSizeF corner);
  void Ellipse(const QRectF &rect);
  void Arc(const QRectF &box, QPointF start, QPointF end, TArcKind kind);
  void AngleArc(QPointF center, double radius, double startDegrees, double sweepDegrees);
  void SetPixel(QPointF point, QColor color);
  void FillRegion(const QList<QRectF> &deviceRects, std::optional<quint32> brush);

  void BeginPath();
  void EndPath() { FInPath = false; }
  void AbortPath();
  void CloseFigure();
  void FillPath();
  void StrokePath();
  void StrokeAndFillPath();

  // Text at reference (or the current position with TA_UPDATECP); dx holds
  // the logical advance of each character when given.
  void TextOut(QPointF reference, const QString &text, const QList<double> &dx, quint32 options,
               const QRectF &rect);
  // image's src part stretched into dest (logical; negative extents mirror).
  // opacity scales the image's alpha (alpha blending).
  void StretchBlt(const QRectF &dest, const QImage &image, const QRectF &src, quint32 rop, double opacity = 1);
  // A blit without source: brush, black or white fill of dest.
  void PatBlt(const QRectF &dest, quint32 rop);

private:
  struct TState {
    quint32 MapMode = MapText;
    QPointF WindowOrg{0, 0};
    QSizeF WindowExt{1, 1};
    QPointF ViewportOrg{0, 0};
    QSizeF ViewportExt{1, 1};
    QTransform World;
    TGdiPen Pen;
    TGdiBrush Brush;
    TGdiFont Font;
    QColor TextColor = Qt::black;
    QColor BkColor = Qt::white;
    quint32 BkMode = 2;
    quint32 TextAlign = 0;
    bool Winding = false;
    bool Clockwise = false;
    QPointF Position{0, 0};
    std::optional<QPainterPath> Clip; // painter coordinates
  };

  // Logical units to the painter's coordinates.
  QTransform Mapping() const;
  QTransform PageTransform() const;
  // Fills and/or strokes a figure given in logical units, or adds it to the
  // path under construction.
  void Draw(const QPainterPath &figure, bool fill, bool stroke);
  void FillDevice(const QPainterPath &path, const TGdiBrush &brush);
  void StrokeDevice(const QPainterPath &path, const QTransform &mapping);
  QPen PenFor(const QTransform &mapping) const;
  QBrush BrushFor(const TGdiBrush &brush) const;
  void CombineClip(const QPainterPath &path, quint32 mode);
  void ApplyClip();
  QPainterPath TextPath(QPointF origin, const QString &text, const QList<double> &dx, QRectF &box) const;
  QPainterPath ArcPath(const QRectF &box, QPointF start, QPointF end) const;

  QPainter &FPainter;
  QTransform FBase;        // the painter's own transform when playback began
  QTransform FDevice;      // reference device to the painter's coordinates
  bool FFixedViewport = false;
  QPointF FPixelsPerMm{96 / 25.4, 96 / 25.4};
  std::optional<QPainterPath> FOuterClip; // the painter's clip when playback began
  TState FState;
  QList<TState> FSaved;
  QHash<quint32, TGdiObject> FObjects;
  QPainterPath FPath; // painter coordinates
  bool FInPath = false;
};
