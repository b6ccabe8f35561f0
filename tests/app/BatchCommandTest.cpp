#include "app/BatchCommand.h"

#include <gtest/gtest.h>

namespace {

TParsedCommandLine Parse(const QStringList &arguments) {
  return ParseBatchCommandLine(arguments, 3);
}

TEST(BatchCommandLine, DefaultsAndEveryOption) {
  const TParsedCommandLine plain = Parse({"--source", "in", "--target=out"});
  ASSERT_TRUE(plain.Error.isEmpty()) << plain.Error.toStdString();
  EXPECT_EQ(plain.Line.Source, "in");
  EXPECT_EQ(plain.Line.Target, "out");
  EXPECT_EQ(plain.Line.Series, smeAStyle);
  EXPECT_TRUE(plain.Line.AutoSize);
  EXPECT_EQ(plain.Line.Jobs, 3);
  EXPECT_FALSE(plain.Line.DryRun);
  EXPECT_TRUE(plain.Line.ReportFile.isEmpty());

  const TParsedCommandLine full = Parse({"--source", "in", "--target", "out", "--series", "b", "--size", "B2",
                                         "--jobs", "4", "--dry-run", "--report", "r.json"});
  ASSERT_TRUE(full.Error.isEmpty()) << full.Error.toStdString();
  EXPECT_EQ(full.Line.Series, smeBStyle);
  EXPECT_FALSE(full.Line.AutoSize);
  EXPECT_EQ(full.Line.SizeIndex, 2);
  EXPECT_EQ(full.Line.Jobs, 4);
  EXPECT_TRUE(full.Line.DryRun);
  EXPECT_EQ(full.Line.ReportFile, "r.json");

  const TParsedCommandLine fixedA = Parse({"--source=in", "--target=out", "--size=a5", "--size", "A3"});
  ASSERT_TRUE(fixedA.Error.isEmpty());
  EXPECT_EQ(fixedA.Line.SizeIndex, 3);
  EXPECT_TRUE(Parse({"--help"}).Line.Help);
}

TEST(BatchCommandLine, WrongArgumentsSayWhy) {
  const struct {
    QStringList arguments;
    const char *message;
  } cases[] = {
      {{"--target", "out"}, "--source is missing"},
      {{"--source", "in"}, "--target is missing"},
      {{"--source", "in", "--target", "out", "--size", "B4"}, "--size B4 is not a size of the A series"},
      {{"--source", "in", "--target", "out", "--series", "B", "--size", "A4"},
       "--size A4 is not a size of the B series"},
      {{"--source", "in", "--target", "out", "--size", "A6"},
       "--size takes A0 to A5, B0 to B5 or auto, not \"A6\""},
      {{"--source", "in", "--target", "out", "--series", "C"}, "--series takes A or B, not \"C\""},
      {{"--source", "in", "--target", "out", "--jobs", "0"},
       "--jobs takes a whole number of at least 1, not \"0\""},
      {{"--source", "in", "--target", "out", "--jobs", "x"},
       "--jobs takes a whole number of at least 1, not \"x\""},
      {{"--source", "in", "--target"}, "--target needs a value"},
      {{"--source", "in", "--target", "out", "--colour", "red"}, "unknown option \"--colour\""},
      {{"in", "out"}, "unexpected argument \"in\""},
  };
  for (const auto &c : cases)
    EXPECT_EQ(Parse(c.arguments).Error, QString::fromUtf8(c.message)) << c.arguments.join(' ').toStdString();
}

} // namespace
