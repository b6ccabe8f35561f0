#include "imaging/VellPngCodec.h"

#include "imaging/VellImageCodecs.h"

#include <QIODevice>
#include <QtEndian>

#include <png.h>

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <vector>

// libpng reports errors by calling our error function, which must not
// return: it jumps back to the setjmp of the function that called into
// libpng. Those functions keep only plain values in their own frame; the
// objects with destructors live in the session of their caller.

static_assert(Q_BYTE_ORDER == Q_LITTLE_ENDIAN, "16-bit samples and BGRA pixels are laid out little-endian");

namespace {

constexpr QByteArrayView kSignature("\x89PNG\r\n\x1a\n", 8);
// Known ancillary chunks read as raw bytes, so that they are written back as
// they came (the transparency, physical dimensions and colour profile are
// read into the picture).
constexpr char kKeptChunks[] =
    "bKGD\0cHRM\0eXIf\0gAMA\0hIST\0iTXt\0oFFs\0pCAL\0sBIT\0sCAL\0sPLT\0sRGB\0tEXt\0"
    "tIME\0zTXt";
constexpr int kKeptChunkCount = 15;

struct TSession {
  png_structp Png = nullptr;
  png_infop Info = nullptr;
  QIODevice *Device = nullptr;
  char Message[256] = {};
};

[[noreturn]] void JumpBack(png_structp png, png_const_charp message) {
  auto *session = static_cast<TSession *>(png_get_error_ptr(png));
  std::snprintf(session->Message, sizeof session->Message, "%s", message);
  png_longjmp(png, 1);
}

void IgnoreWarning(png_structp, png_const_charp) {}

void ReadFromDevice(png_structp png, png_bytep data, size_t count) {
  auto *device = static_cast<QIODevice *>(png_get_io_ptr(png));
  if (device->read(reinterpret_cast<char *>(data), qint64(count)) != qint64(count))
    png_error(png, "the data ends early");
}

void WriteToDevice(png_structp png, png_bytep data, size_t count) {
  auto *device = static_cast<QIODevice *>(png_get_io_ptr(png));
  if (device->write(reinterpret_cast<const char *>(data), qint64(count)) != qint64(count))
    png_error(png, "cannot write to the device");
}

void FlushDevice(png_structp) {}

struct TReadSession : TSession {
  explicit TReadSession(QIODevice &device) {
    Device = &device;
    Png = png_create_read_struct(PNG_LIBPNG_VER_STRING, this, JumpBack, IgnoreWarning);
    if (Png)
      Info = png_create_info_struct(Png);
    if (Info)
      png_set_read_fn(Png, &device, ReadFromDevice);
  }
  ~TReadSession() { png_destroy_read_struct(&Png, &Info, nullptr); }
  TReadSession(const TReadSession &) = delete;
  TReadSession &operator=(const TReadSession &) = delete;

  std::vector<png_bytep> Rows;
};

struct TWriteSession : TSession {
  explicit TWriteSession(QIODevice &device) {
    Device = &device;
    Png = png_create_write_struct(PNG_LIBPNG_VER_STRING, this, JumpBack, IgnoreWarning);
    if (Png)
      Info = png_create_info_struct(Png);
    if (Info)
      png_set_write_fn(Png, &device, WriteToDevice, FlushDevice);
  }
  ~TWriteSession() { png_destroy_write_struct(&Png, &Info); }
  TWriteSession(const TWriteSession &) = delete;
  TWriteSession &operator=(const TWriteSession &) = delete;

  // What the writing functions hand to libpng.
  TPngHeader Header;
  TPngOptions Options;
  std::vector<png_color> Palette;
  std::vector<png_byte> PaletteAlpha;
  bool HasTransparentColor = false;
  png_color_16 TransparentColor{};
  QByteArray IccProfile;
  QByteArray IccName;
  std::vector<png_unknown_chunk> Chunks;
  // How the rows are laid out: libpng's transformations of them.
  bool Bgr = false, Swap = false, StripFiller = false, Pack = false;
  std::vector<png_bytep> Rows;
};

// Every chunk's announced length fits in the rest of the data, so that no
// reader allocates for data that is not there. The position is kept.
bool ChunksFit(QIODevice &device, QString &error) {
  const qint64 start = device.pos();
  const qint64 size = device.size() - start;
  qint64 at = 8;
  bool fit = true;
  for (QByteArray head; at < size && device.seek(start + at) && (head = device.read(8)).size() == 8;) {
    const quint32 length = qFromBigEndian<quint32>(head.constData());
    if (length > 0x7fffffffu || qint64(length) + 12 > size - at) {
      error = QStringLiteral("damaged PNG: the %1 chunk announces %2 bytes, more than the data holds")
                  .arg(QString::fromLatin1(head.mid(4, 4).toPercentEncoding()))
                  .arg(length);
      fit = false;
      break;
    }
    if (head.mid(4, 4) == "IEND")
      break;
    at += qint64(length) + 12;
  }
  device.seek(start);
  return fit;
}

bool Created(const TSession &session, QString &error) {
  if (!session.Png)
    error = QStringLiteral("png_create_read_struct failed");
  else if (!session.Info)
    error = QStringLiteral("png_create_info_struct failed");
  return session.Png && session.Info;
}

bool Failed(const TSession &session, QString &error) {
  error = QString::fromUtf8(session.Message);
  return false;
}

// Reads the signature and every chunk up to the image data.
bool ReadInfo(TReadSession &session) {
  if (setjmp(png_jmpbuf(session.Png)))
    return false;
  png_set_keep_unknown_chunks(session.Png, PNG_HANDLE_CHUNK_ALWAYS, nullptr, 0);
  png_set_keep_unknown_chunks(session.Png, PNG_HANDLE_CHUNK_ALWAYS,
                              reinterpret_cast<png_const_bytep>(kKeptChunks), kKeptChunkCount);
  png_read_info(session.Png, session.Info);
  return true;
}

TPngHeader HeaderOf(png_structp png, png_infop info) {
  TPngHeader header;
  header.Width = png_get_image_width(png, info);
  header.Height = png_get_image_height(png, info);
  header.BitDepth = png_get_bit_depth(png, info);
  header.ColorType = png_get_color_type(png, info);
  header.Interlaced = png_get_interlace_type(png, info) != PNG_INTERLACE_NONE;
  png_uint_32 x = 0, y = 0;
  int unit = 0;
  if (png_get_pHYs(png, info, &x, &y, &unit)) {
    header.HasPhys = true;
    header.PhysX = x;
    header.PhysY = y;
    header.PhysUnit = unit;
  }
  return header;
}

// The service pixel format a file decodes to.
QImage::Format PixelsFormatOf(const TPngHeader &header, bool hasTransparency) {
  const bool wide = header.BitDepth == 16;
  switch (header.ColorType) {
  case pctPalette:
    return QImage::Format_Indexed8;
  case pctGray:
    if (!hasTransparency)
      return header.BitDepth == 1 ? QImage::Format_Mono
                                  : (wide ? QImage::Format_Grayscale16 : QImage::Format_Grayscale8);
    break;
  case pctRgb:
    if (!hasTransparency)
      return wide ? QImage::Format_RGBX64 : QImage::Format_BGR888;
    break;
  default:
    break;
  }
  return wide ? QImage::Format_RGBA64 : QImage::Format_ARGB32;
}

// The transformations that turn the file's rows into pixels of format, then
// the layout libpng now gives; false on a libpng error.
bool PrepareRows(TReadSession &session, QImage::Format format, int colorType) {
  png_structp png = session.Png;
  if (setjmp(png_jmpbuf(png)))
    return false;
  switch (format) {
  case QImage::Format_Mono:
    break;
  case QImage::Format_Indexed8:
    png_set_packing(png);
    break;
  case QImage::Format_Grayscale8:
    png_set_expand_gray_1_2_4_to_8(png);
    break;
  case QImage::Format_Grayscale16:
    png_set_swap(png);
    break;
  case QImage::Format_BGR888:
    png_set_bgr(png);
    break;
  case QImage::Format_RGBX64:
    png_set_swap(png);
    png_set_filler(png, 0xffff, PNG_FILLER_AFTER);
    break;
  default: // ARGB32 or RGBA64 from grey or RGB with alpha or a transparent colour
    png_set_expand(png);
    if (!(colorType & PNG_COLOR_MASK_ALPHA))
      png_set_tRNS_to_alpha(png);
    if (!(colorType & PNG_COLOR_MASK_COLOR))
      png_set_gray_to_rgb(png);
    if (format == QImage::Format_ARGB32)
      png_set_bgr(png);
    else
      png_set_swap(png);
    break;
  }
  png_set_interlace_handling(png);
  png_read_update_info(png, session.Info);
  return true;
}

bool ReadRows(TReadSession &session) {
  if (setjmp(png_jmpbuf(session.Png)))
    return false;
  png_read_image(session.Png, session.Rows.data());
  png_read_end(session.Png, session.Info);
  return true;
}

// Bytes per row of the pixels as libpng lays them out.
qsizetype RowBytesOf(const QImage &pixels) {
  return (qsizetype(pixels.width()) * pixels.depth() + 7) / 8;
}

QList<QRgb> PaletteOf(png_structp png, png_infop info, int bitDepth) {
  png_colorp colors = nullptr;
  int count = 0;
  png_get_PLTE(png, info, &colors, &count);
  png_bytep alpha = nullptr;
  int alphaCount = 0;
  png_color_16p unused = nullptr;
  png_get_tRNS(png, info, &alpha, &alphaCount, &unused);
  // Every index the depth allows has an entry, so no pixel reads past the table.
  QList<QRgb> table(1 << bitDepth, qRgb(0, 0, 0));
  for (int i = 0; i < std::min<int>(count, int(table.size())); ++i)
    table[i] = qRgba(colors[i].red, colors[i].green, colors[i].blue, i < alphaCount ? alpha[i] : 255);
  return table;
}

void ReadTables(png_structp png, png_infop info, TPngPicture &picture) {
  const TPngHeader &header = picture.Header;
  if (header.ColorType == pctPalette) {
    picture.Pixels.setColorTable(PaletteOf(png, info, header.BitDepth));
  } else if (header.ColorType == pctGray && header.BitDepth == 1 &&
             picture.Pixels.format() == QImage::Format_Mono) {
    picture.Pixels.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
  }
  png_color_16p color = nullptr;
  if (!(header.ColorType & PNG_COLOR_MASK_PALETTE) && png_get_tRNS(png, info, nullptr, nullptr, &color) &&
      color) {
    picture.HasTransparentColor = true;
    picture.TransparentRed = header.ColorType == pctGray ? color->gray : color->red;
    picture.TransparentGreen = color->green;
    picture.TransparentBlue = color->blue;
  }
  png_charp name = nullptr;
  png_bytep profile = nullptr;
  png_uint_32 length = 0;
  int compression = 0;
  if (png_get_iCCP(png, info, &name, &compression, &profile, &length)) {
    picture.IccName = QByteArray(name);
    picture.IccProfile = QByteArray(reinterpret_cast<const char *>(profile), qsizetype(length));
  }
}

TPngChunk::TPlace PlaceOf(int location) {
  if (location & PNG_AFTER_IDAT)
    return TPngChunk::AfterData;
  return (location & PNG_HAVE_PLTE) ? TPngChunk::BeforeData : TPngChunk::BeforePalette;
}

void ReadKeptChunks(png_structp png, png_infop info, TPngPicture &picture) {
  png_unknown_chunkp chunks = nullptr;
  const int count = png_get_unknown_chunks(png, info, &chunks);
  for (int i = 0; i < count; ++i) {
    const QByteArray type(reinterpret_cast<const char *>(chunks[i].name), 4);
    if (!(type[0] & 0x20))
      continue; // an unknown critical chunk is not ours to copy
    picture.Chunks.append(
        {type, QByteArray(reinterpret_cast<const char *>(chunks[i].data), qsizetype(chunks[i].size)),
         PlaceOf(chunks[i].location)});
  }
  picture.ChunksColorType = picture.Header.ColorType;
  picture.ChunksBitDepth = picture.Header.BitDepth;
}

bool ValidLayout(const TPngHeader &header) {
  const int depth = header.BitDepth;
  switch (header.ColorType) {
  case pctGray:
    return depth == 1 || depth == 2 || depth == 4 || depth == 8 || depth == 16;
  case pctPalette:
    return depth == 1 || depth == 2 || depth == 4 || depth == 8;
  case pctRgb:
  case pctGrayAlpha:
  case pctRgbAlpha:
    return depth == 8 || depth == 16;
  default:
    return false;
  }
}

// The signature, and a header chunk whose bit depth and colour type go
// together (libpng would only say the header is invalid).
bool ValidStart(QIODevice &device, QString &error) {
  const QByteArray start = device.peek(8 + 8 + 13);
  if (!start.startsWith(kSignature)) {
    error = QStringLiteral("PNG file is not valid or corrupted");
    return false;
  }
  if (start.size() < 8 + 8 + 13 || start.mid(12, 4) != "IHDR")
    return true; // libpng's message says what is wrong
  TPngHeader header;
  header.BitDepth = uchar(start[24]);
  header.ColorType = uchar(start[25]);
  const int depth = header.BitDepth;
  if (depth != 1 && depth != 2 && depth != 4 && depth != 8 && depth != 16)
    error = QStringLiteral("Invalid bit depth");
  else if (!ValidLayout(header))
    error = QStringLiteral("Invalid color type for bit depth");
  return error.isEmpty();
}

bool ReadHeaderInto(TReadSession &session, TPngHeader &header, bool &hasTransparency, QString &error) {
  if (!ValidStart(*session.Device, error) || !Created(session, error) || !ChunksFit(*session.Device, error))
    return false;
  if (!ReadInfo(session))
    return Failed(session, error);
  header = HeaderOf(session.Png, session.Info);
  hasTransparency = png_get_valid(session.Png, session.Info, PNG_INFO_tRNS) != 0;
  return true;
}

// Writing.

int SampleCount(int colorType) {
  switch (colorType) {
  case pctGray:
  case pctPalette:
    return 1;
  case pctGrayAlpha:
    return 2;
  case pctRgb:
    return 3;
  default:
    return 4;
  }
}

quint16 GreyOf(const QRgba64 &pixel) {
  if (pixel.red() == pixel.green() && pixel.green() == pixel.blue())
    return pixel.red();
  return quint16((quint32(pixel.red()) * 11 + quint32(pixel.green()) * 16 + quint32(pixel.blue()) * 5) / 32);
}

// A 16-bit sample at the depth: 16 bits kept, 8 bits its high byte, fewer
// bits rounded.
quint16 AtDepth(quint16 value, int depth) {
  if (depth == 16)
    return value;
  const quint32 eight = value >> 8;
  return depth == 8 ? quint16(eight) : quint16((eight * ((1u << depth) - 1) + 127) / 255);
}

// The rows as unpacked samples (one byte each up to 8 bits, big-endian
// 16-bit words at 16), from any pixels, for the layouts libpng cannot take
// straight from a service format.
QByteArray SampleRows(const QImage &pixels, const TPngHeader &header) {
  const QImage wide = pixels.convertToFormat(QImage::Format_RGBA64);
  const int samples = SampleCount(header.ColorType);
  const int bytes = header.BitDepth == 16 ? 2 : 1;
  QByteArray rows(qsizetype(wide.width()) * wide.height() * samples * bytes, Qt::Uninitialized);
  uchar *out = reinterpret_cast<uchar *>(rows.data());
  for (int y = 0; y < wide.height(); ++y) {
    const auto *line = reinterpret_cast<const QRgba64 *>(wide.constScanLine(y));
    for (int x = 0; x < wide.width(); ++x) {
      const QRgba64 &p = line[x];
      quint16 values[4];
      if (header.ColorType & PNG_COLOR_MASK_COLOR) {
        values[0] = p.red();
        values[1] = p.green();
        values[2] = p.blue();
        values[3] = p.alpha();
      } else {
        values[0] = GreyOf(p);
        values[1] = p.alpha();
      }
      for (int s = 0; s < samples; ++s) {
        const quint16 v = AtDepth(values[s], header.BitDepth);
        if (bytes == 2) {
          qToBigEndian(v, out);
          out += 2;
        } else {
          *out++ = uchar(v);
        }
      }
    }
  }
  return rows;
}

// The palette pixels as one index byte each, and a palette that covers every
// index used.
QImage IndexPixels(const QImage &pixels, int bitDepth) {
  QImage indexed =
      pixels.format() == QImage::Format_Indexed8 ? pixels : pixels.convertToFormat(QImage::Format_Indexed8);
  QList<QRgb> table = indexed.colorTable();
  int used = 0;
  for (int y = 0; y < indexed.height(); ++y) {
    const uchar *line = indexed.constScanLine(y);
    used = std::max<int>(used, *std::max_element(line, line + indexed.width()) + 1);
  }
  table.resize(std::clamp<qsizetype>(std::max<qsizetype>(table.size(), used), 1, qsizetype(1) << bitDepth),
               qRgb(0, 0, 0));
  indexed.setColorTable(table);
  return indexed;
}

void SetPalette(TWriteSession &session, const QImage &indexed) {
  const QList<QRgb> table = indexed.colorTable();
  int lastTranslucent = -1;
  for (int i = 0; i < table.size(); ++i) {
    session.Palette.push_back(
        {png_byte(qRed(table[i])), png_byte(qGreen(table[i])), png_byte(qBlue(table[i]))});
    session.PaletteAlpha.push_back(png_byte(qAlpha(table[i])));
    if (qAlpha(table[i]) < 255)
      lastTranslucent = i;
  }
  session.PaletteAlpha.resize(size_t(lastTranslucent + 1));
}

// The pixels libpng is given, and the transformations that lay them out.
QImage RowsSource(TWriteSession &session, const QImage &pixels, QByteArray &samples) {
  const TPngHeader &header = session.Header;
  const int depth = header.BitDepth;
  const QImage::Format format = pixels.format();
  auto direct = [&](QImage::Format wanted) { return format == wanted; };
  if (header.ColorType == pctPalette) {
    const QImage indexed = IndexPixels(pixels, depth);
    SetPalette(session, indexed);
    session.Pack = depth < 8;
    return indexed;
  }
  if (header.ColorType == pctGray && depth == 8 && direct(QImage::Format_Grayscale8))
    return pixels;
  if (header.ColorType == pctGray && depth == 16 && direct(QImage::Format_Grayscale16)) {
    session.Swap = true;
    return pixels;
  }
  if (header.ColorType == pctRgb && depth == 8 && direct(QImage::Format_BGR888)) {
    session.Bgr = true;
    return pixels;
  }
  if (header.ColorType == pctRgbAlpha && depth == 8 && direct(QImage::Format_ARGB32)) {
    session.Bgr = true;
    return pixels;
  }
  if (header.ColorType == pctRgb && depth == 16 && direct(QImage::Format_RGBX64)) {
    session.Swap = session.StripFiller = true;
    return pixels;
  }
  if (header.ColorType == pctRgbAlpha && depth == 16 && direct(QImage::Format_RGBA64)) {
    session.Swap = true;
    return pixels;
  }
  samples = SampleRows(pixels, header);
  session.Pack = depth < 8;
  return {};
}

bool DependsOnLayout(const QByteArray &type) {
  return type == "bKGD" || type == "sBIT" || type == "hIST";
}

int LocationOf(TPngChunk::TPlace place) {
  switch (place) {
  case TPngChunk::BeforePalette:
    return PNG_HAVE_IHDR;
  case TPngChunk::BeforeData:
    return PNG_HAVE_PLTE;
  default:
    return PNG_AFTER_IDAT;
  }
}

void SetChunks(TWriteSession &session, const TPngPicture &picture) {
  const bool sameLayout = picture.ChunksColorType == session.Header.ColorType &&
                          picture.ChunksBitDepth == session.Header.BitDepth;
  for (const TPngChunk &chunk : picture.Chunks) {
    if (chunk.Type.size() != 4 || (!sameLayout && DependsOnLayout(chunk.Type)))
      continue;
    if (chunk.Type == "hIST" && session.Header.ColorType != pctPalette)
      continue;
    png_unknown_chunk entry{};
    std::memcpy(entry.name, chunk.Type.constData(), 4);
    entry.data = reinterpret_cast<png_bytep>(const_cast<char *>(chunk.Data.constData()));
    entry.size = size_t(chunk.Data.size());
    entry.location = png_byte(LocationOf(chunk.Place));
    session.Chunks.push_back(entry);
  }
}

void SetTransparentColor(TWriteSession &session, const TPngPicture &picture) {
  const int colorType = session.Header.ColorType;
  if (!picture.HasTransparentColor || (colorType != pctGray && colorType != pctRgb))
    return;
  const quint16 mask = quint16((1u << session.Header.BitDepth) - 1);
  session.HasTransparentColor = true;
  session.TransparentColor.gray = picture.TransparentRed & mask;
  session.TransparentColor.red = picture.TransparentRed & mask;
  session.TransparentColor.green = picture.TransparentGreen & mask;
  session.TransparentColor.blue = picture.TransparentBlue & mask;
}

bool WriteAll(TWriteSession &session) {
  png_structp png = session.Png;
  png_infop info = session.Info;
  if (setjmp(png_jmpbuf(png)))
    return false;
  // An invalid colour profile is left out rather than failing the picture.
  png_set_benign_errors(png, 1);
  const TPngHeader &header = session.Header;
  png_set_IHDR(png, info, header.Width, header.Height, header.BitDepth, header.ColorType,
               session.Options.Interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_set_compression_level(png, std::clamp(session.Options.Level, 0, 9));
  if (!session.Palette.empty())
    png_set_PLTE(png, info, session.Palette.data(), int(session.Palette.size()));
  if (!session.PaletteAlpha.empty())
    png_set_tRNS(png, info, session.PaletteAlpha.data(), int(session.PaletteAlpha.size()), nullptr);
  if (session.HasTransparentColor)
    png_set_tRNS(png, info, nullptr, 0, &session.TransparentColor);
  if (header.HasPhys)
    png_set_pHYs(png, info, header.PhysX, header.PhysY, header.PhysUnit);
  if (!session.IccProfile.isEmpty())
    png_set_iCCP(png, info, session.IccName.isEmpty() ? "ICC profile" : session.IccName.constData(),
                 PNG_COMPRESSION_TYPE_BASE, reinterpret_cast<png_const_bytep>(session.IccProfile.constData()),
                 png_uint_32(session.IccProfile.size()));
  png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_ALWAYS, nullptr, 0);
  if (!session.Chunks.empty())
    png_set_unknown_chunks(png, info, session.Chunks.data(), int(session.Chunks.size()));
  png_write_info(png, info);
  if (session.Bgr)
    png_set_bgr(png);
  if (session.Swap)
    png_set_swap(png);
  if (session.StripFiller)
    png_set_filler(png, 0, PNG_FILLER_AFTER);
  if (session.Pack)
    png_set_packing(png);
  png_set_interlace_handling(png);
  png_write_image(png, session.Rows.data());
  png_write_end(png, info);
  return true;
}

} // namespace

bool TVellPngCodec::CanRead(QIODevice &device) {
  return PeekStartsWith(device, kSignature);
}

bool TVellPngCodec::ReadHeader(QIODevice &device, TPngHeader &header, QString &error) {
  TReadSession session(device);
  bool hasTransparency = false;
  return ReadHeaderInto(session, header, hasTransparency, error);
}

bool TVellPngCodec::Decode(QIODevice &device, TPngPicture &picture, QString &error) {
  TReadSession session(device);
  TPngPicture read;
  bool hasTransparency = false;
  if (!ReadHeaderInto(session, read.Header, hasTransparency, error))
    return false;
  const TPngHeader &header = read.Header;
  if (ExceedsPixelLimit(header.Width, header.Height)) {
    error = PixelLimitText(header.Width, header.Height);
    return false;
  }
  const QImage::Format format = PixelsFormatOf(header, hasTransparency);
  read.Pixels = QImage(int(header.Width), int(header.Height), format);
  if (read.Pixels.isNull()) {
    error = QStringLiteral("not enough memory for %1 × %2 pixels").arg(header.Width).arg(header.Height);
    return false;
  }
  ReadTables(session.Png, session.Info, read);
  if (!PrepareRows(session, format, header.ColorType))
    return Failed(session, error);
  if (png_get_rowbytes(session.Png, session.Info) != size_t(RowBytesOf(read.Pixels))) {
    error = QStringLiteral("unexpected row layout");
    return false;
  }
  session.Rows.resize(header.Height);
  for (quint32 y = 0; y < header.Height; ++y)
    session.Rows[y] = read.Pixels.scanLine(int(y));
  if (!ReadRows(session))
    return Failed(session, error);
  ReadKeptChunks(session.Png, session.Info, read);
  picture = std::move(read);
  return true;
}

bool TVellPngCodec::Encode(const TPngPicture &picture, const TPngOptions &options, QIODevice &device,
                           QString &error) {
  const QImage &pixels = picture.Pixels;
  if (pixels.isNull()) {
    error = QStringLiteral("there is no picture to write");
    return false;
  }
  TWriteSession session(device);
  if (!session.Png || !session.Info) {
    error = QString::fromLatin1(!session.Png ? "png_create_write_struct failed"
                                             : "png_create_info_struct failed");
    return false;
  }
  session.Header = picture.Header;
  session.Header.Width = quint32(pixels.width());
  session.Header.Height = quint32(pixels.height());
  if (!ValidLayout(session.Header)) {
    error = QStringLiteral("Invalid color type for bit depth");
    return false;
  }
  session.Options = options;
  session.IccProfile = picture.IccProfile;
  session.IccName = picture.IccName;
  SetTransparentColor(session, picture);
  SetChunks(session, picture);
  QByteArray samples;
  const QImage source = RowsSource(session, pixels, samples);
  session.Rows.resize(size_t(pixels.height()));
  const qsizetype sampleStride = samples.size() / std::max(1, pixels.height());
  for (int y = 0; y < pixels.height(); ++y)
    session.Rows[size_t(y)] = source.isNull() ? reinterpret_cast<png_bytep>(samples.data()) + y * sampleStride
                                              : const_cast<png_bytep>(source.constScanLine(y));
  if (!WriteAll(session))
    return Failed(session, error);
  return true;
}

TPngPicture TVellPngCodec::PictureOf(const QImage &pixels) {
  TPngPicture picture;
  picture.Pixels = pixels;
  TPngHeader &header = picture.Header;
  header.Width = quint32(pixels.width());
  header.Height = quint32(pixels.height());
  switch (pixels.format()) {
  case QImage::Format_Mono:
  case QImage::Format_MonoLSB:
    header.ColorType = pctPalette;
    header.BitDepth = 1;
    break;
  case QImage::Format_Indexed8: {
    const qsizetype colors = pixels.colorCount();
    header.ColorType = pctPalette;
    header.BitDepth = colors <= 2 ? 1 : colors <= 4 ? 2 : colors <= 16 ? 4 : 8;
    break;
  }
  case QImage::Format_Grayscale8:
    header.ColorType = pctGray;
    break;
  case QImage::Format_Grayscale16:
    header.ColorType = pctGray;
    header.BitDepth = 16;
    break;
  case QImage::Format_RGBX64:
  case QImage::Format_RGBA64:
  case QImage::Format_RGBA64_Premultiplied:
    header.ColorType = pixels.hasAlphaChannel() ? pctRgbAlpha : pctRgb;
    header.BitDepth = 16;
    break;
  default:
    header.ColorType = pixels.hasAlphaChannel() ? pctRgbAlpha : pctRgb;
    break;
  }
  return picture;
}

// The codec table's row.
namespace {

GpStatus OnePageOnly() {
  return RecordFailure(InvalidParameter, QStringLiteral("the PNG image has one page only"));
}

float DpiOf(const TPngHeader &header, quint32 perUnit) {
  return header.HasPhys && header.PhysUnit == PNG_RESOLUTION_METER ? DpiFromDotsPerMetre(perUnit) : 0.0f;
}

GpStatus ReadPngHeader(QIODevice &device, quint32 page, ImageHeader &header) {
  if (page > 0)
    return OnePageOnly();
  TReadSession session(device);
  TPngHeader png;
  bool hasTransparency = false;
  QString error;
  if (!ReadHeaderInto(session, png, hasTransparency, error))
    return RecordFailure(UnknownImageFormat, QStringLiteral("cannot read the PNG header (%1)").arg(error));
  header.Width = png.Width;
  header.Height = png.Height;
  header.PixelFormat = PixelFormatOf(PixelsFormatOf(png, hasTransparency));
  header.PageCount = 1;
  header.DpiX = DpiOf(png, png.PhysX);
  header.DpiY = DpiOf(png, png.PhysY);
  return Ok;
}

GpStatus DecodePng(QIODevice &device, quint32 page, TRaster &raster) {
  if (page > 0)
    return OnePageOnly();
  TPngPicture picture;
  QString error;
  if (!TVellPngCodec::Decode(device, picture, error))
    return RecordFailure(error.contains(QStringLiteral("exceeds the limit")) ? ValueOverflow
                                                                             : UnknownImageFormat,
                         QStringLiteral("cannot decode the PNG image (%1)").arg(error));
  raster.Pixels = picture.Pixels;
  raster.Format = PixelFormatOf(raster.Pixels);
  raster.DpiX = DpiOf(picture.Header, picture.Header.PhysX);
  raster.DpiY = DpiOf(picture.Header, picture.Header.PhysY);
  raster.IccProfile = picture.IccProfile;
  return Ok;
}

quint32 DotsPerMetre(float dpi) {
  return dpi > 0 ? quint32(std::lround(dpi / 0.0254)) : 0;
}

GpStatus WritePng(QIODevice &device, const TEncodePage &page) {
  const TRaster raster = PageImage(page);
  TPngPicture picture = TVellPngCodec::PictureOf(ServicePixels(raster.Pixels));
  if (raster.DpiX > 0 || raster.DpiY > 0) {
    picture.Header.HasPhys = true;
    picture.Header.PhysUnit = PNG_RESOLUTION_METER;
    picture.Header.PhysX = DotsPerMetre(raster.DpiX);
    picture.Header.PhysY = DotsPerMetre(raster.DpiY);
  }
  picture.IccProfile = raster.IccProfile;
  QString error;
  if (!TVellPngCodec::Encode(picture, TPngOptions{}, device, error))
    return RecordFailure(Win32Error, QStringLiteral("cannot write the PNG image (%1)").arg(error));
  return Ok;
}

std::unique_ptr<TPageEncoder> NewPngEncoder(QIODevice &device) {
  return NewSingleImageEncoder(device, WritePng);
}

} // namespace

// Identifiers as the platform service has them.
const TImageCodec VellPngCodec{
    u"PNG",
    u"image/png",
    u"Built-in PNG Codec",
    u"*.PNG",
    QUuid(0x557cf406, 0x1a04, 0x11d3, 0x9a, 0x73, 0x00, 0x00, 0xf8, 0x1e, 0xf3, 0x2e),
    QUuid(0xb96b3caf, 0x0728, 0x11d3, 0x9d, 0x7b, 0x00, 0x00, 0xf8, 0x1e, 0xf3, 0x2e),
    TVellPngCodec::CanRead,
    ReadPngHeader,
    DecodePng,
    NewPngEncoder};
