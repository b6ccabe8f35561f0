#include "samples/SampleScans.h"

#include <QFile>

#include <tiffio.h>

#include <array>
#include <vector>

namespace {

enum TInk : quint8 { inkPaper, inkText, inkAccent };

// What lies at (x, y) of a document page of w × h pixels.
TInk DocumentInk(int x, int y, int w, int h) {
  const int margin = std::max(2, w / 40);
  const int frame = std::max(1, w / 300);
  const bool inFrame = x >= margin && y >= margin && x < w - margin && y < h - margin;
  const bool onFrame = inFrame && (x < margin + frame || y < margin + frame || x >= w - margin - frame ||
                                   y >= h - margin - frame);
  if (onFrame)
    return inkText;
  if (y > h * 8 / 100 && y < h * 12 / 100 && x > w * 15 / 100 && x < w * 85 / 100)
    return inkAccent;
  const int lineHeight = std::max(4, h / 36);
  if (y < h * 18 / 100 || y > h * 90 / 100 || x < w / 10 || x > w * 9 / 10)
    return inkPaper;
  const int line = (y - h * 18 / 100) / lineHeight;
  const bool inLine = (y - h * 18 / 100) % lineHeight < lineHeight / 2;
  const int word = std::max(6, w / 16);
  const bool inWord = (x + line * 37) % word < word * 3 / 4;
  return inLine && inWord ? inkText : inkPaper;
}

struct TLayout {
  quint16 Samples, Bits, Photometric, Compression;
};

TLayout LayoutOf(TScanKind kind) {
  switch (kind) {
  case TScanKind::Bilevel:
    return {1, 1, PHOTOMETRIC_MINISWHITE, COMPRESSION_CCITTFAX4};
  case TScanKind::Grey:
    return {1, 8, PHOTOMETRIC_MINISBLACK, COMPRESSION_LZW};
  case TScanKind::Palette:
    return {1, 8, PHOTOMETRIC_PALETTE, COMPRESSION_PACKBITS};
  case TScanKind::Rgb:
    break;
  }
  return {3, 8, PHOTOMETRIC_RGB, COMPRESSION_NONE};
}

// Samples of each ink per kind: grey levels, palette indices, RGB triples.
constexpr std::array<quint8, 3> GreyOf{240, 0, 110};
constexpr std::array<std::array<quint8, 3>, 3> RgbOf{{{250, 248, 240}, {0, 0, 0}, {200, 30, 30}}};

void WritePalette(TIFF *tif) {
  std::vector<quint16> red(256, 0), green(256, 0), blue(256, 0);
  for (int i = 0; i < 3; ++i) {
    red[size_t(i)] = quint16(RgbOf[size_t(i)][0] * 257);
    green[size_t(i)] = quint16(RgbOf[size_t(i)][1] * 257);
    blue[size_t(i)] = quint16(RgbOf[size_t(i)][2] * 257);
  }
  TIFFSetField(tif, TIFFTAG_COLORMAP, red.data(), green.data(), blue.data());
}

void FillRow(std::vector<quint8> &row, const TScanSpec &spec, int y) {
  std::fill(row.begin(), row.end(), 0);
  for (int x = 0; x < spec.Width; ++x) {
    const TInk ink =
        spec.Content == TScanContent::Solid ? inkText : DocumentInk(x, y, spec.Width, spec.Height);
    switch (spec.Kind) {
    case TScanKind::Bilevel:
      if (ink != inkPaper)
        row[size_t(x / 8)] |= quint8(0x80 >> (x % 8));
      break;
    case TScanKind::Grey:
      row[size_t(x)] = GreyOf[ink];
      break;
    case TScanKind::Palette:
      row[size_t(x)] = ink;
      break;
    case TScanKind::Rgb:
      std::copy(RgbOf[ink].begin(), RgbOf[ink].end(), row.begin() + 3 * x);
      break;
    }
  }
}

void WriteTags(TIFF *tif, const TScanSpec &spec, const TLayout &layout) {
  TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, quint32(spec.Width));
  TIFFSetField(tif, TIFFTAG_IMAGELENGTH, quint32(spec.Height));
  TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, layout.Samples);
  TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, layout.Bits);
  TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, layout.Photometric);
  TIFFSetField(tif, TIFFTAG_COMPRESSION, layout.Compression);
  TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(tif, 0));
  if (spec.Kind == TScanKind::Palette)
    WritePalette(tif);
  if (spec.Dpi > 0) {
    TIFFSetField(tif, TIFFTAG_XRESOLUTION, spec.Dpi);
    TIFFSetField(tif, TIFFTAG_YRESOLUTION, spec.Dpi);
    TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
  }
}

} // namespace

bool WriteScan(const QString &path, const TScanSpec &spec) {
  const TLayout layout = LayoutOf(spec.Kind);
  TIFF *tif = TIFFOpen(QFile::encodeName(path).constData(), "w");
  if (!tif)
    return false;
  WriteTags(tif, spec, layout);
  std::vector<quint8> row(size_t((qint64(spec.Width) * layout.Samples * layout.Bits + 7) / 8));
  bool ok = true;
  for (int y = 0; y < spec.Height && ok; ++y) {
    FillRow(row, spec, y);
    ok = TIFFWriteScanline(tif, row.data(), quint32(y), 0) == 1;
  }
  TIFFClose(tif);
  return ok;
}
