// The headless batch command: its arguments, progress display and the run
// from scan to summary.
#pragma once

#include "app/BatchRun.h"

#include <QStringList>
#include <QTextStream>

#include <atomic>

struct TBatchCommandLine {
  QString Source;
  QString Target;
  TSizeModeEnum Series = smeAStyle;
  bool AutoSize = true;
  int SizeIndex = 4; // the fixed size when AutoSize is false
  int Jobs = 1;
  bool DryRun = false;
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
};
TParsedCommandLine ParseBatchCommandLine(const QStringList &arguments, int defaultJobs);

QString BatchUsageText();

// Exit statuses of the command.
enum TBatchExitCode { becSuccess = 0, becItemsFailed = 1, becRefused = 2 };

struct TBatchConsole {
  QTextStream &Out;
  QTextStream &Err;
  bool ErrIsTerminal = false;
  const std::atomic<bool> *Cancel = nullptr; // set from elsewhere to stop between items
};

// Parses, scans, converts and reports; returns the exit status.
int RunBatchCommand(const QStringList &arguments, int defaultJobs, TBatchConsole &console);
