#include "app/PTClasses.h"

VELL_IMPLEMENT_CLASS(TBatchItem, TObject, TProp::Field("FileName", &TBatchItem::FileName),
                     TProp::Field("FilePath", &TBatchItem::FilePath),
                     TProp::Field("FileSize", &TBatchItem::FileSize),
                     TProp::Field("Width", &TBatchItem::Width), TProp::Field("Height", &TBatchItem::Height),
                     TProp::Field("ModifyTime", &TBatchItem::ModifyTime))

VELL_IMPLEMENT_CLASS(TBatchItemList, TObject)

TBatchItem &TBatchItemList::Items(int index) const {
  if (index < 0 || index >= Count())
    throw EListError(QStringLiteral("List index out of bounds (%1)").arg(index));
  return *FItems[static_cast<size_t>(index)];
}

TBatchItem &TBatchItemList::Add(std::unique_ptr<TBatchItem> item) {
  VELL_ASSERT(item != nullptr);
  FItems.push_back(std::move(item));
  return *FItems.back();
}
