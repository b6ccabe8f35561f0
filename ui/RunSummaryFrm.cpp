#include "ui/RunSummaryFrm.h"

#include <QPlainTextEdit>
#include <QVBoxLayout>

VELL_IMPLEMENT_CLASS(TRunSummaryForm, TDialogOkBaseForm)

TRunSummaryForm::TRunSummaryForm(const TBatchRunEnd &end, QWidget *parent)
    : TDialogOkBaseForm(QStringLiteral("RunSummaryForm"), parent),
      lblSummary(new TLabel(pnlBackClient, this, QStringLiteral("lblSummary"))),
      lblFailures(new TLabel(pnlBackClient, this, QStringLiteral("lblFailures"))), memFailures(nullptr) {
  SetCaption(QStringLiteral("PageTailor"));
  btnCancel->hide();
  lblSummary->setTextFormat(Qt::PlainText);
  lblSummary->setText(RunSummaryText(end));
  auto *column = new QVBoxLayout(pnlBackClient);
  column->setContentsMargins(pnlBackClient->contentsMargins());
  pnlBackClient->setContentsMargins(0, 0, 0, 0);
  column->addWidget(lblSummary);
  const QStringList failures = RunFailureLines(end.Outcome);
  if (failures.isEmpty()) {
    lblFailures->hide();
    column->addStretch(1);
    SetClientSize(360, 170);
    return;
  }
  lblFailures->setText(QStringLiteral("失败的文件："));
  memFailures = new QPlainTextEdit(pnlBackClient);
  memFailures->setObjectName(QStringLiteral("memFailures"));
  memFailures->setReadOnly(true);
  memFailures->setPlainText(failures.join(u'\n'));
  column->addSpacing(Scaled(8));
  column->addWidget(lblFailures);
  column->addWidget(memFailures, 1);
  SetClientSize(560, 400);
}
