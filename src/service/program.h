// The objects of the running program, built the same way by the Linux
// console main and the Windows window: settings, data directory, virtual
// printer, loop, port, link, job printer, card payment and the job service.
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/event_loop.h"
#include "service/operator_actions.h"
#include "service/status_view.h"
#include "settings/data_directory.h"
#include "settings/settings_store.h"

namespace service {

struct ProgramArgs {
  std::string programDir, dataDir;
  std::vector<std::pair<int, std::string>> ports;
  bool virtualPrinter = false;
};

// --program-dir, --data-dir, --com N=DEVICE, --virtual-printer; false on bad usage.
// With `unknown`, what is not understood is put there and skipped instead.
bool ParseProgramArgs(int argc, char** argv, ProgramArgs* args, std::vector<std::string>* unknown = nullptr);
extern const char kProgramUsage[];
// Where the settings files are: --program-dir, else the executable's folder.
std::string ProgramDirectoryOf(const ProgramArgs& args);

class Program {
 public:
  // Chooses the data directory, reads the settings, starts the virtual printer when asked, builds
  // loop, port, link, job printer, card payment and the job service, which shows its state through
  // `view`. nullptr when the program must end; the reason ("... : DIR NON ESISTENTE" etc.) has been
  // shown through view.Message and is in *error.
  static std::unique_ptr<Program> Create(const ProgramArgs& args, StatusView& view, std::string* error);
  ~Program();
  platform::EventLoop& loop();
  settings::Settings& settings();
  const settings::DataDirectoryChoice& directories() const;
  OperatorActions& actions();
  // JobService::Start on the chosen data directory, then the web console
  // (unless QLCONSOLE.TXT turns it off) on this thread's loop.
  void Start();
  // The console's login link, "http://127.0.0.1:8731/login?token=..." (the
  // token file is made if missing); empty when the console is off.
  std::string ConsoleUrl() const;
  bool Finished() const;

 private:
  struct Parts;
  explicit Program(std::unique_ptr<Parts> parts);
  std::unique_ptr<Parts> parts_;
};

}  // namespace service
