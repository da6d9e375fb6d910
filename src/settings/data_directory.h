// Where the exchange files live: the shared application-data folder on
// Windows from Vista on, the program directory elsewhere, unless the
// CustomPathDataDir value moves it.
#pragma once

#include <string>

#include "settings/message.h"

namespace settings {

// What the choice asks of the system; abstract so tests can stand in for
// the registry, the special folders and the disk.
class Environment {
 public:
  virtual ~Environment() = default;
  virtual std::string ProgramDirectory() = 0;
  virtual char PathSeparator() = 0;
  virtual bool IsNtVersion6() = 0;
  // False when the system query failed; an empty path when there is none.
  virtual bool CommonAppDataFolder(std::string* path) = 0;
  virtual bool ReadRegistryValue(const std::string& key_path, const std::string& value_name,
                                 std::string* value) = 0;
  virtual bool DirectoryExists(const std::string& path) = 0;
};

// The real system: platform/registry.h and platform/folders.h.
Environment& SystemEnvironment();

extern const char kDataDirValueName[];    // CustomPathDataDir

struct DataDirectoryChoice {
  std::string programDirectory;  // where the settings files are
  std::string ownDataFolder;     // the choice before the registry; the manual is here
  std::string dataDirectory;     // where the exchange files are; shown in txtAppDataVista
  bool fromRegistry = false;
};

// Fills `choice`, all paths without a trailing separator. "Path non
// disponibile" goes through `message` when the folder query fails. False
// with `error` set to the path and " : DIR NON ESISTENTE" when the chosen
// folder does not exist: the caller shows it and ends the program.
bool ChooseDataDirectory(Environment& env, const MessageFn& message, DataDirectoryChoice* choice,
                         std::string* error);

}  // namespace settings
