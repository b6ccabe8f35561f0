#include "app/BatchCommand.h"

#include "app/AppInfo.h"
#include "app/BatchReport.h"
#include "app/SourceScan.h"
#include "imaging/VellGDIPOBJ.h"

#include "Common/VellUtils.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

namespace {

const QString UsageText = QStringLiteral(
    "usage: pagetailor-batch --source DIR --target DIR [--series A|B] [--size A0..A5|B0..B5|auto]\n"
    "                        [--jobs N] [--dry-run] [--report FILE] [--settings FILE] [--max-pixels N]\n"
    "\n"
    "Puts every .tif/.tiff scan below DIR on a page of an ISO paper size and writes it as TIFF under\n"
    "the target folder at the same relative path. Scans that already have a size of the series are\n"
    "written unchanged.\n"
    "\n"
    "  --source DIR     folder tree of scans\n"
    "  --target DIR     output folder; neither the source folder nor inside it\n"
    "  --series A|B     paper series (default A)\n"
    "  --size SIZE      fixed size of the series, or auto for the best fit per scan (default auto)\n"
    "  --jobs N         scans converted at the same time (default: the number of cores)\n"
    "  --dry-run        write nothing; print per scan its size, whether it needs a page, and the page\n"
    "  --report FILE    write a JSON array with one object per scan\n"
    "  --settings FILE  take the series and size that --series and --size leave open from a settings\n"
    "                   file such as the desktop program's AppInfo.dat\n"
    "  --max-pixels N   refuse scans and pages of more than N pixels (default 1073741824, 2^30)\n"
    "\n"
    "Exit status: 0 when no scan failed, 1 when any failed or the run was cancelled, 2 when the\n"
    "arguments are wrong or the run was refused.\n");

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

// Reads the next argument's value, from "--name=value" or "--name value".
bool TakeValue(const QStringList &arguments, int &i, const QString &inlineValue, bool hasInline,
               QString &value) {
  if (hasInline) {
    value = inlineValue;
    return true;
  }
  if (i + 1 >= arguments.size())
    return false;
  value = arguments[++i];
  return true;
}

QString ApplyOption(const QString &name, const QString &value, TBatchCommandLine &line, QChar &sizeLetter) {
  if (name == QLatin1String("--source"))
    line.Source = value;
  else if (name == QLatin1String("--target"))
    line.Target = value;
  else if (name == QLatin1String("--report"))
    line.ReportFile = value;
  else if (name == QLatin1String("--settings"))
    line.SettingsFile = value;
  else if (name == QLatin1String("--series")) {
    if (!ParseSeries(value, line.Series))
      return QStringLiteral("--series takes A or B, not \"%1\"").arg(value);
  } else if (name == QLatin1String("--size")) {
    if (!ParseSize(value, line, sizeLetter))
      return QStringLiteral("--size takes A0 to A5, B0 to B5 or auto, not \"%1\"").arg(value);
  } else if (name == QLatin1String("--jobs")) {
    bool ok = false;
    line.Jobs = value.toInt(&ok);
    if (!ok || line.Jobs < 1)
      return QStringLiteral("--jobs takes a whole number of at least 1, not \"%1\"").arg(value);
  } else if (name == QLatin1String("--max-pixels")) {
    bool ok = false;
    line.MaxPixels = value.toLongLong(&ok);
    if (!ok || line.MaxPixels < 1)
      return QStringLiteral("--max-pixels takes a whole number of at least 1, not \"%1\"").arg(value);
  } else {
    return QStringLiteral("unknown option \"%1\"").arg(name);
  }
  return {};
}

// The series and size of the settings file, where the command line gave none.
QString ApplySettingsFile(TBatchCommandLine &line, bool seriesGiven, bool sizeGiven, QChar &sizeLetter) {
  if (!QFileInfo(line.SettingsFile).isFile())
    return QStringLiteral("the settings file \"%1\" does not exist").arg(line.SettingsFile);
  TAppInfo settings;
  try {
    settings.LoadFromFile(line.SettingsFile);
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

  bool CancelRequested() override { return FConsole.Cancel && FConsole.Cancel->load(); }

private:
  TBatchConsole &FConsole;
  TPathDisplay FDisplay;
};

int Refuse(TBatchConsole &console, const QString &message) {
  console.Err << "pagetailor-batch: " << message << Qt::endl;
  return becRefused;
}

int UsageError(TBatchConsole &console, const QString &message) {
  console.Err << "pagetailor-batch: " << message << "\n\n" << UsageText;
  console.Err.flush();
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

// Opened before the run, so that a report that cannot be written stops it early.
bool OpenReport(QSaveFile &report) {
  return QDir().mkpath(QFileInfo(report.fileName()).path()) && report.open(QIODevice::WriteOnly);
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
  if (!line.DryRun)
    console.Out << "Output: " << WithSlash(line.Target) << '\n';
  console.Out.flush();
}

} // namespace

TParsedCommandLine ParseBatchCommandLine(const QStringList &arguments, int defaultJobs) {
  TParsedCommandLine parsed;
  TBatchCommandLine &line = parsed.Line;
  line.Jobs = std::max(1, defaultJobs);
  QChar sizeLetter = QLatin1Char('A');
  bool seriesGiven = false;
  bool sizeGiven = false;
  for (int i = 0; i < arguments.size(); ++i) {
    const QString &argument = arguments[i];
    if (argument == QLatin1String("--help") || argument == QLatin1String("-h")) {
      line.Help = true;
      return parsed;
    }
    if (argument == QLatin1String("--dry-run")) {
      line.DryRun = true;
      continue;
    }
    const qsizetype equals = argument.indexOf(QLatin1Char('='));
    const QString name = equals < 0 ? argument : argument.left(equals);
    QString value;
    if (!name.startsWith(QLatin1String("--"))) {
      parsed.Error = QStringLiteral("unexpected argument \"%1\"").arg(argument);
      return parsed;
    }
    if (!TakeValue(arguments, i, argument.mid(equals + 1), equals >= 0, value)) {
      parsed.Error = QStringLiteral("%1 needs a value").arg(name);
      return parsed;
    }
    if (parsed.Error = ApplyOption(name, value, line, sizeLetter); !parsed.Error.isEmpty())
      return parsed;
    seriesGiven = seriesGiven || name == QLatin1String("--series");
    sizeGiven = sizeGiven || name == QLatin1String("--size");
  }
  if (!line.SettingsFile.isEmpty())
    if (parsed.Error = ApplySettingsFile(line, seriesGiven, sizeGiven, sizeLetter); !parsed.Error.isEmpty())
      return parsed;
  parsed.Error = CheckComplete(line, sizeLetter);
  return parsed;
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
  const TBatchCommandLine &line = parsed.Line;
  if (!QFileInfo(line.Source).isDir())
    return Refuse(console, QStringLiteral("the source folder \"%1\" does not exist").arg(line.Source));

  const TBatchSettings settings = SettingsOf(line);
  if (const TReason refusal = RunRefusal(settings); !refusal.IsNone())
    return Refuse(console, refusal.English());
  const TPathDisplay display = DisplayAsGiven(settings, line);

  QSaveFile report(line.ReportFile);
  if (!line.ReportFile.isEmpty() && !OpenReport(report))
    return Refuse(console, ReportError(report));

  if (line.MaxPixels > 0)
    GdipSetPixelLimit(line.MaxPixels);
  TBatchItemList list;
  ScanFolder(list, settings.SourcePath);
  TConsoleProgress progress(console, display);
  TBatchOutcome outcome;
  try {
    outcome = ExecuteBatch(list, settings, {line.Jobs, line.DryRun}, &progress);
  } catch (const EVellError &error) {
    return Refuse(console, error.Message());
  }
  PrintOutcome(console, line, outcome, list.Count(), display);

  bool reportWritten = true;
  if (!line.ReportFile.isEmpty()) {
    report.write(BatchReportJson(outcome, display));
    reportWritten = report.commit();
    if (!reportWritten)
      console.Err << "pagetailor-batch: " << ReportError(report) << Qt::endl;
  }
  const bool complete = !outcome.Cancelled && outcome.CountOf(TBatchAction::Failed) == 0 && reportWritten;
  return complete ? becSuccess : becItemsFailed;
}
