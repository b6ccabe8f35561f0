#include "ui/ImageHeader.h"

#include "imaging/VellGDIPAPI.h"

QSize ReadImageSize(const QString &fileName) {
  ImageHeader header;
  if (GdipReadImageHeader(fileName, 0, &header) != Ok)
    return {};
  return QSize(int(header.Width), int(header.Height));
}
