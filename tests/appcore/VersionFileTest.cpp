#include <gtest/gtest.h>

#include <QCoreApplication>

#include "app/OwnVersion.h"
#include "app/VersionFile.h"
#include "support/TestSupport.h"

namespace {

const QString kShippedCatalogue = TestSupport::ShippedDataPath(QStringLiteral("V770_VersionInfo_v12.txt"));

// Everything the file gave, in one line: "pc|fw|file|db entries|voice entries".
QString Dump(const VersionInfo& info) {
  QStringList parts{info.strPCSoftVersion, info.strFWVersion, info.strFWFile};
  for (const QList<VersionEntry>* list : {&info.listDB, &info.listVoice}) {
    QStringList texts;
    for (const VersionEntry& entry : *list)
      texts << QStringLiteral("%1:%2").arg(entry.nIndex).arg(entry.strText);
    parts << texts.join(u',');
  }
  return parts.join(u'|');
}

class VersionFileTest : public TestSupport::FileTest {
 protected:
  QString Read(const QByteArray& bytes) {
    VersionInfo info;
    EXPECT_TRUE(ReadVersionFile(Write(bytes), info));
    return Dump(info);
  }
};

TEST_F(VersionFileTest, WhatEachKindOfFileGives) {
  const std::pair<QByteArray, QString> cases[] = {
      // Headers are found after space removal, anywhere in their line, the first that matches.
      {"[ FW ]\r\nVERSION = 2.1\r\n  [FW_FILE]  \r\nNAME = fw_file\r\nsee [PCSOFT_VERSION] here\r\n"
       "VERSION=9.9\r\n[FW][DB]\r\nVERSION = 3.0 \r\n[fw]\r\nVERSION = lower case is no header\r\n",
       "9.9|3.0|fw_file||"},
      // The value after the first "=" (the program's own version untrimmed), or the whole line.
      {"[PCSOFT_VERSION]\r\n 1.0 = beta \r\n[FW]\r\n\t 1.7 \t\r\n[FW_FILE]\r\nNAME = a=b \r\n",
       " beta |1.7|a=b||"},
      {"[FW]\r\n\r\n[FW_FILE]", "||||"},  // the next line, whatever it holds
      // Index and text by character positions, once the spaces are gone; blank lines skipped.
      {"[DB]\r\nCOUNT = 6\r\nDB_LIST_07 := 100412_Europe\r\n\r\n   \r\nDB _LIST_ 1 2 := 1004 12_Eu rope\r\n"
       "DB_LIST_\r\nDB_LIST_3\r\nDB_LIST_05:=\r\nDB_LIST_XYabcd_Name\r\n"
       "[VOICE]\r\nCOUNT=2\r\nVOICE_LIST_02 := 10203_French\r\nVOICE_LIST_1\r\n",
       "|||7:100412_Europe,12:100412_Europe,0:,3:,5:,0:cd_Name|2:10203_French,1:"},
      {"[DB]\r\nCOUNT = 1\r\nDB_LIST_00 := 1_Europe\r\nDB_LIST_01 := 1_France\r\n", "|||0:1_Europe|"},
      // A count too large does not swallow the next section.
      {"[DB]\r\nCOUNT = 10\r\nDB_LIST_00 := 1_Europe\r\nDB_LIST_01 := 1_France\r\n[VOICE]\r\nCOUNT = 1\r\n"
       "VOICE_LIST_00 := 1_English\r\n[FW]\r\nVERSION = 1.6\r\n",
       "|1.6||0:1_Europe,1:1_France|0:1_English"},
      {"[DB]\r\nCOUNT = many\r\nDB_LIST_00 := 1_Europe\r\n", "||||"},
      {"[DB]\r\nCOUNT = 99999999999999999999\r\nDB_LIST_00 := 1_Europe\r\n", "|||0:1_Europe|"},
      {"[DB]\r\nCOUNT=1\r\nDB_LIST_00:=1_A\r\n[DB]\r\nCOUNT=1\r\nDB_LIST_01:=1_B\r\n", "|||0:1_A,1:1_B|"},
      {QByteArray(), "||||"}};
  for (const auto& [bytes, expected] : cases) EXPECT_EQ(Read(bytes), expected) << bytes.left(60).constData();
}

// Of a broken file whatever can be read is read (binary files: the fuzz target's seeds).
TEST_F(VersionFileTest, ReadingAgainMissingAndBrokenFiles) {
  VersionInfo info;
  info.listDB.append(VersionEntry{42, QStringLiteral("stale")});
  ASSERT_TRUE(ReadVersionFile(kShippedCatalogue, info));
  const QString whole = Dump(info);
  EXPECT_FALSE(whole.contains(QStringLiteral("stale")));
  ASSERT_TRUE(ReadVersionFile(kShippedCatalogue, info));
  EXPECT_FALSE(ReadVersionFile(PathOf(QStringLiteral("missing.txt")), info));
  EXPECT_EQ(Dump(info), whole);
  ASSERT_TRUE(whole.contains(QStringLiteral("100330_Germany")));
  // Cut short in the middle of the DB list.
  const QByteArray shipped = TestSupport::ReadFile(kShippedCatalogue);
  const QString cut = Read(shipped.left(shipped.indexOf("100330_Germany") + 5));
  EXPECT_TRUE(cut.startsWith(whole.section(u'|', 0, 2)) && cut.endsWith(u",2:10033|"_qs))
      << cut.toStdString();
  EXPECT_EQ(Read("\xEF\xBB\xBF" + shipped), whole);  // a UTF-8 signature hides nothing
}

// Built at run time, so this test program carries no stamp-like text of its own.
QByteArray Stamp(const QByteArray& version) { return QByteArray("V770-FILE") + "-VERSION:" + version; }

// "a.b.c.d" as read from the file (or changed without a stamp), or "none".
QString VersionOf(const QString& path) {
  uint16_t v[4] = {7, 7, 7, 7};
  const bool ok = GetOwnVersion(path, &v[0], &v[1], &v[2], &v[3]);
  const QString numbers = QStringLiteral("%1.%2.%3.%4").arg(v[0]).arg(v[1]).arg(v[2]).arg(v[3]);
  return ok || numbers != u"7.7.7.7"_qs ? numbers : u"none"_qs;
}

TEST_F(VersionFileTest, OwnVersionOnlyAMarkerFollowedByFourSixteenBitNumbersCountsInTheModuleFound) {
  const QByteArray nul(1, '\0');
  QByteArray refused;  // too few numbers, one past 16 bits or of six digits, a blank, letters
  for (const char* bad :
       {"", "1.2.3", "1.2.3.", "1.2.3.65536", "1.2.3.000001", "1..2.3", " 1.2.3.4", "a.b.c.d"})
    refused += Stamp(bad) + nul;
  const std::pair<QByteArray, const char*> files[] = {
      {refused + "V770-FILE-VERSION 1.2.3.4", "none"},
      // The marker text alone comes first (as in the reader's code), the stamp later.
      {refused + "code" + Stamp("65535.0.12.99") + nul, "65535.0.12.99"},
      {"binary" + Stamp("2.3.4.5"), "2.3.4.5"}};  // a stamp that ends the file
  for (const auto& [bytes, version] : files)
    EXPECT_EQ(VersionOf(Write("head" + nul + bytes)), QString::fromLatin1(version)) << bytes.constData();
  // This test program links the reader, whose code names the marker.
  for (const QString& path : {PathOf(u"missing"_qs), m_dir.path(), QCoreApplication::applicationFilePath()})
    EXPECT_EQ(VersionOf(path), QStringLiteral("none")) << path.toStdString();
  // A module found nowhere keeps its name (one beside the program: the sheet's caption test).
  EXPECT_EQ(FindModuleFile(QStringLiteral("no-such-module-v770")), QStringLiteral("no-such-module-v770"));
}

}  // namespace
