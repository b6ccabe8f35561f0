// The test-image vocabulary of every suite: TIFF files of every kind written
// through libtiff with a known pattern whose expected colours the tests
// compare against, hand-made headers, and the tags libtiff reads back.
// Scan-like files (documents, corpora) come from samples/SampleScans.h.
#pragma once

#include <QImage>
#include <QRgba64>
#include <QString>
#include <tiffio.h>

struct TTiffSpec {
  const char *Name = "";
  int Width = 37;
  int Height = 23;
  quint16 Photometric = PHOTOMETRIC_MINISBLACK;
  quint16 BitsPerSample = 8;
  quint16 SampleFormat = SAMPLEFORMAT_UINT; // 32-bit samples may be SAMPLEFORMAT_INT or _IEEEFP
  quint16 SamplesPerPixel = 1;
  quint16 Compression = COMPRESSION_NONE;
  quint16 Planar = PLANARCONFIG_CONTIG;
  bool Tiled = false;
  quint32 RowsPerStrip = 16; // of a file in strips
  quint16 ExtraSample = 0; // EXTRASAMPLE_* of the last sample, 0 for none
  // Resolution tags; Unit 0 writes none.
  float XResolution = 300;
  float YResolution = 300;
  quint16 Unit = RESUNIT_INCH;
  int Pages = 1;
  quint16 Orientation = 0; // ORIENTATION_*, 0 writes no tag
  QByteArray IccProfile;   // written when not empty
};

// A stand-in ICC profile: a 128-byte header naming the colour space
// ("RGB ", "GRAY", "CMYK"), enough for code that only carries profiles.
QByteArray IccProfileStub(const char *space);

// Raw sample c of pixel (x, y) in the spec's bit depth (a float's bits for
// SAMPLEFORMAT_IEEEFP).
uint PatternSample(const TTiffSpec &spec, int x, int y, int c);
// The colour a correct decoder shows for pixel (x, y), 16 bits per channel.
QRgba64 PatternColour(const TTiffSpec &spec, int x, int y);
// Writes the pattern as a TIFF file; later pages are half as wide.
void WriteTiff(const QString &fileName, const TTiffSpec &spec);

// Largest per-channel difference, in 8-bit units, between the decoded and the
// expected colour over all pixels.
int LargestPatternDifference(const QImage &decoded, const TTiffSpec &spec);

// Tags of one page (0-based) of a TIFF file as libtiff reads them back, and
// the file's page count.
struct TTiffTags {
  bool Opened = false;
  quint32 Width = 0, Height = 0;
  quint16 BitsPerSample = 0, SamplesPerPixel = 0, Photometric = 0, Compression = 0, Unit = 0;
  quint16 Orientation = 0; // 0 when the tag is absent
  float XResolution = 0, YResolution = 0;
  int Pages = 0;
  QByteArray IccProfile;
};
TTiffTags ReadTiffTags(const QString &fileName, int page = 0);

// A little-endian TIFF header of the given size with one tiny strip, for
// hostile-header tests.
QByteArray HandMadeTiff(quint32 width, quint32 height);

// A PNG chunk: length, type, data and CRC, for files made chunk by chunk.
QByteArray PngChunk(const char *type, const QByteArray &data);
// The data compressed as one zlib stream (the content of IDAT chunks).
QByteArray Zlib(const QByteArray &data);
