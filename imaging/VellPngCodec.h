// The PNG file codec on libpng: reads every colour type at every bit depth,
// interlaced or not, with its palette, transparency, physical dimensions,
// colour profile and the other ancillary chunks (kept as they are, to be
// written back); writes the same picture at any valid colour type and depth,
// with the zlib level and interlace asked for. Streams only; nothing throws,
// libpng's errors come back as its message (its warnings are ignored).
#pragma once

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QString>

class QIODevice;

enum TPngColorType : quint8 {
  pctGray = 0,
  pctRgb = 2,
  pctPalette = 3,
  pctGrayAlpha = 4,
  pctRgbAlpha = 6,
};

// An ancillary chunk kept as its bytes, with where it stood.
struct TPngChunk {
  enum TPlace : quint8 { BeforePalette, BeforeData, AfterData };
  QByteArray Type; // four letters
  QByteArray Data;
  TPlace Place = BeforeData;
};

// What the header chunks say.
struct TPngHeader {
  quint32 Width = 0;
  quint32 Height = 0;
  int BitDepth = 8;
  int ColorType = pctRgb;
  bool Interlaced = false;
  bool HasPhys = false;
  int PhysUnit = 0; // 1 metre
  quint32 PhysX = 0;
  quint32 PhysY = 0;
};

// A PNG picture: the header, the colour tables and the pixels in the
// imaging service's formats:
//   grey (no transparency): 1 bit → Format_Mono (black, white), 2 to 8 bits →
//     Format_Grayscale8, 16 bits → Format_Grayscale16;
//   palette → Format_Indexed8 with the palette (tRNS as the entries' alpha);
//   RGB (no transparency): 8 bits → Format_BGR888, 16 bits → Format_RGBX64;
//   with alpha, or grey/RGB with a transparent colour: 8 bits and below →
//     Format_ARGB32, 16 bits → Format_RGBA64 (the transparent colour gets
//     alpha 0, every other pixel full alpha).
struct TPngPicture {
  TPngHeader Header;
  QImage Pixels;
  // The single transparent colour of a grey or RGB file (tRNS), in file
  // samples (grey in Red), when it has one.
  bool HasTransparentColor = false;
  quint16 TransparentRed = 0, TransparentGreen = 0, TransparentBlue = 0;
  QByteArray IccProfile;
  QByteArray IccName;
  QList<TPngChunk> Chunks;
  // The colour type and depth the kept chunks were written for: chunks that
  // depend on them (bKGD, sBIT, hIST) are dropped when the picture is written
  // at another.
  int ChunksColorType = -1;
  int ChunksBitDepth = -1;
};

struct TPngOptions {
  int Level = 6; // zlib level 0 to 9
  bool Interlaced = false;
};

class TVellPngCodec {
public:
  TVellPngCodec() = delete;
  // True when the data at the device's position starts with the PNG
  // signature; the position is not moved.
  static bool CanRead(QIODevice &device);
  // Reads up to the image data: the header chunk and the chunks before it.
  static bool ReadHeader(QIODevice &device, TPngHeader &header, QString &error);
  // Decodes the file at the device's position. A size over the imaging
  // service's pixel limit, or a chunk longer than the rest of the data, is
  // refused before any pixel memory is taken.
  static bool Decode(QIODevice &device, TPngPicture &picture, QString &error);
  // Writes the picture at the device's position with the header's colour
  // type and bit depth (the header's size is the pixels'), converting the
  // pixels as needed: palette pictures need Format_Indexed8 (or Mono) pixels
  // with at most 2^depth colours.
  static bool Encode(const TPngPicture &picture, const TPngOptions &options, QIODevice &device,
                     QString &error);
  // A picture of pixels (any QImage format) with the colour type and depth
  // that keep them: Mono and Indexed8 as palette, Grayscale8/16 as grey,
  // colour formats as RGB or RGB with alpha at 8 or 16 bits.
  static TPngPicture PictureOf(const QImage &pixels);
};
