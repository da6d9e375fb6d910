// quilo1 / Quilo1.exe: the resident program that prints the documents hosts
// leave in the data directory. Status lines go to standard error.
#include <cstdio>
#include <memory>
#include <string>

#include "platform/close_request.h"
#include "platform/service_manager.h"
#include "platform/single_instance.h"
#include "service/log_lines.h"
#include "service/program.h"
#include "service/service_manager_view.h"

int main(int argc, char** argv) {
  service::ProgramArgs args;
  if (!service::ParseProgramArgs(argc, argv, &args)) {
    std::fputs(service::kProgramUsage, stderr);
    return 2;
  }
  // Another copy already running: a service manager must see the failure.
  std::string lockName, lockNote;
  auto instance = platform::InstanceLock::Acquire(service::ProgramDirectoryOf(args), &lockName, &lockNote);
  if (!lockNote.empty()) std::fprintf(stderr, "quilo1: %s\n", lockNote.c_str());
  if (!instance) {
    std::fprintf(stderr, "quilo1: another copy is already running (lock %s held)\n", lockName.c_str());
    return 3;
  }

  service::StatusView view;
  view.Subscribe(service::LogLines());
  // systemd told of readiness, status, liveness and the closing.
  auto manager = platform::ServiceManager::Create();
  service::ServiceManagerView notifying(view, *manager);
  std::string error;
  auto program = service::Program::Create(args, view, &error);
  if (!program) return 1;
  auto closeRequest = platform::CloseRequest::Install(program->loop(), [&] { program->actions().Unload(); });
  program->Start();
  notifying.KeepAlive(program->loop());
  while (!program->Finished()) program->loop().RunOnce(-1);
  return 0;
}
