#include "geometry/VellCustomPens.h"

#include <QStringList>

namespace {

QVector<TPropInfo> NoProperties() {
  return {};
}

// ---- building blocks of cap outlines (cap space, scaled by s) ----

QVector<PointF> Scaled(std::initializer_list<PointF> points, float s) {
  QVector<PointF> result;
  for (const PointF &point : points)
    result.append({point.X * s, point.Y * s});
  return result;
}

RectF ScaledBox(float x, float y, float width, float height, float s) {
  return {x * s, y * s, width * s, height * s};
}

void Polygon(TVellGraphicsPath &path, float s, std::initializer_list<PointF> points) {
  const QVector<PointF> scaled = Scaled(points, s);
  path.AddPolygon(scaled.constData(), int(scaled.size()));
}

// An open figure of its own.
void Polyline(TVellGraphicsPath &path, float s, std::initializer_list<PointF> points) {
  const QVector<PointF> scaled = Scaled(points, s);
  path.StartFigure();
  path.AddLines(scaled.constData(), int(scaled.size()));
}

void Segment(TVellGraphicsPath &path, float s, PointF from, PointF to) {
  Polyline(path, s, {from, to});
}

void Ellipse(TVellGraphicsPath &path, float s, float x, float y, float width, float height) {
  path.AddEllipse(ScaledBox(x, y, width, height, s));
}

void Rectangle(TVellGraphicsPath &path, float s, float x, float y, float width, float height) {
  path.AddRectangle(ScaledBox(x, y, width, height, s));
}

void Pie(TVellGraphicsPath &path, float s, RectF box, float startAngle, float sweepAngle) {
  path.AddPie(ScaledBox(box.X, box.Y, box.Width, box.Height, s), startAngle, sweepAngle);
}

void Arc(TVellGraphicsPath &path, float s, RectF box, float startAngle, float sweepAngle) {
  path.StartFigure();
  path.AddArc(ScaledBox(box.X, box.Y, box.Width, box.Height, s), startAngle, sweepAngle);
}

// The results: inset in cap units (already scaled), filled or stroked.
void Filled(float &inset, bool &filled, float insetValue) {
  inset = insetValue, filled = true;
}

void Stroked(float &inset, bool &filled, float insetValue) {
  inset = insetValue, filled = false;
}

} // namespace

// ---- TLineCapClass and TBaseLineCap ----

TLineCapClass::TLineCapClass(const char *name, TBuildCapPath build)
    : TMetaClass(name, &TBaseLineCap::StaticClass(), nullptr, &NoProperties), FBuild(build) {}

const TMetaClass &TBaseLineCap::StaticClass() {
  static const TMetaClass meta("TBaseLineCap", nullptr, nullptr, &NoProperties);
  return meta;
}

struct TBaseLineCap::TOutline {
  TVellGraphicsPath Path;
  float Inset = 0;
  bool Filled = true;

  TOutline(const TLineCapClass &capClass, float size) { capClass.BuildCapPath(Path, size, Inset, Filled); }
};

TBaseLineCap::TBaseLineCap(const TLineCapClass &capClass, float size)
    : TBaseLineCap(capClass, TOutline(capClass, size)) {}

TBaseLineCap::TBaseLineCap(const TLineCapClass &capClass, const TOutline &outline)
    : TVellCustomLineCap(outline.Filled ? &outline.Path : nullptr, outline.Filled ? nullptr : &outline.Path,
                         LineCapFlat, outline.Inset),
      FClass(capClass) {}

#define VELL_IMPLEMENT_LINE_CAP(Name)                                                                        \
  const TLineCapClass &Name::StaticClass() {                                                                 \
    static const TLineCapClass meta(#Name, &Name::BuildCapPath);                                             \
    return meta;                                                                                             \
  }
VELL_LINE_CAP_CLASSES(VELL_IMPLEMENT_LINE_CAP)

#define VELL_CAP_OUTLINE(Name)                                                                               \
  void Name::BuildCapPath(TVellGraphicsPath &path, float s, float &inset, bool &filled)

// ---- the named caps ----

void TNoAnchorCap::BuildCapPath(TVellGraphicsPath &, float, float &, bool &) {}

VELL_CAP_OUTLINE(TTriangleCap) {
  Polygon(path, 1, {{-0.5f, -0.31f * s}, {0.5f, -0.31f * s}, {0, 0}});
  Filled(inset, filled, 0.31f * s);
}

VELL_CAP_OUTLINE(TFlatCap) {
  Polygon(path, 1, {{-0.5f, -0.25f * s}, {0.5f, -0.25f * s}, {0.5f, 0}, {-0.5f, 0}});
  Filled(inset, filled, 0.25f * s);
}

VELL_CAP_OUTLINE(TArrowAnchorCap) {
  Polygon(path, s, {{-0.5f, -0.87f}, {0.5f, -0.87f}, {0, 0}});
  Filled(inset, filled, 0.87f * s);
}

VELL_CAP_OUTLINE(TDiamondAnchorCap) {
  Polygon(path, 1,
          {{-0.5f * s, -0.87f * s}, {0, 0}, {0.5f * s, -0.87f * s}, {0.5f, -1.3f * s}, {-0.5f, -1.3f * s}});
  Filled(inset, filled, 1.3f * s);
}

VELL_CAP_OUTLINE(TRoundCap) {
  Pie(path, s, {-0.5f, -1, 1, 1}, 0, 180);
  Filled(inset, filled, 0.5f * s);
}

VELL_CAP_OUTLINE(TRoundAnchorCap) {
  Arc(path, s, {-0.5f, -1, 1, 1}, 315, 270);
  path.CloseFigure();
  Filled(inset, filled, 0.75f * s);
}

VELL_CAP_OUTLINE(TSquareAnchorCap) {
  Rectangle(path, s, -0.5f, -1, 1, 1);
  Filled(inset, filled, s);
}

// ---- the numbered caps: one fixed figure each, scaled by s as a whole ----

// Open arrows (stroked; the line runs up to the tip).
VELL_CAP_OUTLINE(TLineCap08Cap) { // long, narrow
  Polyline(path, s, {{0.4f, -1.2f}, {0, 0}, {-0.4f, -1.2f}});
  Stroked(inset, filled, 0);
}

VELL_CAP_OUTLINE(TLineCap09Cap) { // chevron
  Polyline(path, s, {{0.5f, -0.5f}, {0, 0}, {-0.5f, -0.5f}});
  Stroked(inset, filled, 0);
}

VELL_CAP_OUTLINE(TLineCap10Cap) { // wide
  Polyline(path, s, {{0.9f, -0.9f}, {0, 0}, {-0.9f, -0.9f}});
  Stroked(inset, filled, 0);
}

VELL_CAP_OUTLINE(TLineCap11Cap) { // double
  Polyline(path, s, {{0.5f, -0.5f}, {0, 0}, {-0.5f, -0.5f}});
  Polyline(path, s, {{0.5f, -1}, {0, -0.5f}, {-0.5f, -1}});
  Stroked(inset, filled, 0);
}

VELL_CAP_OUTLINE(TLineCap12Cap) { // half, one barb
  Polyline(path, s, {{-0.7f, -0.9f}, {0, 0}});
  Stroked(inset, filled, 0);
}

VELL_CAP_OUTLINE(TLineCap13Cap) { // hollow triangle; the line stops at its base
  Polygon(path, s, {{-0.5f, -1}, {0.5f, -1}, {0, 0}});
  Stroked(inset, filled, s);
}

// Filled arrows (the line stops inside the head).
VELL_CAP_OUTLINE(TLineCap14Cap) { // long, narrow
  Polygon(path, s, {{-0.35f, -1.5f}, {0.35f, -1.5f}, {0, 0}});
  Filled(inset, filled, 1.5f * s);
}

VELL_CAP_OUTLINE(TLineCap15Cap) { // short, wide
  Polygon(path, s, {{-0.9f, -0.7f}, {0.9f, -0.7f}, {0, 0}});
  Filled(inset, filled, 0.7f * s);
}

VELL_CAP_OUTLINE(TLineCap16Cap) { // equilateral
  Polygon(path, s, {{-0.6f, -1.04f}, {0.6f, -1.04f}, {0, 0}});
  Filled(inset, filled, 1.04f * s);
}

VELL_CAP_OUTLINE(TLineCap17Cap) { // stealth
  Polygon(path, s, {{0, 0}, {-0.6f, -1.2f}, {0, -0.8f}, {0.6f, -1.2f}});
  Filled(inset, filled, 0.8f * s);
}

VELL_CAP_OUTLINE(TLineCap18Cap) { // barbed
  Polygon(path, s, {{0, 0}, {-0.5f, -1.3f}, {0, -0.6f}, {0.5f, -1.3f}});
  Filled(inset, filled, 0.6f * s);
}

VELL_CAP_OUTLINE(TLineCap19Cap) { // harpoon, barb on the -X side; the line runs to the tip
  Polygon(path, s, {{0, 0}, {-0.8f, -1.1f}, {0, -0.8f}});
  Filled(inset, filled, 0);
}

VELL_CAP_OUTLINE(TLineCap20Cap) { // harpoon, barb on the +X side
  Polygon(path, s, {{0, 0}, {0.8f, -1.1f}, {0, -0.8f}});
  Filled(inset, filled, 0);
}

VELL_CAP_OUTLINE(TLineCap21Cap) { // double
  Polygon(path, s, {{-0.6f, -0.9f}, {0.6f, -0.9f}, {0, 0}});
  Polygon(path, s, {{-0.6f, -1.8f}, {0.6f, -1.8f}, {0, -0.9f}});
  Filled(inset, filled, 1.8f * s);
}

VELL_CAP_OUTLINE(TLineCap22Cap) { // against a stop bar
  Polygon(path, s, {{-0.6f, -1}, {0.6f, -1}, {0, 0}});
  Rectangle(path, s, -0.8f, 0, 1.6f, 0.2f);
  Filled(inset, filled, s);
}

VELL_CAP_OUTLINE(TLineCap23Cap) { // reversed: the head points back along the line
  Polygon(path, s, {{-0.6f, 0}, {0.6f, 0}, {0, -1}});
  Filled(inset, filled, 0.5f * s);
}

VELL_CAP_OUTLINE(TLineCap24Cap) { // reversed open arrow
  Polyline(path, s, {{-0.6f, 0}, {0, -0.8f}, {0.6f, 0}});
  Stroked(inset, filled, 0);
}

// Circles.
VELL_CAP_OUTLINE(TLineCap25Cap) { // disc centred on the end
  Ellipse(path, s, -0.5f, -0.5f, 1, 1);
  Filled(inset, filled, 0);
}

VELL_CAP_OUTLINE(TLineCap26Cap) { // large disc centred on the end
  Ellipse(path, s, -0.8f, -0.8f, 1.6f, 1.6f);
  Filled(inset, filled, 0);
}

VELL_CAP_OUTLINE(TLineCap27Cap) { // ring centred on the end; the line stops at it
  Ellipse(path, s, -0.5f, -0.5f, 1, 1);
  Stroked(inset, filled, 0.5f * s);
}

VELL_CAP_OUTLINE(TLineCap28Cap) { // ring beyond the end
  Ellipse(path, s, -0.5f, 0, 1, 1);
  Stroked(inset, filled, 0);
}

VELL_CAP_OUTLINE(TLineCap29Cap) { // dot beyond the end
  Ellipse(path, s, -0.3f, 0.3f, 0.6f, 0.6f);
  Filled(inset, filled, 0);
}

VELL_CAP_OUTLINE(TLineCap30Cap) { // open half circle ahead (socket)
  Arc(path, s, {-0.6f, -0.6f, 1.2f, 1.2f}, 0, 180);
  Stroked(inset, filled, 0);
}

// Squares and diamonds.
VELL_CAP_OUTLINE(TLineCap31Cap) { // square centred on the end
  Rectangle(path, s, -0.5f, -0.5f, 1, 1);
  Filled(inset, filled, 0);
}

VELL_CAP_OUTLINE(TLineCap32Cap) { // large square centred on the end
  Rectangle(path, s, -0.8f, -0.8f, 1.6f, 1.6f);
  Filled(inset, filled, 0);
}

VELL_CAP_OUTLINE(TLineCap33Cap) { // open square centred on the end
  Rectangle(path, s, -0.5f, -0.5f, 1, 1);
  Stroked(inset, filled, 0.5f * s);
}

VELL_CAP_OUTLINE(TLineCap34Cap) { // diamond centred on the end
  Polygon(path, s, {{0, 0.7f}, {0.7f, 0}, {0, -0.7f}, {-0.7f, 0}});
  Filled(inset, filled, 0);
}

VELL_CAP_OUTLINE(TLineCap35Cap) { // open diamond centred on the end
  Polygon(path, s, {{0, 0.7f}, {0.7f, 0}, {0, -0.7f}, {-0.7f, 0}});
  Stroked(inset, filled, 0.7f * s);
}

VELL_CAP_OUTLINE(TLineCap36Cap) { // diamond behind the end, small
  Polygon(path, s, {{0, 0}, {0.5f, -0.7f}, {0, -1.4f}, {-0.5f, -0.7f}});
  Filled(inset, filled, 0.7f * s);
}

VELL_CAP_OUTLINE(TLineCap37Cap) { // open diamond behind the end (aggregation)
  Polygon(path, s, {{0, 0}, {0.5f, -0.8f}, {0, -1.6f}, {-0.5f, -0.8f}});
  Stroked(inset, filled, 1.6f * s);
}

VELL_CAP_OUTLINE(TLineCap38Cap) { // filled diamond behind the end (composition)
  Polygon(path, s, {{0, 0}, {0.5f, -0.8f}, {0, -1.6f}, {-0.5f, -0.8f}});
  Filled(inset, filled, 0.8f * s);
}

// Bars, slashes and dimension ticks.
VELL_CAP_OUTLINE(TLineCap39Cap) { // bar across the end
  Segment(path, s, {-0.8f, 0}, {0.8f, 0});
  Stroked(inset, filled, 0);
}

VELL_CAP_OUTLINE(TLineCap40Cap) { // bar set back from the end
  Segment(path, s, {-0.8f, -0.5f}, {0.8f, -0.5f});
  Stroked(inset, filled, 0);
}

VELL_CAP_OUTLINE(TLineCap41Cap) { // double bar
  Segment(path, s, {-0.8f, 0}, {0.8f, 0});
  Segment(path, s, {-0.8f, -0.5f}, {0.8f, -0.5f});
  Stroked(inset, filled, 0);
}

VELL_CAP_OUTLINE(TLineCap42Cap) { // slash
  Segment(path, s, {-0.6f, -0.6f}, {0.6f, 0.6f});
  Stroked(inset, filled, 0);
}

VELL_CAP_OUTLINE(TLineCap43Cap) { // backslash
  Segment(path, s, {0.6f, -0.6f}, {-0.6f, 0.6f});
  Stroked(inset, filled, 0);
}

VELL_CAP_OUTLINE(TLineCap44Cap) { // dimension tick: extension bar and slash
  Segment(path, s, {-0.9f, 0}, {0.9f, 0});
  Segment(path, s, {-0.5f, -0.5f}, {0.5f, 0.5f});
  Stroked(inset, filled, 0);
}

VELL_CAP_OUTLINE(TLineCap45Cap) { // plate
  Rectangle(path, s, -0.9f, -0.5f, 1.8f, 0.5f);
  Filled(inset, filled, 0.25f * s);
}

// Crow's feet.
VELL_CAP_OUTLINE(TLineCap46Cap) { // many
  Polyline(path, s, {{-0.7f, 0}, {0, -1}, {0.7f, 0}});
  Stroked(inset, filled, 0);
}

VELL_CAP_OUTLINE(TLineCap47Cap) { // one or many
  Polyline(path, s, {{-0.7f, 0}, {0, -1}, {0.7f, 0}});
  Segment(path, s, {-0.7f, -1.3f}, {0.7f, -1.3f});
  Stroked(inset, filled, 0);
}

// Further figures.
VELL_CAP_OUTLINE(TLineCap48Cap) { // open square beyond the end
  Rectangle(path, s, -0.5f, 0, 1, 1);
  Stroked(inset, filled, 0);
}

VELL_CAP_OUTLINE(TLineCap49Cap) { // arrow with a disc behind it
  Polygon(path, s, {{-0.6f, -1}, {0.6f, -1}, {0, 0}});
  Ellipse(path, s, -0.3f, -1.6f, 0.6f, 0.6f);
  Filled(inset, filled, s);
}

VELL_CAP_OUTLINE(TLineCap50Cap) { // half disc ahead, wide
  Pie(path, s, {-0.7f, -0.7f, 1.4f, 1.4f}, 0, 180);
  Filled(inset, filled, 0);
}

VELL_CAP_OUTLINE(TLineCap51Cap) { // open arrow against a stop bar
  Polyline(path, s, {{0.6f, -0.8f}, {0, 0}, {-0.6f, -0.8f}});
  Segment(path, s, {-0.8f, 0}, {0.8f, 0});
  Stroked(inset, filled, 0);
}

VELL_CAP_OUTLINE(TLineCap52Cap) { // open arrow, flat
  Polyline(path, s, {{1, -0.55f}, {0, 0}, {-1, -0.55f}});
  Stroked(inset, filled, 0);
}

VELL_CAP_OUTLINE(TLineCap53Cap) { // pointer (pentagon)
  Polygon(path, s, {{0, 0}, {0.5f, -0.5f}, {0.5f, -1.2f}, {-0.5f, -1.2f}, {-0.5f, -0.5f}});
  Filled(inset, filled, 1.2f * s);
}

// ---- dash styles ----

namespace {

// The pattern a class name spells: TLineDashStyle_9_4 gives 9, 4; a name
// without numbers gives the empty (solid) pattern.
TSingleDynArray PatternOfName(const QString &name) {
  TSingleDynArray pattern;
  const QStringList parts = name.split(u'_');
  for (qsizetype i = 1; i < parts.size(); ++i)
    pattern << parts[i].toFloat();
  return pattern;
}

} // namespace

TLineDashStyleClass::TLineDashStyleClass(const char *name)
    : TMetaClass(name, &TBaseLineDashStyle::StaticClass(), nullptr, &NoProperties),
      FPattern(PatternOfName(ClassName())) {}

const TMetaClass &TBaseLineDashStyle::StaticClass() {
  static const TMetaClass meta("TBaseLineDashStyle", nullptr, nullptr, &NoProperties);
  return meta;
}

#define VELL_IMPLEMENT_LINE_DASH_STYLE(Name)                                                                 \
  const TLineDashStyleClass &Name::StaticClass() {                                                           \
    static const TLineDashStyleClass meta(#Name);                                                            \
    return meta;                                                                                             \
  }
VELL_LINE_DASH_STYLE_CLASSES(VELL_IMPLEMENT_LINE_DASH_STYLE)

// ---- registries ----

TLineCapClassMgr &LineCapClasses() {
  return TLineCapClassMgr::Instance();
}

TLineDashStyleClassMgr &LineDashStyleClasses() {
  return TLineDashStyleClassMgr::Instance();
}

void RegisterLineCap(const TLineCapClass &capClass) {
  LineCapClasses().Register(capClass);
}

void RegisterLineDashStyle(const TLineDashStyleClass &dashClass) {
  LineDashStyleClasses().Register(dashClass);
}

void RegisterLineCapClasses() {
#define VELL_REGISTER_LINE_CAP(Name) RegisterLineCap(Name::StaticClass());
  VELL_LINE_CAP_CLASSES(VELL_REGISTER_LINE_CAP)
}

void RegisterLineDashStyleClasses() {
#define VELL_REGISTER_LINE_DASH_STYLE(Name) RegisterLineDashStyle(Name::StaticClass());
  VELL_LINE_DASH_STYLE_CLASSES(VELL_REGISTER_LINE_DASH_STYLE)
}

void FreeLineCapAndDashStyleClasses() {
  TLineDashStyleClassMgr::Free();
  TLineCapClassMgr::Free();
}
