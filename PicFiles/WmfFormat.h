// Windows metafiles and enhanced metafiles through the metafile object: the
// picture is always true colour and has no resolution; EnHanced chooses the
// form a save writes.
#pragma once

#include "PicFiles/CodecPicFormat.h"
#include "PicFiles/VellMetafile.h"
#include "PicFiles/VellPicAttrs.h"

class TWmfFormat : public TCodecPicFormat {
  VELL_CLASS(TWmfFormat, TCodecPicFormat)
public:
  TWmfFormat();
  const TMetaClass &GetAttrClass() const override { return TWmfAttr::StaticClass(); }

  bool GetEnHanced() const { return Metafile().Enhanced(); }
  void SetEnHanced(bool value) { Metafile().SetEnhanced(value); }

  // Playback stretched into rect; smooth makes no difference.
  void StretchDraw(TCanvas &canvas, const QRect &rect, bool smooth) const override;

  TMetafile &Metafile() const { return static_cast<TMetafile &>(Picture()); }

protected:
  bool HasOptions() const override { return true; }
  void ApplyOptions(const TVellPicAttr &attr) override;
  void FillOptions(TVellPicAttr &attr) const override;
  void CopyOptions(const TCodecPicFormat &source) override;
};
