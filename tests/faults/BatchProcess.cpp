#include "tests/faults/BatchProcess.h"

#include "tests/support/TestFiles.h"

#include <QDirIterator>
#include <QFile>
#include <QJsonDocument>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

QJsonObject TBatchRun::Item(const QString &relativeSource) const {
  for (const QJsonValue &value : Report) {
    const QJsonObject item = value.toObject();
    if (item.value("source").toString().endsWith(u'/' + relativeSource))
      return item;
  }
  ADD_FAILURE() << "no report entry for " << relativeSource.toStdString();
  return {};
}

TBatchRun RunBatch(const QStringList &arguments, const std::function<void()> &childSetup) {
  QTemporaryDir reportDir;
  const QString reportFile = reportDir.filePath("report.json");
  QProcess process;
  process.setProcessChannelMode(QProcess::MergedChannels);
  if (childSetup)
    process.setChildProcessModifier(childSetup);
  process.start(QStringLiteral(PT_BATCH_PROGRAM), arguments + QStringList{"--report", reportFile});
  EXPECT_TRUE(process.waitForFinished(240000)) << "pagetailor-batch did not finish";
  TBatchRun run;
  run.ExitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
  run.Output = QString::fromUtf8(process.readAll());
  run.Report = QJsonDocument::fromJson(ReadWholeFile(reportFile)).array();
  return run;
}

qint64 PeakMemoryOfRun(const QStringList &arguments) {
  std::vector<QByteArray> texts{QByteArray(PT_BATCH_PROGRAM)};
  for (const QString &argument : arguments)
    texts.push_back(QFile::encodeName(argument));
  std::vector<char *> argv;
  for (QByteArray &text : texts)
    argv.push_back(text.data());
  argv.push_back(nullptr);
  const pid_t child = ::fork();
  if (child == 0) {
    const int null = ::open("/dev/null", O_WRONLY);
    ::dup2(null, STDOUT_FILENO);
    ::dup2(null, STDERR_FILENO);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  int status = 0;
  rusage usage{};
  if (child < 0 || ::wait4(child, &status, 0, &usage) != child || !WIFEXITED(status) || WEXITSTATUS(status) > 1)
    return -1;
  return qint64(usage.ru_maxrss) * 1024;
}

QMap<QString, QByteArray> TreeSnapshot(const QString &root) {
  QMap<QString, QByteArray> files;
  QDirIterator it(root, QDir::Files | QDir::Hidden | QDir::System | QDir::NoSymLinks,
                  QDirIterator::Subdirectories);
  while (it.hasNext()) {
    const QString path = it.next();
    files.insert(QDir(root).relativeFilePath(path), ReadWholeFile(path));
  }
  return files;
}
