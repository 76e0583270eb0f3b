#include <gtest/gtest.h>
#include <iconv.h>

#include <QByteArray>
#include <QtGlobal>

#include "TextTestSupport.h"
#include "platform/CodePage.h"

namespace {

// Sets LC_ALL for one test and puts the test program's locale back afterwards.
class ScopedLocaleEnv {
 public:
  explicit ScopedLocaleEnv(const char* value) { qputenv("LC_ALL", value); }
  ~ScopedLocaleEnv() { TextTest::UseUtf8Locale(); }
};

TEST(CodePage, CharsetNamesMapToNumbersWhateverTheirSpelling) {
  EXPECT_EQ(CodePage::FromCharsetName("UTF-8"), 65001);
  EXPECT_EQ(CodePage::FromCharsetName("utf8"), 65001);
  EXPECT_EQ(CodePage::FromCharsetName("CP1252"), 1252);
  EXPECT_EQ(CodePage::FromCharsetName("cp1252"), 1252);
  EXPECT_EQ(CodePage::FromCharsetName("ISO-8859-15"), 28605);
  EXPECT_EQ(CodePage::FromCharsetName("iso8859-1"), 28591);
  EXPECT_EQ(CodePage::FromCharsetName("EUC-JP"), 51932);
  EXPECT_EQ(CodePage::FromCharsetName("KOI8-R"), 20866);
  // The C locale's ASCII counts as UTF-8.
  EXPECT_EQ(CodePage::FromCharsetName("ANSI_X3.4-1968"), 65001);
  EXPECT_EQ(CodePage::FromCharsetName("no-such-charset"), 0);
  EXPECT_EQ(CodePage::FromCharsetName(""), 0);
  EXPECT_EQ(CodePage::FromCharsetName(nullptr), 0);
}

TEST(CodePage, EveryCommonCodePageHasACharsetIconvKnows) {
  const int codePages[] = {65001, 1250, 1251, 1252, 1253, 1254, 1255, 1256, 1257, 1258, 437, 850, 852,
                           866,   874,  932,  936,  949,  950,  20866, 21866, 28591, 28592, 28595,
                           28597, 28605, 51932, 51949, 54936};
  for (int codePage : codePages) {
    const char* charset = CodePage::CharsetName(codePage);
    ASSERT_NE(charset, nullptr) << codePage;
    iconv_t cd = iconv_open(charset, "UTF-16LE");
    EXPECT_NE(cd, reinterpret_cast<iconv_t>(-1)) << codePage << " " << charset;
    if (cd != reinterpret_cast<iconv_t>(-1)) iconv_close(cd);
    EXPECT_EQ(CodePage::FromCharsetName(charset), codePage) << charset;
  }
  EXPECT_EQ(CodePage::CharsetName(12345), nullptr);
}

TEST(CodePage, UserLocaleGivesItsCodePageAndCLocaleCountsAsUtf8) {
  {
    ScopedLocaleEnv env("C");
    EXPECT_EQ(CodePage::CurrentLocaleCodePage(), CodePage::kUtf8);
  }
  {
    ScopedLocaleEnv env("POSIX");
    EXPECT_EQ(CodePage::CurrentLocaleCodePage(), CodePage::kUtf8);
  }
  {
    ScopedLocaleEnv env("C.UTF-8");
    EXPECT_EQ(CodePage::CurrentLocaleCodePage(), CodePage::kUtf8);
    EXPECT_STREQ(CodePage::CharsetName(CodePage::kSystemAnsi), "UTF-8");
    EXPECT_STREQ(CodePage::CharsetName(CodePage::kDefaultAnsi), "UTF-8");
  }
  {
    // A locale that is not installed cannot be told: 0, and conversions fall back to UTF-8.
    ScopedLocaleEnv env("xx_YY.NOT-A-CHARSET");
    EXPECT_EQ(CodePage::CurrentLocaleCodePage(), 0);
    EXPECT_STREQ(CodePage::CharsetName(CodePage::kSystemAnsi), "UTF-8");
  }
}

}  // namespace
