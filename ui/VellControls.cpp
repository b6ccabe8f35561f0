#include "ui/VellControls.h"

#include <QGridLayout>
#include <QGuiApplication>
#include <QHeaderView>
#include <QPainter>
#include <QRadioButton>
#include <QScreen>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QVBoxLayout>

#include <cmath>

double UiScale() {
  const QScreen *screen = QGuiApplication::primaryScreen();
  return screen ? screen->logicalDotsPerInch() / 96.0 : 1.0;
}

int Scaled(int pixels) {
  return static_cast<int>(std::lround(pixels * UiScale()));
}

QRect Scaled(const QRect &rect) {
  return {Scaled(rect.x()), Scaled(rect.y()), Scaled(rect.width()), Scaled(rect.height())};
}

void FillWith(QWidget *container, QWidget *control) {
  auto *layout = new QVBoxLayout(container);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(control);
}

VELL_IMPLEMENT_CLASS(TControl, TComponent, TProp::Accessor("Hint", &TControl::Hint, &TControl::SetHint))

TControl::TControl(QWidget *self, TComponent *owner, const QString &name) : TComponent(owner), FWidget(self) {
  SetName(name);
  self->setObjectName(name);
}

VELL_IMPLEMENT_CLASS(TPanel, TControl)

TPanel::TPanel(QWidget *parent, TComponent *owner, const QString &name)
    : QFrame(parent), TControl(this, owner, name) {}

VELL_IMPLEMENT_CLASS(TBevel, TControl)

TBevel::TBevel(QWidget *parent, TComponent *owner, const QString &name)
    : QFrame(parent), TControl(this, owner, name) {
  setFrameShape(QFrame::HLine);
  setFrameShadow(QFrame::Sunken);
}

VELL_IMPLEMENT_CLASS(TGroupBox, TControl,
                     TProp::Accessor("Caption", &TGroupBox::Caption, &TGroupBox::SetCaption))

TGroupBox::TGroupBox(QWidget *parent, TComponent *owner, const QString &name, const QString &caption)
    : QGroupBox(caption, parent), TControl(this, owner, name) {}

void TGroupBox::paintEvent(QPaintEvent * /*event*/) {
  QPainter painter(this);
  const QFontMetrics metrics(font());
  const QRect frame = rect().adjusted(0, metrics.height() / 2, -2, -2);
  painter.setPen(palette().color(QPalette::Light));
  painter.drawRect(frame.translated(1, 1));
  painter.setPen(palette().color(QPalette::Mid));
  painter.drawRect(frame);
  if (title().isEmpty())
    return;
  const QRect caption(Scaled(7), 0, metrics.horizontalAdvance(title()) + Scaled(4), metrics.height());
  painter.fillRect(caption, window()->palette().color(window()->backgroundRole()));
  painter.setPen(palette().color(QPalette::WindowText));
  painter.drawText(caption, Qt::AlignCenter, title());
}

VELL_IMPLEMENT_CLASS(TButton, TControl, TProp::Accessor("Caption", &TButton::Caption, &TButton::SetCaption))

TButton::TButton(QWidget *parent, TComponent *owner, const QString &name, const QString &caption)
    : QPushButton(caption, parent), TControl(this, owner, name) {}

VELL_IMPLEMENT_CLASS(TCheckBox, TControl,
                     TProp::Accessor("Caption", &TCheckBox::Caption, &TCheckBox::SetCaption))

TCheckBox::TCheckBox(QWidget *parent, TComponent *owner, const QString &name, const QString &caption)
    : QCheckBox(caption, parent), TControl(this, owner, name) {}

VELL_IMPLEMENT_CLASS(TLabel, TControl, TProp::Accessor("Caption", &TLabel::Caption, &TLabel::SetCaption))

TLabel::TLabel(QWidget *parent, TComponent *owner, const QString &name)
    : QLabel(parent), TControl(this, owner, name) {}

VELL_IMPLEMENT_CLASS(TProgressBar, TControl)

TProgressBar::TProgressBar(QWidget *parent, TComponent *owner, const QString &name)
    : QProgressBar(parent), TControl(this, owner, name) {}

VELL_IMPLEMENT_CLASS(TEdit, TControl, TProp::Accessor("Text", &TEdit::Text, &TEdit::SetText))

TEdit::TEdit(QWidget *parent, TComponent *owner, const QString &name)
    : QLineEdit(parent), TControl(this, owner, name) {}

VELL_IMPLEMENT_CLASS(TPathEdit, TEdit)

TPathEdit::TPathEdit(QWidget *parent, TComponent *owner, const QString &name) : TEdit(parent, owner, name) {
  setReadOnly(true);
  setFocusPolicy(Qt::NoFocus);
}

void TPathEdit::SetPath(const QString &path) {
  FPath = path;
  setToolTip(path);
  ShowPath();
}

void TPathEdit::resizeEvent(QResizeEvent *event) {
  TEdit::resizeEvent(event);
  ShowPath();
}

void TPathEdit::ShowPath() {
  // The room inside the frame and the text margins, as QLineEdit lays it out.
  QStyleOptionFrame option;
  initStyleOption(&option);
  const QRect room = style()
                         ->subElementRect(QStyle::SE_LineEditContents, &option, this)
                         .marginsRemoved(textMargins())
                         .adjusted(2, 0, -2, 0);
  setText(fontMetrics().elidedText(FPath, Qt::ElideMiddle, room.width()));
  setCursorPosition(0);
}

VELL_IMPLEMENT_CLASS(TPageControl, TControl)

TPageControl::TPageControl(QWidget *parent, TComponent *owner, const QString &name)
    : QTabWidget(parent), TControl(this, owner, name) {
  setDocumentMode(true);
}

VELL_IMPLEMENT_CLASS(TTabSheet, TControl,
                     TProp::Accessor("Caption", &TTabSheet::Caption, &TTabSheet::SetCaption))

TTabSheet::TTabSheet(TPageControl *pageControl, TComponent *owner, const QString &name,
                     const QString &caption)
    : QWidget(pageControl), TControl(this, owner, name), FPageControl(pageControl) {
  pageControl->addTab(this, caption);
}

QString TTabSheet::Caption() const {
  return FPageControl->tabText(FPageControl->indexOf(this));
}

void TTabSheet::SetCaption(const QString &caption) {
  FPageControl->setTabText(FPageControl->indexOf(this), caption);
}

VELL_IMPLEMENT_CLASS(TRadioGroup, TControl,
                     TProp::Accessor("Caption", &TRadioGroup::Caption, &TRadioGroup::SetCaption))

TRadioGroup::TRadioGroup(QWidget *parent, TComponent *owner, const QString &name, const QStringList &items,
                         int columns)
    : QGroupBox(parent), TControl(this, owner, name) {
  auto *grid = new QGridLayout(this);
  const int perColumn = (static_cast<int>(items.size()) + columns - 1) / columns;
  for (int i = 0; i < items.size(); ++i) {
    auto *item = new QRadioButton(items[i], this);
    FButtons.addButton(item, i);
    grid->addWidget(item, i % perColumn, i / perColumn);
  }
  connect(&FButtons, &QButtonGroup::idClicked, this, &TRadioGroup::Clicked);
}

void TRadioGroup::SetItemIndex(int index) {
  if (QAbstractButton *item = FButtons.button(index))
    item->setChecked(true);
  else if (QAbstractButton *checked = FButtons.checkedButton()) {
    FButtons.setExclusive(false);
    checked->setChecked(false);
    FButtons.setExclusive(true);
  }
}

VELL_IMPLEMENT_CLASS(TListBox, TControl)

TListBox::TListBox(QWidget *parent, TComponent *owner, const QString &name)
    : QListWidget(parent), TControl(this, owner, name) {}

VELL_IMPLEMENT_CLASS(TListView, TControl)

TListView::TListView(QWidget *parent, TComponent *owner, const QString &name)
    : QTreeView(parent), TControl(this, owner, name) {
  setRootIsDecorated(false);
  setItemsExpandable(false);
  setUniformRowHeights(true);
  setAllColumnsShowFocus(true);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  header()->setStretchLastSection(false);
}

VELL_IMPLEMENT_CLASS(TTimer, TComponent)

TTimer::TTimer(QObject *parent, TComponent *owner, const QString &name, int intervalMs)
    : QTimer(parent), TComponent(owner) {
  SetName(name);
  setObjectName(name);
  setInterval(intervalMs);
}
