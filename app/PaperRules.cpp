#include "app/PaperRules.h"

#include "imaging/VellGDIPOBJ.h"

#include <cmath>
#include <limits>

TPageSettings TPageSettings::From(const TAppInfo &info, double screenDpi) {
  return {info.SizeMode, info.AutoCheckFit, info.APaperSize, info.BPaperSize, screenDpi};
}

namespace {

TPageSettings CurrentSettings() {
  VELL_ASSERT_MSG(AppInfo, QStringLiteral("The settings object does not exist"));
  return TPageSettings::From(*AppInfo, VellScreenResolution());
}

int ValidSizeIndex(int ordinal) {
  return ordinal >= 0 && ordinal <= 5 ? ordinal : 4;
}

double DensityPerMm(double dpi, double screenDpi) {
  return (IsZeroDpi(dpi) ? screenDpi : dpi) / MillimetresPerInch;
}

qint32 PixelsToMm(qint32 pixels, double dpi, double screenDpi) {
  return RoundHalfEven(pixels * MillimetresPerInch / (IsZeroDpi(dpi) ? screenDpi : dpi));
}

int MatchIndex(const TPaperTable &shortSides, const TPaperTable &longSides, qint32 shortMm, qint32 longMm) {
  for (int n = 0; n < 6; ++n)
    if (shortSides[n] == shortMm && longSides[n] == longMm)
      return n;
  return -1;
}

} // namespace

TPaperSeries SeriesOf(const TPageSettings &settings) {
  if (settings.SizeMode == smeBStyle)
    return {QLatin1Char('B'), BPaperShort, BPaperLong, ValidSizeIndex(settings.BPaperSize)};
  return {QLatin1Char('A'), APaperShort, APaperLong, ValidSizeIndex(settings.APaperSize)};
}

qint32 RoundHalfEven(double value) {
  if (std::isnan(value))
    return 0;
  constexpr double low = std::numeric_limits<qint32>::min();
  constexpr double high = std::numeric_limits<qint32>::max();
  if (value <= low)
    return std::numeric_limits<qint32>::min();
  if (value >= high)
    return std::numeric_limits<qint32>::max();
  const double floor = std::floor(value);
  const double fraction = value - floor;
  const bool floorIsEven = std::fmod(floor, 2.0) == 0;
  const bool up = fraction > 0.5 || (fraction == 0.5 && !floorIsEven);
  return static_cast<qint32>(up ? floor + 1 : floor);
}

bool IsZeroDpi(double dpi) {
  return std::abs(dpi) <= ZeroDpiTolerance;
}

int NearestSizeIndex(qint32 millimetres, const TPaperTable &table) {
  int best = 0;
  qint64 distance = std::abs(qint64(table[0]) - millimetres);
  for (int i = 1; i < 6; ++i) {
    const qint64 d = std::abs(qint64(table[i]) - millimetres);
    if (d < distance) {
      best = i;
      distance = d;
    }
  }
  return best;
}

QString PaperSizeName(qint32 widthMm, qint32 heightMm) {
  const qint32 shortMm = std::min(widthMm, heightMm);
  const qint32 longMm = std::max(widthMm, heightMm);
  if (int n = MatchIndex(APaperShort, APaperLong, shortMm, longMm); n >= 0)
    return QStringLiteral("A%1").arg(n);
  if (int n = MatchIndex(BPaperShort, BPaperLong, shortMm, longMm); n >= 0)
    return QStringLiteral("B%1").arg(n);
  return QStringLiteral("?");
}

QSize ImageSizeMm(const TImageMetrics &image, double screenDpi) {
  return {PixelsToMm(image.Width, image.HorzDpi, screenDpi),
          PixelsToMm(image.Height, image.VertDpi, screenDpi)};
}

bool NeedsPage(const TImageMetrics &image, const TPageSettings &settings) {
  const QSize mm = ImageSizeMm(image, settings.ScreenDpi);
  return !PaperSizeName(mm.width(), mm.height()).startsWith(SeriesOf(settings).Letter);
}

TPagePlacement ComputePagePlacement(const TImageMetrics &image, const TPageSettings &settings) {
  const bool landscape = image.Width > image.Height;
  const double vertDpi = image.VertDpi;
  TPagePlacement page;
  page.HorzDpi = image.HorzDpi;
  double h = DensityPerMm(page.HorzDpi, settings.ScreenDpi);
  double v = DensityPerMm(vertDpi, settings.ScreenDpi);

  const TPaperSeries series = SeriesOf(settings);
  int n = series.FixedIndex;
  if (settings.AutoCheckFit) {
    const qint32 widthMm = RoundHalfEven(image.Width / h);
    const qint32 heightMm = RoundHalfEven(image.Height / v);
    const int s = NearestSizeIndex(landscape ? heightMm : widthMm, series.Short);
    const int l = NearestSizeIndex(landscape ? widthMm : heightMm, series.Long);
    n = (s + l) / 2;
  }
  if (n < 3) {
    if (page.HorzDpi > CappedDpi) {
      page.HorzDpi = CappedDpi;
      h = CappedDpi / MillimetresPerInch;
    }
    if (vertDpi > CappedDpi)
      v = CappedDpi / MillimetresPerInch;
  }
  const qint32 shortPx = RoundHalfEven(series.Short[n] * h);
  const qint32 longPx = RoundHalfEven(series.Long[n] * v);
  page.PageWidth = landscape ? longPx : shortPx;
  page.PageHeight = landscape ? shortPx : longPx;

  const QSize drawn = FitSizeInside({image.Width, image.Height}, {page.PageWidth, page.PageHeight});
  page.DrawWidth = drawn.width();
  page.DrawHeight = drawn.height();
  page.DrawX = static_cast<qint32>((qint64(page.PageWidth) - page.DrawWidth) / 2);
  page.DrawY = static_cast<qint32>((qint64(page.PageHeight) - page.DrawHeight) / 2);
  page.PageName = series.Letter + QString::number(n);
  return page;
}

QSize FitSizeInside(QSize size, QSize box) {
  const qint64 w = size.width(), h = size.height(), boxW = box.width(), boxH = box.height();
  if (h == 0 || w == 0 || boxH == 0)
    return {0, 0};
  if (w * boxH > boxW * h)
    return {int(boxW), RoundHalfEven(double(h) * double(boxW) / double(w))};
  return {RoundHalfEven(double(w) * double(boxH) / double(h)), int(boxH)};
}

TImageMetrics MetricsOf(TVellImage &image) {
  return {static_cast<qint32>(image.GetWidth()), static_cast<qint32>(image.GetHeight()),
          image.GetHorizontalResolution(), image.GetVerticalResolution()};
}

bool NeedsPage(TVellImage &image) {
  return NeedsPage(MetricsOf(image), CurrentSettings());
}

TPagePlacement ComputePagePlacement(TVellImage &image) {
  return ComputePagePlacement(MetricsOf(image), CurrentSettings());
}
