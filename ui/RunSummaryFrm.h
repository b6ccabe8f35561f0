// The end of a run as the window tells it: the counts per outcome and, in a
// list that scrolls, every failed file once with its reason.
#pragma once

#include "ui/BatchRunner.h"
#include "ui/DialogOkBaseFrm.h"

class QPlainTextEdit;

class TRunSummaryForm : public TDialogOkBaseForm {
  Q_OBJECT
  VELL_CLASS(TRunSummaryForm, TDialogOkBaseForm)
public:
  explicit TRunSummaryForm(const TBatchRunEnd &end, QWidget *parent = nullptr);

  TLabel *lblSummary;
  TLabel *lblFailures;
  QPlainTextEdit *memFailures; // one line per failed file; absent without failures
};
