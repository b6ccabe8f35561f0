#include "tests/ui/UiTestSupport.h"

#include "tests/support/TestImages.h"

#include <QApplication>
#include <QEventLoop>
#include <QFile>
#include <QMessageBox>

#include <gtest/gtest.h>

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
