// Renders the windows to PNG files on any platform (offscreen included), for
// the documentation: pt-screenshot OUTPUT_FOLDER
#include "ui/VellDialogSelectFolder.h"

#include "Common/VellLangMan.h"
#include "Common/VellUtils.h"

#include <QApplication>
#include <QDir>
#include <QTimer>

#include <cstdio>

namespace {

// Shows the window, lets it settle, and saves what it paints.
bool Render(QWidget &window, const QString &file) {
  window.show();
  QEventLoop settle;
  QTimer::singleShot(300, &settle, &QEventLoop::quit);
  settle.exec();
  return window.grab().save(file);
}

} // namespace

int main(int argc, char **argv) {
  QApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: pt-screenshot OUTPUT_FOLDER\n");
    return 2;
  }
  const QString folder = TVellStr::IncludeTrailingChar(QString::fromLocal8Bit(argv[1]), u'/');
  QDir().mkpath(folder);
  GlobalLangMan = std::make_unique<TVellLangMan>();
  bool ok = true;
  {
    TVellSelectFolderDialog dialog;
    dialog.Prepare(QDir::homePath());
    ok = Render(dialog, folder + QStringLiteral("folder-dialog.png")) && ok;
  }
  return ok ? 0 : 1;
}
