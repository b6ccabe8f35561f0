// bench_page: the median time of converting one slightly-off A4 scan at
// 300 dpi onto an A4 page, from bilevel, grey and RGB input, and the
// compression of the pages written.
#include "app/BatchRun.h"
#include "app/SourceScan.h"
#include "samples/SampleScans.h"
#include "imaging/VellGDIPOBJ.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTextStream>

#include <tiffio.h>

#include <algorithm>
#include <vector>

namespace {

constexpr int Runs = 7;

QString CompressionName(const QString &path) {
  TIFF *tif = TIFFOpen(QFile::encodeName(path).constData(), "r");
  if (!tif)
    return QStringLiteral("unreadable");
  quint16 compression = 0;
  TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &compression);
  TIFFClose(tif);
  const TIFFCodec *codec = TIFFFindCODEC(compression);
  return codec ? QString::fromLatin1(codec->name) : QString::number(compression);
}

double MedianMs(std::vector<double> times) {
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

} // namespace

int main(int argc, char **argv) {
  QCoreApplication application(argc, argv);
  QTextStream out(stdout);
  VellGdiplusStartup();
  QTemporaryDir dir;
  const QString source = dir.path() + "/in/";
  const struct {
    const char *name;
    TScanKind kind;
  } inputs[] = {{"bilevel", TScanKind::Bilevel}, {"grey", TScanKind::Grey}, {"rgb", TScanKind::Rgb}};
  out << "one 2400 x 3300 scan at 300 dpi onto an A4 page (2480 x 3508), median of " << Runs << " runs\n";
  for (const auto &input : inputs) {
    QDir().mkpath(source + input.name);
    WriteScan(source + input.name + "/scan.tif", {input.kind, 2400, 3300, 300});
    TBatchItemList list;
    ScanFolder(list, source + input.name + "/");
    const TBatchSettings settings{source, dir.path() + "/out/", {}};
    std::vector<double> times;
    TBatchOutcome outcome;
    for (int run = 0; run < Runs; ++run) {
      QElapsedTimer timer;
      timer.start();
      outcome = ExecuteBatch(list, settings);
      times.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    const TBatchResult &result = outcome.Results.value(0);
    out << QStringLiteral("  %1: %2 ms, %3, page written with %4 compression, %5 KiB\n")
               .arg(QString::fromLatin1(input.name), -8)
               .arg(MedianMs(times), 0, 'f', 1)
               .arg(BatchActionName(result.Action))
               .arg(CompressionName(result.Target))
               .arg(QFileInfo(result.Target).size() / 1024);
    out.flush();
  }
  VellGdiplusShutdown();
  return 0;
}
