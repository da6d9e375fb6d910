// The choice of the data directory at start-up, before any settings file is
// read.
#include "settings/data_directory.h"

#include "platform/folders.h"
#include "platform/registry.h"
#include "platform/system.h"

namespace settings {

const char kDataDirValueName[] = "CustomPathDataDir";

namespace {

const char kRegistryKey[] = "SOFTWARE\\Vexwerk\\ZEDODER1";
const char kDataFolderName[] = "ZEDODER1";

class RealEnvironment : public Environment {
 public:
  std::string ProgramDirectory() override { return platform::ProgramDirectory(); }
  char PathSeparator() override { return platform::PathSeparator(); }
  bool IsNtVersion6() override { return platform::IsNtVersion6(); }
  bool CommonAppDataFolder(std::string* path) override {
    return platform::CommonAppDataFolder(path);
  }
  bool ReadRegistryValue(const std::string& key_path, const std::string& value_name,
                         std::string* value) override {
    return platform::ReadRegistryValue(platform::RegistryRoot::kCurrentUser, key_path,
                                       value_name, value);
  }
  bool DirectoryExists(const std::string& path) override {
    return platform::DirectoryExists(path);
  }
};

// The registry's folder, one trailing separator removed, or empty when it
// is absent or names no existing directory.
std::string RegistryDataDirectory(Environment& env) {
  std::string value;
  if (!env.ReadRegistryValue(kRegistryKey, kDataDirValueName, &value) || value.empty()) return {};
  const char sep = env.PathSeparator();
  if (value.back() == sep) value.pop_back();
  // A bare separator would leave no folder name at all.
  if (value.empty()) return {};
  return env.DirectoryExists(value + sep) ? value : std::string();
}

}  // namespace

Environment& SystemEnvironment() {
  static RealEnvironment env;
  return env;
}

bool ChooseDataDirectory(Environment& env, const MessageFn& message, DataDirectoryChoice* choice,
                         std::string* error) {
  *choice = DataDirectoryChoice{};
  choice->programDirectory = env.ProgramDirectory();
  choice->dataDirectory = choice->programDirectory;
  if (env.IsNtVersion6()) {
    std::string shared;
    if (!env.CommonAppDataFolder(&shared)) {
      if (message) message("Path non disponibile");
      shared.clear();
    }
    if (!shared.empty()) choice->dataDirectory = shared + env.PathSeparator() + kDataFolderName;
    if (!env.DirectoryExists(choice->dataDirectory)) {
      *error = choice->dataDirectory + " : DIR NON ESISTENTE";
      return false;
    }
  }
  choice->ownDataFolder = choice->dataDirectory;
  std::string custom = RegistryDataDirectory(env);
  if (!custom.empty()) {
    choice->dataDirectory = custom;
    choice->fromRegistry = true;
  }
  return true;
}

}  // namespace settings
