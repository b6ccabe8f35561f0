// Photoshop files, read only, through the PSD codec picture: the picture is
// always true colour and has no resolution; every operation that would
// write or create a picture raises an assertion failure and leaves it as it was.
#pragma once

#include "PicFiles/CodecPicFormat.h"

class TPsdFormat : public TCodecPicFormat {
  VELL_CLASS(TPsdFormat, TCodecPicFormat)
public:
  TPsdFormat();
  const TMetaClass &GetAttrClass() const override;
  bool IsFeatureSupported() const override { return false; }

  TImageFormatEnum GetImageFormat() const override { return ifeTrueColor; }
  quint16 GetXDotsPerInch() const override { return 0; }
  quint16 GetYDotsPerInch() const override { return 0; }
  void SetXDotsPerInch(quint16) override {}
  void SetYDotsPerInch(quint16) override {}

  void AssignFromBitmap(const TBitmap &bitmap, const TVellPicAttr *attr) override;
  void AssignFromBitmapEx(const TVellBitmapEx &bitmapEx, const TVellPicAttr *attr) override;
  void AssignFromGraphic(const TGraphic &graphic, const TVellPicAttr *attr) override;
  void AssignFromFormat(const TBasePicFormat *format, const TVellPicAttr *attr) override;
  void NewImage(int width, int height, TImageFormatEnum format) override;
  void SaveToStream(QIODevice &stream) override;

  // Decodes from the stream's position.
  void LoadFromStream(QIODevice &stream) override;
  // Operations {poLoad}, width, height and bits per pixel.
  void ReadInfo(QIODevice &stream, TPicInfo &info) override;
};
