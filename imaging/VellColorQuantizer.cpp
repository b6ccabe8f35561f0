#include "imaging/VellColorQuantizer.h"

#include <QSet>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <span>
#include <vector>

namespace {

// Straight 32-bit pixels; alpha stays when the image has some.
QImage ArgbPixels(const QImage &image) {
  return image.convertToFormat(image.hasAlphaChannel() ? QImage::Format_ARGB32 : QImage::Format_RGB32);
}

bool IsOpaque(QRgb pixel) {
  return qAlpha(pixel) >= 128;
}

template <typename Visit> void ForEachOpaquePixel(const QImage &pixels, Visit visit) {
  for (int y = 0; y < pixels.height(); ++y) {
    const auto *row = reinterpret_cast<const QRgb *>(pixels.constScanLine(y));
    for (int x = 0; x < pixels.width(); ++x)
      if (IsOpaque(row[x]))
        visit(row[x]);
  }
}

// The distinct opaque colours, or nothing when there are more than limit.
QList<QRgb> DistinctColours(const QImage &pixels, int limit) {
  QSet<QRgb> colours;
  for (int y = 0; y < pixels.height(); ++y) {
    const auto *row = reinterpret_cast<const QRgb *>(pixels.constScanLine(y));
    for (int x = 0; x < pixels.width(); ++x) {
      if (!IsOpaque(row[x]))
        continue;
      colours.insert(row[x] | 0xFF000000u);
      if (colours.size() > limit)
        return {};
    }
  }
  QList<QRgb> list(colours.begin(), colours.end());
  std::sort(list.begin(), list.end());
  return list;
}

// Wu's quantiser: cumulative colour moments over a 32-level cube (index 0 is
// the empty border), boxes split where the squared error drops most.
class TWuQuantizer {
public:
  explicit TWuQuantizer(const QImage &pixels)
      : FWeight(kCells), FRed(kCells), FGreen(kCells), FBlue(kCells), FSquares(kCells) {
    ForEachOpaquePixel(pixels, [this](QRgb pixel) { Add(pixel); });
    Accumulate();
  }

  QList<QRgb> Palette(int maxColors) {
    std::vector<TBox> boxes(1, TBox{{0, 0, 0}, {kSide - 1, kSide - 1, kSide - 1}});
    std::vector<double> variance(1, Variance(boxes[0]));
    while (int(boxes.size()) < maxColors) {
      const auto worst = size_t(std::max_element(variance.begin(), variance.end()) - variance.begin());
      if (variance[worst] <= 0)
        break;
      TBox second;
      if (!Split(boxes[worst], second)) {
        variance[worst] = 0;
        continue;
      }
      boxes.push_back(second);
      variance[worst] = Variance(boxes[worst]);
      variance.push_back(Variance(second));
    }
    QList<QRgb> palette;
    for (const TBox &box : boxes) {
      const double weight = Volume(box, FWeight);
      if (weight > 0)
        palette.append(qRgb(int(std::lround(Volume(box, FRed) / weight)),
                            int(std::lround(Volume(box, FGreen) / weight)),
                            int(std::lround(Volume(box, FBlue) / weight))));
    }
    return palette;
  }

private:
  static constexpr int kSide = 33;
  static constexpr int kCells = kSide * kSide * kSide;

  struct TBox {
    std::array<int, 3> Low;  // exclusive
    std::array<int, 3> High; // inclusive
  };

  static int Cell(int r, int g, int b) { return (r * kSide + g) * kSide + b; }
  static int Cell(const std::array<int, 3> &c) { return Cell(c[0], c[1], c[2]); }

  void Add(QRgb pixel) {
    const int r = qRed(pixel), g = qGreen(pixel), b = qBlue(pixel);
    const int cell = Cell((r >> 3) + 1, (g >> 3) + 1, (b >> 3) + 1);
    FWeight[cell] += 1;
    FRed[cell] += r;
    FGreen[cell] += g;
    FBlue[cell] += b;
    FSquares[cell] += double(r * r + g * g + b * b);
  }

  // Every cell becomes the sum over the box from the origin to it.
  void Accumulate() {
    for (std::vector<double> *moment : {&FWeight, &FRed, &FGreen, &FBlue, &FSquares}) {
      std::vector<double> &m = *moment;
      for (int r = 1; r < kSide; ++r)
        for (int g = 1; g < kSide; ++g)
          for (int b = 1; b < kSide; ++b)
            m[Cell(r, g, b)] += m[Cell(r - 1, g, b)] + m[Cell(r, g - 1, b)] + m[Cell(r, g, b - 1)] -
                                m[Cell(r - 1, g - 1, b)] - m[Cell(r - 1, g, b - 1)] -
                                m[Cell(r, g - 1, b - 1)] + m[Cell(r - 1, g - 1, b - 1)];
    }
  }

  // The moment summed over the box's cross-section reaching from the origin
  // to pos along axis.
  static double Face(const TBox &box, int axis, int pos, const std::vector<double> &m) {
    const int u = (axis + 1) % 3, v = (axis + 2) % 3;
    std::array<int, 3> c{};
    c[axis] = pos;
    double sum = 0;
    for (const auto &[cu, cv, sign] :
         {std::tuple{box.High[u], box.High[v], 1}, std::tuple{box.High[u], box.Low[v], -1},
          std::tuple{box.Low[u], box.High[v], -1}, std::tuple{box.Low[u], box.Low[v], 1}}) {
      c[u] = cu;
      c[v] = cv;
      sum += sign * m[Cell(c)];
    }
    return sum;
  }

  static double Volume(const TBox &box, const std::vector<double> &m) {
    return Face(box, 0, box.High[0], m) - Face(box, 0, box.Low[0], m);
  }

  double Variance(const TBox &box) const {
    const double weight = Volume(box, FWeight);
    if (weight <= 1)
      return 0;
    const double r = Volume(box, FRed), g = Volume(box, FGreen), b = Volume(box, FBlue);
    return Volume(box, FSquares) - (r * r + g * g + b * b) / weight;
  }

  struct TCut {
    double Gain = -1;
    int Position = -1;
  };

  // The position along axis where splitting the box leaves the largest sum
  // of squared means (the smallest error).
  TCut BestCut(const TBox &box, int axis, const std::array<double, 4> &whole) const {
    std::array<const std::vector<double> *, 4> moments{&FRed, &FGreen, &FBlue, &FWeight};
    std::array<double, 4> base{};
    for (int i = 0; i < 4; ++i)
      base[i] = Face(box, axis, box.Low[axis], *moments[i]);
    TCut best;
    for (int pos = box.Low[axis] + 1; pos < box.High[axis]; ++pos) {
      std::array<double, 4> half{};
      for (int i = 0; i < 4; ++i)
        half[i] = Face(box, axis, pos, *moments[i]) - base[i];
      const double rest = whole[3] - half[3];
      if (half[3] <= 0 || rest <= 0)
        continue;
      const double gain =
          (half[0] * half[0] + half[1] * half[1] + half[2] * half[2]) / half[3] +
          ((whole[0] - half[0]) * (whole[0] - half[0]) + (whole[1] - half[1]) * (whole[1] - half[1]) +
           (whole[2] - half[2]) * (whole[2] - half[2])) /
              rest;
      if (gain > best.Gain)
        best = {gain, pos};
    }
    return best;
  }

  bool Split(TBox &box, TBox &second) const {
    const std::array<double, 4> whole{Volume(box, FRed), Volume(box, FGreen), Volume(box, FBlue),
                                      Volume(box, FWeight)};
    int axis = -1;
    TCut best;
    for (int a = 0; a < 3; ++a) {
      const TCut cut = BestCut(box, a, whole);
      if (cut.Position >= 0 && cut.Gain > best.Gain) {
        best = cut;
        axis = a;
      }
    }
    if (axis < 0)
      return false;
    second = box;
    box.High[axis] = best.Position;
    second.Low[axis] = best.Position;
    return true;
  }

  std::vector<double> FWeight, FRed, FGreen, FBlue, FSquares;
};

// Nearest palette entries: the entries sorted by green, searched outwards
// from the wanted green until the green distance alone exceeds the best.
class TPaletteSearch {
public:
  // skip: an entry never chosen (the transparent one), or -1.
  TPaletteSearch(const QList<QRgb> &palette, int skip) {
    for (int i = 0; i < palette.size(); ++i)
      if (i != skip)
        FSorted.push_back({qGreen(palette[i]), qRed(palette[i]), qBlue(palette[i]), i});
    std::sort(FSorted.begin(), FSorted.end(),
              [](const TEntry &a, const TEntry &b) { return a.Green < b.Green; });
  }

  int Nearest(int r, int g, int b) const {
    const auto start = std::lower_bound(FSorted.begin(), FSorted.end(), g,
                                        [](const TEntry &entry, int green) { return entry.Green < green; });
    int best = FSorted.empty() ? 0 : FSorted.front().Index;
    int bestDistance = std::numeric_limits<int>::max();
    const auto consider = [&](const TEntry &entry) {
      const int dg = entry.Green - g;
      if (dg * dg >= bestDistance)
        return false;
      const int dr = entry.Red - r, db = entry.Blue - b;
      const int distance = dr * dr + dg * dg + db * db;
      if (distance < bestDistance || (distance == bestDistance && entry.Index < best)) {
        bestDistance = distance;
        best = entry.Index;
      }
      return true;
    };
    for (auto it = start; it != FSorted.end() && consider(*it); ++it) {
    }
    for (auto it = start; it != FSorted.begin() && consider(*--it);) {
    }
    return best;
  }

private:
  struct TEntry {
    int Green, Red, Blue, Index;
  };
  std::vector<TEntry> FSorted;
};

// Nearest palette entries with a direct-mapped cache of recent colours.
class TNearestColour {
public:
  TNearestColour(const QList<QRgb> &palette, int skip)
      : FSearch(palette, skip), FCache(size_t(1) << kCacheBits, kEmpty) {}
  int operator()(int r, int g, int b) {
    const quint32 key = quint32(r) << 16 | quint32(g) << 8 | quint32(b);
    quint64 &slot = FCache[(key * 2654435761u) >> (32 - kCacheBits)];
    if (slot >> 32 == key)
      return int(slot & 0xFF);
    const int index = FSearch.Nearest(r, g, b);
    slot = quint64(key) << 32 | quint64(index);
    return index;
  }

private:
  static constexpr int kCacheBits = 16;
  static constexpr quint64 kEmpty = ~quint64(0);
  TPaletteSearch FSearch;
  std::vector<quint64> FCache;
};

// Pixels summed per colour cell, so that a k-means round visits cells, not pixels.
struct TCell {
  double Count = 0, Red = 0, Green = 0, Blue = 0;
};

int CoarseCell(QRgb p) {
  return (qRed(p) >> 2) << 12 | (qGreen(p) >> 2) << 6 | (qBlue(p) >> 2);
}

// The occupied cells of the picture's opaque pixels: 6 bits a channel, or with
// fine, 7 bits. Fine cells are kept as eight beside their occupied coarse
// parent, so memory follows the picture's colours, not the 2^21 possible cells.
std::vector<TCell> OccupiedCells(const QImage &pixels, bool fine) {
  const int perParent = fine ? 8 : 1;
  std::vector<qint32> first(1 << 18, -1);
  qint32 used = 0;
  ForEachOpaquePixel(pixels, [&](QRgb p) {
    if (qint32 &slot = first[size_t(CoarseCell(p))]; slot < 0) {
      slot = used;
      used += perParent;
    }
  });
  std::vector<TCell> cells(static_cast<size_t>(used));
  ForEachOpaquePixel(pixels, [&](QRgb p) {
    const int child = fine ? (qRed(p) >> 1 & 1) << 2 | (qGreen(p) >> 1 & 1) << 1 | (qBlue(p) >> 1 & 1) : 0;
    TCell &cell = cells[size_t(first[size_t(CoarseCell(p))] + child)];
    cell.Count += 1;
    cell.Red += qRed(p);
    cell.Green += qGreen(p);
    cell.Blue += qBlue(p);
  });
  std::erase_if(cells, [](const TCell &cell) { return cell.Count == 0; });
  return cells;
}

// Moves the palette colours to the means of the cells nearest to them, for at
// most the given rounds or until no colour moves.
void RefineByKMeans(const std::vector<TCell> &cells, QList<QRgb> &palette, int rounds) {
  for (int round = 0; round < rounds; ++round) {
    const TPaletteSearch search(palette, -1);
    std::vector<TCell> sums(size_t(palette.size()));
    for (const TCell &cell : cells) {
      const int r = int(cell.Red / cell.Count), g = int(cell.Green / cell.Count),
                b = int(cell.Blue / cell.Count);
      TCell &sum = sums[size_t(search.Nearest(r, g, b))];
      sum.Count += cell.Count;
      sum.Red += cell.Red;
      sum.Green += cell.Green;
      sum.Blue += cell.Blue;
    }
    bool moved = false;
    for (qsizetype i = 0; i < palette.size(); ++i)
      if (const TCell &sum = sums[size_t(i)]; sum.Count > 0) {
        const QRgb mean = qRgb(int(std::lround(sum.Red / sum.Count)), int(std::lround(sum.Green / sum.Count)),
                               int(std::lround(sum.Blue / sum.Count)));
        moved = moved || mean != palette[i];
        palette[i] = mean;
      }
    if (!moved)
      break;
  }
}

struct TTap {
  int Dx, Dy, Weight;
};
struct TKernelTaps {
  std::span<const TTap> Taps;
  int Divisor;
};

constexpr TTap kFloydSteinberg[] = {{1, 0, 7}, {-1, 1, 3}, {0, 1, 5}, {1, 1, 1}};
constexpr TTap kStucki[] = {{1, 0, 8}, {2, 0, 4},  {-2, 1, 2}, {-1, 1, 4}, {0, 1, 8}, {1, 1, 4},
                            {2, 1, 2}, {-2, 2, 1}, {-1, 2, 2}, {0, 2, 4},  {1, 2, 2}, {2, 2, 1}};
constexpr TTap kSierra[] = {{1, 0, 5}, {2, 0, 3}, {-2, 1, 2}, {-1, 1, 4}, {0, 1, 5},
                            {1, 1, 4}, {2, 1, 2}, {-1, 2, 2}, {0, 2, 3},  {1, 2, 2}};
constexpr TTap kJarvisJudiceNinke[] = {{1, 0, 7}, {2, 0, 5},  {-2, 1, 3}, {-1, 1, 5}, {0, 1, 7}, {1, 1, 5},
                                       {2, 1, 3}, {-2, 2, 1}, {-1, 2, 3}, {0, 2, 5},  {1, 2, 3}, {2, 2, 1}};
constexpr TTap kStevensonArce[] = {{2, 0, 32}, {-3, 1, 12}, {-1, 1, 26}, {1, 1, 30},  {3, 1, 16}, {-2, 2, 12},
                                   {0, 2, 26}, {2, 2, 12},  {-3, 3, 5},  {-1, 3, 12}, {1, 3, 12}, {3, 3, 5}};
constexpr TTap kBurkes[] = {{1, 0, 8}, {2, 0, 4}, {-2, 1, 2}, {-1, 1, 4}, {0, 1, 8}, {1, 1, 4}, {2, 1, 2}};

TKernelTaps TapsOf(TDitherKernel kernel) {
  switch (kernel) {
  case TDitherKernel::FloydSteinberg:
    return {kFloydSteinberg, 16};
  case TDitherKernel::Stucki:
    return {kStucki, 42};
  case TDitherKernel::Sierra:
    return {kSierra, 32};
  case TDitherKernel::JarvisJudiceNinke:
    return {kJarvisJudiceNinke, 48};
  case TDitherKernel::StevensonArce:
    return {kStevensonArce, 200};
  case TDitherKernel::Burkes:
    return {kBurkes, 32};
  case TDitherKernel::Nearest:
    break;
  }
  return {{}, 1};
}

// Diffused error of the next rows: row dy of the ring holds what the pixels of
// row y + dy receive, three channels per pixel, with a margin for the taps.
class TErrorRows {
public:
  static constexpr int kRows = 4, kMargin = 3;
  explicit TErrorRows(int width) : FWidth(width), FRows(size_t(kRows * (width + 2 * kMargin) * 3)) {}
  float *At(int dy, int x) {
    return &FRows[size_t((((FFirst + dy) % kRows) * (FWidth + 2 * kMargin) + x + kMargin) * 3)];
  }
  // Drops the current row and moves to the next.
  void Advance() {
    std::fill_n(At(0, -kMargin), (FWidth + 2 * kMargin) * 3, 0.0f);
    FFirst = (FFirst + 1) % kRows;
  }

private:
  int FWidth;
  int FFirst = 0;
  std::vector<float> FRows;
};

int Clamp8(float value) {
  return std::clamp(int(std::lround(value)), 0, 255);
}

} // namespace

QList<QRgb> AdaptivePalette(const QImage &image, int maxColors) {
  maxColors = std::clamp(maxColors, 1, 256);
  const QImage pixels = ArgbPixels(image);
  QList<QRgb> palette = DistinctColours(pixels, maxColors);
  if (!palette.isEmpty())
    return palette;
  palette = TWuQuantizer(pixels).Palette(maxColors);
  // Coarse cells until the palette settles, then a few rounds on fine ones: on
  // a scanned page almost 3 dB better than three coarse rounds.
  RefineByKMeans(OccupiedCells(pixels, false), palette, 30);
  RefineByKMeans(OccupiedCells(pixels, true), palette, 4);
  return palette;
}

QImage MapToPalette(const QImage &image, const QList<QRgb> &palette, TDitherKernel kernel,
                    int transparentIndex) {
  const QImage pixels = ArgbPixels(image);
  const int width = pixels.width();
  QImage indexed(pixels.size(), QImage::Format_Indexed8);
  if (indexed.isNull() || palette.isEmpty())
    return QImage();
  indexed.setColorTable(palette);
  const bool keepAlpha = transparentIndex >= 0 && transparentIndex < palette.size();
  TNearestColour nearest(palette, keepAlpha ? transparentIndex : -1);
  const TKernelTaps taps = TapsOf(kernel);
  TErrorRows errors(width);
  for (int y = 0; y < pixels.height(); ++y) {
    const auto *source = reinterpret_cast<const QRgb *>(pixels.constScanLine(y));
    uchar *target = indexed.scanLine(y);
    const bool reverse = y % 2 == 1;
    for (int i = 0; i < width; ++i) {
      const int x = reverse ? width - 1 - i : i;
      if (keepAlpha && !IsOpaque(source[x])) {
        target[x] = uchar(transparentIndex);
        continue;
      }
      const float *error = errors.At(0, x);
      const float want[3] = {qRed(source[x]) + error[0], qGreen(source[x]) + error[1],
                             qBlue(source[x]) + error[2]};
      const int index = nearest(Clamp8(want[0]), Clamp8(want[1]), Clamp8(want[2]));
      target[x] = uchar(index);
      const float miss[3] = {want[0] - qRed(palette[index]), want[1] - qGreen(palette[index]),
                             want[2] - qBlue(palette[index])};
      for (const TTap &tap : taps.Taps) {
        const int tx = x + (reverse ? -tap.Dx : tap.Dx);
        if (tx < 0 || tx >= width)
          continue;
        float *to = errors.At(tap.Dy, tx);
        for (int c = 0; c < 3; ++c)
          to[c] += miss[c] * float(tap.Weight) / float(taps.Divisor);
      }
    }
    errors.Advance();
  }
  return indexed;
}

QImage ReduceColors(const QImage &image, TDitherKernel kernel) {
  const QImage pixels = ArgbPixels(image);
  bool transparent = false;
  if (pixels.hasAlphaChannel())
    for (int y = 0; y < pixels.height() && !transparent; ++y) {
      const auto *row = reinterpret_cast<const QRgb *>(pixels.constScanLine(y));
      transparent = std::any_of(row, row + pixels.width(), [](QRgb p) { return !IsOpaque(p); });
    }
  QList<QRgb> palette = AdaptivePalette(pixels, transparent ? 255 : 256);
  if (transparent)
    palette.append(qRgba(0, 0, 0, 0));
  return MapToPalette(pixels, palette, kernel, transparent ? int(palette.size() - 1) : -1);
}
