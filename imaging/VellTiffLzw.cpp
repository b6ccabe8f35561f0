#include "imaging/VellTiffLzw.h"

#include <QtEndian>

#include <algorithm>

namespace {

constexpr quint32 ClearCode = 256, EndCode = 257, FirstFreeCode = 258;
// The table is cleared when its next code would be 4094, as libtiff does: the
// decoder's table, one entry behind, then stops at 4093 with 12-bit codes.
constexpr quint32 TableFullCode = 4094;
constexpr quint32 CodeMask = 0xFFF;
constexpr quint32 EmptySlot = 0xFFFFFFFFu;

// The state of one strip's compression, kept in locals so that the compiler
// holds it in registers while bytes are stored through the output pointer.
class TStripEncoder {
public:
  TStripEncoder(quint32 *table, TVellTiffLzw::TRuns &runs, uchar *out) : Table(table), Runs(runs), Out(out) {
    StartTable();
  }

  uchar *Encode(const uchar *data, size_t size) {
    Put(ClearCode);
    if (size > 0) {
      quint32 prefix = data[0];
      size_t i = 1;
      for (;;) {
        // Here the string is one byte long, so a run of that byte may follow.
        if (i < size && data[i] == prefix)
          prefix = TakeRun(data, size, i);
        for (; i < size; ++i) {
          const quint32 byte = data[i];
          const quint32 key = prefix << 8 | byte;
          quint32 *slot = Find(key);
          if (*slot == EmptySlot) {
            Put(prefix);
            *slot = key << 12 | NextCode;
            CodeAdded();
            break;
          }
          prefix = *slot & CodeMask;
        }
        if (i >= size)
          break;
        prefix = data[i++];
      }
      Put(prefix);
      // The decoder adds an entry for this last code too; EOI takes the width
      // that follows from it.
      if (++NextCode > WidestCode)
        ++Width;
    }
    Put(EndCode);
    if (Count > 0)
      *Out++ = uchar(Bits << (8 - Count));
    return Out;
  }

private:
  quint32 *const Table;
  TVellTiffLzw::TRuns &Runs;
  uchar *Out;
  quint64 Bits = 0;
  int Count = 0;
  quint32 NextCode = 0, Width = 0, WidestCode = 0;

  void StartTable() {
    std::fill(Table, Table + TVellTiffLzw::TableSlots, EmptySlot);
    for (quint32 byte = 0; byte < 256; ++byte) {
      Runs.Length[byte] = 1;
      Runs.Code(1, byte) = quint16(byte);
    }
    NextCode = FirstFreeCode;
    Width = 9;
    WidestCode = (1u << Width) - 1;
  }

  // Takes the run of the byte b that starts at data[i], the string so far
  // being b alone, as the string loop would, in steps of whole known runs:
  // the strings b, bb, bbb ... in the table are always those up to some
  // length, and only this path adds them (the string loop never sees a
  // string of b's followed by b). Returns the string the run ends in.
  quint32 TakeRun(const uchar *data, size_t size, size_t &i) {
    const quint32 byte = data[i - 1];
    const size_t end = i + RunLength(data + i, size - i, uchar(byte));
    size_t length = 1; // of the string, all b's
    for (;;) {
      const size_t known = Runs.Length[byte];
      if (length + (end - i) <= known) {
        length += end - i;
        i = end;
        return Runs.Code(length, byte);
      }
      i += known - length; // the string is now the longest known run
      const quint32 prefix = Runs.Code(known, byte);
      const quint32 key = prefix << 8 | byte;
      Put(prefix);
      *Find(key) = key << 12 | NextCode;
      Runs.Code(known + 1, byte) = quint16(NextCode);
      ++Runs.Length[byte];
      CodeAdded();
      ++i; // the byte after the longest known run starts the next string
      length = 1;
    }
  }

  // How many of the bytes at data, at most size, equal byte; a word at a time.
  static size_t RunLength(const uchar *data, size_t size, uchar byte) {
    const quint64 pattern = 0x0101010101010101ull * byte;
    size_t n = 0;
    for (; n + 8 <= size; n += 8) {
      // Little-endian order puts the first byte lowest, where ctz looks first.
      if (const quint64 differ = qFromLittleEndian<quint64>(data + n) ^ pattern)
        return n + size_t(__builtin_ctzll(differ) / 8);
    }
    while (n < size && data[n] == byte)
      ++n;
    return n;
  }

  // The key's slot, or the empty slot where it belongs: a multiplicative hash
  // of the 20-bit key onto 13 bits, then linear probes.
  quint32 *Find(quint32 key) const {
    quint32 index = (key * 2654435761u) >> 19;
    while (Table[index] != EmptySlot && Table[index] >> 12 != key)
      index = (index + 1) & (TVellTiffLzw::TableSlots - 1);
    return &Table[index];
  }

  // Counts the entry just added; the decoder adds it one code later, and both
  // widen the codes as the next code passes the current width.
  void CodeAdded() {
    if (++NextCode == TableFullCode) {
      Put(ClearCode);
      StartTable();
    } else if (NextCode > WidestCode) {
      ++Width;
      WidestCode = (1u << Width) - 1;
    }
  }

  void Put(quint32 code) {
    Bits = Bits << Width | code;
    Count += int(Width);
    while (Count >= 8) {
      Count -= 8;
      *Out++ = uchar(Bits >> Count);
    }
  }
};

} // namespace

void TVellTiffLzw::EncodeStrip(const uchar *data, size_t size, std::vector<uchar> &out) {
  // Codes average under 12 bits a byte, Clear codes included, plus the ends.
  out.resize(size + size / 2 + 16);
  TStripEncoder encoder(FTable.data(), FRuns, out.data());
  out.resize(size_t(encoder.Encode(data, size) - out.data()));
}

void TVellTiffLzw::DifferenceRow(const uchar *__restrict in, uchar *__restrict out, size_t bytes,
                                 int samplesPerPixel) {
  const size_t stride = std::min(size_t(samplesPerPixel), bytes);
  for (size_t x = 0; x < stride; ++x)
    out[x] = in[x];
  for (size_t x = stride; x < bytes; ++x)
    out[x] = uchar(in[x] - in[x - stride]);
}
