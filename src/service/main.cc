// quilo1 / Quilo1.exe: the resident program that prints the documents hosts
// leave in the data directory. Status lines go to standard error.
#include <cstdio>
#include <memory>
#include <string>

#include "platform/close_request.h"
#include "platform/single_instance.h"
#include "service/console_view.h"
#include "service/program.h"

int main(int argc, char** argv) {
  service::ProgramArgs args;
  if (!service::ParseProgramArgs(argc, argv, &args)) {
    std::fputs(service::kProgramUsage, stderr);
    return 2;
  }
  // Another copy serving the same program directory: end without a word.
  auto instance = platform::InstanceLock::Acquire(service::ProgramDirectoryOf(args));
  if (!instance) return 0;

  service::ConsoleStatusView view;
  std::string error;
  auto program = service::Program::Create(args, view, &error);
  if (!program) return 1;
  auto closeRequest = platform::CloseRequest::Install(program->loop(), [&] { program->actions().Unload(); });
  program->Start();
  while (!program->Finished()) program->loop().RunOnce(-1);
  return 0;
}
