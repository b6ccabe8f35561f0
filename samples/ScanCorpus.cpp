#include "samples/ScanCorpus.h"

#include <QDir>
#include <QFileInfo>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentMap>
#include <tiffio.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <memory>

namespace {

quint32 Mix(quint32 value) {
  value ^= value >> 16;
  value *= 0x7feb352dU;
  value ^= value >> 15;
  value *= 0x846ca68bU;
  value ^= value >> 16;
  return value;
}

quint32 Hash(quint32 a, quint32 b, quint32 c) {
  return Mix(a * 0x9e3779b9U ^ Mix(b + 0x85ebca6bU * c));
}

// Text set in lines of stroke "glyphs" (verticals, bars and diagonals, as
// letters are made of), in paragraphs, inside the page margins.
class TTextLayout {
public:
  TTextLayout(int width, int height, float dpi, quint32 seed)
      : Seed(seed), Left(Mm(dpi, 22)), Right(width - Mm(dpi, 20)), Top(Mm(dpi, 25)),
        Bottom(height - Mm(dpi, 25)), LineHeight(std::max(6, Mm(dpi, 5.2))),
        XHeight(std::max(3, Mm(dpi, 2.0))), GlyphWidth(std::max(3, Mm(dpi, 2.1))),
        Stroke(std::max(1, Mm(dpi, 0.33))) {}

  // Marks the inked pixels of row y with 1 in coverage (one byte per pixel).
  void Row(int y, std::vector<uchar> &coverage) const {
    if (y < Top || y >= Bottom)
      return;
    const int line = (y - Top) / LineHeight;
    if (Hash(Seed, line, 7) % 9 == 0) // paragraph gap
      return;
    const int baseline = LineHeight * 7 / 10;
    const int inLine = (y - Top) % LineHeight;
    const int glyphs = (Right - Left) / GlyphWidth;
    const int lineGlyphs =
        Hash(Seed, line, 8) % 6 == 0 ? glyphs * int(Hash(Seed, line, 9) % 70 + 20) / 100 : glyphs;
    for (int g = 0; g < lineGlyphs; ++g)
      GlyphRow(line, g, inLine - (baseline - XHeight), Left + g * GlyphWidth, coverage);
  }

private:
  static int Mm(float dpi, double mm) { return int(std::lround(mm * dpi / 25.4)); }

  const quint32 Seed;
  const int Left, Right, Top, Bottom, LineHeight, XHeight, GlyphWidth, Stroke;

  // Row dy (0 = top of the x-height) of glyph g of a line; spaces between words.
  void GlyphRow(int line, int g, int dy, int x0, std::vector<uchar> &coverage) const {
    const quint32 shape = Hash(Seed, line * 4096 + g, 11);
    if (shape % 6 == 0)
      return;
    const int inner = GlyphWidth - Stroke - 1;
    const int ascent = (shape >> 4) % 5 == 0 ? XHeight * 3 / 4 : 0;
    const auto span = [&](int from, int length) {
      std::fill_n(coverage.begin() + std::clamp(from, 0, int(coverage.size())),
                  std::clamp(length, 0, int(coverage.size()) - std::clamp(from, 0, int(coverage.size()))), 1);
    };
    if (dy >= -ascent && dy < XHeight) {
      if (shape & 0x100)
        span(x0, Stroke);
      if (shape & 0x200)
        span(x0 + inner - Stroke, Stroke);
      if ((shape & 0x1c00) == 0x400 && dy >= 0)
        span(x0 + (inner - Stroke) * dy / XHeight, Stroke + 1);
    }
    const auto bar = [&](int at) { return dy >= at && dy < at + Stroke; };
    if ((shape & 0x2000 && bar(0)) || (shape & 0x4000 && bar(XHeight / 2)) ||
        (shape & 0x8000 && bar(XHeight - Stroke)))
      span(x0, inner);
  }
};

// A smooth photo-like field per channel, separable so that a row costs a few
// additions per pixel: a(x) + b(y) + c(x) * d(y).
class TPhotoField {
public:
  TPhotoField(int width, int height, quint32 seed) {
    for (int c = 0; c < 3; ++c) {
      Fill(A[c], width, seed, c * 4 + 0, 60);
      Fill(B[c], height, seed, c * 4 + 1, 60);
      Fill(C[c], width, seed, c * 4 + 2, 1);
      Fill(D[c], height, seed, c * 4 + 3, 50);
    }
  }

  int Value(int c, int x, int y) const { return int(128 + A[c][x] + B[c][y] + C[c][x] * D[c][y]); }

private:
  std::vector<float> A[3], B[3], C[3], D[3];

  static void Fill(std::vector<float> &table, int size, quint32 seed, int which, float amplitude) {
    table.resize(size);
    const double f1 = 1.0 + Hash(seed, which, 1) % 5, f2 = 3.0 + Hash(seed, which, 2) % 9;
    const double p1 = Hash(seed, which, 3) % 628 / 100.0, p2 = Hash(seed, which, 4) % 628 / 100.0;
    for (int i = 0; i < size; ++i) {
      const double t = 2 * M_PI * i / size;
      table[i] = float(amplitude * (0.7 * std::sin(f1 * t + p1) + 0.3 * std::sin(f2 * t + p2)));
    }
  }
};

uchar Clamp8(int value) {
  return uchar(std::clamp(value, 0, 255));
}

// Scanner noise of about +-3 levels.
int Noise(quint32 seed, int x, int y) {
  return int(Hash(seed, x, y) % 7) - 3;
}

// Produces the pixel rows of one scan.
class TCorpusPainter {
public:
  explicit TCorpusPainter(const TCorpusScan &spec)
      : Spec(spec), Text(spec.Width, spec.Height, spec.Dpi, spec.Seed),
        Photo(spec.Width, spec.Height, spec.Seed), Coverage(3, std::vector<uchar>(spec.Width)) {
    // Grey forms carry a photo in the upper half now and then; colour pages always do.
    const bool photo = spec.Kind == TScanKind::Rgb || Hash(spec.Seed, 0, 5) % 2 == 0;
    if (photo)
      PhotoBox = {spec.Width / 8, spec.Height / 8, spec.Width * 3 / 4, spec.Height * 3 / 8};
  }

  // Row y in the file's sample layout: packed bits (1 = black), grey bytes or RGB triples.
  void Row(int y, uchar *out) {
    if (Spec.Kind == TScanKind::Bilevel)
      return BilevelRow(y, out);
    SoftCoverage(y);
    for (int x = 0; x < Spec.Width; ++x) {
      const int ink = Soft[x];
      if (Spec.Kind == TScanKind::Grey)
        out[x] = Clamp8(Inked(Background(1, x, y), ink) + Noise(Spec.Seed, x, y));
      else
        for (int c = 0; c < 3; ++c)
          out[3 * x + c] = Clamp8(Inked(Background(c, x, y), ink) + Noise(Spec.Seed + c, x, y));
    }
  }

private:
  struct TBox {
    int X = 0, Y = 0, W = 0, H = 0;
  };

  const TCorpusScan &Spec;
  TTextLayout Text;
  TPhotoField Photo;
  TBox PhotoBox;
  std::vector<std::vector<uchar>> Coverage;
  std::vector<int> Soft;

  bool InPhoto(int x, int y) const {
    return x >= PhotoBox.X && x < PhotoBox.X + PhotoBox.W && y >= PhotoBox.Y && y < PhotoBox.Y + PhotoBox.H;
  }
  // Slightly yellowish paper, darker towards the bottom, or the photo.
  int Background(int c, int x, int y) const {
    return InPhoto(x, y) ? Photo.Value(c, x, y) : 234 + 2 * c - 8 * y / std::max(1, Spec.Height);
  }
  // ink is 0..16; full ink is level 40.
  static int Inked(int background, int ink) { return (background * (16 - ink) + 40 * ink) / 16; }

  void TextRow(int y, std::vector<uchar> &coverage) const {
    std::fill(coverage.begin(), coverage.end(), 0);
    if (!InPhoto(Spec.Width / 2, y))
      Text.Row(y, coverage);
  }

  // Ink coverage blurred by [1 2 1] in both directions, as scanner optics soften edges.
  void SoftCoverage(int y) {
    for (int k = 0; k < 3; ++k)
      TextRow(std::clamp(y - 1 + k, 0, Spec.Height - 1), Coverage[k]);
    Soft.assign(Spec.Width, 0);
    for (int x = 0; x < Spec.Width; ++x) {
      const int l = std::max(0, x - 1), r = std::min(Spec.Width - 1, x + 1);
      for (int k = 0; k < 3; ++k) {
        const int rowWeight = k == 1 ? 2 : 1;
        Soft[x] += rowWeight * (Coverage[k][l] + 2 * Coverage[k][x] + Coverage[k][r]);
      }
    }
  }

  void BilevelRow(int y, uchar *out) {
    TextRow(y, Coverage[0]);
    const int bytes = (Spec.Width + 7) / 8;
    std::fill_n(out, bytes, 0);
    for (int x = 0; x < Spec.Width; ++x) {
      const bool speck = Hash(Spec.Seed, x, y) % 40000 == 0;
      if (Coverage[0][x] || speck)
        out[x >> 3] |= uchar(0x80 >> (x & 7));
    }
  }
};

struct TTiffCloser {
  void operator()(TIFF *tiff) const { TIFFClose(tiff); }
};

void SetScanTags(TIFF *tiff, const TCorpusScan &spec) {
  const bool bilevel = spec.Kind == TScanKind::Bilevel;
  TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, spec.Width);
  TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, spec.Height);
  TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, bilevel ? 1 : 8);
  TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, spec.Kind == TScanKind::Rgb ? 3 : 1);
  TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(tiff, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
  TIFFSetField(tiff, TIFFTAG_XRESOLUTION, spec.Dpi);
  TIFFSetField(tiff, TIFFTAG_YRESOLUTION, spec.Dpi);
  switch (spec.Compression) {
  case TCorpusCompression::Group4:
    TIFFSetField(tiff, TIFFTAG_COMPRESSION, COMPRESSION_CCITTFAX4);
    TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
    break;
  case TCorpusCompression::Jpeg:
    TIFFSetField(tiff, TIFFTAG_COMPRESSION, COMPRESSION_JPEG);
    TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC,
                 spec.Kind == TScanKind::Rgb ? PHOTOMETRIC_YCBCR : PHOTOMETRIC_MINISBLACK);
    TIFFSetField(tiff, TIFFTAG_JPEGQUALITY, 85);
    TIFFSetField(tiff, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
    break;
  case TCorpusCompression::Lzw:
  case TCorpusCompression::LzwPredictor:
    TIFFSetField(tiff, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
    TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC,
                 spec.Kind == TScanKind::Rgb ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK);
    TIFFSetField(tiff, TIFFTAG_PREDICTOR, spec.Compression == TCorpusCompression::LzwPredictor ? 2 : 1);
    break;
  }
  TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, bilevel ? spec.Height : 64);
}

// The corpus: office letters, grey forms, colour pages, landscape and exact-A4
// pages and four large drawings.
void AddOfficePages(std::vector<TCorpusScan> &specs) {
  // Near-A4 and US letter sizes at 300 dpi, as office scanners deliver them.
  const int sizes[][2] = {{2400, 3300}, {2550, 3300}, {2460, 3480}, {2520, 3560}, {2448, 3440}};
  for (int i = 0; i < 40; ++i)
    specs.push_back({QStringLiteral("office/letters/batch-%1/page-%2.tif")
                         .arg(i / 8 + 1, 2, 10, QChar('0'))
                         .arg(i % 8 + 1, 2, 10, QChar('0')),
                     sizes[i % 5][0], sizes[i % 5][1], 300, TScanKind::Bilevel, TCorpusCompression::Group4,
                     quint32(100 + i)});
  for (int i = 0; i < 20; ++i) {
    const float dpi = i % 4 == 3 ? 200 : 300;
    specs.push_back({QStringLiteral("office/forms/form-%1.tif").arg(i + 1, 2, 10, QChar('0')),
                     int(sizes[i % 5][0] * dpi / 300), int(sizes[i % 5][1] * dpi / 300), dpi, TScanKind::Grey,
                     i % 2 ? TCorpusCompression::LzwPredictor : TCorpusCompression::Lzw, quint32(200 + i)});
  }
  for (int i = 0; i < 20; ++i) {
    const bool jpeg = i >= 10;
    const float dpi = i % 5 == 4 ? 200 : 300;
    specs.push_back({QStringLiteral("photos/%1/page-%2.tif")
                         .arg(jpeg ? "jpeg" : "lzw")
                         .arg(i % 10 + 1, 2, 10, QChar('0')),
                     int(sizes[i % 5][0] * dpi / 300), int(sizes[i % 5][1] * dpi / 300), dpi, TScanKind::Rgb,
                     jpeg ? TCorpusCompression::Jpeg : TCorpusCompression::LzwPredictor, quint32(300 + i)});
  }
}

// Landscape and exact-A4 pages, and large drawings.
const TCorpusScan SpecialPages[] = {
    {"misc/landscape/chart.tif", 3300, 2400, 300, TScanKind::Bilevel, TCorpusCompression::Group4, 401},
    {"misc/landscape/table.tif", 3508, 2450, 300, TScanKind::Grey, TCorpusCompression::Lzw, 402},
    {"misc/landscape/poster.tif", 3400, 2400, 300, TScanKind::Rgb, TCorpusCompression::Jpeg, 403},
    {"misc/exact-a4/memo.tif", 2480, 3508, 300, TScanKind::Bilevel, TCorpusCompression::Group4, 411},
    {"misc/exact-a4/form.tif", 2480, 3508, 300, TScanKind::Grey, TCorpusCompression::LzwPredictor, 412},
    {"misc/exact-a4/flyer.tif", 1654, 2339, 200, TScanKind::Rgb, TCorpusCompression::LzwPredictor, 413},
    // Slightly off A3 and A2 at 400 to 600 dpi; the A2 pages are capped to 200 dpi.
    {"large/a3-600dpi-drawing.tif", 6900, 9800, 600, TScanKind::Bilevel, TCorpusCompression::Group4, 501},
    {"large/a2-400dpi-plan.tif", 6450, 9150, 400, TScanKind::Grey, TCorpusCompression::LzwPredictor, 502},
    {"large/a3-500dpi-poster.tif", 5700, 8100, 500, TScanKind::Rgb, TCorpusCompression::Jpeg, 503},
    {"large/a2-400dpi-map.tif", 6500, 9200, 400, TScanKind::Rgb, TCorpusCompression::LzwPredictor, 504},
};

} // namespace

std::vector<TCorpusScan> CorpusScans() {
  std::vector<TCorpusScan> specs;
  AddOfficePages(specs);
  specs.insert(specs.end(), std::begin(SpecialPages), std::end(SpecialPages));
  return specs;
}

bool WriteCorpusScan(const QString &root, const TCorpusScan &spec) {
  const QString path = root + spec.RelativePath;
  QDir().mkpath(QFileInfo(path).path());
  std::unique_ptr<TIFF, TTiffCloser> tiff(TIFFOpen(QFile::encodeName(path).constData(), "w"));
  if (!tiff) {
    std::fprintf(stderr, "cannot create %s\n", qPrintable(path));
    return false;
  }
  SetScanTags(tiff.get(), spec);
  TCorpusPainter painter(spec);
  std::vector<uchar> row(TIFFScanlineSize(tiff.get()));
  for (int y = 0; y < spec.Height; ++y) {
    painter.Row(y, row.data());
    if (TIFFWriteScanline(tiff.get(), row.data(), y, 0) < 0) {
      std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
      return false;
    }
  }
  return true;
}

int WriteScanCorpus(const QString &root) {
  const std::vector<TCorpusScan> specs = CorpusScans();
  QThreadPool pool;
  pool.setMaxThreadCount(2);
  std::atomic<int> failures = 0;
  QtConcurrent::blockingMap(&pool, specs, [&](const TCorpusScan &spec) {
    if (!WriteCorpusScan(root, spec))
      ++failures;
  });
  return failures;
}
