// The recording surface of a metafile: a drawing surface whose painter turns
// what is drawn (figures, text, bitmaps, another metafile's playback) into
// metafile records, EMF or WMF as the metafile's Enhanced flag says.
#pragma once

#include "PicFiles/VellHostGraphics.h"

#include <memory>

class TMetafile;
class TMetafileRecorder;

class TMetafileCanvas : public TCanvas {
public:
  // Records at the metafile's size; no reference device is used: a
  // recording pixel is one pixel at 96 dots per inch.
  explicit TMetafileCanvas(TMetafile &metafile);
  // Replaces the metafile's records by what was drawn.
  ~TMetafileCanvas() override;

private:
  TMetafile &FMetafile;
  std::unique_ptr<TMetafileRecorder> FRecorder;
  std::unique_ptr<QPainter> FPainter;
};
