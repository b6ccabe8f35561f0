#include "app/BatchMemory.h"

#include <QFile>

#include <algorithm>
#include <chrono>

namespace {

constexpr qint64 MiB = 1024 * 1024;

// The number after key in /proc/meminfo, in bytes; 0 when missing.
qint64 MemInfoBytes(const QByteArray &key) {
  QFile file(QStringLiteral("/proc/meminfo"));
  if (!file.open(QIODevice::ReadOnly))
    return 0;
  for (const QByteArray &line : file.readAll().split('\n'))
    if (line.startsWith(key + ':'))
      return line.mid(key.size() + 1).trimmed().split(' ').value(0).toLongLong() * 1024;
  return 0;
}

// What the control group (cgroup v2) still allows; 0 when unlimited or unknown.
qint64 CgroupRoom() {
  QFile max(QStringLiteral("/sys/fs/cgroup/memory.max"));
  QFile current(QStringLiteral("/sys/fs/cgroup/memory.current"));
  if (!max.open(QIODevice::ReadOnly) || !current.open(QIODevice::ReadOnly))
    return 0;
  bool limited = false;
  const qint64 limit = max.readAll().trimmed().toLongLong(&limited);
  if (!limited)
    return 0;
  return std::max<qint64>(0, limit - current.readAll().trimmed().toLongLong());
}

} // namespace

qint64 PageMemoryEstimate(const ImageHeader &header, QSize page) {
  const PixelFormat format = header.PixelFormat;
  // 48-bit colour is held in 64 bits a pixel.
  const qint64 bits = format == PixelFormat48bppRGB ? 64 : std::max(GetPixelFormatSize(format), 1);
  const qint64 width = header.Width, height = header.Height;
  const qint64 decoded = height * ((width * bits + 31) / 32 * 4);
  qint64 bytes = 2 * decoded + 16 * MiB;
  const bool drawn = format == PixelFormat32bppARGB || format == PixelFormat32bppPARGB ||
                     format == PixelFormat48bppRGB || format == PixelFormat64bppARGB ||
                     format == PixelFormat64bppPARGB;
  if (drawn && !page.isEmpty())
    bytes += 3 * qint64(page.width()) * page.height() + 4 * width * height;
  return bytes;
}

qint64 AvailableMemory() {
  const qint64 available = MemInfoBytes("MemAvailable");
  const qint64 room = CgroupRoom();
  return room > 0 && (available == 0 || room < available) ? room : available;
}

qint64 DefaultMemoryBudget() {
  return std::max(AvailableMemory() / 2, 256 * MiB);
}

bool TMemoryBudget::Take(qint64 bytes, const std::function<bool()> &cancelled) {
  std::unique_lock lock(FLock);
  const quint64 ticket = FNextTicket++;
  const auto mayTake = [&] { return ticket == FServing && (FTaken == 0 || FTaken + bytes <= FLimit); };
  while (!mayTake()) {
    FChanged.wait_for(lock, std::chrono::milliseconds(100));
    // A cancelled run cancels every waiting item, so the queue is not needed after.
    if (!mayTake() && cancelled())
      return false;
  }
  FTaken += bytes;
  ++FServing;
  FChanged.notify_all();
  return true;
}

void TMemoryBudget::Give(qint64 bytes) {
  std::lock_guard lock(FLock);
  FTaken -= bytes;
  FChanged.notify_all();
}
