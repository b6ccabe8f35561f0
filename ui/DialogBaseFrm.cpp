#include "ui/DialogBaseFrm.h"

#include <QVBoxLayout>

VELL_IMPLEMENT_CLASS(TDialogBaseForm, TBaseForm)

// Qt paints every window double-buffered, so the dialogs need nothing for it.
TDialogBaseForm::TDialogBaseForm(const QString &name, QWidget *parent)
    : TBaseForm(name, parent), pnlBackClient(new TPanel(this, this, QStringLiteral("pnlBackClient"))),
      FClientLayout(new QVBoxLayout(this)) {
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);
  setSizeGripEnabled(false);
  FClientLayout->setContentsMargins(0, 0, 0, 0);
  FClientLayout->setSpacing(0);
  FClientLayout->addWidget(pnlBackClient, 1);
  pnlBackClient->setContentsMargins(Scaled(8), Scaled(8), Scaled(8), Scaled(8));
  SetClientSize(455, 319);
}

void TDialogBaseForm::SetClientSize(int width, int height) {
  setFixedSize(Scaled(width), Scaled(height));
}
