#include <gtest/gtest.h>

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

  // Where no program listens, nobody answers.
  QTemporaryDir empty;
  EXPECT_FALSE(SingleInstance(empty.path()).AskRunningToActivate(300));
}
