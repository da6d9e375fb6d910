// The fake file layer: what it records and the failures it is told to give.
#include "testing/fake_file_system.h"

#include <gtest/gtest.h>

namespace {

using platform::FileKind;
using platform::ReadStatus;

TEST(FakeFileSystemTest, RecordsCallsAndFailsOnDemand) {
  testing_support::FakeFileSystem fs;
  fs.AddFile("d/a", "A");
  fs.AddOther("d/link");
  fs.AddDirectory("d");
  fs.FailNext("read", "d/a", 2);
  std::string bytes, error;
  EXPECT_EQ(ReadStatus::kBusy, fs.ReadFile("d/a", 10, &bytes, &error));
  EXPECT_EQ(ReadStatus::kBusy, fs.ReadFile("d/a", 10, &bytes, &error));
  EXPECT_EQ(ReadStatus::kOk, fs.ReadFile("d/a", 10, &bytes, &error));
  EXPECT_EQ("A", bytes);
  EXPECT_EQ(ReadStatus::kTooLarge, fs.ReadFile("d/a", 0, &bytes, &error));
  EXPECT_EQ(ReadStatus::kNotRegular, fs.ReadFile("d/link", 10, &bytes, &error));
  EXPECT_EQ(4, fs.Count("read", "d/a"));

  fs.FailNext("write", "d/b");
  EXPECT_FALSE(fs.WriteFile("d/b", "B", &error));
  EXPECT_TRUE(fs.WriteFile("d/b", "B", &error));
  EXPECT_FALSE(fs.WriteFile("d/link", "B", &error));
  EXPECT_FALSE(fs.CreateFile("d/b", "C", &error));
  EXPECT_TRUE(fs.AppendFile("d/b", "+", true, &error));
  EXPECT_EQ("B+", fs.Contents("d/b"));
  EXPECT_TRUE(fs.MakeDirectory("d/e"));
  EXPECT_FALSE(fs.MakeDirectory("x/y"));
  std::vector<std::string> names;
  ASSERT_TRUE(fs.ListDirectory("d", &names));
  EXPECT_EQ((std::vector<std::string>{"a", "b", "e", "link"}), names);
  EXPECT_TRUE(fs.RemoveFile("d/link"));
  EXPECT_EQ(FileKind::kMissing, fs.Kind("d/link"));
  EXPECT_EQ(15u, fs.calls().size());
}

// Below a base, as the real layers: a link ("other") on the way or ".."
// refuses the call and changes nothing; modes are kept as asked.
TEST(FakeFileSystemTest, BelowABaseAndModes) {
  testing_support::FakeFileSystem fs;
  fs.AddDirectory("d");
  fs.AddDirectory("d/sub");
  fs.AddOther("d/cfg");
  std::string error, bytes;
  EXPECT_TRUE(fs.WriteBeneath("d", "sub/t", "T", &error));
  EXPECT_TRUE(fs.AppendBeneath("d", "sub/t", "+", &error));
  EXPECT_EQ(ReadStatus::kOk, fs.ReadFile("d/sub/t", 10, &bytes, &error));
  EXPECT_EQ("T+", bytes);
  EXPECT_EQ(2, fs.Count("write", "d/sub/t") + fs.Count("append", "d/sub/t"));
  for (const char* name : {"cfg/t", "sub/../t", "/t", "cfg/x/t"}) {
    EXPECT_FALSE(fs.WriteBeneath("d", name, "X", &error)) << name;
    EXPECT_FALSE(fs.RemoveBeneath("d", name)) << name;
  }
  EXPECT_EQ(1, fs.Count("write refused", "d/cfg/t"));
  EXPECT_TRUE(fs.RemoveBeneath("d", "sub/t"));
  EXPECT_FALSE(fs.HasFile("d/sub/t"));
  EXPECT_TRUE(fs.files().empty());

  EXPECT_TRUE(fs.WriteFileMode("d/s", "1", 0644, &error));
  EXPECT_TRUE(fs.WriteFileMode("d/s", "2", 0600, &error));
  EXPECT_TRUE(fs.AppendFileMode("d/j", "1", true, 0600, &error));
  EXPECT_TRUE(fs.WriteFile("d/p", "1", &error));
  EXPECT_EQ(0644u, fs.Mode("d/s"));
  EXPECT_EQ(0600u, fs.Mode("d/j"));
  EXPECT_EQ(platform::kDefaultMode, fs.Mode("d/p"));
}

}  // namespace
