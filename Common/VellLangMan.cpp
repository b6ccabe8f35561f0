#include "Common/VellLangMan.h"

#include "Common/VellTextFile.h"
#include "Common/VellUtils.h"

#include <QFileInfo>

#include <algorithm>

std::unique_ptr<TVellLangMan> GlobalLangMan;

namespace {

// Tells a missing entry from an empty one; a value equal to it counts as missing.
const QString MissingEntry = QStringLiteral("{083D4BD5-1078-4C31-83F2-5889E2F991C6}");

const QStringList IgnoredProperties{
    QStringLiteral("Name"),     QStringLiteral("HelpKeyword"), QStringLiteral("HelpFile"),
    QStringLiteral("Category"), QStringLiteral("Text"),        QStringLiteral("InitialDir"),
    QStringLiteral("FileName"), QStringLiteral("ImeName"),
};

QString Fold(const QString &text) {
  return text.toCaseFolded();
}

// Trims blanks and control characters at both ends.
QString TrimLine(const QString &text) {
  qsizetype first = 0;
  qsizetype last = text.size();
  while (first < last && text[first].unicode() <= u' ')
    ++first;
  while (last > first && text[last - 1].unicode() <= u' ')
    --last;
  return text.mid(first, last - first);
}

// The items of a "Font" value, split at ";" with double quotes protecting an item.
QStringList SplitFontItems(const QString &text) {
  QStringList items;
  qsizetype pos = 0;
  const qsizetype size = text.size();
  for (;;) {
    while (pos < size && text[pos].unicode() <= u' ')
      ++pos;
    QString item;
    if (pos < size && text[pos] == u'"') {
      for (++pos; pos < size; ++pos) {
        if (text[pos] == u'"') {
          if (pos + 1 < size && text[pos + 1] == u'"') {
            item += u'"';
            ++pos;
            continue;
          }
          ++pos;
          break;
        }
        item += text[pos];
      }
      while (pos < size && text[pos] != u';')
        ++pos;
    } else {
      const qsizetype end = text.indexOf(u';', pos);
      item = text.mid(pos, (end < 0 ? size : end) - pos);
      pos = end < 0 ? size : end;
    }
    if (pos >= size && item.isEmpty() && items.isEmpty() && text.trimmed().isEmpty())
      return items;
    items.append(item);
    if (pos >= size)
      return items;
    ++pos; // the ";"
  }
}

// A whole text as a 32-bit integer: optional sign, decimal or hexadecimal
// after "$" or "0x".
bool ParseInteger(const QString &text, qint32 &value) {
  QString digits = text;
  bool negative = false;
  if (digits.startsWith(u'-') || digits.startsWith(u'+')) {
    negative = digits.startsWith(u'-');
    digits.remove(0, 1);
  }
  int base = 10;
  if (digits.startsWith(u'$')) {
    base = 16;
    digits.remove(0, 1);
  } else if (digits.startsWith(QLatin1String("0x"), Qt::CaseInsensitive)) {
    base = 16;
    digits.remove(0, 2);
  }
  const auto isDigit = [base](QChar c) {
    const char16_t u = c.unicode();
    return (u >= u'0' && u <= u'9') || (base == 16 && ((u >= u'a' && u <= u'f') || (u >= u'A' && u <= u'F')));
  };
  if (digits.isEmpty() || !std::all_of(digits.begin(), digits.end(), isDigit))
    return false;
  bool ok = false;
  const qint64 magnitude = digits.toLongLong(&ok, base);
  const qint64 limit = base == 16 ? 0xFFFFFFFFLL : 0x80000000LL - (negative ? 0 : 1);
  if (!ok || magnitude > limit)
    return false;
  value = static_cast<qint32>(static_cast<quint32>(negative ? -magnitude : magnitude));
  return true;
}

bool ParseColor(const QString &text, TColor &color) {
  return IdentToColor(text, color) || ParseInteger(text, color);
}

} // namespace

TVellLangMan::TVellLangMan(const QString &fileName) {
  SetFileName(fileName);
}

void TVellLangMan::SetFileName(const QString &fileName) {
  FFileName = fileName;
  FSections.clear();
  FLanguageName = QStringLiteral("LanguageName");
  if (!fileName.isEmpty() && QFileInfo(fileName).isFile())
    Parse(TVellTextFile::ReadLines(fileName));
  LookupText(QStringLiteral("Language"), QStringLiteral("LanguageName"), FLanguageName);
}

void TVellLangMan::Parse(const QStringList &lines) {
  TSection *section = nullptr;
  for (const QString &raw : lines) {
    const QString line = TrimLine(raw);
    if (line.isEmpty() || line.startsWith(u';'))
      continue;
    if (line.startsWith(u'[') && line.endsWith(u']')) {
      // A repeated header starts its section afresh: only the later entries count.
      section = &FSections[Fold(TrimLine(line.mid(1, line.size() - 2)))];
      section->clear();
      continue;
    }
    const qsizetype equals = line.indexOf(u'=');
    if (section && equals >= 0)
      section->insert(Fold(TrimLine(line.left(equals))), TrimLine(line.mid(equals + 1)));
  }
}

bool TVellLangMan::LookupText(const QString &section, const QString &key, QString &value) const {
  const TSection entries = FSections.value(Fold(section));
  const QString stored = entries.value(Fold(TVellStr::EncodeIniText(key)), MissingEntry);
  const QString decoded = TVellStr::DecodeIniText(stored).replace(QStringLiteral("#32"), QStringLiteral(" "));
  if (decoded != MissingEntry) {
    value = decoded;
    return true;
  }
  value = key;
  return false;
}

bool TVellLangMan::GetCommonText(const QString &key, QString &value) const {
  return LookupText(QStringLiteral("Common"), key, value);
}

void TVellLangMan::TranslateForm(TComponent *form, bool /*useModulePrefix*/) const {
  if (!form)
    return;
  const QString section = form->ClassName();
  TranslateComponent(form, section, QString());
  QString fontText;
  TFont font;
  if (LookupText(section, QStringLiteral("Font"), fontText) && StrToFont(fontText, font) &&
      form->IsFormOrFrame())
    form->ApplyFont(font);
}

void TVellLangMan::TranslateComponent(TComponent *component, const QString &section,
                                      const QString &path) const {
  if (!component || IsSkippedComponent(component))
    return;
  for (const TPropInfo *prop : component->PropList()) {
    if (IsIgnoredProperty(prop->Name) || !prop->IsWritable() ||
        (prop->Kind != tkLString && prop->Kind != tkWString))
      continue;
    const QString key = path.isEmpty() ? prop->Name : path + u'.' + prop->Name;
    QString value;
    if (!LookupText(section, key, value))
      continue;
    if (prop->Kind == tkWString)
      prop->SetWideStrValue(*component, value);
    else
      prop->SetStrValue(*component, value.toLocal8Bit());
  }
  const QString prefix = path.isEmpty() ? QString() : path + u'.';
  for (int i = 0; i < component->ComponentCount(); ++i) {
    TComponent *child = component->Components(i);
    if (!child->Name().isEmpty())
      TranslateComponent(child, section, prefix + child->Name());
  }
}

void TVellLangMan::FormDestroyed(TComponent * /*form*/, bool /*useModulePrefix*/) const {}

bool TVellLangMan::IsSkippedComponent(const TComponent *component) {
  if (component->IsFormOrFrame())
    return false;
  if (component->ClassName().compare(QLatin1String("TTBXSeparatorItem"), Qt::CaseInsensitive) == 0)
    return true;
  const TPropInfo *action = component->ClassType().FindProperty(QStringLiteral("Action"));
  return action && action->Kind == tkClass && action->GetObjectValue(*component) != nullptr;
}

bool TVellLangMan::IsIgnoredProperty(const QString &name) {
  return TVellStr::IndexOfText(name, IgnoredProperties, false) >= 0;
}

bool TVellLangMan::StrToFont(const QString &text, TFont &font) {
  const QStringList items = SplitFontItems(text);
  if (items.size() != 6)
    return false;
  font.Name = items[0];
  qint32 number = 0;
  if (!ParseColor(items[1], font.Color))
    return false;
  if (!ParseInteger(items[2], number))
    return false;
  font.Height = number;
  if (!ParseInteger(items[3], number) || number < fpDefault || number > fpFixed)
    return false;
  font.Pitch = static_cast<TFontPitch>(number);
  if (!ParseInteger(items[4], number))
    return false;
  font.SetSize(number);
  const QString &style = items[5];
  font.Style = TFontStyles();
  if (style.contains(QLatin1String("fsBold")))
    font.Style.Include(fsBold);
  if (style.contains(QLatin1String("Italic")))
    font.Style.Include(fsItalic);
  if (style.contains(QLatin1String("Underline")))
    font.Style.Include(fsUnderline);
  if (style.contains(QLatin1String("StrikeOut")))
    font.Style.Include(fsStrikeOut);
  return true;
}
