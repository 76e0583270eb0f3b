// Unpacking the manual pack: items land under their stored names in the output folder, the
// bar moves per item, and damaged archives or unsafe names fail without writing elsewhere.
#include <gtest/gtest.h>
#include <zip.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <utility>
#include <vector>

#include "support/TestSupport.h"
#include "update/UnzipArchive.h"
#include "update/UnzipManualPack.h"

namespace {

using Items = std::vector<std::pair<QString, QByteArray>>;

// Writes a ZIP archive holding the items as given, names unchecked, data stored or deflated.
bool MakeZip(const QString& path, const Items& items, bool store = false) {
  int error = 0;
  zip_t* archive = zip_open(QFile::encodeName(path).constData(), ZIP_CREATE | ZIP_TRUNCATE, &error);
  if (!archive) return false;
  for (const auto& [name, bytes] : items) {
    zip_source_t* source =
        zip_source_buffer(archive, bytes.constData(), static_cast<zip_uint64_t>(bytes.size()), 0);
    const zip_int64_t index = zip_file_add(archive, name.toUtf8().constData(), source, ZIP_FL_ENC_UTF_8);
    if (index < 0) {
      zip_source_free(source);
      zip_discard(archive);
      return false;
    }
    if (store) zip_set_file_compression(archive, static_cast<zip_uint64_t>(index), ZIP_CM_STORE, 0);
  }
  return zip_close(archive) == 0;
}

QByteArray Payload(int size, char seed) {
  QByteArray bytes(size, Qt::Uninitialized);
  for (int i = 0; i < size; ++i) bytes[i] = static_cast<char>(seed + i * 7);
  return bytes;
}

TEST(UnzipItemName, OnlyNamesThatStayInsideTheFolder) {
  for (const char* name : {"a.hdr", "sub/a.hdr", "sub/../a.hdr", "./a.hdr", "sub/", "a..b"}) {
    EXPECT_TRUE(IsSafeItemName(QString::fromLatin1(name))) << name;
  }
  for (const char* name : {"", "../x", "sub/../../x", "/etc/x", "\\x", "..\\x", "sub\\..\\..\\x", "C:x",
                           "c:\\x", "..", "./../x"}) {
    EXPECT_FALSE(IsSafeItemName(QString::fromLatin1(name))) << name;
  }
}

class Unpack : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(temp.isValid());
    ASSERT_TRUE(QDir(temp.path()).mkpath(QStringLiteral("work")));
    work = temp.filePath(QStringLiteral("work"));
    pack = temp.filePath(QStringLiteral("pack.PCK"));
  }

  int Run() {
    positions.clear();
    error.clear();
    return UnpackManualPack(
        pack, work, [this](int pos) { positions.push_back(pos); }, &error);
  }

  QStringList Entries(const QString& folder) const {
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
  }

  QTemporaryDir temp;
  QString work;
  QString pack;
  std::vector<int> positions;
  QString error;
};

TEST_F(Unpack, FourItemsMoveTheBarOnePerItem) {
  const Items items = {{"ZipLIST.txt", "DB_FNAME=db.hdr\r\n"},
                       {"db.hdr", Payload(70000, 1)},
                       {"voice.hdr", Payload(3000, 2)},
                       {"fw.hdr", Payload(1024, 3)}};
  ASSERT_TRUE(MakeZip(pack, items));
  EXPECT_EQ(Run(), 1) << error.toStdString();
  EXPECT_EQ(positions, (std::vector<int>{1, 2, 3, 4, 4}));
  for (const auto& [name, bytes] : items)
    EXPECT_EQ(TestSupport::ReadFile(work + "/" + name), bytes) << name.toStdString();
  EXPECT_EQ(Entries(work).size(), 4);  // no temporary files left
}

TEST_F(Unpack, TwoItemsEndAtTheFullBar) {
  ASSERT_TRUE(MakeZip(pack, {{"a", "1"}, {"sub/b", "2"}}));
  EXPECT_EQ(Run(), 1);
  EXPECT_EQ(positions, (std::vector<int>{1, 2, 4}));
  EXPECT_EQ(TestSupport::ReadFile(work + "/sub/b"), "2");
}

TEST_F(Unpack, EmptyArchiveSucceedsAtOnce) {
  ASSERT_TRUE(MakeZip(pack, {}));
  // libzip writes no file for an archive without items; an empty archive is 22 bytes.
  if (!QFile::exists(pack)) {
    const QByteArray endOfDirectory("PK\x05\x06" + QByteArray(18, '\0'));
    ASSERT_TRUE(TestSupport::WriteFile(pack, endOfDirectory));
  }
  EXPECT_EQ(Run(), 1) << error.toStdString();
  EXPECT_EQ(positions, (std::vector<int>{4}));
  EXPECT_TRUE(Entries(work).isEmpty());
}

TEST_F(Unpack, ClimbingNameIsRefusedAndNothingLandsOutside) {
  ASSERT_TRUE(MakeZip(pack, {{"first.hdr", "ok"}, {"../x", "evil"}, {"last.hdr", "never"}}));
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(error, UnzipArchive::FormatMessage(ZR_UNSAFE) + ": ../x");
  EXPECT_FALSE(QFile::exists(temp.filePath(QStringLiteral("x"))));
  // Items before the refused one stay; the unpacking ends there.
  EXPECT_EQ(Entries(work), QStringList{QStringLiteral("first.hdr")});
  EXPECT_EQ(positions, (std::vector<int>{1, 2}));
}

TEST_F(Unpack, AbsoluteNameIsRefused) {
  const QString outside = temp.filePath(QStringLiteral("abs.hdr"));
  ASSERT_TRUE(MakeZip(pack, {{outside, "evil"}}));
  EXPECT_EQ(Run(), 0);
  EXPECT_TRUE(error.startsWith(UnzipArchive::FormatMessage(ZR_UNSAFE)));
  EXPECT_FALSE(QFile::exists(outside));
  EXPECT_TRUE(Entries(work).isEmpty());
}

TEST_F(Unpack, FolderLinkedOutsideIsRefused) {
  ASSERT_TRUE(QDir(temp.path()).mkpath(QStringLiteral("outside")));
  ASSERT_TRUE(QFile::link(temp.filePath(QStringLiteral("outside")), work + "/link"));
  ASSERT_TRUE(MakeZip(pack, {{"link/x.hdr", "evil"}, {"link/deeper/y.hdr", "evil"}}));
  EXPECT_EQ(Run(), 0);
  EXPECT_TRUE(Entries(temp.filePath(QStringLiteral("outside"))).isEmpty());
}

TEST_F(Unpack, DamagedArchivesFailWithTheirText) {
  ASSERT_TRUE(TestSupport::WriteFile(pack, Payload(5000, 9)));
  EXPECT_EQ(Run(), 0);
  EXPECT_TRUE(error.startsWith(UnzipArchive::FormatMessage(ZR_NOTZIP))) << error.toStdString();

  // A valid archive cut short loses its directory.
  ASSERT_TRUE(MakeZip(pack, {{"a.hdr", Payload(4000, 1)}}));
  QByteArray bytes = TestSupport::ReadFile(pack);
  ASSERT_TRUE(TestSupport::WriteFile(pack, bytes.left(bytes.size() - 10)));
  EXPECT_EQ(Run(), 0);
  EXPECT_TRUE(error.startsWith(UnzipArchive::FormatMessage(ZR_NOTZIP))) << error.toStdString();

  QFile::remove(pack);
  EXPECT_EQ(Run(), 0);
  EXPECT_TRUE(error.startsWith(UnzipArchive::FormatMessage(ZR_NOFILE))) << error.toStdString();
  EXPECT_TRUE(Entries(work).isEmpty());
}

TEST_F(Unpack, ItemWithDamagedDataIsNotWritten) {
  const QByteArray content = Payload(6000, 4);
  ASSERT_TRUE(MakeZip(pack, {{"a.hdr", content}}, /*store=*/true));
  QByteArray bytes = TestSupport::ReadFile(pack);
  const qsizetype at = bytes.indexOf(content);
  ASSERT_GE(at, 0);
  bytes[at + 3000] = static_cast<char>(bytes[at + 3000] ^ 0x55);
  ASSERT_TRUE(TestSupport::WriteFile(pack, bytes));
  EXPECT_EQ(Run(), 0);
  EXPECT_TRUE(error.startsWith(UnzipArchive::FormatMessage(ZR_READ))) << error.toStdString();
  EXPECT_TRUE(Entries(work).isEmpty());  // not even a part of it
}

TEST(UnzipArchiveOperations, ResultCodesOfMisuse) {
  UnzipArchive archive;
  UnzipEntry entry;
  EXPECT_EQ(archive.GetItem(entry), ZR_NOTOPEN);
  EXPECT_EQ(archive.ItemToFile(QStringLiteral("a"), entry), ZR_NOTOPEN);
  EXPECT_EQ(archive.Close(), ZR_NOTOPEN);

  QTemporaryDir temp;
  const QString pack = temp.filePath(QStringLiteral("p.zip"));
  ASSERT_TRUE(MakeZip(pack, {{"a", "1"}, {"b", "22"}}));
  ASSERT_EQ(archive.Open(pack), ZR_OK);
  entry.index = -1;
  ASSERT_EQ(archive.GetItem(entry), ZR_OK);
  EXPECT_EQ(entry.index, 2);
  entry.index = 1;
  ASSERT_EQ(archive.GetItem(entry), ZR_OK);
  EXPECT_EQ(entry.name, "b");
  EXPECT_EQ(entry.uncompressedSize, 2u);
  entry.index = 2;
  EXPECT_EQ(archive.GetItem(entry), ZR_ARGS);
  EXPECT_EQ(archive.ItemToFile(QStringLiteral("c"), entry), ZR_ARGS);
  EXPECT_EQ(archive.Close(), ZR_OK);

  QStringList texts;
  for (int code = 0; code < ZR_RESULT_COUNT; ++code) texts << UnzipArchive::FormatMessage(code);
  texts.removeDuplicates();
  EXPECT_EQ(texts.size(), ZR_RESULT_COUNT);
  EXPECT_FALSE(UnzipArchive::FormatMessage(ZR_RESULT_COUNT).isEmpty());
}

}  // namespace
