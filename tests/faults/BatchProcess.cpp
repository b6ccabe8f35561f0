#include "tests/faults/BatchProcess.h"

#include "tests/support/TestFiles.h"

#include <QDirIterator>
#include <QJsonDocument>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

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
