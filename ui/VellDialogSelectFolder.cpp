#include "ui/VellDialogSelectFolder.h"

#include "app/Reasons.h"
#include "app/SettingsFolder.h"

#include "Common/VellTextFile.h"
#include "Common/VellUtils.h"

#include <QDir>
#include <QFileInfo>
#include <QSignalBlocker>
#include <QStyle>
#include <QVBoxLayout>

#include <cerrno>
#include <memory>
#include <sys/stat.h>

namespace {

QString &HistoryFolderOverride() {
  static QString folder;
  return folder;
}

// Why a folder could not be created, from the system's error number, in
// Chinese: in the words of the dialog where they say more than the system's.
QString CreateFolderFailure(int error) {
  switch (error) {
  case ENOENT:
    return QStringLiteral("上一级文件夹不存在。");
  case EEXIST:
    return QStringLiteral("已有同名的文件。");
  case EACCES:
  case EPERM:
    return QStringLiteral("没有在上一级文件夹中创建文件夹的权限。");
  default:
    return SystemErrorText(error, TLanguage::Chinese) + QStringLiteral("。");
  }
}

// Creates one folder level; why not in Chinese when that fails.
QString CreateFolder(const QString &path) {
  if (::mkdir(QFile::encodeName(path).constData(), 0777) == 0)
    return {};
  return CreateFolderFailure(errno);
}

} // namespace

QString HistoryFilePath() {
  const QString folder = HistoryFolderOverride();
  return (folder.isEmpty() ? SettingsFolder() : TVellStr::IncludeTrailingChar(folder, u'/')) +
         QStringLiteral("HistoryPath.xml");
}

void SetHistoryFolder(const QString &folder) {
  HistoryFolderOverride() = folder;
}

VELL_IMPLEMENT_CLASS(TVellSelectFolderDialog, TDialogOkBaseForm)

TVellSelectFolderDialog::TVellSelectFolderDialog(QWidget *parent)
    : TDialogOkBaseForm(QStringLiteral("VellSelectFolderDialog"), parent),
      pcSelectFolder(new TPageControl(pnlBackClient, this, QStringLiteral("pcSelectFolder"))),
      tsFolder(new TTabSheet(pcSelectFolder, this, QStringLiteral("tsFolder"), QStringLiteral("文件夹"))),
      tsHistory(new TTabSheet(pcSelectFolder, this, QStringLiteral("tsHistory"), QStringLiteral("历史"))),
      stFolder(new TShellTreeView(tsFolder, this, QStringLiteral("stFolder"))),
      lbHistory(new TListBox(tsHistory, this, QStringLiteral("lbHistory"))),
      bbDeleteHistory(new TButton(pcSelectFolder, this, QStringLiteral("bbDeleteHistory"), QString())),
      pnlBottom(new TPanel(pnlBackClient, this, QStringLiteral("pnlBottom"))),
      edtCurrentSelect(new TEdit(pnlBottom, this, QStringLiteral("edtCurrentSelect"))),
      btnCreateFolder(new TButton(pnlBottom, this, QStringLiteral("btnCreateFolder"),
                                  QStringLiteral("新建文件夹（&M）"))) {
  SetCaption(QStringLiteral("选择一个文件夹"));
  SetClientSize(504, 449);

  auto *client = new QVBoxLayout(pnlBackClient);
  client->setContentsMargins(pnlBackClient->contentsMargins());
  pnlBackClient->setContentsMargins(0, 0, 0, 0);
  client->setSpacing(0);
  client->addWidget(pcSelectFolder, 1);
  client->addWidget(pnlBottom);
  pnlBottom->setFixedHeight(Scaled(26));
  edtCurrentSelect->setGeometry(Scaled(QRect(3, 2, 377, 20)));
  btnCreateFolder->setGeometry(Scaled(QRect(386, 1, 99, 23)));

  FillWith(tsFolder, stFolder);
  FillWith(tsHistory, lbHistory);
  pcSelectFolder->setCurrentWidget(tsFolder);
  bbDeleteHistory->setIcon(style()->standardIcon(QStyle::SP_TrashIcon));
  bbDeleteHistory->setFixedWidth(Scaled(25));
  bbDeleteHistory->SetHint(QStringLiteral("删除选中的历史记录"));
  pcSelectFolder->setCornerWidget(bbDeleteHistory, Qt::TopRightCorner);
  bbDeleteHistory->hide();

  disconnect(btnOk, &QPushButton::clicked, this, &QDialog::accept);
  connect(btnOk, &QPushButton::clicked, this, Handler(&TVellSelectFolderDialog::btnOkClick));
  connect(stFolder, &TShellTreeView::SelectionChanged, this,
          Handler(&TVellSelectFolderDialog::stFolderChange));
  connect(lbHistory, &QListWidget::itemSelectionChanged, this,
          Handler(&TVellSelectFolderDialog::lbHistoryClick));
  connect(pcSelectFolder, &QTabWidget::currentChanged, this,
          Handler(&TVellSelectFolderDialog::pcSelectFolderChange));
  connect(bbDeleteHistory, &QPushButton::clicked, this,
          Handler(&TVellSelectFolderDialog::bbDeleteHistoryClick));
  connect(btnCreateFolder, &QPushButton::clicked, this,
          Handler(&TVellSelectFolderDialog::btnCreateFolderClick));

  Guarded(this, [this] { LoadHistory(); });
}

TVellSelectFolderDialog::~TVellSelectFolderDialog() {
  Guarded(this, [this] { SaveHistory(); });
}

bool TVellSelectFolderDialog::Execute(QString &folder, QWidget *owner) {
  const auto dialog = std::make_unique<TVellSelectFolderDialog>(owner);
  dialog->Prepare(folder);
  if (dialog->exec() != QDialog::Accepted)
    return false;
  folder = dialog->edtCurrentSelect->text();
  return true;
}

void TVellSelectFolderDialog::Prepare(const QString &initialFolder) {
  for (int row = lbHistory->count() - 1; row >= 0; --row)
    if (!QFileInfo(lbHistory->item(row)->text()).isDir())
      delete lbHistory->takeItem(row);
  if (!initialFolder.isEmpty())
    stFolder->SelectPath(initialFolder);
  else if (lbHistory->count() > 0)
    stFolder->SelectPath(lbHistory->item(0)->text());
  bbDeleteHistory->setEnabled(lbHistory->count() > 0);
}

QStringList TVellSelectFolderDialog::History() const {
  QStringList entries;
  for (int row = 0; row < lbHistory->count(); ++row)
    entries.append(lbHistory->item(row)->text());
  return entries;
}

bool TVellSelectFolderDialog::Refuse(const QString &text) {
  ShowNotice(this, text);
  edtCurrentSelect->setFocus();
  return false;
}

bool TVellSelectFolderDialog::ValidateSelection() {
  const QString folder = edtCurrentSelect->text();
  if (folder.isEmpty())
    return Refuse(QStringLiteral("请输入或选择文件夹！"));
  if (QFileInfo(folder).isDir())
    return true;
  if (QDir::isRelativePath(folder))
    return Refuse(QStringLiteral("“%1”不是完整的文件夹路径。").arg(folder));
  const QString reason = CreateFolder(folder);
  if (!reason.isEmpty())
    return Refuse(QStringLiteral("无法创建文件夹“%1”：%2").arg(folder, reason));
  return true;
}

void TVellSelectFolderDialog::LoadHistory() {
  const QString file = HistoryFilePath();
  if (!QFileInfo::exists(file))
    return;
  const QStringList entries = TVellTextFile::ReadLines(file);
  lbHistory->clear();
  for (const QString &entry : entries)
    InsertHistoryRow(lbHistory->count(), entry);
}

void TVellSelectFolderDialog::InsertHistoryRow(int row, const QString &folder) {
  auto *item = new QListWidgetItem(folder);
  // 12-pixel rows, or the font's line where that is taller.
  item->setSizeHint(QSize(0, std::max(Scaled(12), lbHistory->fontMetrics().height())));
  lbHistory->insertItem(row, item);
}

void TVellSelectFolderDialog::SaveHistory() const {
  const QString file = HistoryFilePath();
  QDir().mkpath(QFileInfo(file).path()); // the settings folder may not exist yet
  TVellTextFile::WriteUtf16Lines(file, History());
}

void TVellSelectFolderDialog::SelectHistoryRow(int row) {
  const QSignalBlocker quiet(lbHistory);
  lbHistory->setCurrentRow(row);
}

void TVellSelectFolderDialog::stFolderChange() {
  edtCurrentSelect->setText(stFolder->SelectedPath());
}

void TVellSelectFolderDialog::lbHistoryClick() {
  if (const QListWidgetItem *row = lbHistory->currentItem(); row && row->isSelected())
    edtCurrentSelect->setText(row->text());
}

void TVellSelectFolderDialog::pcSelectFolderChange() {
  bbDeleteHistory->setVisible(pcSelectFolder->currentWidget() == tsHistory);
}

void TVellSelectFolderDialog::bbDeleteHistoryClick() {
  const int row = lbHistory->currentRow();
  if (row < 0 || !lbHistory->item(row)->isSelected())
    return;
  {
    const QSignalBlocker quiet(lbHistory);
    delete lbHistory->takeItem(row);
    lbHistory->clearSelection();
  }
  if (lbHistory->count() == 0)
    bbDeleteHistory->setEnabled(false);
}

void TVellSelectFolderDialog::btnCreateFolderClick() {
  if (ValidateSelection())
    stFolder->SelectPath(edtCurrentSelect->text());
}

void TVellSelectFolderDialog::btnOkClick() {
  if (!ValidateSelection())
    return;
  const QString folder = edtCurrentSelect->text();
  if (TVellStr::IndexOfText(folder, History(), false) < 0)
    InsertHistoryRow(0, folder);
  if (lbHistory->count() > 0)
    SelectHistoryRow(0);
  accept();
}
