#include <gtest/gtest.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include "app/OwnWorkingFolder.h"

namespace {

const QDateTime kInstalled = QDateTime::fromSecsSinceEpoch(1'700'000'000);

// A file with its content and its time: earlier or later than the installed files.
struct Laid {
  const char* name;
  const char* content;
  qint64 secondsAfterInstall;
};

struct Case {
  const char* what;
  std::vector<Laid> start, own;
  bool bOwnIsAFile;       // something else stands where the own folder would go
  bool bShipped;          // the installed files are there
  const char* expected;   // "start" or "own"
  std::vector<std::pair<const char*, const char*>> ownAfter;  // file, content
};

class OwnWorkingFolderTest : public ::testing::Test {
 protected:
  QString Folder(const char* name) const { return m_root.filePath(QString::fromLatin1(name)); }
  static void Put(const QString& folder, const Laid& file) {
    QDir().mkpath(folder);
    QFile out(QDir(folder).filePath(QString::fromLatin1(file.name)));
    ASSERT_TRUE(out.open(QIODevice::WriteOnly) && out.write(file.content) >= 0 && out.flush());
    ASSERT_TRUE(out.setFileTime(kInstalled.addSecs(file.secondsAfterInstall), QFileDevice::FileModificationTime));
  }
  static QByteArray Content(const QString& path) {
    QFile in(path);
    return in.open(QIODevice::ReadOnly) ? in.readAll() : QByteArray("(missing)");
  }
  QTemporaryDir m_root;
};

TEST_F(OwnWorkingFolderTest, ChoosesAndLaysTheFolder) {
  const std::vector<Laid> shipped = {
      {"ui.txt", "texts", 0}, {"version.txt", "catalogue 2", 0}, {"extra.txt", "messages 2", 0}, {"pack.PCK", "pack", 0}};
  const Case cases[] = {
      {"a start folder with the texts is kept", {{"ui.txt", "mine", 0}}, {}, false, true, "start", {}},
      {"a fresh own folder gets every installed file",
       {},
       {},
       false,
       true,
       "own",
       {{"ui.txt", "texts"}, {"version.txt", "catalogue 2"}, {"extra.txt", "messages 2"}, {"pack.PCK", "pack"}}},
      {"older refreshed files are replaced, the others kept",
       {},
       {{"ui.txt", "edited", -100}, {"version.txt", "catalogue 1", -100}, {"pack.PCK", "old pack", -100}},
       false,
       true,
       "own",
       {{"ui.txt", "edited"}, {"version.txt", "catalogue 2"}, {"extra.txt", "messages 2"}, {"pack.PCK", "old pack"}}},
      {"a refreshed file changed since the installation stays",
       {},
       {{"ui.txt", "texts", 0}, {"version.txt", "my catalogue", 100}, {"extra.txt", "same time", 0}},
       false,
       true,
       "own",
       {{"version.txt", "my catalogue"}, {"extra.txt", "same time"}}},
      {"without installed files nothing is made", {}, {}, false, false, "start", {{"ui.txt", "(missing)"}}},
      {"an own folder that cannot be made leaves the start folder", {}, {}, true, true, "start", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_TRUE(QDir(m_root.path()).removeRecursively());
    for (const Laid& file : c.start) Put(Folder("start"), file);
    for (const Laid& file : c.own) Put(Folder("data/V770PCSoft"), file);
    if (c.bShipped)
      for (const Laid& file : shipped) Put(Folder("share"), file);
    QDir().mkpath(Folder("start"));
    if (c.bOwnIsAFile) Put(Folder("data"), {"V770PCSoft", "not a folder", 0});
    const OwnWorkingFolder folder{Folder("start"), Folder("data/V770PCSoft"), Folder("share"), "ui.txt",
                                  {"version.txt", "extra.txt"}};
    EXPECT_EQ(folder.Choose(), Folder(c.expected == std::string("own") ? "data/V770PCSoft" : "start"));
    for (const auto& [name, content] : c.ownAfter)
      EXPECT_EQ(Content(QDir(Folder("data/V770PCSoft")).filePath(QString::fromLatin1(name))), QByteArray(content)) << name;
    if (c.expected == std::string("start") && !c.bOwnIsAFile) EXPECT_FALSE(QDir(Folder("data/V770PCSoft")).exists());
    // A laid file carries the installed file's time, so only a later installation replaces it.
    if (c.own.empty() && c.expected == std::string("own"))
      EXPECT_EQ(QFileInfo(QDir(Folder("data/V770PCSoft")).filePath("version.txt")).lastModified(), kInstalled);
  }
}

}  // namespace
