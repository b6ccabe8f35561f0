// Points, lines and point lists: equations, intersections, editing and XML.
#include "geometry/VellGeometry.h"

#include "tests/Common/PersistTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <numbers>
#include <vector>

namespace {

constexpr float cPi = std::numbers::pi_v<float>;

TVellPointF P(float x, float y) {
  return {x, y};
}

std::vector<std::pair<float, float>> PointsOf(const TVellPointFList &list) {
  std::vector<std::pair<float, float>> points;
  for (int i = 0; i < list.Count(); ++i)
    points.emplace_back(list.Points()[i].X, list.Points()[i].Y);
  return points;
}

// Within a few units of the last place of a 32-bit float.
double Tolerance(float expected) {
  return std::max(1e-4, 1e-6 * std::fabs(expected));
}

void ExpectPoint(const TVellPointF &actual, float x, float y) {
  EXPECT_NEAR(actual.X, x, Tolerance(x)) << "x of (" << actual.X << ", " << actual.Y << ")";
  EXPECT_NEAR(actual.Y, y, Tolerance(y)) << "y of (" << actual.X << ", " << actual.Y << ")";
}

using TPoints = std::vector<std::pair<float, float>>;

void ExpectPoints(const TVellPointFList &list, const TPoints &expected, const char *what = "") {
  ASSERT_EQ(list.Count(), int(expected.size())) << what;
  for (int i = 0; i < list.Count(); ++i) {
    SCOPED_TRACE(testing::Message() << what << " point " << i);
    ExpectPoint(list.Points()[i], expected[size_t(i)].first, expected[size_t(i)].second);
  }
}

// A point list made from points.
struct TList : TVellPointFList {
  explicit TList(const std::vector<TVellPointF> &points) {
    for (const TVellPointF &point : points)
      Add(point);
  }
};

} // namespace

TEST(VellPointF, SameValueToleranceGrowsWithMagnitude) {
  struct Case {
    float a, b;
    bool same;
  } const cases[] = {{1, 1.00009f, true},     {1, 1.0002f, false},      {0, 0.0001f, true},
                     {10000, 10000.9f, true}, {10000, 10001.5f, false}, {-3, 3, false}};
  for (const Case &c : cases)
    EXPECT_EQ(SameCoordinate(c.a, c.b), c.same) << c.a << " vs " << c.b;
  EXPECT_TRUE(TVellPointFCls(Point{3, 4}).SameAs(P(3.00005f, 3.99995f)));
}

TEST(VellPointF, AngleToCoversTheFullTurn) {
  const TVellPointFCls origin;
  struct Case {
    TVellPointF to;
    float angle;
  } const cases[] = {{P(10, 0), 0},           {P(0, 10), 1.5707964f},      {P(-5, 0), cPi},
                     {P(0, -10), 4.712389f},  {P(0, 0), 4.712389f},        {P(-1, -1), 1.25f * cPi},
                     {P(1, -1), 1.75f * cPi}, {P(0.00005f, 7), 1.5707964f}};
  for (const Case &c : cases)
    EXPECT_NEAR(double(origin.AngleTo(c.to)), c.angle, 1e-6) << c.to.X << ", " << c.to.Y;
  ExpectPoint(TVellPointFCls(P(1, 1)).RotatePoint(P(2, 1), cPi / 2), 1, 2);
  EXPECT_FLOAT_EQ(float(origin.DistanceTo(P(3, 4))), 5);
}

TEST(VellPointF, CloneAndXmlCarryTheCoordinates) {
  TVellPointFCls point(P(2.5f, -7.25f));
  const auto clone = point.Clone();
  const auto &copy = dynamic_cast<const TVellPointFCls &>(*clone);
  EXPECT_EQ(copy.X, 2.5f);
  EXPECT_EQ(copy.Y, -7.25f);

  const IXMLNodePtr element = ParseElement(QStringLiteral("<P/>"));
  point.SaveToXML(element);
  EXPECT_EQ(AttributesOf(element), QStringLiteral("X=\"2.5\" Y=\"-7.25\""));
  TVellPointFCls loaded(P(9, 9));
  loaded.LoadFromXML(ParseElement(QStringLiteral("<P Y=\"4\"/>")));
  EXPECT_EQ(loaded.X, 0); // a missing attribute reads as 0
  EXPECT_EQ(loaded.Y, 4);
}

TEST(VellLineF, EquationLengthAndAngle) {
  struct Case {
    TVellPointF from, to;
    float a, b, k, length, angle;
  } const cases[] = {
      {P(0, 0), P(10, 0), 0, -1, 0, 10, 0},
      {P(0, 0), P(0, 10), 1, 0, 0, 10, cPi / 2},
      {P(0, 0), P(-5, 0), 0, 1, 0, 5, cPi},
      {P(0, 1), P(10, 6), 0.5f, -1, 1, std::sqrt(125.0f), std::atan(0.5f)},
      {P(5, 5), P(0, 0), -1, 1, 0, std::sqrt(50.0f), 1.25f * cPi}, // the end at the origin
  };
  for (const Case &c : cases) {
    const TVellLineF line(c.from, c.to);
    EXPECT_FLOAT_EQ(line.a(), c.a);
    EXPECT_FLOAT_EQ(line.b(), c.b);
    EXPECT_FLOAT_EQ(line.k(), c.k);
    EXPECT_FLOAT_EQ(line.Length(), c.length);
    EXPECT_NEAR(line.Angle(), c.angle, 1e-6);
  }
}

TEST(VellLineF, IntersectionsAndFarAwayMarkers) {
  const TVellLineF horizontal(P(0, 0), P(10, 0));
  TVellPointF point;
  EXPECT_TRUE(horizontal.Intersect(TVellLineF(P(5, -3), P(5, 7)), point));
  ExpectPoint(point, 5, 0);

  EXPECT_FALSE(horizontal.Intersect(TVellLineF(P(0, 4), P(10, 4)), point));
  EXPECT_EQ(std::bit_cast<quint32>(point.X), 0xFF7FC99Eu);
  EXPECT_EQ(std::bit_cast<quint32>(point.Y), 0xFF7FC99Eu);

  EXPECT_FALSE(horizontal.Intersect(horizontal, point));
  EXPECT_EQ(std::bit_cast<quint32>(point.X), 0x7F7FC99Eu);
  EXPECT_EQ(std::bit_cast<quint32>(point.Y), 0x7F7FC99Eu);

  EXPECT_TRUE(horizontal.IntersectWith(P(0, -1), P(1, 1), point));
  ExpectPoint(point, 0.5f, 0);
}

TEST(VellLineF, SettingAPointOntoTheOtherLeavesTheLineAlone) {
  TVellLineF line(P(0, 0), P(10, 0));
  line.SetEndPoint(P(0.00001f, 0));
  line.SetStartPoint(P(10, 0));
  line.SetPoints(P(4, 4), P(4, 4)); // points taken, equation kept
  EXPECT_FLOAT_EQ(line.Length(), 10);
  EXPECT_FLOAT_EQ(line.b(), -1);
  line.SetPoints(P(0, 0), P(10, 0));
  line.SetEndPoint(P(0, 10));
  EXPECT_FLOAT_EQ(line.Angle(), cPi / 2);
  line.Offset(3, 0); // x = 3 after the move
  EXPECT_TRUE(line.ContainsPoint(P(3, 42)));
  EXPECT_FALSE(line.ContainsPoint(P(0, 42)));
}

TEST(VellLineF, ProjectionAndPointAtDistance) {
  const TVellLineF diagonal(P(0, 0), P(4, 4));
  ExpectPoint(diagonal.Projection(P(4, 0)), 2, 2);
  const TVellPointF foot = TVellLineF(P(20000, 0), P(20000, 5)).Projection(P(7, 3));
  EXPECT_NEAR(foot.X, 20000, 0.01);
  EXPECT_NEAR(foot.Y, 3, 1e-4);
  ExpectPoint(diagonal.PointAtDistance(std::sqrt(2.0L)), 1, 1);
  ExpectPoint(diagonal.PointAtDistance(0), 0, 0);
  ExpectPoint(diagonal.MoveByVector(P(1, 0)), 5, 4);
  ExpectPoint(TVellLineF().PointAtDistance(3), 0, 0); // no length
}

TEST(VellPointFList, CapacityGrowsAndShrinksInSteps) {
  TVellPointFList list;
  list.SetBoundStep(3);
  list.SetBoundStep(81);
  EXPECT_EQ(list.BoundStep(), 10);
  list.SetBoundStep(4);
  for (int i = 0; i < 5; ++i)
    list.Add(P(float(i), 0));
  EXPECT_EQ(list.Capacity(), 8);
  for (int i = 0; i < 4; ++i)
    list.Delete(0);
  list.Insert(1, P(9, 9)); // 1 + 4 < 8: one step back before inserting
  EXPECT_EQ(list.Capacity(), 4);
  ExpectPoints(list, {{4, 0}, {9, 9}});
  list.Insert(5, P(1, 1)); // out of range
  list.Delete(2);
  EXPECT_EQ(list.Count(), 2);
  list.SetCount(-1);
  list.SetCount(3);
  EXPECT_EQ(list.Points().size(), 3);
  EXPECT_EQ(PointsOf(list).back(), std::make_pair(0.0f, 0.0f));

  TVellPointF untouched = P(-1, -1);
  list.GetPoint(3, untouched);
  ExpectPoint(untouched, -1, -1);
}

TEST(VellPointFList, LinesAndPointObjectsAreShared) {
  TList list({P(0, 0), P(10, 0), P(10, 10)});
  TVellLineF &closing = list.GetLine(2);
  ExpectPoint(closing.StartPoint().AsPointF(), 10, 10);
  ExpectPoint(closing.EndPoint().AsPointF(), 0, 0);
  EXPECT_EQ(&list.GetLine(7), &closing);
  ExpectPoint(closing.StartPoint().AsPointF(), 10, 10); // unchanged
  EXPECT_EQ(&list.GetPointObject(1), &list.GetPointObject(0));
  EXPECT_EQ(list.GetPointObject(1).X, 10);
}

TEST(VellPointFList, XmlRoundTripAndForeignChildren) {
  TList list({P(1.5f, 2), P(-3, 4.25f)});
  list.SetBoundStep(20);
  const QByteArray saved = SavedBytes(list);
  EXPECT_TRUE(saved.contains("<TVellPointFList BoundStep=\"20\" Count=\"2\">")) << saved.constData();
  TList loaded({P(7, 7), P(8, 8), P(9, 9)});
  LoadBytes(loaded, saved);
  EXPECT_EQ(loaded.BoundStep(), 20);
  EXPECT_EQ(PointsOf(loaded), PointsOf(list));

  // The count follows the children; a foreign child gives (0, 0).
  loaded.LoadFromXML(
      ParseElement(QStringLiteral("<L BoundStep=\"2\" Count=\"2000000000\"><Items X=\"1\" Y=\"2\"/>"
                                  "<Point X=\"5\" Y=\"6\"/><Items X=\"3\"/></L>")));
  EXPECT_EQ(loaded.BoundStep(), 20);
  ExpectPoints(loaded, {{1, 2}, {0, 0}, {3, 0}});
}

TEST(VellPointFList, AssignCopiesPointsAndBoundStep) {
  TList source({P(1, 2), P(3, 4), P(5, 6)});
  source.SetBoundStep(7);
  TList dest({P(9, 9)});
  dest.Assign(&source);
  EXPECT_EQ(dest.BoundStep(), 7);
  EXPECT_EQ(PointsOf(dest), PointsOf(source));
  TVellPointFCls point;
  EXPECT_THROW(point.Assign(&source), EConvertError);
}

TEST(VellPointFList, MoveEndPointKeepsTheEndSegmentsDirection) {
  TList list({P(0, 0), P(10, 0), P(10, 10)});
  list.MoveEndPoint(true, 0, 5);
  ExpectPoints(list, {{0, 5}, {10, 5}, {10, 10}});
  list.MoveEndPoint(false, 3, 2); // the last segment stays vertical
  ExpectPoints(list, {{0, 5}, {13, 5}, {13, 12}});
  EXPECT_TRUE(list.Modified());

  TList two({P(0, 0), P(4, 0)});
  two.MoveEndPoint(false, 1, 1);
  ExpectPoints(two, {{0, 0}, {5, 1}});
}

TEST(VellPointFList, MoveSegmentKeepsTheNeighboursLines) {
  struct Case {
    const char *what;
    std::vector<TVellPointF> points;
    int index;
    float dx, dy;
    TPoints expected;
  } const cases[] = {
      {"middle of a U",
       {P(0, 10), P(0, 0), P(10, 0), P(10, 10)},
       2,
       0,
       4,
       {{0, 10}, {0, 4}, {10, 4}, {10, 10}}},
      {"first segment", {P(0, 0), P(10, 0), P(10, 10)}, 1, 3, 5, {{0, 5}, {10, 5}, {10, 10}}},
      {"last segment", {P(0, 0), P(10, 0), P(10, 10)}, 2, 4, 1, {{0, 0}, {14, 0}, {14, 10}}},
      {"a short move keeps the neighbours",
       {P(0, 10), P(0, 0), P(10, 0), P(10, 10)},
       2,
       0,
       0.5f,
       {{0, 10}, {0, 0}, {10, 0}, {10, 10}}},
      {"parallel neighbour keeps its point",
       {P(0, 0), P(10, 0), P(20, 0), P(20, 10)},
       2,
       0,
       3,
       {{0, 0}, {10, 0}, {20, 3}, {20, 10}}},
      {"a single segment moves across itself", {P(0, 0), P(10, 0)}, 1, 2, 3, {{0, 3}, {10, 3}}},
      {"index out of range", {P(0, 0), P(10, 0)}, 2, 2, 3, {{0, 0}, {10, 0}}},
  };
  for (const Case &c : cases) {
    TList list(c.points);
    list.MoveSegment(c.index, c.dx, c.dy);
    ExpectPoints(list, c.expected, c.what);
  }
}

TEST(VellPointFList, ScaleFromLineMirrorsAndFlattens) {
  struct Case {
    TVellLineF line;
    float factor;
    TVellPointF point, expected;
  } const cases[] = {
      {TVellLineF(P(0, 0), P(10, 0)), -1, P(3, 4), P(3, -4)},
      {TVellLineF(P(0, 0), P(10, 0)), -1, P(7, 0), P(7, 0)},
      {TVellLineF(P(0, 0), P(10, 0)), 0, P(3, 4), P(3, 0)},
      {TVellLineF(P(0, 0), P(10, 0)), 2, P(3, -4), P(3, -8)},
      {TVellLineF(P(0, 0), P(4, 4)), -1, P(4, 0), P(0, 4)},
      {TVellLineF(P(0, 1000), P(10, 1000)), -1, P(3, 1005), P(3, 995)}, // far from the origin
  };
  for (const Case &c : cases) {
    TList list({c.point});
    list.ScaleFromLine(c.line, c.factor);
    ExpectPoint(list.Points()[0], c.expected.X, c.expected.Y);
  }
}

TEST(VellPointFList, RotateScaleAndOffsetEveryPoint) {
  TList list({P(2, 1), P(1, 1)});
  list.SetModified(false);
  list.Rotate(1, 1, 0);
  EXPECT_FALSE(list.Modified());
  list.Rotate(1, 1, cPi / 2);
  ExpectPoint(list.Points()[0], 1, 2);
  list.RotateAroundOrigin(cPi);
  ExpectPoint(list.Points()[0], -1, -2);
  list.ScaleAround(1, 1, 2, 1);
  ExpectPoint(list.Points()[0], -3, -2);
  list.Scale(-1, 0.5);
  ExpectPoint(list.Points()[0], 3, -1);
  list.Offset(1, -1);
  ExpectPoint(list.Points()[0], 4, -2);
  ExpectPoint(list.Points()[1], 4, -1.5f); // (1, 1) through every step
  EXPECT_TRUE(list.Modified());
}
