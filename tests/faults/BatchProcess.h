// Runs the batch command as a child process and collects what it reported.
#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QMap>
#include <QString>
#include <QStringList>
#include <functional>
#include <ostream>

// Readable QString values in the messages of failed expectations.
inline void PrintTo(const QString &text, std::ostream *out) {
  *out << '"' << text.toStdString() << '"';
}

struct TBatchRun {
  int ExitCode = -1;
  QString Output; // stdout and stderr together
  QJsonArray Report;
  // The report entry whose "source" ends with the given relative path.
  QJsonObject Item(const QString &relativeSource) const;
  QString Action(const QString &relativeSource) const { return Item(relativeSource)["action"].toString(); }
};

// Runs pagetailor-batch with the arguments plus "--report FILE"; childSetup
// runs in the child between fork and exec (resource limits).
TBatchRun RunBatch(const QStringList &arguments, const std::function<void()> &childSetup = {});

// Runs pagetailor-batch with the arguments, output discarded; the peak
// resident memory of the process in bytes, or -1 when it did not end with 0
// or 1.
qint64 PeakMemoryOfRun(const QStringList &arguments);

// Every regular file below root (links not followed) with its bytes, keyed
// by relative path: a source tree compared before and after a run.
QMap<QString, QByteArray> TreeSnapshot(const QString &root);
