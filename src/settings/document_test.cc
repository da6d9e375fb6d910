// Line-list files: the byte-exact reader and writer every document goes through.
#include "settings/document.h"

#include <gtest/gtest.h>

#include "language/language.h"
#include "testing/fake_file_system.h"
#include "testing/temp_dir.h"

namespace {

using settings::FileError;
using testing_support::FakeFileSystem;
using testing_support::ScopedTempDir;

TEST(DocumentTest, ReadsCrLfAndLfLinesAndKeepsHighBytes) {
  FakeFileSystem fs;
  fs.AddFile("doc", "SALE,N1,P100;\r\nPRNT,:caff\xE8\n\r\nCR\rlast");
  std::vector<std::string> lines;
  FileError err;
  ASSERT_TRUE(settings::ReadDocument(fs, "doc", &lines, &err));
  EXPECT_EQ(lines, (std::vector<std::string>{"SALE,N1,P100;", "PRNT,:caff\xE8", "", "CR", "last"}));
  EXPECT_EQ(language::SplitLines("a\r\n\r\n"), (std::vector<std::string>{"a", ""}));
}

TEST(DocumentTest, EmptyFileIsAnEmptyListAndMissingFileAnError) {
  FakeFileSystem fs;
  fs.AddFile("empty", "");
  std::vector<std::string> lines{"stale"};
  FileError err;
  ASSERT_TRUE(settings::ReadDocument(fs, "empty", &lines, &err));
  EXPECT_TRUE(lines.empty());

  EXPECT_FALSE(settings::ReadDocument(fs, "missing", &lines, &err));
  EXPECT_EQ(err.number, -1);
  EXPECT_EQ(err.description, "FileInput: missing Not Exists!");
  EXPECT_EQ(err.source, "Tools.ReadDocument in Tools.ReadDocument:1");
  EXPECT_EQ(0, fs.Count("read", "missing"));
}

TEST(DocumentTest, BusyFileIsReadAgainTenMoreTimes) {
  FakeFileSystem fs;
  fs.AddFile("doc", "a");
  fs.AddOther("link");
  std::vector<std::string> lines;
  FileError err;
  fs.FailNext("read", "doc", 10);
  ASSERT_TRUE(settings::ReadDocument(fs, "doc", &lines, &err));
  EXPECT_EQ(11, fs.Count("read", "doc"));
  EXPECT_EQ(lines, std::vector<std::string>{"a"});

  fs.FailNext("read", "doc", 11);
  EXPECT_FALSE(settings::ReadDocument(fs, "doc", &lines, &err));
  EXPECT_EQ(22, fs.Count("read", "doc"));
  EXPECT_EQ(err.number, settings::kErrPermissionDenied);
  EXPECT_EQ(err.description, "Permission denied");
  EXPECT_EQ(err.source, "Quilo1 in Tools.ReadDocument:2");

  EXPECT_FALSE(settings::ReadDocument(fs, "link", &lines, &err));
  EXPECT_EQ(err.number, settings::kErrPathFileAccess);
}

TEST(DocumentTest, WriteEndsLinesWithCrLfAndAppendsOrReplaces) {
  FakeFileSystem fs;
  FileError err;
  ASSERT_TRUE(settings::WriteDocument(fs, "out", {"a", "b\xA4"}, false, &err));
  ASSERT_TRUE(settings::WriteDocument(fs, "out", {"c"}, true, &err));
  EXPECT_EQ(fs.Contents("out"), "a\r\nb\xA4\r\nc\r\n");
  ASSERT_TRUE(settings::WriteDocument(fs, "out", {"d"}, false, &err));
  EXPECT_EQ(fs.Contents("out"), "d\r\n");
  EXPECT_EQ(2, fs.Count("write", "out"));
  EXPECT_EQ(1, fs.Count("append", "out"));
}

TEST(DocumentTest, WriteIntoMissingFolderFailsWithItsSource) {
  ScopedTempDir dir;
  auto fs = platform::FileSystem::CreateReal();
  FileError err;
  EXPECT_FALSE(settings::WriteDocument(*fs, dir.File("no") + "/x", {"a"}, false, &err));
  EXPECT_EQ(err.number, settings::kErrPathNotFound);
  EXPECT_EQ(err.source, "Quilo1 in Tools.WriteDocument:1");
}

}  // namespace
