// ISO 216 paper tables and the rules that put an image on a page: whether an
// image already is a page of the chosen series, and otherwise the page size,
// its resolution and the rectangle the image is drawn into.
#pragma once

#include "app/AppInfo.h"

#include <QSize>
#include <QString>

#include <array>

// Millimetres by ISO size number 0 to 5.
using TPaperTable = std::array<qint32, 6>;

inline constexpr TPaperTable APaperShort{841, 594, 420, 297, 210, 148};
inline constexpr TPaperTable APaperLong{1189, 841, 594, 420, 297, 210};
inline constexpr TPaperTable BPaperShort{1000, 707, 500, 353, 250, 176};
inline constexpr TPaperTable BPaperLong{1414, 1000, 707, 500, 353, 250};

inline constexpr double MillimetresPerInch = 25.4;
// Pages of the three largest sizes of a series are stored at no more than this.
inline constexpr double CappedDpi = 200;
// Resolutions up to this magnitude count as missing.
inline constexpr double ZeroDpiTolerance = 0.0001;

// What the page rules read: the settings that choose the page and the screen
// resolution that stands in for a missing image resolution. Copied once per run.
struct TPageSettings {
  TSizeModeEnum SizeMode = smeAStyle;
  bool AutoCheckFit = true;
  TAPaperSizeEnum APaperSize = pseA4;
  TBPaperSizeEnum BPaperSize = pseB4;
  double ScreenDpi = 96;

  static TPageSettings From(const TAppInfo &info, double screenDpi);
};

// A paper series as the rules use it. Modes other than the B series (the
// undeclared smeCustom and out-of-range values) use the A series, and a fixed
// size outside 0 to 5 uses size 4, the default of both series.
struct TPaperSeries {
  QChar Letter;
  const TPaperTable &Short;
  const TPaperTable &Long;
  int FixedIndex;
};
TPaperSeries SeriesOf(const TPageSettings &settings);

// Pixel size and resolution of an image, as read from it.
struct TImageMetrics {
  qint32 Width = 0;
  qint32 Height = 0;
  float HorzDpi = 0;
  float VertDpi = 0;
};

struct TPagePlacement {
  qint32 PageWidth = 0;
  qint32 PageHeight = 0;
  qint32 DrawX = 0;
  qint32 DrawY = 0;
  qint32 DrawWidth = 0;
  qint32 DrawHeight = 0;
  float HorzDpi = 0; // stored on both axes; 0 when the image has no resolution
  QString PageName;  // "A4", "B0", ...
};

// Nearest integer, halves to the even neighbour; saturates at the 32-bit
// limits and gives 0 for a value that is not a number.
qint32 RoundHalfEven(double value);
bool IsZeroDpi(double dpi);

int NearestSizeIndex(qint32 millimetres, const TPaperTable &table);
// "A0" to "A5", "B0" to "B5" for an exact match in either orientation, else "?".
QString PaperSizeName(qint32 widthMm, qint32 heightMm);
// The image's size in whole millimetres (the screen resolution where it has none).
QSize ImageSizeMm(const TImageMetrics &image, double screenDpi);
// False when the image already is a page of the chosen series.
bool NeedsPage(const TImageMetrics &image, const TPageSettings &settings);
TPagePlacement ComputePagePlacement(const TImageMetrics &image, const TPageSettings &settings);
// The largest size with the proportions of size that fits in box.
QSize FitSizeInside(QSize size, QSize box);

class TVellImage;
// The pixel size and resolution of a loaded image.
TImageMetrics MetricsOf(TVellImage &image);
// The rules for a loaded image with the settings object and the screen resolution of now.
bool NeedsPage(TVellImage &image);
TPagePlacement ComputePagePlacement(TVellImage &image);
