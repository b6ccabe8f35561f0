// The batch benchmark's corpus: a deterministic tree of realistic scans (text
// pages, grey forms, colour photo pages, large drawings) written row by row, so
// that even A2 scans at 400 dpi never sit in memory whole.
#pragma once

#include "samples/SampleScans.h"

#include <QString>
#include <vector>

enum class TCorpusCompression { Group4, Lzw, LzwPredictor, Jpeg };

struct TCorpusScan {
  QString RelativePath;
  int Width = 0;
  int Height = 0;
  float Dpi = 300;
  TScanKind Kind = TScanKind::Bilevel; // bilevel, grey or RGB
  TCorpusCompression Compression = TCorpusCompression::Group4;
  quint32 Seed = 1;
};

// The scans of the benchmark corpus, in a fixed order.
std::vector<TCorpusScan> CorpusScans();

// Writes one scan below root (a folder path ending in "/"); false with a
// message on stderr when the file cannot be written.
bool WriteCorpusScan(const QString &root, const TCorpusScan &spec);

// Writes the whole corpus below root on two threads; returns the number of
// files that could not be written.
int WriteScanCorpus(const QString &root);
