// pagetailor-batch: the conversion run from the command line.
#include "app/BatchCommand.h"
#include "imaging/VellGDIPOBJ.h"

#include <QCoreApplication>
#include <QThread>

#include <csignal>
#include <cstdlib>
#include <unistd.h>

namespace {

std::atomic<int> Interrupts = 0;

// The first interrupt stops the run between items; the second ends it with
// the report of the items finished.
void OnInterrupt(int) {
  Interrupts.fetch_add(1);
}

} // namespace

int main(int argc, char **argv) {
  QCoreApplication application(argc, argv);
  std::signal(SIGINT, OnInterrupt);
  std::signal(SIGTERM, OnInterrupt);
  // A closed output pipe or the file size limit make writes fail instead of
  // ending the program before its summary and report.
  std::signal(SIGPIPE, SIG_IGN);
  std::signal(SIGXFSZ, SIG_IGN);
  VellGdiplusStartup();
  QTextStream out(stdout);
  QTextStream err(stderr);
  TBatchConsole console{out, err, isatty(STDERR_FILENO) == 1, &Interrupts, [](int status) { std::_Exit(status); }};
  const int status = RunBatchCommand(application.arguments().mid(1), QThread::idealThreadCount(), console);
  VellGdiplusShutdown();
  return status;
}
