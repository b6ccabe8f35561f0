#include "imaging/VellResample.h"

#include <gtest/gtest.h>

#include <QColor>
#include <cmath>
#include <vector>

namespace {

// Share of source pixel k in output pixel i along one axis: the covered part of
// the output's footprint when reducing, a tent around the clamped centre when
// enlarging.
double AxisWeight(int k, int i, int sourceSize, int destSize) {
  if (destSize == sourceSize)
    return k == i ? 1.0 : 0.0;
  const double scale = double(sourceSize) / destSize;
  if (destSize < sourceSize) {
    const double covered = std::min(k + 1.0, (i + 1) * scale) - std::max(double(k), i * scale);
    return std::max(0.0, covered) / scale;
  }
  const double centre = std::clamp((i + 0.5) * scale - 0.5, 0.0, sourceSize - 1.0);
  return std::max(0.0, 1.0 - std::abs(k - centre));
}

// The reference value of one channel of output pixel (x, y), straight from the definition.
double ReferenceValue(const QImage &source, QSize dest, int x, int y, int (*channel)(QRgb)) {
  double value = 0;
  for (int sy = 0; sy < source.height(); ++sy) {
    const double wy = AxisWeight(sy, y, source.height(), dest.height());
    for (int sx = 0; wy > 0 && sx < source.width(); ++sx)
      value += wy * AxisWeight(sx, x, source.width(), dest.width()) * channel(source.pixel(sx, sy));
  }
  return value;
}

QImage NoiseImage(QSize size, QImage::Format format) {
  QImage image(size, QImage::Format_RGB888);
  quint32 state = 12345;
  for (int y = 0; y < size.height(); ++y)
    for (int x = 0; x < size.width(); ++x) {
      state = state * 1664525u + 1013904223u;
      image.setPixel(x, y, qRgb(state >> 24, (state >> 16) & 255, (state >> 8) & 255));
    }
  if (format == QImage::Format_Indexed8)
    return image.convertToFormat(format, Qt::ThresholdDither);
  if (format == QImage::Format_Mono || format == QImage::Format_MonoLSB)
    return image.convertToFormat(QImage::Format_Grayscale8).convertToFormat(format, Qt::ThresholdDither);
  return image.convertToFormat(format);
}

constexpr QRgb Margin = 0xff010203;

struct TScaleCase {
  QSize Source, Dest;
};

TEST(VellResample, MatchesTheAreaAndLinearReferenceForEveryHandledFormat) {
  const TScaleCase cases[] = {{{37, 23}, {11, 7}},  {{40, 30}, {41, 31}}, {{50, 40}, {48, 43}},
                              {{13, 17}, {40, 50}}, {{16, 9}, {16, 9}},   {{1, 1}, {5, 3}},
                              {{300, 2}, {7, 1}}};
  const QImage::Format formats[] = {
      QImage::Format_RGB888,      QImage::Format_BGR888,   QImage::Format_RGB32, QImage::Format_Grayscale8,
      QImage::Format_Grayscale16, QImage::Format_Indexed8, QImage::Format_Mono,  QImage::Format_MonoLSB};
  for (const TScaleCase &c : cases)
    for (QImage::Format format : formats) {
      SCOPED_TRACE(testing::Message() << c.Source.width() << "x" << c.Source.height() << " -> "
                                      << c.Dest.width() << "x" << c.Dest.height() << ", format " << format);
      const QImage source = NoiseImage(c.Source, format);
      QImage target(c.Dest + QSize(5, 4), QImage::Format_BGR888);
      target.fill(QColor::fromRgb(Margin));
      const QRect dest(QPoint(3, 2), c.Dest);
      ASSERT_TRUE(TVellResample::ScaleInto(source, target, dest));
      for (int y = 0; y < target.height(); ++y)
        for (int x = 0; x < target.width(); ++x) {
          const QRgb got = target.pixel(x, y);
          if (!dest.contains(x, y)) {
            ASSERT_EQ(got, Margin) << "margin pixel " << x << "," << y;
            continue;
          }
          const int dx = x - dest.x(), dy = y - dest.y();
          ASSERT_NEAR(qRed(got), ReferenceValue(source, c.Dest, dx, dy, qRed), 1.0) << x << "," << y;
          ASSERT_NEAR(qGreen(got), ReferenceValue(source, c.Dest, dx, dy, qGreen), 1.0) << x << "," << y;
          ASSERT_NEAR(qBlue(got), ReferenceValue(source, c.Dest, dx, dy, qBlue), 1.0) << x << "," << y;
        }
    }
}

TEST(VellResample, ReducingAFinePatternAveragesInsteadOfPickingPixels) {
  QImage checkerboard(301, 301, QImage::Format_Mono);
  checkerboard.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
  for (int y = 0; y < checkerboard.height(); ++y)
    for (int x = 0; x < checkerboard.width(); ++x)
      checkerboard.setPixel(x, y, (x + y) & 1);
  QImage target(100, 70, QImage::Format_BGR888);
  ASSERT_TRUE(TVellResample::ScaleInto(checkerboard, target, target.rect()));
  for (int y = 0; y < target.height(); ++y)
    for (int x = 0; x < target.width(); ++x)
      ASSERT_NEAR(qGray(target.pixel(x, y)), 127.5, 10.0) << x << "," << y;
}

TEST(VellResample, RefusesWhatItDoesNotHandleAndChangesNothing) {
  QImage translucent(8, 8, QImage::Format_ARGB32);
  translucent.fill(qRgba(10, 20, 30, 40));
  QImage rgb(8, 8, QImage::Format_RGB888);
  rgb.fill(Qt::black);
  QImage page(10, 10, QImage::Format_BGR888);
  page.fill(QColor::fromRgb(Margin));
  QImage otherPage(10, 10, QImage::Format_RGB32);
  otherPage.fill(QColor::fromRgb(Margin));

  EXPECT_FALSE(TVellResample::Handles(translucent));
  EXPECT_FALSE(TVellResample::ScaleInto(translucent, page, QRect(0, 0, 5, 5)));
  EXPECT_FALSE(TVellResample::ScaleInto(QImage(), page, QRect(0, 0, 5, 5)));
  EXPECT_FALSE(TVellResample::ScaleInto(rgb, otherPage, QRect(0, 0, 5, 5)));
  EXPECT_FALSE(TVellResample::ScaleInto(rgb, page, QRect(6, 6, 5, 5)));
  EXPECT_FALSE(TVellResample::ScaleInto(rgb, page, QRect(0, 0, 0, 5)));
  for (int y = 0; y < page.height(); ++y)
    for (int x = 0; x < page.width(); ++x)
      ASSERT_EQ(page.pixel(x, y), Margin);
}

} // namespace
