// pt-make-scans DIR: writes the sample scans that scripts/run converts: exact
// and slightly-off pages, a landscape and a large 400 dpi scan, one without
// resolution, every pixel kind, a corrupt file and nested folders.
// pt-make-scans --corpus DIR: writes the corpus of the batch benchmark.
#include "samples/SampleScans.h"
#include "samples/ScanCorpus.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTextStream>

#include <cstdio>

namespace {

struct TSample {
  const char *Path;
  TScanSpec Spec;
  const char *What;
};

const TSample Samples[] = {
    {"a4-exact.tif", {TScanKind::Rgb, 1240, 1754, 150}, "exact A4 at 150 dpi (written unchanged)"},
    {"a4-slightly-off.tif", {TScanKind::Grey, 1200, 1650, 150}, "a little short of A4, grey"},
    {"landscape/wide-scan.TIF", {TScanKind::Rgb, 1650, 1200, 150}, "landscape RGB"},
    {"large/a2-400dpi.tiff",
     {TScanKind::Bilevel, 6400, 9000, 400},
     "large 400 dpi bilevel (page capped at 200 dpi)"},
    {"no-resolution.tif", {TScanKind::Grey, 800, 1000, 0}, "no resolution tags (screen resolution used)"},
    {"bilevel/letter-g4.tif", {TScanKind::Bilevel, 2550, 3300, 300}, "US letter, bilevel Group 4"},
    {"bilevel/a4-g4.tif", {TScanKind::Bilevel, 2480, 3508, 300}, "exact A4, bilevel Group 4 (stays bilevel)"},
    {"palette/card.tif", {TScanKind::Palette, 1000, 1400, 200}, "palette colours"},
    {"grey/deeper/b5-page.tif", {TScanKind::Grey, 1039, 1476, 150}, "a B5 page, nested two folders deep"},
};

bool WriteCorrupt(const QString &path) {
  QFile file(path);
  // A TIFF header whose first directory lies far beyond the end of the file.
  return file.open(QIODevice::WriteOnly) && file.write(QByteArray("II*\0\xff\xff\xff\x7f", 8)) == 8;
}

bool WriteText(const QString &path, const QByteArray &text) {
  QFile file(path);
  return file.open(QIODevice::WriteOnly) && file.write(text) == text.size();
}

} // namespace

int main(int argc, char **argv) {
  QCoreApplication application(argc, argv);
  QTextStream out(stdout);
  QTextStream err(stderr);
  const QStringList arguments = application.arguments();
  const bool corpus = arguments.size() == 3 && arguments[1] == QLatin1String("--corpus");
  if (arguments.size() != 2 && !corpus) {
    err << "usage: pt-make-scans DIR | pt-make-scans --corpus DIR\n";
    return 2;
  }
  const QString root = QDir(arguments.last()).absolutePath() + QLatin1Char('/');
  if (corpus)
    return WriteScanCorpus(root) == 0 ? 0 : 1;
  bool ok = true;
  for (const TSample &sample : Samples) {
    const QString path = root + QString::fromLatin1(sample.Path);
    const bool written = QDir().mkpath(QFileInfo(path).path()) && WriteScan(path, sample.Spec);
    out << (written ? "  " : "  FAILED ") << sample.Path << ": " << sample.What << '\n';
    ok = ok && written;
  }
  ok = ok && WriteCorrupt(root + "corrupt.tif") && WriteText(root + ".hidden.tif", "left out by the scan") &&
       WriteText(root + "notes.txt", "not a TIFF name");
  out << "  corrupt.tif: a damaged TIFF (reported as failed)\n"
      << "  .hidden.tif, notes.txt: not listed by the scan\n";
  out.flush();
  if (!ok)
    err << "pt-make-scans: could not write every sample below " << root << '\n';
  return ok ? 0 : 1;
}
