// The controls the forms are built from: Qt widgets that are also components,
// so that they carry a name, belong to the form that created them (their
// owner) while sitting in any visual container (their Qt parent), and expose
// their texts as declared properties for the language manager.
#pragma once

#include "Common/VellComponents.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <QTreeView>

// Pixel sizes are given at 96 dots per inch; this is the screen's factor.
double UiScale();
int Scaled(int pixels);
QRect Scaled(const QRect &rect);
// Makes control fill container.
void FillWith(QWidget *container, QWidget *control);

// The part common to all visible controls: the widget it is and its hint.
class TControl : public TComponent {
  VELL_CLASS(TControl, TComponent)
public:
  TControl(QWidget *self, TComponent *owner, const QString &name);
  QWidget *Widget() const { return FWidget; }
  QString Hint() const { return FWidget->toolTip(); }
  void SetHint(const QString &hint) { FWidget->setToolTip(hint); }

private:
  QWidget *FWidget;
};

class TPanel : public QFrame, public TControl {
  VELL_CLASS(TPanel, TControl)
public:
  TPanel(QWidget *parent, TComponent *owner, const QString &name);
};

// A line across a panel.
class TBevel : public QFrame, public TControl {
  VELL_CLASS(TBevel, TControl)
public:
  TBevel(QWidget *parent, TComponent *owner, const QString &name);
};

class TGroupBox : public QGroupBox, public TControl {
  VELL_CLASS(TGroupBox, TControl)
public:
  TGroupBox(QWidget *parent, TComponent *owner, const QString &name, const QString &caption);
  QString Caption() const { return title(); }
  void SetCaption(const QString &caption) { setTitle(caption); }

protected:
  // The caption on the frame's top line, the children below it.
  void paintEvent(QPaintEvent *event) override;
};

class TButton : public QPushButton, public TControl {
  VELL_CLASS(TButton, TControl)
public:
  TButton(QWidget *parent, TComponent *owner, const QString &name, const QString &caption);
  QString Caption() const { return text(); }
  void SetCaption(const QString &caption) { setText(caption); }
  // Clickable, but skipped when tabbing through the form.
  void SetTabStop(bool tabStop) { setFocusPolicy(tabStop ? Qt::StrongFocus : Qt::ClickFocus); }
};

class TCheckBox : public QCheckBox, public TControl {
  VELL_CLASS(TCheckBox, TControl)
public:
  TCheckBox(QWidget *parent, TComponent *owner, const QString &name, const QString &caption);
  QString Caption() const { return text(); }
  void SetCaption(const QString &caption) { setText(caption); }
};

class TLabel : public QLabel, public TControl {
  VELL_CLASS(TLabel, TControl)
public:
  TLabel(QWidget *parent, TComponent *owner, const QString &name);
  QString Caption() const { return text(); }
  void SetCaption(const QString &caption) { setText(caption); }
};

class TProgressBar : public QProgressBar, public TControl {
  VELL_CLASS(TProgressBar, TControl)
public:
  TProgressBar(QWidget *parent, TComponent *owner, const QString &name);
};

class TEdit : public QLineEdit, public TControl {
  VELL_CLASS(TEdit, TControl)
public:
  TEdit(QWidget *parent, TComponent *owner, const QString &name);
  QString Text() const { return text(); }
  void SetText(const QString &value) { setText(value); }
};

// A read-only edit showing a path: a long one elided in the middle, so that its
// start and its end stay in view; the whole path as the tooltip.
class TPathEdit : public TEdit {
  VELL_CLASS(TPathEdit, TEdit)
public:
  TPathEdit(QWidget *parent, TComponent *owner, const QString &name);
  const QString &Path() const { return FPath; }
  void SetPath(const QString &path);

protected:
  void resizeEvent(QResizeEvent *event) override;

private:
  void ShowPath();
  QString FPath;
};

// Tabs drawn as flat buttons over their pages.
class TPageControl : public QTabWidget, public TControl {
  VELL_CLASS(TPageControl, TControl)
public:
  TPageControl(QWidget *parent, TComponent *owner, const QString &name);
};

// One page of a page control; its caption is the tab's text.
class TTabSheet : public QWidget, public TControl {
  VELL_CLASS(TTabSheet, TControl)
public:
  TTabSheet(TPageControl *pageControl, TComponent *owner, const QString &name, const QString &caption);
  QString Caption() const;
  void SetCaption(const QString &caption);

private:
  TPageControl *FPageControl;
};

// A group of radio items laid out in columns (top to bottom, then the next
// column); ItemIndex is the chosen item or -1.
class TRadioGroup : public QGroupBox, public TControl {
  Q_OBJECT
  VELL_CLASS(TRadioGroup, TControl)
public:
  TRadioGroup(QWidget *parent, TComponent *owner, const QString &name, const QStringList &items, int columns);
  QString Caption() const { return title(); }
  void SetCaption(const QString &caption) { setTitle(caption); }
  int ItemIndex() const { return FButtons.checkedId(); }
  void SetItemIndex(int index);
  QAbstractButton *Item(int index) const { return FButtons.button(index); }

signals:
  // The user chose an item.
  void Clicked(int index);

private:
  QButtonGroup FButtons;
};

class TListBox : public QListWidget, public TControl {
  VELL_CLASS(TListBox, TControl)
public:
  TListBox(QWidget *parent, TComponent *owner, const QString &name);
};

// A report-style list whose rows come from a model on demand.
class TListView : public QTreeView, public TControl {
  VELL_CLASS(TListView, TControl)
public:
  TListView(QWidget *parent, TComponent *owner, const QString &name);
};

class TTimer : public QTimer, public TComponent {
  VELL_CLASS(TTimer, TComponent)
public:
  TTimer(QObject *parent, TComponent *owner, const QString &name, int intervalMs);
};
