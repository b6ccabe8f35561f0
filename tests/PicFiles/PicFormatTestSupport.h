// A small codec and format for the tests of the format base and its adapter.
#pragma once

#include "PicFiles/CodecPicFormat.h"

#include <QIODevice>

// File form: "TPIC", width and height (one byte each), the image format (one
// byte), then the pixels as R, G, B bytes, rows top to bottom.
class TTestGraphic : public TRasterCodecPicture {
  VELL_CLASS(TTestGraphic, TRasterCodecPicture)
public:
  bool FailEncoding = false;

  void LoadFromStream(QIODevice &stream) override;
  void SaveToStream(QIODevice &stream) const override;
  bool CanLoadFromStream(QIODevice &stream) const override { return stream.peek(4) == "TPIC"; }
  void ReadHeader(QIODevice &stream, TPicInfo &info) const override;
};

// A codec-backed format with one option, kept on TBmpAttr's DitherMode.
class TTestFormat : public TCodecPicFormat {
  VELL_CLASS(TTestFormat, TCodecPicFormat)
public:
  TTestFormat() : TCodecPicFormat(std::make_unique<TTestGraphic>()) {}
  TDitherModeEnum DitherMode = dmeFloydSteinberg;

  const TMetaClass &GetAttrClass() const override { return TBmpAttr::StaticClass(); }
  TTestGraphic &Graphic() const { return static_cast<TTestGraphic &>(Picture()); }

protected:
  bool HasOptions() const override { return true; }
  void ApplyOptions(const TVellPicAttr &attr) override { DitherMode = static_cast<const TBmpAttr &>(attr).DitherMode; }
  void FillOptions(TVellPicAttr &attr) const override { static_cast<TBmpAttr &>(attr).DitherMode = DitherMode; }
  void CopyOptions(const TCodecPicFormat &same) override {
    DitherMode = static_cast<const TTestFormat &>(same).DitherMode;
  }
};

// The same codec without options, attribute class TTgaAttr.
class TPlainTestFormat : public TCodecPicFormat {
  VELL_CLASS(TPlainTestFormat, TCodecPicFormat)
public:
  TPlainTestFormat() : TCodecPicFormat(std::make_unique<TTestGraphic>()) {}
  const TMetaClass &GetAttrClass() const override { return TTgaAttr::StaticClass(); }
};

// An RGB picture whose pixel (x, y) is (x * 40, y * 40, 200).
TBitmap GradientBitmap(int width, int height, int depth = 24);
QRgb GradientColour(int x, int y);

// The file a format writes, saved to memory.
QByteArray Saved(TBasePicFormat &format);
