// Parse and write speed of the XML library on generated documents of 20 and
// 40 MB: prints MB/s for each and the 40/20 time ratio (2 means linear).
// Times are the process's CPU time (best of five), which other programs on a
// shared machine do not inflate; wall-clock times are shown beside them.
#include "Common/VellUtils.h"
#include "Common/VellXMLUtils.h"

#include <QElapsedTimer>

#include <ctime>

#include <algorithm>
#include <cstdio>

namespace {

constexpr double cMB = 1024.0 * 1024.0;

// A settings-like document: groups of items with attributes, text and a
// nested element, until its UTF-8 form reaches about targetBytes.
IXMLDocumentPtr GenerateDocument(qint64 targetBytes) {
  const IXMLDocumentPtr document = NewXMLDocument(true, true);
  const IXMLNodePtr root = document->CreateRootNode(QStringLiteral("TBatchItemList"));
  root->GetAttributes()->Add(QStringLiteral("Version"))->SetAsInteger(2);
  const IXMLNodePtr items = root->AddChild(QStringLiteral("Items"));
  qint64 written = 0;
  for (int i = 0; written < targetBytes; ++i) {
    const IXMLNodePtr item = items->AddChild(QStringLiteral("TBatchItem"));
    const IXMLNodeAttributesPtr attributes = item->GetAttributes();
    attributes->Add(QStringLiteral("FileName"))
        ->SetAsString(QStringLiteral("scan %1 & 扫描 <%2>.tif").arg(i).arg(i % 97));
    attributes->Add(QStringLiteral("Width"))->SetAsInteger(2480 + i % 13);
    attributes->Add(QStringLiteral("Height"))->SetAsInteger(3508 - i % 7);
    attributes->Add(QStringLiteral("Modified"))->SetAsFloat(45000.25 + i / 1000.0);
    attributes->Add(QStringLiteral("Checked"))->SetAsBoolean(i % 2 == 0);
    item->AddChild(QStringLiteral("Folder"))
        ->SetAsString(QStringLiteral("/data/in/%1/\r\nnext").arg(i % 101));
    item->AddChild(QStringLiteral("Note")); // an empty element
    written += 224 + 2 * QString::number(i).size();
  }
  return document;
}

double CpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + now.tv_nsec / 1e9;
}

// CPU and wall-clock seconds of one call of action.
template <typename F> std::pair<double, double> Timed(F &&action) {
  QElapsedTimer wall;
  wall.start();
  const double cpu = CpuSeconds();
  action();
  return {CpuSeconds() - cpu, wall.nsecsElapsed() / 1e9};
}

struct TTiming {
  qint64 Bytes = 0;
  double WriteSeconds = 1e9, WriteWall = 1e9;
  double ParseSeconds = 1e9, ParseWall = 1e9;
};

void KeepBest(double &best, double &bestWall, std::pair<double, double> measured) {
  if (measured.first < best) {
    best = measured.first;
    bestWall = measured.second;
  }
}

TTiming Measure(qint64 targetBytes) {
  const IXMLDocumentPtr document = GenerateDocument(targetBytes);
  TTiming timing;
  for (int run = 0; run < 5; ++run) {
    TMemoryStream stream;
    KeepBest(timing.WriteSeconds, timing.WriteWall, Timed([&] { document->SaveToStream(&stream); }));
    timing.Bytes = stream.size();

    stream.seek(0);
    IXMLDocumentPtr loaded;
    KeepBest(timing.ParseSeconds, timing.ParseWall, Timed([&] { loaded = LoadXMLDocument(&stream); }));
    if (loaded->GetRootNode()->GetChildNodes()->GetNode(0)->GetChildNodes()->GetCount() !=
        document->GetRootNode()->GetChildNodes()->GetNode(0)->GetChildNodes()->GetCount()) {
      std::fprintf(stderr, "bench_xml: the document did not read back\n");
      std::exit(1);
    }
  }
  return timing;
}

void Print(const char *label, const TTiming &timing) {
  const double mb = timing.Bytes / cMB;
  std::printf("%-6s %6.1f MB   parse %6.1f MB/s (%.3f s cpu, %.3f s wall)   write %6.1f MB/s (%.3f s cpu, "
              "%.3f s wall)\n",
              label, mb, mb / timing.ParseSeconds, timing.ParseSeconds, timing.ParseWall,
              mb / timing.WriteSeconds, timing.WriteSeconds, timing.WriteWall);
}

} // namespace

int main() {
  const TTiming small = Measure(20 * 1024 * 1024);
  Print("20 MB", small);
  const TTiming large = Measure(40 * 1024 * 1024);
  Print("40 MB", large);
  const double sizeRatio = double(large.Bytes) / small.Bytes;
  std::printf("time ratio 40/20 (size ratio %.3f): parse %.3f, write %.3f\n", sizeRatio,
              large.ParseSeconds / small.ParseSeconds, large.WriteSeconds / small.WriteSeconds);
  return 0;
}
