// Memory for decoded pixels, in huge pages and kept for reuse between images.
// Touching freshly mapped memory costs a page fault per 4 KiB page, which on
// virtual machines can take longer than decoding the pixels (about 7 ms per
// MiB here, against 0.2 ms per MiB in huge pages); a batch run decodes one
// large image after another, so the blocks of finished images serve the next.
#pragma once

#include <QImage>

class TVellPixelPool {
public:
  TVellPixelPool() = delete;
  // A new image (pixels not initialised) whose memory comes from the pool and
  // goes back to it when its last copy is gone; small images are allocated
  // as usual. A null image when memory runs out.
  static QImage NewImage(int width, int height, QImage::Format format);
  // Bytes held for reuse.
  static qint64 KeptBytes();
};
