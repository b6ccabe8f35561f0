// The TIFF layer on libtiff beyond the codec table's row (VellTiffCodec):
// one image written with the storage tags a caller chooses, and the fields
// of a file's first directory as stored. The picture-format library's TIFF
// format uses these, so that the program has one TIFF reader and writer.
#pragma once

#include "imaging/VellImageCodecs.h"

// How the pixels are stored: tag values as libtiff names them.
struct TTiffStorage {
  quint16 Compression = 1;   // COMPRESSION_*
  quint32 Group3Options = 0; // T4Options, written when not 0
  quint32 RowsPerStrip = 0;  // 0: strips of about 128 KiB
  int JpegQuality = -1;      // for COMPRESSION_JPEG; -1 keeps libtiff's default
  bool Predictor = false;    // horizontal differencing (LZW and Deflate)
};

// Writes raster as a TIFF file of one image at the device's position: 1-bit
// black-and-white (white is zero when the colour table starts with white),
// palettes of 4 or 8 bits (raster.Format PixelFormat4bppIndexed for 4),
// grey of 8 bits or of 4 (Grayscale8 pixels with PixelFormat4bppIndexed) or
// 16, RGB of 8 or 16 bits with or without alpha. Failures through
// RecordFailure; CCITT schemes need black-and-white pixels.
GpStatus EncodeTiffImage(QIODevice &device, const TRaster &raster, const TTiffStorage &storage);

// The fields of the first directory as the file has them.
struct TTiffDirectory {
  quint32 Width = 0, Height = 0;
  quint16 Photometric = 0; // 0 when absent
  quint16 Compression = 1;
  bool HasBitsPerSample = false;
  quint16 BitsPerSample = 0;
  quint16 ResolutionUnit = 2; // 2 when absent
  bool HasXResolution = false, HasYResolution = false;
  float XResolution = 0, YResolution = 0;
  qint64 ScanlineSize = 0; // bytes of one row as libtiff delivers it
};

// False, with libtiff's reason in error, when the device holds no TIFF file
// libtiff can open.
bool ReadTiffDirectory(QIODevice &device, TTiffDirectory &directory, QString &error);
