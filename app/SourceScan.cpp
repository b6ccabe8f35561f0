#include "app/SourceScan.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QMap>
#include <QSet>

#include <dirent.h>
#include <sys/stat.h>

const QString ExtensionMaskList = QStringLiteral("*.tiff;*.tif");

namespace {

std::unique_ptr<TBatchItem> MakeItem(const QFileInfo &file, const QString &folder) {
  auto item = std::make_unique<TBatchItem>();
  item->FileName = file.fileName();
  item->FilePath = folder;
  item->FileSize = static_cast<qint32>(static_cast<quint32>(file.size()));
  item->ModifyTime = ToPackedDateTime(file.lastModified());
  return item;
}

// Files of the folder whose names are no valid UTF-8, which Qt's listing
// leaves out because their text names no file. They are listed after the
// folder's other entries so that the run reports them instead of losing them
// without a word.
void AddUnspellableFiles(TBatchItemList &list, const QString &folder) {
  const QByteArray path = QFile::encodeName(folder);
  DIR *dir = ::opendir(path.constData());
  if (!dir)
    return;
  QMap<QString, struct stat> found; // in name order
  while (const dirent *entry = ::readdir(dir)) {
    const QByteArray raw(entry->d_name);
    const QString name = QFile::decodeName(raw);
    struct stat info;
    if (raw.startsWith('.') || QFile::encodeName(name) == raw ||
        !MatchesMaskList(ExtensionMaskList, ExtractFileExt(name)) ||
        ::fstatat(::dirfd(dir), entry->d_name, &info, 0) != 0 || !S_ISREG(info.st_mode))
      continue;
    found.insert(name, info);
  }
  ::closedir(dir);
  for (auto it = found.cbegin(); it != found.cend(); ++it) {
    auto item = std::make_unique<TBatchItem>();
    item->FileName = it.key();
    item->FilePath = folder;
    item->FileSize = static_cast<qint32>(static_cast<quint32>(it.value().st_size));
    item->ModifyTime = ToPackedDateTime(QDateTime::fromSecsSinceEpoch(it.value().st_mtime));
    list.Add(std::move(item));
  }
}

// Walks one folder; visited holds the real paths of the folders entered.
void ScanTree(TBatchItemList &list, const QString &folder, QSet<QString> &visited) {
  const QString real = QFileInfo(folder).canonicalFilePath();
  if (real.isEmpty() || visited.contains(real))
    return;
  visited.insert(real);
  // Name order ignoring case, folders and files interleaved; without
  // QDir::Hidden and QDir::System dot-entries, devices and broken links stay out.
  const QFileInfoList entries = QDir(folder).entryInfoList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot,
                                                           QDir::Name | QDir::IgnoreCase);
  for (const QFileInfo &entry : entries) {
    if (entry.isDir())
      ScanTree(list, folder + entry.fileName() + QLatin1Char('/'), visited);
    else if (MatchesMaskList(ExtensionMaskList, ExtractFileExt(entry.fileName())))
      list.Add(MakeItem(entry, folder));
  }
  AddUnspellableFiles(list, folder);
}

} // namespace

bool HasUnspellableName(const QFileInfo &entry) {
  return entry.fileName().contains(QChar::ReplacementCharacter) && !entry.exists() && !entry.isSymLink();
}

void ScanFolder(TBatchItemList &list, const QString &folder) {
  QSet<QString> visited;
  ScanTree(list, folder, visited);
}

bool MatchesMaskList(const QString &maskList, const QString &extension) {
  const QLocale locale;
  return !extension.isEmpty() && locale.toUpper(maskList).contains(locale.toUpper(extension));
}

QString ExtractFileExt(const QString &fileName) {
  const qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
  return dot < 0 ? QString() : fileName.mid(dot);
}

TDateTime ToPackedDateTime(const QDateTime &time) {
  static const QDate epoch(1899, 12, 30);
  const QDateTime local = time.toLocalTime();
  const QTime t = local.time();
  const int seconds = t.hour() * 3600 + t.minute() * 60 + t.second() / 2 * 2;
  return double(epoch.daysTo(local.date())) + seconds / 86400.0;
}
