#include "ui/FileListModel.h"

#include "ui/ImageHeader.h"

#include <QDateTime>
#include <QLocale>

#include <cmath>

namespace {

// Chinese dates are written as the national standard has them, in numbers from
// the year down; other locales give their short date and long time.
QString DateFormat(const QLocale &locale) {
  return locale.language() == QLocale::Chinese ? QStringLiteral("yyyy-MM-dd")
                                               : locale.dateFormat(QLocale::ShortFormat);
}

QString TimeFormat(const QLocale &locale) {
  if (locale.language() == QLocale::Chinese)
    return QStringLiteral("HH:mm:ss");
  // The long time format without the time zone the locale may append.
  return locale.timeFormat(QLocale::LongFormat).remove(u't').trimmed();
}

} // namespace

QString FormatModifyTime(TDateTime time) {
  static const QDate epoch(1899, 12, 30);
  const double days = std::floor(time);
  const QDate date = epoch.addDays(static_cast<qint64>(days));
  const QTime clock = QTime(0, 0).addMSecs(static_cast<int>(std::lround((time - days) * 86400000.0)));
  const QLocale locale;
  const QString dateText = locale.toString(date, DateFormat(locale));
  if (clock == QTime(0, 0))
    return dateText;
  return dateText + u' ' + locale.toString(clock, TimeFormat(locale));
}

QStringList FileListRow(const TBatchItem &item) {
  int pages = 0;
  const QSize size = ReadImageSize(item.FilePath + item.FileName, &pages);
  QString sizeText = size.isValid() ? QStringLiteral("%1 × %2").arg(size.width()).arg(size.height()) : QString();
  if (size.isValid() && pages > 1)
    sizeText += QStringLiteral("（%1 页）").arg(pages);
  return {item.FileName, QString::number(item.FileSize), sizeText, FormatModifyTime(item.ModifyTime),
          item.FilePath};
}

TFileListModel::TFileListModel(const TBatchItemList &list, QObject *parent)
    : QAbstractTableModel(parent), FList(list) {}

void TFileListModel::SetRowCount(int count) {
  beginResetModel();
  FRowCount = count;
  FRows.clear();
  endResetModel();
}

int TFileListModel::rowCount(const QModelIndex &parent) const {
  return parent.isValid() ? 0 : FRowCount;
}

int TFileListModel::columnCount(const QModelIndex &parent) const {
  return parent.isValid() ? 0 : ColumnCount;
}

QVariant TFileListModel::data(const QModelIndex &index, int role) const {
  // Names and paths may be elided in the view: their tooltip is the whole text.
  const bool toolTip =
      role == Qt::ToolTipRole && (index.column() == colFileName || index.column() == colFilePath);
  if ((role != Qt::DisplayRole && !toolTip) || !index.isValid() || index.row() >= FRowCount ||
      index.row() >= FList.Count())
    return {};
  auto row = FRows.find(index.row());
  if (row == FRows.end())
    row = FRows.insert(index.row(), FileListRow(FList.Items(index.row())));
  return row->value(index.column());
}

QVariant TFileListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  static const QStringList headers{QStringLiteral("文件名"), QStringLiteral("文件大小"),
                                   QStringLiteral("图像尺寸"), QStringLiteral("修改时间"),
                                   QStringLiteral("文件路径")};
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
    return {};
  return headers.value(section);
}
