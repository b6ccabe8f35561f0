#include "ui/MainFrm.h"

#include "app/AppInfo.h"
#include "app/SourceScan.h"
#include "ui/RunSummaryFrm.h"
#include "ui/VellDialogSelectFolder.h"

#include "Common/VellUtils.h"

#include <QDateTime>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QScreen>
#include <QThread>
#include <QVBoxLayout>

namespace {

QStringList SeriesItems(QChar series) {
  QStringList items;
  for (int size = 0; size <= 5; ++size)
    items.append(series + QString::number(size));
  return items;
}

} // namespace

VELL_IMPLEMENT_CLASS(TMainForm, TBaseForm)

TMainForm::TMainForm(QWidget *parent)
    : TBaseForm(QStringLiteral("MainForm"), parent),
      pnlLeft(new TPanel(this, this, QStringLiteral("pnlLeft"))),
      gbSetupFolder(
          new TGroupBox(pnlLeft, this, QStringLiteral("gbSetupFolder"), QStringLiteral("设置目录"))),
      btnSource(new TButton(gbSetupFolder, this, QStringLiteral("btnSource"), QStringLiteral("源目录"))),
      btnTarget(new TButton(gbSetupFolder, this, QStringLiteral("btnTarget"), QStringLiteral("输出目录"))),
      edtSource(new TPathEdit(gbSetupFolder, this, QStringLiteral("edtSource"))),
      edtTarget(new TPathEdit(gbSetupFolder, this, QStringLiteral("edtTarget"))),
      btnRefresh(new TButton(gbSetupFolder, this, QStringLiteral("btnRefresh"), QStringLiteral("刷新"))),
      pnlS1(new TPanel(pnlLeft, this, QStringLiteral("pnlS1"))),
      gbSetupSize(new TGroupBox(pnlLeft, this, QStringLiteral("gbSetupSize"), QStringLiteral("设置尺寸"))),
      pcSetupSize(new TPageControl(gbSetupSize, this, QStringLiteral("pcSetupSize"))),
      tsAStyle(new TTabSheet(pcSetupSize, this, QStringLiteral("tsAStyle"), QStringLiteral("A型纸"))),
      tsBStyle(new TTabSheet(pcSetupSize, this, QStringLiteral("tsBStyle"), QStringLiteral("B型纸"))),
      rgAStyle(new TRadioGroup(tsAStyle, this, QStringLiteral("rgAStyle"), SeriesItems(u'A'), 2)),
      rgBStyle(new TRadioGroup(tsBStyle, this, QStringLiteral("rgBStyle"), SeriesItems(u'B'), 2)),
      pnlAutoCheckFit(new TPanel(gbSetupSize, this, QStringLiteral("pnlAutoCheckFit"))),
      cbAutoCheckFit(new TCheckBox(pnlAutoCheckFit, this, QStringLiteral("cbAutoCheckFit"),
                                   QStringLiteral("自动选择最合适的尺寸"))),
      pnlOperate(new TPanel(pnlLeft, this, QStringLiteral("pnlOperate"))),
      btnStartDo(new TButton(pnlOperate, this, QStringLiteral("btnStartDo"), QStringLiteral("开始执行"))),
      pnlClient(new TPanel(this, this, QStringLiteral("pnlClient"))),
      lvFileList(new TListView(pnlClient, this, QStringLiteral("lvFileList"))),
      tmrMain(new TTimer(this, this, QStringLiteral("tmrMain"), 2000)),
      pnlProgress(new TPanel(pnlClient, this, QStringLiteral("pnlProgress"))),
      pbProgress(new TProgressBar(pnlProgress, this, QStringLiteral("pbProgress"))),
      lblProgress(new TLabel(pnlProgress, this, QStringLiteral("lblProgress"))),
      btnCancelRun(new TButton(pnlProgress, this, QStringLiteral("btnCancelRun"), QStringLiteral("取消"))),
      FBatchList(new TBatchItemList), FFileList(new TFileListModel(*FBatchList, this)),
      FRunner(new TBatchRunner(this)) {
  setWindowFlags(Qt::Window);
  SetCaption(QStringLiteral("PageTailor"));
  // Wider than the 729 x 481 of the design, so that the file names get room
  // beside the four fixed columns; the left column keeps its sizes.
  resize(Scaled(960), Scaled(480));
  auto *columns = new QHBoxLayout(this);
  columns->setContentsMargins(0, 0, 0, 0);
  columns->setSpacing(0);
  columns->addWidget(pnlLeft);
  columns->addWidget(pnlClient, 1);
  BuildLeftColumn();
  BuildFileList();
  BuildProgressPanel();
  DropDefaultButtons();
  ReadSettings();
  ConnectEvents();
}

TMainForm::~TMainForm() {
  // The list view outlives the batch list by a moment: it must no longer ask for rows.
  FFileList->SetRowCount(0);
}

void TMainForm::BuildLeftColumn() {
  pnlLeft->setFixedWidth(Scaled(265));
  auto *column = new QVBoxLayout(pnlLeft);
  column->setContentsMargins(Scaled(8), Scaled(8), Scaled(8), Scaled(8));
  column->setSpacing(0);
  gbSetupFolder->setFixedHeight(Scaled(73));
  pnlS1->setFixedHeight(Scaled(8));
  gbSetupSize->setFixedHeight(Scaled(295));
  pnlOperate->setFixedHeight(Scaled(52));
  for (QWidget *part : {static_cast<QWidget *>(gbSetupFolder), static_cast<QWidget *>(pnlS1),
                        static_cast<QWidget *>(gbSetupSize)})
    column->addWidget(part);
  column->addStretch(1);
  column->addWidget(pnlOperate);

  btnSource->setGeometry(Scaled(QRect(5, 16, 55, 19)));
  btnTarget->setGeometry(Scaled(QRect(5, 38, 55, 21)));
  edtSource->setGeometry(Scaled(QRect(64, 16, 121, 20)));
  edtTarget->setGeometry(Scaled(QRect(64, 40, 169, 20)));
  btnRefresh->setGeometry(Scaled(QRect(192, 16, 42, 19)));

  auto *sizeBox = new QVBoxLayout(gbSetupSize);
  sizeBox->setContentsMargins(Scaled(2), Scaled(16), Scaled(2), Scaled(2));
  sizeBox->setSpacing(0);
  sizeBox->addWidget(pcSetupSize, 1);
  sizeBox->addWidget(pnlAutoCheckFit);
  FillWith(tsAStyle, rgAStyle);
  FillWith(tsBStyle, rgBStyle);
  // Both start disabled; a group is enabled when its tab is active and the
  // automatic choice is off.
  rgAStyle->setEnabled(false);
  rgBStyle->setEnabled(false);
  pnlAutoCheckFit->setFixedHeight(Scaled(29));
  cbAutoCheckFit->setGeometry(Scaled(QRect(6, 6, 177, 17)));

  btnStartDo->setGeometry(Scaled(QRect(48, 6, 121, 43)));
  TFont startFont = Font();
  startFont.Height = -21;
  btnStartDo->setFont(startFont.ToQFont(UiScale()));
  for (TButton *button : {btnSource, btnTarget, btnRefresh, btnStartDo})
    button->SetTabStop(false);
}

void TMainForm::DropDefaultButtons() {
  for (QPushButton *button : findChildren<QPushButton *>()) {
    button->setAutoDefault(false);
    button->setDefault(false);
  }
}

void TMainForm::FitIntoScreen() {
  // The frame is known once the window exists; a window manager that adds it
  // later keeps the window on the screen itself.
  const QRect room = screen()->availableGeometry();
  const QSize frame = frameGeometry().size() - size();
  resize(size().boundedTo(room.size() - frame));
  QRect place = frameGeometry();
  place.moveCenter(room.center());
  move(place.topLeft());
}

void TMainForm::BuildFileList() {
  FillWith(pnlClient, lvFileList);
  // Long names and paths keep their start and their end; the tooltip has the whole text.
  lvFileList->setTextElideMode(Qt::ElideMiddle);
  lvFileList->setModel(FFileList);
  lvFileList->setSelectionMode(QAbstractItemView::ExtendedSelection);
  QHeaderView *header = lvFileList->header();
  header->setSectionResizeMode(TFileListModel::colFileName, QHeaderView::Stretch);
  // The modification time gets the width its longest text needs where 80
  // pixels would cut it off.
  const QString longestTime =
      FormatModifyTime(ToPackedDateTime(QDateTime(QDate(2000, 12, 28), QTime(23, 58, 58))));
  const int timeWidth = lvFileList->fontMetrics().horizontalAdvance(longestTime) + Scaled(16);
  const int widths[] = {0, Scaled(80), Scaled(120), std::max(Scaled(80), timeWidth), Scaled(120)};
  for (int column = TFileListModel::colFileSize; column < TFileListModel::ColumnCount; ++column) {
    header->setSectionResizeMode(column, QHeaderView::Interactive);
    header->resizeSection(column, widths[column]);
  }
}

void TMainForm::BuildProgressPanel() {
  auto *row = new QHBoxLayout(pnlProgress);
  row->setContentsMargins(0, Scaled(4), Scaled(4), Scaled(4));
  row->setSpacing(Scaled(6));
  pbProgress->setFixedWidth(Scaled(200));
  lblProgress->setTextFormat(Qt::PlainText);
  lblProgress->setMinimumWidth(Scaled(40));
  lblProgress->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  btnCancelRun->setFixedSize(Scaled(75), Scaled(25));
  row->addWidget(pbProgress);
  row->addWidget(lblProgress, 1);
  row->addWidget(btnCancelRun);
  pnlClient->layout()->addWidget(pnlProgress);
  pnlProgress->hide();
}

void TMainForm::ReadSettings() {
  edtSource->SetPath(AppInfo->SourcePath);
  edtTarget->SetPath(AppInfo->TargetPath);
  pcSetupSize->setCurrentIndex(AppInfo->SizeMode);
  rgAStyle->SetItemIndex(AppInfo->APaperSize);
  rgBStyle->SetItemIndex(AppInfo->BPaperSize);
  cbAutoCheckFit->setChecked(AppInfo->AutoCheckFit);
  UpdateSizeControls();
}

void TMainForm::ConnectEvents() {
  connect(tmrMain, &QTimer::timeout, this, Handler(&TMainForm::tmrMainTimer));
  connect(btnSource, &QPushButton::clicked, this, Handler(&TMainForm::btnSourceClick));
  connect(btnTarget, &QPushButton::clicked, this, Handler(&TMainForm::btnTargetClick));
  connect(btnRefresh, &QPushButton::clicked, this, Handler(&TMainForm::Refresh));
  connect(btnStartDo, &QPushButton::clicked, this, Handler(&TMainForm::btnStartDoClick));
  connect(btnCancelRun, &QPushButton::clicked, this, Handler(&TMainForm::btnCancelRunClick));
  connect(FRunner, &TBatchRunner::Progress, this, Handler(&TMainForm::RunProgress));
  connect(FRunner, &TBatchRunner::Finished, this, Handler(&TMainForm::RunFinished));
  connect(pcSetupSize, &QTabWidget::currentChanged, this, Handler(&TMainForm::pcSetupSizeChange));
  connect(cbAutoCheckFit, &QCheckBox::clicked, this, Handler(&TMainForm::cbAutoCheckFitClick));
  connect(rgAStyle, &TRadioGroup::Clicked, this, Handler(&TMainForm::rgAStyleClick));
  connect(rgBStyle, &TRadioGroup::Clicked, this, Handler(&TMainForm::rgBStyleClick));
}

void TMainForm::showEvent(QShowEvent *event) {
  TBaseForm::showEvent(event);
  if (!FPlaced) {
    FPlaced = true;
    FitIntoScreen();
  }
  tmrMain->start();
}

void TMainForm::keyPressEvent(QKeyEvent *event) {
  // Enter and Esc do nothing here, as in any main window: the dialog base
  // would press a default button or close the window.
  switch (event->key()) {
  case Qt::Key_Escape:
  case Qt::Key_Enter:
  case Qt::Key_Return:
    event->ignore();
    break;
  default:
    TBaseForm::keyPressEvent(event);
  }
}

void TMainForm::closeEvent(QCloseEvent *event) {
  // A run still going stops after the items in hand; nothing is reported.
  if (IsRunning()) {
    disconnect(FRunner, &TBatchRunner::Finished, this, nullptr);
    FRunner->Cancel();
    FRunner->Wait();
    ShowRunState(false);
  }
  TBaseForm::closeEvent(event);
}

void TMainForm::UpdateSizeControls() {
  if (AppInfo->SizeMode == smeAStyle)
    rgAStyle->setEnabled(!AppInfo->AutoCheckFit);
  else if (AppInfo->SizeMode == smeBStyle)
    rgBStyle->setEnabled(!AppInfo->AutoCheckFit);
}

void TMainForm::Refresh() {
  if (IsRunning())
    return; // the run reads the list; the next refresh comes after it
  BeginWaitCursor();
  try {
    if (QFileInfo(AppInfo->SourcePath).isDir()) {
      FBatchList->Clear();
      ScanFolder(*FBatchList, AppInfo->SourcePath);
      FFileList->SetRowCount(FBatchList->Count());
    }
  } catch (...) {
    EndWaitCursor();
    throw;
  }
  EndWaitCursor();
}

void TMainForm::tmrMainTimer() {
  tmrMain->stop();
  Refresh();
}

bool TMainForm::ChooseFolder(QString &path, TPathEdit *edit) {
  QString folder = path;
  if (!TVellSelectFolderDialog::Execute(folder, this))
    return false;
  path = TVellStr::IncludeTrailingChar(folder, u'/');
  edit->SetPath(path);
  return true;
}

void TMainForm::btnSourceClick() {
  if (ChooseFolder(AppInfo->SourcePath, edtSource))
    Refresh();
}

void TMainForm::btnTargetClick() {
  ChooseFolder(AppInfo->TargetPath, edtTarget);
}

void TMainForm::pcSetupSizeChange() {
  AppInfo->SizeMode = static_cast<TSizeModeEnum>(pcSetupSize->currentIndex());
  UpdateSizeControls();
}

void TMainForm::cbAutoCheckFitClick() {
  AppInfo->AutoCheckFit = cbAutoCheckFit->isChecked();
  UpdateSizeControls();
}

void TMainForm::rgAStyleClick(int index) {
  AppInfo->APaperSize = static_cast<TAPaperSizeEnum>(index);
}

void TMainForm::rgBStyleClick(int index) {
  AppInfo->BPaperSize = static_cast<TBPaperSizeEnum>(index);
}

void TMainForm::btnStartDoClick() {
  const TBatchSettings settings = TBatchSettings::From(*AppInfo);
  if (const TReason refusal = RunRefusal(settings); !refusal.IsNone())
    return ShowNotice(this, QStringLiteral("无法开始转换。\n") + ReasonText(refusal));
  if (FBatchList->Count() == 0)
    return ShowNotice(this, QStringLiteral("列表中没有要转换的图像。"));
  pbProgress->setRange(0, FBatchList->Count());
  pbProgress->setValue(0);
  lblProgress->setText(QStringLiteral("正在转换……"));
  ShowRunState(true);
  FRunner->Start(*FBatchList, settings, QThread::idealThreadCount());
}

void TMainForm::btnCancelRunClick() {
  FRunner->Cancel();
  btnCancelRun->setEnabled(false);
  lblProgress->setText(QStringLiteral("正在取消……"));
}

void TMainForm::ShowRunState(bool running) {
  pnlLeft->setEnabled(!running);
  pnlProgress->setVisible(running);
  btnCancelRun->setEnabled(running);
}

void TMainForm::RunProgress(int finished, int count, const QString &source) {
  if (!btnCancelRun->isEnabled())
    return; // cancelling: keep saying so
  pbProgress->setValue(finished);
  lblProgress->setText(
      QStringLiteral("%1 / %2  %3").arg(finished).arg(count).arg(QFileInfo(source).fileName()));
}

void TMainForm::RunFinished(const TBatchRunEnd &end) {
  ShowRunState(false);
  if (!end.Error.IsNone()) {
    // A refusal comes before any item; anything else stopped the run on its way.
    const QString lead = end.Error.Kind == TReasonKind::UnexpectedError ? QStringLiteral("转换中断。\n")
                                                                        : QStringLiteral("无法开始转换。\n");
    return ShowErrorMessage(this, lead + ReasonText(end.Error));
  }
  ShowSummary(end);
}

void TMainForm::ShowSummary(const TBatchRunEnd &end) {
  TRunSummaryForm(end, this).exec();
}
