// The colour quantiser: exact palettes for few colours, a palette that fits
// the picture, the dither kernels keeping local averages, nearest mapping
// without diffusion, transparency.
#include "imaging/VellColorQuantizer.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

// A smooth two-dimensional colour gradient.
QImage Gradient(int size) {
  QImage image(size, size, QImage::Format_RGB32);
  for (int y = 0; y < size; ++y)
    for (int x = 0; x < size; ++x)
      image.setPixel(x, y, qRgb(x * 255 / (size - 1), y * 255 / (size - 1), (x + y) * 127 / (size - 1)));
  return image;
}

double MeanSquaredError(const QImage &a, const QImage &b) {
  double sum = 0;
  for (int y = 0; y < a.height(); ++y)
    for (int x = 0; x < a.width(); ++x) {
      const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
      sum += std::pow(qRed(p) - qRed(q), 2) + std::pow(qGreen(p) - qGreen(q), 2) +
             std::pow(qBlue(p) - qBlue(q), 2);
    }
  return sum / (3.0 * a.width() * a.height());
}

// The mean over 16 × 16 blocks and channels of how far the block's average
// colour moved.
double BlockMeanError(const QImage &original, const QImage &mapped) {
  double total = 0;
  int count = 0;
  for (int by = 0; by < original.height(); by += 16)
    for (int bx = 0; bx < original.width(); bx += 16) {
      double diff[3] = {0, 0, 0};
      for (int y = by; y < by + 16; ++y)
        for (int x = bx; x < bx + 16; ++x) {
          const QRgb p = original.pixel(x, y), q = mapped.pixel(x, y);
          diff[0] += qRed(p) - qRed(q);
          diff[1] += qGreen(p) - qGreen(q);
          diff[2] += qBlue(p) - qBlue(q);
        }
      for (double d : diff)
        total += std::abs(d) / 256.0;
      count += 3;
    }
  return total / count;
}

int NearestByHand(const QList<QRgb> &palette, QRgb colour) {
  int best = 0, bestDistance = INT_MAX;
  for (int i = 0; i < palette.size(); ++i) {
    const int dr = qRed(palette[i]) - qRed(colour), dg = qGreen(palette[i]) - qGreen(colour),
              db = qBlue(palette[i]) - qBlue(colour);
    if (dr * dr + dg * dg + db * db < bestDistance) {
      bestDistance = dr * dr + dg * dg + db * db;
      best = i;
    }
  }
  return best;
}

} // namespace

TEST(ColorQuantizer, FewColoursComeBackExactlyWhateverTheKernel) {
  QImage image(40, 30, QImage::Format_RGB32);
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 40; ++x)
      image.setPixel(x, y, qRgb((x / 5) * 31, (y / 5) * 47, 100)); // 8 × 6 colours
  for (int kernel = 0; kernel <= int(TDitherKernel::Burkes); ++kernel) {
    const QImage reduced = ReduceColors(image, TDitherKernel(kernel));
    EXPECT_EQ(reduced.colorCount(), 48);
    EXPECT_EQ(reduced.convertToFormat(QImage::Format_RGB32), image) << "kernel " << kernel;
  }
}

TEST(ColorQuantizer, AdaptivePaletteFitsThePictureFarBetterThanAFixedCube) {
  const QImage image = Gradient(128);
  QList<QRgb> cube;
  for (int r = 0; r < 6; ++r)
    for (int g = 0; g < 6; ++g)
      for (int b = 0; b < 6; ++b)
        cube.append(qRgb(r * 51, g * 51, b * 51));
  const QList<QRgb> adaptive = AdaptivePalette(image, 216);
  EXPECT_LE(adaptive.size(), 216);
  const double adaptiveError = MeanSquaredError(image, MapToPalette(image, adaptive, TDitherKernel::Nearest));
  const double cubeError = MeanSquaredError(image, MapToPalette(image, cube, TDitherKernel::Nearest));
  EXPECT_LT(adaptiveError * 4, cubeError);
  // 216 colours on this surface of 16384 leave steps of about 18 levels:
  // near 34 dB is the best any palette reaches.
  EXPECT_GT(10 * std::log10(255.0 * 255.0 / adaptiveError), 33.0); // PSNR in dB
}

TEST(ColorQuantizer, DiffusionKernelsKeepBlockAveragesNearestDoesNot) {
  const QImage image = Gradient(128);
  // The corners of the colour cube: every colour is a mix of them.
  QList<QRgb> palette;
  for (int corner = 0; corner < 8; ++corner)
    palette.append(qRgb(corner & 1 ? 255 : 0, corner & 2 ? 255 : 0, corner & 4 ? 255 : 0));
  const double nearestError = BlockMeanError(image, MapToPalette(image, palette, TDitherKernel::Nearest));
  EXPECT_GT(nearestError, 8.0);
  for (int kernel = int(TDitherKernel::FloydSteinberg); kernel <= int(TDitherKernel::Burkes); ++kernel)
    EXPECT_LT(BlockMeanError(image, MapToPalette(image, palette, TDitherKernel(kernel))), 3.0)
        << "kernel " << kernel;
}

TEST(ColorQuantizer, NearestMapsEachPixelToItsNearestPaletteColour) {
  const QImage image = Gradient(64);
  const QList<QRgb> palette = AdaptivePalette(image, 16);
  const QImage mapped = MapToPalette(image, palette, TDitherKernel::Nearest);
  ASSERT_EQ(mapped.format(), QImage::Format_Indexed8);
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 64; ++x)
      ASSERT_EQ(palette[mapped.pixelIndex(x, y)], palette[NearestByHand(palette, image.pixel(x, y))])
          << x << "," << y;
}

TEST(ColorQuantizer, TransparentPixelsTakeTheLastEntryAndOnlyThey) {
  QImage image = Gradient(64).convertToFormat(QImage::Format_ARGB32);
  for (int y = 10; y < 20; ++y)
    for (int x = 0; x < 64; ++x)
      image.setPixel(x, y, qRgba(255, 255, 255, 0));
  const QImage reduced = ReduceColors(image, TDitherKernel::FloydSteinberg);
  ASSERT_LE(reduced.colorCount(), 256);
  const int transparent = reduced.colorCount() - 1;
  EXPECT_EQ(qAlpha(reduced.color(transparent)), 0);
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 64; ++x)
      ASSERT_EQ(reduced.pixelIndex(x, y) == transparent, y >= 10 && y < 20) << x << "," << y;
}
