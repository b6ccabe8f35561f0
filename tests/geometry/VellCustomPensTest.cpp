// Cap and dash-style classes, their registries, and lines drawn with them.
#include "geometry/VellCustomPens.h"

#include <QPainterPath>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace {

struct TOutline {
  QPainterPath Figures;
  float Inset = -1;
  bool Filled = false;
};

TOutline OutlineOf(const TLineCapClass &capClass, float size) {
  TVellGraphicsPath path;
  TOutline outline;
  capClass.BuildCapPath(path, size, outline.Inset, outline.Filled);
  outline.Figures = *GdipPathFigures(path.NativePath());
  return outline;
}

// A fresh, filled registry pair for one test.
class CustomPens : public ::testing::Test {
protected:
  void SetUp() override {
    RegisterLineCapClasses();
    RegisterLineDashStyleClasses();
  }
  void TearDown() override { FreeLineCapAndDashStyleClasses(); }
};

} // namespace

TEST_F(CustomPens, RegistriesListEveryClassOnceInOrder) {
  const TLineCapClassMgr &caps = LineCapClasses();
  ASSERT_EQ(caps.Count(), 54);
  EXPECT_EQ(caps.Items(0).ClassName(), "TNoAnchorCap");
  EXPECT_EQ(caps.Items(1).ClassName(), "TTriangleCap");
  EXPECT_EQ(caps.Items(7).ClassName(), "TSquareAnchorCap");
  EXPECT_EQ(caps.Items(8).ClassName(), "TLineCap08Cap");
  EXPECT_EQ(caps.Items(53).ClassName(), "TLineCap53Cap");
  const TLineDashStyleClassMgr &dashes = LineDashStyleClasses();
  ASSERT_EQ(dashes.Count(), 23);
  EXPECT_EQ(dashes.Items(0).ClassName(), "TLineDashStyleSolid");
  EXPECT_EQ(dashes.Items(22).ClassName(), "TLineDashStyle_3_1");

  RegisterLineCap(TTriangleCap::StaticClass());
  RegisterLineDashStyle(TLineDashStyleSolid::StaticClass());
  EXPECT_EQ(caps.Count(), 54);
  EXPECT_EQ(caps.IndexOf(TTriangleCap::StaticClass()), 1);
  EXPECT_EQ(dashes.Count(), 23);
  EXPECT_TRUE(TLineCap30Cap::StaticClass().InheritsFrom(&TBaseLineCap::StaticClass()));
  EXPECT_TRUE(TLineDashStyle_2_2::StaticClass().InheritsFrom(&TBaseLineDashStyle::StaticClass()));
}

TEST_F(CustomPens, DashPatternsAreTheNamedLengths) {
  struct Case {
    const TLineDashStyleClass &dashClass;
    TSingleDynArray pattern;
  } const cases[] = {
      {TLineDashStyleSolid::StaticClass(), {}},
      {TLineDashStyle_17_8_2_8::StaticClass(), {17, 8, 2, 8}},
      {TLineDashStyle_41_8_9_8_9_8::StaticClass(), {41, 8, 9, 8, 9, 8}},
      {TLineDashStyle_3_1::StaticClass(), {3, 1}},
  };
  for (const Case &c : cases) {
    TSingleDynArray pattern{99};
    c.dashClass.GetDashPattern(pattern);
    EXPECT_EQ(pattern, c.pattern) << c.dashClass.ClassName().toStdString();
  }
  for (const TMetaClass *dashClass : LineDashStyleClasses().Classes()) {
    TSingleDynArray pattern;
    static_cast<const TLineDashStyleClass *>(dashClass)->GetDashPattern(pattern);
    EXPECT_EQ(pattern.size() % 2, 0) << dashClass->ClassName().toStdString();
  }
}

TEST_F(CustomPens, NamedCapOutlines) {
  const TOutline triangle = OutlineOf(TTriangleCap::StaticClass(), 2);
  EXPECT_FLOAT_EQ(triangle.Inset, 0.62f);
  EXPECT_TRUE(triangle.Filled);
  const QPolygonF polygon = triangle.Figures.toFillPolygon();
  EXPECT_EQ(polygon, QPolygonF({{-0.5, -0.62f}, {0.5, -0.62f}, {0, 0}, {-0.5, -0.62f}}));

  const TOutline chevron = OutlineOf(TLineCap09Cap::StaticClass(), 2);
  EXPECT_EQ(chevron.Inset, 0);
  EXPECT_FALSE(chevron.Filled);
  EXPECT_EQ(chevron.Figures.toSubpathPolygons().value(0), QPolygonF({{1, -1}, {0, 0}, {-1, -1}}));

  TOutline nothing;
  nothing = OutlineOf(TNoAnchorCap::StaticClass(), 2);
  EXPECT_TRUE(nothing.Figures.isEmpty());
  EXPECT_EQ(nothing.Inset, -1); // left alone

  const TOutline arrow = OutlineOf(TArrowAnchorCap::StaticClass(), 2);
  EXPECT_FLOAT_EQ(arrow.Inset, 1.74f);
  EXPECT_TRUE(arrow.Figures.contains(QPointF(0, -1)));
  EXPECT_FALSE(arrow.Figures.contains(QPointF(0.8, -1)));
  const TOutline round = OutlineOf(TRoundCap::StaticClass(), 2);
  EXPECT_EQ(round.Figures.boundingRect(), QRectF(-1, -1, 2, 1)); // the half towards the end
  const TOutline square = OutlineOf(TSquareAnchorCap::StaticClass(), 2);
  EXPECT_EQ(square.Figures.boundingRect(), QRectF(-1, -2, 2, 2));
  EXPECT_EQ(square.Inset, 2);
}

// Every numbered cap is one fixed figure scaled by the size as a whole, near
// the line's end, and becomes an imaging cap with its outline in the right slot.
TEST_F(CustomPens, NumberedCapsScaleAsAWholeAndMakeImagingCaps) {
  const TLineCapClassMgr &caps = LineCapClasses();
  for (int i = 8; i < caps.Count(); ++i) {
    const TLineCapClass &capClass = caps.Items(i);
    SCOPED_TRACE(capClass.ClassName().toStdString());
    const TOutline small = OutlineOf(capClass, 2), large = OutlineOf(capClass, 4);
    ASSERT_FALSE(small.Figures.isEmpty());
    const QRectF box = small.Figures.boundingRect();
    EXPECT_TRUE(box.left() >= -2.5 && box.right() <= 2.5 && box.top() >= -4 && box.bottom() <= 2)
        << box.x() << " " << box.y() << " " << box.width() << " " << box.height();
    EXPECT_NEAR(large.Figures.boundingRect().width(), 2 * box.width(), 1e-4);
    EXPECT_NEAR(large.Figures.boundingRect().top(), 2 * box.top(), 1e-4);
    EXPECT_FLOAT_EQ(large.Inset, 2 * small.Inset);
    EXPECT_GE(small.Inset, 0);
    EXPECT_LE(small.Inset, std::max(0.0, -box.top()) + 1e-4); // the line ends inside the figure
    EXPECT_EQ(large.Filled, small.Filled);
  }
  for (int i = 0; i < caps.Count(); ++i) {
    const TLineCapClass &capClass = caps.Items(i);
    SCOPED_TRACE(capClass.ClassName().toStdString());
    const TOutline outline = OutlineOf(capClass, 3);
    const TBaseLineCap cap(capClass, 3);
    ASSERT_EQ(cap.GetLastStatus(), Ok);
    EXPECT_EQ(&cap.ClassType(), &capClass);
    QPainterPath fill, stroke;
    float inset = -1;
    ASSERT_EQ(GdipGetCustomLineCapFigures(cap.NativeCap(), &fill, &stroke), Ok);
    ASSERT_EQ(GdipGetCustomLineCapBaseInset(cap.NativeCap(), &inset), Ok);
    EXPECT_EQ(outline.Filled ? fill : stroke, outline.Figures);
    EXPECT_TRUE((outline.Filled ? stroke : fill).isEmpty());
    EXPECT_EQ(inset, i == 0 ? 0 : outline.Inset);
  }
}
