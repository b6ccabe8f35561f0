#include "ui/VellShellTree.h"

#include <QDir>
#include <QFileSystemModel>
#include <QHeaderView>

VELL_IMPLEMENT_CLASS(TShellTreeView, TControl)

TShellTreeView::TShellTreeView(QWidget *parent, TComponent *owner, const QString &name)
    : QTreeView(parent), TControl(this, owner, name), FModel(new QFileSystemModel(this)) {
  FModel->setFilter(QDir::AllDirs | QDir::Drives | QDir::NoDotAndDotDot);
  FModel->setReadOnly(true);
  FModel->setRootPath(QDir::rootPath());
  setModel(FModel);
  for (int column = 1; column < FModel->columnCount(); ++column)
    hideColumn(column);
  header()->hide();
  setFrameShadow(QFrame::Sunken);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setAllColumnsShowFocus(true);
  connect(selectionModel(), &QItemSelectionModel::currentChanged, this, &TShellTreeView::SelectionChanged);
}

QString TShellTreeView::SelectedPath() const {
  const QModelIndex current = currentIndex();
  return current.isValid() ? FModel->filePath(current) : QString();
}

bool TShellTreeView::SelectPath(const QString &path) {
  const QModelIndex index = FModel->index(QDir::cleanPath(QDir(path).absolutePath()));
  if (!index.isValid() || !FModel->isDir(index))
    return false;
  for (QModelIndex parent = index.parent(); parent.isValid(); parent = parent.parent())
    expand(parent);
  setCurrentIndex(index);
  scrollTo(index);
  return true;
}
