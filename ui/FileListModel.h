// The rows of the main window's file list, supplied on demand: a row's texts
// are made the first time the view asks for them and kept until the row
// count is set again.
#pragma once

#include "app/PTClasses.h"

#include <QAbstractTableModel>
#include <QHash>
#include <QStringList>

// The texts of one batch item's row, in column order. The image size is read
// from the file's header, with the page count of a file of several pages.
QStringList FileListRow(const TBatchItem &item);
// The date and time in the default locale's way (for Chinese "2026-12-10
// 16:33:42"); the date alone at midnight.
QString FormatModifyTime(TDateTime time);

class TFileListModel : public QAbstractTableModel {
public:
  enum TColumn { colFileName, colFileSize, colImageSize, colModifyTime, colFilePath, ColumnCount };

  explicit TFileListModel(const TBatchItemList &list, QObject *parent = nullptr);
  // Shows count rows, filled from the list's items as they are needed.
  void SetRowCount(int count);

  int rowCount(const QModelIndex &parent = {}) const override;
  int columnCount(const QModelIndex &parent = {}) const override;
  QVariant data(const QModelIndex &index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
  const TBatchItemList &FList;
  int FRowCount = 0;
  mutable QHash<int, QStringList> FRows;
};
