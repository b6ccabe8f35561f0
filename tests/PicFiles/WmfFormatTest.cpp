// The metafile format class: recording pictures into EMF or placeable WMF,
// the Enhanced switch, what it answers instead of resolutions, and what an
// independent reader (Inkscape) makes of the files it writes.
#include "PicFiles/WmfFormat.h"
#include "tests/PicFiles/MetafileTestSupport.h"
#include "tests/PicFiles/PicFormatTestSupport.h"

#include <QBuffer>
#include <QPainter>

#include <gtest/gtest.h>

namespace {

// 60 x 40 pixels in four quadrants: red, green / blue, yellow.
const QRgb Quadrants[] = {qRgb(255, 0, 0), qRgb(0, 160, 0), qRgb(0, 0, 255), qRgb(255, 220, 0)};

TBitmap QuadrantBitmap() {
  QImage image(60, 40, QImage::Format_BGR888);
  QPainter painter(&image);
  for (int i = 0; i < 4; ++i)
    painter.fillRect(i % 2 * 30, i / 2 * 20, 30, 20, QColor(Quadrants[i]));
  painter.end();
  TBitmap bitmap;
  bitmap.SetImage(image);
  return bitmap;
}

// The quadrants' colours, up to tolerance, in each quadrant but a margin of
// inset pixels (where a smoothing reader blends neighbours).
void ExpectQuadrants(const QImage &image, int inset = 0, int tolerance = 4) {
  ASSERT_EQ(image.size(), QSize(60, 40));
  for (int i = 0; i < 4; ++i) {
    const int x = i % 2 * 30;
    const int y = i / 2 * 20;
    for (QPoint corner : {QPoint(x + inset, y + inset), QPoint(x + 29 - inset, y + 19 - inset), QPoint(x + 15, y + 10)})
      EXPECT_LT(ColourDistance(image.pixel(corner), Quadrants[i]), tolerance) << corner.x() << "," << corner.y();
  }
}

TWmfFormat Reloaded(const QByteArray &file) {
  QBuffer buffer;
  buffer.setData(file);
  buffer.open(QIODevice::ReadOnly);
  TWmfFormat format;
  format.LoadFromStream(buffer);
  return format;
}

QImage PixelsOf(const TWmfFormat &format) {
  TBitmap bitmap;
  format.AssignToBitmap(bitmap);
  return bitmap.Image().convertToFormat(QImage::Format_RGB32);
}

} // namespace

// A recorded bitmap comes back pixel for pixel from either form, with the
// header's bounds and frame of a 60 x 40 picture; the attribute's Enhanced
// chooses the form.
TEST(WmfFormat, RecordsABitmapInTheFormEnhancedChooses) {
  for (const bool enhanced : {true, false}) {
    SCOPED_TRACE(enhanced ? "EMF" : "WMF");
    TWmfAttr attr;
    attr.Enhanced = enhanced;
    TWmfFormat format;
    format.AssignFromBitmap(QuadrantBitmap(), &attr);
    EXPECT_EQ(format.GetEnHanced(), enhanced);
    const QByteArray file = Saved(format);
    if (enhanced)
      EXPECT_EQ(file.mid(40, 4), QByteArray(" EMF"));
    else
      EXPECT_EQ(file.left(4), QByteArray::fromHex("d7cdc69a"));
    const TWmfFormat again = Reloaded(file);
    EXPECT_EQ(again.GetEnHanced(), enhanced);
    EXPECT_EQ(again.GetWidth(), 60);
    EXPECT_EQ(again.GetHeight(), 40);
    ExpectQuadrants(PixelsOf(again));
    const TMetafileHeader &header = again.Metafile().Header();
    if (enhanced) {
      EXPECT_EQ(header.Bounds, QRect(0, 0, 60, 40));
      EXPECT_EQ(header.Frame, QRect(QPoint(0, 0), QPoint(1588, 1058))); // 60 and 40 pixels in 0.01 mm
    } else {
      EXPECT_EQ(QRectF(header.Box).width() / header.UnitsPerInch, 60.0 / 96);
    }
    TWmfAttr filled;
    filled.Enhanced = !enhanced;
    again.FillAttr(filled);
    EXPECT_EQ(filled.Enhanced, enhanced);
  }
}

// Switching the form of a loaded metafile records its playback in the other
// form; the drawing stays where it was.
TEST(WmfFormat, ConvertsALoadedMetafileToTheOtherForm) {
  for (const QString name : {"shapes.emf", "shapes.wmf"}) {
    SCOPED_TRACE(name.toStdString());
    TWmfFormat format = Reloaded(MetafileFixtureBytes(name));
    format.SetEnHanced(!format.GetEnHanced());
    const TWmfFormat converted = Reloaded(Saved(format));
    EXPECT_EQ(converted.Metafile().Form(), name.endsWith(".emf") ? TMetafileForm::Windows : TMetafileForm::Enhanced);
    EXPECT_EQ(converted.GetWidth(), format.GetWidth());
    EXPECT_EQ(converted.GetHeight(), format.GetHeight());
    const QImage reference = OverWhite(QImage(MetafileFixture(name + ".png")));
    EXPECT_LT(MismatchShare(PixelsOf(converted), reference, "converted-" + name, 0.02), 0.02);
  }
}

// Files we wrote, rendered by Inkscape: the bitmap at its size and in its
// colours, the converted drawings where Inkscape renders the originals. The
// bitmap files are the ones the format writes today.
TEST(WmfFormat, WritesWhatAnIndependentReaderRendersInPlace) {
  TWmfFormat format;
  format.AssignFromBitmap(QuadrantBitmap(), nullptr);
  for (const bool enhanced : {true, false}) {
    const QString name = enhanced ? "ours-bitmap.emf" : "ours-bitmap.wmf";
    SCOPED_TRACE(name.toStdString());
    format.SetEnHanced(enhanced);
    EXPECT_EQ(Saved(format), MetafileFixtureBytes(name));
    ExpectQuadrants(OverWhite(QImage(MetafileFixture(name + ".png"))), 2, 8);
  }
  const struct {
    const char *Ours, *Original;
  } drawings[] = {{"ours-shapes.wmf", "shapes.emf"}, {"ours-shapes.emf", "shapes.wmf"}};
  for (const auto &d : drawings) {
    SCOPED_TRACE(d.Ours);
    const QImage inkscape = OverWhite(QImage(MetafileFixture(QString(d.Ours) + ".png")));
    const QImage original = OverWhite(QImage(MetafileFixture(QString(d.Original) + ".png")));
    EXPECT_LT(MismatchShare(inkscape, original, d.Ours, 0.02), 0.02);
  }
}

TEST(WmfFormat, AnswersNoResolutionAndTrueColourWhateverIsSet) {
  TWmfAttr attr;
  attr.XDotsPerInch = 300;
  attr.YDotsPerInch = 200;
  attr.ImageFormat = ifeGray256;
  TWmfFormat format;
  format.AssignFromBitmap(QuadrantBitmap(), &attr);
  format.SetXDotsPerInch(150);
  EXPECT_EQ(format.GetXDotsPerInch(), 0);
  EXPECT_EQ(format.GetYDotsPerInch(), 0);
  EXPECT_EQ(format.GetImageFormat(), ifeTrueColor);

  QBuffer buffer;
  buffer.setData(MetafileFixtureBytes("image.wmf"));
  buffer.open(QIODevice::ReadOnly);
  TPicInfo info;
  format.ReadInfo(buffer, info);
  EXPECT_EQ(info.Width, 120);
  EXPECT_EQ(info.Height, 90);
  EXPECT_EQ(info.BitsPerPixel, 24);
  EXPECT_EQ(info.XDotsPerInch, 0);
}

// Another metafile format is copied with its form; NewImage gives an empty
// metafile of the size asked; StretchDraw plays back into the rectangle.
TEST(WmfFormat, CopiesSizesAndStretches) {
  TWmfFormat source;
  source.AssignFromBitmap(QuadrantBitmap(), nullptr);
  source.SetEnHanced(false);
  TWmfFormat copy;
  copy.AssignFromFormat(&source, nullptr);
  EXPECT_FALSE(copy.GetEnHanced());
  EXPECT_EQ(copy.Metafile().Records().size(), source.Metafile().Records().size());

  copy.NewImage(33, 22, ifeBlackWhite);
  EXPECT_EQ(copy.GetWidth(), 33);
  EXPECT_EQ(copy.GetHeight(), 22);
  EXPECT_TRUE(copy.Metafile().Records().isEmpty());

  TBitmap target(120, 80, 24);
  {
    TBitmapCanvas canvas(target);
    source.StretchDraw(canvas, QRect(0, 0, 120, 80), false);
  }
  const QImage stretched = target.Image().convertToFormat(QImage::Format_RGB32);
  EXPECT_EQ(stretched.pixel(100, 70), Quadrants[3]);
  EXPECT_EQ(stretched.pixel(10, 10), Quadrants[0]);
}
