#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include "app/OwnVersion.h"
#include "support/TestSupport.h"
#include "text/TextTestSupport.h"

namespace {

// Built at run time, so this test program carries no stamp-like text of its own.
QByteArray Stamp(const QByteArray& version) { return QByteArray("V770-FILE") + "-VERSION:" + version; }

struct Version {
  uint16_t major = 7, minor = 7, build = 7, revision = 7;  // "untouched" marks
  bool operator==(const Version&) const = default;
};

std::pair<bool, Version> Read(const QString& path) {
  Version v;
  const bool ok = GetOwnVersion(path, &v.major, &v.minor, &v.build, &v.revision);
  return {ok, v};
}

class OwnVersionTest : public TextTest::FileTest {};

TEST_F(OwnVersionTest, BuiltProgramCarriesItsVersion) {
  const auto [ok, version] = Read(TestSupport::BinPath(QStringLiteral("V770PCSoft")));
  ASSERT_TRUE(ok);
  EXPECT_EQ(version, (Version{1, 0, 1, 18}));
}

TEST_F(OwnVersionTest, FilesWithoutAStampGiveNothing) {
  const Version untouched;
  for (const QString& path : {Write("an ordinary file\n"), Write(QByteArray()),
                              PathOf(QStringLiteral("missing")), m_dir.path(),
                              // This test program links the reader, whose code names the marker.
                              QCoreApplication::applicationFilePath()}) {
    const auto [ok, version] = Read(path);
    EXPECT_FALSE(ok) << path.toStdString();
    EXPECT_EQ(version, untouched) << path.toStdString();
  }
}

TEST_F(OwnVersionTest, OnlyAMarkerFollowedByFourSixteenBitNumbersCounts) {
  const Version untouched;
  const QByteArray nul(1, '\0');
  for (const QByteArray& bad : {Stamp("") + nul, Stamp("1.2.3") + nul, Stamp("1.2.3.") + nul, Stamp("1.2.3.65536") + nul,
                                Stamp("1.2.3.000001") + nul, Stamp("1..2.3") + nul, Stamp(" 1.2.3.4"), Stamp("a.b.c.d"),
                                QByteArray("V770-FILE-VERSION 1.2.3.4")}) {
    const auto [ok, version] = Read(Write("head" + nul + bad + nul + "tail"));
    EXPECT_FALSE(ok) << bad.toStdString();
    EXPECT_EQ(version, untouched);
  }
  // The marker text alone comes first (as in the reader's code), the stamp later.
  auto [ok, version] = Read(Write(Stamp("") + nul + "code" + Stamp("x") + nul + Stamp("65535.0.12.99") + nul));
  EXPECT_TRUE(ok);
  EXPECT_EQ(version, (Version{65535, 0, 12, 99}));
  // A stamp that ends the file.
  std::tie(ok, version) = Read(Write("binary" + Stamp("2.3.4.5")));
  EXPECT_TRUE(ok);
  EXPECT_EQ(version, (Version{2, 3, 4, 5}));
  // Callers may leave out numbers they do not need.
  EXPECT_TRUE(GetOwnVersion(Write(Stamp("1.0.1.18") + nul), nullptr, nullptr, nullptr, nullptr));
}

TEST_F(OwnVersionTest, ModuleIsLookedForBesideTheProgramFirst) {
  const QString self = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
  EXPECT_EQ(QFileInfo(FindModuleFile(self)).canonicalFilePath(),
            QFileInfo(QCoreApplication::applicationFilePath()).canonicalFilePath());

  // Not beside the program: the working folder.
  const QString previous = QDir::currentPath();
  ASSERT_TRUE(QDir::setCurrent(m_dir.path()));
  const QString local = Write("x");
  const QString found = FindModuleFile(QFileInfo(local).fileName());
  QDir::setCurrent(previous);
  EXPECT_EQ(QFileInfo(found).canonicalFilePath(), QFileInfo(local).canonicalFilePath());

  // Nowhere: the name as given, which then has no version.
  EXPECT_EQ(FindModuleFile(QStringLiteral("no-such-module-v770")), QStringLiteral("no-such-module-v770"));
}

}  // namespace
