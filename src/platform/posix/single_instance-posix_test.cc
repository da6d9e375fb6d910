// One instance per program directory: a second lock in the same directory
// fails, another directory has its own.
#include "platform/single_instance.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

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

// Under systemd the lock is a 0600 file in the runtime directory, so that
// another user who can read the program directory cannot hold it.
TEST(InstanceLockTest, RuntimeDirectoryFileUnderSystemd) {
  testing_support::ScopedTempDir run, program, b;
  ASSERT_EQ(0, setenv("RUNTIME_DIRECTORY", (run.path() + ":/elsewhere").c_str(), 1));
  std::string name;
  auto first = InstanceLock::Acquire(program.path(), &name);
  ASSERT_TRUE(first);
  EXPECT_EQ(run.path() + "/quilo1.lock", name);
  struct stat st {};
  ASSERT_EQ(0, stat(name.c_str(), &st));
  EXPECT_EQ(0600u, st.st_mode & 0777u);
  EXPECT_FALSE(InstanceLock::Acquire(program.path()));
  // The program directory is not what is locked.
  ASSERT_EQ(0, unsetenv("RUNTIME_DIRECTORY"));
  EXPECT_TRUE(InstanceLock::Acquire(program.path()));
  // An unusable runtime directory falls back to the program directory, with a note.
  ASSERT_EQ(0, setenv("RUNTIME_DIRECTORY", "/proc/no-such-dir", 1));
  std::string note;
  auto fallback = InstanceLock::Acquire(b.path(), &name, &note);
  unsetenv("RUNTIME_DIRECTORY");
  EXPECT_TRUE(fallback);
  EXPECT_EQ(b.path() + "/quilo1.lock", name);
  EXPECT_NE(std::string::npos, note.find("/proc/no-such-dir/quilo1.lock")) << note;
}

// Outside systemd the lock is a 0600 file in the program directory, created
// so whatever the umask; a link or a file with a second name there is never
// used (nor its mode changed) and the directory itself is locked instead.
TEST(InstanceLockTest, ProgramDirectoryFileOnlyItsOwnerCanOpen) {
  testing_support::ScopedTempDir program, elsewhere;
  const mode_t old = umask(0);
  std::string name, note;
  auto first = InstanceLock::Acquire(program.path(), &name, &note);
  umask(old);
  ASSERT_TRUE(first);
  EXPECT_EQ(program.path() + "/quilo1.lock", name);
  EXPECT_EQ("", note);
  struct stat st {};
  ASSERT_EQ(0, lstat(name.c_str(), &st));
  EXPECT_EQ(0600u, st.st_mode & 07777u);
  EXPECT_FALSE(InstanceLock::Acquire(program.path()));
  first.reset();

  const std::string target = elsewhere.File("target");
  testing_support::WriteFileBytes(target, "x");
  ASSERT_EQ(0, chmod(target.c_str(), 0644));
  for (bool hard : {false, true}) {
    ASSERT_EQ(0, unlink(name.c_str()));
    ASSERT_EQ(0, hard ? link(target.c_str(), name.c_str()) : symlink(target.c_str(), name.c_str()));
    std::string lockedName;
    auto planted = InstanceLock::Acquire(program.path(), &lockedName, &note);
    EXPECT_TRUE(planted) << hard;
    EXPECT_EQ(program.path(), lockedName) << hard;
    EXPECT_NE(std::string::npos, note.find("any user")) << note;
    ASSERT_EQ(0, stat(target.c_str(), &st));
    EXPECT_EQ(0644u, st.st_mode & 07777u) << hard;
  }
}

}  // namespace
}  // namespace platform
