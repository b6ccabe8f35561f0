// TIFF decoding and encoding with libtiff.
//
// Decoding keeps what the file holds where QImage has a matching format
// (bilevel, grey 2-16 bits, palettes, RGB and RGBA of 8 and 16 bits), reads
// planar files as interleaved rows, converts CMYK and CIE L*a*b* to sRGB
// through LittleCMS, scales 32-bit integer and float samples to 8 bits, turns
// 16-bit palettes into RGB, and hands every other kind libtiff understands
// (YCbCr, old JPEG, LogLuv, ...) to libtiff's RGBA reader. Any page can be
// read; orientation is applied.
// Encoding writes one or several pages of classic TIFF (BigTIFF for a first
// page beyond 3 GiB) with the resolution tags: for the service CCITT Group 4
// for bilevel images and LZW (with the horizontal predictor for 8/16-bit
// samples) for everything else; EncodeTiffImage takes the caller's storage.
#include "imaging/VellTiffCodec.h"
#include "imaging/VellColorConvert.h"
#include "imaging/VellPixelPool.h"
#include "imaging/VellResample.h"
#include "imaging/VellTiffLzw.h"

#include <QIODevice>
#include <QtEndian>

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <functional>
#include <tiffio.h>
#include <vector>

static_assert(Q_BYTE_ORDER == Q_LITTLE_ENDIAN, "the RGBA raster of libtiff is read as RGBA8888 bytes");

namespace {

// The size of the strips the encoder writes.
constexpr tmsize_t StripBytes = 128 * 1024;

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

// libtiff's client procedures on a QIODevice; offsets are relative to where
// the device stood when the file was opened.
struct TDeviceClient {
  QIODevice *Device;
  qint64 Start;
};

TDeviceClient &ClientOf(thandle_t handle) {
  return *static_cast<TDeviceClient *>(handle);
}

tmsize_t ReadDevice(thandle_t handle, void *buffer, tmsize_t size) {
  // A short read counts what arrived; never a negative count.
  return tmsize_t(std::max<qint64>(0, ClientOf(handle).Device->read(static_cast<char *>(buffer), size)));
}

tmsize_t WriteDevice(thandle_t handle, void *buffer, tmsize_t size) {
  return tmsize_t(ClientOf(handle).Device->write(static_cast<const char *>(buffer), size));
}

toff_t SeekDevice(thandle_t handle, toff_t offset, int whence) {
  TDeviceClient &client = ClientOf(handle);
  qint64 base = client.Start;
  if (whence == SEEK_CUR)
    base = client.Device->pos();
  else if (whence == SEEK_END)
    base = client.Device->size();
  const qint64 target = base + qint64(offset);
  if (target < client.Start || !client.Device->seek(target))
    return toff_t(-1);
  return toff_t(target - client.Start);
}

int CloseDevice(thandle_t) {
  return 0;
}

toff_t DeviceSize(thandle_t handle) {
  const TDeviceClient &client = ClientOf(handle);
  return toff_t(std::max<qint64>(0, client.Device->size() - client.Start));
}

int NoMapping(thandle_t, void **, toff_t *) {
  return 0;
}

void NoUnmapping(thandle_t, void *, toff_t) {}

// An open TIFF file on a device that closes itself (the device stays open).
class TTiffFile {
public:
  TTiffFile() = default;
  TTiffFile(const TTiffFile &) = delete;
  TTiffFile &operator=(const TTiffFile &) = delete;
  ~TTiffFile() { Close(); }

  bool OpenForReading(QIODevice &device) { return Open(device, "rm"); }
  bool OpenForWriting(QIODevice &device, bool bigTiff) { return Open(device, bigTiff ? "w8m" : "wm"); }
  // Flushes and closes; false when anything failed on the way.
  bool Finish() {
    const bool flushed = FHandle && TIFFFlush(FHandle) == 1;
    Close();
    return flushed && FMessages.FirstError.isEmpty();
  }

  TIFF *Handle() const { return FHandle; }
  bool HasError() const { return !FMessages.FirstError.isEmpty(); }
  // Forgets the errors reported so far (those of reading the directory).
  void ClearError() { FMessages.FirstError.clear(); }
  QString Error(const QString &fallback) const {
    return FMessages.FirstError.isEmpty() ? fallback : FMessages.FirstError;
  }

private:
  bool Open(QIODevice &device, const char *mode) {
    FClient = {&device, device.pos()};
    TIFFOpenOptions *options = TIFFOpenOptionsAlloc();
    TIFFOpenOptionsSetMaxSingleMemAlloc(options, MaxLibtiffAllocation);
    TIFFOpenOptionsSetErrorHandlerExtR(options, RecordError, &FMessages);
    TIFFOpenOptionsSetWarningHandlerExtR(options, IgnoreWarning, nullptr);
    FHandle = TIFFClientOpenExt("TIFF", mode, &FClient, ReadDevice, WriteDevice, SeekDevice, CloseDevice,
                                DeviceSize, NoMapping, NoUnmapping, options);
    TIFFOpenOptionsFree(options);
    return FHandle != nullptr;
  }
  void Close() {
    if (FHandle)
      TIFFClose(FHandle);
    FHandle = nullptr;
  }

  TIFF *FHandle = nullptr;
  TDeviceClient FClient{};
  TTiffMessages FMessages;
};

// What the selected directory of a file says about its pixels.
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
  quint16 Orientation = ORIENTATION_TOPLEFT;
};

TTiffLayout ReadLayout(TIFF *tif) {
  TTiffLayout layout;
  TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &layout.Width);
  TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &layout.Height);
  TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &layout.SamplesPerPixel);
  TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &layout.BitsPerSample);
  TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &layout.Planar);
  TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLEFORMAT, &layout.SampleFormat);
  TIFFGetFieldDefaulted(tif, TIFFTAG_ORIENTATION, &layout.Orientation);
  if (layout.Orientation < ORIENTATION_TOPLEFT || layout.Orientation > ORIENTATION_LEFTBOT)
    layout.Orientation = ORIENTATION_TOPLEFT;
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
void ReadResolution(TIFF *tif, float &dpiX, float &dpiY) {
  float x = 0, y = 0;
  quint16 unit = RESUNIT_INCH;
  const bool hasX = TIFFGetField(tif, TIFFTAG_XRESOLUTION, &x) == 1;
  const bool hasY = TIFFGetField(tif, TIFFTAG_YRESOLUTION, &y) == 1;
  TIFFGetFieldDefaulted(tif, TIFFTAG_RESOLUTIONUNIT, &unit);
  const double perInch = unit == RESUNIT_CENTIMETER ? 2.54 : unit == RESUNIT_INCH ? 1.0 : 0.0;
  auto dpi = [&](double value) { return std::isfinite(value) && value > 0 ? float(value * perInch) : 0.0f; };
  dpiX = dpi(hasX ? x : hasY ? y : 0);
  dpiY = dpi(hasY ? y : hasX ? x : 0);
}

// The embedded ICC colour profile, empty when there is none.
QByteArray IccProfileOf(TIFF *tif) {
  quint32 length = 0;
  const void *data = nullptr;
  if (!TIFFGetField(tif, TIFFTAG_ICCPROFILE, &length, &data) || !data)
    return {};
  return QByteArray(static_cast<const char *>(data), qsizetype(length));
}

using TRowConsumer = std::function<void(quint32, const uchar *)>;

// Rows per strip of an image of height rows.
quint32 StripRows(TIFF *tif, quint32 height) {
  quint32 rowsPerStrip = 0;
  TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &rowsPerStrip);
  return std::min(rowsPerStrip, height);
}

// Whether a strip fits the working memory the batch run allows for strips.
// Such strips are read whole (libtiff then inflates Deflate strips with
// libdeflate, about 2.5 times faster than row by row) and LZW ones are written
// whole by our compressor; larger strips are streamed row by row.
bool StripFitsInMemory(TIFF *tif, quint32 height, tmsize_t rowBytes) {
  constexpr qint64 StripMemory = qint64(16) << 20;
  return qint64(StripRows(tif, height)) * std::max<tmsize_t>(0, rowBytes) <= StripMemory;
}

// Rows of a contiguous strip image, scanline by scanline.
bool ForEachScanline(TIFF *tif, const TTiffLayout &layout, tmsize_t rowBytes, const TRowConsumer &consume) {
  std::vector<uchar> row(static_cast<size_t>(rowBytes));
  for (quint32 y = 0; y < layout.Height; ++y) {
    if (TIFFReadScanline(tif, row.data(), y, 0) < 0)
      return false;
    consume(y, row.data());
  }
  return true;
}

// The rows from top of one plane (0 for contiguous files) into band, rowBytes
// apart: one strip, or one row of tiles.
class TBandReader {
public:
  TBandReader(TIFF *tif, const TTiffLayout &layout, quint16 samplesInRow, tmsize_t rowBytes)
      : FTif(tif), FLayout(layout), FRowBytes(rowBytes),
        FBitsPerPixel(quint64(layout.BitsPerSample) * samplesInRow) {
    if (TIFFIsTiled(tif)) {
      TIFFGetField(tif, TIFFTAG_TILEWIDTH, &FTileWidth);
      TIFFGetField(tif, TIFFTAG_TILELENGTH, &FBandRows);
      const tmsize_t tileBytes = TIFFTileSize(tif);
      FTileRowBytes = TIFFTileRowSize(tif);
      if (FTileWidth > 0 && FBandRows > 0 && tileBytes > 0 && FTileRowBytes > 0 &&
          !ExceedsPixelLimit(FTileWidth, FBandRows))
        FTile.resize(size_t(tileBytes));
    } else {
      TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &FBandRows);
    }
  }

  // Rows in a band; 0 when the file's tiling cannot be read.
  quint32 BandRows() const {
    if (TIFFIsTiled(FTif) && FTile.empty())
      return 0;
    return std::min(FBandRows, FLayout.Height);
  }

  bool Read(quint32 top, quint32 rows, quint16 plane, uchar *band) {
    if (!TIFFIsTiled(FTif)) {
      const tmsize_t bytes = tmsize_t(rows) * FRowBytes;
      return TIFFReadEncodedStrip(FTif, TIFFComputeStrip(FTif, top, plane), band, bytes) == bytes;
    }
    for (quint32 left = 0; left < FLayout.Width; left += FTileWidth) {
      if (TIFFReadTile(FTif, FTile.data(), left, top, 0, plane) < 0)
        return false;
      const tmsize_t offset = tmsize_t(left * FBitsPerPixel / 8);
      const tmsize_t bytes = std::min(FTileRowBytes, FRowBytes - offset);
      for (quint32 r = 0; r < rows; ++r)
        std::memcpy(band + r * FRowBytes + offset, FTile.data() + r * FTileRowBytes, size_t(bytes));
    }
    return true;
  }

private:
  TIFF *FTif;
  const TTiffLayout &FLayout;
  tmsize_t FRowBytes;
  quint64 FBitsPerPixel;
  quint32 FTileWidth = 0;
  quint32 FBandRows = 0;
  tmsize_t FTileRowBytes = 0;
  std::vector<uchar> FTile;
};

// Samples of one row of every plane side by side, as a contiguous file
// stores them; planar layouts read here have whole-byte samples.
void Interleave(const uchar *planes, size_t planeBytes, int planeCount, size_t sampleBytes, size_t width,
                uchar *row) {
  for (size_t x = 0; x < width; ++x)
    for (int p = 0; p < planeCount; ++p, row += sampleBytes)
      std::memcpy(row, planes + size_t(p) * planeBytes + x * sampleBytes, sampleBytes);
}

// Calls consume(y, row) for every row, the samples of a pixel side by side
// as libtiff delivers contiguous scanlines, from strips or tiles, contiguous
// or planar files alike.
bool ForEachRow(TIFF *tif, const TTiffLayout &layout, const TRowConsumer &consume) {
  const tmsize_t planeRowBytes = TIFFScanlineSize(tif);
  if (planeRowBytes <= 0 || planeRowBytes > MaxLibtiffAllocation)
    return false;
  const bool planar = layout.Planar == PLANARCONFIG_SEPARATE && layout.SamplesPerPixel > 1;
  if (!planar && !TIFFIsTiled(tif) && !StripFitsInMemory(tif, layout.Height, planeRowBytes))
    return ForEachScanline(tif, layout, planeRowBytes, consume);
  const int planes = planar ? layout.SamplesPerPixel : 1;
  const size_t sampleBytes = layout.BitsPerSample / 8;
  if (planar && (sampleBytes == 0 || size_t(planeRowBytes) != layout.Width * sampleBytes))
    return false;
  TBandReader reader(tif, layout, planar ? 1 : layout.SamplesPerPixel, planeRowBytes);
  const quint32 bandRows = reader.BandRows();
  if (bandRows == 0)
    return false;
  const size_t planeBytes = size_t(planeRowBytes) * bandRows;
  std::vector<uchar> bands(planeBytes * size_t(planes));
  std::vector<uchar> row(planar ? size_t(planeRowBytes) * size_t(planes) : 0);
  for (quint32 top = 0; top < layout.Height; top += bandRows) {
    const quint32 rows = std::min(bandRows, layout.Height - top);
    for (int p = 0; p < planes; ++p)
      if (!reader.Read(top, rows, quint16(p), bands.data() + size_t(p) * planeBytes))
        return false;
    for (quint32 r = 0; r < rows; ++r) {
      const uchar *first = bands.data() + size_t(r) * size_t(planeRowBytes);
      if (planar)
        Interleave(first, planeBytes, planes, sampleBytes, layout.Width, row.data());
      consume(top + r, planar ? row.data() : first);
    }
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

// A new image for decoded pixels; running out of memory throws, so that a
// failed decode names one cause.
QImage NewPixels(const TTiffLayout &layout, QImage::Format format) {
  QImage image = TVellPixelPool::NewImage(int(layout.Width), int(layout.Height), format);
  if (image.isNull())
    throw std::bad_alloc();
  return image;
}

QImage DecodeBilevelOrOneBitPalette(TIFF *tif, const TTiffLayout &layout) {
  QImage image = NewPixels(layout, QImage::Format_Mono);
  if (layout.Photometric == PHOTOMETRIC_PALETTE)
    image.setColorTable(TiffColourMap(tif, 1));
  else if (layout.Photometric == PHOTOMETRIC_MINISWHITE)
    image.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
  else
    image.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
  if (image.colorCount() != 2)
    return {};
  const size_t bytes = (layout.Width + 7) / 8;
  const bool ok = ForEachRow(
      tif, layout, [&](quint32 y, const uchar *row) { std::memcpy(image.scanLine(int(y)), row, bytes); });
  return ok ? image : QImage();
}

QImage DecodeGrey(TIFF *tif, const TTiffLayout &layout) {
  const bool invert = layout.Photometric == PHOTOMETRIC_MINISWHITE;
  const int bits = layout.BitsPerSample;
  if (bits == 16) {
    QImage image = NewPixels(layout, QImage::Format_Grayscale16);
    const bool ok = ForEachRow(tif, layout, [&](quint32 y, const uchar *row) {
      auto *out = reinterpret_cast<quint16 *>(image.scanLine(int(y)));
      std::memcpy(out, row, layout.Width * 2);
      if (invert)
        for (quint32 x = 0; x < layout.Width; ++x)
          out[x] = quint16(0xFFFF - out[x]);
    });
    return ok ? image : QImage();
  }
  QImage image = NewPixels(layout, QImage::Format_Grayscale8);
  const uint maximum = (1u << bits) - 1;
  const bool ok = ForEachRow(tif, layout, [&](quint32 y, const uchar *row) {
    uchar *out = image.scanLine(int(y));
    if (bits == 8 && !invert) {
      std::memcpy(out, row, layout.Width);
      return;
    }
    for (quint32 x = 0; x < layout.Width; ++x) {
      const uint level = PackedSample(row, x, bits) * 255 / maximum;
      out[x] = uchar(invert ? 255 - level : level);
    }
  });
  return ok ? image : QImage();
}

QImage DecodePalette(TIFF *tif, const TTiffLayout &layout) {
  const int bits = layout.BitsPerSample;
  const QList<QRgb> colours = TiffColourMap(tif, bits);
  if (colours.isEmpty())
    return {};
  QImage image = NewPixels(layout, QImage::Format_Indexed8);
  image.setColorTable(colours);
  const bool ok = ForEachRow(tif, layout, [&](quint32 y, const uchar *row) {
    uchar *out = image.scanLine(int(y));
    for (quint32 x = 0; x < layout.Width; ++x)
      out[x] = uchar(PackedSample(row, x, bits));
  });
  return ok ? image : QImage();
}

// Contiguous RGB with 8 or 16 bits per sample, with or without alpha.
QImage DecodeRgb(TIFF *tif, const TTiffLayout &layout) {
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
  QImage image = NewPixels(layout, read);
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
    } else if (samples == 3) {
      TVellResample::SwapRedBlue(row, out, layout.Width);
    } else {
      for (quint32 x = 0; x < layout.Width; ++x, row += samples, out += 3)
        out[0] = row[2], out[1] = row[1], out[2] = row[0];
    }
  });
  if (!ok)
    return {};
  if (!alpha)
    return image;
  return image.convertToFormat(wide ? QImage::Format_RGBA64 : QImage::Format_ARGB32);
}

// One 32-bit sample as 8 bits: unsigned integers by their top bits, signed
// ones likewise over their non-negative range (negative values are black),
// floats from 0.0-1.0, clamped.
uchar Level8(const uchar *row, size_t index, quint16 sampleFormat) {
  const uchar *at = row + index * 4;
  if (sampleFormat == SAMPLEFORMAT_IEEEFP) {
    const float value = qFromUnaligned<float>(at);
    return value > 0 ? uchar(std::lround(std::min(value, 1.0f) * 255)) : 0; // NaN is black too
  }
  if (sampleFormat == SAMPLEFORMAT_INT) {
    const qint32 value = qFromUnaligned<qint32>(at);
    return value > 0 ? uchar(value >> 23) : 0;
  }
  return uchar(qFromUnaligned<quint32>(at) >> 24);
}

// Grey or RGB(A) with 32-bit integer or float samples, scaled to 8 bits.
QImage DecodeScaled(TIFF *tif, const TTiffLayout &layout) {
  const bool grey = IsGrey(layout);
  const bool invert = layout.Photometric == PHOTOMETRIC_MINISWHITE;
  const bool alpha = !grey && layout.HasAlpha;
  const bool premultiplied = layout.Alpha == EXTRASAMPLE_ASSOCALPHA;
  const size_t samples = layout.SamplesPerPixel;
  const quint16 format = layout.SampleFormat;
  QImage image = NewPixels(layout, grey            ? QImage::Format_Grayscale8
                                   : !alpha        ? QImage::Format_BGR888
                                   : premultiplied ? QImage::Format_ARGB32_Premultiplied
                                                   : QImage::Format_ARGB32);
  const bool ok = ForEachRow(tif, layout, [&](quint32 y, const uchar *row) {
    uchar *out = image.scanLine(int(y));
    for (size_t x = 0, first = 0; x < layout.Width; ++x, first += samples) {
      if (grey) {
        const uchar level = Level8(row, first, format);
        out[x] = invert ? uchar(255 - level) : level;
      } else if (alpha) {
        reinterpret_cast<QRgb *>(out)[x] =
            qRgba(Level8(row, first, format), Level8(row, first + 1, format), Level8(row, first + 2, format),
                  Level8(row, first + 3, format));
      } else {
        for (size_t c = 0; c < 3; ++c)
          out[3 * x + 2 - c] = Level8(row, first + c, format);
      }
    }
  });
  if (!ok)
    return {};
  return premultiplied && alpha ? image.convertToFormat(QImage::Format_ARGB32) : image;
}

// Palettes of 16-bit indices: more colours than an indexed image holds, so
// the colours themselves.
QImage DecodeWidePalette(TIFF *tif, const TTiffLayout &layout) {
  const QList<QRgb> colours = TiffColourMap(tif, 16);
  if (colours.isEmpty())
    return {};
  QImage image = NewPixels(layout, QImage::Format_BGR888);
  const bool ok = ForEachRow(tif, layout, [&](quint32 y, const uchar *row) {
    uchar *out = image.scanLine(int(y));
    for (quint32 x = 0; x < layout.Width; ++x, out += 3) {
      const QRgb colour = colours[qFromUnaligned<quint16>(row + 2 * size_t(x))];
      out[0] = uchar(qBlue(colour)), out[1] = uchar(qGreen(colour)), out[2] = uchar(qRed(colour));
    }
  });
  return ok ? image : QImage();
}

// CMYK of 8 or 16 bits as sRGB, through the file's profile when it has one.
QImage DecodeCmyk(TIFF *tif, const TTiffLayout &layout) {
  const TCmykToBgr convert(IccProfileOf(tif), layout.BitsPerSample);
  QImage image = NewPixels(layout, QImage::Format_BGR888);
  const bool ok = ForEachRow(tif, layout, [&](quint32 y, const uchar *row) {
    convert.Convert(row, image.scanLine(int(y)), layout.Width);
  });
  return ok ? image : QImage();
}

// CIE L*a*b* of 8 or 16 bits as sRGB, relative to the file's white point.
QImage DecodeLab(TIFF *tif, const TTiffLayout &layout) {
  float *white = nullptr;
  if (!TIFFGetFieldDefaulted(tif, TIFFTAG_WHITEPOINT, &white) || !white)
    return {};
  const TLabToBgr convert(layout.BitsPerSample, white[0], white[1]);
  if (!convert.IsValid())
    return {};
  QImage image = NewPixels(layout, QImage::Format_BGR888);
  const bool ok = ForEachRow(tif, layout, [&](quint32 y, const uchar *row) {
    convert.Convert(row, image.scanLine(int(y)), layout.Width);
  });
  return ok ? image : QImage();
}

// libtiff's RGBA reader flips rows and columns for the orientations it knows
// (2-4) and treats the transposed ones (5-8) as their flipped partner; asking
// for that partner gives the raster as stored.
quint16 StoredOrder(quint16 orientation) {
  return orientation >= ORIENTATION_LEFTTOP && orientation <= ORIENTATION_LEFTBOT ? quint16(orientation - 4)
         : orientation >= ORIENTATION_TOPLEFT && orientation <= ORIENTATION_BOTLEFT
             ? orientation
             : quint16(ORIENTATION_TOPLEFT);
}

// Everything else libtiff can turn into RGBA: CMYK, YCbCr, JPEG, CIE Lab,
// planar files, grey with alpha, ...
QImage DecodeThroughRgba(TIFF *tif, const TTiffLayout &layout) {
  QImage raster = NewPixels(layout, QImage::Format_RGBA8888_Premultiplied);
  // The libtiff raster is packed ABGR words, that is R, G, B, A bytes here.
  if (raster.bytesPerLine() != qsizetype(layout.Width) * 4 ||
      !TIFFReadRGBAImageOriented(tif, layout.Width, layout.Height, reinterpret_cast<quint32 *>(raster.bits()),
                                 StoredOrder(layout.Orientation), 0))
    return {};
  return raster.convertToFormat(layout.HasAlpha ? QImage::Format_ARGB32 : QImage::Format_BGR888);
}

// JPEG-compressed YCbCr as RGB rows, converted by the JPEG codec itself as
// libtiff's RGBA reader would have it do, without the RGBA raster.
QImage DecodeJpegAsRgb(TIFF *tif, const TTiffLayout &layout) {
  if (!TIFFSetField(tif, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB))
    return {};
  TTiffLayout rgb = layout;
  rgb.Photometric = PHOTOMETRIC_RGB;
  return DecodeRgb(tif, rgb);
}

bool IsJpegYCbCr(TIFF *tif, const TTiffLayout &layout) {
  quint16 compression = COMPRESSION_NONE;
  TIFFGetField(tif, TIFFTAG_COMPRESSION, &compression);
  return compression == COMPRESSION_JPEG && layout.Photometric == PHOTOMETRIC_YCBCR &&
         layout.BitsPerSample == 8 && layout.SamplesPerPixel == 3 && layout.Planar == PLANARCONFIG_CONTIG &&
         !TIFFIsTiled(tif);
}

// How a layout is decoded and the pixel format that gives; no decoder, with
// the reason, for layouts nothing here reads.
struct TDecodePath {
  QImage (*Decoder)(TIFF *, const TTiffLayout &) = nullptr;
  PixelFormat Format = PixelFormatDontCare;
  QString Refusal;
};

bool IsUnsignedInteger(const TTiffLayout &layout) {
  return layout.SampleFormat == SAMPLEFORMAT_UINT || layout.SampleFormat == SAMPLEFORMAT_VOID;
}

bool IsCmyk(TIFF *tif, const TTiffLayout &layout) {
  quint16 inks = INKSET_CMYK;
  TIFFGetFieldDefaulted(tif, TIFFTAG_INKSET, &inks);
  return layout.Photometric == PHOTOMETRIC_SEPARATED && inks == INKSET_CMYK && layout.SamplesPerPixel == 4;
}

// The decoders for unsigned integer samples.
TDecodePath IntegerPath(TIFF *tif, const TTiffLayout &layout) {
  const int bits = layout.BitsPerSample;
  const bool single = layout.SamplesPerPixel == 1;
  const bool palette = layout.Photometric == PHOTOMETRIC_PALETTE;
  if (bits == 1 && single && (IsGrey(layout) || palette))
    return {DecodeBilevelOrOneBitPalette, PixelFormat1bppIndexed, {}};
  if (IsGrey(layout) && (bits == 2 || bits == 4 || bits == 8))
    return {DecodeGrey, PixelFormat8bppIndexed, {}};
  if (IsGrey(layout) && bits == 16)
    return {DecodeGrey, PixelFormat16bppGrayScale, {}};
  if (palette && single && bits >= 2 && bits <= 8)
    return {DecodePalette, bits <= 4 ? PixelFormat4bppIndexed : PixelFormat8bppIndexed, {}};
  if (palette && single && bits == 16)
    return {DecodeWidePalette, PixelFormat24bppRGB, {}};
  if (IsCmyk(tif, layout) && (bits == 8 || bits == 16))
    return {DecodeCmyk, PixelFormat24bppRGB, {}};
  if (layout.Photometric == PHOTOMETRIC_CIELAB && layout.SamplesPerPixel == 3 && (bits == 8 || bits == 16))
    return {DecodeLab, PixelFormat24bppRGB, {}};
  if (layout.Photometric == PHOTOMETRIC_RGB && (bits == 8 || bits == 16) &&
      layout.SamplesPerPixel >= (layout.HasAlpha ? 4 : 3)) {
    if (bits == 16)
      return {DecodeRgb, layout.HasAlpha ? PixelFormat64bppARGB : PixelFormat48bppRGB, {}};
    return {DecodeRgb, layout.HasAlpha ? PixelFormat32bppARGB : PixelFormat24bppRGB, {}};
  }
  return {};
}

TDecodePath PathFor(TIFF *tif, const TTiffLayout &layout) {
  if (IsJpegYCbCr(tif, layout))
    return {DecodeJpegAsRgb, PixelFormat24bppRGB, {}};
  const int bits = layout.BitsPerSample;
  // Planar files are read as rows of whole-byte samples side by side.
  const bool rowsReadable =
      (layout.Planar == PLANARCONFIG_CONTIG || layout.SamplesPerPixel == 1 || bits % 8 == 0) &&
      layout.SamplesPerPixel <= 8;
  if (rowsReadable && IsUnsignedInteger(layout))
    if (TDecodePath path = IntegerPath(tif, layout); path.Decoder)
      return path;
  const bool rgb =
      layout.Photometric == PHOTOMETRIC_RGB && layout.SamplesPerPixel >= (layout.HasAlpha ? 4 : 3);
  if (rowsReadable && bits == 32 && (IsGrey(layout) || rgb))
    return {DecodeScaled,
            IsGrey(layout)    ? PixelFormat8bppIndexed
            : layout.HasAlpha ? PixelFormat32bppARGB
                              : PixelFormat24bppRGB,
            {}};
  char message[1024] = {};
  if (!TIFFRGBAImageOK(tif, message))
    return {nullptr, PixelFormatDontCare, QString::fromUtf8(message)};
  return {DecodeThroughRgba, layout.HasAlpha ? PixelFormat32bppARGB : PixelFormat24bppRGB, {}};
}

// The image turned upright: rows and columns in the order the orientation
// tag gives, the transposed orientations (5-8) turned by a quarter.
QImage Upright(const QImage &image, quint16 orientation) {
  switch (orientation) {
  case ORIENTATION_TOPRIGHT:
    return image.mirrored(true, false);
  case ORIENTATION_BOTRIGHT:
    return image.mirrored(true, true);
  case ORIENTATION_BOTLEFT:
    return image.mirrored(false, true);
  case ORIENTATION_LEFTTOP:
    return image.transformed(QTransform().rotate(90)).mirrored(true, false);
  case ORIENTATION_RIGHTTOP:
    return image.transformed(QTransform().rotate(90));
  case ORIENTATION_RIGHTBOT:
    return image.transformed(QTransform().rotate(90)).mirrored(false, true);
  case ORIENTATION_LEFTBOT:
    return image.transformed(QTransform().rotate(270));
  default:
    return image;
  }
}

bool IsTurned(quint16 orientation) {
  return orientation >= ORIENTATION_LEFTTOP && orientation <= ORIENTATION_LEFTBOT;
}

// The resolution along the axes of the upright image.
void ReadUprightResolution(TIFF *tif, const TTiffLayout &layout, float &dpiX, float &dpiY) {
  if (IsTurned(layout.Orientation))
    ReadResolution(tif, dpiY, dpiX);
  else
    ReadResolution(tif, dpiX, dpiY);
}

// Opens the device and selects image page; the failure recorded otherwise.
GpStatus OpenPage(QIODevice &device, quint32 page, TTiffFile &file, quint32 &pageCount) {
  if (!file.OpenForReading(device))
    return RecordFailure(UnknownImageFormat,
                         QStringLiteral("not a readable TIFF file (%1)")
                             .arg(file.Error(QStringLiteral("libtiff could not open it"))));
  pageCount = TIFFNumberOfDirectories(file.Handle());
  if (page >= pageCount)
    return RecordFailure(
        InvalidParameter,
        QStringLiteral("the TIFF file has %1 pages, no page %2").arg(pageCount).arg(page + 1));
  if (page > 0 && !TIFFSetDirectory(file.Handle(), tdir_t(page)))
    return RecordFailure(UnknownImageFormat, QStringLiteral("cannot read page %1 (%2)")
                                                 .arg(page + 1)
                                                 .arg(file.Error(QStringLiteral("damaged directory"))));
  return Ok;
}

// The layout of the selected page, refused when it has no pixels or too many.
GpStatus CheckedLayout(TIFF *tif, TTiffLayout &layout) {
  layout = ReadLayout(tif);
  if (layout.Width == 0 || layout.Height == 0)
    return RecordFailure(UnknownImageFormat, QStringLiteral("the TIFF image has no pixels"));
  if (ExceedsPixelLimit(layout.Width, layout.Height))
    return RecordFailure(ValueOverflow, PixelLimitText(layout.Width, layout.Height));
  return Ok;
}

// A failed pixel decode with libtiff's reason, told apart: memory libtiff
// could not (or may not) allocate, or damaged data.
GpStatus PixelFailure(const QString &reason) {
  const bool memory = reason.contains(QLatin1String("memory"), Qt::CaseInsensitive) ||
                      reason.contains(QLatin1String("allocat"), Qt::CaseInsensitive) ||
                      reason.contains(QLatin1String("No space"), Qt::CaseInsensitive);
  if (memory)
    return RecordFailure(OutOfMemory,
                         QStringLiteral("not enough memory to decode the TIFF image (%1)").arg(reason));
  return RecordFailure(UnknownImageFormat, QStringLiteral("damaged TIFF image data (%1)").arg(reason));
}

GpStatus ReadTiffHeader(QIODevice &device, quint32 page, ImageHeader &header) {
  TTiffFile file;
  quint32 pageCount = 0;
  if (GpStatus status = OpenPage(device, page, file, pageCount); status != Ok)
    return status;
  const TTiffLayout layout = ReadLayout(file.Handle());
  const bool turned = IsTurned(layout.Orientation);
  header.Width = turned ? layout.Height : layout.Width;
  header.Height = turned ? layout.Width : layout.Height;
  ReadUprightResolution(file.Handle(), layout, header.DpiX, header.DpiY);
  header.PixelFormat = PathFor(file.Handle(), layout).Format;
  header.PageCount = pageCount;
  header.Orientation = layout.Orientation;
  return Ok;
}

GpStatus DecodeTiff(QIODevice &device, quint32 page, TRaster &raster) {
  TTiffFile file;
  quint32 pageCount = 0;
  if (GpStatus status = OpenPage(device, page, file, pageCount); status != Ok)
    return status;
  TTiffLayout layout;
  if (GpStatus status = CheckedLayout(file.Handle(), layout); status != Ok)
    return status;
  const TDecodePath path = PathFor(file.Handle(), layout);
  if (!path.Decoder)
    return RecordFailure(UnknownImageFormat,
                         QStringLiteral("cannot decode this kind of TIFF image (%1)").arg(path.Refusal));
  // Errors reading the directory are warnings in effect; from here on any
  // error means damaged pixel data, even where libtiff went on decoding.
  file.ClearError();
  const QImage decoded = path.Decoder(file.Handle(), layout);
  if (decoded.isNull() || file.HasError())
    return PixelFailure(file.Error(QStringLiteral("libtiff could not read the pixels")));
  raster.Pixels = Upright(decoded, layout.Orientation);
  raster.Format = path.Format;
  ReadUprightResolution(file.Handle(), layout, raster.DpiX, raster.DpiY);
  // CMYK and Lab pixels are sRGB now; their profile no longer describes them.
  const bool converted =
      layout.Photometric == PHOTOMETRIC_SEPARATED || layout.Photometric == PHOTOMETRIC_CIELAB;
  raster.IccProfile = converted ? QByteArray() : IccProfileOf(file.Handle());
  return Ok;
}

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
    if (format == PixelFormat4bppIndexed) { // grey levels stored in 4 bits
      layout.Photometric = PHOTOMETRIC_MINISBLACK;
      layout.BitsPerSample = 4;
      layout.SamplesPerPixel = 1;
      layout.FillRow = [&image, width](int y, uchar *row) {
        const uchar *in = image.constScanLine(y);
        std::memset(row, 0, size_t(width + 1) / 2);
        for (int x = 0; x < width; ++x)
          row[x / 2] |= uchar((in[x] * 15 + 127) / 255 << (x % 2 ? 0 : 4));
      };
      break;
    }
    [[fallthrough]];
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
      TVellResample::SwapRedBlue(image.constScanLine(y), row, size_t(width));
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

bool IsBilevel(const TTiffWriteLayout &layout) {
  return layout.BitsPerSample == 1 && layout.Photometric != PHOTOMETRIC_PALETTE;
}

quint16 TiffCompression(const TTiffWriteLayout &layout, quint32 requested) {
  const bool bilevel = IsBilevel(layout);
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

// The service's storage for a compression scheme: LZW with the horizontal
// predictor for 8/16-bit samples, Group 3 with byte-aligned lines.
TTiffStorage ServiceStorage(const TTiffWriteLayout &layout, quint16 compression) {
  TTiffStorage storage;
  storage.Compression = compression;
  storage.Predictor = compression == COMPRESSION_LZW && layout.BitsPerSample >= 8 &&
                      layout.Photometric != PHOTOMETRIC_PALETTE;
  storage.Group3Options = compression == COMPRESSION_CCITTFAX3 ? GROUP3OPT_FILLBITS : 0;
  return storage;
}

void WriteTags(TIFF *tif, QSize size, const TTiffWriteLayout &layout, const TTiffStorage &storage, float dpiX,
               float dpiY) {
  TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, quint32(size.width()));
  TIFFSetField(tif, TIFFTAG_IMAGELENGTH, quint32(size.height()));
  TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, layout.BitsPerSample);
  TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, layout.SamplesPerPixel);
  TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, layout.Photometric);
  TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(tif, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
  TIFFSetField(tif, TIFFTAG_COMPRESSION, storage.Compression);
  if (storage.Predictor)
    TIFFSetField(tif, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
  if (storage.Group3Options)
    TIFFSetField(tif, TIFFTAG_GROUP3OPTIONS, storage.Group3Options);
  if (storage.Compression == COMPRESSION_JPEG && storage.JpegQuality >= 0)
    TIFFSetField(tif, TIFFTAG_JPEGQUALITY, storage.JpegQuality);
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
  // Without a choice, strips of about 128 KiB: a fraction of libtiff's 8 KiB
  // default in per-strip costs, and LZW's dictionary pays off over more rows.
  const tmsize_t rowBytes = std::max<tmsize_t>(1, TIFFScanlineSize(tif));
  TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP,
               storage.RowsPerStrip
                   ? storage.RowsPerStrip
                   : quint32(std::clamp<tmsize_t>(StripBytes / rowBytes, 1, std::max(1, size.height()))));
  // Baseline readers expect a resolution; the service gives every page one.
  TIFFSetField(tif, TIFFTAG_XRESOLUTION, dpiX);
  TIFFSetField(tif, TIFFTAG_YRESOLUTION, dpiY);
  TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
}

// Whether the pixels go through our LZW strip compressor, which holds a strip
// and its compressed form: LZW strips that fit in memory (single-strip pages
// are often larger; libtiff streams those), with the predictor only on 8-bit
// samples (the differencing it does).
bool UsesOwnLzw(TIFF *tif, int height, const TTiffWriteLayout &layout, const TTiffStorage &storage) {
  return storage.Compression == COMPRESSION_LZW && (!storage.Predictor || layout.BitsPerSample == 8) &&
         StripFitsInMemory(tif, quint32(height), TIFFScanlineSize(tif));
}

// Fills, differences and compresses one strip at a time, and hands libtiff
// the finished strips.
bool WriteLzwStrips(TIFF *tif, int height, const TTiffWriteLayout &layout, const TTiffStorage &storage) {
  const tmsize_t rowBytes = TIFFScanlineSize(tif);
  const quint32 stripRows = StripRows(tif, quint32(height));
  if (rowBytes <= 0 || stripRows == 0)
    return false;
  std::vector<uchar> strip(size_t(rowBytes) * stripRows), row(storage.Predictor ? size_t(rowBytes) : 0),
      compressed;
  TVellTiffLzw lzw;
  for (quint32 first = 0, index = 0; first < quint32(height); first += stripRows, ++index) {
    const quint32 rows = std::min(stripRows, quint32(height) - first);
    for (quint32 r = 0; r < rows; ++r) {
      uchar *stripRow = strip.data() + size_t(r) * size_t(rowBytes);
      layout.FillRow(int(first + r), storage.Predictor ? row.data() : stripRow);
      if (storage.Predictor)
        TVellTiffLzw::DifferenceRow(row.data(), stripRow, size_t(rowBytes), layout.SamplesPerPixel);
    }
    lzw.EncodeStrip(strip.data(), size_t(rows) * size_t(rowBytes), compressed);
    if (TIFFWriteRawStrip(tif, index, compressed.data(), tmsize_t(compressed.size())) < 0)
      return false;
  }
  return true;
}

bool WriteRows(TIFF *tif, int height, const TTiffWriteLayout &layout, const TTiffStorage &storage) {
  if (UsesOwnLzw(tif, height, layout, storage))
    return WriteLzwStrips(tif, height, layout, storage);
  const tmsize_t rowBytes = TIFFScanlineSize(tif);
  if (rowBytes <= 0)
    return false;
  std::vector<uchar> row(static_cast<size_t>(rowBytes));
  for (int y = 0; y < height; ++y) {
    layout.FillRow(y, row.data());
    if (TIFFWriteScanline(tif, row.data(), quint32(y), 0) < 0)
      return false;
  }
  return true;
}

// Whether an ICC profile describes the colour space of the written samples
// (its header names the space at bytes 16-19).
bool ProfileFits(const QByteArray &profile, const TTiffWriteLayout &layout) {
  if (profile.size() < 128)
    return false;
  const QByteArrayView space(profile.constData() + 16, 4);
  const bool grey = layout.SamplesPerPixel == 1 && layout.Photometric != PHOTOMETRIC_PALETTE;
  return space == (grey ? QByteArrayView("GRAY") : QByteArrayView("RGB "));
}

// Classic TIFF offsets end at 4 GiB; a file that starts with a far larger
// page is written as BigTIFF.
bool NeedsBigTiff(QSize size, const TTiffWriteLayout &layout) {
  const qint64 rawBytes =
      qint64(size.width()) * size.height() * layout.BitsPerSample * layout.SamplesPerPixel / 8;
  return rawBytes > (qint64(3) << 30);
}

GpStatus WriteFailure(const TTiffFile &file) {
  return RecordFailure(Win32Error, QStringLiteral("writing the TIFF file failed (%1)")
                                       .arg(file.Error(QStringLiteral("the device took no more data"))));
}

// What one page is written from.
struct TTiffPage {
  QSize Size;
  TTiffWriteLayout Layout;
  TTiffStorage Storage;
  float DpiX = 0, DpiY = 0;
  QByteArray IccProfile;
};

// The layout of a raster's pixels, or a failure when the encoder has none
// for its pixel format.
GpStatus RasterLayout(const TRaster &raster, QImage &image, TTiffWriteLayout &layout) {
  image = WritableImage(raster.Pixels);
  layout = WriteLayoutFor(image, raster.Format);
  if (!layout.FillRow)
    return RecordFailure(NotImplemented, QStringLiteral("the TIFF encoder cannot write this pixel format"));
  return Ok;
}

// Writes page as the next directory of file, opening the file on the device
// first when it is not open yet.
GpStatus WritePage(TTiffFile &file, QIODevice &device, const TTiffPage &page) {
  if (!file.Handle() && !file.OpenForWriting(device, NeedsBigTiff(page.Size, page.Layout)))
    return WriteFailure(file);
  TIFF *tif = file.Handle();
  WriteTags(tif, page.Size, page.Layout, page.Storage, page.DpiX, page.DpiY);
  if (ProfileFits(page.IccProfile, page.Layout))
    TIFFSetField(tif, TIFFTAG_ICCPROFILE, quint32(page.IccProfile.size()), page.IccProfile.constData());
  if (!WriteRows(tif, page.Size.height(), page.Layout, page.Storage) || !TIFFWriteDirectory(tif) ||
      file.HasError())
    return WriteFailure(file);
  return Ok;
}

// Writes each page as one directory of a TIFF file on the device.
class TTiffPageEncoder final : public TPageEncoder {
public:
  explicit TTiffPageEncoder(QIODevice &device) : FDevice(device) {}

  GpStatus AddPage(const TEncodePage &source) override {
    QImage image;
    TTiffPage page;
    page.Size = source.RowsSize; // 8-bit RGB for rows
    page.DpiX = page.DpiY = source.RowsDpi;
    page.IccProfile = source.IccProfile;
    if (source.Image) {
      if (GpStatus status = RasterLayout(*source.Image, image, page.Layout); status != Ok)
        return status;
      page.Size = image.size();
      page.DpiX = source.Image->DpiX, page.DpiY = source.Image->DpiY;
      page.IccProfile = source.Image->IccProfile;
    } else {
      page.Layout.FillRow = source.FillRgbRow;
    }
    const quint16 scheme = TiffCompression(page.Layout, source.Compression);
    if (scheme == 0)
      return RecordFailure(InvalidParameter,
                           QStringLiteral("CCITT compression needs a black-and-white image"));
    page.Storage = ServiceStorage(page.Layout, scheme);
    if (GpStatus status = WritePage(FTiff, FDevice, page); status != Ok)
      return status;
    ++FPages;
    return Ok;
  }

  GpStatus Finish() override {
    if (FPages == 0)
      return RecordFailure(WrongState, QStringLiteral("no page was written"));
    return FTiff.Finish() ? Ok : WriteFailure(FTiff);
  }

private:
  QIODevice &FDevice;
  TTiffFile FTiff;
  int FPages = 0;
};

std::unique_ptr<TPageEncoder> NewTiffEncoder(QIODevice &device) {
  return std::make_unique<TTiffPageEncoder>(device);
}

bool IsTiff(QIODevice &device) {
  return PeekStartsWith(device, QByteArrayView("II*\0", 4)) ||
         PeekStartsWith(device, QByteArrayView("MM\0*", 4)) ||
         PeekStartsWith(device, QByteArrayView("II+\0", 4)) ||
         PeekStartsWith(device, QByteArrayView("MM\0+", 4));
}

} // namespace

const TImageCodec VellTiffCodec{
    u"TIFF",
    u"image/tiff",
    u"Built-in TIFF Codec",
    u"*.TIF;*.TIFF",
    QUuid(0x557cf405, 0x1a04, 0x11d3, 0x9a, 0x73, 0x00, 0x00, 0xf8, 0x1e, 0xf3, 0x2e),
    QUuid(0xb96b3cb1, 0x0728, 0x11d3, 0x9d, 0x7b, 0x00, 0x00, 0xf8, 0x1e, 0xf3, 0x2e),
    IsTiff,
    ReadTiffHeader,
    DecodeTiff,
    NewTiffEncoder};

GpStatus EncodeTiffImage(QIODevice &device, const TRaster &raster, const TTiffStorage &storage) {
  QImage image;
  TTiffPage page;
  if (GpStatus status = RasterLayout(raster, image, page.Layout); status != Ok)
    return status;
  const bool fax = storage.Compression == COMPRESSION_CCITTRLE ||
                   storage.Compression == COMPRESSION_CCITTFAX3 ||
                   storage.Compression == COMPRESSION_CCITTFAX4;
  if (fax && !IsBilevel(page.Layout))
    return RecordFailure(InvalidParameter, QStringLiteral("CCITT compression needs a black-and-white image"));
  page.Size = image.size();
  page.Storage = storage;
  page.DpiX = raster.DpiX, page.DpiY = raster.DpiY;
  page.IccProfile = raster.IccProfile;
  TTiffFile file;
  if (GpStatus status = WritePage(file, device, page); status != Ok)
    return status;
  return file.Finish() ? Ok : WriteFailure(file);
}

bool ReadTiffDirectory(QIODevice &device, TTiffDirectory &directory, QString &error) {
  TTiffFile file;
  if (!file.OpenForReading(device)) {
    error = file.Error(QStringLiteral("libtiff could not open it"));
    return false;
  }
  TIFF *tif = file.Handle();
  TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &directory.Width);
  TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &directory.Height);
  TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &directory.Photometric);
  TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &directory.Compression);
  directory.HasBitsPerSample = TIFFGetField(tif, TIFFTAG_BITSPERSAMPLE, &directory.BitsPerSample) == 1;
  TIFFGetFieldDefaulted(tif, TIFFTAG_RESOLUTIONUNIT, &directory.ResolutionUnit);
  directory.HasXResolution = TIFFGetField(tif, TIFFTAG_XRESOLUTION, &directory.XResolution) == 1;
  directory.HasYResolution = TIFFGetField(tif, TIFFTAG_YRESOLUTION, &directory.YResolution) == 1;
  directory.ScanlineSize = qint64(TIFFScanlineSize64(tif));
  return true;
}
