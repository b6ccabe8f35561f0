// pagetailor-batch: the conversion run from the command line.
#include "app/BatchCommand.h"
#include "imaging/VellGDIPOBJ.h"

#include <QCoreApplication>
#include <QThread>

#include <csignal>
#include <unistd.h>

namespace {

std::atomic<bool> CancelRequested = false;

// The first interrupt stops the run between items; a second one ends the program.
void OnInterrupt(int signal) {
  CancelRequested = true;
  std::signal(signal, SIG_DFL);
}

} // namespace

int main(int argc, char **argv) {
  QCoreApplication application(argc, argv);
  std::signal(SIGINT, OnInterrupt);
  std::signal(SIGTERM, OnInterrupt);
  VellGdiplusStartup();
  QTextStream out(stdout);
  QTextStream err(stderr);
  TBatchConsole console{out, err, isatty(STDERR_FILENO) == 1, &CancelRequested};
  const int status = RunBatchCommand(application.arguments().mid(1), QThread::idealThreadCount(), console);
  VellGdiplusShutdown();
  return status;
}
