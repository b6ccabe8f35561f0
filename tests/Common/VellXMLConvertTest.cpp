// Text forms of typed XML values and Base64.
#include "Common/VellUtils.h"
#include "Common/VellXMLUtils.h"
#include "tests/support/TestFiles.h"

#include <QProcess>

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <limits>
#include <string>

namespace {

QString S(const char *utf8) {
  return QString::fromUtf8(utf8);
}

TEST(XMLOrdinal, ComparesCodeUnitsThenLengths) {
  const struct {
    const char *a, *b;
    int result;
  } cases[] = {{"abc", "abd", -1}, {"b", "a", 1}, {"ab", "a", 1},
               {"", "xyz", -3},    {"", "", 0},   {"A", "a", -32}};
  for (const auto &c : cases) {
    EXPECT_EQ(CompareOrdinal(S(c.a), S(c.b)), c.result) << c.a << " / " << c.b;
    EXPECT_EQ(SameOrdinal(S(c.a), S(c.b)), c.result == 0);
  }
}

TEST(XMLEscapes, EncodeAndDecodeAreInverse) {
  const struct {
    const char *plain, *stored;
  } cases[] = {{"a<b&\"q\"", "a&lt;b&amp;&quot;q&quot;"},
               {"it's > 1", "it&apos;s &gt; 1"},
               {"line\r\nbreak", "line&13;&10;break"},
               {"tab\tstays", "tab\tstays"},
               {"中文 ü", "中文 ü"},
               {"", ""}};
  for (const auto &c : cases) {
    EXPECT_EQ(XMLEncode(S(c.plain)), S(c.stored)) << c.plain;
    EXPECT_EQ(XMLDecode(S(c.stored)), S(c.plain)) << c.stored;
  }
}

TEST(XMLEscapes, DecodeResolvesEveryReferenceOnceAndKeepsOthers) {
  const struct {
    const char *stored, *plain;
  } cases[] = {{"&amp;lt;", "&lt;"},           {"&amp;amp;", "&amp;"},      {"&&lt;", "&<"},
               {"&#13;&#x41;", "&#13;&#x41;"}, {"&nbsp;&lt", "&nbsp;&lt"},  {"&quot&quot;", "&quot\""},
               {"&amp;13;&10;", "&13;\n"},     {"x&apos;&gt;&amp;", "x'>&"}};
  for (const auto &c : cases)
    EXPECT_EQ(XMLDecode(S(c.stored)), S(c.plain)) << c.stored;
}

TEST(XMLBoolean, OnlyExactTrueIsTrue) {
  EXPECT_EQ(BoolToXMLText(true), S("True"));
  EXPECT_EQ(BoolToXMLText(false), S("False"));
  EXPECT_TRUE(XMLTextToBool(S("True")));
  for (const char *text : {"true", "TRUE", "1", "-1", " True", ""})
    EXPECT_FALSE(XMLTextToBool(S(text))) << text;
}

TEST(XMLInteger, ReadsDecimalAndHexAndStopsAtTheFirstNonDigit) {
  const struct {
    const char *text;
    int value;
  } cases[] = {{"", 0},
               {" 42", 42},
               {"-7", -7},
               {"+7", 7},
               {"$1F", 31},
               {"0x1F", 31},
               {"X1f", 31},
               {"-$10", -16},
               {"12abc", 12},
               {"-12abc", 12},
               {"abc", 0},
               {"3.9", 3},
               {"-5 ", 5},
               {"0", 0},
               {"-2147483648", INT_MIN},
               {"2147483647", INT_MAX}};
  for (const auto &c : cases)
    EXPECT_EQ(XMLTextToInt(S(c.text)), c.value) << c.text;
  EXPECT_EQ(IntToXMLText(-123), S("-123"));
  EXPECT_EQ(IntToXMLText(INT_MIN), S("-2147483648"));
}

TEST(XMLFloat, WritesFifteenDigitsFixedOrScientific) {
  const struct {
    double value;
    const char *text;
  } cases[] = {{0.5, "0.5"},
               {100, "100"},
               {1.0 / 3, "0.333333333333333"},
               {0.0001, "0.0001"},
               {0.00001, "1E-5"},
               {1e15, "1E15"},
               {1e14, "100000000000000"},
               {123456789012345678.0, "1.23456789012346E17"},
               {-2.5, "-2.5"},
               {123.45, "123.45"},
               {-1.5e-7, "-1.5E-7"},
               {1e100, "1E100"},
               {0, "0"},
               {std::numeric_limits<double>::infinity(), "INF"},
               {-std::numeric_limits<double>::infinity(), "-INF"},
               {std::nan(""), "NAN"}};
  for (const auto &c : cases)
    EXPECT_EQ(FloatToXMLText(c.value), S(c.text)) << c.text;
}

TEST(XMLFloat, ReadsThePointFormAndGivesZeroForOtherText) {
  const struct {
    const char *text;
    double value;
  } cases[] = {{"1E-5", 0.00001}, {"2.5", 2.5}, {" -3.25e2 ", -325}, {".5", 0.5},  {"5.", 5}, {"+1", 1},
               {"1.5E+3", 1500},  {"", 0},      {"abc", 0},          {"1.2.3", 0}, {"1e", 0}, {"1,5", 0},
               {"INF", 0},        {"NAN", 0},   {"\t1", 0}};
  for (const auto &c : cases)
    EXPECT_DOUBLE_EQ(XMLTextToFloat(S(c.text)), c.value) << c.text;
  for (double value : {0.1, 1.0 / 3, -2.5e-300, 6.02214076e23, 123456789012345.0})
    EXPECT_EQ(FloatToXMLText(XMLTextToFloat(FloatToXMLText(value))), FloatToXMLText(value));
}

// Sets the C library's numbers to a locale whose decimal separator is a
// comma, compiled into dir (only its number category is defined).
bool UseCommaLocale(const TTestDir &dir) {
  const QString definition =
      dir.Write(S("comma.def"), "LC_NUMERIC\ndecimal_point \",\"\nthousands_sep \".\"\n"
                                "grouping 3;3\nEND LC_NUMERIC\n");
  QProcess localedef;
  localedef.start(S("localedef"),
                  {S("-c"), S("-i"), definition, S("-f"), S("UTF-8"), dir.Path() + S("xx_XX.UTF-8")});
  localedef.waitForFinished(120000);
  qputenv("LOCPATH", dir.Path().toLocal8Bit());
  return std::setlocale(LC_NUMERIC, "xx_XX.UTF-8") && std::localeconv()->decimal_point == std::string(",");
}

TEST(XMLFloat, UsesThePointWhateverTheNumericLocale) {
  TTestDir dir;
  const std::string previous = std::setlocale(LC_NUMERIC, nullptr);
  ASSERT_TRUE(UseCommaLocale(dir));
  const QString written = FloatToXMLText(2.5);
  const double read = XMLTextToFloat(S("2.5"));
  const double readComma = XMLTextToFloat(S("2,5"));
  std::setlocale(LC_NUMERIC, previous.c_str());
  qunsetenv("LOCPATH");
  EXPECT_EQ(written, S("2.5"));
  EXPECT_DOUBLE_EQ(read, 2.5);
  EXPECT_DOUBLE_EQ(readComma, 0);
}

QByteArray Decoded(const QString &text, bool *ok) {
  TMemoryStream stream;
  *ok = Base64ToStream(text, &stream);
  return stream.Bytes();
}

TEST(XMLBase64, EncodesWithPaddingAndDecodesBack) {
  const struct {
    QByteArray bytes;
    const char *text;
  } cases[] = {
      {"", ""}, {"M", "TQ=="}, {"Ma", "TWE="}, {"Man", "TWFu"}, {QByteArray("\xff\x00\xfe", 3), "/wD+"}};
  for (const auto &c : cases) {
    TMemoryStream source(c.bytes);
    EXPECT_EQ(StreamToBase64(&source), S(c.text));
    bool ok = false;
    EXPECT_EQ(Decoded(S(c.text), &ok), c.bytes) << c.text;
    EXPECT_TRUE(ok);
  }
  QByteArray all;
  for (int i = 0; i < 256; ++i)
    all += static_cast<char>(i);
  TMemoryStream source(all);
  bool ok = false;
  EXPECT_EQ(Decoded(StreamToBase64(&source), &ok), all);
}

TEST(XMLBase64, SkipsForeignCharactersAndFlagsALoneCharacter) {
  bool ok = false;
  EXPECT_EQ(Decoded(S("TW\r\nFu T\tWE="), &ok), QByteArray("ManMa"));
  EXPECT_TRUE(ok);
  // One character of a last group cannot be decoded: the bytes before it stay.
  EXPECT_EQ(Decoded(S("TWFuT"), &ok), QByteArray("Man"));
  EXPECT_FALSE(ok);
  EXPECT_EQ(Decoded(S("T"), &ok), QByteArray());
  EXPECT_FALSE(ok);
  // Characters beyond ASCII are never part of Base64.
  EXPECT_EQ(Decoded(S("TW中Fu"), &ok), QByteArray("Man"));
  EXPECT_TRUE(ok);
}

TEST(XMLBase64, StreamsWorkFromTheirPositions) {
  TMemoryStream source(QByteArray("xMan"));
  source.seek(1);
  TMemoryStream encoded(QByteArray("head:"));
  encoded.seek(5);
  Base64EncodeStream(&source, &encoded);
  EXPECT_EQ(encoded.Bytes(), QByteArray("head:TWFu"));
  encoded.seek(5);
  TMemoryStream decoded;
  EXPECT_TRUE(Base64DecodeStream(&encoded, &decoded));
  EXPECT_EQ(decoded.Bytes(), QByteArray("Man"));
}

TEST(XMLVariant, ByteArraysTravelAsBase64AndNullAsEmptyText) {
  EXPECT_EQ(VariantToXMLText(QVariant()), QString());
  EXPECT_EQ(VariantToXMLText(QVariant(QByteArray("Man"))), S("TWFu"));
  const struct {
    const char *text;
    bool ok;
    QVariant value;
  } cases[] = {{"TQ==", true, QVariant(QByteArray("M"))},
               {"", true, QVariant()},
               {"====", true, QVariant()},
               {"T", false, QVariant()},
               {"TWFuT", false, QVariant()}};
  for (const auto &c : cases) {
    QVariant value(42);
    EXPECT_EQ(XMLTextToVariant(S(c.text), value), c.ok) << c.text;
    EXPECT_EQ(value.isValid(), c.value.isValid()) << c.text;
    EXPECT_EQ(value.toByteArray(), c.value.toByteArray()) << c.text;
  }
}

} // namespace
