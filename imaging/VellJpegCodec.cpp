#include "imaging/VellJpegCodec.h"

#include "imaging/VellImageCodecs.h"

#include <QIODevice>

#include <algorithm>
#include <array>
#include <csetjmp>
#include <cstdio>
#include <vector>

#include <jerror.h>
#include <jpeglib.h>

// libjpeg reports errors by calling error_exit, which must not return: ours
// jumps back to the setjmp of the function that called into libjpeg. Every
// such function keeps only plain values in its own frame; the objects with
// destructors live in the session of its caller.

namespace {

constexpr size_t kBufferSize = 64 * 1024;
// Progressive files may hold any number of scans, each a pass over the
// whole picture; more than any encoder writes (they write about 10) is refused.
constexpr int kMaxScans = 100;

struct TErrorManager {
  jpeg_error_mgr Manager{};
  std::jmp_buf Jump{};
  char Message[JMSG_LENGTH_MAX] = {};
};

[[noreturn]] void JumpBack(j_common_ptr info) {
  auto *error = reinterpret_cast<TErrorManager *>(info->err);
  (*info->err->format_message)(info, error->Message);
  std::longjmp(error->Jump, 1);
}

// Warnings are ignored except the end of the data before the picture is
// complete: libjpeg would fill the rest with grey.
void EmitMessage(j_common_ptr info, int level) {
  if (level < 0 && info->err->msg_code == JWRN_JPEG_EOF)
    JumpBack(info);
}

void InstallErrorManager(j_common_ptr info, TErrorManager &error) {
  info->err = jpeg_std_error(&error.Manager);
  error.Manager.error_exit = JumpBack;
  error.Manager.emit_message = EmitMessage;
}

struct TDeviceSource {
  jpeg_source_mgr Manager{};
  QIODevice *Device = nullptr;
  std::array<JOCTET, kBufferSize> Buffer{};
};

void InitSource(j_decompress_ptr) {}

boolean FillInputBuffer(j_decompress_ptr info) {
  auto *source = reinterpret_cast<TDeviceSource *>(info->src);
  const qint64 count = source->Device->read(reinterpret_cast<char *>(source->Buffer.data()), kBufferSize);
  if (count <= 0) {
    // A fake end-of-image marker; the warning ends the decoding.
    WARNMS(info, JWRN_JPEG_EOF);
    source->Buffer[0] = 0xFF;
    source->Buffer[1] = JPEG_EOI;
    source->Manager.bytes_in_buffer = 2;
  } else {
    source->Manager.bytes_in_buffer = size_t(count);
  }
  source->Manager.next_input_byte = source->Buffer.data();
  return TRUE;
}

void SkipInputData(j_decompress_ptr info, long count) {
  jpeg_source_mgr &manager = *info->src;
  while (count > long(manager.bytes_in_buffer)) {
    count -= long(manager.bytes_in_buffer);
    FillInputBuffer(info);
  }
  if (count > 0) {
    manager.next_input_byte += count;
    manager.bytes_in_buffer -= size_t(count);
  }
}

void TermSource(j_decompress_ptr) {}

void RefuseEndlessScans(j_common_ptr info) {
  const auto *decompress = reinterpret_cast<j_decompress_ptr>(info);
  if (decompress->input_scan_number > kMaxScans) {
    auto *error = reinterpret_cast<TErrorManager *>(info->err);
    std::snprintf(error->Message, sizeof error->Message, "more than %d scans", kMaxScans);
    std::longjmp(error->Jump, 1);
  }
}

// A decompressor reading the device, destroyed with the session.
struct TReadSession {
  explicit TReadSession(QIODevice &device) {
    InstallErrorManager(reinterpret_cast<j_common_ptr>(&Info), Error);
    Progress.progress_monitor = RefuseEndlessScans;
    Source.Device = &device;
    Source.Manager.init_source = InitSource;
    Source.Manager.fill_input_buffer = FillInputBuffer;
    Source.Manager.skip_input_data = SkipInputData;
    Source.Manager.resync_to_restart = jpeg_resync_to_restart;
    Source.Manager.term_source = TermSource;
  }
  ~TReadSession() { jpeg_destroy_decompress(&Info); }
  TReadSession(const TReadSession &) = delete;
  TReadSession &operator=(const TReadSession &) = delete;

  jpeg_decompress_struct Info{};
  TErrorManager Error;
  jpeg_progress_mgr Progress{};
  TDeviceSource Source;
  TJpegHeader Header;
  QImage Pixels;
  std::vector<JSAMPLE> CmykRow;
};

TJpegColorSpace ColorSpaceOf(J_COLOR_SPACE space) {
  switch (space) {
  case JCS_GRAYSCALE:
    return TJpegColorSpace::Gray;
  case JCS_RGB:
    return TJpegColorSpace::Rgb;
  case JCS_YCbCr:
    return TJpegColorSpace::YCbCr;
  case JCS_CMYK:
    return TJpegColorSpace::Cmyk;
  case JCS_YCCK:
    return TJpegColorSpace::Ycck;
  default:
    return TJpegColorSpace::Other;
  }
}

// The header, and the output colour space set from it. False after a
// libjpeg error (the message is in the session).
bool ReadHeaderInto(TReadSession &session) {
  jpeg_decompress_struct &info = session.Info;
  if (setjmp(session.Error.Jump))
    return false;
  jpeg_create_decompress(&info);
  info.src = &session.Source.Manager;
  info.progress = &session.Progress;
  jpeg_read_header(&info, TRUE);
  TJpegHeader &header = session.Header;
  header.ColorSpace = ColorSpaceOf(info.jpeg_color_space);
  header.Components = info.num_components;
  header.DensityUnit = info.density_unit;
  header.XDensity = info.X_density;
  header.YDensity = info.Y_density;
  switch (header.ColorSpace) {
  case TJpegColorSpace::Gray:
    info.out_color_space = JCS_GRAYSCALE;
    break;
  case TJpegColorSpace::Rgb:
  case TJpegColorSpace::YCbCr:
    info.out_color_space = JCS_EXT_BGR;
    break;
  case TJpegColorSpace::Cmyk:
  case TJpegColorSpace::Ycck:
    info.out_color_space = JCS_CMYK;
    break;
  case TJpegColorSpace::Other:
    break;
  }
  jpeg_calc_output_dimensions(&info);
  header.Width = int(info.output_width);
  header.Height = int(info.output_height);
  return true;
}

// RGB from CMYK. Adobe's files store the inks inverted (255 = no ink).
void CmykToBgr(const JSAMPLE *cmyk, uchar *bgr, int width, bool inverted) {
  for (int x = 0; x < width; ++x, cmyk += 4, bgr += 3) {
    const int k = inverted ? cmyk[3] : 255 - cmyk[3];
    for (int c = 0; c < 3; ++c) {
      const int ink = inverted ? cmyk[c] : 255 - cmyk[c];
      bgr[2 - c] = uchar((ink * k + 127) / 255);
    }
  }
}

bool ReadPixelsInto(TReadSession &session) {
  jpeg_decompress_struct &info = session.Info;
  if (setjmp(session.Error.Jump))
    return false;
  jpeg_start_decompress(&info);
  const bool cmyk = info.out_color_space == JCS_CMYK;
  while (info.output_scanline < info.output_height) {
    uchar *row = session.Pixels.scanLine(int(info.output_scanline));
    JSAMPROW target = cmyk ? session.CmykRow.data() : row;
    jpeg_read_scanlines(&info, &target, 1);
    if (cmyk)
      CmykToBgr(session.CmykRow.data(), row, int(info.output_width), info.saw_Adobe_marker);
  }
  jpeg_finish_decompress(&info);
  return true;
}

QString LibraryMessage(const TReadSession &session) {
  return QString::fromLatin1(session.Error.Message);
}

// A compressor writing the device.
struct TDeviceDestination {
  jpeg_destination_mgr Manager{};
  QIODevice *Device = nullptr;
  std::array<JOCTET, kBufferSize> Buffer{};
};

void InitDestination(j_compress_ptr info) {
  auto *destination = reinterpret_cast<TDeviceDestination *>(info->dest);
  destination->Manager.next_output_byte = destination->Buffer.data();
  destination->Manager.free_in_buffer = kBufferSize;
}

void WriteOut(j_compress_ptr info, size_t count) {
  auto *destination = reinterpret_cast<TDeviceDestination *>(info->dest);
  if (destination->Device->write(reinterpret_cast<const char *>(destination->Buffer.data()), qint64(count)) !=
      qint64(count))
    ERREXIT(info, JERR_FILE_WRITE);
}

boolean EmptyOutputBuffer(j_compress_ptr info) {
  WriteOut(info, kBufferSize);
  InitDestination(info);
  return TRUE;
}

void TermDestination(j_compress_ptr info) {
  WriteOut(info, kBufferSize - info->dest->free_in_buffer);
}

struct TWriteSession {
  explicit TWriteSession(QIODevice &device, const QImage &pixels) : Pixels(pixels) {
    InstallErrorManager(reinterpret_cast<j_common_ptr>(&Info), Error);
    Destination.Device = &device;
    Destination.Manager.init_destination = InitDestination;
    Destination.Manager.empty_output_buffer = EmptyOutputBuffer;
    Destination.Manager.term_destination = TermDestination;
  }
  ~TWriteSession() { jpeg_destroy_compress(&Info); }
  TWriteSession(const TWriteSession &) = delete;
  TWriteSession &operator=(const TWriteSession &) = delete;

  jpeg_compress_struct Info{};
  TErrorManager Error;
  TDeviceDestination Destination;
  const QImage &Pixels; // Grayscale8 or BGR888
};

bool WriteInto(TWriteSession &session, const TJpegOptions &options) {
  jpeg_compress_struct &info = session.Info;
  if (setjmp(session.Error.Jump))
    return false;
  jpeg_create_compress(&info);
  info.dest = &session.Destination.Manager;
  info.image_width = JDIMENSION(session.Pixels.width());
  info.image_height = JDIMENSION(session.Pixels.height());
  const bool grey = session.Pixels.format() == QImage::Format_Grayscale8;
  info.input_components = grey ? 1 : 3;
  info.in_color_space = grey ? JCS_GRAYSCALE : JCS_EXT_BGR;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, std::clamp(options.Quality, 1, 100), TRUE);
  if (options.Progressive)
    jpeg_simple_progression(&info);
  info.optimize_coding = options.OptimizeHuffman ? TRUE : FALSE;
  info.write_JFIF_header = TRUE;
  info.density_unit = 1;
  info.X_density = options.XDotsPerInch;
  info.Y_density = options.YDotsPerInch;
  jpeg_start_compress(&info, TRUE);
  while (info.next_scanline < info.image_height) {
    auto row = const_cast<JSAMPROW>(session.Pixels.constScanLine(int(info.next_scanline)));
    jpeg_write_scanlines(&info, &row, 1);
  }
  jpeg_finish_compress(&info);
  return true;
}

} // namespace

bool TVellJpegCodec::CanRead(QIODevice &device) {
  return PeekStartsWith(device, "\xFF\xD8\xFF");
}

bool TVellJpegCodec::ReadHeader(QIODevice &device, TJpegHeader &header, QString &error) {
  TReadSession session(device);
  if (!ReadHeaderInto(session)) {
    error = LibraryMessage(session);
    return false;
  }
  header = session.Header;
  return true;
}

bool TVellJpegCodec::Decode(QIODevice &device, TJpegPicture &picture, QString &error) {
  TReadSession session(device);
  if (!ReadHeaderInto(session)) {
    error = LibraryMessage(session);
    return false;
  }
  const TJpegHeader &header = session.Header;
  if (header.ColorSpace == TJpegColorSpace::Other) {
    error = QStringLiteral("Unsupported color space");
    return false;
  }
  if (ExceedsPixelLimit(header.Width, header.Height)) {
    error = PixelLimitText(header.Width, header.Height);
    return false;
  }
  const bool grey = header.ColorSpace == TJpegColorSpace::Gray;
  session.Pixels =
      QImage(header.Width, header.Height, grey ? QImage::Format_Grayscale8 : QImage::Format_BGR888);
  if (session.Pixels.isNull()) {
    error = QStringLiteral("not enough memory for %1 × %2 pixels").arg(header.Width).arg(header.Height);
    return false;
  }
  if (session.Info.out_color_space == JCS_CMYK)
    session.CmykRow.resize(size_t(header.Width) * 4);
  if (!ReadPixelsInto(session)) {
    error = LibraryMessage(session);
    return false;
  }
  picture.Pixels = session.Pixels;
  picture.Header = header;
  return true;
}

bool TVellJpegCodec::Encode(const QImage &pixels, const TJpegOptions &options, QIODevice &device,
                            QString &error) {
  const QImage rows =
      pixels.format() == QImage::Format_Grayscale8 ? pixels : pixels.convertToFormat(QImage::Format_BGR888);
  TWriteSession session(device, rows);
  if (!WriteInto(session, options)) {
    error = QString::fromLatin1(session.Error.Message);
    return false;
  }
  return true;
}

// The codec table's row.
namespace {

float DotsPerInch(const TJpegHeader &header, quint16 density) {
  return header.DensityUnit == 1 ? float(density) : header.DensityUnit == 2 ? float(density * 2.54) : 0.0f;
}

GpStatus OnePageOnly() {
  return RecordFailure(InvalidParameter, QStringLiteral("the JPEG image has one page only"));
}

GpStatus ReadJpegHeader(QIODevice &device, quint32 page, ImageHeader &header) {
  if (page > 0)
    return OnePageOnly();
  TJpegHeader jpeg;
  QString error;
  if (!TVellJpegCodec::ReadHeader(device, jpeg, error))
    return RecordFailure(UnknownImageFormat, QStringLiteral("cannot read the JPEG header (%1)").arg(error));
  header.Width = quint32(jpeg.Width);
  header.Height = quint32(jpeg.Height);
  header.PixelFormat =
      jpeg.ColorSpace == TJpegColorSpace::Gray ? PixelFormat8bppIndexed : PixelFormat24bppRGB;
  header.PageCount = 1;
  header.DpiX = DotsPerInch(jpeg, jpeg.XDensity);
  header.DpiY = DotsPerInch(jpeg, jpeg.YDensity);
  return Ok;
}

GpStatus DecodeJpeg(QIODevice &device, quint32 page, TRaster &raster) {
  if (page > 0)
    return OnePageOnly();
  TJpegPicture picture;
  QString error;
  if (!TVellJpegCodec::Decode(device, picture, error))
    return RecordFailure(UnknownImageFormat, QStringLiteral("cannot decode the JPEG image (%1)").arg(error));
  raster.Pixels = picture.Pixels;
  raster.Format = PixelFormatOf(raster.Pixels);
  raster.DpiX = DotsPerInch(picture.Header, picture.Header.XDensity);
  raster.DpiY = DotsPerInch(picture.Header, picture.Header.YDensity);
  return Ok;
}

quint16 DensityOf(float dpi) {
  return quint16(std::clamp(std::lround(dpi), 0L, 65535L));
}

GpStatus WriteJpeg(QIODevice &device, const TEncodePage &page) {
  const TRaster raster = PageImage(page);
  TJpegOptions options;
  if (page.Quality >= 0)
    options.Quality = page.Quality;
  options.XDotsPerInch = DensityOf(raster.DpiX);
  options.YDotsPerInch = DensityOf(raster.DpiY);
  QString error;
  if (!TVellJpegCodec::Encode(raster.Pixels, options, device, error))
    return RecordFailure(Win32Error, QStringLiteral("cannot write the JPEG image (%1)").arg(error));
  return Ok;
}

std::unique_ptr<TPageEncoder> NewJpegEncoder(QIODevice &device) {
  return NewSingleImageEncoder(device, WriteJpeg);
}

} // namespace

// Identifiers as the platform service has them.
const TImageCodec VellJpegCodec{
    u"JPEG",
    u"image/jpeg",
    u"Built-in JPEG Codec",
    u"*.JPG;*.JPEG;*.JPE;*.JFIF",
    QUuid(0x557cf401, 0x1a04, 0x11d3, 0x9a, 0x73, 0x00, 0x00, 0xf8, 0x1e, 0xf3, 0x2e),
    QUuid(0xb96b3cae, 0x0728, 0x11d3, 0x9d, 0x7b, 0x00, 0x00, 0xf8, 0x1e, 0xf3, 0x2e),
    TVellJpegCodec::CanRead,
    ReadJpegHeader,
    DecodeJpeg,
    NewJpegEncoder};
