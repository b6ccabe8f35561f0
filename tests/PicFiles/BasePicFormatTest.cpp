#include "PicFormatTestSupport.h"

#include "PicFiles/VellGraphUtils.h"
#include "tests/support/TestFiles.h"

#include <QBuffer>
#include <QFile>

#include <gtest/gtest.h>

namespace {

QString AssertionText(const std::function<void()> &call) {
  try {
    call();
  } catch (const EAssertionFailed &error) {
    return error.Message();
  }
  return QStringLiteral("no assertion");
}

TEST(BasePicFormat, AbstractOperationsAndTheBaseAssignFromFormat) {
  TBasePicFormat base;
  TBitmap bitmap;
  QBuffer stream;
  const QList<std::function<void()>> abstract{
      [&] { base.GetWidth(); },          [&] { base.GetImageFormat(); },
      [&] { base.SetXDotsPerInch(1); },  [&] { base.IsFeatureSupported(); },
      [&] { base.LoadFromStream(stream); }, [&] { base.NewImage(1, 1, ifeTrueColor); },
      [&] { base.AssignFromBitmap(bitmap, nullptr); }, [&] { base.GetAttrClass(); }};
  for (const auto &call : abstract)
    EXPECT_THROW(call(), EAbstractError);
  EXPECT_TRUE(AssertionText([&] { base.AssignFromFormat(nullptr, nullptr); })
                  .startsWith("Assertion failure (PicFiles/BasePicFormat, line "));
}

TEST(BasePicFormat, DeclaredPropertiesAndTheBaseReadInfo) {
  QStringList names;
  for (const TPropInfo *prop : TBasePicFormat::StaticClass().Properties())
    names << prop->Name + (prop->IsWritable() ? "=rw" : "=r");
  EXPECT_EQ(names, QStringList({"Empty=r", "Height=r", "ImageFormat=r", "Width=r", "XDotsPerInch=rw",
                                "YDotsPerInch=rw"}));

  TBasePicFormat base;
  TPicInfo info{-7, 8, 9, 10, 11, {}};
  QBuffer stream;
  base.ReadInfo(stream, info);
  EXPECT_EQ(info.Width, -7);
  EXPECT_EQ(info.Height, 8);
  EXPECT_EQ(info.BitsPerPixel, 9);
  EXPECT_EQ(info.XDotsPerInch, 10);
  EXPECT_EQ(info.YDotsPerInch, 11);
  EXPECT_EQ(info.Operations, TPicOperations({poLoad, poSave}));
}

TEST(BasePicFormat, PixelDepthsMapToImageFormats) {
  const QList<QPair<int, TImageFormatEnum>> cases{{1, ifeBlackWhite}, {4, ifeColor16},   {8, ifeColor256},
                                                  {15, ifeTrueColor}, {16, ifeTrueColor}, {24, ifeTrueColor},
                                                  {32, ifeTrueColor}};
  for (const auto &[depth, format] : cases)
    EXPECT_EQ(TBasePicFormat::PixelFormatToImageFormat(depth), format) << depth;
}

TEST(BasePicFormat, AssignNilAndEmptyPictures) {
  TTestFormat format;
  format.AssignFromBitmap(GradientBitmap(3, 2), nullptr);
  ASSERT_FALSE(format.GetEmpty());
  format.Assign(nullptr);
  EXPECT_EQ(format.GetWidth(), 0);
  EXPECT_TRUE(format.GetEmpty());
  EXPECT_EQ(format.GetImageFormat(), ifeTrueColor);
  for (const QSize size : {QSize(0, 5), QSize(5, 0)}) {
    format.NewImage(size.width(), size.height(), ifeTrueColor);
    EXPECT_TRUE(format.GetEmpty());
  }
  // Another kind of object is asked to copy itself, and refuses.
  TVellPicAttr attr;
  EXPECT_THROW(format.Assign(&attr), EConvertError);
}

TEST(BasePicFormat, SaveToFileCreatesFoldersAndNeverLeavesAPartialFile) {
  TTestDir dir;
  TTestFormat format;
  format.AssignFromBitmap(GradientBitmap(3, 2), nullptr);
  const QString path = dir.Path() + "a/b/c/picture.tpic";
  format.SaveToFile(path);
  const QByteArray written = ReadWholeFile(path);
  EXPECT_TRUE(written.startsWith("TPIC"));

  format.Graphic().FailEncoding = true;
  EXPECT_THROW(format.SaveToFile(path), EStreamError);
  EXPECT_EQ(ReadWholeFile(path), written);
  EXPECT_EQ(QDir(dir.Path() + "a/b/c").entryList(QDir::Files), QStringList("picture.tpic"));

  TTestFormat loaded;
  loaded.LoadFromFile(path);
  TBitmap pixels;
  loaded.AssignToBitmap(pixels);
  EXPECT_EQ(pixels.Image().convertToFormat(QImage::Format_RGB32),
            GradientBitmap(3, 2).Image().convertToFormat(QImage::Format_RGB32));
  EXPECT_THROW(loaded.LoadFromFile(dir.Path() + "missing.tpic"), EFOpenError);
}

TEST(BasePicFormat, AssignToBitmapExMakesEveryPixelOpaque) {
  // The test picture is drawn with its own alpha, so a half-transparent
  // bitmap shows whether the container was made opaque first.
  TBitmap translucent(2, 2, 32);
  QImage half(2, 2, QImage::Format_ARGB32);
  half.fill(qRgba(10, 20, 30, 0));
  translucent.SetImage(half);
  TTestFormat format;
  format.AssignFromGraphic(translucent, nullptr);
  TVellBitmapEx container;
  format.AssignToBitmapEx(container);
  ASSERT_EQ(container.GetWidth(), 2);
  ASSERT_NE(container.LockBits(), nullptr);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 2; ++x)
      EXPECT_EQ(container.ScanLine(y)[4 * x + 3], 255);
  container.UnlockBits();
}

TEST(CodecPicFormat, SignatureTestAndHeaderReading) {
  TTestFormat format;
  QBuffer stream;
  stream.setData(QByteArray("xTPIC\x04\x03\x05", 8));
  stream.open(QIODevice::ReadOnly);
  stream.seek(1);
  EXPECT_TRUE(format.CanLoadFromStream(stream));
  EXPECT_EQ(stream.pos(), 1);
  TPicInfo info;
  info.XDotsPerInch = 123;
  format.ReadInfo(stream, info);
  EXPECT_EQ(info.Width, 4);
  EXPECT_EQ(info.Height, 3);
  EXPECT_EQ(info.XDotsPerInch, 123);
  EXPECT_EQ(info.Operations, TPicOperations({poLoad, poSave}));
}

TEST(CodecPicFormat, AssignFromBitmapTakesFormatResolutionAndOptionsFromTheAttributes) {
  TTestFormat format;
  format.AssignFromBitmap(GradientBitmap(4, 3, 8), nullptr);
  EXPECT_EQ(format.GetImageFormat(), ifeColor256);

  TBmpAttr attr;
  attr.ImageFormat = ifeGray256;
  attr.XDotsPerInch = 300;
  attr.YDotsPerInch = 150;
  attr.DitherMode = dmeStucki;
  format.AssignFromBitmap(GradientBitmap(4, 3), &attr);
  EXPECT_EQ(format.GetImageFormat(), ifeGray256);
  EXPECT_EQ(format.GetWidth(), 4);
  EXPECT_EQ(format.GetXDotsPerInch(), 300);
  EXPECT_EQ(format.GetYDotsPerInch(), 150);
  EXPECT_EQ(format.DitherMode, dmeStucki);
  TBitmap pixels;
  format.AssignToBitmap(pixels);
  EXPECT_EQ(pixels.PixelDepth(), 8);
  const QRgb grey = pixels.Image().pixel(1, 0);
  EXPECT_EQ(qRed(grey), qGreen(grey));

  TBmpAttr filled;
  format.FillAttr(filled);
  EXPECT_EQ(filled.ImageFormat, ifeGray256);
  EXPECT_EQ(filled.XDotsPerInch, 300);
  EXPECT_EQ(filled.DitherMode, dmeStucki);

  // An empty bitmap empties the picture.
  format.AssignFromBitmap(TBitmap(), &attr);
  EXPECT_TRUE(format.GetEmpty());
}

TEST(CodecPicFormat, AttributesOfAnotherClass) {
  TTgaAttr foreign;
  foreign.ImageFormat = ifeBlackWhite;
  // A format with options refuses them after the picture is replaced.
  TTestFormat withOptions;
  EXPECT_THROW(withOptions.AssignFromBitmap(GradientBitmap(2, 2), &foreign), EAssertionFailed);
  EXPECT_EQ(withOptions.GetWidth(), 2);
  EXPECT_EQ(withOptions.GetImageFormat(), ifeBlackWhite);
  // Without options of its own a format takes format and resolutions from any class.
  TPlainTestFormat plain;
  TBmpAttr bmp;
  bmp.XDotsPerInch = 72;
  plain.AssignFromBitmap(GradientBitmap(2, 2), &bmp);
  EXPECT_EQ(plain.GetXDotsPerInch(), 72);
  // Assigning from a format always tests the class.
  EXPECT_THROW(plain.AssignFromFormat(&withOptions, &bmp), EAssertionFailed);
}

TEST(CodecPicFormat, AssignFromFormatCopiesTheSameClassAndDrawsAnyOther) {
  TTestFormat source;
  source.AssignFromBitmap(GradientBitmap(3, 2), nullptr);
  source.SetXDotsPerInch(200);
  source.DitherMode = dmeBurkes;

  TTestFormat same;
  same.Assign(&source);
  EXPECT_EQ(same.GetXDotsPerInch(), 200);
  EXPECT_EQ(same.DitherMode, dmeBurkes);
  TBitmap a, b;
  source.AssignToBitmap(a);
  same.AssignToBitmap(b);
  EXPECT_EQ(a.Image(), b.Image());

  TPlainTestFormat other;
  other.Assign(&source);
  EXPECT_EQ(other.GetXDotsPerInch(), 200);
  EXPECT_EQ(other.GetImageFormat(), ifeTrueColor);
  TBitmap drawn;
  other.AssignToBitmap(drawn);
  EXPECT_EQ(drawn.Image().convertToFormat(QImage::Format_RGB32), a.Image().convertToFormat(QImage::Format_RGB32));

  // A different wanted format is drawn into a new picture, also from itself.
  TBmpAttr black;
  black.ImageFormat = ifeBlackWhite;
  same.AssignFromFormat(&same, &black);
  EXPECT_EQ(same.GetImageFormat(), ifeBlackWhite);
  EXPECT_EQ(same.GetWidth(), 3);
  same.AssignFromFormat(nullptr, nullptr);
  EXPECT_TRUE(same.GetEmpty());
  other.Assign(&same);
  EXPECT_TRUE(other.GetEmpty());
}

TEST(CodecPicFormat, DrawingUnscaledAndStretched) {
  TTestFormat format;
  format.AssignFromBitmap(GradientBitmap(4, 4), nullptr);
  for (const bool smooth : {false, true}) {
    QImage target(8, 8, QImage::Format_RGB32);
    target.fill(Qt::white);
    {
      QPainter painter(&target);
      TCanvas canvas(painter);
      format.StretchDraw(canvas, QRect(0, 0, 8, 8), smooth);
    }
    // A flat area of the source stays the same colour either way.
    EXPECT_EQ(qBlue(target.pixel(0, 0)), 200) << smooth;
    EXPECT_EQ(qBlue(target.pixel(7, 7)), 200) << smooth;
    EXPECT_GT(qRed(target.pixel(7, 0)), qRed(target.pixel(0, 0))) << smooth;
  }
  QImage target(6, 6, QImage::Format_RGB32);
  target.fill(Qt::white);
  {
    QPainter painter(&target);
    TCanvas canvas(painter);
    format.Draw(canvas, 2, 2);
  }
  EXPECT_EQ(target.pixel(1, 1), qRgb(255, 255, 255));
  EXPECT_EQ(target.pixel(3, 2), GradientColour(1, 0));
}

// Format classes registered for the registry test.
TEST(PicFormatClassList, RegistersEachClassOnceInOrder) {
  TPicFormatClassList::Free();
  RegisterPicFormat(TTestFormat::StaticClass());
  RegisterPicFormat(TPlainTestFormat::StaticClass());
  RegisterPicFormat(TTestFormat::StaticClass());
  ASSERT_EQ(PicFormatClassList().Count(), 2);
  EXPECT_EQ(&PicFormatClassList().Items(0), &TTestFormat::StaticClass());
  std::unique_ptr<TObject> made(PicFormatClassList().Items(1).Create());
  EXPECT_TRUE(dynamic_cast<TPlainTestFormat *>(made.get()));
  TPicFormatClassList::Free();
}

} // namespace
