// Renders the windows to PNG files on any platform (offscreen included), for
// the documentation: pt-screenshot OUTPUT_FOLDER SOURCE_FOLDER
// The main window is shown after a refresh on SOURCE_FOLDER; the folder
// dialog with a history of that folder; the summary of a run over
// SOURCE_FOLDER into a scratch folder. No settings or history file of the
// user is read or written.
#include "ui/MainFrm.h"
#include "ui/ProgramLanguage.h"
#include "ui/RunSummaryFrm.h"
#include "ui/VellDialogSelectFolder.h"

#include "app/AppInfo.h"
#include "imaging/VellGDIPOBJ.h"

#include "Common/VellLangMan.h"
#include "Common/VellTextFile.h"
#include "Common/VellUtils.h"

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>

namespace {

// Lets the window settle, then saves what it paints.
bool Render(QWidget &window, const QString &file) {
  QEventLoop settle;
  QTimer::singleShot(1500, &settle, &QEventLoop::quit);
  settle.exec();
  const bool saved = window.grab().save(file);
  std::printf("%s %s\n", saved ? "wrote" : "could not write", qPrintable(file));
  return saved;
}

QString FolderArgument(const char *argument) {
  return TVellStr::IncludeTrailingChar(QDir(QString::fromLocal8Bit(argument)).absolutePath(), u'/');
}

bool RenderMainWindow(const QString &output, const QString &source) {
  AppInfo->SourcePath = source;
  AppInfo->TargetPath = QDir::cleanPath(source + QStringLiteral("../sample-output")) + u'/';
  TMainForm form;
  form.show();
  form.Refresh();
  return Render(form, output + QStringLiteral("main-window.png"));
}

bool RenderFolderDialog(const QString &output, const QString &source) {
  QTemporaryDir history;
  SetHistoryFolder(history.path());
  TVellTextFile::WriteUtf16Lines(HistoryFilePath(), {source, QDir::homePath(), QDir::tempPath()});
  TVellSelectFolderDialog dialog;
  dialog.Prepare(source);
  dialog.show();
  bool ok = Render(dialog, output + QStringLiteral("folder-dialog.png"));
  dialog.pcSelectFolder->setCurrentWidget(dialog.tsHistory);
  dialog.lbHistory->setCurrentRow(0);
  ok = Render(dialog, output + QStringLiteral("folder-dialog-history.png")) && ok;
  SetHistoryFolder(QString());
  return ok;
}

// A real run over the scans (the sample scans hold a damaged one) into a
// scratch folder, and its summary over the main window.
bool RenderRunSummary(const QString &output, const QString &source) {
  QTemporaryDir scratch;
  AppInfo->SourcePath = source;
  AppInfo->TargetPath = scratch.path() + QStringLiteral("/输出/");
  TMainForm form;
  form.show();
  form.Refresh();
  TBatchRunEnd end;
  end.ItemCount = form.BatchList().Count();
  end.Outcome = ExecuteBatch(form.BatchList(), TBatchSettings::From(*AppInfo), {2, false});
  TRunSummaryForm summary(end, &form);
  summary.show();
  return Render(summary, output + QStringLiteral("run-summary.png"));
}

} // namespace

int main(int argc, char **argv) {
  QApplication app(argc, argv);
  UseProgramLanguage();
  if (argc != 3) {
    std::fprintf(stderr, "usage: pt-screenshot OUTPUT_FOLDER SOURCE_FOLDER\n");
    return 2;
  }
  const QString output = FolderArgument(argv[1]);
  const QString source = FolderArgument(argv[2]);
  QDir().mkpath(output);
  GlobalLangMan = std::make_unique<TVellLangMan>();
  AppInfo = new TAppInfo;
  VellGdiplusStartup();
  const bool ok = RenderMainWindow(output, source) && RenderFolderDialog(output, source) &&
                  RenderRunSummary(output, source);
  VellGdiplusShutdown();
  delete AppInfo;
  AppInfo = nullptr;
  return ok ? 0 : 1;
}
