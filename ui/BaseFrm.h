// The base of every window: the common look, translation by the language
// manager each time the window is shown, and the general error handling of
// event handlers.
#pragma once

#include "ui/VellControls.h"

#include "app/Reasons.h"

#include <QDialog>

#include <exception>

// Shows an error's text in a message box over parent.
void ShowErrorMessage(QWidget *parent, const QString &text);
// Shows a notice (a refused input and the like) in a message box over parent.
void ShowNotice(QWidget *parent, const QString &text);
// A reason as the program tells it: in Chinese, or as the language file's
// "Common" entry named after the reason's kind (for example NoSourceFolder) says.
QString ReasonText(const TReason &reason);

// Runs an event handler; an error it raises is shown in a message box and the
// window stays usable.
template <typename Handler> void Guarded(QWidget *parent, Handler &&handler) {
  try {
    handler();
  } catch (const EVellError &error) {
    ShowErrorMessage(parent, error.Message());
  } catch (const std::exception &error) {
    ShowErrorMessage(parent, QString::fromUtf8(error.what()));
  }
}

class TBaseForm : public QDialog, public TComponent {
  Q_OBJECT
  VELL_CLASS(TBaseForm, TComponent)
public:
  explicit TBaseForm(const QString &name, QWidget *parent = nullptr);
  ~TBaseForm() override;

  QString Caption() const { return windowTitle(); }
  void SetCaption(const QString &caption) { setWindowTitle(caption); }
  QString Hint() const { return toolTip(); }
  void SetHint(const QString &hint) { setToolTip(hint); }
  const TFont &Font() const { return FFont; }

  bool IsFormOrFrame() const override { return true; }
  // The form's font for the form and every control that keeps the parent's font.
  void ApplyFont(const TFont &font) override;

  // Translates the window with the global language manager, when there is one.
  virtual void ApplyLanguage();
  // Reports the window's end to the global language manager, when there is one.
  virtual void ReleaseLanguage();

protected:
  void showEvent(QShowEvent *event) override;

  // A derived form's event handler as a slot run under the general error handling.
  template <typename Form, typename... Args> auto Handler(void (Form::*handler)(Args...)) {
    return [this, handler](Args... args) {
      Guarded(this, [&] { (static_cast<Form *>(this)->*handler)(args...); });
    };
  }

private:
  TFont FFont;
};
