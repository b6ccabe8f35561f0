// Shared main of the GoogleTest suites: creates the Qt application object the
// suite needs (a widget application on the offscreen platform for GUI suites).
#include <gtest/gtest.h>

#ifdef PT_TEST_GUI
#include <QApplication>
using TestApplication = QApplication;
#else
#include <QCoreApplication>
using TestApplication = QCoreApplication;
#endif

int main(int argc, char **argv) {
#ifdef PT_TEST_GUI
  qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
#endif
  ::testing::InitGoogleTest(&argc, argv);
  TestApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
