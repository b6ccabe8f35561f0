#include "app/BatchReport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

bool HasPage(const TBatchResult &result) {
  return result.Action == TBatchAction::Unchanged || result.Action == TBatchAction::Paged;
}

QJsonValue OrNull(bool present, const QJsonValue &value) {
  return present ? value : QJsonValue(QJsonValue::Null);
}

QJsonObject ReportEntry(const TBatchResult &r, const TPathDisplay &display) {
  const bool page = HasPage(r);
  QJsonObject entry;
  entry[QStringLiteral("source")] = display(r.Source);
  entry[QStringLiteral("target")] = display(r.Target);
  entry[QStringLiteral("action")] = BatchActionName(r.Action);
  entry[QStringLiteral("page")] = OrNull(page, r.PageName);
  entry[QStringLiteral("page_px")] = OrNull(page, QJsonArray{r.PagePx.width(), r.PagePx.height()});
  entry[QStringLiteral("draw")] =
      OrNull(page, QJsonArray{r.Draw.x(), r.Draw.y(), r.Draw.width(), r.Draw.height()});
  entry[QStringLiteral("dpi")] = OrNull(page, double(r.Dpi));
  entry[QStringLiteral("error")] = OrNull(!r.Error.IsNone(), r.Error.English());
  return entry;
}

QString DpiText(float dpi) {
  return QString::number(double(dpi), 'g', 6);
}

} // namespace

QString BatchSummaryText(const TBatchOutcome &outcome, int itemCount, const TPathDisplay &display) {
  // "current" only appears where an update left targets alone.
  const int current = outcome.CountOf(TBatchAction::Current);
  QString text = QStringLiteral("%1 of %2 items: %3 unchanged, %4 paged, %5%6 skipped, %7 failed.\n")
                     .arg(outcome.Results.size())
                     .arg(itemCount)
                     .arg(outcome.CountOf(TBatchAction::Unchanged))
                     .arg(outcome.CountOf(TBatchAction::Paged))
                     .arg(current ? QStringLiteral("%1 current, ").arg(current) : QString())
                     .arg(outcome.CountOf(TBatchAction::Skipped))
                     .arg(outcome.CountOf(TBatchAction::Failed));
  if (outcome.Cancelled)
    text += QStringLiteral("The run was cancelled; the remaining items were not converted.\n");
  for (const TBatchResult &r : outcome.Results)
    if (!r.Error.IsNone())
      text +=
          QStringLiteral("%1: %2: %3\n").arg(BatchActionName(r.Action), display(r.Source), r.Error.English());
  return text;
}

QString DryRunLine(const TBatchResult &r, const TPathDisplay &display) {
  const QString source = display(r.Source);
  if (r.Action == TBatchAction::Skipped)
    return QStringLiteral("%1: skipped: %2").arg(source, r.Error.English());
  if (r.Action == TBatchAction::Current)
    return QStringLiteral("%1: current, the output is newer than the scan").arg(source);
  if (r.Action == TBatchAction::Failed)
    return QStringLiteral("%1: failed: %2").arg(source, r.Error.English());
  const QString measured = QStringLiteral("%1: %2 x %3 mm (%4)")
                               .arg(source)
                               .arg(r.ImageMm.width())
                               .arg(r.ImageMm.height())
                               .arg(r.SizeName);
  if (r.Action == TBatchAction::Unchanged)
    return measured + QStringLiteral(", no page needed, written unchanged at %1 dpi").arg(DpiText(r.Dpi));
  return measured + QStringLiteral(", needs a page: %1 %2 x %3 px at %4 dpi, image at %5,%6 size %7 x %8")
                        .arg(r.PageName)
                        .arg(r.PagePx.width())
                        .arg(r.PagePx.height())
                        .arg(DpiText(r.Dpi))
                        .arg(r.Draw.x())
                        .arg(r.Draw.y())
                        .arg(r.Draw.width())
                        .arg(r.Draw.height());
}

QByteArray BatchReportJson(const TBatchOutcome &outcome, const TPathDisplay &display) {
  QJsonArray entries;
  for (const TBatchResult &r : outcome.Results)
    entries.append(ReportEntry(r, display));
  return QJsonDocument(entries).toJson(QJsonDocument::Indented);
}
