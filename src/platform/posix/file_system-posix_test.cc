// The POSIX file layer on a real folder: links, FIFOs and folders are never
// followed, read or written through, and a replace is atomic.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "platform/file_system.h"
#include "testing/temp_dir.h"

namespace {

using platform::FileKind;
using platform::ReadStatus;
using testing_support::ReadFileBytes;
using testing_support::ScopedTempDir;
using testing_support::WriteFileBytes;

TEST(FileSystemPosixTest, RefusesEverythingButRegularFiles) {
  ScopedTempDir dir;
  auto fs = platform::FileSystem::CreateReal();
  WriteFileBytes(dir.File("doc"), "a\r\nb\xE8");
  WriteFileBytes(dir.File("big"), "123456");
  ASSERT_EQ(0, symlink(dir.File("doc").c_str(), dir.File("link").c_str()));
  ASSERT_EQ(0, symlink(dir.File("nowhere").c_str(), dir.File("dangling").c_str()));
  ASSERT_EQ(0, mkfifo(dir.File("fifo").c_str(), 0600));
  ASSERT_TRUE(fs->MakeDirectory(dir.File("folder")));

  struct Case {
    const char* name;
    FileKind kind;
    ReadStatus read;
  } cases[] = {
      {"doc", FileKind::kRegular, ReadStatus::kOk},        {"big", FileKind::kRegular, ReadStatus::kTooLarge},
      {"link", FileKind::kOther, ReadStatus::kNotRegular}, {"dangling", FileKind::kOther, ReadStatus::kNotRegular},
      {"fifo", FileKind::kOther, ReadStatus::kNotRegular}, {"folder", FileKind::kDirectory, ReadStatus::kNotRegular},
      {"missing", FileKind::kMissing, ReadStatus::kMissing},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string path = dir.File(c.name), bytes, error;
    EXPECT_EQ(c.kind, fs->Kind(path));
    EXPECT_EQ(c.read, fs->ReadFile(path, 5, &bytes, &error));
    if (c.read == ReadStatus::kOk) {
      EXPECT_EQ("a\r\nb\xE8", bytes);
    }
    if (c.kind == FileKind::kOther) {
      // Not written through, and the name is kept as it was.
      EXPECT_FALSE(fs->WriteFile(path, "x", &error));
      EXPECT_FALSE(fs->AppendFile(path, "x", false, &error));
      EXPECT_EQ(FileKind::kOther, fs->Kind(path));
    }
    if (c.kind != FileKind::kMissing) {
      EXPECT_FALSE(fs->CreateFile(path, "x", &error));
    }
  }
  EXPECT_EQ("a\r\nb\xE8", ReadFileBytes(dir.File("doc")));
  EXPECT_FALSE(fs->MakeDirectory(dir.File("link")));

  std::vector<std::string> names;
  ASSERT_TRUE(fs->ListDirectory(dir.path(), &names));
  EXPECT_EQ((std::vector<std::string>{"big", "dangling", "doc", "fifo", "folder", "link"}), names);

  // A link goes, its target stays.
  EXPECT_TRUE(fs->RemoveFile(dir.File("link")));
  EXPECT_TRUE(fs->RemoveFile(dir.File("link")));
  EXPECT_EQ(FileKind::kMissing, fs->Kind(dir.File("link")));
  EXPECT_EQ(FileKind::kRegular, fs->Kind(dir.File("doc")));
  EXPECT_FALSE(fs->RemoveFile(dir.File("folder")));
}

TEST(FileSystemPosixTest, ReplacesAtomicallyCreatesOnceAndAppends) {
  ScopedTempDir dir;
  auto fs = platform::FileSystem::CreateReal();
  std::string doc = dir.File("doc"), error;
  ASSERT_TRUE(fs->CreateFile(doc, "old", &error));
  EXPECT_FALSE(fs->CreateFile(doc, "again", &error));
  EXPECT_FALSE(error.empty());
  // A second name for the old file: a rename leaves it alone, a rewrite in
  // place would change it.
  ASSERT_EQ(0, link(doc.c_str(), dir.File("old").c_str()));
  ASSERT_TRUE(fs->WriteFile(doc, "new", &error));
  EXPECT_EQ("new", ReadFileBytes(doc));
  EXPECT_EQ("old", ReadFileBytes(dir.File("old")));
  ASSERT_TRUE(fs->AppendFile(doc, "+1", true, &error));
  ASSERT_TRUE(fs->AppendFile(dir.File("log"), "L", false, &error));
  EXPECT_EQ("new+1", ReadFileBytes(doc));
  EXPECT_EQ("L", ReadFileBytes(dir.File("log")));
  std::vector<std::string> names;
  ASSERT_TRUE(fs->ListDirectory(dir.path(), &names));
  EXPECT_EQ((std::vector<std::string>{"doc", "log", "old"}), names);  // no temporary left behind
  EXPECT_FALSE(fs->WriteFile(dir.File("no") + "/x", "x", &error));
}

}  // namespace
