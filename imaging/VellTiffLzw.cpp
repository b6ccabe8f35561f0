#include "imaging/VellTiffLzw.h"

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
  TStripEncoder(quint32 *table, uchar *out) : Table(table), Out(out) { StartTable(); }

  uchar *Encode(const uchar *data, size_t size) {
    Put(ClearCode);
    if (size > 0) {
      quint32 prefix = data[0];
      for (size_t i = 1; i < size; ++i) {
        const quint32 byte = data[i];
        const quint32 key = prefix << 8 | byte;
        quint32 *slot = Find(prefix, byte, key);
        if (*slot != EmptySlot) {
          prefix = *slot & CodeMask;
          continue;
        }
        Put(prefix);
        *slot = key << 12 | NextCode;
        prefix = byte;
        CodeAdded();
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
  uchar *Out;
  quint64 Bits = 0;
  int Count = 0;
  quint32 NextCode = 0, Width = 0, WidestCode = 0;

  void StartTable() {
    std::fill(Table, Table + TVellTiffLzw::TableSlots, EmptySlot);
    NextCode = FirstFreeCode;
    Width = 9;
    WidestCode = (1u << Width) - 1;
  }

  // The key's slot, or the empty slot where it belongs: the byte and the
  // prefix code folded onto 13 bits, then probes a step apart that depends on
  // the first slot (odd, so that every slot is reached).
  quint32 *Find(quint32 prefix, quint32 byte, quint32 key) const {
    constexpr quint32 Mask = TVellTiffLzw::TableSlots - 1;
    quint32 index = (byte << 5 ^ prefix) & Mask;
    if (Table[index] == EmptySlot || Table[index] >> 12 == key)
      return &Table[index];
    const quint32 step = (TVellTiffLzw::TableSlots - index) | 1;
    do
      index = (index - step) & Mask;
    while (Table[index] != EmptySlot && Table[index] >> 12 != key);
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
  TStripEncoder encoder(FTable.data(), out.data());
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
