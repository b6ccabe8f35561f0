#include "imaging/VellPixelPool.h"

#include <algorithm>
#include <cstdlib>
#include <mutex>
#include <vector>

namespace {

// Images smaller than this are left to the ordinary allocator.
constexpr qsizetype PooledBytes = qsizetype(1) << 20;
// Blocks kept for reuse: one per worker of a two-core batch run and a spare.
constexpr size_t KeptBlocks = 3;

struct TBlock {
  uchar *Data = nullptr;
  qsizetype Size = 0;
};

std::mutex PoolLock;
std::vector<TBlock> FreeBlocks;

TBlock Acquire(qsizetype size) {
  {
    std::lock_guard guard(PoolLock);
    auto best = FreeBlocks.end();
    for (auto it = FreeBlocks.begin(); it != FreeBlocks.end(); ++it)
      if (it->Size >= size && (best == FreeBlocks.end() || it->Size < best->Size))
        best = it;
    if (best != FreeBlocks.end()) {
      const TBlock block = *best;
      FreeBlocks.erase(best);
      return block;
    }
  }
  return {static_cast<uchar *>(std::malloc(size_t(size))), size};
}

void Release(void *info) {
  TBlock *block = static_cast<TBlock *>(info);
  std::lock_guard guard(PoolLock);
  FreeBlocks.push_back(*block);
  delete block;
  if (FreeBlocks.size() > KeptBlocks) {
    const auto smallest = std::min_element(FreeBlocks.begin(), FreeBlocks.end(),
                                           [](const TBlock &a, const TBlock &b) { return a.Size < b.Size; });
    std::free(smallest->Data);
    FreeBlocks.erase(smallest);
  }
}

} // namespace

QImage TVellPixelPool::NewImage(int width, int height, QImage::Format format) {
  // Rows padded to 32 bits, as QImage lays out the images it allocates itself.
  const qsizetype bytesPerLine =
      (qsizetype(width) * QImage::toPixelFormat(format).bitsPerPixel() + 31) / 32 * 4;
  const qsizetype size = bytesPerLine * height;
  if (width <= 0 || height <= 0 || size < PooledBytes)
    return QImage(width, height, format);
  const TBlock block = Acquire(size);
  if (!block.Data)
    return QImage();
  return QImage(block.Data, width, height, bytesPerLine, format, Release, new TBlock(block));
}

qint64 TVellPixelPool::KeptBytes() {
  std::lock_guard guard(PoolLock);
  qint64 bytes = 0;
  for (const TBlock &block : FreeBlocks)
    bytes += block.Size;
  return bytes;
}
