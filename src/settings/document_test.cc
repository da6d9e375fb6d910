// Line-list files: the byte-exact reader and writer every document goes through.
#include "settings/document.h"

#include <gtest/gtest.h>

#include "testing/temp_dir.h"

namespace {

using settings::FileError;
using testing_support::ReadFileBytes;
using testing_support::ScopedTempDir;
using testing_support::WriteFileBytes;

TEST(DocumentTest, ReadsCrLfAndLfLinesAndKeepsHighBytes) {
  ScopedTempDir dir;
  WriteFileBytes(dir.File("doc"), "SALE,N1,P100;\r\nPRNT,:caff\xE8\n\r\nCR\rlast");
  std::vector<std::string> lines;
  FileError err;
  ASSERT_TRUE(settings::ReadDocument(dir.File("doc"), &lines, &err));
  EXPECT_EQ(lines, (std::vector<std::string>{"SALE,N1,P100;", "PRNT,:caff\xE8", "", "CR", "last"}));
}

TEST(DocumentTest, EmptyFileIsAnEmptyListAndMissingFileAnError) {
  ScopedTempDir dir;
  WriteFileBytes(dir.File("empty"), "");
  std::vector<std::string> lines{"stale"};
  FileError err;
  ASSERT_TRUE(settings::ReadDocument(dir.File("empty"), &lines, &err));
  EXPECT_TRUE(lines.empty());

  std::string missing = dir.File("missing");
  EXPECT_FALSE(settings::ReadDocument(missing, &lines, &err));
  EXPECT_EQ(err.number, -1);
  EXPECT_EQ(err.description, "FileInput: " + missing + " Not Exists!");
  EXPECT_EQ(err.source, "Tools.ReadDocument in Tools.ReadDocument:1");
}

TEST(DocumentTest, WriteEndsLinesWithCrLfAndAppendsOrReplaces) {
  ScopedTempDir dir;
  std::string path = dir.File("out");
  FileError err;
  ASSERT_TRUE(settings::WriteDocument(path, {"a", "b\xA4"}, false, &err));
  ASSERT_TRUE(settings::WriteDocument(path, {"c"}, true, &err));
  EXPECT_EQ(ReadFileBytes(path), "a\r\nb\xA4\r\nc\r\n");
  ASSERT_TRUE(settings::WriteDocument(path, {"d"}, false, &err));
  EXPECT_EQ(ReadFileBytes(path), "d\r\n");
}

TEST(DocumentTest, WriteIntoMissingFolderFailsWithItsSource) {
  ScopedTempDir dir;
  FileError err;
  EXPECT_FALSE(settings::WriteDocument(dir.File("no") + "/x", {"a"}, false, &err));
  EXPECT_NE(err.number, 0);
  EXPECT_NE(err.source.find(" in Tools.WriteDocument:"), std::string::npos);
}

}  // namespace
