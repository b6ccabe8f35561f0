#include "tests/support/TestImages.h"

#include <QFile>
#include <QtEndian>

#include <algorithm>
#include <bit>
#include <cmath>
#include <gtest/gtest.h>
#include <vector>
#include <zlib.h>

namespace {

quint16 Scale16(uint value, int bits) {
  return quint16(value * 65535u / ((1u << bits) - 1));
}

// Palette entry i, channel c, 8 bits.
uint PaletteLevel(uint i, int c) {
  return (i * 37 + uint(c) * 91 + 11) % 256;
}

uint ColourMapEntry8(const TTiffSpec &spec, uint i, int c) {
  return spec.BitsPerSample == 1 ? (i ? 200u - uint(c) * 50 : 20u + uint(c) * 10) : PaletteLevel(i, c);
}

// Packs the samples of one row (or one plane of it) MSB first.
std::vector<uchar> PackRow(const TTiffSpec &spec, int y, int plane, int width) {
  const int samples = spec.Planar == PLANARCONFIG_SEPARATE ? 1 : spec.SamplesPerPixel;
  const int bits = spec.BitsPerSample;
  std::vector<uchar> row(size_t((qint64(width) * samples * bits + 7) / 8), 0);
  for (int x = 0; x < width; ++x)
    for (int s = 0; s < samples; ++s) {
      const uint value = PatternSample(spec, x, y, spec.Planar == PLANARCONFIG_SEPARATE ? plane : s);
      const qint64 index = qint64(x) * samples + s;
      if (bits == 32) {
        qToUnaligned(quint32(value), row.data() + index * 4);
      } else if (bits == 16) {
        qToUnaligned(quint16(value), row.data() + index * 2);
      } else if (bits == 8) {
        row[size_t(index)] = uchar(value);
      } else {
        const qint64 bit = index * bits;
        row[size_t(bit / 8)] |= uchar(value << (8 - bits - bit % 8));
      }
    }
  return row;
}

void SetTags(TIFF *tif, const TTiffSpec &spec, int width) {
  TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, quint32(width));
  TIFFSetField(tif, TIFFTAG_IMAGELENGTH, quint32(spec.Height));
  TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, spec.BitsPerSample);
  TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, spec.SamplesPerPixel);
  TIFFSetField(tif, TIFFTAG_PLANARCONFIG, spec.Planar);
  TIFFSetField(tif, TIFFTAG_SAMPLEFORMAT, spec.SampleFormat);
  TIFFSetField(tif, TIFFTAG_COMPRESSION, spec.Compression);
  if (spec.Compression == COMPRESSION_JPEG) {
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_YCBCR);
    TIFFSetField(tif, TIFFTAG_JPEGQUALITY, 95);
    TIFFSetField(tif, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
  } else {
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, spec.Photometric);
  }
  if (spec.Photometric == PHOTOMETRIC_SEPARATED)
    TIFFSetField(tif, TIFFTAG_INKSET, INKSET_CMYK);
  if (spec.ExtraSample) {
    const quint16 kind = spec.ExtraSample;
    TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, 1, &kind);
  }
  if (spec.Photometric == PHOTOMETRIC_PALETTE) {
    const size_t count = size_t(1) << spec.BitsPerSample;
    std::vector<quint16> map[3];
    for (int c = 0; c < 3; ++c)
      for (size_t i = 0; i < count; ++i)
        map[c].push_back(quint16(ColourMapEntry8(spec, uint(i), c) * 257));
    TIFFSetField(tif, TIFFTAG_COLORMAP, map[0].data(), map[1].data(), map[2].data());
  }
  if (spec.Unit) {
    TIFFSetField(tif, TIFFTAG_XRESOLUTION, spec.XResolution);
    TIFFSetField(tif, TIFFTAG_YRESOLUTION, spec.YResolution);
    TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, spec.Unit);
  }
  if (spec.Orientation)
    TIFFSetField(tif, TIFFTAG_ORIENTATION, spec.Orientation);
  if (!spec.IccProfile.isEmpty())
    TIFFSetField(tif, TIFFTAG_ICCPROFILE, quint32(spec.IccProfile.size()), spec.IccProfile.constData());
  if (spec.Tiled) {
    TIFFSetField(tif, TIFFTAG_TILEWIDTH, 16u);
    TIFFSetField(tif, TIFFTAG_TILELENGTH, 16u);
  } else {
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, spec.RowsPerStrip);
  }
}

void WriteTiles(TIFF *tif, const TTiffSpec &spec, int width) {
  const int planes = spec.Planar == PLANARCONFIG_SEPARATE ? spec.SamplesPerPixel : 1;
  const tmsize_t tileRowBytes = TIFFTileRowSize(tif);
  for (int plane = 0; plane < planes; ++plane)
    for (int top = 0; top < spec.Height; top += 16)
      for (int left = 0; left < width; left += 16) {
        std::vector<uchar> tile(size_t(TIFFTileSize(tif)), 0);
        for (int r = 0; r < 16 && top + r < spec.Height; ++r) {
          const std::vector<uchar> row = PackRow(spec, top + r, plane, width);
          const size_t offset =
              size_t(qint64(left) * (planes == 1 ? spec.SamplesPerPixel : 1) * spec.BitsPerSample / 8);
          const size_t bytes = std::min(size_t(tileRowBytes), row.size() - offset);
          std::copy_n(row.begin() + qsizetype(offset), bytes, tile.begin() + r * tileRowBytes);
        }
        ASSERT_GE(TIFFWriteTile(tif, tile.data(), quint32(left), quint32(top), 0, quint16(plane)), 0);
      }
}

void WriteStrips(TIFF *tif, const TTiffSpec &spec, int width) {
  const int planes = spec.Planar == PLANARCONFIG_SEPARATE ? spec.SamplesPerPixel : 1;
  for (int plane = 0; plane < planes; ++plane)
    for (int y = 0; y < spec.Height; ++y) {
      std::vector<uchar> row = PackRow(spec, y, plane, width);
      ASSERT_GE(TIFFWriteScanline(tif, row.data(), quint32(y), quint16(plane)), 0);
    }
}

} // namespace

uint PatternSample(const TTiffSpec &spec, int x, int y, int c) {
  const int bits = spec.BitsPerSample;
  if (bits < 8)
    return uint(x + 2 * y + c) % (1u << bits);
  const uint smooth = uint(std::min(255, x * 3 + y * 4 + c * 50));
  const uint noise = uint(x * y * 7 + c) % 256;
  if (bits == 32 && spec.SampleFormat == SAMPLEFORMAT_IEEEFP)
    return std::bit_cast<quint32>(float(smooth) / 255.0f);
  if (bits == 32)
    return (smooth << (spec.SampleFormat == SAMPLEFORMAT_INT ? 23 : 24)) + noise;
  return bits == 16 ? smooth * 256 + noise : smooth;
}

QRgba64 PatternColour(const TTiffSpec &spec, int x, int y) {
  const int bits = spec.BitsPerSample;
  // 32-bit samples are shown at 8 bits: their smooth part.
  auto channel = [&](int c) {
    return bits == 32 ? quint16(std::min(255, x * 3 + y * 4 + c * 50) * 257)
                      : Scale16(PatternSample(spec, x, y, c), bits);
  };
  switch (spec.Photometric) {
  case PHOTOMETRIC_MINISBLACK:
    return QRgba64::fromRgba64(channel(0), channel(0), channel(0), 0xFFFF);
  case PHOTOMETRIC_MINISWHITE: {
    const quint16 level = quint16(0xFFFF - channel(0));
    return QRgba64::fromRgba64(level, level, level, 0xFFFF);
  }
  case PHOTOMETRIC_PALETTE: {
    const uint i = PatternSample(spec, x, y, 0);
    return QRgba64::fromRgba64(quint16(ColourMapEntry8(spec, i, 0) * 257),
                               quint16(ColourMapEntry8(spec, i, 1) * 257),
                               quint16(ColourMapEntry8(spec, i, 2) * 257), 0xFFFF);
  }
  case PHOTOMETRIC_SEPARATED: {
    const double full = (1u << bits) - 1;
    const double white = 1 - PatternSample(spec, x, y, 3) / full;
    auto ink = [&](int c) {
      return quint16(std::lround((1 - PatternSample(spec, x, y, c) / full) * white * 65535));
    };
    return QRgba64::fromRgba64(ink(0), ink(1), ink(2), 0xFFFF);
  }
  default:
    return QRgba64::fromRgba64(channel(0), channel(1), channel(2), spec.ExtraSample ? channel(3) : 0xFFFF);
  }
}

void WriteTiff(const QString &fileName, const TTiffSpec &spec) {
  TIFF *tif = TIFFOpen(QFile::encodeName(fileName).constData(), "w");
  ASSERT_NE(tif, nullptr);
  for (int page = 0; page < spec.Pages; ++page) {
    const int width = page == 0 ? spec.Width : std::max(1, spec.Width / 2);
    SetTags(tif, spec, width);
    if (spec.Pages > 1) {
      TIFFSetField(tif, TIFFTAG_SUBFILETYPE, FILETYPE_PAGE);
      TIFFSetField(tif, TIFFTAG_PAGENUMBER, quint16(page), quint16(spec.Pages));
    }
    if (spec.Tiled)
      WriteTiles(tif, spec, width);
    else
      WriteStrips(tif, spec, width);
    ASSERT_EQ(TIFFWriteDirectory(tif), 1);
  }
  TIFFClose(tif);
}

int LargestPatternDifference(const QImage &decoded, const TTiffSpec &spec) {
  int largest = 0;
  for (int y = 0; y < spec.Height; ++y)
    for (int x = 0; x < spec.Width; ++x) {
      const QRgba64 actual = decoded.pixelColor(x, y).rgba64();
      const QRgba64 expected = PatternColour(spec, x, y);
      const int differences[] = {actual.red() - expected.red(), actual.green() - expected.green(),
                                 actual.blue() - expected.blue(), actual.alpha() - expected.alpha()};
      for (int difference : differences)
        largest = std::max(largest, (std::abs(difference) + 128) / 257);
    }
  return largest;
}

TTiffTags ReadTiffTags(const QString &fileName, int page) {
  TTiffTags tags;
  TIFF *tif = TIFFOpen(QFile::encodeName(fileName).constData(), "r");
  if (!tif)
    return tags;
  tags.Pages = TIFFNumberOfDirectories(tif);
  if (!TIFFSetDirectory(tif, tdir_t(page))) {
    TIFFClose(tif);
    return tags;
  }
  tags.Opened = true;
  TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &tags.Width);
  TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &tags.Height);
  TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &tags.BitsPerSample);
  TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &tags.SamplesPerPixel);
  TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &tags.Photometric);
  TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &tags.Compression);
  TIFFGetField(tif, TIFFTAG_RESOLUTIONUNIT, &tags.Unit);
  TIFFGetField(tif, TIFFTAG_XRESOLUTION, &tags.XResolution);
  TIFFGetField(tif, TIFFTAG_YRESOLUTION, &tags.YResolution);
  TIFFGetField(tif, TIFFTAG_ORIENTATION, &tags.Orientation);
  quint32 profileLength = 0;
  const void *profile = nullptr;
  if (TIFFGetField(tif, TIFFTAG_ICCPROFILE, &profileLength, &profile) && profile)
    tags.IccProfile = QByteArray(static_cast<const char *>(profile), qsizetype(profileLength));
  TIFFClose(tif);
  return tags;
}

QByteArray IccProfileStub(const char *space) {
  QByteArray profile(128, '\0');
  qToBigEndian<quint32>(128, profile.data());
  profile.replace(12, 4, "mntr");
  profile.replace(16, 4, space);
  profile.replace(36, 4, "acsp");
  return profile;
}

QByteArray HandMadeTiff(quint32 width, quint32 height) {
  struct TEntry {
    quint16 Tag, Type;
    quint32 Count, Value;
  };
  const TEntry entries[] = {{256, 4, 1, width}, {257, 4, 1, height}, {258, 3, 1, 8},
                            {259, 3, 1, 1},     {262, 3, 1, 1},      {273, 4, 1, 8},
                            {277, 3, 1, 1},     {278, 4, 1, height}, {279, 4, 1, 4}};
  QByteArray bytes("II*\0", 4);
  auto put32 = [&](quint32 value) { bytes.append(reinterpret_cast<const char *>(&value), 4); };
  auto put16 = [&](quint16 value) { bytes.append(reinterpret_cast<const char *>(&value), 2); };
  put32(12);         // directory offset
  put32(0x7F7F7F7F); // four pixels of strip data
  put16(quint16(std::size(entries)));
  for (const TEntry &entry : entries) {
    put16(entry.Tag), put16(entry.Type), put32(entry.Count);
    if (entry.Type == 3)
      put16(quint16(entry.Value)), put16(0);
    else
      put32(entry.Value);
  }
  put32(0);
  return bytes;
}

QByteArray PngChunk(const char *type, const QByteArray &data) {
  QByteArray chunk(4, '\0');
  qToBigEndian(quint32(data.size()), chunk.data());
  const QByteArray body = QByteArray(type, 4) + data;
  QByteArray crc(4, '\0');
  qToBigEndian(quint32(crc32(0, reinterpret_cast<const Bytef *>(body.constData()), uInt(body.size()))),
               crc.data());
  return chunk + body + crc;
}

QByteArray Zlib(const QByteArray &data) {
  uLongf size = compressBound(uLong(data.size()));
  QByteArray packed(qsizetype(size), '\0');
  compress(reinterpret_cast<Bytef *>(packed.data()), &size, reinterpret_cast<const Bytef *>(data.constData()),
           uLong(data.size()));
  packed.resize(qsizetype(size));
  return packed;
}
