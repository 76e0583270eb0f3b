#include <gtest/gtest.h>

#include "app/VersionFile.h"
#include "support/TestSupport.h"
#include "text/TextTestSupport.h"

namespace {

class VersionFileTest : public TextTest::FileTest {
 protected:
  VersionInfo Read(const QByteArray& bytes) {
    VersionInfo info;
    EXPECT_TRUE(ReadVersionFile(Write(bytes), info));
    return info;
  }
};

QStringList Texts(const QList<VersionEntry>& entries) {
  QStringList texts;
  for (const VersionEntry& entry : entries) texts << entry.strText;
  return texts;
}

QList<int> Indexes(const QList<VersionEntry>& entries) {
  QList<int> indexes;
  for (const VersionEntry& entry : entries) indexes << entry.nIndex;
  return indexes;
}

TEST_F(VersionFileTest, ShippedCatalogue) {
  VersionInfo info;
  ASSERT_TRUE(ReadVersionFile(TestSupport::ShippedDataPath(QStringLiteral("V770_VersionInfo_v12.txt")), info));
  EXPECT_EQ(info.strPCSoftVersion, QStringLiteral(" 1.0.1.18"));  // taken as it stands
  EXPECT_EQ(info.strFWVersion, QStringLiteral("1.6"));
  EXPECT_EQ(info.strFWFile, QStringLiteral("V770_FW_v0106"));
  EXPECT_EQ(Texts(info.listDB), (QStringList{"100412_Europe", "100412_France", "100330_Germany",
                                             "100405_UnitedKingdom", "100322_Italy", "100318_Spain"}));
  EXPECT_EQ(Indexes(info.listDB), (QList<int>{0, 1, 2, 3, 4, 5}));
  EXPECT_EQ(Texts(info.listVoice), (QStringList{"10203_English", "10203_French", "10105_German"}));
  EXPECT_EQ(Indexes(info.listVoice), (QList<int>{0, 1, 2}));
}

TEST_F(VersionFileTest, HeadersAreFoundAfterSpaceRemovalInTheirOrder) {
  const VersionInfo info = Read(
      "[ FW ]\r\nVERSION = 2.1\r\n"
      "  [FW_FILE]  \r\nNAME = fw_file\r\n"
      "see [PCSOFT_VERSION] here\r\nVERSION=9.9\r\n"
      "[FW][DB]\r\nVERSION = 3.0 \r\n"  // both headers: [FW] is tested first
      "[fw]\r\nVERSION = lower case is no header\r\n");
  EXPECT_EQ(info.strFWVersion, QStringLiteral("3.0"));
  EXPECT_EQ(info.strFWFile, QStringLiteral("fw_file"));  // [FW_FILE] is not taken for [FW]
  EXPECT_EQ(info.strPCSoftVersion, QStringLiteral("9.9"));
  EXPECT_TRUE(info.listDB.isEmpty());
}

TEST_F(VersionFileTest, ValueLines) {
  VersionInfo info = Read(
      "[PCSOFT_VERSION]\r\n 1.0 = beta \r\n"
      "[FW]\r\n\t 1.7 \t\r\n"
      "[FW_FILE]\r\nNAME = a=b \r\n");
  EXPECT_EQ(info.strPCSoftVersion, QStringLiteral(" beta "));  // after the first "=", untrimmed
  EXPECT_EQ(info.strFWVersion, QStringLiteral("1.7"));        // no "=": the whole line, trimmed
  EXPECT_EQ(info.strFWFile, QStringLiteral("a=b"));
  // The value is the next line, whatever it holds; a header at the end has an empty value.
  info = Read("[FW]\r\n\r\n[FW_FILE]");
  EXPECT_EQ(info.strFWVersion, QString());
  EXPECT_EQ(info.strFWFile, QString());
}

TEST_F(VersionFileTest, ListEntriesByCharacterPositions) {
  const VersionInfo info = Read(
      "[DB]\r\nCOUNT = 6\r\n"
      "DB_LIST_07 := 100412_Europe\r\n"
      "\r\n"
      "   \r\n"
      "DB _LIST_ 1 2 := 1004 12_Eu rope\r\n"  // spaces go before the positions are taken
      "DB_LIST_\r\n"                           // ends before its index
      "DB_LIST_3\r\n"                          // ends inside its index
      "DB_LIST_05:=\r\n"                       // ends before its text
      "DB_LIST_XYabcd_Name\r\n"
      "[VOICE]\r\nCOUNT=2\r\nVOICE_LIST_02 := 10203_French\r\nVOICE_LIST_1\r\n");
  EXPECT_EQ(Indexes(info.listDB), (QList<int>{7, 12, 0, 3, 5, 0}));
  EXPECT_EQ(Texts(info.listDB), (QStringList{"100412_Europe", "100412_Europe", "", "", "", "cd_Name"}));
  EXPECT_EQ(Indexes(info.listVoice), (QList<int>{2, 1}));
  EXPECT_EQ(Texts(info.listVoice), (QStringList{"10203_French", ""}));
}

TEST_F(VersionFileTest, CountDecidesHowManyEntriesAreTaken) {
  // Fewer than the count at the end of the file: the entries found.
  VersionInfo info = Read("[VOICE]\r\nCOUNT = 5\r\nVOICE_LIST_00 := 1_English\r\n");
  EXPECT_EQ(Texts(info.listVoice), QStringList{"1_English"});
  // More than the count: the rest are no entries.
  info = Read("[DB]\r\nCOUNT = 1\r\nDB_LIST_00 := 1_Europe\r\nDB_LIST_01 := 1_France\r\n");
  EXPECT_EQ(Texts(info.listDB), QStringList{"1_Europe"});
  // A count too large does not swallow the next section.
  info = Read(
      "[DB]\r\nCOUNT = 10\r\nDB_LIST_00 := 1_Europe\r\nDB_LIST_01 := 1_France\r\n"
      "[VOICE]\r\nCOUNT = 1\r\nVOICE_LIST_00 := 1_English\r\n"
      "[FW]\r\nVERSION = 1.6\r\n");
  EXPECT_EQ(Texts(info.listDB), (QStringList{"1_Europe", "1_France"}));
  EXPECT_EQ(Texts(info.listVoice), QStringList{"1_English"});
  EXPECT_EQ(info.strFWVersion, QStringLiteral("1.6"));
  // Counts that are no count: none, negative, absurd.
  info = Read("[DB]\r\nCOUNT = many\r\nDB_LIST_00 := 1_Europe\r\n");
  EXPECT_TRUE(info.listDB.isEmpty());
  info = Read("[DB]\r\nCOUNT = -4\r\nDB_LIST_00 := 1_Europe\r\n");
  EXPECT_TRUE(info.listDB.isEmpty());
  info = Read("[DB]\r\nCOUNT = 99999999999999999999\r\nDB_LIST_00 := 1_Europe\r\n");
  EXPECT_EQ(Texts(info.listDB), QStringList{"1_Europe"});
  // A second section of a list adds to it.
  info = Read("[DB]\r\nCOUNT=1\r\nDB_LIST_00:=1_A\r\n[DB]\r\nCOUNT=1\r\nDB_LIST_01:=1_B\r\n");
  EXPECT_EQ(Texts(info.listDB), (QStringList{"1_A", "1_B"}));
}

TEST_F(VersionFileTest, ReadingAgainDoesNotDuplicateEntries) {
  const QString path = TestSupport::ShippedDataPath(QStringLiteral("V770_VersionInfo_v12.txt"));
  VersionInfo info;
  info.listDB.append(VersionEntry{42, QStringLiteral("stale")});
  ASSERT_TRUE(ReadVersionFile(path, info));
  ASSERT_TRUE(ReadVersionFile(path, info));
  EXPECT_EQ(info.listDB.size(), 6);
  EXPECT_EQ(info.listVoice.size(), 3);
  EXPECT_EQ(info.listDB.first().strText, QStringLiteral("100412_Europe"));
}

TEST_F(VersionFileTest, MissingFileLeavesEverythingAsItWas) {
  VersionInfo info;
  info.strFWFile = QStringLiteral("kept");
  info.listVoice.append(VersionEntry{1, QStringLiteral("kept")});
  EXPECT_FALSE(ReadVersionFile(PathOf(QStringLiteral("missing.txt")), info));
  EXPECT_EQ(info.strFWFile, QStringLiteral("kept"));
  EXPECT_EQ(info.listVoice.size(), 1);
}

TEST_F(VersionFileTest, FileInTheUsersCodePageOrUtf16) {
  const QString text = QStringLiteral("[FW_FILE]\r\nNAME = Mise_à_jour\r\n[DB]\r\nCOUNT = 1\r\nDB_LIST_00 := 100412_Île\r\n");
  const VersionInfo ansi = Read(text.toUtf8());  // the test runs in a UTF-8 locale
  EXPECT_EQ(ansi.strFWFile, QStringLiteral("Mise_à_jour"));
  EXPECT_EQ(Texts(ansi.listDB), QStringList{QStringLiteral("100412_Île")});

  const VersionInfo wide = Read(TextTest::Utf16WithBom(text));
  EXPECT_EQ(wide.strFWFile, ansi.strFWFile);
  EXPECT_EQ(Texts(wide.listDB), Texts(ansi.listDB));
}

// Broken files: whatever can be read is read, and the reading always ends.
TEST_F(VersionFileTest, BadFiles) {
  VersionInfo info = Read(QByteArray());
  EXPECT_TRUE(info.listDB.isEmpty() && info.strFWVersion.isEmpty());

  const QByteArray shipped = TestSupport::ReadFile(TestSupport::ShippedDataPath(QStringLiteral("V770_VersionInfo_v12.txt")));
  ASSERT_FALSE(shipped.isEmpty());
  // Cut short in the middle of the DB list.
  info = Read(shipped.left(shipped.indexOf("100330_Germany") + 5));
  EXPECT_EQ(info.strFWFile, QStringLiteral("V770_FW_v0106"));
  EXPECT_EQ(Texts(info.listDB), (QStringList{"100412_Europe", "100412_France", "10033"}));
  EXPECT_TRUE(info.listVoice.isEmpty());

  // A UTF-8 signature: headers are found anywhere in their line.
  info = Read("\xEF\xBB\xBF" + shipped);
  EXPECT_EQ(info.strPCSoftVersion, QStringLiteral(" 1.0.1.18"));
  EXPECT_EQ(info.listDB.size(), 6);

  // A value line of several megabytes.
  info = Read("[FW_FILE]\r\nNAME = " + QByteArray(5 * 1024 * 1024, 'f') + "\r\n[FW]\r\nVERSION = 1.6\r\n");
  EXPECT_EQ(info.strFWFile.size(), 5 * 1024 * 1024);
  EXPECT_EQ(info.strFWVersion, QStringLiteral("1.6"));

  // Binary bytes, then the whole catalogue.
  QByteArray binary;
  for (int i = 0; i < 100000; ++i) binary.append(char((i * 7919) % 256));
  info = Read(binary + "\r\n" + shipped);
  EXPECT_EQ(info.listDB.size(), 6);
  EXPECT_EQ(info.listVoice.size(), 3);
}

}  // namespace
