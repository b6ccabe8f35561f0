#include "ui/BaseFrm.h"

#include "Common/VellLangMan.h"

#include <QMessageBox>

VELL_IMPLEMENT_CLASS(TBaseForm, TComponent,
                     TProp::Accessor("Caption", &TBaseForm::Caption, &TBaseForm::SetCaption),
                     TProp::Accessor("Hint", &TBaseForm::Hint, &TBaseForm::SetHint))

TBaseForm::TBaseForm(const QString &name, QWidget *parent) : QDialog(parent) {
  SetName(name);
  setObjectName(name);
  setBackgroundRole(QPalette::Button);
  setAutoFillBackground(true);
  ApplyFont(FFont);
}

TBaseForm::~TBaseForm() {
  ReleaseLanguage();
}

void TBaseForm::ApplyFont(const TFont &font) {
  FFont = font;
  setFont(font.ToQFont(UiScale()));
  const QColor color = ColorToQColor(font.Color);
  if (color.isValid()) {
    // Disabled controls keep their grey text.
    QPalette colors = palette();
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive})
      for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        colors.setColor(group, role, color);
    setPalette(colors);
  }
}

void TBaseForm::ApplyLanguage() {
  if (GlobalLangMan)
    GlobalLangMan->TranslateForm(this, true);
}

void TBaseForm::ReleaseLanguage() {
  if (GlobalLangMan)
    GlobalLangMan->FormDestroyed(this, true);
}

void TBaseForm::showEvent(QShowEvent *event) {
  Guarded(this, [this] { ApplyLanguage(); });
  QDialog::showEvent(event);
}

namespace {

QString MessageTitle() {
  return QStringLiteral("PageTailor");
}

} // namespace

void ShowErrorMessage(QWidget *parent, const QString &text) {
  QMessageBox::critical(parent, MessageTitle(), text);
}

void ShowNotice(QWidget *parent, const QString &text) {
  QMessageBox::warning(parent, MessageTitle(), text);
}

QString ReasonText(const TReason &reason) {
  QString format;
  if (!GlobalLangMan || !GlobalLangMan->GetCommonText(ReasonKindName(reason.Kind), format))
    format = ReasonFormat(reason.Kind, TLanguage::Chinese);
  return reason.TextFrom(format, TLanguage::Chinese);
}
