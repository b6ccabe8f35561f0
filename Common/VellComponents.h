// The component model the language manager walks: named components that
// belong to an owner (the form they were placed on), independent of the
// widget toolkit, and the font description a form can be given.
#pragma once

#include "Common/VellTypInfo.h"

#include <QColor>
#include <QFont>
#include <QString>
#include <QVector>

// A colour as 0x00BBGGRR, or a system colour (0xFF000000 | index), or one of
// the two special values below.
using TColor = qint32;
constexpr TColor clNone = 0x1FFFFFFF;
constexpr TColor clDefault = 0x20000000;
constexpr TColor clSystemColor = static_cast<TColor>(0xFF000000);
constexpr TColor clBlack = 0x000000;
constexpr TColor clWindowText = clSystemColor | 8;
constexpr TColor clBtnFace = clSystemColor | 15;

// The colour of a framework colour name ("clBlack", "clBtnFace", ...),
// letter case ignored; false for any other name.
bool IdentToColor(const QString &name, TColor &color);
// The colour as the screen shows it: system colours from the application
// palette; an invalid colour for clNone and clDefault.
QColor ColorToQColor(TColor color);

enum TFontStyle : quint8 { fsBold, fsItalic, fsUnderline, fsStrikeOut };
using TFontStyles = TSetOf<TFontStyle>;
enum TFontPitch : quint8 { fpDefault, fpVariable, fpFixed };

VELL_ENUM_INFO(TFontStyle, QStringLiteral("fsBold"), QStringLiteral("fsItalic"),
               QStringLiteral("fsUnderline"), QStringLiteral("fsStrikeOut"))
VELL_ENUM_INFO(TFontPitch, QStringLiteral("fpDefault"), QStringLiteral("fpVariable"),
               QStringLiteral("fpFixed"))

// A font as the forms describe it. Height is in pixels at 96 dots per inch,
// negative for a character height (without internal leading); Size is the
// same in points.
struct TFont {
  static constexpr int PixelsPerInch = 96;

  QString Name = QStringLiteral("宋体");
  TColor Color = clWindowText;
  int Height = -12;
  TFontPitch Pitch = fpDefault;
  TFontStyles Style;

  int Size() const;
  void SetSize(int points);
  bool operator==(const TFont &) const = default;

  // The font for the screen, its pixel sizes multiplied by scale. The named
  // family comes first; installed CJK families follow, so Chinese text always
  // has glyphs even where the named font is missing.
  QFont ToQFont(double scale = 1.0) const;
};

// Families tried after a font's own name, best first.
QStringList CjkFallbackFamilies();

// A component: a named object that belongs to an owner. The owner lists
// the components it owns in the order they joined; a component leaves that
// list when it is destroyed or changes owner. Ownership here is about
// naming and walking a form's parts; the memory of widget components belongs
// to their visual parent.
class TComponent : public TObject {
  VELL_CLASS(TComponent, TObject)
public:
  explicit TComponent(TComponent *owner = nullptr);
  ~TComponent() override;
  TComponent(const TComponent &) = delete;
  TComponent &operator=(const TComponent &) = delete;

  const QString &Name() const { return FName; }
  void SetName(const QString &name) { FName = name; }

  TComponent *Owner() const { return FOwner; }
  void SetOwner(TComponent *owner);
  int ComponentCount() const { return static_cast<int>(FComponents.size()); }
  // The owned component at an index, in ownership order.
  TComponent *Components(int index) const;
  // The owned component of this name (letter case ignored), or null.
  TComponent *FindComponent(const QString &name) const;

  // Forms and frames: never skipped by the translation and the only
  // components whose font a language file may set.
  virtual bool IsFormOrFrame() const { return false; }
  // Takes the given font; components without a font of their own ignore it.
  virtual void ApplyFont(const TFont & /*font*/) {}

private:
  QString FName;
  TComponent *FOwner = nullptr;
  QVector<TComponent *> FComponents;
};
