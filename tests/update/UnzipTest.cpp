// Unpacking the manual pack; damaged archives, unsafe names or links write nothing outside.
#include "UpdateTestSupport.h"
#include "update/UnzipArchive.h"
#include "update/UnzipManualPack.h"

using TestSupport::Entries;
using TestSupport::ReadFile;
using TestSupport::WriteFile;
using UpdateTestSupport::MakeZip;

namespace {

class Unpack : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(QDir().mkpath(work) && QDir().mkpath(outside)); }
  int Run(int stopAt = 0) {  // the position at which the program closes, if any
    positions.clear();
    error.clear();
    std::stop_source stopper;
    const auto setPos = [&](int pos) {
      positions.push_back(pos);
      if (pos == stopAt) stopper.request_stop();
    };
    return UnpackManualPack(pack, work, setPos, &error, stopper.get_token());
  }

  QTemporaryDir temp;
  const QString work = temp.filePath("work"), outside = temp.filePath("outside");
  const QString pack = temp.filePath("pack.PCK");
  std::vector<int> positions;
  QString error;
};

TEST_F(Unpack, ItemsLandWithTheirNamesAndTheBarEndsFull) {
  const QList<std::pair<QString, QByteArray>> four = {{"ZipLIST.txt", "DB_FNAME=db.hdr\r\n"},
                                                      {"db.hdr", QByteArray(70000, 'd')},
                                                      {"voice.hdr", UpdateTestSupport::Database(3000)},
                                                      {"sub/fw.hdr", QByteArray(1024, 'f')}};
  ASSERT_TRUE(MakeZip(pack, four));
  EXPECT_EQ(Run(), 1) << error.toStdString();
  EXPECT_EQ(positions, (std::vector<int>{1, 2, 3, 4, 4}));
  for (const auto& [name, bytes] : four) EXPECT_EQ(ReadFile(work + "/" + name), bytes) << name.toStdString();
  EXPECT_EQ(Entries(work).size(), 4);  // no temporary files left

  // libzip writes no file for an archive without items; an empty archive is 22 bytes.
  ASSERT_TRUE(WriteFile(pack, QByteArray("PK\x05\x06") + QByteArray(18, '\0')));
  EXPECT_EQ(Run(), 1) << error.toStdString();
  EXPECT_EQ(positions, (std::vector<int>{4}));
}

TEST_F(Unpack, UnsafeDamagedOrStoppedPacksFailWithTheirTextAndWriteNothingOutside) {
  const QByteArray stored = UpdateTestSupport::Database(5000);
  struct Case {
    const char* what;
    std::function<bool()> make;
    int code;
    QStringList left;   // what the work folder holds afterwards
    QString item = {};  // the item the message names
    int stopAt = 0;
  };
  const auto zip = [this](QList<std::pair<QString, QByteArray>> items) {
    return [this, items] { return MakeZip(pack, items); };
  };
  const Case cases[] = {
      {"climbing", zip({{"first.hdr", "ok"}, {"../x", "evil"}, {"last.hdr", "no"}}), ZR_UNSAFE, {"first.hdr"},
       "../x"},
      {"folder link", [&] { return QFile::link(outside, work + "/l") && zip({{"l/x.hdr", "evil"}})(); },
       ZR_UNSAFE, {"l"}},
      {"file link", [&] { return QFile::link(outside + "/x", work + "/x") && zip({{"x", "evil"}})(); },
       ZR_UNSAFE, {"x"}, "x"},
      {"cut short", [&] { return zip({{"a.hdr", stored}})() &&
                                 WriteFile(pack, ReadFile(pack).chopped(10)); },
       ZR_NOTZIP, {}},
      {"missing", [&] { return QFile::remove(pack); }, ZR_NOFILE, {}},
      {"damaged item data", [&] {
         QByteArray bytes = MakeZip(pack, {{"a.hdr", stored}}, /*store=*/true) ? ReadFile(pack) : "";
         bytes[bytes.indexOf(stored) + 3000] ^= 0x55;
         return WriteFile(pack, bytes);
       }, ZR_READ, {}},  // not even a part of it
      // Closing while an item is written: the items before stay, no part of that one.
      {"stopped", zip({{"1.hdr", "ok"}, {"2.hdr", stored}, {"3", "no"}}), ZR_ABORT, {"1.hdr"}, "2.hdr", 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    for (const QString& name : Entries(work)) QFile::remove(work + "/" + name);
    ASSERT_TRUE(c.make());
    EXPECT_EQ(Run(c.stopAt), 0);
    EXPECT_TRUE(error.startsWith(UnzipArchive::FormatMessage(c.code))) << error.toStdString();
    EXPECT_TRUE(c.item.isEmpty() || error.endsWith(": " + c.item)) << error.toStdString();
    EXPECT_EQ(Entries(work), c.left);
    EXPECT_TRUE(Entries(outside).isEmpty() && !QFile::exists(temp.filePath("x")));
  }
}

TEST(UnpackNames, OnlyNamesWithinTheFolderAreSafe) {
  for (const char* name : {"a.hdr", "sub/a.hdr", "sub/../a.hdr", "./a.hdr", "sub/", "a..b"})
    EXPECT_TRUE(IsSafeItemName(name)) << name;
  for (const char* name :
       {"", "../x", "sub/../../x", "/etc/x", "\\x", "..\\x", "sub\\..\\..\\x", "C:x", "c:\\x", "..", "./../x"})
    EXPECT_FALSE(IsSafeItemName(name)) << name;
}

}  // namespace
