// The POSIX stand-in for the registry: values from the environment.
#include "platform/registry.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include "platform/folders.h"
#include "testing/temp_dir.h"

namespace {

using platform::ReadRegistryValue;
using platform::RegistryRoot;

TEST(RegistryPosixTest, ValueComesFromTheEnvironment) {
  ASSERT_EQ(setenv("CustomPathDataDir", "/srv/dati\\", 1), 0);
  std::string value = "stale";
  ASSERT_TRUE(ReadRegistryValue(RegistryRoot::kCurrentUser, "SOFTWARE\\Vexwerk\\ZEDODER1",
                                "CustomPathDataDir", &value));
  EXPECT_EQ(value, "/srv/dati\\");

  // A malformed key path is refused although the value is there.
  for (const char* key : {"\\SOFTWARE\\Vexwerk", "SOFTWARE\\Vexwerk\\", "SOFTWARE\\\\Vexwerk"})
    EXPECT_FALSE(ReadRegistryValue(RegistryRoot::kCurrentUser, key, "CustomPathDataDir", &value))
        << key;

  unsetenv("CustomPathDataDir");
  EXPECT_FALSE(ReadRegistryValue(RegistryRoot::kCurrentUser, "SOFTWARE\\Vexwerk\\ZEDODER1",
                                 "CustomPathDataDir", &value));
}

TEST(FoldersPosixTest, NoSharedFolderAndDirectoryTest) {
  EXPECT_FALSE(platform::IsNtVersion6());
  std::string path = "stale";
  EXPECT_TRUE(platform::CommonAppDataFolder(&path));
  EXPECT_EQ(path, "");

  testing_support::ScopedTempDir dir;
  testing_support::WriteFileBytes(dir.File("f"), "x");
  EXPECT_TRUE(platform::DirectoryExists(dir.path()));
  EXPECT_TRUE(platform::DirectoryExists(dir.path() + "/"));
  EXPECT_FALSE(platform::DirectoryExists(dir.File("f")));
  EXPECT_FALSE(platform::DirectoryExists(dir.File("f") + "/"));
  EXPECT_FALSE(platform::DirectoryExists(dir.File("none")));
  EXPECT_FALSE(platform::DirectoryExists(""));
}

}  // namespace
