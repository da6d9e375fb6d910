// The Win32 file layer on a real folder: folders are refused, a replace is
// atomic and leaves no temporary, a new file is made once, and below a base
// no folder on the way may be a reparse point.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>

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

// A real subfolder is served; "..", a missing folder and a folder link
// (where the system lets us make one) are refused and write nothing.
TEST(FileSystemWin32Test, BelowABaseNeverThroughAReparsePoint) {
  ScopedTempDir data, program;
  auto fs = platform::FileSystem::CreateReal();
  std::string error, bytes;
  ASSERT_TRUE(fs->MakeDirectory(data.File("sub")));
  EXPECT_TRUE(fs->WriteBeneath(data.path(), "sub\\t.txt", "new", &error)) << error;
  EXPECT_TRUE(fs->AppendBeneath(data.path(), "sub/t.txt", "+", &error)) << error;
  EXPECT_EQ(ReadStatus::kOk, fs->ReadFile(data.File("sub\\t.txt"), 10, &bytes, &error));
  EXPECT_EQ("new+", bytes);
  EXPECT_TRUE(fs->RemoveBeneath(data.path(), "sub\\t.txt"));
  for (const char* name : {"sub\\..\\t.txt", "missing\\t.txt", "C:t.txt", "\\t.txt"})
    EXPECT_FALSE(fs->WriteBeneath(data.path(), name, "x", &error)) << name;

  std::wstring link = std::wstring(data.path().begin(), data.path().end()) + L"\\cfg";
  std::wstring target(program.path().begin(), program.path().end());
  if (!CreateSymbolicLinkW(link.c_str(), target.c_str(), SYMBOLIC_LINK_FLAG_DIRECTORY | 0x2 /* unprivileged */)) {
    std::printf("no folder link here (error %lu): reparse points not checked\n", GetLastError());
    return;
  }
  EXPECT_FALSE(fs->WriteBeneath(data.path(), "cfg\\QLTOKEN.TXT", "x", &error));
  EXPECT_FALSE(fs->AppendBeneath(data.path(), "cfg\\QLTOKEN.TXT", "x", &error));
  std::vector<std::string> names;
  EXPECT_TRUE(fs->ListDirectory(program.path(), &names));
  EXPECT_TRUE(names.empty());
  RemoveDirectoryW(link.c_str());
}

}  // namespace
