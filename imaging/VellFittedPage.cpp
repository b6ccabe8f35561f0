// The rows of a fitted page, the batch run's one operation on a page: a white
// 24-bit page with the image scaled into a rectangle, produced row by row by
// the service's scaler, so the page is never built.
#include "imaging/VellGDIPPrivate.h"
#include "imaging/VellResample.h"

#include <cstring>

TEncodePage FittedPageRows(const QImage &source, QSize page, const QRect &draw, float dpi) {
  auto scaler = std::make_shared<TVellRowScaler>(source, draw.width(), draw.height(), TVellChannelOrder::Rgb);
  const size_t rowBytes = size_t(page.width()) * 3;
  TEncodePage rows;
  rows.RowsSize = page;
  rows.RowsDpi = dpi;
  rows.FillRgbRow = [scaler, rowBytes, draw](int y, uchar *row) {
    std::memset(row, 0xFF, rowBytes);
    if (y >= draw.top() && y <= draw.bottom())
      scaler->NextRow(row + size_t(draw.x()) * 3);
  };
  return rows;
}
