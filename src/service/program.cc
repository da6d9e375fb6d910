// Program wiring: the command line, the data directory and the objects of
// the running program, in the order they depend on each other.
#include "service/program.h"

#include <cstdio>
#include <cstdlib>
#include <functional>

#include "service/console/console.h"
#include "service/console/console_settings.h"
#include "ecr/link.h"
#include "language/language.h"
#include "platform/child_process.h"
#include "platform/own_folder.h"
#include "platform/serial_port.h"
#include "platform/system.h"
#include "service/ecr_job_printer.h"
#include "service/card_payment.h"
#include "service/job_history.h"
#include "service/job_service.h"
#include "settings/document.h"

namespace service {

const char kProgramUsage[] =
    "usage: quilo1 [--program-dir DIR] [--data-dir DIR] [--com N=DEVICE]... [--virtual-printer]\n"
    "  --program-dir DIR   where the settings files are (default: the program's directory)\n"
    "  --data-dir DIR      the data directory, as the CustomPathDataDir value would name it\n"
    "  --com N=DEVICE      serve COMN on DEVICE (default COMn is /dev/ttyS(n-1))\n"
    "  --virtual-printer   start virtual-ecr on a pseudo-terminal and serve it as COM1\n";

bool ParseProgramArgs(int argc, char** argv, ProgramArgs* args, std::vector<std::string>* unknown) {
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    auto value = [&](std::string* out) {
      if (i + 1 >= argc) return false;
      *out = argv[++i];
      return true;
    };
    bool ok = true;
    std::string v;
    if (a == "--program-dir") {
      ok = value(&args->programDir);
    } else if (a == "--data-dir") {
      ok = value(&args->dataDir);
    } else if (a == "--com") {
      ok = value(&v);
      size_t eq = v.find('=');
      int n = ok && eq != std::string::npos ? std::atoi(v.substr(0, eq).c_str()) : 0;
      ok = n >= 1 && n <= 4;
      if (ok) args->ports.emplace_back(n, v.substr(eq + 1));
    } else if (a == "--virtual-printer") {
      args->virtualPrinter = true;
    } else {
      ok = false;
    }
    if (ok) continue;
    if (!unknown) return false;
    unknown->push_back(v.empty() ? a : a + " " + v);
  }
  return true;
}

std::string ProgramDirectoryOf(const ProgramArgs& args) {
  return args.programDir.empty() ? settings::SystemEnvironment().ProgramDirectory() : args.programDir;
}

namespace {

// The system as the settings see it, with the two directories of the
// command line in place of the program's folder and the registry value.
class CommandLineEnvironment : public settings::Environment {
 public:
  explicit CommandLineEnvironment(const ProgramArgs& args) : args_(args), sys_(settings::SystemEnvironment()) {}
  std::string ProgramDirectory() override { return ProgramDirectoryOf(args_); }
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
  const ProgramArgs& args_;
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

// Declared in the order they are built; destroyed the other way round, the
// loop last.
struct Program::Parts : ProgramHost {
  explicit Parts(StatusView& v) : view(v) {}
  ~Parts() override {
    if (consoleSubscription) view.Unsubscribe(consoleSubscription);
  }
  void SaveSettings() override {
    settings::SaveSettings(*disk, choice.programDirectory, settings,
                           [this](const std::string& t) { view.Message(t); });
  }
  void EndProgram() override { std::exit(1); }

  StatusView& view;
  std::unique_ptr<platform::FileSystem> disk = platform::FileSystem::CreateReal();
  settings::DataDirectoryChoice choice;
  settings::Settings settings;
  std::unique_ptr<platform::EventLoop> loop;
  std::unique_ptr<platform::ChildProcess> virtualPrinter;
  std::unique_ptr<platform::SerialPort> port;
  std::unique_ptr<ecr::EcrLink> link;
  std::unique_ptr<EcrJobPrinter> printer;
  std::unique_ptr<CardPayment> payment;
  console::ConsoleSettings consoleSettings;
  std::unique_ptr<JobService> service;
  std::unique_ptr<JobHistory> history;
  std::unique_ptr<console::Console> console;
  std::unique_ptr<platform::HttpServer> server;
  int consoleSubscription = 0;

  void LoadSettings();
  bool StartVirtualPrinter(std::string* error);
  void BuildService();
  void StartConsole();
};

void Program::Parts::StartConsole() {
  if (!consoleSettings.enabled) return;
  if (!consoleSettings.warning.empty()) view.Log(std::string(console::kConsoleSettingsFile) + ": " + consoleSettings.warning);
  console::ConsoleConfig config;
  config.port = consoleSettings.port;
  config.address = consoleSettings.address;
  std::string error;
  if (!console::LoadOrCreateToken(choice.programDirectory, &config.token, &error)) {
    view.Log("Console web non avviata: " + error);
    return;
  }
  console = std::make_unique<console::Console>(*loop, view.state(), *service, *history, config);
  platform::HttpServerConfig http;
  http.address = config.address;
  http.port = config.port;
  // Handled from the loop, never inside the server's own call: a job the
  // console starts waits on the printer by running the loop again.
  platform::EventLoop& l = *loop;
  console::Console& c = *console;
  server = platform::HttpServer::Create(
      *loop, http,
      [&l, &c](const platform::HttpRequest& request, std::shared_ptr<platform::HttpResponder> responder) {
        l.AddTimer(0, [&c, request, responder] { c.Handle(request, responder); });
      },
      &error);
  if (!server) {
    console.reset();
    view.Log("Console web non avviata: " + error);
    return;
  }
  consoleSubscription = view.Subscribe([&c](const ServiceState&, StateChange change) { c.StateChanged(change); });
  history->SetFinishedHook([&c](const console::JobRecord& job) { c.JobFinished(job); });
  view.Log("Console web: http://" + config.address + ":" + std::to_string(server->Port()) + "/");
}

void Program::Parts::LoadSettings() {
  auto message = [this](const std::string& text) { view.Message(text); };
  view.DataDirectory(choice.dataDirectory);
  settings::LoadSettings(*disk, choice.programDirectory, &settings, message);
  std::string text, error;
  if (disk->ReadFile(choice.programDirectory + platform::PathSeparator() + console::kConsoleSettingsFile, 4096, &text,
                     &error) != platform::ReadStatus::kOk)
    text.clear();
  consoleSettings = console::ParseConsoleSettings(language::SplitLines(text));
}

bool Program::Parts::StartVirtualPrinter(std::string* error) {
  const char sep = platform::PathSeparator();
  std::string tty = choice.dataDirectory + sep + "virtual-ecr.tty";
  std::string paper = choice.dataDirectory + sep + "virtual-ecr-paper.txt";
  disk->RemoveFile(tty);
  std::string err;
  virtualPrinter = platform::ChildProcess::Start({VirtualEcrProgram(), "--link", tty, "--paper", paper},
                                                 choice.dataDirectory + sep + "virtual-ecr.log", &err);
  if (!virtualPrinter) {
    *error = "virtual-ecr: " + err;
    return false;
  }
  // The printer makes its terminal and the link to it; wait for that.
  bool ready = false;
  for (int i = 0; i < 250 && !ready && virtualPrinter->Running(); ++i) {
    ready = disk->Kind(tty) != platform::FileKind::kMissing;
    if (!ready) loop->RunOnce(20);
  }
  if (!ready || !virtualPrinter->Running()) {
    *error = "virtual-ecr did not start";
    return false;
  }
  platform::SetSerialDevice(1, tty);
  view.Log("virtual printer: COM1 = " + tty + ", paper in " + paper);
  return true;
}

void Program::Parts::BuildService() {
  auto message = [this](const std::string& text) { view.Message(text); };
  port = platform::SerialPort::Create(*loop);
  link = std::make_unique<ecr::EcrLink>(*port, *loop, settings.options, platform::Clock::Real());
  printer = std::make_unique<EcrJobPrinter>(*link, *disk, settings, message);
  ecr::EcrLink& l = *link;
  payment = std::make_unique<CardPayment>(
      *loop, *disk, choice.programDirectory, choice.dataDirectory, settings.options, message,
      [&l](const std::string& command) { return l.TrasmettiStringa(command); });
  std::string journalDir, why;
  if (!platform::OwnDataFolder(choice.programDirectory, &journalDir, &why)) {
    // The program's folder takes no host's file either; where the journal
    // cannot be written, jobs run without it.
    view.Log("Cartella del giornale dei lavori non disponibile: " + why);
    journalDir = choice.programDirectory;
  }
  service = std::make_unique<JobService>(ServiceParts{*loop, *disk, platform::Clock::Real(), *printer, settings,
                                                      view, *this, payment.get(), choice.programDirectory,
                                                      journalDir});
}

Program::Program(std::unique_ptr<Parts> parts) : parts_(std::move(parts)) {}
Program::~Program() = default;
platform::EventLoop& Program::loop() { return *parts_->loop; }
settings::Settings& Program::settings() { return parts_->settings; }
const settings::DataDirectoryChoice& Program::directories() const { return parts_->choice; }
OperatorActions& Program::actions() { return *parts_->service; }
void Program::Start() {
  Parts& p = *parts_;
  p.history = std::make_unique<JobHistory>(*p.loop, *p.service, p.service->Start(p.choice.dataDirectory));
  p.service->SetFinishedHook([h = p.history.get()](const FinishedJob& job) { h->Finished(job); });
  p.StartConsole();
}
std::string Program::ConsoleUrl() const {
  const console::ConsoleSettings& c = parts_->consoleSettings;
  std::string token, error;
  if (!c.enabled || !console::LoadOrCreateToken(parts_->choice.programDirectory, &token, &error)) return "";
  return "http://127.0.0.1:" + std::to_string(c.port) + "/login?token=" + token;
}
bool Program::Finished() const { return parts_->service->Finished(); }

std::unique_ptr<Program> Program::Create(const ProgramArgs& args, StatusView& view, std::string* error) {
  auto p = std::make_unique<Parts>(view);
  auto fail = [&](const std::string& text) {
    *error = text;
    view.Message(text);
    return nullptr;
  };
  CommandLineEnvironment env(args);
  if (!settings::ChooseDataDirectory(env, [&view](const std::string& t) { view.Message(t); }, &p->choice, error))
    return fail(*error);
  const settings::DataDirectoryChoice& choice = p->choice;
  if (!args.dataDir.empty() && choice.dataDirectory != args.dataDir && !choice.fromRegistry)
    return fail(args.dataDir + " : DIR NON ESISTENTE");
  p->loop = platform::EventLoop::Create();
  p->LoadSettings();
  for (const auto& [n, device] : args.ports) platform::SetSerialDevice(n, device);
  if (args.virtualPrinter && !p->StartVirtualPrinter(error)) return fail(*error);
  p->BuildService();
  return std::unique_ptr<Program>(new Program(std::move(p)));
}

}  // namespace service
