// The base of the dialogs: a fixed border, centred on its owner (on the
// screen when it has none) and kept inside the screen, and a client panel with an 8-pixel border that the
// dialog's controls go into.
#pragma once

#include "ui/BaseFrm.h"

class QVBoxLayout;

class TDialogBaseForm : public TBaseForm {
  Q_OBJECT
  VELL_CLASS(TDialogBaseForm, TBaseForm)
public:
  explicit TDialogBaseForm(const QString &name, QWidget *parent = nullptr);

  TPanel *pnlBackClient;

protected:
  void showEvent(QShowEvent *event) override;
  // The layout of the whole client area; pnlBackClient is its first item.
  QVBoxLayout *ClientLayout() const { return FClientLayout; }
  // Fixes the client area to a size given at 96 dots per inch.
  void SetClientSize(int width, int height);

private:
  QVBoxLayout *FClientLayout;
};
