#include "ui/VellDialogSelectFolder.h"

#include "Common/VellLangMan.h"
#include "Common/VellTextFile.h"

#include "tests/support/TestFiles.h"
#include "tests/ui/UiTestSupport.h"

#include <QDir>
#include <QFileInfo>
#include <QTest>

#include <gtest/gtest.h>

namespace {

QByteArray Utf16(const QString &text, bool bigEndian) {
  QByteArray bytes = bigEndian ? QByteArray("\xFE\xFF", 2) : QByteArray("\xFF\xFE", 2);
  for (QChar c : text) {
    const char hi = char(c.unicode() >> 8), lo = char(c.unicode() & 0xFF);
    bytes.append(bigEndian ? hi : lo).append(bigEndian ? lo : hi);
  }
  return bytes;
}

class FolderDialog : public ::testing::Test {
protected:
  void SetUp() override { SetHistoryFolder(Settings.Path()); }
  void TearDown() override { SetHistoryFolder(QString()); }
  QString Folder(const QString &name) const {
    QDir().mkpath(Tree.Path() + name);
    return Tree.Path() + name;
  }
  void WriteHistory(const QByteArray &bytes) const {
    Settings.Write(QStringLiteral("HistoryPath.xml"), bytes);
  }
  QByteArray HistoryBytes() const { return ReadWholeFile(HistoryFilePath()); }

  TTestDir Settings;
  TTestDir Tree;
  TModalWatcher Watcher; // no test may block on a message box
};

TEST_F(FolderDialog, ReadsEveryHistoryEncodingAndWritesUtf16Back) {
  const QString a = Folder(QStringLiteral("甲")), b = Folder(QStringLiteral("b"));
  const QString lines = a + QStringLiteral("\r\n") + b + QStringLiteral("\n");
  for (const QByteArray &bytes :
       {Utf16(lines, false), Utf16(lines, true), "\xEF\xBB\xBF" + lines.toUtf8(), lines.toLocal8Bit()}) {
    WriteHistory(bytes);
    {
      TVellSelectFolderDialog dialog;
      EXPECT_EQ(dialog.History(), (QStringList{a, b}));
    }
    EXPECT_EQ(HistoryBytes(), Utf16(a + QStringLiteral("\r\n") + b + QStringLiteral("\r\n"), false));
  }
}

TEST_F(FolderDialog, PrepareDropsVanishedFoldersAndKeepsCaseVariants) {
  const QString kept = Folder(QStringLiteral("Case"));
  const QString variant = Folder(QStringLiteral("CASE"));
  const QString typed = Folder(QStringLiteral("case"));
  const QString gone = Tree.Path() + QStringLiteral("gone");
  WriteHistory(Utf16(gone + "\r\n" + kept + "\r\n\r\n" + variant + "\r\n", false));
  {
    TVellSelectFolderDialog dialog;
    EXPECT_EQ(dialog.History(), (QStringList{gone, kept, QString(), variant}));
    dialog.Prepare(QString());
    EXPECT_EQ(dialog.History(), (QStringList{kept, variant}));
    EXPECT_EQ(dialog.edtCurrentSelect->text(), kept) << "the newest entry is selected in the tree";
    EXPECT_TRUE(dialog.bbDeleteHistory->isEnabled());
    dialog.edtCurrentSelect->setText(typed);
    dialog.btnOk->click();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.History(), (QStringList{kept, variant})) << "an entry equal but for case exists";
  }
  EXPECT_EQ(HistoryBytes(), Utf16(kept + "\r\n" + variant + "\r\n", false)) << "written back on destruction";
  EXPECT_TRUE(Watcher.Messages.isEmpty());
}

TEST_F(FolderDialog, RefusesAnEmptySelectionAndStaysOpen) {
  TVellSelectFolderDialog dialog;
  dialog.Prepare(QString());
  dialog.show();
  EXPECT_FALSE(dialog.bbDeleteHistory->isEnabled()) << "empty history";
  EXPECT_TRUE(dialog.edtCurrentSelect->text().isEmpty());
  dialog.btnOk->click();
  EXPECT_EQ(Watcher.Messages, QStringList{QStringLiteral("请输入或选择文件夹！")});
  EXPECT_TRUE(dialog.isVisible());
  EXPECT_NE(dialog.result(), QDialog::Accepted);
  EXPECT_TRUE(dialog.History().isEmpty());
}

TEST_F(FolderDialog, CreatesATypedFolderOrSaysWhyNot) {
  const QString fresh = Tree.Path() + QStringLiteral("新的");
  const QString orphan = Tree.Path() + QStringLiteral("missing/child");
  TVellSelectFolderDialog dialog;
  dialog.show();
  const QString file = Tree.Write(QStringLiteral("plain"), "a file");
  const struct {
    QString folder;
    QString message;
  } refusals[] = {
      {orphan, QStringLiteral("无法创建文件夹“%1”：上一级文件夹不存在。").arg(orphan)},
      {file, QStringLiteral("无法创建文件夹“%1”：已有同名的文件。").arg(file)},
      {file + QStringLiteral("/child"),
       QStringLiteral("无法创建文件夹“%1/child”：路径中有一段不是文件夹。").arg(file)},
      {QStringLiteral("relative"), QStringLiteral("“relative”不是完整的文件夹路径。")},
  };
  for (const auto &c : refusals) {
    Watcher.Messages.clear();
    dialog.edtCurrentSelect->setText(c.folder);
    dialog.btnOk->click();
    EXPECT_EQ(Watcher.Messages, QStringList{c.message});
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_FALSE(QFileInfo(c.folder).isDir());
  }
  Watcher.Messages.clear();

  dialog.edtCurrentSelect->setText(fresh);
  dialog.btnCreateFolder->click();
  EXPECT_TRUE(QFileInfo(fresh).isDir());
  EXPECT_EQ(dialog.edtCurrentSelect->text(), fresh) << "the new folder is selected in the tree";
  EXPECT_TRUE(dialog.isVisible()) << "creating a folder does not close the dialog";
  dialog.btnOk->click();
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_EQ(dialog.History(), QStringList{fresh});
  EXPECT_EQ(dialog.lbHistory->currentRow(), 0);
  EXPECT_TRUE(Watcher.Messages.isEmpty());
}

TEST_F(FolderDialog, DeleteButtonFollowsTheHistoryTab) {
  const QString a = Folder(QStringLiteral("a")), b = Folder(QStringLiteral("b"));
  WriteHistory(Utf16(a + "\r\n" + b + "\r\n", false));
  {
    TVellSelectFolderDialog dialog;
    dialog.Prepare(b);
    dialog.show();
    EXPECT_EQ(dialog.edtCurrentSelect->text(), b) << "the initial folder is selected";
    EXPECT_FALSE(dialog.bbDeleteHistory->isVisible());
    dialog.pcSelectFolder->setCurrentWidget(dialog.tsHistory);
    EXPECT_TRUE(dialog.bbDeleteHistory->isVisible());
    dialog.bbDeleteHistory->click();
    EXPECT_EQ(dialog.History().size(), 2) << "nothing selected, nothing deleted";
    dialog.lbHistory->setCurrentRow(1);
    EXPECT_EQ(dialog.edtCurrentSelect->text(), b);
    dialog.bbDeleteHistory->click();
    dialog.lbHistory->setCurrentRow(0);
    dialog.bbDeleteHistory->click();
    EXPECT_TRUE(dialog.History().isEmpty());
    EXPECT_FALSE(dialog.bbDeleteHistory->isEnabled());
    dialog.pcSelectFolder->setCurrentWidget(dialog.tsFolder);
    EXPECT_FALSE(dialog.bbDeleteHistory->isVisible());
    dialog.reject();
  }
  EXPECT_EQ(HistoryBytes(), QByteArray("\xFF\xFE", 2)) << "deletions are kept even on cancel";
}

TEST_F(FolderDialog, ExecuteReturnsTheConfirmedFolderOnly) {
  const QString chosen = Folder(QStringLiteral("chosen"));
  QString folder = QStringLiteral("unchanged");
  Watcher.OnWindow = [](QWidget *window) { QTest::keyClick(window, Qt::Key_Escape); };
  EXPECT_FALSE(TVellSelectFolderDialog::Execute(folder));
  EXPECT_EQ(folder, QStringLiteral("unchanged"));
  Watcher.OnWindow = [&](QWidget *window) {
    auto *dialog = qobject_cast<TVellSelectFolderDialog *>(window);
    ASSERT_NE(dialog, nullptr);
    dialog->edtCurrentSelect->setText(chosen);
    QTest::keyClick(dialog->edtCurrentSelect, Qt::Key_Return);
  };
  EXPECT_TRUE(TVellSelectFolderDialog::Execute(folder));
  EXPECT_EQ(folder, chosen);
  EXPECT_EQ(TVellTextFile::ReadLines(HistoryFilePath()), QStringList{chosen});
}

TEST_F(FolderDialog, AHistoryThatCannotBeWrittenIsReportedAndTheChoiceStands) {
  const QString chosen = Folder(QStringLiteral("chosen"));
  // A file where the settings folder should be: it can be neither created nor written into.
  SetHistoryFolder(Settings.Write(QStringLiteral("blocker"), "file"));
  QString folder;
  Watcher.OnWindow = [&](QWidget *window) {
    if (auto *dialog = qobject_cast<TVellSelectFolderDialog *>(window)) {
      dialog->edtCurrentSelect->setText(chosen);
      dialog->btnOk->click();
    }
  };
  EXPECT_TRUE(TVellSelectFolderDialog::Execute(folder));
  EXPECT_EQ(folder, chosen);
  ASSERT_EQ(Watcher.Messages.size(), 1);
  EXPECT_TRUE(
      Watcher.Messages[0].startsWith(QStringLiteral("Cannot create file \"%1\".").arg(HistoryFilePath())))
      << Watcher.Messages[0].toStdString();
}

TEST_F(FolderDialog, AnUnreadableHistoryIsReportedAndTheDialogStillOpens) {
  QDir().mkpath(HistoryFilePath()); // a folder where the file should be
  {
    TVellSelectFolderDialog dialog;
    ASSERT_EQ(Watcher.Messages.size(), 1);
    EXPECT_TRUE(
        Watcher.Messages[0].startsWith(QStringLiteral("Cannot open file \"%1\". ").arg(HistoryFilePath())))
        << Watcher.Messages[0].toStdString();
    EXPECT_TRUE(dialog.History().isEmpty());
    dialog.Prepare(QString());
  }
  EXPECT_EQ(Watcher.Messages.size(), 2) << "writing it back fails too, and says so";
}

TEST(DialogBases, EnterConfirmsAndEscCancels) {
  for (const auto &[key, expected] :
       {std::pair{Qt::Key_Return, QDialog::Accepted}, {Qt::Key_Escape, QDialog::Rejected}}) {
    TDialogOkBaseForm dialog(QStringLiteral("Sample"));
    dialog.show();
    QTest::keyClick(&dialog, key);
    EXPECT_EQ(dialog.result(), expected);
    EXPECT_FALSE(dialog.isVisible());
  }
}

TEST(DialogBases, ShowingTranslatesOnlyWithALanguageFile) {
  TTestDir dir;
  const QString file =
      dir.Write(QStringLiteral("lang.ini"), "[TDialogOkBaseForm]\nCaption=Sample\nbtnOk.Caption=OK\n"
                                            "pnlButtons.btnCancel.Caption=nested\nbtnCancel.Name=renamed\n"
                                            "Font=Arial;clRed;-12;0;9;[fsBold]\n");
  GlobalLangMan = std::make_unique<TVellLangMan>();
  {
    TDialogOkBaseForm dialog(QStringLiteral("Sample"));
    dialog.show();
    EXPECT_EQ(dialog.btnOk->text(), QStringLiteral("确定"));
    EXPECT_EQ(dialog.Font(), TFont());
    GlobalLangMan->SetFileName(file);
    dialog.hide();
    dialog.show();
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Sample"));
    EXPECT_EQ(dialog.btnOk->text(), QStringLiteral("OK"));
    EXPECT_EQ(dialog.btnCancel->text(), QStringLiteral("取消")) << "owned by the form, not the strip";
    EXPECT_EQ(dialog.btnCancel->objectName(), QStringLiteral("btnCancel"));
    EXPECT_EQ(dialog.Font().Name, QStringLiteral("Arial"));
    EXPECT_TRUE(dialog.font().bold());
    EXPECT_EQ(dialog.font().pixelSize(), Scaled(12));
    EXPECT_EQ(dialog.btnOk->font().family(), QStringLiteral("Arial")) << "controls keep the form's font";
  }
  GlobalLangMan.reset();
}

} // namespace
