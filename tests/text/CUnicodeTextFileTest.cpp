#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QRandomGenerator>

#include "TextTestSupport.h"
#include "platform/CodePage.h"
#include "support/TestSupport.h"
#include "text/CUnicodeTextFile.h"

namespace {

constexpr uint32_t kReadText = CUnicodeTextFile::modeRead | CUnicodeTextFile::typeText;

class UnicodeTextFileTest : public TextTest::FileTest {
 protected:
  // Every line of a file, read the way the program reads its text files.
  QList<QByteArray> Lines(const QString& path, int codePage = CodePage::kUtf8) {
    CUnicodeTextFile file;
    file.SetCodePage(codePage);
    EXPECT_TRUE(file.Open(path, kReadText));
    QList<QByteArray> lines;
    QByteArray line;
    while (file.ReadString(line)) lines.append(line);
    return lines;
  }
};

TEST_F(UnicodeTextFileTest, ByteOrderMarkTellsUtf16FromOtherFiles) {
  EXPECT_TRUE(CUnicodeTextFile::IsFileUnicode(Write(QByteArray("\xFF\xFE", 2))));
  EXPECT_TRUE(CUnicodeTextFile::IsFileUnicode(Write(TextTest::Utf16WithBom(QStringLiteral("x")))));
  EXPECT_FALSE(CUnicodeTextFile::IsFileUnicode(Write(QByteArray("\xFF", 1))));
  EXPECT_FALSE(CUnicodeTextFile::IsFileUnicode(Write(QByteArray("\xFE\xFF\x00x", 4))));  // big-endian
  EXPECT_FALSE(CUnicodeTextFile::IsFileUnicode(Write(QByteArray())));
  EXPECT_FALSE(CUnicodeTextFile::IsFileUnicode(Write("plain text")));
  EXPECT_FALSE(CUnicodeTextFile::IsFileUnicode(PathOf(QStringLiteral("missing.txt"))));
}

TEST_F(UnicodeTextFileTest, Utf16FileGivesTheSameStringsAsTheAnsiFile) {
  const QString text = QStringLiteral("first\r\nÉté à Paris\r\n\r\n  indented  \r\nlast");
  const QString wide = Write(TextTest::Utf16WithBom(text));
  const QString ansi = Write(text.toUtf8());
  const QList<QByteArray> expected = {"first", QStringLiteral("Été à Paris").toUtf8(), "", "  indented  ", "last"};
  EXPECT_EQ(Lines(wide), expected);
  EXPECT_EQ(Lines(ansi), expected);

  CUnicodeTextFile file;
  ASSERT_TRUE(file.Open(wide, kReadText));
  EXPECT_TRUE(file.IsUnicodeText());
  // No line-end translation on the wide stream.
  EXPECT_EQ(file.OpenFlags() & CUnicodeTextFile::typeText, 0u);
  EXPECT_NE(file.OpenFlags() & CUnicodeTextFile::typeBinary, 0u);
}

TEST_F(UnicodeTextFileTest, Utf8SignatureIsReadAsAnsiText) {
  CUnicodeTextFile file;
  file.SetCodePage(CodePage::kUtf8);
  ASSERT_TRUE(file.Open(Write("\xEF\xBB\xBF" "abc\r\ndef"), kReadText));
  EXPECT_FALSE(file.IsUnicodeText());
  QByteArray line;
  ASSERT_TRUE(file.ReadString(line));
  EXPECT_EQ(line, QByteArray("\xEF\xBB\xBF" "abc"));
  ASSERT_TRUE(file.ReadString(line));
  EXPECT_EQ(line, "def");
  EXPECT_FALSE(file.ReadString(line));
}

TEST_F(UnicodeTextFileTest, LineEndsAreTrimmed) {
  // CR LF, LF, a lone CR before LF in text mode, a line of a single CR at the end.
  EXPECT_EQ(Lines(Write("one\r\ntwo\nthree\r\r\n\r\nmid\rdle\n\r")),
            (QList<QByteArray>{"one", "two", "three", "", "mid\rdle", ""}));
  EXPECT_EQ(Lines(Write("last\r")), QList<QByteArray>{"last"});
  EXPECT_EQ(Lines(Write(TextTest::Utf16WithBom(QStringLiteral("a\r\nb\nc\r")))),
            (QList<QByteArray>{"a", "b", "c"}));
  EXPECT_TRUE(Lines(Write(QByteArray())).isEmpty());
  EXPECT_TRUE(Lines(Write(QByteArray("\xFF\xFE", 2))).isEmpty());
}

TEST_F(UnicodeTextFileTest, CharactersTheCodePageLacksBecomeHash) {
  // The euro sign is in CP1252 (0x80); a check mark, Kanji and an emoji are not.
  const QString path = Write(TextTest::Utf16WithBom(QStringLiteral("Prix 5€ ✓ 東京 😀\r\n")));
  EXPECT_EQ(Lines(path, 1252), QList<QByteArray>{QByteArray("Prix 5\x80 # ## #")});
  // UTF-8 holds them all.
  EXPECT_EQ(Lines(path, CodePage::kUtf8), QList<QByteArray>{QStringLiteral("Prix 5€ ✓ 東京 😀").toUtf8()});
}

TEST_F(UnicodeTextFileTest, LongUtf16LineComesInPiecesOfAtMost4095Units) {
  const QString path = Write(TextTest::Utf16WithBom(QString(10000, QLatin1Char('a')) + QStringLiteral("\r\nend")));
  const QList<QByteArray> lines = Lines(path);
  ASSERT_EQ(lines.size(), 4);
  EXPECT_EQ(lines[0].size(), 4095);
  EXPECT_EQ(lines[1].size(), 4095);
  EXPECT_EQ(lines[2].size(), 10000 - 2 * 4095);
  EXPECT_EQ(lines[3], "end");

  // A surrogate pair at the cut is kept whole in the next piece.
  const QString emoji = QStringLiteral("😀");
  const QList<QByteArray> split =
      Lines(Write(TextTest::Utf16WithBom(QString(4094, QLatin1Char('b')) + emoji + QStringLiteral("\r\n"))));
  ASSERT_EQ(split.size(), 2);
  EXPECT_EQ(split[0], QByteArray(4094, 'b'));
  EXPECT_EQ(split[1], emoji.toUtf8());
}

TEST_F(UnicodeTextFileTest, AnsiLineIsReencodedIntoTheUsersCodePage) {
  // A CP1252 file read by a UTF-8 user.
  EXPECT_EQ(Lines(Write("caf\xE9 \x80\r\n"), 1252), QList<QByteArray>{QStringLiteral("café €").toUtf8()});
  // Same code page as the user's: the bytes stay as they are, even when they are not valid.
  EXPECT_EQ(Lines(Write("bad \xC3(\r\n"), CodePage::kUtf8), QList<QByteArray>{"bad \xC3("});
  // A code page with no charset: the line stays as read.
  EXPECT_EQ(Lines(Write("keep \xE9\n"), 12345), QList<QByteArray>{"keep \xE9"});
}

TEST_F(UnicodeTextFileTest, ReadLineDecodesFromTheStringsCodePage) {
  CUnicodeTextFile file;
  file.SetCodePage(1252);
  ASSERT_TRUE(file.Open(Write("Fran\xE7" "ais\n"), kReadText));
  QString line;
  ASSERT_TRUE(file.ReadLine(line));
  EXPECT_EQ(line, QStringLiteral("Français"));
  EXPECT_FALSE(file.ReadLine(line));
  EXPECT_EQ(line, QStringLiteral("Français"));
}

TEST_F(UnicodeTextFileTest, ReaderThatIsNotOpenRefusesToRead) {
  CUnicodeTextFile file;
  QByteArray line("untouched");
  EXPECT_FALSE(file.ReadString(line));
  EXPECT_EQ(line, "untouched");

  EXPECT_FALSE(file.Open(PathOf(QStringLiteral("missing.txt")), kReadText));
  EXPECT_FALSE(file.ReadString(line));

  ASSERT_TRUE(file.Open(Write("a\n"), kReadText));
  file.Close();
  EXPECT_FALSE(file.ReadString(line));
  EXPECT_EQ(line, "untouched");

  // Reading only: a request to write or create neither opens nor creates the file.
  const QString created = PathOf(QStringLiteral("created.txt"));
  EXPECT_FALSE(file.Open(created, CUnicodeTextFile::modeCreate | CUnicodeTextFile::modeWrite));
  EXPECT_FALSE(QFile::exists(created));
  // A folder is no text file.
  EXPECT_FALSE(file.Open(m_dir.path(), kReadText) && file.ReadString(line));
}

TEST_F(UnicodeTextFileTest, ConversionHelpersRefuseBadArgumentsAndSmallBuffers) {
  char16_t wide[8];
  EXPECT_EQ(CUnicodeTextFile::MultiByteToWide(nullptr, wide, 8, CodePage::kUtf8), 0);
  EXPECT_EQ(CUnicodeTextFile::MultiByteToWide("abc", nullptr, 8, CodePage::kUtf8), 0);
  EXPECT_EQ(CUnicodeTextFile::MultiByteToWide("abc", wide, 0, CodePage::kUtf8), 0);
  EXPECT_EQ(CUnicodeTextFile::MultiByteToWide("abc", wide, 8, 12345), 0);
  // Three characters and the terminator need four units.
  EXPECT_EQ(CUnicodeTextFile::MultiByteToWide("abc", wide, 3, CodePage::kUtf8), 0);
  EXPECT_EQ(wide[0], 0);
  EXPECT_EQ(CUnicodeTextFile::MultiByteToWide("abc", wide, 4, CodePage::kUtf8), 3);
  EXPECT_EQ(std::u16string(wide), u"abc");
  // A bad UTF-8 byte becomes the replacement character; CP1252 0xE9 is é.
  EXPECT_EQ(CUnicodeTextFile::MultiByteToWide("a\xFF" "b", wide, 8, CodePage::kUtf8), 3);
  EXPECT_EQ(std::u16string(wide), u"a\uFFFDb");
  EXPECT_EQ(CUnicodeTextFile::MultiByteToWide("\xE9", wide, 8, 1252), 1);
  EXPECT_EQ(wide[0], u'é');

  char bytes[8];
  EXPECT_EQ(CUnicodeTextFile::RequiredMultiByteLength(u"é", CodePage::kUtf8), 3);
  EXPECT_EQ(CUnicodeTextFile::RequiredMultiByteLength(u"é", 1252), 2);
  EXPECT_EQ(CUnicodeTextFile::RequiredMultiByteLength(nullptr, 1252), 0);
  EXPECT_EQ(CUnicodeTextFile::RequiredMultiByteLength(u"é", 12345), 0);
  EXPECT_EQ(CUnicodeTextFile::WideToMultiByte(u"é", bytes, 0, 1252), 0);
  EXPECT_EQ(CUnicodeTextFile::WideToMultiByte(u"é", nullptr, 8, 1252), 0);
  EXPECT_EQ(CUnicodeTextFile::WideToMultiByte(nullptr, bytes, 8, 1252), 0);
  EXPECT_EQ(CUnicodeTextFile::WideToMultiByte(u"éé", bytes, 2, CodePage::kUtf8), 0);

  bool usedDefault = false;
  EXPECT_EQ(CUnicodeTextFile::WideToMultiByte(u"é", bytes, 8, 1252, &usedDefault), 1);
  EXPECT_FALSE(usedDefault);
  EXPECT_EQ(CUnicodeTextFile::WideToMultiByte(u"a✓", bytes, 8, 1252, &usedDefault), 2);
  EXPECT_TRUE(usedDefault);
  EXPECT_STREQ(bytes, "a#");
  // UTF-8 has no replacement character: a lone surrogate is written as U+FFFD.
  const char16_t loneSurrogate[] = {u'x', char16_t(0xD800), 0};
  EXPECT_EQ(CUnicodeTextFile::WideToMultiByte(loneSurrogate, bytes, 8, CodePage::kUtf8), 4);
  EXPECT_STREQ(bytes, "x\xEF\xBF\xBD");
}

TEST_F(UnicodeTextFileTest, HugeAndBinaryFilesAreReadToTheEnd) {
  constexpr int kHugeLine = 6 * 1024 * 1024;
  QElapsedTimer timer;
  timer.start();
  const QList<QByteArray> ansi = Lines(Write(QByteArray(kHugeLine, 'x') + "\r\ntail"));
  ASSERT_EQ(ansi.size(), 2);
  EXPECT_EQ(ansi[0].size(), kHugeLine);
  EXPECT_EQ(ansi[1], "tail");
  const QList<QByteArray> wide =
      Lines(Write(TextTest::Utf16WithBom(QString(kHugeLine / 4, QLatin1Char('y')) + QStringLiteral("\ntail"))));
  EXPECT_EQ(wide.size(), kHugeLine / 4 / 4095 + 2);
  EXPECT_EQ(wide.last(), "tail");
  EXPECT_LT(timer.elapsed(), 60000);

  QByteArray binary(64 * 1024, '\0');
  QRandomGenerator random(770);
  for (char& byte : binary) byte = char(random.bounded(256));
  qsizetype total = 0;
  for (const QByteArray& line : Lines(Write(binary), 1252)) total += line.size();
  EXPECT_GT(total, 0);
  // The same bytes after a byte-order mark, cut short in the middle of a unit.
  EXPECT_FALSE(Lines(Write(QByteArray("\xFF\xFE", 2) + binary.left(1001))).isEmpty());
}

TEST_F(UnicodeTextFileTest, Utf16FileCutInTheMiddleOfAUnitKeepsWhatCameBefore) {
  QByteArray bytes = TextTest::Utf16WithBom(QStringLiteral("whole\r\nhalf"));
  bytes.chop(1);
  EXPECT_EQ(Lines(Write(bytes)), (QList<QByteArray>{"whole", "hal"}));
}

}  // namespace
