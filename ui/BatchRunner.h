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
  QString Error; // set when the run raised an error before converting
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

// What the window tells the user at the end of a run: the counts per outcome
// and every failure with its reason (the first ones when there are many).
QString RunSummaryText(const TBatchRunEnd &end);
// Every failure with its reason, one line each.
QStringList RunFailureLines(const TBatchOutcome &outcome);
