#include "app/SettingsFolder.h"

#include "Common/VellUtils.h"

#include <QStandardPaths>
#include <QTemporaryFile>

namespace {

// Whether a file can be created in folder: the only test that also holds for
// read-only mounts and access rules beyond the permission bits.
bool CanCreateFilesIn(const QString &folder) {
  QTemporaryFile probe(folder + QStringLiteral(".pagetailor-probe-XXXXXX"));
  return probe.open();
}

} // namespace

QString SettingsFolderFor(const QString &programFolder, const QString &configFolder) {
  return CanCreateFilesIn(programFolder) ? programFolder : configFolder;
}

QString UserSettingsFolder() {
  // The GUI's own configuration location; pagetailor-batch uses the same one
  // rather than a folder named after its own executable.
  return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
         QStringLiteral("/pagetailor/");
}

QString SettingsFolder() {
  return SettingsFolderFor(TVellWin::GetModulePath(), UserSettingsFolder());
}
