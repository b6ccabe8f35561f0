// The working memory of a run: what an item needs, estimated from its header
// before it is decoded, and the budget the workers take it from.
#pragma once

#include "imaging/VellGDIPAPI.h"

#include <QSize>
#include <QtGlobal>

#include <condition_variable>
#include <functional>
#include <mutex>

// Memory the system can give this process now: the available memory, within
// the control group's limit where one is set; 0 when it cannot be read.
qint64 AvailableMemory();

// Working memory of converting one image page whose header says header:
// twice the decoded pixels (the image and one passing copy: a turn, a format
// conversion or the codec's buffer), plus 16 MiB of rows, strips and codec
// state; a page for an image with alpha or 16-bit colour, which is drawn
// instead of streamed, adds the page's 24-bit pixels and a 32-bit copy of
// the image. page is empty when the image is written as it is.
qint64 PageMemoryEstimate(const ImageHeader &header, QSize page);

// The budget of a run that sets none: half the memory available at start,
// at least 256 MiB.
qint64 DefaultMemoryBudget();

// Working memory shared by the workers. An item takes its estimate before it
// decodes and gives it back when written; it waits while the budget is spent.
// Items are served in the order they ask, so a large item is not passed over
// forever; one larger than the whole budget waits until nothing else is taken
// and then runs alone.
class TMemoryBudget {
public:
  explicit TMemoryBudget(qint64 bytes) : FLimit(bytes) {}

  // Waits until bytes may be taken and takes them; false, taking nothing,
  // when cancelled() turns true while waiting.
  bool Take(qint64 bytes, const std::function<bool()> &cancelled);
  void Give(qint64 bytes);

  qint64 Limit() const { return FLimit; }

private:
  const qint64 FLimit;
  std::mutex FLock;
  std::condition_variable FChanged;
  qint64 FTaken = 0;
  quint64 FNextTicket = 0;
  quint64 FServing = 0;
};
