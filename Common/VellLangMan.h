// The language manager: replaces the texts of a form and of the components it
// owns, and optionally the form's font, with the entries of a language file.
//
// The file is INI-style text: a "Language" section with "LanguageName", a
// "Common" section of shared texts and one section per form class whose keys
// are property paths ("Caption", "btnSource.Caption", "Frame.Button.Hint")
// along the ownership chain, plus "Font".
#pragma once

#include "Common/VellComponents.h"

#include <QHash>
#include <QString>

#include <memory>

class TVellLangMan {
public:
  explicit TVellLangMan(const QString &fileName = QString());

  // Reads the whole file (none when the name is empty or no file is there)
  // and sets LanguageName. EFOpenError when the file exists but cannot be
  // read; the manager then holds no entries.
  void SetFileName(const QString &fileName);
  const QString &FileName() const { return FFileName; }
  const QString &LanguageName() const { return FLanguageName; }

  // The decoded value of key in section. When there is none, false, and value
  // is the key as given.
  bool LookupText(const QString &section, const QString &key, QString &value) const;
  bool GetCommonText(const QString &key, QString &value) const;

  // Translates the form and every component it owns, then applies the
  // section's "Font" when the file has a valid one. The flag asks for the
  // section to carry the loadable library's name; a program has none.
  void TranslateForm(TComponent *form, bool useModulePrefix) const;
  // Translates one component's text properties under path, then the named
  // components it owns, in ownership order.
  void TranslateComponent(TComponent *component, const QString &section, const QString &path) const;
  // Called when a form is destroyed; keeps no state about forms.
  void FormDestroyed(TComponent *form, bool useModulePrefix) const;

  static bool IsSkippedComponent(const TComponent *component);
  static bool IsIgnoredProperty(const QString &name);
  // Parses "name; colour; height; pitch; size; style" into font. False, with
  // the fields before the failing one applied, when it is not such a value.
  static bool StrToFont(const QString &text, TFont &font);

private:
  using TSection = QHash<QString, QString>; // folded escaped key -> raw value

  void Parse(const QStringList &lines);

  QString FFileName;
  QString FLanguageName;
  QHash<QString, TSection> FSections; // folded section name -> entries
};

// The process-wide manager; created at start-up without a file, freed at
// shut-down. Callers test that it exists.
extern std::unique_ptr<TVellLangMan> GlobalLangMan;
