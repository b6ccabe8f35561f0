#include "imaging/VellGifCodec.h"

#include "imaging/VellImageCodecs.h"

#include <QIODevice>
#include <QRect>

#include <algorithm>
#include <memory>
#include <vector>

#include <gif_lib.h>

namespace {

int ReadFromDevice(GifFileType *file, GifByteType *buffer, int count) {
  return int(static_cast<QIODevice *>(file->UserData)->read(reinterpret_cast<char *>(buffer), count));
}

int WriteToDevice(GifFileType *file, const GifByteType *buffer, int count) {
  return int(static_cast<QIODevice *>(file->UserData)->write(reinterpret_cast<const char *>(buffer), count));
}

QString LibraryMessage(int code) {
  const char *text = GifErrorString(code);
  return text ? QString::fromLatin1(text) : QStringLiteral("giflib error %1").arg(code);
}

struct TCloseReader {
  void operator()(GifFileType *file) const { DGifCloseFile(file, nullptr); }
};

// A reader positioned on the first image's descriptor, with the graphic
// control block that came before it.
class TFirstImage {
public:
  bool Open(QIODevice &device, QString &error) {
    int code = 0;
    FFile.reset(DGifOpen(&device, ReadFromDevice, &code));
    if (!FFile)
      return Fail(error, LibraryMessage(code));
    GifRecordType record = UNDEFINED_RECORD_TYPE;
    do {
      if (DGifGetRecordType(FFile.get(), &record) == GIF_ERROR)
        return Fail(error, LibraryMessage(FFile->Error));
      if (record == EXTENSION_RECORD_TYPE && !ReadExtension())
        return Fail(error, LibraryMessage(FFile->Error));
      if (record == TERMINATE_RECORD_TYPE)
        return Fail(error, QStringLiteral("the file holds no image"));
    } while (record != IMAGE_DESC_RECORD_TYPE);
    if (DGifGetImageDesc(FFile.get()) == GIF_ERROR)
      return Fail(error, LibraryMessage(FFile->Error));
    const GifImageDesc &image = FFile->Image;
    if (image.Width <= 0 || image.Height <= 0 || image.Left < 0 || image.Top < 0)
      return Fail(error, QStringLiteral("the image has no pixels"));
    if (image.Left + image.Width > 65535 || image.Top + image.Height > 65535)
      return Fail(error, QStringLiteral("the image reaches past 65535 pixels"));
    if (!ColorMap())
      return Fail(error, QStringLiteral("the image has no colour table"));
    return true;
  }

  // The logical screen, grown to hold the image where it reaches past it.
  QRect Canvas() const {
    const GifImageDesc &image = FFile->Image;
    return QRect(0, 0, std::max(FFile->SWidth, image.Left + image.Width),
                 std::max(FFile->SHeight, image.Top + image.Height));
  }
  const ColorMapObject *ColorMap() const {
    return FFile->Image.ColorMap ? FFile->Image.ColorMap : FFile->SColorMap;
  }

  bool ReadPixels(QImage &canvas, QString &error) {
    const GifImageDesc &image = FFile->Image;
    const ColorMapObject &map = *ColorMap();
    QList<QRgb> colours;
    for (int i = 0; i < map.ColorCount; ++i)
      colours.append(qRgb(map.Colors[i].Red, map.Colors[i].Green, map.Colors[i].Blue));
    const int transparent = FControl.TransparentColor;
    const int background = transparent >= 0 ? transparent : FFile->SBackGroundColor;
    canvas.fill(uint(std::clamp(background, 0, 255)));
    int highest = background;
    std::vector<GifPixelType> line(size_t(image.Width));
    for (const int row : RowOrder(image.Height, image.Interlace)) {
      if (DGifGetLine(FFile.get(), line.data(), image.Width) == GIF_ERROR)
        return Fail(error, LibraryMessage(FFile->Error));
      std::copy(line.begin(), line.end(), canvas.scanLine(image.Top + row) + image.Left);
      highest = std::max<int>(highest, *std::max_element(line.begin(), line.end()));
    }
    // Indices past the table show black, as other readers show them.
    while (colours.size() <= highest)
      colours.append(qRgb(0, 0, 0));
    if (transparent >= 0 && transparent < colours.size())
      colours[transparent] &= 0x00FFFFFF;
    canvas.setColorTable(colours);
    return true;
  }

private:
  bool ReadExtension() {
    int code = 0;
    GifByteType *block = nullptr;
    if (DGifGetExtension(FFile.get(), &code, &block) == GIF_ERROR)
      return false;
    if (code == GRAPHICS_EXT_FUNC_CODE && block && block[0] >= 4)
      DGifExtensionToGCB(block[0], block + 1, &FControl);
    while (block)
      if (DGifGetExtensionNext(FFile.get(), &block) == GIF_ERROR)
        return false;
    return true;
  }

  // Rows in the order the file stores them.
  static std::vector<int> RowOrder(int height, bool interlaced) {
    std::vector<int> rows;
    if (!interlaced) {
      for (int y = 0; y < height; ++y)
        rows.push_back(y);
      return rows;
    }
    for (const auto &[start, step] : {std::pair{0, 8}, std::pair{4, 8}, std::pair{2, 4}, std::pair{1, 2}})
      for (int y = start; y < height; y += step)
        rows.push_back(y);
    return rows;
  }

  static bool Fail(QString &error, const QString &text) {
    error = text;
    return false;
  }

  std::unique_ptr<GifFileType, TCloseReader> FFile;
  GraphicsControlBlock FControl{0, false, 0, NO_TRANSPARENT_COLOR};
};

int TableBits(const ColorMapObject &map) {
  return std::max(1, map.BitsPerPixel);
}

// Pixels as 8-bit indices into a colour table.
QImage IndexedPixels(const QImage &pixels, TDitherKernel kernel) {
  if (pixels.format() == QImage::Format_Indexed8)
    return pixels;
  if (pixels.format() == QImage::Format_Mono || pixels.format() == QImage::Format_MonoLSB)
    return pixels.convertToFormat(QImage::Format_Indexed8);
  return ReduceColors(pixels, kernel);
}

struct TCloseWriter {
  void operator()(GifFileType *file) const { EGifCloseFile(file, nullptr); }
};
struct TFreeMap {
  void operator()(ColorMapObject *map) const { GifFreeMapObject(map); }
};

bool WriteIndexed(const QImage &indexed, QIODevice &device, QString &error) {
  QList<QRgb> colours = indexed.colorTable();
  if (colours.isEmpty())
    colours = GreyColourTable(256);
  const int bits = std::max(1, GifBitSize(int(colours.size())));
  const std::unique_ptr<ColorMapObject, TFreeMap> map(GifMakeMapObject(1 << bits, nullptr));
  if (!map) {
    error = QStringLiteral("out of memory");
    return false;
  }
  for (qsizetype i = 0; i < colours.size(); ++i)
    map->Colors[i] = {GifByteType(qRed(colours[i])), GifByteType(qGreen(colours[i])),
                      GifByteType(qBlue(colours[i]))};
  const auto transparent =
      std::find_if(colours.begin(), colours.end(), [](QRgb c) { return qAlpha(c) == 0; });

  int code = 0;
  std::unique_ptr<GifFileType, TCloseWriter> file(EGifOpen(&device, WriteToDevice, &code));
  if (!file) {
    error = LibraryMessage(code);
    return false;
  }
  const int width = indexed.width(), height = indexed.height();
  EGifSetGifVersion(file.get(), transparent != colours.end());
  bool written = EGifPutScreenDesc(file.get(), width, height, bits, 0, map.get()) != GIF_ERROR;
  if (written && transparent != colours.end()) {
    const GraphicsControlBlock control{DISPOSAL_UNSPECIFIED, false, 0, int(transparent - colours.begin())};
    GifByteType block[4];
    EGifGCBToExtension(&control, block);
    written = EGifPutExtension(file.get(), GRAPHICS_EXT_FUNC_CODE, 4, block) != GIF_ERROR;
  }
  written = written && EGifPutImageDesc(file.get(), 0, 0, width, height, false, nullptr) != GIF_ERROR;
  std::vector<GifPixelType> line(static_cast<size_t>(width));
  for (int y = 0; written && y < height; ++y) {
    std::copy_n(indexed.constScanLine(y), width, line.begin()); // giflib masks the line in place
    written = EGifPutLine(file.get(), line.data(), width) != GIF_ERROR;
  }
  if (!written) {
    error = LibraryMessage(file->Error);
    return false;
  }
  code = 0;
  if (EGifCloseFile(file.release(), &code) == GIF_ERROR) {
    error = LibraryMessage(code);
    return false;
  }
  return true;
}

} // namespace

bool TVellGifCodec::CanRead(QIODevice &device) {
  return PeekStartsWith(device, "GIF87a") || PeekStartsWith(device, "GIF89a");
}

bool TVellGifCodec::ReadHeader(QIODevice &device, TGifHeader &header, QString &error) {
  TFirstImage image;
  if (!image.Open(device, error))
    return false;
  header.Width = image.Canvas().width();
  header.Height = image.Canvas().height();
  header.BitsPerPixel = TableBits(*image.ColorMap());
  return true;
}

bool TVellGifCodec::Decode(QIODevice &device, TGifPicture &picture, QString &error) {
  TFirstImage image;
  if (!image.Open(device, error))
    return false;
  const QRect canvas = image.Canvas();
  if (ExceedsPixelLimit(canvas.width(), canvas.height())) {
    error = PixelLimitText(canvas.width(), canvas.height());
    return false;
  }
  QImage pixels(canvas.size(), QImage::Format_Indexed8);
  if (pixels.isNull()) {
    error = QStringLiteral("not enough memory for %1 × %2 pixels").arg(canvas.width()).arg(canvas.height());
    return false;
  }
  if (!image.ReadPixels(pixels, error))
    return false;
  picture.Pixels = pixels;
  picture.BitsPerPixel = TableBits(*image.ColorMap());
  return true;
}

bool TVellGifCodec::Encode(const QImage &pixels, TDitherKernel kernel, QIODevice &device, QString &error) {
  if (pixels.isNull() || pixels.width() > 65535 || pixels.height() > 65535) {
    error = QStringLiteral("a GIF image is 1 to 65535 pixels wide and high");
    return false;
  }
  return WriteIndexed(IndexedPixels(pixels, kernel), device, error);
}

// The codec table's row.
namespace {

GpStatus OnePageOnly() {
  return RecordFailure(InvalidParameter, QStringLiteral("only the first GIF image is read"));
}

GpStatus ReadGifHeader(QIODevice &device, quint32 page, ImageHeader &header) {
  if (page > 0)
    return OnePageOnly();
  TGifHeader gif;
  QString error;
  if (!TVellGifCodec::ReadHeader(device, gif, error))
    return RecordFailure(UnknownImageFormat, QStringLiteral("cannot read the GIF header (%1)").arg(error));
  header.Width = quint32(gif.Width);
  header.Height = quint32(gif.Height);
  header.PixelFormat = PixelFormat8bppIndexed;
  header.PageCount = 1;
  return Ok;
}

GpStatus DecodeGif(QIODevice &device, quint32 page, TRaster &raster) {
  if (page > 0)
    return OnePageOnly();
  TGifPicture picture;
  QString error;
  if (!TVellGifCodec::Decode(device, picture, error))
    return RecordFailure(UnknownImageFormat, QStringLiteral("cannot decode the GIF image (%1)").arg(error));
  raster.Pixels = picture.Pixels;
  raster.Format = PixelFormat8bppIndexed;
  return Ok;
}

GpStatus WriteGif(QIODevice &device, const TEncodePage &page) {
  QString error;
  if (!TVellGifCodec::Encode(PageImage(page).Pixels, TDitherKernel::FloydSteinberg, device, error))
    return RecordFailure(Win32Error, QStringLiteral("cannot write the GIF image (%1)").arg(error));
  return Ok;
}

std::unique_ptr<TPageEncoder> NewGifEncoder(QIODevice &device) {
  return NewSingleImageEncoder(device, WriteGif);
}

} // namespace

// Identifiers as the platform service has them.
const TImageCodec VellGifCodec{
    u"GIF",
    u"image/gif",
    u"Built-in GIF Codec",
    u"*.GIF",
    QUuid(0x557cf402, 0x1a04, 0x11d3, 0x9a, 0x73, 0x00, 0x00, 0xf8, 0x1e, 0xf3, 0x2e),
    QUuid(0xb96b3cb0, 0x0728, 0x11d3, 0x9d, 0x7b, 0x00, 0x00, 0xf8, 0x1e, 0xf3, 0x2e),
    TVellGifCodec::CanRead,
    ReadGifHeader,
    DecodeGif,
    NewGifEncoder};
