// The TGA, PCX, DCX, PPM and PSD format classes: what each adds to the codec
// adapter, and one contract every registered format class keeps.
#include "PicFiles/DcxFormat.h"
#include "PicFiles/EnDcxGr.h"
#include "PicFiles/PcxFormat.h"
#include "PicFiles/PicFilesStartup.h"
#include "PicFiles/PpmFormat.h"
#include "PicFiles/PsdFormat.h"
#include "PicFiles/TgaFormat.h"
#include "PicFiles/VellGraphUtils.h"
#include "tests/PicFiles/PicFormatTestSupport.h"

#include <QBuffer>
#include <QtEndian>

#include <functional>

#include <gtest/gtest.h>

namespace {

QBuffer *Reading(QBuffer &buffer, const QByteArray &bytes) {
  buffer.setData(bytes);
  buffer.open(QIODevice::ReadOnly);
  return &buffer;
}

template <typename Call> QString AssertionText(Call call) {
  try {
    call();
  } catch (const EAssertionFailed &failure) {
    return failure.Message();
  }
  return {};
}

// Every registered format class: what it writes it recognises, reads back at the same size and describes in ReadInfo; a
// format that cannot write refuses with an assertion failure instead.
TEST(PicFormatContract, EveryRegisteredFormatRoundTripsItsOwnFile) {
  PicFilesStartup();
  ASSERT_GT(PicFormatClassList().Count(), 0);
  for (int i = 0; i < PicFormatClassList().Count(); ++i) {
    const TMetaClass &formatClass = PicFormatClassList().Items(i);
    SCOPED_TRACE(formatClass.ClassName().toStdString());
    std::unique_ptr<TObject> object(formatClass.Create());
    auto &format = dynamic_cast<TBasePicFormat &>(*object);
    std::unique_ptr<TObject> attr(format.GetAttrClass().Create());
    const bool writes = dynamic_cast<TVellPicAttr &>(*attr).Supports(poSave);
    const TBitmap gradient = GradientBitmap(7, 5);
    if (!writes) {
      EXPECT_FALSE(AssertionText([&] { format.Assign(&gradient); }).isEmpty());
      EXPECT_FALSE(AssertionText([&] { format.Assign(nullptr); }).isEmpty());
      continue;
    }
    format.Assign(&gradient);
    const QByteArray file = Saved(format);
    std::unique_ptr<TObject> otherObject(formatClass.Create());
    auto &other = dynamic_cast<TBasePicFormat &>(*otherObject);
    QBuffer buffer;
    Reading(buffer, file);
    EXPECT_TRUE(other.CanLoadFromStream(buffer));
    // GIF's test leaves the position after its last read; every other format restores it.
    if (formatClass.ClassName() != QLatin1String("TGifFormat")) {
      EXPECT_EQ(buffer.pos(), 0);
    }
    buffer.seek(0);
    other.LoadFromStream(buffer);
    EXPECT_EQ(other.GetWidth(), 7);
    EXPECT_EQ(other.GetHeight(), 5);
    TPicInfo info;
    buffer.seek(0);
    other.ReadInfo(buffer, info);
    EXPECT_EQ(info.Width, 7);
    EXPECT_EQ(info.Height, 5);
    EXPECT_TRUE(info.Operations.Contains(poSave));
    other.Assign(nullptr);
    EXPECT_TRUE(other.GetEmpty());
  }
  PicFilesShutdown();
}

TEST(PicFormatRegistry, OwnFormatsInTheirStartUpOrder) {
  PicFilesStartup();
  QStringList names;
  for (int i = 0; i < PicFormatClassList().Count(); ++i)
    names << PicFormatClassList().Items(i).ClassName();
  const QStringList ours = {"TTgaFormat", "TPcxFormat", "TPpmFormat", "TPsdFormat", "TDcxFormat"};
  QStringList found;
  for (const QString &name : names)
    if (ours.contains(name))
      found << name;
  EXPECT_EQ(found, ours);
  PicFilesShutdown();
}

TEST(TgaFormat, NewImageMapsTheImageFormat) {
  const struct {
    TImageFormatEnum Asked, Given;
  } cases[] = {{ifeBlackWhite, ifeGray256}, {ifeGray16, ifeGray256},   {ifeGray256, ifeGray256},
               {ifeColor16, ifeColor256},   {ifeColor256, ifeColor256}, {ifeTrueColor, ifeTrueColor}};
  for (const auto &c : cases) {
    TTgaFormat format;
    format.SetXDotsPerInch(300);
    format.NewImage(8, 8, c.Asked);
    EXPECT_EQ(format.GetImageFormat(), c.Given) << int(c.Asked);
    EXPECT_EQ(format.GetWidth(), 8);
    EXPECT_EQ(format.GetXDotsPerInch(), 300);
  }
}

QByteArray TgaHeader(int type, int depth, int mapBits) {
  QByteArray header(18, '\0');
  header[1] = char(mapBits ? 1 : 0);
  header[2] = char(type);
  header[5] = char(mapBits ? 2 : 0);
  header[7] = char(mapBits);
  header[12] = 4;
  header[14] = 3;
  header[16] = char(depth);
  return header;
}

// The header tests and readers of TGA and PCX at the format: type 2 with 8
// bits is no TGA, a header that cannot be read answers "gbm_read_header
// failed.", and the PCX resolution fields come into the information.
TEST(TgaPcxFormats, HeaderTestsAndReadInfo) {
  QBuffer buffer;
  EXPECT_FALSE(TTgaFormat().CanLoadFromStream(*Reading(buffer, TgaHeader(2, 8, 0))));
  EXPECT_EQ(buffer.pos(), 0);
  buffer.close();
  EXPECT_TRUE(TTgaFormat().CanLoadFromStream(*Reading(buffer, TgaHeader(2, 24, 0))));
  buffer.close();

  TPicInfo info;
  info.XDotsPerInch = 72;
  TTgaFormat tga;
  tga.ReadInfo(*Reading(buffer, TgaHeader(1, 8, 24)), info);
  EXPECT_EQ(info.Width, 4);
  EXPECT_EQ(info.Height, 3);
  EXPECT_EQ(info.BitsPerPixel, 8);
  EXPECT_EQ(info.XDotsPerInch, 72); // TGA files carry no resolution
  buffer.close();

  for (const QByteArray &bad : {TgaHeader(2, 8, 0), TgaHeader(2, 24, 0).left(10)}) {
    try {
      tga.ReadInfo(*Reading(buffer, bad), info);
      ADD_FAILURE() << "read";
    } catch (const EVellError &error) {
      EXPECT_EQ(error.Message(), QStringLiteral("gbm_read_header failed."));
    }
    buffer.close();
  }

  TPcxFormat pcx;
  pcx.NewImage(9, 4, ifeColor256);
  pcx.SetXDotsPerInch(300);
  pcx.SetYDotsPerInch(300);
  const QByteArray file = Saved(pcx);
  EXPECT_EQ(qFromLittleEndian<quint16>(file.constData() + 12), 300);
  EXPECT_EQ(qFromLittleEndian<quint16>(file.constData() + 14), 300);
  TPicInfo pcxInfo;
  TPcxFormat().ReadInfo(*Reading(buffer, file), pcxInfo);
  EXPECT_EQ(pcxInfo.XDotsPerInch, 300);
  EXPECT_EQ(pcxInfo.YDotsPerInch, 300);
  EXPECT_EQ(pcxInfo.Width, 9);
  EXPECT_EQ(pcxInfo.BitsPerPixel, 8);
  buffer.close();
  QByteArray damaged = file;
  damaged[3] = 3;
  try {
    TPcxFormat().ReadInfo(*Reading(buffer, damaged), pcxInfo);
    ADD_FAILURE() << "read";
  } catch (const EVellError &error) {
    EXPECT_EQ(error.Message(), QStringLiteral("gbm_read_header failed."));
  }
}

TEST(DcxFormat, SavesOnePageAndReadsPageOneInfo) {
  TDcxFormat format;
  const TBitmap gradient = GradientBitmap(6, 2);
  format.Assign(&gradient);
  format.SetXDotsPerInch(200);
  format.SetYDotsPerInch(100);
  QBuffer stream;
  stream.setData(Saved(format));
  stream.open(QIODevice::ReadWrite);
  EXPECT_EQ(TDcxGraphic::PageCount(stream), 1);
  TDcxGraphic second;
  second.NewImage(3, 3, ifeBlackWhite);
  second.AppendPage(stream);
  TPicInfo info;
  stream.seek(0);
  TDcxFormat().ReadInfo(stream, info);
  EXPECT_EQ(info.Width, 6);
  EXPECT_EQ(info.Height, 2);
  EXPECT_EQ(info.BitsPerPixel, 24);
  EXPECT_EQ(info.XDotsPerInch, 200);
  EXPECT_EQ(info.YDotsPerInch, 100);
  TDcxFormat loaded;
  loaded.LoadFromStream(stream);
  EXPECT_EQ(loaded.GetWidth(), 6);
}

// Mode travels through the attributes, the declared property and FillAttr;
// an empty bitmap still replaces the picture; attributes of another class are
// refused; a graphic that is no bitmap becomes true colour.
TEST(PpmFormat, ModeAndItsAssignRules) {
  TPpmFormat format;
  EXPECT_EQ(format.GetMode(), pmeAscii);
  TPpmAttr attr;
  attr.Mode = pmeBinary;
  attr.ImageFormat = ifeGray256;
  attr.XDotsPerInch = 150;
  format.AssignFromBitmap(GradientBitmap(4, 2), &attr);
  EXPECT_EQ(format.GetMode(), pmeBinary);
  EXPECT_EQ(format.GetImageFormat(), ifeGray256);
  EXPECT_EQ(format.GetXDotsPerInch(), 150);
  EXPECT_TRUE(Saved(format).startsWith("P5\n"));

  const TPropInfo *mode = format.ClassType().FindProperty(QStringLiteral("Mode"));
  ASSERT_NE(mode, nullptr);

  TPpmAttr filled;
  format.FillAttr(filled);
  EXPECT_EQ(filled.Mode, pmeBinary);
  EXPECT_EQ(filled.ImageFormat, ifeGray256);

  format.AssignFromBitmap(TBitmap(), nullptr);
  EXPECT_TRUE(format.GetEmpty());

  TTgaAttr other;
  EXPECT_TRUE(AssertionText([&] { format.AssignFromBitmap(GradientBitmap(2, 2), &other); })
                  .startsWith(QStringLiteral("Assertion failure")));

  TPcxFormat pcx;
  pcx.NewImage(3, 2, ifeColor16);
  format.AssignFromGraphic(pcx.Picture(), nullptr);
  EXPECT_EQ(format.GetImageFormat(), ifeTrueColor);

  TPicInfo info;
  QBuffer buffer;
  format.ReadInfo(*Reading(buffer, "P2 5 6 255"), info);
  EXPECT_EQ(info.Width, 5);
  EXPECT_EQ(info.BitsPerPixel, 8);
  EXPECT_TRUE(info.Operations.Contains(poSave));
}

// Photoshop files are read only: every writing or converting operation is an
// assertion failure at PicFiles/PsdFormat and the picture stays as it was.
TEST(PsdFormat, ReadsOnlyAndRefusesEverythingElse) {
  TPsdFormat format;
  EXPECT_FALSE(format.IsFeatureSupported());
  EXPECT_FALSE(TPSDAttr().Supports(poSave));
  // A 2 × 1 gray picture, raw, after two bytes that are not part of it.
  QByteArray file("8BPS\0\1\0\0\0\0\0\0\0\1\0\0\0\1\0\0\0\2\0\x08\0\1", 26);
  file += QByteArray(12, '\0') + QByteArray("\0\0\x10\x20", 4);
  QBuffer buffer;
  Reading(buffer, "--" + file)->seek(2);
  format.LoadFromStream(buffer);
  ASSERT_EQ(format.GetWidth(), 2);
  TPicInfo info;
  buffer.seek(2);
  format.ReadInfo(buffer, info);
  EXPECT_EQ(info.Operations, TPicOperations{poLoad});
  EXPECT_EQ(info.Width, 2);
  EXPECT_EQ(info.BitsPerPixel, 24);
  EXPECT_EQ(format.GetImageFormat(), ifeTrueColor);
  format.SetXDotsPerInch(300);
  EXPECT_EQ(format.GetXDotsPerInch(), 0);

  TBitmap before;
  format.AssignToBitmap(before);
  const TBitmap gradient = GradientBitmap(3, 3);
  TPpmFormat ppm;
  TVellBitmapEx container;
  const std::function<void()> refused[] = {
      [&] { format.AssignFromBitmap(gradient, nullptr); },
      [&] { format.AssignFromBitmapEx(container, nullptr); },
      [&] { format.AssignFromGraphic(gradient, nullptr); },
      [&] { format.AssignFromFormat(&ppm, nullptr); },
      [&] { format.NewImage(4, 4, ifeTrueColor); },
      [&] { format.Assign(nullptr); },
      [&] {
        QBuffer out;
        out.open(QIODevice::WriteOnly);
        format.SaveToStream(out);
      },
  };
  for (const auto &call : refused) {
    EXPECT_TRUE(AssertionText(call).startsWith(QStringLiteral("Assertion failure (PicFiles/PsdFormat, line ")));
    TBitmap after;
    format.AssignToBitmap(after);
    EXPECT_EQ(after.Image(), before.Image());
  }
}

} // namespace
