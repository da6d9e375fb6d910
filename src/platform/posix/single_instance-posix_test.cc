// One instance per program directory: a second lock in the same directory
// fails, another directory has its own.
#include "platform/single_instance.h"

#include <gtest/gtest.h>

#include "testing/temp_dir.h"

namespace platform {
namespace {

TEST(InstanceLockTest, OnePerProgramDirectory) {
  testing_support::ScopedTempDir a, b;
  auto first = InstanceLock::Acquire(a.path());
  ASSERT_TRUE(first);
  EXPECT_FALSE(InstanceLock::Acquire(a.path()));
  EXPECT_TRUE(InstanceLock::Acquire(b.path()));
  first.reset();
  EXPECT_TRUE(InstanceLock::Acquire(a.path()));
}

TEST(InstanceLockTest, DirectoryWithoutWriteAccess) {
  // Nothing can be created in /proc, not even by root.
  auto first = InstanceLock::Acquire("/proc");
  ASSERT_TRUE(first);
  EXPECT_FALSE(InstanceLock::Acquire("/proc"));
}

}  // namespace
}  // namespace platform
