// Lines drawn by the imaging service with cap classes and dash styles: the
// pixels show the cap's outline and the dash rhythm.
#include "geometry/VellCustomPens.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

constexpr ARGB cBlack = 0xFF000000;

// A white 24-bit bitmap with a surface on it.
class TCanvas {
public:
  TCanvas() { Graphics.Clear(0xFFFFFFFF); }
  bool Inked(double x, double y) const {
    const QImage &pixels = *GdipImagePixels(Bitmap.NativeImage());
    return qGray(pixels.pixel(int(std::floor(x)), int(std::floor(y)))) < 128;
  }
  // Lengths of the alternating inked and blank runs along row y, from x on.
  std::vector<int> Runs(int y, int x) const {
    std::vector<int> runs;
    bool inked = true;
    for (int length = 0; x < 200; ++x, ++length)
      if (Inked(x, y) != inked) {
        runs.push_back(length);
        inked = !inked, length = 0;
      }
    return runs;
  }

  TVellBitmap Bitmap{200, 200, PixelFormat24bppRGB};
  TVellGraphics Graphics{&Bitmap};
};

// The pattern of a dash class in pixels for a pen width.
std::vector<int> PatternPixels(const TLineDashStyleClass &dashClass, int width) {
  TSingleDynArray pattern;
  dashClass.GetDashPattern(pattern);
  std::vector<int> pixels;
  for (float length : pattern)
    pixels.push_back(int(length) * width);
  return pixels;
}

} // namespace

// A width-6 line with TArrowAnchorCap (size 2) at both ends: heads 12 px wide
// and 10.44 px long, the line stopping inside them. Samples are taken
// relative to each tip: along (negative: back along the line) and across.
TEST(CapDrawing, ArrowHeadsFillTheirOutlineInEveryDirection) {
  struct Sample {
    double along, across;
    bool inked;
  } const samples[] = {
      {-1, 0, true},  {-8, 4, true},   {-8, -4, true},  {-10, 5, true},   // inside the head
      {2, 0, false},  {-8, 6, false},  {-8, -6, false},                   // beside and beyond it
      {-2, 2, false}, {-2, -2, false},                                    // where the uninset line would be
      {-30, 0, true}, {-30, 2, true},  {-30, 4, false}, {-30, -4, false}, // the line itself
  };
  struct Direction {
    double dx, dy;
  } const directions[] = {{1, 0}, {0, 1}, {-1, 0}, {0, -1}};
  for (const Direction &d : directions) {
    TCanvas canvas;
    const TArrowAnchorCap arrow(2);
    TVellPen pen(cBlack, 6);
    ASSERT_EQ(pen.SetCustomStartCap(&arrow), Ok);
    ASSERT_EQ(pen.SetCustomEndCap(&arrow), Ok);
    const PointF tail{float(100.5 - 70 * d.dx), float(100.5 - 70 * d.dy)};
    const PointF tip{float(100.5 + 70 * d.dx), float(100.5 + 70 * d.dy)};
    ASSERT_EQ(canvas.Graphics.DrawLine(&pen, tail, tip), Ok);
    for (const auto &[end, sign] : {std::pair{tip, 1.0}, std::pair{tail, -1.0}})
      for (const Sample &s : samples) {
        const double ux = sign * d.dx, uy = sign * d.dy; // outwards at this end
        const double x = end.X + s.along * ux - s.across * uy, y = end.Y + s.along * uy + s.across * ux;
        EXPECT_EQ(canvas.Inked(x, y), s.inked) << "direction (" << d.dx << ", " << d.dy << "), end " << sign
                                               << ", sample " << s.along << "/" << s.across;
      }
  }
}

// Dashes and gaps are the pattern's lengths times the pen width, starting
// with a dash at the line's start, and the arrow head still closes the line.
TEST(CapDrawing, DashesFollowThePatternInPenWidths) {
  for (const TLineDashStyleClass *dashClass :
       {&TLineDashStyle_9_4::StaticClass(), &TLineDashStyle_17_8_2_8::StaticClass(),
        &TLineDashStyle_5_2_2_2_2_2::StaticClass()}) {
    SCOPED_TRACE(dashClass->ClassName().toStdString());
    TCanvas canvas;
    const TArrowAnchorCap arrow(3);
    TVellPen pen(cBlack, 2);
    TSingleDynArray pattern;
    dashClass->GetDashPattern(pattern);
    ASSERT_EQ(pen.SetDashPattern(pattern), Ok);
    ASSERT_EQ(pen.SetCustomEndCap(&arrow), Ok);
    ASSERT_EQ(canvas.Graphics.DrawLine(&pen, {10, 50}, {190, 50}), Ok);

    const std::vector<int> runs = canvas.Runs(50, 10), expected = PatternPixels(*dashClass, 2);
    ASSERT_GT(runs.size(), expected.size() + 2);
    for (size_t i = 0; i + 2 < runs.size(); ++i) // the last runs meet the head
      EXPECT_NEAR(runs[i], expected[i % expected.size()], 1) << "run " << i;
    EXPECT_TRUE(canvas.Inked(188.5, 50.5));  // just behind the tip
    EXPECT_TRUE(canvas.Inked(186.5, 51.5));  // inside the head, beside the line
    EXPECT_FALSE(canvas.Inked(190.5, 50.5)); // beyond the tip
  }
}

TEST(CapDrawing, SolidStyleDrawsAnUnbrokenLine) {
  TCanvas canvas;
  TVellPen pen(cBlack, 2);
  TSingleDynArray pattern;
  TLineDashStyle_9_4::StaticClass().GetDashPattern(pattern);
  ASSERT_EQ(pen.SetDashPattern(pattern), Ok);
  TLineDashStyleSolid::StaticClass().GetDashPattern(pattern);
  ASSERT_EQ(pen.SetDashPattern(pattern), Ok);
  ASSERT_EQ(canvas.Graphics.DrawLine(&pen, {10, 50}, {190, 50}), Ok);
  EXPECT_EQ(canvas.Runs(50, 10), std::vector<int>{180});
}
