// The main window: the source and output folders, the paper series with a
// fixed size per series or the automatic choice, the start button and the
// list of the source images found. Every change goes into the settings at once.
#pragma once

#include "app/PTClasses.h"
#include "ui/BaseFrm.h"
#include "ui/BatchRunner.h"
#include "ui/FileListModel.h"

#include <memory>

class TMainForm : public TBaseForm {
  Q_OBJECT
  VELL_CLASS(TMainForm, TBaseForm)
public:
  explicit TMainForm(QWidget *parent = nullptr);
  ~TMainForm() override;

  // Rescans the source folder when it exists; otherwise the list stays.
  void Refresh();
  const TBatchItemList &BatchList() const { return *FBatchList; }
  TFileListModel &FileList() const { return *FFileList; }

  TPanel *pnlLeft;
  TGroupBox *gbSetupFolder;
  TButton *btnSource;
  TButton *btnTarget;
  TPathEdit *edtSource;
  TPathEdit *edtTarget;
  TButton *btnRefresh;
  TPanel *pnlS1;
  TGroupBox *gbSetupSize;
  TPageControl *pcSetupSize;
  TTabSheet *tsAStyle;
  TTabSheet *tsBStyle;
  TRadioGroup *rgAStyle;
  TRadioGroup *rgBStyle;
  TPanel *pnlAutoCheckFit;
  TCheckBox *cbAutoCheckFit;
  TPanel *pnlOperate;
  TButton *btnStartDo;
  TPanel *pnlClient;
  TListView *lvFileList;
  TTimer *tmrMain;
  // Shown while a run goes on: progress, the file just done, cancel.
  TPanel *pnlProgress;
  TProgressBar *pbProgress;
  TLabel *lblProgress;
  TButton *btnCancelRun;

  bool IsRunning() const { return FRunner->IsRunning(); }

protected:
  void showEvent(QShowEvent *event) override;
  void keyPressEvent(QKeyEvent *event) override;
  void closeEvent(QCloseEvent *event) override;

private:
  void BuildLeftColumn();
  // No button of the window is a default button: Enter presses none.
  void DropDefaultButtons();
  // The window no larger than the free area of its screen, centred on it.
  void FitIntoScreen();
  void BuildFileList();
  void BuildProgressPanel();
  void ShowRunState(bool running);
  void ShowSummary(const TBatchRunEnd &end);
  void ConnectEvents();
  void ReadSettings();
  void UpdateSizeControls();
  // Asks for a folder starting at path; true and path set when confirmed.
  bool ChooseFolder(QString &path, TPathEdit *edit);

  void tmrMainTimer();
  void btnSourceClick();
  void btnTargetClick();
  void btnStartDoClick();
  void btnCancelRunClick();
  void RunProgress(int finished, int count, const QString &source);
  void RunFinished(const TBatchRunEnd &end);
  void pcSetupSizeChange();
  void cbAutoCheckFitClick();
  void rgAStyleClick(int index);
  void rgBStyleClick(int index);

  std::unique_ptr<TBatchItemList> FBatchList;
  TFileListModel *FFileList;
  TBatchRunner *FRunner;
  bool FPlaced = false; // sized to the screen and centred on it at the first show
};
