// Runs a conversion off the user-interface thread: progress and the end of
// the run come back as signals on the thread that started it, and the run
// can be cancelled between items.
#pragma once

#include "app/BatchRun.h"

#include <QStringList>

#include <QFutureWatcher>
#include <QObject>

#include <atomic>

// The outcome of a run, or why it did not run at all.
struct TBatchRunEnd {
  TBatchOutcome Outcome;
  int ItemCount = 0;
  TReason Error; // set when the run stopped with an error before converting
};

class TBatchRunner : public QObject, private TBatchObserver {
  Q_OBJECT
public:
  explicit TBatchRunner(QObject *parent = nullptr);
  // Cancels a run still going and waits for it.
  ~TBatchRunner() override;

  // Converts the list's items with the settings on a pool of workers. The
  // list must stay unchanged until Finished; one run at a time.
  void Start(const TBatchItemList &list, const TBatchSettings &settings, int jobs);
  void Cancel() { FCancel = true; }
  bool IsRunning() const { return FWatcher.isRunning(); }
  // Blocks until the run is over; Finished follows through the event loop.
  void Wait();

signals:
  // An item is done: finished of count, the source file it was.
  void Progress(int finished, int count, const QString &source);
  void Finished(const TBatchRunEnd &end);

private:
  void ItemFinished(const TBatchResult &result, int finished, int count) override;
  bool CancelRequested() override { return FCancel; }
  void Done();

  QFutureWatcher<TBatchRunEnd> FWatcher;
  std::atomic<bool> FCancel = false;
};

// The counts per outcome of a run, as the window tells them.
QString RunSummaryText(const TBatchRunEnd &end);
// Every failed file once, with its reason in Chinese: one line each.
QStringList RunFailureLines(const TBatchOutcome &outcome);
