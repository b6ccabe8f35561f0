// What the fuzz targets of the imaging layer's JPEG, PNG and GIF codecs do
// with their input: the header reader, then a decode; a decoded picture is
// encoded again, and that encoding must decode to a picture the target calls
// the same. Refused input is expected; crashes, hangs, leaks, sanitizer
// reports and a failed re-encoding are findings.
#pragma once

#include "fuzz/FuzzPixelLimit.h"

#include <QBuffer>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

// Codec has static ReadHeader(device, Header &, error), Decode(device,
// Picture &, error); encode(picture, device, error) writes a picture and
// same(picture, again) compares the two decodings.
template <typename Codec, typename Header, typename Picture, typename Encode, typename Same>
int FuzzImagingCodec(const uint8_t *data, size_t size, Encode encode, Same same) {
  QBuffer input;
  input.setData(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
  input.open(QIODevice::ReadOnly);
  QString error;
  Header header;
  Codec::ReadHeader(input, header, error);
  input.seek(0);
  Picture picture;
  if (!Codec::Decode(input, picture, error))
    return 0;
  QBuffer output;
  output.open(QIODevice::ReadWrite);
  if (!encode(picture, output, error))
    std::abort();
  output.seek(0);
  Picture again;
  if (!Codec::Decode(output, again, error) || !same(picture, again))
    std::abort();
  return 0;
}
