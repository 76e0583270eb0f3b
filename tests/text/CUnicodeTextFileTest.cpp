#include <gtest/gtest.h>
#include <iconv.h>

#include "platform/CodePage.h"
#include "support/TestSupport.h"
#include "text/CUnicodeTextFile.h"

using TestSupport::Utf16WithBom;

namespace {

constexpr uint32_t kReadText = CUnicodeTextFile::modeRead | CUnicodeTextFile::typeText;
constexpr int kUtf8 = CodePage::kUtf8;
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
  const std::tuple<QByteArray, int, Lines> cases[] = {
      {Utf16WithBom(text), kUtf8, expected},  // UTF-16 gives the same strings as the ANSI file
      {text.toUtf8(), kUtf8, expected},
      {"\xEF\xBB\xBF" "abc\r\ndef", kUtf8, {"\xEF\xBB\xBF" "abc", "def"}},  // a UTF-8 signature is ANSI text
      {"\xFF", kUtf8, {"\xFF"}},                                          // one byte: no byte-order mark
      {QByteArray("\xFE\xFF\0x", 4), kUtf8, {QByteArray("\xFE\xFF\0x", 4)}},  // big-endian is no mark either
      {"one\r\ntwo\nthree\r\r\n\r\nmid\rdle\n\r", kUtf8, {"one", "two", "three", "", "mid\rdle", ""}},
      {"last\r", kUtf8, {"last"}},
      {Utf16WithBom(QStringLiteral("a\r\nb\nc\r")), kUtf8, {"a", "b", "c"}},
      {QByteArray(), kUtf8, {}},
      {QByteArray("\xFF\xFE", 2), kUtf8, {}},
      {Utf16WithBom(QStringLiteral("Prix 5€ ✓ 東京 😀\r\n")), 1252, {"Prix 5\x80 # ## #"}},  // what CP1252 lacks
      {Utf16WithBom(QStringLiteral("✓ 東京 😀")), kUtf8, {QStringLiteral("✓ 東京 😀").toUtf8()}},
      // A long UTF-16 line comes in pieces of 4095 units; a surrogate pair at the cut stays whole.
      {Utf16WithBom(QString(10000, u'a') + QStringLiteral("\r\nend")), kUtf8,
       {QByteArray(4095, 'a'), QByteArray(4095, 'a'), QByteArray(10000 - 2 * 4095, 'a'), "end"}},
      {Utf16WithBom(QString(4094, u'b') + emoji + QStringLiteral("\r\n")), kUtf8, {QByteArray(4094, 'b'), emoji.toUtf8()}},
      {"caf\xE9 \x80\r\n", 1252, {QStringLiteral("café €").toUtf8()}},  // a CP1252 file for a UTF-8 user
      {"bad \xC3(\r\n", kUtf8, {"bad \xC3("}},    // the user's own code page: as read
      {"keep \xE9\n", 12345, {"keep \xE9"}},      // a code page without charset: as read
      {Utf16WithBom(QStringLiteral("whole\r\nhalf")).chopped(1), kUtf8, {"whole", "hal"}}};  // cut in a unit
  for (const auto& [bytes, codePage, lines] : cases) EXPECT_EQ(Read(Write(bytes), codePage), lines) << bytes.toHex().left(40).constData();
}

// A wide file is read without line-end translation, into the file's code page; a file that is
// not open (or no file at all, or asked to be written) reads nothing.
TEST_F(UnicodeTextFileTest, WideAndNarrowLinesAndAReaderThatIsNotOpen) {
  CUnicodeTextFile file;
  file.SetCodePage(1252);
  QString line;
  for (const QByteArray& bytes : {Utf16WithBom(u"Français\n"_qs), QByteArray("Fran\xE7" "ais\n")}) {
    ASSERT_TRUE(file.Open(Write(bytes), kReadText));
    const bool wide = bytes.startsWith("\xFF\xFE");
    EXPECT_EQ(file.IsUnicodeText(), wide);
    EXPECT_EQ(file.OpenFlags() & (CUnicodeTextFile::typeText | CUnicodeTextFile::typeBinary),
              wide ? CUnicodeTextFile::typeBinary : CUnicodeTextFile::typeText);
    EXPECT_TRUE(file.ReadLine(line) && line == u"Français"_qs);
  }
  EXPECT_FALSE(file.ReadLine(line));
  ASSERT_TRUE(file.Open(Write("a\n"), kReadText));
  file.Close();
  QByteArray bytes("untouched");
  EXPECT_FALSE(file.ReadString(bytes));
  EXPECT_FALSE(CUnicodeTextFile::IsFileUnicode(PathOf(u"missing.txt"_qs)));
  EXPECT_FALSE(file.Open(PathOf(u"missing.txt"_qs), kReadText) || file.ReadString(bytes));
  EXPECT_EQ(bytes, "untouched");
  // Reading only: a request to write or create neither opens nor creates the file.
  EXPECT_FALSE(file.Open(PathOf(u"new.txt"_qs), CUnicodeTextFile::modeCreate | CUnicodeTextFile::modeWrite));
  EXPECT_FALSE(QFile::exists(PathOf(u"new.txt"_qs)));
  EXPECT_FALSE(file.Open(m_dir.path(), kReadText) && file.ReadString(bytes));  // a folder is no text file
}

TEST_F(UnicodeTextFileTest, ConversionsKeepToTheirBuffersAndReplaceWhatIsBroken) {
  char16_t wide[8];
  EXPECT_EQ(CUnicodeTextFile::MultiByteToWide("abc", wide, 3, kUtf8), 0);  // no room for the terminator
  EXPECT_EQ(wide[0], 0);
  EXPECT_EQ(CUnicodeTextFile::MultiByteToWide("a\xFF" "b", wide, 4, kUtf8), 3);
  EXPECT_EQ(std::u16string(wide), u"a\uFFFDb");
  char bytes[8];
  EXPECT_EQ(CUnicodeTextFile::WideToMultiByte(u"éé", bytes, 4, kUtf8), 0);
  // UTF-8 has no replacement character: a lone surrogate is written as U+FFFD.
  const char16_t loneSurrogate[] = {u'x', char16_t(0xD800), 0};
  EXPECT_EQ(CUnicodeTextFile::WideToMultiByte(loneSurrogate, bytes, 8, kUtf8), 4);
  EXPECT_STREQ(bytes, "x\xEF\xBF\xBD");
}

// (Binary files of every code page: the reader's fuzz target and its seeds.)
TEST_F(UnicodeTextFileTest, HugeLinesAreReadWhole) {
  constexpr int kHugeLine = 6 * 1024 * 1024;
  TestSupport::Clock timer;
  EXPECT_EQ(Read(Write(QByteArray(kHugeLine, 'x') + "\r\ntail")), (Lines{QByteArray(kHugeLine, 'x'), "tail"}));
  const Lines wide = Read(Write(Utf16WithBom(QString(kHugeLine / 4, u'y') + QStringLiteral("\ntail"))));
  EXPECT_EQ(wide.size(), kHugeLine / 4 / 4095 + 2);
  EXPECT_EQ(wide.last(), "tail");
  EXPECT_LT(timer.elapsed(), 60000);
}

TEST(CodePage, NumbersAndCharsetNamesOfIconvAndTheUsersLocale) {
  const std::pair<const char*, int> names[] = {
      {"UTF-8", 65001}, {"utf8", 65001},  {"cp1252", 1252}, {"iso8859-1", 28591}, {"ISO-8859-15", 28605},
      {"EUC-JP", 51932}, {"ANSI_X3.4-1968", 65001},  // the C locale's ASCII counts as UTF-8
      {"no-such-charset", 0}, {"", 0}, {nullptr, 0}};
  for (const auto& [name, codePage] : names) EXPECT_EQ(CodePage::FromCharsetName(name), codePage) << name;
  // Every number that has a charset has one iconv opens, and that name leads back to it.
  int known = 0;
  for (int codePage = 1; codePage < 70000; ++codePage) {
    const char* charset = CodePage::CharsetName(codePage);
    if (!charset) continue;
    ++known;
    const iconv_t cd = iconv_open(charset, "UTF-16LE");
    EXPECT_NE(cd, reinterpret_cast<iconv_t>(-1)) << codePage << " " << charset;
    if (cd != reinterpret_cast<iconv_t>(-1)) iconv_close(cd);
    EXPECT_EQ(CodePage::FromCharsetName(charset), codePage) << charset;
  }
  EXPECT_GE(known, 20);
  // A locale that is not installed cannot be told: 0, and conversions fall back to UTF-8.
  for (const auto& [locale, codePage] : {std::pair{"C", kUtf8}, {"POSIX", kUtf8}, {"C.UTF-8", kUtf8}, {"xx_YY.NOT", 0}}) {
    qputenv("LC_ALL", locale);
    EXPECT_EQ(CodePage::CurrentLocaleCodePage(), codePage) << locale;
    EXPECT_STREQ(CodePage::CharsetName(CodePage::kSystemAnsi), "UTF-8") << locale;
    EXPECT_STREQ(CodePage::CharsetName(CodePage::kDefaultAnsi), "UTF-8") << locale;
  }
  qputenv("LC_ALL", "C.UTF-8");
}

}  // namespace
