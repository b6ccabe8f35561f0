#include "ui/MainFrm.h"

#include "app/AppInfo.h"

#include <QScreen>

#include <gtest/gtest.h>

namespace {

std::string Text(const QRect &rect) {
  return QStringLiteral("%1 x %2 at %3,%4")
      .arg(rect.width())
      .arg(rect.height())
      .arg(rect.x())
      .arg(rect.y())
      .toStdString();
}

// ctest also runs this on screens of 1280 x 720 device pixels at 150 %
// scaling, naming the screen in PT_EXPECT_SCREEN as "WIDTHxHEIGHT@RATIO/DPI"
// so that the test knows the screen is really there.
TEST(MainWindowSize, NeverLargerThanTheFreeAreaOfTheScreen) {
  TAppInfo settings;
  AppInfo = &settings;
  {
    TMainForm form;
    form.show();
    const QScreen *screen = form.screen();
    const QSize pixels = screen->geometry().size() * screen->devicePixelRatio();
    const QString expected = qEnvironmentVariable("PT_EXPECT_SCREEN");
    if (!expected.isEmpty()) {
      EXPECT_EQ(QStringLiteral("%1x%2@%3/%4")
                    .arg(pixels.width())
                    .arg(pixels.height())
                    .arg(screen->devicePixelRatio())
                    .arg(screen->logicalDotsPerInch())
                    .toStdString(),
                expected.toStdString());
    }
    const QRect room = screen->availableGeometry();
    EXPECT_TRUE(room.contains(form.frameGeometry())) << Text(form.frameGeometry()) << " on " << Text(room);
    EXPECT_GE(form.lvFileList->width(), 200) << "the list keeps room beside the left column";
  }
  AppInfo = nullptr;
}

} // namespace
