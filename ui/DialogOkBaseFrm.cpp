#include "ui/DialogOkBaseFrm.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

VELL_IMPLEMENT_CLASS(TDialogOkBaseForm, TDialogBaseForm)

TDialogOkBaseForm::TDialogOkBaseForm(const QString &name, QWidget *parent)
    : TDialogBaseForm(name, parent), pnlButtons(new TPanel(this, this, QStringLiteral("pnlButtons"))),
      bvButtons(new TBevel(pnlButtons, this, QStringLiteral("bvButtons"))),
      btnOk(new TButton(pnlButtons, this, QStringLiteral("btnOk"), QStringLiteral("确定"))),
      btnCancel(new TButton(pnlButtons, this, QStringLiteral("btnCancel"), QStringLiteral("取消"))) {
  pnlButtons->setFixedHeight(Scaled(41));
  ClientLayout()->addWidget(pnlButtons);

  auto *strip = new QVBoxLayout(pnlButtons);
  strip->setContentsMargins(0, 0, 0, 0);
  strip->setSpacing(0);
  strip->addWidget(bvButtons);
  auto *buttons = new QHBoxLayout;
  // Right-aligned: OK at (288, 8) and Cancel at (368, 8) of a 449-wide strip.
  buttons->setContentsMargins(0, Scaled(8) - bvButtons->sizeHint().height(), Scaled(6), Scaled(8));
  buttons->setSpacing(Scaled(5));
  buttons->addStretch(1);
  for (TButton *button : {btnOk, btnCancel}) {
    button->setFixedSize(Scaled(75), Scaled(25));
    buttons->addWidget(button);
  }
  strip->addLayout(buttons);

  btnOk->setDefault(true);
  connect(btnOk, &QPushButton::clicked, this, &QDialog::accept);
  connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
  SetClientSize(449, 350);
}
