// The headless batch command: its arguments, progress display and the run
// from scan to summary.
#pragma once

#include "app/BatchRun.h"

#include <QStringList>
#include <QTextStream>

#include <atomic>
#include <functional>

// The K-th of N parts of the listed items (Index K from 0, Count N).
struct TBatchShard {
  int Index = 0;
  int Count = 1;
};

struct TBatchCommandLine {
  QString Source;
  QString Target;
  TSizeModeEnum Series = smeAStyle;
  bool AutoSize = true;
  int SizeIndex = 4; // the fixed size when AutoSize is false
  int Jobs = 1;
  qint64 MemoryLimit = 0; // bytes; 0 takes the default budget
  bool DryRun = false;
  bool Update = false;
  TBatchShard Shard;
  QString FilesFrom; // relative paths to convert, "-" for standard input; empty: the whole tree
  QString ReportFile;
  QString SettingsFile; // series and size where the command line names neither
  qint64 MaxPixels = 0; // the largest scan or page; 0 keeps the imaging layer's limit
  bool Help = false;
};

// The parsed arguments (program name excluded), or why they are wrong. A
// settings file named by --settings is read here: it gives the series and the
// size that --series and --size leave open.
struct TParsedCommandLine {
  TBatchCommandLine Line;
  QString Error; // empty when the arguments are usable
  QStringList Warnings; // settings file values replaced by defaults
};
TParsedCommandLine ParseBatchCommandLine(const QStringList &arguments, int defaultJobs);

QString BatchUsageText();

// The items of the shard: the list cut into Count runs of consecutive items
// whose lengths differ by one at most, and the run numbered Index. Every
// machine that lists the same tree cuts it the same way, and the shards'
// reports, one after the other, are the report of the whole list.
void KeepShard(TBatchItemList &list, TBatchShard shard);

// Exit statuses of the command.
enum TBatchExitCode { becSuccess = 0, becItemsFailed = 1, becRefused = 2 };

// The most workers a run takes.
constexpr int MaxJobs = 256;

struct TBatchConsole {
  QTextStream &Out;
  QTextStream &Err;
  bool ErrIsTerminal = false;
  // Counted from elsewhere (signals): the first stops the run between items;
  // at the second the summary and report of the finished items are written
  // and Exit ends the program with the status, items in progress abandoned.
  const std::atomic<int> *Interrupts = nullptr;
  std::function<void(int status)> Exit; // without it, the run is awaited
};

// Parses, scans, converts and reports; returns the exit status.
int RunBatchCommand(const QStringList &arguments, int defaultJobs, TBatchConsole &console);
