// What every fuzz target of the picture library's own codecs does with its
// input: the signature test and the header reader, then a decode; a decoded
// picture is encoded again and that encoding decoded. Errors on damaged input
// are expected; crashes, hangs, leaks and sanitizer reports are findings.
#pragma once

#include "Common/VellErrors.h"
#include "PicFiles/BasePicFormat.h"
#include "fuzz/FuzzPixelLimit.h"

#include <QBuffer>
#include <QtGlobal>

#include <cstddef>
#include <cstdint>

inline void DiscardQtMessage(QtMsgType, const QMessageLogContext &, const QString &) {}

// Qt's messages about damaged input silenced, and the fuzzers' pixel limit.
inline void SetUpPicCodecFuzzing() {
  qInstallMessageHandler(DiscardQtMessage);
  LimitPixelsForFuzzing();
}

template <typename Codec> bool DecodeInto(Codec &picture, const QByteArray &bytes) {
  QBuffer input;
  input.setData(bytes);
  input.open(QIODevice::ReadOnly);
  (void)picture.CanLoadFromStream(input);
  try {
    TPicInfo info;
    picture.ReadHeader(input, info);
  } catch (const EVellError &) {
  }
  input.seek(0);
  try {
    picture.LoadFromStream(input);
    return true;
  } catch (const EVellError &) {
    return false;
  }
}

template <typename Codec> void EncodeAgain(const Codec &picture) {
  QBuffer output;
  output.open(QIODevice::WriteOnly);
  picture.SaveToStream(output);
  Codec again;
  if (!DecodeInto(again, output.data()))
    __builtin_trap(); // what we write we must read
}

// Writable false for codecs that only read.
template <typename Codec, bool Writable = true> int FuzzPicCodec(const uint8_t *data, size_t size) {
  Codec picture;
  const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
  if (DecodeInto(picture, bytes) && Writable)
    EncodeAgain(picture);
  return 0;
}
