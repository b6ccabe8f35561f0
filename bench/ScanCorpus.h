// The batch benchmark's corpus: a deterministic tree of realistic scans (text
// pages, grey forms, colour photo pages, large drawings) written row by row, so
// that even A2 scans at 400 dpi never sit in memory whole.
#pragma once

#include <QString>
#include <vector>

enum class TScanKind { Bilevel, Grey, Rgb };
enum class TScanCompression { Group4, Lzw, LzwPredictor, Jpeg };

struct TScanSpec {
  QString RelativePath;
  int Width = 0;
  int Height = 0;
  float Dpi = 300;
  TScanKind Kind = TScanKind::Bilevel;
  TScanCompression Compression = TScanCompression::Group4;
  quint32 Seed = 1;
};

// The scans of the benchmark corpus, in a fixed order.
std::vector<TScanSpec> ScanCorpusSpecs();

// Writes one scan below root (a folder path ending in "/"); false with a
// message on stderr when the file cannot be written.
bool WriteScan(const QString &root, const TScanSpec &spec);

// Writes the whole corpus below root on two threads; returns the number of
// files that could not be written.
int WriteScanCorpus(const QString &root);
