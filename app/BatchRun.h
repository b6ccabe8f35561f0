// The conversion run: every batch item is written as a TIFF under the output
// folder at its relative path, either re-encoded as loaded (it already is a
// page of the series) or fitted and centred on a white page.
#pragma once

#include "app/PTClasses.h"
#include "app/PaperRules.h"
#include "app/Reasons.h"

#include <QRect>
#include <QSize>
#include <QString>
#include <QVector>

enum class TBatchAction { Unchanged, Paged, Current, Skipped, Failed };

// "unchanged", "paged", "current" (an update found the target newer than the
// source and left it), "skipped", "failed".
QString BatchActionName(TBatchAction action);

// What a run reads from the settings, copied when it starts so that workers
// never touch the settings object. Take it on the thread that owns the GUI.
struct TBatchSettings {
  QString SourcePath;
  QString TargetPath;
  TPageSettings Page;

  // The values of the settings object, with the screen resolution of now.
  static TBatchSettings From(const TAppInfo &info);
};

struct TBatchOptions {
  int Jobs = 1;           // workers converting items at the same time
  bool DryRun = false;    // read headers and decide, create and write nothing
  bool Update = false;    // leave targets that are newer than their source ("current")
  qint64 MemoryLimit = 0; // working memory the workers share; 0: DefaultMemoryBudget()
};

// What happens to one image page of a source.
struct TBatchPage {
  TBatchAction Action = TBatchAction::Failed; // Unchanged or Paged
  QSize ImagePx;    // as its header gives it
  QSize ImageMm;    // the size the page rules measured
  QString SizeName; // PaperSizeName of ImageMm
  QString PageName; // the page written ("A4", ...)
  QSize PagePx;
  QRect Draw;    // where the image lies on the page
  float Dpi = 0; // the resolution stored with the written page

  bool operator==(const TBatchPage &) const = default;
};

// The outcome of one item. A source of several pages is written as one file
// of as many pages, in source order; the page fields are those of its first
// page.
struct TBatchResult : TBatchPage {
  int Index = -1; // position in the batch list
  QString Source;
  QString Target;
  int Pages = 0;             // pages of the source; 0 when it could not be read
  QVector<TBatchPage> PageList; // every page, when the pages differ in action or page size
  TReason Error;             // why the item failed or was skipped; none otherwise
};

// Progress and cancellation of a run, for callers on another thread.
class TBatchObserver {
public:
  virtual ~TBatchObserver() = default;
  // Called once per finished item, one call at a time, from the thread that
  // converted it; finished counts the items done so far.
  virtual void ItemFinished(const TBatchResult &result, int finished, int count);
  // Asked before each item starts; true ends the run once the items already
  // started are done.
  virtual bool CancelRequested();
};

struct TBatchOutcome {
  QVector<TBatchResult> Results; // the finished items, in list order
  bool Cancelled = false;

  int CountOf(TBatchAction action) const;
};

// True when path is outer or lies inside it, both with links, "." and ".."
// resolved as far as they exist.
bool IsSameOrInside(const QString &path, const QString &outer);

// Why a run with these settings must not start (no output folder, one that
// is a file, equals or lies inside the source folder, or holds the source
// folder); none when it may.
TReason RunRefusal(const TBatchSettings &settings);

// Converts the list's items on options.Jobs workers, each item's target at
// its path relative to the source folder; the output equals that
// of a sequential run. Raises EReasonError with the refusal, or when there is
// no TIFF encoder, before anything is written. Failed items are reported in
// their result and the run goes on.
TBatchOutcome ExecuteBatch(const TBatchItemList &list, const TBatchSettings &settings,
                           const TBatchOptions &options = {}, TBatchObserver *observer = nullptr);

// The run as the window starts it: one worker, the settings object's values.
TBatchOutcome ExecuteBatch(const TBatchItemList &list);
