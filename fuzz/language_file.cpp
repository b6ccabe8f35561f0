// Reads arbitrary bytes as a language file and translates a small form with
// it: the sections, keys, escapes and the form's "Font" value all come from
// the input. Crashes, hangs, leaks and sanitizer reports are findings.
#include "Common/VellLangMan.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>

namespace {

// A form as the manager walks it: a caption, an owned button with its texts,
// and a frame owning a button of its own.
class TFuzzForm : public TComponent {
  VELL_CLASS(TFuzzForm, TComponent)
public:
  using TComponent::TComponent;
  QString Caption = QStringLiteral("designed");
  QString Hint;
  QByteArray Narrow = "narrow";
  TFont Font;
  bool IsFormOrFrame() const override { return true; }
  void ApplyFont(const TFont &font) override { Font = font; }
};

class TFuzzButton : public TComponent {
  VELL_CLASS(TFuzzButton, TComponent)
public:
  TFuzzButton(TComponent *owner, const QString &name) : TComponent(owner) { SetName(name); }
  QString Caption;
  QString Hint;
};

} // namespace

VELL_IMPLEMENT_CLASS(TFuzzForm, TComponent, TProp::Field("Caption", &TFuzzForm::Caption),
                     TProp::Field("Hint", &TFuzzForm::Hint), TProp::Field("Narrow", &TFuzzForm::Narrow))
VELL_IMPLEMENT_CLASS(TFuzzButton, TComponent, TProp::Field("Caption", &TFuzzButton::Caption),
                     TProp::Field("Hint", &TFuzzButton::Hint))

namespace {

QString InputFile() {
  static const QTemporaryDir folder(QStringLiteral("/dev/shm/pt-fuzz-XXXXXX"));
  return folder.filePath(QStringLiteral("language.ini"));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  {
    QFile file(InputFile());
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
      return 0;
    file.write(reinterpret_cast<const char *>(data), static_cast<qint64>(size));
  }
  const TVellLangMan manager(InputFile());
  QString value;
  (void)manager.GetCommonText(QStringLiteral("OK"), value);
  TFuzzForm form;
  form.SetName(QStringLiteral("frmMain"));
  TFuzzButton button(&form, QStringLiteral("btnStart"));
  TFuzzForm frame(&form);
  frame.SetName(QStringLiteral("Frame"));
  TFuzzButton inner(&frame, QStringLiteral("btnInner"));
  manager.TranslateForm(&form, false);
  TFont font;
  if (manager.LookupText(QStringLiteral("TFuzzForm"), QStringLiteral("Font"), value))
    (void)TVellLangMan::StrToFont(value, font);
  return 0;
}
