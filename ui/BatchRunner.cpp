#include "ui/BatchRunner.h"
#include "ui/BaseFrm.h"

#include <QtConcurrent/QtConcurrentRun>

TBatchRunner::TBatchRunner(QObject *parent) : QObject(parent) {
  connect(&FWatcher, &QFutureWatcher<TBatchRunEnd>::finished, this, &TBatchRunner::Done);
}

TBatchRunner::~TBatchRunner() {
  Cancel();
  FWatcher.waitForFinished();
}

void TBatchRunner::Start(const TBatchItemList &list, const TBatchSettings &settings, int jobs) {
  VELL_ASSERT_MSG(!IsRunning(), QStringLiteral("A run is already going"));
  FCancel = false;
  FWatcher.setFuture(QtConcurrent::run([this, &list, settings, jobs] {
    TBatchRunEnd end;
    end.ItemCount = list.Count();
    try {
      end.Outcome = ExecuteBatch(list, settings, TBatchOptions{jobs, false}, this);
    } catch (const EReasonError &error) {
      end.Error = error.Reason();
    } catch (const std::exception &error) {
      end.Error = TReason(TReasonKind::UnexpectedError, {QString::fromUtf8(error.what())});
    }
    return end;
  }));
}

void TBatchRunner::Wait() {
  FWatcher.waitForFinished();
}

void TBatchRunner::ItemFinished(const TBatchResult &result, int finished, int count) {
  QMetaObject::invokeMethod(
      this, [this, finished, count, source = result.Source] { emit Progress(finished, count, source); },
      Qt::QueuedConnection);
}

void TBatchRunner::Done() {
  emit Finished(FWatcher.result());
}

QStringList RunFailureLines(const TBatchOutcome &outcome) {
  QStringList lines;
  for (const TBatchResult &result : outcome.Results)
    if (result.Action == TBatchAction::Failed)
      lines.append(QStringLiteral("%1：%2").arg(result.Source, ReasonText(result.Error)));
  return lines;
}

QString RunSummaryText(const TBatchRunEnd &end) {
  const TBatchOutcome &outcome = end.Outcome;
  const QString first = outcome.Cancelled ? QStringLiteral("转换已取消：完成 %1 / %2 个文件。\n")
                                                .arg(outcome.Results.size())
                                                .arg(end.ItemCount)
                                          : QStringLiteral("转换完成：共 %1 个文件。\n").arg(end.ItemCount);
  return first + QStringLiteral("放到新页面上：%1\n原样写出：%2\n跳过（文件已不存在）：%3\n失败：%4")
                     .arg(outcome.CountOf(TBatchAction::Paged))
                     .arg(outcome.CountOf(TBatchAction::Unchanged))
                     .arg(outcome.CountOf(TBatchAction::Skipped))
                     .arg(outcome.CountOf(TBatchAction::Failed));
}
