#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTemporaryDir>

#include "platform/SingleInstance.h"
#include "support/TestSupport.h"

TEST(SingleInstance, ASecondStartIsRefusedAndAsksTheFirstToComeForward) {
  QTemporaryDir folder;
  SingleInstance first(folder.path()), second(folder.path());
  int asked = 0;
  QObject::connect(&first, &SingleInstance::activationRequested, [&] { ++asked; });
  ASSERT_TRUE(first.Acquire());
  EXPECT_FALSE(second.Acquire());
  EXPECT_TRUE(second.AskRunningToActivate());
  EXPECT_TRUE(TestSupport::WaitUntil([&] { return asked == 1; }, SingleInstance::kAnswerTimeoutMs));

  // The command line takes the lock alone: a later start is refused, finds nobody listening
  // to ask, and can tell who holds the lock.
  QTemporaryDir cliFolder;
  SingleInstance cli(cliFolder.path()), window(cliFolder.path());
  ASSERT_TRUE(cli.AcquireLock());
  EXPECT_FALSE(window.Acquire());
  EXPECT_EQ(window.HolderName(), QCoreApplication::applicationName());
  EXPECT_FALSE(window.AskRunningToActivate(300));
}
