#include "PicFiles/VellGraphUtils.h"

#include <QFile>
#include <QtEndian>

#include <array>
#include <cstring>

VELL_IMPLEMENT_CLASS(TVellBitmapEx, TXMLPersistent)

namespace {

constexpr int HeaderSize = 24;
constexpr char Magic[] = "VLBMPEX0";

// Unlocks on every way out of a scope.
class TLockGuard {
public:
  explicit TLockGuard(TVellBitmapEx &picture) : FPicture(picture), FData(picture.LockBits()) {}
  ~TLockGuard() { FPicture.UnlockBits(); }
  BitmapData *Data() const { return FData; }

private:
  TVellBitmapEx &FPicture;
  BitmapData *FData;
};

} // namespace

TVellBitmapEx::TVellBitmapEx() {
  SetSize(0, 0);
}

TVellBitmapEx::~TVellBitmapEx() {
  UnlockBits();
  FGraphics.reset();
  FBitmap.reset();
}

int TVellBitmapEx::GetWidth() const {
  return FBitmap ? int(FBitmap->GetWidth()) : 0;
}

int TVellBitmapEx::GetHeight() const {
  return FBitmap ? int(FBitmap->GetHeight()) : 0;
}

const QImage *TVellBitmapEx::Pixels() const {
  return FBitmap && !IsEmpty() ? GdipImagePixels(FBitmap->NativeImage()) : nullptr;
}

void TVellBitmapEx::Install(std::unique_ptr<TVellBitmap> bitmap) {
  UnlockBits();
  FGraphics.reset();
  FBitmap = std::move(bitmap);
  if (FBitmap && FBitmap->GetWidth() > 0 && FBitmap->GetPixelFormat() != PixelFormat32bppARGB)
    FBitmap = FBitmap->CloneArea(Rect{0, 0, int(FBitmap->GetWidth()), int(FBitmap->GetHeight())},
                                 PixelFormat32bppARGB);
  if (FBitmap)
    FGraphics = std::make_unique<TVellGraphics>(FBitmap.get());
  if (OnChange)
    OnChange(this);
}

void TVellBitmapEx::SetSize(int width, int height, bool keepContent, bool smooth) {
  if (IsEmpty() || !keepContent) {
    FGraphics.reset();
    FBitmap.reset();
    Install(width != 0 && height != 0 ? std::make_unique<TVellBitmap>(width, height, PixelFormat32bppARGB)
                                      : std::make_unique<TVellBitmap>(nullptr));
    return;
  }
  TVellBitmapEx temporary;
  if (quint32(width) * quint32(height) < quint32(GetWidth()) * quint32(GetHeight())) {
    StretchInto(temporary, width, height, smooth);
    AssignFromImage(temporary.Bitmap());
  } else {
    temporary.AssignFromImage(FBitmap.get());
    temporary.StretchInto(*this, width, height, smooth);
  }
}

void TVellBitmapEx::StretchInto(TVellBitmapEx &dest, int width, int height, bool smooth) const {
  dest.SetSize(width, height);
  if (!dest.Graphics() || !FBitmap)
    return;
  dest.Graphics()->SetSmoothing(smooth);
  // The source rectangle is one pixel smaller than the picture each way, but
  // never empty: a picture one pixel wide or high keeps that pixel.
  dest.Graphics()->DrawImage(FBitmap.get(), Rect{0, 0, dest.GetWidth(), dest.GetHeight()}, 0, 0,
                             std::max(GetWidth() - 1, 1), std::max(GetHeight() - 1, 1), UnitPixel);
}

BitmapData *TVellBitmapEx::LockBits() {
  if (IsEmpty())
    return nullptr;
  const Rect area{0, 0, GetWidth(), GetHeight()};
  if (FBitmap->LockBits(&area, ImageLockModeRead | ImageLockModeWrite, PixelFormat32bppARGB, &FBitmapData) != Ok)
    return nullptr;
  FLocked = true;
  return &FBitmapData;
}

void TVellBitmapEx::UnlockBits() {
  if (!FLocked)
    return;
  FBitmap->UnlockBits(&FBitmapData);
  FLocked = false;
}

uchar *TVellBitmapEx::ScanLine(int row) const {
  VELL_ASSERT(FLocked);
  return static_cast<uchar *>(FBitmapData.Scan0) + qint64(row) * FBitmapData.Stride / 4 * 4;
}

void TVellBitmapEx::SetAlpha(quint8 alpha, bool keepTransparent) {
  if (IsEmpty())
    return;
  std::array<quint8, 256> table;
  table.fill(keepTransparent ? std::max<quint8>(alpha, 1) : alpha);
  if (keepTransparent)
    table[0] = 0;
  TLockGuard lock(*this);
  if (!lock.Data())
    return;
  for (int y = 0; y < GetHeight(); ++y) {
    uchar *row = ScanLine(y);
    for (int x = 0; x < GetWidth(); ++x)
      row[4 * x + 3] = table[row[4 * x + 3]];
  }
}

bool TVellBitmapEx::SameAs(const TVellBitmapEx &other) const {
  if (GetWidth() != other.GetWidth() || GetHeight() != other.GetHeight())
    return false;
  if (IsEmpty())
    return true;
  const QImage *mine = Pixels(), *theirs = other.Pixels();
  if (!mine || !theirs)
    return mine == theirs;
  const size_t rowBytes = size_t(GetWidth()) * 4;
  for (int y = 0; y < GetHeight(); ++y)
    if (std::memcmp(mine->constScanLine(y), theirs->constScanLine(y), rowBytes) != 0)
      return false;
  return true;
}

void TVellBitmapEx::AssignFromImage(TVellImage *image) {
  if (!image || image->GetWidth() == 0 || image->GetHeight() == 0) {
    Clear();
    return;
  }
  const auto *pixels = GdipImagePixels(image->NativeImage());
  std::unique_ptr<TVellBitmap> copy;
  if (pixels)
    copy = std::make_unique<TVellBitmap>(pixels->convertToFormat(QImage::Format_ARGB32));
  FGraphics.reset();
  FBitmap.reset();
  Install(std::move(copy));
}

void TVellBitmapEx::AssignFromBitmap(TBitmap *bitmap) {
  if (!bitmap || bitmap->Empty()) {
    Clear();
    return;
  }
  FGraphics.reset();
  FBitmap.reset();
  bitmap->SetPixelDepth(32);
  Install(std::make_unique<TVellBitmap>(bitmap->Image()));
}

void TVellBitmapEx::AssignFromGraphic(const TGraphic &graphic) {
  TBitmap temporary;
  temporary.SetPixelDepth(32);
  temporary.Assign(&graphic);
  AssignFromBitmap(&temporary);
}

void TVellBitmapEx::AssignFromPicture(TPicture *picture) {
  TBitmap temporary;
  if (picture && picture->Graphic())
    temporary.Assign(picture->Graphic());
  AssignFromBitmap(&temporary);
}

void TVellBitmapEx::AssignFromClipboard() {
  TBitmap temporary;
  Clipboard().GetBitmap(temporary);
  AssignFromBitmap(&temporary);
}

void TVellBitmapEx::AssignToBitmap(TBitmap &bitmap) const {
  bitmap.Clear();
  if (const QImage *pixels = Pixels())
    bitmap.SetImage(pixels->copy());
}

void TVellBitmapEx::AssignToClipboard() const {
  if (IsEmpty())
    return;
  TBitmap temporary;
  AssignToBitmap(temporary);
  Clipboard().SetBitmap(temporary);
}

void TVellBitmapEx::WriteData(QIODevice &stream) const {
  const QImage *pixels = Pixels();
  if (!pixels)
    return;
  char header[HeaderSize];
  std::memcpy(header, Magic, 8);
  qToLittleEndian<quint32>(1, header + 8);
  qToLittleEndian<quint32>(0, header + 12);
  qToLittleEndian<qint32>(GetWidth(), header + 16);
  qToLittleEndian<qint32>(GetHeight(), header + 20);
  const qint64 bytes = qint64(GetWidth()) * GetHeight() * 4;
  if (stream.write(header, HeaderSize) != HeaderSize ||
      stream.write(reinterpret_cast<const char *>(pixels->constBits()), bytes) != bytes)
    throw EStreamError(QStringLiteral("Stream write error"));
}

void TVellBitmapEx::ReadData(QIODevice &stream) {
  const qint64 size = stream.size();
  auto fill = [this, &stream] {
    if (IsEmpty())
      return;
    {
      TLockGuard lock(*this);
      if (!lock.Data())
        return;
      stream.read(static_cast<char *>(lock.Data()->Scan0), qint64(GetWidth()) * GetHeight() * 4);
    }
    if (OnChange)
      OnChange(this);
  };
  if (size > HeaderSize) {
    char header[HeaderSize];
    if (stream.read(header, HeaderSize) == HeaderSize) {
      const qint32 width = qFromLittleEndian<qint32>(header + 16), height = qFromLittleEndian<qint32>(header + 20);
      // The product wraps at 32 bits, as the record's writer computed it.
      if (quint64(quint32(width) * quint32(height) * 4u) == quint64(size - HeaderSize)) {
        SetSize(width, height);
        fill();
        return;
      }
    }
  } else if (size <= 8) {
    Clear();
    return;
  }
  stream.seek(0);
  char sizes[8];
  if (stream.read(sizes, 8) != 8)
    throw EStreamError(QStringLiteral("Stream read error"));
  SetSize(qFromLittleEndian<qint32>(sizes), qFromLittleEndian<qint32>(sizes + 4));
  fill();
}

void TVellBitmapEx::DrawOn(TCanvas &canvas, int x, int y) const {
  if (const QImage *pixels = Pixels())
    canvas.Handle().drawImage(x, y, *pixels);
}

void TVellBitmapEx::Paint(const std::function<void(TCanvas &)> &paint) {
  if (!FGraphics)
    return;
  QPainter *dc = FGraphics->GetHDC();
  if (!dc)
    return;
  struct TRelease {
    TVellGraphics &Graphics;
    QPainter *Dc;
    ~TRelease() { Graphics.ReleaseHDC(Dc); }
  } release{*FGraphics, dc};
  TCanvas canvas(*dc);
  paint(canvas);
}

void TVellBitmapEx::Assign(const TPersistent *source) {
  if (!source) {
    Clear();
  } else if (const auto *container = dynamic_cast<const TVellBitmapEx *>(source)) {
    if (container != this)
      AssignFromImage(container->Bitmap());
  } else if (const auto *bitmap = dynamic_cast<const TBitmap *>(source)) {
    TBitmap copy;
    copy.Assign(bitmap);
    AssignFromBitmap(&copy);
  } else if (const auto *graphic = dynamic_cast<const TGraphic *>(source)) {
    AssignFromGraphic(*graphic);
  } else if (const auto *picture = dynamic_cast<const TPicture *>(source)) {
    AssignFromPicture(const_cast<TPicture *>(picture));
  } else if (dynamic_cast<const TClipboard *>(source)) {
    AssignFromClipboard();
  } else {
    TPersistent::Assign(source);
  }
}

void TVellBitmapEx::AssignTo(TPersistent *dest) const {
  if (auto *container = dynamic_cast<TVellBitmapEx *>(dest))
    container->AssignFromImage(FBitmap.get());
  else if (auto *bitmap = dynamic_cast<TBitmap *>(dest))
    AssignToBitmap(*bitmap);
  else if (auto *picture = dynamic_cast<TPicture *>(dest))
    AssignToBitmap(picture->Bitmap());
  else if (dynamic_cast<TClipboard *>(dest))
    AssignToClipboard();
  else
    TXMLPersistent::AssignTo(dest);
}

void TVellBitmapEx::AssignXML(const TXMLPersistent *source) {
  if (!source || source->ClassName() != ClassName() || source == this)
    return;
  AssignFromImage(static_cast<const TVellBitmapEx *>(source)->Bitmap());
}

std::unique_ptr<TXMLPersistent> TVellBitmapEx::Clone() const {
  return CloneByAssign(*this);
}

void TVellBitmapEx::LoadFromFile(const QString &fileName) {
  QFile file(fileName);
  if (!file.open(QIODevice::ReadOnly))
    throw EFOpenError(QStringLiteral("Cannot open file \"%1\". %2").arg(fileName, file.errorString()));
  LoadFromStream(&file);
}

void TVellBitmapEx::LoadFromStream(QIODevice *stream) {
  VELL_ASSERT(stream);
  ReadData(*stream);
}

void TVellBitmapEx::SaveToFile(const QString &fileName) const {
  SaveFileAtomically(fileName, [this](QIODevice *stream) { SaveToStream(stream); });
}

void TVellBitmapEx::SaveToStream(QIODevice *stream) const {
  VELL_ASSERT(stream);
  WriteData(*stream);
}

void TVellBitmapEx::SaveToXML(const IXMLNodePtr &element) const {
  TXMLPersistent::SaveToXML(element);
  TXMLMemoryStream record(true);
  WriteData(record.Stream());
  record.Stream().seek(0);
  record.SaveToXML(element);
}

void TVellBitmapEx::LoadFromXML(const IXMLNodePtr &element) {
  TXMLMemoryStream record(true);
  record.LoadFromXML(element);
  Clear();
  if (record.Stream().size() > 0) {
    record.Stream().seek(0);
    ReadData(record.Stream());
  }
}
