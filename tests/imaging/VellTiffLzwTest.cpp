// Our LZW strip compressor: libtiff's decoder must read back every byte, a
// strict decoder must find every rule of the code stream kept (libtiff stops
// reading at the strip's last byte), and the strips must be as small as
// libtiff's own.
#include "imaging/VellTiffLzw.h"
#include "tests/support/StrictLzwDecoder.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <tiffio.h>

#include <random>

namespace {

using TBytes = std::vector<uchar>;

// Writes data as one strip of a one-row 8-bit grey LZW TIFF, either raw from
// our compressor or compressed by libtiff; returns the strip's stored size.
tmsize_t WriteStrip(const QString &path, const TBytes &data, const TBytes *compressed) {
  TIFF *tif = TIFFOpen(path.toLocal8Bit().constData(), "w");
  if (!tif)
    return -1;
  TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, quint32(data.size()));
  TIFFSetField(tif, TIFFTAG_IMAGELENGTH, 1u);
  TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
  TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
  TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
  TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
  TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, 1u);
  const tmsize_t written =
      compressed
          ? TIFFWriteRawStrip(tif, 0, const_cast<uchar *>(compressed->data()), tmsize_t(compressed->size()))
          : TIFFWriteEncodedStrip(tif, 0, const_cast<uchar *>(data.data()), tmsize_t(data.size()));
  const tmsize_t stored = written < 0 ? -1 : tmsize_t(TIFFGetStrileByteCount(tif, 0));
  TIFFClose(tif);
  return stored;
}

TBytes ReadStrip(const QString &path, size_t size) {
  TBytes pixels(size);
  TIFF *tif = TIFFOpen(path.toLocal8Bit().constData(), "r");
  if (!tif)
    return {};
  const tmsize_t got = TIFFReadEncodedStrip(tif, 0, pixels.data(), tmsize_t(size));
  TIFFClose(tif);
  return got == tmsize_t(size) ? pixels : TBytes();
}

TBytes RandomBytes(size_t size, unsigned seed, int distinct = 256) {
  std::mt19937 random(seed);
  TBytes bytes(size);
  for (uchar &byte : bytes)
    byte = uchar(random() % unsigned(distinct));
  return bytes;
}

// Runs of random bytes, 1 to 3000 long: run strings grow, meet the table's
// end and start again.
TBytes Runs(size_t size, unsigned seed) {
  std::mt19937 random(seed);
  TBytes bytes;
  while (bytes.size() < size)
    bytes.insert(bytes.end(), std::min<size_t>(size - bytes.size(), 1 + random() % 3000),
                 uchar(random() % 4));
  return bytes;
}

TBytes Gradient(size_t size) {
  TBytes bytes(size);
  for (size_t i = 0; i < size; ++i)
    bytes[i] = uchar((i / 7 + i / 3000) & 0xFF);
  return bytes;
}

class TiffLzw : public ::testing::Test {
protected:
  QTemporaryDir Folder;
  TVellTiffLzw Lzw;

  QString File(const char *name) const { return Folder.filePath(QString::fromLatin1(name)); }

  // Compresses data with ours; expects libtiff to read it back exactly and
  // ours to be no more than 1 % larger than libtiff's own strip.
  void ExpectRoundTrip(const TBytes &data) {
    TBytes compressed;
    Lzw.EncodeStrip(data.data(), data.size(), compressed);
    const tmsize_t ours = WriteStrip(File("ours.tif"), data, &compressed);
    ASSERT_EQ(ours, tmsize_t(compressed.size()));
    EXPECT_EQ(ReadStrip(File("ours.tif"), data.size()), data) << data.size() << " bytes";
    EXPECT_EQ(TStrictLzwDecoder(compressed).Decode(), std::optional<TBytes>(data)) << data.size() << " bytes";
    const tmsize_t libtiff = WriteStrip(File("libtiff.tif"), data, nullptr);
    ASSERT_GT(libtiff, 0);
    EXPECT_LE(ours, libtiff + libtiff / 100 + 2) << data.size() << " bytes";
  }
};

TEST_F(TiffLzw, LibtiffReadsBackEveryKindOfStrip) {
  const std::vector<TBytes> cases = {
      {42},                      // one byte: a code and EOI
      TBytes(1 << 20, 0),        // a long run: strings grow to the table's end
      RandomBytes(300000, 1),    // no repeats: the table fills and clears again and again
      RandomBytes(200000, 2, 3), // few symbols: long strings, wide codes
      Runs(2000000, 3),          // runs of every length
      Gradient(500000),          // a scan's slow changes
  };
  for (const TBytes &data : cases)
    ExpectRoundTrip(data);
}

// Bytes in which no two neighbours repeat an earlier pair, so that every
// byte after the first ends a new string: n bytes add exactly n - 1 codes.
TBytes DistinctPairs(size_t size) {
  std::vector<bool> used(256 * 256);
  TBytes bytes{0};
  while (bytes.size() < size) {
    const unsigned last = bytes.back();
    unsigned next = (last + 1) % 256;
    while (used[last * 256 + next])
      next = (next + 1) % 256;
    used[last * 256 + next] = true;
    bytes.push_back(uchar(next));
  }
  return bytes;
}

// Strips whose last code lands just before, on and after each code width
// change and the table's end, where the end of the stream is easiest to get
// wrong: the code after the n - 1 added ones is the 258 + n th.
TEST_F(TiffLzw, EndsOfStreamAtTableAndWidthBoundaries) {
  for (const size_t boundary : {512u, 1024u, 2048u, 4094u})
    for (size_t size = boundary - 260; size <= boundary - 256; ++size)
      ExpectRoundTrip(DistinctPairs(size));
}

TEST(TiffLzwPredictor, DifferencesEachSampleFromTheOnePixelBefore) {
  const TBytes row = {10, 20, 30, 15, 20, 25, 15, 255, 0};
  TBytes out(row.size());
  TVellTiffLzw::DifferenceRow(row.data(), out.data(), row.size(), 3);
  EXPECT_EQ(out, (TBytes{10, 20, 30, 5, 0, 251, 0, 235, 231}));
}

} // namespace
