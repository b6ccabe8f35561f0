// The folder dialog: the folders as a tree, the folders chosen before as a
// history, and a path the user may type (created on OK when missing). The
// history lives in HistoryPath.xml (despite the name, UTF-16 lines) in the
// settings folder, beside AppInfo.dat; it is read when a dialog is created
// and written when it is destroyed.
#pragma once

#include "ui/DialogOkBaseFrm.h"
#include "ui/VellShellTree.h"

// Where the history file lives.
QString HistoryFilePath();
// Moves the folder of the history file ("" restores the default); for a
// portable set-up or a test run that must not touch the program's folder.
void SetHistoryFolder(const QString &folder);

class TVellSelectFolderDialog : public TDialogOkBaseForm {
  Q_OBJECT
  VELL_CLASS(TVellSelectFolderDialog, TDialogOkBaseForm)
public:
  explicit TVellSelectFolderDialog(QWidget *parent = nullptr);
  ~TVellSelectFolderDialog() override;

  // Shows a dialog on folder, centred on owner; on OK folder becomes the
  // chosen path (as typed or selected, no separator added). True exactly when
  // confirmed.
  static bool Execute(QString &folder, QWidget *owner = nullptr);

  // Drops history entries that are no existing folders, selects the initial
  // folder (or else the newest history entry) and enables the delete button.
  void Prepare(const QString &initialFolder);
  // Whether the typed folder may be accepted; creates it when missing.
  bool ValidateSelection();
  QStringList History() const;

  TPageControl *pcSelectFolder;
  TTabSheet *tsFolder;
  TTabSheet *tsHistory;
  TShellTreeView *stFolder;
  TListBox *lbHistory;
  TButton *bbDeleteHistory;
  TPanel *pnlBottom;
  TEdit *edtCurrentSelect;
  TButton *btnCreateFolder;

private:
  void LoadHistory();
  void SaveHistory() const;
  void SelectHistoryRow(int row);
  void InsertHistoryRow(int row, const QString &folder);
  // Refuses the selection: shows text, puts the focus on the edit.
  bool Refuse(const QString &text);

  void stFolderChange();
  void lbHistoryClick();
  void pcSelectFolderChange();
  void bbDeleteHistoryClick();
  void btnCreateFolderClick();
  void btnOkClick();
};
