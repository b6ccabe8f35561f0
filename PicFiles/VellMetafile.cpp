#include "PicFiles/VellMetafile.h"

#include "PicFiles/EnCodecIO.h"
#include "PicFiles/VellMetafileCanvas.h"
#include "PicFiles/VellMetafilePlayer.h"

#include <QIODevice>

#include <cmath>
#include <cstring>

VELL_IMPLEMENT_CLASS(TMetafile, TCodecPicture)

namespace {

constexpr quint32 EmfHeaderType = 1;
constexpr quint32 EmfEofType = 14;
constexpr quint32 EmfSignature = 0x464D4520; // " EMF"
constexpr qsizetype EmfMinHeaderSize = 88;
constexpr qsizetype EmfHeaderSize = 108; // with the pixel-format fields and the size in micrometres
constexpr quint32 EmfVersion = 0x10000;

constexpr quint32 PlaceableKey = 0x9AC6CDD7;
constexpr qsizetype PlaceableHeaderSize = 22;
constexpr qsizetype WmfHeaderSize = 18;
constexpr quint32 WmfEofFunction = 0x0000;

constexpr int HundredthsMmPerInch = 2540;

// Pixels at 96 dots per inch of a length in units per inch.
int PixelsOf(qint64 length, double unitsPerInch) {
  return int(std::lround(double(qAbs(length)) * MetafilePixelsPerInch / unitsPerInch));
}

QRect ReadRect(TByteCursor &cursor) {
  const qint32 left = qint32(cursor.U32LE());
  const qint32 top = qint32(cursor.U32LE());
  const qint32 right = qint32(cursor.U32LE());
  const qint32 bottom = qint32(cursor.U32LE());
  return QRect(QPoint(left, top), QPoint(right, bottom));
}

QSize ReadSize(TByteCursor &cursor) {
  const qint32 width = qint32(cursor.U32LE());
  const qint32 height = qint32(cursor.U32LE());
  return QSize(width, height);
}

// Millimetres in micrometres, as far as 32 bits hold them.
qint32 Micrometres(qint32 millimetres) {
  return qint32(qBound(qint64(INT32_MIN), qint64(millimetres) * 1000, qint64(INT32_MAX)));
}

qint16 S16(TByteCursor &cursor) { return qint16(cursor.U16LE()); }

void AppendRect(TRecordBuilder &out, const QRect &rect) {
  out.I32(rect.left()).I32(rect.top()).I32(rect.right()).I32(rect.bottom());
}

} // namespace

TRecordBuilder &TRecordBuilder::U16(quint32 value) {
  FBytes.append(char(value & 0xFF)).append(char(value >> 8 & 0xFF));
  return *this;
}

TRecordBuilder &TRecordBuilder::U32(quint32 value) {
  return U16(value & 0xFFFF).U16(value >> 16);
}

TRecordBuilder &TRecordBuilder::Float(float value) {
  quint32 bits;
  std::memcpy(&bits, &value, sizeof bits);
  return U32(bits);
}

TRecordBuilder &TRecordBuilder::Bytes(const QByteArray &bytes) {
  FBytes.append(bytes);
  return *this;
}

TRecordBuilder &TRecordBuilder::PadTo4() {
  while (FBytes.size() % 4)
    FBytes.append('\0');
  return *this;
}

void TRecordBuilder::PutU32(qsizetype offset, quint32 value) {
  PutU16(offset, value & 0xFFFF);
  PutU16(offset + 2, value >> 16);
}

void TRecordBuilder::PutU16(qsizetype offset, quint32 value) {
  FBytes[offset] = char(value & 0xFF);
  FBytes[offset + 1] = char(value >> 8 & 0xFF);
}

void TMetafile::Draw(QPainter &painter, const QRect &rect) const {
  PlayMetafile(*this, painter, QRectF(rect));
}

std::unique_ptr<TCanvas> TMetafile::Surface() {
  return std::make_unique<TMetafileCanvas>(*this);
}

void TMetafile::NewImage(int width, int height, TImageFormatEnum) {
  SetRecords(TMetafileForm::None, RecordingHeader(width, height), {});
  FWidth = qMax(0, width);
  FHeight = qMax(0, height);
}

void TMetafile::CopyFrom(const TCodecPicture &source) {
  const auto &metafile = dynamic_cast<const TMetafile &>(source);
  if (&metafile == this)
    return;
  FWidth = metafile.FWidth;
  FHeight = metafile.FHeight;
  FEnhanced = metafile.FEnhanced;
  FForm = metafile.FForm;
  FHeader = metafile.FHeader;
  FRecords = metafile.FRecords;
}

void TMetafile::CopyToBitmap(TBitmap &bitmap) const {
  CheckPictureSize(FWidth, FHeight, "Metafile");
  bitmap.SetSize(FWidth, FHeight);
  TBitmapCanvas canvas(bitmap);
  canvas.Handle().fillRect(QRect(0, 0, FWidth, FHeight), Qt::white);
  canvas.Draw(0, 0, *this);
}

void TMetafile::Clear() {
  NewImage(0, 0, ifeTrueColor);
}

void TMetafile::SetRecords(TMetafileForm form, const TMetafileHeader &header, QList<TMetaRecord> records) {
  FForm = form;
  FHeader = header;
  FRecords = std::move(records);
}

TMetafileHeader TMetafile::RecordingHeader(int width, int height) {
  TMetafileHeader header;
  header.Bounds = QRect(QPoint(0, 0), QPoint(-1, -1));
  header.Frame = QRect(QPoint(0, 0), QPoint(int(std::lround(width * double(HundredthsMmPerInch) / MetafilePixelsPerInch)),
                                             int(std::lround(height * double(HundredthsMmPerInch) / MetafilePixelsPerInch))));
  // A reference device of exactly 96 dots per inch: 960 pixels in 254 mm.
  header.DevicePixels = QSize(960, 960);
  header.DeviceMillimeters = QSize(254, 254);
  header.Box = QRect(0, 0, width, height);
  header.UnitsPerInch = MetafilePixelsPerInch;
  return header;
}

bool TMetafile::CanLoadFromStream(QIODevice &stream) const {
  const QByteArray head = PeekBytes(stream, 100);
  TByteCursor cursor(head, "Metafile");
  if (head.size() < 4)
    return false;
  const quint32 first = cursor.U32LE();
  if (first == PlaceableKey)
    return true;
  if (first != EmfHeaderType || head.size() < 44)
    return false;
  cursor.Seek(40);
  return cursor.U32LE() == EmfSignature;
}

void TMetafile::ReadHeader(QIODevice &stream, TPicInfo &info) const {
  TMetafile probe;
  probe.LoadFromStream(stream);
  info.Width = probe.Width();
  info.Height = probe.Height();
  info.BitsPerPixel = 24;
}

void TMetafile::LoadFromStream(QIODevice &stream) {
  const QByteArray bytes = ReadRemaining(stream, "Metafile");
  TByteCursor cursor(bytes, "Metafile");
  const quint32 first = bytes.size() >= 4 ? cursor.U32LE() : 0;
  if (first == PlaceableKey)
    ReadPlaceable(bytes);
  else if (first == EmfHeaderType)
    ReadEnhanced(bytes);
  else
    cursor.Fail(QStringLiteral("the data is no enhanced or placeable Windows metafile"));
}

void TMetafile::ReadEnhanced(const QByteArray &bytes) {
  TByteCursor cursor(bytes, "EMF");
  cursor.Seek(4);
  const quint32 headerSize = cursor.U32LE();
  if (headerSize < EmfMinHeaderSize || headerSize % 4 || headerSize > quint32(bytes.size()))
    cursor.Fail(QStringLiteral("the header record has a wrong size"));
  TMetafileHeader header;
  header.Bounds = ReadRect(cursor);
  header.Frame = ReadRect(cursor);
  if (cursor.U32LE() != EmfSignature)
    cursor.Fail(QStringLiteral("the header lacks the EMF signature"));
  cursor.Seek(56);
  header.ObjectCount = cursor.U16LE();
  cursor.Seek(72);
  header.DevicePixels = ReadSize(cursor);
  header.DeviceMillimeters = ReadSize(cursor);

  QList<TMetaRecord> records;
  cursor.Seek(headerSize);
  while (!cursor.AtEnd()) {
    const qint64 start = cursor.Position();
    const quint32 type = cursor.U32LE();
    const quint32 size = cursor.U32LE();
    if (size < 8 || size % 4)
      cursor.Fail(QStringLiteral("a record has a wrong size"));
    cursor.Seek(start);
    cursor.Skip(size);
    if (type == EmfEofType)
      break;
    if (type != EmfHeaderType)
      records.append({type, bytes.mid(start, size)});
  }
  FWidth = PixelsOf(qint64(header.Frame.right()) - header.Frame.left(), HundredthsMmPerInch);
  FHeight = PixelsOf(qint64(header.Frame.bottom()) - header.Frame.top(), HundredthsMmPerInch);
  FEnhanced = true;
  SetRecords(TMetafileForm::Enhanced, header, std::move(records));
}

void TMetafile::ReadPlaceable(const QByteArray &bytes) {
  TByteCursor cursor(bytes, "WMF");
  cursor.Seek(6);
  TMetafileHeader header;
  const qint16 left = S16(cursor);
  const qint16 top = S16(cursor);
  const qint16 right = S16(cursor);
  const qint16 bottom = S16(cursor);
  header.Box = QRect(left, top, right - left, bottom - top);
  header.UnitsPerInch = cursor.U16LE();
  if (header.UnitsPerInch == 0)
    cursor.Fail(QStringLiteral("the placeable header gives no units per inch"));
  cursor.Seek(PlaceableHeaderSize);
  const quint16 kind = cursor.U16LE();
  const quint16 headerWords = cursor.U16LE();
  if ((kind != 1 && kind != 2) || headerWords != WmfHeaderSize / 2)
    cursor.Fail(QStringLiteral("the metafile header is damaged"));
  cursor.Seek(PlaceableHeaderSize + 10);
  header.ObjectCount = cursor.U16LE();

  QList<TMetaRecord> records;
  cursor.Seek(PlaceableHeaderSize + WmfHeaderSize);
  while (!cursor.AtEnd()) {
    const qint64 start = cursor.Position();
    const quint32 words = cursor.U32LE();
    const quint32 function = cursor.U16LE();
    if (words < 3)
      cursor.Fail(QStringLiteral("a record has a wrong size"));
    cursor.Seek(start);
    cursor.Skip(qint64(words) * 2);
    if (function == WmfEofFunction)
      break;
    records.append({function, bytes.mid(start, qint64(words) * 2)});
  }
  FWidth = PixelsOf(header.Box.width(), header.UnitsPerInch);
  FHeight = PixelsOf(header.Box.height(), header.UnitsPerInch);
  FEnhanced = false;
  SetRecords(TMetafileForm::Windows, header, std::move(records));
}

void TMetafile::SaveToStream(QIODevice &stream) const {
  const TMetafileForm wanted = FEnhanced ? TMetafileForm::Enhanced : TMetafileForm::Windows;
  if (FForm != wanted && !FRecords.isEmpty()) {
    TMetafile converted;
    converted.NewImage(FWidth, FHeight, ifeTrueColor);
    converted.SetEnhanced(FEnhanced);
    converted.Surface()->Draw(0, 0, *this);
    converted.SaveToStream(stream);
    return;
  }
  if (FEnhanced)
    WriteEnhanced(stream);
  else
    WritePlaceable(stream);
}

void TMetafile::WriteEnhanced(QIODevice &stream) const {
  const TMetafileHeader header = FForm == TMetafileForm::Enhanced ? FHeader : RecordingHeader(FWidth, FHeight);
  qint64 total = EmfHeaderSize + 20;
  for (const TMetaRecord &record : FRecords)
    total += record.Bytes.size();
  TRecordBuilder out;
  out.U32(EmfHeaderType).U32(EmfHeaderSize);
  AppendRect(out, header.Bounds);
  AppendRect(out, header.Frame);
  out.U32(EmfSignature).U32(EmfVersion).U32(quint32(total)).U32(quint32(FRecords.size() + 2));
  out.U16(quint32(qMax(1, header.ObjectCount))).U16(0);
  out.U32(0).U32(0).U32(0); // no description, no palette
  out.I32(header.DevicePixels.width()).I32(header.DevicePixels.height());
  out.I32(header.DeviceMillimeters.width()).I32(header.DeviceMillimeters.height());
  out.U32(0).U32(0).U32(0); // no pixel format, no OpenGL
  out.I32(Micrometres(header.DeviceMillimeters.width())).I32(Micrometres(header.DeviceMillimeters.height()));
  WriteBytes(stream, out.Result());
  for (const TMetaRecord &record : FRecords)
    WriteBytes(stream, record.Bytes);
  TRecordBuilder eof;
  eof.U32(EmfEofType).U32(20).U32(0).U32(16).U32(20);
  WriteBytes(stream, eof.Result());
}

void TMetafile::WritePlaceable(QIODevice &stream) const {
  const TMetafileHeader header = FForm == TMetafileForm::Windows ? FHeader : RecordingHeader(FWidth, FHeight);
  TRecordBuilder placeable;
  placeable.U32(PlaceableKey).U16(0);
  placeable.I16(header.Box.left()).I16(header.Box.top());
  placeable.I16(header.Box.left() + header.Box.width()).I16(header.Box.top() + header.Box.height());
  placeable.U16(quint32(header.UnitsPerInch)).U32(0);
  quint16 checksum = 0;
  for (qsizetype i = 0; i < placeable.Size(); i += 2)
    checksum ^= quint16(uchar(placeable.Result()[i]) | uchar(placeable.Result()[i + 1]) << 8);
  placeable.U16(checksum);

  qint64 words = (WmfHeaderSize + 6) / 2;
  qint64 largest = 3;
  for (const TMetaRecord &record : FRecords) {
    words += record.Bytes.size() / 2;
    largest = qMax(largest, qint64(record.Bytes.size() / 2));
  }
  TRecordBuilder meta;
  meta.U16(1).U16(WmfHeaderSize / 2).U16(0x0300).U32(quint32(words));
  meta.U16(quint32(header.ObjectCount)).U32(quint32(largest)).U16(0);
  WriteBytes(stream, placeable.Result());
  WriteBytes(stream, meta.Result());
  for (const TMetaRecord &record : FRecords)
    WriteBytes(stream, record.Bytes);
  TRecordBuilder eof;
  eof.U32(3).U16(WmfEofFunction);
  WriteBytes(stream, eof.Result());
}
