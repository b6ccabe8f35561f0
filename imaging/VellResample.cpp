#include "imaging/VellResample.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <vector>

namespace {

// Cloned for AVX2 and SSSE3, whose byte shuffles the vectoriser uses here.
// Defined before its first use: clang takes target_clones only there. Kept
// inside this file: clang 14 names the clones' dispatcher so that calls from
// other files do not find it.
__attribute__((target_clones("avx2", "ssse3", "default"))) void SwapRedBlueRows(const uchar *in, uchar *out,
                                                                                size_t pixels) {
  for (size_t x = 0; x < pixels; ++x, in += 3, out += 3) {
    const uchar first = in[0];
    out[1] = in[1];
    out[0] = in[2];
    out[2] = first;
  }
}

} // namespace

void TVellResample::SwapRedBlue(const uchar *in, uchar *out, size_t pixels) {
  SwapRedBlueRows(in, out, pixels);
}

namespace {

// Weights are 2.14 fixed point; horizontally scaled rows keep 6 fraction bits
// (255 << 6 fits 16 bits), so the vertical sum of products fits 32 bits.
constexpr int WeightBits = 14;
constexpr int WeightOne = 1 << WeightBits;
constexpr int RowShift = 8;
constexpr int BlendShift = 2 * WeightBits - RowShift;

// Per output position: the first source index and TapCount weights.
struct TAxisTaps {
  int TapCount = 1;
  std::vector<int> First;
  std::vector<qint16> Weights;
};

using TTapList = std::vector<std::pair<int, double>>;

// Output i covers [i*S, (i+1)*S) and source pixel k covers [k*D, (k+1)*D), in
// units of 1/D source pixel; each weight is the exact share of the overlap.
TTapList AreaTaps(int i, int sourceSize, int destSize) {
  const qint64 begin = qint64(i) * sourceSize, end = begin + sourceSize;
  TTapList taps;
  for (qint64 k = begin / destSize; k * destSize < end; ++k) {
    const qint64 overlap = std::min(end, (k + 1) * destSize) - std::max(begin, k * destSize);
    taps.emplace_back(int(k), double(overlap) / sourceSize);
  }
  return taps;
}

// Linear interpolation between the two source pixel centres around the output centre.
TTapList LinearTaps(int i, int sourceSize, int destSize) {
  const double centre = (i + 0.5) * sourceSize / destSize - 0.5;
  const int left = int(std::floor(centre));
  const double t = centre - left;
  const int a = std::clamp(left, 0, sourceSize - 1), b = std::clamp(left + 1, 0, sourceSize - 1);
  if (a == b)
    return {{a, 1.0}};
  return {{a, 1.0 - t}, {b, t}};
}

TTapList TapsOf(int i, int sourceSize, int destSize) {
  if (destSize < sourceSize)
    return AreaTaps(i, sourceSize, destSize);
  if (destSize == sourceSize)
    return {{i, 1.0}};
  return LinearTaps(i, sourceSize, destSize);
}

// Quantises the weights so that each output's weights sum to exactly WeightOne.
TAxisTaps MakeTaps(int sourceSize, int destSize) {
  std::vector<TTapList> lists(destSize);
  TAxisTaps axis;
  for (int i = 0; i < destSize; ++i) {
    lists[i] = TapsOf(i, sourceSize, destSize);
    axis.TapCount = std::max(axis.TapCount, int(lists[i].size()));
  }
  axis.TapCount = std::min(axis.TapCount, sourceSize);
  axis.First.resize(destSize);
  axis.Weights.assign(size_t(destSize) * axis.TapCount, 0);
  for (int i = 0; i < destSize; ++i) {
    const int first = std::min(lists[i].front().first, sourceSize - axis.TapCount);
    qint16 *weights = &axis.Weights[size_t(i) * axis.TapCount];
    int sum = 0, largest = 0;
    for (const auto &[index, weight] : lists[i]) {
      const int offset = index - first;
      weights[offset] = qint16(weights[offset] + std::lround(weight * WeightOne));
      sum += int(std::lround(weight * WeightOne));
      if (weights[offset] > weights[largest])
        largest = offset;
    }
    weights[largest] = qint16(weights[largest] + WeightOne - sum);
    axis.First[i] = first;
  }
  return axis;
}

// How the rows handed to the horizontal pass are laid out.
enum class TLayout { Grey, Bgr24, Rgb24, Bgr32 };

int ChannelsOf(TLayout layout) {
  return layout == TLayout::Grey ? 1 : 3;
}

bool IsGrey(QRgb colour) {
  return qRed(colour) == qGreen(colour) && qGreen(colour) == qBlue(colour);
}

bool OpaqueTable(const QList<QRgb> &table) {
  return std::all_of(table.begin(), table.end(), [](QRgb c) { return qAlpha(c) == 255; });
}

bool NeedsExpanding(QImage::Format format) {
  return format == QImage::Format_Mono || format == QImage::Format_MonoLSB ||
         format == QImage::Format_Indexed8 || format == QImage::Format_Grayscale16;
}

// Hands out source rows as grey bytes or 8-bit colour triples, expanding
// bilevel, palette and 16-bit rows into a scratch row.
class TSourceRows {
public:
  explicit TSourceRows(const QImage &image) : Image(image) {
    switch (image.format()) {
    case QImage::Format_Grayscale8:
    case QImage::Format_Grayscale16:
      Layout = TLayout::Grey;
      break;
    case QImage::Format_BGR888:
      Layout = TLayout::Bgr24;
      break;
    case QImage::Format_RGB888:
      Layout = TLayout::Rgb24;
      break;
    case QImage::Format_RGB32:
      Layout = TLayout::Bgr32;
      break;
    default:
      BuildPalette();
    }
    if (NeedsExpanding(image.format()))
      Scratch.resize(size_t(image.width()) * ChannelsOf(Layout));
  }

  TLayout Layout = TLayout::Grey;

  const uchar *Row(int y) {
    const uchar *line = Image.constScanLine(y);
    switch (Image.format()) {
    case QImage::Format_Mono:
    case QImage::Format_MonoLSB:
      ExpandBits(line);
      return Scratch.data();
    case QImage::Format_Indexed8:
      ExpandIndexes(line);
      return Scratch.data();
    case QImage::Format_Grayscale16:
      NarrowGrey(reinterpret_cast<const quint16 *>(line));
      return Scratch.data();
    default:
      return line;
    }
  }

private:
  const QImage &Image;
  std::vector<uchar> Scratch;
  std::array<std::array<uchar, 3>, 256> Palette{};  // B, G, R per index
  std::array<std::array<uchar, 8>, 256> BitBytes{}; // grey of 8 pixels per bilevel byte

  void BuildPalette() {
    const QList<QRgb> table = Image.colorTable();
    const bool grey = std::all_of(table.begin(), table.end(), IsGrey);
    Layout = grey ? TLayout::Grey : TLayout::Bgr24;
    for (int i = 0; i < table.size() && i < 256; ++i)
      Palette[i] = {uchar(qBlue(table[i])), uchar(qGreen(table[i])), uchar(qRed(table[i]))};
    if (Image.depth() == 1 && grey)
      for (int byte = 0; byte < 256; ++byte)
        for (int bit = 0; bit < 8; ++bit)
          BitBytes[byte][bit] = Palette[BitIndex(byte, bit)][0];
  }

  int BitIndex(int byte, int bit) const {
    return Image.format() == QImage::Format_Mono ? (byte >> (7 - bit)) & 1 : (byte >> bit) & 1;
  }

  void ExpandBits(const uchar *line) {
    const int width = Image.width();
    if (Layout == TLayout::Grey) {
      for (int x = 0; x < width; x += 8)
        std::memcpy(&Scratch[x], BitBytes[line[x >> 3]].data(), std::min(8, width - x));
      return;
    }
    for (int x = 0; x < width; ++x)
      std::memcpy(&Scratch[size_t(x) * 3], Palette[BitIndex(line[x >> 3], x & 7)].data(), 3);
  }

  void ExpandIndexes(const uchar *line) {
    const int width = Image.width();
    if (Layout == TLayout::Grey)
      for (int x = 0; x < width; ++x)
        Scratch[x] = Palette[line[x]][0];
    else
      for (int x = 0; x < width; ++x)
        std::memcpy(&Scratch[size_t(x) * 3], Palette[line[x]].data(), 3);
  }

  void NarrowGrey(const quint16 *line) {
    for (int x = 0; x < Image.width(); ++x)
      Scratch[x] = uchar((line[x] * 255u + 32767u) / 65535u);
  }
};

// One source row scaled horizontally: Channels values per output pixel from
// pixels Stride bytes apart; FixedTaps > 0 lets the compiler unroll the taps.
template <int Channels, int Stride, int FixedTaps>
void ScaleRowWith(const uchar *source, quint16 *out, const TAxisTaps &taps) {
  const int tapCount = FixedTaps > 0 ? FixedTaps : taps.TapCount;
  const qint16 *weights = taps.Weights.data();
  const size_t count = taps.First.size();
  for (size_t x = 0; x < count; ++x, weights += tapCount) {
    const uchar *pixel = source + size_t(taps.First[x]) * Stride;
    int sums[Channels] = {};
    for (int t = 0; t < tapCount; ++t)
      for (int c = 0; c < Channels; ++c)
        sums[c] += weights[t] * pixel[t * Stride + c];
    for (int c = 0; c < Channels; ++c)
      out[x * Channels + c] = quint16((sums[c] + (1 << (RowShift - 1))) >> RowShift);
  }
}

template <int Channels, int Stride>
void ScaleRowTaps(const uchar *source, quint16 *out, const TAxisTaps &taps) {
  switch (taps.TapCount) {
  case 1:
    return ScaleRowWith<Channels, Stride, 1>(source, out, taps);
  case 2:
    return ScaleRowWith<Channels, Stride, 2>(source, out, taps);
  case 3:
    return ScaleRowWith<Channels, Stride, 3>(source, out, taps);
  default:
    return ScaleRowWith<Channels, Stride, 0>(source, out, taps);
  }
}

void ScaleRow(TLayout layout, const uchar *source, quint16 *out, const TAxisTaps &taps) {
  switch (layout) {
  case TLayout::Grey:
    return ScaleRowTaps<1, 1>(source, out, taps);
  case TLayout::Bgr24:
  case TLayout::Rgb24:
    return ScaleRowTaps<3, 3>(source, out, taps);
  case TLayout::Bgr32:
    return ScaleRowTaps<3, 4>(source, out, taps);
  }
}

// The weighted sum of scaled rows, rounded to bytes. Plain loops over
// contiguous arrays, which the compiler vectorises.
__attribute__((target_clones("avx2", "default"))) void BlendRows(const quint16 *const *rows,
                                                                 const qint16 *weights, int tapCount,
                                                                 size_t count, quint32 *sums, uchar *out) {
  for (size_t i = 0; i < count; ++i)
    sums[i] = quint32(weights[0]) * rows[0][i];
  for (int t = 1; t < tapCount; ++t) {
    const quint16 *row = rows[t];
    const quint32 weight = quint32(weights[t]);
    for (size_t i = 0; i < count; ++i)
      sums[i] += weight * row[i];
  }
  for (size_t i = 0; i < count; ++i)
    out[i] = uchar((sums[i] + (1u << (BlendShift - 1))) >> BlendShift);
}

// Source values of one row as 8-bit triples in the asked order.
__attribute__((target_clones("avx2", "default"))) void
WritePixels(TLayout layout, TVellChannelOrder order, const uchar *values, size_t pixels, uchar *out) {
  if (layout == TLayout::Grey) {
    for (size_t x = 0; x < pixels; ++x)
      out[3 * x] = out[3 * x + 1] = out[3 * x + 2] = values[x];
    return;
  }
  if ((layout == TLayout::Rgb24) != (order == TVellChannelOrder::Rgb))
    TVellResample::SwapRedBlue(values, out, pixels);
  else
    std::memcpy(out, values, pixels * 3);
}

bool BlendsInPlace(TLayout layout, TVellChannelOrder order) {
  return layout != TLayout::Grey && (layout == TLayout::Rgb24) == (order == TVellChannelOrder::Rgb);
}

// The horizontally scaled rows the current output row needs, kept in a ring
// indexed by source row; every source row is scaled exactly once.
class TScaledRowRing {
public:
  TScaledRowRing(TSourceRows &source, const TAxisTaps &horizontal, int capacity)
      : Source(source), Horizontal(horizontal), Capacity(capacity),
        RowValues(horizontal.First.size() * ChannelsOf(source.Layout)), Storage(RowValues * capacity) {}

  __attribute__((target_clones("avx2", "default"))) const quint16 *Row(int y) {
    for (; Produced <= y; ++Produced)
      ScaleRow(Source.Layout, Source.Row(Produced), Slot(Produced), Horizontal);
    return Slot(y);
  }

private:
  TSourceRows &Source;
  const TAxisTaps &Horizontal;
  const int Capacity;
  const size_t RowValues;
  std::vector<quint16> Storage;
  int Produced = 0;

  quint16 *Slot(int y) { return &Storage[size_t(y % Capacity) * RowValues]; }
};

} // namespace

struct TVellRowScaler::TState {
  TState(const QImage &source, int width, int height, TVellChannelOrder order)
      : Rows(source), Order(order), Horizontal(MakeTaps(source.width(), width)),
        Vertical(MakeTaps(source.height(), height)), Ring(Rows, Horizontal, Vertical.TapCount),
        Values(size_t(width) * ChannelsOf(Rows.Layout)), Sums(Values),
        Blended(BlendsInPlace(Rows.Layout, order) ? 0 : Values), TapRows(Vertical.TapCount) {}

  TSourceRows Rows;
  const TVellChannelOrder Order;
  const TAxisTaps Horizontal, Vertical;
  TScaledRowRing Ring;
  const size_t Values;
  std::vector<quint32> Sums;
  std::vector<uchar> Blended;
  std::vector<const quint16 *> TapRows;
  int Y = 0;
};

TVellRowScaler::TVellRowScaler(const QImage &source, int width, int height, TVellChannelOrder order)
    : State(std::make_unique<TState>(source, width, height, order)) {}

TVellRowScaler::~TVellRowScaler() = default;

void TVellRowScaler::NextRow(uchar *out) {
  TState &s = *State;
  const int taps = s.Vertical.TapCount;
  for (int t = 0; t < taps; ++t)
    s.TapRows[t] = s.Ring.Row(s.Vertical.First[s.Y] + t);
  const qint16 *weights = &s.Vertical.Weights[size_t(s.Y) * taps];
  BlendRows(s.TapRows.data(), weights, taps, s.Values, s.Sums.data(),
            s.Blended.empty() ? out : s.Blended.data());
  if (!s.Blended.empty())
    WritePixels(s.Rows.Layout, s.Order, s.Blended.data(), s.Horizontal.First.size(), out);
  ++s.Y;
}

bool TVellResample::Handles(const QImage &source) {
  if (source.isNull())
    return false;
  switch (source.format()) {
  case QImage::Format_Mono:
  case QImage::Format_MonoLSB:
    return source.colorCount() == 2 && OpaqueTable(source.colorTable());
  case QImage::Format_Indexed8:
    return source.colorCount() > 0 && OpaqueTable(source.colorTable());
  case QImage::Format_Grayscale8:
  case QImage::Format_Grayscale16:
  case QImage::Format_RGB888:
  case QImage::Format_BGR888:
  case QImage::Format_RGB32:
    return true;
  default:
    return false;
  }
}

bool TVellResample::ScaleInto(const QImage &source, QImage &target, const QRect &dest) {
  if (!Handles(source) || target.format() != QImage::Format_BGR888 || dest.isEmpty() ||
      !target.rect().contains(dest))
    return false;
  TVellRowScaler scaler(source, dest.width(), dest.height(), TVellChannelOrder::Bgr);
  for (int y = dest.top(); y <= dest.bottom(); ++y)
    scaler.NextRow(target.scanLine(y) + size_t(dest.x()) * 3);
  return true;
}
