#include "geometry/VellGeometry.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

namespace {

constexpr TExtended cPi = std::numbers::pi_v<TExtended>;
// The directions AngleTo gives for a vertical vector, as stored.
constexpr float cDownAngle = 4.712389f;
constexpr float cUpAngle = 1.5707964f;

// value rounded to 32 bits; beyond the 32-bit range it becomes an infinity,
// as a floating-point unit would round it (a plain conversion is undefined).
float Single(TExtended value) {
  constexpr TExtended largest = std::numeric_limits<float>::max();
  if (value > largest || value < -largest)
    return value > 0 ? std::numeric_limits<float>::infinity() : -std::numeric_limits<float>::infinity();
  return static_cast<float>(value);
}

TVellPointF Stored(TExtended x, TExtended y) {
  return {Single(x), Single(y)};
}

TVellPointF Moved(const TVellPointF &point, TExtended dx, TExtended dy) {
  return Stored(point.X + dx, point.Y + dy);
}

bool IsFinite(const TVellPointF &point) {
  return std::isfinite(point.X) && std::isfinite(point.Y);
}

TExtended Largest(TExtended a, TExtended b, TExtended c) {
  return std::max({std::fabs(a), std::fabs(b), std::fabs(c)});
}

} // namespace

bool SameCoordinate(float a, float b) {
  const TExtended tolerance =
      std::max(1e-4L, 1e-4L * std::min(std::fabs(TExtended(a)), std::fabs(TExtended(b))));
  return std::fabs(TExtended(a) - TExtended(b)) <= tolerance;
}

bool IsZeroParameter(TExtended value) {
  return std::fabs(value) <= 1e-16L;
}

bool IsOneParameter(TExtended value) {
  return IsZeroParameter(value - 1);
}

// ---- TGeometry ----

VELL_IMPLEMENT_CLASS(TGeometry, TXMLPersistent)

// ---- TVellPointFCls ----

VELL_IMPLEMENT_CLASS(TVellPointFCls, TGeometry)

TVellPointFCls::TVellPointFCls(const Point &point) : X(float(point.X)), Y(float(point.Y)) {}

TVellPointFCls::TVellPointFCls(const TVellPointF &point) : X(point.X), Y(point.Y) {}

bool TVellPointFCls::SameAs(const TVellPointF &point) const {
  return SameCoordinate(X, point.X) && SameCoordinate(Y, point.Y);
}

bool TVellPointFCls::SameAs(const TVellPointFCls &point) const {
  return SameAs(point.AsPointF());
}

bool TVellPointFCls::SameAs(const Point &point) const {
  return SameAs(TVellPointF{float(point.X), float(point.Y)});
}

void TVellPointFCls::Offset(TExtended dx, TExtended dy) {
  SetCoordinates(Moved(AsPointF(), dx, dy));
}

TExtended TVellPointFCls::DistanceTo(const TVellPointF &point) const {
  return std::hypot(TExtended(X) - point.X, TExtended(Y) - point.Y);
}

TExtended TVellPointFCls::AngleTo(const TVellPointF &point) const {
  if (SameCoordinate(X, point.X))
    return Y >= point.Y ? cDownAngle : cUpAngle;
  TExtended angle = std::atan((TExtended(point.Y) - Y) / (TExtended(point.X) - X));
  if (point.X < X)
    angle += cPi;
  if (angle < 0)
    angle += 2 * cPi;
  return angle;
}

TVellPointF TVellPointFCls::RotatePoint(const TVellPointF &point, TExtended angle) const {
  const TExtended c = std::cos(angle), s = std::sin(angle);
  const TExtended dx = TExtended(point.X) - X, dy = TExtended(point.Y) - Y;
  return Stored(X + c * dx - s * dy, Y + s * dx + c * dy);
}

bool TVellPointFCls::IsNear(const TVellPointF &point) const {
  return std::fabs(TExtended(point.X) - X) < 1 && std::fabs(TExtended(point.Y) - Y) < 1;
}

std::unique_ptr<TXMLPersistent> TVellPointFCls::Clone() const {
  return CloneByAssign(*this);
}

void TVellPointFCls::AssignTo(TPersistent *dest) const {
  if (auto *point = dynamic_cast<TVellPointFCls *>(dest)) {
    point->X = X;
    point->Y = Y;
  }
  TGeometry::AssignTo(dest);
}

namespace {

float FloatAttribute(const IXMLNodePtr &element, const QString &name) {
  return element->HasAttribute(name) ? Single(element->GetAttributes()->GetAttribute(name)->GetAsFloat())
                                     : 0.0f;
}

void WriteCoordinates(const IXMLNodePtr &element, const TVellPointF &point) {
  const IXMLNodeAttributesPtr attributes = element->GetAttributes();
  attributes->Add(QStringLiteral("X"))->SetAsFloat(point.X);
  attributes->Add(QStringLiteral("Y"))->SetAsFloat(point.Y);
}

TVellPointF ReadCoordinates(const IXMLNodePtr &element) {
  return {FloatAttribute(element, QStringLiteral("X")), FloatAttribute(element, QStringLiteral("Y"))};
}

} // namespace

void TVellPointFCls::LoadFromXML(const IXMLNodePtr &element) {
  TGeometry::LoadFromXML(element);
  const TVellPointF point = ReadCoordinates(element);
  X = point.X;
  Y = point.Y;
}

void TVellPointFCls::SaveToXML(const IXMLNodePtr &element) const {
  TGeometry::SaveToXML(element);
  WriteCoordinates(element, AsPointF());
}

// ---- TVellLineF ----

VELL_IMPLEMENT_CLASS(TVellLineF, TGeometry)

TVellLineF::TVellLineF() = default;

TVellLineF::TVellLineF(const TVellPointF &start, const TVellPointF &end) {
  SetPoints(start, end);
}

void TVellLineF::Recalculate() {
  const TVellPointFCls &s = *FStartPoint, &e = *FEndPoint;
  TExtended a = TExtended(e.Y) - s.Y, b = TExtended(s.X) - e.X;
  TExtended k = -a * s.X - b * s.Y;
  if (const TExtended largest = Largest(a, b, k); largest > 0) {
    a /= largest, b /= largest, k /= largest;
  }
  Fa = Single(a), Fb = Single(b), Fk = Single(k);
  FAngle = Single(s.AngleTo(e.AsPointF()));
  FLength = Single(s.DistanceTo(e.AsPointF()));
}

bool TVellLineF::Intersect(const TVellLineF &line, TVellPointF &point) const {
  const TExtended a1 = Fa, b1 = Fb, k1 = Fk, a2 = line.Fa, b2 = line.Fb, k2 = line.Fk;
  const TExtended d = a2 * b1 - a1 * b2, dx = b1 * k2 - b2 * k1, dy = a2 * k1 - a1 * k2;
  if (IsZeroParameter(d)) {
    const float marker = IsZeroParameter(dx) && IsZeroParameter(dy) ? cSameLineMarker : cParallelMarker;
    point = {marker, marker};
    return false;
  }
  point = Stored(-dx / d, -dy / d);
  return true;
}

void TVellLineF::SetPoints(const TVellPointF &start, const TVellPointF &end) {
  FStartPoint->SetCoordinates(start);
  FEndPoint->SetCoordinates(end);
  if (!FStartPoint->SameAs(end))
    Recalculate();
}

void TVellLineF::SetPoints(const Point &start, const Point &end) {
  SetPoints(TVellPointFCls(start).AsPointF(), TVellPointFCls(end).AsPointF());
}

void TVellLineF::Offset(TExtended dx, TExtended dy) {
  FStartPoint->Offset(dx, dy);
  FEndPoint->Offset(dx, dy);
  Fk = Single(Fk - Fa * dx - Fb * dy);
}

void TVellLineF::SetStartPoint(const TVellPointF &point) {
  if (FStartPoint->SameAs(point) || FEndPoint->SameAs(point))
    return;
  FStartPoint->SetCoordinates(point);
  Recalculate();
}

void TVellLineF::SetEndPoint(const TVellPointF &point) {
  if (FStartPoint->SameAs(point) || FEndPoint->SameAs(point))
    return;
  FEndPoint->SetCoordinates(point);
  Recalculate();
}

bool TVellLineF::IntersectWith(const TVellPointF &p1, const TVellPointF &p2, TVellPointF &point) const {
  return Intersect(TVellLineF(p1, p2), point);
}

TVellPointF TVellLineF::Projection(const TVellPointF &point) const {
  const TExtended a = Fa, b = Fb, norm = a * a + b * b;
  if (norm == 0)
    return point;
  const TExtended t = (a * point.X + b * point.Y + Fk) / norm;
  return Stored(point.X - a * t, point.Y - b * t);
}

TVellPointF TVellLineF::PointAtDistance(TExtended distance) const {
  if (IsZeroParameter(distance))
    return FStartPoint->AsPointF();
  if (IsZeroParameter(FLength))
    return {0, 0};
  const TExtended ratio = distance / FLength;
  const TVellPointFCls &s = *FStartPoint, &e = *FEndPoint;
  return Stored(s.X + (TExtended(e.X) - s.X) * ratio, s.Y + (TExtended(e.Y) - s.Y) * ratio);
}

TVellPointF TVellLineF::MoveByVector(const TVellPointF &point) const {
  return Moved(point, TExtended(FEndPoint->X) - FStartPoint->X, TExtended(FEndPoint->Y) - FStartPoint->Y);
}

bool TVellLineF::ContainsPoint(const TVellPointF &point) const {
  const TExtended a = Fa, b = Fb, residue = std::fabs(a * point.X + b * point.Y + Fk);
  const TExtended norm = std::sqrt(a * a + b * b);
  return (norm > 0 ? residue / norm : residue) < 0.01L;
}

// ---- TVellPointFList ----

VELL_IMPLEMENT_CLASS(TVellPointFList, TXMLPersistent,
                     TProp::Accessor("BoundStep", &TVellPointFList::BoundStep,
                                     &TVellPointFList::SetBoundStep),
                     TProp::Accessor("Count", &TVellPointFList::Count, &TVellPointFList::SetCount))

TVellPointFList::TVellPointFList() = default;

TVellPointFList::~TVellPointFList() = default;

void TVellPointFList::SetBoundStep(int step) {
  if (step >= 4 && step <= 80)
    FBoundStep = step;
}

void TVellPointFList::SetCapacity(int capacity) {
  FCapacity = capacity;
  FPoints.resize(capacity);
}

void TVellPointFList::AdjustCapacity() {
  if (FCount >= FCapacity)
    SetCapacity(FCapacity + FBoundStep);
  else if (FCount + FBoundStep < FCapacity)
    SetCapacity(FCapacity - FBoundStep);
}

void TVellPointFList::SetCount(int count) {
  if (count < 0 || count == FCount)
    return;
  SetCapacity(count);
  FCount = count;
  FModified = true;
}

int TVellPointFList::Add(const TVellPointF &point) {
  Insert(FCount, point);
  return FCount - 1;
}

void TVellPointFList::Clear() {
  FCount = 0;
  SetCapacity(0);
  FModified = true;
}

void TVellPointFList::Delete(int index) {
  if (!InRange(index))
    return;
  std::copy(FPoints.begin() + index + 1, FPoints.begin() + FCount, FPoints.begin() + index);
  FPoints[--FCount] = TVellPointF{};
  FModified = true;
}

void TVellPointFList::Insert(int index, const TVellPointF &point) {
  if (index < 0 || index > FCount)
    return;
  AdjustCapacity();
  std::copy_backward(FPoints.begin() + index, FPoints.begin() + FCount, FPoints.begin() + FCount + 1);
  FPoints[index] = point;
  ++FCount;
  FModified = true;
}

void TVellPointFList::GetPoint(int index, TVellPointF &point) const {
  if (InRange(index))
    point = FPoints[index];
}

void TVellPointFList::SetPoint(int index, const TVellPointF &point) {
  if (!InRange(index))
    return;
  FPoints[index] = point;
  FModified = true;
}

TVellLineF &TVellPointFList::GetLine(int index) {
  if (!FLine)
    FLine = std::make_unique<TVellLineF>();
  if (InRange(index))
    FLine->SetPoints(FPoints[index], FPoints[(index + 1) % FCount]);
  return *FLine;
}

TVellPointFCls &TVellPointFList::GetPointObject(int index) {
  if (!FPoint)
    FPoint = std::make_unique<TVellPointFCls>();
  if (InRange(index))
    FPoint->SetCoordinates(FPoints[index]);
  return *FPoint;
}

namespace {

// Applies change to the first count points of points.
template <typename Change> void ForEachPoint(TVellPointFDynArray &points, int count, Change change) {
  std::for_each(points.begin(), points.begin() + count, change);
}

} // namespace

void TVellPointFList::Offset(TExtended dx, TExtended dy) {
  ForEachPoint(FPoints, FCount, [&](TVellPointF &p) {
    if (!IsZeroParameter(dx))
      p.X = Single(p.X + dx);
    if (!IsZeroParameter(dy))
      p.Y = Single(p.Y + dy);
  });
  FModified = true;
}

void TVellPointFList::Rotate(TExtended cx, TExtended cy, TExtended angle) {
  if (IsZeroParameter(angle))
    return;
  const TVellPointFCls centre(Stored(cx, cy));
  ForEachPoint(FPoints, FCount, [&](TVellPointF &p) { p = centre.RotatePoint(p, angle); });
  FModified = true;
}

void TVellPointFList::RotateAroundOrigin(TExtended angle) {
  const TExtended c = std::cos(angle), s = std::sin(angle);
  ForEachPoint(FPoints, FCount, [&](TVellPointF &p) { p = Stored(p.X * c - p.Y * s, p.X * s + p.Y * c); });
  FModified = true;
}

void TVellPointFList::Scale(TExtended sx, TExtended sy) {
  ScaleAround(0, 0, sx, sy);
}

void TVellPointFList::ScaleAround(TExtended cx, TExtended cy, TExtended sx, TExtended sy) {
  ForEachPoint(FPoints, FCount, [&](TVellPointF &p) {
    if (!IsOneParameter(sx))
      p.X = Single(cx + sx * (p.X - cx));
    if (!IsOneParameter(sy))
      p.Y = Single(cy + sy * (p.Y - cy));
  });
  FModified = true;
}

void TVellPointFList::ScaleFromLine(const TVellLineF &line, TExtended factor) {
  ForEachPoint(FPoints, FCount, [&](TVellPointF &p) {
    if (line.ContainsPoint(p))
      return;
    const TVellLineF towards(line.Projection(p), p);
    p = towards.PointAtDistance(towards.Length() * factor);
  });
  FModified = true;
}

void TVellPointFList::MoveSegmentEnd(const TVellLineF &moved, int index, int neighbour) {
  TVellPointF meeting;
  if (moved.IntersectWith(FPoints[index], FPoints[neighbour], meeting) && IsFinite(meeting) &&
      !GetPointObject(index).IsNear(meeting))
    FPoints[index] = meeting;
}

void TVellPointFList::MoveSegment(int index, TExtended dx, TExtended dy) {
  if (index < 1 || index >= FCount)
    return;
  const TVellLineF moved(Moved(FPoints[index - 1], dx, dy), Moved(FPoints[index], dx, dy));
  if (FCount == 2) {
    FPoints[0] = moved.Projection(FPoints[0]);
    FPoints[1] = moved.Projection(FPoints[1]);
  } else if (index == 1) {
    FPoints[0] = moved.Projection(FPoints[0]);
    MoveSegmentEnd(moved, 1, 2);
  } else if (index == FCount - 1) {
    FPoints[index] = moved.Projection(FPoints[index]);
    MoveSegmentEnd(moved, index - 1, index - 2);
  } else {
    MoveSegmentEnd(moved, index - 1, index - 2);
    MoveSegmentEnd(moved, index, index + 1);
  }
  FModified = true;
}

void TVellPointFList::MoveEndPoint(bool first, TExtended dx, TExtended dy) {
  if (FCount < 2)
    return;
  // The end point, its neighbour and the neighbour's other segment.
  const int end = first ? 0 : FCount - 1;
  const int neighbour = first ? 1 : FCount - 2;
  const TVellPointF moved = Moved(FPoints[end], dx, dy);
  if (FCount > 2) {
    const TVellPointF alongEnd = GetLine(first ? 0 : FCount - 2).MoveByVector(moved);
    TVellPointF meeting;
    if (GetLine(first ? 1 : FCount - 3).IntersectWith(moved, alongEnd, meeting) && IsFinite(meeting))
      FPoints[neighbour] = meeting;
  }
  FPoints[end] = moved;
  FModified = true;
}

void TVellPointFList::AssignTo(TPersistent *dest) const {
  if (auto *list = dynamic_cast<TVellPointFList *>(dest)) {
    list->SetCount(FCount);
    std::copy(FPoints.begin(), FPoints.begin() + FCount, list->FPoints.begin());
  }
  TXMLPersistent::AssignTo(dest);
}

void TVellPointFList::LoadFromXML(const IXMLNodePtr &element) {
  VELL_ASSERT(element);
  // Everything is read before the list changes, so a failing read keeps it.
  // The count comes from the children, never from the attribute: a large
  // number there must not allocate anything.
  const IXMLNodeListPtr children = element->GetChildNodes();
  TVellPointFDynArray points(children->GetCount());
  for (int i = 0; i < children->GetCount(); ++i)
    if (const IXMLNodePtr child = children->GetNode(i); child->GetNodeName() == QLatin1String("Items"))
      points[i] = ReadCoordinates(child);
  TVellPointFList read; // the declared properties, starting from this list's
  read.SetBoundStep(FBoundStep);
  QStringList ignore;
  GetIgnoreProps(ignore);
  ignore << QStringLiteral("Count");
  ReadProperties(read, element, ignore);

  Clear();
  SetBoundStep(read.BoundStep());
  SetCount(int(points.size()));
  std::copy(points.begin(), points.end(), FPoints.begin());
}

void TVellPointFList::SaveToXML(const IXMLNodePtr &element) const {
  TXMLPersistent::SaveToXML(element);
  for (int i = 0; i < FCount; ++i)
    WriteCoordinates(element->AddChild(QStringLiteral("Items")), FPoints[i]);
}
