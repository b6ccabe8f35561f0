// The benchmark's yardstick: how long libtiff alone needs to decode every source and
// to encode every output page, and a describer of written TIFFs for the size checks.
//
//   pt-codec-limit describe FILE...             one JSON object per file and line
//   pt-codec-limit time [--jobs N] SCRATCH LIST  LIST lines "decode<TAB>PATH" or "encode<TAB>PATH"
//
// "encode" loads a written page (untimed) and times writing the same pixels again with the
// same compression, predictor and strip layout into SCRATCH. Tasks run on N threads; the
// limit is the summed codec time divided by N.
#include <tiffio.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

struct TTiffCloser {
  void operator()(TIFF *tiff) const { TIFFClose(tiff); }
};
using TTiffPtr = std::unique_ptr<TIFF, TTiffCloser>;

TTiffPtr OpenTiff(const std::string &path, const char *mode) {
  return TTiffPtr(TIFFOpen(path.c_str(), mode));
}

template <typename T> T Tag(TIFF *tiff, ttag_t tag, T fallback) {
  T value = fallback;
  TIFFGetFieldDefaulted(tiff, tag, &value);
  return value;
}

// The tags a page is written with, copied from a written page.
struct TPageLayout {
  uint32_t Width = 0, Height = 0, RowsPerStrip = 0;
  uint16_t BitsPerSample = 0, SamplesPerPixel = 0, Photometric = 0, Compression = 0, Predictor = 1;
  uint16_t Planar = PLANARCONFIG_CONTIG, ResolutionUnit = RESUNIT_NONE, FillOrder = FILLORDER_MSB2LSB;
  float XResolution = 0, YResolution = 0;
};

TPageLayout ReadLayout(TIFF *tiff) {
  TPageLayout layout;
  layout.Width = Tag<uint32_t>(tiff, TIFFTAG_IMAGEWIDTH, 0);
  layout.Height = Tag<uint32_t>(tiff, TIFFTAG_IMAGELENGTH, 0);
  layout.RowsPerStrip = Tag<uint32_t>(tiff, TIFFTAG_ROWSPERSTRIP, layout.Height);
  layout.BitsPerSample = Tag<uint16_t>(tiff, TIFFTAG_BITSPERSAMPLE, 1);
  layout.SamplesPerPixel = Tag<uint16_t>(tiff, TIFFTAG_SAMPLESPERPIXEL, 1);
  layout.Photometric = Tag<uint16_t>(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
  layout.Compression = Tag<uint16_t>(tiff, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
  layout.Planar = Tag<uint16_t>(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  layout.ResolutionUnit = Tag<uint16_t>(tiff, TIFFTAG_RESOLUTIONUNIT, RESUNIT_NONE);
  layout.FillOrder = Tag<uint16_t>(tiff, TIFFTAG_FILLORDER, FILLORDER_MSB2LSB);
  layout.XResolution = Tag<float>(tiff, TIFFTAG_XRESOLUTION, 0.0f);
  layout.YResolution = Tag<float>(tiff, TIFFTAG_YRESOLUTION, 0.0f);
  if (layout.Compression == COMPRESSION_LZW || layout.Compression == COMPRESSION_ADOBE_DEFLATE)
    layout.Predictor = Tag<uint16_t>(tiff, TIFFTAG_PREDICTOR, 1);
  return layout;
}

void WriteLayout(TIFF *tiff, const TPageLayout &layout) {
  TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, layout.Width);
  TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, layout.Height);
  TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, layout.BitsPerSample);
  TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, layout.SamplesPerPixel);
  TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, layout.Photometric);
  TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, layout.Planar);
  TIFFSetField(tiff, TIFFTAG_FILLORDER, layout.FillOrder);
  TIFFSetField(tiff, TIFFTAG_COMPRESSION, layout.Compression);
  if (layout.Predictor != 1)
    TIFFSetField(tiff, TIFFTAG_PREDICTOR, layout.Predictor);
  TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, layout.RowsPerStrip);
  TIFFSetField(tiff, TIFFTAG_RESOLUTIONUNIT, layout.ResolutionUnit);
  TIFFSetField(tiff, TIFFTAG_XRESOLUTION, layout.XResolution);
  TIFFSetField(tiff, TIFFTAG_YRESOLUTION, layout.YResolution);
}

double DotsPerInch(float resolution, uint16_t unit) {
  return unit == RESUNIT_CENTIMETER ? resolution * 2.54 : unit == RESUNIT_INCH ? resolution : 0.0;
}

int Describe(int count, char **files) {
  int failures = 0;
  for (int i = 0; i < count; ++i) {
    TTiffPtr tiff = OpenTiff(files[i], "r");
    if (!tiff) {
      std::printf("{\"file\": \"%s\", \"error\": \"unreadable\"}\n", files[i]);
      ++failures;
      continue;
    }
    const TPageLayout l = ReadLayout(tiff.get());
    std::printf("{\"file\": \"%s\", \"width\": %u, \"height\": %u, \"bits\": %u, \"samples\": %u, "
                "\"photometric\": %u, \"compression\": %u, \"predictor\": %u, \"rows_per_strip\": %u, "
                "\"xdpi\": %.3f, \"ydpi\": %.3f}\n",
                files[i], l.Width, l.Height, l.BitsPerSample, l.SamplesPerPixel, l.Photometric, l.Compression,
                l.Predictor, l.RowsPerStrip, DotsPerInch(l.XResolution, l.ResolutionUnit),
                DotsPerInch(l.YResolution, l.ResolutionUnit));
  }
  return failures ? 1 : 0;
}

using TClock = std::chrono::steady_clock;

double SecondsSince(TClock::time_point start) {
  return std::chrono::duration<double>(TClock::now() - start).count();
}

double ThreadCpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return double(now.tv_sec) + now.tv_nsec * 1e-9;
}

// Wall and CPU seconds of one timed piece of work.
struct TSpan {
  double Wall = 0, Cpu = 0;
};

class TStopwatch {
public:
  TSpan Stop() const { return {SecondsSince(WallStart), ThreadCpuSeconds() - CpuStart}; }

private:
  TClock::time_point WallStart = TClock::now();
  double CpuStart = ThreadCpuSeconds();
};

// Decodes every strip or tile of the first image; returns the time it took.
TSpan DecodeSource(const std::string &path) {
  const TStopwatch watch;
  TTiffPtr tiff = OpenTiff(path, "r");
  if (!tiff)
    throw std::runtime_error("cannot open " + path);
  if (Tag<uint16_t>(tiff.get(), TIFFTAG_COMPRESSION, COMPRESSION_NONE) == COMPRESSION_JPEG &&
      Tag<uint16_t>(tiff.get(), TIFFTAG_PHOTOMETRIC, 0) == PHOTOMETRIC_YCBCR)
    TIFFSetField(tiff.get(), TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
  const bool tiled = TIFFIsTiled(tiff.get());
  const tmsize_t chunkSize = tiled ? TIFFTileSize(tiff.get()) : TIFFStripSize(tiff.get());
  const uint32_t chunks = tiled ? TIFFNumberOfTiles(tiff.get()) : TIFFNumberOfStrips(tiff.get());
  std::vector<unsigned char> buffer(chunkSize);
  for (uint32_t c = 0; c < chunks; ++c) {
    const tmsize_t got = tiled ? TIFFReadEncodedTile(tiff.get(), c, buffer.data(), chunkSize)
                               : TIFFReadEncodedStrip(tiff.get(), c, buffer.data(), chunkSize);
    if (got < 0)
      throw std::runtime_error("cannot decode " + path);
  }
  return watch.Stop();
}

struct TDecodedPage {
  TPageLayout Layout;
  std::vector<std::vector<unsigned char>> Strips;
};

TDecodedPage LoadPage(const std::string &path) {
  TTiffPtr tiff = OpenTiff(path, "r");
  if (!tiff || TIFFIsTiled(tiff.get()))
    throw std::runtime_error("cannot load strips of " + path);
  TDecodedPage page{ReadLayout(tiff.get()), {}};
  const uint32_t strips = TIFFNumberOfStrips(tiff.get());
  for (uint32_t s = 0; s < strips; ++s) {
    std::vector<unsigned char> strip(TIFFVStripSize(
        tiff.get(), std::min(page.Layout.RowsPerStrip, page.Layout.Height - s * page.Layout.RowsPerStrip)));
    if (TIFFReadEncodedStrip(tiff.get(), s, strip.data(), tmsize_t(strip.size())) < 0)
      throw std::runtime_error("cannot decode " + path);
    page.Strips.push_back(std::move(strip));
  }
  return page;
}

// Writes a loaded page again into the scratch folder; returns the time the writing took.
TSpan EncodePage(const std::string &path, const std::string &scratch) {
  const TDecodedPage page = LoadPage(path);
  const TStopwatch watch;
  {
    TTiffPtr tiff = OpenTiff(scratch, "w");
    if (!tiff)
      throw std::runtime_error("cannot create " + scratch);
    WriteLayout(tiff.get(), page.Layout);
    for (uint32_t s = 0; s < page.Strips.size(); ++s)
      if (TIFFWriteEncodedStrip(tiff.get(), s, const_cast<unsigned char *>(page.Strips[s].data()),
                                tmsize_t(page.Strips[s].size())) < 0)
        throw std::runtime_error("cannot encode " + path);
  }
  const TSpan span = watch.Stop();
  std::remove(scratch.c_str());
  return span;
}

struct TTask {
  bool Encode = false;
  std::string Path;
};

std::vector<TTask> ReadTasks(const char *listName) {
  std::ifstream list(listName);
  std::vector<TTask> tasks;
  for (std::string line; std::getline(list, line);) {
    const auto tab = line.find('\t');
    if (tab != std::string::npos)
      tasks.push_back({line.substr(0, tab) == "encode", line.substr(tab + 1)});
  }
  return tasks;
}

struct TTotals {
  std::mutex Lock;
  TSpan Decode, Encode;
  int Failures = 0;
};

void RunTasks(const std::vector<TTask> &tasks, std::atomic<size_t> &next, const std::string &scratch,
              TTotals &totals) {
  for (size_t i = next++; i < tasks.size(); i = next++) {
    try {
      const TSpan span = tasks[i].Encode ? EncodePage(tasks[i].Path, scratch) : DecodeSource(tasks[i].Path);
      std::lock_guard guard(totals.Lock);
      TSpan &sum = tasks[i].Encode ? totals.Encode : totals.Decode;
      sum.Wall += span.Wall;
      sum.Cpu += span.Cpu;
    } catch (const std::exception &error) {
      std::fprintf(stderr, "pt-codec-limit: %s\n", error.what());
      std::lock_guard guard(totals.Lock);
      ++totals.Failures;
    }
  }
}

int Time(int jobs, const std::string &scratchDir, const char *listName) {
  const std::vector<TTask> tasks = ReadTasks(listName);
  std::atomic<size_t> next = 0;
  TTotals totals;
  const auto start = TClock::now();
  std::vector<std::thread> workers;
  for (int j = 0; j < jobs; ++j)
    workers.emplace_back(RunTasks, std::cref(tasks), std::ref(next),
                         scratchDir + "/codec-limit-" + std::to_string(j) + ".tif.part", std::ref(totals));
  for (auto &worker : workers)
    worker.join();
  std::printf("{\"tasks\": %zu, \"jobs\": %d, \"decode_s\": %.3f, \"encode_s\": %.3f, \"limit_s\": %.3f, "
              "\"decode_cpu_s\": %.3f, \"encode_cpu_s\": %.3f, \"wall_s\": %.3f, \"failures\": %d}\n",
              tasks.size(), jobs, totals.Decode.Wall, totals.Encode.Wall,
              (totals.Decode.Wall + totals.Encode.Wall) / jobs, totals.Decode.Cpu, totals.Encode.Cpu,
              SecondsSince(start), totals.Failures);
  return totals.Failures ? 1 : 0;
}

void QuietWarnings(const char *, const char *, va_list) {}

} // namespace

int main(int argc, char **argv) {
  TIFFSetWarningHandler(QuietWarnings);
  if (argc >= 3 && std::strcmp(argv[1], "describe") == 0)
    return Describe(argc - 2, argv + 2);
  if (argc >= 4 && std::strcmp(argv[1], "time") == 0) {
    int jobs = 2, first = 2;
    if (std::strcmp(argv[2], "--jobs") == 0 && argc >= 6) {
      jobs = std::max(1, std::atoi(argv[3]));
      first = 4;
    }
    if (argc == first + 2)
      return Time(jobs, argv[first], argv[first + 1]);
  }
  std::fprintf(stderr,
               "usage: pt-codec-limit describe FILE... | pt-codec-limit time [--jobs N] SCRATCH LIST\n");
  return 2;
}
