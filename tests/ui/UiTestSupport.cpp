#include "tests/ui/UiTestSupport.h"

#include "tests/support/TestImages.h"
#include "ui/ProgramLanguage.h"
#include "ui/RunSummaryFrm.h"

#include <QApplication>
#include <QEventLoop>
#include <QFile>
#include <QMessageBox>
#include <QPlainTextEdit>

#include <gtest/gtest.h>

namespace {

// The suite runs in the program's language, as the program does.
class TProgramLanguage : public ::testing::Environment {
public:
  void SetUp() override { ASSERT_TRUE(UseProgramLanguage()) << "Qt's translations are missing"; }
};

const ::testing::Environment *const ProgramLanguage =
    ::testing::AddGlobalTestEnvironment(new TProgramLanguage);

} // namespace

TModalWatcher::TModalWatcher(Action onWindow) : OnWindow(std::move(onWindow)) {
  FTimer.setInterval(10);
  QObject::connect(&FTimer, &QTimer::timeout, [this] { Poll(); });
  FTimer.start();
}

void TModalWatcher::Poll() {
  QWidget *window = QApplication::activeModalWidget();
  if (!window || window == FHandled || !window->isVisible())
    return;
  FHandled = window;
  if (auto *box = qobject_cast<QMessageBox *>(window)) {
    Messages.append(box->text());
    box->done(QMessageBox::Ok);
  } else if (auto *summary = qobject_cast<TRunSummaryForm *>(window)) {
    Messages.append(summary->lblSummary->text());
    Failures.append(summary->memFailures ? summary->memFailures->toPlainText() : QString());
    summary->btnOk->click();
  } else if (OnWindow) {
    OnWindow(window);
  }
}

void ProcessEventsFor(int milliseconds) {
  QEventLoop loop;
  QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
  loop.exec();
}

void WriteGreyTiff(const QString &fileName, int width, int height, float dpi) {
  TTiffSpec spec;
  spec.Width = width;
  spec.Height = height;
  spec.XResolution = spec.YResolution = dpi;
  WriteTiff(fileName, spec);
}
