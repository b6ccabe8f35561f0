// A strict decoder of TIFF LZW strips, for checking our encoder: libtiff's
// decoder stops at a strip's last pixel and tolerates what comes after.
#pragma once

#include <QtGlobal>

#include <optional>
#include <vector>

// A strict TIFF LZW decoder: the stream starts with Clear, every code has
// the width the table's size implies (early change), the table never grows
// past 4093 entries without a Clear, and EOI ends it with at most the padding
// of its last byte after it. None when the stream breaks a rule.
class TStrictLzwDecoder {
public:
  explicit TStrictLzwDecoder(const std::vector<uchar> &stream) : Stream(stream) {}

  std::optional<std::vector<uchar>> Decode() {
    if (Read() != 256)
      return std::nullopt;
    Reset();
    for (;;) {
      const std::optional<quint32> code = Read();
      if (!code)
        return std::nullopt;
      if (*code == 257)
        return Stream.size() * 8 - Position < 8 ? std::optional<std::vector<uchar>>(Out) : std::nullopt;
      if (*code == 256) {
        Reset();
        continue;
      }
      if (!Add(*code))
        return std::nullopt;
    }
  }

private:
  // A string: the code of all but its last byte (-1 for none), that byte,
  // its first byte and its length.
  struct TEntry {
    int Prefix;
    uchar Last, First;
    size_t Length;
  };

  const std::vector<uchar> &Stream;
  size_t Position = 0;
  int Width = 9;
  std::vector<TEntry> Table;
  int Previous = -1;
  std::vector<uchar> Out;

  std::optional<quint32> Read() {
    if (Position + size_t(Width) > Stream.size() * 8)
      return std::nullopt;
    quint32 code = 0;
    for (int i = 0; i < Width; ++i, ++Position)
      code = code << 1 | ((Stream[Position / 8] >> (7 - Position % 8)) & 1);
    return code;
  }

  void Reset() {
    Table.assign(258, {-1, 0, 0, 0});
    for (int i = 0; i < 256; ++i)
      Table[size_t(i)] = {-1, uchar(i), uchar(i), 1};
    Width = 9;
    Previous = -1;
  }

  bool Add(quint32 code) {
    const bool known = code < Table.size() && (code < 256 || code > 257);
    if (!known && !(code == Table.size() && Previous >= 0))
      return false;
    if (Previous >= 0) {
      const TEntry &previous = Table[size_t(Previous)];
      const uchar last = known ? Table[code].First : previous.First;
      Table.push_back({Previous, last, previous.First, previous.Length + 1});
    }
    if (Table.size() > 4093)
      return false;
    Out.resize(Out.size() + Table[code].Length);
    size_t at = Out.size();
    for (int c = int(code); c >= 0; c = Table[size_t(c)].Prefix)
      Out[--at] = Table[size_t(c)].Last;
    Previous = int(code);
    if (Table.size() >= (1u << Width) - 1 && Width < 12)
      ++Width;
    return true;
  }
};
