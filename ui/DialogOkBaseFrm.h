// The base of the dialogs that end with OK or Cancel: a strip of the two
// buttons along the bottom, right-aligned under a line.
#pragma once

#include "ui/DialogBaseFrm.h"

class TDialogOkBaseForm : public TDialogBaseForm {
  Q_OBJECT
  VELL_CLASS(TDialogOkBaseForm, TDialogBaseForm)
public:
  explicit TDialogOkBaseForm(const QString &name, QWidget *parent = nullptr);

  TPanel *pnlButtons;
  TBevel *bvButtons;
  TButton *btnOk;     // default button: Enter; closes with the OK result
  TButton *btnCancel; // Esc; closes with the cancel result
};
