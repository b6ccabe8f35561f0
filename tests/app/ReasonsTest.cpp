#include "app/Reasons.h"

#include <QRegularExpression>
#include <QSet>

#include <gtest/gtest.h>

namespace {

// Latin letters other than placeholders and the names Chinese text keeps as they are.
bool HasEnglishWords(QString text) {
  text.remove(QRegularExpression(QStringLiteral("%[1-9se]")))
      .remove(QStringLiteral("TIFF"))
      .remove(QStringLiteral("UTF-8"))
      .remove(QStringLiteral("TrueType"));
  return text.contains(QRegularExpression(QStringLiteral("[A-Za-z]")));
}

TEST(Reasons, EveryKindHasANameAndATextInEachLanguage) {
  QSet<QString> names;
  for (TReasonKind kind : AllReasonKinds()) {
    const QString name = ReasonKindName(kind);
    EXPECT_FALSE(names.contains(name)) << name.toStdString();
    names.insert(name);
    const QString english = ReasonFormat(kind, TLanguage::English);
    const QString chinese = ReasonFormat(kind, TLanguage::Chinese);
    EXPECT_FALSE(english.isEmpty()) << name.toStdString();
    EXPECT_FALSE(chinese.isEmpty()) << name.toStdString();
    EXPECT_FALSE(HasEnglishWords(chinese)) << name.toStdString() << ": " << chinese.toStdString();
  }
  EXPECT_EQ(names.size(), AllReasonKinds().size());
  for (int status = Ok; status <= ProfileNotFound; ++status)
    EXPECT_FALSE(HasEnglishWords(StatusText(GpStatus(status), TLanguage::Chinese))) << status;
  EXPECT_TRUE(TReason().IsNone());
  EXPECT_TRUE(TReason().Text(TLanguage::Chinese).isEmpty());
}

TEST(Reasons, TextsFillInTheArgumentsAndTheStatusOfTheirLanguage) {
  const TReason write(TReasonKind::CannotWriteTarget,
                      {QStringLiteral("/out/a.tif"), QStringLiteral("disk full")}, Win32Error);
  EXPECT_EQ(write.English(), QStringLiteral("Cannot write /out/a.tif: disk full"));
  EXPECT_EQ(write.Text(TLanguage::Chinese), QStringLiteral("无法写入输出文件：系统错误"));
  EXPECT_EQ(
      TReason(TReasonKind::CannotReadImage, {QStringLiteral("bad strip")}, UnknownImageFormat).English(),
      QStringLiteral("Cannot read the image: bad strip"));

  const struct {
    const char *format;
    const char *text;
  } cases[] = {
      {"%2 then %1, %s", "b then a, Out of memory"},
      {"100% and %%1", "100% and %a"}, // a % before anything but a digit or s stays
      {"%3 is missing", " is missing"},
      {"ends in %", "ends in %"},
  };
  const TReason reason(TReasonKind::UnexpectedError, {QStringLiteral("a"), QStringLiteral("b")}, OutOfMemory);
  for (const auto &c : cases)
    EXPECT_EQ(reason.TextFrom(QString::fromUtf8(c.format), TLanguage::English), QString::fromUtf8(c.text))
        << c.format;
}

} // namespace
