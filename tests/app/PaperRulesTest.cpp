#include "app/PaperRules.h"

#include <QRect>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

TPageSettings Settings(TSizeModeEnum mode = smeAStyle, bool autoFit = true, int aSize = pseA4,
                       int bSize = pseB4, double screenDpi = 96) {
  return {mode, autoFit, static_cast<TAPaperSizeEnum>(aSize), static_cast<TBPaperSizeEnum>(bSize), screenDpi};
}

TEST(PaperRules, RoundHalfEven) {
  const struct {
    double value;
    qint32 expected;
  } cases[] = {{203.5, 204},     {202.5, 202},       {-0.5, 0},
               {-1.5, -2},       {2.4999, 2},        {2.5001, 3},
               {-2.6, -3},       {1e12, 2147483647}, {-1e12, std::numeric_limits<qint32>::min()},
               {std::nan(""), 0}};
  for (const auto &c : cases)
    EXPECT_EQ(RoundHalfEven(c.value), c.expected) << c.value;
}

TEST(PaperRules, NearestSizeIndexPrefersLargerPaperOnTies) {
  const struct {
    qint32 mm;
    const TPaperTable &table;
    int expected;
  } cases[] = {{179, APaperShort, 4}, {178, APaperShort, 5}, {180, APaperShort, 4},
               {1015, APaperLong, 0}, {1014, APaperLong, 1}, {0, APaperShort, 5},
               {5000, BPaperLong, 0}, {-7, BPaperShort, 5},  {500, BPaperShort, 2}};
  for (const auto &c : cases)
    EXPECT_EQ(NearestSizeIndex(c.mm, c.table), c.expected) << c.mm;
}

TEST(PaperRules, PaperSizeNameMatchesExactlyInEitherOrientation) {
  const struct {
    qint32 w, h;
    const char *name;
  } cases[] = {{210, 297, "A4"}, {297, 210, "A4"},   {1189, 841, "A0"}, {148, 210, "A5"},
               {420, 594, "A2"}, {1000, 1414, "B0"}, {176, 250, "B5"},  {353, 250, "B4"},
               {211, 297, "?"},  {841, 841, "?"},    {0, 0, "?"}};
  for (const auto &c : cases)
    EXPECT_EQ(PaperSizeName(c.w, c.h), QString::fromLatin1(c.name)) << c.w << "x" << c.h;
}

TEST(PaperRules, FitSizeInside) {
  const struct {
    QSize size, box, expected;
  } cases[] = {
      {{0, 5}, {10, 10}, {0, 0}},
      {{5, 0}, {10, 10}, {0, 0}},
      {{5, 5}, {10, 0}, {0, 0}},
      {{5, 5}, {0, 10}, {0, 0}},
      {{100, 50}, {200, 200}, {200, 100}},        // enlarged to the box width
      {{50, 100}, {200, 200}, {100, 200}},        // enlarged to the box height
      {{100, 100}, {50, 50}, {50, 50}},           // equal proportions reduce on the height branch
      {{2400, 3300}, {1748, 2480}, {1748, 2404}}, // 2403.5 goes to the even neighbour
      {{3, 1000}, {7, 7}, {0, 7}},
  };
  for (const auto &c : cases)
    EXPECT_EQ(FitSizeInside(c.size, c.box), c.expected) << c.size.width() << "x" << c.size.height();
}

struct TPageCase {
  const char *label;
  TImageMetrics image;
  TPageSettings settings;
  QSize mm;
  bool needsPage;
  TPagePlacement page; // checked only when a page is needed
};

void ExpectPage(const TPageCase &c) {
  SCOPED_TRACE(c.label);
  EXPECT_EQ(ImageSizeMm(c.image, c.settings.ScreenDpi), c.mm);
  ASSERT_EQ(NeedsPage(c.image, c.settings), c.needsPage);
  if (!c.needsPage)
    return;
  const TPagePlacement p = ComputePagePlacement(c.image, c.settings);
  EXPECT_EQ(QSize(p.PageWidth, p.PageHeight), QSize(c.page.PageWidth, c.page.PageHeight));
  EXPECT_EQ(QRect(p.DrawX, p.DrawY, p.DrawWidth, p.DrawHeight),
            QRect(c.page.DrawX, c.page.DrawY, c.page.DrawWidth, c.page.DrawHeight));
  EXPECT_FLOAT_EQ(p.HorzDpi, c.page.HorzDpi);
  EXPECT_EQ(p.PageName, c.page.PageName);
}

TEST(PaperRules, AutomaticSizeOnTheASeries) {
  const TPageSettings a = Settings();
  const TPageCase cases[] = {
      // clang-format off
      {"exact A4", {2480, 3508, 300, 300}, a, {210, 297}, false, {}},
      {"slightly small portrait", {2400, 3300, 300, 300}, a, {203, 279}, true, {2480, 3508, 0, 49, 2480, 3410, 300, "A4"}},
      {"slightly small landscape", {3300, 2400, 300, 300}, a, {279, 203}, true, {3508, 2480, 49, 0, 3410, 2480, 300, "A4"}},
      {"400 dpi on A1 is capped at 200", {9000, 12000, 400, 400}, a, {572, 762}, true, {4677, 6622, 0, 193, 4677, 6236, 200, "A1"}},
      {"square enlarged onto A1", {3000, 3000, 150, 150}, a, {508, 508}, true, {3508, 4967, 0, 729, 3508, 3508, 150, "A1"}},
      {"exact A2", {4961, 7016, 300, 300}, a, {420, 594}, false, {}},
      {"B4 is no A page", {2953, 4169, 300, 300}, a, {250, 353}, true, {2480, 3508, 0, 3, 2480, 3501, 300, "A4"}},
      {"only the vertical resolution is capped", {6000, 9000, 150, 300}, a, {1016, 762}, true, {4967, 9362, 0, 956, 4967, 7450, 150, "A0"}},
      {"sizes 3 and smaller are never capped", {2400, 3300, 600, 600}, a, {102, 140}, true, {3496, 4961, 0, 77, 3496, 4807, 600, "A5"}},
      // clang-format on
  };
  for (const TPageCase &c : cases)
    ExpectPage(c);
}

TEST(PaperRules, MissingResolutionUsesTheScreenResolution) {
  const TPageCase cases[] = {
      // clang-format off
      {"A4 at the screen resolution", {794, 1123, 0, 0}, Settings(), {210, 297}, false, {}},
      {"page sized at 96 dpi, stored dpi stays 0", {800, 1000, 0, 0.00005f}, Settings(), {212, 265}, true, {794, 1123, 0, 65, 794, 992, 0, "A4"}},
      {"a screen value above 200 is not capped", {9000, 12000, 0, 0}, Settings(smeAStyle, true, 4, 4, 300), {762, 1016}, true, {9933, 14043, 0, 399, 9933, 13244, 0, "A0"}},
      // clang-format on
  };
  for (const TPageCase &c : cases)
    ExpectPage(c);
}

TEST(PaperRules, FixedSizesAndTheBSeries) {
  const TPageCase cases[] = {
      // clang-format off
      {"A4 stays unchanged while A5 is fixed", {2480, 3508, 300, 300}, Settings(smeAStyle, false, pseA5), {210, 297}, false, {}},
      {"fixed A5", {2400, 3300, 300, 300}, Settings(smeAStyle, false, pseA5), {203, 279}, true, {1748, 2480, 0, 38, 1748, 2404, 300, "A5"}},
      {"A4 goes on a B page", {2480, 3508, 300, 300}, Settings(smeBStyle), {210, 297}, true, {2079, 2953, 0, 6, 2079, 2941, 300, "B5"}},
      {"B4 is a B page", {2953, 4169, 300, 300}, Settings(smeBStyle), {250, 353}, false, {}},
      {"automatic B", {2400, 3300, 300, 300}, Settings(smeBStyle), {203, 279}, true, {2079, 2953, 0, 47, 2079, 2859, 300, "B5"}},
      {"fixed B1 caps at 200", {2400, 3300, 300, 300}, Settings(smeBStyle, false, pseA4, pseB1), {203, 279}, true, {5567, 7874, 0, 109, 5567, 7655, 200, "B1"}},
      // clang-format on
  };
  for (const TPageCase &c : cases)
    ExpectPage(c);
}

TEST(PaperRules, UndeclaredModesAndSizesFallBackToTheDefaults) {
  const TPageCase cases[] = {
      // clang-format off
      {"custom mode uses the A series", {2480, 3508, 300, 300}, Settings(smeCustom), {210, 297}, false, {}},
      {"custom mode pages on A", {2400, 3300, 300, 300}, Settings(smeCustom), {203, 279}, true, {2480, 3508, 0, 49, 2480, 3410, 300, "A4"}},
      {"mode 7 uses the A series", {2400, 3300, 300, 300}, Settings(static_cast<TSizeModeEnum>(7)), {203, 279}, true, {2480, 3508, 0, 49, 2480, 3410, 300, "A4"}},
      {"fixed size 9 uses A4", {2400, 3300, 300, 300}, Settings(smeAStyle, false, 9), {203, 279}, true, {2480, 3508, 0, 49, 2480, 3410, 300, "A4"}},
      {"fixed size 200 uses B4", {2400, 3300, 300, 300}, Settings(smeBStyle, false, pseA4, 200), {203, 279}, true, {2953, 4169, 0, 54, 2953, 4060, 300, "B4"}},
      // clang-format on
  };
  for (const TPageCase &c : cases)
    ExpectPage(c);
}

} // namespace
