// Speed of our JPEG, GIF, TIFF, PNG, BMP, TGA, PCX, DCX and PPM codecs (and the
// PSD decoder on a Photoshop file of the same picture) and speed and fidelity
// of the colour quantiser on one picture (PNG or PPM); bench/picfiles/run
// compares the figures with ImageMagick, libvips and pngquant on the same files.
//   bench_picfiles PICTURE OUTPUT-FOLDER [PSD-FILE]
// Prints one line per measurement: name, megapixels per second or seconds,
// and writes the 256-colour results as PNGs for the PSNR comparison.
#include "imaging/VellBmpCodec.h"
#include "imaging/VellColorQuantizer.h"
#include "imaging/VellGifCodec.h"
#include "imaging/VellJpegCodec.h"
#include "imaging/VellPngCodec.h"
#include "imaging/VellTiffCodec.h"
#include "PicFiles/EnDcxGr.h"
#include "PicFiles/EnPcxGr.h"
#include "PicFiles/EnPpmGr.h"
#include "PicFiles/EnPsdGr.h"
#include "PicFiles/EnTgaGr.h"

#include <QBuffer>
#include <QFile>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImage>

#include <cstdio>
#include <functional>

namespace {

// The best of three runs, in seconds.
double BestTime(const std::function<void()> &run) {
  double best = 1e9;
  for (int i = 0; i < 3; ++i) {
    QElapsedTimer timer;
    timer.start();
    run();
    best = std::min(best, timer.nsecsElapsed() / 1e9);
  }
  return best;
}

void Report(const char *name, double megapixels, double seconds) {
  std::printf("%-24s %8.1f MP/s  %7.3f s\n", name, megapixels / seconds, seconds);
}

// Encode and decode through one of our own codec pictures, true colour;
// errors of the codec end the run with their message.
void ReportOwnCodec(const char *name, TRasterCodecPicture &&encoder, TRasterCodecPicture &&decoder,
                    const QImage &picture, double megapixels) {
  encoder.SetPixels(BitmapOfRaster(picture, ifeTrueColor), ifeTrueColor);
  QByteArray file;
  Report(qPrintable(QStringLiteral("%1 encode").arg(QLatin1String(name))), megapixels, BestTime([&] {
           QBuffer buffer;
           buffer.open(QIODevice::WriteOnly);
           encoder.SaveToStream(buffer);
           file = buffer.data();
         }));
  Report(qPrintable(QStringLiteral("%1 decode").arg(QLatin1String(name))), megapixels, BestTime([&] {
           QBuffer buffer(&file);
           buffer.open(QIODevice::ReadOnly);
           decoder.LoadFromStream(buffer);
         }));
}

} // namespace

int main(int argc, char **argv) {
  QGuiApplication application(argc, argv);
  if (argc != 3 && argc != 4) {
    std::fprintf(stderr, "usage: bench_picfiles PICTURE OUTPUT-FOLDER [PSD-FILE]\n");
    return 2;
  }
  const QImage picture = QImage(QString::fromLocal8Bit(argv[1])).convertToFormat(QImage::Format_BGR888);
  if (picture.isNull()) {
    std::fprintf(stderr, "cannot read %s\n", argv[1]);
    return 1;
  }
  const QString out = QString::fromLocal8Bit(argv[2]) + u'/';
  const double megapixels = picture.width() * double(picture.height()) / 1e6;
  QString error;

  QByteArray jpeg;
  Report("jpeg encode q85", megapixels, BestTime([&] {
           QBuffer buffer;
           buffer.open(QIODevice::WriteOnly);
           TJpegOptions options;
           options.Quality = 85;
           TVellJpegCodec::Encode(picture, options, buffer, error);
           jpeg = buffer.data();
         }));
  Report("jpeg decode", megapixels, BestTime([&] {
           QBuffer buffer(&jpeg);
           buffer.open(QIODevice::ReadOnly);
           TJpegPicture decoded;
           TVellJpegCodec::Decode(buffer, decoded, error);
         }));

  QImage reduced;
  const double quantise = BestTime([&] { reduced = ReduceColors(picture, TDitherKernel::Nearest); });
  Report("quantise 256 nearest", megapixels, quantise);
  reduced.save(out + "ours-nearest.png");
  Report("quantise 256 floyd", megapixels,
         BestTime([&] { reduced = ReduceColors(picture, TDitherKernel::FloydSteinberg); }));
  reduced.save(out + "ours-floyd.png");

  QByteArray gif;
  Report("gif encode (indexed)", megapixels, BestTime([&] {
           QBuffer buffer;
           buffer.open(QIODevice::WriteOnly);
           TVellGifCodec::Encode(reduced, TDitherKernel::Nearest, buffer, error);
           gif = buffer.data();
         }));
  Report("gif decode", megapixels, BestTime([&] {
           QBuffer buffer(&gif);
           buffer.open(QIODevice::ReadOnly);
           TGifPicture decoded;
           TVellGifCodec::Decode(buffer, decoded, error);
         }));

  // TIFF as the picture-format library writes it: one strip, no predictor.
  TRaster raster{picture, 300, 300, PixelFormat24bppRGB, {}};
  for (const auto &[name, scheme] : {std::pair{"lzw", quint16(5)}, std::pair{"deflate", quint16(32946)}}) {
    QByteArray tiff;
    const TTiffStorage storage{scheme, 0, 2147483647, -1, false};
    Report(qPrintable(QStringLiteral("tiff encode %1").arg(QLatin1String(name))), megapixels, BestTime([&] {
             QBuffer buffer;
             buffer.open(QIODevice::WriteOnly);
             if (EncodeTiffImage(buffer, raster, storage) != Ok)
               error = QStringLiteral("TIFF encoding failed");
             tiff = buffer.data();
           }));
    Report(qPrintable(QStringLiteral("tiff decode %1").arg(QLatin1String(name))), megapixels, BestTime([&] {
             QBuffer buffer(&tiff);
             buffer.open(QIODevice::ReadOnly);
             TRaster decoded;
             if (VellTiffCodec.Decode(buffer, 0, decoded) != Ok)
               error = QStringLiteral("TIFF decoding failed");
           }));
  }

  QByteArray png;
  Report("png encode level 6", megapixels, BestTime([&] {
           QBuffer buffer;
           buffer.open(QIODevice::WriteOnly);
           TVellPngCodec::Encode(TVellPngCodec::PictureOf(picture), TPngOptions{6, false}, buffer, error);
           png = buffer.data();
         }));
  Report("png decode", megapixels, BestTime([&] {
           QBuffer buffer(&png);
           buffer.open(QIODevice::ReadOnly);
           TPngPicture decoded;
           TVellPngCodec::Decode(buffer, decoded, error);
         }));

  QByteArray bmp;
  Report("bmp encode 24-bit", megapixels, BestTime([&] {
           QBuffer buffer;
           buffer.open(QIODevice::WriteOnly);
           TVellBmpCodec::Encode(TBmpPicture{picture, 24, 0, 0}, buffer, error);
           bmp = buffer.data();
         }));
  Report("bmp decode 24-bit", megapixels, BestTime([&] {
           QBuffer buffer(&bmp);
           buffer.open(QIODevice::ReadOnly);
           TBmpPicture decoded;
           TVellBmpCodec::Decode(buffer, decoded, error);
         }));

  try {
    ReportOwnCodec("tga 24-bit", TTgaGraphic(), TTgaGraphic(), picture, megapixels);
    ReportOwnCodec("pcx 24-bit", TPcxGraphic(), TPcxGraphic(), picture, megapixels);
    ReportOwnCodec("dcx 24-bit", TDcxGraphic(), TDcxGraphic(), picture, megapixels);
    TPpmGraphic binaryPpm;
    binaryPpm.Mode = pmeBinary;
    ReportOwnCodec("ppm P6", std::move(binaryPpm), TPpmGraphic(), picture, megapixels);
    if (argc == 4) {
      QFile psdFile(QString::fromLocal8Bit(argv[3]));
      if (!psdFile.open(QIODevice::ReadOnly))
        throw EPicCodecError(QStringLiteral("cannot read the PSD file"));
      QByteArray psd = psdFile.readAll();
      Report("psd decode (RLE)", megapixels, BestTime([&] {
               QBuffer buffer(&psd);
               buffer.open(QIODevice::ReadOnly);
               TPsdGraphic().LoadFromStream(buffer);
             }));
    }
  } catch (const EPicCodecError &failure) {
    error = failure.Message();
  }
  if (!error.isEmpty())
    std::fprintf(stderr, "bench_picfiles: %s\n", qPrintable(error));
  return error.isEmpty() ? 0 : 1;
}
