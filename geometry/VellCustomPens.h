// Custom line caps and dash styles: a catalogue of line ends (arrows, anchors,
// circles, squares, bars ...) and of dash patterns for lines drawn by the
// imaging service, each a class with one class-level operation, listed in two
// ordered registries that a user interface can offer by position.
//
// Class references are metaclass objects that carry the class-level
// operation: TLineCapClass holds the function that builds the cap's outline,
// TLineDashStyleClass the dash pattern. The registries accept only these, so
// every registered class reference can be asked for its operation.
#pragma once

#include "Common/VellClassRegistry.h"
#include "imaging/VellGDIPOBJ.h"

#include <QVector>

using TSingleDynArray = QVector<float>;

// ---- line caps ----

// A line cap class: BuildCapPath adds the cap's outline to an empty path in
// the imaging service's cap space (the line ends at the origin and runs
// towards negative Y; X runs across the line, one unit being the pen width),
// scaled along the line by size. It returns the base inset (how far the line
// is shortened so that it ends inside the cap) and whether the outline is a
// filled shape (true) or a stroked figure (false); it may leave both alone
// when it adds nothing.
class TLineCapClass : public TMetaClass {
public:
  using TBuildCapPath = void (*)(TVellGraphicsPath &path, float size, float &inset, bool &filled);
  TLineCapClass(const char *name, TBuildCapPath build);

  void BuildCapPath(TVellGraphicsPath &path, float size, float &inset, bool &filled) const {
    FBuild(path, size, inset, filled);
  }

private:
  TBuildCapPath FBuild;
};

// A custom line cap of the imaging service made from a cap class (any
// registered class reference will do): the outline at size becomes its fill
// path when filled, else its stroke path, with the inset as base inset.
class TBaseLineCap : public TVellCustomLineCap {
public:
  TBaseLineCap(const TLineCapClass &capClass, float size);
  // The class reference of the base (not registrable).
  static const TMetaClass &StaticClass();
  const TLineCapClass &ClassType() const { return FClass; }

private:
  struct TOutline;
  TBaseLineCap(const TLineCapClass &capClass, const TOutline &outline);

  const TLineCapClass &FClass;
};

// Every cap class in registration order.
#define VELL_LINE_CAP_CLASSES(X)                                                                             \
  X(TNoAnchorCap)                                                                                            \
  X(TTriangleCap)                                                                                            \
  X(TFlatCap)                                                                                                \
  X(TArrowAnchorCap)                                                                                         \
  X(TDiamondAnchorCap)                                                                                       \
  X(TRoundCap)                                                                                               \
  X(TRoundAnchorCap)                                                                                         \
  X(TSquareAnchorCap)                                                                                        \
  X(TLineCap08Cap)                                                                                           \
  X(TLineCap09Cap)                                                                                           \
  X(TLineCap10Cap)                                                                                           \
  X(TLineCap11Cap)                                                                                           \
  X(TLineCap12Cap)                                                                                           \
  X(TLineCap13Cap)                                                                                           \
  X(TLineCap14Cap)                                                                                           \
  X(TLineCap15Cap)                                                                                           \
  X(TLineCap16Cap)                                                                                           \
  X(TLineCap17Cap)                                                                                           \
  X(TLineCap18Cap)                                                                                           \
  X(TLineCap19Cap)                                                                                           \
  X(TLineCap20Cap)                                                                                           \
  X(TLineCap21Cap)                                                                                           \
  X(TLineCap22Cap)                                                                                           \
  X(TLineCap23Cap)                                                                                           \
  X(TLineCap24Cap)                                                                                           \
  X(TLineCap25Cap)                                                                                           \
  X(TLineCap26Cap)                                                                                           \
  X(TLineCap27Cap)                                                                                           \
  X(TLineCap28Cap)                                                                                           \
  X(TLineCap29Cap)                                                                                           \
  X(TLineCap30Cap)                                                                                           \
  X(TLineCap31Cap)                                                                                           \
  X(TLineCap32Cap)                                                                                           \
  X(TLineCap33Cap)                                                                                           \
  X(TLineCap34Cap)                                                                                           \
  X(TLineCap35Cap)                                                                                           \
  X(TLineCap36Cap)                                                                                           \
  X(TLineCap37Cap)                                                                                           \
  X(TLineCap38Cap)                                                                                           \
  X(TLineCap39Cap)                                                                                           \
  X(TLineCap40Cap)                                                                                           \
  X(TLineCap41Cap)                                                                                           \
  X(TLineCap42Cap)                                                                                           \
  X(TLineCap43Cap)                                                                                           \
  X(TLineCap44Cap)                                                                                           \
  X(TLineCap45Cap)                                                                                           \
  X(TLineCap46Cap)                                                                                           \
  X(TLineCap47Cap)                                                                                           \
  X(TLineCap48Cap)                                                                                           \
  X(TLineCap49Cap)                                                                                           \
  X(TLineCap50Cap)                                                                                           \
  X(TLineCap51Cap)                                                                                           \
  X(TLineCap52Cap)                                                                                           \
  X(TLineCap53Cap)

#define VELL_DECLARE_LINE_CAP(Name)                                                                          \
  class Name final : public TBaseLineCap {                                                                   \
  public:                                                                                                    \
    explicit Name(float size = 1) : TBaseLineCap(StaticClass(), size) {}                                     \
    static const TLineCapClass &StaticClass();                                                               \
    static void BuildCapPath(TVellGraphicsPath &path, float size, float &inset, bool &filled);               \
  };
VELL_LINE_CAP_CLASSES(VELL_DECLARE_LINE_CAP)

// ---- dash styles ----

// A dash style class: GetDashPattern gives dash and gap lengths alternating,
// dash first, in pen widths; empty for a solid line.
class TLineDashStyleClass : public TMetaClass {
public:
  // The pattern is the one the name spells: TLineDashStyle_9_4 gives 9, 4.
  explicit TLineDashStyleClass(const char *name);
  void GetDashPattern(TSingleDynArray &pattern) const { pattern = FPattern; }

private:
  TSingleDynArray FPattern;
};

class TBaseLineDashStyle {
public:
  // The class reference of the abstract base (not registrable).
  static const TMetaClass &StaticClass();
};

// Every dash style class in registration order; the name spells the pattern.
#define VELL_LINE_DASH_STYLE_CLASSES(X)                                                                      \
  X(TLineDashStyleSolid)                                                                                     \
  X(TLineDashStyle_9_4)                                                                                      \
  X(TLineDashStyle_2_4)                                                                                      \
  X(TLineDashStyle_9_4_2_4)                                                                                  \
  X(TLineDashStyle_9_4_2_4_2_4)                                                                              \
  X(TLineDashStyle_9_4_9_4_2_4)                                                                              \
  X(TLineDashStyle_21_4_5_4)                                                                                 \
  X(TLineDashStyle_21_4_5_4_5_4)                                                                             \
  X(TLineDashStyle_5_3)                                                                                      \
  X(TLineDashStyle_2_2)                                                                                      \
  X(TLineDashStyle_5_2_2_2)                                                                                  \
  X(TLineDashStyle_5_2_2_2_2_2)                                                                              \
  X(TLineDashStyle_5_2_5_2_2_2)                                                                              \
  X(TLineDashStyle_11_2_3_2)                                                                                 \
  X(TLineDashStyle_11_2_3_2_3_2)                                                                             \
  X(TLineDashStyle_17_8)                                                                                     \
  X(TLineDashStyle_2_8)                                                                                      \
  X(TLineDashStyle_17_8_2_8)                                                                                 \
  X(TLineDashStyle_17_8_2_8_2_8)                                                                             \
  X(TLineDashStyle_17_8_17_8_2_8)                                                                            \
  X(TLineDashStyle_41_8_9_8)                                                                                 \
  X(TLineDashStyle_41_8_9_8_9_8)                                                                             \
  X(TLineDashStyle_3_1)

#define VELL_DECLARE_LINE_DASH_STYLE(Name)                                                                   \
  class Name final : public TBaseLineDashStyle {                                                             \
  public:                                                                                                    \
    static const TLineDashStyleClass &StaticClass();                                                         \
  };
VELL_LINE_DASH_STYLE_CLASSES(VELL_DECLARE_LINE_DASH_STYLE)

// ---- registries ----

class TLineCapClassMgr : public TClassRegistry<TLineCapClassMgr> {
public:
  void Register(const TLineCapClass &capClass) { TClassRegistry::Register(capClass); }
  const TLineCapClass &Items(int index) const {
    return static_cast<const TLineCapClass &>(TClassRegistry::Items(index));
  }
};

class TLineDashStyleClassMgr : public TClassRegistry<TLineDashStyleClassMgr> {
public:
  void Register(const TLineDashStyleClass &dashClass) { TClassRegistry::Register(dashClass); }
  const TLineDashStyleClass &Items(int index) const {
    return static_cast<const TLineDashStyleClass &>(TClassRegistry::Items(index));
  }
};

// The registries, created when first asked for.
TLineCapClassMgr &LineCapClasses();
TLineDashStyleClassMgr &LineDashStyleClasses();
// Appends the class unless it is registered already.
void RegisterLineCap(const TLineCapClass &capClass);
void RegisterLineDashStyle(const TLineDashStyleClass &dashClass);

// Start-up: every cap class, then every dash style class, in their orders.
void RegisterLineCapClasses();
void RegisterLineDashStyleClasses();
// Shut-down: frees both registries, dash styles first.
void FreeLineCapAndDashStyleClasses();
