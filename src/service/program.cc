// Program wiring: the command line, the data directory and the objects of
// the running program, in the order they depend on each other.
#include "service/program.h"

#include <cstdio>
#include <cstdlib>
#include <functional>

#include "console/console.h"
#include "console/console_settings.h"
#include "ecr/link.h"
#include "language/language.h"
#include "platform/child_process.h"
#include "platform/own_folder.h"
#include "platform/serial_port.h"
#include "platform/system.h"
#include "service/ecr_job_printer.h"
#include "service/card_payment.h"
#include "service/console_backend.h"
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
    if (backend) backend->SetEvents(nullptr);
  }
  void SaveSettings() override {
    settings::SaveSettings(*disk, choice.programDirectory, settings,
                           [this](const std::string& t) { views->MessageBox(t); });
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
  std::unique_ptr<ConsoleBackendService> backend;
  // The window (or the log lines) and the console's state, both told.
  std::unique_ptr<StatusViewPair> views;
  std::unique_ptr<JobService> service;
  std::unique_ptr<console::Console> console;
  std::unique_ptr<platform::HttpServer> server;

  void StartConsole();
};

void Program::Parts::StartConsole() {
  if (!consoleSettings.enabled) return;
  if (!consoleSettings.warning.empty()) views->Log(std::string(console::kConsoleSettingsFile) + ": " + consoleSettings.warning);
  console::ConsoleConfig config;
  config.port = consoleSettings.port;
  config.address = consoleSettings.address;
  std::string error;
  if (!console::LoadOrCreateToken(choice.programDirectory, &config.token, &error)) {
    views->Log("Console web non avviata: " + error);
    return;
  }
  console = std::make_unique<console::Console>(*loop, *backend, config);
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
    views->Log("Console web non avviata: " + error);
    return;
  }
  backend->SetEvents(console.get());
  views->Log("Console web: http://" + config.address + ":" + std::to_string(server->Port()) + "/");
}

Program::Program(std::unique_ptr<Parts> parts) : parts_(std::move(parts)) {}
Program::~Program() = default;
platform::EventLoop& Program::loop() { return *parts_->loop; }
settings::Settings& Program::settings() { return parts_->settings; }
const settings::DataDirectoryChoice& Program::directories() const { return parts_->choice; }
OperatorActions& Program::actions() { return *parts_->service; }
void Program::Start() {
  Parts& p = *parts_;
  p.service->Start(p.choice.dataDirectory);
  p.backend->Attach(*p.service, *p.views, p.service->journalJobs());
  p.StartConsole();
}
std::string Program::ConsoleUrl() const {
  const console::ConsoleSettings& c = parts_->consoleSettings;
  std::string token, error;
  if (!c.enabled || !console::LoadOrCreateToken(parts_->choice.programDirectory, &token, &error)) return "";
  return "http://127.0.0.1:" + std::to_string(c.port) + "/login?token=" + token;
}
bool Program::Finished() const { return parts_->service->Finished(); }
bool Program::RtPrinter() const { return parts_->printer->identity().rtMode; }

std::unique_ptr<Program> Program::Create(const ProgramArgs& args, StatusView& view, std::string* error) {
  auto p = std::make_unique<Parts>(view);
  std::function<void(const std::string&)> message = [&view](const std::string& text) { view.MessageBox(text); };
  auto fail = [&](const std::string& text) {
    *error = text;
    view.MessageBox(text);
    return nullptr;
  };
  CommandLineEnvironment env(args);
  if (!settings::ChooseDataDirectory(env, message, &p->choice, error)) return fail(*error);
  const settings::DataDirectoryChoice& choice = p->choice;
  if (!args.dataDir.empty() && choice.dataDirectory != args.dataDir && !choice.fromRegistry)
    return fail(args.dataDir + " : DIR NON ESISTENTE");
  p->loop = platform::EventLoop::Create();
  p->backend = std::make_unique<ConsoleBackendService>(*p->loop, p->settings, [parts = p.get()] {
    return parts->printer && parts->printer->identity().rtMode;
  });
  p->views = std::make_unique<StatusViewPair>(view, *p->backend);
  StatusView& views = *p->views;
  message = [&views](const std::string& text) { views.MessageBox(text); };
  views.DataDirectory(choice.dataDirectory);
  settings::LoadSettings(*p->disk, choice.programDirectory, &p->settings, message);
  std::string consoleText, consoleError;
  const char separator = platform::PathSeparator();
  if (p->disk->ReadFile(choice.programDirectory + separator + console::kConsoleSettingsFile, 4096, &consoleText,
                        &consoleError) != platform::ReadStatus::kOk)
    consoleText.clear();
  p->consoleSettings = console::ParseConsoleSettings(language::SplitLines(consoleText));

  for (const auto& [n, device] : args.ports) platform::SetSerialDevice(n, device);
  if (args.virtualPrinter) {
    const char sep = platform::PathSeparator();
    std::string tty = choice.dataDirectory + sep + "virtual-ecr.tty";
    std::string paper = choice.dataDirectory + sep + "virtual-ecr-paper.txt";
    p->disk->RemoveFile(tty);
    std::string err;
    p->virtualPrinter = platform::ChildProcess::Start({VirtualEcrProgram(), "--link", tty, "--paper", paper},
                                                      choice.dataDirectory + sep + "virtual-ecr.log", &err);
    if (!p->virtualPrinter) return fail("virtual-ecr: " + err);
    // The printer makes its terminal and the link to it; wait for that.
    bool ready = false;
    for (int i = 0; i < 250 && !ready && p->virtualPrinter->Running(); ++i) {
      ready = p->disk->Kind(tty) != platform::FileKind::kMissing;
      if (!ready) p->loop->RunOnce(20);
    }
    if (!ready || !p->virtualPrinter->Running()) return fail("virtual-ecr did not start");
    platform::SetSerialDevice(1, tty);
    views.Log("virtual printer: COM1 = " + tty + ", paper in " + paper);
  }

  p->port = platform::SerialPort::Create(*p->loop);
  p->link = std::make_unique<ecr::EcrLink>(*p->port, *p->loop, p->settings.options, platform::Clock::Real());
  p->printer = std::make_unique<EcrJobPrinter>(*p->link, *p->disk, p->settings, message);
  ecr::EcrLink& link = *p->link;
  p->payment = std::make_unique<CardPayment>(
      *p->loop, *p->disk, choice.programDirectory, choice.dataDirectory, p->settings.options, message,
      [&link](const std::string& command) { return link.TrasmettiStringa(command); });
  std::string journalDir, why;
  if (!platform::OwnDataFolder(choice.programDirectory, &journalDir, &why)) {
    // The program's folder takes no host's file either; where the journal
    // cannot be written, jobs run without it.
    views.Log("Cartella del giornale dei lavori non disponibile: " + why);
    journalDir = choice.programDirectory;
  }
  p->service = std::make_unique<JobService>(ServiceParts{*p->loop, *p->disk, platform::Clock::Real(), *p->printer,
                                                        p->settings, views, *p, p->payment.get(),
                                                        choice.programDirectory, journalDir});
  return std::unique_ptr<Program>(new Program(std::move(p)));
}

}  // namespace service
