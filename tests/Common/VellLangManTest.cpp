#include "Common/VellLangMan.h"

#include "tests/support/TestFiles.h"

#include <gtest/gtest.h>

namespace {

// A form with a caption, an 8-bit text and a read-only text; records its font.
class TTestForm : public TComponent {
  VELL_CLASS(TTestForm, TComponent)
public:
  QString Caption = QStringLiteral("designed");
  QByteArray Narrow = "narrow";
  QString Fixed = QStringLiteral("fixed");
  QString Text = QStringLiteral("text");
  std::optional<TFont> Font;
  bool IsFormOrFrame() const override { return true; }
  void ApplyFont(const TFont &font) override { Font = font; }
};

class TTestFrame : public TTestForm {
  VELL_CLASS(TTestFrame, TTestForm)
};

class TTestButton : public TComponent {
  VELL_CLASS(TTestButton, TComponent)
public:
  TTestButton(TComponent *owner, const QString &name) : TComponent(owner) { SetName(name); }
  QString Caption = QStringLiteral("designed");
  QString Hint = QStringLiteral("designed");
  TObject *Action = nullptr;
  std::function<void()> OnClick;
};

} // namespace

VELL_IMPLEMENT_CLASS(TTestForm, TComponent, TProp::Field("Caption", &TTestForm::Caption),
                     TProp::Field("Narrow", &TTestForm::Narrow),
                     TProp::ReadOnlyField("Fixed", &TTestForm::Fixed), TProp::Field("Text", &TTestForm::Text))
VELL_IMPLEMENT_CLASS(TTestFrame, TTestForm)
VELL_IMPLEMENT_CLASS(TTestButton, TComponent, TProp::Field("Caption", &TTestButton::Caption),
                     TProp::Field("Hint", &TTestButton::Hint), TProp::Field("Action", &TTestButton::Action),
                     TProp::Field("OnClick", &TTestButton::OnClick))

namespace {

QByteArray Utf16Le(const QString &text) {
  QByteArray bytes("\xFF\xFE", 2);
  for (QChar c : text)
    bytes.append(char(c.unicode() & 0xFF)).append(char(c.unicode() >> 8));
  return bytes;
}

class VellLangMan : public ::testing::Test {
protected:
  TVellLangMan Load(const QString &text) { return TVellLangMan(Dir.Write("lang.ini", text.toUtf8())); }
  TTestDir Dir;
};

TEST_F(VellLangMan, WithoutFileEveryLookupFailsAndNothingChanges) {
  for (const QString &name : {QString(), Dir.Path() + QStringLiteral("missing.ini"), Dir.Path()}) {
    TVellLangMan manager(name);
    EXPECT_EQ(manager.LanguageName(), QStringLiteral("LanguageName"));
    QString value;
    EXPECT_FALSE(manager.GetCommonText(QStringLiteral("a=b"), value));
    EXPECT_EQ(value, QStringLiteral("a=b"));
    TTestForm form;
    TTestButton button(&form, QStringLiteral("btn"));
    manager.TranslateForm(&form, true);
    EXPECT_EQ(form.Caption, QStringLiteral("designed"));
    EXPECT_EQ(button.Caption, QStringLiteral("designed"));
    EXPECT_FALSE(form.Font.has_value());
  }
}

TEST_F(VellLangMan, ReadsEveryEncoding) {
  const QString text = QStringLiteral("[Language]\r\nLanguageName=简体中文\r\n");
  QByteArray big("\xFE\xFF", 2);
  for (QChar c : text)
    big.append(char(c.unicode() >> 8)).append(char(c.unicode() & 0xFF));
  for (const QByteArray &bytes :
       {Utf16Le(text), big, QByteArray("\xEF\xBB\xBF") + text.toUtf8(), text.toLocal8Bit()})
    EXPECT_EQ(TVellLangMan(Dir.Write("lang.ini", bytes)).LanguageName(), QStringLiteral("简体中文"));
}

TEST_F(VellLangMan, LooksUpEntriesAsTheFileLaysThemOut) {
  const TVellLangMan manager = Load(QStringLiteral("orphan=before any section\n"
                                                   "[Common]\n"
                                                   "  Plain  =  value  \n"
                                                   "; comment=no\n"
                                                   "NoEquals\n"
                                                   "Twice=first\n"
                                                   "twice=second\n"
                                                   "a#61b=escaped key\n"
                                                   "Blanks=#32#32two#32\n"
                                                   "Lines=one#13#10two#61#91x#93\n"
                                                   "Empty=\n"
                                                   "Marker={083D4BD5-1078-4C31-83F2-5889E2F991C6}\n"
                                                   "[ Repeated ]\n"
                                                   "Old=gone\n"
                                                   "[repeated]\n"
                                                   "New=kept\n"));
  const struct {
    QString Section, Key;
    bool Found;
    QString Value;
  } cases[] = {
      {"Common", "Plain", true, "value"},
      {"COMMON", "PLAIN", true, "value"},
      {"Common", "; comment", false, "; comment"},
      {"Common", "NoEquals", false, "NoEquals"},
      {"Common", "Twice", true, "second"},
      {"Common", "a=b", true, "escaped key"},
      {"Common", "Blanks", true, "  two "},
      {"Common", "Lines", true, "one\r\ntwo=[x]"},
      {"Common", "Empty", true, ""},
      {"Common", "Marker", false, "Marker"},
      {"Common", "orphan", false, "orphan"},
      {"Repeated", "Old", false, "Old"},
      {"Repeated", "New", true, "kept"},
  };
  for (const auto &c : cases) {
    QString value;
    EXPECT_EQ(manager.LookupText(c.Section, c.Key, value), c.Found) << c.Key.toStdString();
    EXPECT_EQ(value, c.Value) << c.Key.toStdString();
  }
}

TEST_F(VellLangMan, TranslatesAlongOwnershipNotNesting) {
  const TVellLangMan manager = Load(QStringLiteral("[TTestForm]\n"
                                                   "Caption=窗口\n"
                                                   "Narrow=eight bit\n"
                                                   "Fixed=changed\n"
                                                   "Text=changed\n"
                                                   "btnSource.caption=源目录 new\n"
                                                   "btnSource.Name=renamed\n"
                                                   "gbSetupFolder.btnSource.Hint=nested\n"
                                                   "frame.inner.Hint=frame hint\n"
                                                   "frame.Caption=frame caption\n"
                                                   ".orphan.Caption=unnamed path\n"
                                                   "orphan.Caption=unnamed path\n"
                                                   "linked.Caption=from the file\n"
                                                   "OnClick=no\n"));
  TTestForm form;
  TTestButton group(&form, QStringLiteral("gbSetupFolder"));
  TTestButton source(&form, QStringLiteral("btnSource")); // visually inside the group box
  TTestFrame frame;
  frame.SetName(QStringLiteral("frame"));
  frame.SetOwner(&form);
  TTestButton inner(&frame, QStringLiteral("inner"));
  TTestButton unnamed(&form, QString());
  TTestButton orphan(&unnamed, QStringLiteral("orphan"));
  TTestButton linked(&form, QStringLiteral("linked"));
  TObject action;
  linked.Action = &action;

  manager.TranslateForm(&form, true);
  EXPECT_EQ(form.Caption, QStringLiteral("窗口"));
  EXPECT_EQ(form.Narrow, QByteArray("eight bit"));
  EXPECT_EQ(form.Fixed, QStringLiteral("fixed"));
  EXPECT_EQ(form.Text, QStringLiteral("text"));
  EXPECT_EQ(source.Caption, QStringLiteral("源目录 new"));
  EXPECT_EQ(source.Name(), QStringLiteral("btnSource"));
  EXPECT_EQ(source.Hint, QStringLiteral("designed"));
  EXPECT_EQ(inner.Hint, QStringLiteral("frame hint"));
  EXPECT_EQ(frame.Caption, QStringLiteral("frame caption"));
  EXPECT_EQ(orphan.Caption, QStringLiteral("designed"));
  EXPECT_EQ(linked.Caption, QStringLiteral("designed"));
  EXPECT_FALSE(form.Font.has_value());
}

TEST_F(VellLangMan, AppliesTheFontOfTheFormsSection) {
  const TVellLangMan manager =
      Load(QStringLiteral("[TTestForm]\nFont=Arial; clBlack; -12; 0; 9; [fsBold,fsItalic]\n"
                          "[TTestFrame]\nFont=Arial; clBlack; -12; 0; 9\n"));
  TTestForm form;
  manager.TranslateForm(&form, false);
  ASSERT_TRUE(form.Font.has_value());
  EXPECT_EQ(form.Font->Name, QStringLiteral("Arial"));
  EXPECT_EQ(form.Font->Color, clBlack);
  EXPECT_EQ(form.Font->Size(), 9);
  EXPECT_EQ(form.Font->Style, (TFontStyles{fsBold, fsItalic}));
  TTestFrame frame;
  manager.TranslateForm(&frame, false);
  EXPECT_FALSE(frame.Font.has_value());
}

TEST(VellLangManFont, ParsesTheSixFields) {
  const struct {
    QString Text;
    bool Ok;
    TFont Expected;
  } cases[] = {
      {"Arial;clBlack;-12;0;9;[fsBold,fsItalic]",
       true,
       {"Arial", clBlack, -12, fpDefault, {fsBold, fsItalic}}},
      {"\"Semi;\"\"colon\"\" \" ; $FF; 20; 2; 15; fsUnderline,fsStrikeOut",
       true,
       {"Semi;\"colon\" ", 0xFF, -20, fpFixed, {fsUnderline, fsStrikeOut}}},
      {"宋体;clbtnface;-16;1;-24;", true, {"宋体", clBtnFace, 24 * 96 / 72, fpVariable, {}}},
      {"Arial;clBlack;-12;0;9", false, {"x", 7, -3, fpDefault, {}}},
      {"Arial;clBlack;-12;0;9;;", false, {"x", 7, -3, fpDefault, {}}},
      {"Arial;clNoSuchColour;-12;0;9;", false, {"Arial", 7, -3, fpDefault, {}}},
      {"Arial;clRed;big;0;9;", false, {"Arial", 0x0000FF, -3, fpDefault, {}}},
      {"Arial;clRed;-12 ;0;9;", false, {"Arial", 0x0000FF, -3, fpDefault, {}}},
  };
  for (const auto &c : cases) {
    TFont font{"x", 7, -3, fpDefault, {}};
    EXPECT_EQ(TVellLangMan::StrToFont(c.Text, font), c.Ok) << c.Text.toStdString();
    EXPECT_EQ(font, c.Expected) << c.Text.toStdString();
  }
}

TEST(VellLangManRules, IgnoresAndSkipsByName) {
  for (const char *name :
       {"Name", "helpkeyword", "HelpFile", "Category", "TEXT", "InitialDir", "FileName", "ImeName"})
    EXPECT_TRUE(TVellLangMan::IsIgnoredProperty(QString::fromLatin1(name))) << name;
  EXPECT_FALSE(TVellLangMan::IsIgnoredProperty(QStringLiteral("Caption")));
  const TTestButton button(nullptr, QStringLiteral("b"));
  EXPECT_FALSE(TVellLangMan::IsSkippedComponent(&button));
}

} // namespace
