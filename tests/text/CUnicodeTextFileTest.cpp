#include <gtest/gtest.h>
#include <iconv.h>

#include "platform/CodePage.h"
#include "support/TestSupport.h"
#include "text/CUnicodeTextFile.h"

using TestSupport::Utf16WithBom;

namespace {

constexpr uint32_t kReadText = CUnicodeTextFile::modeRead | CUnicodeTextFile::typeText;
constexpr int kUtf8 = CodePage::kUtf8;
const QByteArray kHugeLine(6 * 1024 * 1024, 'x');
using Lines = QList<QByteArray>;

class UnicodeTextFileTest : public TestSupport::FileTest {
 protected:
  // Every line of a file, read the way the program reads its text files.
  Lines Read(const QString& path, int codePage = kUtf8) {
    CUnicodeTextFile file;
    file.SetCodePage(codePage);
    EXPECT_TRUE(file.Open(path, kReadText));
    Lines lines;
    for (QByteArray line; file.ReadString(line);) lines.append(line);
    return lines;
  }
};

TEST_F(UnicodeTextFileTest, LinesOfEveryKindOfFile) {
  const QString text = QStringLiteral("first\r\nÉté à Paris\r\n\r\n  indented  \r\nlast");
  const Lines expected = {"first", QStringLiteral("Été à Paris").toUtf8(), "", "  indented  ", "last"};
  const QString emoji = QStringLiteral("😀");
  const QByteArray piece(4095, 'a');
  const std::tuple<QByteArray, int, Lines> cases[] = {
      {Utf16WithBom(text), kUtf8, expected},  // UTF-16 gives the same strings as the ANSI file
      {text.toUtf8(), kUtf8, expected},
      {"\xFF", kUtf8, {"\xFF"}},  // one byte: no byte-order mark
      {"one\r\ntwo\nthree\r\r\n\r\nmid\rdle\n\r", kUtf8, {"one", "two", "three", "", "mid\rdle", ""}},
      {Utf16WithBom(QStringLiteral("a\r\nb\nc\r")), kUtf8, {"a", "b", "c"}},
      {QByteArray("\xFF\xFE", 2), kUtf8, {}},
      {Utf16WithBom(u"Prix 5€ ✓ 東京 😀\r\n"_qs), 1252, {"Prix 5\x80 # ## #"}},  // what CP1252 lacks
      // UTF-8 has no replacement character: a lone surrogate is read as U+FFFD.
      {Utf16WithBom(u"x"_qs + QChar(0xD800) + u"y"_qs), kUtf8, {"x\xEF\xBF\xBDy"}},
      // A long UTF-16 line comes in pieces of 4095 units; a surrogate pair at the cut stays whole.
      {Utf16WithBom(QString(9000, u'a')), kUtf8, {piece, piece, QByteArray(9000 - 2 * 4095, 'a')}},
      {Utf16WithBom(QString(4094, u'b') + emoji), kUtf8, {QByteArray(4094, 'b'), emoji.toUtf8()}},
      {"caf\xE9 \x80\r\n", 1252, {QStringLiteral("café €").toUtf8()}},  // a CP1252 file for a UTF-8 user
      {"bad \xC3(\r\n", kUtf8, {"bad \xC3("}},                          // the user's own code page: as read
      {"keep \xE9\n", 12345, {"keep \xE9"}},  // a code page without charset: as read
      {Utf16WithBom(QStringLiteral("whole\r\nhalf")).chopped(1), kUtf8, {"whole", "hal"}},  // cut in a unit
      // A huge line is read whole (binary files of every code page: the reader's fuzz seeds).
      {kHugeLine + "\r\ntail", kUtf8, {kHugeLine, "tail"}}};
  for (const auto& [bytes, codePage, lines] : cases)
    EXPECT_EQ(Read(Write(bytes), codePage), lines) << bytes.toHex().left(40).constData();
}

// A wide file is read without line-end translation, into the file's code page; a file that is
// not open (or no file at all) reads nothing.
TEST_F(UnicodeTextFileTest, WideAndNarrowLinesAndAReaderThatIsNotOpen) {
  CUnicodeTextFile file;
  file.SetCodePage(1252);
  QString line;
  for (const QByteArray& bytes : {Utf16WithBom(u"Français\n"_qs), QByteArray("Fran\xE7") + "ais\n"}) {
    ASSERT_TRUE(file.Open(Write(bytes), kReadText));
    EXPECT_EQ(file.IsUnicodeText(), bytes.startsWith("\xFF\xFE"));
    EXPECT_TRUE(file.ReadLine(line) && line == u"Français"_qs);
  }
  EXPECT_FALSE(file.ReadLine(line));
  ASSERT_TRUE(file.Open(Write("a\n"), kReadText));
  file.Close();
  QByteArray bytes;
  EXPECT_FALSE(file.ReadString(bytes));
  EXPECT_FALSE(file.Open(PathOf(u"missing.txt"_qs), kReadText) || file.ReadString(bytes));
  EXPECT_FALSE(file.Open(m_dir.path(), kReadText) && file.ReadString(bytes));  // a folder is no text file
}

TEST(CodePage, NumbersAndCharsetNamesOfIconvAndTheUsersLocale) {
  // Aliases count; the C locale's ASCII counts as UTF-8.
  const std::pair<const char*, int> names[] = {
      {"utf8", 65001},        {"cp1252", 1252}, {"iso8859-1", 28591}, {"ANSI_X3.4-1968", 65001},
      {"no-such-charset", 0}, {"", 0},          {nullptr, 0}};
  for (const auto& [name, codePage] : names) EXPECT_EQ(CodePage::FromCharsetName(name), codePage) << name;
  // Every number that has a charset has one iconv opens, and that name leads back to it (the
  // reader's table has 1252 among them).
  for (int codePage = 1; codePage < 70000; ++codePage) {
    const char* charset = CodePage::CharsetName(codePage);
    if (!charset) continue;
    const iconv_t cd = iconv_open(charset, "UTF-16LE");
    EXPECT_NE(cd, reinterpret_cast<iconv_t>(-1)) << codePage << " " << charset;
    if (cd != reinterpret_cast<iconv_t>(-1)) iconv_close(cd);
    EXPECT_EQ(CodePage::FromCharsetName(charset), codePage) << charset;
  }
  // A locale that is not installed cannot be told: 0, and conversions fall back to UTF-8.
  for (const auto& [locale, codePage] :
       {std::pair{"C", kUtf8}, {"POSIX", kUtf8}, {"C.UTF-8", kUtf8}, {"xx_YY.NOT", 0}}) {
    qputenv("LC_ALL", locale);
    EXPECT_EQ(CodePage::CurrentLocaleCodePage(), codePage) << locale;
    EXPECT_STREQ(CodePage::CharsetName(CodePage::kSystemAnsi), "UTF-8") << locale;
  }
  qputenv("LC_ALL", "C.UTF-8");
}

}  // namespace
