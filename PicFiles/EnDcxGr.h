// The DCX codec picture: a PCX picture that also reads and writes the DCX
// container, a magic number, a table of page offsets ending with 0, and one
// complete PCX file per page.
#pragma once

#include "PicFiles/EnPcxGr.h"

// A DCX container that is not valid, or full.
VELL_DECLARE_ERROR(EDcxError, EPicCodecError)

class TDcxGraphic : public TPcxGraphic {
  VELL_CLASS(TDcxGraphic, TPcxGraphic)
public:
  static constexpr quint32 Magic = 987654321; // 0x3ADE68B1
  static constexpr int TableEntries = 1024;   // in files written here; the first page follows at 4100

  // The first 4 bytes at the position are the magic; the position is unchanged.
  bool CanLoadFromStream(QIODevice &stream) const override;
  // Page 1 decoded: its width, height, bits per pixel and resolutions.
  void ReadHeader(QIODevice &stream, TPicInfo &info) const override;
  // The number of pages in the table of the DCX file in stream.
  static int PageCount(QIODevice &stream);

  // Decodes page n (1 is the first) of the DCX file in stream.
  void LoadPage(QIODevice &stream, int n);
  void LoadFromStream(QIODevice &stream) override { LoadPage(stream, 1); }
  // Writes a new single-page DCX file at the stream's position.
  void SaveToStream(QIODevice &stream) const override;
  // Adds this picture as the new last page of the DCX file in stream (which
  // must be readable and writable); an empty stream receives a new file.
  void AppendPage(QIODevice &stream) const;
};
