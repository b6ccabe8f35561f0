#include "PicFiles/EnDcxGr.h"
#include "tests/PicFiles/PicTools.h"
#include "tests/support/TestFiles.h"

#include <QBuffer>
#include <QtEndian>

#include <gtest/gtest.h>

namespace {

TDcxGraphic Picture(int width, int height, int seed) {
  TDcxGraphic picture;
  picture.NewImage(width, height, ifeTrueColor);
  QImage pixels = picture.Pixels().Image();
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      pixels.setPixelColor(x, y, QColor((x * seed) % 256, (y * 31 + seed) % 256, (x + y) * 7 % 256));
  picture.SetPixels(BitmapOfRaster(pixels, ifeTrueColor), ifeTrueColor);
  return picture;
}

QByteArray PcxBytes(const TPcxGraphic &picture) {
  QBuffer buffer;
  buffer.open(QIODevice::WriteOnly);
  picture.TPcxGraphic::SaveToStream(buffer);
  return buffer.data();
}

quint32 Entry(const QByteArray &file, int n) { return qFromLittleEndian<quint32>(file.constData() + 4 * n); }

QImage Page(QBuffer &stream, int n) {
  TDcxGraphic page;
  page.LoadPage(stream, n);
  return page.Pixels().Image();
}

// Runs call and expects EDcxError with the message.
template <typename Call> void ExpectDcxError(Call call, const char *message) {
  try {
    call();
    ADD_FAILURE() << "no error, expected " << message;
  } catch (const EDcxError &error) {
    EXPECT_EQ(error.Message(), QLatin1String(message));
  }
}

// One picture gives the magic, a 1024-entry table reading 4100 and then
// zeros, and the PCX file at 4100; appending a second stores the old end as
// entry 2 and a new terminator, and both pages decode to their pictures.
TEST(DcxCodec, OnePageFileAndAppendedPage) {
  const TDcxGraphic first = Picture(9, 4, 3);
  const TDcxGraphic second = Picture(5, 7, 11);
  QBuffer stream;
  stream.open(QIODevice::ReadWrite);
  first.SaveToStream(stream);
  const QByteArray onePage = stream.data();
  EXPECT_EQ(Entry(onePage, 0), 0x3ADE68B1u);
  EXPECT_EQ(Entry(onePage, 1), 4100u);
  EXPECT_EQ(onePage.mid(8, 4092), QByteArray(4092, '\0'));
  EXPECT_EQ(onePage.mid(4100), PcxBytes(first));
  EXPECT_EQ(TDcxGraphic::PageCount(stream), 1);

  second.AppendPage(stream);
  const QByteArray twoPages = stream.data();
  EXPECT_EQ(Entry(twoPages, 2), quint32(onePage.size()));
  EXPECT_EQ(Entry(twoPages, 3), 0u);
  EXPECT_EQ(twoPages.mid(onePage.size()), PcxBytes(second));
  EXPECT_EQ(TDcxGraphic::PageCount(stream), 2);
  EXPECT_EQ(Page(stream, 1), first.Pixels().Image());
  EXPECT_EQ(Page(stream, 2), second.Pixels().Image());
  ExpectDcxError([&] { Page(stream, 3); }, "The DCX file header is not valid");

  QBuffer empty;
  empty.open(QIODevice::ReadWrite);
  first.AppendPage(empty);
  EXPECT_EQ(empty.data(), onePage);
}

// ImageMagick reads both pages of what we write, and we read both pages of
// the DCX files it writes as it does.
TEST(DcxCodec, ImageMagickReadsOursAndWeReadTheirs) {
  const TTestDir dir;
  QBuffer stream;
  stream.open(QIODevice::ReadWrite);
  const TDcxGraphic first = Picture(9, 4, 3);
  const TDcxGraphic second = Picture(5, 7, 11);
  first.SaveToStream(stream);
  second.AppendPage(stream);
  const QString ours = dir.Write(QStringLiteral("ours.dcx"), stream.data());
  EXPECT_EQ(ComparePixels(first.Pixels().Image(), ToolPixels(QStringLiteral("convert"), ours, 0)).Largest, 0);
  EXPECT_EQ(ComparePixels(second.Pixels().Image(), ToolPixels(QStringLiteral("convert"), ours, 1)).Largest, 0);

  const QString theirs = dir.File(QStringLiteral("theirs.dcx"));
  ASSERT_TRUE(RunToolOk(QStringLiteral("convert"),
                      {QStringLiteral("rose:"), QStringLiteral("rose:"), QStringLiteral("-colors"), QStringLiteral("16"),
                       QStringLiteral("-flip"), theirs}));
  QBuffer file;
  file.setData(ReadWholeFile(theirs));
  file.open(QIODevice::ReadOnly);
  EXPECT_EQ(TDcxGraphic::PageCount(file), 2);
  for (int page = 1; page <= 2; ++page)
    EXPECT_EQ(ComparePixels(Page(file, page), ToolPixels(QStringLiteral("convert"), theirs, page - 1)).Largest, 0)
        << "page " << page;
}

QByteArray Table(std::initializer_list<quint32> entries) {
  QByteArray bytes;
  for (const quint32 entry : entries) {
    char le[4];
    qToLittleEndian(entry, le);
    bytes.append(le, 4);
  }
  return bytes;
}

// Broken containers: every operation answers with its message and an append
// leaves the stream as it was.
TEST(DcxCodec, BrokenAndFullTables) {
  const TDcxGraphic picture = Picture(3, 2, 5);
  const QByteArray page = PcxBytes(picture);
  const QByteArray full = Table({0x3ADE68B1, 16, 16, 0}) + page; // no room before the page at 16
  const QByteArray badMagic = Table({0x3ADE68B2, 12, 0}) + page;
  const QByteArray noTerminator = Table({0x3ADE68B1, 12, 12});
  const QByteArray firstZero = Table({0x3ADE68B1, 0, 0}) + page;
  const QByteArray pastEnd = Table({0x3ADE68B1, 12, 0}) + page.left(20) + Table({0x3ADE68B1});
  const struct {
    const char *Name;
    QByteArray File;
    const char *AppendMessage;
    bool PageCountValid;
  } cases[] = {{"full", full, "The DCX file header is full", true},
               {"bad magic", badMagic, "The DCX file header is not valid", false},
               {"no terminator", noTerminator, "The DCX file header is not valid", false},
               {"first entry zero", firstZero, "The DCX file header is not valid", true}};
  for (const auto &c : cases) {
    SCOPED_TRACE(c.Name);
    QBuffer stream;
    stream.setData(c.File);
    stream.open(QIODevice::ReadWrite);
    ExpectDcxError([&] { picture.AppendPage(stream); }, c.AppendMessage);
    EXPECT_EQ(stream.data(), c.File);
    if (!c.PageCountValid)
      ExpectDcxError([&] { TDcxGraphic::PageCount(stream); }, "The DCX file header is not valid");
  }
  QBuffer truncatedPage;
  truncatedPage.setData(Table({0x3ADE68B1, 12, 4000}) + page);
  truncatedPage.open(QIODevice::ReadOnly);
  ExpectDcxError([&] { Page(truncatedPage, 1); }, "The DCX file header is not valid");
  QBuffer cutPcx;
  cutPcx.setData(pastEnd);
  cutPcx.open(QIODevice::ReadOnly);
  EXPECT_THROW(Page(cutPcx, 1), EPicCodecError);
  QBuffer empty;
  empty.open(QIODevice::ReadOnly);
  EXPECT_THROW(Page(empty, 1), EStreamError);
}

TEST(DcxCodec, SignatureLeavesThePosition) {
  QBuffer stream;
  stream.setData(QByteArray("ab") + Table({0x3ADE68B1}) + "rest");
  stream.open(QIODevice::ReadOnly);
  stream.seek(2);
  EXPECT_TRUE(TDcxGraphic().CanLoadFromStream(stream));
  EXPECT_EQ(stream.pos(), 2);
  stream.seek(3);
  EXPECT_FALSE(TDcxGraphic().CanLoadFromStream(stream));
}

} // namespace
