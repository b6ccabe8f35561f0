#include "app/BatchRun.h"

#include "Common/VellUtils.h"
#include "app/SourceScan.h"
#include "imaging/VellGDIPOBJ.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QSet>
#include <QThreadPool>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <optional>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

// Why an imaging object's last call failed.
QString FailureText(const TGdiplusStatus &object) {
  const QString text = object.GetLastErrorText();
  return text.isEmpty() ? GdipStatusText(object.GetLastStatus()) : text;
}

// The path with every existing part resolved (links, "..", "."), so that two
// spellings of one folder compare equal even when its tail does not exist yet.
QString RealPath(const QString &path) {
  QString existing = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
  QString tail;
  while (!QFileInfo::exists(existing)) {
    const qsizetype slash = existing.lastIndexOf(QLatin1Char('/'));
    if (slash <= 0)
      return QDir::cleanPath(path);
    tail = existing.mid(slash) + tail;
    existing.truncate(slash);
  }
  return QDir::cleanPath(QFileInfo(existing).canonicalFilePath() + tail);
}

bool IsSameOrInside(const QString &inner, const QString &outer) {
  return inner == outer ||
         inner.startsWith(outer.endsWith(QLatin1Char('/')) ? outer : outer + QLatin1Char('/'));
}

QString SourceFileOf(const TBatchItem &item) {
  return TVellStr::IncludeTrailingChar(item.FilePath, QLatin1Char('/')) + item.FileName;
}

// A file written under a hidden temporary name beside its target and moved
// into place only when complete; removed unless committed.
class TPartFile {
public:
  TPartFile(const QString &targetFolder, const QString &fileName, int index)
      : FPath(targetFolder + PrefixOf(fileName) +
              QStringLiteral("%1-%2.part").arg(QCoreApplication::applicationPid()).arg(index)) {}

  // Removes the temporary files for fileName that a run killed while writing
  // left behind: those whose writing process no longer exists.
  static void RemoveAbandoned(const QString &targetFolder, const QString &fileName) {
    const QString prefix = PrefixOf(fileName);
    for (const QFileInfo &part : QDir(targetFolder).entryInfoList(QDir::Files | QDir::Hidden)) {
      const QString name = part.fileName();
      if (!name.startsWith(prefix) || !name.endsWith(QLatin1String(".part")))
        continue;
      bool isPid = false;
      const qint64 pid = name.mid(prefix.size()).section(QLatin1Char('-'), 0, 0).toLongLong(&isPid);
      if (isPid && pid > 0 && ::kill(pid_t(pid), 0) != 0 && errno == ESRCH)
        QFile::remove(part.filePath());
    }
  }
  ~TPartFile() {
    if (!FCommitted)
      QFile::remove(FPath);
  }
  TPartFile(const TPartFile &) = delete;
  TPartFile &operator=(const TPartFile &) = delete;

  const QString &Path() const { return FPath; }

  // Flushes the file to disk and renames it to target; the reason on failure.
  TReason CommitAs(const QString &target) {
    if (!SyncToDisk())
      return TReason(TReasonKind::CannotFlush);
    std::error_code code;
    std::filesystem::rename(QFile::encodeName(FPath).toStdString(), QFile::encodeName(target).toStdString(),
                            code);
    if (code)
      return TReason(TReasonKind::CannotMoveIntoPlace, {QString::fromLocal8Bit(code.message().c_str())});
    FCommitted = true;
    return {};
  }

private:
  static QString PrefixOf(const QString &fileName) { return QStringLiteral(".%1.").arg(fileName); }

  bool SyncToDisk() const {
    const int fd = ::open(QFile::encodeName(FPath).constData(), O_RDONLY | O_CLOEXEC);
    const bool synced = fd >= 0 && ::fsync(fd) == 0;
    if (fd >= 0)
      ::close(fd);
    return synced;
  }

  QString FPath;
  bool FCommitted = false;
};

// Everything an item's conversion reads; shared read-only by the workers.
struct TRunContext {
  const TBatchSettings &Settings;
  const TBatchOptions &Options;
  CLSID TiffEncoder;
  QSet<QString> SourceFiles; // real paths of every listed source
};

class TItemConversion {
public:
  TItemConversion(const TBatchItem &item, int index, const TRunContext &run) : FItem(item), FRun(run) {
    FResult.Index = index;
    FResult.Source = SourceFileOf(item);
    FTargetFolder = RebasePath(item.FilePath, run.Settings.SourcePath, run.Settings.TargetPath);
    FResult.Target = FTargetFolder + item.FileName;
  }

  TBatchResult Run() {
    try {
      Convert();
    } catch (const std::exception &error) {
      Fail(TReason(TReasonKind::UnexpectedError, {QString::fromUtf8(error.what())}));
    }
    return FResult;
  }

private:
  void Convert() {
    if (const QFileInfo source(FResult.Source); !source.isFile()) {
      if (HasUnspellableName(source))
        return Fail(TReason(TReasonKind::UnspellableName));
      FResult.Action = TBatchAction::Skipped;
      return;
    }
    if (FRun.SourceFiles.contains(RealPath(FResult.Target)))
      return Fail(TReason(TReasonKind::TargetReplacesSource));
    if (!FRun.Options.DryRun && !QDir().mkpath(FTargetFolder))
      return Fail(TReason(TReasonKind::CannotCreateFolder, {FTargetFolder}));

    TVellBitmap image(FResult.Source);
    if (image.GetLastStatus() != Ok)
      return Fail(TReason(TReasonKind::CannotReadImage, {FailureText(image)}, image.GetLastStatus()));
    const TImageMetrics metrics = MetricsOf(image);
    const TPageSettings &page = FRun.Settings.Page;
    FResult.ImagePx = QSize(metrics.Width, metrics.Height);
    FResult.ImageMm = ImageSizeMm(metrics, page.ScreenDpi);
    FResult.SizeName = PaperSizeName(FResult.ImageMm.width(), FResult.ImageMm.height());
    if (NeedsPage(metrics, page))
      WritePage(image, ComputePagePlacement(metrics, page));
    else
      WriteUnchanged(image);
  }

  void WriteUnchanged(TVellImage &image) {
    FResult.PageName = FResult.SizeName;
    FResult.PagePx = FResult.ImagePx;
    FResult.Draw = QRect(QPoint(0, 0), FResult.ImagePx);
    // The encoder stores the screen resolution for an image that has none.
    FResult.Dpi = StoredDpi(image.GetHorizontalResolution());
    if (Save(image))
      FResult.Action = TBatchAction::Unchanged;
  }

  void WritePage(TVellImage &image, const TPagePlacement &placement) {
    FResult.PageName = placement.PageName;
    FResult.PagePx = QSize(placement.PageWidth, placement.PageHeight);
    FResult.Draw = QRect(placement.DrawX, placement.DrawY, placement.DrawWidth, placement.DrawHeight);
    // A page of an image without resolution keeps the one its size came from.
    FResult.Dpi = StoredDpi(placement.HorzDpi);
    if (FRun.Options.DryRun) {
      FResult.Action = TBatchAction::Paged;
      return;
    }
    // The same file as drawing the image into a white page and saving that.
    const Rect draw{placement.DrawX, placement.DrawY, placement.DrawWidth, placement.DrawHeight};
    if (SaveWith(image, [&](const QString &path) {
          return image.SaveFittedPage(path, placement.PageWidth, placement.PageHeight, draw, FResult.Dpi);
        }))
      FResult.Action = TBatchAction::Paged;
  }

  float StoredDpi(float dpi) const { return IsZeroDpi(dpi) ? float(FRun.Settings.Page.ScreenDpi) : dpi; }

  bool Save(TVellImage &image) {
    return SaveWith(image, [&](const QString &path) { return image.Save(path, FRun.TiffEncoder); });
  }

  // Writes the target through a temporary file with write, whose failure image records.
  template <typename TWrite> bool SaveWith(TVellImage &image, const TWrite &write) {
    if (FRun.Options.DryRun)
      return true;
    TPartFile::RemoveAbandoned(FTargetFolder, FItem.FileName);
    TPartFile part(FTargetFolder, FItem.FileName, FResult.Index);
    if (write(part.Path()) != Ok) {
      Fail(TReason(TReasonKind::CannotWriteTarget, {FResult.Target, FailureText(image)}, image.GetLastStatus()));
      return false;
    }
    if (const TReason error = part.CommitAs(FResult.Target); !error.IsNone()) {
      Fail(error);
      return false;
    }
    return true;
  }

  void Fail(const TReason &reason) {
    FResult.Action = TBatchAction::Failed;
    FResult.PageName.clear();
    FResult.Error = reason;
  }

  const TBatchItem &FItem;
  const TRunContext &FRun;
  QString FTargetFolder;
  TBatchResult FResult;
};

QSet<QString> SourceFilesOf(const TBatchItemList &list) {
  QSet<QString> files;
  for (int i = 0; i < list.Count(); ++i)
    files.insert(RealPath(SourceFileOf(list.Items(i))));
  return files;
}

// Hands out the items in list order to the workers and collects the results.
class TBatchScheduler {
public:
  TBatchScheduler(const TBatchItemList &list, const TRunContext &run, TBatchObserver &observer)
      : FList(list), FRun(run), FObserver(observer), FResults(size_t(list.Count())) {}

  void Work() {
    for (;;) {
      if (FObserver.CancelRequested()) {
        FCancelled = true;
        return;
      }
      const int index = FNext++;
      if (index >= FList.Count())
        return;
      TBatchResult result = TItemConversion(FList.Items(index), index, FRun).Run();
      QMutexLocker lock(&FLock);
      FResults[size_t(index)] = result;
      FObserver.ItemFinished(result, ++FFinished, FList.Count());
    }
  }

  TBatchOutcome Outcome() const {
    TBatchOutcome outcome;
    outcome.Cancelled = FCancelled;
    for (const std::optional<TBatchResult> &result : FResults)
      if (result)
        outcome.Results.append(*result);
    return outcome;
  }

private:
  const TBatchItemList &FList;
  const TRunContext &FRun;
  TBatchObserver &FObserver;
  std::vector<std::optional<TBatchResult>> FResults;
  std::atomic<int> FNext = 0;
  std::atomic<bool> FCancelled = false;
  int FFinished = 0;
  QMutex FLock;
};

} // namespace

QString BatchActionName(TBatchAction action) {
  switch (action) {
  case TBatchAction::Unchanged:
    return QStringLiteral("unchanged");
  case TBatchAction::Paged:
    return QStringLiteral("paged");
  case TBatchAction::Skipped:
    return QStringLiteral("skipped");
  case TBatchAction::Failed:
    break;
  }
  return QStringLiteral("failed");
}

TBatchSettings TBatchSettings::From(const TAppInfo &info) {
  return {info.SourcePath, info.TargetPath, TPageSettings::From(info, VellScreenResolution())};
}

void TBatchObserver::ItemFinished(const TBatchResult &, int, int) {}

bool TBatchObserver::CancelRequested() {
  return false;
}

int TBatchOutcome::CountOf(TBatchAction action) const {
  return static_cast<int>(std::count_if(Results.begin(), Results.end(),
                                        [action](const TBatchResult &r) { return r.Action == action; }));
}

QString RebasePath(const QString &path, const QString &oldRoot, const QString &newRoot) {
  if (oldRoot.isEmpty())
    return path;
  return QString(path).replace(oldRoot, newRoot, Qt::CaseSensitive);
}

TReason RunRefusal(const TBatchSettings &settings) {
  if (settings.SourcePath.isEmpty())
    return TReason(TReasonKind::NoSourceFolder);
  if (settings.TargetPath.isEmpty())
    return TReason(TReasonKind::NoTargetFolder);
  const QString source = RealPath(settings.SourcePath);
  const QString target = RealPath(settings.TargetPath);
  if (source == target)
    return TReason(TReasonKind::TargetIsSource);
  if (IsSameOrInside(target, source))
    return TReason(TReasonKind::TargetInsideSource);
  return {};
}

TBatchOutcome ExecuteBatch(const TBatchItemList &list) {
  VELL_ASSERT_MSG(AppInfo, QStringLiteral("The settings object does not exist"));
  return ExecuteBatch(list, TBatchSettings::From(*AppInfo));
}

TBatchOutcome ExecuteBatch(const TBatchItemList &list, const TBatchSettings &settings,
                           const TBatchOptions &options, TBatchObserver *observer) {
  if (const TReason refusal = RunRefusal(settings); !refusal.IsNone())
    throw EReasonError(refusal);
  TRunContext run{settings, options, {}, SourceFilesOf(list)};
  if (GetEncoderClsid(QStringLiteral("image/tiff"), run.TiffEncoder) < 0)
    throw EReasonError(TReason(TReasonKind::NoTiffEncoder));

  TBatchObserver silent;
  TBatchScheduler scheduler(list, run, observer ? *observer : silent);
  const int workers = std::clamp(options.Jobs, 1, std::max(1, list.Count()));
  if (workers == 1) {
    scheduler.Work();
  } else {
    QThreadPool pool;
    pool.setMaxThreadCount(workers);
    for (int i = 0; i < workers; ++i)
      pool.start([&scheduler] { scheduler.Work(); });
    pool.waitForDone();
  }
  return scheduler.Outcome();
}
