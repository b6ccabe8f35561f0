// The imaging service's own scaler for opaque images drawn into 24-bit pages:
// separable, fixed-point, area-averaging when reducing and linear when
// enlarging, one pass over the source rows with a small ring of scaled rows.
#pragma once

#include <QImage>
#include <QRect>
#include <memory>

enum class TVellChannelOrder { Bgr, Rgb };

// Scales a source to width x height one output row at a time, from top to
// bottom; TVellResample::Handles(source) must hold, and the source must stay
// unchanged while the scaler lives.
class TVellRowScaler {
public:
  TVellRowScaler(const QImage &source, int width, int height, TVellChannelOrder order);
  ~TVellRowScaler();
  // Writes the next row as width 8-bit triples in the scaler's channel order.
  void NextRow(uchar *out);

private:
  struct TState;
  std::unique_ptr<TState> State;
};

class TVellResample {
public:
  TVellResample() = delete;
  // True when ScaleInto handles this source: opaque Mono, MonoLSB, Indexed8,
  // Grayscale8, Grayscale16, RGB888, BGR888 and RGB32 images.
  static bool Handles(const QImage &source);
  // Scales the whole source into dest of a Format_BGR888 target, replacing the
  // pixels there and leaving the rest of the target alone. Returns false, with
  // nothing changed, when the source is not handled, the target is not
  // BGR888, or dest is empty or not inside the target.
  static bool ScaleInto(const QImage &source, QImage &target, const QRect &dest);
  // Copies pixels 8-bit triples from in to out with the first and third byte
  // of each swapped (BGR to RGB and back); in and out may be the same.
  static void SwapRedBlue(const uchar *in, uchar *out, size_t pixels);
};
