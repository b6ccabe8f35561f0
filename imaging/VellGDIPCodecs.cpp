// The imaging service's file side: decoding files and streams through the
// codec table (each source opened once, the codec chosen by signature), header
// reads, the encoder list, and saving one or several pages.
#include "imaging/VellGDIPPrivate.h"
#include "imaging/VellResample.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <new>

namespace {

// Puts the file's name in front of the failure text the codec recorded.
GpStatus NamedFailure(GpStatus status, const QString &fileName) {
  if (status == Ok || fileName.isEmpty())
    return status;
  return RecordFailure(status, fileName + QStringLiteral(": ") + GdipLastErrorText());
}

QString KnownFormats() {
  QStringList names;
  for (const TImageCodec *codec : ImageCodecs())
    names.append(QString::fromUtf16(codec->Name));
  const QString last = names.takeLast();
  return names.join(QStringLiteral(", ")) + QStringLiteral(" or ") + last;
}

// Runs work on the codec whose signature the stream's content has.
template <typename Work> GpStatus WithCodec(QIODevice &stream, Work work) {
  QBuffer buffered;
  QIODevice *device = &stream;
  if (stream.isSequential()) { // libtiff and the signature tests seek
    buffered.setData(stream.readAll());
    buffered.open(QIODevice::ReadOnly);
    device = &buffered;
  }
  if (device->atEnd())
    return RecordFailure(UnknownImageFormat, QStringLiteral("the file is empty"));
  const TImageCodec *codec = CodecForContent(*device);
  if (!codec)
    return RecordFailure(UnknownImageFormat,
                         QStringLiteral("not an image (no %1 signature)").arg(KnownFormats()));
  try {
    return work(*codec, *device);
  } catch (const std::bad_alloc &) {
    return RecordFailure(OutOfMemory, QStringLiteral("out of memory while decoding"));
  }
}

// Opens the file once and runs work on its codec.
template <typename Work> GpStatus WithSourceFile(const QString &fileName, Work work) {
  const QFileInfo info(fileName);
  if (fileName.isEmpty() || !info.exists())
    return RecordFailure(FileNotFound, QStringLiteral("%1: file not found").arg(fileName));
  if (!info.isFile())
    return RecordFailure(FileNotFound, QStringLiteral("%1: not a file").arg(fileName));
  QFile file(fileName);
  if (!file.open(QIODevice::ReadOnly))
    return RecordFailure(AccessDenied,
                         QStringLiteral("%1: cannot open (%2)").arg(fileName, file.errorString()));
  return NamedFailure(WithCodec(file, work), fileName);
}

GpStatus DecodePage(const TImageCodec &codec, QIODevice &device, quint32 page, GpBitmap **bitmap) {
  TRaster raster;
  if (GpStatus status = codec.Decode(device, page, raster); status != Ok)
    return status;
  return HandOutBitmap(std::move(raster), bitmap);
}

GpStatus ReadHeader(const TImageCodec &codec, QIODevice &device, quint32 page, ImageHeader *header) {
  ImageHeader read;
  if (GpStatus status = codec.ReadHeader(device, page, read); status != Ok)
    return status;
  read.MimeType = codec.MimeType;
  *header = read;
  return Ok;
}

} // namespace

GpStatus GdipCreateBitmapFromFilePage(const QString &fileName, quint32 page, GpBitmap **bitmap) {
  if (GpStatus status = GdipCheckCall(bitmap); status != Ok)
    return status;
  *bitmap = nullptr;
  return WithSourceFile(fileName, [&](const TImageCodec &codec, QIODevice &device) {
    return DecodePage(codec, device, page, bitmap);
  });
}

GpStatus GdipCreateBitmapFromStream(QIODevice *stream, quint32 page, GpBitmap **bitmap) {
  if (GpStatus status = GdipCheckCall(stream, bitmap); status != Ok)
    return status;
  *bitmap = nullptr;
  return WithCodec(*stream, [&](const TImageCodec &codec, QIODevice &device) {
    return DecodePage(codec, device, page, bitmap);
  });
}

GpStatus GdipCreateBitmapFromFile(const QString &fileName, GpBitmap **bitmap) {
  return GdipCreateBitmapFromFilePage(fileName, 0, bitmap);
}

// Decoding applies no colour profile to grey and RGB pixels (the profile is
// kept with the bitmap), so both calls decode alike.
GpStatus GdipCreateBitmapFromFileICM(const QString &fileName, GpBitmap **bitmap) {
  return GdipCreateBitmapFromFilePage(fileName, 0, bitmap);
}

GpStatus GdipReadImageHeader(const QString &fileName, quint32 page, ImageHeader *header) {
  if (GpStatus status = GdipCheckCall(header); status != Ok)
    return status;
  return WithSourceFile(fileName, [&](const TImageCodec &codec, QIODevice &device) {
    return ReadHeader(codec, device, page, header);
  });
}

GpStatus GdipReadImageHeaderFromStream(QIODevice *stream, quint32 page, ImageHeader *header) {
  if (GpStatus status = GdipCheckCall(stream, header); status != Ok)
    return status;
  return WithCodec(*stream, [&](const TImageCodec &codec, QIODevice &device) {
    return ReadHeader(codec, device, page, header);
  });
}

// The encoder list: the rows that can write, in table order.
GpStatus GdipGetImageEncodersSize(quint32 *numEncoders, quint32 *size) {
  if (GpStatus status = GdipCheckCall(numEncoders, size); status != Ok)
    return status;
  quint32 count = 0;
  for (const TImageCodec *codec : ImageCodecs())
    count += codec->NewEncoder ? 1 : 0;
  *numEncoders = count;
  *size = quint32(sizeof(ImageCodecInfo)) * count;
  return Ok;
}

GpStatus GdipGetImageEncoders(quint32 numEncoders, quint32 size, ImageCodecInfo *encoders) {
  if (GpStatus status = GdipCheckCall(encoders); status != Ok)
    return status;
  quint32 count = 0, expected = 0;
  GdipGetImageEncodersSize(&count, &expected);
  if (numEncoders != count || size < expected)
    return RecordFailure(InsufficientBuffer, QStringLiteral("the encoder buffer is too small"));
  for (const TImageCodec *codec : ImageCodecs())
    if (codec->NewEncoder)
      *encoders++ = ImageCodecInfo{codec->Clsid, codec->FormatId,   codec->Description, nullptr,
                                   codec->Name,  codec->Extensions, codec->MimeType,    0x10007,
                                   1};
  return Ok;
}

// A file that replaces its target only when committed, and that encoders can
// read back what they wrote (libtiff links each new page into the last one).
// The temporary file beneath is opened for reading and writing alike.
class TReadableSaveFile final : public QSaveFile {
public:
  bool OpenForWriting() {
    if (!open(QIODevice::WriteOnly))
      return false;
    setOpenMode(QIODevice::ReadWrite);
    return true;
  }
};

// The writer behind a GpPageWriter handle: the codec's page encoder on a
// stream, or on a file that replaces its target only when committed.
struct GpPageWriter {
  QString Name; // the file's, or empty for a stream
  std::unique_ptr<TReadableSaveFile> File;
  std::unique_ptr<TPageEncoder> Encoder;
  bool Failed = false;
};

namespace {

// The first long value of the parameter with the given identifier, or fallback.
qint64 ParameterValue(const EncoderParameters *params, const GUID &id, qint64 fallback) {
  for (quint32 i = 0; params && i < params->Count; ++i) {
    const EncoderParameter &parameter = params->Parameter[i];
    if (parameter.Guid == id && parameter.NumberOfValues > 0 && parameter.Value)
      return parameter.Type == EncoderParameterValueTypeByte ? *static_cast<const quint8 *>(parameter.Value)
                                                             : *static_cast<const quint32 *>(parameter.Value);
  }
  return fallback;
}

// Adds a page; a failed page spoils the whole file.
GpStatus AddPage(GpPageWriter &writer, const TEncodePage &page) {
  if (writer.Failed)
    return RecordFailure(WrongState, QStringLiteral("%1: an earlier page failed").arg(writer.Name));
  GpStatus status;
  try {
    status = writer.Encoder->AddPage(page);
  } catch (const std::bad_alloc &) {
    status = RecordFailure(OutOfMemory, QStringLiteral("out of memory while writing"));
  }
  writer.Failed = status != Ok;
  return NamedFailure(status, writer.Name);
}

// The bitmap's raster with a resolution: the screen's when it has none.
TRaster ResolvedRaster(const TBitmapObject &bitmap) {
  TRaster raster = bitmap.Raster();
  const float screen = VellScreenResolution();
  raster.DpiX = raster.DpiX > 0 ? raster.DpiX : screen;
  raster.DpiY = raster.DpiY > 0 ? raster.DpiY : screen;
  return raster;
}

} // namespace

namespace {

GpStatus NoEncoder(const CLSID &encoder) {
  return RecordFailure(FileNotFound, QStringLiteral("no encoder has the identifier %1").arg(encoder.toString()));
}

} // namespace

GpStatus GdipCreatePageWriter(const QString &fileName, const CLSID *encoder, GpPageWriter **writer) {
  if (GpStatus status = GdipCheckCall(encoder, writer); status != Ok)
    return status;
  *writer = nullptr;
  if (fileName.isEmpty())
    return RecordFailure(InvalidParameter, QStringLiteral("no file name was given"));
  const TImageCodec *codec = CodecForEncoder(*encoder);
  if (!codec)
    return NoEncoder(*encoder);
  auto created = std::make_unique<GpPageWriter>();
  created->Name = fileName;
  created->File = std::make_unique<TReadableSaveFile>();
  created->File->setFileName(fileName);
  if (!created->File->OpenForWriting())
    return RecordFailure(Win32Error,
                         QStringLiteral("cannot create %1: %2").arg(fileName, created->File->errorString()));
  created->Encoder = codec->NewEncoder(*created->File);
  *writer = created.release();
  return Ok;
}

GpStatus GdipCreatePageWriterOnStream(QIODevice *stream, const CLSID *encoder, GpPageWriter **writer) {
  if (GpStatus status = GdipCheckCall(stream, encoder, writer); status != Ok)
    return status;
  *writer = nullptr;
  const TImageCodec *codec = CodecForEncoder(*encoder);
  if (!codec)
    return NoEncoder(*encoder);
  auto created = std::make_unique<GpPageWriter>();
  created->Encoder = codec->NewEncoder(*stream);
  *writer = created.release();
  return Ok;
}

GpStatus GdipPageWriterAddImage(GpPageWriter *writer, GpImage *image, const EncoderParameters *params) {
  if (GpStatus status = GdipCheckCall(writer, image); status != Ok)
    return status;
  const TRaster raster = ResolvedRaster(*TBitmapObject::From(image));
  TEncodePage page;
  page.Image = &raster;
  page.Compression = quint32(ParameterValue(params, EncoderCompression, 0));
  page.Quality = int(std::clamp<qint64>(ParameterValue(params, EncoderQuality, -1), -1, 100));
  return AddPage(*writer, page);
}

namespace {

constexpr ARGB OpaqueWhite = 0xFFFFFFFF;

// The fitted page built as a bitmap: for images the row scaler does not take.
GpStatus AddBuiltPage(GpPageWriter &writer, GpImage *image, int pageWidth, int pageHeight, const Rect &draw,
                      float dpi) {
  GpBitmap *page = nullptr;
  GpStatus status = GdipCreateBitmapFromScan0(pageWidth, pageHeight, 0, PixelFormat24bppRGB, nullptr, &page);
  if (status != Ok) {
    writer.Failed = true;
    return NamedFailure(status, writer.Name);
  }
  GpGraphics *graphics = nullptr;
  status = GdipBitmapSetResolution(page, dpi, dpi);
  if (status == Ok)
    status = GdipGetImageGraphicsContext(page, &graphics);
  if (status == Ok)
    status = GdipGraphicsClear(graphics, OpaqueWhite);
  if (status == Ok)
    status = GdipDrawImageRectI(graphics, image, draw.X, draw.Y, draw.Width, draw.Height);
  if (graphics)
    GdipDeleteGraphics(graphics);
  if (status == Ok) {
    TRaster raster = TBitmapObject::From(page)->Raster();
    raster.IccProfile = TBitmapObject::From(image)->IccProfile;
    TEncodePage encoded;
    encoded.Image = &raster;
    status = AddPage(writer, encoded);
  } else {
    writer.Failed = true;
  }
  GdipDisposeImage(page);
  return status;
}

} // namespace

GpStatus GdipPageWriterAddFittedPage(GpPageWriter *writer, GpImage *image, int pageWidth, int pageHeight,
                                     const Rect &draw, float dpi) {
  if (GpStatus status = GdipCheckCall(writer, image); status != Ok)
    return status;
  const TBitmapObject &bitmap = *TBitmapObject::From(image);
  const QImage &pixels = *bitmap.Pixels;
  const QRect page(0, 0, pageWidth, pageHeight), target(draw.X, draw.Y, draw.Width, draw.Height);
  const bool streamed = !page.isEmpty() && !ExceedsPixelLimit(pageWidth, pageHeight) && !target.isEmpty() &&
                        page.contains(target) && TVellResample::Handles(pixels);
  if (!streamed)
    return AddBuiltPage(*writer, image, pageWidth, pageHeight, draw, dpi);
  try {
    TEncodePage rows = FittedPageRows(pixels, page.size(), target, dpi);
    rows.IccProfile = bitmap.IccProfile;
    return AddPage(*writer, rows);
  } catch (const std::bad_alloc &) {
    writer->Failed = true;
    return RecordFailure(OutOfMemory, QStringLiteral("%1: out of memory while writing").arg(writer->Name));
  }
}

GpStatus GdipPageWriterCommit(GpPageWriter *writer) {
  if (GpStatus status = GdipCheckCall(writer); status != Ok)
    return status;
  if (writer->Failed)
    return RecordFailure(WrongState, QStringLiteral("%1: a page failed").arg(writer->Name));
  writer->Failed = true; // committed once
  if (GpStatus status = writer->Encoder->Finish(); status != Ok)
    return NamedFailure(status, writer->Name);
  if (writer->File && !writer->File->commit())
    return RecordFailure(Win32Error,
                         QStringLiteral("cannot write %1: %2").arg(writer->Name, writer->File->errorString()));
  return Ok;
}

GpStatus GdipDeletePageWriter(GpPageWriter *writer) {
  if (GpStatus status = GdipCheckCall(writer); status != Ok)
    return status;
  writer->Encoder.reset();
  delete writer;
  return Ok;
}

namespace {

// A file of one page written by a fresh page writer.
template <typename Add> GpStatus SaveOnePage(const QString &fileName, const CLSID &encoder, Add add) {
  GpPageWriter *writer = nullptr;
  GpStatus status = GdipCreatePageWriter(fileName, &encoder, &writer);
  if (status == Ok)
    status = add(writer);
  if (status == Ok)
    status = GdipPageWriterCommit(writer);
  if (writer)
    GdipDeletePageWriter(writer);
  return status;
}

const CLSID &TiffEncoder() {
  return VellTiffCodec.Clsid;
}

} // namespace

GpStatus GdipSaveImageToFile(GpImage *image, const QString &fileName, const CLSID *encoder,
                             const EncoderParameters *params) {
  if (GpStatus status = GdipCheckCall(image, encoder); status != Ok)
    return status;
  return SaveOnePage(fileName, *encoder,
                     [&](GpPageWriter *writer) { return GdipPageWriterAddImage(writer, image, params); });
}

GpStatus GdipSaveFittedPage(GpImage *image, int pageWidth, int pageHeight, const Rect &draw, float dpi,
                            const QString &fileName) {
  if (GpStatus status = GdipCheckCall(image); status != Ok)
    return status;
  return SaveOnePage(fileName, TiffEncoder(), [&](GpPageWriter *writer) {
    return GdipPageWriterAddFittedPage(writer, image, pageWidth, pageHeight, draw, dpi);
  });
}
