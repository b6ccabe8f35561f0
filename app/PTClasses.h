// The batch: one item per source image found by the scan, and the owning
// ordered list of them.
#pragma once

#include "Common/VellClasses.h"
#include "Common/VellTypInfo.h"

#include <QString>

#include <memory>

class TBatchItem : public TXMLPersistent {
  VELL_CLASS(TBatchItem, TXMLPersistent)
public:
  QString FileName;         // name with extension, no folder
  QString FilePath;         // containing folder as the scan was given it, ending in "/"
  qint32 FileSize = 0;      // low 32 bits of the size in bytes
  qint32 Width = 0;         // not measured by the scan
  qint32 Height = 0;        // not measured by the scan
  TDateTime ModifyTime = 0; // last write, local time, two-second resolution

  std::unique_ptr<TXMLPersistent> Clone() const override;
};

// Saved as XML like any persistent list; it makes TBatchItem items, so a saved
// batch loads back.
class TBatchItemList : public TXMLObjectList {
  VELL_CLASS(TBatchItemList, TXMLObjectList)
public:
  // The item at index 0 to Count() - 1; EListError otherwise.
  TBatchItem &Items(int index) const;
  // Appends the item and takes ownership; returns it.
  TBatchItem &Add(std::unique_ptr<TBatchItem> item);
  std::unique_ptr<TObject> DoAddObject() override;
};
