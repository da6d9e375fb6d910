// quilo1 / Quilo1.exe: the resident program that prints the documents hosts
// leave in the data directory. Status texts go to standard error.
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "ecr/link.h"
#include "payment/card_payment.h"
#include "platform/child_process.h"
#include "platform/close_request.h"
#include "platform/event_loop.h"
#include "platform/folders.h"
#include "platform/serial_port.h"
#include "platform/single_instance.h"
#include "platform/system.h"
#include "service/ecr_job_printer.h"
#include "service/file_ops.h"
#include "service/job_service.h"
#include "settings/data_directory.h"
#include "settings/settings_store.h"

namespace {

void Line(const std::string& text) {
  std::string l = text + "\n";
  std::fwrite(l.data(), 1, l.size(), stderr);
  std::fflush(stderr);
}

const char kUsage[] =
    "usage: quilo1 [--program-dir DIR] [--data-dir DIR] [--com N=DEVICE]... [--virtual-printer]\n"
    "  --program-dir DIR   where the settings files are (default: the program's directory)\n"
    "  --data-dir DIR      the data directory, as the CustomPathDataDir value would name it\n"
    "  --com N=DEVICE      serve COMN on DEVICE (default COMn is /dev/ttyS(n-1))\n"
    "  --virtual-printer   start virtual-ecr on a pseudo-terminal and serve it as COM1\n";

struct Args {
  std::string programDir, dataDir;
  std::vector<std::pair<int, std::string>> ports;
  bool virtualPrinter = false;
};

bool ParseArgs(int argc, char** argv, Args* args) {
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    auto value = [&](std::string* out) {
      if (i + 1 >= argc) return false;
      *out = argv[++i];
      return true;
    };
    if (a == "--program-dir") {
      if (!value(&args->programDir)) return false;
    } else if (a == "--data-dir") {
      if (!value(&args->dataDir)) return false;
    } else if (a == "--com") {
      std::string v;
      if (!value(&v)) return false;
      size_t eq = v.find('=');
      if (eq == std::string::npos) return false;
      int n = std::atoi(v.substr(0, eq).c_str());
      if (n < 1 || n > 4) return false;
      args->ports.emplace_back(n, v.substr(eq + 1));
    } else if (a == "--virtual-printer") {
      args->virtualPrinter = true;
    } else {
      return false;
    }
  }
  return true;
}

// The system as the settings see it, with the two directories of the
// command line in place of the program's folder and the registry value.
class CommandLineEnvironment : public settings::Environment {
 public:
  CommandLineEnvironment(const Args& args) : args_(args), sys_(settings::SystemEnvironment()) {}
  std::string ProgramDirectory() override {
    return args_.programDir.empty() ? sys_.ProgramDirectory() : args_.programDir;
  }
  char PathSeparator() override { return sys_.PathSeparator(); }
  bool IsNtVersion6() override { return sys_.IsNtVersion6(); }
  bool CommonAppDataFolder(std::string* path) override { return sys_.CommonAppDataFolder(path); }
  bool ReadRegistryValue(const std::string& key, const std::string& name, std::string* value) override {
    if (!args_.dataDir.empty() && name == settings::kDataDirValueName) {
      *value = args_.dataDir;
      return true;
    }
    return sys_.ReadRegistryValue(key, name, value);
  }
  bool DirectoryExists(const std::string& path) override { return sys_.DirectoryExists(path); }

 private:
  const Args& args_;
  settings::Environment& sys_;
};

// virtual-ecr of this build tree, else the one on PATH.
std::string VirtualEcrProgram() {
  std::string own = platform::ProgramDirectory() + "/../../tools/virtual-ecr/virtual-ecr";
  FILE* f = std::fopen(own.c_str(), "rb");
  if (f) {
    std::fclose(f);
    return own;
  }
  return "virtual-ecr";
}

}  // namespace

int main(int argc, char** argv) {
  Args args;
  if (!ParseArgs(argc, argv, &args)) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  CommandLineEnvironment env(args);
  std::string programDir = env.ProgramDirectory();
  // Another copy serving the same program directory: end without a word.
  auto instance = platform::InstanceLock::Acquire(programDir);
  if (!instance) return 0;

  auto message = [](const std::string& text) { Line("message: " + text); };
  settings::DataDirectoryChoice choice;
  std::string error;
  if (!settings::ChooseDataDirectory(env, message, &choice, &error)) {
    message(error);
    return 1;
  }
  if (!args.dataDir.empty() && choice.dataDirectory != args.dataDir && !choice.fromRegistry) {
    message(args.dataDir + " : DIR NON ESISTENTE");
    return 1;
  }
  Line("txtAppDataVista: " + choice.dataDirectory);

  settings::Settings settings;
  settings::LoadSettings(choice.programDirectory, &settings, message);

  for (const auto& [n, device] : args.ports) platform::SetSerialDevice(n, device);

  std::unique_ptr<platform::ChildProcess> virtualPrinter;
  auto loop = platform::EventLoop::Create();
  auto fs = service::FileOps::CreateReal();
  if (args.virtualPrinter) {
    std::string tty = choice.dataDirectory + platform::PathSeparator() + "virtual-ecr.tty";
    std::string paper = choice.dataDirectory + platform::PathSeparator() + "virtual-ecr-paper.txt";
    std::remove(tty.c_str());
    std::string err;
    virtualPrinter = platform::ChildProcess::Start({VirtualEcrProgram(), "--link", tty, "--paper", paper},
                                                   choice.dataDirectory + platform::PathSeparator() +
                                                       "virtual-ecr.log",
                                                   &err);
    if (!virtualPrinter) {
      message("virtual-ecr: " + err);
      return 1;
    }
    // The printer makes its terminal and the link to it; wait for that.
    bool ready = false;
    for (int i = 0; i < 250 && !ready && virtualPrinter->Running(); ++i) {
      bool exists = false;
      ready = fs->Exists(tty, &exists) && exists;
      if (!ready) loop->RunOnce(20);
    }
    if (!ready || !virtualPrinter->Running()) {
      message("virtual-ecr did not start");
      return 1;
    }
    platform::SetSerialDevice(1, tty);
    Line("virtual printer: COM1 = " + tty + ", paper in " + paper);
  }

  auto port = platform::SerialPort::Create(*loop);
  ecr::EcrLink link(*port, *loop, settings.options);
  service::EcrJobPrinter printer(link, settings);
  printer.message = message;
  service::JobService::Hooks hooks;
  hooks.show = Line;
  hooks.saveSettings = [&] { settings::SaveSettings(choice.programDirectory, settings, message); };
  hooks.endProgram = [] { std::exit(1); };
  service::JobService svc(*loop, *fs, printer, settings, hooks);
  printer.SetFiles(&svc.files());
  svc.payment() = payment::StartCardPayment(
      *loop, choice.programDirectory, choice.dataDirectory, settings.options, [&] { return svc.unloading; }, message,
      [&](const std::string& command) { return link.TrasmettiStringa(command); });

  auto closeRequest = platform::CloseRequest::Install(*loop, [&] { svc.Unload(); });
  svc.Start(choice.dataDirectory);
  while (!svc.finished()) loop->RunOnce(-1);
  return 0;
}
