#include "imaging/VellPixelPool.h"

#include <algorithm>
#include <mutex>
#include <sys/mman.h>
#include <vector>

namespace {

// Images smaller than this are left to the ordinary allocator.
constexpr qsizetype PooledBytes = qsizetype(1) << 20;
// Blocks kept for reuse: one per worker of a two-core batch run and a spare.
constexpr size_t KeptBlocks = 3;

// Blocks are mapped in whole huge pages and asked for them: touching a huge
// page costs one fault instead of 512.
constexpr qsizetype HugePage = qsizetype(2) << 20;

struct TBlock {
  uchar *Data = nullptr; // HugePage-aligned start inside the mapping
  qsizetype Size = 0;    // usable bytes from Data
  void *Mapping = nullptr;
  size_t MappedBytes = 0;
};

TBlock MapBlock(qsizetype size) {
  const qsizetype usable = (size + HugePage - 1) / HugePage * HugePage;
  const size_t mapped = size_t(usable + HugePage);
  void *mapping = mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (mapping == MAP_FAILED)
    return {};
  const auto start = (reinterpret_cast<quintptr>(mapping) + HugePage - 1) / HugePage * HugePage;
  uchar *data = reinterpret_cast<uchar *>(start);
  madvise(data, size_t(usable), MADV_HUGEPAGE);
  return {data, usable, mapping, mapped};
}

void UnmapBlock(const TBlock &block) {
  munmap(block.Mapping, block.MappedBytes);
}

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
  return MapBlock(size);
}

void Release(void *info) {
  TBlock *block = static_cast<TBlock *>(info);
  std::lock_guard guard(PoolLock);
  FreeBlocks.push_back(*block);
  delete block;
  if (FreeBlocks.size() > KeptBlocks) {
    const auto smallest = std::min_element(FreeBlocks.begin(), FreeBlocks.end(),
                                           [](const TBlock &a, const TBlock &b) { return a.Size < b.Size; });
    UnmapBlock(*smallest);
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
