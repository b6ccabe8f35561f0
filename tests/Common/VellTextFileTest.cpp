#include "Common/VellTextFile.h"
#include "Common/VellErrors.h"

#include "tests/support/TestFiles.h"

#include <gtest/gtest.h>

namespace {

TEST(VellTextFile, SplitsAtEveryKindOfLineBreak) {
  const struct {
    QString Text;
    QStringList Lines;
  } cases[] = {
      {QString(), {}},
      {QStringLiteral("a"), {QStringLiteral("a")}},
      {QStringLiteral("a\r\n"), {QStringLiteral("a")}},
      {QStringLiteral("a\r\nb\rc\nd"),
       {QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c"), QStringLiteral("d")}},
      {QStringLiteral("a\r\n\u2028b"), {QStringLiteral("a"), QStringLiteral("b")}},
      {QStringLiteral("a\n\rb"), {QStringLiteral("a"), QString(), QStringLiteral("b")}},
      {QStringLiteral("a\u2028\nb"), {QStringLiteral("a"), QString(), QStringLiteral("b")}},
      {QStringLiteral("a\r\n\r\nb\r\n"), {QStringLiteral("a"), QString(), QStringLiteral("b")}},
  };
  for (const auto &c : cases)
    EXPECT_EQ(TVellTextFile::SplitLines(c.Text), c.Lines) << c.Text.toStdString();
}

TEST(VellTextFile, DecodesByByteOrderMark) {
  const QString text = QStringLiteral("中文 a");
  QByteArray le("\xFF\xFE", 2), be("\xFE\xFF", 2);
  for (QChar c : text) {
    le.append(char(c.unicode() & 0xFF)).append(char(c.unicode() >> 8));
    be.append(char(c.unicode() >> 8)).append(char(c.unicode() & 0xFF));
  }
  EXPECT_EQ(TVellTextFile::DecodeText(le), text);
  EXPECT_EQ(TVellTextFile::DecodeText(be), text);
  EXPECT_EQ(TVellTextFile::DecodeText("\xEF\xBB\xBF" + text.toUtf8()), text);
  EXPECT_EQ(TVellTextFile::DecodeText(text.toLocal8Bit()), text);
  EXPECT_EQ(TVellTextFile::DecodeText("x"), QStringLiteral("x"));
}

TEST(VellTextFile, WritesUtf16WithMarkAndCrLf) {
  TTestDir dir;
  const QString file = dir.File(QStringLiteral("lines.txt"));
  TVellTextFile::WriteUtf16Lines(file, {QStringLiteral("/a"), QStringLiteral("中")});
  EXPECT_EQ(ReadWholeFile(file), QByteArray("\xFF\xFE/\0a\0\r\0\n\0\x2D\x4E\r\0\n\0", 16));
  TVellTextFile::WriteUtf16Lines(file, {});
  EXPECT_EQ(ReadWholeFile(file), QByteArray("\xFF\xFE", 2));
  EXPECT_EQ(TVellTextFile::ReadLines(file), QStringList());
}

TEST(VellTextFile, ReportsFilesThatCannotBeReadOrWritten) {
  TTestDir dir;
  try {
    TVellTextFile::ReadLines(dir.Path());
    FAIL() << "a folder is no readable file";
  } catch (const EFOpenError &e) {
    EXPECT_TRUE(e.Message().startsWith(QStringLiteral("Cannot open file \"%1\". ").arg(dir.Path())))
        << e.what();
  }
  const QString missingFolderFile = dir.Path() + QStringLiteral("missing/lines.txt");
  EXPECT_THROW(TVellTextFile::WriteUtf16Lines(missingFolderFile, {}), EFCreateError);
}

} // namespace
