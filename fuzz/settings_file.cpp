// Loads arbitrary bytes as the settings file, lets the settings object write
// it back at destruction as at shut-down, and loads that again: the second
// load must succeed with the same six values. Crashes, hangs, leaks,
// sanitizer reports and settings that do not survive their own file are
// findings.
#include "app/AppInfo.h"

#include <QFile>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <tuple>

namespace {

QString SettingsFile() {
  static const QTemporaryDir folder(QStringLiteral("/dev/shm/pt-fuzz-XXXXXX"));
  return folder.filePath(QStringLiteral("AppInfo.dat"));
}

auto Values(const TAppInfo &info) {
  return std::make_tuple(info.APaperSize, info.AutoCheckFit, info.BPaperSize, info.SizeMode, info.SourcePath,
                         info.TargetPath);
}

void Fail(const char *what) {
  std::fprintf(stderr, "%s\n", what);
  std::abort();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  SetSettingsReporter([](const TReason &problem) { Fail(qPrintable(problem.English())); });
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  {
    QFile file(SettingsFile());
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
      return 0;
    file.write(reinterpret_cast<const char *>(data), static_cast<qint64>(size));
  }
  decltype(Values(TAppInfo())) loaded;
  {
    const TAppInfo first(SettingsFile());
    loaded = Values(first);
  }
  const TAppInfo second(SettingsFile());
  if (!second.LoadProblem().IsNone())
    Fail(qPrintable(second.LoadProblem().English()));
  if (Values(second) != loaded)
    Fail("the settings changed when written and read again");
  return 0;
}
