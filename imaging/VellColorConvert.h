// Colour conversions of decoded samples to 8-bit sRGB through LittleCMS:
// CMYK (through the image's own profile where it has one) and CIE L*a*b*.
#pragma once

#include <QByteArray>
#include <QtGlobal>

// Rows of CMYK samples (0 = no ink, 8 or 16 bits, native byte order, four
// samples a pixel) as B, G, R bytes. An image's CMYK ICC profile converts
// them to sRGB; without one (or with one LittleCMS cannot use) the inks are
// simply inverted: R = (1 - C)(1 - K) and so on.
class TCmykToBgr {
public:
  TCmykToBgr(const QByteArray &iccProfile, int bitsPerSample);
  ~TCmykToBgr();
  TCmykToBgr(const TCmykToBgr &) = delete;
  TCmykToBgr &operator=(const TCmykToBgr &) = delete;

  bool UsesProfile() const { return FTransform != nullptr; }
  void Convert(const void *cmyk, uchar *bgr, quint32 width) const;

private:
  void *FTransform = nullptr; // cmsHTRANSFORM
  int FBits;
};

// Rows of CIE L*a*b* samples as TIFF stores them (L from 0 to 100 over the
// unsigned range, a* and b* signed, 8 or 16 bits, three samples a pixel)
// as sRGB B, G, R bytes. whiteX/whiteY: the chromaticity of the white the
// values are relative to.
class TLabToBgr {
public:
  TLabToBgr(int bitsPerSample, double whiteX, double whiteY);
  ~TLabToBgr();
  TLabToBgr(const TLabToBgr &) = delete;
  TLabToBgr &operator=(const TLabToBgr &) = delete;

  bool IsValid() const { return FTransform != nullptr; }
  void Convert(const void *lab, uchar *bgr, quint32 width) const;

private:
  void *FTransform = nullptr; // cmsHTRANSFORM
  int FBits;
};
