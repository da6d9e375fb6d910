// The choice of the data directory, with a stand-in system so the Windows
// rules run on both builds, and once against the real one.
#include "settings/data_directory.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <set>
#include <vector>

#include "testing/temp_dir.h"

namespace {

using settings::DataDirectoryChoice;

class FakeEnvironment : public settings::Environment {
 public:
  std::string program_dir = "C:\\Prog";
  char separator = '\\';
  bool nt6 = false;
  bool folder_ok = true;
  std::string common_folder;
  bool has_value = false;
  std::string value;
  std::set<std::string> dirs;
  std::vector<std::string> registry_reads;

  std::string ProgramDirectory() override { return program_dir; }
  char PathSeparator() override { return separator; }
  bool IsNtVersion6() override { return nt6; }
  bool CommonAppDataFolder(std::string* path) override {
    *path = folder_ok ? common_folder : "";
    return folder_ok;
  }
  bool ReadRegistryValue(const std::string& key, const std::string& name,
                         std::string* out) override {
    registry_reads.push_back(key + "|" + name);
    if (has_value) *out = value;
    return has_value;
  }
  bool DirectoryExists(const std::string& path) override { return dirs.count(path) > 0; }
};

struct Outcome {
  bool ok;
  DataDirectoryChoice choice;
  std::string error;
  std::vector<std::string> messages;
};

Outcome Choose(FakeEnvironment& env) {
  Outcome o;
  o.ok = settings::ChooseDataDirectory(
      env, [&](const std::string& text) { o.messages.push_back(text); }, &o.choice, &o.error);
  return o;
}

TEST(DataDirectoryTest, OtherSystemsUseTheProgramDirectory) {
  FakeEnvironment env;
  Outcome o = Choose(env);
  ASSERT_TRUE(o.ok);
  EXPECT_EQ(o.choice.dataDirectory, "C:\\Prog");
  EXPECT_EQ(o.choice.ownDataFolder, "C:\\Prog");
  EXPECT_EQ(o.choice.programDirectory, "C:\\Prog");
  EXPECT_EQ(env.registry_reads, std::vector<std::string>{"SOFTWARE\\Vexwerk\\ZEDODER1|CustomPathDataDir"});
}

TEST(DataDirectoryTest, Version6UsesTheSharedFolder) {
  FakeEnvironment env;
  env.nt6 = true;
  env.common_folder = "C:\\ProgramData";
  env.dirs = {"C:\\ProgramData\\ZEDODER1"};
  Outcome o = Choose(env);
  ASSERT_TRUE(o.ok);
  EXPECT_EQ(o.choice.dataDirectory, "C:\\ProgramData\\ZEDODER1");
  EXPECT_EQ(o.choice.ownDataFolder, "C:\\ProgramData\\ZEDODER1");
  EXPECT_TRUE(o.messages.empty());
}

TEST(DataDirectoryTest, MissingSharedFolderEndsWithItsPath) {
  FakeEnvironment env;
  env.nt6 = true;
  env.common_folder = "C:\\ProgramData";
  env.has_value = true;
  env.value = "D:\\Dati";
  env.dirs = {"D:\\Dati\\"};
  Outcome o = Choose(env);
  EXPECT_FALSE(o.ok);
  EXPECT_EQ(o.error, "C:\\ProgramData\\ZEDODER1 : DIR NON ESISTENTE");
  // The registry would not have saved it: the program ends before.
  EXPECT_TRUE(env.registry_reads.empty());
}

TEST(DataDirectoryTest, FailedFolderQueryFallsBackToProgramDirectory) {
  FakeEnvironment env;
  env.nt6 = true;
  env.folder_ok = false;
  env.dirs = {"C:\\Prog"};
  Outcome o = Choose(env);
  ASSERT_TRUE(o.ok);
  EXPECT_EQ(o.messages, std::vector<std::string>{"Path non disponibile"});
  EXPECT_EQ(o.choice.dataDirectory, "C:\\Prog");
}

TEST(DataDirectoryTest, RegistryOverride) {
  struct Case {
    char separator;
    bool has_value;
    const char* value;
    const char* want;
  } cases[] = {
      {'\\', true, "D:\\Dati\\", "D:\\Dati"},  // trailing separator removed
      {'\\', true, "D:\\Dati", "D:\\Dati"},
      {'\\', true, "D:\\Dati\\\\", "C:\\Prog"},  // only one removed: no such folder
      {'\\', true, "D:\\Manca", "C:\\Prog"},
      {'\\', true, "", "C:\\Prog"},
      {'\\', true, "\\", "C:\\Prog"},
      {'\\', false, "D:\\Dati", "C:\\Prog"},
      {'\\', true, "D:\\Dati/", "C:\\Prog"},  // "/" is no separator there
      {'/', true, "/srv/dati/", "/srv/dati"},
      {'/', true, "/srv/dati", "/srv/dati"},
      {'/', true, "/", "C:\\Prog"},
  };
  for (const auto& c : cases) {
    FakeEnvironment env;
    env.separator = c.separator;
    env.has_value = c.has_value;
    env.value = c.value;
    env.dirs = {"D:\\Dati\\", "/srv/dati/", "/"};
    Outcome o = Choose(env);
    ASSERT_TRUE(o.ok);
    EXPECT_EQ(o.choice.dataDirectory, c.want) << c.value;
    EXPECT_EQ(o.choice.fromRegistry, o.choice.dataDirectory != "C:\\Prog") << c.value;
    EXPECT_EQ(o.choice.ownDataFolder, "C:\\Prog") << c.value;
    EXPECT_TRUE(o.messages.empty());
  }
}

#ifndef _WIN32
// On POSIX the value comes from the environment variable of its name.
TEST(DataDirectoryTest, PosixEnvironmentVariableMovesTheDataDirectory) {
  testing_support::ScopedTempDir dir;
  settings::Environment& env = settings::SystemEnvironment();
  DataDirectoryChoice choice;
  std::string error;

  ASSERT_EQ(setenv("CustomPathDataDir", (dir.path() + "/").c_str(), 1), 0);
  ASSERT_TRUE(settings::ChooseDataDirectory(env, nullptr, &choice, &error));
  EXPECT_EQ(choice.dataDirectory, dir.path());
  EXPECT_EQ(choice.ownDataFolder, choice.programDirectory);

  ASSERT_EQ(setenv("CustomPathDataDir", (dir.path() + "/none").c_str(), 1), 0);
  ASSERT_TRUE(settings::ChooseDataDirectory(env, nullptr, &choice, &error));
  EXPECT_EQ(choice.dataDirectory, choice.programDirectory);
  unsetenv("CustomPathDataDir");
}
#endif

}  // namespace
