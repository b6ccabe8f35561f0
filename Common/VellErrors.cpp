#include "Common/VellErrors.h"

EVellError::EVellError(QString message) : FMessage(std::move(message)), FUtf8(FMessage.toUtf8()) {}

QString ModulePathOfSource(const char *sourceFile) {
  QString path = QString::fromUtf8(sourceFile);
  const qsizetype dot = path.lastIndexOf(u'.');
  if (dot > path.lastIndexOf(u'/'))
    path.truncate(dot);
  return path;
}

EAssertionFailed::EAssertionFailed(const QString &message, const char *sourceFile, int line)
    : EVellError(message + QStringLiteral(" (") + ModulePathOfSource(sourceFile) + QStringLiteral(", line ") +
                 QString::number(line) + u')') {}

void RaiseAssertion(const QString &message, const char *sourceFile, int line) {
  throw EAssertionFailed(message, sourceFile, line);
}
