// Pixel memory for decoded images is reused, and the pool keeps only a few blocks.
#include "imaging/VellPixelPool.h"

#include <gtest/gtest.h>

namespace {

TEST(PixelPool, ReusesTheMemoryOfFinishedImagesAndKeepsFewBlocks) {
  const uchar *first = nullptr;
  {
    QImage image = TVellPixelPool::NewImage(2000, 1000, QImage::Format_Grayscale8);
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.size(), QSize(2000, 1000));
    EXPECT_EQ(image.bytesPerLine(), 2000);
    image.fill(Qt::white);
    image.scanLine(999)[1999] = 7;
    EXPECT_EQ(image.constScanLine(999)[1999], 7);
    first = image.constBits();
  }
  const qint64 kept = TVellPixelPool::KeptBytes();
  EXPECT_GE(kept, 2000 * 1000);
  {
    // A smaller image takes the block back; a tiny one is not pooled at all.
    const QImage again = TVellPixelPool::NewImage(1500, 900, QImage::Format_Grayscale8);
    EXPECT_EQ(again.constBits(), first);
    const QImage tiny = TVellPixelPool::NewImage(10, 10, QImage::Format_BGR888);
    EXPECT_NE(tiny.constBits(), first);
  }
  for (int i = 1; i <= 6; ++i)
    QImage image = TVellPixelPool::NewImage(1000 * i, 1000, QImage::Format_Grayscale8);
  std::vector<QImage> held;
  for (int i = 0; i < 6; ++i)
    held.push_back(TVellPixelPool::NewImage(1000 + i, 1200, QImage::Format_Grayscale8));
  held.clear();
  // At most three blocks stay, the largest ones.
  EXPECT_GE(TVellPixelPool::KeptBytes(), qint64(6000) * 1000);
  EXPECT_LE(TVellPixelPool::KeptBytes(), qint64(3) * (6000 * 1000 + (2 << 20))); // whole huge pages
}

} // namespace
