#include "imaging/VellColorConvert.h"

#include <lcms2.h>

#include <cstring>
#include <vector>

namespace {

// Opens the profile when it describes CMYK; null otherwise.
cmsHPROFILE OpenCmykProfile(const QByteArray &iccProfile) {
  if (iccProfile.isEmpty())
    return nullptr;
  cmsHPROFILE profile = cmsOpenProfileFromMem(iccProfile.constData(), cmsUInt32Number(iccProfile.size()));
  if (profile && cmsGetColorSpace(profile) != cmsSigCmykData) {
    cmsCloseProfile(profile);
    profile = nullptr;
  }
  return profile;
}

// A transform into sRGB B, G, R bytes, the two profiles closed afterwards.
cmsHTRANSFORM ToSrgbBgr(cmsHPROFILE source, cmsUInt32Number sourceType) {
  if (!source)
    return nullptr;
  cmsHPROFILE srgb = cmsCreate_sRGBProfile();
  cmsHTRANSFORM transform =
      srgb ? cmsCreateTransform(source, sourceType, srgb, TYPE_BGR_8, INTENT_PERCEPTUAL, 0) : nullptr;
  cmsCloseProfile(source);
  if (srgb)
    cmsCloseProfile(srgb);
  return transform;
}

void DeleteTransform(void *transform) {
  if (transform)
    cmsDeleteTransform(static_cast<cmsHTRANSFORM>(transform));
}

template <typename TSample> void InvertInks(const TSample *cmyk, uchar *bgr, quint32 width) {
  constexpr quint32 full = TSample(~TSample(0));
  for (quint32 x = 0; x < width; ++x, cmyk += 4, bgr += 3) {
    const quint32 white = full - cmyk[3];
    for (int c = 0; c < 3; ++c) {
      const quint32 level = (full - cmyk[c]) * white / full; // in the sample's range
      bgr[2 - c] = uchar(full == 255 ? level : (level + 128) / 257);
    }
  }
}

} // namespace

TCmykToBgr::TCmykToBgr(const QByteArray &iccProfile, int bitsPerSample) : FBits(bitsPerSample) {
  FTransform = ToSrgbBgr(OpenCmykProfile(iccProfile), bitsPerSample == 16 ? TYPE_CMYK_16 : TYPE_CMYK_8);
}

TCmykToBgr::~TCmykToBgr() {
  DeleteTransform(FTransform);
}

void TCmykToBgr::Convert(const void *cmyk, uchar *bgr, quint32 width) const {
  if (FTransform)
    cmsDoTransform(static_cast<cmsHTRANSFORM>(FTransform), cmyk, bgr, width);
  else if (FBits == 16)
    InvertInks(static_cast<const quint16 *>(cmyk), bgr, width);
  else
    InvertInks(static_cast<const uchar *>(cmyk), bgr, width);
}

TLabToBgr::TLabToBgr(int bitsPerSample, double whiteX, double whiteY) : FBits(bitsPerSample) {
  if (!(whiteX > 0 && whiteY > 0 && whiteX + whiteY < 1))
    return;
  const cmsCIExyY white{whiteX, whiteY, 1.0};
  FTransform = ToSrgbBgr(cmsCreateLab4Profile(&white), TYPE_Lab_DBL);
}

TLabToBgr::~TLabToBgr() {
  DeleteTransform(FTransform);
}

void TLabToBgr::Convert(const void *lab, uchar *bgr, quint32 width) const {
  std::vector<cmsCIELab> values(width);
  for (quint32 x = 0; x < width; ++x) {
    if (FBits == 16) {
      const auto *samples = static_cast<const quint16 *>(lab) + 3 * size_t(x);
      values[x] = {samples[0] * 100.0 / 65535, qint16(samples[1]) / 256.0, qint16(samples[2]) / 256.0};
    } else {
      const auto *samples = static_cast<const uchar *>(lab) + 3 * size_t(x);
      values[x] = {samples[0] * 100.0 / 255, double(qint8(samples[1])), double(qint8(samples[2]))};
    }
  }
  if (FTransform)
    cmsDoTransform(static_cast<cmsHTRANSFORM>(FTransform), values.data(), bgr, width);
}
