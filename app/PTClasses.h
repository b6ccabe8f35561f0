// The batch: one item per source image found by the scan, and the owning
// ordered list of them.
#pragma once

#include "Common/VellTypInfo.h"

#include <QString>

#include <memory>
#include <vector>

class TBatchItem : public TObject {
  VELL_CLASS(TBatchItem, TObject)
public:
  QString FileName;         // name with extension, no folder
  QString FilePath;         // containing folder as the scan was given it, ending in "/"
  qint32 FileSize = 0;      // low 32 bits of the size in bytes
  qint32 Width = 0;         // not measured by the scan
  qint32 Height = 0;        // not measured by the scan
  TDateTime ModifyTime = 0; // last write, local time, two-second resolution
};

class TBatchItemList : public TObject {
  VELL_CLASS(TBatchItemList, TObject)
public:
  // The item at index 0 to Count() - 1; EListError otherwise.
  TBatchItem &Items(int index) const;
  int Count() const { return static_cast<int>(FItems.size()); }
  // Appends the item and takes ownership; returns it.
  TBatchItem &Add(std::unique_ptr<TBatchItem> item);
  void Clear() { FItems.clear(); }

private:
  std::vector<std::unique_ptr<TBatchItem>> FItems;
};
