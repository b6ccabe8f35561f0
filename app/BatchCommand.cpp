#include "app/BatchCommand.h"

#include "app/AppInfo.h"
#include "app/BatchReport.h"
#include "app/SourceScan.h"
#include "imaging/VellGDIPOBJ.h"

#include "Common/VellUtils.h"

#include "Common/VellXMLUtils.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QMutex>
#include <QSaveFile>

#include <algorithm>
#include <limits>
#include <condition_variable>
#include <cstring>
#include <thread>

#include <unistd.h>

namespace {

// Every option, declared once: the parser and the usage text are made from it.
struct TOptionSpec {
  QStringList Names;
  QString ValueName; // empty for a switch
  QString Help;
};

const TOptionSpec OptionSpecs[] = {
    {{"source"}, "DIR", "folder tree of scans"},
    {{"target"}, "DIR", "output folder, created when missing; not the source folder, nor inside it,\n"
                        "nor holding it"},
    {{"series"}, "A|B", "paper series (default A)"},
    {{"size"}, "SIZE", "A0 to A5 or B0 to B5 of the series, or auto for the best fit per scan (default auto)"},
    {{"jobs"}, "N", "scans converted at the same time, 1 to 256 (default: the number of cores)"},
    {{"memory-limit"}, "BYTES", "working memory the scans in progress share, in bytes or with K, M or G\n"
                                "(default: half the memory available at start)"},
    {{"dry-run"}, "", "read headers only and write nothing; print per scan its size, whether it\n"
                      "needs a page, and the page"},
    {{"update"}, "", "convert only scans whose output is missing or older than the scan"},
    {{"shard"}, "K/N", "convert only the K-th (0 to N-1) of N equal runs of consecutive listed scans"},
    {{"files-from"}, "FILE", "convert the scans FILE names, one path relative to the source folder a line,\n"
                             "instead of every scan below it; - reads standard input"},
    {{"report"}, "FILE", "write a JSON array with one object per scan"},
    {{"settings"}, "FILE", "take the series and size that --series and --size leave open from a settings\n"
                           "file such as the desktop program's AppInfo.dat"},
    {{"max-pixels"}, "N", "refuse scans and pages of more than N pixels (default 1073741824, 2^30)"},
    {{"help", "h"}, "", "show this text"},
};

QString OptionColumn(const TOptionSpec &spec) {
  QString column = QStringLiteral("--") + spec.Names.first();
  if (!spec.ValueName.isEmpty())
    column += QLatin1Char(' ') + spec.ValueName;
  return column;
}

QString MakeUsageText() {
  QString text = QStringLiteral(
      "usage: pagetailor-batch --source DIR --target DIR [options]\n"
      "\n"
      "Puts every .tif/.tiff scan below DIR on a page of an ISO paper size and writes it as TIFF under\n"
      "the target folder at the same relative path. Scans that already have a size of the series are\n"
      "written unchanged.\n"
      "\n");
  constexpr int column = 24;
  for (const TOptionSpec &spec : OptionSpecs) {
    const QString help = QString(spec.Help).replace(QLatin1Char('\n'), QLatin1Char('\n') + QString(column, ' '));
    text += QStringLiteral("  ") + OptionColumn(spec).leftJustified(column - 3) + QLatin1Char(' ') + help + '\n';
  }
  text += QStringLiteral("\nExit status: 0 when no scan failed, 1 when any failed or the run was cancelled, 2 "
                         "when the\narguments are wrong or the run was refused.\n");
  return text;
}

const QString UsageText = MakeUsageText();

bool ParseSeries(const QString &text, TSizeModeEnum &series) {
  if (text.compare(QLatin1String("A"), Qt::CaseInsensitive) == 0)
    series = smeAStyle;
  else if (text.compare(QLatin1String("B"), Qt::CaseInsensitive) == 0)
    series = smeBStyle;
  else
    return false;
  return true;
}

// "auto", or a series letter followed by 0 to 5.
bool ParseSize(const QString &text, TBatchCommandLine &line, QChar &letter) {
  if (text.compare(QLatin1String("auto"), Qt::CaseInsensitive) == 0) {
    line.AutoSize = true;
    return true;
  }
  if (text.size() != 2 || !QStringLiteral("AB").contains(text[0].toUpper()) || text[1] < QLatin1Char('0') ||
      text[1] > QLatin1Char('5'))
    return false;
  letter = text[0].toUpper();
  line.AutoSize = false;
  line.SizeIndex = text[1].digitValue();
  return true;
}

// A whole number of bytes, or of KiB, MiB or GiB with the suffix K, M or G.
qint64 ParseBytes(const QString &text) {
  static const QString suffixes = QStringLiteral("KMG");
  QString digits = text.trimmed().toUpper();
  int shift = 0;
  if (const qsizetype unit = suffixes.indexOf(digits.right(1)); !digits.isEmpty() && unit >= 0) {
    digits.chop(1);
    shift = 10 * int(unit + 1);
  }
  bool ok = false;
  const qint64 value = digits.toLongLong(&ok);
  return ok && value > 0 && value <= (std::numeric_limits<qint64>::max() >> shift) ? value << shift : 0;
}

// "K/N" with 0 <= K < N.
bool ParseShard(const QString &text, TBatchShard &shard) {
  const QStringList parts = text.split(QLatin1Char('/'));
  bool kOk = false, nOk = false;
  if (parts.size() == 2) {
    shard.Index = parts[0].toInt(&kOk);
    shard.Count = parts[1].toInt(&nOk);
  }
  return kOk && nOk && shard.Count >= 1 && shard.Index >= 0 && shard.Index < shard.Count;
}

// The values of the options that take one; the reason when one is wrong.
QString ApplyValues(const QCommandLineParser &parser, TBatchCommandLine &line, QChar &sizeLetter) {
  line.Source = parser.value(QStringLiteral("source"));
  line.Target = parser.value(QStringLiteral("target"));
  line.ReportFile = parser.value(QStringLiteral("report"));
  line.SettingsFile = parser.value(QStringLiteral("settings"));
  line.FilesFrom = parser.value(QStringLiteral("files-from"));
  line.DryRun = parser.isSet(QStringLiteral("dry-run"));
  line.Update = parser.isSet(QStringLiteral("update"));
  const auto given = [&](const char *name, QString &value) {
    value = parser.value(QString::fromLatin1(name));
    return parser.isSet(QString::fromLatin1(name));
  };
  QString value;
  if (given("series", value) && !ParseSeries(value, line.Series))
    return QStringLiteral("--series takes A or B, not \"%1\"").arg(value);
  if (given("size", value) && !ParseSize(value, line, sizeLetter))
    return QStringLiteral("--size takes A0 to A5, B0 to B5 or auto, not \"%1\"").arg(value);
  if (given("jobs", value)) {
    bool ok = false;
    line.Jobs = value.toInt(&ok);
    if (!ok || line.Jobs < 1 || line.Jobs > MaxJobs)
      return QStringLiteral("--jobs takes a whole number from 1 to %1, not \"%2\"").arg(MaxJobs).arg(value);
  }
  if (given("memory-limit", value) && (line.MemoryLimit = ParseBytes(value)) == 0)
    return QStringLiteral("--memory-limit takes a number of bytes, with K, M or G if wanted, not \"%1\"")
        .arg(value);
  if (given("max-pixels", value)) {
    bool ok = false;
    line.MaxPixels = value.toLongLong(&ok);
    if (!ok || line.MaxPixels < 1)
      return QStringLiteral("--max-pixels takes a whole number of at least 1, not \"%1\"").arg(value);
  }
  if (given("shard", value) && !ParseShard(value, line.Shard))
    return QStringLiteral("--shard takes K/N with 0 <= K < N, not \"%1\"").arg(value);
  return {};
}

// The number an attribute of the settings file's root element holds, as
// written; -1 when it holds none.
int RawSetting(const IXMLNodePtr &root, const QString &name) {
  if (!root || !root->HasAttribute(name))
    return -1;
  bool isNumber = false;
  const int value = root->GetAttributes()->GetAttribute(name)->GetValue().toInt(&isNumber);
  return isNumber ? value : -1;
}

// Values only a hand-edited file holds, which loading replaced by the
// defaults: each with a word, where the command line left it to the file.
QStringList OutOfRangeWarnings(const TBatchCommandLine &line, bool seriesGiven, bool sizeGiven) {
  QFile file(line.SettingsFile);
  if (!file.open(QIODevice::ReadOnly))
    return {};
  IXMLNodePtr root;
  try {
    root = LoadXMLDocument(&file)->GetRootNode();
  } catch (const EVellError &) {
    return {};
  }
  const QString quoted = QStringLiteral("the settings file \"%1\"").arg(line.SettingsFile);
  QStringList warnings;
  if (const int series = RawSetting(root, QStringLiteral("SizeMode")); !seriesGiven && series > smeBStyle)
    warnings << quoted + QStringLiteral(" gives the series SizeMode=%1, neither A (0) nor B (1); the A series is used")
                             .arg(series);
  const QChar letter = line.Series == smeBStyle ? QLatin1Char('B') : QLatin1Char('A');
  if (const int size = RawSetting(root, letter + QStringLiteral("PaperSize")); !sizeGiven && size > 5)
    warnings << quoted + QStringLiteral(" gives the %1 size %2, outside 0 to 5; %1%3 is used")
                             .arg(letter)
                             .arg(size)
                             .arg(line.SizeIndex);
  return warnings;
}

// The series and size of the settings file, where the command line gave none.
QString ApplySettingsFile(TBatchCommandLine &line, bool seriesGiven, bool sizeGiven, QChar &sizeLetter,
                          QStringList &warnings) {
  const QFileInfo file(line.SettingsFile);
  if (!file.exists())
    return QStringLiteral("the settings file \"%1\" does not exist").arg(line.SettingsFile);
  if (!file.isFile())
    return QStringLiteral("the settings file \"%1\" is not a regular file").arg(line.SettingsFile);
  if (!file.isReadable())
    return QStringLiteral("the settings file \"%1\" cannot be read: permission denied").arg(line.SettingsFile);
  TAppInfo settings;
  try {
    settings.LoadFromFile(line.SettingsFile);
  } catch (const EXMLException &) {
    // The XML library's own messages are in the desktop program's language.
    return QStringLiteral("the settings file \"%1\" cannot be read: it is no complete XML document")
        .arg(line.SettingsFile);
  } catch (const EVellError &error) {
    return QStringLiteral("the settings file \"%1\" cannot be read: %2")
        .arg(line.SettingsFile, error.Message());
  }
  if (!seriesGiven)
    line.Series = settings.SizeMode == smeBStyle ? smeBStyle : smeAStyle;
  if (!sizeGiven) {
    const bool bSeries = line.Series == smeBStyle;
    line.AutoSize = settings.AutoCheckFit;
    line.SizeIndex = bSeries ? int(settings.BPaperSize) : int(settings.APaperSize);
    sizeLetter = bSeries ? QLatin1Char('B') : QLatin1Char('A');
  }
  warnings = OutOfRangeWarnings(line, seriesGiven, sizeGiven);
  return {};
}

QString CheckComplete(const TBatchCommandLine &line, QChar sizeLetter) {
  if (line.Source.isEmpty())
    return QStringLiteral("--source is missing");
  if (line.Target.isEmpty())
    return QStringLiteral("--target is missing");
  const QChar seriesLetter = line.Series == smeBStyle ? QLatin1Char('B') : QLatin1Char('A');
  if (!line.AutoSize && sizeLetter != seriesLetter)
    return QStringLiteral("--size %1%2 is not a size of the %3 series")
        .arg(sizeLetter)
        .arg(line.SizeIndex)
        .arg(seriesLetter);
  return {};
}

QString WithSlash(const QString &folder) {
  return TVellStr::IncludeTrailingChar(folder, QLatin1Char('/'));
}

QString AbsoluteFolder(const QString &folder) {
  return WithSlash(QDir::cleanPath(QDir(folder).absolutePath()));
}

// Progress on the error stream: a bar redrawn in place on a terminal, one
// line per item otherwise.
class TConsoleProgress : public TBatchObserver {
public:
  TConsoleProgress(TBatchConsole &console, TPathDisplay display)
      : FConsole(console), FDisplay(std::move(display)) {}

  void ItemFinished(const TBatchResult &result, int finished, int count) override {
    {
      QMutexLocker lock(&FLock);
      FFinished.append(result);
    }
    const QString name = FDisplay(result.Source);
    if (!FConsole.ErrIsTerminal) {
      FConsole.Err << QStringLiteral("[%1/%2] %3 %4")
                          .arg(finished)
                          .arg(count)
                          .arg(BatchActionName(result.Action), name)
                   << Qt::endl;
      return;
    }
    constexpr int width = 30;
    const int filled = count ? finished * width / count : width;
    FConsole.Err << QStringLiteral("\r\x1b[K[%1%2] %3/%4 %5")
                        .arg(QString(filled, QLatin1Char('#')), QString(width - filled, QLatin1Char(' ')))
                        .arg(finished)
                        .arg(count)
                        .arg(name.right(40));
    if (finished == count)
      FConsole.Err << '\n';
    FConsole.Err.flush();
  }

  bool CancelRequested() override { return InterruptCount() > 0; }

  int InterruptCount() const { return FConsole.Interrupts ? FConsole.Interrupts->load() : 0; }

  // The items finished so far, as the outcome of a cancelled run.
  TBatchOutcome FinishedSoFar() const {
    TBatchOutcome outcome;
    {
      QMutexLocker lock(&FLock);
      outcome.Results = FFinished;
    }
    std::sort(outcome.Results.begin(), outcome.Results.end(),
              [](const TBatchResult &a, const TBatchResult &b) { return a.Index < b.Index; });
    outcome.Cancelled = true;
    return outcome;
  }

private:
  TBatchConsole &FConsole;
  TPathDisplay FDisplay;
  mutable QMutex FLock;
  QVector<TBatchResult> FFinished;
};

// The run on a thread of its own, so that a second interrupt can end the
// program with the report of the finished items even while an item is stuck
// in the kernel.
class TWatchedRun {
public:
  TWatchedRun(const TBatchItemList &list, const TBatchSettings &settings, const TBatchOptions &options,
              TConsoleProgress &progress)
      : FThread([&, this] {
          TBatchOutcome outcome;
          std::exception_ptr error;
          try {
            outcome = ExecuteBatch(list, settings, options, &progress);
          } catch (...) {
            error = std::current_exception();
          }
          std::lock_guard lock(FLock);
          FOutcome = std::move(outcome);
          FError = error;
          FDone = true;
          FDoneSignal.notify_all();
        }) {}
  ~TWatchedRun() {
    if (FThread.joinable())
      FThread.join();
  }

  // True when the run ended by itself; false after a second interrupt.
  bool WaitUnlessAborted(const TConsoleProgress &progress) {
    std::unique_lock lock(FLock);
    while (!FDone)
      if (!FDoneSignal.wait_for(lock, std::chrono::milliseconds(100), [this] { return FDone; }) &&
          progress.InterruptCount() > 1)
        return false;
    return true;
  }

  // The outcome; rethrows the run's refusal.
  TBatchOutcome Outcome() {
    FThread.join();
    if (FError)
      std::rethrow_exception(FError);
    return std::move(FOutcome);
  }

private:
  std::mutex FLock;
  std::condition_variable FDoneSignal;
  bool FDone = false;
  TBatchOutcome FOutcome;
  std::exception_ptr FError;
  std::thread FThread;
};

int Refuse(TBatchConsole &console, const QString &message) {
  console.Err << "pagetailor-batch: " << message << Qt::endl;
  return becRefused;
}

int UsageError(TBatchConsole &console, const QString &message) {
  console.Err << "pagetailor-batch: " << message << "\n(pagetailor-batch --help lists the options)" << Qt::endl;
  return becRefused;
}

TBatchSettings SettingsOf(const TBatchCommandLine &line) {
  const TPageSettings page{line.Series, line.AutoSize, static_cast<TAPaperSizeEnum>(line.SizeIndex),
                           static_cast<TBPaperSizeEnum>(line.SizeIndex), VellScreenResolution()};
  return {AbsoluteFolder(line.Source), AbsoluteFolder(line.Target), page};
}

// Paths are shown as given: the folder the user named followed by the relative path.
TPathDisplay DisplayAsGiven(const TBatchSettings &settings, const TBatchCommandLine &line) {
  return [sourceRoot = settings.SourcePath, targetRoot = settings.TargetPath, source = WithSlash(line.Source),
          target = WithSlash(line.Target)](const QString &path) {
    if (path.startsWith(sourceRoot))
      return source + path.mid(sourceRoot.size());
    if (path.startsWith(targetRoot))
      return target + path.mid(targetRoot.size());
    return path;
  };
}

// An existing file may only be replaced by a report when it is one: a JSON array.
bool IsReport(const QString &path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) && QJsonDocument::fromJson(file.readAll()).isArray();
}

// Why the report must not be written where the command line puts it: it
// would add to the scans or the output, replace the settings file, or
// replace a file that is no report. Empty when it may.
QString ReportRefusal(const TBatchCommandLine &line, const TBatchSettings &settings) {
  const QString &path = line.ReportFile;
  const QString quoted = QStringLiteral("the report \"%1\"").arg(path);
  if (IsSameOrInside(path, settings.SourcePath))
    return quoted + QStringLiteral(" would lie inside the source folder");
  if (IsSameOrInside(path, settings.TargetPath))
    return quoted + QStringLiteral(" would lie inside the output folder");
  if (!line.SettingsFile.isEmpty() && IsSameOrInside(path, line.SettingsFile))
    return quoted + QStringLiteral(" would replace the settings file");
  const QFileInfo file(path);
  if (file.exists() && !file.isFile())
    return quoted + QStringLiteral(" names something that is not a regular file");
  if (file.exists() && !IsReport(path))
    return quoted + QStringLiteral(" names an existing file that is no report (a JSON array); it is left alone");
  const QFileInfo folder(file.absolutePath());
  if (!folder.isDir())
    return quoted + QStringLiteral(" cannot be written: its folder \"%1\" does not exist").arg(folder.filePath());
  if (::access(QFile::encodeName(folder.filePath()).constData(), W_OK) != 0)
    return quoted + QStringLiteral(" cannot be written: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
  return {};
}

QString ReportError(const QSaveFile &report) {
  return QStringLiteral("cannot write the report \"%1\": %2").arg(report.fileName(), report.errorString());
}

void PrintOutcome(TBatchConsole &console, const TBatchCommandLine &line, const TBatchOutcome &outcome,
                  int count, const TPathDisplay &display) {
  if (line.DryRun)
    for (const TBatchResult &result : outcome.Results)
      console.Out << DryRunLine(result, display) << '\n';
  console.Out << BatchSummaryText(outcome, count, display);
  // Named only when it exists: a run with nothing to write creates no folder.
  if (!line.DryRun && QFileInfo(line.Target).isDir())
    console.Out << "Output: " << WithSlash(line.Target) << '\n';
  console.Out.flush();
}

// The items of the run: the files --files-from names, or every scan below
// the source folder; the reason when the list cannot be read.
QString ListItems(TBatchItemList &list, const TBatchCommandLine &line, const TBatchSettings &settings) {
  if (line.FilesFrom.isEmpty()) {
    ScanFolder(list, settings.SourcePath, settings.TargetPath);
    return {};
  }
  QFile file(line.FilesFrom);
  const bool opened = line.FilesFrom == QLatin1String("-") ? file.open(stdin, QIODevice::ReadOnly)
                                                           : file.open(QIODevice::ReadOnly);
  if (!opened)
    return QStringLiteral("cannot read the list \"%1\": %2").arg(line.FilesFrom, file.errorString());
  QStringList paths = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
  for (QString &path : paths)
    if (path.endsWith(QLatin1Char('\r')))
      path.chop(1);
  if (const QString problem = ListNamedFiles(list, settings.SourcePath, paths); !problem.isEmpty())
    return QStringLiteral("the list \"%1\", %2").arg(line.FilesFrom, problem);
  return {};
}

// Prints the outcome, writes the report; the exit status.
int Finish(TBatchConsole &console, const TBatchCommandLine &line, const TBatchOutcome &outcome, int count,
           const TPathDisplay &display) {
  PrintOutcome(console, line, outcome, count, display);
  bool reportWritten = true;
  if (!line.ReportFile.isEmpty()) {
    QSaveFile report(line.ReportFile);
    reportWritten = report.open(QIODevice::WriteOnly) && report.write(BatchReportJson(outcome, display)) >= 0 &&
                    report.commit();
    if (!reportWritten)
      console.Err << "pagetailor-batch: " << ReportError(report) << Qt::endl;
  }
  const bool complete = !outcome.Cancelled && outcome.CountOf(TBatchAction::Failed) == 0 && reportWritten;
  return complete ? becSuccess : becItemsFailed;
}

} // namespace

TParsedCommandLine ParseBatchCommandLine(const QStringList &arguments, int defaultJobs) {
  TParsedCommandLine parsed;
  TBatchCommandLine &line = parsed.Line;
  line.Jobs = std::clamp(defaultJobs, 1, MaxJobs);
  QCommandLineParser parser;
  for (const TOptionSpec &spec : OptionSpecs)
    parser.addOption(QCommandLineOption(spec.Names, spec.Help, spec.ValueName));
  if (!parser.parse(QStringList{QStringLiteral("pagetailor-batch")} + arguments)) {
    parsed.Error = parser.errorText();
    return parsed;
  }
  if (parser.isSet(QStringLiteral("help"))) {
    line.Help = true;
    return parsed;
  }
  if (!parser.positionalArguments().isEmpty()) {
    parsed.Error = QStringLiteral("unexpected argument \"%1\"").arg(parser.positionalArguments().first());
    return parsed;
  }
  QChar sizeLetter = QLatin1Char('A');
  if (parsed.Error = ApplyValues(parser, line, sizeLetter); !parsed.Error.isEmpty())
    return parsed;
  if (!line.SettingsFile.isEmpty())
    if (parsed.Error = ApplySettingsFile(line, parser.isSet(QStringLiteral("series")),
                                         parser.isSet(QStringLiteral("size")), sizeLetter, parsed.Warnings);
        !parsed.Error.isEmpty())
      return parsed;
  parsed.Error = CheckComplete(line, sizeLetter);
  return parsed;
}

void KeepShard(TBatchItemList &list, TBatchShard shard) {
  const qint64 count = list.Count();
  const int first = int(count * shard.Index / shard.Count);
  const int end = int(count * (shard.Index + 1) / shard.Count);
  TBatchItemList kept;
  for (int i = first; i < end; ++i)
    kept.Add(std::unique_ptr<TBatchItem>(static_cast<TBatchItem *>(list.Items(i).Clone().release())));
  list.Assign(&kept);
}

QString BatchUsageText() {
  return UsageText;
}

int RunBatchCommand(const QStringList &arguments, int defaultJobs, TBatchConsole &console) {
  const TParsedCommandLine parsed = ParseBatchCommandLine(arguments, defaultJobs);
  if (parsed.Line.Help) {
    console.Out << UsageText;
    console.Out.flush();
    return becSuccess;
  }
  if (!parsed.Error.isEmpty())
    return UsageError(console, parsed.Error);
  for (const QString &warning : parsed.Warnings)
    console.Err << "pagetailor-batch: warning: " << warning << Qt::endl;
  const TBatchCommandLine &line = parsed.Line;
  if (!QFileInfo(line.Source).isDir())
    return Refuse(console, QStringLiteral("the source folder \"%1\" does not exist").arg(line.Source));

  const TBatchSettings settings = SettingsOf(line);
  if (const TReason refusal = RunRefusal(settings); !refusal.IsNone())
    return Refuse(console, refusal.English());
  if (!line.ReportFile.isEmpty())
    if (const QString refusal = ReportRefusal(line, settings); !refusal.isEmpty())
      return Refuse(console, refusal);
  const TPathDisplay display = DisplayAsGiven(settings, line);

  if (line.MaxPixels > 0)
    GdipSetPixelLimit(line.MaxPixels);
  TBatchItemList list;
  if (const QString problem = ListItems(list, line, settings); !problem.isEmpty())
    return Refuse(console, problem);
  KeepShard(list, line.Shard);
  TConsoleProgress progress(console, display);
  TBatchOutcome outcome;
  {
    const TBatchOptions options{line.Jobs, line.DryRun, line.Update, line.MemoryLimit};
    TWatchedRun run(list, settings, options, progress);
    if (!run.WaitUnlessAborted(progress) && console.Exit) {
      outcome = progress.FinishedSoFar();
      console.Exit(Finish(console, line, outcome, list.Count(), display));
    }
    try {
      outcome = run.Outcome();
    } catch (const EVellError &error) {
      return Refuse(console, error.Message());
    }
  }
  return Finish(console, line, outcome, list.Count(), display);
}
