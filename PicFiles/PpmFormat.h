// Portable bitmaps, graymaps and pixmaps through the PPM codec picture, in
// text or binary form (Mode).
#pragma once

#include "PicFiles/CodecPicFormat.h"

class TPpmGraphic;

class TPpmFormat : public TCodecPicFormat {
  VELL_CLASS(TPpmFormat, TCodecPicFormat)
public:
  TPpmFormat();
  const TMetaClass &GetAttrClass() const override;

  TPpmModeEnum GetMode() const;
  void SetMode(TPpmModeEnum mode);

  // The picture is replaced even by an empty bitmap.
  void AssignFromBitmap(const TBitmap &bitmap, const TVellPicAttr *attr) override;
  // A graphic that is no bitmap always becomes true colour.
  void AssignFromGraphic(const TGraphic &graphic, const TVellPicAttr *attr) override;

protected:
  bool HasOptions() const override { return true; }
  void ApplyOptions(const TVellPicAttr &attr) override;
  void FillOptions(TVellPicAttr &attr) const override;
  void CopyOptions(const TCodecPicFormat &other) override;

private:
  TPpmGraphic &Ppm() const;
};
