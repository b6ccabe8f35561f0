#include "app/BatchRun.h"

#include "Common/VellUtils.h"
#include "app/BatchMemory.h"
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
#include <optional>

#include <cerrno>
#include <cstring>
#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
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

bool IsSameOrInsideReal(const QString &inner, const QString &outer) {
  return inner == outer ||
         inner.startsWith(outer.endsWith(QLatin1Char('/')) ? outer : outer + QLatin1Char('/'));
}

QString WithSlash(const QString &folder) {
  return TVellStr::IncludeTrailingChar(folder, QLatin1Char('/'));
}

QString SourceFileOf(const TBatchItem &item) {
  return TVellStr::IncludeTrailingChar(item.FilePath, QLatin1Char('/')) + item.FileName;
}

// The item's folder moved from the source folder to the output folder by its
// path relative to the source folder; empty for a folder outside the source.
QString TargetFolderOf(const QString &itemFolder, const TBatchSettings &settings) {
  const QString folder = WithSlash(itemFolder);
  if (!folder.startsWith(settings.SourcePath))
    return {};
  return settings.TargetPath + folder.mid(settings.SourcePath.size());
}

// A file written under a short hidden temporary name beside its target
// (".pt-PID-INDEX.part", so that any name the file system takes converts) and
// moved into place only when complete: synced once, renamed once. Removed
// unless committed.
class TPartFile {
public:
  TPartFile(const QString &targetFolder, int index)
      : FFile(targetFolder +
              QStringLiteral("%1%2-%3.part").arg(Prefix).arg(QCoreApplication::applicationPid()).arg(index)) {}
  ~TPartFile() {
    if (FCommitted)
      return;
    // By name: QFile::remove() keeps a file whose last buffered write failed.
    FFile.close();
    QFile::remove(FFile.fileName());
  }
  TPartFile(const TPartFile &) = delete;
  TPartFile &operator=(const TPartFile &) = delete;

  // Removes the temporary files in folder that a run killed while writing
  // left behind: those whose writing process no longer exists.
  static void RemoveAbandoned(const QString &folder) {
    for (const QFileInfo &part : QDir(folder).entryInfoList({Prefix + QStringLiteral("*.part")},
                                                            QDir::Files | QDir::Hidden | QDir::System)) {
      bool isPid = false;
      const qint64 pid = part.fileName().mid(Prefix.size()).section(QLatin1Char('-'), 0, 0).toLongLong(&isPid);
      if (isPid && pid > 0 && ::kill(pid_t(pid), 0) != 0 && errno == ESRCH)
        QFile::remove(part.filePath());
    }
  }

  // Creates the file empty, readable too (the TIFF encoder reads back what it
  // wrote); the reason when it cannot be.
  TReason Open() {
    if (!FFile.open(QIODevice::ReadWrite | QIODevice::Truncate))
      return TReason(TReasonKind::CannotWriteTarget, {FFile.fileName(), FFile.errorString()});
    return {};
  }

  QFile &Device() { return FFile; }

  // Flushes the file to disk and renames it to target; the reason on failure.
  TReason CommitAs(const QString &target) {
    if (const TReason error = SyncToDisk(); !error.IsNone())
      return error;
    FFile.close();
    if (::rename(QFile::encodeName(FFile.fileName()).constData(), QFile::encodeName(target).constData()) != 0)
      return TReason(TReasonKind::CannotMoveIntoPlace).WithSystemError(errno);
    FCommitted = true;
    return {};
  }

private:
  static inline const QString Prefix = QStringLiteral(".pt-");

  TReason SyncToDisk() {
    if (!FFile.flush())
      return TReason(TReasonKind::CannotFlush).WithSystemError(EIO);
    return ::fsync(FFile.handle()) == 0 ? TReason() : TReason(TReasonKind::CannotFlush).WithSystemError(errno);
  }

  QFile FFile;
  bool FCommitted = false;
};

// The output folders of a run: each is created and cleared of abandoned
// temporary files when its first item needs it, and synced once at the end
// of the run, so that the renames into it survive a power cut.
class TOutputFolders {
public:
  // Creates folder if needed; the reason when it cannot be.
  TReason Prepare(const QString &folder) {
    QMutexLocker lock(&FLock);
    if (FPrepared.contains(folder))
      return {};
    if (!QDir().mkpath(folder))
      return TReason(TReasonKind::CannotCreateFolder, {folder});
    TPartFile::RemoveAbandoned(folder);
    FPrepared.insert(folder);
    return {};
  }

  // Syncs every prepared folder; the folders that could not be synced.
  QSet<QString> SyncAll() const {
    QSet<QString> failed;
    for (const QString &folder : FPrepared) {
      const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
      if (fd < 0 || ::fsync(fd) != 0)
        failed.insert(folder);
      if (fd >= 0)
        ::close(fd);
    }
    return failed;
  }

private:
  QMutex FLock;
  QSet<QString> FPrepared;
};

// A source opened without waiting (a pipe put in its place cannot block the
// run) and known to be a regular file; the decoders read that descriptor,
// never the name again.
class TSourceFile {
public:
  explicit TSourceFile(const QString &path) {
    FFd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (FFd < 0) {
      FOpenError = errno;
      return;
    }
    FRegular = ::fstat(FFd, &FInfo) == 0 && S_ISREG(FInfo.st_mode);
  }
  ~TSourceFile() {
    if (FFd >= 0)
      ::close(FFd);
  }
  TSourceFile(const TSourceFile &) = delete;
  TSourceFile &operator=(const TSourceFile &) = delete;

  bool Gone() const { return FFd < 0 && FOpenError == ENOENT; }
  bool Usable() const { return FFd >= 0 && FRegular; }

  // Why the file cannot be converted; none when it can.
  TReason Problem() const {
    if (FFd < 0)
      return FOpenError == ENAMETOOLONG ? TReason(TReasonKind::PathTooLong)
                                        : TReason(TReasonKind::CannotOpenFile).WithSystemError(FOpenError);
    if (!FRegular)
      return TReason(TReasonKind::NotARegularFile, KindNames(FInfo.st_mode));
    return {};
  }

  // True when target is a file written at or after the source's last change.
  bool IsOlderThan(const QString &target) const {
    struct stat written;
    if (::stat(QFile::encodeName(target).constData(), &written) != 0 || !S_ISREG(written.st_mode))
      return false;
    const timespec &a = FInfo.st_mtim, &b = written.st_mtim;
    return a.tv_sec < b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec <= b.tv_nsec);
  }

  int Descriptor() const { return FFd; }

private:
  // The kind of file in English and in Chinese.
  static QStringList KindNames(mode_t mode) {
    if (S_ISFIFO(mode))
      return {QStringLiteral("a pipe"), QStringLiteral("管道")};
    if (S_ISCHR(mode) || S_ISBLK(mode))
      return {QStringLiteral("a device"), QStringLiteral("设备")};
    if (S_ISSOCK(mode))
      return {QStringLiteral("a socket"), QStringLiteral("套接字")};
    return {QStringLiteral("not a file"), QStringLiteral("不是文件")};
  }

  int FFd = -1;
  int FOpenError = 0;
  bool FRegular = false;
  struct stat FInfo = {};
};

// Everything an item's conversion reads; shared read-only by the workers.
struct TRunContext {
  const TBatchSettings &Settings;
  const TBatchOptions &Options;
  CLSID TiffEncoder;
  QSet<QString> SourceFiles; // real paths of every listed source
  TOutputFolders &Folders;
  TMemoryBudget &Budget;
  qint64 MemoryCeiling; // the most one item may take, running alone
  std::function<bool()> Cancelled;
};

// One page of a source: its header and what the page rules decided for it.
struct TPagePlan {
  ImageHeader Header;
  TBatchPage Page;
  TPagePlacement Placement; // for a paged page
};

// Memory taken from the budget for as long as the object lives.
class TMemoryShare {
public:
  TMemoryShare(TMemoryBudget &budget, qint64 bytes, const std::function<bool()> &cancelled)
      : FBudget(budget), FBytes(bytes), FTaken(budget.Take(bytes, cancelled)) {}
  ~TMemoryShare() {
    if (FTaken)
      FBudget.Give(FBytes);
  }
  TMemoryShare(const TMemoryShare &) = delete;
  TMemoryShare &operator=(const TMemoryShare &) = delete;
  bool Taken() const { return FTaken; }

private:
  TMemoryBudget &FBudget;
  const qint64 FBytes;
  const bool FTaken;
};

QString MiBText(qint64 bytes) {
  return QString::number((bytes + (1 << 20) - 1) >> 20);
}

class TItemConversion {
public:
  TItemConversion(const TBatchItem &item, int index, const TRunContext &run) : FRun(run) {
    FResult.Index = index;
    FResult.Source = SourceFileOf(item);
    FTargetFolder = TargetFolderOf(item.FilePath, run.Settings);
    FResult.Target = FTargetFolder + item.FileName;
  }

  // The outcome; none when the run was cancelled before the item started.
  std::optional<TBatchResult> Run() {
    try {
      Convert();
    } catch (const std::exception &error) {
      Fail(TReason(TReasonKind::UnexpectedError, {QString::fromUtf8(error.what())}));
    }
    if (FNotStarted)
      return std::nullopt;
    return FResult;
  }

private:
  void Convert() {
    if (FTargetFolder.isEmpty())
      return Fail(TReason(TReasonKind::OutsideSourceFolder));
    const TSourceFile source(FResult.Source);
    if (!source.Usable()) {
      if (HasUnspellableName(QFileInfo(FResult.Source)))
        return Fail(TReason(TReasonKind::UnspellableName));
      if (source.Gone())
        return Skip(TReason(TReasonKind::FileGone));
      return Fail(source.Problem());
    }
    if (FRun.SourceFiles.contains(RealPath(FResult.Target)))
      return Fail(TReason(TReasonKind::TargetReplacesSource));
    if (FRun.Options.Update && source.IsOlderThan(FResult.Target)) {
      FResult.Action = TBatchAction::Current;
      return;
    }
    QFile device;
    if (!device.open(source.Descriptor(), QIODevice::ReadOnly, QFileDevice::DontCloseHandle))
      return Fail(TReason(TReasonKind::CannotReadImage, {device.errorString()}));
    std::vector<TPagePlan> plans;
    if (!PlanPages(device, plans))
      return;
    Describe(plans);
    if (FRun.Options.DryRun)
      return;
    qint64 estimate = 0;
    for (const TPagePlan &plan : plans)
      estimate = std::max(estimate, PageMemoryEstimate(plan.Header, plan.Page.Action == TBatchAction::Paged
                                                                          ? plan.Page.PagePx
                                                                          : QSize()));
    if (estimate > FRun.MemoryCeiling)
      return Fail(TReason(TReasonKind::NotEnoughMemory, {MiBText(estimate), MiBText(FRun.MemoryCeiling)}));
    const TMemoryShare share(FRun.Budget, estimate, FRun.Cancelled);
    if (!share.Taken()) {
      FNotStarted = true;
      return;
    }
    if (const TReason error = FRun.Folders.Prepare(FTargetFolder); !error.IsNone())
      return Fail(error);
    Write(device, plans);
  }

  // Reads the header of every page and decides each page; false when the
  // item failed.
  bool PlanPages(QFile &device, std::vector<TPagePlan> &plans) {
    quint32 count = 1;
    for (quint32 page = 0; page < count; ++page) {
      TPagePlan plan;
      device.seek(0);
      if (const GpStatus status = GdipReadImageHeaderFromStream(&device, page, &plan.Header); status != Ok) {
        Fail(TReason(TReasonKind::CannotReadImage, {ErrorText(status)}, status));
        return false;
      }
      count = std::max<quint32>(plan.Header.PageCount, 1);
      Decide(plan);
      plans.push_back(std::move(plan));
    }
    return true;
  }

  void Decide(TPagePlan &plan) const {
    const ImageHeader &header = plan.Header;
    const TPageSettings &settings = FRun.Settings.Page;
    const TImageMetrics metrics{qint32(header.Width), qint32(header.Height), header.DpiX, header.DpiY};
    TBatchPage &page = plan.Page;
    page.ImagePx = QSize(metrics.Width, metrics.Height);
    page.ImageMm = ImageSizeMm(metrics, settings.ScreenDpi);
    page.SizeName = PaperSizeName(page.ImageMm.width(), page.ImageMm.height());
    if (!NeedsPage(metrics, settings)) {
      page.Action = TBatchAction::Unchanged;
      page.PageName = page.SizeName;
      page.PagePx = page.ImagePx;
      page.Draw = QRect(QPoint(0, 0), page.ImagePx);
      page.Dpi = StoredDpi(header.DpiX);
      return;
    }
    const TPagePlacement &placement = plan.Placement = ComputePagePlacement(metrics, settings);
    page.Action = TBatchAction::Paged;
    page.PageName = placement.PageName;
    page.PagePx = QSize(placement.PageWidth, placement.PageHeight);
    page.Draw = QRect(placement.DrawX, placement.DrawY, placement.DrawWidth, placement.DrawHeight);
    // A page of an image without resolution keeps the one its size came from.
    page.Dpi = StoredDpi(placement.HorzDpi);
  }

  // The result as planned: the first page's fields, the page count, every
  // page where they differ, paged when any page is.
  void Describe(const std::vector<TPagePlan> &plans) {
    static_cast<TBatchPage &>(FResult) = plans.front().Page;
    FResult.Pages = int(plans.size());
    bool paged = false, alike = true;
    for (const TPagePlan &plan : plans) {
      paged = paged || plan.Page.Action == TBatchAction::Paged;
      alike = alike && plan.Page.Action == plans.front().Page.Action && plan.Page.PagePx == plans.front().Page.PagePx;
    }
    FResult.Action = paged ? TBatchAction::Paged : TBatchAction::Unchanged;
    if (!alike)
      for (const TPagePlan &plan : plans)
        FResult.PageList.append(plan.Page);
  }

  // Decodes the pages one at a time into one file under a temporary name,
  // then moves it into place.
  void Write(QFile &device, const std::vector<TPagePlan> &plans) {
    TPartFile part(FTargetFolder, FResult.Index);
    if (const TReason error = part.Open(); !error.IsNone())
      return Fail(error);
    {
      TVellPageWriter writer(&part.Device(), FRun.TiffEncoder);
      for (quint32 index = 0; index < plans.size(); ++index)
        if (!AddPage(writer, device, index, plans[index]))
          return;
      if (writer.Commit() != Ok)
        return Fail(TReason(TReasonKind::CannotWriteTarget, {FResult.Target, FailureText(writer)},
                            writer.GetLastStatus()));
    }
    if (const TReason error = part.CommitAs(FResult.Target); !error.IsNone())
      Fail(error);
  }

  bool AddPage(TVellPageWriter &writer, QFile &device, quint32 index, const TPagePlan &plan) {
    device.seek(0);
    TVellBitmap image(&device, index);
    if (image.GetLastStatus() != Ok) {
      Fail(TReason(TReasonKind::CannotReadImage, {FailureText(image)}, image.GetLastStatus()));
      return false;
    }
    const TBatchPage &page = plan.Page;
    GpStatus status;
    if (page.Action == TBatchAction::Unchanged) {
      // The run owns the stored resolution: the file says what the report says.
      if (IsZeroDpi(plan.Header.DpiX))
        image.SetResolution(page.Dpi, page.Dpi);
      status = writer.AddImage(&image);
    } else {
      const TPagePlacement &placement = plan.Placement;
      const Rect draw{placement.DrawX, placement.DrawY, placement.DrawWidth, placement.DrawHeight};
      status = writer.AddFittedPage(&image, placement.PageWidth, placement.PageHeight, draw, page.Dpi);
    }
    if (status != Ok) {
      Fail(TReason(TReasonKind::CannotWriteTarget, {FResult.Target, FailureText(writer)}, writer.GetLastStatus()));
      return false;
    }
    return true;
  }

  static QString ErrorText(GpStatus status) {
    const QString text = GdipLastErrorText();
    return text.isEmpty() ? GdipStatusText(status) : text;
  }

  float StoredDpi(float dpi) const { return IsZeroDpi(dpi) ? float(FRun.Settings.Page.ScreenDpi) : dpi; }

  void Fail(const TReason &reason) {
    FResult.Action = TBatchAction::Failed;
    FResult.PageName.clear();
    FResult.PageList.clear();
    FResult.Error = reason;
  }

  void Skip(const TReason &reason) {
    FResult.Action = TBatchAction::Skipped;
    FResult.Error = reason;
  }

  const TRunContext &FRun;
  QString FTargetFolder;
  TBatchResult FResult;
  bool FNotStarted = false;
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
      const std::optional<TBatchResult> result = TItemConversion(FList.Items(index), index, FRun).Run();
      QMutexLocker lock(&FLock);
      if (!result) {
        FCancelled = true;
        return;
      }
      FResults[size_t(index)] = result;
      FObserver.ItemFinished(*result, ++FFinished, FList.Count());
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

// Written items whose folder could not be synced may not survive a power cut.
void FailUnsynced(TBatchOutcome &outcome, const QSet<QString> &folders) {
  if (folders.isEmpty())
    return;
  for (TBatchResult &result : outcome.Results)
    if ((result.Action == TBatchAction::Unchanged || result.Action == TBatchAction::Paged) &&
        folders.contains(QFileInfo(result.Target).path() + QLatin1Char('/'))) {
      result.Action = TBatchAction::Failed;
      result.PageName.clear();
      result.Error = TReason(TReasonKind::FolderNotFlushed);
    }
}

} // namespace

QString BatchActionName(TBatchAction action) {
  switch (action) {
  case TBatchAction::Unchanged:
    return QStringLiteral("unchanged");
  case TBatchAction::Paged:
    return QStringLiteral("paged");
  case TBatchAction::Current:
    return QStringLiteral("current");
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

bool IsSameOrInside(const QString &path, const QString &outer) {
  return IsSameOrInsideReal(RealPath(path), RealPath(outer));
}

TReason RunRefusal(const TBatchSettings &settings) {
  if (settings.SourcePath.isEmpty())
    return TReason(TReasonKind::NoSourceFolder);
  if (settings.TargetPath.isEmpty())
    return TReason(TReasonKind::NoTargetFolder);
  if (const QFileInfo target(QDir::cleanPath(settings.TargetPath)); target.exists() && !target.isDir())
    return TReason(TReasonKind::TargetIsAFile, {settings.TargetPath});
  const QString source = RealPath(settings.SourcePath);
  const QString target = RealPath(settings.TargetPath);
  if (source == target)
    return TReason(TReasonKind::TargetIsSource);
  if (IsSameOrInsideReal(target, source))
    return TReason(TReasonKind::TargetInsideSource);
  if (IsSameOrInsideReal(source, target))
    return TReason(TReasonKind::SourceInsideTarget);
  return {};
}

TBatchOutcome ExecuteBatch(const TBatchItemList &list) {
  VELL_ASSERT_MSG(AppInfo, QStringLiteral("The settings object does not exist"));
  return ExecuteBatch(list, TBatchSettings::From(*AppInfo));
}

TBatchOutcome ExecuteBatch(const TBatchItemList &list, const TBatchSettings &givenSettings,
                           const TBatchOptions &options, TBatchObserver *observer) {
  if (const TReason refusal = RunRefusal(givenSettings); !refusal.IsNone())
    throw EReasonError(refusal);
  TBatchSettings settings = givenSettings;
  settings.SourcePath = WithSlash(settings.SourcePath);
  settings.TargetPath = WithSlash(settings.TargetPath);
  TOutputFolders folders;
  TBatchObserver silent;
  TBatchObserver &watcher = observer ? *observer : silent;
  TMemoryBudget budget(options.MemoryLimit > 0 ? options.MemoryLimit : DefaultMemoryBudget());
  const qint64 ceiling = std::max(budget.Limit(), AvailableMemory() * 9 / 10);
  TRunContext run{settings,
                  options,
                  {},
                  SourceFilesOf(list),
                  folders,
                  budget,
                  ceiling,
                  [&watcher] { return watcher.CancelRequested(); }};
  if (GetEncoderClsid(QStringLiteral("image/tiff"), run.TiffEncoder) < 0)
    throw EReasonError(TReason(TReasonKind::NoTiffEncoder));

  TBatchScheduler scheduler(list, run, watcher);
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
  TBatchOutcome outcome = scheduler.Outcome();
  FailUnsynced(outcome, folders.SyncAll());
  return outcome;
}
