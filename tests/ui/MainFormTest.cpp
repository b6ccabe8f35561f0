#include "ui/ImageHeader.h"
#include "ui/MainFrm.h"
#include "ui/RunSummaryFrm.h"
#include "ui/SettingsMessages.h"
#include "ui/VellDialogSelectFolder.h"

#include "app/AppInfo.h"
#include "app/SourceScan.h"
#include "imaging/VellGDIPOBJ.h"

#include "Common/VellLangMan.h"

#include "tests/support/TestFiles.h"
#include "tests/support/TestImages.h"
#include "tests/ui/UiTestSupport.h"

#include <QGuiApplication>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QScrollBar>
#include <QTest>

#include <gtest/gtest.h>

namespace {

// The user's texts are Chinese: no Latin letters beyond the file names taken
// out and the names Chinese keeps (XML, TIFF).
bool HasLatinLetters(QString text) {
  text.remove(QStringLiteral("XML")).remove(QStringLiteral("TIFF"));
  return text.contains(QRegularExpression(QStringLiteral("[A-Za-z]")));
}

class MainForm : public ::testing::Test {
protected:
  // The window reads image headers through the imaging service, which the
  // program starts with its settings.
  static void SetUpTestSuite() { VellGdiplusStartup(); }
  static void TearDownTestSuite() { VellGdiplusShutdown(); }
  void SetUp() override {
    SetHistoryFolder(Settings.Path());
    AppInfo = new TAppInfo;
  }
  void TearDown() override {
    delete AppInfo;
    AppInfo = nullptr;
    SetHistoryFolder(QString());
  }
  // A source tree of two scans, one in a subfolder.
  QString MakeSources() const {
    WriteGreyTiff(Sources.File(QStringLiteral("a.tif")), 30, 40, 100);
    WriteGreyTiff(Sources.File(QStringLiteral("sub/b.TIFF")), 50, 20, 100);
    Sources.Write(QStringLiteral("notes.txt"), "not a scan");
    return Sources.Path();
  }
  // Answers the folder dialog with folder, or cancels it when folder is empty.
  void AnswerFolderDialog(const QString &folder) {
    Watcher.OnWindow = [folder](QWidget *window) {
      auto *dialog = qobject_cast<TVellSelectFolderDialog *>(window);
      ASSERT_NE(dialog, nullptr);
      if (folder.isEmpty())
        return dialog->btnCancel->click();
      dialog->edtCurrentSelect->setText(folder);
      dialog->btnOk->click();
    };
  }
  static QStringList Row(const TMainForm &form, int row) {
    QStringList texts;
    for (int column = 0; column < form.FileList().columnCount(); ++column)
      texts.append(form.FileList().index(row, column).data().toString());
    return texts;
  }

  TTestDir Settings;
  TTestDir Sources;
  TModalWatcher Watcher;
};

TEST_F(MainForm, FirstStartShowsTheDefaultsAndListsNothingAfterTwoSeconds) {
  TMainForm form;
  EXPECT_EQ(form.windowTitle(), QStringLiteral("PageTailor"));
  EXPECT_EQ(form.pcSetupSize->currentWidget(), form.tsAStyle);
  EXPECT_EQ(form.rgAStyle->ItemIndex(), 4);
  EXPECT_EQ(form.rgBStyle->ItemIndex(), 4);
  EXPECT_EQ(form.rgAStyle->Item(4)->text(), QStringLiteral("A4"));
  EXPECT_TRUE(form.cbAutoCheckFit->isChecked());
  EXPECT_FALSE(form.rgAStyle->isEnabled());
  EXPECT_TRUE(form.edtSource->Path().isEmpty());
  EXPECT_TRUE(form.edtSource->isReadOnly());
  EXPECT_FALSE(form.tmrMain->isActive()) << "the timer starts when the window is shown";
  form.show();
  EXPECT_TRUE(form.tmrMain->isActive());
  EXPECT_EQ(form.tmrMain->interval(), 2000);
  ProcessEventsFor(2300);
  EXPECT_FALSE(form.tmrMain->isActive()) << "it fires once";
  EXPECT_EQ(form.FileList().rowCount(), 0);
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
  EXPECT_TRUE(Watcher.Messages.isEmpty());
}

TEST_F(MainForm, FirstRefreshListsTheStoredSourceFolder) {
  AppInfo->SourcePath = MakeSources();
  TTiffSpec threePages;
  threePages.Width = 60;
  threePages.Height = 80;
  threePages.Pages = 3;
  WriteTiff(Sources.File(QStringLiteral("sub/pages.tif")), threePages);
  TMainForm form;
  form.show();
  EXPECT_EQ(form.FileList().rowCount(), 0);
  ProcessEventsFor(2300);
  ASSERT_EQ(form.FileList().rowCount(), 3);
  EXPECT_EQ(form.FileList().headerData(2, Qt::Horizontal, Qt::DisplayRole).toString(),
            QStringLiteral("图像尺寸"));
  const QStringList first = Row(form, 0);
  EXPECT_EQ(first.mid(0, 3),
            (QStringList{QStringLiteral("a.tif"), QString::number(QFileInfo(Sources.Path() + "a.tif").size()),
                         QStringLiteral("30 × 40")}));
  EXPECT_EQ(first[4], Sources.Path());
  EXPECT_EQ(Row(form, 1)[2], QStringLiteral("50 × 20"));
  EXPECT_EQ(Row(form, 1)[4], Sources.Path() + QStringLiteral("sub/"));
  EXPECT_EQ(Row(form, 2)[2], QStringLiteral("60 × 80（3 页）"));
}

TEST_F(MainForm, CreationShowsTheStoredSettings) {
  AppInfo->SizeMode = smeBStyle;
  AppInfo->APaperSize = pseA2;
  AppInfo->BPaperSize = pseB1;
  AppInfo->AutoCheckFit = false;
  AppInfo->SourcePath = QStringLiteral("/in/");
  AppInfo->TargetPath = QStringLiteral("/out/");
  TMainForm form;
  EXPECT_EQ(form.pcSetupSize->currentWidget(), form.tsBStyle);
  EXPECT_EQ(form.rgAStyle->ItemIndex(), 2);
  EXPECT_EQ(form.rgBStyle->ItemIndex(), 1);
  EXPECT_FALSE(form.cbAutoCheckFit->isChecked());
  EXPECT_TRUE(form.rgBStyle->isEnabled());
  EXPECT_EQ(form.edtSource->Path(), QStringLiteral("/in/"));
  EXPECT_EQ(form.edtSource->text(), QStringLiteral("/in/")) << "a short path is shown whole";
  EXPECT_EQ(form.edtTarget->Path(), QStringLiteral("/out/"));
  EXPECT_EQ(AppInfo->SizeMode, smeBStyle) << "reading the settings writes nothing back";
}

TEST_F(MainForm, SizeControlsFollowTheTickAndTheTab) {
  TMainForm form;
  form.show();
  form.cbAutoCheckFit->click();
  EXPECT_FALSE(AppInfo->AutoCheckFit);
  EXPECT_TRUE(form.rgAStyle->isEnabled());
  EXPECT_FALSE(form.rgBStyle->isEnabled()) << "the hidden tab keeps its state";
  form.pcSetupSize->setCurrentWidget(form.tsBStyle);
  EXPECT_EQ(AppInfo->SizeMode, smeBStyle);
  EXPECT_TRUE(form.rgBStyle->isEnabled()) << "the tab change updates the size controls";
  form.cbAutoCheckFit->click();
  EXPECT_TRUE(AppInfo->AutoCheckFit);
  EXPECT_FALSE(form.rgBStyle->isEnabled());
  EXPECT_TRUE(form.rgAStyle->isEnabled());
  form.pcSetupSize->setCurrentWidget(form.tsAStyle);
  EXPECT_EQ(AppInfo->SizeMode, smeAStyle);
  EXPECT_FALSE(form.rgAStyle->isEnabled());
}

TEST_F(MainForm, ChosenPaperSizesGoIntoTheSettings) {
  AppInfo->AutoCheckFit = false;
  TMainForm form;
  form.show();
  form.rgAStyle->Item(3)->click();
  EXPECT_EQ(AppInfo->APaperSize, pseA3);
  form.pcSetupSize->setCurrentWidget(form.tsBStyle);
  form.rgBStyle->Item(0)->click();
  EXPECT_EQ(AppInfo->BPaperSize, pseB0);
  EXPECT_EQ(AppInfo->APaperSize, pseA3);
}

TEST_F(MainForm, AConfirmedSourceFolderRefreshesAndACancelledOneChangesNothing) {
  const QString sources = MakeSources();
  TMainForm form;
  form.show();
  AnswerFolderDialog(sources.chopped(1)); // the dialog returns it without "/"
  form.btnSource->click();
  EXPECT_EQ(AppInfo->SourcePath, sources);
  EXPECT_EQ(form.edtSource->Path(), sources);
  EXPECT_EQ(form.FileList().rowCount(), 2) << "refreshed at once";

  AnswerFolderDialog(QString());
  form.btnSource->click();
  form.btnTarget->click();
  EXPECT_EQ(AppInfo->SourcePath, sources);
  EXPECT_TRUE(AppInfo->TargetPath.isEmpty());
  EXPECT_EQ(form.FileList().rowCount(), 2);

  WriteGreyTiff(Sources.File(QStringLiteral("c.tif")), 10, 10, 100);
  TTestDir output;
  AnswerFolderDialog(output.Path());
  form.btnTarget->click();
  EXPECT_EQ(AppInfo->TargetPath, output.Path());
  EXPECT_EQ(form.edtTarget->Path(), output.Path());
  EXPECT_EQ(form.FileList().rowCount(), 2) << "a new output folder does not refresh";
  form.btnRefresh->click();
  EXPECT_EQ(form.FileList().rowCount(), 3);

  AppInfo->SourcePath = Sources.Path() + QStringLiteral("gone/");
  form.btnRefresh->click();
  EXPECT_EQ(form.FileList().rowCount(), 3) << "a missing source folder keeps the rows";
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
  EXPECT_TRUE(Watcher.Messages.isEmpty());
}

TEST_F(MainForm, EnterAndEscPressNoButtonAndChangeNothing) {
  const QString sources = MakeSources();
  AppInfo->SourcePath = sources;
  int dialogs = 0;
  Watcher.OnWindow = [&dialogs](QWidget *window) {
    ++dialogs;
    qobject_cast<QDialog *>(window)->reject();
  };
  TMainForm form;
  form.show();
  form.Refresh();
  // The folder button once, cancelled: in a dialog it would now be the default button.
  QTest::mouseClick(form.btnSource, Qt::LeftButton);
  ASSERT_EQ(dialogs, 1);
  form.lvFileList->setCurrentIndex(form.FileList().index(1, 0));
  for (QWidget *target : {static_cast<QWidget *>(form.lvFileList), static_cast<QWidget *>(form.btnSource),
                          static_cast<QWidget *>(&form)})
    for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) {
      QTest::keyClick(target, key);
      ProcessEventsFor(20);
    }
  EXPECT_EQ(dialogs, 1) << "no dialog opened";
  EXPECT_EQ(AppInfo->SourcePath, sources);
  EXPECT_TRUE(AppInfo->TargetPath.isEmpty());
  EXPECT_EQ(form.FileList().rowCount(), 2);
  EXPECT_TRUE(form.isVisible());
  EXPECT_FALSE(form.IsRunning());
  for (const QPushButton *button : form.findChildren<QPushButton *>())
    EXPECT_FALSE(button->isDefault() || button->autoDefault()) << button->objectName().toStdString();
}

TEST_F(MainForm, LongPathsShowTheirStartAndEndAndTheWholePathAsTooltip) {
  const QString folders = QStringLiteral("很长的文件夹名称/").repeated(8) + QStringLiteral("末尾/");
  WriteGreyTiff(Sources.File(folders + QStringLiteral("a.tif")), 10, 10, 100);
  const QString deep = Sources.Path() + folders;
  AppInfo->SourcePath = deep;
  AppInfo->TargetPath = deep + QStringLiteral("输出/");
  TMainForm form;
  form.show();
  form.Refresh();
  for (const TPathEdit *edit : {form.edtSource, form.edtTarget}) {
    const QString shown = edit->text();
    EXPECT_EQ(edit->toolTip(), edit->Path());
    EXPECT_TRUE(shown.contains(QChar(0x2026))) << shown.toStdString();
    EXPECT_TRUE(shown.startsWith(edit->Path().left(4))) << shown.toStdString();
    EXPECT_TRUE(shown.endsWith(edit->Path().right(3))) << shown.toStdString();
    EXPECT_LE(edit->fontMetrics().horizontalAdvance(shown), edit->width()) << shown.toStdString();
  }
  EXPECT_EQ(form.edtTarget->Path(), deep + QStringLiteral("输出/"));
  ASSERT_EQ(form.FileList().rowCount(), 1);
  EXPECT_EQ(form.lvFileList->textElideMode(), Qt::ElideMiddle);
  const QModelIndex path = form.FileList().index(0, TFileListModel::colFilePath);
  EXPECT_EQ(path.data(Qt::ToolTipRole).toString(), deep);
  EXPECT_TRUE(form.FileList().index(0, TFileListModel::colFileSize).data(Qt::ToolTipRole).isNull());
}

TEST_F(MainForm, TheFolderDialogOpensCentredOnTheWindow) {
  TMainForm form;
  form.resize(500, 460);
  form.move(30, 20);
  form.show();
  QRect dialog;
  Watcher.OnWindow = [&dialog](QWidget *window) {
    dialog = window->frameGeometry();
    qobject_cast<QDialog *>(window)->reject();
  };
  form.btnTarget->click();
  ASSERT_FALSE(dialog.isNull());
  EXPECT_LE((dialog.center() - form.frameGeometry().center()).manhattanLength(), 2)
      << dialog.x() << "," << dialog.y() << " over " << form.x() << "," << form.y();
}

TEST(ModifyTime, FollowsTheLocale) {
  const TDateTime time = ToPackedDateTime(QDateTime(QDate(2026, 12, 10), QTime(16, 33, 42)));
  const TDateTime midnight = ToPackedDateTime(QDateTime(QDate(2026, 12, 10), QTime(0, 0)));
  EXPECT_EQ(FormatModifyTime(time), QStringLiteral("2026-12-10 16:33:42")) << "the program's locale";
  EXPECT_EQ(FormatModifyTime(midnight), QStringLiteral("2026-12-10"));
  const QLocale program;
  QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
  const QString american = FormatModifyTime(time);
  QLocale::setDefault(program);
  EXPECT_TRUE(american.startsWith(QStringLiteral("12/10/26 4:33:42"))) << american.toStdString();
}

TEST(ProgramLanguage, QtsOwnButtonsSpeakChinese) {
  QMessageBox box(QMessageBox::Warning, QStringLiteral("PageTailor"), QStringLiteral("文本"),
                  QMessageBox::Ok);
  box.setDetailedText(QStringLiteral("细节"));
  EXPECT_EQ(box.button(QMessageBox::Ok)->text(), QStringLiteral("确定"));
  for (const QAbstractButton *button : box.buttons())
    EXPECT_FALSE(HasLatinLetters(button->text())) << button->text().toStdString();
}

TEST_F(MainForm, ALanguageFileTranslatesAlongOwnership) {
  TTestDir dir;
  GlobalLangMan = std::make_unique<TVellLangMan>(dir.Write(
      QStringLiteral("en.ini"), "[TMainForm]\nCaption=Page tailor\nbtnSource.Caption=Source\n"
                                "gbSetupFolder.btnTarget.Caption=nested\nbtnRefresh.Name=renamed\n"
                                "tsBStyle.Caption=B series\nFont=Arial;clBlack;-12;0;9;[fsItalic]\n"));
  {
    TMainForm form;
    form.show();
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Page tailor"));
    EXPECT_EQ(form.btnSource->text(), QStringLiteral("Source"));
    EXPECT_EQ(form.btnTarget->text(), QStringLiteral("输出目录"));
    EXPECT_EQ(form.btnRefresh->objectName(), QStringLiteral("btnRefresh"));
    EXPECT_EQ(form.pcSetupSize->tabText(1), QStringLiteral("B series"));
    EXPECT_TRUE(form.btnSource->font().italic());
    EXPECT_EQ(form.Font().Size(), 9);
  }
  GlobalLangMan.reset();
}

} // namespace

namespace {

class MainFormRun : public MainForm {
protected:
  // Starts the run from the window and waits for its end.
  static void RunAndWait(TMainForm &form) {
    form.btnStartDo->click();
    for (int waited = 0; form.IsRunning() && waited < 20000; waited += 20)
      ProcessEventsFor(20);
    ASSERT_FALSE(form.IsRunning());
    ProcessEventsFor(50); // the summary box
  }
  TTestDir Output;
};

TEST_F(MainFormRun, ARunWritesThePagesAndSumsUpWithEveryFailureInChinese) {
  AppInfo->SourcePath = MakeSources();
  AppInfo->TargetPath = Output.Path();
  AppInfo->AutoCheckFit = false;
  AppInfo->APaperSize = pseA3;
  const QString corrupt = Sources.Write(QStringLiteral("sub/corrupt.tif"), "II*\0garbage");
  TMainForm form;
  form.show();
  form.Refresh();
  ASSERT_EQ(form.FileList().rowCount(), 3);
  RunAndWait(form);
  EXPECT_EQ(ReadImageSize(Output.Path() + QStringLiteral("a.tif")), QSize(1169, 1654)) << "A3 at 100 dpi";
  EXPECT_EQ(ReadImageSize(Output.Path() + QStringLiteral("sub/b.TIFF")), QSize(1654, 1169)) << "landscape";
  EXPECT_FALSE(QFileInfo::exists(Output.Path() + QStringLiteral("sub/corrupt.tif")));
  ASSERT_EQ(Watcher.Messages.size(), 1);
  EXPECT_EQ(Watcher.Messages[0], QStringLiteral("转换完成：共 3 个文件。\n放到新页面上：2\n原样写出：0\n"
                                                "跳过（文件已不存在）：0\n失败：1"));
  // The failed file named once, its reason in Chinese only.
  const QString failures = Watcher.Failures.value(0);
  EXPECT_EQ(failures.count(QStringLiteral("corrupt.tif")), 1) << failures.toStdString();
  EXPECT_TRUE(failures.startsWith(corrupt + QStringLiteral("：无法读取图像："))) << failures.toStdString();
  EXPECT_FALSE(HasLatinLetters(QString(failures).remove(corrupt))) << failures.toStdString();
  EXPECT_TRUE(form.pnlLeft->isEnabled());
  EXPECT_FALSE(form.pnlProgress->isVisible());
  EXPECT_EQ(form.pbProgress->value(), 3);
}

TEST_F(MainFormRun, ARefusedRunSaysWhyInChineseAndWritesNothing) {
  const QString sources = MakeSources();
  const struct {
    QString Source, Target;
    QString Reason;
  } cases[] = {
      {sources, QString(), QStringLiteral("尚未设置输出目录。")},
      {QString(), Output.Path(), QStringLiteral("尚未设置源目录。")},
      {sources, sources, QStringLiteral("输出目录就是源目录：输出的图像会替换原来的扫描图像。")},
      {sources, sources + QStringLiteral("out/"),
       QStringLiteral("输出目录位于源目录之内：输出的图像会和扫描图像混在一起。")},
  };
  for (const auto &c : cases) {
    AppInfo->SourcePath = c.Source;
    AppInfo->TargetPath = c.Target;
    TMainForm form;
    form.show();
    form.Refresh();
    Watcher.Messages.clear();
    form.btnStartDo->click();
    EXPECT_FALSE(form.IsRunning());
    ASSERT_EQ(Watcher.Messages.size(), 1);
    EXPECT_EQ(Watcher.Messages[0], QStringLiteral("无法开始转换。\n") + c.Reason);
  }
  EXPECT_FALSE(QFileInfo::exists(sources + QStringLiteral("out")));
}

TEST(RunSummary, CountsEveryOutcomeAndListsEveryFailureOnceInAListThatScrolls) {
  TBatchRunEnd end;
  end.ItemCount = 300;
  end.Outcome.Cancelled = true;
  for (int i = 0; i < 250; ++i) {
    TBatchResult result;
    result.Action = i < 2 ? TBatchAction::Paged : i < 3 ? TBatchAction::Skipped : TBatchAction::Failed;
    result.Source = QStringLiteral("/in/%1.tif").arg(i);
    result.Target = QStringLiteral("/out/%1.tif").arg(i);
    result.Error =
        TReason(TReasonKind::CannotWriteTarget, {result.Target, QStringLiteral("disk full")}, Win32Error);
    end.Outcome.Results.append(result);
  }
  EXPECT_EQ(RunSummaryText(end), QStringLiteral("转换已取消：完成 250 / 300 个文件。\n放到新页面上：2\n"
                                                "原样写出：0\n跳过（文件已不存在）：1\n失败：247"));
  const QStringList lines = RunFailureLines(end.Outcome);
  ASSERT_EQ(lines.size(), 247);
  EXPECT_EQ(lines.last(), QStringLiteral("/in/249.tif：无法写入输出文件：系统错误"));

  QWidget owner;
  owner.resize(400, 300);
  owner.show();
  TRunSummaryForm summary(end, &owner);
  summary.show();
  ASSERT_NE(summary.memFailures, nullptr);
  EXPECT_EQ(summary.memFailures->toPlainText(), lines.join(u'\n'));
  EXPECT_GT(summary.memFailures->verticalScrollBar()->maximum(), 0) << "the list scrolls";
  const QRect screen = summary.screen()->availableGeometry();
  EXPECT_TRUE(screen.contains(summary.frameGeometry())) << "the box stays inside the screen";
}

} // namespace

namespace {

TEST(SettingsMessages, AMalformedOrUnsavableSettingsFileIsReportedInAMessageBox) {
  TTestDir dir;
  const QString file = dir.Write(QStringLiteral("AppInfo.dat"), "<TAppInfo SizeMode=");
  TModalWatcher watcher;
  ReportSettingsSaveFailuresInMessageBoxes();
  {
    TAppInfo settings(file);
    AppInfo = &settings;
    ReportSettingsLoadProblem();
    AppInfo = nullptr;
    ASSERT_EQ(watcher.Messages.size(), 1);
    const QString problem = watcher.Messages[0];
    EXPECT_TRUE(problem.startsWith(QStringLiteral("无法读取设置文件“%1”：").arg(file)))
        << problem.toStdString();
    EXPECT_TRUE(problem.endsWith(QStringLiteral("现使用默认设置；原文件已保留为“%1.bad”。").arg(file)));
    EXPECT_FALSE(HasLatinLetters(QString(problem).remove(file + QStringLiteral(".bad")).remove(file)))
        << problem.toStdString();
    EXPECT_EQ(settings.SizeMode, smeAStyle);
    QFile::remove(file);
    QDir().mkpath(file); // a folder in the way: the save at the end fails
  }
  SetSettingsReporter({});
  ASSERT_EQ(watcher.Messages.size(), 2);
  const QString failure = watcher.Messages[1];
  EXPECT_TRUE(failure.startsWith(QStringLiteral("无法把设置保存到“%1”：").arg(file)))
      << failure.toStdString();
  EXPECT_FALSE(HasLatinLetters(QString(failure).remove(file))) << failure.toStdString();
}

} // namespace
