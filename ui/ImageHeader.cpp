#include "ui/ImageHeader.h"

#include "imaging/VellGDIPAPI.h"

QSize ReadImageSize(const QString &fileName, int *pageCount) {
  ImageHeader header;
  if (GdipReadImageHeader(fileName, 0, &header) != Ok)
    return {};
  if (pageCount)
    *pageCount = int(header.PageCount);
  return QSize(int(header.Width), int(header.Height));
}
