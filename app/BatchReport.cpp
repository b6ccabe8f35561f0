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

// "page", "page_px", "draw" and "dpi" of a page, null when there is none.
void AddPageFields(QJsonObject &entry, const TBatchPage &p, bool present) {
  entry[QStringLiteral("page")] = OrNull(present, p.PageName);
  entry[QStringLiteral("page_px")] = OrNull(present, QJsonArray{p.PagePx.width(), p.PagePx.height()});
  entry[QStringLiteral("draw")] =
      OrNull(present, QJsonArray{p.Draw.x(), p.Draw.y(), p.Draw.width(), p.Draw.height()});
  entry[QStringLiteral("dpi")] = OrNull(present, double(p.Dpi));
}

QJsonObject ReportEntry(const TBatchResult &r, const TPathDisplay &display) {
  const bool page = HasPage(r);
  QJsonObject entry;
  entry[QStringLiteral("source")] = display(r.Source);
  entry[QStringLiteral("target")] = display(r.Target);
  entry[QStringLiteral("action")] = BatchActionName(r.Action);
  AddPageFields(entry, r, page);
  entry[QStringLiteral("pages")] = OrNull(page, r.Pages);
  if (page && !r.PageList.isEmpty()) {
    QJsonArray pages;
    for (const TBatchPage &p : r.PageList) {
      QJsonObject one{{QStringLiteral("action"), BatchActionName(p.Action)}};
      AddPageFields(one, p, true);
      pages.append(one);
    }
    entry[QStringLiteral("page_list")] = pages;
  }
  entry[QStringLiteral("error")] = OrNull(!r.Error.IsNone(), r.Error.English());
  return entry;
}

QString DpiText(float dpi) {
  return QString::number(double(dpi), 'g', 6);
}

// Size in mm and its name, whether a page is needed, the page and where the
// image goes on it.
QString PageText(const TBatchPage &r) {
  const QString measured =
      QStringLiteral("%1 x %2 mm (%3)").arg(r.ImageMm.width()).arg(r.ImageMm.height()).arg(r.SizeName);
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
  int multiPage = 0, pages = 0;
  for (const TBatchResult &r : outcome.Results)
    if (HasPage(r) && r.Pages > 1)
      ++multiPage, pages += r.Pages;
  if (multiPage > 0)
    text += QStringLiteral("%1 of them with several pages, %2 pages in those.\n").arg(multiPage).arg(pages);
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
  const QString line = source + QStringLiteral(": ") + PageText(r);
  if (r.Pages < 2)
    return line;
  if (r.PageList.isEmpty())
    return line + QStringLiteral(" (%1 pages alike)").arg(r.Pages);
  QString lines = line + QStringLiteral(" (page 1 of %1)").arg(r.Pages);
  for (int i = 1; i < r.PageList.size(); ++i)
    lines += QStringLiteral("\n%1: page %2: %3").arg(source).arg(i + 1).arg(PageText(r.PageList[i]));
  return lines;
}

QByteArray BatchReportJson(const TBatchOutcome &outcome, const TPathDisplay &display) {
  QJsonArray entries;
  for (const TBatchResult &r : outcome.Results)
    entries.append(ReportEntry(r, display));
  return QJsonDocument(entries).toJson(QJsonDocument::Indented);
}
