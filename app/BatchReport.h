// Texts and files that describe a finished run: the summary, the dry-run
// lines and the JSON report.
#pragma once

#include "app/BatchRun.h"

#include <QByteArray>
#include <QString>
#include <functional>

// Turns a result's full path into the form shown to the user.
using TPathDisplay = std::function<QString(const QString &)>;

// Counts per action, the files of several pages, a note when the run was
// cancelled, then every failed and skipped item with its reason, one per line.
QString BatchSummaryText(const TBatchOutcome &outcome, int itemCount, const TPathDisplay &display);

// The lines for an item of a dry run: size in mm and its name, whether a
// page is needed, the page and where the image goes on it; a line per page
// where the pages of a file differ.
QString DryRunLine(const TBatchResult &result, const TPathDisplay &display);

// A JSON array with one object per result: "source", "target", "action",
// "page", "page_px", "draw", "dpi" (of the first page), "pages" (the count),
// "page_list" (every page, where they differ in action or page size), "error".
QByteArray BatchReportJson(const TBatchOutcome &outcome, const TPathDisplay &display);
