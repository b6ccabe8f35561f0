// TIFF decoding and encoding with libtiff.
//
// Decoding keeps what the file holds where QImage has a matching format
// (bilevel, grey 2-16 bits, palettes, RGB and RGBA of 8 and 16 bits) and hands
// every other kind libtiff understands (CMYK, YCbCr, JPEG, LogLuv, planar
// files, ...) to libtiff's RGBA reader. Only the first image of a file is read.
// Encoding writes classic TIFF with the resolution tags, CCITT Group 4 for
// bilevel images and LZW (with the horizontal predictor for 8/16-bit samples)
// for everything else.
#include "imaging/VellGDIPPrivate.h"

#include <QFile>
#include <QSaveFile>
#include <QtEndian>

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <functional>
#include <optional>
#include <tiffio.h>
#include <unistd.h>
#include <vector>

static_assert(Q_BYTE_ORDER == Q_LITTLE_ENDIAN, "the RGBA raster of libtiff is read as RGBA8888 bytes");

namespace {

// libtiff's largest single allocation; the pixel limit guards our own buffers.
constexpr tmsize_t MaxLibtiffAllocation = tmsize_t(1) << 30;

// Messages of one open file; libtiff reports through these instead of stderr.
struct TTiffMessages {
  QString FirstError;
};

int RecordError(TIFF *, void *user, const char *module, const char *format, va_list args) {
  auto *messages = static_cast<TTiffMessages *>(user);
  if (messages->FirstError.isEmpty()) {
    char text[512];
    std::vsnprintf(text, sizeof text, format, args);
    messages->FirstError = module ? QString::fromUtf8(module) + QStringLiteral(": ") + QString::fromUtf8(text)
                                  : QString::fromUtf8(text);
  }
  return 1;
}

int IgnoreWarning(TIFF *, void *, const char *, const char *, va_list) {
  return 1;
}

// An open TIFF file that closes itself.
class TTiffFile {
public:
  TTiffFile() = default;
  TTiffFile(const TTiffFile &) = delete;
  TTiffFile &operator=(const TTiffFile &) = delete;
  ~TTiffFile() { Close(); }

  bool OpenForReading(const QString &fileName) {
    return Open([&](TIFFOpenOptions *options) {
      return TIFFOpenExt(QFile::encodeName(fileName).constData(), "r", options);
    });
  }
  // Takes ownership of fd.
  bool OpenForWriting(int fd, const QString &fileName, bool bigTiff) {
    return Open([&](TIFFOpenOptions *options) {
      return TIFFFdOpenExt(fd, QFile::encodeName(fileName).constData(), bigTiff ? "w8" : "w", options);
    });
  }
  // Flushes and closes; false when anything failed on the way.
  bool Finish() {
    const bool flushed = FHandle && TIFFFlush(FHandle) == 1;
    Close();
    return flushed && FMessages.FirstError.isEmpty();
  }

  TIFF *Handle() const { return FHandle; }
  QString Error(const QString &fallback) const {
    return FMessages.FirstError.isEmpty() ? fallback : FMessages.FirstError;
  }

private:
  bool Open(const std::function<TIFF *(TIFFOpenOptions *)> &opener) {
    TIFFOpenOptions *options = TIFFOpenOptionsAlloc();
    TIFFOpenOptionsSetMaxSingleMemAlloc(options, MaxLibtiffAllocation);
    TIFFOpenOptionsSetErrorHandlerExtR(options, RecordError, &FMessages);
    TIFFOpenOptionsSetWarningHandlerExtR(options, IgnoreWarning, nullptr);
    FHandle = opener(options);
    TIFFOpenOptionsFree(options);
    return FHandle != nullptr;
  }
  void Close() {
    if (FHandle)
      TIFFClose(FHandle);
    FHandle = nullptr;
  }

  TIFF *FHandle = nullptr;
  TTiffMessages FMessages;
};

// What the first directory of a file says about its pixels.
struct TTiffLayout {
  quint32 Width = 0;
  quint32 Height = 0;
  quint16 SamplesPerPixel = 1;
  quint16 BitsPerSample = 1;
  quint16 Photometric = PHOTOMETRIC_MINISWHITE;
  quint16 Planar = PLANARCONFIG_CONTIG;
  quint16 SampleFormat = SAMPLEFORMAT_UINT;
  quint16 Alpha = EXTRASAMPLE_UNSPECIFIED; // kind of the first extra sample, if any
  bool HasAlpha = false;
};

TTiffLayout ReadLayout(TIFF *tif) {
  TTiffLayout layout;
  TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &layout.Width);
  TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &layout.Height);
  TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &layout.SamplesPerPixel);
  TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &layout.BitsPerSample);
  TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &layout.Planar);
  TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLEFORMAT, &layout.SampleFormat);
  if (!TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &layout.Photometric))
    layout.Photometric = layout.SamplesPerPixel >= 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISWHITE;
  quint16 extraCount = 0;
  quint16 *extraKinds = nullptr;
  if (TIFFGetField(tif, TIFFTAG_EXTRASAMPLES, &extraCount, &extraKinds) && extraCount > 0) {
    layout.Alpha = extraKinds[0];
    layout.HasAlpha = layout.Alpha == EXTRASAMPLE_ASSOCALPHA || layout.Alpha == EXTRASAMPLE_UNASSALPHA;
  }
  return layout;
}

// Resolution in dots per inch; 0 when the file has none or only an aspect ratio.
void ReadResolution(TIFF *tif, TRaster &raster) {
  float x = 0, y = 0;
  quint16 unit = RESUNIT_INCH;
  const bool hasX = TIFFGetField(tif, TIFFTAG_XRESOLUTION, &x) == 1;
  const bool hasY = TIFFGetField(tif, TIFFTAG_YRESOLUTION, &y) == 1;
  TIFFGetFieldDefaulted(tif, TIFFTAG_RESOLUTIONUNIT, &unit);
  const double perInch = unit == RESUNIT_CENTIMETER ? 2.54 : unit == RESUNIT_INCH ? 1.0 : 0.0;
  auto dpi = [&](double value) { return std::isfinite(value) && value > 0 ? float(value * perInch) : 0.0f; };
  raster.DpiX = dpi(hasX ? x : hasY ? y : 0);
  raster.DpiY = dpi(hasY ? y : hasX ? x : 0);
}

// Calls consume(y, row) for every row of a contiguous image, rows packed as
// libtiff delivers scanlines, from strips or tiles alike.
bool ForEachRow(TIFF *tif, const TTiffLayout &layout,
                const std::function<void(quint32, const uchar *)> &consume) {
  const tmsize_t rowBytes = TIFFScanlineSize(tif);
  if (rowBytes <= 0 || rowBytes > MaxLibtiffAllocation)
    return false;
  if (!TIFFIsTiled(tif)) {
    std::vector<uchar> row(static_cast<size_t>(rowBytes));
    for (quint32 y = 0; y < layout.Height; ++y) {
      if (TIFFReadScanline(tif, row.data(), y, 0) < 0)
        return false;
      consume(y, row.data());
    }
    return true;
  }
  quint32 tileWidth = 0, tileHeight = 0;
  TIFFGetField(tif, TIFFTAG_TILEWIDTH, &tileWidth);
  TIFFGetField(tif, TIFFTAG_TILELENGTH, &tileHeight);
  const tmsize_t tileBytes = TIFFTileSize(tif);
  const tmsize_t tileRowBytes = TIFFTileRowSize(tif);
  if (tileWidth == 0 || tileHeight == 0 || tileBytes <= 0 || tileRowBytes <= 0 ||
      ExceedsPixelLimit(tileWidth, tileHeight))
    return false;
  const quint32 bandRows = std::min(tileHeight, layout.Height);
  const quint64 bitsPerPixel = quint64(layout.BitsPerSample) * layout.SamplesPerPixel;
  std::vector<uchar> tile(static_cast<size_t>(tileBytes));
  std::vector<uchar> band(size_t(rowBytes) * bandRows);
  for (quint32 top = 0; top < layout.Height; top += tileHeight) {
    const quint32 rows = std::min(tileHeight, layout.Height - top);
    for (quint32 left = 0; left < layout.Width; left += tileWidth) {
      if (TIFFReadTile(tif, tile.data(), left, top, 0, 0) < 0)
        return false;
      const tmsize_t offset = tmsize_t(left * bitsPerPixel / 8);
      const tmsize_t bytes = std::min(tileRowBytes, rowBytes - offset);
      for (quint32 r = 0; r < rows; ++r)
        std::memcpy(band.data() + r * rowBytes + offset, tile.data() + r * tileRowBytes, size_t(bytes));
    }
    for (quint32 r = 0; r < rows; ++r)
      consume(top + r, band.data() + r * rowBytes);
  }
  return true;
}

// Sample x of a row of packed samples of the given bit depth (1 to 8).
inline uint PackedSample(const uchar *row, quint32 x, int bits) {
  if (bits == 8)
    return row[x];
  const quint32 bit = x * bits;
  return (row[bit / 8] >> (8 - bits - bit % 8)) & ((1u << bits) - 1);
}

QList<QRgb> TiffColourMap(TIFF *tif, int bits) {
  quint16 *red = nullptr, *green = nullptr, *blue = nullptr;
  const int count = 1 << bits;
  QList<QRgb> colours;
  if (!TIFFGetField(tif, TIFFTAG_COLORMAP, &red, &green, &blue))
    return colours;
  // Some writers store 8-bit values in the 16-bit map.
  bool eightBit = true;
  for (int i = 0; i < count; ++i)
    eightBit = eightBit && red[i] < 256 && green[i] < 256 && blue[i] < 256;
  const int shift = eightBit ? 0 : 8;
  for (int i = 0; i < count; ++i)
    colours.append(qRgb(red[i] >> shift, green[i] >> shift, blue[i] >> shift));
  return colours;
}

bool IsGrey(const TTiffLayout &layout) {
  return layout.SamplesPerPixel == 1 &&
         (layout.Photometric == PHOTOMETRIC_MINISBLACK || layout.Photometric == PHOTOMETRIC_MINISWHITE);
}

// A decoding path: builds the image from the rows it reads.
struct TDecodeResult {
  QImage Image;
  PixelFormat Format = PixelFormatDontCare;
};

std::optional<TDecodeResult> DecodeBilevelOrOneBitPalette(TIFF *tif, const TTiffLayout &layout) {
  QImage image(int(layout.Width), int(layout.Height), QImage::Format_Mono);
  if (image.isNull())
    return std::nullopt;
  if (layout.Photometric == PHOTOMETRIC_PALETTE)
    image.setColorTable(TiffColourMap(tif, 1));
  else if (layout.Photometric == PHOTOMETRIC_MINISWHITE)
    image.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
  else
    image.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
  if (image.colorCount() != 2)
    return std::nullopt;
  const size_t bytes = (layout.Width + 7) / 8;
  if (!ForEachRow(tif, layout,
                  [&](quint32 y, const uchar *row) { std::memcpy(image.scanLine(int(y)), row, bytes); }))
    return std::nullopt;
  return TDecodeResult{image, PixelFormat1bppIndexed};
}

std::optional<TDecodeResult> DecodeGrey(TIFF *tif, const TTiffLayout &layout) {
  const bool invert = layout.Photometric == PHOTOMETRIC_MINISWHITE;
  const int bits = layout.BitsPerSample;
  if (bits == 16) {
    QImage image(int(layout.Width), int(layout.Height), QImage::Format_Grayscale16);
    if (image.isNull())
      return std::nullopt;
    const bool ok = ForEachRow(tif, layout, [&](quint32 y, const uchar *row) {
      auto *out = reinterpret_cast<quint16 *>(image.scanLine(int(y)));
      std::memcpy(out, row, layout.Width * 2);
      if (invert)
        for (quint32 x = 0; x < layout.Width; ++x)
          out[x] = quint16(0xFFFF - out[x]);
    });
    return ok ? std::optional(TDecodeResult{image, PixelFormat16bppGrayScale}) : std::nullopt;
  }
  QImage image(int(layout.Width), int(layout.Height), QImage::Format_Grayscale8);
  if (image.isNull())
    return std::nullopt;
  const uint maximum = (1u << bits) - 1;
  const bool ok = ForEachRow(tif, layout, [&](quint32 y, const uchar *row) {
    uchar *out = image.scanLine(int(y));
    for (quint32 x = 0; x < layout.Width; ++x) {
      const uint level = PackedSample(row, x, bits) * 255 / maximum;
      out[x] = uchar(invert ? 255 - level : level);
    }
  });
  return ok ? std::optional(TDecodeResult{image, PixelFormat8bppIndexed}) : std::nullopt;
}

std::optional<TDecodeResult> DecodePalette(TIFF *tif, const TTiffLayout &layout) {
  const int bits = layout.BitsPerSample;
  QImage image(int(layout.Width), int(layout.Height), QImage::Format_Indexed8);
  const QList<QRgb> colours = TiffColourMap(tif, bits);
  if (image.isNull() || colours.isEmpty())
    return std::nullopt;
  image.setColorTable(colours);
  const bool ok = ForEachRow(tif, layout, [&](quint32 y, const uchar *row) {
    uchar *out = image.scanLine(int(y));
    for (quint32 x = 0; x < layout.Width; ++x)
      out[x] = uchar(PackedSample(row, x, bits));
  });
  const PixelFormat format = bits <= 4 ? PixelFormat4bppIndexed : PixelFormat8bppIndexed;
  return ok ? std::optional(TDecodeResult{image, format}) : std::nullopt;
}

// Contiguous RGB with 8 or 16 bits per sample, with or without alpha.
std::optional<TDecodeResult> DecodeRgb(TIFF *tif, const TTiffLayout &layout) {
  const bool alpha = layout.HasAlpha;
  const bool premultiplied = layout.Alpha == EXTRASAMPLE_ASSOCALPHA;
  const int samples = layout.SamplesPerPixel;
  const bool wide = layout.BitsPerSample == 16;
  QImage::Format read;
  if (wide)
    read = !alpha          ? QImage::Format_RGBX64
           : premultiplied ? QImage::Format_RGBA64_Premultiplied
                           : QImage::Format_RGBA64;
  else
    read = !alpha          ? QImage::Format_BGR888
           : premultiplied ? QImage::Format_RGBA8888_Premultiplied
                           : QImage::Format_RGBA8888;
  QImage image(int(layout.Width), int(layout.Height), read);
  if (image.isNull())
    return std::nullopt;
  const bool ok = ForEachRow(tif, layout, [&](quint32 y, const uchar *row) {
    uchar *out = image.scanLine(int(y));
    if (wide) {
      const auto *in = reinterpret_cast<const quint16 *>(row);
      auto *o = reinterpret_cast<quint16 *>(out);
      for (quint32 x = 0; x < layout.Width; ++x, in += samples, o += 4) {
        o[0] = in[0], o[1] = in[1], o[2] = in[2];
        o[3] = alpha ? in[3] : 0xFFFF;
      }
    } else if (alpha) {
      for (quint32 x = 0; x < layout.Width; ++x, row += samples, out += 4)
        out[0] = row[0], out[1] = row[1], out[2] = row[2], out[3] = row[3];
    } else {
      for (quint32 x = 0; x < layout.Width; ++x, row += samples, out += 3)
        out[0] = row[2], out[1] = row[1], out[2] = row[0];
    }
  });
  if (!ok)
    return std::nullopt;
  if (wide)
    return TDecodeResult{alpha ? image.convertToFormat(QImage::Format_RGBA64) : image,
                         alpha ? PixelFormat64bppARGB : PixelFormat48bppRGB};
  return TDecodeResult{alpha ? image.convertToFormat(QImage::Format_ARGB32) : image,
                       alpha ? PixelFormat32bppARGB : PixelFormat24bppRGB};
}

// Everything else libtiff can turn into RGBA: CMYK, YCbCr, JPEG, CIE Lab,
// planar files, grey with alpha, ...
std::optional<TDecodeResult> DecodeThroughRgba(TIFF *tif, const TTiffLayout &layout, QString &reason) {
  char message[1024] = {};
  if (!TIFFRGBAImageOK(tif, message)) {
    reason = QString::fromUtf8(message);
    return std::nullopt;
  }
  QImage raster(int(layout.Width), int(layout.Height), QImage::Format_RGBA8888_Premultiplied);
  if (raster.isNull())
    return std::nullopt;
  // The libtiff raster is packed ABGR words, that is R, G, B, A bytes here.
  if (raster.bytesPerLine() != qsizetype(layout.Width) * 4 ||
      !TIFFReadRGBAImageOriented(tif, layout.Width, layout.Height, reinterpret_cast<quint32 *>(raster.bits()),
                                 ORIENTATION_TOPLEFT, 0))
    return std::nullopt;
  if (layout.HasAlpha)
    return TDecodeResult{raster.convertToFormat(QImage::Format_ARGB32), PixelFormat32bppARGB};
  return TDecodeResult{raster.convertToFormat(QImage::Format_BGR888), PixelFormat24bppRGB};
}

// The decoder that keeps the file's own pixel layout, when one applies.
using TRowDecoder = std::optional<TDecodeResult> (*)(TIFF *, const TTiffLayout &);

TRowDecoder RowDecoderFor(const TTiffLayout &layout) {
  const bool plain = layout.SampleFormat == SAMPLEFORMAT_UINT || layout.SampleFormat == SAMPLEFORMAT_VOID;
  const bool contiguous = layout.Planar == PLANARCONFIG_CONTIG || layout.SamplesPerPixel == 1;
  const int bits = layout.BitsPerSample;
  if (!plain || !contiguous || layout.SamplesPerPixel > 8)
    return nullptr;
  const bool single = layout.SamplesPerPixel == 1;
  const bool palette = layout.Photometric == PHOTOMETRIC_PALETTE;
  if (bits == 1 && single && (IsGrey(layout) || palette))
    return DecodeBilevelOrOneBitPalette;
  if (IsGrey(layout) && (bits == 2 || bits == 4 || bits == 8 || bits == 16))
    return DecodeGrey;
  if (palette && single && bits >= 2 && bits <= 8)
    return DecodePalette;
  if (layout.Photometric == PHOTOMETRIC_RGB && (bits == 8 || bits == 16) &&
      layout.SamplesPerPixel >= (layout.HasAlpha ? 4 : 3))
    return DecodeRgb;
  return nullptr;
}

// Rows and columns in the order the orientation tag gives (the flips; the
// transposed orientations are read as stored), as libtiff's RGBA reader does.
QImage Oriented(const QImage &image, quint16 orientation) {
  switch (orientation) {
  case ORIENTATION_TOPRIGHT:
    return image.mirrored(true, false);
  case ORIENTATION_BOTRIGHT:
    return image.mirrored(true, true);
  case ORIENTATION_BOTLEFT:
    return image.mirrored(false, true);
  default:
    return image;
  }
}

std::optional<TDecodeResult> DecodeLayout(TIFF *tif, const TTiffLayout &layout, QString &reason) {
  const TRowDecoder decoder = RowDecoderFor(layout);
  if (!decoder)
    return DecodeThroughRgba(tif, layout, reason);
  std::optional<TDecodeResult> result = decoder(tif, layout);
  quint16 orientation = ORIENTATION_TOPLEFT;
  TIFFGetFieldDefaulted(tif, TIFFTAG_ORIENTATION, &orientation);
  if (result)
    result->Image = Oriented(result->Image, orientation);
  return result;
}

} // namespace

GpStatus DecodeTiff(const QString &fileName, TRaster &raster) {
  TTiffFile file;
  if (!file.OpenForReading(fileName))
    return GdipFail(UnknownImageFormat,
                    QStringLiteral("%1: not a readable TIFF file (%2)")
                        .arg(fileName, file.Error(QStringLiteral("libtiff could not open it"))));
  const TTiffLayout layout = ReadLayout(file.Handle());
  if (layout.Width == 0 || layout.Height == 0)
    return GdipFail(UnknownImageFormat, QStringLiteral("%1: the TIFF image has no pixels").arg(fileName));
  if (ExceedsPixelLimit(layout.Width, layout.Height))
    return GdipFail(ValueOverflow,
                    fileName + QStringLiteral(": ") + PixelLimitText(layout.Width, layout.Height));
  QString reason;
  const std::optional<TDecodeResult> decoded = DecodeLayout(file.Handle(), layout, reason);
  if (!decoded)
    return GdipFail(
        UnknownImageFormat,
        QStringLiteral("%1: cannot decode the TIFF image (%2)")
            .arg(fileName,
                 file.Error(reason.isEmpty() ? QStringLiteral("damaged data or out of memory") : reason)));
  raster.Pixels = decoded->Image;
  raster.Format = decoded->Format;
  ReadResolution(file.Handle(), raster);
  return Ok;
}

namespace {

// How an image is laid out in the file, and a function that fills one row.
struct TTiffWriteLayout {
  quint16 Photometric = PHOTOMETRIC_RGB;
  quint16 BitsPerSample = 8;
  quint16 SamplesPerPixel = 3;
  bool Alpha = false;
  QList<QRgb> ColourMap;
  std::function<void(int y, uchar *row)> FillRow;
};

bool IsBlackWhite(const QList<QRgb> &table, QRgb first, QRgb second) {
  return table.size() == 2 && (table[0] & 0xFFFFFF) == (first & 0xFFFFFF) &&
         (table[1] & 0xFFFFFF) == (second & 0xFFFFFF);
}

TTiffWriteLayout WriteLayoutFor(const QImage &image, PixelFormat format) {
  TTiffWriteLayout layout;
  const int width = image.width();
  switch (image.format()) {
  case QImage::Format_Mono: {
    layout.BitsPerSample = 1;
    layout.SamplesPerPixel = 1;
    const QList<QRgb> table = image.colorTable();
    if (IsBlackWhite(table, qRgb(255, 255, 255), qRgb(0, 0, 0)))
      layout.Photometric = PHOTOMETRIC_MINISWHITE;
    else if (IsBlackWhite(table, qRgb(0, 0, 0), qRgb(255, 255, 255)))
      layout.Photometric = PHOTOMETRIC_MINISBLACK;
    else
      layout.Photometric = PHOTOMETRIC_PALETTE, layout.ColourMap = table;
    const size_t bytes = size_t(width + 7) / 8;
    layout.FillRow = [&image, bytes](int y, uchar *row) { std::memcpy(row, image.constScanLine(y), bytes); };
    break;
  }
  case QImage::Format_Indexed8: {
    const int bits = format == PixelFormat4bppIndexed && image.colorCount() <= 16 ? 4 : 8;
    layout.Photometric = PHOTOMETRIC_PALETTE;
    layout.BitsPerSample = quint16(bits);
    layout.SamplesPerPixel = 1;
    layout.ColourMap = image.colorTable();
    layout.FillRow = [&image, width, bits](int y, uchar *row) {
      const uchar *in = image.constScanLine(y);
      if (bits == 8) {
        std::memcpy(row, in, size_t(width));
        return;
      }
      std::memset(row, 0, size_t(width + 1) / 2);
      for (int x = 0; x < width; ++x)
        row[x / 2] |= uchar((in[x] & 0x0F) << (x % 2 ? 0 : 4));
    };
    break;
  }
  case QImage::Format_Grayscale8:
  case QImage::Format_Grayscale16: {
    const size_t bytes = size_t(width) * image.depth() / 8;
    layout.Photometric = PHOTOMETRIC_MINISBLACK;
    layout.BitsPerSample = quint16(image.depth());
    layout.SamplesPerPixel = 1;
    layout.FillRow = [&image, bytes](int y, uchar *row) { std::memcpy(row, image.constScanLine(y), bytes); };
    break;
  }
  case QImage::Format_BGR888:
    layout.FillRow = [&image, width](int y, uchar *row) {
      const uchar *in = image.constScanLine(y);
      for (int x = 0; x < width; ++x, in += 3, row += 3)
        row[0] = in[2], row[1] = in[1], row[2] = in[0];
    };
    break;
  case QImage::Format_RGB32:
  case QImage::Format_ARGB32: {
    const bool alpha = image.format() == QImage::Format_ARGB32;
    layout.Alpha = alpha;
    layout.SamplesPerPixel = alpha ? 4 : 3;
    layout.FillRow = [&image, width, alpha](int y, uchar *row) {
      const auto *in = reinterpret_cast<const QRgb *>(image.constScanLine(y));
      for (int x = 0; x < width; ++x) {
        *row++ = uchar(qRed(in[x])), *row++ = uchar(qGreen(in[x])), *row++ = uchar(qBlue(in[x]));
        if (alpha)
          *row++ = uchar(qAlpha(in[x]));
      }
    };
    break;
  }
  case QImage::Format_RGBX64:
  case QImage::Format_RGBA64: {
    const bool alpha = image.format() == QImage::Format_RGBA64;
    layout.Alpha = alpha;
    layout.BitsPerSample = 16;
    layout.SamplesPerPixel = alpha ? 4 : 3;
    layout.FillRow = [&image, width, alpha](int y, uchar *bytes) {
      const auto *in = reinterpret_cast<const quint16 *>(image.constScanLine(y));
      auto *row = reinterpret_cast<quint16 *>(bytes);
      for (int x = 0; x < width; ++x, in += 4) {
        *row++ = in[0], *row++ = in[1], *row++ = in[2];
        if (alpha)
          *row++ = in[3];
      }
    };
    break;
  }
  default:
    break;
  }
  return layout;
}

// The image in a format WriteLayoutFor handles.
QImage WritableImage(const QImage &image) {
  switch (image.format()) {
  case QImage::Format_ARGB32_Premultiplied:
    return image.convertToFormat(QImage::Format_ARGB32);
  case QImage::Format_RGBA64_Premultiplied:
    return image.convertToFormat(QImage::Format_RGBA64);
  default:
    return ServicePixels(image);
  }
}

quint16 TiffCompression(const TTiffWriteLayout &layout, quint32 requested) {
  const bool bilevel = layout.BitsPerSample == 1 && layout.Photometric != PHOTOMETRIC_PALETTE;
  switch (requested) {
  case EncoderValueCompressionNone:
    return COMPRESSION_NONE;
  case EncoderValueCompressionLZW:
    return COMPRESSION_LZW;
  case EncoderValueCompressionCCITT3:
    return bilevel ? COMPRESSION_CCITTFAX3 : 0;
  case EncoderValueCompressionCCITT4:
    return bilevel ? COMPRESSION_CCITTFAX4 : 0;
  case EncoderValueCompressionRle:
    return bilevel ? COMPRESSION_CCITTRLE : COMPRESSION_PACKBITS;
  default:
    return bilevel ? COMPRESSION_CCITTFAX4 : COMPRESSION_LZW;
  }
}

void WriteTags(TIFF *tif, const QImage &image, const TTiffWriteLayout &layout, quint16 compression,
               float dpiX, float dpiY) {
  TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, quint32(image.width()));
  TIFFSetField(tif, TIFFTAG_IMAGELENGTH, quint32(image.height()));
  TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, layout.BitsPerSample);
  TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, layout.SamplesPerPixel);
  TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, layout.Photometric);
  TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(tif, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
  TIFFSetField(tif, TIFFTAG_COMPRESSION, compression);
  if (compression == COMPRESSION_LZW && layout.BitsPerSample >= 8 &&
      layout.Photometric != PHOTOMETRIC_PALETTE)
    TIFFSetField(tif, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
  if (compression == COMPRESSION_CCITTFAX3)
    TIFFSetField(tif, TIFFTAG_GROUP3OPTIONS, GROUP3OPT_FILLBITS);
  if (layout.Alpha) {
    const quint16 kind = EXTRASAMPLE_UNASSALPHA;
    TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, 1, &kind);
  }
  if (layout.Photometric == PHOTOMETRIC_PALETTE) {
    const size_t count = size_t(1) << layout.BitsPerSample;
    std::vector<quint16> red(count), green(count), blue(count);
    for (size_t i = 0; i < count && i < size_t(layout.ColourMap.size()); ++i) {
      red[i] = quint16(qRed(layout.ColourMap[qsizetype(i)]) * 257);
      green[i] = quint16(qGreen(layout.ColourMap[qsizetype(i)]) * 257);
      blue[i] = quint16(qBlue(layout.ColourMap[qsizetype(i)]) * 257);
    }
    TIFFSetField(tif, TIFFTAG_COLORMAP, red.data(), green.data(), blue.data());
  }
  TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(tif, 0));
  // Baseline readers expect a resolution; an image without one gets the
  // screen resolution its size is measured with elsewhere.
  const float screen = VellScreenResolution();
  TIFFSetField(tif, TIFFTAG_XRESOLUTION, dpiX > 0 ? dpiX : screen);
  TIFFSetField(tif, TIFFTAG_YRESOLUTION, dpiY > 0 ? dpiY : screen);
  TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
}

bool WriteRows(TIFF *tif, const QImage &image, const TTiffWriteLayout &layout) {
  const tmsize_t rowBytes = TIFFScanlineSize(tif);
  if (rowBytes <= 0)
    return false;
  std::vector<uchar> row(static_cast<size_t>(rowBytes));
  for (int y = 0; y < image.height(); ++y) {
    layout.FillRow(y, row.data());
    if (TIFFWriteScanline(tif, row.data(), quint32(y), 0) < 0)
      return false;
  }
  return true;
}

} // namespace

GpStatus EncodeTiff(const TRaster &raster, const QString &fileName, quint32 compression) {
  const QImage image = WritableImage(raster.Pixels);
  const TTiffWriteLayout layout = WriteLayoutFor(image, raster.Format);
  if (!layout.FillRow)
    return GdipFail(NotImplemented, QStringLiteral("the TIFF encoder cannot write this pixel format"));
  const quint16 scheme = TiffCompression(layout, compression);
  if (scheme == 0)
    return GdipFail(InvalidParameter, QStringLiteral("CCITT compression needs a black-and-white image"));
  QSaveFile file(fileName);
  if (!file.open(QIODevice::WriteOnly))
    return GdipFail(Win32Error, QStringLiteral("cannot create %1: %2").arg(fileName, file.errorString()));
  const int fd = ::dup(file.handle());
  // Classic TIFF offsets end at 4 GiB; far larger images go to BigTIFF.
  const qint64 rawBytes =
      qint64(image.width()) * image.height() * layout.BitsPerSample * layout.SamplesPerPixel / 8;
  const bool bigTiff = rawBytes > (qint64(3) << 30);
  TTiffFile tiff;
  if (fd < 0 || !tiff.OpenForWriting(fd, fileName, bigTiff)) {
    if (fd >= 0)
      ::close(fd);
    return GdipFail(Win32Error, QStringLiteral("cannot write %1: %2")
                                    .arg(fileName, tiff.Error(QStringLiteral("libtiff could not open it"))));
  }
  WriteTags(tiff.Handle(), image, layout, scheme, raster.DpiX, raster.DpiY);
  const bool written = WriteRows(tiff.Handle(), image, layout);
  const bool finished = tiff.Finish();
  if (!written || !finished)
    return GdipFail(
        Win32Error,
        QStringLiteral("cannot write %1: %2").arg(fileName, tiff.Error(QStringLiteral("writing failed"))));
  if (!file.commit())
    return GdipFail(Win32Error, QStringLiteral("cannot write %1: %2").arg(fileName, file.errorString()));
  return Ok;
}
