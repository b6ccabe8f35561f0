#include "tests/faults/TiffPatch.h"

#include <QtEndian>
#include <bit>
#include <cstring>
#include <functional>
#include <gtest/gtest.h>

namespace {

constexpr quint16 ImageWidthTag = 256;
constexpr quint16 ImageLengthTag = 257;
constexpr quint16 XResolutionTag = 282;
constexpr quint16 YResolutionTag = 283;
constexpr quint16 LongType = 4;

quint16 TypeCode(TResolutionEntry::Kind kind) {
  switch (kind) {
  case TResolutionEntry::Kind::Rational:
    return 5;
  case TResolutionEntry::Kind::SignedRational:
    return 10;
  case TResolutionEntry::Kind::Double:
    return 12;
  }
  return 0;
}

// The eight value bytes a resolution entry points to.
QByteArray ValueBytes(const TResolutionEntry &entry) {
  QByteArray bytes(8, '\0');
  if (entry.Type == TResolutionEntry::Kind::Double) {
    qToLittleEndian(std::bit_cast<quint64>(entry.Value), bytes.data());
  } else {
    qToLittleEndian(quint32(entry.Numerator), bytes.data());
    qToLittleEndian(quint32(entry.Denominator), bytes.data() + 4);
  }
  return bytes;
}

// Calls patch(field) for the 12-byte entry of each of the two tags in the
// first directory; both must be there.
QByteArray PatchEntries(const QByteArray &tiff, quint16 first, quint16 second,
                        const std::function<void(char *data, char *field)> &patch) {
  QByteArray result = tiff;
  EXPECT_TRUE(result.startsWith("II*")) << "little-endian classic TIFF expected";
  char *data = result.data();
  const quint32 ifd = qFromLittleEndian<quint32>(data + 4);
  const quint16 count = qFromLittleEndian<quint16>(data + ifd);
  int patched = 0;
  for (quint16 i = 0; i < count; ++i) {
    char *field = data + ifd + 2 + 12 * i;
    const quint16 tag = qFromLittleEndian<quint16>(field);
    if (tag == first || tag == second) {
      patch(data, field);
      ++patched;
    }
  }
  EXPECT_EQ(patched, 2) << "both entries must exist";
  return result;
}

} // namespace

QByteArray WithResolution(const QByteArray &tiff, const TResolutionEntry &entry) {
  return PatchEntries(tiff, XResolutionTag, YResolutionTag, [&](char *data, char *field) {
    qToLittleEndian(TypeCode(entry.Type), field + 2);
    const QByteArray value = ValueBytes(entry);
    std::memcpy(data + qFromLittleEndian<quint32>(field + 8), value.constData(), 8);
  });
}

QByteArray WithAnnouncedSize(const QByteArray &tiff, quint32 width, quint32 height) {
  return PatchEntries(tiff, ImageWidthTag, ImageLengthTag, [&](char *, char *field) {
    const bool isWidth = qFromLittleEndian<quint16>(field) == ImageWidthTag;
    qToLittleEndian(LongType, field + 2);
    qToLittleEndian(isWidth ? width : height, field + 8);
  });
}
