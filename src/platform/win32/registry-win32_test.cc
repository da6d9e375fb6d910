// The registry reader against the real registry (Wine's when the tests run
// there): values written with the ANSI functions under a scratch key.
#include "platform/registry.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "platform/folders.h"
#include "testing/temp_dir.h"

namespace {

using platform::ReadRegistryValue;
using platform::RegistryRoot;

const char kTestKey[] = "Software\\Quilo1Test\\Registry";

class RegistryWin32Test : public ::testing::Test {
 protected:
  void SetUp() override {
    RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Quilo1Test");
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kTestKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &key_, nullptr),
              ERROR_SUCCESS);
  }
  void TearDown() override {
    RegCloseKey(key_);
    EXPECT_EQ(RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Quilo1Test"), ERROR_SUCCESS);
  }
  void Set(const char* name, DWORD type, const void* data, DWORD size) {
    ASSERT_EQ(RegSetValueExA(key_, name, 0, type, static_cast<const BYTE*>(data), size),
              ERROR_SUCCESS);
  }
  bool Read(const char* key, const char* name, std::string* value) {
    return ReadRegistryValue(RegistryRoot::kCurrentUser, key, name, value);
  }
  HKEY key_ = nullptr;
};

TEST_F(RegistryWin32Test, StringsWithAndWithoutTerminatorReadTheSame) {
  Set("WithZero", REG_SZ, "D:\\Dati\xE8\\", 10);
  Set("NoZero", REG_SZ, "D:\\Dati\xE8\\", 9);
  std::string with, without;
  ASSERT_TRUE(Read(kTestKey, "WithZero", &with));
  ASSERT_TRUE(Read(kTestKey, "NoZero", &without));
  EXPECT_EQ(with, "D:\\Dati\xE8\\");
  EXPECT_EQ(without, with);
}

TEST_F(RegistryWin32Test, NumbersAsUnsignedDecimal) {
  struct Case {
    DWORD number;
    const char* text;
  } cases[] = {{0, "0"}, {256, "256"}, {0x01020304, "16909060"}, {0xFFFFFFFF, "4294967295"}};
  for (const auto& c : cases) {
    Set("Number", REG_DWORD, &c.number, sizeof c.number);
    std::string value;
    ASSERT_TRUE(Read(kTestKey, "Number", &value));
    EXPECT_EQ(value, c.text);
  }
}

TEST_F(RegistryWin32Test, OtherTypesAreFoundWithEmptyText) {
  const unsigned char bytes[] = {'a', 'b', 0, 'c'};
  Set("Binary", REG_BINARY, bytes, sizeof bytes);
  Set("Expand", REG_EXPAND_SZ, "%TEMP%", 7);
  for (const char* name : {"Binary", "Expand"}) {
    std::string value = "stale";
    ASSERT_TRUE(Read(kTestKey, name, &value)) << name;
    EXPECT_EQ(value, "") << name;
  }
}

TEST_F(RegistryWin32Test, MissingValuesAndMalformedKeysAreNotFound) {
  Set("Here", REG_SZ, "x", 2);
  std::string value;
  EXPECT_FALSE(Read(kTestKey, "Absent", &value));
  EXPECT_FALSE(Read("Software\\Quilo1Test\\Absent", "Here", &value));
  // The registry itself opens the first two (Wine does); the check refuses
  // all three before it is asked.
  EXPECT_FALSE(Read("Software\\Quilo1Test\\Registry\\", "Here", &value));
  EXPECT_FALSE(Read("Software\\\\Quilo1Test\\Registry", "Here", &value));
  EXPECT_FALSE(Read("\\Software\\Quilo1Test\\Registry", "Here", &value));
  EXPECT_TRUE(Read(kTestKey, "Here", &value));
  EXPECT_EQ(value, "x");
}

TEST_F(RegistryWin32Test, ValueLongerThanTheBufferIsNotFound) {
  std::string big(2000, 'a');
  Set("Big", REG_SZ, big.c_str(), DWORD(big.size() + 1));
  std::string value;
  EXPECT_FALSE(Read(kTestKey, "Big", &value));
}

TEST(FoldersWin32Test, SharedFolderAndVersion) {
  EXPECT_TRUE(platform::IsNtVersion6());
  std::string path;
  ASSERT_TRUE(platform::CommonAppDataFolder(&path));
  EXPECT_FALSE(path.empty());
  EXPECT_NE(path.back(), '\\');
  EXPECT_TRUE(platform::DirectoryExists(path));
  EXPECT_TRUE(platform::DirectoryExists(path + "\\"));

  testing_support::ScopedTempDir dir;
  testing_support::WriteFileBytes(dir.File("f"), "x");
  EXPECT_FALSE(platform::DirectoryExists(dir.File("f")));
  EXPECT_FALSE(platform::DirectoryExists(dir.File("none")));
}

}  // namespace
