#include <gtest/gtest.h>

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include "app/OwnWorkingFolder.h"

namespace {

const QDateTime kInstalled = QDateTime::fromSecsSinceEpoch(1'700'000'000);

// "name=content@seconds": a file and its time, against the installed files' time.
void Put(const QString& folder, const QString& file) {
  const QString name = file.section('=', 0, 0), content = file.section('=', 1).section('@', 0, 0);
  QFile out(QDir(folder).filePath(name));
  ASSERT_TRUE(QDir().mkpath(folder) && out.open(QIODevice::WriteOnly) && out.write(content.toUtf8()) >= 0 && out.flush());
  ASSERT_TRUE(out.setFileTime(kInstalled.addSecs(file.section('@', 1).toLongLong()), QFileDevice::FileModificationTime));
}

// "name=content" of each file of a folder, and "@own" when its time is not the installed one.
QStringList Files(const QString& folder) {
  QStringList files;
  for (const QFileInfo& info : QDir(folder).entryInfoList(QDir::Files, QDir::Name)) {
    QFile in(info.filePath());
    files << info.fileName() + '=' + (in.open(QIODevice::ReadOnly) ? in.readAll() : QByteArray()) +
                 (info.lastModified() == kInstalled ? QString() : QStringLiteral("@own"));
  }
  return files;
}

TEST(OwnWorkingFolderTest, ChoosesTheFolderAndLaysWhatItLacks) {
  const QStringList shipped{"extra.txt=messages 2@0", "pack.PCK=pack@0", "ui.txt=texts@0", "version.txt=catalogue 2@0"};
  const struct {
    const char* what;
    QStringList start, own;
    bool bOwnBlocked, bOwnChosen;
    QStringList ownAfter;
  } cases[] = {
      {"a start folder with the texts stays", {"ui.txt=mine@0"}, {}, false, false, {}},
      {"a fresh own folder gets every installed file", {}, {}, false, true,
       {"extra.txt=messages 2", "pack.PCK=pack", "ui.txt=texts", "version.txt=catalogue 2"}},
      {"only older refreshed files are replaced", {}, {"pack.PCK=old@-9", "ui.txt=edited@-9", "version.txt=catalogue 1@-9"},
       false, true, {"extra.txt=messages 2", "pack.PCK=old@own", "ui.txt=edited@own", "version.txt=catalogue 2"}},
      {"refreshed files as new or newer stay", {}, {"extra.txt=mine@0", "ui.txt=texts@0", "version.txt=mine@9"}, false,
       true, {"extra.txt=mine", "pack.PCK=pack", "ui.txt=texts", "version.txt=mine@own"}},
      {"an own folder that cannot be made", {}, {}, true, false, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    QTemporaryDir root;
    const QString start = root.filePath("start"), own = root.filePath("data/V770PCSoft"), share = root.filePath("share");
    ASSERT_TRUE(QDir().mkpath(start));
    for (const QString& file : c.start) Put(start, file);
    for (const QString& file : c.own) Put(own, file);
    for (const QString& file : shipped) Put(share, file);
    if (c.bOwnBlocked) Put(root.filePath("data"), "V770PCSoft=a file@0");
    const OwnWorkingFolder folder{start, own, share, "ui.txt", {"version.txt", "extra.txt"}};
    EXPECT_EQ(folder.Choose(), c.bOwnChosen ? own : start);
    EXPECT_EQ(Files(own), c.ownAfter);
  }
}

}  // namespace
