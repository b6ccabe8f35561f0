#include "PicFiles/VellHostGraphics.h"

#include "imaging/VellBmpCodec.h"
#include "imaging/VellResample.h"

#include <QClipboard>
#include <QFile>
#include <QGuiApplication>
#include <QHash>

#include <cstring>
#include <limits>

VELL_IMPLEMENT_CLASS(TGraphic, TPersistent)
VELL_IMPLEMENT_CLASS(TBitmap, TGraphic)
VELL_IMPLEMENT_CLASS(TPicture, TPersistent)
VELL_IMPLEMENT_CLASS(TClipboard, TPersistent)

// ---- drawing surface ----

void TCanvas::Draw(int x, int y, const TGraphic &graphic) {
  graphic.Draw(Handle(), QRect(x, y, graphic.Width(), graphic.Height()));
}

void TCanvas::StretchDraw(const QRect &rect, const TGraphic &graphic) {
  graphic.Draw(Handle(), rect);
}

void HalftoneStretchBlt(TCanvas &dest, int x, int y, int width, int height, const TCanvas &source, int sx,
                        int sy, int swidth, int sheight) {
  const auto *pixels = dynamic_cast<const QImage *>(source.Handle().device());
  if (!pixels || width <= 0 || height <= 0 || swidth <= 0 || sheight <= 0)
    return;
  QImage area = pixels->copy(sx, sy, swidth, sheight).convertToFormat(QImage::Format_RGB32);
  QImage scaled(width, height, QImage::Format_BGR888);
  if (scaled.isNull() || !TVellResample::ScaleInto(area, scaled, scaled.rect()))
    return;
  QPainter &painter = dest.Handle();
  const QPoint origin = painter.brushOrigin();
  painter.save();
  painter.setCompositionMode(QPainter::CompositionMode_Source);
  painter.drawImage(QPoint(x, y), scaled);
  painter.restore();
  painter.setBrushOrigin(origin);
}

// ---- palettes and depth conversions ----

const QList<QRgb> &HalftonePalette() {
  static const QList<QRgb> palette = [] {
    QList<QRgb> colours;
    for (int r = 0; r < 6; ++r)
      for (int g = 0; g < 6; ++g)
        for (int b = 0; b < 6; ++b)
          colours.append(qRgb(r * 51, g * 51, b * 51));
    for (int i = 1; i < 45; ++i)
      if (i % 9 != 0) {
        const int level = (i * 255 + 22) / 45;
        colours.append(qRgb(level, level, level));
      }
    return colours;
  }();
  return palette;
}

const QList<QRgb> &StandardPalette16() {
  static const QList<QRgb> palette{
      qRgb(0, 0, 0),       qRgb(128, 0, 0),   qRgb(0, 128, 0),   qRgb(128, 128, 0),
      qRgb(0, 0, 128),     qRgb(128, 0, 128), qRgb(0, 128, 128), qRgb(192, 192, 192),
      qRgb(128, 128, 128), qRgb(255, 0, 0),   qRgb(0, 255, 0),   qRgb(255, 255, 0),
      qRgb(0, 0, 255),     qRgb(255, 0, 255), qRgb(0, 255, 255), qRgb(255, 255, 255)};
  return palette;
}

namespace {

int NearestIndex(QRgb colour, const QList<QRgb> &palette) {
  int best = 0;
  int bestDistance = std::numeric_limits<int>::max();
  for (int i = 0; i < palette.size(); ++i) {
    const int dr = qRed(colour) - qRed(palette[i]), dg = qGreen(colour) - qGreen(palette[i]),
              db = qBlue(colour) - qBlue(palette[i]);
    const int distance = dr * dr + dg * dg + db * db;
    if (distance < bestDistance) {
      bestDistance = distance;
      best = i;
    }
  }
  return best;
}

// Pixels mapped to the nearest palette entries, as an Indexed8 image.
QImage ToPalette(const QImage &source, const QList<QRgb> &palette) {
  const QImage rgb = source.convertToFormat(QImage::Format_RGB32);
  QImage out(rgb.size(), QImage::Format_Indexed8);
  out.setColorTable(palette);
  QHash<QRgb, uchar> cache;
  for (int y = 0; y < rgb.height(); ++y) {
    const auto *in = reinterpret_cast<const QRgb *>(rgb.constScanLine(y));
    uchar *row = out.scanLine(y);
    for (int x = 0; x < rgb.width(); ++x) {
      const QRgb colour = in[x] | 0xFF000000u;
      auto found = cache.constFind(colour);
      if (found == cache.constEnd())
        found = cache.insert(colour, uchar(NearestIndex(colour, palette)));
      row[x] = *found;
    }
  }
  return out;
}

QImage::Format StorageFormat(int depth) {
  switch (depth) {
  case 1:
    return QImage::Format_Mono;
  case 4:
  case 8:
    return QImage::Format_Indexed8;
  case 15:
    return QImage::Format_RGB555;
  case 16:
    return QImage::Format_RGB16;
  case 24:
    return QImage::Format_BGR888;
  default:
    return QImage::Format_ARGB32;
  }
}

QList<QRgb> DefaultPalette(int depth) {
  switch (depth) {
  case 1:
    return {qRgb(0, 0, 0), qRgb(255, 255, 255)};
  case 4:
    return StandardPalette16();
  case 8:
    return HalftonePalette();
  default:
    return {};
  }
}

// image converted to depth; palette pictures get the fixed palette of depth.
// The alpha of a 32-bit picture is dropped, not blended.
QImage Converted(QImage image, int depth) {
  if (image.format() == QImage::Format_ARGB32)
    image.reinterpretAsFormat(QImage::Format_RGB32);
  switch (depth) {
  case 1:
    return ToPalette(image, DefaultPalette(1)).convertToFormat(QImage::Format_Mono, DefaultPalette(1));
  case 4:
  case 8:
    return ToPalette(image, DefaultPalette(depth));
  case 32:
    return image.convertToFormat(QImage::Format_RGB32).convertToFormat(QImage::Format_ARGB32);
  default:
    return image.convertToFormat(StorageFormat(depth));
  }
}

int DepthOf(const QImage &image, int depthHint) {
  switch (image.format()) {
  case QImage::Format_Mono:
  case QImage::Format_MonoLSB:
    return 1;
  case QImage::Format_Indexed8:
    return depthHint == 4 && image.colorCount() <= 16 ? 4 : 8;
  case QImage::Format_RGB555:
    return 15;
  case QImage::Format_RGB16:
    return 16;
  case QImage::Format_BGR888:
  case QImage::Format_RGB888:
    return 24;
  default:
    return 32;
  }
}

} // namespace

// ---- device-independent bitmap ----

TBitmap::TBitmap(int width, int height, int pixelDepth) {
  SetPixelDepth(pixelDepth);
  SetSize(width, height);
}

void TBitmap::SetSize(int width, int height) {
  if (width == Width() && height == Height())
    return;
  if (width <= 0 || height <= 0) {
    FImage = QImage();
    return;
  }
  QImage resized(width, height, StorageFormat(FDepth));
  if (resized.isNull())
    throw EVellError(QStringLiteral("Out of memory for a %1 x %2 bitmap").arg(width).arg(height));
  resized.fill(0);
  if (!FPalette.isEmpty())
    resized.setColorTable(FPalette);
  const int bytes = int(std::min(resized.bytesPerLine(), FImage.bytesPerLine()));
  for (int y = 0; y < std::min(height, Height()); ++y)
    std::memcpy(resized.scanLine(y), FImage.constScanLine(y), size_t(bytes));
  FImage = resized;
}

void TBitmap::SetPixelDepth(int bits) {
  VELL_ASSERT(bits == 1 || bits == 4 || bits == 8 || bits == 15 || bits == 16 || bits == 24 || bits == 32);
  if (bits == FDepth)
    return;
  FDepth = bits;
  FPalette = DefaultPalette(bits);
  if (!FImage.isNull())
    FImage = Converted(FImage, bits);
}

void TBitmap::SetPalette(const QList<QRgb> &palette) {
  if (FDepth > 8)
    return;
  FPalette = palette;
  if (!FImage.isNull())
    FImage.setColorTable(palette);
}

void TBitmap::SetImage(const QImage &image, int depthHint) {
  FDepth = DepthOf(image, depthHint);
  FImage = image.format() == StorageFormat(FDepth) ? image : image.convertToFormat(StorageFormat(FDepth));
  FPalette = FDepth <= 8 ? FImage.colorTable() : QList<QRgb>();
  if (FDepth <= 8 && FPalette.isEmpty())
    SetPalette(DefaultPalette(FDepth));
}

void TBitmap::LoadFromStream(QIODevice &stream) {
  TBmpPicture picture;
  QString error;
  if (!TVellBmpCodec::Decode(stream, picture, error))
    throw EStreamError(error);
  SetImage(picture.Pixels, picture.BitsPerPixel);
  XPelsPerMeter = picture.XPelsPerMeter;
  YPelsPerMeter = picture.YPelsPerMeter;
}

void TBitmap::SaveToStream(QIODevice &stream) const {
  TBmpPicture picture{FImage, FDepth, XPelsPerMeter, YPelsPerMeter};
  QString error;
  if (!TVellBmpCodec::Encode(picture, stream, error))
    throw EStreamError(error);
}

void TBitmap::LoadFromFile(const QString &fileName) {
  QFile file(fileName);
  if (!file.open(QIODevice::ReadOnly))
    throw EFOpenError(QStringLiteral("Cannot open file \"%1\". %2").arg(fileName, file.errorString()));
  LoadFromStream(file);
}

void TBitmap::SaveToFile(const QString &fileName) const {
  SaveFileAtomically(fileName, [this](QIODevice *stream) { SaveToStream(*stream); });
}

void TBitmap::Assign(const TPersistent *source) {
  if (const auto *bitmap = dynamic_cast<const TBitmap *>(source)) {
    FImage = bitmap->FImage;
    FDepth = bitmap->FDepth;
    FPalette = bitmap->FPalette;
    Transparent = bitmap->Transparent;
    TransparentColor = bitmap->TransparentColor;
    XPelsPerMeter = bitmap->XPelsPerMeter;
    YPelsPerMeter = bitmap->YPelsPerMeter;
  } else if (const auto *graphic = dynamic_cast<const TGraphic *>(source)) {
    Clear();
    SetSize(graphic->Width(), graphic->Height());
    TBitmapCanvas canvas(*this);
    canvas.Draw(0, 0, *graphic);
  } else if (const auto *clipboard = dynamic_cast<const TClipboard *>(source)) {
    clipboard->GetBitmap(*this);
  } else {
    TPersistent::Assign(source);
  }
}

void TBitmap::Draw(QPainter &painter, const QRect &rect) const {
  if (FImage.isNull())
    return;
  if (!Transparent) {
    painter.drawImage(rect, FImage);
    return;
  }
  QImage masked = FImage.convertToFormat(QImage::Format_ARGB32);
  const QRgb key = TransparentColor | 0xFF000000u;
  for (int y = 0; y < masked.height(); ++y) {
    auto *row = reinterpret_cast<QRgb *>(masked.scanLine(y));
    for (int x = 0; x < masked.width(); ++x)
      if ((row[x] | 0xFF000000u) == key)
        row[x] = 0;
  }
  painter.drawImage(rect, masked);
}

// ---- drawing session on a bitmap ----

TBitmapCanvas::TBitmapCanvas(TBitmap &bitmap) : FBitmap(bitmap), FDirect(bitmap.FDepth > 8) {
  // An empty bitmap gets a scratch pixel, so that drawing on it is harmless.
  if (bitmap.FImage.isNull())
    FWork = QImage(1, 1, QImage::Format_RGB32);
  else if (!FDirect)
    FWork = bitmap.FImage.convertToFormat(QImage::Format_RGB32);
  FPainter = std::make_unique<QPainter>(FWork.isNull() ? &bitmap.FImage : &FWork);
  SetPainter(FPainter.get());
}

TBitmapCanvas::~TBitmapCanvas() {
  FPainter->end();
  if (FDirect || FBitmap.FImage.isNull())
    return;
  const QImage indexed = ToPalette(FWork, FBitmap.FPalette);
  FBitmap.FImage =
      FBitmap.FDepth == 1 ? indexed.convertToFormat(QImage::Format_Mono, FBitmap.FPalette) : indexed;
}

// ---- picture holder and clipboard ----

TBitmap &TPicture::Bitmap() {
  auto *bitmap = dynamic_cast<TBitmap *>(FGraphic.get());
  if (!bitmap) {
    auto fresh = std::make_unique<TBitmap>();
    bitmap = fresh.get();
    FGraphic = std::move(fresh);
  }
  return *bitmap;
}

namespace {
QClipboard *SystemClipboard() {
  VELL_ASSERT_MSG(qobject_cast<QGuiApplication *>(QCoreApplication::instance()),
                  QStringLiteral("The clipboard needs a GUI application"));
  return QGuiApplication::clipboard();
}
} // namespace

bool TClipboard::HasBitmap() const {
  return !SystemClipboard()->image().isNull();
}

void TClipboard::GetBitmap(TBitmap &bitmap) const {
  const QImage image = SystemClipboard()->image();
  if (image.isNull())
    throw EConvertError(QStringLiteral("The clipboard holds no bitmap"));
  bitmap.SetImage(image.hasAlphaChannel() ? image.convertToFormat(QImage::Format_ARGB32)
                                          : image.convertToFormat(QImage::Format_BGR888));
}

void TClipboard::SetBitmap(const TBitmap &bitmap) {
  SystemClipboard()->setImage(bitmap.Image());
}

void TClipboard::Assign(const TPersistent *source) {
  if (const auto *bitmap = dynamic_cast<const TBitmap *>(source))
    SetBitmap(*bitmap);
  else
    TPersistent::Assign(source);
}

void TClipboard::AssignTo(TPersistent *dest) const {
  if (auto *bitmap = dynamic_cast<TBitmap *>(dest))
    GetBitmap(*bitmap);
  else
    TPersistent::AssignTo(dest);
}

TClipboard &Clipboard() {
  static TClipboard clipboard;
  return clipboard;
}
