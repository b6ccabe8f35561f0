// The imaging service's codec table: one row per file format with its
// signature test, header reader, decoder and encoder. The service's encoder
// list, its recognition of content by signature and its decoding all read
// this table, so a format has exactly one decoder and one encoder.
//
// Adding a codec: write the row in a file of its own (for example
// imaging/VellBmpCodec.cpp) as a `const TImageCodec` object, declare it below
// and put its address in place of the format's old row in the list in
// VellImageCodecs.cpp (the list's order is the order of the encoder list and
// of the signature tests). A row uses only this header and the libraries it
// wraps, never the service's API functions.
//
// Rules for every row:
// - Matches peeks at the device and leaves its position where it was;
// - ReadHeader, Decode and the encoder work on the device from its current
//   position and report failures through RecordFailure with a message that names
//   one cause and no file (the service puts the file name in front);
// - input is hostile: sizes, counts and offsets are checked against the data,
//   and a size over the pixel limit (ExceedsPixelLimit) is refused before
//   any pixel memory is taken.
#pragma once

#include "imaging/VellGDIPAPI.h"

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>

#include <functional>
#include <memory>

class QIODevice;

// Decoded or created pixels with what the service reports about them.
struct TRaster {
  QImage Pixels;
  float DpiX = 0;
  float DpiY = 0;
  PixelFormat Format = PixelFormatDontCare;
  QByteArray IccProfile; // the source's embedded colour profile, if any
};

// One page handed to an encoder: either a whole image, or rows of a 24-bit
// RGB page produced on demand (R, G, B bytes), so that a large page need not
// be built in memory first.
struct TEncodePage {
  const TRaster *Image = nullptr;
  QSize RowsSize;
  float RowsDpi = 0;
  std::function<void(int y, uchar *rgb)> FillRgbRow;
  QByteArray IccProfile; // written with the rows

  quint32 Compression = 0; // 0 for the codec's default, else EncoderValueCompression*
  int Quality = -1;        // 0-100 for lossy codecs, -1 for the default
};

// Writes pages into one device; Finish completes the file. A codec whose
// format holds one image refuses a second page.
class TPageEncoder {
public:
  virtual ~TPageEncoder() = default;
  virtual GpStatus AddPage(const TEncodePage &page) = 0;
  virtual GpStatus Finish() = 0;
};

struct TImageCodec {
  const char16_t *Name;        // "TIFF"
  const char16_t *MimeType;    // "image/tiff"
  const char16_t *Description; // codec name of the encoder list
  const char16_t *Extensions;  // "*.TIF;*.TIFF"
  CLSID Clsid;
  GUID FormatId;
  bool (*Matches)(QIODevice &device);
  // What the header says about image page (0-based) without decoding pixels.
  GpStatus (*ReadHeader)(QIODevice &device, quint32 page, ImageHeader &header);
  GpStatus (*Decode)(QIODevice &device, quint32 page, TRaster &raster);
  // A page encoder on the device, or null when the codec cannot write.
  std::unique_ptr<TPageEncoder> (*NewEncoder)(QIODevice &device);
};

// The rows, in order.
extern const TImageCodec VellTiffCodec;
extern const TImageCodec VellPngCodec;
extern const TImageCodec VellBmpCodec;
extern const TImageCodec VellJpegCodec;
extern const TImageCodec VellGifCodec;

// The table: every row once, in the order of the encoder list.
QList<const TImageCodec *> ImageCodecs();
// The row whose signature the device's content has, or null.
const TImageCodec *CodecForContent(QIODevice &device);
// The row whose encoder has the identifier, or null.
const TImageCodec *CodecForEncoder(const CLSID &clsid);

// Records text as the calling thread's last error (GdipLastErrorText) and
// returns status.
GpStatus RecordFailure(GpStatus status, const QString &text);
// width × height over GdipPixelLimit(), and the message saying so.
bool ExceedsPixelLimit(qint64 width, qint64 height);
QString PixelLimitText(qint64 width, qint64 height);
// Pixel formats. The service keeps pixels in these QImage formats:
// Mono (1 bpp, MSB first, two-colour table), Indexed8 (palettes up to 8 bits),
// Grayscale8, Grayscale16, BGR888, RGB32, ARGB32, ARGB32_Premultiplied,
// RGBX64, RGBA64, RGBA64_Premultiplied.
PixelFormat PixelFormatOf(const QImage &image);
PixelFormat PixelFormatOf(QImage::Format format); // PixelFormatDontCare for other formats
QImage::Format QtFormatFor(PixelFormat format);
// image converted to one of the formats above (other formats become BGR888,
// or ARGB32 when they carry alpha).
QImage ServicePixels(const QImage &image);
QList<QRgb> GreyColourTable(int count);

// Dots per inch from dots per metre (0 stays 0).
float DpiFromDotsPerMetre(quint32 dotsPerMetre);
// True when the device's next bytes start with signature (position kept).
bool PeekStartsWith(QIODevice &device, QByteArrayView signature);
// A page encoder for formats that hold one image written in one go.
std::unique_ptr<TPageEncoder> NewSingleImageEncoder(QIODevice &device,
                                                    GpStatus (*write)(QIODevice &, const TEncodePage &));
// The image of a page, built from its rows when it has no image.
TRaster PageImage(const TEncodePage &page);
