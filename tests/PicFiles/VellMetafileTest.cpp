// The metafile object: reading EMF and placeable WMF files that another
// program wrote, playing them back where that program's own rendering puts
// their shapes, the records that playback carries out, and damaged input.
#include "PicFiles/EnCodecIO.h"
#include "PicFiles/VellMetafile.h"
#include "tests/PicFiles/MetafileTestSupport.h"

#include <QBuffer>

#include <gtest/gtest.h>

namespace {

// ---- metafiles built record by record ----

TMetaRecord Emf(quint32 type, const TRecordBuilder &params) {
  TRecordBuilder record;
  record.U32(type).U32(quint32(8 + params.Size())).Bytes(params.Result()).PadTo4();
  QByteArray bytes = record.Result();
  TRecordBuilder fixed;
  fixed.U32(type).U32(quint32(bytes.size()));
  bytes.replace(0, 8, fixed.Result());
  return {type, bytes};
}

TMetaRecord Wmf(quint32 function, const TRecordBuilder &params) {
  QByteArray body = params.Result();
  if (body.size() % 2)
    body.append('\0');
  TRecordBuilder record;
  record.U32(quint32(3 + body.size() / 2)).U16(function).Bytes(body);
  return {function, record.Result()};
}

// A metafile of width x height pixels whose logical units are pixels,
// written in its form and read back.
TMetafile Built(bool enhanced, int width, int height, const QList<TMetaRecord> &records) {
  TMetafile metafile;
  metafile.NewImage(width, height, ifeTrueColor);
  metafile.SetEnhanced(enhanced);
  metafile.SetRecords(enhanced ? TMetafileForm::Enhanced : TMetafileForm::Windows,
                      TMetafile::RecordingHeader(width, height), records);
  QBuffer buffer;
  buffer.open(QIODevice::ReadWrite);
  metafile.SaveToStream(buffer);
  return LoadedMetafile(buffer.data());
}

// A bottom-up 24-bit DIB (header and bits) of one column: top, then bottom.
QByteArray ColumnDib(QRgb top, QRgb bottom) {
  TRecordBuilder dib;
  dib.U32(40).I32(1).I32(2).U16(1).U16(24).U32(0).U32(8).I32(0).I32(0).U32(0).U32(0);
  for (QRgb colour : {bottom, top})
    dib.U16(quint32(qBlue(colour) | qGreen(colour) << 8)).U16(quint32(qRed(colour)));
  return dib.Result();
}

constexpr quint32 SrcCopy = 0x00CC0020;

// EMR_STRETCHDIBITS of dib into (x, y, w, h).
TMetaRecord EmfStretchDIBits(int x, int y, int w, int h, const QByteArray &dib, quint32 offBmiShift = 0) {
  TRecordBuilder p;
  p.I32(0).I32(0).I32(-1).I32(-1).I32(x).I32(y).I32(0).I32(0).I32(1).I32(2);
  p.U32(80 + offBmiShift).U32(40).U32(120).U32(quint32(dib.size() - 40)).U32(0).U32(SrcCopy).I32(w).I32(h);
  p.Bytes(dib);
  return Emf(81, p);
}

// EMR_BITBLT or EMR_STRETCHBLT (with the source size) of dib into (x, y, w, h).
TMetaRecord EmfBlt(quint32 type, int x, int y, int w, int h, const QByteArray &dib) {
  const quint32 fixed = type == 76 ? 100 : 108;
  TRecordBuilder p;
  p.I32(0).I32(0).I32(-1).I32(-1).I32(x).I32(y).I32(w).I32(h).U32(SrcCopy).I32(0).I32(0);
  p.Float(1).Float(0).Float(0).Float(1).Float(0).Float(0).U32(0).U32(0);
  p.U32(fixed).U32(40).U32(fixed + 40).U32(quint32(dib.size() - 40));
  if (type == 77)
    p.I32(1).I32(2);
  p.Bytes(dib);
  return Emf(type, p);
}

TMetaRecord EmfSetDIBitsToDevice(int x, int y, const QByteArray &dib) {
  TRecordBuilder p;
  p.I32(0).I32(0).I32(-1).I32(-1).I32(x).I32(y).I32(0).I32(0).I32(1).I32(2);
  p.U32(76).U32(40).U32(116).U32(quint32(dib.size() - 40)).U32(0).U32(0).U32(2).Bytes(dib);
  return Emf(80, p);
}

TMetaRecord WmfStretchDib(int x, int y, int w, int h, const QByteArray &dib) {
  TRecordBuilder p;
  p.U32(SrcCopy).U16(0).I16(2).I16(1).I16(0).I16(0).I16(h).I16(w).I16(y).I16(x).Bytes(dib);
  return Wmf(0x0F43, p);
}

TMetaRecord WmfDibStretchBlt(int x, int y, int w, int h, const QByteArray &dib) {
  TRecordBuilder p;
  p.U32(SrcCopy).I16(2).I16(1).I16(0).I16(0).I16(h).I16(w).I16(y).I16(x).Bytes(dib);
  return Wmf(0x0B41, p);
}

TMetaRecord WmfDibBitBlt(int x, int y, const QByteArray &dib) {
  TRecordBuilder p;
  p.U32(SrcCopy).I16(0).I16(0).I16(2).I16(1).I16(y).I16(x).Bytes(dib);
  return Wmf(0x0940, p);
}

TMetaRecord WmfSetDibToDev(int x, int y, const QByteArray &dib) {
  TRecordBuilder p;
  p.U16(0).U16(2).U16(0).I16(0).I16(0).I16(2).I16(1).I16(y).I16(x).Bytes(dib);
  return Wmf(0x0D33, p);
}

TMetaRecord EmfBrush(quint32 index, QRgb colour) {
  return Emf(39, TRecordBuilder().U32(index).U32(0).U32(qRed(colour) | qGreen(colour) << 8 | qBlue(colour) << 16).U32(0));
}

TMetaRecord EmfU32(quint32 type, quint32 value) { return Emf(type, TRecordBuilder().U32(value)); }

TMetaRecord EmfRect(quint32 type, int left, int top, int right, int bottom) {
  return Emf(type, TRecordBuilder().I32(left).I32(top).I32(right).I32(bottom));
}

constexpr quint32 NullPen = 0x80000008;

} // namespace

// Inkscape's EMF and WMF exports of three SVG drawings (shapes with strokes,
// text as outlines, an embedded picture) against Inkscape's rendering of the
// very same files.
TEST(Metafile, PlaysBackWhereTheWritingProgramRendersTheDrawing) {
  for (const QString name : {"shapes.emf", "shapes.wmf", "text.emf", "text.wmf", "image.emf", "image.wmf"}) {
    SCOPED_TRACE(name.toStdString());
    const TMetafile metafile = LoadedMetafile(MetafileFixtureBytes(name));
    const QImage reference = OverWhite(QImage(MetafileFixture(name + ".png")));
    ASSERT_FALSE(reference.isNull());
    EXPECT_EQ(metafile.Width(), reference.width());
    EXPECT_EQ(metafile.Height(), reference.height());
    EXPECT_EQ(metafile.Enhanced(), name.endsWith(".emf"));
    EXPECT_LT(MismatchShare(RenderedMetafile(metafile), reference, name, 0.02), 0.02);
  }
}

TEST(Metafile, PicturePixelsOfTheEmbeddedImageArriveInPlace) {
  // image.svg: an 8 x 6 red-to-blue gradient stretched to (20, 15, 80, 60)
  // over white, and a green square at (5, 5, 20, 20).
  for (const QString name : {"image.emf", "image.wmf"}) {
    SCOPED_TRACE(name.toStdString());
    const QImage ours = RenderedMetafile(LoadedMetafile(MetafileFixtureBytes(name)));
    EXPECT_LT(ColourDistance(ours.pixel(10, 10), qRgb(0, 255, 0)), 8);
    EXPECT_LT(ColourDistance(ours.pixel(60, 20), qRgb(255, 0, 0)), 40);
    EXPECT_LT(ColourDistance(ours.pixel(60, 70), qRgb(0, 0, 255)), 40);
    EXPECT_EQ(ours.pixel(110, 80), qRgb(255, 255, 255));
  }
}

TEST(Metafile, RecognisesBothFormsAndKeepsThePosition) {
  QByteArray emf(100, '\0');
  emf[0] = 1;
  emf.replace(40, 4, " EMF");
  const QByteArray placeable = QByteArray::fromHex("d7cdc69a") + QByteArray(40, '\0');
  QByteArray noSignature = emf;
  noSignature[41] = 'X';
  const struct {
    QByteArray Bytes;
    bool Expected;
  } cases[] = {{emf, true},
               {emf.left(44), true},
               {emf.left(43), false},
               {noSignature, false},
               {placeable, true},
               {placeable.left(4), true},
               {QByteArray("BM\0\0\0\0", 6), false},
               {QByteArray(), false}};
  TMetafile metafile;
  for (const auto &c : cases) {
    QBuffer buffer;
    buffer.setData(QByteArray("xy") + c.Bytes);
    buffer.open(QIODevice::ReadOnly);
    buffer.seek(2);
    EXPECT_EQ(metafile.CanLoadFromStream(buffer), c.Expected) << c.Bytes.toHex().toStdString();
    EXPECT_EQ(buffer.pos(), 2);
  }
}

TEST(Metafile, DamagedFilesAreRefusedWithAReason) {
  const QByteArray emf = MetafileFixtureBytes("shapes.emf");
  const QByteArray wmf = MetafileFixtureBytes("shapes.wmf");
  QByteArray zeroSizedRecord = emf;
  zeroSizedRecord.replace(216 + 4, 4, QByteArray(4, '\0'));
  QByteArray oversizedRecord = wmf;
  oversizedRecord.replace(40, 4, QByteArray::fromHex("ffff0000"));
  QByteArray noUnits = wmf;
  noUnits.replace(14, 2, QByteArray(2, '\0'));
  for (const QByteArray &bytes :
       {emf.left(60), emf.left(emf.size() - 30), zeroSizedRecord, wmf.left(30), oversizedRecord, noUnits,
        QByteArray("not a metafile")}) {
    EXPECT_THROW(LoadedMetafile(bytes), EPicCodecError) << bytes.left(48).toHex().toStdString();
  }
}

// Every bitmap record of both forms puts the bitmap's top pixel on top.
TEST(Metafile, BitmapRecordsDrawTheirBitmapInItsPlace) {
  const QByteArray dib = ColumnDib(qRgb(255, 0, 0), qRgb(0, 0, 255));
  const struct {
    const char *Name;
    bool Enhanced;
    TMetaRecord Record;
    QRect Dest;
  } cases[] = {
      {"EMR_STRETCHDIBITS", true, EmfStretchDIBits(4, 6, 10, 8, dib), {4, 6, 10, 8}},
      {"EMR_BITBLT", true, EmfBlt(76, 5, 7, 1, 2, dib), {5, 7, 1, 2}},
      {"EMR_STRETCHBLT", true, EmfBlt(77, 2, 2, 12, 14, dib), {2, 2, 12, 14}},
      {"EMR_SETDIBITSTODEVICE", true, EmfSetDIBitsToDevice(9, 3, dib), {9, 3, 1, 2}},
      {"META_STRETCHDIB", false, WmfStretchDib(4, 6, 10, 8, dib), {4, 6, 10, 8}},
      {"META_DIBSTRETCHBLT", false, WmfDibStretchBlt(2, 2, 12, 14, dib), {2, 2, 12, 14}},
      {"META_DIBBITBLT", false, WmfDibBitBlt(5, 7, dib), {5, 7, 1, 2}},
      {"META_SETDIBTODEV", false, WmfSetDibToDev(9, 3, dib), {9, 3, 1, 2}},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.Name);
    const QImage ours = RenderedMetafile(Built(c.Enhanced, 20, 20, {c.Record}));
    const QRect &d = c.Dest;
    EXPECT_EQ(ours.pixel(d.left() + d.width() / 2, d.top()), qRgb(255, 0, 0));
    EXPECT_EQ(ours.pixel(d.left() + d.width() / 2, d.bottom()), qRgb(0, 0, 255));
    EXPECT_EQ(ours.pixel(d.right() + 1, d.top()), qRgb(255, 255, 255));
    EXPECT_EQ(ours.pixel(d.left(), d.top() - 1), qRgb(255, 255, 255));
  }
}

// Records that point outside themselves, records cut short and records of
// unknown types are skipped; the records around them still play.
TEST(Metafile, BadAndUnknownRecordsAreSkipped) {
  const QByteArray dib = ColumnDib(qRgb(255, 0, 0), qRgb(255, 0, 0));
  TMetaRecord cut = EmfRect(43, 0, 0, 20, 20);
  cut.Bytes.chop(8);
  cut.Bytes.replace(4, 4, TRecordBuilder().U32(quint32(cut.Bytes.size())).Result());
  const QList<TMetaRecord> records = {
      EmfStretchDIBits(0, 0, 20, 20, dib, 1000), // header offset outside the record
      Emf(200, TRecordBuilder().U32(1).U32(2)),   // unknown type
      cut,                                        // rectangle without its bottom-right corner
      Emf(86, TRecordBuilder().I32(0).I32(0).I32(0).I32(0).U32(0x7FFFFFFF)), // polygon of 2^31 points
      EmfBrush(1, qRgb(0, 128, 0)),
      EmfU32(37, 1),
      EmfU32(37, NullPen),
      EmfRect(43, 5, 5, 15, 15)};
  const QImage ours = RenderedMetafile(Built(true, 20, 20, records));
  EXPECT_EQ(ours.pixel(10, 10), qRgb(0, 128, 0));
  EXPECT_EQ(ours.pixel(2, 2), qRgb(255, 255, 255));
}

// The band (0, 0)-(20, 10) as a polygon of 320 points along its edges: a
// figure large enough that recording clips it by rectangle.
TMetaRecord ManyPointBand() {
  TRecordBuilder p;
  p.I32(0).I32(0).I32(20).I32(10).U32(320);
  for (int i = 0; i < 80; ++i)
    p.I16(i / 4).I16(0);
  for (int i = 0; i < 80; ++i)
    p.I16(20).I16(i / 8);
  for (int i = 0; i < 80; ++i)
    p.I16(20 - i / 4).I16(10);
  for (int i = 0; i < 80; ++i)
    p.I16(0).I16(10 - i / 8);
  return Emf(86, p);
}

TMetafile InTheOtherForm(TMetafile metafile) {
  metafile.SetEnhanced(!metafile.Enhanced());
  QBuffer buffer;
  buffer.open(QIODevice::ReadWrite);
  metafile.SaveToStream(buffer);
  return LoadedMetafile(buffer.data());
}

// Clipping limits what is drawn, and what is recorded from the playback
// (the other form) keeps within the same limits.
TEST(Metafile, ClippingAndSavedStatesLimitTheDrawing) {
  for (const bool manyPoints : {false, true}) {
    const QList<TMetaRecord> records = {
        EmfBrush(1, qRgb(0, 0, 0)), EmfU32(37, 1), EmfU32(37, NullPen),
        EmfU32(33, 0),                                          // SaveDC
        EmfRect(30, 0, 0, 10, 20),                              // IntersectClipRect: left half
        manyPoints ? ManyPointBand() : EmfRect(43, 0, 0, 20, 10), // top band, clipped to its left half
        EmfU32(34, quint32(-1)),                                // RestoreDC: no clipping again
        EmfRect(29, 5, 10, 15, 20),                             // ExcludeClipRect
        EmfRect(43, 0, 12, 20, 20)};                            // bottom band with a hole
    const TMetafile played = Built(true, 20, 20, records);
    for (const TMetafile &metafile : {played, InTheOtherForm(played)}) {
      SCOPED_TRACE(std::string(manyPoints ? "many points, " : "rectangle, ") + (metafile.Enhanced() ? "EMF" : "WMF"));
      const QImage ours = RenderedMetafile(metafile);
      EXPECT_EQ(ours.pixel(5, 5), qRgb(0, 0, 0));
      EXPECT_EQ(ours.pixel(15, 5), qRgb(255, 255, 255));
      EXPECT_EQ(ours.pixel(2, 16), qRgb(0, 0, 0));
      EXPECT_EQ(ours.pixel(10, 16), qRgb(255, 255, 255));
      EXPECT_EQ(ours.pixel(18, 16), qRgb(0, 0, 0));
    }
  }
}

// A 40-unit font from EXTCREATEFONTINDIRECTW puts text ink below the
// reference point (top alignment) in the text colour, and EXTTEXTOUTW's
// opaque rectangle is filled with the background colour.
TEST(Metafile, TextIsWrittenWithItsFontColourAndAlignment) {
  TRecordBuilder font;
  font.U32(1).I32(-40).I32(0).I32(0).I32(0).I32(700).U32(0).U32(0);
  const QString face = QStringLiteral("DejaVu Sans");
  for (int i = 0; i < 32; ++i)
    font.U16(i < face.size() ? face[i].unicode() : 0);
  font.Bytes(QByteArray(320 - 64, '\0')); // the rest of the extended font description
  const QString text = QStringLiteral("HH");
  TRecordBuilder out;
  out.I32(0).I32(0).I32(-1).I32(-1).U32(1).Float(1).Float(1);
  out.I32(10).I32(10).U32(quint32(text.size())).U32(76).U32(2); // opaque
  out.I32(100).I32(0).I32(120).I32(20).U32(0);                   // rectangle, no spacing
  for (QChar ch : text)
    out.U16(ch.unicode());
  const QList<TMetaRecord> records = {Emf(82, font), EmfU32(37, 1), EmfU32(24, 0x0000C0),
                                      EmfU32(25, 0x00FF00), EmfU32(18, 1), Emf(84, out)};
  const QImage ours = RenderedMetafile(Built(true, 120, 60, records));
  int ink = 0;
  int above = 0;
  for (int y = 0; y < 60; ++y)
    for (int x = 0; x < 90; ++x) {
      const bool dark = ColourDistance(ours.pixel(x, y), qRgb(192, 0, 0)) < 60;
      (y >= 10 ? ink : above) += dark;
    }
  EXPECT_GT(ink, 150);
  EXPECT_EQ(above, 0);
  EXPECT_EQ(ours.pixel(110, 10), qRgb(0, 255, 0));
}
