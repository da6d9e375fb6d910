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

}  // namespace
