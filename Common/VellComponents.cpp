#include "Common/VellComponents.h"

#include <QGuiApplication>
#include <QPalette>

#include <array>
#include <cmath>

namespace {

struct TColorName {
  const char *Name;
  TColor Color;
};

constexpr TColor System(int index) {
  return clSystemColor | index;
}

// The framework's colour names: the basic and extended colours, the system
// colours and the two special values.
constexpr std::array ColorNames{
    TColorName{"clBlack", 0x000000},
    TColorName{"clMaroon", 0x000080},
    TColorName{"clGreen", 0x008000},
    TColorName{"clOlive", 0x008080},
    TColorName{"clNavy", 0x800000},
    TColorName{"clPurple", 0x800080},
    TColorName{"clTeal", 0x808000},
    TColorName{"clGray", 0x808080},
    TColorName{"clSilver", 0xC0C0C0},
    TColorName{"clRed", 0x0000FF},
    TColorName{"clLime", 0x00FF00},
    TColorName{"clYellow", 0x00FFFF},
    TColorName{"clBlue", 0xFF0000},
    TColorName{"clFuchsia", 0xFF00FF},
    TColorName{"clAqua", 0xFFFF00},
    TColorName{"clWhite", 0xFFFFFF},
    TColorName{"clLtGray", 0xC0C0C0},
    TColorName{"clDkGray", 0x808080},
    TColorName{"clMoneyGreen", 0xC0DCC0},
    TColorName{"clSkyBlue", 0xF0CAA6},
    TColorName{"clCream", 0xF0FBFF},
    TColorName{"clMedGray", 0xA4A0A0},
    TColorName{"clScrollBar", System(0)},
    TColorName{"clBackground", System(1)},
    TColorName{"clActiveCaption", System(2)},
    TColorName{"clInactiveCaption", System(3)},
    TColorName{"clMenu", System(4)},
    TColorName{"clWindow", System(5)},
    TColorName{"clWindowFrame", System(6)},
    TColorName{"clMenuText", System(7)},
    TColorName{"clWindowText", System(8)},
    TColorName{"clCaptionText", System(9)},
    TColorName{"clActiveBorder", System(10)},
    TColorName{"clInactiveBorder", System(11)},
    TColorName{"clAppWorkSpace", System(12)},
    TColorName{"clHighlight", System(13)},
    TColorName{"clHighlightText", System(14)},
    TColorName{"clBtnFace", System(15)},
    TColorName{"clBtnShadow", System(16)},
    TColorName{"clGrayText", System(17)},
    TColorName{"clBtnText", System(18)},
    TColorName{"clInactiveCaptionText", System(19)},
    TColorName{"clBtnHighlight", System(20)},
    TColorName{"cl3DDkShadow", System(21)},
    TColorName{"cl3DLight", System(22)},
    TColorName{"clInfoText", System(23)},
    TColorName{"clInfoBk", System(24)},
    TColorName{"clHotLight", System(26)},
    TColorName{"clGradientActiveCaption", System(27)},
    TColorName{"clGradientInactiveCaption", System(28)},
    TColorName{"clMenuHighlight", System(29)},
    TColorName{"clMenuBar", System(30)},
    TColorName{"clNone", clNone},
    TColorName{"clDefault", clDefault},
};

// The palette role that stands for a system colour index.
QPalette::ColorRole SystemColorRole(int index) {
  switch (index) {
  case 2:
  case 13:
  case 29:
    return QPalette::Highlight;
  case 5:
    return QPalette::Base;
  case 9:
  case 14:
    return QPalette::HighlightedText;
  case 16:
    return QPalette::Dark;
  case 17:
    return QPalette::PlaceholderText;
  case 18:
    return QPalette::ButtonText;
  case 20:
  case 22:
    return QPalette::Light;
  case 21:
  case 6:
    return QPalette::Shadow;
  case 23:
    return QPalette::ToolTipText;
  case 24:
    return QPalette::ToolTipBase;
  case 26:
    return QPalette::Link;
  case 7:
  case 8:
  case 19:
    return QPalette::WindowText;
  case 4:
  case 15:
  case 30:
    return QPalette::Button;
  default:
    return QPalette::Window;
  }
}

// Round half away from zero, as a multiply-then-divide of integers does.
int MulDiv(int number, int numerator, int denominator) {
  return static_cast<int>(std::lround(static_cast<double>(number) * numerator / denominator));
}

} // namespace

bool IdentToColor(const QString &name, TColor &color) {
  for (const TColorName &entry : ColorNames)
    if (name.compare(QLatin1String(entry.Name), Qt::CaseInsensitive) == 0) {
      color = entry.Color;
      return true;
    }
  return false;
}

QColor ColorToQColor(TColor color) {
  if (color == clNone || color == clDefault)
    return {};
  if ((color & clSystemColor) == clSystemColor)
    return QGuiApplication::palette().color(SystemColorRole(color & 0xFF));
  return QColor(color & 0xFF, (color >> 8) & 0xFF, (color >> 16) & 0xFF);
}

// ---- TFont ----

int TFont::Size() const {
  return -MulDiv(Height, 72, PixelsPerInch);
}

void TFont::SetSize(int points) {
  Height = -MulDiv(points, PixelsPerInch, 72);
}

QStringList CjkFallbackFamilies() {
  return {QStringLiteral("SimSun"), QStringLiteral("Noto Serif CJK SC"), QStringLiteral("Noto Sans CJK SC"),
          QStringLiteral("WenQuanYi Zen Hei"), QStringLiteral("AR PL UMing CN")};
}

QFont TFont::ToQFont(double scale) const {
  QFont font;
  font.setFamilies(QStringList{Name} + CjkFallbackFamilies());
  // A positive height counts the cell with its leading: about 1.2 em.
  const double pixels = Height < 0 ? -Height : Height / 1.2;
  font.setPixelSize(std::max(1, static_cast<int>(std::lround(pixels * scale))));
  font.setBold(Style.Contains(fsBold));
  font.setItalic(Style.Contains(fsItalic));
  font.setUnderline(Style.Contains(fsUnderline));
  font.setStrikeOut(Style.Contains(fsStrikeOut));
  if (Pitch == fpFixed)
    font.setFixedPitch(true);
  return font;
}

// ---- TComponent ----

VELL_IMPLEMENT_CLASS(TComponent, TObject, TProp::Accessor("Name", &TComponent::Name, &TComponent::SetName))

TComponent::TComponent(TComponent *owner) {
  SetOwner(owner);
}

TComponent::~TComponent() {
  SetOwner(nullptr);
  for (TComponent *owned : FComponents)
    owned->FOwner = nullptr;
}

void TComponent::SetOwner(TComponent *owner) {
  if (FOwner)
    FOwner->FComponents.removeOne(this);
  FOwner = owner;
  if (FOwner)
    FOwner->FComponents.push_back(this);
}

TComponent *TComponent::Components(int index) const {
  VELL_ASSERT_MSG(index >= 0 && index < ComponentCount(), QStringLiteral("List index out of bounds"));
  return FComponents[index];
}

TComponent *TComponent::FindComponent(const QString &name) const {
  for (TComponent *owned : FComponents)
    if (!name.isEmpty() && owned->Name().compare(name, Qt::CaseInsensitive) == 0)
      return owned;
  return nullptr;
}
