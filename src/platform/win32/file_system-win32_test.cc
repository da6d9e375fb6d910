// The Win32 file layer on a real folder: folders are refused, a replace is
// atomic and leaves no temporary, a new file is made once.
#include <gtest/gtest.h>

#include "platform/file_system.h"
#include "testing/temp_dir.h"

namespace {

using platform::FileKind;
using platform::ReadStatus;
using testing_support::ReadFileBytes;
using testing_support::ScopedTempDir;

TEST(FileSystemWin32Test, ReadsWritesAndRefuses) {
  ScopedTempDir dir;
  auto fs = platform::FileSystem::CreateReal();
  std::string doc = dir.File("doc \xE8.txt"), bytes, error;
  ASSERT_TRUE(fs->CreateFile(doc, "old", &error)) << error;
  EXPECT_FALSE(fs->CreateFile(doc, "again", &error));
  ASSERT_TRUE(fs->WriteFile(doc, "a\r\nb", &error)) << error;
  ASSERT_TRUE(fs->AppendFile(doc, "+", true, &error)) << error;
  EXPECT_EQ(ReadStatus::kOk, fs->ReadFile(doc, 5, &bytes, &error));
  EXPECT_EQ("a\r\nb+", bytes);
  EXPECT_EQ(ReadStatus::kTooLarge, fs->ReadFile(doc, 4, &bytes, &error));
  ASSERT_TRUE(fs->MakeDirectory(dir.File("folder")));
  EXPECT_EQ(FileKind::kDirectory, fs->Kind(dir.File("folder")));
  EXPECT_EQ(ReadStatus::kNotRegular, fs->ReadFile(dir.File("folder"), 5, &bytes, &error));
  EXPECT_FALSE(fs->WriteFile(dir.File("folder"), "x", &error));
  EXPECT_EQ(ReadStatus::kMissing, fs->ReadFile(dir.File("missing"), 5, &bytes, &error));
  EXPECT_EQ(FileKind::kMissing, fs->Kind(dir.File("missing")));
  std::vector<std::string> names;
  ASSERT_TRUE(fs->ListDirectory(dir.path(), &names));
  EXPECT_EQ((std::vector<std::string>{"doc \xE8.txt", "folder"}), names);
  EXPECT_TRUE(fs->RemoveFile(doc));
  EXPECT_TRUE(fs->RemoveFile(doc));
  EXPECT_EQ(FileKind::kMissing, fs->Kind(doc));
}

}  // namespace
