// Plane geometry in single precision: a point, a line through two points with
// its normalised equation, and an editable list of points (a polyline or
// polygon) with the editing operations of a connector editor. Coordinates are
// stored as 32-bit floats; every computation runs in extended precision (long
// double) and is rounded when stored. All three are persistent objects; the
// point and the list write their coordinates as "X" and "Y" attributes.
#pragma once

#include "Common/VellClasses.h"
#include "imaging/VellGDIPAPI.h"

#include <QVector>

#include <memory>

using TVellPointF = PointF;
using TVellPointFDynArray = QVector<TVellPointF>;
using TExtended = long double;

// The point Intersect gives for one line taken twice, and for parallel lines
// (the 32-bit patterns 7F7FC99E and FF7FC99E).
inline constexpr float cSameLineMarker = 3.4e38f;
inline constexpr float cParallelMarker = -3.4e38f;

// Two stored coordinates count as the same when they differ by at most
// max(1e-4, 1e-4 x the smaller magnitude).
bool SameCoordinate(float a, float b);
// A parameter counts as 0 (or 1) within 1e-16.
bool IsZeroParameter(TExtended value);
bool IsOneParameter(TExtended value);

class TGeometry : public TXMLPersistent {
  VELL_CLASS(TGeometry, TXMLPersistent)
public:
  // Brings derived values up to date after the defining points changed.
  virtual void Recalculate() {}
};

class TVellPointFCls : public TGeometry {
  VELL_CLASS(TVellPointFCls, TGeometry)
public:
  TVellPointFCls() = default;
  explicit TVellPointFCls(const Point &point);
  explicit TVellPointFCls(const TVellPointF &point);

  float X = 0;
  float Y = 0;

  TVellPointF AsPointF() const { return {X, Y}; }
  void SetCoordinates(const TVellPointF &point) { X = point.X, Y = point.Y; }
  // X and Y each the same coordinate as the other point's.
  virtual bool SameAs(const TVellPointF &point) const;
  virtual bool SameAs(const TVellPointFCls &point) const;
  virtual bool SameAs(const Point &point) const;
  virtual void Offset(TExtended dx, TExtended dy);

  TExtended DistanceTo(const TVellPointF &point) const;
  // Direction of the vector from here to point, in [0, 2 pi).
  TExtended AngleTo(const TVellPointF &point) const;
  // point rotated by angle radians around this point.
  TVellPointF RotatePoint(const TVellPointF &point, TExtended angle) const;
  // Less than one unit away along both axes.
  bool IsNear(const TVellPointF &point) const;

  // A copy with X and Y.
  std::unique_ptr<TXMLPersistent> Clone() const override;
  void LoadFromXML(const IXMLNodePtr &element) override;
  void SaveToXML(const IXMLNodePtr &element) const override;

protected:
  void AssignTo(TPersistent *dest) const override;
};

// The line a*x + b*y + k = 0 through StartPoint and EndPoint, the equation
// scaled so that the largest of |a|, |b|, |k| is 1, with the length and the
// direction (radians) from start to end. The two points never become the same
// through SetStartPoint, SetEndPoint or SetPoints.
class TVellLineF : public TGeometry {
  VELL_CLASS(TVellLineF, TGeometry)
public:
  TVellLineF();
  TVellLineF(const TVellPointF &start, const TVellPointF &end);

  float a() const { return Fa; }
  float b() const { return Fb; }
  float k() const { return Fk; }
  const TVellPointFCls &StartPoint() const { return *FStartPoint; }
  const TVellPointFCls &EndPoint() const { return *FEndPoint; }
  float Length() const { return FLength; }
  float Angle() const { return FAngle; }

  void Recalculate() override;
  // The point where the two lines meet; false with cSameLineMarker or
  // cParallelMarker in both coordinates when they do not meet in one point.
  virtual bool Intersect(const TVellLineF &line, TVellPointF &point) const;
  // Both points at once; no recalculation when they are the same.
  virtual void SetPoints(const TVellPointF &start, const TVellPointF &end);
  virtual void SetPoints(const Point &start, const Point &end);
  virtual void Offset(TExtended dx, TExtended dy);

  // Nothing happens when point is the same as either current point.
  void SetStartPoint(const TVellPointF &point);
  void SetEndPoint(const TVellPointF &point);
  // Intersect with the line through p1 and p2.
  bool IntersectWith(const TVellPointF &p1, const TVellPointF &p2, TVellPointF &point) const;
  // The foot of the perpendicular from point.
  TVellPointF Projection(const TVellPointF &point) const;
  // The point at distance from StartPoint towards EndPoint.
  TVellPointF PointAtDistance(TExtended distance) const;
  // point moved by the vector from StartPoint to EndPoint.
  TVellPointF MoveByVector(const TVellPointF &point) const;
  // Less than 0.01 away from the line.
  bool ContainsPoint(const TVellPointF &point) const;

private:
  float Fa = 0, Fb = 0, Fk = 0;
  std::unique_ptr<TVellPointFCls> FEndPoint = std::make_unique<TVellPointFCls>();
  float FLength = 0;
  std::unique_ptr<TVellPointFCls> FStartPoint = std::make_unique<TVellPointFCls>();
  float FAngle = 0;
};

// An editable list of points. The point array grows and shrinks in steps of
// BoundStep points; its first Count entries are the points.
class TVellPointFList : public TXMLPersistent {
  VELL_CLASS(TVellPointFList, TXMLPersistent)
public:
  TVellPointFList();
  ~TVellPointFList() override;

  int BoundStep() const { return FBoundStep; }
  // Accepts 4 to 80; other values are ignored.
  void SetBoundStep(int step);
  int Count() const { return FCount; }
  int Capacity() const { return FCapacity; }
  bool Modified() const { return FModified; }
  void SetModified(bool modified) { FModified = modified; }
  // The raw point array (Capacity entries).
  const TVellPointFDynArray &Points() const { return FPoints; }

  // Resizes the array to exactly count points; negative values and the
  // current count are ignored.
  virtual void SetCount(int count);
  virtual int Add(const TVellPointF &point);
  virtual void Clear();
  // Out of range (0 <= index < Count): nothing happens.
  virtual void Delete(int index);
  // Out of range (0 <= index <= Count): nothing happens.
  virtual void Insert(int index, const TVellPointF &point);
  // Every point moved by (dx, dy).
  virtual void Offset(TExtended dx, TExtended dy);
  // Moves the segment from point index-1 to point index parallel by (dx, dy);
  // the neighbouring segments keep their lines, a neighbour parallel to the
  // segment keeps its point.
  virtual void MoveSegment(int index, TExtended dx, TExtended dy);
  virtual void Rotate(TExtended cx, TExtended cy, TExtended angle);
  virtual void RotateAroundOrigin(TExtended angle);
  virtual void ScaleAround(TExtended cx, TExtended cy, TExtended sx, TExtended sy);
  // Every point off the line moves to foot + (point - foot) x factor: -1
  // mirrors across the line, 0 puts the points on it.
  virtual void ScaleFromLine(const TVellLineF &line, TExtended factor);
  virtual void Scale(TExtended sx, TExtended sy);
  // Moves the first or last point by (dx, dy): the end segment keeps its
  // direction and its other point slides along the next segment's line.
  virtual void MoveEndPoint(bool first, TExtended dx, TExtended dy);

  // Out of range (0 <= index < Count): nothing happens, point is left alone.
  void GetPoint(int index, TVellPointF &point) const;
  void SetPoint(int index, const TVellPointF &point);
  // The list's one line object set to the points index and index+1 (the last
  // index closes the figure); unchanged for an index out of range.
  TVellLineF &GetLine(int index);
  // The list's one point object set to the point at index; unchanged for an
  // index out of range.
  TVellPointFCls &GetPointObject(int index);

  // Reads BoundStep and one point per child element: "Items" children give
  // their X and Y, other children the point (0, 0).
  void LoadFromXML(const IXMLNodePtr &element) override;
  // Writes BoundStep, Count and one "Items" child per point.
  void SaveToXML(const IXMLNodePtr &element) const override;

protected:
  // Grows or shrinks the array by one step before an insertion.
  virtual void AdjustCapacity();
  // Into another point list: its points become a copy of these; then the
  // declared properties.
  void AssignTo(TPersistent *dest) const override;

private:
  bool InRange(int index) const { return index >= 0 && index < FCount; }
  void SetCapacity(int capacity);
  void MoveSegmentEnd(const TVellLineF &moved, int index, int neighbour);

  int FCapacity = 0;
  int FBoundStep = 10;
  int FCount = 0;
  bool FModified = false;
  std::unique_ptr<TVellLineF> FLine;
  std::unique_ptr<TVellPointFCls> FPoint;
  TVellPointFDynArray FPoints;
};
