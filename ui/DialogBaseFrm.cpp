#include "ui/DialogBaseFrm.h"

#include <QScreen>
#include <QShowEvent>
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

void TDialogBaseForm::showEvent(QShowEvent *event) {
  TBaseForm::showEvent(event);
  if (event->spontaneous())
    return;
  const QWidget *owner = parentWidget() ? parentWidget()->window() : nullptr;
  const QRect room = (owner ? owner->screen() : screen())->availableGeometry();
  QRect place = frameGeometry();
  place.moveCenter(owner ? owner->frameGeometry().center() : room.center());
  // Inside the screen even when the owner lies partly outside it.
  place.moveRight(std::min(place.right(), room.right()));
  place.moveBottom(std::min(place.bottom(), room.bottom()));
  place.moveLeft(std::max(place.left(), room.left()));
  place.moveTop(std::max(place.top(), room.top()));
  move(place.topLeft());
}
