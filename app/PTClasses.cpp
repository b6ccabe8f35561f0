#include "app/PTClasses.h"

VELL_IMPLEMENT_CLASS(TBatchItem, TXMLPersistent, TProp::Field("FileName", &TBatchItem::FileName),
                     TProp::Field("FilePath", &TBatchItem::FilePath),
                     TProp::Field("FileSize", &TBatchItem::FileSize),
                     TProp::Field("Width", &TBatchItem::Width), TProp::Field("Height", &TBatchItem::Height),
                     TProp::Field("ModifyTime", &TBatchItem::ModifyTime))

std::unique_ptr<TXMLPersistent> TBatchItem::Clone() const {
  return CloneByAssign(*this);
}

VELL_IMPLEMENT_CLASS(TBatchItemList, TXMLObjectList)

TBatchItem &TBatchItemList::Items(int index) const {
  return static_cast<TBatchItem &>(*TXMLObjectList::Items(index));
}

TBatchItem &TBatchItemList::Add(std::unique_ptr<TBatchItem> item) {
  VELL_ASSERT(item != nullptr);
  TBatchItem &added = *item;
  TXMLObjectList::Add(std::move(item));
  return added;
}

std::unique_ptr<TObject> TBatchItemList::DoAddObject() {
  return std::make_unique<TBatchItem>();
}
