// A tree of the file system's folders: it reports a change of selection,
// gives the selected folder's path and selects the folder of a path.
#pragma once

#include "ui/VellControls.h"

class QFileSystemModel;

class TShellTreeView : public QTreeView, public TControl {
  Q_OBJECT
  VELL_CLASS(TShellTreeView, TControl)
public:
  TShellTreeView(QWidget *parent, TComponent *owner, const QString &name);

  // The selected folder's path, without a final "/" except for the root;
  // empty when nothing is selected.
  QString SelectedPath() const;
  // Selects the folder of path and shows it; false when there is no such folder.
  bool SelectPath(const QString &path);

signals:
  void SelectionChanged();

private:
  QFileSystemModel *FModel;
};
