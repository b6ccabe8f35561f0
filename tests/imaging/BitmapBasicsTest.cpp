#include "imaging/VellGDIPOBJ.h"
#include "tests/support/TestFiles.h"

#include <QFile>
#include <gtest/gtest.h>

namespace {

CLSID TiffEncoder() {
  CLSID clsid;
  EXPECT_GE(GetEncoderClsid(QStringLiteral("image/tiff"), clsid), 0);
  return clsid;
}

TEST(BitmapBasics, NewPageIsDrawnAndSavedAsTiff) {
  TTestDir dir;
  TVellBitmap page(40, 30, PixelFormat24bppRGB);
  ASSERT_EQ(page.GetLastStatus(), Ok);
  EXPECT_EQ(page.GetWidth(), 40u);
  EXPECT_EQ(page.GetHeight(), 30u);
  EXPECT_EQ(page.GetPixelFormat(), PixelFormat24bppRGB);
  EXPECT_EQ(page.SetResolution(150, 150), Ok);
  {
    TVellGraphics graphics(&page);
    ASSERT_EQ(graphics.GetLastStatus(), Ok);
    EXPECT_EQ(graphics.Clear(0xFFFFFFFF), Ok);
  }
  const QString file = dir.File(QStringLiteral("page.tif"));
  ASSERT_EQ(page.Save(file, TiffEncoder()), Ok);

  TVellBitmap loaded(file);
  ASSERT_EQ(loaded.GetLastStatus(), Ok);
  EXPECT_EQ(loaded.GetWidth(), 40u);
  EXPECT_EQ(loaded.GetHeight(), 30u);
  EXPECT_FLOAT_EQ(loaded.GetHorizontalResolution(), 150);
  EXPECT_FLOAT_EQ(loaded.GetVerticalResolution(), 150);
  EXPECT_EQ(loaded.GetPixelFormat(), PixelFormat24bppRGB);
  EXPECT_EQ(GdipImagePixels(loaded.NativeImage())->pixel(20, 15), qRgb(255, 255, 255));
}

TEST(BitmapBasics, MissingFileGivesEmptyFailedBitmap) {
  TTestDir dir;
  TVellBitmap missing(dir.File(QStringLiteral("none.tif")));
  EXPECT_EQ(missing.GetLastStatus(), FileNotFound);
  EXPECT_TRUE(missing.GetLastErrorText().contains(QStringLiteral("none.tif")));
  EXPECT_EQ(missing.GetWidth(), 0u);
  EXPECT_EQ(missing.GetHeight(), 0u);
  EXPECT_EQ(missing.GetHorizontalResolution(), 0.0f);
  EXPECT_EQ(missing.GetVerticalResolution(), 0.0f);
  const QString target = dir.File(QStringLiteral("out.tif"));
  EXPECT_NE(missing.Save(target, TiffEncoder()), Ok);
  EXPECT_FALSE(QFile::exists(target));
}

} // namespace
