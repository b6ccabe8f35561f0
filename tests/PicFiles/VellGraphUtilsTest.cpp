#include "PicFiles/VellGraphUtils.h"

#include "Common/VellXMLUtils.h"
#include "tests/support/TestFiles.h"

#include <QBuffer>
#include <QtEndian>

#include <gtest/gtest.h>

namespace {

// A container whose pixel (x, y) has the bytes B, G, R, A = x, y, 7, alpha.
void Fill(TVellBitmapEx &picture, int width, int height, quint8 alpha = 255) {
  picture.SetSize(width, height);
  ASSERT_NE(picture.LockBits(), nullptr);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      uchar *pixel = picture.ScanLine(y) + 4 * x;
      pixel[0] = uchar(x);
      pixel[1] = uchar(y);
      pixel[2] = 7;
      pixel[3] = alpha;
    }
  picture.UnlockBits();
}

QByteArray Written(const TVellBitmapEx &picture) {
  QBuffer stream;
  stream.open(QIODevice::WriteOnly);
  picture.WriteData(stream);
  return stream.data();
}

void Read(TVellBitmapEx &picture, const QByteArray &bytes) {
  QBuffer stream;
  stream.setData(bytes);
  stream.open(QIODevice::ReadOnly);
  picture.ReadData(stream);
}

QByteArray Le32(qint32 value) {
  QByteArray bytes(4, '\0');
  qToLittleEndian(value, bytes.data());
  return bytes;
}

QList<quint8> Alphas(TVellBitmapEx &picture) {
  QList<quint8> alphas;
  picture.LockBits();
  for (int y = 0; y < picture.GetHeight(); ++y)
    for (int x = 0; x < picture.GetWidth(); ++x)
      alphas << picture.ScanLine(y)[4 * x + 3];
  picture.UnlockBits();
  return alphas;
}

TEST(VellBitmapEx, RawRecordIsWrittenByteForByteAndReadBack) {
  TVellBitmapEx picture;
  Fill(picture, 2, 1, 0x80);
  const QByteArray record = Written(picture);
  EXPECT_EQ(record, QByteArray("VLBMPEX0") + Le32(1) + Le32(0) + Le32(2) + Le32(1) +
                        QByteArray("\x00\x00\x07\x80\x01\x00\x07\x80", 8));
  TVellBitmapEx loaded;
  int changes = 0;
  loaded.OnChange = [&](TVellBitmapEx *) { ++changes; };
  Read(loaded, record);
  EXPECT_TRUE(loaded.SameAs(picture));
  EXPECT_EQ(changes, 2); // the blank picture, then its pixels
  EXPECT_EQ(Written(TVellBitmapEx()), QByteArray());
}

TEST(VellBitmapEx, RecordFormsAreToldApartByLength) {
  TVellBitmapEx expected;
  Fill(expected, 3, 2, 9);
  QByteArray pixels = Written(expected).mid(24);

  struct TCase {
    const char *Name;
    QByteArray Bytes;
    QSize Size;
  };
  const QList<TCase> cases{
      {"legacy 3 x 2", Le32(3) + Le32(2) + pixels, QSize(3, 2)},
      // 24 bytes: not more than a header, so the legacy form of its first 8 bytes.
      {"24-byte header of 0 x 0", QByteArray("VLBMPEX0") + Le32(1) + Le32(0) + Le32(0) + Le32(0), QSize(0, 0)},
      {"24 bytes read as legacy 2 x 1", Le32(2) + Le32(1) + QByteArray(16, '\x05'), QSize(2, 1)},
      {"8 bytes", Le32(3) + Le32(2), QSize(0, 0)},
      {"nothing", QByteArray(), QSize(0, 0)},
      {"zero width", Le32(0) + Le32(5) + QByteArray(40, '\0'), QSize(0, 0)},
  };
  for (const TCase &c : cases) {
    SCOPED_TRACE(c.Name);
    TVellBitmapEx picture;
    Fill(picture, 4, 4);
    Read(picture, c.Bytes);
    EXPECT_EQ(QSize(picture.GetWidth(), picture.GetHeight()), c.Size);
  }
  TVellBitmapEx legacy;
  Read(legacy, cases[0].Bytes);
  EXPECT_TRUE(legacy.SameAs(expected));
  // A short legacy record leaves the rest blank.
  TVellBitmapEx shortRecord;
  Read(shortRecord, Le32(3) + Le32(2) + pixels.left(13));
  ASSERT_EQ(shortRecord.GetWidth(), 3);
  EXPECT_EQ(Alphas(shortRecord), QList<quint8>({9, 9, 9, 0, 0, 0}));
}

TEST(VellBitmapEx, SetAlphaAndSameAs) {
  TVellBitmapEx picture;
  Fill(picture, 2, 1, 200);
  picture.LockBits();
  picture.ScanLine(0)[3] = 0;
  picture.UnlockBits();
  TVellBitmapEx copy;
  copy.Assign(&picture);
  EXPECT_TRUE(copy.SameAs(picture));

  picture.SetAlpha(0, true);
  EXPECT_EQ(Alphas(picture), QList<quint8>({0, 1}));
  picture.SetAlpha(0, false);
  EXPECT_EQ(Alphas(picture), QList<quint8>({0, 0}));
  EXPECT_FALSE(copy.SameAs(picture));

  EXPECT_TRUE(TVellBitmapEx().SameAs(TVellBitmapEx()));
  TVellBitmapEx other;
  Fill(other, 1, 2);
  EXPECT_FALSE(other.SameAs(picture));
}

TEST(VellBitmapEx, ScanLineOnlyWhileLocked) {
  TVellBitmapEx picture;
  Fill(picture, 2, 2);
  EXPECT_THROW(picture.ScanLine(0), EAssertionFailed);
  EXPECT_EQ(TVellBitmapEx().LockBits(), nullptr);
  BitmapData *data = picture.LockBits();
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(picture.ScanLine(1), static_cast<uchar *>(data->Scan0) + data->Stride);
  picture.UnlockBits();
}

TEST(VellBitmapEx, XmlFormIsTheCompressedRecord) {
  TVellBitmapEx picture;
  Fill(picture, 5, 3, 77);
  const IXMLDocumentPtr document = NewXMLDocument();
  const IXMLNodePtr root = document->CreateRootNode("TVellBitmapEx");
  picture.SaveToXML(root);
  EXPECT_EQ(root->GetAttributes()->GetAttribute("Compress")->GetAsString(), "True");
  TVellBitmapEx loaded;
  loaded.LoadFromXML(root);
  EXPECT_TRUE(loaded.SameAs(picture));

  const IXMLNodePtr empty = document->GetRootNode()->AddChild("Empty");
  TVellBitmapEx().SaveToXML(empty);
  EXPECT_FALSE(empty->HasAttribute("Compress"));
  loaded.LoadFromXML(empty);
  EXPECT_TRUE(loaded.IsEmpty());
}

TEST(VellBitmapEx, FilesAndClones) {
  TTestDir dir;
  TVellBitmapEx picture;
  Fill(picture, 4, 2, 50);
  picture.SaveToFile(dir.Path() + "x/y/picture.bex");
  EXPECT_EQ(ReadWholeFile(dir.Path() + "x/y/picture.bex"), Written(picture));
  TVellBitmapEx loaded;
  loaded.LoadFromFile(dir.Path() + "x/y/picture.bex");
  EXPECT_TRUE(loaded.SameAs(picture));
  EXPECT_THROW(loaded.LoadFromFile(dir.Path() + "missing.bex"), EFOpenError);
  const auto clone = picture.Clone();
  EXPECT_TRUE(dynamic_cast<TVellBitmapEx &>(*clone).SameAs(picture));

  // AssignXML copies only from its own class.
  TVellBitmapEx target;
  TXMLMemoryStream other(false);
  target.AssignXML(&other);
  EXPECT_TRUE(target.IsEmpty());
  target.AssignXML(&picture);
  EXPECT_TRUE(target.SameAs(picture));
}

TEST(VellBitmapEx, SetSizeKeepingContent) {
  TVellBitmapEx picture;
  picture.SetSize(4, 4);
  picture.Paint([](TCanvas &canvas) { canvas.Handle().fillRect(0, 0, 4, 4, QColor(10, 20, 30)); });
  int changes = 0;
  picture.OnChange = [&](TVellBitmapEx *) { ++changes; };
  picture.SetSize(8, 6, true, true);
  ASSERT_EQ(picture.GetWidth(), 8);
  EXPECT_EQ(picture.GetHeight(), 6);
  EXPECT_GE(changes, 1);
  TBitmap enlarged;
  picture.AssignToBitmap(enlarged);
  EXPECT_EQ(enlarged.Image().pixel(7, 5), qRgb(10, 20, 30));
  picture.SetSize(2, 2, true, false);
  picture.AssignToBitmap(enlarged);
  EXPECT_EQ(enlarged.Image().size(), QSize(2, 2));
  EXPECT_EQ(enlarged.Image().pixel(1, 1), qRgb(10, 20, 30));
  picture.SetSize(3, 3);
  picture.AssignToBitmap(enlarged);
  EXPECT_EQ(enlarged.Image().pixel(1, 1), qRgba(0, 0, 0, 0));
}

TEST(VellBitmapEx, StretchingReadsASourceOnePixelSmaller) {
  // Of a 2 x 2 picture only the top-left pixel is in the source rectangle;
  // a picture one pixel high keeps its row.
  TVellBitmapEx square;
  square.SetSize(2, 2);
  square.Paint([](TCanvas &canvas) {
    canvas.Handle().setCompositionMode(QPainter::CompositionMode_Source);
    canvas.Handle().fillRect(0, 0, 2, 2, QColor(200, 0, 0));
    canvas.Handle().fillRect(0, 0, 1, 1, QColor(0, 0, 200));
  });
  square.SetSize(4, 4, true, false);
  TBitmap pixels;
  square.AssignToBitmap(pixels);
  EXPECT_EQ(pixels.Image().pixel(3, 3), qRgb(0, 0, 200));

  TVellBitmapEx row;
  row.SetSize(3, 1);
  row.Paint([](TCanvas &canvas) { canvas.Handle().fillRect(0, 0, 3, 1, QColor(0, 90, 0)); });
  row.SetSize(6, 2, true, false);
  row.AssignToBitmap(pixels);
  EXPECT_EQ(pixels.Image().pixel(0, 1), qRgb(0, 90, 0));
}

TEST(VellBitmapEx, ExchangeWithHostBitmapsAndTheClipboard) {
  TBitmap eight(3, 2, 8);
  eight.SetPalette(QList<QRgb>(256, qRgb(40, 50, 60)));
  TVellBitmapEx picture;
  picture.AssignFromBitmap(&eight);
  EXPECT_EQ(eight.PixelDepth(), 32);
  ASSERT_EQ(picture.GetWidth(), 3);
  TBitmap back;
  picture.AssignToBitmap(back);
  EXPECT_EQ(back.PixelDepth(), 32);
  EXPECT_EQ(back.Image().pixel(2, 1), qRgb(40, 50, 60));

  picture.AssignToClipboard();
  TVellBitmapEx pasted;
  pasted.AssignFromClipboard();
  EXPECT_TRUE(pasted.SameAs(picture));

  TPicture holder;
  holder.Assign(&picture);
  ASSERT_TRUE(dynamic_cast<TBitmap *>(holder.Graphic()));
  TVellBitmapEx fromHolder;
  fromHolder.Assign(&holder);
  EXPECT_TRUE(fromHolder.SameAs(picture));
}

} // namespace
