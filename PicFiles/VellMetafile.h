// The host metafile of the picture library: an enhanced metafile (EMF) or a
// placeable Windows metafile (WMF) kept as its records, with a size in
// pixels, played back onto any painter and written in either form.
#pragma once

#include "PicFiles/VellCodecPicture.h"

#include <QByteArray>
#include <QList>
#include <QRect>

class QIODevice;

// One record exactly as the file holds it, header included: for EMF the
// 32-bit type and size, for WMF the size in 16-bit words and the function.
struct TMetaRecord {
  quint32 Type = 0;
  QByteArray Bytes;
};

// Which form the records are in.
enum class TMetafileForm { None, Enhanced, Windows };

// What playback needs of the header.
struct TMetafileHeader {
  // EMF: the inclusive bounds of what is drawn in reference-device pixels
  // ((0, 0, -1, -1) when nothing is), the picture frame in 0.01 mm and the reference device's size in
  // pixels and in millimetres.
  QRect Bounds;
  QRect Frame;
  QSize DevicePixels;
  QSize DeviceMillimeters;
  // WMF: the bounding box in logical units and the logical units per inch.
  QRect Box;
  int UnitsPerInch = 0;
  // Entries the object table needs (EMF: the highest index + 1).
  int ObjectCount = 0;
};

// Little-endian fields appended to a record under construction.
class TRecordBuilder {
public:
  TRecordBuilder &U16(quint32 value);
  TRecordBuilder &U32(quint32 value);
  TRecordBuilder &I16(qint32 value) { return U16(quint32(value)); }
  TRecordBuilder &I32(qint32 value) { return U32(quint32(value)); }
  TRecordBuilder &Float(float value);
  TRecordBuilder &Bytes(const QByteArray &bytes);
  // Zero bytes up to a multiple of 4.
  TRecordBuilder &PadTo4();
  // Stores value at an earlier offset.
  void PutU32(qsizetype offset, quint32 value);
  void PutU16(qsizetype offset, quint32 value);
  qsizetype Size() const { return FBytes.size(); }
  const QByteArray &Result() const { return FBytes; }

private:
  QByteArray FBytes;
};

// Units per inch of a pixel: sizes in pixels are counted at 96 dots per inch.
constexpr int MetafilePixelsPerInch = 96;

class TMetafile : public TCodecPicture {
  VELL_CLASS(TMetafile, TCodecPicture)
public:
  int Width() const override { return FWidth; }
  int Height() const override { return FHeight; }
  // Plays the records back so that the picture's frame fills rect.
  void Draw(QPainter &painter, const QRect &rect) const override;

  // The form SaveToStream writes: EMF when set, placeable WMF otherwise.
  bool Enhanced() const { return FEnhanced; }
  void SetEnhanced(bool value) { FEnhanced = value; }

  // A metafile has no resolution of its own: reads answer 0, writes are
  // ignored; its image format is always true colour.
  TImageFormatEnum ImageFormat() const override { return ifeTrueColor; }
  quint16 XDotsPerInch() const override { return 0; }
  quint16 YDotsPerInch() const override { return 0; }
  void SetXDotsPerInch(quint16) override {}
  void SetYDotsPerInch(quint16) override {}

  // A recording surface: what is drawn on it replaces the records when the
  // surface is destroyed, in the form Enhanced selects.
  std::unique_ptr<TCanvas> Surface() override;
  // No records and the given size; the form flag stays.
  void NewImage(int width, int height, TImageFormatEnum format) override;
  void CopyFrom(const TCodecPicture &source) override;
  // bitmap, in its depth, takes the metafile's size, is cleared to white and
  // gets the metafile played back on it.
  void CopyToBitmap(TBitmap &bitmap) const override;
  // No records and size 0 x 0.
  void Clear() override;

  // Reads either form from the stream's position; the form read becomes the
  // Enhanced flag. EPicCodecError when the data is no metafile, or a record
  // or the header runs past the end of the data.
  void LoadFromStream(QIODevice &stream) override;
  // Writes the form Enhanced selects; records of the other form are played
  // back into a new recording first.
  void SaveToStream(QIODevice &stream) const override;
  // True when the 100 bytes at the position start with the 32-bit value 1
  // and hold " EMF" at offset 40, or when the first 32-bit value is the
  // placeable metafile key 0x9AC6CDD7. The position is not moved.
  bool CanLoadFromStream(QIODevice &stream) const override;
  // Loads the metafile: width and height from its header, 24 bits per pixel.
  void ReadHeader(QIODevice &stream, TPicInfo &info) const override;

  TMetafileForm Form() const { return FForm; }
  const TMetafileHeader &Header() const { return FHeader; }
  const QList<TMetaRecord> &Records() const { return FRecords; }
  // Installs recorded records (the header record and the end record are
  // written by SaveToStream, not kept) of the given form.
  void SetRecords(TMetafileForm form, const TMetafileHeader &header, QList<TMetaRecord> records);

  // The header an EMF or WMF of width x height pixels gets when recorded.
  static TMetafileHeader RecordingHeader(int width, int height);

private:
  void ReadEnhanced(const QByteArray &bytes);
  void ReadPlaceable(const QByteArray &bytes);
  void WriteEnhanced(QIODevice &stream) const;
  void WritePlaceable(QIODevice &stream) const;

  int FWidth = 0;
  int FHeight = 0;
  bool FEnhanced = true;
  TMetafileForm FForm = TMetafileForm::None;
  TMetafileHeader FHeader;
  QList<TMetaRecord> FRecords;
};
