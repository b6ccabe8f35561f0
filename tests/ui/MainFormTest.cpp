#include "ui/ImageHeader.h"
#include "ui/MainFrm.h"
#include "ui/SettingsMessages.h"
#include "ui/VellDialogSelectFolder.h"

#include "app/AppInfo.h"
#include "imaging/VellGDIPOBJ.h"

#include "Common/VellLangMan.h"

#include "tests/support/TestFiles.h"
#include "tests/ui/UiTestSupport.h"

#include <QGuiApplication>
#include <QTest>

#include <gtest/gtest.h>

namespace {

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
  EXPECT_TRUE(form.edtSource->text().isEmpty());
  EXPECT_FALSE(form.edtSource->isEnabled());
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
  TMainForm form;
  form.show();
  EXPECT_EQ(form.FileList().rowCount(), 0);
  ProcessEventsFor(2300);
  ASSERT_EQ(form.FileList().rowCount(), 2);
  EXPECT_EQ(form.FileList().headerData(2, Qt::Horizontal, Qt::DisplayRole).toString(),
            QStringLiteral("图像尺寸"));
  const QStringList first = Row(form, 0);
  EXPECT_EQ(first.mid(0, 3),
            (QStringList{QStringLiteral("a.tif"), QString::number(QFileInfo(Sources.Path() + "a.tif").size()),
                         QStringLiteral("30 × 40")}));
  EXPECT_EQ(first[4], Sources.Path());
  EXPECT_EQ(Row(form, 1)[2], QStringLiteral("50 × 20"));
  EXPECT_EQ(Row(form, 1)[4], Sources.Path() + QStringLiteral("sub/"));
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
  EXPECT_EQ(form.edtSource->text(), QStringLiteral("/in/"));
  EXPECT_EQ(form.edtTarget->text(), QStringLiteral("/out/"));
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
  EXPECT_EQ(form.edtSource->text(), sources);
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
  EXPECT_EQ(form.edtTarget->text(), output.Path());
  EXPECT_EQ(form.FileList().rowCount(), 2) << "a new output folder does not refresh";
  form.btnRefresh->click();
  EXPECT_EQ(form.FileList().rowCount(), 3);

  AppInfo->SourcePath = Sources.Path() + QStringLiteral("gone/");
  form.btnRefresh->click();
  EXPECT_EQ(form.FileList().rowCount(), 3) << "a missing source folder keeps the rows";
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
  EXPECT_TRUE(Watcher.Messages.isEmpty());
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

TEST_F(MainFormRun, ARunWritesThePagesAndSumsUpWithEveryFailure) {
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
  const QString summary = Watcher.Messages[0];
  EXPECT_TRUE(summary.startsWith(QStringLiteral("转换完成：共 3 个文件。\n放到新页面上：2\n原样写出：0\n"
                                                "跳过（文件已不存在）：0\n失败：1\n\n失败的文件：\n") +
                                 corrupt + QStringLiteral("：")))
      << summary.toStdString();
  EXPECT_TRUE(form.pnlLeft->isEnabled());
  EXPECT_FALSE(form.pnlProgress->isVisible());
  EXPECT_EQ(form.pbProgress->value(), 3);
}

TEST_F(MainFormRun, ARefusedRunSaysWhyAndWritesNothing) {
  const QString sources = MakeSources();
  const struct {
    QString Target;
    QString Reason;
  } cases[] = {
      {QString(), QStringLiteral("No output folder is set.")},
      {sources + QStringLiteral("out/"), QStringLiteral("inside the source folder")},
  };
  for (const auto &c : cases) {
    AppInfo->SourcePath = sources;
    AppInfo->TargetPath = c.Target;
    TMainForm form;
    form.show();
    form.Refresh();
    Watcher.Messages.clear();
    form.btnStartDo->click();
    EXPECT_FALSE(form.IsRunning());
    ASSERT_EQ(Watcher.Messages.size(), 1);
    EXPECT_TRUE(Watcher.Messages[0].startsWith(QStringLiteral("无法开始转换。\n")));
    EXPECT_TRUE(Watcher.Messages[0].contains(c.Reason)) << Watcher.Messages[0].toStdString();
  }
  EXPECT_FALSE(QFileInfo::exists(sources + QStringLiteral("out")));
}

TEST(RunSummary, CountsEveryOutcomeAndListsTheFirstFailures) {
  TBatchRunEnd end;
  end.ItemCount = 30;
  end.Outcome.Cancelled = true;
  for (int i = 0; i < 20; ++i) {
    TBatchResult result;
    result.Action = i < 2 ? TBatchAction::Paged : i < 3 ? TBatchAction::Skipped : TBatchAction::Failed;
    result.Source = QStringLiteral("/in/%1.tif").arg(i);
    result.Error = QStringLiteral("bad %1").arg(i);
    end.Outcome.Results.append(result);
  }
  const QString text = RunSummaryText(end);
  EXPECT_TRUE(text.startsWith(
      QStringLiteral("转换已取消：完成 20 / 30 个文件。\n放到新页面上：2\n原样写出：0\n"
                     "跳过（文件已不存在）：1\n失败：17\n\n失败的文件：\n/in/3.tif：bad 3\n")))
      << text.toStdString();
  EXPECT_TRUE(text.contains(QStringLiteral("/in/17.tif：bad 17")));
  EXPECT_FALSE(text.contains(QStringLiteral("/in/18.tif")));
  EXPECT_TRUE(text.endsWith(QStringLiteral("另有 2 个，见详细信息。")));
  EXPECT_EQ(RunFailureLines(end.Outcome).size(), 17);
  EXPECT_EQ(RunFailureLines(end.Outcome).last(), QStringLiteral("/in/19.tif：bad 19"));
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
    EXPECT_TRUE(watcher.Messages[0].startsWith(
        QStringLiteral("The settings file \"%1\" could not be read").arg(file)))
        << watcher.Messages[0].toStdString();
    EXPECT_EQ(settings.SizeMode, smeAStyle);
    QFile::remove(file);
    QDir().mkpath(file); // a folder in the way: the save at the end fails
  }
  SetSettingsReporter({});
  ASSERT_EQ(watcher.Messages.size(), 2);
  EXPECT_TRUE(watcher.Messages[1].startsWith(QStringLiteral("The settings could not be saved")))
      << watcher.Messages[1].toStdString();
}

} // namespace
