// The adapter shared by the codec-backed formats: every operation of the
// format base carried out on the one codec picture the format owns. A format
// class adds its codec picture, attribute class and options:
//
//   class TTgaFormat : public TCodecPicFormat {
//     VELL_CLASS(TTgaFormat, TCodecPicFormat)
//   public:
//     TTgaFormat() : TCodecPicFormat(std::make_unique<TTgaGraphic>()) {}
//     const TMetaClass &GetAttrClass() const override { return TTgaAttr::StaticClass(); }
//   };
#pragma once

#include "PicFiles/VellCodecPicture.h"

class TCodecPicFormat : public TBasePicFormat {
  VELL_CLASS(TCodecPicFormat, TBasePicFormat)
public:
  qint32 GetHeight() const override;
  TImageFormatEnum GetImageFormat() const override;
  qint32 GetWidth() const override;
  quint16 GetXDotsPerInch() const override;
  quint16 GetYDotsPerInch() const override;
  void SetXDotsPerInch(quint16 value) override;
  void SetYDotsPerInch(quint16 value) override;

  bool CanLoadFromStream(QIODevice &stream) const override;
  void Draw(TCanvas &canvas, int x, int y) const override;
  // An empty bitmap empties the picture; otherwise a new picture of the
  // bitmap's size in attr's image format (without attr the one of the
  // bitmap's depth) receives the bitmap. Then attr's resolutions and options.
  void AssignFromBitmap(const TBitmap &bitmap, const TVellPicAttr *attr) override;
  void AssignFromBitmapEx(const TVellBitmapEx &bitmapEx, const TVellPicAttr *attr) override;
  void AssignFromGraphic(const TGraphic &graphic, const TVellPicAttr *attr) override;
  // attr must be of the attribute class. A format of this very class whose
  // image format is the wanted one is copied; any other is drawn.
  void AssignFromFormat(const TBasePicFormat *format, const TVellPicAttr *attr) override;
  // Decodes from position 0.
  void LoadFromStream(QIODevice &stream) override;
  void NewImage(int width, int height, TImageFormatEnum format) override;
  void ReadInfo(QIODevice &stream, TPicInfo &info) override;
  void SaveToStream(QIODevice &stream) override;
  void StretchDraw(TCanvas &canvas, const QRect &rect, bool smooth) const override;
  void AssignToBitmap(TBitmap &bitmap) const override;
  void FillAttr(TVellPicAttr &attr) const override;

  TCodecPicture &Picture() const { return *FPicture; }

protected:
  explicit TCodecPicFormat(std::unique_ptr<TCodecPicture> picture);

  // Options of the format, for formats that have some. attr is always of
  // the attribute class when these are called.
  virtual bool HasOptions() const { return false; }
  virtual void ApplyOptions(const TVellPicAttr &) {}
  virtual void FillOptions(TVellPicAttr &) const {}
  // Takes the options of another object of this very class.
  virtual void CopyOptions(const TCodecPicFormat &) {}

  // Resolutions and options of attr, after its class test when the format
  // has options.
  void ApplyAttr(const TVellPicAttr *attr);
  // The image format a picture is assigned with: attr's, else fallback.
  static TImageFormatEnum WantedFormat(const TVellPicAttr *attr, TImageFormatEnum fallback);

private:
  std::unique_ptr<TCodecPicture> FPicture;
};
