#include "Common/VellUtils.h"
#include "Common/VellErrors.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QRandomGenerator>

#include <gtest/gtest.h>

namespace {

TEST(IniEscapes, EncodeGivesEscapesAndDecodeRestores) {
  const struct {
    const char *plain, *encoded;
  } cases[] = {{"a=b", "a#61b"},
               {"[x]", "#91x#93"},
               {"line1\r\nline2", "line1#13#10line2"},
               {"lone\nLF and \r CR", "lone\nLF and \r CR"},
               {"\r\n\r\n", "#13#10#13#10"},
               {"#hash#", "#hash#"},
               {"", ""}};
  for (const auto &c : cases) {
    const QString plain = QString::fromUtf8(c.plain);
    const QString encoded = QString::fromUtf8(c.encoded);
    EXPECT_EQ(TVellStr::EncodeIniText(plain), encoded) << c.plain;
    EXPECT_EQ(TVellStr::DecodeIniText(encoded), plain) << c.encoded;
  }
}

TEST(IniEscapes, DecodeReplacesEachSequenceOnce) {
  EXPECT_EQ(TVellStr::DecodeIniText(QStringLiteral("#6161")), QStringLiteral("=61"));
  // Text that already held an escape sequence comes back with the character.
  EXPECT_EQ(TVellStr::DecodeIniText(TVellStr::EncodeIniText(QStringLiteral("x#61y"))), QStringLiteral("x=y"));
}

TEST(IndexOfText, CaseSensitivityDecidesAndMissesGiveMinusOne) {
  const QStringList list{QStringLiteral("Name"), QStringLiteral("Text")};
  EXPECT_EQ(TVellStr::IndexOfText(QStringLiteral("name"), list, false), 0);
  EXPECT_EQ(TVellStr::IndexOfText(QStringLiteral("name"), list, true), -1);
  EXPECT_EQ(TVellStr::IndexOfText(QStringLiteral("TEXT"), list, false), 1);
  EXPECT_EQ(TVellStr::IndexOfText(QStringLiteral("Ümlaut"), {QStringLiteral("ümlaut")}, false), 0);
  EXPECT_EQ(TVellStr::IndexOfText(QStringLiteral("x"), {}, false), -1);
}

TEST(IncludeTrailingChar, AppendsOnlyWhenMissingAndNeverToEmptyText) {
  EXPECT_EQ(TVellStr::IncludeTrailingChar(QStringLiteral("/scans"), u'/'), QStringLiteral("/scans/"));
  EXPECT_EQ(TVellStr::IncludeTrailingChar(QStringLiteral("/scans/"), u'/'), QStringLiteral("/scans/"));
  EXPECT_EQ(TVellStr::IncludeTrailingChar(QString(), u'/'), QString());
}

TEST(ModulePath, NamesTheRunningProgramsFolderWithTrailingSeparator) {
  const QString folder = TVellWin::GetModulePath();
  ASSERT_TRUE(folder.endsWith(u'/'));
  EXPECT_TRUE(QFileInfo(folder).isDir());
  EXPECT_EQ(TVellWin::GetModuleFileName(),
            QFileInfo(QCoreApplication::applicationFilePath()).canonicalFilePath());
  EXPECT_TRUE(TVellWin::GetModuleFileName().startsWith(folder));
}

QByteArray RoundTrip(const QByteArray &bytes) {
  TMemoryStream source(bytes), packed, unpacked;
  TVellStream::CompressStream(source, packed);
  EXPECT_EQ(packed.pos(), 0);
  TVellStream::DecompressStream(packed, unpacked);
  EXPECT_EQ(unpacked.pos(), 0);
  return unpacked.Bytes();
}

TEST(StreamCompression, RoundTripsEmptyOneByteAndLargeRepetitiveData) {
  EXPECT_EQ(RoundTrip(QByteArray()), QByteArray());
  EXPECT_EQ(RoundTrip(QByteArray(1, 'x')), QByteArray(1, 'x'));
  QByteArray large;
  for (int i = 0; i < 400000; ++i)
    large += "scan line " + QByteArray::number(i % 97);
  ASSERT_GT(large.size(), 4 * 1024 * 1024);
  EXPECT_EQ(RoundTrip(large), large);
  EXPECT_LT(TVellStream::Compress(large).size(), large.size() / 10);
}

TEST(StreamCompression, OutputIsRawDeflateWithoutHeader) {
  // A zlib header would start with 0x78; raw DEFLATE of "aaaa" starts a block.
  const QByteArray packed = TVellStream::Compress("aaaaaaaa");
  ASSERT_FALSE(packed.isEmpty());
  EXPECT_NE(static_cast<unsigned char>(packed[0]), 0x78);
  // Bytes after the final block are ignored.
  EXPECT_EQ(TVellStream::Decompress(packed + "trailing"), QByteArray("aaaaaaaa"));
}

TEST(StreamCompression, GarbageAndTruncatedInputRaiseAClearError) {
  QByteArray random(4096, '\0');
  QRandomGenerator gen(7);
  for (char &c : random)
    c = static_cast<char>(gen.bounded(256));
  random[0] = char(0xFF); // block type 3 is invalid
  const QByteArray truncated = TVellStream::Compress(QByteArray(10000, 'z') + random).left(20);
  for (const QByteArray &bad : {random, truncated, QByteArray()}) {
    try {
      TVellStream::Decompress(bad);
      FAIL() << "no error for " << bad.size() << " bytes";
    } catch (const EDecompressionError &e) {
      EXPECT_TRUE(e.Message().contains(QStringLiteral("not a valid compressed"))) << e.what();
    }
  }
}

TEST(Assertion, TextNamesMessageModuleAndLine) {
  try {
    VELL_ASSERT(1 + 1 == 3);
    FAIL();
  } catch (const EAssertionFailed &e) {
    EXPECT_EQ(e.Message(),
              QStringLiteral("Assertion failure (tests/Common/VellUtilsTest, line %1)").arg(__LINE__ - 4));
  }
  try {
    VELL_ASSERT_MSG(false, QStringLiteral("TFoo类没有实现 Clone() 方法"));
    FAIL();
  } catch (const EVellError &e) {
    EXPECT_TRUE(
        QString::fromUtf8(e.what()).startsWith(QStringLiteral("TFoo类没有实现 Clone() 方法 (tests/")));
  }
}

TEST(WaitCursorAndCom, AreHarmlessWithoutGuiAndComRemembersStartUp) {
  BeginWaitCursor();
  BeginWaitCursor();
  EndWaitCursor();
  VellComInitialize();
  EXPECT_TRUE(VellComInitialized());
  VellComUninitialize();
  EXPECT_FALSE(VellComInitialized());
}

} // namespace
