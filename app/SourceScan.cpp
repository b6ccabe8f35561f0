#include "app/SourceScan.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>

#include "Common/VellUtils.h"

#include <algorithm>
#include <set>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

const QString ExtensionMaskList = QStringLiteral("*.tiff;*.tif");

namespace {

// One entry of a folder as the walk met it: its name as text and as bytes,
// and what it leads to (links followed).
struct TEntry {
  QString Name;
  QByteArray Raw;
  struct stat Info;
  bool IsLink = false;
};

bool Spellable(const TEntry &entry) {
  return QFile::encodeName(entry.Name) == entry.Raw;
}

// Name order ignoring case, folders and files interleaved; names that are no
// valid UTF-8 come after the others.
bool ListedBefore(const TEntry &a, const TEntry &b) {
  if (Spellable(a) != Spellable(b))
    return Spellable(a);
  const int order = a.Name.compare(b.Name, Qt::CaseInsensitive);
  return order != 0 ? order < 0 : a.Raw < b.Raw;
}

// The visible entries of an open folder, in listing order; dot-entries and
// links that lead nowhere stay out.
std::vector<TEntry> ReadEntries(int fd) {
  std::vector<TEntry> entries;
  const int listing = ::dup(fd);
  DIR *dir = listing >= 0 ? ::fdopendir(listing) : nullptr;
  if (!dir) {
    if (listing >= 0)
      ::close(listing);
    return entries;
  }
  while (const dirent *found = ::readdir(dir)) {
    TEntry entry;
    entry.Raw = QByteArray(found->d_name);
    if (entry.Raw.startsWith('.') || ::fstatat(fd, found->d_name, &entry.Info, 0) != 0)
      continue;
    struct stat own;
    entry.IsLink = ::fstatat(fd, found->d_name, &own, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(own.st_mode);
    entry.Name = QFile::decodeName(entry.Raw);
    entries.push_back(std::move(entry));
  }
  ::closedir(dir);
  std::sort(entries.begin(), entries.end(), ListedBefore);
  return entries;
}

std::unique_ptr<TBatchItem> MakeItem(const TEntry &entry, const QString &folder) {
  auto item = std::make_unique<TBatchItem>();
  item->FileName = entry.Name;
  item->FilePath = folder;
  item->FileSize = static_cast<qint32>(static_cast<quint32>(entry.Info.st_size));
  item->ModifyTime = ToPackedDateTime(QDateTime::fromSecsSinceEpoch(entry.Info.st_mtime));
  return item;
}

// The walk of one tree. Folders are opened relative to their parent's
// descriptor, so depth is no limit: a file whose path is too long to open is
// still listed, and the run reports it.
class TTreeWalk {
public:
  TTreeWalk(TBatchItemList &list, const QString &root, const QString &avoid)
      : FList(list), FRoot(RealFolder(root)), FAvoid(RealFolder(avoid)) {}

  // Lists the open folder fd and its subfolders; closes fd.
  void Walk(int fd, const QString &folder) {
    struct stat info;
    if (::fstat(fd, &info) == 0 && FVisited.insert({info.st_dev, info.st_ino}).second)
      for (const TEntry &entry : ReadEntries(fd)) {
        if (S_ISDIR(entry.Info.st_mode))
          Enter(fd, entry, folder);
        else if (MatchesMaskList(ExtensionMaskList, ExtractFileExt(entry.Name)))
          FList.Add(MakeItem(entry, folder));
      }
    ::close(fd);
  }

private:
  void Enter(int parent, const TEntry &entry, const QString &folder) {
    const QString path = folder + entry.Name + QLatin1Char('/');
    if (!Spellable(entry) || (entry.IsLink && LeadsOutOfBounds(path)))
      return;
    const int fd = ::openat(parent, entry.Raw.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0)
      Walk(fd, path);
  }

  // A folder link into the folder to avoid, or to a folder that holds the
  // root: following it would list the output again or the tree's surroundings.
  bool LeadsOutOfBounds(const QString &link) const {
    const QString real = RealFolder(link);
    return real.isEmpty() || FRoot.startsWith(real) || (!FAvoid.isEmpty() && real.startsWith(FAvoid));
  }

  static QString RealFolder(const QString &folder) {
    const QString real = QFileInfo(folder).canonicalFilePath();
    return real.isEmpty() ? real : TVellStr::IncludeTrailingChar(real, QLatin1Char('/'));
  }

  TBatchItemList &FList;
  const QString FRoot;
  const QString FAvoid;
  std::set<std::pair<dev_t, ino_t>> FVisited;
};

} // namespace

bool HasUnspellableName(const QFileInfo &entry) {
  return entry.fileName().contains(QChar::ReplacementCharacter) && !entry.exists() && !entry.isSymLink();
}

void ScanFolder(TBatchItemList &list, const QString &folder, const QString &avoid) {
  const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd >= 0)
    TTreeWalk(list, folder, avoid).Walk(fd, folder);
}

QString ListNamedFiles(TBatchItemList &list, const QString &folder, const QStringList &paths) {
  for (int line = 0; line < paths.size(); ++line) {
    const QString &path = paths[line];
    if (path.startsWith(QLatin1Char('/')) || path.endsWith(QLatin1Char('/')) ||
        path.split(QLatin1Char('/')).contains(QStringLiteral("..")))
      return QStringLiteral("line %1: \"%2\" is no file path relative to the source folder")
          .arg(line + 1)
          .arg(path);
  }
  for (const QString &path : paths) {
    if (path.isEmpty())
      continue;
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    TEntry entry;
    entry.Name = path.mid(slash + 1);
    entry.Info = {};
    ::stat(QFile::encodeName(folder + path).constData(), &entry.Info);
    list.Add(MakeItem(entry, folder + path.left(slash + 1)));
  }
  return {};
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
